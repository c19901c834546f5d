// Writes the type stubs of the module, python/tessarine/_tessarine_core.pyi,
// from the declarations in functions.h.
//
//   make_stub PATH           writes the stubs to PATH
//   make_stub --check PATH   exits 1 when PATH differs from fresh stubs
//
// `cmake --build build/py --target stub` runs the first form on the stubs in
// the source tree; CTest runs the second.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pyfacade/functions.h"

namespace {

constexpr std::size_t kWidth = 110;

// "def py_get(spec: str, scope_str: str | None = None) -> Any: ...", on one
// line when it fits in kWidth columns, else one parameter per line.
template <class F>
std::string stub_def(const F& f) {
  const std::vector<std::string> params = tess::py::param_texts(f, true);
  const std::string head = std::string("def ") + f.name + "(";
  const std::string tail = ") -> " + result_annotation(tess::py::Tag<typename F::Sig::Return>{}) + ": ...\n";
  std::string line = head;
  for (std::size_t i = 0; i < params.size(); ++i) line += (i == 0 ? "" : ", ") + params[i];
  if (line.size() + tail.size() <= kWidth + 1) return line + tail;
  std::string block = head + "\n";
  for (const std::string& p : params) block += "    " + p + ",\n";
  return block + tail;
}

std::string stub_text() {
  std::string s =
      "# Generated from src/pyfacade/functions.h by `cmake --build build/py --target stub`; do not edit.\n"
      "\"\"\"Type stubs of the native core ``tessarine._tessarine_core``.\"\"\"\n\n"
      "from collections.abc import Sequence\n"
      "from typing import Any\n\n"
      "__version__: str\n"
      "__all__ = [\n";
  std::apply([&](const auto&... f) { ((s += std::string("    \"") + f.name + "\",\n"), ...); }, tess::py::FUNCTIONS);
  s += "    \"__version__\",\n]\n\n";
  std::apply([&](const auto&... f) { ((s += stub_def(f)), ...); }, tess::py::FUNCTIONS);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::cerr << "usage: make_stub [--check] PATH\n";
    return 2;
  }
  const std::string path = argv[argc - 1];
  const std::string fresh = stub_text();
  if (check) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream current;
    current << in.rdbuf();
    if (current.str() == fresh) return 0;
    std::cerr << path << " differs from the declarations in src/pyfacade/functions.h; regenerate it with "
              << "`cmake --build build/py --target stub`. Fresh stubs:\n"
              << fresh;
    return 1;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << fresh;
  out.close();
  if (!out) {
    std::cerr << "make_stub: cannot write " << path << "\n";
    return 1;
  }
  return 0;
}
