// CandidateRng: the seeded generator behind every random choice of the alloy
// search. xoshiro256++ seeded through a PCG32 expansion of a 64-bit seed.
#pragma once

#include <array>
#include <cstdint>

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

  std::uint64_t next_u64() noexcept;
  // Uniform in [0, n) for n >= 1, by widening multiply with rejection.
  std::uint64_t uniform_below(std::uint64_t n);
  // Uniform in [low, high) for finite low < high, with rejection.
  double uniform_real(double low, double high);

 private:
  explicit CandidateRng(const State& s) : s_(s) {}
  State s_;
};

}  // namespace tess::alloy
