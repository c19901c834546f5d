// The handlers of the module's functions: the checks the module makes itself,
// then the operation of the subsystem.
#include "pyfacade/functions.h"

#include "data_loader/tiers.h"
#include "export/shader.h"
#include "export/stl_writer.h"
#include "export/volume.h"
#include "get/calls.h"
#include "protein/kabsch.h"
#include "protein/ramachandran.h"
#include "sample/sample.h"

#ifndef TESSARINE_VERSION
#error "TESSARINE_VERSION must be defined (CMakeLists.txt takes it from pyproject.toml)"
#endif

namespace tess::py {

std::string_view version() { return TESSARINE_VERSION; }

namespace fn {
namespace {

// Rows as an N x 3 point set: the first three numbers of each row.
bool to_points(const std::vector<std::vector<double>>& rows, protein::Points& out) {
  out.resize(static_cast<Eigen::Index>(rows.size()), 3);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].size() < 3) return false;
    for (int k = 0; k < 3; ++k) out(static_cast<Eigen::Index>(i), k) = rows[i][static_cast<std::size_t>(k)];
  }
  return true;
}

}  // namespace

Result<Json> py_get(std::string_view spec, std::optional<std::string_view> scope_str, const Cancel& cancel) {
  if (spec.empty()) panic("py_get: spec must be non-empty");
  const std::uint8_t scope = scope_str ? data_loader::str_to_scope(*scope_str) : data_loader::SCOPE_ALL;
  return get::get(spec, scope, cancel);
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

std::vector<std::string> py_list_tiers() { return get::list_tiers(); }

Result<std::string> py_export_glsl(std::string_view name, bool include_density, bool include_ior, bool include_sss,
                                   bool include_caustic) {
  return exporter::export_glsl(name, {include_density, include_ior, include_sss, include_caustic});
}

Result<double> py_kabsch_rmsd(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  // Two empty sets match trivially; one empty set cannot be compared.
  if (a.empty() && b.empty()) return 0.0;
  if (a.size() != b.size()) return Error("a and b must have same length");
  protein::Points pa, pb;
  if (!to_points(a, pa) || !to_points(b, pb)) return Error("each row must have 3 elements");
  return protein::kabsch_rmsd(pa, pb);
}

std::vector<protein::BackboneAtom> py_build_backbone(std::string_view sequence,
                                                     const std::vector<protein::AnglePair>& phi_psi_deg) {
  return protein::build_backbone(sequence, phi_psi_deg);
}

Result<std::vector<protein::BackboneAtom>> py_build_backbone_from_entry(std::string_view entry_name) {
  return protein::build_backbone_from_entry(entry_name);
}

std::string_view py_ramachandran_region(double phi_deg, double psi_deg) {
  return protein::ramachandran_region(phi_deg, psi_deg);
}

Result<std::vector<alloy::AlloyCandidate>> py_optimize_alloy(
    const std::vector<alloy::AlloyTarget>& targets, std::string_view base,
    const std::optional<std::vector<std::string>>& alloying_pool, std::uint64_t n_candidates, std::uint64_t top_k,
    std::optional<std::uint64_t> seed, const Cancel& cancel) {
  return alloy::optimize_alloy(targets, base, alloying_pool, n_candidates, top_k, seed, cancel);
}

Result<std::string> py_export_hlsl(std::string_view name, std::string_view out_path,
                                   const std::optional<std::vector<std::string>>& properties) {
  return exporter::export_hlsl(name, out_path, properties);
}

Result<std::string> py_export_sdf_raw(std::string_view name, std::string_view out_path, const sample::Box& bounds,
                                      double voxel_size, std::optional<double> scale_m, std::string_view mode,
                                      const Cancel& cancel) {
  return exporter::export_sdf_raw(name, out_path, bounds, voxel_size, scale_m, mode, cancel);
}

Result<std::string> py_export_vtk_legacy(std::string_view name, std::string_view out_path, const sample::Box& bounds,
                                         double voxel_size, const std::optional<std::vector<std::string>>& properties,
                                         std::optional<double> scale_m, const Cancel& cancel) {
  return exporter::export_vtk_legacy(name, out_path, bounds, voxel_size,
                                     properties.value_or(std::vector<std::string>{}), scale_m, cancel);
}

Result<std::string> py_export_stl(std::string_view name, std::string_view out_path, const sample::Box& bounds,
                                  double voxel_size, std::optional<double> scale_m, bool binary, const Cancel& cancel) {
  return exporter::export_stl(name, std::string(out_path), bounds, voxel_size, scale_m, binary, cancel);
}

Result<exporter::ObjFiles> py_export_obj(std::string_view name, std::string_view obj_path, const sample::Box& bounds,
                                         double voxel_size, std::optional<double> scale_m, const Cancel& cancel) {
  return exporter::export_obj(name, std::string(obj_path), bounds, voxel_size, scale_m, cancel);
}

Result<fourier_bake::FourierFieldConfig> py_bake_fourier(std::string_view entry_name, std::string_view property,
                                                         const sample::Box& bounds,
                                                         const fourier_bake::GridSize& grid_size,
                                                         double truncate_threshold, const Cancel& cancel) {
  return fourier_bake::bake_fourier(entry_name, property, bounds, grid_size, truncate_threshold, cancel);
}

bool is_rust_backend() { return true; }

std::string_view version_rust() { return version(); }

}  // namespace fn
}  // namespace tess::py
