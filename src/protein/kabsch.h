// Kabsch superposition RMSD of two paired point sets.
#pragma once

#include <Eigen/Core>

#include "common/error.h"

namespace tess::protein {

// Rows are points; a point set is N x 3.
using Points = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Each row of `points` minus `centroid`.
Points center_rows(const Points& points, const Eigen::RowVector3d& centroid);

// The root-mean-square distance of the pairs (a_i, b_i) after moving both
// sets to their centroids and rotating b by the best proper rotation onto a.
// Panics when a set does not have 3 columns.
Result<double> kabsch_rmsd(const Points& a, const Points& b);

}  // namespace tess::protein
