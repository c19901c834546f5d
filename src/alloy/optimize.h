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

// Draws `n_candidates` compositions (seeded from `seed`, else from the
// operating system's entropy), keeps those that meet every target and returns
// the `top_k` best, highest score first; equal scores keep their drawing
// order, and scores that are not numbers come after all others. Throws
// Cancelled when `cancel` stops.
Result<std::vector<AlloyCandidate>> optimize_alloy(const std::vector<AlloyTarget>& targets, std::string_view base,
                                                   const std::optional<std::vector<std::string>>& alloying_pool,
                                                   std::uint64_t n_candidates, std::uint64_t top_k,
                                                   std::optional<std::uint64_t> seed,
                                                   const Cancel& cancel = Cancel::never());

}  // namespace tess::alloy
