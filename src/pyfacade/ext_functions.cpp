// The handlers of `tessarine._tessarine_ext`: the core's operations with
// their results in the shapes the public API reads.
#include "pyfacade/ext_functions.h"

#include "pyfacade/functions.h"

#include <Eigen/Core>

#include "data_loader/store.h"
#include "export/raw_writer.h"
#include "get/names.h"
#include "get/resolve.h"
#include "protein/backbone.h"
#include "protein/kabsch.h"
#include "sample/grid_sample.h"
#include "sample/voxel_map.h"

namespace tess::py::ext {
namespace {

EntryName entry_name(get::EntryRef&& ref) { return {Tier{ref.tier}, std::move(ref.name)}; }

Backbone packed(const std::vector<protein::BackboneAtom>& atoms) {
  std::vector<double> xyz;
  std::string residues;
  xyz.reserve(atoms.size() * 3);
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    xyz.insert(xyz.end(), {atoms[i].x, atoms[i].y, atoms[i].z});
    if (i % 3 == 0) residues += atoms[i].residue();
  }
  return {Packed<double>{std::move(xyz)}, std::move(residues)};
}

protein::PointsView points(Float64Rows<3> rows) {
  return {rows.values.data(), static_cast<Eigen::Index>(rows.rows()), 3};
}

}  // namespace

std::span<const Tier> tier_names() {
  static constexpr auto tiers = [] {
    std::array<Tier, data_loader::TIER_NAMES.size()> t{};
    for (std::size_t i = 0; i < t.size(); ++i) t[i].index = static_cast<std::uint8_t>(i);
    return t;
  }();
  return tiers;
}

std::optional<EntryName> resolve(std::string_view name, Scope scope) {
  auto found = get::resolve_entry(name, scope.index);
  if (!found) return std::nullopt;
  return entry_name(std::move(*found));
}

std::vector<EntryName> entry_names(Scope scope) {
  std::vector<get::EntryRef> refs = get::entry_names(scope.index);
  std::vector<EntryName> names;
  names.reserve(refs.size());
  for (get::EntryRef& ref : refs) names.push_back(entry_name(std::move(ref)));
  return names;
}

std::vector<std::string> lookup_keys(Scope scope) { return get::lookup_keys(scope.index); }

Result<std::optional<FormulaParts>> parse_formula(std::string_view spec) {
  auto formula = get::parse_formula(spec);
  if (!formula) return std::move(formula).error();
  if (!*formula) return std::optional<FormulaParts>{};
  return std::optional<FormulaParts>{std::move((*formula)->parts)};
}

std::string sidecar_path(const std::string& raw_path) { return exporter::sidecar_path(raw_path).string(); }

Result<PhaseMap> voxel_grid(std::string_view name, const sample::Box& bounds, double voxel_size,
                            std::optional<double> scale_m, const Cancel& cancel) {
  auto grid = sample::voxel_phase_map(name, bounds, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();
  return PhaseMap{Packed<std::int32_t>{std::move(grid->phase_ids)}, std::move(grid->phase_names),
                  std::array<std::uint64_t, 3>{grid->nx, grid->ny, grid->nz}};
}

Packed<double> property_grid(std::string_view name, std::string_view property, const sample::Box& bounds,
                             double voxel_size, const std::array<std::uint64_t, 3>& counts,
                             std::optional<double> scale_m, const Cancel& cancel) {
  return Packed<double>{
      sample::voxel_sample(name, property, bounds, voxel_size, counts, scale_m.value_or(voxel_size), cancel)};
}

Backbone build_backbone(std::string_view sequence, Float64Rows<2> phi_psi_deg) {
  auto placed = protein::place_backbone(sequence, phi_psi_deg.values);
  return {Packed<double>{std::move(placed.xyz)}, std::move(placed.residues)};
}

Result<Result<Backbone>> build_backbone_from_entry(std::string_view entry_name) {
  auto atoms = protein::build_backbone_from_entry(entry_name);
  if (atoms) return Result<Backbone>(packed(*atoms));
  const bool held = data_loader::DATA().read().with_found(entry_name, [](const Json* e) { return e != nullptr; });
  if (!held) return std::move(atoms).error();
  return Result<Backbone>(std::move(atoms).error());
}

Result<double> kabsch_rmsd(Float64Rows<3> a, Float64Rows<3> b) { return protein::kabsch_rmsd(points(a), points(b)); }

bool set_poll_hook(std::optional<Hook> hook) {
  Hook& current = poll_hook();
  const bool was_set = static_cast<bool>(current.object);
  current = std::move(hook).value_or(Hook{});
  return was_set;
}

}  // namespace tess::py::ext
