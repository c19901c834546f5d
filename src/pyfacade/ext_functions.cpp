#include "pyfacade/ext_functions.h"

namespace tess::py::ext {

// The module's functions, in registration order. A scope is a tier's index
// in tier_names(), or 12 for every tier.
const std::vector<FunctionDecl>& function_table() {
  // clang-format off
  static const std::vector<FunctionDecl> table = {
      {"tier_names", {}, "The 12 tier names, in the order lookups visit them (a tier's scope index is its position).",
       "tuple[str, ...]", h_tier_names},
      {"tier_index", {{"word", nullptr, "str"}},
       "The scope index of a loose tier spelling (\"Alloys\", \"atom\"), or 12 when it names no tier.",
       "int", h_tier_index},
      {"resolve", {{"name", nullptr, "str"}, {"scope", nullptr, "int"}},
       "(tier, entry name) of the entry that py_get(name) finds by the lookup stages in `scope`, or None.",
       "tuple[str, str] | None", h_resolve},
      {"entry_names", {{"scope", nullptr, "int"}},
       "(tier, entry name) of every entry in `scope`, by tier order, then by name.",
       "list[tuple[str, str]]", h_entry_names},
      {"lookup_keys", {{"scope", nullptr, "int"}},
       "Every entry name, symbol and alias that a lookup in `scope` matches, once each, sorted.",
       "list[str]", h_lookup_keys},
      {"parse_formula", {{"spec", nullptr, "str"}},
       "The (name, count) parts of a braced formula, or None when `spec` is not one.\n"
       "Raises ValueError for a malformed formula.",
       "list[tuple[str, int]] | None", h_parse_formula},
      {"mtl_path", {{"obj_path", nullptr, "str"}}, "The path of the MTL library written beside `obj_path`.",
       "str", h_mtl_path},
      {"sidecar_path", {{"raw_path", nullptr, "str"}}, "The path of the JSON sidecar written beside `raw_path`.",
       "str", h_sidecar_path},
      {"voxel_grid",
       {{"name", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"}},
       "The voxel phase map of entry `name`: (phase ids as native int32, x-fastest; phase names; (nx, ny, nz)).\n"
       "Raises ValueError when no tier holds `name` or the grid is too large.",
       "tuple[bytearray, list[str], tuple[int, int, int]]", h_voxel_grid},
      {"property_grid",
       {{"name", nullptr, "str"},
        {"property", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"counts", nullptr, "tuple[int, int, int]"},
        {"scale_m", "None", "float | None"}},
       "The values the VTK writer writes for `property` over the grid of `counts` voxels, as native float64,\n"
       "x-fastest.",
       "bytearray", h_property_grid},
      {"build_backbone",
       {{"sequence", nullptr, "str"}, {"phi_psi_deg", nullptr, "Buffer"}},
       "N, CA, C of each residue: (coordinates as native float64, 3 per atom; the residues placed).\n"
       "`phi_psi_deg` is a C-contiguous float64 buffer of shape (n, 2).",
       "tuple[bytearray, str]", h_build_backbone},
      {"build_backbone_from_entry", {{"entry_name", nullptr, "str"}},
       "As build_backbone, from the residues of the protein entry named exactly `entry_name`.\n"
       "Raises KeyError when no tier holds it and ValueError when it has no residues array.",
       "tuple[bytearray, str]", h_build_backbone_from_entry},
      {"kabsch_rmsd", {{"a", nullptr, "Buffer"}, {"b", nullptr, "Buffer"}},
       "Kabsch RMSD of two C-contiguous float64 buffers of the same shape (n, 3), n >= 1.",
       "float", h_kabsch_rmsd},
  };
  // clang-format on
  return table;
}

}  // namespace tess::py::ext
