// Resolution of loose names, symbols, aliases and braced formulas.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "data_loader/store.h"

namespace tess::get {

// The failures of the lookup layer, as error values.
struct GetError {
  // "unknown name: <name>"
  static Error unknown_name(std::string_view name);
  // "invalid formula: <spec>"
  static Error invalid_formula(std::string_view spec);
};

// A braced spec such as "{Fe=2, Ni=1}": its constituents in the order
// written, names trimmed of white space with their case kept.
struct Formula {
  std::vector<std::pair<std::string, std::uint32_t>> parts;
};

// Counts above this stop a formula as an internal failure.
inline constexpr std::uint32_t kMaxFormulaCount = 1000;

// The first of the loose stages (2 to 6: lower-case name, symbol, lower-case
// symbol, alias, lower-case alias) that `keys` satisfies, considering only
// stages below `limit`; `limit` when none does. `lower` is `name` in lower
// case and `bits` its filter bits.
int loose_stage(const data_loader::EntryKeys& keys, std::string_view name, std::string_view lower, std::uint64_t bits,
                int limit);

// A copy of the entry that `name` designates in tier `scope`, or in every
// tier when scope is SCOPE_ALL. Tries, in this order, each over the tiers in
// scope order: the exact entry name; the name in any case; the exact
// "Symbol"; the symbol in any case; an exact "Aliases" element; an alias in
// any case. The whole search sees one state of the store.
Result<Json> resolve_named(const data_loader::DataStore& store, std::string_view name, std::uint8_t scope);
Result<Json> resolve_named(std::string_view name, std::uint8_t scope);

// Nothing when `spec` (trimmed) is not enclosed in braces; else the formula,
// or the error that makes it malformed.
Result<std::optional<Formula>> parse_formula(std::string_view spec);

// A synthetic datasheet: the constituents (each resolved in all tiers) merged
// with their numeric members summed by count, plus "formula". Throws
// Cancelled when `cancel` stops.
Result<Json> resolve_formula(const data_loader::DataStore& store, const Formula& formula,
                             const Cancel& cancel = Cancel::never());
Result<Json> resolve_formula(const Formula& formula, const Cancel& cancel = Cancel::never());

}  // namespace tess::get
