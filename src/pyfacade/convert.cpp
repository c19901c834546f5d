#include "pyfacade/convert.h"

#include <string>

namespace tess::py {

Ref value_to_py(const Json& value) {
  std::string text;
  try {
    text = dump_compact(value);
  } catch (const nlohmann::json::exception& e) {
    PyErr_SetObject(PyExc_ValueError, str(std::string("json serialise: ") + e.what()).get());
    throw ErrorAlreadySet{};
  }
  static PyObject* loads = nullptr;  // the interpreter lock guards this cell
  if (loads == nullptr) {
    Ref json = check(PyImport_ImportModule("json"));
    loads = check(PyObject_GetAttrString(json.get(), "loads")).release();
  }
  Ref arg = str(text);
  return check(PyObject_CallOneArg(loads, arg.get()));
}

PyObject* raise(PyObject* cls, const Error& error) {
  Ref message = str(error.message());
  PyErr_SetObject(cls, message.get());
  return nullptr;
}

PyObject* panic_exception() {
  static PyObject* cls = nullptr;  // created once, under the interpreter lock
  if (cls == nullptr) {
    cls = PyErr_NewExceptionWithDoc("tessarine._tessarine_core.PanicException",
                                    "An internal failure of the native core: a broken assertion abandoned the call.\n\n"
                                    "Derives from BaseException, so `except Exception` does not catch it.",
                                    PyExc_BaseException, nullptr);
  }
  return cls;
}

Ref to_py(double v) { return check(PyFloat_FromDouble(v)); }
Ref to_py_int(long long v) { return check(PyLong_FromLongLong(v)); }
Ref to_py_uint(unsigned long long v) { return check(PyLong_FromUnsignedLongLong(v)); }
Ref new_dict() { return check(PyDict_New()); }
Ref new_list(Py_ssize_t n) { return check(PyList_New(n)); }

void dict_set(PyObject* dict, const char* key, Ref value) {
  if (PyDict_SetItemString(dict, key, value.get()) < 0) throw ErrorAlreadySet{};
}

void dict_set(PyObject* dict, std::string_view key, Ref value) {
  Ref k = str(key);
  if (PyDict_SetItem(dict, k.get(), value.get()) < 0) throw ErrorAlreadySet{};
}

}  // namespace tess::py
