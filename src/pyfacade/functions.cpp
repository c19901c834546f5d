#include "pyfacade/functions.h"

#include "pyfacade/handlers.h"

namespace tess::py {

// The module's functions, in registration order.
const std::vector<FunctionDecl>& function_table() {
  // One entry per function, its tail on one line.
  // clang-format off
  static const std::vector<FunctionDecl> table = {
      {"py_get",
       {{"spec", nullptr, "str"}, {"scope_str", "None", "str | None"}},
       "Rust-accelerated twin of `tessarine.get.Get`.\n\n`scope_str` is the optional tier name (e.g. `\"atom\"`, "
       "`\"alloy\"`) or\n`None` for cross-tier search. Returns a Python `dict`.",
       "Any", h_py_get},
      {"py_save",
       {{"name", nullptr, "str"}, {"data_json", nullptr, "str"}, {"tier_str", nullptr, "str"}},
       "Rust-accelerated twin of `tessarine.get.Save`.\n\n`data_json` is a JSON-encoded string (the dict to "
       "store);\n`tier_str` is the tier name (e.g. `\"alloy\"`).\nReturns the previous entry dict if one was "
       "displaced, else `None`.",
       "Any", h_py_save},
      {"py_sample",
       {{"name", nullptr, "str"},
        {"property", nullptr, "str"},
        {"at", "None", "tuple[float, float, float] | None"},
        {"scale_m", "None", "float | None"}},
       "Rust-accelerated twin of `tessarine.sample.sample`.\n\n`at` is `(x, y, z)` or `None`; `scale_m` is a float "
       "or `None`.",
       "float", h_py_sample},
      {"py_data_sheet",
       {{"name", nullptr, "str"}},
       "Rust-accelerated twin of `tessarine.sample.data_sheet`.\n\nReturns the bulk Properties dict for the named "
       "entry.",
       "Any", h_py_data_sheet},
      {"py_list_tiers", {}, "Rust-accelerated twin of `tessarine.get.list_tiers`.", "list[str]", h_py_list_tiers},
      {"py_export_glsl",
       {{"name", nullptr, "str"},
        {"include_density", "True", "bool"},
        {"include_ior", "True", "bool"},
        {"include_sss", "True", "bool"},
        {"include_caustic", "True", "bool"}},
       "Rust-accelerated twin of `tessarine.export.export_glsl`.\n\nReturns a GLSL 450+ source string for the named "
       "material.",
       "str", h_py_export_glsl},
      {"py_kabsch_rmsd",
       {{"a", nullptr, "Sequence[Sequence[float]]"}, {"b", nullptr, "Sequence[Sequence[float]]"}},
       "Compute Kabsch RMSD (\u00c5) between two Nx3 point sets.\n`a` and `b` are Python lists of [x, y, z] triples.",
       "float", h_py_kabsch_rmsd},
      {"py_build_backbone",
       {{"sequence", nullptr, "str"}, {"phi_psi_deg", nullptr, "Sequence[tuple[float, float]]"}},
       "Build a protein C\u03b1 backbone from phi/psi angles.\n`sequence` \u2014 1-letter amino acid codes. "
       "`phi_psi_deg` \u2014 list of (phi, psi) in degrees.\nReturns list of dicts: {name, res_idx, x, y, z}.",
       "list[dict[str, Any]]", h_py_build_backbone},
      {"py_build_backbone_from_entry",
       {{"entry_name", nullptr, "str"}},
       "Build backbone from a tessarine protein datasheet entry name.",
       "list[dict[str, Any]]", h_py_build_backbone_from_entry},
      {"py_ramachandran_region",
       {{"phi_deg", nullptr, "float"}, {"psi_deg", nullptr, "float"}},
       "Classify (phi_deg, psi_deg) into Ramachandran region.\nReturns a string: \"alpha_helix\", \"beta_sheet\", "
       "\"left_alpha\", \"polyproline_ii\", or \"other\".",
       "str", h_py_ramachandran_region},
      {"py_optimize_alloy",
       {{"targets", nullptr, "Sequence[dict[str, Any]]"},
        {"base", nullptr, "str"},
        {"alloying_pool", "None", "Sequence[str] | None"},
        {"n_candidates", "1000", "int"},
        {"top_k", "5", "int"},
        {"seed", "None", "int | None"}},
       "Rust-accelerated `tessarine.optimize.optimize_alloy`.\n\n`targets` — list of dicts with keys: property (str), "
       "min_value (float|None),\n  max_value (float|None), weight (float).\nReturns list of dicts: {composition, "
       "estimated_properties, score}.",
       "list[dict[str, Any]]", h_py_optimize_alloy},
      {"py_export_hlsl",
       {{"name", nullptr, "str"}, {"out_path", nullptr, "str"}, {"properties", "None", "list[str] | tuple[str, ...] | None"}},
       "Write an HLSL shader file for the named material. Returns the output path.", "str", h_py_export_hlsl},
      {"py_export_sdf_raw",
       {{"name", nullptr, "str"},
        {"out_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"},
        {"mode", "\"phase\"", "str"}},
       "Write a raw float32 SDF voxel volume + JSON sidecar. Returns output path.", "str", h_py_export_sdf_raw},
      {"py_export_vtk_legacy",
       {{"name", nullptr, "str"},
        {"out_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"properties", "None", "list[str] | tuple[str, ...] | None"},
        {"scale_m", "None", "float | None"}},
       "Write an ASCII VTK STRUCTURED_POINTS file. Returns output path.", "str", h_py_export_vtk_legacy},
      {"py_export_stl",
       {{"name", nullptr, "str"},
        {"out_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"},
        {"binary", "True", "bool"}},
       "Write a binary or ASCII STL surface mesh. Returns output path.",
       "str", h_py_export_stl},
      {"py_export_obj",
       {{"name", nullptr, "str"},
        {"obj_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"}},
       "Write OBJ + MTL files. Returns (obj_path, mtl_path).",
       "tuple[str, str]", h_py_export_obj},
      {"py_bake_fourier",
       {{"entry_name", nullptr, "str"},
        {"property", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"grid_size", nullptr, "tuple[int, int, int]"},
        {"truncate_threshold", "0.01", "float"}},
       "Bake a material property into a Fourier expansion.\nReturns a dict: {property_name, base_value, "
       "domain_size_m, coefficients, boundary_condition}\nwhere coefficients is a list of {n, m, l, amplitude, "
       "phase}.",
       "dict[str, Any]", h_py_bake_fourier},
      {"is_rust_backend",
       {},
       "Sentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully.",
       "bool", h_is_rust_backend},
      {"version_rust", {}, "Returns the underlying Rust crate version.", "str", h_version_rust},
  };
  // clang-format on
  return table;
}

}  // namespace tess::py
