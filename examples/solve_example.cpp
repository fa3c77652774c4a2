// A cantilever sagging under its weight, by lamina::solve (link
// lamina::solve, which needs CHOLMOD): a 12-by-12 sheet, flat at first,
// held along two columns.
//
//   build/examples/solve_example
//
// The solve starts flat, where the bending term has no stiffness across the
// sheet; it prints W after every iteration and how the solve ended.
#include <lamina/shell.h>
#include <lamina/solve.h>

#include <cstdint>
#include <cstdio>
#include <vector>

int main() {
  const int n = 12;
  const std::int32_t nV = n * n, nF = 2 * (n - 1) * (n - 1);
  // Vertex (i, j) at (i, j, 0) / (n - 1), row i + n j; two faces per cell.
  std::vector<double> rest(3 * nV), faces(3 * nF);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      rest[i + n * j] = i / (n - 1.0);
      rest[i + n * j + nV] = j / (n - 1.0);
    }
  }
  std::int32_t f = 0;
  for (int j = 0; j + 1 < n; ++j) {
    for (int i = 0; i + 1 < n; ++i) {
      const double v = i + n * j;
      const double corners[2][3] = {{v, v + 1, v + n + 1}, {v, v + n + 1, v + n}};
      for (const auto& c : corners) {
        for (int k = 0; k < 3; ++k) faces[f + k * nF] = c[k];
        ++f;
      }
    }
  }
  const lamina::shell s(faces.data(), nF, rest.data(), nV, 10.0, 10.0);  // mu, eta

  // The columns i = 0 and 1 held; a weight of 2 shared by the vertices.
  std::vector<std::uint8_t> fixed(3 * nV, 0);
  std::vector<double> forces(3 * nV, 0.0);
  for (std::int32_t v = 0; v < nV; ++v) {
    for (int k = 0; k < 3; ++k) fixed[v + k * nV] = v % n <= 1;
    forces[v + 2 * nV] = -2.0 / nV;
  }
  lamina::solve_options o;
  o.fixed = fixed.data();
  o.forces = forces.data();
  o.callback = [](const lamina::solve_step& step, const double*) {
    std::printf("iteration %2d: W %.15f, max |grad W| %.3e\n", step.iteration, step.energy,
                step.gradient_norm);
    return true;
  };
  const lamina::solve_result r = lamina::solve(s, rest.data(), o);
  std::printf("%s\n", r.message.c_str());
  std::printf("the free corner sags to z = %.6f\n", r.x[nV - 1 + 2 * nV]);
  return r.converged ? 0 : 1;
}
