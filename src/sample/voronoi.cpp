#include "sample/voronoi.h"

#include <cmath>
#include <utility>
#include <vector>

#include "sample/phase_picker.h"

namespace tess::sample {

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

FieldSampler VoronoiPhaseModel::prepare(const Json& entry, std::string_view property, std::optional<double> scale_m,
                                        Points points, const Cancel& cancel) const {
  if (points == Points::none || (scale_m && *scale_m >= kCoarseScaleM && std::isfinite(*scale_m))) {
    return FieldSampler::constant(volume_weighted_average(entry, property));
  }
  const double cell = (scale_m && *scale_m > 0.0 && std::isfinite(*scale_m)) ? *scale_m : kDefaultCellM;
  auto picker =
      PhasePicker::build(entry, points == Points::many ? PhasePicker::Use::many : PhasePicker::Use::once, cancel);
  if (!picker) return FieldSampler::constant(std::move(picker).error());  // the same failure at every point
  std::vector<Result<double>> values;
  values.reserve(picker->names().size());
  for (const std::string& phase : picker->names()) {
    if (values.size() % 4096 == 0) cancel.check();
    values.push_back(phase_property_lookup(entry, phase, property));
  }
  return FieldSampler::by_phase(std::move(*picker), cell, std::move(values));
}

}  // namespace tess::sample
