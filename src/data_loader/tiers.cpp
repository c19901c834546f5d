#include "data_loader/tiers.h"

#include <string>

#include "common/unicode.h"

namespace tess::data_loader {

std::uint8_t str_to_scope(std::string_view name) {
  std::string word = unicode::to_lower(name);
  while (!word.empty() && word.back() == 's') word.pop_back();
  if (word.empty()) return SCOPE_ALL;
  for (std::size_t i = 0; i < TIER_NAMES.size(); ++i) {
    if (word == TIER_NAMES[i]) return static_cast<std::uint8_t>(i);
  }
  if (word == "subatom") return 0;
  return SCOPE_ALL;
}

}  // namespace tess::data_loader
