#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <random>

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

}  // namespace

TEST(Backbone, EveryPlacedAtomHasTheIdealGeometryAndItsTorsion) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> deg(-180, 180);
  std::vector<AnglePair> pairs(40);
  for (auto& p : pairs) p = {deg(rng), deg(rng)};
  const auto atoms = protein::build_backbone(std::string(40, 'G'), pairs);
  ASSERT_EQ(atoms.size(), 120u);
  const double bond[3] = {1.329, 1.458, 1.525};   // to N, CA, C
  const double angle[3] = {116.2, 121.7, 111.2};  // at the atom before
  for (std::size_t k = 3; k < atoms.size(); ++k) {
    const V p3 = pos(atoms[k - 3]), p2 = pos(atoms[k - 2]), p1 = pos(atoms[k - 1]), x = pos(atoms[k]);
    const std::size_t kind = k % 3, i = k / 3;
    const double torsion = kind == 0 ? pairs[i - 1][1] : kind == 1 ? 180.0 : pairs[i][0];
    EXPECT_NEAR((x - p1).norm(), bond[kind], 1e-12) << k;
    EXPECT_NEAR(angle_deg(p2, p1, x), angle[kind], 1e-9) << k;
    EXPECT_NEAR(wrap(dihedral_deg(p3, p2, p1, x) - torsion), 0.0, 1e-8) << k;
    EXPECT_EQ(atoms[k].res_idx, i);
  }
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

TEST(Kabsch, CoreContract) {
  protein::Points c(4, 3), d(5, 3), e(0, 3), two(4, 2);
  c.setRandom();
  d.setRandom();
  EXPECT_EQ(protein::kabsch_rmsd(c, d).error().message(), "kabsch_rmsd: shape mismatch ([4, 3] vs [5, 3])");
  EXPECT_EQ(protein::kabsch_rmsd(e, e).error().message(), "kabsch_rmsd: empty input");
  EXPECT_THROW((void)protein::kabsch_rmsd(two, c), Panic);
  EXPECT_THROW((void)protein::kabsch_rmsd(c, two), Panic);
}
