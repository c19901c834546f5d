#include "pyfacade/functions.h"

#include "pyfacade/handlers.h"

namespace tess::py {

// The module's functions, in registration order.
const std::vector<FunctionDecl>& function_table() {
  static const std::vector<FunctionDecl> table = {
      {"py_sample",
       {{"name", nullptr, "str"},
        {"property", nullptr, "str"},
        {"at", "None", "tuple[float, float, float] | None"},
        {"scale_m", "None", "float | None"}},
       "Rust-accelerated twin of `tessarine.sample.sample`.\n\n`at` is `(x, y, z)` or `None`; `scale_m` is a float "
       "or `None`.",
       "float", h_py_sample},
      {"py_export_stl",
       {{"name", nullptr, "str"},
        {"out_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"},
        {"binary", "True", "bool"}},
       "Write a binary or ASCII STL surface mesh. Returns output path.",
       "str", h_py_export_stl},
      {"py_export_obj",
       {{"name", nullptr, "str"},
        {"obj_path", nullptr, "str"},
        {"bounds", nullptr, "tuple[tuple[float, float, float], tuple[float, float, float]]"},
        {"voxel_size", nullptr, "float"},
        {"scale_m", "None", "float | None"}},
       "Write OBJ + MTL files. Returns (obj_path, mtl_path).",
       "tuple[str, str]", h_py_export_obj},
      {"is_rust_backend",
       {},
       "Sentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully.",
       "bool", h_is_rust_backend},
      {"version_rust", {}, "Returns the underlying Rust crate version.", "str", h_version_rust},
  };
  return table;
}

}  // namespace tess::py
