// Calling the lamina kernels from C++: a cube, squashed and twisted.
//
//   build/release/examples/shell_energy_example
#include <lamina/edge_table.h>
#include <lamina/lamina.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main() {
  // Vertex matrices are column-major, as MATLAB stores them: all x, all y, all z.
  const std::int32_t nV = 8, nF = 12;
  const std::vector<double> rest = {0, 1, 1, 0, 0, 1, 1, 0,   // x
                                    0, 0, 1, 1, 0, 0, 1, 1,   // y
                                    0, 0, 0, 0, 1, 1, 1, 1};  // z
  // Faces (0-based, counter-clockwise seen from outside), column-major too.
  const std::vector<double> faces = {0, 0, 4, 4, 0, 0, 1, 1, 2, 2, 3, 3,   // corner 1
                                     2, 3, 5, 6, 1, 5, 2, 6, 3, 7, 0, 4,   // corner 2
                                     1, 2, 6, 7, 5, 4, 6, 5, 7, 6, 4, 7};  // corner 3
  const lamina::edge_table edges = lamina::build_edge_table(faces.data(), nF);

  // Squash the cube to 80% of its height and twist its top by 0.3 radians.
  std::vector<double> deformed = rest;
  for (std::int32_t i = 0; i < nV; ++i) {
    const double z = rest[i + 2 * nV], turn = 0.3 * z;
    const double x = rest[i] - 0.5, y = rest[i + nV] - 0.5;
    deformed[i] = 0.5 + std::cos(turn) * x - std::sin(turn) * y;
    deformed[i + nV] = 0.5 + std::sin(turn) * x + std::cos(turn) * y;
    deformed[i + 2 * nV] = 0.8 * z;
  }

  const double mu = 1.0, eta = 0.1;
  std::vector<double> gradient(3 * nV);
  const double E =
      lamina::shell_energy_and_gradient(deformed.data(), nV, mu, eta, rest.data(), faces.data(), nF,
                                        edges.edges.data(), edges.nE, gradient.data());
  const double E_only = lamina::shell_energy(deformed.data(), nV, mu, eta, rest.data(),
                                             faces.data(), nF, edges.edges.data(), edges.nE);
  std::printf("%d edges; energy %.17g (energy-only kernel: %s)\n", edges.nE, E,
              E == E_only ? "the same bits" : "DIFFERENT");
  for (std::int32_t i = 0; i < nV; ++i) {
    std::printf("dE/dq[%d] = (% .6f, % .6f, % .6f)\n", i, gradient[i], gradient[i + nV],
                gradient[i + 2 * nV]);
  }
  return E == E_only ? 0 : 1;
}
