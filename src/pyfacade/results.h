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

// to_py(value): a new Python object for what a handler returned, by its exact
// type.
Ref to_py(double v);
Ref to_py(bool v);
Ref to_py(std::string_view s);
inline Ref to_py(const std::string& s) { return to_py(std::string_view(s)); }
inline Ref to_py(const Json& v) { return value_to_py(v); }
Ref to_py(const std::optional<Json>& v);
Ref to_py(const std::vector<std::string>& v);
Ref to_py(const exporter::ObjFiles& v);
Ref to_py(const std::vector<protein::BackboneAtom>& v);
Ref to_py(const std::vector<alloy::AlloyCandidate>& v);
Ref to_py(const fourier_bake::FourierFieldConfig& v);

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
    return to_py(static_cast<const V&>(result)).release();
  }
}

}  // namespace tess::py
