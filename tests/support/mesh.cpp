#include "mesh.h"

#include <cmath>
#include <map>
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

std::vector<double> edge_table_of(const std::vector<double>& faces, std::int32_t nF,
                                  std::int32_t* nE) {
  std::map<std::pair<int, int>, std::size_t> row_of;
  std::vector<std::vector<double>> rows;
  for (std::int32_t f = 0; f < nF; ++f) {
    for (int k = 0; k < 3; ++k) {
      const int u = static_cast<int>(faces[f + k * nF]);
      const int v = static_cast<int>(faces[f + ((k + 1) % 3) * nF]);
      const int w = static_cast<int>(faces[f + ((k + 2) % 3) * nF]);
      const auto key = std::make_pair(std::min(u, v), std::max(u, v));
      auto it = row_of.find(key);
      if (it == row_of.end()) {
        row_of.emplace(key, rows.size());
        rows.push_back({double(u), double(v), double(w), -1.0});
      } else if (rows[it->second][0] == v && rows[it->second][3] < 0) {
        rows[it->second][3] = w;
      } else {
        throw std::invalid_argument("edge_table_of: non-manifold or misoriented");
      }
    }
  }
  *nE = static_cast<std::int32_t>(rows.size());
  return column_major(rows, 4);
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
