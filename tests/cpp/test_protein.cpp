#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <Eigen/SVD>
#include <atomic>
#include <bit>
#include <cmath>
#include <random>
#include <span>
#include <thread>

#include "common/error.h"
#include "common/thread_pool.h"
#include "data_loader/store.h"
#include "protein/protein.h"

using namespace tess;
using protein::AnglePair;
using protein::BackboneAtom;

namespace {

using V = Eigen::Vector3d;

V pos(const BackboneAtom& a) { return {a.x, a.y, a.z}; }

double angle_deg(const V& a, const V& b, const V& c) {
  return std::acos((a - b).normalized().dot((c - b).normalized())) * 180 / M_PI;
}

// IUPAC dihedral a-b-c-d in degrees.
double dihedral_deg(const V& a, const V& b, const V& c, const V& d) {
  const V b1 = b - a, b2 = c - b, b3 = d - c;
  const V n1 = b1.cross(b2), n2 = b2.cross(b3);
  return std::atan2(b2.norm() * b1.dot(n2), n1.dot(n2)) * 180 / M_PI;
}

double wrap(double deg) { return std::remainder(deg, 360.0); }

// The placement written plainly, one scalar operation after another in the
// order of the formula: the module's numbers must be these, bit for bit.
V plain_place(const V& p3, const V& p2, const V& p1, double bond, double angle_deg, double torsion_deg) {
  const double rad = 0.017453292519943295;
  const auto unit = [](V v) {
    const double len = std::sqrt(v.x() * v.x() + v.y() * v.y() + v.z() * v.z());
    return V(v.x() / len, v.y() / len, v.z() / len);
  };
  const auto cross = [](const V& a, const V& b) {
    return V(a.y() * b.z() - a.z() * b.y(), a.z() * b.x() - a.x() * b.z(), a.x() * b.y() - a.y() * b.x());
  };
  const V bc = unit(p1 - p2), n = unit(cross(p2 - p3, bc)), m = cross(n, bc);
  const double a = -(bond * std::cos(angle_deg * rad)), across = bond * std::sin(angle_deg * rad);
  const double b = across * std::cos(torsion_deg * rad), c = across * std::sin(torsion_deg * rad);
  V out;
  for (int i = 0; i < 3; ++i) out[i] = p1[i] + a * bc[i] + b * m[i] + c * n[i];
  return out;
}

constexpr double kBond[3] = {1.329, 1.458, 1.525};   // to N, CA, C
constexpr double kAngle[3] = {116.2, 121.7, 111.2};  // at the atom before

// The torsion that places atom k (k >= 3) of a chain made from `pairs`.
double torsion_of(std::size_t k, const std::vector<AnglePair>& pairs) {
  const std::size_t kind = k % 3, i = k / 3;
  return kind == 0 ? pairs[i - 1][1] : kind == 1 ? 180.0 : pairs[i][0];
}

// Every atom after the first residue is the plain placement from the three
// before it, bit for bit.
void expect_plain_placement(const std::vector<BackboneAtom>& atoms, const std::vector<AnglePair>& pairs) {
  for (std::size_t k = 3; k < atoms.size(); ++k) {
    const V want = plain_place(pos(atoms[k - 3]), pos(atoms[k - 2]), pos(atoms[k - 1]), kBond[k % 3], kAngle[k % 3],
                               torsion_of(k, pairs));
    const V x = pos(atoms[k]);
    for (int a = 0; a < 3; ++a)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(x[a]), std::bit_cast<std::uint64_t>(want[a])) << k;
  }
}

}  // namespace

TEST(Backbone, EveryPlacedAtomHasTheIdealGeometryAndItsTorsion) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> deg(-180, 180);
  std::vector<AnglePair> pairs(40);
  for (auto& p : pairs) p = {deg(rng), deg(rng)};
  const auto atoms = protein::build_backbone(std::string(40, 'G'), pairs);
  ASSERT_EQ(atoms.size(), 120u);
  for (std::size_t k = 3; k < atoms.size(); ++k) {
    const V p3 = pos(atoms[k - 3]), p2 = pos(atoms[k - 2]), p1 = pos(atoms[k - 1]), x = pos(atoms[k]);
    EXPECT_NEAR((x - p1).norm(), kBond[k % 3], 1e-12) << k;
    EXPECT_NEAR(angle_deg(p2, p1, x), kAngle[k % 3], 1e-9) << k;
    EXPECT_NEAR(wrap(dihedral_deg(p3, p2, p1, x) - torsion_of(k, pairs)), 0.0, 1e-8) << k;
    EXPECT_EQ(atoms[k].res_idx, k / 3);
  }
  expect_plain_placement(atoms, pairs);
}

// A chain long enough to have its torsion terms made ahead on the pool and
// its atoms handed over while they are placed: every entry point gives the
// plain placement. The hand-over comes in calls whose counts only grow and
// end with all the atoms; with every thread of the pool busy elsewhere the
// caller places them itself; an exception of the taker comes back.
TEST(Backbone, LongChainsByEveryEntryPoint) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> deg(-180, 180);
  std::vector<AnglePair> pairs(10000);
  std::vector<double> flat;
  for (auto& p : pairs) {
    p = {deg(rng), deg(rng)};
    flat.insert(flat.end(), p.begin(), p.end());
  }
  std::string sequence;
  for (int i = 0; i < 5000; ++i) sequence += "A\u00e9";  // one and two bytes
  const auto atoms = protein::build_backbone(sequence, pairs);
  ASSERT_EQ(atoms.size(), 30000u);
  expect_plain_placement(atoms, pairs);

  const auto placed = protein::place_backbone(sequence, flat);
  EXPECT_EQ(placed.residues, sequence);
  ASSERT_EQ(placed.xyz.size(), 3 * atoms.size());
  for (std::size_t k = 0; k < atoms.size(); ++k)
    for (int a = 0; a < 3; ++a)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(placed.xyz[3 * k + a]), std::bit_cast<std::uint64_t>(pos(atoms[k])[a]))
          << k;

  const auto hand_over = [&](std::size_t& calls) {
    std::vector<BackboneAtom> got;
    calls = 0;
    protein::build_backbone_in_turn(sequence, pairs, [&](std::span<const BackboneAtom> atoms_so_far, std::size_t n) {
      ASSERT_EQ(atoms_so_far.size(), atoms.size());
      ASSERT_GT(n, got.size());
      got.insert(got.end(), atoms_so_far.begin() + static_cast<std::ptrdiff_t>(got.size()),
                 atoms_so_far.begin() + static_cast<std::ptrdiff_t>(n));
      ++calls;
    });
    ASSERT_EQ(got.size(), atoms.size());
    for (std::size_t k = 0; k < atoms.size(); ++k) {
      ASSERT_EQ(pos(got[k]), pos(atoms[k])) << k;
      ASSERT_EQ(got[k].res_idx, atoms[k].res_idx);
      ASSERT_EQ(got[k].residue(), atoms[k].residue());
      ASSERT_STREQ(got[k].name, atoms[k].name);
    }
  };
  std::size_t calls = 0;
  hand_over(calls);
  EXPECT_GE(calls, 1u);

  std::atomic<std::size_t> busy{0};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    parallel_for(pool_size() + 1, [&](std::size_t) {
      ++busy;
      while (!release) std::this_thread::yield();
    });
  });
  while (busy < pool_size() + 1) std::this_thread::yield();
  hand_over(calls);
  EXPECT_EQ(calls, 1u);  // placed by the caller, then taken at once
  release = true;
  holder.join();

  EXPECT_THROW(protein::build_backbone_in_turn(
                   sequence, pairs, [](std::span<const BackboneAtom>, std::size_t) { throw Panic("taker"); }),
               Panic);
  std::size_t empty_calls = 0;
  protein::build_backbone_in_turn("A", {}, [&](std::span<const BackboneAtom> none, std::size_t n) {
    EXPECT_TRUE(none.empty() && n == 0);
    ++empty_calls;
  });
  EXPECT_EQ(empty_calls, 1u);
}

TEST(Backbone, FromEntry) {
  auto& store = data_loader::DATA();
  (void)store.insert_entry("protein", "BbMixed",
                           Json::parse(R"({"residues": [{"residue": "GLY", "phi": -60, "psi": 2.5},
                                                          7, {"residue": "", "phi": "1"}]})"));
  (void)store.insert_entry("protein", "BbString", Json{{"residues", "AAA"}, {"Residues", Json::array({{}})}});
  (void)store.insert_entry("protein", "BbUpper", Json{{"Residues", Json::array({Json::object()})}});
  (void)store.insert_entry("protein", "BbEmpty", Json{{"residues", Json::array()}});
  (void)store.insert_entry("protein", "BbArray", Json::array());

  auto mixed = protein::build_backbone_from_entry("BbMixed");
  ASSERT_TRUE(mixed.ok());
  ASSERT_EQ(mixed->size(), 9u);
  EXPECT_EQ((*mixed)[0].residue(), "G");
  EXPECT_EQ((*mixed)[3].residue(), "X");
  EXPECT_EQ((*mixed)[6].residue(), "X");
  const auto direct = protein::build_backbone("GXX", {{-60, 2.5}, {0, 0}, {0, 0}});
  for (std::size_t k = 0; k < 9; ++k) EXPECT_EQ(pos((*mixed)[k]), pos(direct[k]));

  EXPECT_EQ(protein::build_backbone_from_entry("BbUpper")->size(), 3u);
  EXPECT_TRUE(protein::build_backbone_from_entry("BbEmpty")->empty());
  EXPECT_EQ(protein::build_backbone_from_entry("BbString").error().message(),
            "build_backbone_from_entry: entry 'BbString' has no 'residues' array");
  EXPECT_EQ(protein::build_backbone_from_entry("BbArray").error().message(),
            "build_backbone_from_entry: entry 'BbArray' has no 'residues' array");
}

TEST(Kabsch, ViewsOfOtherWidthsAreInternalFailures) {
  // (The reported failures, shapes that differ and empty sets, are in the module's catalogue of calls.)
  protein::Points c(4, 3), two(4, 2);
  c.setRandom();
  using protein::view_of;
  EXPECT_THROW((void)protein::kabsch_rmsd(view_of(two), view_of(c)), Panic);
  EXPECT_THROW((void)protein::kabsch_rmsd(view_of(c), view_of(two)), Panic);
}

TEST(Kabsch, SameBitsAsTheStoredSequentialSums) {
  // The sums written out with Eigen, centred copies stored and R b evaluated
  // by Eigen's own 3x3 product, as the results were first made: every set
  // size (odd ones, and sets large enough to be shared with the pool) gives
  // the same double.
  auto centroid = [](const protein::Points& p) {
    Eigen::RowVector3d sum = Eigen::RowVector3d::Zero();
    for (Eigen::Index i = 0; i < p.rows(); ++i)
      for (int c = 0; c < 3; ++c) sum[c] += p(i, c);
    return Eigen::RowVector3d(sum / static_cast<double>(p.rows()));
  };
  auto plain = [&](const protein::Points& a, const protein::Points& b) {
    const protein::Points ac = protein::center_rows(a, centroid(a));
    const protein::Points bc = protein::center_rows(b, centroid(b));
    Eigen::Matrix3d h = Eigen::Matrix3d::Zero();
    for (Eigen::Index i = 0; i < a.rows(); ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) h(j, k) += ac(i, j) * bc(i, k);
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
    const Eigen::Matrix3d& u = svd.matrixU();
    const Eigen::Matrix3d& v = svd.matrixV();
    const double d = (u * v.transpose()).determinant() < 0 ? -1.0 : 1.0;
    const Eigen::Matrix3d r = u * Eigen::Vector3d(1.0, 1.0, d).asDiagonal() * v.transpose();
    double sum = 0;
    for (Eigen::Index i = 0; i < a.rows(); ++i) {
      const Eigen::Vector3d rb = r * Eigen::Vector3d(bc(i, 0), bc(i, 1), bc(i, 2));
      const double dx = ac(i, 0) - rb[0], dy = ac(i, 1) - rb[1], dz = ac(i, 2) - rb[2];
      sum += dx * dx + dy * dy + dz * dz;
    }
    return std::sqrt(sum / static_cast<double>(a.rows()));
  };
  std::mt19937_64 rng(17);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (Eigen::Index n : {1, 2, 3, 7, 40001}) {
    protein::Points a(n, 3), b(n, 3);
    for (Eigen::Index i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) {
        a(i, k) = 30.0 * noise(rng);
        b(i, k) = 0.8 * a(i, k) + noise(rng) + 5.0;
      }
    const double got = *protein::kabsch_rmsd(protein::view_of(a), protein::view_of(b));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(plain(a, b))) << n;
  }
}
