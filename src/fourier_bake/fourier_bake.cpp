#include "fourier_bake/fourier_bake.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

#include "common/memory.h"
#include "common/thread_pool.h"
#include "sample/grid_sample.h"

namespace tess::fourier_bake {
namespace {

constexpr double kEpsilon = 2.220446049250313e-16;
constexpr double kMinusTwoPi = -6.283185307179586;
// Samples summed between two polls of the cancellation token.
constexpr std::uint64_t kPollEvery = 1 << 14;

struct Triple {
  std::int32_t n, m, l;
};

// Everything fixed by the arguments before any sample is taken.
struct Plan {
  GridSize grid{};
  std::uint64_t total = 0;  // N = Nx * Ny * Nz
  sample::Point origin{};
  std::array<double, 3> extent{};
  std::array<double, 3> cell{};
  double scale = 0;
  std::int64_t mx = -1, my = 0, mz = 0;  // mx < 0: no coefficient at all
  std::uint64_t coefficient_count = 0;
  std::size_t chunks = 0;
};

Error too_large(GridSize grid) {
  return Error(too_large_message("grid_size (" + std::to_string(grid[0]) + ", " + std::to_string(grid[1]) + ", " +
                                 std::to_string(grid[2]) + ")"));
}

// The number of (n, m, l) of the half-space walk.
std::optional<std::uint64_t> count_coefficients(std::int64_t mx, std::int64_t my, std::int64_t mz) {
  if (mx < 0) return 0;
  const auto span = [](std::int64_t m) -> std::uint64_t { return m < 0 ? 0 : static_cast<std::uint64_t>(2 * m + 1); };
  std::uint64_t k = 0;
  if (my >= 0) {
    // n = 0: m = 0 takes l = 1 ... Mz, each m = 1 ... My takes l = -Mz ... Mz.
    k = static_cast<std::uint64_t>(std::max<std::int64_t>(mz, 0));
    auto rows = checked_mul(static_cast<std::uint64_t>(my), span(mz));
    if (!rows) return std::nullopt;
    auto sum = checked_add(k, *rows);
    if (!sum) return std::nullopt;
    k = *sum;
  }
  auto plane = checked_mul(span(my), span(mz));
  if (!plane) return std::nullopt;
  auto rest = checked_mul(static_cast<std::uint64_t>(mx), *plane);
  if (!rest) return std::nullopt;
  return checked_add(k, *rest);
}

Result<Plan> make_plan(std::string_view entry_name, std::string_view property, const sample::Box& bounds, GridSize grid,
                       double truncate_threshold) {
  if (entry_name.empty()) return Error("entry_name must not be empty");
  if (property.empty()) return Error("property must not be empty");
  if (grid[0] == 0 || grid[1] == 0 || grid[2] == 0) return Error("grid_size must be non-zero in all dimensions");
  if (!std::isfinite(truncate_threshold) || truncate_threshold < 0) {
    return Error("truncate_threshold must be a non-negative finite value");
  }

  Plan p;
  p.grid = grid;
  auto nxy = checked_mul(grid[0], grid[1]);
  auto total = nxy ? checked_mul(*nxy, grid[2]) : std::nullopt;
  if (!total) return too_large(grid);
  p.total = *total;

  p.origin = bounds.min;
  for (int a = 0; a < 3; ++a) {
    p.extent[a] = std::fmax(bounds.max[a] - bounds.min[a], kEpsilon);  // a NaN difference gives epsilon
    p.cell[a] = p.extent[a] / static_cast<double>(grid[a]);
  }
  p.scale = std::fmin(std::fmin(p.cell[0], p.cell[1]), p.cell[2]);

  const std::uint64_t half_x = grid[0] / 2;
  if (half_x <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    p.mx = static_cast<std::int64_t>(half_x);
  }
  // The half sizes are 32-bit signed integers; the conversion wraps.
  p.my = static_cast<std::int32_t>(grid[1] / 2);
  p.mz = static_cast<std::int32_t>(grid[2] / 2);
  auto k = count_coefficients(p.mx, p.my, p.mz);
  if (!k) return too_large(grid);
  p.coefficient_count = *k;
  p.chunks = static_cast<std::size_t>(std::min<std::uint64_t>(p.coefficient_count, pool_size() * 4));

  // Memory held at once: the samples, the walk, the transform values, the
  // coefficients and one row buffer per chunk.
  constexpr std::uint64_t per_coefficient = sizeof(Triple) + 2 * sizeof(double) + sizeof(FourierCoefficient);
  auto samples = checked_mul(p.total, sizeof(double));
  auto coefficients = checked_mul(p.coefficient_count, per_coefficient);
  auto rows = checked_add(grid[1], grid[2]);
  auto buffers = rows ? checked_mul(*rows, p.chunks * sizeof(double)) : std::nullopt;
  std::optional<std::uint64_t> bytes;
  if (samples && coefficients && buffers) {
    auto partial = checked_add(*samples, *coefficients);
    if (partial) bytes = checked_add(*partial, *buffers);
  }
  if (!bytes || !may_allocate(*bytes)) return too_large(grid);
  return p;
}

std::vector<Triple> walk(const Plan& p) {
  std::vector<Triple> out;
  out.reserve(static_cast<std::size_t>(p.coefficient_count));
  for (std::int64_t n = 0; n <= p.mx; ++n) {
    for (std::int64_t m = n == 0 ? 0 : -p.my; m <= p.my; ++m) {
      for (std::int64_t l = (n == 0 && m == 0) ? 1 : -p.mz; l <= p.mz; ++l) {
        out.push_back({static_cast<std::int32_t>(n), static_cast<std::int32_t>(m), static_cast<std::int32_t>(l)});
      }
    }
  }
  return out;
}

// Re and Im of one coefficient: the direct sum over all samples in loop
// order. The quotients of the phase are computed once per row, which gives
// the same doubles as computing them at every sample. A sample of exactly
// zero adds a signed zero to a sum that is never -0.0, so it is skipped.
// Gives up, with meaningless sums, once `cancel` has stopped (polled on the
// calling thread, read elsewhere).
void direct_sum(const Plan& p, const std::vector<double>& f, Triple t, double* by, double* cz, double& re_out,
                double& im_out, const Cancel& cancel) {
  const auto [nx, ny, nz] = p.grid;
  const double n = t.n, m = t.m, l = t.l;
  const auto dnx = static_cast<double>(nx), dny = static_cast<double>(ny), dnz = static_cast<double>(nz);
  for (std::uint64_t j = 0; j < ny; ++j) by[j] = (m * static_cast<double>(j)) / dny;
  for (std::uint64_t k = 0; k < nz; ++k) cz[k] = (l * static_cast<double>(k)) / dnz;
  double re = 0, im = 0;
  const double* v = f.data();
  std::uint64_t since_poll = 0;
  for (std::uint64_t i = 0; i < nx; ++i) {
    since_poll += ny * nz;
    if (since_poll >= kPollEvery) {
      since_poll = 0;
      if (cancel.poll()) break;
    }
    const double ax = (n * static_cast<double>(i)) / dnx;
    for (std::uint64_t j = 0; j < ny; ++j) {
      const double axy = ax + by[j];
      for (std::uint64_t k = 0; k < nz; ++k, ++v) {
        if (*v == 0) continue;
        const double theta = (axy + cz[k]) * kMinusTwoPi;
        re += *v * std::cos(theta);
        im += *v * std::sin(theta);
      }
    }
  }
  re_out = re;
  im_out = im;
}

FourierFieldConfig transform(const Plan& p, std::vector<double> f, std::string_view property, double truncate_threshold,
                             const Cancel& cancel) {
  double sum = 0;
  for (double v : f) sum += v;
  const auto count = static_cast<double>(p.total);
  const double base = sum / count;
  for (double& v : f) v -= base;

  const std::vector<Triple> terms = walk(p);
  std::vector<double> re(terms.size()), im(terms.size());
  if (!terms.empty()) {
    const std::size_t chunks = p.chunks;
    const auto row = static_cast<std::size_t>(p.grid[1] + p.grid[2]);
    std::vector<double> buffers(chunks * row);
    cancel.start_progress(terms.size());
    parallel_for(
        chunks,
        [&](std::size_t c) {
          const std::size_t begin = terms.size() * c / chunks;
          const std::size_t end = terms.size() * (c + 1) / chunks;
          double* by = buffers.data() + c * row;
          double* cz = by + p.grid[1];
          for (std::size_t t = begin; t < end && !cancel.poll(); ++t) {
            direct_sum(p, f, terms[t], by, cz, re[t], im[t], cancel);
            cancel.advance(1);
          }
        },
        cancel);
  }

  std::vector<FourierCoefficient> all;
  all.reserve(terms.size());
  double largest = 0;
  for (std::size_t t = 0; t < terms.size(); ++t) {
    const double magnitude = std::sqrt(re[t] * re[t] + im[t] * im[t]);
    const double amplitude = (magnitude + magnitude) / count;
    all.push_back({terms[t].n, terms[t].m, terms[t].l, amplitude, std::atan2(im[t], re[t])});
    if (amplitude > largest) largest = amplitude;
  }
  const double cut = largest > 0 ? truncate_threshold * largest : 0.0;

  FourierFieldConfig out;
  out.property_name = std::string(property);
  out.base_value = base;
  out.domain_size_m = p.extent;
  for (const FourierCoefficient& c : all) {
    if (c.amplitude >= cut) out.coefficients.push_back(c);  // a NaN amplitude fails the comparison
  }
  out.boundary_condition = "periodic";
  return out;
}

}  // namespace

Result<FourierFieldConfig> bake_fourier(std::string_view entry_name, std::string_view property,
                                        const sample::Box& bounds, GridSize grid, double truncate_threshold,
                                        const Cancel& cancel) {
  auto plan = make_plan(entry_name, property, bounds, grid, truncate_threshold);
  if (!plan) return std::move(plan).error();
  try {
    // f[i][j][k] in loop order (k fastest); a failed sample is 0.0.
    const sample::Lattice lattice{plan->origin, plan->cell, plan->grid};
    auto f = sample::sample_lattice(entry_name, property, lattice, plan->scale, sample::Order::z_fastest, cancel);
    if (!f) return std::move(f).error();
    return transform(*plan, std::move(*f), property, truncate_threshold, cancel);
  } catch (const std::bad_alloc&) {
    return too_large(grid);
  }
}

}  // namespace tess::fourier_bake
