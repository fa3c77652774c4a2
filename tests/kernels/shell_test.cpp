// The prepared shell against the stateless kernels: the same bits on every
// kind of input, and the plug-ins' errors at construction.
#include <gtest/gtest.h>
#include <lamina/edge_table.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/numeric.h"
#include "support/problem.h"

namespace lamina {
namespace {

// Row-major (x, y, z per vertex) copy of a column-major vertex matrix.
std::vector<double> row_major(const std::vector<double>& m) {
  const std::size_t n = m.size() / 3;
  std::vector<double> r(m.size());
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) r[3 * i + k] = m[i + k * n];
  }
  return r;
}

// Random, degenerate (NaN and infinite coordinates, collapsed and collinear
// faces, tangent-line faces, zero rest areas, odd c and d, hinges just above
// and below the threshold) and shuffled problems, and a row with c equal to d.
std::vector<test::problem> problems() {
  std::vector<test::problem> ps;
  for (int n : {2, 3, 5, 9}) ps.push_back(test::random_problem(n, n + 2, n));
  for (unsigned seed = 0; seed < 40; ++seed) ps.push_back(test::degenerate_problem(seed));
  for (unsigned seed = 0; seed < 4; ++seed) {
    test::problem p = test::random_problem(6, 7, 100 + seed);
    test::shuffle_vertices(p, seed);
    ps.push_back(p);
    test::problem q = test::degenerate_problem(8 * seed + 7);
    test::shuffle_vertices(q, seed);
    ps.push_back(q);
  }
  test::problem cd = test::random_problem(4, 4, 9);
  cd.m.edges[0 + 3 * cd.m.nE] = cd.m.edges[0 + 2 * cd.m.nE];  // row 0: d = c
  ps.push_back(cd);
  return ps;
}

TEST(PreparedShell, EnergyAndGradientHaveTheStatelessBits) {
  const std::vector<test::problem> ps = problems();
  std::size_t refused = 0;
  for (std::size_t i = 0; i < ps.size(); ++i) {
    SCOPED_TRACE("problem " + std::to_string(i));
    const test::problem& p = ps[i];
    const test::mesh& m = p.m;
    if (!test::edges_belong(m)) {
      // Odd c and d that name a vertex (c = d, -0.5 truncating to 0): the
      // stateless calls take the table, a shell refuses it.
      ++refused;
      EXPECT_THROW(
          shell(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta, m.edges.data(), m.nE),
          invalid_input);
      continue;
    }
    shell s(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta, m.edges.data(), m.nE);
    std::vector<double> g_ref(3 * m.nV);
    const double E_ref =
        shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                  m.faces.data(), m.nF, m.edges.data(), m.nE, g_ref.data());
    const double E_only = shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                       m.faces.data(), m.nF, m.edges.data(), m.nE);
    // Twice each, so that a workspace left over from a call cannot matter.
    for (int round = 0; round < 2; ++round) {
      std::vector<double> g(3 * m.nV, 9.0);
      EXPECT_SAME_BITS(s.energy_and_gradient(p.deformed.data(), g.data()), E_ref);
      EXPECT_SAME_BITS_VECTOR(g, g_ref);
      EXPECT_SAME_BITS(s.energy(p.deformed.data()), E_only);
      // Row-major positions in, row-major gradient out.
      const std::vector<double> q = row_major(p.deformed);
      std::vector<double> gr(3 * m.nV, 9.0);
      EXPECT_SAME_BITS(s.energy_and_gradient(q.data(), gr.data(), vertex_order::row_major), E_ref);
      EXPECT_SAME_BITS_VECTOR(gr, row_major(g_ref));
      EXPECT_SAME_BITS(s.energy(q.data(), vertex_order::row_major), E_only);
    }
  }
  // The odd tables are a few of the degenerate problems, not most.
  EXPECT_GT(refused, 0u);
  EXPECT_LT(refused, ps.size() / 4);
}

TEST(PreparedShell, BuildsTheEdgeTableWhenNoneIsGiven) {
  const test::problem p = test::random_problem(5, 6, 3);
  const test::mesh& m = p.m;
  shell s(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta);
  EXPECT_EQ(s.edge_count(), m.nE);
  EXPECT_SAME_BITS_VECTOR(s.edges(), m.edges);
  EXPECT_SAME_BITS(s.energy(p.deformed.data()),
                   shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(),
                                m.nF, m.edges.data(), m.nE));
}

// Construction rejects what the plug-ins reject, with their identifiers and
// 0-based positions.
TEST(PreparedShell, RejectsBadInputAtConstruction) {
  const test::problem p = test::worked_example();
  const test::mesh& m = p.m;
  const auto expect_error = [](const char* what, auto&& make, const char* identifier,
                               const std::string& words) {
    SCOPED_TRACE(what);
    try {
      make();
      ADD_FAILURE() << "accepted";
    } catch (const invalid_input& e) {
      EXPECT_EQ(e.identifier(), identifier);
      EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
    }
  };
  std::vector<double> faces = m.faces;
  faces[1] = 4;  // face 1, corner 0: the row count
  expect_error(
      "face index nV",
      [&] { shell(faces.data(), m.nF, m.rest.data(), m.nV, 1, 1, m.edges.data(), m.nE); },
      "lamina:badIndex", "row 1, column 0 of source_faces is 4");
  std::vector<double> edges = m.edges;
  edges[0 + m.nE] = std::numeric_limits<double>::quiet_NaN();  // hinge row 0, b
  expect_error(
      "NaN in a hinge row",
      [&] {
        shell(m.faces.data(), m.nF, m.rest.data(), m.nV, 1, 1, edges.data(), m.nE,
              shell_options{hessian_layout::interleaved, message_style::python});
      },
      "lamina:badIndex", "edges[0, 1] is NaN");
  expect_error(
      "more vertices than 32-bit gradients allow",
      [&] { shell(m.faces.data(), m.nF, nullptr, 800000000, 1, 1, m.edges.data(), m.nE); },
      "lamina:tooLarge", "source_vertices has 800000000 rows");
  // A bad mesh when the edge table is built.
  const std::vector<double> crowded = {0, 1, 0, 1, 0, 1, 2, 3, 4};  // three faces on edge (0, 1)
  EXPECT_THROW(shell(crowded.data(), 3, std::vector<double>(15, 0.0).data(), 5, 1, 1),
               edge_table_error);
}

}  // namespace
}  // namespace lamina
