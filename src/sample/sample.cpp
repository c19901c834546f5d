#include "sample/sample.h"

#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "data_loader/store.h"

namespace tess::sample {

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
  std::call_once(once, [] { register_builtin_models(FIELD_MODELS()); });
}

std::string no_datasheet_message(std::string_view name) {
  return "sample::lookup_entry: no datasheet found for '" + std::string(name) + "'";
}

Result<Json> lookup_entry(std::string_view name) {
  auto found = data_loader::DATA().find_entry(name);
  if (!found) return Error(no_datasheet_message(name));
  return std::move(*found);
}

std::string model_key(const Json& entry) {
  const Json* key = member(entry, "phase_model");
  if (key != nullptr && key->is_string()) return key->get<std::string>();
  return "homogeneous";
}

Result<double> homogeneous_value(const Json& entry, std::string_view property) {
  if (const Json* v = member(entry, property)) {
    if (auto x = as_number(*v)) return *x;
  }
  return Error("sample: property '" + std::string(property) + "' missing or non-numeric");
}

Result<double> sample_entry(const Json& entry, std::string_view property, const std::optional<Point>& at,
                            std::optional<double> scale_m) {
  if (auto model = FIELD_MODELS().find(model_key(entry))) {
    return model->evaluate(entry, property, at, scale_m);
  }
  return homogeneous_value(entry, property);
}

Result<double> sample(std::string_view name, std::string_view property, const std::optional<Point>& at,
                      std::optional<double> scale_m) {
  ensure_field_models_registered();
  // The entry is read in place under the store's shared lock: nothing keeps a
  // reference to it after the call, so a copy would change nothing.
  return data_loader::DATA().read().with_found(name, [&](const Json* entry) -> Result<double> {
    if (entry == nullptr) return Error(no_datasheet_message(name));
    return sample_entry(*entry, property, at, scale_m);
  });
}

}  // namespace tess::sample
