#include <string>

#include "protein/backbone.h"
#include "protein/kabsch.h"
#include "protein/ramachandran.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"

namespace tess::py {
namespace {

// Interned strings shared by every record (kept for the life of the process).
PyObject* interned(const char* text) {
  PyObject* s = PyUnicode_InternFromString(text);
  if (s == nullptr) throw ErrorAlreadySet{};
  return s;
}

Ref backbone_to_py(const std::vector<protein::BackboneAtom>& atoms) {
  static PyObject* const k_name = interned("name");
  static PyObject* const k_res_idx = interned("res_idx");
  static PyObject* const k_x = interned("x");
  static PyObject* const k_y = interned("y");
  static PyObject* const k_z = interned("z");
  Ref names[3] = {str("N"), str("CA"), str("C")};
  const auto set = [](PyObject* d, PyObject* key, PyObject* value) {
    if (PyDict_SetItem(d, key, value) < 0) throw ErrorAlreadySet{};
  };
  Ref list = new_list(static_cast<Py_ssize_t>(atoms.size()));
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    const protein::BackboneAtom& atom = atoms[i];
    const std::string_view name = atom.name;
    PyObject* name_obj = names[name == "N" ? 0 : name == "CA" ? 1 : 2].get();
    Ref d = new_dict();
    set(d.get(), k_name, name_obj);
    set(d.get(), k_res_idx, to_py_uint(atom.res_idx).get());
    set(d.get(), k_x, to_py(atom.x).get());
    set(d.get(), k_y, to_py(atom.y).get());
    set(d.get(), k_z, to_py(atom.z).get());
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d.release());
  }
  return list;
}

}  // namespace

PyObject* h_py_kabsch_rmsd(Args& a) {
  const auto rows_a = a.row_list(0);
  const auto rows_b = a.row_list(1);
  auto rmsd = protein::kabsch_rmsd_rows(rows_a, rows_b);
  if (!rmsd) return raise(PyExc_ValueError, rmsd.error());
  return to_py(*rmsd).release();
}

PyObject* h_py_build_backbone(Args& a) {
  const std::string_view sequence = a.text(0);
  const auto pairs = a.pair_list(1);
  return backbone_to_py(protein::build_backbone(sequence, pairs)).release();
}

PyObject* h_py_build_backbone_from_entry(Args& a) {
  const std::string_view entry_name = a.text(0);
  auto atoms = protein::build_backbone_from_entry(entry_name);
  if (!atoms) return raise(PyExc_KeyError, atoms.error());
  return backbone_to_py(*atoms).release();
}

PyObject* h_py_ramachandran_region(Args& a) {
  const double phi = a.number(0);
  const double psi = a.number(1);
  return str(protein::ramachandran_region(phi, psi)).release();
}

}  // namespace tess::py
