#include "pyfacade/state.h"

#include <utility>

namespace tess::py {
namespace {

ModuleState the_state{};
bool ready = false;

constexpr std::pair<PyObject * Keys::*, const char*> kKeys[] = {
    {&Keys::name, "name"},
    {&Keys::res_idx, "res_idx"},
    {&Keys::x, "x"},
    {&Keys::y, "y"},
    {&Keys::z, "z"},
    {&Keys::atom_n, "N"},
    {&Keys::atom_ca, "CA"},
    {&Keys::atom_c, "C"},
    {&Keys::composition, "composition"},
    {&Keys::estimated_properties, "estimated_properties"},
    {&Keys::score, "score"},
    {&Keys::property, "property"},
    {&Keys::min_value, "min_value"},
    {&Keys::max_value, "max_value"},
    {&Keys::weight, "weight"},
    {&Keys::property_name, "property_name"},
    {&Keys::base_value, "base_value"},
    {&Keys::domain_size_m, "domain_size_m"},
    {&Keys::coefficients, "coefficients"},
    {&Keys::boundary_condition, "boundary_condition"},
    {&Keys::n, "n"},
    {&Keys::m, "m"},
    {&Keys::l, "l"},
    {&Keys::amplitude, "amplitude"},
    {&Keys::phase, "phase"},
};
static_assert(std::size(kKeys) * sizeof(PyObject*) == sizeof(Keys), "every key is created");

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
  Ref keys[std::size(kKeys)];
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    keys[i] = Ref(PyUnicode_InternFromString(kKeys[i].second));
    if (!keys[i]) return -1;
  }
  s.panic_exception = panic_class.release();
  s.json_loads = loads.release();
  s.sequence_abc = sequence.release();
  for (std::size_t i = 0; i < std::size(kKeys); ++i) s.key.*kKeys[i].first = keys[i].release();
  the_state = s;
  ready = true;
  return 0;
}

const ModuleState& state() { return the_state; }

}  // namespace tess::py
