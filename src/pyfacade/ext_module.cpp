// Entry of `tessarine._tessarine_ext`: registers the declared functions of
// ext_functions.h. It shares the core and the facade's state with
// `tessarine._tessarine_core`, whose import loads the store, so that module
// is imported first.
#include "pyfacade/call.h"
#include "pyfacade/ext_functions.h"

namespace tess::py {
namespace {

constexpr const char* kModuleDoc =
    "Native support of tessarine's public API, built from the same core as `tessarine._tessarine_core`:\n"
    "names resolved to their entries, the tier and name lists, and grids, coordinates and point sets\n"
    "as buffers.";

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_tessarine_ext", kModuleDoc, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* built_module = nullptr;

PyObject* init_module() {
  if (built_module != nullptr) return Py_NewRef(built_module);
  const Ref core(PyImport_ImportModule("tessarine._tessarine_core"));
  if (!core) return nullptr;
  Ref module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  const Ref all(PyList_New(0));
  if (!all || PyModule_AddObjectRef(module.get(), "__all__", all.get()) < 0) return nullptr;
  if (add_functions<EXT_FUNCTIONS>(module.get(), all.get()) < 0) return nullptr;
  built_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace tess::py

// The interpreter finds the module by this name.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PyMODINIT_FUNC PyInit__tessarine_ext() { return tess::py::init_module(); }
