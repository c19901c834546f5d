// The one hash of the system: 64-bit FNV-1a. It picks Voronoi phases (whose
// picks are part of every written file), colours OBJ materials, spreads the
// store's keys over its shards and fills the lookup filters.
#pragma once

#include <cstdint>
#include <string_view>

namespace tess::hash {

inline constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
inline constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

// The state `h` after the bytes of `bytes`, one by one: XOR, then multiply.
constexpr std::uint64_t fnv1a_feed(std::uint64_t h, std::string_view bytes) noexcept {
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= kFnvPrime;
  }
  return h;
}

// The state `h` after the 8 little-endian bytes of `v`.
constexpr std::uint64_t fnv1a_feed_u64(std::uint64_t h, std::uint64_t v) noexcept {
  for (int b = 0; b < 8; ++b) {
    h ^= (v >> (8 * b)) & 0xFFU;
    h *= kFnvPrime;
  }
  return h;
}

// The hash of `bytes`, from the offset basis.
constexpr std::uint64_t fnv1a(std::string_view bytes) noexcept { return fnv1a_feed(kFnvBasis, bytes); }

}  // namespace tess::hash
