#include "pyfacade/state.h"

#include <new>

#include "pyfacade/results.h"

namespace tess::py {
namespace {

const ModuleState* the_state = nullptr;

PyObject* attribute_of_module(const char* module, const char* attribute) {
  const Ref m(PyImport_ImportModule(module));
  return m ? PyObject_GetAttrString(m.get(), attribute) : nullptr;
}

}  // namespace

Interned::Interned(const char* text) : obj_(check(PyUnicode_InternFromString(text)).release()) {}

int init_state() {
  if (the_state != nullptr) return 0;
  Ref panic_class(
      PyErr_NewExceptionWithDoc("tessarine._tessarine_core.PanicException",
                                "An internal failure of the native core: a broken assertion abandoned the call.\n\n"
                                "Derives from BaseException, so `except Exception` does not catch it.",
                                PyExc_BaseException, nullptr));
  Ref loads(attribute_of_module("json", "loads"));
  Ref sequence(attribute_of_module("collections.abc", "Sequence"));
  Ref packed_type = make_packed_type();
  if (!panic_class || !loads || !sequence || !packed_type) return -1;
  const Ref main_thread_of(attribute_of_module("threading", "main_thread"));
  const Ref main_thread = main_thread_of ? Ref(PyObject_CallNoArgs(main_thread_of.get())) : Ref();
  const Ref ident = main_thread ? Ref(PyObject_GetAttrString(main_thread.get(), "ident")) : Ref();
  const unsigned long main_ident = ident ? PyLong_AsUnsignedLong(ident.get()) : static_cast<unsigned long>(-1);
  if (PyErr_Occurred() != nullptr) return -1;
  try {
    the_state = new ModuleState{panic_class.get(), loads.get(), sequence.get(), packed_type.get(), main_ident, Keys{}};
  } catch (const ErrorAlreadySet&) {
    return -1;  // keys made so far stay with the interpreter's interned strings
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return -1;
  }
  panic_class.release();  // now owned by the state
  loads.release();
  sequence.release();
  packed_type.release();
  return 0;
}

const ModuleState& state() { return *the_state; }

}  // namespace tess::py
