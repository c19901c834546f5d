#include "get/resolve.h"

#include <cmath>
#include <limits>

#include "common/unicode.h"
#include "data_loader/tiers.h"

namespace tess::get {

using data_loader::DataStore;
using data_loader::Entry;
using data_loader::EntryKeys;
using data_loader::SCOPE_ALL;
using data_loader::TIER_NAMES;

Error GetError::unknown_name(std::string_view name) { return Error("unknown name: " + std::string(name)); }

Error GetError::invalid_formula(std::string_view spec) { return Error("invalid formula: " + std::string(spec)); }

namespace {

constexpr int kNoStage = 7;

bool contains(const std::vector<std::string>& texts, std::string_view wanted) {
  for (const std::string& t : texts) {
    if (t == wanted) return true;
  }
  return false;
}

}  // namespace

int loose_stage(const data_loader::EntryKeys& keys, std::string_view name, std::string_view lower, std::uint64_t bits,
                int limit) {
  if (!keys.may_match(bits)) return limit;
  if (limit > 2 && keys.lower_name == lower) return 2;
  if (limit > 3 && keys.has_symbol && keys.symbol == name) return 3;
  if (limit > 4 && keys.has_symbol && keys.lower_symbol == lower) return 4;
  if (limit > 5 && contains(keys.aliases, name)) return 5;
  if (limit > 6 && contains(keys.lower_aliases, lower)) return 6;
  return limit;
}

Result<Json> resolve_named(const DataStore& store, std::string_view name, std::uint8_t scope) {
  const auto reader = store.read();
  const std::size_t first = scope < SCOPE_ALL ? scope : 0;
  const std::size_t last = scope < SCOPE_ALL ? scope + 1 : TIER_NAMES.size();

  // Stage 1: a hash lookup per tier.
  for (std::size_t t = first; t < last; ++t) {
    std::optional<Json> found = reader.get_entry(TIER_NAMES[t], name);
    if (found) return std::move(*found);
  }

  // Stages 2 to 6 in one pass. Visiting the tiers and their entries in the
  // same order as one scan per stage would, the first entry found for the
  // lowest stage is the one that the stage-by-stage search returns. Only
  // lower stages are looked for once a match is held, and a stage-2 match
  // ends the pass.
  const std::string lower = unicode::to_lower(name);
  const std::uint64_t bits = EntryKeys::filter_bits(lower);
  int best = kNoStage;
  Json match;
  for (std::size_t t = first; t < last && best > 2; ++t) {
    reader.scan_tier(TIER_NAMES[t], [&](const std::string&, const Entry& entry) {
      const int stage = loose_stage(entry.keys, name, lower, bits, best);
      if (stage < best) {
        best = stage;
        match = entry.value;
      }
      return best > 2;
    });
  }
  if (best == kNoStage) return GetError::unknown_name(name);
  return match;
}

Result<Json> resolve_named(std::string_view name, std::uint8_t scope) {
  return resolve_named(data_loader::DATA(), name, scope);
}

namespace {

// An unsigned 32-bit decimal integer: an optional "+", then ASCII digits.
Result<std::uint32_t> parse_count(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return Error("no digits");
  std::uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return Error("invalid digit");
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return Error("too large for an unsigned 32-bit integer");
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

Result<std::optional<Formula>> parse_formula(std::string_view spec) {
  const std::string_view t = unicode::trim_white_space(spec);
  if (t.empty() || t.front() != '{' || t.back() != '}') return std::optional<Formula>();
  const std::string_view inner = t.substr(1, t.size() - 2);
  if (unicode::trim_white_space(inner).empty()) return GetError::invalid_formula(spec);

  Formula formula;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = inner.find(',', start);
    const std::string_view piece =
        inner.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const std::size_t eq = piece.find('=');
    const std::string_view name = unicode::trim_white_space(piece.substr(0, eq));
    if (name.empty() || eq == std::string_view::npos) return GetError::invalid_formula(spec);
    const std::string_view count_text = unicode::trim_white_space(piece.substr(eq + 1));
    auto count = parse_count(count_text);
    if (!count) {
      return std::move(count).error().wrap("formula count '" + std::string(count_text) +
                                           "' is not a non-negative integer");
    }
    formula.parts.emplace_back(std::string(name), *count);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return std::optional<Formula>(std::move(formula));
}

namespace {

// Adds `entry` times `count` into `props`: numbers as (v * count) + previous,
// two separately rounded operations, null when not finite; anything else only
// where `props` has no such key yet.
void merge(Json::object_t& props, Json::object_t&& entry, std::uint32_t count) {
  const auto weight = static_cast<double>(count);
  for (auto& [key, value] : entry) {
    if (const std::optional<double> v = as_number(value)) {
      double previous = 0.0;
      auto it = props.find(key);
      if (it != props.end()) previous = as_number(it->second).value_or(0.0);
      const double product = *v * weight;
      const double sum = product + previous;
      Json stored = std::isfinite(sum) ? Json(sum) : Json(nullptr);
      if (it != props.end()) it->second = std::move(stored);
      else props.emplace(key, std::move(stored));
    } else {
      props.try_emplace(key, std::move(value));
    }
  }
}

}  // namespace

Result<Json> resolve_formula(const DataStore& store, const Formula& formula, const Cancel& cancel) {
  Json props = Json::object();
  auto& members = props.get_ref<Json::object_t&>();
  for (const auto& [name, count] : formula.parts) {
    cancel.check();
    if (count > kMaxFormulaCount) panic("resolve_formula: implausibly large count");
    Result<Json> entry = resolve_named(store, name, SCOPE_ALL);
    if (!entry) return std::move(entry).error().wrap("formula constituent '" + name + "' not found");
    if (entry->is_object()) merge(members, std::move(entry->get_ref<Json::object_t&>()), count);
  }
  std::string text;
  for (const auto& [name, count] : formula.parts) {
    text += name;
    text += std::to_string(count);
  }
  members["formula"] = std::move(text);
  return props;
}

Result<Json> resolve_formula(const Formula& formula, const Cancel& cancel) {
  return resolve_formula(data_loader::DATA(), formula, cancel);
}

}  // namespace tess::get
