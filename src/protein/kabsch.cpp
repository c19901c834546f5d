#include "protein/kabsch.h"

#include <Eigen/LU>
#include <Eigen/SVD>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "common/thread_pool.h"

namespace tess::protein {
namespace {

std::string shape(const PointsView& p) {
  std::string s(1, '[');
  s += std::to_string(p.rows());
  s += ", ";
  s += std::to_string(p.cols());
  s += ']';
  return s;
}

Eigen::RowVector3d centroid(const PointsView& p) {
  Eigen::RowVector3d sum = Eigen::RowVector3d::Zero();
  for (Eigen::Index i = 0; i < p.rows(); ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += p(i, c);
  }
  return sum / static_cast<double>(p.rows());
}

}  // namespace

Points center_rows(const Points& points, const Eigen::RowVector3d& c) {
  Points out(points.rows(), 3);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    for (int k = 0; k < 3; ++k) out(i, k) = points(i, k) - c[k];
  }
  return out;
}

namespace {

// Two doubles as one vector: each lane is rounded as its own scalar
// operation would be.
using Pair = double __attribute__((vector_size(16)));

Pair pair(double x) { return Pair{x, x}; }
Pair load(const double* p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Sets of at least this many points share the passes with the pool.
constexpr Eigen::Index kParallelFrom = Eigen::Index{1} << 15;

// Rows [begin, end) of the covariance sum H[j][k] += a'_j * b'_k, each of the
// nine sums in row order: rows j = 0, 1 (`first` true) or row j = 2.
void covariance_rows(const double* a, const double* b, Eigen::Index begin, Eigen::Index end,
                     const Eigen::RowVector3d& ca, const Eigen::RowVector3d& cb, bool first, Eigen::Matrix3d& h) {
  const Pair ca01 = {ca[0], ca[1]}, cb01 = {cb[0], cb[1]};
  if (first) {
    Pair h0 = {h(0, 0), h(0, 1)}, h1 = {h(1, 0), h(1, 1)}, h2 = {h(0, 2), h(1, 2)};
    for (Eigen::Index i = begin; i < end; ++i) {
      const Pair pa = load(a + 3 * i) - ca01;
      const Pair pb = load(b + 3 * i) - cb01;
      const double pb2 = b[3 * i + 2] - cb[2];
      h0 += pair(pa[0]) * pb;
      h1 += pair(pa[1]) * pb;
      h2 += pa * pair(pb2);
    }
    h(0, 0) = h0[0], h(0, 1) = h0[1], h(1, 0) = h1[0], h(1, 1) = h1[1], h(0, 2) = h2[0], h(1, 2) = h2[1];
    return;
  }
  Pair h0 = {h(2, 0), h(2, 1)};
  double h22 = h(2, 2);
  for (Eigen::Index i = begin; i < end; ++i) {
    const double pa2 = a[3 * i + 2] - ca[2];
    const Pair pb = load(b + 3 * i) - cb01;
    h0 += pair(pa2) * pb;
    h22 += pa2 * (b[3 * i + 2] - cb[2]);
  }
  h(2, 0) = h0[0], h(2, 1) = h0[1], h(2, 2) = h22;
}

// |a'_i - R b'_i|^2 of rows [begin, end), two rows at a time, handed to
// take(value) in row order. R b is summed as the sets' results always have
// been: rows 0 and 1 as (x + y) + z, row 2 as x + (y + z).
template <class Take>
void residuals(const double* a, const double* b, Eigen::Index begin, Eigen::Index end, const Eigen::RowVector3d& ca,
               const Eigen::RowVector3d& cb, const Eigen::Matrix3d& r, Take&& take) {
  Pair m[3][3];
  for (int j = 0; j < 3; ++j)
    for (int k = 0; k < 3; ++k) m[j][k] = pair(r(j, k));
  const Pair cax = pair(ca[0]), cay = pair(ca[1]), caz = pair(ca[2]);
  const Pair cbx = pair(cb[0]), cby = pair(cb[1]), cbz = pair(cb[2]);
  auto two = [&](const double* p, const double* q) {
    const Pair px = Pair{q[0], q[3]} - cbx, py = Pair{q[1], q[4]} - cby, pz = Pair{q[2], q[5]} - cbz;
    const Pair rx = (m[0][0] * px + m[0][1] * py) + m[0][2] * pz;
    const Pair ry = (m[1][0] * px + m[1][1] * py) + m[1][2] * pz;
    const Pair rz = m[2][0] * px + (m[2][1] * py + m[2][2] * pz);
    const Pair dx = (Pair{p[0], p[3]} - cax) - rx;
    const Pair dy = (Pair{p[1], p[4]} - cay) - ry;
    const Pair dz = (Pair{p[2], p[5]} - caz) - rz;
    return dx * dx + dy * dy + dz * dz;
  };
  Eigen::Index i = begin;
  for (; i + 1 < end; i += 2) {
    const Pair e = two(a + 3 * i, b + 3 * i);
    take(e[0]);
    take(e[1]);
  }
  if (i < end) {  // the last row alone, beside a copy of itself
    const double p[6] = {a[3 * i], a[3 * i + 1], a[3 * i + 2], a[3 * i], a[3 * i + 1], a[3 * i + 2]};
    const double q[6] = {b[3 * i], b[3 * i + 1], b[3 * i + 2], b[3 * i], b[3 * i + 1], b[3 * i + 2]};
    take(two(p, q)[0]);
  }
}

}  // namespace

Result<double> kabsch_rmsd(const PointsView& a, const PointsView& b) {
  if (a.cols() != 3) panic("kabsch_rmsd: a must be (N, 3)");
  if (b.cols() != 3) panic("kabsch_rmsd: b must be (N, 3)");
  if (a.rows() != b.rows()) return Error("kabsch_rmsd: shape mismatch (" + shape(a) + " vs " + shape(b) + ")");
  if (a.rows() == 0) return Error("kabsch_rmsd: empty input");
  const Eigen::Index count = a.rows();
  const bool parallel = count >= kParallelFrom && pool_size() > 1;

  // The centred points (center_rows) are recomputed where they are used
  // instead of being stored: the same doubles, without copies of the sets.
  // Every sum runs in row order; large sets spread whole sums over threads.
  Eigen::RowVector3d ca, cb;
  if (parallel) {
    parallel_for(2, [&](std::size_t s) { (s == 0 ? ca : cb) = centroid(s == 0 ? a : b); });
  } else {
    ca = centroid(a);
    cb = centroid(b);
  }

  Eigen::Matrix3d h = Eigen::Matrix3d::Zero();
  if (parallel) {
    parallel_for(2, [&](std::size_t s) { covariance_rows(a.data(), b.data(), 0, count, ca, cb, s == 0, h); });
  } else {
    covariance_rows(a.data(), b.data(), 0, count, ca, cb, true, h);
    covariance_rows(a.data(), b.data(), 0, count, ca, cb, false, h);
  }

  // A covariance with a NaN or an infinity has no decomposition.
  if (!h.allFinite()) return Error("kabsch_rmsd: SVD did not produce U");
  const Eigen::JacobiSVD<Eigen::Matrix3d> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
  if (svd.info() != Eigen::Success || !svd.computeU()) return Error("kabsch_rmsd: SVD did not produce U");
  const Eigen::Matrix3d& u = svd.matrixU();
  const Eigen::Matrix3d& v = svd.matrixV();
  const double d = (u * v.transpose()).determinant() < 0 ? -1.0 : 1.0;
  const Eigen::Matrix3d r = u * Eigen::Vector3d(1.0, 1.0, d).asDiagonal() * v.transpose();

  double sum = 0;
  auto add = [&](double e) { sum += e; };
  if (parallel) {
    // The second half's terms are worked out beside the first half's sum,
    // then added in their turn.
    const Eigen::Index half = count / 2;
    std::vector<double> later(static_cast<std::size_t>(count - half));
    parallel_for(2, [&](std::size_t s) {
      if (s == 0) return residuals(a.data(), b.data(), 0, half, ca, cb, r, add);
      double* out = later.data();
      residuals(a.data(), b.data(), half, count, ca, cb, r, [&](double e) { *out++ = e; });
    });
    for (double e : later) sum += e;
  } else {
    residuals(a.data(), b.data(), 0, count, ca, cb, r, add);
  }
  return std::sqrt(sum / static_cast<double>(count));
}

Result<double> kabsch_rmsd_rows(const PointRows& a, const PointRows& b) {
  if (a.rows == 0 && b.rows == 0) return 0.0;
  if (a.rows != b.rows) return Error("a and b must have same length");
  if (a.short_row || b.short_row) return Error("each row must have 3 elements");
  const auto n = static_cast<Eigen::Index>(a.rows);
  return kabsch_rmsd(PointsView(a.xyz.data(), n, 3), PointsView(b.xyz.data(), n, 3));
}

}  // namespace tess::protein
