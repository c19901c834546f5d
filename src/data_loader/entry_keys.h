// Lookup keys derived from a datasheet when it is stored.
//
// Loose lookups (any-case name, symbol, alias) compare these instead of
// reading and lower-casing the datasheet on every comparison. They are
// computed once per insert, so replacing an entry replaces its keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"

namespace tess::data_loader {

struct EntryKeys {
  // A 64-bit Bloom filter of the lower-cased keys below. Every loose match
  // (exact or any case) implies that a lower-cased key equals the lower-cased
  // query, so an entry whose filter lacks the query's bits cannot match. It
  // comes first so that a scan rejecting entries touches the fewest bytes.
  std::uint64_t filter = 0;
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

  // The filter bits of one lower-cased key.
  static std::uint64_t filter_bits(std::string_view lower) noexcept;
  bool may_match(std::uint64_t bits) const noexcept { return (filter & bits) == bits; }
};

}  // namespace tess::data_loader
