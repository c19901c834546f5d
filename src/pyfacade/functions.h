// The table of the module's functions, in registration order.
#pragma once

#include <vector>

#include "pyfacade/args.h"

namespace tess::py {

inline constexpr const char* kVersion = "2.0.2";

const std::vector<FunctionDecl>& function_table();

}  // namespace tess::py
