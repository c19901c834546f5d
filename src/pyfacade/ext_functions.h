// The functions of `tessarine._tessarine_ext`: what the public API needs from
// the core beyond the 19 functions of `_tessarine_core` (names resolved to
// their entries, the tier and name lists, grids and coordinates as buffers).
#pragma once

#include <vector>

#include "pyfacade/args.h"

namespace tess::py::ext {

// The table of the module's functions, in registration order.
const std::vector<FunctionDecl>& function_table();

// ext_names.cpp
PyObject* h_tier_index(Args& a);
PyObject* h_tier_names(Args& a);
PyObject* h_resolve(Args& a);
PyObject* h_entry_names(Args& a);
PyObject* h_lookup_keys(Args& a);
PyObject* h_parse_formula(Args& a);
PyObject* h_mtl_path(Args& a);
PyObject* h_sidecar_path(Args& a);

// ext_arrays.cpp
PyObject* h_voxel_grid(Args& a);
PyObject* h_property_grid(Args& a);
PyObject* h_build_backbone(Args& a);
PyObject* h_build_backbone_from_entry(Args& a);
PyObject* h_kabsch_rmsd(Args& a);

}  // namespace tess::py::ext
