#include "sample/field_model.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>

#include "sample/voronoi.h"

namespace tess::sample {

FieldSampler FieldSampler::constant(Result<double> value) {
  FieldSampler s(Kind::constant);
  if (value) s.constant_number_ = *value;
  s.constant_ = std::move(value);
  return s;
}

FieldSampler FieldSampler::by_phase(PhasePicker picker, double cell, std::vector<Result<double>> values) {
  FieldSampler s(Kind::by_phase);
  s.numbers_.reserve(values.size());
  for (const Result<double>& v : values) s.numbers_.push_back(v ? std::optional<double>(*v) : std::nullopt);
  s.results_ = std::move(values);
  s.picker_ = std::move(picker);
  s.cell_ = cell;
  return s;
}

FieldSampler FieldSampler::per_point(std::function<Result<double>(const Point&)> value) {
  FieldSampler s(Kind::per_point);
  s.value_ = std::move(value);
  return s;
}

Result<double> homogeneous_value(const Json& entry, std::string_view property) {
  if (const Json* v = member(entry, property)) {
    if (auto x = as_number(*v)) return *x;
  }
  return Error("sample: property '" + std::string(property) + "' missing or non-numeric");
}

FieldSampler HomogeneousModel::prepare(const Json& entry, std::string_view property, std::optional<double> /*scale_m*/,
                                       Points /*points*/, const Cancel& /*cancel*/) const {
  return FieldSampler::constant(homogeneous_value(entry, property));
}

struct FieldModelRegistry::Impl {
  mutable std::shared_mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<const FieldModel>> models;
};

FieldModelRegistry::FieldModelRegistry() : impl_(std::make_shared<Impl>()) {}

std::shared_ptr<const FieldModel> FieldModelRegistry::find(std::string_view name) const {
  std::shared_lock lock(impl_->mutex);
  auto it = impl_->models.find(std::string(name));
  return it == impl_->models.end() ? nullptr : it->second;
}

void FieldModelRegistry::insert(std::string name, std::shared_ptr<const FieldModel> model) {
  std::unique_lock lock(impl_->mutex);
  impl_->models[std::move(name)] = std::move(model);
}

FieldModelRegistry& FIELD_MODELS() {
  static auto* registry = new FieldModelRegistry();
  return *registry;
}

void ensure_field_models_registered() {
  static std::once_flag once;
  std::call_once(once, [] { FIELD_MODELS().insert("voronoi", std::make_shared<const VoronoiPhaseModel>()); });
}

std::string model_key(const Json& entry) {
  const Json* key = member(entry, "phase_model");
  if (key != nullptr && key->is_string()) return key->get<std::string>();
  return "homogeneous";
}

FieldSampler prepare_field(const Json& entry, std::string_view property, std::optional<double> scale_m, Points points,
                           const Cancel& cancel) {
  ensure_field_models_registered();
  if (auto model = FIELD_MODELS().find(model_key(entry))) {
    return model->prepare(entry, property, scale_m, points, cancel);
  }
  static const HomogeneousModel homogeneous;
  return homogeneous.prepare(entry, property, scale_m, points, cancel);
}

}  // namespace tess::sample
