#include "pyfacade/functions.h"
#include "pyfacade/handlers.h"

namespace tess::py {

PyObject* h_is_rust_backend(Args& /*a*/) { Py_RETURN_TRUE; }

PyObject* h_version_rust(Args& /*a*/) { return PyUnicode_FromString(kVersion); }

}  // namespace tess::py
