#include "get/names.h"

#include <algorithm>

#include "common/unicode.h"
#include "data_loader/tiers.h"
#include "get/resolve.h"

namespace tess::get {

using data_loader::DataStore;
using data_loader::Entry;
using data_loader::EntryKeys;
using data_loader::SCOPE_ALL;
using data_loader::TIER_NAMES;

namespace {

struct TierRange {
  std::size_t first;
  std::size_t last;
};

TierRange tiers_of(std::uint8_t scope) {
  if (scope < SCOPE_ALL) return {scope, std::size_t{scope} + 1};
  return {0, TIER_NAMES.size()};
}

constexpr int kNoStage = 7;

}  // namespace

Result<EntryRef> resolve_entry(const DataStore& store, std::string_view name, std::uint8_t scope) {
  const auto reader = store.read();
  const TierRange range = tiers_of(scope);
  for (std::size_t t = range.first; t < range.last; ++t) {
    const bool held = reader.with_entry(TIER_NAMES[t], name, [](const Json* e) { return e != nullptr; });
    if (held) return EntryRef{static_cast<std::uint8_t>(t), std::string(name)};
  }
  const std::string lower = unicode::to_lower(name);
  const std::uint64_t bits = EntryKeys::filter_bits(lower);
  int best = kNoStage;
  EntryRef match;
  for (std::size_t t = range.first; t < range.last && best > 2; ++t) {
    reader.scan_tier(TIER_NAMES[t], [&](const std::string& entry_name, const Entry& entry) {
      const int stage = loose_stage(entry.keys, name, lower, bits, best);
      if (stage < best) {
        best = stage;
        match = EntryRef{static_cast<std::uint8_t>(t), entry_name};
      }
      return best > 2;
    });
  }
  if (best == kNoStage) return GetError::unknown_name(name);
  return match;
}

Result<EntryRef> resolve_entry(std::string_view name, std::uint8_t scope) {
  return resolve_entry(data_loader::DATA(), name, scope);
}

std::vector<EntryRef> entry_names(const DataStore& store, std::uint8_t scope) {
  const auto reader = store.read();
  const TierRange range = tiers_of(scope);
  std::vector<EntryRef> out;
  for (std::size_t t = range.first; t < range.last; ++t) {
    const std::size_t start = out.size();
    reader.scan_tier(TIER_NAMES[t], [&](const std::string& entry_name, const Entry&) {
      out.push_back(EntryRef{static_cast<std::uint8_t>(t), entry_name});
      return true;
    });
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
              [](const EntryRef& a, const EntryRef& b) { return a.name < b.name; });
  }
  return out;
}

std::vector<EntryRef> entry_names(std::uint8_t scope) { return entry_names(data_loader::DATA(), scope); }

std::vector<std::string> lookup_keys(const DataStore& store, std::uint8_t scope) {
  const auto reader = store.read();
  const TierRange range = tiers_of(scope);
  std::vector<std::string> keys;
  for (std::size_t t = range.first; t < range.last; ++t) {
    reader.scan_tier(TIER_NAMES[t], [&](const std::string& entry_name, const Entry& entry) {
      keys.push_back(entry_name);
      if (entry.keys.has_symbol) keys.push_back(entry.keys.symbol);
      keys.insert(keys.end(), entry.keys.aliases.begin(), entry.keys.aliases.end());
      return true;
    });
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

std::vector<std::string> lookup_keys(std::uint8_t scope) { return lookup_keys(data_loader::DATA(), scope); }

}  // namespace tess::get
