#include "common/error.h"

#include <string>

#include "common/platform.h"

namespace tess {

Error os_error(int errnum) {
  return Error(platform::error_text(errnum) + " (os error " + std::to_string(errnum) + ")");
}

void panic(const std::string& message) { throw Panic(message); }

}  // namespace tess
