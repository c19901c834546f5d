// The alloy search: random compositions of a base element and up to four
// alloying elements, screened against property targets, scored and ranked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alloy/candidate_rng.h"
#include "alloy/estimate.h"
#include "common/cancel.h"
#include "common/error.h"

namespace tess::alloy {

struct AlloyTarget {
  std::string property;
  std::optional<double> min_value;
  std::optional<double> max_value;
  double weight = 1.0;
};

struct AlloyCandidate {
  Composition composition;
  PropertyMap estimated_properties;
  double score;
};

inline constexpr std::array<std::string_view, 6> DEFAULT_POOL = {"Cr", "Ni", "Mn", "Si", "Cu", "Mo"};

// The alloying part of one drawn composition: k pool positions in drawing
// order with their fractions, and the base fraction.
struct CompositionDraw {
  std::size_t k = 0;
  std::array<std::size_t, 4> index{};
  std::array<double, 4> fraction{};
  double base_fraction = 1.0;
};

// Draws one composition from a pool of `pool_size` >= 1 names: the number of
// alloying elements, then their positions without replacement, then their
// fractions, scaled down to a sum of 0.5 when they exceed it.
CompositionDraw draw_composition(CandidateRng& g, std::size_t pool_size);

// The score of an estimate against the targets, or nothing when a target's
// property is missing or a bound is violated. `find(i)` is the estimated value
// of the property of targets[i], if any.
template <class Find>
std::optional<double> score_estimate(const std::vector<AlloyTarget>& targets, Find&& find) {
  double score = 0.0;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const AlloyTarget& t = targets[i];
    const std::optional<double> v = find(i);
    if (!v) return std::nullopt;
    if (t.min_value) {
      if (*v < *t.min_value) return std::nullopt;
      score = score + (*v - *t.min_value) * t.weight;
    }
    if (t.max_value) {
      if (*v > *t.max_value) return std::nullopt;
      score = score + (*t.max_value - *v) * t.weight;
    }
  }
  return score;
}

// The best `capacity` of a stream of scores, in the ranking of
// optimize_alloy: highest score first, scores that are not numbers after all
// others, and equal scores (all NaN ones being equal) in arrival order. It
// holds at most `capacity` scores whatever the length of the stream.
class BestScores {
 public:
  explicit BestScores(std::uint64_t capacity) : capacity_(capacity) {}

  // Offers the score of the next item of the stream. Returns the slot in
  // which the caller keeps the item, or nothing when the item cannot be among
  // the best. Slots are 0, 1, ... up to capacity - 1; once every slot is
  // taken, an item that enters takes the slot of the one it pushes out.
  std::optional<std::size_t> offer(double score);

  // The slots of the items kept, best first. Throws Cancelled when `cancel`
  // stops.
  std::vector<std::size_t> ranked(const Cancel& cancel = Cancel::never()) const;
  std::size_t size() const { return heap_.size(); }

 private:
  struct Entry {
    double score;
    std::uint64_t arrival;
    std::size_t slot;
  };
  // True when `a` ranks before `b`.
  static bool before(const Entry& a, const Entry& b);

  std::uint64_t capacity_;
  std::uint64_t offered_ = 0;
  std::vector<Entry> heap_;  // the worst kept entry at the front
};

// Draws `n_candidates` compositions (seeded from `seed`, else from the
// operating system's entropy), keeps those that meet every target and returns
// the `top_k` best in the ranking of BestScores (equal scores in drawing
// order), holding no more than `top_k` candidates at any time. Throws
// Cancelled when `cancel` stops.
Result<std::vector<AlloyCandidate>> optimize_alloy(const std::vector<AlloyTarget>& targets, std::string_view base,
                                                   const std::optional<std::vector<std::string>>& alloying_pool,
                                                   std::uint64_t n_candidates, std::uint64_t top_k,
                                                   std::optional<std::uint64_t> seed,
                                                   const Cancel& cancel = Cancel::never());

}  // namespace tess::alloy
