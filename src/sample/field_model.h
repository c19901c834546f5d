// Field models: the ways a property of an entry varies in space. A model
// prepares one property of one entry at one scale as a FieldSampler, which is
// then read at one point (sample) or at many (grids). Every reader of a
// property in space goes through a FieldSampler, so all of them agree.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "sample/geometry.h"
#include "sample/phase_picker.h"

namespace tess::sample {

// One property of one entry observed at one scale, with everything that does
// not depend on the point worked out once. Reading it only reads, so it may
// be read from any thread at once.
class FieldSampler {
 public:
  // The same value, or failure, at every point.
  static FieldSampler constant(Result<double> value);
  // At a point, values[i] of the phase picker.names()[i] whose cell (of edge
  // `cell`) holds the point.
  static FieldSampler by_phase(PhasePicker picker, double cell, std::vector<Result<double>> values);
  // A value worked out at each point; `value` must be safe to call from any
  // thread.
  static FieldSampler per_point(std::function<Result<double>(const Point&)> value);

  // The value at `p`, or the failure with its message.
  Result<double> at(const Point& p) const {
    switch (kind_) {
      case Kind::constant: return constant_;
      case Kind::by_phase: return results_[picker_->pick(p, cell_)];
      case Kind::per_point: break;
    }
    return value_(p);
  }
  // The value at `p`, or nothing where at() fails; builds no message.
  std::optional<double> value_at(const Point& p) const {
    switch (kind_) {
      case Kind::constant: return constant_number_;
      case Kind::by_phase: return numbers_[picker_->pick(p, cell_)];
      case Kind::per_point: break;
    }
    const Result<double> v = value_(p);
    return v ? std::optional<double>(*v) : std::nullopt;
  }

 private:
  enum class Kind { constant, by_phase, per_point };
  explicit FieldSampler(Kind kind) : kind_(kind) {}

  Kind kind_;
  Result<double> constant_ = 0.0;
  std::optional<double> constant_number_;
  std::vector<Result<double>> results_;         // one per phase
  std::vector<std::optional<double>> numbers_;  // the same without the messages
  std::optional<PhasePicker> picker_;
  double cell_ = 0.0;
  std::function<Result<double>(const Point&)> value_;
};

// At how many points a prepared field is read: none (the entry as a whole,
// as `sample` does without a point), one, or many (grids).
enum class Points { none, one, many };

// A way of evaluating a property of an entry in space. Models are stateless
// and shared by all threads.
class FieldModel {
 public:
  virtual ~FieldModel() = default;
  // `property` of `entry` observed at `scale_m`, for reading at `points`
  // points. With Points::none the sampler is constant. The sampler may read
  // `entry` while it lives. Throws Cancelled when `cancel` stops.
  virtual FieldSampler prepare(const Json& entry, std::string_view property, std::optional<double> scale_m,
                               Points points, const Cancel& cancel) const = 0;
};

// The fallback of every entry whose "phase_model" no registered model has:
// its top-level numeric member, the same everywhere. Never registered.
class HomogeneousModel final : public FieldModel {
 public:
  FieldSampler prepare(const Json& entry, std::string_view property, std::optional<double> scale_m, Points points,
                       const Cancel& cancel) const override;
};

// The registry of field models by name ("voronoi"). Filled once by
// ensure_field_models_registered(), read-only afterwards.
class FieldModelRegistry {
 public:
  FieldModelRegistry();
  std::shared_ptr<const FieldModel> find(std::string_view name) const;
  void insert(std::string name, std::shared_ptr<const FieldModel> model);

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

FieldModelRegistry& FIELD_MODELS();

// Runs the one-time registration of the built-in field models.
void ensure_field_models_registered();

// The model key of an entry: its "phase_model" string, else "homogeneous".
std::string model_key(const Json& entry);

// `property` of `entry` at `scale_m`, prepared by the model its key names,
// or by the homogeneous fallback when no model is registered under it.
// Registers the built-in models first if that has not happened yet.
FieldSampler prepare_field(const Json& entry, std::string_view property, std::optional<double> scale_m, Points points,
                           const Cancel& cancel = Cancel::never());

// Homogeneous sampling: the top-level numeric member `property`.
Result<double> homogeneous_value(const Json& entry, std::string_view property);

}  // namespace tess::sample
