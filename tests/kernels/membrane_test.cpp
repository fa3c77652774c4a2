// The membrane term: stated values, its gradient, and the energy-only twin.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include <cmath>
#include <limits>
#include <random>

#include "simd/index.h"
#include "support/mesh.h"
#include "support/numeric.h"

namespace lamina {
namespace {

using test::point;
using test::vertex_matrix;

const std::vector<point> kUnitTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const std::vector<double> kOneFace = {0, 1, 2};

struct membrane_result {
  double energy;
  double energy_only;
  std::vector<double> gradient;  // nV-by-3
};

membrane_result evaluate(const std::vector<double>& faces, const std::vector<point>& rest,
                         const std::vector<point>& deformed, double mu) {
  const auto P = vertex_matrix(rest);
  const auto Q = vertex_matrix(deformed);
  const auto nV = static_cast<std::int32_t>(rest.size());
  const auto nF = static_cast<std::int32_t>(faces.size() / 3);
  membrane_result r;
  r.gradient.assign(3 * rest.size(), -7.0);  // must be overwritten
  r.energy =
      membrane_energy_and_gradient(faces.data(), nF, P.data(), Q.data(), nV, mu, r.gradient.data());
  r.energy_only = membrane_energy(faces.data(), nF, P.data(), Q.data(), nV, mu);
  return r;
}

std::vector<point> scaled(const std::vector<point>& p, double sx, double sy) {
  std::vector<point> q = p;
  for (point& v : q) {
    v[0] *= sx;
    v[1] *= sy;
  }
  return q;
}

TEST(IndexConversion, TruncatesTowardZeroAndMapsTheUnrepresentableToInt32Min) {
  EXPECT_EQ(index_from_double(2.9), 2);
  EXPECT_EQ(index_from_double(-0.7), 0);
  EXPECT_EQ(index_from_double(-1.0), -1);
  EXPECT_EQ(index_from_double(2147483647.9), 2147483647);
  EXPECT_EQ(index_from_double(-2147483648.9), INT32_MIN);
  EXPECT_EQ(index_from_double(2147483648.0), INT32_MIN);
  EXPECT_EQ(index_from_double(3e9), INT32_MIN);
  EXPECT_EQ(index_from_double(-3e9), INT32_MIN);
  EXPECT_EQ(index_from_double(std::numeric_limits<double>::quiet_NaN()), INT32_MIN);
  EXPECT_EQ(index_from_double(std::numeric_limits<double>::infinity()), INT32_MIN);
  EXPECT_EQ(index_from_double(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

// Energies and gradient rows (vertices 0, 1, 2) of the unit right triangle
// with mu = 1 under simple deformations.
TEST(MembraneTerm, StatedValuesOfTheUnitTriangle) {
  struct stated {
    const char* name;
    std::vector<point> deformed;
    double energy;  // NaN where no energy is stated
    std::vector<double> gradient;
  };
  const double none = std::numeric_limits<double>::quiet_NaN();
  const std::vector<stated> cases = {
      {"uniform scaling by 2",
       scaled(kUnitTriangle, 2, 2),
       2.335279229160082,
       {-2.625, 2.625, 0, -2.625, 0, 2.625, 0, 0, 0}},
      {"uniform scaling by 0.5",
       scaled(kUnitTriangle, 0.5, 0.5),
       0.5475332708399179,
       {1.21875, -1.21875, 0, 1.21875, 0, -1.21875, 0, 0, 0}},
      {"stretch along x by 2",
       scaled(kUnitTriangle, 2, 1),
       0.605139614580041,
       {-1.125, 1.125, 0, -0.75, 0, 0.75, 0, 0, 0}},
      {"collinear corners",
       {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}},
       none,
       {-1.5, 0.5, 1.0, 0, 0, 0, 0, 0, 0}},
      {"all corners at one point",
       {{0.2, 0.2, 0.2}, {0.2, 0.2, 0.2}, {0.2, 0.2, 0.2}},
       17.019388197455342,
       {0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const stated& c : cases) {
    SCOPED_TRACE(c.name);
    const membrane_result r = evaluate(kOneFace, kUnitTriangle, c.deformed, 1.0);
    if (!std::isnan(c.energy)) {
      EXPECT_SAME_BITS(r.energy, c.energy);
    }
    EXPECT_SAME_BITS_VECTOR(r.gradient, c.gradient);
  }
}

// Uniform scaling by lambda costs A_r mu (lambda^2 + lambda^4/4 - 3 log lambda - 5/4).
TEST(MembraneTerm, UniformScalingFollowsTheClosedForm) {
  for (double lambda : {0.3, 0.9, 1.0, 1.7, 4.0}) {
    for (double mu : {1.0, 2.5}) {
      const double expected =
          0.5 * mu * (lambda * lambda + std::pow(lambda, 4) / 4 - 3 * std::log(lambda) - 1.25);
      const double E =
          evaluate(kOneFace, kUnitTriangle, scaled(kUnitTriangle, lambda, lambda), mu).energy;
      EXPECT_NEAR(E, expected, 1e-14 * std::max(1.0, std::fabs(expected))) << lambda;
    }
  }
}

// r = 1e-22: the logarithm is continued by its tangent line; the y entries
// are stated to three digits.
TEST(MembraneTerm, TangentLineBranchOfAnAlmostCollapsedFace) {
  const membrane_result r =
      evaluate(kOneFace, kUnitTriangle, {{0, 0, 0}, {1, 0, 0}, {0.3, 1e-11, 0}}, 1.0);
  EXPECT_SAME_BITS(r.energy, 17.288138197455346);
  const std::vector<double>& g = r.gradient;
  EXPECT_SAME_BITS(g[0], -0.6425);
  EXPECT_SAME_BITS(g[1], 0.4925);
  EXPECT_SAME_BITS(g[2], 0.15);
  EXPECT_NEAR(g[3], 5.25e8, 5e5);
  EXPECT_NEAR(g[4], 2.25e8, 5e5);
  EXPECT_NEAR(g[5], -7.5e8, 5e5);
  for (int i = 6; i < 9; ++i) EXPECT_SAME_BITS(g[i], 0.0);
}

// |N|^2 = 1e-32 is below the normalisation floor: the area part is nearly
// zero and the trace part alone remains.
TEST(MembraneTerm, NormalBelowTheFloorIsNotNormalised) {
  const membrane_result r =
      evaluate(kOneFace, kUnitTriangle, {{0, 0, 0}, {1, 0, 0}, {0.3, 2e-16, 0}}, 1.0);
  const std::vector<double>& g = r.gradient;
  EXPECT_SAME_BITS(g[0], -0.65);
  EXPECT_SAME_BITS(g[1], 0.5);
  EXPECT_SAME_BITS(g[2], 0.15);
  EXPECT_NEAR(g[3], 4.1999e-12, 1e-16);
  EXPECT_NEAR(g[4], 1.8e-12, 1e-16);
  EXPECT_NEAR(g[5], -5.9999e-12, 1e-16);
  for (int i = 6; i < 9; ++i) EXPECT_SAME_BITS(g[i], 0.0);
}

TEST(MembraneTerm, CollapsedFaceWithRestAreaHalfAndMu1point5) {
  const membrane_result r =
      evaluate(kOneFace, kUnitTriangle, {{3, -1, 2}, {3, -1, 2}, {3, -1, 2}}, 1.5);
  EXPECT_SAME_BITS(r.energy, 25.529082296183013);
}

TEST(MembraneTerm, RigidMotionsAndMirrorImagesCostNothing) {
  const membrane_result same = evaluate(kOneFace, kUnitTriangle, kUnitTriangle, 1.0);
  EXPECT_LT(std::fabs(same.energy), 1e-15);
  for (double g : same.gradient) EXPECT_LT(std::fabs(g), 1e-15);
  const membrane_result mirror =
      evaluate(kOneFace, kUnitTriangle, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, 1.0);
  EXPECT_LT(std::fabs(mirror.energy), 1e-15);

  std::mt19937_64 rng(7);
  const test::mesh m = test::jittered_sheet(5, 4, rng, 0.2);
  const double E = membrane_energy(m.faces.data(), m.nF, m.rest.data(), m.rest.data(), m.nV, 1.0);
  EXPECT_LT(std::fabs(E), 1e-14);
}

TEST(MembraneTerm, DegenerateAndEmptyInput) {
  // A zero rest area makes the whole total NaN, whatever the other faces add.
  const std::vector<point> rest = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}};
  const std::vector<point> deformed = {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {2, 1, 0}};
  const membrane_result bad = evaluate({0, 0, 1, 1, 3, 2}, rest, deformed, 1.0);
  EXPECT_TRUE(std::isnan(bad.energy));
  EXPECT_TRUE(std::isnan(bad.energy_only));

  // nF = 0: energy 0.0 and a gradient cleared from whatever it held.
  const auto P = vertex_matrix(rest);
  std::vector<double> g(12, 5.0);
  EXPECT_SAME_BITS(membrane_energy_and_gradient(nullptr, 0, P.data(), P.data(), 4, 1.0, g.data()),
                   0.0);
  EXPECT_SAME_BITS_VECTOR(g, std::vector<double>(12, 0.0));
  EXPECT_SAME_BITS(membrane_energy(nullptr, 0, P.data(), P.data(), 4, 1.0), 0.0);

  // A vertex in no face keeps a zero row.
  const membrane_result one = evaluate({0, 1, 2}, rest, deformed, 1.0);
  for (int k = 0; k < 3; ++k) EXPECT_SAME_BITS(one.gradient[3 + 4 * k], 0.0);
}

TEST(MembraneTerm, IndicesTruncateTowardZero) {
  const std::vector<point> q = {{0.1, 0, 0}, {1.2, 0.1, 0}, {0.2, 0.9, 0.3}};
  const membrane_result exact = evaluate({0, 1, 2}, kUnitTriangle, q, 1.0);
  const membrane_result truncated = evaluate({-0.7, 1.5, 2.9}, kUnitTriangle, q, 1.0);
  EXPECT_SAME_BITS(truncated.energy, exact.energy);
  EXPECT_SAME_BITS_VECTOR(truncated.gradient, exact.gradient);
}

TEST(MembraneTerm, CornerOrderChangesOnlyRounding) {
  const std::vector<point> q = {{0.1, 0, 0}, {1.2, 0.1, 0}, {0.2, 0.9, 0.3}};
  const membrane_result a = evaluate({0, 1, 2}, kUnitTriangle, q, 1.3);
  const membrane_result b = evaluate({1, 2, 0}, kUnitTriangle, q, 1.3);
  EXPECT_NEAR(a.energy, b.energy, 1e-14);
  for (std::size_t i = 0; i < a.gradient.size(); ++i) {
    EXPECT_NEAR(a.gradient[i], b.gradient[i], 1e-14);
  }
}

TEST(MembraneTerm, GradientMatchesCentralDifferences) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 4; ++trial) {
    SCOPED_TRACE(trial);
    const test::mesh m = test::jittered_sheet(4 + trial, 3 + trial, rng, 0.25);
    const std::vector<double> Q = test::deformed_copy(m, rng, 0.05);
    const double mu = 0.5 + trial;
    std::vector<double> g(Q.size());
    membrane_energy_and_gradient(m.faces.data(), m.nF, m.rest.data(), Q.data(), m.nV, mu, g.data());
    const auto energy = [&](const std::vector<double>& X) {
      return membrane_energy(m.faces.data(), m.nF, m.rest.data(), X.data(), m.nV, mu);
    };
    EXPECT_LT(test::relative_error(test::central_differences(energy, Q, {1e-6}), g), 1e-7);
  }
}

// In the tangent-line branch the energy is quadratic in the apex height, so
// small steps that stay in the branch give the exact derivative.
TEST(MembraneTerm, GradientMatchesCentralDifferencesInTheTangentLineBranch) {
  const auto P = vertex_matrix(kUnitTriangle);
  const auto Q = vertex_matrix({{0, 0, 0}, {1, 0, 0}, {0.3, 1e-11, 0}});
  std::vector<double> g(9);
  membrane_energy_and_gradient(kOneFace.data(), 1, P.data(), Q.data(), 3, 1.0, g.data());
  const auto energy = [&](const std::vector<double>& X) {
    return membrane_energy(kOneFace.data(), 1, P.data(), X.data(), 3, 1.0);
  };
  const std::vector<double> steps = {1e-6, 1e-6, 1e-6, 1e-14, 1e-14, 1e-14, 1e-14, 1e-14, 1e-14};
  EXPECT_LT(test::relative_error(test::central_differences(energy, Q, steps), g), 1e-7);
}

// The energy-only kernel returns the gradient kernel's energy bit for bit,
// on ordinary and on degenerate input.
TEST(MembraneTerm, EnergyOnlyTwinAgreesBitForBit) {
  std::mt19937_64 rng(3);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int trial = 0; trial < 30; ++trial) {
    SCOPED_TRACE(trial);
    test::mesh m = test::jittered_sheet(3 + trial % 5, 3 + trial % 3, rng, 0.3);
    std::vector<double> Q = test::deformed_copy(m, rng, 0.2);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(Q.size()) - 1);
    // Move deformed vertex `from` onto vertex `to`.
    const auto merge = [&](int from, int to) {
      for (int k = 0; k < 3; ++k) Q[from + k * m.nV] = Q[to + k * m.nV];
    };
    const auto face_corner = [&](int f, int k) { return static_cast<int>(m.faces[f + k * m.nF]); };
    switch (trial % 7) {
      case 1:
        Q[pick(rng)] = nan;
        break;
      case 2:
        Q[pick(rng)] = inf;
        break;
      case 3:
        merge(face_corner(0, 1), face_corner(0, 0));
        break;  // collinear faces
      case 4:   // a face collapsed onto one point
        merge(face_corner(0, 1), face_corner(0, 0));
        merge(face_corner(0, 2), face_corner(0, 0));
        break;
      case 5:  // zero rest area
        for (int k = 0; k < 3; ++k)
          m.rest[face_corner(0, 1) + k * m.nV] = m.rest[face_corner(0, 0) + k * m.nV];
        break;
      case 6:
        m.rest[pick(rng)] = -inf;
        break;
      default:
        break;
    }
    std::vector<double> g(Q.size());
    const double with = membrane_energy_and_gradient(m.faces.data(), m.nF, m.rest.data(), Q.data(),
                                                     m.nV, 1.7, g.data());
    const double without =
        membrane_energy(m.faces.data(), m.nF, m.rest.data(), Q.data(), m.nV, 1.7);
    EXPECT_SAME_BITS(with, without);
  }
}

}  // namespace
}  // namespace lamina
