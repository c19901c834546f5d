#include "fourier_bake/fourier_bake.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
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

// When every grid size is a power of two, each quotient (n * i) / Nx of the
// phase is exact, and so is their sum: the phase is (T / D) * (-2 pi) for the
// integer T = n*i*(D/Nx) + m*j*(D/Ny) + l*k*(D/Nz), D the largest size, and
// T / D is that same double. The few distinct T then have their cosine and
// sine taken once, which gives every term the bits of the direct sum.
struct PhaseTable {
  std::int64_t first = 0;                      // the smallest T
  std::array<std::int64_t, 3> step{};          // D / Nx, D / Ny, D / Nz
  std::vector<std::array<double, 2>> cos_sin;  // of T = first, first + 1, ...
};

// Sizes up to 2^20 keep every T below 2^42, far inside the doubles' exact range.
constexpr std::uint64_t kMaxTableSize = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxTableEntries = std::uint64_t{1} << 21;

std::optional<PhaseTable> phase_table(const Plan& p, const Cancel& cancel) {
  const auto [nx, ny, nz] = p.grid;
  for (std::uint64_t n : p.grid) {
    if (!std::has_single_bit(n) || n > kMaxTableSize) return std::nullopt;
  }
  const auto d = static_cast<std::int64_t>(std::max({nx, ny, nz}));
  PhaseTable t;
  t.step = {d / static_cast<std::int64_t>(nx), d / static_cast<std::int64_t>(ny), d / static_cast<std::int64_t>(nz)};
  const std::int64_t reach_y = p.my * static_cast<std::int64_t>(ny - 1) * t.step[1];
  const std::int64_t reach_z = p.mz * static_cast<std::int64_t>(nz - 1) * t.step[2];
  const std::int64_t last = p.mx * static_cast<std::int64_t>(nx - 1) * t.step[0] + reach_y + reach_z;
  t.first = -reach_y - reach_z;
  const auto entries = static_cast<std::uint64_t>(last - t.first + 1);
  // Never more evaluations than the direct sum would make.
  if (entries > kMaxTableEntries || entries / p.total > p.coefficient_count) return std::nullopt;
  t.cos_sin.resize(static_cast<std::size_t>(entries));
  constexpr std::size_t kPiece = 4096;
  parallel_for((t.cos_sin.size() + kPiece - 1) / kPiece,
               [&](std::size_t piece) {
                 const std::size_t end = std::min(t.cos_sin.size(), (piece + 1) * kPiece);
                 for (std::size_t e = piece * kPiece; e < end; ++e) {
                   const double s =
                       static_cast<double>(t.first + static_cast<std::int64_t>(e)) / static_cast<double>(d);
                   const double theta = s * kMinusTwoPi;
                   t.cos_sin[e] = {std::cos(theta), std::sin(theta)};
                 }
               },
               cancel);
  return t;
}

// Re and Im of up to kLanes coefficients at once through the table, each sum
// in the loop order of the direct sum (independent sums interleaved). A pair
// (Re, Im) is added to as one vector of two doubles: each lane is rounded as
// its own scalar product and sum would be.
constexpr std::size_t kLanes = 8;
using Pair = double __attribute__((vector_size(16)));

void table_sums(const Plan& p, const PhaseTable& table, const std::vector<double>& f, const Triple* terms,
                std::size_t count, double* re_out, double* im_out) {
  const auto [nx, ny, nz] = p.grid;
  std::int64_t along_x[kLanes] = {}, along_y[kLanes] = {}, along_z[kLanes] = {};
  for (std::size_t c = 0; c < count; ++c) {
    along_x[c] = terms[c].n * table.step[0];
    along_y[c] = terms[c].m * table.step[1];
    along_z[c] = terms[c].l * table.step[2];
  }
  Pair sum[kLanes] = {};
  const std::array<double, 2>* cs = table.cos_sin.data() - table.first;
  const double* v = f.data();
  std::int64_t at[kLanes] = {};
  for (std::uint64_t i = 0; i < nx; ++i) {
    for (std::uint64_t j = 0; j < ny; ++j) {
      for (std::size_t c = 0; c < kLanes; ++c)
        at[c] = along_x[c] * static_cast<std::int64_t>(i) + along_y[c] * static_cast<std::int64_t>(j);
      for (std::uint64_t k = 0; k < nz; ++k, ++v) {
        const double x = *v;
        if (x != 0) {
          const Pair xx = {x, x};
          for (std::size_t c = 0; c < kLanes; ++c) {
            Pair e;
            std::memcpy(&e, &cs[at[c]], sizeof e);
            sum[c] += xx * e;
          }
        }
        for (std::size_t c = 0; c < kLanes; ++c) at[c] += along_z[c];
      }
    }
  }
  for (std::size_t c = 0; c < count; ++c) {
    re_out[c] = sum[c][0];
    im_out[c] = sum[c][1];
  }
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
  const std::optional<PhaseTable> table = terms.empty() ? std::nullopt : phase_table(p, cancel);
  cancel.start_progress(terms.size());
  if (table) {
    // Blocks of coefficients small enough that a stop is seen within a
    // millisecond or so; the number of coefficients done is known between them.
    const std::size_t per_block = std::max<std::size_t>(kLanes, kLanes * (kPollEvery * 16 / p.total / kLanes));
    const std::size_t blocks = (terms.size() + per_block - 1) / per_block;
    parallel_for(
        blocks,
        [&](std::size_t b) {
          const std::size_t end = std::min(terms.size(), (b + 1) * per_block);
          for (std::size_t t = b * per_block; t < end && !cancel.stopped(); t += kLanes) {
            const std::size_t lanes = std::min(kLanes, end - t);
            table_sums(p, *table, f, terms.data() + t, lanes, re.data() + t, im.data() + t);
            cancel.advance(lanes);
          }
        },
        cancel);
  } else if (!terms.empty()) {
    const std::size_t chunks = p.chunks;
    const auto row = static_cast<std::size_t>(p.grid[1] + p.grid[2]);
    std::vector<double> buffers(chunks * row);
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
