// The handlers of the module's functions, one file per subsystem.
#pragma once

#include "pyfacade/args.h"

namespace tess::py {

// fn_module.cpp
PyObject* h_is_rust_backend(Args& a);
PyObject* h_version_rust(Args& a);

// fn_sample.cpp
PyObject* h_py_sample(Args& a);

// fn_alloy.cpp
PyObject* h_py_optimize_alloy(Args& a);

}  // namespace tess::py
