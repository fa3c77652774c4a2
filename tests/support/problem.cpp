#include "problem.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

namespace lamina {
namespace test {

problem worked_example() {
  problem p;
  p.m.nV = 4;
  p.m.rest = vertex_matrix({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0.2}});
  p.deformed = vertex_matrix({{0, 0, 0.1}, {1.1, 0, 0}, {0, 1.2, 0}, {1, 1.1, 0.5}});
  p.m.nF = 2;
  p.m.faces = column_major({{0, 1, 2}, {1, 3, 2}}, 3);
  p.m.nE = 5;
  p.m.edges =
      column_major({{1, 2, 0, 3}, {0, 1, -1, 2}, {2, 0, -1, 1}, {1, 3, -1, 2}, {3, 2, -1, 1}}, 4);
  p.mu = 2;
  p.eta = 3;
  return p;
}

problem random_problem(int nx, int ny, unsigned seed) {
  std::mt19937_64 rng(seed);
  problem p;
  p.m = jittered_sheet(nx, ny, rng, 0.25);
  p.deformed = deformed_copy(p.m, rng, 0.05);
  p.mu = 1.5;
  p.eta = 0.8;
  return p;
}

problem degenerate_problem(unsigned seed) {
  problem p = random_problem(4 + seed % 4, 3 + seed % 3, seed);
  mesh& m = p.m;
  std::mt19937_64 rng(seed * 7919u + 1);
  std::uniform_int_distribution<int> coordinate(0, 3 * m.nV - 1);
  std::uniform_int_distribution<int> row(0, m.nE - 1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const auto corner = [&](int f, int k) { return static_cast<int>(m.faces[f + k * m.nF]); };
  const auto move = [&](std::vector<double>& X, int from, int to) {
    for (int k = 0; k < 3; ++k) X[from + k * m.nV] = X[to + k * m.nV];
  };
  switch (seed % 8) {
    case 0:
      p.deformed[coordinate(rng)] = nan;
      break;
    case 1:
      p.deformed[coordinate(rng)] = (seed % 2 ? inf : -inf);
      break;
    case 2:
      move(p.deformed, corner(0, 1), corner(0, 0));
      break;  // collinear faces
    case 3:   // a face on one point
      move(p.deformed, corner(1, 1), corner(1, 0));
      move(p.deformed, corner(1, 2), corner(1, 0));
      break;
    case 4:
      move(m.rest, corner(0, 2), corner(0, 1));
      break;  // zero rest area
    case 5:
      m.rest[coordinate(rng)] = nan;
      break;
    case 6: {  // c or d of every odd kind
      const double odd[] = {-1.0, -0.5, nan, 3e9, -3e9};
      for (double v : odd) m.edges[row(rng) + (2 + row(rng) % 2) * m.nE] = v;
      break;
    }
    case 7: {  // one wing of a hinge just above, another just below the threshold
      for (int j = 0, done = 0; j < m.nE && done < 2; ++j) {
        const int c = static_cast<int>(m.edges[j + 2 * m.nE]);
        if (c < 0 || m.edges[j + 3 * m.nE] < 0) continue;
        const int a = static_cast<int>(m.edges[j]), b = static_cast<int>(m.edges[j + m.nE]);
        // Put c on the edge line, then lift it off by a height giving |N1|
        // of 1.0001e-10 or 0.9999e-10.
        double len2 = 0;
        for (int k = 0; k < 3; ++k) {
          const double e = p.deformed[b + k * m.nV] - p.deformed[a + k * m.nV];
          len2 += e * e;
        }
        const double height = (done == 0 ? 1.0001e-10 : 0.9999e-10) / std::sqrt(len2);
        double n[3] = {0, 0, 0};
        const double e[3] = {p.deformed[b] - p.deformed[a],
                             p.deformed[b + m.nV] - p.deformed[a + m.nV],
                             p.deformed[b + 2 * m.nV] - p.deformed[a + 2 * m.nV]};
        // A unit vector perpendicular to the edge.
        n[0] = -e[1];
        n[1] = e[0];
        const double ln = std::sqrt(n[0] * n[0] + n[1] * n[1]);
        for (int k = 0; k < 3; ++k) {
          p.deformed[c + k * m.nV] =
              0.5 * (p.deformed[a + k * m.nV] + p.deformed[b + k * m.nV]) + height * n[k] / ln;
        }
        ++done;
      }
      break;
    }
  }
  return p;
}

void shuffle_vertices(problem& p, unsigned seed) {
  mesh& m = p.m;
  std::vector<std::int32_t> to(m.nV);
  std::iota(to.begin(), to.end(), 0);
  std::mt19937_64 rng(seed);
  std::shuffle(to.begin(), to.end(), rng);
  std::vector<double> rest(m.rest.size()), deformed(p.deformed.size());
  for (std::int32_t i = 0; i < m.nV; ++i) {
    for (int k = 0; k < 3; ++k) {
      rest[to[i] + k * m.nV] = m.rest[i + k * m.nV];
      deformed[to[i] + k * m.nV] = p.deformed[i + k * m.nV];
    }
  }
  m.rest.swap(rest);
  p.deformed.swap(deformed);
  // Every entry that names a vertex (truncates to 0 ... nV-1) is renamed;
  // the rest (-1, NaN, 3e9 for a missing wing) keep their meaning.
  const auto rename = [&](double& v) {
    if (v > -1.0 && v < m.nV) v = to[static_cast<std::size_t>(std::trunc(v))];
  };
  for (double& v : m.faces) rename(v);
  for (double& v : m.edges) rename(v);
}

std::vector<host::array> host_inputs(const problem& p) {
  std::vector<host::array> in;
  in.push_back(host::make_double(p.m.nV, 3, p.deformed));
  in.push_back(host::make_scalar(p.mu));
  in.push_back(host::make_scalar(p.eta));
  in.push_back(host::make_double(p.m.nF, 3, p.m.faces));
  in.push_back(host::make_double(p.m.nV, 3, p.m.rest));
  in.push_back(host::make_double(p.m.nE, 4, p.m.edges));
  return in;
}

}  // namespace test
}  // namespace lamina
