// Handing results and failures back to Python.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alloy/optimize.h"
#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "export/obj_writer.h"
#include "fourier_bake/fourier_bake.h"
#include "protein/backbone.h"
#include "pyfacade/declare.h"
#include "pyfacade/py.h"

namespace tess::py {

// The one conversion of a JSON value into a Python object: compact JSON text
// read back by the standard module's json.loads.
Ref value_to_py(const Json& value);

// Sets the exception class `raises` stands for, with the error's outermost
// message as its single argument.
void raise(Raises raises, const Error& error);

// The token of a long call: it stops once a signal handler has raised (as
// Python's does with KeyboardInterrupt on Ctrl-C). The core then throws
// Cancelled, and the call returns with the handler's exception still set.
inline Cancel interruptible() {
  return Cancel([] { return PyErr_CheckSignals() != 0; });
}

// One member of a result record: an interned key of the module state and
// its value.
struct Field {
  PyObject* key;
  Ref value;
};

// A new dict of the fields, in order. Every dict the module builds with
// fixed keys is made here.
Ref record(std::initializer_list<Field> fields);

// ToPy<T>::convert(value): a new Python object for what a handler returned.
template <class T>
struct ToPy;

template <>
struct ToPy<double> {
  static Ref convert(double v);
};
template <>
struct ToPy<bool> {
  static Ref convert(bool v) { return Ref(Py_NewRef(v ? Py_True : Py_False)); }
};
template <>
struct ToPy<std::string_view> {
  static Ref convert(std::string_view s) { return str(s); }
};
template <>
struct ToPy<std::string> : ToPy<std::string_view> {};
template <>
struct ToPy<Json> {
  static Ref convert(const Json& v) { return value_to_py(v); }
};
template <>
struct ToPy<std::optional<Json>> {
  static Ref convert(const std::optional<Json>& v) { return v ? value_to_py(*v) : Ref(Py_NewRef(Py_None)); }
};
template <>
struct ToPy<std::vector<std::string>> {
  static Ref convert(const std::vector<std::string>& v);
};
template <>
struct ToPy<exporter::ObjFiles> {
  static Ref convert(const exporter::ObjFiles& v);
};
template <>
struct ToPy<std::vector<protein::BackboneAtom>> {
  static Ref convert(const std::vector<protein::BackboneAtom>& v);
};
template <>
struct ToPy<std::vector<alloy::AlloyCandidate>> {
  static Ref convert(const std::vector<alloy::AlloyCandidate>& v);
};
template <>
struct ToPy<fourier_bake::FourierFieldConfig> {
  static Ref convert(const fourier_bake::FourierFieldConfig& v);
};

// The result of a handler as a new reference, or nullptr with the exception
// of class `raises` set for an Error.
template <Raises raises, class T>
PyObject* hand_back(T&& result) {
  using V = std::remove_cvref_t<T>;
  if constexpr (detail::is_result<V>) {
    if (!result) {
      raise(raises, result.error());
      return nullptr;
    }
    return hand_back<raises>(std::move(*result));
  } else {
    return ToPy<V>::convert(result).release();
  }
}

}  // namespace tess::py
