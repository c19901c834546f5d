// The hashed multi-phase field model, registered as "voronoi": a point takes
// the value of the phase whose cell holds it (see PhasePicker); without a
// point, or at coarse scales, the value is the fraction-weighted average over
// the phases.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "sample/field_model.h"
#include "sample/geometry.h"

namespace tess::sample {

// Scales at or above this (metres) are averaged rather than picked.
inline constexpr double kCoarseScaleM = 0.01;
// The cell edge when no usable scale is given (metres).
inline constexpr double kDefaultCellM = 0.001;

// The fraction-weighted mean of `property` over the phases with a positive
// fraction, else the entry's top-level value.
Result<double> volume_weighted_average(const Json& entry, std::string_view property);

// The value of `property` in the "phase_properties" block of `phase`.
Result<double> phase_property_lookup(const Json& entry, std::string_view phase, std::string_view property);

class VoronoiPhaseModel final : public FieldModel {
 public:
  // Without points, or at a finite scale of at least kCoarseScaleM: the
  // average. Otherwise each phase's value, picked in cells of edge scale_m
  // when it is positive and finite, else kDefaultCellM.
  FieldSampler prepare(const Json& entry, std::string_view property, std::optional<double> scale_m, Points points,
                       const Cancel& cancel) const override;
};

}  // namespace tess::sample
