// The bending term: stated values, its gradient, and the energy-only twin.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include <cmath>
#include <limits>
#include <random>

#include "support/mesh.h"
#include "support/numeric.h"

namespace lamina {
namespace {

using test::point;
using test::vertex_matrix;

// A flat rest hinge with w_h = 1 and cos_r = 1: the edge from vertex 0 to
// vertex 1, wings through vertices 2 and 3.
const std::vector<point> kFlatHinge = {{0, 0, 0}, {1, 0, 0}, {0.5, 1, 0}, {0.5, -1, 0}};
const std::vector<double> kRow = {0, 1, 2, 3};

std::vector<point> with_vertex(std::vector<point> p, int i, point q) {
  p[i] = q;
  return p;
}

struct bending_result {
  double energy;
  double energy_only;
  std::vector<double> gradient;  // nV-by-3, from zeros
};

bending_result evaluate(const std::vector<std::vector<double>>& rows,
                        const std::vector<point>& rest, const std::vector<point>& deformed,
                        double eta, double initial_gradient = 0.0) {
  const auto E = test::column_major(rows, 4);
  const auto P = vertex_matrix(rest);
  const auto Q = vertex_matrix(deformed);
  const auto nV = static_cast<std::int32_t>(rest.size());
  const auto nE = static_cast<std::int32_t>(rows.size());
  bending_result r;
  r.gradient.assign(3 * rest.size(), initial_gradient);
  r.energy =
      bending_energy_and_gradient(E.data(), nE, P.data(), Q.data(), nV, eta, r.gradient.data());
  r.energy_only = bending_energy(E.data(), nE, P.data(), Q.data(), nV, eta);
  return r;
}

// Gradient rows of vertices 0..3 as an nV-by-3 matrix.
std::vector<double> rows_of(const std::vector<point>& r) { return vertex_matrix(r); }

TEST(BendingTerm, StatedEnergies) {
  struct stated {
    const char* name;
    std::vector<double> row;
    std::vector<point> rest, deformed;
    double eta, energy;
  };
  const auto folded = with_vertex(kFlatHinge, 3, {0.5, -0.3, 0.6});
  const std::vector<stated> cases = {
      {"at rest", kRow, kFlatHinge, kFlatHinge, 1, 0.0},
      {"vertex 3 lifted", kRow, kFlatHinge, folded, 1, 0.3055728090000842},
      {"vertex 3 lifted, eta 2.5", kRow, kFlatHinge, folded, 2.5, 0.7639320225002105},
      {"folded up", kRow, kFlatHinge, with_vertex(kFlatHinge, 3, {0.5, -1, 2}), 1,
       0.3055728090000842},
      {"folded down", kRow, kFlatHinge, with_vertex(kFlatHinge, 3, {0.5, -1, -2}), 1,
       0.3055728090000842},
      {"right angle", kRow, kFlatHinge, with_vertex(kFlatHinge, 3, {0.5, 0, -1}), 1, 1.0},
      {"folded completely", kRow, kFlatHinge, with_vertex(kFlatHinge, 3, {0.5, 1, 0}), 1, 4.0},
      {"same hinge seen from the other side",
       {1, 0, 3, 2},
       kFlatHinge,
       folded,
       1,
       0.3055728090000842},
      {"right angle at rest, flat deformed", kRow, with_vertex(kFlatHinge, 3, {0.5, 0, -1}),
       kFlatHinge, 1, 1.0},
      {"first wing normal exactly 1e-10", kRow, kFlatHinge, with_vertex(folded, 2, {0.5, 1e-10, 0}),
       1, 0.3055728090000842},
      {"first wing normal just below 1e-10", kRow, kFlatHinge,
       with_vertex(folded, 2, {0.5, 9.999999e-11, 0}), 1, 0.0},
      {"c missing", {0, 1, -1, 3}, kFlatHinge, folded, 1, 0.0},
      {"d missing", {0, 1, 2, -1}, kFlatHinge, folded, 1, 0.0},
      {"both missing", {0, 1, -1, -1}, kFlatHinge, folded, 1, 0.0},
      {"c of -0.5 is vertex 0", {1, 2, -0.5, 3}, kFlatHinge, folded, 1, 0.1156157449892389},
      {"c of 0", {1, 2, 0, 3}, kFlatHinge, folded, 1, 0.1156157449892389},
      {"collinear first wing at rest and deformed", kRow, with_vertex(kFlatHinge, 2, {2, 0, 0}),
       with_vertex(folded, 2, {2, 0, 0}), 1, 0.0},
  };
  for (const stated& c : cases) {
    SCOPED_TRACE(c.name);
    const bending_result r = evaluate({c.row}, c.rest, c.deformed, c.eta);
    EXPECT_SAME_BITS(r.energy, c.energy);
    EXPECT_SAME_BITS(r.energy_only, c.energy);
  }
}

TEST(BendingTerm, StatedGradients) {
  struct stated {
    const char* name;
    std::vector<double> row;
    std::vector<point> rest, deformed, gradient;  // gradient rows of vertices 0..3
  };
  const auto folded = with_vertex(kFlatHinge, 3, {0.5, -0.3, 0.6});
  const std::vector<point> lifted = {{0, -0.6592362546665547, -0.8240453183331933},
                                     {0, -0.6592362546665547, -0.8240453183331933},
                                     {0, 0, 0.9888543819998319},
                                     {0, 1.3184725093331093, 0.6592362546665546}};
  const std::vector<point> zero(4, point{0, 0, 0});
  const std::vector<stated> cases = {
      {"vertex 3 lifted", kRow, kFlatHinge, folded, lifted},
      {"the same hinge from the other side", {1, 0, 3, 2}, kFlatHinge, folded, lifted},
      {"folded up",
       kRow,
       kFlatHinge,
       with_vertex(kFlatHinge, 3, {0.5, -1, 2}),
       {{0, -0.19777087639996638, -0.5933126291998991},
        {0, -0.19777087639996638, -0.5933126291998991},
        {0, 0, 0.9888543819998319},
        {0, 0.39554175279993276, 0.19777087639996638}}},
      {"folded down",
       kRow,
       kFlatHinge,
       with_vertex(kFlatHinge, 3, {0.5, -1, -2}),
       {{0, -0.19777087639996638, 0.5933126291998991},
        {0, -0.19777087639996638, 0.5933126291998991},
        {0, 0, -0.9888543819998319},
        {0, 0.39554175279993276, -0.19777087639996638}}},
      {"right angle",
       kRow,
       kFlatHinge,
       with_vertex(kFlatHinge, 3, {0.5, 0, -1}),
       {{0, -1, 1}, {0, -1, 1}, {0, 0, -2}, {0, 2, 0}}},
      {"at rest", kRow, kFlatHinge, kFlatHinge, zero},
      {"folded completely", kRow, kFlatHinge, with_vertex(kFlatHinge, 3, {0.5, 1, 0}), zero},
      {"right angle at rest, flat deformed", kRow, with_vertex(kFlatHinge, 3, {0.5, 0, -1}),
       kFlatHinge, zero},
      {"first wing normal exactly 1e-10",
       kRow,
       kFlatHinge,
       with_vertex(folded, 2, {0.5, 1e-10, 0}),
       {{0, -0.6592362546665547, -4944271910.328778},
        {0, -0.6592362546665547, -4944271910.328778},
        {0, 0, 9888543819.99832},
        {0, 1.3184725093331093, 0.6592362546665546}}},
      {"first wing normal just below 1e-10", kRow, kFlatHinge,
       with_vertex(folded, 2, {0.5, 9.999999e-11, 0}), zero},
  };
  for (const stated& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_SAME_BITS_VECTOR(evaluate({c.row}, c.rest, c.deformed, 1).gradient, rows_of(c.gradient));
  }
}

TEST(BendingTerm, GradientScalesWithEta) {
  const auto folded = with_vertex(kFlatHinge, 3, {0.5, -0.3, 0.6});
  const bending_result one = evaluate({kRow}, kFlatHinge, folded, 1.0);
  const bending_result r = evaluate({kRow}, kFlatHinge, folded, 2.5);
  EXPECT_SAME_BITS(r.gradient[4], -1.6480906366663866);  // y of vertex 0
  EXPECT_SAME_BITS(r.gradient[8], -2.0601132958329833);  // z of vertex 0
  for (std::size_t i = 0; i < r.gradient.size(); ++i) {
    EXPECT_WITHIN_ULPS(r.gradient[i], 2.5 * one.gradient[i], 4);
  }
}

TEST(BendingTerm, SkippedRowsLeaveTheGradientAlone) {
  const auto folded = with_vertex(kFlatHinge, 3, {0.5, -0.3, 0.6});
  const bending_result r = evaluate({{0, 1, -1, 3}, {0, 1, 2, -1}}, kFlatHinge, folded, 1.0, 5.0);
  EXPECT_SAME_BITS(r.energy, 0.0);
  EXPECT_SAME_BITS_VECTOR(r.gradient, std::vector<double>(12, 5.0));

  // nE = 0: nothing read, nothing written.
  std::vector<double> g(12, 5.0);
  const auto P = vertex_matrix(kFlatHinge);
  EXPECT_SAME_BITS(bending_energy_and_gradient(nullptr, 0, P.data(), P.data(), 4, 1.0, g.data()),
                   0.0);
  EXPECT_SAME_BITS(bending_energy(nullptr, 0, P.data(), P.data(), 4, 1.0), 0.0);
  EXPECT_SAME_BITS_VECTOR(g, std::vector<double>(12, 5.0));
}

TEST(BendingTerm, NonFiniteInputPropagates) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto folded = with_vertex(kFlatHinge, 3, {0.5, -0.3, 0.6});
  // A collinear rest wing: cos_r = 0/0.
  const bending_result r = evaluate({kRow}, with_vertex(kFlatHinge, 2, {2, 0, 0}), folded, 1);
  EXPECT_TRUE(std::isnan(r.energy));
  EXPECT_TRUE(std::isnan(r.energy_only));
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(std::isnan(r.gradient[i])) << i;

  // A NaN deformed coordinate is not below the threshold: it reaches the total.
  const bending_result q = evaluate({kRow}, kFlatHinge, with_vertex(folded, 0, {nan, 0, 0}), 1);
  EXPECT_TRUE(std::isnan(q.energy));
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(std::isnan(q.gradient[i])) << i;
}

TEST(BendingTerm, HingeContributionsSumToZero) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<point> q = kFlatHinge;
    for (point& p : q) p = {p[0] + 0.3 * u(rng), p[1] + 0.3 * u(rng), p[2] + 0.5 * u(rng)};
    const bending_result r = evaluate({kRow}, kFlatHinge, q, 1.3);
    for (int k = 0; k < 3; ++k) {
      const double* g = &r.gradient[4 * k];
      const double scale = std::fabs(g[0]) + std::fabs(g[1]) + std::fabs(g[2]) + std::fabs(g[3]);
      EXPECT_LE(std::fabs(((g[0] + g[1]) + g[2]) + g[3]), 1e-14 * scale + 1e-300);
    }
  }
}

TEST(BendingTerm, GradientMatchesCentralDifferences) {
  std::mt19937_64 rng(13);
  for (int trial = 0; trial < 4; ++trial) {
    SCOPED_TRACE(trial);
    const test::mesh m = test::jittered_sheet(4 + trial, 4, rng, 0.25);
    const std::vector<double> Q = test::deformed_copy(m, rng, 0.08);
    const double eta = 0.7 + trial;
    std::vector<double> g(Q.size(), 0.0);
    bending_energy_and_gradient(m.edges.data(), m.nE, m.rest.data(), Q.data(), m.nV, eta, g.data());
    const auto energy = [&](const std::vector<double>& X) {
      return bending_energy(m.edges.data(), m.nE, m.rest.data(), X.data(), m.nV, eta);
    };
    EXPECT_LT(test::relative_error(test::central_differences(energy, Q, {1e-6}), g), 1e-7);
  }
}

// Hinges whose deformed normal is a few times the 1e-10 floor: the gradient
// grows like 1/|N| and must still be the exact derivative. A thin wing among
// unit-sized coordinates makes the energy itself ill-conditioned (|N1| is a
// small difference of products of order 1), so its coordinates and the step
// are dyadic: every perturbed coordinate and most products stay exact. A
// hinge that is small as a whole has no such cancellation.
TEST(BendingTerm, GradientMatchesCentralDifferencesJustAboveTheThreshold) {
  const auto P = vertex_matrix(kFlatHinge);
  const auto check = [&](const std::vector<point>& deformed, double step) {
    const auto Q = vertex_matrix(deformed);
    std::vector<double> g(12, 0.0);
    bending_energy_and_gradient(kRow.data(), 1, P.data(), Q.data(), 4, 1.0, g.data());
    const auto energy = [&](const std::vector<double>& X) {
      return bending_energy(kRow.data(), 1, P.data(), X.data(), 4, 1.0);
    };
    EXPECT_LT(test::relative_error(test::central_differences(energy, Q, {step}), g), 1e-7);
  };
  SCOPED_TRACE("thin first wing, |N1| = 2.6e-10");
  check({{0, 0, 0}, {1, 0, 0}, {0.5, 0x1p-32, 0x1p-33}, {0.5, -0.3, 0.6}}, 0x1p-46);
  SCOPED_TRACE("small hinge, |N1| = 3e-10");
  check({{0, 0, 0}, {1e-5, 0, 0}, {0.5e-5, 3e-5, 0}, {0.5e-5, -0.3e-5, 0.6e-5}}, 1e-12);
}

TEST(BendingTerm, EnergyOnlyTwinAgreesBitForBit) {
  std::mt19937_64 rng(17);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double odd_indices[] = {-1.0, -0.5, nan, 3e9};
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    test::mesh m = test::jittered_sheet(3 + trial % 4, 3 + trial % 3, rng, 0.3);
    std::vector<double> Q = test::deformed_copy(m, rng, 0.3);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(Q.size()) - 1);
    std::uniform_int_distribution<int> row(0, m.nE - 1);
    switch (trial % 5) {
      case 1:
        Q[pick(rng)] = nan;
        break;
      case 2:
        Q[pick(rng)] = (trial % 2 ? inf : -inf);
        break;
      case 3:  // a deformed vertex on top of another: thin wings
        for (int k = 0; k < 3; ++k) Q[1 + k * m.nV] = Q[k * m.nV];
        break;
      case 4:
        m.rest[pick(rng)] = nan;
        break;
      default:
        break;
    }
    // c or d of -1, -0.5 (vertex 0), NaN and 3e9 on random rows.
    for (int n = 0; n < 3; ++n) {
      m.edges[row(rng) + (2 + n % 2) * m.nE] = odd_indices[(trial + n) % 4];
    }
    std::vector<double> g(Q.size(), 0.0);
    const double with = bending_energy_and_gradient(m.edges.data(), m.nE, m.rest.data(), Q.data(),
                                                    m.nV, 2.1, g.data());
    const double without = bending_energy(m.edges.data(), m.nE, m.rest.data(), Q.data(), m.nV, 2.1);
    EXPECT_SAME_BITS(with, without);
  }
}

}  // namespace
}  // namespace lamina
