// Module entry: finds the data root, loads the datasheets, registers the
// declared functions.
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "common/cancel.h"
#include "common/unicode.h"
#include "data_loader/loader.h"
#include "pyfacade/call.h"
#include "pyfacade/functions.h"
#include "pyfacade/state.h"

namespace tess::py {
namespace {

constexpr const char* kModuleDoc =
    "`tessarine._tessarine_core` module entry point.\n\nOn import, resolves the `tessarine/data/active/` data path "
    "from the\ninstalled Python package and eagerly loads all datasheets into\n[`crate::data_loader::DATA`].";

// Raises `cls` with `message`. An exception already being raised (a
// KeyboardInterrupt that came while the C++ failure unwound, say) is not
// lost: it becomes the new exception's __context__.
void raise_over_pending(PyObject* cls, const std::string& message) {
  Ref pending(PyErr_GetRaisedException());
  if (cls == nullptr) {  // the class itself could not be created
    if (pending) PyErr_SetRaisedException(pending.release());
    return;
  }
  PyErr_SetObject(cls, str(message).get());
  if (!pending) return;
  Ref raised(PyErr_GetRaisedException());
  PyException_SetContext(raised.get(), pending.release());
  PyErr_SetRaisedException(raised.release());
}

}  // namespace

PyObject* guarded(const char* name, Body body, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    PyObject* result = body(args, nargs, kwnames);
    if (result == nullptr && !PyErr_Occurred()) {
      PyErr_SetString(state().panic_exception, "the interpreter failed without setting an exception");
    }
    return result;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(state().panic_exception, "the interpreter failed without setting an exception");
    }
    return nullptr;
  } catch (const Cancelled&) {
    // The signal handler's exception (KeyboardInterrupt for Ctrl-C) is set.
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
    return nullptr;
  } catch (const Panic& p) {
    raise_over_pending(state().panic_exception, p.what());
    return nullptr;
  } catch (const std::bad_alloc&) {
    raise_over_pending(PyExc_MemoryError, std::string(name) + ": out of memory");
    return nullptr;
  } catch (const std::exception& e) {
    raise_over_pending(state().panic_exception, e.what());
    return nullptr;
  }
}

namespace {

// The qualified type name of an exception, ": ", and its str(). Ordinary
// failures of either part are written around; anything else (a __str__
// raising KeyboardInterrupt) is thrown as ErrorAlreadySet.
std::string describe_exception(PyObject* exc) {
  std::string text;
  Ref type_name(PyType_GetQualName(Py_TYPE(exc)));
  const char* tn = type_name ? PyUnicode_AsUTF8(type_name.get()) : nullptr;
  if (tn == nullptr) drop_ordinary_error();
  text = tn != nullptr ? tn : Py_TYPE(exc)->tp_name;
  text += ": ";
  Ref value(PyObject_Str(exc));
  const char* v = value ? PyUnicode_AsUTF8(value.get()) : nullptr;
  if (v == nullptr) {
    drop_ordinary_error();
    text += "<exception str() failed>";
  } else {
    text += v;
  }
  return text;
}

// `<parent of tessarine.__file__>/data/active`, or nothing with the warning
// line written. Only ordinary failures (a missing package, a __file__ that is
// not a str) become the warning; KeyboardInterrupt, SystemExit, MemoryError
// and the like are thrown as ErrorAlreadySet and fail the import.
std::optional<std::filesystem::path> resolve_data_root() {
  Ref package(PyImport_ImportModule("tessarine"));
  Ref file;
  Ref encoded;
  if (package) file = Ref(PyObject_GetAttrString(package.get(), "__file__"));
  if (file && !PyUnicode_Check(file.get())) {
    PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'", Py_TYPE(file.get())->tp_name);
  } else if (file) {
    encoded = Ref(PyUnicode_EncodeFSDefault(file.get()));
  }
  if (!encoded) {
    if (PyErr_Occurred() != nullptr && !is_ordinary_error()) throw ErrorAlreadySet{};
    Ref exc(PyErr_GetRaisedException());
    const std::string text = exc ? describe_exception(exc.get()) : std::string("SystemError: unknown failure");
    std::fprintf(stderr, "tessarine_core: init warning: %s\n", text.c_str());
    std::fflush(stderr);
    return std::nullopt;
  }
  std::string path(PyBytes_AS_STRING(encoded.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
  // Parent: drop trailing separators, then the last component. A root or an
  // empty path has no parent and stands as ".".
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::filesystem::path parent;
  if (path.empty() || path == "/") {
    parent = ".";
  } else {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
      parent = "";
    } else {
      std::string head = path.substr(0, slash);
      while (head.size() > 1 && head.back() == '/') head.pop_back();
      parent = head.empty() ? std::string("/") : head;
    }
  }
  return parent / "data" / "active";
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_tessarine_core",
    kModuleDoc,
    0,  // no per-module state
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::optional<std::int64_t> first_interpreter;
PyObject* built_module = nullptr;

PyObject* init_module() {
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (interpreter < 0) return nullptr;
  if (!first_interpreter) first_interpreter = interpreter;
  if (*first_interpreter != interpreter) {
    PyErr_SetString(PyExc_ImportError,
                    "tessarine._tessarine_core does not support sub-interpreters: it was initialised in another "
                    "interpreter");
    return nullptr;
  }
  if (built_module != nullptr) return Py_NewRef(built_module);
  if (init_state() < 0) return nullptr;

  Ref module(PyModule_Create(&module_def));
  if (!module) return nullptr;
  try {
    if (auto root = resolve_data_root()) {
      auto loaded = data_loader::load_all_tiers(*root);
      auto warn = [](const std::string& message) {
        std::fprintf(stderr, "tessarine_core: data load warning: %s\n", message.c_str());
      };
      if (!loaded) {
        warn(loaded.error().message());
      } else {
        for (const std::string& message : *loaded) warn(message);
      }
      std::fflush(stderr);
    }
  } catch (const ErrorAlreadySet&) {
    return nullptr;
  } catch (const std::exception& e) {
    raise_over_pending(state().panic_exception, e.what());
    return nullptr;
  }

  Ref all(PyList_New(0));
  if (!all || PyModule_AddObjectRef(module.get(), "__all__", all.get()) < 0) return nullptr;
  if (add_functions<FUNCTIONS>(module.get(), all.get()) < 0) return nullptr;
  const std::string_view version_text = version();
  const Ref version_obj(PyUnicode_FromStringAndSize(version_text.data(), static_cast<Py_ssize_t>(version_text.size())));
  if (!version_obj || PyModule_AddObjectRef(module.get(), "__version__", version_obj.get()) < 0) return nullptr;
  Ref version_name(PyUnicode_FromString("__version__"));
  if (!version_name || PyList_Append(all.get(), version_name.get()) < 0) return nullptr;

  built_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace tess::py

// The interpreter finds the module by this name.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
PyMODINIT_FUNC PyInit__tessarine_core() { return tess::py::init_module(); }
