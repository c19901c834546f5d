#include "fourier_bake/fourier_bake.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"

namespace tess::py {

PyObject* h_py_bake_fourier(Args& a) {
  const std::string_view entry_name = a.text(0);
  const std::string_view property = a.text(1);
  const Box3 bounds = a.box(2);
  const auto grid = a.count_triple(3);
  const double truncate_threshold = a.number(4, 0.01);

  const Cancel cancel = interruptible();
  auto baked = fourier_bake::bake_fourier(entry_name, property, sample_box(bounds), grid, truncate_threshold, cancel);
  if (!baked) return raise(PyExc_ValueError, baked.error());

  const auto& coefficients = baked->coefficients;
  Ref list = new_list(static_cast<Py_ssize_t>(coefficients.size()));
  for (std::size_t i = 0; i < coefficients.size(); ++i) {
    const auto& c = coefficients[i];
    Ref d = new_dict();
    dict_set(d.get(), "n", to_py_int(c.n));
    dict_set(d.get(), "m", to_py_int(c.m));
    dict_set(d.get(), "l", to_py_int(c.l));
    dict_set(d.get(), "amplitude", to_py(c.amplitude));
    dict_set(d.get(), "phase", to_py(c.phase));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d.release());
  }
  Ref domain = new_list(3);
  for (Py_ssize_t k = 0; k < 3; ++k) {
    PyList_SET_ITEM(domain.get(), k, to_py(baked->domain_size_m[static_cast<std::size_t>(k)]).release());
  }
  Ref out = new_dict();
  dict_set(out.get(), "property_name", str(baked->property_name));
  dict_set(out.get(), "base_value", to_py(baked->base_value));
  dict_set(out.get(), "domain_size_m", std::move(domain));
  dict_set(out.get(), "coefficients", std::move(list));
  dict_set(out.get(), "boundary_condition", str(baked->boundary_condition));
  return out.release();
}

}  // namespace tess::py
