#include "sample/phase_picker.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tess::sample {

namespace {
// Phases read between two polls of the cancellation token.
constexpr std::size_t kPollEvery = 4096;
}  // namespace

Result<PhasePicker> PhasePicker::build(const Json& entry, Use use, const Cancel& cancel) {
  const Json* fractions = member(entry, "phase_volume_fractions");
  if (fractions == nullptr || !fractions->is_object()) {
    return Error("voronoi sample: entry missing 'phase_volume_fractions' object");
  }
  if (fractions->empty()) return Error("voronoi sample: phase_volume_fractions is empty");
  PhasePicker picker;
  double sum = 0.0;
  double reach = std::numeric_limits<double>::quiet_NaN();
  std::size_t seen = 0;
  for (const auto& [name, value] : fractions->items()) {
    if (++seen % kPollEvery == 0) cancel.check();
    auto f = as_number(value);
    if (!f) continue;
    picker.names_.push_back(name);
    sum += *f;
    if (std::isnan(reach) || sum > reach) reach = sum;  // a NaN sum never reaches a target
    picker.reach_.push_back(reach);
  }
  if (picker.names_.empty()) return Error("voronoi sample: no numeric phase fractions");
  picker.total_ = sum;
  if (sum <= 0.0) return Error("voronoi sample: total phase volume must be > 0");
  if (use == Use::many && picker.names_.size() <= kMaxThresholdPhases) picker.build_thresholds();
  return picker;
}

std::size_t PhasePicker::pick_target(double target) const {
  // target <= reach_[i] is false up to some i and true from there on (never
  // for a NaN target): the first true one is the pick.
  const auto it =
      std::partition_point(reach_.begin(), reach_.end(), [target](double reach) { return !(target <= reach); });
  return it == reach_.end() ? reach_.size() - 1 : static_cast<std::size_t>(it - reach_.begin());
}

void PhasePicker::build_thresholds() {
  // With a finite total the target grows with the hash and the pick with the
  // target: the pick is a non-decreasing step function of the hash, and each
  // step is found by bisection.
  if (!std::isfinite(total_)) return;
  constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();
  first_ = pick_target(target_of(0));
  const std::size_t last = pick_target(target_of(kTop));
  for (std::size_t m = first_ + 1; m <= last; ++m) {
    std::uint64_t lo = 0, hi = kTop;  // pick(lo) < m <= pick(hi)
    while (hi - lo > 1) {
      const std::uint64_t mid = lo + (hi - lo) / 2;
      (pick_target(target_of(mid)) >= m ? hi : lo) = mid;
    }
    thresholds_.push_back(hi);
  }
}

std::int64_t PhasePicker::cell_index(double coord, double cell) {
  const double f = std::floor(coord / cell);
  if (std::isnan(f)) return 0;
  // 2^63 is exactly representable; every double below it converts exactly.
  if (f >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
  if (f < -0x1p63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(f);
}

}  // namespace tess::sample
