// Unicode operations on UTF-8 text, by ICU's rules rather than ASCII-only ones.
#pragma once

#include <string>
#include <string_view>

namespace tess::unicode {

// The full Unicode lower-case mapping of the whole string (root locale):
// context-sensitive final sigma, one-to-many mappings such as U+0130.
// ASCII-only text takes a fast path with the identical result.
std::string to_lower(std::string_view utf8);

// True when every byte is below 0x80.
bool is_ascii(std::string_view s) noexcept;

// `s` without leading and trailing characters that have the Unicode
// White_Space property.
std::string_view trim_white_space(std::string_view utf8) noexcept;

// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string to_valid_utf8(std::string_view bytes);

// True when `bytes` is well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes) noexcept;

// Number of Unicode scalar values of well-formed UTF-8 text.
std::size_t count_chars(std::string_view utf8) noexcept;

}  // namespace tess::unicode
