#include "export/obj_writer.h"
#include "export/stl_writer.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"

namespace tess::py {

PyObject* h_py_export_stl(Args& a) {
  const std::string_view name = a.text(0);
  const std::string out_path(a.text(1));
  const auto bounds = sample_box(a.box(2));
  const double voxel_size = a.number(3);
  const auto scale_m = a.opt_number(4);
  const bool binary = a.flag(5, true);
  const Cancel cancel = interruptible();
  auto written = exporter::export_stl(name, out_path, bounds, voxel_size, scale_m, binary, cancel);
  if (!written) return raise(PyExc_RuntimeError, written.error());
  return str(*written).release();
}

PyObject* h_py_export_obj(Args& a) {
  const std::string_view name = a.text(0);
  const std::string obj_path(a.text(1));
  const auto bounds = sample_box(a.box(2));
  const double voxel_size = a.number(3);
  const auto scale_m = a.opt_number(4);
  const Cancel cancel = interruptible();
  auto written = exporter::export_obj(name, obj_path, bounds, voxel_size, scale_m, cancel);
  if (!written) return raise(PyExc_RuntimeError, written.error());
  Ref obj = str(written->obj_path);
  Ref mtl = str(written->mtl_path);
  return PyTuple_Pack(2, obj.get(), mtl.get());
}

}  // namespace tess::py
