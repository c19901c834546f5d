#include "alloy/estimate.h"

#include <algorithm>
#include <cstring>
#include <optional>

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

// The numeric members of one datasheet: its own, then those of its
// "Properties" object, each set in key order.
template <class Take>
void PropertyEstimator::visit(const Json& value, Take&& take) {
  if (!value.is_object()) return;
  const Json* properties = nullptr;
  std::uint32_t previous = kNone;
  for (const auto& [key, v] : value.get_ref<const Json::object_t&>()) {
    double x = 0.0;
    if (number_of(v, x)) {
      take(slot_of(key, previous, start_[0]), x);
    } else if (v.is_object() && std::string_view(key) == "Properties") {
      properties = &v;
    }
  }
  if (properties == nullptr) return;
  previous = kNone;
  for (const auto& [key, v] : properties->get_ref<const Json::object_t&>()) {
    double x = 0.0;
    if (number_of(v, x)) take(slot_of(key, previous, start_[1]), x);
  }
}

void PropertyEstimator::estimate(std::span<const Constituent> constituents) {
  ++stamp_;
  result_.clear();
  // The store is read only for names not met before.
  auto read = [&](std::string_view name, auto&& take) {
    const auto reader = data_loader::DATA().read();
    reader.with_found(name, [&](const Json* value) {
      if (value != nullptr) visit(*value, take);
      return 0;
    });
  };
  for (const Constituent& c : constituents) {
    if (c.number == kUnnumbered) {
      read(c.name, [&](std::uint32_t id, double x) { add(id, c.fraction, x); });
      continue;
    }
    // Each datasheet is read once, when its name is first met: a store that
    // changes meanwhile changes no later estimate of this estimator.
    if (c.number >= profiles_.size()) profiles_.resize(std::size_t{c.number} + 1);
    Profile& profile = profiles_[c.number];
    if (!profile.read) {
      read(c.name, [&](std::uint32_t id, double x) { profile.terms.emplace_back(id, x); });
      profile.read = true;
    }
    for (const auto& [id, x] : profile.terms) add(id, c.fraction, x);
  }
  // Keys whose fraction sum is not positive (zero, negative, NaN) are left out.
  std::erase_if(result_, [&](std::uint32_t id) { return !(slots_[id].fraction > 0.0); });
}

}  // namespace tess::alloy
