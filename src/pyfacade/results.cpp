#include "pyfacade/results.h"

#include <memory>
#include <new>
#include <string>

#include "data_loader/tiers.h"
#include "pyfacade/state.h"
#include "pyfacade/unlocked.h"

namespace tess::py {
namespace {

Ref new_list(std::size_t n) { return check(PyList_New(static_cast<Py_ssize_t>(n))); }

// A list of convert(item) for each item.
template <class Items, class Convert>
Ref list_of(const Items& items, Convert&& convert) {
  Ref list = new_list(std::size(items));
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), convert(items[i]).release());
  }
  return list;
}

// A dict of names to numbers (a composition, estimated properties).
Ref mapping(const std::vector<std::pair<std::string, double>>& members) {
  Ref d = check(PyDict_New());
  for (const auto& [key, value] : members) {
    if (PyDict_SetItem(d.get(), str(key).get(), to_py(value).get()) < 0) throw ErrorAlreadySet{};
  }
  return d;
}

}  // namespace

Ref value_to_py(const Json& value) {
  std::string text;
  try {
    text = dump_compact(value);
  } catch (const nlohmann::json::exception& e) {
    PyErr_SetObject(PyExc_ValueError, str(std::string("json serialise: ") + e.what()).get());
    throw ErrorAlreadySet{};
  }
  return check(PyObject_CallOneArg(state().json_loads, str(text).get()));
}

void raise(Raises raises, const Error& error) {
  PyObject* cls = PyExc_RuntimeError;
  switch (raises) {
    case Raises::key_error: cls = PyExc_KeyError; break;
    case Raises::value_error: cls = PyExc_ValueError; break;
    case Raises::runtime_error: break;
  }
  PyErr_SetObject(cls, str(error.message()).get());
}

Ref record(std::initializer_list<Field> fields) {
  Ref d = check(PyDict_New());
  for (const Field& f : fields) {
    if (PyDict_SetItem(d.get(), f.key, f.value.get()) < 0) throw ErrorAlreadySet{};
  }
  return d;
}

Ref to_py(double v) { return check(PyFloat_FromDouble(v)); }

Ref to_py(bool v) { return Ref(Py_NewRef(v ? Py_True : Py_False)); }

Ref to_py(std::string_view s) { return str(s); }

Ref to_py(Tier t) { return str(data_loader::TIER_NAMES.at(t.index)); }

namespace {

// Numbers made by the core, handed to Python in place: the object owns them
// and lends their bytes through the buffer protocol, writable as a bytearray's
// would be. Nothing ever resizes them, so no export needs counting.
struct PackedObject {
  PyObject ob_base;
  std::shared_ptr<void> owner;
  void* data;
  Py_ssize_t size;
};

PackedObject* as_packed(PyObject* self) { return reinterpret_cast<PackedObject*>(self); }

int packed_getbuffer(PyObject* self, Py_buffer* view, int flags) {
  return PyBuffer_FillInfo(view, self, as_packed(self)->data, as_packed(self)->size, 0, flags);
}

Py_ssize_t packed_length(PyObject* self) { return as_packed(self)->size; }

void packed_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  as_packed(self)->owner.~shared_ptr();
  type->tp_free(self);
  Py_DECREF(type);
}

}  // namespace

Ref make_packed_type() {
  static PyType_Slot slots[] = {
      {Py_bf_getbuffer, reinterpret_cast<void*>(&packed_getbuffer)},
      {Py_sq_length, reinterpret_cast<void*>(&packed_length)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&packed_dealloc)},
      {Py_tp_doc, const_cast<char*>("Numbers made by the native core, lent in place through the buffer protocol "
                                    "(read them with numpy.frombuffer).")},
      {0, nullptr}};
  static PyType_Spec spec = {"tessarine._tessarine_ext.PackedNumbers", sizeof(PackedObject), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, slots};
  return Ref(PyType_FromSpec(&spec));
}

Ref packed(std::shared_ptr<void> owner, void* data, std::size_t size) {
  auto* type = reinterpret_cast<PyTypeObject*>(state().packed_type);
  Ref object = check(type->tp_alloc(type, 0));
  PackedObject* p = as_packed(object.get());
  new (&p->owner) std::shared_ptr<void>(std::move(owner));
  p->data = data;
  p->size = static_cast<Py_ssize_t>(size);
  return object;
}

Ref to_py(const exporter::ObjFiles& v) {
  const Ref obj = str(v.obj_path);
  const Ref mtl = str(v.mtl_path);
  return check(PyTuple_Pack(2, obj.get(), mtl.get()));
}

namespace {

// The dicts of backbone atoms, one after another. The atoms of a residue
// share one int for its index (ints are immutable).
class AtomRecords {
 public:
  Ref operator()(const protein::BackboneAtom& atom) {
    const std::string_view name = atom.name;
    PyObject* name_obj = name == "N" ? k_.atom_n : name == "CA" ? k_.atom_ca : k_.atom_c;
    if (!res_idx_ || atom.res_idx != res_idx_of_) {
      res_idx_ = check(PyLong_FromUnsignedLong(atom.res_idx));
      res_idx_of_ = atom.res_idx;
    }
    return record({{k_.name, Ref(Py_NewRef(name_obj))},
                   {k_.res_idx, Ref(Py_NewRef(res_idx_.get()))},
                   {k_.x, to_py(atom.x)},
                   {k_.y, to_py(atom.y)},
                   {k_.z, to_py(atom.z)}});
  }

 private:
  const Keys& k_ = state().key;
  Ref res_idx_;
  std::uint32_t res_idx_of_ = 0;
};

}  // namespace

Ref to_py(const std::vector<protein::BackboneAtom>& v) { return list_of(v, AtomRecords{}); }

Ref to_py(const BackboneInTurn& v) {
  AtomRecords records;
  Ref list;
  {
    std::size_t made = 0;
    // The chain runs on the pool, and waiting for it is done without the
    // lock; the dicts are made under it, as the atoms come.
    Unlocked unlocked;
    protein::build_backbone_in_turn(
        v.sequence, v.phi_psi, [&](std::span<const protein::BackboneAtom> atoms, std::size_t placed) {
          const Unlocked::Locked locked(unlocked);
          if (!list) list = new_list(atoms.size());
          for (; made < placed; ++made) {
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(made), records(atoms[made]).release());
          }
        });
  }
  return list;
}

Ref to_py(const std::vector<alloy::AlloyCandidate>& v) {
  // A long ranking takes a while to build: Ctrl-C stops it too.
  const Cancel cancel = interruptible();
  const Keys& k = state().key;
  std::size_t i = 0;
  return list_of(v, [&](const alloy::AlloyCandidate& c) {
    if (i++ % 4096 == 0) cancel.check();
    return record({{k.composition, mapping(c.composition)},
                   {k.estimated_properties, mapping(c.estimated_properties)},
                   {k.score, to_py(c.score)}});
  });
}

Ref to_py(const fourier_bake::FourierFieldConfig& v) {
  const Keys& k = state().key;
  return record({{k.property_name, str(v.property_name)},
                 {k.base_value, to_py(v.base_value)},
                 {k.domain_size_m, list_of(v.domain_size_m, [](double d) { return to_py(d); })},
                 {k.coefficients, list_of(v.coefficients,
                                          [&](const fourier_bake::FourierCoefficient& c) {
                                            return record({{k.n, check(PyLong_FromLong(c.n))},
                                                           {k.m, check(PyLong_FromLong(c.m))},
                                                           {k.l, check(PyLong_FromLong(c.l))},
                                                           {k.amplitude, to_py(c.amplitude)},
                                                           {k.phase, to_py(c.phase)}});
                                          })},
                 {k.boundary_condition, str(v.boundary_condition)}});
}

}  // namespace tess::py
