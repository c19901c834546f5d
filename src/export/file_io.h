// Writing whole files for the exporters.
#pragma once

#include <string>
#include <string_view>

#include "common/error.h"

namespace tess::exporter {

enum class Parents { create, require };

// Creates or truncates the file at `path` and writes `bytes` to it whole.
// With Parents::create a non-empty parent directory part is first created
// with all missing ancestors (mode 0777 before the umask). Every failure
// (directory creation, open, a short or failed write, close) is reported as
// the operating system's error.
Status write_file(const std::string& path, std::string_view bytes, Parents parents);

}  // namespace tess::exporter
