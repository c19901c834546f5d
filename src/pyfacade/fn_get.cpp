#include "get/calls.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"
#include "sample/sample.h"

namespace tess::py {

PyObject* h_py_get(Args& a) {
  const std::string_view spec = a.text(0);
  const auto scope_str = a.opt_text(1);
  if (spec.empty()) panic("py_get: spec must be non-empty");
  const Cancel cancel = interruptible();
  auto result = get::get(spec, scope_str, cancel);
  if (!result) return raise(PyExc_KeyError, result.error());
  return value_to_py(*result).release();
}

PyObject* h_py_save(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view data_json = a.text(1);
  const std::string_view tier_str = a.text(2);
  if (name.empty()) panic("py_save: name must be non-empty");
  if (tier_str.empty()) panic("py_save: tier_str must be non-empty");
  auto previous = get::save(name, data_json, tier_str);
  if (!previous) return raise(PyExc_ValueError, previous.error());
  if (!*previous) Py_RETURN_NONE;
  return value_to_py(**previous).release();
}

PyObject* h_py_data_sheet(Args& a) {
  const std::string_view name = a.text(0);
  if (name.empty()) panic("py_data_sheet: name must be non-empty");
  auto entry = sample::lookup_entry(name);
  if (!entry) return raise(PyExc_KeyError, entry.error());
  return value_to_py(*entry).release();
}

PyObject* h_py_list_tiers(Args& /*a*/) {
  const std::vector<std::string> names = get::list_tiers();
  Ref list = new_list(static_cast<Py_ssize_t>(names.size()));
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), str(names[i]).release());
  }
  return list.release();
}

}  // namespace tess::py
