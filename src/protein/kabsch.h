// Kabsch superposition RMSD of two paired point sets.
#pragma once

#include <Eigen/Core>
#include <vector>

#include "common/error.h"

namespace tess::protein {

// Rows are points; a point set is N x 3.
using Points = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
// A point set held by the caller (rows contiguous), read in place.
using PointsView = Eigen::Map<const Points>;

inline PointsView view_of(const Points& p) { return {p.data(), p.rows(), p.cols()}; }

// Each row of `points` minus `centroid`.
Points center_rows(const Points& points, const Eigen::RowVector3d& centroid);

// The root-mean-square distance of the pairs (a_i, b_i) after moving both
// sets to their centroids and rotating b by the best proper rotation onto a.
// Panics when a set does not have 3 columns; fails when the shapes differ or
// the sets are empty. Reads the points in place, three passes over them.
Result<double> kabsch_rmsd(const PointsView& a, const PointsView& b);

// Point sets as py_kabsch_rmsd takes them, lists of rows of numbers: the
// first three numbers of each row, flat, and whether some row had fewer.
struct PointRows {
  std::vector<double> xyz;  // three per row of at least three numbers
  std::size_t rows = 0;     // every row
  bool short_row = false;   // a row of fewer than three numbers (not in xyz)
};

// kabsch_rmsd of two lists of rows, as py_kabsch_rmsd takes them: two empty
// lists give 0.0; lists of different lengths fail with "a and b must have
// same length" (one empty list included: nothing is not a match for
// something); a row of fewer than 3 numbers, in a and then in b, fails with
// "each row must have 3 elements", and a longer row gives its first three.
Result<double> kabsch_rmsd_rows(const PointRows& a, const PointRows& b);

}  // namespace tess::protein
