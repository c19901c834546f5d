#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "field_helpers.h"
#include "fourier_bake/fourier_bake.h"

using namespace tess;
using fourier_bake::FourierCoefficient;
using fourier_bake::GridSize;

namespace {

const sample::Box kUnit{{0, 0, 0}, {1, 1, 1}};

// A field with structure along every axis, some exact zeros and repeated values.
Result<double> lumpy(const sample::Point& p, double /*scale*/) {
  const double v = std::sin(7.0 * p[0]) * std::cos(3.0 * p[1] + 0.25) + p[2] * p[2] - 0.5 * p[0];
  if (std::fabs(v) < 0.05) return 0.0;
  return std::floor(v * 16.0) / 16.0 + 3.0;
}

// The bake written out loop for loop, on the calling thread.
std::vector<FourierCoefficient> reference(GridSize g, const sample::Box& b, double& base_out) {
  std::vector<double> f;
  double d[3];
  for (int a = 0; a < 3; ++a) d[a] = std::fmax(b.max[a] - b.min[a], 2.220446049250313e-16) / double(g[a]);
  const double s = std::fmin(std::fmin(d[0], d[1]), d[2]);
  for (std::uint64_t i = 0; i < g[0]; ++i)
    for (std::uint64_t j = 0; j < g[1]; ++j)
      for (std::uint64_t k = 0; k < g[2]; ++k)
        f.push_back(*lumpy({b.min[0] + d[0] * (double(i) + 0.5), b.min[1] + d[1] * (double(j) + 0.5),
                            b.min[2] + d[2] * (double(k) + 0.5)},
                           s));
  double sum = 0;
  for (double v : f) sum += v;
  const auto n_total = static_cast<double>(g[0] * g[1] * g[2]);
  base_out = sum / n_total;
  for (double& v : f) v -= base_out;
  std::vector<FourierCoefficient> out;
  const int mx = int(g[0] / 2), my = int(g[1] / 2), mz = int(g[2] / 2);
  for (int n = 0; n <= mx; ++n)
    for (int m = n == 0 ? 0 : -my; m <= my; ++m)
      for (int l = (n == 0 && m == 0) ? 1 : -mz; l <= mz; ++l) {
        double re = 0, im = 0;
        std::size_t idx = 0;
        for (std::uint64_t i = 0; i < g[0]; ++i)
          for (std::uint64_t j = 0; j < g[1]; ++j)
            for (std::uint64_t k = 0; k < g[2]; ++k) {
              const double theta = ((double(n) * double(i)) / double(g[0]) + (double(m) * double(j)) / double(g[1]) +
                                    (double(l) * double(k)) / double(g[2])) *
                                   (-6.283185307179586);
              re += f[idx] * std::cos(theta);
              im += f[idx] * std::sin(theta);
              ++idx;
            }
        out.push_back(
            {n, m, l, (std::sqrt(re * re + im * im) + std::sqrt(re * re + im * im)) / n_total, std::atan2(im, re)});
      }
  return out;
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

std::vector<std::array<int, 3>> indices(const fourier_bake::FourierFieldConfig& c) {
  std::vector<std::array<int, 3>> out;
  for (const auto& k : c.coefficients) out.push_back({k.n, k.m, k.l});
  return out;
}

// The bake of a stored test field (property "p").
Result<fourier_bake::FourierFieldConfig> bake(const std::string& name, const TestField& f, const sample::Box& box,
                                              GridSize g, double threshold) {
  store_test_field(name, f);
  return fourier_bake::bake_fourier(name, "p", box, g, threshold);
}

}  // namespace

TEST(FourierBake, CoefficientsAreBitIdenticalToTheDirectSum) {
  const sample::Box box{{-0.3, 0.1, 0.2}, {0.9, 1.4, 1.0}};
  for (GridSize g : {GridSize{5, 4, 6}, GridSize{4, 4, 4}, GridSize{8, 2, 4}, GridSize{3, 1, 2}, GridSize{1, 7, 1},
                     GridSize{6, 5, 3}}) {
    double base = 0;
    const auto want = reference(g, box, base);
    auto got = bake("fb_lumpy", lumpy, box, g, 0.0);
    ASSERT_TRUE(got.ok());
    EXPECT_TRUE(same_bits(got->base_value, base));
    ASSERT_EQ(got->coefficients.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      const auto& a = got->coefficients[i];
      EXPECT_EQ((std::array{a.n, a.m, a.l}), (std::array{want[i].n, want[i].m, want[i].l}));
      EXPECT_TRUE(same_bits(a.amplitude, want[i].amplitude)) << i;
      EXPECT_TRUE(same_bits(a.phase, want[i].phase)) << i;
    }
    // Truncation keeps, in order, those at least the threshold times the largest.
    double largest = 0;
    for (const auto& c : want) largest = std::max(largest, c.amplitude);
    auto cut = fourier_bake::bake_fourier("fb_lumpy", "p", box, g, 0.3);
    std::vector<std::array<int, 3>> kept;
    for (const auto& c : want) {
      if (c.amplitude >= 0.3 * largest) kept.push_back({c.n, c.m, c.l});
    }
    EXPECT_EQ(indices(*cut), kept);
    auto top = fourier_bake::bake_fourier("fb_lumpy", "p", box, g, 1.0);
    for (const auto& c : top->coefficients) EXPECT_EQ(c.amplitude, largest);
  }
}

TEST(FourierBake, WorkedExampleAndPhaseConvention) {
  auto two = bake(
      "fb_two", [](const sample::Point& p, double) -> Result<double> { return p[0] < 0.5 ? 10.0 : 4.0; }, kUnit,
      {2, 1, 1}, 0.01);
  EXPECT_EQ(two->base_value, 7.0);
  ASSERT_EQ(two->coefficients.size(), 1u);
  EXPECT_EQ(two->coefficients[0].n, 1);
  EXPECT_DOUBLE_EQ(two->coefficients[0].amplitude, 6.0);
  EXPECT_NEAR(two->coefficients[0].phase, 0.0, 1e-15);

  // f(x) = cos(2 pi x / L + 0.7) sampled at cell centres: the (1, 0, 0) term
  // has amplitude 1 and phase 0.7 + pi / 8 (the half-cell offset).
  auto wave = bake(
      "fb_wave", [](const sample::Point& p, double) -> Result<double> { return std::cos(2 * M_PI * p[0] / 2.0 + 0.7); },
      {{0, 0, 0}, {2, 1, 1}}, {8, 1, 1}, 0.5);
  ASSERT_EQ(wave->coefficients.size(), 1u);
  EXPECT_NEAR(wave->coefficients[0].amplitude, 1.0, 1e-12);
  EXPECT_NEAR(wave->coefficients[0].phase, 0.7 + M_PI / 8, 1e-12);
}

TEST(FourierBake, SamplingScaleAndFailedSamples) {
  // Cells of 0.5 x 0.5 x 1: the scale is the smallest edge. Samples fail
  // (count as 0.0) above z = 2 and at any other scale.
  auto r = bake(
      "fb_failing",
      [](const sample::Point& p, double s) -> Result<double> {
        if (p[2] > 2.0 || s != 0.5) return Error("no");
        return 4.0;
      },
      {{0, 0, 0}, {1, 0.5, 3}}, {2, 1, 3}, 0.01);
  EXPECT_DOUBLE_EQ(r->base_value, 16.0 / 6.0);
}
