#include "common/unicode.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace tess::unicode {

bool is_ascii(std::string_view s) noexcept {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

namespace {

// ICU's strings hold at most INT32_MAX UTF-16 units.
std::string lower_with_icu(std::string_view utf8) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  u.toLower(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

}  // namespace

std::string to_lower(std::string_view utf8) { return to_lower_in_pieces(utf8, kLowerPiece); }

std::string to_lower_in_pieces(std::string_view utf8, std::size_t piece) {
  if (is_ascii(utf8)) {
    std::string out(utf8);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  if (utf8.size() <= piece) return lower_with_icu(utf8);
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    std::size_t cut = utf8.size();
    if (cut > piece) {
      // After the last ASCII space: the context of a final sigma does not
      // reach across one. Without a space, at the last character boundary.
      cut = utf8.rfind(' ', piece - 1);
      if (cut != std::string_view::npos) {
        ++cut;
      } else {
        cut = piece;
        while (cut > 1 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
      }
    }
    out += lower_with_icu(utf8.substr(0, cut));
    utf8.remove_prefix(cut);
  }
  return out;
}

std::string_view trim_white_space(std::string_view utf8) noexcept {
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  const std::size_t length = utf8.size();
  std::size_t begin = 0;
  while (begin < length) {
    std::size_t next = begin;
    UChar32 c = 0;
    U8_NEXT(p, next, length, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    begin = next;
  }
  std::size_t end = length;
  while (end > begin) {
    // A character is at most 4 bytes: step back within a short window, so
    // that ICU's 32-bit offsets hold for text of any length.
    const std::size_t base = end - begin > 4 ? end - 4 : begin;
    auto prev = static_cast<int32_t>(end - base);
    UChar32 c = 0;
    U8_PREV(p + base, 0, prev, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    end = base + static_cast<std::size_t>(prev);
  }
  return utf8.substr(begin, end - begin);
}

std::string to_valid_utf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const std::size_t length = bytes.size();
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < length) {
    const std::size_t start = i;
    UChar32 c = 0;
    U8_NEXT(p, i, length, c);
    if (c < 0) out += "\xEF\xBF\xBD";
    else out.append(bytes.data() + start, i - start);
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) noexcept {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const std::size_t length = bytes.size();
  std::size_t i = 0;
  while (i < length) {
    UChar32 c = 0;
    U8_NEXT(p, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

}  // namespace tess::unicode
