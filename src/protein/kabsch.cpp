#include "protein/kabsch.h"

#include <Eigen/LU>
#include <Eigen/SVD>
#include <cmath>
#include <string>

namespace tess::protein {
namespace {

std::string shape(const Points& p) {
  std::string s(1, '[');
  s += std::to_string(p.rows());
  s += ", ";
  s += std::to_string(p.cols());
  s += ']';
  return s;
}

Eigen::RowVector3d centroid(const Points& p) {
  Eigen::RowVector3d sum = Eigen::RowVector3d::Zero();
  for (Eigen::Index i = 0; i < p.rows(); ++i) {
    for (int c = 0; c < 3; ++c) sum[c] += p(i, c);
  }
  return sum / static_cast<double>(p.rows());
}

// Rows as an N x 3 point set: the first three numbers of each row; false
// when a row has fewer.
bool to_points(const std::vector<std::vector<double>>& rows, Points& out) {
  out.resize(static_cast<Eigen::Index>(rows.size()), 3);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].size() < 3) return false;
    for (int k = 0; k < 3; ++k) out(static_cast<Eigen::Index>(i), k) = rows[i][static_cast<std::size_t>(k)];
  }
  return true;
}

}  // namespace

Points center_rows(const Points& points, const Eigen::RowVector3d& c) {
  Points out(points.rows(), 3);
  for (Eigen::Index i = 0; i < points.rows(); ++i) {
    for (int k = 0; k < 3; ++k) out(i, k) = points(i, k) - c[k];
  }
  return out;
}

Result<double> kabsch_rmsd(const Points& a, const Points& b) {
  if (a.cols() != 3) panic("kabsch_rmsd: a must be (N, 3)");
  if (b.cols() != 3) panic("kabsch_rmsd: b must be (N, 3)");
  if (a.rows() != b.rows()) return Error("kabsch_rmsd: shape mismatch (" + shape(a) + " vs " + shape(b) + ")");
  if (a.rows() == 0) return Error("kabsch_rmsd: empty input");
  const Eigen::Index count = a.rows();

  const Points ac = center_rows(a, centroid(a));
  const Points bc = center_rows(b, centroid(b));

  Eigen::Matrix3d h = Eigen::Matrix3d::Zero();
  for (Eigen::Index i = 0; i < count; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) h(j, k) += ac(i, j) * bc(i, k);
    }
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
  for (Eigen::Index i = 0; i < count; ++i) {
    const Eigen::Vector3d pb(bc(i, 0), bc(i, 1), bc(i, 2));
    const Eigen::Vector3d rb = r * pb;
    const double dx = ac(i, 0) - rb[0];
    const double dy = ac(i, 1) - rb[1];
    const double dz = ac(i, 2) - rb[2];
    sum += dx * dx + dy * dy + dz * dz;
  }
  return std::sqrt(sum / static_cast<double>(count));
}

Result<double> kabsch_rmsd_rows(const std::vector<std::vector<double>>& a, const std::vector<std::vector<double>>& b) {
  if (a.empty() && b.empty()) return 0.0;
  if (a.size() != b.size()) return Error("a and b must have same length");
  Points pa, pb;
  if (!to_points(a, pa) || !to_points(b, pb)) return Error("each row must have 3 elements");
  return kabsch_rmsd(pa, pb);
}

}  // namespace tess::protein
