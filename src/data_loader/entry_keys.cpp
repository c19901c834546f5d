#include "data_loader/entry_keys.h"

#include "common/hash.h"
#include "common/unicode.h"

namespace tess::data_loader {
namespace {

// The member `primary` of an object, or `fallback` only when `primary` is absent.
const Json* member_or(const Json& value, std::string_view primary, std::string_view fallback) {
  if (const Json* m = member(value, primary)) return m;
  return member(value, fallback);
}

}  // namespace

std::uint64_t EntryKeys::filter_bits(std::string_view lower) noexcept {
  std::uint64_t h = hash::fnv1a(lower);
  h ^= h >> 29;
  return (std::uint64_t{1} << (h & 63)) | (std::uint64_t{1} << ((h >> 6) & 63));
}

EntryKeys EntryKeys::of(std::string_view name, const Json& value) {
  EntryKeys keys;
  keys.lower_name = unicode::to_lower(name);
  if (const Json* symbol = member_or(value, "Symbol", "symbol"); symbol != nullptr && symbol->is_string()) {
    keys.has_symbol = true;
    keys.symbol = symbol->get_ref<const std::string&>();
    keys.lower_symbol = unicode::to_lower(keys.symbol);
  }
  if (const Json* aliases = member_or(value, "Aliases", "aliases"); aliases != nullptr && aliases->is_array()) {
    for (const Json& alias : *aliases) {
      if (!alias.is_string()) continue;
      const auto& text = alias.get_ref<const std::string&>();
      keys.aliases.push_back(text);
      keys.lower_aliases.push_back(unicode::to_lower(text));
    }
  }
  keys.filter = filter_bits(keys.lower_name);
  if (keys.has_symbol) keys.filter |= filter_bits(keys.lower_symbol);
  for (const std::string& alias : keys.lower_aliases) keys.filter |= filter_bits(alias);
  return keys;
}

}  // namespace tess::data_loader
