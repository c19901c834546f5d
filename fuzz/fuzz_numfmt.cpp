// The number formatters against their promises and against printf/strtod.
//
// Input: 8 bytes of a double, then one byte of a decimal count.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/json.h"
#include "common/numfmt.h"

namespace {

[[noreturn]] void fail(const char* what, double v, const std::string& text) {
  std::fprintf(stderr, "fuzz_numfmt: %s: %a gave \"%s\"\n", what, v, text.c_str());
  std::abort();
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double read_back(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

void check_non_finite(double v, const std::string& text) {
  const char* want = std::isnan(v) ? "NaN" : v < 0 ? "-inf" : "inf";
  if (text != want) fail("non-finite spelling", v, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(double)) return 0;
  double v;
  std::memcpy(&v, data, sizeof v);
  const int decimals = size > sizeof(double) ? data[sizeof(double)] : 6;
  using namespace tess::numfmt;

  // fixed: printf's "%.*f", which glibc rounds correctly.
  const std::string f = fixed(v, decimals);
  if (std::isfinite(v)) {
    std::vector<char> buf(static_cast<std::size_t>(decimals) + 400);
    std::snprintf(buf.data(), buf.size(), "%.*f", decimals, v);
    if (f != buf.data()) fail(("fixed differs from printf " + std::string(buf.data())).c_str(), v, f);
  } else {
    check_non_finite(v, f);
  }

  // shortest_positional: no exponent, reads back to the same double.
  const std::string p = shortest_positional(v);
  if (std::isfinite(v)) {
    if (p.find_first_not_of("-0123456789.") != std::string::npos) fail("positional text", v, p);
    if (!same_bits(read_back(p), v)) fail("positional does not read back", v, p);
  } else {
    check_non_finite(v, p);
  }

  // json_float: a JSON float that reads back, exponent only outside [1e-5, 1e16).
  const std::string j = json_float(v);
  if (!std::isfinite(v)) {
    if (j != "null") fail("non-finite JSON", v, j);
    return 0;
  }
  if (!same_bits(read_back(j), v)) fail("JSON float does not read back", v, j);
  const double magnitude = std::fabs(v);
  const bool positional = magnitude == 0 || (magnitude >= 1e-5 && magnitude < 1e16);
  if ((j.find('e') == std::string::npos) != positional) fail("exponent where not expected", v, j);
  if (j.find_first_of(".e") == std::string::npos) fail("JSON float without fraction or exponent", v, j);
  const auto parsed = tess::parse_json(j);
  if (!parsed.ok() || !parsed->is_number_float() || !same_bits(parsed->get<double>(), v)) {
    fail("JSON float is not a JSON float", v, j);
  }
  std::uint64_t u;
  std::memcpy(&u, data, sizeof u);
  std::string us;
  append_unsigned(us, u);
  if (us != std::to_string(u)) fail("unsigned", v, us);
  return 0;
}
