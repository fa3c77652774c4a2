// The C++ API's typed entry points: views with integer indices give the
// bits of the raw double form; nonsense counts are refused; a shell refuses
// an edge table that does not belong to its faces, as check_edge_table says.
#include <gtest/gtest.h>
#include <lamina/checks.h>
#include <lamina/edge_table.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/numeric.h"
#include "support/problem.h"

namespace lamina {
namespace {

template <typename T>
std::vector<T> converted(const std::vector<double>& table) {
  return std::vector<T>(table.begin(), table.end());
}

// Column-major n-by-c to row-major.
template <typename T>
std::vector<T> row_major(const std::vector<T>& m, int columns) {
  const std::size_t n = m.size() / columns;
  std::vector<T> r(m.size());
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < columns; ++k) r[columns * i + k] = m[i + k * n];
  }
  return r;
}

TEST(TypedViews, IntegerTablesInEitherOrderGiveTheRawBits) {
  const test::problem p = test::random_problem(6, 5, 11);
  const test::mesh& m = p.m;
  shell raw(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta, m.edges.data(), m.nE);
  std::vector<double> g_raw(3 * m.nV), h_raw(raw.hessian_row_index().size());
  const double E_raw =
      raw.energy_gradient_hessian(p.deformed.data(), projection::clamp, g_raw.data(), h_raw.data());

  const auto F32 = row_major(converted<std::int32_t>(m.faces), 3);
  const auto E32 = row_major(converted<std::int32_t>(m.edges), 4);
  const auto F64 = converted<std::int64_t>(m.faces);
  const auto E64 = converted<std::int64_t>(m.edges);
  const auto rest_rows = row_major(m.rest, 3);
  shell shells[] = {
      shell(vertices_view(rest_rows.data(), m.nV, vertex_order::row_major),
            faces_view(F32.data(), m.nF, table_order::row_major),
            edges_view(E32.data(), m.nE, table_order::row_major), p.mu, p.eta),
      shell(vertices_view(m.rest.data(), m.nV), faces_view(F64.data(), m.nF),
            edges_view(E64.data(), m.nE), p.mu, p.eta),
      shell(vertices_view(m.rest.data(), m.nV), faces_view(F64.data(), m.nF), p.mu, p.eta)};
  for (shell& s : shells) {
    std::vector<double> g(3 * m.nV), h(s.hessian_row_index().size());
    EXPECT_SAME_BITS(s.energy_gradient_hessian(vertices_view(p.deformed.data(), m.nV),
                                               projection::clamp, g.data(), h.data()),
                     E_raw);
    EXPECT_SAME_BITS_VECTOR(g, g_raw);
    EXPECT_SAME_BITS_VECTOR(h, h_raw);
    EXPECT_SAME_BITS(s.energy(vertices_view(p.deformed.data(), m.nV)),
                     raw.energy(p.deformed.data()));
  }
  // The built table is the builder's, from any index type.
  EXPECT_SAME_BITS_VECTOR(
      build_edge_table(faces_view(F32.data(), m.nF, table_order::row_major)).edges, m.edges);
}

void expect_refused(const char* what, const std::function<void()>& call, const char* identifier,
                    const std::string& words) {
  SCOPED_TRACE(what);
  try {
    call();
    ADD_FAILURE() << "accepted";
  } catch (const invalid_input& e) {
    EXPECT_EQ(e.identifier(), identifier);
    EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
  }
}

TEST(TypedViews, NonsenseCountsAndPointersAreRefused) {
  const test::problem p = test::worked_example();
  const test::mesh& m = p.m;
  const double* F = m.faces.data();
  const double* V = m.rest.data();
  expect_refused(
      "negative counts", [&] { shell(F, -5, V, -5, 1, 1); }, "lamina:badSize",
      "source_faces has -5 rows, but a row count cannot be negative");
  expect_refused(
      "negative vertex count", [&] { shell(F, m.nF, V, -5, 1, 1); }, "lamina:badSize",
      "source_vertices has -5 rows");
  expect_refused(
      "negative edge count", [&] { shell(F, m.nF, V, m.nV, 1, 1, m.edges.data(), -1); },
      "lamina:badSize", "edges has -1 rows");
  expect_refused(
      "null faces", [&] { shell(nullptr, 2, V, m.nV, 1, 1); }, "lamina:badType",
      "source_faces is a null pointer, but it has 2 rows");
  expect_refused(
      "negative faces to the builder", [&] { build_edge_table(F, -3); }, "lamina:badSize",
      "source_faces has -3 rows");
  expect_refused(
      "a view beyond 32 bits", [&] { build_edge_table(faces_view(F, 1ll << 32)); },
      "lamina:tooLarge", "source_faces has 4294967296 rows");
  shell s(vertices_view(V, m.nV), faces_view(F, m.nF), 1, 1);
  expect_refused(
      "deformed positions of another mesh", [&] { s.energy(vertices_view(p.deformed.data(), 3)); },
      "lamina:badSize",
      "deformed_v must have one row per vertex of source_vertices (4), but it has 3");
  // Empty tables stay valid.
  EXPECT_EQ(build_edge_table(nullptr, 0).nE, 0);
  EXPECT_EQ(shell(vertices_view(nullptr, 0), faces_view(F, 0), 1, 1).energy(nullptr), 0.0);
}

// A 3-by-3 grid of vertices, each cell cut along one diagonal or the other.
std::vector<double> grid_faces(bool other_diagonals, std::int32_t* nF) {
  std::vector<std::array<double, 3>> rows;
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      const double v = 3 * j + i;
      if (!other_diagonals) {
        rows.push_back({v, v + 1, v + 4});
        rows.push_back({v, v + 4, v + 3});
      } else {
        rows.push_back({v, v + 1, v + 3});
        rows.push_back({v + 1, v + 4, v + 3});
      }
    }
  }
  *nF = static_cast<std::int32_t>(rows.size());
  std::vector<double> f(3 * rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int k = 0; k < 3; ++k) f[r + k * rows.size()] = rows[r][k];
  }
  return f;
}

TEST(EdgeTableCheck, RowsMustBelongToTheFaces) {
  std::int32_t nF = 0, nE = 0;
  const std::vector<double> F = grid_faces(false, &nF);
  const std::vector<double> other = test::edge_table_of(grid_faces(true, &nF), nF, &nE);
  std::int32_t nE_own = 0;
  const std::vector<double> own = test::edge_table_of(F, nF, &nE_own);
  const matrix_view faces{F.data(), static_cast<std::size_t>(nF), 3};
  const auto check = [&](const std::vector<double>& e, message_style style) {
    return check_edge_table(faces, {e.data(), e.size() / 4, 4}, style);
  };
  EXPECT_FALSE(check(own, message_style::cpp));
  // The other diagonals: row 0 of their table, (0, 1, 3, -1), has the wing
  // (0, 1, 3) where this mesh's face on (0, 1) is (0, 1, 4).
  const input_error e = check(other, message_style::python);
  ASSERT_TRUE(e);
  EXPECT_STREQ(e.identifier, "lamina:edgeMismatch");
  EXPECT_EQ(e.row, 0);
  EXPECT_EQ(e.column, 2);
  EXPECT_STREQ(e.message,
               "edges[0] is (0, 1, 3, -1), which does not belong to source_faces: no face is "
               "(0, 1, 3) or a rotation of it; c must be the vertex opposite the edge in a face "
               "that runs from a to b");
  EXPECT_NE(std::string(check(other, message_style::matlab).message).find("edges(1,:) is"),
            std::string::npos);
  const auto changed = [&](std::size_t row, int column, double value) {
    std::vector<double> t = own;
    t[row + column * static_cast<std::size_t>(nE_own)] = value;
    return t;
  };
  const std::size_t hinge = 1;  // (1, 4, 0, 5)
  ASSERT_EQ(own[hinge + 3 * nE_own], 5.0);
  // A wrong opposite vertex, c and d swapped (the wrong orientation).
  const std::vector<double> wrong_c = changed(hinge, 2, own[hinge + 3 * nE_own]);
  EXPECT_NE(std::string(check(wrong_c, message_style::cpp).message).find("row 1 of edges is ("),
            std::string::npos);
  EXPECT_NE(std::string(check(wrong_c, message_style::cpp).message).find("or a rotation of it"),
            std::string::npos);
  // A missing wing, in any spelling, stands for no face.
  for (double missing : {-1.0, -3e9, 3e9, std::nan("")}) {
    EXPECT_FALSE(check(changed(hinge, 3, missing), message_style::cpp)) << missing;
  }
  // -0.5 truncates to vertex 0, which is not the opposite vertex.
  EXPECT_TRUE(check(changed(hinge, 3, -0.5), message_style::cpp));
  // A repeated row would count its hinge twice.
  {
    std::vector<double> t;
    for (int k = 0; k < 4; ++k) {
      for (int r = 0; r < nE_own; ++r) t.push_back(own[r + k * nE_own]);
      t.push_back(own[hinge + k * nE_own]);
    }
    const input_error d = check(t, message_style::cpp);
    EXPECT_STREQ(d.identifier, "lamina:edgeMismatch");
    EXPECT_NE(std::string(d.message).find("is already the wing of row 1 of edges"),
              std::string::npos)
        << d.message;
  }
  // A row with no wings must still be an edge.
  std::vector<double> lone = changed(hinge, 2, -1);
  lone[hinge + 3 * nE_own] = -1;
  EXPECT_FALSE(check(lone, message_style::cpp));
  lone[hinge + nE_own] = 8;
  EXPECT_NE(std::string(check(lone, message_style::cpp).message).find("no face has the edge"),
            std::string::npos);
  // Faces that are no vertex indices.
  std::vector<double> bad_faces = F;
  bad_faces[2] = -1;
  EXPECT_STREQ(check_edge_table({bad_faces.data(), faces.rows, 3}, {own.data(), own.size() / 4, 4},
                                message_style::cpp)
                   .identifier,
               "lamina:badIndex");

  // Sparse vertex numbers (the lookup table hashes its keys then, where it
  // otherwise lays the sides out by vertex): the same verdicts.
  const auto spread = [](std::vector<double> t, std::size_t entries) {
    for (std::size_t i = 0; i < entries; ++i) t[i] = t[i] < 0 ? t[i] : t[i] * 100003;
    return t;
  };
  const std::vector<double> F_sparse = spread(F, F.size());
  const matrix_view sparse_faces{F_sparse.data(), faces.rows, 3};
  const std::vector<double> own_sparse = spread(own, own.size()),
                            other_sparse = spread(other, other.size());
  EXPECT_FALSE(
      check_edge_table(sparse_faces, {own_sparse.data(), own.size() / 4, 4}, message_style::cpp));
  EXPECT_EQ(
      check_edge_table(sparse_faces, {other_sparse.data(), other.size() / 4, 4}, message_style::cpp)
          .row,
      0);

  // A shell built with the other table refuses it, naming the row.
  const std::vector<double> V(27, 0.0);
  expect_refused(
      "the shell", [&] { shell(F.data(), nF, V.data(), 9, 1, 1, other.data(), nE); },
      "lamina:edgeMismatch", "row 0 of edges is (0, 1, 3, -1)");
  // Without faces a shell is the bending term alone, of any table.
  EXPECT_EQ(shell(nullptr, 0, V.data(), 9, 0, 1, other.data(), nE).edge_count(), nE);
}

}  // namespace
}  // namespace lamina
