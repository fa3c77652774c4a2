// lamina_hinge_mask: the rows the bending term evaluates, and no others.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include <cmath>
#include <limits>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

using test::point;

const std::vector<point> kFlatHinge = {{0, 0, 0}, {1, 0, 0}, {0.5, 1, 0}, {0.5, -1, 0}};

std::vector<point> with_vertex(std::vector<point> p, int i, point q) {
  p[i] = q;
  return p;
}

// The mask through the plug-in, for the given rows, rest and deformed positions.
std::vector<double> mask(const std::vector<std::vector<double>>& rows,
                         const std::vector<point>& rest, const std::vector<point>& deformed) {
  test::problem p;
  p.m.nV = static_cast<std::int32_t>(rest.size());
  p.m.rest = test::vertex_matrix(rest);
  p.deformed = test::vertex_matrix(deformed);
  p.m.nE = static_cast<std::int32_t>(rows.size());
  p.m.edges = test::column_major(rows, 4);
  const auto out = test::plugin("lamina_hinge_mask").call(1, test::pointers(test::host_inputs(p)));
  EXPECT_EQ(mxGetN(out.outputs[0].get()), 1u);
  return host::values(out.outputs[0].get());
}

TEST(HingeMask, StatedCases) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct stated {
    const char* name;
    std::vector<double> row;
    std::vector<point> rest, deformed;
    double flag;
  };
  const std::vector<stated> cases = {
      {"hinge", {0, 1, 2, 3}, kFlatHinge, kFlatHinge, 1},
      {"the hinge from the other side", {1, 0, 3, 2}, kFlatHinge, kFlatHinge, 1},
      {"boundary row", {0, 1, 2, -1}, kFlatHinge, kFlatHinge, 0},
      {"c equal to d", {0, 1, 2, 2}, kFlatHinge, kFlatHinge, 1},
      {"|N1| exactly 1e-10",
       {0, 1, 2, 3},
       kFlatHinge,
       with_vertex(kFlatHinge, 2, {0.5, 1e-10, 0}),
       1},
      {"|N1| just below 1e-10",
       {0, 1, 2, 3},
       kFlatHinge,
       with_vertex(kFlatHinge, 2, {0.5, 9.999999e-11, 0}),
       0},
      {"|N2| exactly 1e-10",
       {0, 1, 2, 3},
       kFlatHinge,
       with_vertex(kFlatHinge, 3, {0.5, -1e-10, 0}),
       1},
      {"collinear first wing", {0, 1, 2, 3}, kFlatHinge, with_vertex(kFlatHinge, 2, {2, 0, 0}), 0},
      {"collinear rest wing plays no part",
       {0, 1, 2, 3},
       with_vertex(kFlatHinge, 2, {2, 0, 0}),
       kFlatHinge,
       1},
      {"c of -0.5 is vertex 0, equal to a", {0, 1, -0.5, 3}, kFlatHinge, kFlatHinge, 0},
      {"c of -0.5 is vertex 0", {1, 2, -0.5, 3}, kFlatHinge, kFlatHinge, 1},
      {"NaN coordinate passes",
       {0, 1, 2, 3},
       kFlatHinge,
       with_vertex(kFlatHinge, 0, {nan, 0, 0}),
       1},
  };
  for (const stated& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_SAME_BITS_VECTOR(mask({c.row}, c.rest, c.deformed), std::vector<double>{c.flag});
  }
}

TEST(HingeMask, EmptyEdgeTableGivesAZeroByOneMask) {
  test::problem p = test::worked_example();
  p.m.nE = 0;
  p.m.edges.clear();
  const auto out = test::plugin("lamina_hinge_mask").call(1, test::pointers(test::host_inputs(p)));
  EXPECT_EQ(mxGetM(out.outputs[0].get()), 0u);
  EXPECT_EQ(mxGetN(out.outputs[0].get()), 1u);
}

// A row is evaluated by the bending term exactly when its energy with
// eta = NaN is NaN: skipped rows contribute nothing at all.
std::vector<double> rows_the_bending_term_evaluates(const test::problem& p) {
  std::vector<double> flags(p.m.nE);
  std::vector<double> row(4);
  for (std::int32_t j = 0; j < p.m.nE; ++j) {
    for (int k = 0; k < 4; ++k) row[k] = p.m.edges[j + k * p.m.nE];
    const double E = bending_energy(row.data(), 1, p.m.rest.data(), p.deformed.data(), p.m.nV,
                                    std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(E) || E == 0.0);
    flags[j] = std::isnan(E) ? 1.0 : 0.0;
  }
  return flags;
}

TEST(HingeMask, FlagsExactlyTheRowsTheBendingTermEvaluates) {
  for (unsigned seed = 0; seed < 40; ++seed) {
    SCOPED_TRACE(seed);
    const test::problem p =
        seed % 2 ? test::degenerate_problem(seed) : test::random_problem(6, 5, seed);
    const auto out =
        test::plugin("lamina_hinge_mask").call(1, test::pointers(test::host_inputs(p)));
    EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[0].get()), rows_the_bending_term_evaluates(p));
  }
}

TEST(HingeMask, CoefficientsAndFacesDoNotChangeTheMask) {
  const test::problem p = test::degenerate_problem(7);
  const auto in = test::host_inputs(p);
  const auto expected =
      host::values(test::plugin("lamina_hinge_mask").call(1, test::pointers(in)).outputs[0].get());
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<host::array> odd = test::host_inputs(p);
  odd[1] = host::make_scalar(nan);
  odd[2] = host::make_double(1, 2, {-1e300, 4});
  odd[3] = host::make_double(2, 3, {nan, -5, 1e9, 7.5, 3, -1});  // not even valid faces
  const auto out = test::plugin("lamina_hinge_mask").call_traced(2, test::pointers(odd));
  EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[0].get()), expected);
  EXPECT_EQ(out.outputs[1], nullptr);
}

}  // namespace
}  // namespace lamina
