// Arrays: voxel grids, property grids, backbones and point sets cross the
// boundary as buffers, without a Python object per element.
#include <cstring>
#include <string>

#include "protein/backbone.h"
#include "protein/kabsch.h"
#include "pyfacade/convert.h"
#include "pyfacade/ext_functions.h"
#include "sample/grid_sample.h"
#include "sample/voxel_map.h"

namespace tess::py::ext {
namespace {

// A C-contiguous float64 buffer of shape (rows, cols), released on scope exit.
class Float64Rows {
 public:
  Float64Rows(const Args& a, std::size_t i, Py_ssize_t cols) {
    if (PyObject_GetBuffer(a.raw(i), &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) a.raised(i);
    const char* f = view_.format;
    const bool float64 = view_.itemsize == 8 && f != nullptr &&
                         (std::strcmp(f, "d") == 0 || std::strcmp(f, "<d") == 0 || std::strcmp(f, "=d") == 0);
    if (!float64 || view_.ndim != 2 || view_.shape[1] != cols) {
      PyBuffer_Release(&view_);  // the destructor of an unfinished object does not run
      a.fail(i, "expected a C-contiguous float64 buffer of shape (n, " + std::to_string(cols) + ")");
    }
    held_ = true;
  }
  Float64Rows(const Float64Rows&) = delete;
  Float64Rows& operator=(const Float64Rows&) = delete;
  ~Float64Rows() {
    if (held_) PyBuffer_Release(&view_);
  }

  std::size_t rows() const { return static_cast<std::size_t>(view_.shape[0]); }
  const double* data() const { return static_cast<const double*>(view_.buf); }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// A new bytearray of `size` bytes for the caller to fill.
Ref new_bytearray(std::size_t size) {
  return check(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size)));
}

// (coordinates, 3 doubles per atom; one character per residue).
Ref backbone_result(const std::vector<protein::BackboneAtom>& atoms) {
  Ref xyz = new_bytearray(atoms.size() * 3 * sizeof(double));
  auto* out = reinterpret_cast<double*>(PyByteArray_AS_STRING(xyz.get()));
  std::string residues;
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    out[3 * i] = atoms[i].x;
    out[3 * i + 1] = atoms[i].y;
    out[3 * i + 2] = atoms[i].z;
    if (i % 3 == 0) residues += atoms[i].residue();
  }
  Ref t = check(PyTuple_New(2));
  PyTuple_SET_ITEM(t.get(), 0, xyz.release());
  PyTuple_SET_ITEM(t.get(), 1, str(residues).release());
  return t;
}

}  // namespace

PyObject* h_voxel_grid(Args& a) {
  const std::string_view name = a.text(0);
  const auto box = sample_box(a.box(1));
  const double voxel_size = a.number(2);
  const auto scale_m = a.opt_number(3);
  const Cancel cancel = interruptible();
  auto grid = sample::voxel_phase_map(name, box, voxel_size, scale_m, cancel);
  if (!grid) return raise(PyExc_ValueError, grid.error());

  const auto& ids = grid->phase_ids;
  Ref buffer = new_bytearray(ids.size() * sizeof(std::int32_t));
  std::memcpy(PyByteArray_AS_STRING(buffer.get()), ids.data(), ids.size() * sizeof(std::int32_t));
  Ref names = new_list(static_cast<Py_ssize_t>(grid->phase_names.size()));
  for (std::size_t i = 0; i < grid->phase_names.size(); ++i) {
    PyList_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), str(grid->phase_names[i]).release());
  }
  Ref counts =
      check(Py_BuildValue("(KKK)", static_cast<unsigned long long>(grid->nx), static_cast<unsigned long long>(grid->ny),
                          static_cast<unsigned long long>(grid->nz)));
  return check(PyTuple_Pack(3, buffer.get(), names.get(), counts.get())).release();
}

PyObject* h_property_grid(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view property = a.text(1);
  const auto box = sample_box(a.box(2));
  const double voxel_size = a.number(3);
  const auto counts = a.count_triple(4);
  const auto scale_m = a.opt_number(5);
  const Cancel cancel = interruptible();
  const std::vector<double> values =
      sample::voxel_sample(name, property, box, voxel_size, counts, scale_m.value_or(voxel_size), cancel);
  Ref buffer = new_bytearray(values.size() * sizeof(double));
  std::memcpy(PyByteArray_AS_STRING(buffer.get()), values.data(), values.size() * sizeof(double));
  return buffer.release();
}

PyObject* h_build_backbone(Args& a) {
  const std::string_view sequence = a.text(0);
  const Float64Rows angles(a, 1, 2);
  std::vector<protein::AnglePair> pairs(angles.rows());
  std::memcpy(pairs.data(), angles.data(), pairs.size() * sizeof(protein::AnglePair));
  return backbone_result(protein::build_backbone(sequence, pairs)).release();
}

PyObject* h_build_backbone_from_entry(Args& a) {
  auto atoms = protein::build_backbone_from_entry(a.text(0));
  if (!atoms) {
    const bool missing = atoms.error().message().ends_with("' not found");
    return raise(missing ? PyExc_KeyError : PyExc_ValueError, atoms.error());
  }
  return backbone_result(*atoms).release();
}

PyObject* h_kabsch_rmsd(Args& a) {
  const Float64Rows rows_a(a, 0, 3);
  const Float64Rows rows_b(a, 1, 3);
  const protein::PointsView pa(rows_a.data(), static_cast<Eigen::Index>(rows_a.rows()), 3);
  const protein::PointsView pb(rows_b.data(), static_cast<Eigen::Index>(rows_b.rows()), 3);
  auto rmsd = protein::kabsch_rmsd(pa, pb);
  if (!rmsd) return raise(PyExc_ValueError, rmsd.error());
  return to_py(*rmsd).release();
}

}  // namespace tess::py::ext
