// Names: tiers, resolution to entries, the name and key lists, formulas, and
// the companion paths of the exporters.
#include "data_loader/tiers.h"
#include "export/obj_writer.h"
#include "export/raw_writer.h"
#include "get/names.h"
#include "get/resolve.h"
#include "pyfacade/convert.h"
#include "pyfacade/ext_functions.h"

namespace tess::py::ext {
namespace {

// A scope argument: a tier's index, anything above the last meaning all.
std::uint8_t scope_arg(const Args& a, std::size_t i) {
  const std::uint64_t scope = a.count(i, data_loader::SCOPE_ALL);
  return scope < data_loader::SCOPE_ALL ? static_cast<std::uint8_t>(scope) : data_loader::SCOPE_ALL;
}

Ref tier_str(std::uint8_t tier) { return str(data_loader::TIER_NAMES[tier]); }

Ref pair(Ref first, Ref second) {
  Ref t = check(PyTuple_New(2));
  PyTuple_SET_ITEM(t.get(), 0, first.release());
  PyTuple_SET_ITEM(t.get(), 1, second.release());
  return t;
}

}  // namespace

PyObject* h_tier_names(Args& /*a*/) {
  const auto& names = data_loader::TIER_NAMES;
  Ref tuple = check(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
  for (std::size_t i = 0; i < names.size(); ++i) {
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), str(names[i]).release());
  }
  return tuple.release();
}

PyObject* h_tier_index(Args& a) { return to_py_uint(data_loader::str_to_scope(a.text(0))).release(); }

PyObject* h_resolve(Args& a) {
  const std::string_view name = a.text(0);
  auto found = get::resolve_entry(name, scope_arg(a, 1));
  if (!found) Py_RETURN_NONE;
  return pair(tier_str(found->tier), str(found->name)).release();
}

PyObject* h_entry_names(Args& a) {
  const auto entries = get::entry_names(scope_arg(a, 0));
  Ref list = new_list(static_cast<Py_ssize_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                    pair(tier_str(entries[i].tier), str(entries[i].name)).release());
  }
  return list.release();
}

PyObject* h_lookup_keys(Args& a) {
  const auto keys = get::lookup_keys(scope_arg(a, 0));
  Ref list = new_list(static_cast<Py_ssize_t>(keys.size()));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), str(keys[i]).release());
  }
  return list.release();
}

PyObject* h_parse_formula(Args& a) {
  auto formula = get::parse_formula(a.text(0));
  if (!formula) return raise(PyExc_ValueError, formula.error());
  if (!*formula) Py_RETURN_NONE;
  const auto& parts = (*formula)->parts;
  Ref list = new_list(static_cast<Py_ssize_t>(parts.size()));
  for (std::size_t i = 0; i < parts.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                    pair(str(parts[i].first), to_py_uint(parts[i].second)).release());
  }
  return list.release();
}

PyObject* h_mtl_path(Args& a) { return str(exporter::mtl_path_for(std::string(a.text(0)))).release(); }

PyObject* h_sidecar_path(Args& a) {
  return str(exporter::sidecar_path(std::filesystem::path(std::string(a.text(0)))).string()).release();
}

}  // namespace tess::py::ext
