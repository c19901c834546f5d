// The phase picker of the Voronoi model: space is cut into cubic cells and
// every cell belongs to one phase, picked by a hash of its index weighted by
// the phases' volume fractions. The voxel phase map and the prepared Voronoi
// sampler pick through it.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/hash.h"
#include "common/json.h"
#include "sample/geometry.h"

namespace tess::sample {

// The phases of an entry that take part in picking: every numeric member of
// "phase_volume_fractions", in ascending byte order of the name. A cell's
// hash u in [0, 1] gives the target total * u, and the pick is the first
// phase whose running sum of fractions reaches the target, else the last.
// Built once in time linear in the number of phases, it picks for any number
// of points in time logarithmic in the number of phases.
class PhasePicker {
 public:
  // For how many points the picker is built: Use::many spends a little more
  // on a few phases to make each pick cheaper (the picks stay the same).
  enum class Use { once, many };
  // Fails with the picker's messages when the entry has no usable fractions.
  // Throws Cancelled when `cancel` stops.
  static Result<PhasePicker> build(const Json& entry, Use use = Use::once, const Cancel& cancel = Cancel::never());

  const std::vector<std::string>& names() const { return names_; }

  // The index into names() of the phase that holds cell (i, j, k).
  std::size_t pick_cell(std::int64_t i, std::int64_t j, std::int64_t k) const { return pick_hash(cell_hash(i, j, k)); }
  // The index into names() of the phase whose cell holds the point.
  std::size_t pick(const Point& p, double cell) const {
    return pick_cell(cell_index(p[0], cell), cell_index(p[1], cell), cell_index(p[2], cell));
  }
  // The index into names() for a finished cell hash.
  std::size_t pick_hash(std::uint64_t hash) const {
    if (thresholds_.empty()) return pick_target(target_of(hash));
    std::size_t pick = first_;
    for (std::uint64_t t : thresholds_) pick += hash >= t ? 1 : 0;  // no branches: hashes are unpredictable
    return pick;
  }

  // The target of a hash by the arithmetic of the model: u = hash / 2^64 (at
  // most 1), target = total * u.
  double target_of(std::uint64_t hash) const {
    double u = to_double(hash) * 0x1p-64;
    if (u > 1.0) u = 1.0;
    return total_ * u;
  }
  // The first phase whose running sum reaches the target (target <= sum),
  // else the last phase. A binary search over the running maxima of the sums:
  // a sum reaches the target exactly when the largest sum so far does.
  std::size_t pick_target(double target) const;

  // The unsigned integer rounded to the nearest double, without a branch on
  // its top bit: above 2^63 it is halved with the lost bit kept sticky, which
  // rounds the same, and doubled back exactly.
  static double to_double(std::uint64_t v) {
    const auto low = static_cast<double>(static_cast<std::int64_t>(v & ~(std::uint64_t{1} << 63)));
    const double high = static_cast<double>(static_cast<std::int64_t>((v >> 1) | (v & 1))) * 2.0;
    const std::uint64_t take_high = std::uint64_t{0} - (v >> 63);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(high) & take_high) |
                                 (std::bit_cast<std::uint64_t>(low) & ~take_high));
  }

  // floor(coord / cell) as a signed 64-bit integer, saturating; NaN gives 0.
  static std::int64_t cell_index(double coord, double cell);

  // 64-bit FNV-1a over the 24 little-endian bytes of i, j and k.
  static std::uint64_t cell_hash(std::int64_t i, std::int64_t j, std::int64_t k) {
    using hash::fnv1a_feed_u64;
    return fnv1a_feed_u64(
        fnv1a_feed_u64(fnv1a_feed_u64(hash::kFnvBasis, static_cast<std::uint64_t>(i)), static_cast<std::uint64_t>(j)),
        static_cast<std::uint64_t>(k));
  }

  // When thresholds() is not empty, pick_hash(h) is first_index() plus the
  // number of thresholds at or below h.
  std::size_t first_index() const { return first_; }
  const std::vector<std::uint64_t>& thresholds() const { return thresholds_; }

  // Up to this many phases, Use::many picks by counting integer thresholds
  // on the hash instead of searching.
  static constexpr std::size_t kMaxThresholdPhases = 16;

 private:
  void build_thresholds();

  std::vector<std::string> names_;
  double total_ = 0.0;
  // reach_[i]: the largest of the running sums of phases 0 ... i that are
  // numbers; NaN while none is. NaN first, then non-decreasing.
  std::vector<double> reach_;
  // With thresholds, pick_hash(h) = first_ + the number of thresholds at or
  // below h.
  std::size_t first_ = 0;
  std::vector<std::uint64_t> thresholds_;
};

}  // namespace tess::sample
