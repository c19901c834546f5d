// Unicode operations on UTF-8 text, by ICU's rules rather than ASCII-only ones.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tess::unicode {

// The full Unicode lower-case mapping of the whole string (root locale):
// context-sensitive final sigma, one-to-many mappings such as U+0130.
// ASCII-only text takes a fast path with the identical result.
std::string to_lower(std::string_view utf8);

// ICU holds at most 2^31 - 1 units in a string: to_lower maps longer text in
// pieces of at most this many bytes.
inline constexpr std::size_t kLowerPiece = std::size_t{1} << 30;

// to_lower, mapping text longer than `piece` bytes in pieces that end after
// an ASCII space (which no final-sigma context crosses) or, without one, at a
// character boundary.
std::string to_lower_in_pieces(std::string_view utf8, std::size_t piece);

// True when every byte is below 0x80.
bool is_ascii(std::string_view s) noexcept;

// `s` without leading and trailing characters that have the Unicode
// White_Space property.
std::string_view trim_white_space(std::string_view utf8) noexcept;

// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string to_valid_utf8(std::string_view bytes);

// True when `bytes` is well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes) noexcept;

}  // namespace tess::unicode
