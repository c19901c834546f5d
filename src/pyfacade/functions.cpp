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
      {"py_optimize_alloy",
       {{"targets", nullptr, "Sequence[dict[str, Any]]"},
        {"base", nullptr, "str"},
        {"alloying_pool", "None", "Sequence[str] | None"},
        {"n_candidates", "1000", "int"},
        {"top_k", "5", "int"},
        {"seed", "None", "int | None"}},
       "Rust-accelerated `tessarine.optimize.optimize_alloy`.\n\n`targets` — list of dicts with keys: property (str), "
       "min_value (float|None),\n  max_value (float|None), weight (float).\nReturns list of dicts: {composition, "
       "estimated_properties, score}.",
       "list[dict[str, Any]]", h_py_optimize_alloy},
      {"is_rust_backend",
       {},
       "Sentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully.",
       "bool", h_is_rust_backend},
      {"version_rust", {}, "Returns the underlying Rust crate version.", "str", h_version_rust},
  };
  return table;
}

}  // namespace tess::py
