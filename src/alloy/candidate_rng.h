// CandidateRng: the seeded generator behind every random choice of the alloy
// search. xoshiro256++ seeded through a PCG32 expansion of a 64-bit seed.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#include "common/error.h"

namespace tess::alloy {

class CandidateRng {
 public:
  using SeedBytes = std::array<std::uint8_t, 32>;
  using State = std::array<std::uint64_t, 4>;

  // The 32 seed bytes that a 64-bit seed expands to (PCG32 output, 8 words).
  static SeedBytes seed_bytes_from_u64(std::uint64_t seed);
  static CandidateRng seed_from_u64(std::uint64_t seed);
  // 32 bytes from the operating system; panics "from_entropy failed: ..." when
  // the request fails.
  static CandidateRng seed_from_entropy();
  // State s0..s3 read little-endian from the bytes; all-zero bytes give the
  // first four SplitMix64 outputs from state 0 instead.
  static CandidateRng from_seed_bytes(const SeedBytes& bytes);

  const State& state() const noexcept { return s_; }

  // Inline: the search draws up to nine times per candidate.
  std::uint64_t next_u64() noexcept {
    const std::uint64_t result = std::rotl(s_[0] + s_[3], 23) + s_[0];
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = std::rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, n) for n >= 1, by widening multiply with rejection.
  std::uint64_t uniform_below(std::uint64_t n) {
    if (n == 0) panic("CandidateRng::uniform_below: n must be at least 1");
    const std::uint64_t zone = (n << std::countl_zero(n)) - 1;
    for (;;) {
      const u128 product = static_cast<u128>(next_u64()) * n;
      const auto lo = static_cast<std::uint64_t>(product);
      if (lo <= zone) return static_cast<std::uint64_t>(product >> 64);
    }
  }

  // Uniform in [low, high) for finite low < high, with rejection.
  double uniform_real(double low, double high) {
    if (!(low < high) || !std::isfinite(low) || !std::isfinite(high)) {
      panic("CandidateRng::uniform_real: bounds must be finite with low < high");
    }
    const double scale = high - low;
    for (;;) {
      const auto m = std::bit_cast<double>(0x3FF0000000000000ULL | (next_u64() >> 12));
      const double u = m - 1.0;
      // Built with -ffp-contract=off: one rounded product, then one rounded sum.
      const double r = u * scale + low;
      if (r < high) return r;
    }
  }

 private:
  // NOLINTNEXTLINE(modernize-use-using): __extension__ (quiet under -Wpedantic) takes a typedef
  __extension__ typedef unsigned __int128 u128;

  explicit CandidateRng(const State& s) : s_(s) {}
  State s_;
};

}  // namespace tess::alloy
