#include "common/json.h"

#include <string>

#include "common/numfmt.h"

namespace tess {
namespace {

void append_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (b < 0x20) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void new_line(std::string& out, std::size_t depth) {
  out += '\n';
  out.append(2 * depth, ' ');
}

void append_pretty(std::string& out, const Json& value, std::size_t depth) {
  switch (value.type()) {
    case Json::value_t::object: {
      const auto& members = value.get_ref<const Json::object_t&>();
      if (members.empty()) {
        out += "{}";
        return;
      }
      out += '{';
      bool first = true;
      for (const auto& [key, member] : members) {
        if (!first) out += ',';
        first = false;
        new_line(out, depth + 1);
        append_string(out, key);
        out += ": ";
        append_pretty(out, member, depth + 1);
      }
      new_line(out, depth);
      out += '}';
      return;
    }
    case Json::value_t::array: {
      const auto& items = value.get_ref<const Json::array_t&>();
      if (items.empty()) {
        out += "[]";
        return;
      }
      out += '[';
      bool first = true;
      for (const Json& item : items) {
        if (!first) out += ',';
        first = false;
        new_line(out, depth + 1);
        append_pretty(out, item, depth + 1);
      }
      new_line(out, depth);
      out += ']';
      return;
    }
    case Json::value_t::string: append_string(out, value.get_ref<const std::string&>()); return;
    case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; return;
    case Json::value_t::number_unsigned:
      numfmt::append_unsigned(out, value.get_ref<const Json::number_unsigned_t&>());
      return;
    case Json::value_t::number_integer: {
      const auto v = value.get_ref<const Json::number_integer_t&>();
      if (v < 0) out += '-';
      // The magnitude as unsigned: the negation of the smallest value fits there.
      numfmt::append_unsigned(out, v < 0 ? 0 - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v));
      return;
    }
    case Json::value_t::number_float:
      numfmt::append_json_float(out, value.get_ref<const Json::number_float_t&>());
      return;
    default: out += "null"; return;  // null, and the library's binary and discarded kinds
  }
}

}  // namespace

std::string dump_compact(const Json& value) {
  return value.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::strict);
}

std::string dump_pretty(const Json& value) {
  std::string out;
  append_pretty(out, value, 0);
  return out;
}

}  // namespace tess
