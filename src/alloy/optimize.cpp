#include "alloy/optimize.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <unordered_map>

namespace tess::alloy {

namespace {

constexpr double kFractionLow = 0.0005;
constexpr double kFractionHigh = 0.2;
// The list of kept candidates reserves room for a quarter of the draws, but
// never more than this up front; it grows as candidates are kept.
constexpr std::uint64_t kReserveCap = std::uint64_t{1} << 16;
// Candidates drawn (or results built) between two polls of the cancellation
// token: well under a millisecond of work.
constexpr std::uint64_t kPollEvery = 1024;

// A candidate among the best while the search runs: its composition (name
// number and fraction) and its estimate (key slot and value). A slot whose
// candidate is pushed out is reused with its buffer.
struct Kept {
  double score = 0.0;
  std::size_t composition_size = 0;
  std::array<std::pair<std::uint32_t, double>, 5> composition{};
  std::vector<std::pair<std::uint32_t, double>> estimate;
};

}  // namespace

bool BestScores::before(const Entry& a, const Entry& b) {
  const bool a_nan = std::isnan(a.score);
  const bool b_nan = std::isnan(b.score);
  if (a_nan != b_nan) return b_nan;
  if (!a_nan && a.score != b.score) return a.score > b.score;
  return a.arrival < b.arrival;
}

std::optional<std::size_t> BestScores::offer(double score) {
  const Entry entry{score, offered_++, heap_.size()};
  if (heap_.size() < capacity_) {
    heap_.push_back(entry);
    std::push_heap(heap_.begin(), heap_.end(), before);
    return entry.slot;
  }
  // A later arrival pushes the worst kept one out only by a strictly better
  // score: on a tie the earlier one ranks first.
  if (heap_.empty() || !before(entry, heap_.front())) return std::nullopt;
  std::pop_heap(heap_.begin(), heap_.end(), before);
  const std::size_t slot = heap_.back().slot;
  heap_.back() = Entry{score, entry.arrival, slot};
  std::push_heap(heap_.begin(), heap_.end(), before);
  return slot;
}

std::vector<std::size_t> BestScores::ranked(const Cancel& cancel) const {
  std::vector<Entry> order = heap_;
  std::uint64_t compared = 0;
  std::sort(order.begin(), order.end(), [&](const Entry& a, const Entry& b) {
    if (++compared % (16 * kPollEvery) == 0) cancel.check();
    return before(a, b);
  });
  std::vector<std::size_t> slots;
  slots.reserve(order.size());
  for (const Entry& e : order) slots.push_back(e.slot);
  return slots;
}

CompositionDraw draw_composition(CandidateRng& g, std::size_t pool_size) {
  CompositionDraw d;
  const std::size_t kmax = std::min<std::size_t>(4, pool_size);
  d.k = static_cast<std::size_t>(g.uniform_below(kmax + 1));
  // Drawing position i of the pool with the drawn names taken out is drawing
  // the i-th name that has not been drawn yet.
  std::array<std::size_t, 4> drawn{};  // ascending
  for (std::size_t j = 0; j < d.k; ++j) {
    auto at = static_cast<std::size_t>(g.uniform_below(pool_size - j));
    std::size_t pos = 0;
    while (pos < j && drawn[pos] <= at) {
      ++at;
      ++pos;
    }
    std::copy_backward(drawn.begin() + static_cast<std::ptrdiff_t>(pos), drawn.begin() + static_cast<std::ptrdiff_t>(j),
                       drawn.begin() + static_cast<std::ptrdiff_t>(j + 1));
    drawn[pos] = at;
    d.index[j] = at;
  }
  for (std::size_t j = 0; j < d.k; ++j) d.fraction[j] = g.uniform_real(kFractionLow, kFractionHigh);
  auto sum = [&] {
    double s = -0.0;
    for (std::size_t j = 0; j < d.k; ++j) s = s + d.fraction[j];
    return s;
  };
  double s = sum();
  if (s > 0.5) {
    const double factor = 0.5 / s;
    for (std::size_t j = 0; j < d.k; ++j) d.fraction[j] = factor * d.fraction[j];
    s = sum();
  }
  d.base_fraction = std::max(1.0 - s, 0.0);
  return d;
}

Result<std::vector<AlloyCandidate>> optimize_alloy(const std::vector<AlloyTarget>& targets, std::string_view base,
                                                   const std::optional<std::vector<std::string>>& alloying_pool,
                                                   std::uint64_t n_candidates, std::uint64_t top_k,
                                                   std::optional<std::uint64_t> seed, const Cancel& cancel) {
  if (targets.empty()) return Error("alloy::optimize_alloy: at least one target is required");
  if (base.empty()) return Error("alloy::optimize_alloy: base element name required");
  if (n_candidates == 0) return std::vector<AlloyCandidate>{};

  std::vector<std::string_view> pool;
  if (alloying_pool && !alloying_pool->empty()) {
    pool.assign(alloying_pool->begin(), alloying_pool->end());
  } else {
    pool.assign(DEFAULT_POOL.begin(), DEFAULT_POOL.end());
  }
  // Name number 0 is the base, 1 + i is pool[i]; a name given twice takes
  // the number of its first place.
  auto name_of = [&](std::uint32_t id) { return id == 0 ? base : pool[id - 1]; };
  std::vector<std::uint32_t> number_of(pool.size() + 1);
  {
    std::unordered_map<std::string_view, std::uint32_t> first;
    for (std::uint32_t id = 0; id < number_of.size(); ++id) {
      if (id % kPollEvery == 0) cancel.check();
      number_of[id] = first.try_emplace(name_of(id), id).first->second;
    }
  }

  CandidateRng g = seed ? CandidateRng::seed_from_u64(*seed) : CandidateRng::seed_from_entropy();
  PropertyEstimator estimator;
  std::vector<std::uint32_t> target_slots;
  target_slots.reserve(targets.size());
  for (const AlloyTarget& t : targets) target_slots.push_back(estimator.intern(t.property));
  BestScores best(top_k);
  std::vector<Kept> kept;  // by slot of `best`
  kept.reserve(static_cast<std::size_t>(std::min({top_k, n_candidates / 4, kReserveCap})));

  std::array<Constituent, 5> constituents{};
  cancel.start_progress(n_candidates);
  std::uint64_t counted = 0;  // candidates reported as done
  for (std::uint64_t c = 0; c < n_candidates; ++c) {
    if (c % kPollEvery == 0) {
      cancel.advance(c - counted);
      counted = c;
      cancel.check();
    }
    const CompositionDraw d = draw_composition(g, pool.size());
    std::size_t n = 0;
    auto put = [&](std::uint32_t id, double fraction) {
      const std::uint32_t number = number_of[id];
      for (std::size_t i = 0; i < n; ++i) {
        if (constituents[i].number == number) {
          constituents[i].fraction = fraction;  // a later insertion replaces the value
          return;
        }
      }
      constituents[n] = {name_of(number), fraction, number};
      ++n;
    };
    put(0, d.base_fraction);
    for (std::size_t j = 0; j < d.k; ++j) put(static_cast<std::uint32_t>(d.index[j] + 1), d.fraction[j]);

    estimator.estimate(std::span<const Constituent>(constituents.data(), n));
    const std::optional<double> score =
        score_estimate(targets, [&](std::size_t i) { return estimator.value_of(target_slots[i]); });
    if (!score) continue;
    const std::optional<std::size_t> slot = best.offer(*score);
    if (!slot) continue;

    if (*slot == kept.size()) kept.emplace_back();
    Kept& k = kept[*slot];
    k.score = *score;
    k.composition_size = n;
    for (std::size_t i = 0; i < n; ++i) k.composition[i] = {constituents[i].number, constituents[i].fraction};
    k.estimate.clear();
    for (std::size_t i = 0; i < estimator.size(); ++i) k.estimate.emplace_back(estimator.slot(i), estimator.value(i));
  }

  cancel.advance(n_candidates - counted);
  const std::vector<std::size_t> ranking = best.ranked(cancel);
  std::vector<AlloyCandidate> result;
  result.reserve(ranking.size());
  for (std::size_t r = 0; r < ranking.size(); ++r) {
    if (r % kPollEvery == 0) cancel.check();
    const Kept& k = kept[ranking[r]];
    AlloyCandidate& out = result.emplace_back();
    out.score = k.score;
    out.composition.reserve(k.composition_size);
    for (std::size_t i = 0; i < k.composition_size; ++i) {
      const auto& [id, fraction] = k.composition[i];
      out.composition.emplace_back(std::string(name_of(id)), fraction);
    }
    out.estimated_properties.reserve(k.estimate.size());
    for (const auto& [slot, value] : k.estimate) {
      out.estimated_properties.emplace_back(std::string(estimator.slot_key(slot)), value);
    }
    std::sort(out.estimated_properties.begin(), out.estimated_properties.end());
  }
  return result;
}

}  // namespace tess::alloy
