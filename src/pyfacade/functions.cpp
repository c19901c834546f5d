// The handlers of the module's functions: the checks the module makes itself,
// then the operation of the subsystem.
#include "pyfacade/functions.h"

#include "sample/sample.h"

#ifndef TESSARINE_VERSION
#error "TESSARINE_VERSION must be defined (CMakeLists.txt takes it from pyproject.toml)"
#endif

namespace tess::py {

std::string_view version() { return TESSARINE_VERSION; }

Hook& poll_hook() {
  thread_local Hook hook;
  return hook;
}

namespace fn {
Result<Json> py_get(std::string_view spec, std::optional<std::string_view> scope_str, const Cancel& cancel) {
  if (spec.empty()) panic("py_get: spec must be non-empty");
  return get::get(spec, scope_str, cancel);
}

Result<std::optional<Json>> py_save(std::string_view name, std::string_view data_json, std::string_view tier_str) {
  if (name.empty()) panic("py_save: name must be non-empty");
  if (tier_str.empty()) panic("py_save: tier_str must be non-empty");
  return get::save(name, data_json, tier_str);
}

Result<double> py_sample(std::string_view name, std::string_view property, std::optional<sample::Point> at,
                         std::optional<double> scale_m) {
  if (name.empty()) panic("py_sample: name must be non-empty");
  if (property.empty()) panic("py_sample: property must be non-empty");
  return sample::sample(name, property, at, scale_m);
}

Result<Json> py_data_sheet(std::string_view name) {
  if (name.empty()) panic("py_data_sheet: name must be non-empty");
  return sample::lookup_entry(name);
}

Result<std::string> py_export_glsl(std::string_view name, bool include_density, bool include_ior, bool include_sss,
                                   bool include_caustic) {
  return exporter::export_glsl(name, {include_density, include_ior, include_sss, include_caustic});
}

Result<std::string> py_export_vtk_legacy(std::string_view name, std::string_view out_path, const sample::Box& bounds,
                                         double voxel_size, const std::optional<std::vector<std::string>>& properties,
                                         std::optional<double> scale_m, const Cancel& cancel) {
  return exporter::export_vtk_legacy(name, out_path, bounds, voxel_size,
                                     properties.value_or(std::vector<std::string>{}), scale_m, cancel);
}

BackboneInTurn py_build_backbone(std::string_view sequence, std::vector<protein::AnglePair> phi_psi_deg) {
  // Placed, and its sequence checked, as the result is built.
  return {sequence, std::move(phi_psi_deg)};
}

bool is_rust_backend() { return true; }

std::string_view version_rust() { return version(); }

}  // namespace fn
}  // namespace tess::py
