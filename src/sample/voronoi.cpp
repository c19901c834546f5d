#include "sample/voronoi.h"

#include <cmath>
#include <limits>
#include <memory>

namespace tess::sample {

Result<PhasePicker> PhasePicker::build(const Json& entry) {
  const Json* fractions = member(entry, "phase_volume_fractions");
  if (fractions == nullptr || !fractions->is_object()) {
    return Error("voronoi sample: entry missing 'phase_volume_fractions' object");
  }
  if (fractions->empty()) return Error("voronoi sample: phase_volume_fractions is empty");
  PhasePicker picker;
  double sum = 0.0;
  for (const auto& [name, value] : fractions->items()) {
    auto f = as_number(value);
    if (!f) continue;
    picker.names_.push_back(name);
    sum += *f;
    picker.running_.push_back(sum);
  }
  if (picker.names_.empty()) return Error("voronoi sample: no numeric phase fractions");
  picker.total_ = sum;
  if (sum <= 0.0) return Error("voronoi sample: total phase volume must be > 0");
  return picker;
}

std::int64_t PhasePicker::cell_index(double coord, double cell) {
  const double f = std::floor(coord / cell);
  if (std::isnan(f)) return 0;
  // 2^63 is exactly representable; every double below it converts exactly.
  if (f >= 0x1p63) return std::numeric_limits<std::int64_t>::max();
  if (f < -0x1p63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(f);
}

std::size_t PhasePicker::pick_hash(std::uint64_t hash) const {
  double u = static_cast<double>(hash) * 0x1p-64;
  if (u > 1.0) u = 1.0;
  const double target = total_ * u;
  for (std::size_t i = 0; i < running_.size(); ++i) {
    if (target <= running_[i]) return i;
  }
  return running_.size() - 1;
}

Result<std::string> pick_phase_by_voronoi_hash(const Json& entry, const Point& p, double cell) {
  auto picker = PhasePicker::build(entry);
  if (!picker) return std::move(picker).error();
  return picker->names()[picker->pick(p, cell)];
}

Result<double> phase_property_lookup(const Json& entry, std::string_view phase, std::string_view property) {
  const Json* props = member(entry, "phase_properties");
  if (props == nullptr || !props->is_object()) {
    return Error("voronoi sample: entry missing 'phase_properties' object");
  }
  const Json* block = member(*props, phase);
  if (block == nullptr || !block->is_object()) {
    return Error("voronoi sample: no properties for phase '" + std::string(phase) + "'");
  }
  if (const Json* v = member(*block, property)) {
    if (auto x = as_number(*v)) return *x;
  }
  return Error("voronoi sample: phase '" + std::string(phase) + "' missing numeric '" + std::string(property) + "'");
}

Result<double> volume_weighted_average(const Json& entry, std::string_view property) {
  const Json* fractions = member(entry, "phase_volume_fractions");
  if (fractions != nullptr && fractions->is_object() && !fractions->empty()) {
    double s = 0.0;
    double w = 0.0;
    for (const auto& [name, value] : fractions->items()) {
      auto f = as_number(value);
      if (!f || !(*f > 0.0)) continue;
      auto v = phase_property_lookup(entry, name, property);
      if (!v) return std::move(v).error();
      const double term = *f * *v;  // a product, then a sum: never fused
      s = s + term;
      w = w + *f;
    }
    if (w > 0.0) return s / w;
  }
  return homogeneous_value(entry, property);
}

Result<double> VoronoiPhaseModel::evaluate(const Json& entry, std::string_view property,
                                           const std::optional<Point>& at, std::optional<double> scale_m) const {
  if (!at) return volume_weighted_average(entry, property);
  if (scale_m && *scale_m >= kCoarseScaleM && std::isfinite(*scale_m)) {
    return volume_weighted_average(entry, property);
  }
  const double cell = (scale_m && *scale_m > 0.0 && std::isfinite(*scale_m)) ? *scale_m : kDefaultCellM;
  auto phase = pick_phase_by_voronoi_hash(entry, *at, cell);
  if (!phase) return std::move(phase).error();
  return phase_property_lookup(entry, *phase, property);
}

}  // namespace tess::sample
