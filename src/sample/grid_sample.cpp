#include "sample/grid_sample.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "common/memory.h"
#include "common/thread_pool.h"
#include "sample/field_model.h"
#include "sample/sample.h"

namespace tess::sample {
namespace {

// Points of one row sampled by one task, so that even a single long row is
// spread and the token is polled between pieces.
constexpr std::uint64_t kPiece = 4096;

double coordinate(const Lattice& lattice, int axis, std::uint64_t index) {
  const auto a = static_cast<std::size_t>(axis);
  return lattice.origin[a] + (static_cast<double>(index) + 0.5) * lattice.cell[a];
}

std::vector<double> sample_entry_lattice(const Json& entry, std::string_view property, const Lattice& lattice,
                                         double scale_m, Order order, const Cancel& cancel) {
  const auto [nx, ny, nz] = lattice.count;
  const auto nxy = checked_mul(nx, ny);
  const auto total = nxy ? checked_mul(*nxy, nz) : std::nullopt;
  if (!total) throw std::bad_alloc();
  std::vector<double> values;
  assign_checked(values, static_cast<std::size_t>(*total), 0.0, cancel);
  if (values.empty()) return values;

  const FieldSampler field = prepare_field(entry, property, scale_m, Points::many, cancel);
  // A row runs along the fastest axis; the other two coordinates are fixed.
  const int fast = order == Order::x_fastest ? 0 : 2;
  const int mid = 1;
  const int slow = order == Order::x_fastest ? 2 : 0;
  const std::uint64_t n_fast = lattice.count[static_cast<std::size_t>(fast)];
  const std::uint64_t n_mid = lattice.count[static_cast<std::size_t>(mid)];
  const std::uint64_t pieces = (n_fast + kPiece - 1) / kPiece;
  parallel_for(
      static_cast<std::size_t>(*total / n_fast * pieces),
      [&](std::size_t item) {
        const std::uint64_t row = item / pieces;
        const std::uint64_t first = item % pieces * kPiece;
        const std::uint64_t end = std::min(n_fast, first + kPiece);
        Point p{};
        p[static_cast<std::size_t>(mid)] = coordinate(lattice, mid, row % n_mid);
        p[static_cast<std::size_t>(slow)] = coordinate(lattice, slow, row / n_mid);
        double* out = values.data() + row * n_fast;
        for (std::uint64_t i = first; i < end; ++i) {
          p[static_cast<std::size_t>(fast)] = coordinate(lattice, fast, i);
          try {
            if (auto v = field.value_at(p)) out[i] = *v;
          } catch (...) {  // an allocation failure counts as a failed sample
          }
        }
      },
      cancel);
  return values;
}

}  // namespace

Result<std::vector<double>> sample_lattice(std::string_view name, std::string_view property, const Lattice& lattice,
                                           double scale_m, Order order, const Cancel& cancel) {
  auto entry = lookup_entry(name);
  if (!entry) return std::move(entry).error();
  return sample_entry_lattice(*entry, property, lattice, scale_m, order, cancel);
}

std::vector<double> voxel_sample(std::string_view name, std::string_view property, const Box& box, double voxel_size,
                                 const std::array<std::uint64_t, 3>& counts, double scale_m, const Cancel& cancel) {
  if (name.empty()) panic("voxel_sample: name must be non-empty");
  if (property.empty()) panic("voxel_sample: property must be non-empty");
  if (!(voxel_size > 0.0)) panic("voxel_sample: voxel_size must be positive");
  const auto xy = checked_mul(counts[0], counts[1]);
  const auto n = xy ? checked_mul(*xy, counts[2]) : std::nullopt;
  if (!n || *n == 0 || !may_allocate(*n, sizeof(double))) panic("voxel_sample: counts out of range");
  const Lattice lattice{box.min, {voxel_size, voxel_size, voxel_size}, counts};
  auto values = sample_lattice(name, property, lattice, scale_m, Order::x_fastest, cancel);
  if (!values) return std::vector<double>(static_cast<std::size_t>(*n), 0.0);  // like any failed sample
  return std::move(*values);
}

std::vector<double> voxel_sample(std::string_view name, std::string_view property, const Box& box, double voxel_size,
                                 const VoxelGrid& grid, double scale_m, const Cancel& cancel) {
  return voxel_sample(name, property, box, voxel_size, {grid.nx, grid.ny, grid.nz}, scale_m, cancel);
}

VoxelSampler::VoxelSampler(std::string_view name, std::string_view property, const Box& box, double voxel_size,
                           const std::array<std::uint64_t, 3>& counts, double scale_m, const Cancel& cancel)
    : lattice_{box.min, {voxel_size, voxel_size, voxel_size}, counts} {
  if (name.empty()) panic("voxel_sample: name must be non-empty");
  if (property.empty()) panic("voxel_sample: property must be non-empty");
  if (!(voxel_size > 0.0)) panic("voxel_sample: voxel_size must be positive");
  auto entry = lookup_entry(name);
  if (!entry) return;
  entry_ = std::make_unique<const Json>(std::move(*entry));
  field_.emplace(prepare_field(*entry_, property, scale_m, Points::many, cancel));
}

void VoxelSampler::slabs(std::uint64_t iz0, std::uint64_t iz1, double* out) const {
  const auto [nx, ny, nz] = lattice_.count;
  if (!field_) {
    std::fill_n(out, static_cast<std::size_t>((iz1 - iz0) * ny * nx), 0.0);
    return;
  }
  Point p{};
  for (std::uint64_t iz = iz0; iz < iz1; ++iz) {
    p[2] = coordinate(lattice_, 2, iz);
    for (std::uint64_t iy = 0; iy < ny; ++iy) {
      p[1] = coordinate(lattice_, 1, iy);
      for (std::uint64_t ix = 0; ix < nx; ++ix, ++out) {
        p[0] = coordinate(lattice_, 0, ix);
        *out = 0.0;
        try {
          if (auto v = field_->value_at(p)) *out = *v;
        } catch (...) {  // an allocation failure counts as a failed sample
        }
      }
    }
  }
}

}  // namespace tess::sample
