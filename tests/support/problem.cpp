#include "problem.h"

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
