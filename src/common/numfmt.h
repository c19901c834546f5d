// Number formatting for every text the system writes, built on std::to_chars.
#pragma once

#include <string>
#include <string_view>

namespace tess::numfmt {

// Fixed-point with exactly `decimals` decimals, correctly rounded; "-" for
// negative values (including -0.0 when the rounded text is all zeros, as
// printf does); "NaN", "inf" and "-inf" for non-finite values.
void append_fixed(std::string& out, double value, int decimals);
std::string fixed(double value, int decimals);

// The shortest digit string that reads back to the same double, always in
// positional notation (no exponent): 1e-7 -> "0.0000001", 1e20 ->
// "100000000000000000000", 10.0 -> "10", -0.0 -> "-0". Non-finite values as
// "NaN", "inf", "-inf".
void append_shortest_positional(std::string& out, double value);
std::string shortest_positional(double value);

// Shortest round-trip text for a JSON document: positional for decimal
// exponents in [-5, 16), scientific ("1e-7", "1.5e20") outside, always with a
// fraction or exponent ("10.0", "-0.0"); non-finite values as "null".
void append_json_float(std::string& out, double value);
std::string json_float(double value);

// An unsigned integer in plain decimal digits.
void append_unsigned(std::string& out, unsigned long long value);

}  // namespace tess::numfmt
