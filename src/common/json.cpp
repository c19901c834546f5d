#include "common/json.h"

#include <cstdio>
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
  bool end_object() { --depth_; return dom_.end_object(); }
  bool start_array(std::size_t n) { return enter() && dom_.start_array(n); }
  bool end_array() { --depth_; return dom_.end_array(); }

  bool parse_error(std::size_t /*position*/, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& ex) {
    message_ = ex.what();
    return false;
  }

  bool too_deep() const { return too_deep_; }
  const std::string& message() const { return message_; }

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
// column 7: syntax error while parsing value - ..."; keep the description and
// move the position to the end.
std::string describe(const std::string& what) {
  std::size_t line = 0, column = 0;
  const auto at = what.find("at line ");
  if (at != std::string::npos &&
      std::sscanf(what.c_str() + at, "at line %zu, column %zu", &line, &column) == 2) {
    const auto colon = what.find(": ", at);
    std::string description = colon == std::string::npos ? what : what.substr(colon + 2);
    return clip(std::move(description), 240) + " at line " + std::to_string(line) + " column " +
           std::to_string(column);
  }
  return clip(what, 240) + " at line 1 column 0";
}

}  // namespace

Result<Json> parse_json(std::string_view text) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    return Error("unexpected byte-order mark at line 1 column 1");
  }
  Json result;
  DepthLimitedSax sax(result);
  const bool ok = Json::sax_parse(text.begin(), text.end(), &sax, nlohmann::detail::input_format_t::json,
                                  /*strict=*/true, /*ignore_comments=*/false);
  if (ok) return result;
  if (sax.too_deep()) {
    auto [line, column] = position_of_excess_depth(text);
    return Error("recursion limit exceeded at line " + std::to_string(line) + " column " + std::to_string(column));
  }
  return Error(describe(sax.message()));
}

std::string dump_compact(const Json& value) {
  return value.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::strict);
}

}  // namespace tess
