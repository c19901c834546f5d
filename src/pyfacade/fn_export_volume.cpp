#include "export/raw_writer.h"
#include "export/shader.h"
#include "export/vtk_writer.h"
#include "pyfacade/convert.h"
#include "pyfacade/handlers.h"

namespace tess::py {
namespace {

// The written path as a str, or RuntimeError with the failure's message.
PyObject* path_result(const Result<std::string>& r) {
  if (!r) return raise(PyExc_RuntimeError, r.error());
  return check(PyUnicode_FromStringAndSize(r->data(), static_cast<Py_ssize_t>(r->size()))).release();
}

}  // namespace

PyObject* h_py_export_glsl(Args& a) {
  const std::string_view name = a.text(0);
  exporter::GlslOptions options;
  options.include_density = a.flag(1, true);
  options.include_ior = a.flag(2, true);
  options.include_sss = a.flag(3, true);
  options.include_caustic = a.flag(4, true);
  auto text = exporter::export_glsl(name, options);
  if (!text) return raise(PyExc_ValueError, text.error());
  return check(PyUnicode_FromStringAndSize(text->data(), static_cast<Py_ssize_t>(text->size()))).release();
}

PyObject* h_py_export_hlsl(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view out_path = a.text(1);
  const auto properties = a.opt_text_list(2);
  const Cancel cancel = interruptible();
  return path_result(exporter::export_hlsl(name, out_path, properties, cancel));
}

PyObject* h_py_export_sdf_raw(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view out_path = a.text(1);
  const auto box = sample_box(a.box(2));
  const double voxel_size = a.number(3);
  const auto scale_m = a.opt_number(4);
  const std::string_view mode = a.text(5, "phase");
  const Cancel cancel = interruptible();
  return path_result(exporter::export_sdf_raw(name, out_path, box, voxel_size, scale_m, mode, cancel));
}

PyObject* h_py_export_vtk_legacy(Args& a) {
  const std::string_view name = a.text(0);
  const std::string_view out_path = a.text(1);
  const auto box = sample_box(a.box(2));
  const double voxel_size = a.number(3);
  const auto properties = a.opt_text_list(4);
  const auto scale_m = a.opt_number(5);
  const Cancel cancel = interruptible();
  return path_result(exporter::export_vtk_legacy(name, out_path, box, voxel_size,
                                                 properties.value_or(std::vector<std::string>{}), scale_m, cancel));
}

}  // namespace tess::py
