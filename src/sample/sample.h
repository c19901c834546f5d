// Entry lookup, point sampling and the field-model registry.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "common/json.h"

namespace tess::sample {

using Point = std::array<double, 3>;

// A way of evaluating a property of an entry in space. Models are stateless
// and shared by all threads.
class FieldModel {
 public:
  virtual ~FieldModel() = default;
  virtual Result<double> evaluate(const Json& entry, std::string_view property, const std::optional<Point>& at,
                                  std::optional<double> scale_m) const = 0;
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

// Registers the built-in models into `registry`; called once.
void register_builtin_models(FieldModelRegistry& registry);

// A copy of the entry named exactly `name` from the first tier that holds it.
Result<Json> lookup_entry(std::string_view name);

// The message of a failed lookup_entry.
std::string no_datasheet_message(std::string_view name);

// The model key of an entry: its "phase_model" string, else "homogeneous".
std::string model_key(const Json& entry);

// The value of `property` of entry `name` at `at`, observed at scale `scale_m`.
Result<double> sample(std::string_view name, std::string_view property, const std::optional<Point>& at,
                      std::optional<double> scale_m);

// Evaluates an entry already in hand (no lookup); what sample() does after it.
Result<double> sample_entry(const Json& entry, std::string_view property, const std::optional<Point>& at,
                            std::optional<double> scale_m);

// Homogeneous sampling: the top-level numeric member `property`.
Result<double> homogeneous_value(const Json& entry, std::string_view property);

}  // namespace tess::sample
