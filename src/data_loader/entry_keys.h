// Lookup keys derived from a datasheet when it is stored.
//
// Loose lookups (any-case name, symbol, alias) compare these instead of
// reading and lower-casing the datasheet on every comparison. They are
// computed once per insert, so replacing an entry replaces its keys.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"

namespace tess::data_loader {

struct EntryKeys {
  // The entry name with the full Unicode lower-case mapping applied.
  std::string lower_name;
  // The "Symbol" member (or "symbol" when "Symbol" is absent) when it is a
  // string; has_symbol is false otherwise.
  bool has_symbol = false;
  std::string symbol;
  std::string lower_symbol;
  // The string elements of "Aliases" (or "aliases" when "Aliases" is absent),
  // in order, and the same lower-cased; empty unless that member is an array.
  std::vector<std::string> aliases;
  std::vector<std::string> lower_aliases;

  static EntryKeys of(std::string_view name, const Json& value);
};

}  // namespace tess::data_loader
