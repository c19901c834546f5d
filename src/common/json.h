// The JSON value model of the whole system and its two text forms.
//
// Objects keep their members in ascending byte order of the keys, numbers stay
// unsigned, signed or float as parsed, and a repeated key keeps its last value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/error.h"

namespace tess {

using Json = nlohmann::json;

inline constexpr std::size_t kMaxJsonDepth = 128;

// Parses `text` as exactly one JSON value with optional surrounding white
// space (space, tab, line feed, carriage return). No byte-order mark, no
// comments, strings must be valid UTF-8, arrays and objects nest at most
// kMaxJsonDepth deep, no NUL byte anywhere. The error message is
// "<description> at line <l> column <c>".
Result<Json> parse_json(std::string_view text);

namespace detail {
// The fast path of parse_json: the value when `text` is a well-formed document
// it is sure of, else nothing (the library parser then decides).
std::optional<Json> parse_json_direct(std::string_view text);
}  // namespace detail

// Empties `value` from the leaves up without allocating. The library's
// destructor first moves the items of an array or object into a new vector,
// which fails, and ends the process, when memory has just run out; a value
// built only in part when an allocation failed goes through here instead.
void release(Json& value) noexcept;

// Releases a value when the scope ends, on every path; a value moved out of
// before then is null and costs nothing.
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(Json& value) : value_(value) {}
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;
  ~ReleaseOnExit() { release(value_); }

 private:
  Json& value_;
};

// Compact JSON text (no white space); floats in the shortest form that reads
// back to the same double, always with a fraction or exponent; non-finite
// floats as null.
std::string dump_compact(const Json& value);

// Pretty JSON text: two spaces of indent per level, every member and every
// array element on a line of its own, "[]" and "{}" when empty, no final line
// feed. Floats in the shortest form that reads back (numfmt::json_float:
// "1e-7", "1.5e20", "10.0"), non-finite ones as null; strings as their bytes
// with only '"', '\\' and control characters escaped. The library's own
// dump writes "1e-07" and "1.5e+20" and refuses ill-formed UTF-8, so this is
// written out here.
std::string dump_pretty(const Json& value);

// The numeric value of a JSON number of any of the three kinds, or nothing.
inline std::optional<double> as_number(const Json& v) {
  switch (v.type()) {
    case Json::value_t::number_unsigned: return static_cast<double>(v.get_ref<const Json::number_unsigned_t&>());
    case Json::value_t::number_integer: return static_cast<double>(v.get_ref<const Json::number_integer_t&>());
    case Json::value_t::number_float: return v.get_ref<const Json::number_float_t&>();
    default: return std::nullopt;
  }
}

// The member `key` of `obj` if `obj` is an object that has it, else nullptr.
inline const Json* member(const Json& obj, std::string_view key) {
  if (!obj.is_object()) return nullptr;
  const auto& o = obj.get_ref<const Json::object_t&>();
  auto it = o.find(key);
  return it == o.end() ? nullptr : &it->second;
}

}  // namespace tess
