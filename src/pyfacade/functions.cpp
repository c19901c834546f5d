#include "pyfacade/functions.h"

#include "pyfacade/handlers.h"

namespace tess::py {

// The module's functions, in registration order.
const std::vector<FunctionDecl>& function_table() {
  static const std::vector<FunctionDecl> table = {
      {"py_get",
       {{"spec", nullptr, "str"}, {"scope_str", "None", "str | None"}},
       "Rust-accelerated twin of `tessarine.get.Get`.\n\n`scope_str` is the optional tier name (e.g. `\"atom\"`, "
       "`\"alloy\"`) or\n`None` for cross-tier search. Returns a Python `dict`.",
       "Any", h_py_get},
      {"py_save",
       {{"name", nullptr, "str"}, {"data_json", nullptr, "str"}, {"tier_str", nullptr, "str"}},
       "Rust-accelerated twin of `tessarine.get.Save`.\n\n`data_json` is a JSON-encoded string (the dict to "
       "store);\n`tier_str` is the tier name (e.g. `\"alloy\"`).\nReturns the previous entry dict if one was "
       "displaced, else `None`.",
       "Any", h_py_save},
      {"py_sample",
       {{"name", nullptr, "str"},
        {"property", nullptr, "str"},
        {"at", "None", "tuple[float, float, float] | None"},
        {"scale_m", "None", "float | None"}},
       "Rust-accelerated twin of `tessarine.sample.sample`.\n\n`at` is `(x, y, z)` or `None`; `scale_m` is a float "
       "or `None`.",
       "float", h_py_sample},
      {"py_data_sheet",
       {{"name", nullptr, "str"}},
       "Rust-accelerated twin of `tessarine.sample.data_sheet`.\n\nReturns the bulk Properties dict for the named "
       "entry.",
       "Any", h_py_data_sheet},
      {"py_list_tiers", {}, "Rust-accelerated twin of `tessarine.get.list_tiers`.", "list[str]", h_py_list_tiers},
      {"is_rust_backend",
       {},
       "Sentinel that the Python facade can probe to confirm the Rust backend\nloaded successfully.",
       "bool", h_is_rust_backend},
      {"version_rust", {}, "Returns the underlying Rust crate version.", "str", h_version_rust},
  };
  return table;
}

}  // namespace tess::py
