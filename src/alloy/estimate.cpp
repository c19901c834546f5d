#include "alloy/estimate.h"

#include <algorithm>
#include <cstring>

namespace tess::alloy {

namespace {

// Key equality without a library call: the keys compared are short and
// usually equal.
inline bool same_key(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  for (; i + 8 <= a.size(); i += 8) {
    std::uint64_t x = 0, y = 0;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) return false;
  }
  for (; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The value of a JSON number of any kind as a double (integers converted to
// the nearest double), like as_number but cheap to inline in a hot loop.
// NOLINTNEXTLINE(bugprone-exception-escape): each get_ref matches the type switched on
inline bool number_of(const Json& v, double& x) noexcept {
  switch (v.type()) {
    case Json::value_t::number_float: x = v.get_ref<const Json::number_float_t&>(); return true;
    case Json::value_t::number_unsigned:
      x = static_cast<double>(v.get_ref<const Json::number_unsigned_t&>());
      return true;
    case Json::value_t::number_integer:
      x = static_cast<double>(v.get_ref<const Json::number_integer_t&>());
      return true;
    default: return false;
  }
}

}  // namespace

std::uint32_t PropertyEstimator::intern(std::string_view key) {
  auto it = index_.find(key);
  if (it == index_.end()) {
    it = index_.emplace(std::string(key), static_cast<std::uint32_t>(slots_.size())).first;
    slots_.push_back(Slot{it->first});
  }
  return it->second;
}

std::uint32_t PropertyEstimator::slot_of(std::string_view key, std::uint32_t& previous, std::uint32_t& set_start) {
  // Datasheets of one search share their layout, so the key that followed
  // the previous one last time is almost always the one met now.
  auto link = [&]() -> std::uint32_t& { return previous == kNone ? set_start : slots_[previous].next; };
  std::uint32_t id = link();
  if (id == kNone || !same_key(slots_[id].key, key)) {
    id = intern(key);
    link() = id;  // after intern: slots_ may have moved
  }
  previous = id;
  return id;
}

void PropertyEstimator::add(std::uint32_t id, double fraction, double x) {
  Slot& slot = slots_[id];
  if (slot.stamp != stamp_) {
    slot.stamp = stamp_;
    slot.weighted = 0.0;
    slot.fraction = 0.0;
    result_.push_back(id);
  }
  // One rounded product, then one rounded sum (the core is built with
  // -ffp-contract=off).
  slot.weighted = fraction * x + slot.weighted;
  slot.fraction = fraction + slot.fraction;
}

// Adds the numeric members of one datasheet: its own, then those of its
// "Properties" object, each set in key order.
void PropertyEstimator::visit(const Json& value, double fraction) {
  if (!value.is_object()) return;
  const Json* properties = nullptr;
  std::uint32_t previous = kNone;
  for (const auto& [key, v] : value.get_ref<const Json::object_t&>()) {
    double x = 0.0;
    if (number_of(v, x)) {
      add(slot_of(key, previous, start_[0]), fraction, x);
    } else if (v.is_object() && std::string_view(key) == "Properties") {
      properties = &v;
    }
  }
  if (properties == nullptr) return;
  previous = kNone;
  for (const auto& [key, v] : properties->get_ref<const Json::object_t&>()) {
    double x = 0.0;
    if (number_of(v, x)) add(slot_of(key, previous, start_[1]), fraction, x);
  }
}

void PropertyEstimator::estimate(std::span<const Constituent> constituents) {
  ++stamp_;
  result_.clear();
  {
    const auto reader = data_loader::DATA().read();
    for (const Constituent& c : constituents) {
      auto visit_found = [&](const Json* value) {
        if (value != nullptr) visit(*value, c.fraction);
        return 0;
      };
      if (c.number == kUnnumbered) {
        reader.with_found(c.name, visit_found);
        continue;
      }
      // The store never removes an entry, so the first tier that held a name
      // holds it for the rest of the search. Another thread, or a signal
      // handler run by the search's cancellation poll, may store the name in
      // an earlier tier meanwhile; the search keeps to the tiers where it
      // first found each name, as if it had read them all at its start.
      if (c.number >= where_.size()) where_.resize(std::size_t{c.number} + 1, kUnresolved);
      std::uint16_t& where = where_[c.number];
      if (where == kUnresolved) {
        if (maps_.empty()) {
          for (const std::string& tier : reader.tier_names()) maps_.push_back(reader.tier_map(tier));
        }
        where = kAbsent;
        for (std::size_t t = 0; t < maps_.size(); ++t) {
          if (maps_[t] && reader.with_entry_in(*maps_[t], c.name, [](const Json* v) { return v != nullptr; })) {
            where = static_cast<std::uint16_t>(t);
            break;
          }
        }
      }
      if (where != kAbsent) reader.with_entry_in(*maps_[where], c.name, visit_found);
    }
  }
  // Keys whose fraction sum is not positive (zero, negative, NaN) are left out.
  std::erase_if(result_, [&](std::uint32_t id) {
    Slot& slot = slots_[id];
    slot.has_value = slot.fraction > 0.0;
    if (slot.has_value) slot.value = slot.weighted / slot.fraction;
    return !slot.has_value;
  });
}

}  // namespace tess::alloy
