// The hashed multi-phase field model: space is cut into cubic cells and every
// cell belongs to one phase, picked by a hash of its index weighted by the
// phases' volume fractions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/json.h"
#include "sample/sample.h"

namespace tess::sample {

// Scales at or above this (metres) are averaged rather than picked.
inline constexpr double kCoarseScaleM = 0.01;
// The cell edge when no usable scale is given (metres).
inline constexpr double kDefaultCellM = 0.001;

// The phases of an entry that take part in picking: every numeric member of
// "phase_volume_fractions", in ascending byte order of the name. Built once,
// it picks for any number of points with exactly the arithmetic of
// pick_phase_by_voronoi_hash.
class PhasePicker {
 public:
  // Fails with the picker's messages when the entry has no usable fractions.
  static Result<PhasePicker> build(const Json& entry);

  const std::vector<std::string>& names() const { return names_; }

  // The index into names() of the phase that holds cell (i, j, k).
  std::size_t pick_cell(std::int64_t i, std::int64_t j, std::int64_t k) const {
    return pick_hash(cell_hash(i, j, k));
  }
  // The index into names() of the phase whose cell holds the point.
  std::size_t pick(const Point& p, double cell) const {
    return pick_cell(cell_index(p[0], cell), cell_index(p[1], cell), cell_index(p[2], cell));
  }
  // The index into names() for a finished cell hash.
  std::size_t pick_hash(std::uint64_t hash) const;

  // floor(coord / cell) as a signed 64-bit integer, saturating; NaN gives 0.
  static std::int64_t cell_index(double coord, double cell);

  // 64-bit FNV-1a over the 24 little-endian bytes of i, j and k.
  static constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;
  static constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;
  // Feeds the 8 little-endian bytes of v into the hash state h.
  static std::uint64_t fnv_feed(std::uint64_t h, std::int64_t v) {
    auto u = static_cast<std::uint64_t>(v);
    for (int b = 0; b < 8; ++b) {
      h ^= (u >> (8 * b)) & 0xFFU;
      h *= kFnvPrime;
    }
    return h;
  }
  static std::uint64_t cell_hash(std::int64_t i, std::int64_t j, std::int64_t k) {
    return fnv_feed(fnv_feed(fnv_feed(kFnvBasis, i), j), k);
  }

 private:
  std::vector<std::string> names_;
  std::vector<double> running_;  // running sums of the fractions, in list order
  double total_ = 0.0;
};

// The phase of the entry at point `p` for cells of edge `cell`.
Result<std::string> pick_phase_by_voronoi_hash(const Json& entry, const Point& p, double cell);

// The fraction-weighted mean of `property` over the phases with a positive
// fraction, else the entry's top-level value.
Result<double> volume_weighted_average(const Json& entry, std::string_view property);

// The value of `property` in the "phase_properties" block of `phase`.
Result<double> phase_property_lookup(const Json& entry, std::string_view phase, std::string_view property);

class VoronoiPhaseModel final : public FieldModel {
 public:
  Result<double> evaluate(const Json& entry, std::string_view property, const std::optional<Point>& at,
                          std::optional<double> scale_m) const override;
};

}  // namespace tess::sample
