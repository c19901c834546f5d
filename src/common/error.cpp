#include "common/error.h"

#include <cstring>
#include <string>

namespace tess {

Error os_error(int errnum) {
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  return Error(std::string(text) + " (os error " + std::to_string(errnum) + ")");
}

void panic(const std::string& message) { throw Panic(message); }

}  // namespace tess
