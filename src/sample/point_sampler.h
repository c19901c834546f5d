// One property of one entry sampled at many points.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "sample/sample.h"
#include "sample/voronoi.h"

namespace tess::sample {

// sample_entry for one entry, property and scale at many points, with
// everything that does not depend on the point worked out once, in time
// linear in the number of phases: the model, and for the Voronoi model the
// phase picker and each phase's value. Gives exactly sample_entry's value at
// every point (failures as nullopt). Reads `entry` while it lives; at() may be
// called from any thread.
class PointSampler {
 public:
  // Throws Cancelled when `cancel` stops.
  PointSampler(const Json& entry, std::string_view property, double scale_m, const Cancel& cancel = Cancel::never());

  std::optional<double> at(const Point& p) const {
    if (picker_) return phase_values_[picker_->pick(p, cell_)];
    if (constant_set_) return constant_;
    return ok_or_none(model_->evaluate(entry_, property_, p, scale_m_));
  }

 private:
  void set_constant(std::optional<double> v) {
    constant_ = v;
    constant_set_ = true;
  }
  static std::optional<double> ok_or_none(const Result<double>& r) {
    return r ? std::optional<double>(*r) : std::nullopt;
  }

  const Json& entry_;
  std::string_view property_;
  double scale_m_;
  std::shared_ptr<const FieldModel> model_;
  // A value (or failure, nullopt) that holds at every point.
  std::optional<double> constant_;
  bool constant_set_ = false;
  std::optional<PhasePicker> picker_;
  double cell_ = 0.0;
  std::vector<std::optional<double>> phase_values_;
};

}  // namespace tess::sample
