// Entry of `tessarine._tessarine_ext`: registers the functions of its table.
// It shares the core's store, which `tessarine._tessarine_core` loads when it
// is imported, so that module is imported first.
#include <array>
#include <deque>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "common/cancel.h"
#include "pyfacade/convert.h"
#include "pyfacade/ext_functions.h"

namespace tess::py::ext {
namespace {

constexpr const char* kModuleDoc =
    "Native support of tessarine's public API, built from the same core as `tessarine._tessarine_core`:\n"
    "names resolved to their entries, the tier and name lists, and grids, coordinates and point sets\n"
    "as buffers.";

void raise_message(PyObject* cls, const std::string& message) {
  if (cls != nullptr) PyErr_SetObject(cls, str(message).get());
}

// Runs a handler and turns every C++ failure into a Python exception.
PyObject* invoke(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    Args a(decl, args, nargs, kwnames);
    PyObject* result = decl.handler(a);
    if (result == nullptr && PyErr_Occurred() == nullptr) {
      raise_message(panic_exception(), "the interpreter failed without setting an exception");
    }
    return result;
  } catch (const ErrorAlreadySet&) {
    if (PyErr_Occurred() == nullptr) {
      raise_message(panic_exception(), "the interpreter failed without setting an exception");
    }
  } catch (const Cancelled&) {
    if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const std::bad_alloc&) {
    if (PyErr_Occurred() == nullptr) raise_message(PyExc_MemoryError, std::string(decl.name) + ": out of memory");
  } catch (const std::exception& e) {  // Panic included
    if (PyErr_Occurred() == nullptr) raise_message(panic_exception(), e.what());
  }
  return nullptr;
}

template <std::size_t I>
PyObject* fastcall_entry(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return invoke(function_table()[I], args, nargs, kwnames);
}

template <std::size_t I>
PyObject* noargs_entry(PyObject* /*self*/, PyObject* /*unused*/) {
  return invoke(function_table()[I], nullptr, 0, nullptr);
}

constexpr std::size_t kMaxFunctions = 16;

template <std::size_t... I>
constexpr auto make_fastcall_entries(std::index_sequence<I...> /*indices*/) {
  return std::array<PyCFunctionFastWithKeywords, sizeof...(I)>{&fastcall_entry<I>...};
}
template <std::size_t... I>
constexpr auto make_noargs_entries(std::index_sequence<I...> /*indices*/) {
  return std::array<PyCFunction, sizeof...(I)>{&noargs_entry<I>...};
}
constexpr auto kFastcallEntries = make_fastcall_entries(std::make_index_sequence<kMaxFunctions>{});
constexpr auto kNoargsEntries = make_noargs_entries(std::make_index_sequence<kMaxFunctions>{});

// Method records and doc strings must outlive the function objects.
struct MethodStorage {
  std::deque<std::string> docs;
  std::deque<PyMethodDef> defs;
};

MethodStorage& method_storage() {
  static auto* storage = new MethodStorage();
  return *storage;
}

int add_function(PyObject* module, std::size_t index) {
  const FunctionDecl& decl = function_table()[index];
  MethodStorage& storage = method_storage();
  const std::string& doc = storage.docs.emplace_back(decl.doc());
  PyMethodDef& def = storage.defs.emplace_back();
  def.ml_name = decl.name;
  def.ml_doc = doc.c_str();
  if (decl.params.empty()) {
    def.ml_meth = kNoargsEntries[index];
    def.ml_flags = METH_NOARGS;
  } else {
    def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(kFastcallEntries[index]));
    def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
  }
  Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  Ref function(PyCFunction_NewEx(&def, module, module_name.get()));
  if (!function) return -1;
  return PyModule_AddObjectRef(module, decl.name, function.get());
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_tessarine_ext", kModuleDoc, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* built_module = nullptr;

PyObject* init_module() {
  if (built_module != nullptr) return Py_NewRef(built_module);
  // The store is filled by the core module's import.
  Ref core(PyImport_ImportModule("tessarine._tessarine_core"));
  if (!core) return nullptr;
  Ref module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  const auto& table = function_table();
  if (table.size() > kMaxFunctions) {
    PyErr_SetString(PyExc_SystemError, "tessarine._tessarine_ext: too many functions for the entry table");
    return nullptr;
  }
  try {
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (add_function(module.get(), i) < 0) return nullptr;
    }
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  built_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace tess::py::ext

// The interpreter finds the module by this name.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PyMODINIT_FUNC PyInit__tessarine_ext() { return tess::py::ext::init_module(); }
