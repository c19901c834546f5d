// Writes the type stubs of the two modules, _tessarine_core.pyi and
// _tessarine_ext.pyi, from their declarations (functions.h, ext_functions.h).
//
//   make_stub DIR           writes the stubs into DIR
//   make_stub --check DIR   exits 1 when a stub in DIR differs from a fresh one
//
// `cmake --build build/py --target stub` runs the first form on the stubs in
// the source tree (python/tessarine); CTest runs the second.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "pyfacade/ext_functions.h"
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

// The imports that the names used in `defs` need.
std::string imports(const std::string& defs) {
  std::set<std::string> words;
  std::string word;
  for (const char c : defs + " ") {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_') {
      word += c;
    } else if (!word.empty()) {
      words.insert(word);
      word.clear();
    }
  }
  std::string abc;
  for (const char* name : {"Buffer", "Callable", "Sequence"}) {
    if (words.contains(name)) abc += (abc.empty() ? "" : ", ") + std::string(name);
  }
  std::string s;
  if (!abc.empty()) s += "from collections.abc import " + abc + "\n";
  if (words.contains("Any")) s += "from typing import Any\n";
  if (words.contains("Tier")) s += "\nfrom tessarine._types import Tier\n";
  return s;
}

struct Module {
  const char* file;    // the stub's file name
  const char* source;  // the header of its declarations
  const char* title;   // the stub's doc string
  bool versioned;      // whether the module has __version__
};

template <const auto& table>
std::string stub_text(const Module& m) {
  std::string defs;
  std::string all;
  std::apply([&](const auto&... f) { ((defs += stub_def(f), all += std::string("    \"") + f.name + "\",\n"), ...); },
             table);
  std::string s = std::string("# Generated from src/pyfacade/") + m.source +
                  " by `cmake --build build/py --target stub`; do not edit.\n\"\"\"" + m.title + "\"\"\"\n\n" +
                  imports(defs) + "\n";
  if (m.versioned) {
    s += "__version__: str\n";
    all += "    \"__version__\",\n";
  }
  return s + "__all__ = [\n" + all + "]\n\n" + defs;
}

// Writes or checks one stub; returns whether it was written or is current.
bool emit(const std::string& dir, const Module& m, const std::string& fresh, bool check) {
  const std::string path = dir + "/" + m.file;
  if (check) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream current;
    current << in.rdbuf();
    if (current.str() == fresh) return true;
    std::cerr << path << " differs from the declarations in src/pyfacade/" << m.source << "; regenerate it with "
              << "`cmake --build build/py --target stub`. Fresh stubs:\n"
              << fresh;
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << fresh;
  out.close();
  if (!out) std::cerr << "make_stub: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::cerr << "usage: make_stub [--check] DIR\n";
    return 2;
  }
  const std::string dir = argv[argc - 1];
  const Module core{"_tessarine_core.pyi", "functions.h",
                    "Type stubs of the native core ``tessarine._tessarine_core``.", true};
  const Module ext{"_tessarine_ext.pyi", "ext_functions.h",
                   "Type stubs of ``tessarine._tessarine_ext``, the native support of the public API.", false};
  const bool core_ok = emit(dir, core, stub_text<tess::py::FUNCTIONS>(core), check);
  const bool ext_ok = emit(dir, ext, stub_text<tess::py::EXT_FUNCTIONS>(ext), check);
  return core_ok && ext_ok ? 0 : 1;
}
