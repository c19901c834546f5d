#include <gtest/gtest.h>

#include <limits>

#include "common/numfmt.h"

using namespace tess::numfmt;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

TEST(NumFmt, FixedRoundsLikePrintf) {
  // Whole numbers, NaN and -inf are pinned by the VTK scalars.
  EXPECT_EQ(fixed(0.0000004, 6), "0.000000");
  EXPECT_EQ(fixed(-0.0000004, 6), "-0.000000");
  EXPECT_EQ(fixed(0.125, 2), "0.12");  // the exact binary tie goes to even
  EXPECT_EQ(fixed(1e300, 6).size(), 301u + 7u);
  // Any count of decimals, however many digits that makes.
  EXPECT_EQ(fixed(-1e300, 120).size(), 1u + 301u + 121u);
  EXPECT_EQ(fixed(0.5, 300), "0.5" + std::string(299, '0'));
  EXPECT_EQ(fixed(kInf, 6), "inf");
}

TEST(NumFmt, ShortestPositionalNeverUsesAnExponent) {
  // -0, -2 and 0.0000001 are pinned by the VTK header.
  EXPECT_EQ(shortest_positional(0.0), "0");
  EXPECT_EQ(shortest_positional(0.001), "0.001");
  EXPECT_EQ(shortest_positional(1e20), "100000000000000000000");
  EXPECT_EQ(shortest_positional(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(shortest_positional(kNaN), "NaN");
}

TEST(NumFmt, JsonFloatSwitchesToExponentOutsideItsRange) {
  // 0.0, -0.0, 1e-7, 1.5e20 and null are pinned by the sidecar document.
  EXPECT_EQ(json_float(10.0), "10.0");
  // The edges: 10^-5 is plain, below it not; below 10^16 plain, 10^16 not.
  EXPECT_EQ(json_float(1e-5), "0.00001");
  EXPECT_EQ(json_float(1.5e-6), "1.5e-6");
  EXPECT_EQ(json_float(9999999999999998.0), "9999999999999998.0");
  EXPECT_EQ(json_float(1e16), "1e16");
  EXPECT_EQ(json_float(-1.25e-300), "-1.25e-300");
  EXPECT_EQ(json_float(5e-324), "5e-324");
  EXPECT_EQ(json_float(123456.789), "123456.789");
  EXPECT_EQ(json_float(kNaN) + json_float(-kInf), "nullnull");
}
