#include "pyfacade/state.h"

#include <utility>

namespace tess::py {
namespace {

ModuleState the_state{};
bool ready = false;

// A new reference to the interned str `text`; throws ErrorAlreadySet.
PyObject* intern(const char* text) { return check(PyUnicode_InternFromString(text)).release(); }

PyObject* attribute_of_module(const char* module, const char* attribute) {
  Ref m(PyImport_ImportModule(module));
  return m ? PyObject_GetAttrString(m.get(), attribute) : nullptr;
}

}  // namespace

int init_state() {
  if (ready) return 0;
  // Filled into a local first, so that a failure leaves nothing half made.
  ModuleState s{};
  Ref panic_class(
      PyErr_NewExceptionWithDoc("tessarine._tessarine_core.PanicException",
                                "An internal failure of the native core: a broken assertion abandoned the call.\n\n"
                                "Derives from BaseException, so `except Exception` does not catch it.",
                                PyExc_BaseException, nullptr));
  Ref loads(attribute_of_module("json", "loads"));
  Ref sequence(attribute_of_module("collections.abc", "Sequence"));
  if (!panic_class || !loads || !sequence) return -1;
  try {
    s.key = {.name = intern("name"),
             .res_idx = intern("res_idx"),
             .x = intern("x"),
             .y = intern("y"),
             .z = intern("z"),
             .atom_n = intern("N"),
             .atom_ca = intern("CA"),
             .atom_c = intern("C"),
             .composition = intern("composition"),
             .estimated_properties = intern("estimated_properties"),
             .score = intern("score"),
             .property = intern("property"),
             .min_value = intern("min_value"),
             .max_value = intern("max_value"),
             .weight = intern("weight"),
             .property_name = intern("property_name"),
             .base_value = intern("base_value"),
             .domain_size_m = intern("domain_size_m"),
             .coefficients = intern("coefficients"),
             .boundary_condition = intern("boundary_condition"),
             .n = intern("n"),
             .m = intern("m"),
             .l = intern("l"),
             .amplitude = intern("amplitude"),
             .phase = intern("phase")};
  } catch (const ErrorAlreadySet&) {
    return -1;  // the keys made so far stay with the interpreter's interned strings
  }
  s.panic_exception = panic_class.release();
  s.json_loads = loads.release();
  s.sequence_abc = sequence.release();
  the_state = s;
  ready = true;
  return 0;
}

const ModuleState& state() { return the_state; }

}  // namespace tess::py
