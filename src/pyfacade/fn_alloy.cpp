#include <optional>
#include <string>
#include <vector>

#include "alloy/optimize.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"

namespace tess::py {

namespace {

// The value under `key` of a target dict, or nothing when it is absent or the
// lookup itself failed in an ordinary way (a key's __eq__ raising, say).
// Throughout, only ordinary failures are dropped: KeyboardInterrupt,
// SystemExit, MemoryError and the like end the call at once.
Ref target_item(PyObject* dict, const char* key) {
  PyObject* value = nullptr;
  if (PyDict_GetItemStringRef(dict, key, &value) < 0) drop_ordinary_error();
  return Ref(value);
}

// A bound or weight: whatever the float conversion accepts; None, absence
// and every ordinary conversion failure give nothing.
std::optional<double> target_number(PyObject* dict, const char* key) {
  Ref item = target_item(dict, key);
  if (!item || item.get() == Py_None) return std::nullopt;
  try {
    double v = 0.0;
    std::string message;
    if (convert::to_number(item.get(), v, message)) return v;
  } catch (const ErrorAlreadySet&) {
    drop_ordinary_error();
  }
  return std::nullopt;
}

// Ordinary conversion problems inside a target dict are never reported: the
// defaults of a target apply instead.
alloy::AlloyTarget target_from_dict(PyObject* dict) {
  alloy::AlloyTarget t;
  if (Ref property = target_item(dict, "property")) {
    try {
      std::string_view text;
      std::string message;
      if (convert::to_text(property.get(), text, message)) t.property.assign(text);
    } catch (const ErrorAlreadySet&) {
      drop_ordinary_error();  // a str that cannot be encoded as UTF-8
    }
  }
  t.min_value = target_number(dict, "min_value");
  t.max_value = target_number(dict, "max_value");
  t.weight = target_number(dict, "weight").value_or(1.0);
  return t;
}

}  // namespace

PyObject* h_py_optimize_alloy(Args& a) {
  const std::vector<PyObject*> dicts = a.dict_list(0);
  const std::string base(a.text(1));
  const auto pool = a.opt_text_list(2);
  const std::uint64_t n_candidates = a.count(3, 1000);
  const std::uint64_t top_k = a.count(4, 5);
  const auto seed = a.opt_count(5);

  std::vector<alloy::AlloyTarget> targets;
  targets.reserve(dicts.size());
  for (PyObject* d : dicts) targets.push_back(target_from_dict(d));

  const Cancel cancel = interruptible();
  auto found = alloy::optimize_alloy(targets, base, pool, n_candidates, top_k, seed, cancel);
  if (!found) return raise(PyExc_ValueError, found.error());

  Ref list = new_list(static_cast<Py_ssize_t>(found->size()));
  for (std::size_t i = 0; i < found->size(); ++i) {
    if (i % 4096 == 0) cancel.check();
    const alloy::AlloyCandidate& c = (*found)[i];
    Ref composition = new_dict();
    for (const auto& [name, fraction] : c.composition) dict_set(composition.get(), name, to_py(fraction));
    Ref estimated = new_dict();
    for (const auto& [key, value] : c.estimated_properties) dict_set(estimated.get(), key, to_py(value));
    Ref item = new_dict();
    dict_set(item.get(), "composition", std::move(composition));
    dict_set(item.get(), "estimated_properties", std::move(estimated));
    dict_set(item.get(), "score", to_py(c.score));
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list.release();
}

}  // namespace tess::py
