// Braced formulas through parse_formula, then resolved against a small store.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/unicode.h"
#include "data_loader/store.h"
#include "get/resolve.h"

namespace {

using tess::Json;

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "fuzz_formula: %s\ninput (%zu bytes): %.*s\n", what, text.size(), static_cast<int>(text.size()),
               text.data());
  std::abort();
}

const tess::data_loader::DataStore& store() {
  static const auto* s = [] {
    auto* st = new tess::data_loader::DataStore();
    const auto put = [&](const char* tier, const char* name, const char* json) {
      (void)st->insert_entry(tier, name, Json::parse(json));
    };
    put("atom", "Iron", R"({"Symbol": "Fe", "Aliases": ["ferrum"], "Density": 7874, "Melt": 1811.0, "Tag": "metal"})");
    put("atom", "Nickel", R"({"Symbol": "Ni", "Density": 8908, "Huge": 1.7e308, "Tag": [1, 2]})");
    put("molecule", "Water", R"({"symbol": "H2O", "aliases": ["ΣΊΣΥΦΟΣ", "İ"], "Density": -1000, "Neg": -5})");
    put("subatomic", "Odd", R"([1, 2, 3])");
    return st;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view spec(reinterpret_cast<const char*>(data), size);
  // Formulas come from Python strings: always well-formed UTF-8.
  if (!tess::unicode::is_valid_utf8(spec)) return 0;

  const auto parsed = tess::get::parse_formula(spec);
  const std::string_view t = tess::unicode::trim_white_space(spec);
  const bool braced = t.size() >= 2 && t.front() == '{' && t.back() == '}';
  if (!parsed.ok()) {
    if (!braced) fail("an unbraced spec is an error", spec);
    const std::string& m = parsed.error().message();
    if (m != "invalid formula: " + std::string(spec) && m.rfind("formula count '", 0) != 0) fail("odd message", spec);
    return 0;
  }
  if (parsed->has_value() != braced) fail(braced ? "braced spec taken as a name" : "unbraced spec parsed", spec);
  if (!*parsed) return 0;

  const tess::get::Formula& formula = **parsed;
  const std::string_view inner = t.substr(1, t.size() - 2);
  std::size_t commas = 0;
  for (char c : inner) commas += c == ',';
  if (formula.parts.size() != commas + 1) fail("constituent count differs from the comma count", spec);
  bool too_large = false;
  for (const auto& [name, count] : formula.parts) {
    if (name.empty() || tess::unicode::trim_white_space(name) != name) fail("name empty or untrimmed", spec);
    if (name.find_first_of(",=") != std::string::npos) fail("name holds a separator", spec);
    if (inner.find(name) == std::string_view::npos) fail("name not taken from the spec", spec);
    too_large |= count > tess::get::kMaxFormulaCount;
  }

  try {
    const tess::Result<Json> r = tess::get::resolve_formula(store(), formula);
    if (r.ok()) {
      if (too_large) fail("a count above the limit went through", spec);
      if (!r->is_object() || !(*r)["formula"].is_string()) fail("result without its formula", spec);
      (void)tess::dump_compact(*r);  // throws on anything not serialisable
    }
  } catch (const tess::Panic&) {
    if (!too_large) fail("internal failure without a count above the limit", spec);
  }
  return 0;
}
