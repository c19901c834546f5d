// The handlers of the module's functions, one file per subsystem.
#pragma once

#include "pyfacade/args.h"

namespace tess::py {

// fn_module.cpp
PyObject* h_is_rust_backend(Args& a);
PyObject* h_version_rust(Args& a);

// fn_get.cpp
PyObject* h_py_get(Args& a);
PyObject* h_py_save(Args& a);
PyObject* h_py_data_sheet(Args& a);
PyObject* h_py_list_tiers(Args& a);

// fn_sample.cpp
PyObject* h_py_sample(Args& a);

// fn_export_volume.cpp
PyObject* h_py_export_glsl(Args& a);
PyObject* h_py_export_hlsl(Args& a);
PyObject* h_py_export_sdf_raw(Args& a);
PyObject* h_py_export_vtk_legacy(Args& a);
// fn_protein.cpp
PyObject* h_py_kabsch_rmsd(Args& a);
PyObject* h_py_build_backbone(Args& a);
PyObject* h_py_build_backbone_from_entry(Args& a);
PyObject* h_py_ramachandran_region(Args& a);

// fn_fourier.cpp
PyObject* h_py_bake_fourier(Args& a);
// fn_alloy.cpp
PyObject* h_py_optimize_alloy(Args& a);
// fn_export_surface.cpp
PyObject* h_py_export_stl(Args& a);
PyObject* h_py_export_obj(Args& a);

}  // namespace tess::py
