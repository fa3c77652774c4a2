// The edge table builder: closed and open meshes, row order, errors, and the
// energy of a rigidly moved mesh.
#include <gtest/gtest.h>
#include <lamina/edge_table.h>
#include <lamina/lamina.h>

#include <cmath>
#include <set>

#include "support/mesh.h"

namespace lamina {
namespace {

using test::point;

using test::closed_mesh;
using test::cube;
using test::icosahedron;

struct row {
  int a, b, c, d;
};

std::vector<row> rows_of(const edge_table& t) {
  std::vector<row> r;
  for (std::int32_t j = 0; j < t.nE; ++j) {
    r.push_back({int(t.edges[j]), int(t.edges[j + t.nE]), int(t.edges[j + 2 * t.nE]),
                 int(t.edges[j + 3 * t.nE])});
  }
  return r;
}

// Every row's wings are faces of the mesh in which the edge runs as stated.
void expect_rows_describe_faces(const std::vector<std::vector<double>>& faces,
                                const std::vector<row>& rows) {
  std::set<std::vector<int>> directed;  // (from, to, opposite) of every face corner
  for (const auto& f : faces) {
    for (int k = 0; k < 3; ++k)
      directed.insert({int(f[k]), int(f[(k + 1) % 3]), int(f[(k + 2) % 3])});
  }
  std::set<std::pair<int, int>> seen;
  for (const row& r : rows) {
    EXPECT_TRUE(seen.insert({std::min(r.a, r.b), std::max(r.a, r.b)}).second) << "edge twice";
    EXPECT_TRUE(directed.count({r.a, r.b, r.c})) << r.a << " " << r.b << " " << r.c;
    if (r.d >= 0) {
      EXPECT_TRUE(directed.count({r.b, r.a, r.d})) << r.a << " " << r.b << " " << r.d;
    }
  }
}

TEST(EdgeTable, ClosedMeshesHaveEveryEdgeOnceWithBothWings) {
  for (const closed_mesh& m : {cube(), icosahedron()}) {
    const auto F = test::column_major(m.faces, 3);
    const edge_table t = build_edge_table(F.data(), static_cast<std::int32_t>(m.faces.size()));
    // Euler: E = 3F/2 on a closed triangle mesh.
    EXPECT_EQ(t.nE, static_cast<std::int32_t>(3 * m.faces.size() / 2));
    const auto rows = rows_of(t);
    for (const row& r : rows) EXPECT_GE(r.d, 0);
    expect_rows_describe_faces(m.faces, rows);
  }
}

TEST(EdgeTable, OpenMeshRowsInFirstMetOrder) {
  // The worked example's patch: faces (0, 1, 2) and (1, 3, 2).
  const std::vector<double> F = test::column_major({{0, 1, 2}, {1, 3, 2}}, 3);
  const auto rows = rows_of(build_edge_table(F.data(), 2));
  ASSERT_EQ(rows.size(), 5u);
  const std::vector<std::vector<int>> expected = {
      {0, 1, 2, -1}, {1, 2, 0, 3}, {2, 0, 1, -1}, {1, 3, 2, -1}, {3, 2, 1, -1}};
  for (std::size_t j = 0; j < rows.size(); ++j) {
    EXPECT_EQ((std::vector<int>{rows[j].a, rows[j].b, rows[j].c, rows[j].d}), expected[j]) << j;
  }

  std::mt19937_64 rng(1);
  const test::mesh sheet = test::jittered_sheet(7, 5, rng, 0.1);
  std::vector<std::vector<double>> faces;
  for (std::int32_t f = 0; f < sheet.nF; ++f) {
    faces.push_back({sheet.faces[f], sheet.faces[f + sheet.nF], sheet.faces[f + 2 * sheet.nF]});
  }
  const auto sheet_rows = rows_of(build_edge_table(sheet.faces.data(), sheet.nF));
  expect_rows_describe_faces(faces, sheet_rows);
  int boundary = 0;
  for (const row& r : sheet_rows) boundary += r.d < 0;
  EXPECT_EQ(boundary, 2 * (7 - 1) + 2 * (5 - 1));  // the rim of a 7-by-5 grid
  EXPECT_EQ(sheet_rows.size(), std::size_t(3 * 6 * 4 + 6 + 4));
}

TEST(EdgeTable, EmptyAndTruncatedIndices) {
  EXPECT_EQ(build_edge_table(nullptr, 0).nE, 0);
  const std::vector<double> F = {0.9, 1.5, 2.2};  // truncates to (0, 1, 2)
  const auto rows = rows_of(build_edge_table(F.data(), 1));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].a, 0);
  EXPECT_EQ(rows[0].b, 1);
  EXPECT_EQ(rows[0].c, 2);
}

TEST(EdgeTable, BadMeshesAreNamedErrors) {
  struct bad {
    const char* name;
    std::vector<std::vector<double>> faces;
    std::vector<std::string> words;
  };
  const std::vector<bad> cases = {
      {"three faces on one edge",
       {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}},
       {"edge (0, 1)", "3 faces", "0, 1, 2", "not manifold"}},
      {"misoriented neighbour", {{0, 1, 2}, {0, 1, 3}}, {"faces 0, 1", "(0, 1)", "oriented"}},
      {"repeated vertex", {{0, 1, 2}, {3, 3, 1}}, {"face 1", "repeats"}},
      {"negative index", {{0, 1, 2}, {1, -1, 2}}, {"face 1", "-1"}},
      {"NaN index", {{0, 1, std::nan("")}}, {"face 0", "nan"}},
  };
  for (const bad& c : cases) {
    SCOPED_TRACE(c.name);
    const auto F = test::column_major(c.faces, 3);
    try {
      build_edge_table(F.data(), static_cast<std::int32_t>(c.faces.size()));
      ADD_FAILURE() << "accepted";
    } catch (const edge_table_error& e) {
      for (const std::string& w : c.words) {
        EXPECT_NE(std::string(e.what()).find(w), std::string::npos) << e.what();
      }
    }
  }
}

// With the builder's table, a rigidly moved closed mesh costs nothing: every
// hinge has the same normal angle as at rest.
TEST(EdgeTable, RigidlyMovedMeshHasZeroEnergy) {
  for (const closed_mesh& m : {cube(), icosahedron()}) {
    const auto F = test::column_major(m.faces, 3);
    const auto nF = static_cast<std::int32_t>(m.faces.size());
    const edge_table t = build_edge_table(F.data(), nF);
    const auto P = test::vertex_matrix(m.vertices);
    const auto nV = static_cast<std::int32_t>(m.vertices.size());
    std::vector<double> Q(P.size());
    const double c = std::cos(0.9), s = std::sin(0.9);
    for (std::int32_t i = 0; i < nV; ++i) {
      const double x = P[i], y = P[i + nV], z = P[i + 2 * nV];
      Q[i] = c * x - s * z + 3;
      Q[i + nV] = y - 2;
      Q[i + 2 * nV] = s * x + c * z + 0.5;
    }
    std::vector<double> g(Q.size());
    const double E = shell_energy_and_gradient(Q.data(), nV, 1.3, 2.1, P.data(), F.data(), nF,
                                               t.edges.data(), t.nE, g.data());
    EXPECT_LT(std::fabs(E), 1e-13);
    for (double x : g) EXPECT_LT(std::fabs(x), 1e-12);
    // And every hinge is evaluated.
    std::vector<double> mask(t.nE);
    flag_valid_edges(t.edges.data(), t.nE, P.data(), Q.data(), nV, mask.data());
    for (double v : mask) EXPECT_EQ(v, 1.0);
  }
}

}  // namespace
}  // namespace lamina
