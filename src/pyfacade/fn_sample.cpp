#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"
#include "sample/sample.h"

namespace tess::py {

PyObject* h_py_sample(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view property = a.text(1);
  const auto at = a.opt_point(2);
  const auto scale_m = a.opt_number(3);
  if (name.empty()) panic("py_sample: name must be non-empty");
  if (property.empty()) panic("py_sample: property must be non-empty");
  auto value = sample::sample(name, property, at, scale_m);
  if (!value) return raise(PyExc_KeyError, value.error());
  return to_py(*value).release();
}

}  // namespace tess::py
