#include "alloy/estimate.h"

#include <algorithm>

#include "common/json.h"
#include "data_loader/store.h"

namespace tess::alloy {

void set_fraction(Composition& composition, std::string_view name, double fraction) {
  for (auto& [n, f] : composition) {
    if (n == name) {
      f = fraction;
      return;
    }
  }
  composition.emplace_back(std::string(name), fraction);
}

std::optional<double> find_property(const PropertyMap& properties, std::string_view key) {
  auto it = std::lower_bound(properties.begin(), properties.end(), key,
                             [](const auto& entry, std::string_view k) { return entry.first < k; });
  if (it == properties.end() || it->first != key) return std::nullopt;
  return it->second;
}

std::uint32_t PropertyEstimator::slot_of(std::string_view key, std::uint32_t& previous, std::uint32_t& set_start) {
  // Datasheets of one search share their layout, so the key that followed
  // the previous one last time is almost always the one met now.
  auto link = [&]() -> std::uint32_t& { return previous == kNone ? set_start : slots_[previous].next; };
  std::uint32_t id = link();
  if (id == kNone || *slots_[id].key != key) {
    auto it = index_.find(key);
    if (it == index_.end()) {
      it = index_.emplace(std::string(key), static_cast<std::uint32_t>(slots_.size())).first;
      slots_.push_back(Slot{&it->first});
    }
    id = it->second;
    link() = id;  // after the push: slots_ may have moved
  }
  previous = id;
  return id;
}

void PropertyEstimator::add(std::uint32_t id, double fraction, double x) {
  Slot& slot = slots_[id];
  if (!slot.touched) {
    slot.touched = true;
    slot.weighted = 0.0;
    slot.fraction = 0.0;
    touched_.push_back(id);
  }
  // One rounded product, then one rounded sum (the core is built with
  // -ffp-contract=off).
  slot.weighted = fraction * x + slot.weighted;
  slot.fraction = fraction + slot.fraction;
}

void PropertyEstimator::estimate(std::span<const Constituent> constituents) {
  touched_.clear();
  result_.clear();
  {
    const auto reader = data_loader::DATA().read();
    for (const Constituent& c : constituents) {
      reader.with_found(c.name, [&](const Json* value) {
        if (value == nullptr || !value->is_object()) return 0;
        const Json* sets[2] = {value, member(*value, "Properties")};
        for (int s = 0; s < 2; ++s) {
          if (sets[s] == nullptr || !sets[s]->is_object()) continue;
          std::uint32_t previous = kNone;
          for (const auto& [key, v] : sets[s]->get_ref<const Json::object_t&>()) {
            const std::optional<double> x = as_number(v);
            if (!x) continue;
            add(slot_of(key, previous, start_[s]), c.fraction, *x);
          }
        }
        return 0;
      });
    }
  }
  for (std::uint32_t id : touched_) {
    Slot& slot = slots_[id];
    slot.touched = false;
    if (slot.fraction > 0.0) result_.emplace_back(id, slot.weighted / slot.fraction);
  }
  std::sort(result_.begin(), result_.end(),
            [&](const auto& a, const auto& b) { return *slots_[a.first].key < *slots_[b.first].key; });
}

std::optional<double> PropertyEstimator::find(std::string_view key) const {
  auto it = std::lower_bound(result_.begin(), result_.end(), key,
                             [&](const auto& entry, std::string_view k) { return *slots_[entry.first].key < k; });
  if (it == result_.end() || *slots_[it->first].key != key) return std::nullopt;
  return it->second;
}

PropertyMap PropertyEstimator::to_map() const {
  PropertyMap map;
  map.reserve(result_.size());
  for (const auto& [id, value] : result_) map.emplace_back(*slots_[id].key, value);
  return map;
}

PropertyMap estimate_properties(std::span<const Constituent> composition) {
  PropertyEstimator estimator;
  estimator.estimate(composition);
  return estimator.to_map();
}

PropertyMap estimate_properties(const Composition& composition) {
  std::vector<Constituent> constituents;
  constituents.reserve(composition.size());
  for (const auto& [name, fraction] : composition) constituents.push_back({name, fraction});
  return estimate_properties(constituents);
}

}  // namespace tess::alloy
