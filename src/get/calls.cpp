#include "get/calls.h"

#include "data_loader/store.h"
#include "data_loader/tiers.h"
#include "get/resolve.h"

namespace tess::get {

Result<Json> get(std::string_view spec, const std::optional<std::string_view>& scope_str, const Cancel& cancel) {
  // An absent tier, and one no tier spelling names, mean every tier.
  const std::uint8_t scope = scope_str ? data_loader::str_to_scope(*scope_str) : data_loader::SCOPE_ALL;
  Result<std::optional<Formula>> formula = parse_formula(spec);
  if (!formula) return std::move(formula).error();
  if (*formula) return resolve_formula(**formula, cancel);
  return resolve_named(spec, scope);
}

Result<std::optional<Json>> save(std::string_view name, std::string_view data_json, std::string_view tier_str) {
  Result<Json> value = parse_json(data_json);
  if (!value) {
    std::string message = "data_json is not valid JSON: " + value.error().message();
    return std::move(value).error().wrap(std::move(message));
  }
  const std::uint8_t scope = data_loader::str_to_scope(tier_str);
  if (scope == data_loader::SCOPE_ALL) return Error("unknown tier: " + std::string(tier_str));
  return data_loader::DATA().insert_entry(data_loader::TIER_NAMES[scope], std::string(name), std::move(*value));
}

std::vector<std::string> list_tiers() { return data_loader::DATA().tier_names(); }

}  // namespace tess::get
