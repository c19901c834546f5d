// The operations behind the Python lookup calls: get, save, list, data sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"

namespace tess::get {

// A braced formula resolved across all tiers, or else the entry `spec`
// designates (taken as given, untrimmed) in the tier that `scope_str` spells,
// in all tiers when it is absent or names no tier. Throws Cancelled when
// `cancel` stops while a formula is resolved.
Result<Json> get(std::string_view spec, const std::optional<std::string_view>& scope_str,
                 const Cancel& cancel = Cancel::never());

// Parses `data_json` by the loader's rules and stores it under `name` in the
// tier that `tier_str` spells; a spelling that names no tier fails. Returns
// the displaced entry, if any. Fails before changing the store.
Result<std::optional<Json>> save(std::string_view name, std::string_view data_json, std::string_view tier_str);

// The tier names of the store, in its map order.
std::vector<std::string> list_tiers();

}  // namespace tess::get
