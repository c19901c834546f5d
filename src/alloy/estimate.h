// Estimating the numeric properties of a mixture from its constituents'
// datasheets: a linear rule of mixtures, renormalised per property over the
// constituents that carry it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tess::alloy {

// Constituent name -> fraction, in insertion order, each name once.
using Composition = std::vector<std::pair<std::string, double>>;
// Property key -> estimated value, in ascending byte order of the keys.
using PropertyMap = std::vector<std::pair<std::string, double>>;

// Sets the fraction of `name`: replaces the value of a name already present
// (which keeps its place) or appends a new one.
void set_fraction(Composition& composition, std::string_view name, double fraction);
std::optional<double> find_property(const PropertyMap& properties, std::string_view key);

// One constituent of a composition being estimated; the name is borrowed.
struct Constituent {
  std::string_view name;
  double fraction;
};

// Estimates compositions one after another, reusing its buffers and the keys
// it has met, so that a long run of estimates allocates nothing once warm.
class PropertyEstimator {
 public:
  // Estimates the mixture of `constituents` (names distinct, visited in the
  // given order); the result stays readable until the next call.
  void estimate(std::span<const Constituent> constituents);

  // The last result, in ascending key order.
  std::size_t size() const noexcept { return result_.size(); }
  std::string_view key(std::size_t i) const noexcept { return *slots_[result_[i].first].key; }
  double value(std::size_t i) const noexcept { return result_[i].second; }
  std::optional<double> find(std::string_view key) const;
  PropertyMap to_map() const;

  // Keys met so far keep a slot number for the estimator's lifetime.
  std::uint32_t slot(std::size_t i) const noexcept { return result_[i].first; }
  std::string_view slot_key(std::uint32_t slot) const noexcept { return *slots_[slot].key; }

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  struct Slot {
    const std::string* key;  // owned by index_
    double weighted = 0.0;
    double fraction = 0.0;
    std::uint32_t next = kNone;  // the slot that followed this one last time
    bool touched = false;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };

  std::uint32_t slot_of(std::string_view key, std::uint32_t& previous, std::uint32_t& set_start);
  void add(std::uint32_t id, double fraction, double x);

  std::unordered_map<std::string, std::uint32_t, KeyHash, std::equal_to<>> index_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> touched_;
  std::vector<std::pair<std::uint32_t, double>> result_;
  std::uint32_t start_[2] = {kNone, kNone};
};

// The estimated properties of `composition`, read from the store under its
// lock held shared once for the whole call. Never fails.
PropertyMap estimate_properties(std::span<const Constituent> composition);
PropertyMap estimate_properties(const Composition& composition);

}  // namespace tess::alloy
