// Which entry a name designates, and the names and lookup keys of the store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "data_loader/store.h"

namespace tess::get {

// An entry of the store: its tier's scope index and its entry name.
struct EntryRef {
  std::uint8_t tier = 0;
  std::string name;

  bool operator==(const EntryRef&) const = default;
};

// The entry that resolve_named(name, scope) returns, as its tier and entry
// name: the same stages in the same order over the same tiers, under one
// state of the store. Fails with resolve_named's error when nothing matches.
Result<EntryRef> resolve_entry(const data_loader::DataStore& store, std::string_view name, std::uint8_t scope);
Result<EntryRef> resolve_entry(std::string_view name, std::uint8_t scope);

// Every entry of the tiers in `scope` (every tier for SCOPE_ALL), ordered by
// scope index, then by name bytes.
std::vector<EntryRef> entry_names(const data_loader::DataStore& store, std::uint8_t scope);
std::vector<EntryRef> entry_names(std::uint8_t scope);

// Every text a lookup in `scope` matches exactly: entry names, string symbols
// and string aliases, once each, in byte order.
std::vector<std::string> lookup_keys(const data_loader::DataStore& store, std::uint8_t scope);
std::vector<std::string> lookup_keys(std::uint8_t scope);

}  // namespace tess::get
