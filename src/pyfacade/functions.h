// The module's Python functions: their handlers and their declarations, in
// registration order. Plain C++ (no Python), shared by the module and by the
// stub generator.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alloy/optimize.h"
#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "export/obj_writer.h"
#include "export/raw_writer.h"
#include "export/shader.h"
#include "export/stl_writer.h"
#include "export/vtk_writer.h"
#include "fourier_bake/fourier_bake.h"
#include "get/calls.h"
#include "protein/backbone.h"
#include "protein/kabsch.h"
#include "protein/ramachandran.h"
#include "pyfacade/declare.h"
#include "pyfacade/kinds.h"
#include "sample/voxel_map.h"

namespace tess::py {

// The package version, as pyproject.toml gives it.
std::string_view version();

// The calling thread's poll hook (set by _tessarine_ext.set_poll_hook): when
// set, the token of every long call calls it at its polls as hook(done,
// total, False), and once more as hook(done, total, True) when the call has
// succeeded; an exception it raises stops the call. Visible, as
// _tessarine_ext sets it in the copy of _tessarine_core.
[[gnu::visibility("default")]] Hook& poll_hook();

// The handlers that check or adapt before the operation, named as the Python
// functions; the others are the subsystems' operations themselves. The types
// of the parameters are their kinds (args.h); a trailing `const Cancel&` is
// the call's Ctrl-C token.
namespace fn {
Result<Json> py_get(std::string_view spec, std::optional<std::string_view> scope_str, const Cancel& cancel);
Result<std::optional<Json>> py_save(std::string_view name, std::string_view data_json, std::string_view tier_str);
Result<double> py_sample(std::string_view name, std::string_view property, std::optional<sample::Point> at,
                         std::optional<double> scale_m);
Result<Json> py_data_sheet(std::string_view name);
Result<std::string> py_export_glsl(std::string_view name, bool include_density, bool include_ior, bool include_sss,
                                   bool include_caustic);
Result<std::string> py_export_vtk_legacy(std::string_view name, std::string_view out_path, const sample::Box& bounds,
                                         double voxel_size, const std::optional<std::vector<std::string>>& properties,
                                         std::optional<double> scale_m, const Cancel& cancel);
bool is_rust_backend();
std::string_view version_rust();
BackboneInTurn py_build_backbone(std::string_view sequence, std::vector<protein::AnglePair> phi_psi_deg);
}  // namespace fn

// Annotations of the domain types in the stubs.
inline std::string param_annotation(Tag<alloy::AlloyTarget> /*t*/) { return "dict[str, Any]"; }
inline std::string param_annotation(Tag<protein::PointRows> /*t*/) { return "Sequence[Sequence[float]]"; }
inline std::string result_annotation(Tag<Json> /*t*/) { return "Any"; }
inline std::string result_annotation(Tag<std::optional<Json>> /*t*/) { return "Any"; }
inline std::string result_annotation(Tag<std::vector<protein::BackboneAtom>> /*t*/) { return "list[dict[str, Any]]"; }
inline std::string result_annotation(Tag<BackboneInTurn> /*t*/) { return "list[dict[str, Any]]"; }
inline std::string result_annotation(Tag<std::vector<alloy::AlloyCandidate>> /*t*/) { return "list[dict[str, Any]]"; }
inline std::string result_annotation(Tag<exporter::ObjFiles> /*t*/) { return "tuple[str, str]"; }
inline std::string result_annotation(Tag<fourier_bake::FourierFieldConfig> /*t*/) { return "dict[str, Any]"; }

// The module's functions, in registration order.
// clang-format off
inline constexpr auto FUNCTIONS = std::tuple{
    def<&fn::py_get, Raises::key_error>(
        "py_get", params("spec", "scope_str"),
        "Rust-accelerated twin of `tessarine.get.Get`.\n\n`scope_str` is the optional tier name (e.g. `\"atom\"`, "
        "`\"alloy\"`) or\n`None` for cross-tier search. Returns a Python `dict`.").nogil(),
    def<&fn::py_save, Raises::value_error>(
        "py_save", params("name", "data_json", "tier_str"),
        "Rust-accelerated twin of `tessarine.get.Save`.\n\n`data_json` is a JSON-encoded string (the dict to store);\n"
        "`tier_str` is the tier name (e.g. `\"alloy\"`).\nReturns the previous entry dict if one was displaced, else "
        "`None`.").nogil(),
    def<&fn::py_sample, Raises::key_error>(
        "py_sample", params("name", "property", "at", "scale_m"),
        "Rust-accelerated twin of `tessarine.sample.sample`.\n\n`at` is `(x, y, z)` or `None`; `scale_m` is a float or "
        "`None`."),
    def<&fn::py_data_sheet, Raises::key_error>(
        "py_data_sheet", params("name"),
        "Rust-accelerated twin of `tessarine.sample.data_sheet`.\n\nReturns the bulk Properties dict for the named "
        "entry."),
    def<&get::list_tiers>(
        "py_list_tiers", params(),
        "Rust-accelerated twin of `tessarine.get.list_tiers`."),
    def<&fn::py_export_glsl, Raises::value_error>(
        "py_export_glsl",
        params("name", arg("include_density", true), arg("include_ior", true), arg("include_sss", true),
               arg("include_caustic", true)),
        "Rust-accelerated twin of `tessarine.export.export_glsl`.\n\nReturns a GLSL 450+ source string for the named "
        "material."),
    def<&protein::kabsch_rmsd_rows, Raises::value_error>(
        "py_kabsch_rmsd", params("a", "b"),
        "Compute Kabsch RMSD (\u00c5) between two Nx3 point sets.\n`a` and `b` are Python lists of [x, y, z] triples.").nogil(),
    def<&fn::py_build_backbone>(
        "py_build_backbone", params("sequence", "phi_psi_deg"),
        "Build a protein C\u03b1 backbone from phi/psi angles.\n`sequence` \u2014 1-letter amino acid codes. "
        "`phi_psi_deg` \u2014 list of (phi, psi) in degrees.\nReturns list of dicts: {name, res_idx, x, y, z}."),
    def<&protein::build_backbone_from_entry, Raises::key_error>(
        "py_build_backbone_from_entry", params("entry_name"),
        "Build backbone from a tessarine protein datasheet entry name.").nogil(),
    def<&protein::ramachandran_region>(
        "py_ramachandran_region", params("phi_deg", "psi_deg"),
        "Classify (phi_deg, psi_deg) into Ramachandran region.\nReturns a string: \"alpha_helix\", \"beta_sheet\", "
        "\"left_alpha\", \"polyproline_ii\", or \"other\"."),
    def<&alloy::optimize_alloy, Raises::value_error>(
        "py_optimize_alloy",
        params("targets", "base", "alloying_pool", arg("n_candidates", std::uint64_t{1000}), arg("top_k", std::uint64_t{5}),
               "seed"),
        "Rust-accelerated `tessarine.optimize.optimize_alloy`.\n\n`targets` \u2014 list of dicts with keys: property "
        "(str), min_value (float|None),\n  max_value (float|None), weight (float).\nReturns list of dicts: "
        "{composition, estimated_properties, score}.").nogil(),
    def<&exporter::export_hlsl, Raises::runtime_error>(
        "py_export_hlsl", params("name", "out_path", "properties"),
        "Write an HLSL shader file for the named material. Returns the output path.").nogil(),
    def<&exporter::export_sdf_raw, Raises::runtime_error>(
        "py_export_sdf_raw", params("name", "out_path", "bounds", "voxel_size", "scale_m", arg("mode", "phase")),
        "Write a raw float32 SDF voxel volume + JSON sidecar. Returns output path.").nogil(),
    def<&fn::py_export_vtk_legacy, Raises::runtime_error>(
        "py_export_vtk_legacy", params("name", "out_path", "bounds", "voxel_size", "properties", "scale_m"),
        "Write an ASCII VTK STRUCTURED_POINTS file. Returns output path.").nogil(),
    def<&exporter::export_stl, Raises::runtime_error>(
        "py_export_stl", params("name", "out_path", "bounds", "voxel_size", "scale_m", arg("binary", true)),
        "Write a binary or ASCII STL surface mesh. Returns output path.").nogil(),
    def<&exporter::export_obj, Raises::runtime_error>(
        "py_export_obj", params("name", "obj_path", "bounds", "voxel_size", "scale_m"),
        "Write OBJ + MTL files. Returns (obj_path, mtl_path).").nogil(),
    def<&fourier_bake::bake_fourier, Raises::value_error>(
        "py_bake_fourier", params("entry_name", "property", "bounds", "grid_size", arg("truncate_threshold", 0.01)),
        "Bake a material property into a Fourier expansion.\nReturns a dict: {property_name, base_value, "
        "domain_size_m, coefficients, boundary_condition}\nwhere coefficients is a list of {n, m, l, amplitude, "
        "phase}.").nogil(),
    def<&fn::is_rust_backend>(
        "is_rust_backend", params(),
        "Sentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully."),
    def<&fn::version_rust>(
        "version_rust", params(),
        "Returns the underlying Rust crate version."),
};
// clang-format on

}  // namespace tess::py
