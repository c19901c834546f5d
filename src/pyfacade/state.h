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

// An interned str, made with the state.
class Interned {
 public:
  explicit Interned(const char* text);         // throws ErrorAlreadySet
  operator PyObject*() const { return obj_; }  // NOLINT(google-explicit-constructor)

 private:
  PyObject* obj_;
};

// The keys of the result records and of the alloy targets, and the atom
// names of a backbone.
struct Keys {
  Interned name{"name"}, res_idx{"res_idx"}, x{"x"}, y{"y"}, z{"z"}, atom_n{"N"}, atom_ca{"CA"}, atom_c{"C"};
  Interned composition{"composition"}, estimated_properties{"estimated_properties"}, score{"score"};
  Interned property{"property"}, min_value{"min_value"}, max_value{"max_value"}, weight{"weight"};
  Interned property_name{"property_name"}, base_value{"base_value"}, domain_size_m{"domain_size_m"},
      coefficients{"coefficients"}, boundary_condition{"boundary_condition"};
  Interned n{"n"}, m{"m"}, l{"l"}, amplitude{"amplitude"}, phase{"phase"};
};

struct ModuleState {
  // PanicException, a direct subclass of BaseException: internal failures.
  PyObject* panic_exception;
  // json.loads, through which value_to_py hands JSON values to Python.
  PyObject* json_loads;
  // collections.abc.Sequence: what a list argument may be besides list and tuple.
  PyObject* sequence_abc;
  // The type of the buffers in which numbers made by the core are handed back.
  PyObject* packed_type;
  // The identifier of the thread that runs the signal handlers.
  unsigned long main_thread;
  Keys key;
};

// Creates the objects on the first call; later calls do nothing. Returns -1
// with the exception set when the interpreter fails (the import then fails).
int init_state();

// The state; only valid after init_state() succeeded.
const ModuleState& state();

}  // namespace tess::py
