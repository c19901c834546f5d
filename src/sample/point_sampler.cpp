#include "sample/point_sampler.h"

#include <cmath>

namespace tess::sample {

PointSampler::PointSampler(const Json& entry, std::string_view property, double scale_m, const Cancel& cancel)
    : entry_(entry), property_(property), scale_m_(scale_m) {
  ensure_field_models_registered();
  model_ = FIELD_MODELS().find(model_key(entry));
  if (!model_) {
    set_constant(ok_or_none(homogeneous_value(entry, property)));
    return;
  }
  if (dynamic_cast<const VoronoiPhaseModel*>(model_.get()) == nullptr) return;  // per point
  if (scale_m >= kCoarseScaleM && std::isfinite(scale_m)) {
    set_constant(ok_or_none(volume_weighted_average(entry, property)));
    return;
  }
  cell_ = (scale_m > 0.0 && std::isfinite(scale_m)) ? scale_m : kDefaultCellM;
  auto picker = PhasePicker::build(entry, PhasePicker::Use::many, cancel);
  if (!picker) {  // the picker's failures do not depend on the point
    set_constant(std::nullopt);
    return;
  }
  picker_ = std::move(*picker);
  phase_values_.reserve(picker_->names().size());
  for (const auto& phase : picker_->names()) {
    if (phase_values_.size() % 4096 == 0) cancel.check();
    phase_values_.push_back(ok_or_none(phase_property_lookup(entry, phase, property)));
  }
}

}  // namespace tess::sample
