// Lookup keys derived from a datasheet when it is stored.
#pragma once

#include <string_view>

#include "common/json.h"

namespace tess::data_loader {

struct EntryKeys {
  static EntryKeys of(std::string_view name, const Json& value);
};

}  // namespace tess::data_loader
