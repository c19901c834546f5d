// The handlers of the module's functions, one file per subsystem.
#pragma once

#include "pyfacade/args.h"

namespace tess::py {

// fn_module.cpp
PyObject* h_is_rust_backend(Args& a);
PyObject* h_version_rust(Args& a);

// fn_sample.cpp
PyObject* h_py_sample(Args& a);

// fn_export_surface.cpp
PyObject* h_py_export_stl(Args& a);
PyObject* h_py_export_obj(Args& a);

}  // namespace tess::py
