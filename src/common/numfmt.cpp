#include "common/numfmt.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace tess::numfmt {
namespace {

bool append_non_finite(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

}  // namespace

void append_fixed(std::string& out, double value, int decimals) {
  if (append_non_finite(out, value)) return;
  // 309 integer digits at most, plus sign, point and decimals: the usual
  // counts fit a buffer on the stack, larger ones get one in the string.
  std::array<char, 400> buf;
  const std::size_t room = 312 + static_cast<std::size_t>(std::max(decimals, 0));
  if (room <= buf.size()) {
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed, decimals);
    out.append(buf.data(), r.ptr);
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + room);
  const auto r = std::to_chars(out.data() + start, out.data() + out.size(), value, std::chars_format::fixed, decimals);
  out.resize(static_cast<std::size_t>(r.ptr - out.data()));
}

std::string fixed(double value, int decimals) {
  std::string s;
  append_fixed(s, value, decimals);
  return s;
}

void append_shortest_positional(std::string& out, double value) {
  if (append_non_finite(out, value)) return;
  std::array<char, 400> buf;
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
  (void)ec;
  out.append(buf.data(), end);
}

std::string shortest_positional(double value) {
  std::string s;
  append_shortest_positional(s, value);
  return s;
}

void append_json_float(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // Shortest scientific form gives the digits and the decimal exponent.
  std::array<char, 64> buf;
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
  (void)ec;
  std::string_view sci(buf.data(), static_cast<std::size_t>(end - buf.data()));
  const bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  const auto e_pos = sci.find('e');
  const int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  if (negative) out += '-';
  const int n = static_cast<int>(digits.size());
  if (exponent >= -5 && exponent < 16) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else if (exponent + 1 >= n) {
      out += digits;
      out.append(static_cast<std::size_t>(exponent + 1 - n), '0');
      out += ".0";
    } else {
      out.append(digits, 0, static_cast<std::size_t>(exponent) + 1);
      out += '.';
      out.append(digits, static_cast<std::size_t>(exponent) + 1);
    }
  } else {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'e';
    out += std::to_string(exponent);
  }
}

std::string json_float(double value) {
  std::string s;
  append_json_float(s, value);
  return s;
}

void append_unsigned(std::string& out, unsigned long long value) {
  std::array<char, 24> buf;
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  (void)ec;  // 20 digits at most
  out.append(buf.data(), end);
}

}  // namespace tess::numfmt
