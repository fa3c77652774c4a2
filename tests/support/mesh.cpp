#include "mesh.h"

#include <lamina/checks.h>
#include <lamina/edge_table.h>

#include <cmath>
#include <stdexcept>
#include <utility>

namespace lamina {
namespace test {

std::vector<double> column_major(const std::vector<std::vector<double>>& rows, int columns) {
  const std::size_t n = rows.size();
  std::vector<double> t(n * columns);
  for (std::size_t i = 0; i < n; ++i) {
    if (rows[i].size() != static_cast<std::size_t>(columns)) {
      throw std::invalid_argument("column_major: ragged rows");
    }
    for (int k = 0; k < columns; ++k) t[i + k * n] = rows[i][k];
  }
  return t;
}

std::vector<double> vertex_matrix(const std::vector<point>& points) {
  std::vector<std::vector<double>> rows;
  for (const point& p : points) rows.push_back({p[0], p[1], p[2]});
  return column_major(rows, 3);
}

bool edges_belong(const mesh& m) {
  const matrix_view f{m.faces.data(), static_cast<std::size_t>(m.nF), 3};
  const matrix_view e{m.edges.data(), static_cast<std::size_t>(m.nE), 4};
  return !check_edge_table(f, e, message_style::cpp);
}

std::vector<double> edge_table_of(const std::vector<double>& faces, std::int32_t nF,
                                  std::int32_t* nE) {
  edge_table t = build_edge_table(faces.data(), nF);
  *nE = t.nE;
  return std::move(t.edges);
}

closed_mesh cube() {
  return {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
          {{0, 2, 1},
           {0, 3, 2},
           {4, 5, 6},
           {4, 6, 7},
           {0, 1, 5},
           {0, 5, 4},
           {1, 2, 6},
           {1, 6, 5},
           {2, 3, 7},
           {2, 7, 6},
           {3, 0, 4},
           {3, 4, 7}}};
}

closed_mesh icosahedron() {
  const double t = (1 + std::sqrt(5.0)) / 2;
  return {{{-1, t, 0},
           {1, t, 0},
           {-1, -t, 0},
           {1, -t, 0},
           {0, -1, t},
           {0, 1, t},
           {0, -1, -t},
           {0, 1, -t},
           {t, 0, -1},
           {t, 0, 1},
           {-t, 0, -1},
           {-t, 0, 1}},
          {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
           {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
           {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}}};
}

mesh jittered_sheet(int nx, int ny, std::mt19937_64& rng, double jitter) {
  std::uniform_real_distribution<double> u(-jitter, jitter);
  mesh m;
  std::vector<point> p;
  const double h = 1.0 / (nx - 1);
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const double x = (i + u(rng)) * h;
      const double y = (j + u(rng)) * h;
      p.push_back({x, y, 0.3 * std::sin(2.0 * x) + 0.1 * y * y + u(rng) * h});
    }
  }
  std::vector<std::vector<double>> f;
  for (int j = 0; j + 1 < ny; ++j) {
    for (int i = 0; i + 1 < nx; ++i) {
      const double v = j * nx + i;
      f.push_back({v, v + 1, v + nx + 1});
      f.push_back({v, v + nx + 1, v + nx});
    }
  }
  m.nV = static_cast<std::int32_t>(p.size());
  m.nF = static_cast<std::int32_t>(f.size());
  m.rest = vertex_matrix(p);
  m.faces = column_major(f, 3);
  m.edges = edge_table_of(m.faces, m.nF, &m.nE);
  return m;
}

mesh flat_square(int n) {
  std::vector<point> p;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i)
      p.push_back({static_cast<double>(i) / n, static_cast<double>(j) / n, 0.0});
  }
  std::vector<std::vector<double>> f;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const double v = j * (n + 1) + i;
      f.push_back({v, v + 1, v + n + 2});
      f.push_back({v, v + n + 2, v + n + 1});
    }
  }
  mesh m;
  m.nV = static_cast<std::int32_t>(p.size());
  m.nF = static_cast<std::int32_t>(f.size());
  m.rest = vertex_matrix(p);
  m.faces = column_major(f, 3);
  m.edges = edge_table_of(m.faces, m.nF, &m.nE);
  return m;
}

std::vector<double> rolled(const mesh& square) {
  const double pi = std::acos(-1.0), R = 1.0 / pi;
  std::vector<double> q(square.rest);
  for (std::int32_t i = 0; i < square.nV; ++i) {
    const double x = square.rest[i];
    q[i] = R * std::sin(x / R);
    q[i + 2 * square.nV] = R * (1.0 - std::cos(x / R));
  }
  return q;
}

std::vector<double> deformed_copy(const mesh& m, std::mt19937_64& rng, double noise) {
  std::uniform_real_distribution<double> u(-noise, noise);
  const double a = 0.7, b = -0.4;  // rotation about z, then about x
  std::vector<double> q(m.rest.size());
  for (std::int32_t i = 0; i < m.nV; ++i) {
    const double x = 1.3 * m.rest[i], y = 0.8 * m.rest[i + m.nV], z = 1.1 * m.rest[i + 2 * m.nV];
    const double x1 = std::cos(a) * x - std::sin(a) * y;
    const double y1 = std::sin(a) * x + std::cos(a) * y;
    const double y2 = std::cos(b) * y1 - std::sin(b) * z;
    const double z2 = std::sin(b) * y1 + std::cos(b) * z;
    q[i] = x1 + u(rng);
    q[i + m.nV] = y2 + u(rng);
    q[i + 2 * m.nV] = z2 + u(rng);
  }
  return q;
}

}  // namespace test
}  // namespace lamina
