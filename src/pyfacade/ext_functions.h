// The functions of `tessarine._tessarine_ext`, the native side of the public
// API: what it needs from the core beyond the 19 functions of
// `_tessarine_core` (names resolved to their entries, the tier and name
// lists, grids and coordinates as buffers). Their handlers and declarations,
// in registration order; plain C++ (no Python), shared by the module and by
// the stub generator. A scope is a tier's index in tier_names(), or 12 for
// every tier.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "data_loader/tiers.h"
#include "export/obj_writer.h"
#include "pyfacade/declare.h"
#include "pyfacade/kinds.h"
#include "sample/geometry.h"

namespace tess::py::ext {

// (tier, entry name).
using EntryName = std::pair<Tier, std::string>;
// The parts of a braced formula: (name, count) in the order written.
using FormulaParts = std::vector<std::pair<std::string, std::uint32_t>>;
// A voxel phase map: (phase ids as int32, x-fastest; phase names; (nx, ny, nz)).
using PhaseMap = std::tuple<Packed<std::int32_t>, std::vector<std::string>, std::array<std::uint64_t, 3>>;
// N, CA, C of each residue: (coordinates, 3 per atom; the residues placed).
using Backbone = std::pair<Packed<double>, std::string>;

std::span<const Tier> tier_names();
std::optional<EntryName> resolve(std::string_view name, Scope scope);
std::vector<EntryName> entry_names(Scope scope);
std::vector<std::string> lookup_keys(Scope scope);
Result<std::optional<FormulaParts>> parse_formula(std::string_view spec);
std::string sidecar_path(const std::string& raw_path);
Result<PhaseMap> voxel_grid(std::string_view name, const sample::Box& bounds, double voxel_size,
                            std::optional<double> scale_m, const Cancel& cancel);
Packed<double> property_grid(std::string_view name, std::string_view property, const sample::Box& bounds,
                             double voxel_size, const std::array<std::uint64_t, 3>& counts,
                             std::optional<double> scale_m, const Cancel& cancel);
Backbone build_backbone(std::string_view sequence, Float64Rows<2> phi_psi_deg);
// Fails (the outer Result) when no tier holds `entry_name`, and (the inner
// one) when the entry has no residues array.
Result<Result<Backbone>> build_backbone_from_entry(std::string_view entry_name);
Result<double> kabsch_rmsd(Float64Rows<3> a, Float64Rows<3> b);
// Sets (or with nothing clears) the calling thread's poll hook; returns
// whether one was set before.
bool set_poll_hook(std::optional<Hook> hook);

}  // namespace tess::py::ext

namespace tess::py {

// The functions of the module, in registration order.
// clang-format off
inline constexpr auto EXT_FUNCTIONS = std::tuple{
    def<&ext::tier_names>(
        "tier_names", params(),
        "The 12 tier names, in the order lookups visit them (a tier's scope index is its position)."),
    def<&data_loader::str_to_scope>(
        "tier_index", params("word"),
        "The scope index of a loose tier spelling (\"Alloys\", \"atom\"), or 12 when it names no tier."),
    def<&ext::resolve>(
        "resolve", params("name", "scope"),
        "(tier, entry name) of the entry that py_get(name) finds by the lookup stages in `scope`, or None."),
    def<&ext::entry_names>(
        "entry_names", params("scope"),
        "(tier, entry name) of every entry in `scope`, by tier order, then by name."),
    def<&ext::lookup_keys>(
        "lookup_keys", params("scope"),
        "Every entry name, symbol and alias that a lookup in `scope` matches, once each, sorted."),
    def<&ext::parse_formula, Raises::value_error>(
        "parse_formula", params("spec"),
        "The (name, count) parts of a braced formula, or None when `spec` is not one.\n"
        "Raises ValueError for a malformed formula."),
    def<&exporter::mtl_path_for>(
        "mtl_path", params("obj_path"),
        "The path of the MTL library written beside `obj_path`."),
    def<&ext::sidecar_path>(
        "sidecar_path", params("raw_path"),
        "The path of the JSON sidecar written beside `raw_path`."),
    def<&ext::voxel_grid, Raises::value_error>(
        "voxel_grid", params("name", "bounds", "voxel_size", "scale_m"),
        "The voxel phase map of entry `name`: (phase ids as native int32, x-fastest; phase names; (nx, ny, nz)).\n"
        "Raises ValueError when no tier holds `name` or the grid is too large.").nogil(),
    def<&ext::property_grid>(
        "property_grid", params("name", "property", "bounds", "voxel_size", "counts", "scale_m"),
        "The values the VTK writer writes for `property` over the grid of `counts` voxels, as native float64,\n"
        "x-fastest.").nogil(),
    def<&ext::build_backbone>(
        "build_backbone", params("sequence", "phi_psi_deg"),
        "N, CA, C of each residue: (coordinates as native float64, 3 per atom; the residues placed).\n"
        "`phi_psi_deg` is a C-contiguous float64 buffer of shape (n, 2).").nogil(),
    def<&ext::build_backbone_from_entry, Raises::key_error, Raises::value_error>(
        "build_backbone_from_entry", params("entry_name"),
        "As build_backbone, from the residues of the protein entry named exactly `entry_name`.\n"
        "Raises KeyError when no tier holds it and ValueError when it has no residues array.").nogil(),
    def<&ext::kabsch_rmsd, Raises::value_error>(
        "kabsch_rmsd", params("a", "b"),
        "Kabsch RMSD of two C-contiguous float64 buffers of the same shape (n, 3), n >= 1.").nogil(),
    def<&ext::set_poll_hook>(
        "set_poll_hook", params("hook"),
        "Sets the calling thread's poll hook, or clears it with None; returns whether one was set before.\n"
        "While it is set, the long calls of both modules call hook(done, total, False) every few milliseconds\n"
        "and hook(done, total, True) once they have succeeded, (done, total) counting their work; an exception\n"
        "it raises ends the call."),
};
// clang-format on

}  // namespace tess::py
