#include "alloy/candidate_rng.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <span>
#include <string>

#include "common/error.h"
#include "common/platform.h"

namespace tess::alloy {

CandidateRng::SeedBytes CandidateRng::seed_bytes_from_u64(std::uint64_t seed) {
  constexpr std::uint64_t kMul = 0x5851F42D4C957F2DULL;
  constexpr std::uint64_t kInc = 0xA17654E46FBE17F3ULL;
  SeedBytes bytes{};
  std::uint64_t t = seed;
  for (std::size_t word = 0; word < 8; ++word) {
    t = t * kMul + kInc;
    const auto x = static_cast<std::uint32_t>(((t >> 18) ^ t) >> 27);
    const auto r = static_cast<int>(t >> 59);
    const std::uint32_t out = std::rotr(x, r);
    for (std::size_t b = 0; b < 4; ++b) bytes[word * 4 + b] = static_cast<std::uint8_t>(out >> (8 * b));
  }
  return bytes;
}

CandidateRng CandidateRng::seed_from_u64(std::uint64_t seed) { return from_seed_bytes(seed_bytes_from_u64(seed)); }

CandidateRng CandidateRng::seed_from_entropy() {
  SeedBytes bytes{};
  if (auto got = platform::random_bytes(std::as_writable_bytes(std::span(bytes))); !got) {
    panic("from_entropy failed: " + got.error().message());
  }
  return from_seed_bytes(bytes);
}

CandidateRng CandidateRng::from_seed_bytes(const SeedBytes& bytes) {
  State s{};
  bool all_zero = true;
  for (std::size_t w = 0; w < 4; ++w) {
    std::uint64_t v = 0;
    for (std::size_t b = 0; b < 8; ++b) v |= static_cast<std::uint64_t>(bytes[w * 8 + b]) << (8 * b);
    s[w] = v;
    all_zero = all_zero && v == 0;
  }
  if (all_zero) {
    s = {0xE220A8397B1DCDAFULL, 0x6E789E6AA1B965F4ULL, 0x06C45D188009454FULL, 0xF88BB8A8724C81ECULL};
  }
  return CandidateRng(s);
}

}  // namespace tess::alloy
