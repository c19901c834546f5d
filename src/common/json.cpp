#include "common/json.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace tess {
namespace {

// Builds the DOM like nlohmann's own parser, but stops once arrays and objects
// nest deeper than kMaxJsonDepth.
class DepthLimitedSax {
 public:
  explicit DepthLimitedSax(Json& result) : dom_(result, /*allow_exceptions=*/false) {}

  bool null() { return dom_.null(); }
  bool boolean(bool v) { return dom_.boolean(v); }
  bool number_integer(Json::number_integer_t v) { return dom_.number_integer(v); }
  bool number_unsigned(Json::number_unsigned_t v) { return dom_.number_unsigned(v); }
  bool number_float(Json::number_float_t v, const std::string& s) { return dom_.number_float(v, s); }
  bool string(std::string& v) { return dom_.string(v); }
  bool binary(Json::binary_t& v) { return dom_.binary(v); }
  bool start_object(std::size_t n) { return enter() && dom_.start_object(n); }
  bool key(std::string& k) { return dom_.key(k); }
  bool end_object() {
    --depth_;
    return dom_.end_object();
  }
  bool start_array(std::size_t n) { return enter() && dom_.start_array(n); }
  bool end_array() {
    --depth_;
    return dom_.end_array();
  }

  bool parse_error(std::size_t position, const std::string& /*last_token*/, const nlohmann::detail::exception& ex) {
    message_ = ex.what();
    position_ = position;
    return false;
  }

  bool too_deep() const { return too_deep_; }
  const std::string& message() const { return message_; }
  std::size_t position() const { return position_; }

 private:
  bool enter() {
    if (++depth_ > kMaxJsonDepth) {
      too_deep_ = true;
      return false;
    }
    return true;
  }

  nlohmann::detail::json_sax_dom_parser<Json> dom_;
  std::size_t depth_ = 0;
  bool too_deep_ = false;
  std::string message_;
  std::size_t position_ = 0;
};

// Line and column (both from 1) of the first bracket that opens nesting level
// kMaxJsonDepth + 1. Only called for text the parser accepted up to that point.
std::pair<std::size_t, std::size_t> position_of_excess_depth(std::string_view text) {
  std::size_t depth = 0, line = 1, column = 0;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (c == '\n') {
      ++line;
      column = 0;
    } else {
      ++column;
    }
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
      continue;
    }
    if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) break;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return {line, column};
}

// Keeps at most `limit` bytes of `s`, cutting only at a UTF-8 character boundary.
std::string clip(std::string s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  s.resize(cut);
  s += "...";
  return s;
}

// nlohmann's text reads "[json.exception.parse_error.101] parse error at line 1,
// column 7: syntax error while parsing value - ..." or, for errors without a
// place of their own, "[json.exception.out_of_range.406] number overflow
// parsing '1e400'". Keep the description and put the place, counted from the
// byte offset where the parser stopped, at the end.
std::string describe(const std::string& what, std::string_view text, std::size_t position) {
  std::string description = what;
  if (const auto at = what.find("at line "); at != std::string::npos) {
    if (const auto colon = what.find(": ", at); colon != std::string::npos) description = what.substr(colon + 2);
  } else if (const auto tag = what.find("] "); tag != std::string::npos) {
    description = what.substr(tag + 2);
  }
  const std::string_view before = text.substr(0, std::min(position, text.size()));
  const std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const auto last_newline = before.rfind('\n');
  const std::size_t column = last_newline == std::string_view::npos ? before.size() : before.size() - last_newline - 1;
  return clip(std::move(description), 240) + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

// A direct parser for the common case: well-formed documents over a
// contiguous buffer, building the value without a token buffer. It accepts
// exactly the documents that the library parser accepts under the rules of
// parse_json and builds the same value; whenever it meets anything it is not
// sure of (any syntax error, a number out of range, excess depth) it gives up
// and the library parser decides, so errors and their messages are always
// the library's.
class FastParser {
 public:
  explicit FastParser(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool parse(Json& out) {
    skip_ws();
    if (!value(out, 0)) return false;
    skip_ws();
    return p_ == end_;
  }

 private:
  void skip_ws() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }

  bool value(Json& out, std::size_t depth) {
    if (p_ == end_) return false;
    switch (*p_) {
      case '{': return object(out, depth + 1);
      case '[': return array(out, depth + 1);
      case '"': {
        std::string s;
        if (!string(s)) return false;
        out = Json(std::move(s));
        return true;
      }
      case 't': out = true; return literal("true");
      case 'f': out = false; return literal("false");
      case 'n': out = nullptr; return literal("null");
      default: return number(out);
    }
  }

  bool object(Json& out, std::size_t depth) {
    if (depth > kMaxJsonDepth) return false;
    ++p_;  // '{'
    out = Json(Json::value_t::object);
    auto& members = out.get_ref<Json::object_t&>();
    skip_ws();
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      return true;
    }
    for (;;) {
      if (p_ == end_ || *p_ != '"') return false;
      std::string key;
      if (!string(key)) return false;
      skip_ws();
      if (p_ == end_ || *p_ != ':') return false;
      ++p_;
      skip_ws();
      Json v;
      const ReleaseOnExit release_v(v);
      if (!value(v, depth)) return false;
      members.insert_or_assign(std::move(key), std::move(v));
      skip_ws();
      if (p_ == end_) return false;
      if (*p_ == '}') {
        ++p_;
        return true;
      }
      if (*p_ != ',') return false;
      ++p_;
      skip_ws();
    }
  }

  bool array(Json& out, std::size_t depth) {
    if (depth > kMaxJsonDepth) return false;
    ++p_;  // '['
    out = Json(Json::value_t::array);
    auto& items = out.get_ref<Json::array_t&>();
    skip_ws();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      items.emplace_back();
      if (!value(items.back(), depth)) return false;
      skip_ws();
      if (p_ == end_) return false;
      if (*p_ == ']') {
        ++p_;
        return true;
      }
      if (*p_ != ',') return false;
      ++p_;
      skip_ws();
    }
  }

  static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool hex4(std::uint32_t& out) {
    if (end_ - p_ < 4) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const int h = hex(p_[i]);
      if (h < 0) return false;
      out = (out << 4) | static_cast<std::uint32_t>(h);
    }
    p_ += 4;
    return true;
  }

  static void append_utf8(std::string& s, std::uint32_t cp) {
    if (cp < 0x80) {
      s += static_cast<char>(cp);
    } else if (cp < 0x800) {
      s += static_cast<char>(0xC0 | (cp >> 6));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      s += static_cast<char>(0xE0 | (cp >> 12));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (cp >> 18));
      s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool string(std::string& out) {
    ++p_;  // '"'
    for (;;) {
      // Copy the run of plain ASCII characters at once.
      const char* run = p_;
      while (p_ != end_) {
        const auto c = static_cast<unsigned char>(*p_);
        if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
        ++p_;
      }
      out.append(run, static_cast<std::size_t>(p_ - run));
      if (p_ == end_) return false;
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        // One UTF-8 sequence, well-formed or nothing (no overlongs, no
        // surrogates, nothing above U+10FFFF).
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(p_);
        const auto length = static_cast<std::int32_t>(std::min<std::ptrdiff_t>(end_ - p_, 4));
        std::int32_t i = 0;
        UChar32 cp;
        U8_NEXT(bytes, i, length, cp);
        if (cp < 0) return false;
        out.append(p_, static_cast<std::size_t>(i));
        p_ += i;
        continue;
      }
      // An escape.
      if (++p_ == end_) return false;
      const char e = *p_++;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            std::uint32_t low = 0;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
            p_ += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
          }
          append_utf8(out, cp);
          break;
        }
        default: return false;
      }
    }
  }

  static bool digit(char c) { return c >= '0' && c <= '9'; }

  bool number(Json& out) {
    const char* start = p_;
    bool integral = true;
    if (p_ != end_ && *p_ == '-') ++p_;
    if (p_ == end_ || !digit(*p_)) return false;
    if (*p_ == '0') {
      ++p_;
    } else {
      while (p_ != end_ && digit(*p_)) ++p_;
    }
    if (p_ != end_ && *p_ == '.') {
      integral = false;
      ++p_;
      if (p_ == end_ || !digit(*p_)) return false;
      while (p_ != end_ && digit(*p_)) ++p_;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      integral = false;
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (p_ == end_ || !digit(*p_)) return false;
      while (p_ != end_ && digit(*p_)) ++p_;
    }
    if (integral) {
      if (*start == '-') {
        std::int64_t v = 0;
        auto [ptr, ec] = std::from_chars(start, p_, v);
        if (ec == std::errc() && ptr == p_) {
          out = static_cast<Json::number_integer_t>(v);
          return true;
        }
      } else {
        std::uint64_t v = 0;
        auto [ptr, ec] = std::from_chars(start, p_, v);
        if (ec == std::errc() && ptr == p_) {
          out = static_cast<Json::number_unsigned_t>(v);
          return true;
        }
      }
      // Out of the integer range: a float, as the library does.
    }
    double d = 0;
    auto [ptr, ec] = std::from_chars(start, p_, d);
    if (ec != std::errc() || ptr != p_ || !std::isfinite(d)) return false;  // let the library decide
    out = d;
    return true;
  }

  const char* p_;
  const char* end_;
};

}  // namespace

namespace detail {
std::optional<Json> parse_json_direct(std::string_view text) {
  Json value;
  const ReleaseOnExit release_value(value);
  if (!FastParser(text).parse(value)) return std::nullopt;
  return value;
}
}  // namespace detail

Result<Json> parse_json(std::string_view text) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    return Error("unexpected byte-order mark at line 1 column 1");
  }
  if (auto fast = detail::parse_json_direct(text)) return std::move(*fast);
  Json result;
  const ReleaseOnExit release_result(result);
  DepthLimitedSax sax(result);
  const bool ok = Json::sax_parse(text.begin(), text.end(), &sax, nlohmann::detail::input_format_t::json,
                                  /*strict=*/true, /*ignore_comments=*/false);
  // The library takes a NUL byte for the end of the text. None is valid JSON
  // (inside strings it is a control character, which the library refuses):
  // text the library accepted ended its value before the first NUL, and an
  // "end of input" it met was that NUL.
  const auto nul = text.find('\0');
  if (ok) {
    if (nul == std::string_view::npos) return result;
    return Error(
        describe("syntax error while parsing value - unexpected NUL byte; expected end of input", text, nul + 1));
  }
  if (sax.too_deep()) {
    auto [line, column] = position_of_excess_depth(text);
    return Error("recursion limit exceeded at line " + std::to_string(line) + " column " + std::to_string(column));
  }
  std::string message = sax.message();
  if (nul != std::string_view::npos) {
    constexpr std::string_view kEnd = "unexpected end of input";
    if (const auto at = message.find(kEnd); at != std::string::npos)
      message.replace(at, kEnd.size(), "unexpected NUL byte");
  }
  return Error(describe(message, text, sax.position()));
}

void release(Json& value) noexcept {
  if (auto* items = value.get_ptr<Json::array_t*>()) {
    while (!items->empty()) {
      release(items->back());
      items->pop_back();
    }
  } else if (auto* members = value.get_ptr<Json::object_t*>()) {
    while (!members->empty()) {
      const auto first = members->begin();
      release(first->second);
      members->erase(first);
    }
  }
}

}  // namespace tess
