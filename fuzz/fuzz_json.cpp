// Datasheet text through parse_json, against nlohmann's own parser under the same rules (no BOM,
// no NUL, depth at most kMaxJsonDepth): the same acceptance, values, number kinds and float bits;
// whatever the direct parser accepts must be that value too. fuzz_save_json.py checks the same
// rules against Python's json module, which shares nothing with the library.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/json.h"
#include "common/unicode.h"
#include "data_loader/entry_keys.h"

namespace {

using tess::Json;

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "fuzz_json: %s\ninput (%zu bytes): %.*s\n", what, text.size(), static_cast<int>(text.size()),
               text.data());
  std::abort();
}

// Nesting depth of arrays and objects, counting stops above `cap`.
std::size_t depth(const Json& v, std::size_t cap) {
  if (!v.is_structured()) return 0;
  if (cap == 0) return 1;
  std::size_t deepest = 0;
  for (const Json& child : v) deepest = std::max(deepest, depth(child, cap - 1));
  return deepest + 1;
}

// Equal kinds and values; floats bit for bit (so 0.0 and -0.0 differ).
// With `integers_by_value`, signed and unsigned integers of the same value are
// equal ("-0" is signed but written back as "0").
bool same(const Json& a, const Json& b, bool integers_by_value = false) {
  if (integers_by_value && a.is_number_integer() && b.is_number_integer()) return a == b;
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Json::value_t::number_float: {
      const double x = a.get<double>(), y = b.get<double>();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Json::value_t::array:
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same(a[i], b[i], integers_by_value)) return false;
      }
      return true;
    case Json::value_t::object: {
      if (a.size() != b.size()) return false;
      auto i = a.begin();
      for (auto j = b.begin(); j != b.end(); ++i, ++j) {
        if (i.key() != j.key() || !same(i.value(), j.value(), integers_by_value)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

bool digits(std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos; }

// "<description> at line <l> column <c>", l from 1.
bool ends_with_place(std::string_view message) {
  const auto at = message.rfind(" at line ");
  if (at == std::string_view::npos || at == 0) return false;
  const std::string_view place = message.substr(at + 9);
  const auto column = place.find(" column ");
  if (column == std::string_view::npos) return false;
  const std::string_view line = place.substr(0, column);
  return digits(line) && line.front() != '0' && digits(place.substr(column + 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const tess::Result<Json> parsed = tess::parse_json(text);
  const std::optional<Json> direct = tess::detail::parse_json_direct(text);

  const bool bom = text.substr(0, 3) == "\xEF\xBB\xBF";
  const bool nul = text.find('\0') != std::string_view::npos;
  Json reference = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                               /*ignore_comments=*/false);
  const bool reference_ok =
      !bom && !nul && !reference.is_discarded() && depth(reference, tess::kMaxJsonDepth + 1) <= tess::kMaxJsonDepth;

  if (parsed.ok() != reference_ok) fail(parsed.ok() ? "accepted, nlohmann refuses" : "refused, nlohmann accepts", text);
  if (direct && !parsed.ok()) fail("the direct parser accepted a refused document", text);

  if (!parsed.ok()) {
    const std::string& message = parsed.error().message();
    if (!ends_with_place(message)) fail(("bad error message: " + message).c_str(), text);
    return 0;
  }

  const Json& value = *parsed;
  if (!same(value, reference)) fail("value differs from nlohmann's", text);
  if (direct && !same(*direct, reference)) fail("direct value differs from nlohmann's", text);

  // Compact text reads back to the same value (floats are shortest round-trip).
  const std::string compact = tess::dump_compact(value);
  const tess::Result<Json> again = tess::parse_json(compact);
  if (!again.ok() || !same(*again, value, true)) fail(("compact form does not read back: " + compact).c_str(), text);

  // The loader stores it under the file's stem with its lookup keys.
  const tess::data_loader::EntryKeys keys = tess::data_loader::EntryKeys::of("Entry", value);
  if (keys.has_symbol && !keys.may_match(tess::data_loader::EntryKeys::filter_bits(keys.lower_symbol))) {
    fail("symbol missing from the filter", text);
  }
  for (const std::string& alias : keys.lower_aliases) {
    if (!tess::unicode::is_valid_utf8(alias)) fail("alias lower-cased to ill-formed text", text);
  }
  return 0;
}
