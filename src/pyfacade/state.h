// The Python objects the module keeps between calls, all in one place.
//
// Ownership and lifetime: the one ModuleState holds a strong reference to each
// object. init_state() fills it during the module's initialisation, on the
// importing thread under the interpreter lock, before any function can be
// called; nothing ever releases the references. The module uses single-phase
// initialisation, refuses sub-interpreters and is never unloaded, so the
// objects live until the process ends (like the store and the worker threads).
// They are read under the interpreter lock only.
#pragma once

#include "pyfacade/py.h"

namespace tess::py {

// Interned str keys of the result records and of the alloy targets.
struct Keys {
  // py_build_backbone: {name, res_idx, x, y, z}, name one of N, CA, C
  PyObject* name;
  PyObject* res_idx;
  PyObject* x;
  PyObject* y;
  PyObject* z;
  PyObject* atom_n;
  PyObject* atom_ca;
  PyObject* atom_c;
  // py_optimize_alloy: {composition, estimated_properties, score}; its targets
  PyObject* composition;
  PyObject* estimated_properties;
  PyObject* score;
  PyObject* property;
  PyObject* min_value;
  PyObject* max_value;
  PyObject* weight;
  // py_bake_fourier and its coefficients
  PyObject* property_name;
  PyObject* base_value;
  PyObject* domain_size_m;
  PyObject* coefficients;
  PyObject* boundary_condition;
  PyObject* n;
  PyObject* m;
  PyObject* l;
  PyObject* amplitude;
  PyObject* phase;
};

struct ModuleState {
  // PanicException, a direct subclass of BaseException: internal failures.
  PyObject* panic_exception;
  // json.loads, through which value_to_py hands JSON values to Python.
  PyObject* json_loads;
  // collections.abc.Sequence: what a list argument may be besides list and tuple.
  PyObject* sequence_abc;
  Keys key;
};

// Creates the objects on the first call; later calls do nothing. Returns -1
// with the exception set when the interpreter fails (the import then fails).
int init_state();

// The state; only valid after init_state() succeeded.
const ModuleState& state();

}  // namespace tess::py
