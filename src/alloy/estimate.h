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

#include "common/json.h"
#include "data_loader/store.h"

namespace tess::alloy {

// Constituent name -> fraction, in insertion order, each name once.
using Composition = std::vector<std::pair<std::string, double>>;
// Property key -> estimated value, in ascending byte order of the keys.
using PropertyMap = std::vector<std::pair<std::string, double>>;

inline constexpr std::uint32_t kUnnumbered = UINT32_MAX;

// One constituent of a composition being estimated; the name is borrowed.
// A caller that numbers its names (the same number for the same name on every
// estimate of one estimator) lets the estimator read each name's datasheet
// once and remember its numeric members; kUnnumbered names are looked up and
// read on every estimate.
struct Constituent {
  std::string_view name;
  double fraction;
  std::uint32_t number = kUnnumbered;
};

// Estimates compositions one after another, reusing its buffers and the keys
// it has met, so that a long run of estimates allocates nothing once warm.
// Every key met keeps its slot number for the estimator's lifetime.
class PropertyEstimator {
 public:
  // Estimates the mixture of `constituents` (names distinct, visited in the
  // given order); the result stays readable until the next call.
  void estimate(std::span<const Constituent> constituents);

  // The last result, in the order its keys were first met.
  std::size_t size() const noexcept { return result_.size(); }
  std::uint32_t slot(std::size_t i) const noexcept { return result_[i]; }
  double value(std::size_t i) const noexcept { return slots_[result_[i]].value(); }

  // The slot of `key`, created if the key was never met.
  [[gnu::noinline]] std::uint32_t intern(std::string_view key);
  std::string_view slot_key(std::uint32_t slot) const noexcept { return slots_[slot].key; }
  // The value of a slot in the last result.
  std::optional<double> value_of(std::uint32_t slot) const noexcept {
    const Slot& s = slots_[slot];
    if (s.stamp != stamp_ || !(s.fraction > 0.0)) return std::nullopt;
    return s.value();
  }

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  struct Slot {
    std::string_view key;  // owned by index_
    double weighted = 0.0;
    double fraction = 0.0;
    std::uint64_t stamp = 0;     // the estimate that last met this key
    std::uint32_t next = kNone;  // the slot that followed this one last time
    // Keys whose fraction sum is not positive (zero, negative, NaN) have none.
    double value() const noexcept { return weighted / fraction; }
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };
  // The numeric members of one datasheet as (slot, value), in the order an
  // estimate adds them; read once per numbered name.
  struct Profile {
    bool read = false;
    std::vector<std::pair<std::uint32_t, double>> terms;
  };

  // The hot path of visit(): inlined there; intern() is the cold path.
  [[gnu::always_inline]] inline std::uint32_t slot_of(std::string_view key, std::uint32_t& previous,
                                                      std::uint32_t& set_start);
  [[gnu::always_inline]] inline void add(std::uint32_t id, double fraction, double x);
  // Calls take(slot, value) for every numeric member of a datasheet.
  template <class Take>
  void visit(const Json& value, Take&& take);

  std::unordered_map<std::string, std::uint32_t, KeyHash, std::equal_to<>> index_;
  std::vector<Slot> slots_;
  std::uint64_t stamp_ = 0;
  std::vector<std::uint32_t> result_;  // the slots met by the last estimate with a value
  std::uint32_t start_[2] = {kNone, kNone};
  // Per numbered name: its datasheet's members, from the first tier that
  // held it when first met.
  std::vector<Profile> profiles_;
};

}  // namespace tess::alloy
