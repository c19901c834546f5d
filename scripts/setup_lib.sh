# Sourced by the scripts of this folder: what they need on a fresh machine.

# Installs the Debian packages among "$@" that are missing (only as root);
# else stops with their names.
require_debian_packages() {
  local need=() pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "installing ${need[*]}" >&2
    apt-get update -qq || exit 1
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null || exit 1
  else
    echo "missing Debian packages: ${need[*]} (run as root or install them)" >&2
    exit 1
  fi
}

# Sets `py` to a Python 3.13 interpreter, wherever it is installed.
find_python313() {
  local cand
  py=""
  for cand in "${TESSARINE_PYTHON:-}" "$(command -v python3.13 2>/dev/null || true)" \
              "$HOME"/.pyenv/versions/3.13*/bin/python3.13 /usr/local/bin/python3.13 /usr/bin/python3.13; do
    if [ -n "$cand" ] && [ -x "$cand" ] && "$cand" -c 'import sys; assert sys.version_info[:2] == (3, 13)' 2>/dev/null; then
      py=$cand
      return 0
    fi
  done
  echo "Python 3.13 not found" >&2
  exit 1
}

# The Debian packages that building the module and its C++ tests needs.
BUILD_PACKAGES=(nlohmann-json3-dev libeigen3-dev libicu-dev libgtest-dev g++)

# The Debian tools the test suite opens written files with: glslangValidator,
# assimp and admesh.
TEST_TOOL_PACKAGES=(glslang-tools assimp-utils admesh)
