#include "pyfacade/functions.h"
#include "pyfacade/handlers.h"

namespace tess::py {

PyObject* h_is_rust_backend(Args& /*args*/) { Py_RETURN_TRUE; }

PyObject* h_version_rust(Args& /*args*/) { return PyUnicode_FromString(kVersion); }

}  // namespace tess::py
