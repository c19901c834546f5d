// Results and failures handed back to Python.
#pragma once

#include <string_view>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "pyfacade/args.h"
#include "pyfacade/py.h"
#include "sample/voxel_map.h"

namespace tess::py {

// The one conversion of a JSON value into a Python object: compact JSON text
// read back by the standard module's json.loads.
Ref value_to_py(const Json& value);

// Sets `cls` with the error's outermost message as its single argument and
// returns nullptr, for `return raise(PyExc_KeyError, error);`.
PyObject* raise(PyObject* cls, const Error& error);

// The PanicException class (a direct subclass of BaseException), created on
// first use.
PyObject* panic_exception();

// The token of a long call: it stops once a signal handler has raised (as
// Python's does with KeyboardInterrupt on Ctrl-C). The core then throws
// Cancelled, and the call returns with the handler's exception still set.
inline Cancel interruptible() {
  return Cancel([] { return PyErr_CheckSignals() != 0; });
}

// The `bounds` argument of the exporters and the bake as the core's box.
inline sample::Box sample_box(const Box3& b) { return sample::Box{b[0], b[1]}; }

// New Python objects; throw ErrorAlreadySet on failure.
Ref to_py(double v);
Ref to_py_int(long long v);
Ref to_py_uint(unsigned long long v);
Ref new_dict();
Ref new_list(Py_ssize_t n);
void dict_set(PyObject* dict, const char* key, Ref value);
void dict_set(PyObject* dict, std::string_view key, Ref value);

}  // namespace tess::py
