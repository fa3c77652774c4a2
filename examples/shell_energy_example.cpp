// Calling lamina from C++ with Eigen: a cube, squashed and twisted, its
// energy and gradient from a prepared shell and from the stateless kernels.
//
//   build/examples/shell_energy_example
#include <lamina/eigen.h>
#include <lamina/lamina.h>

#include <Eigen/Core>
#include <cmath>
#include <cstdio>

int main() {
  // A mesh as libigl and most of the field hold one: V nV by 3 doubles, F nF
  // by 3 ints (0-based, counter-clockwise seen from outside).
  Eigen::MatrixX3d V(8, 3);
  V << 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1;
  Eigen::MatrixX3i F(12, 3);
  F << 0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3,
      0, 4, 3, 4, 7;
  const Eigen::Matrix<int, Eigen::Dynamic, 4> E = lamina::eigen::edge_table_of(F);

  // Squash the cube to 80% of its height and twist its top by 0.3 radians.
  Eigen::MatrixX3d Q = V;
  for (Eigen::Index i = 0; i < V.rows(); ++i) {
    const double z = V(i, 2), turn = 0.3 * z;
    const double x = V(i, 0) - 0.5, y = V(i, 1) - 0.5;
    Q(i, 0) = 0.5 + std::cos(turn) * x - std::sin(turn) * y;
    Q(i, 1) = 0.5 + std::sin(turn) * x + std::cos(turn) * y;
    Q(i, 2) = 0.8 * z;
  }

  // The prepared shell takes the integer tables as they are.
  const double mu = 1.0, eta = 0.1;
  lamina::shell s = lamina::eigen::make_shell(V, F, E, mu, eta);
  Eigen::MatrixX3d G;
  const double E_shell = lamina::eigen::energy_and_gradient(s, Q, G);

  // The stateless kernels read column-major doubles: Eigen's own storage.
  const Eigen::MatrixX3d Fd = F.cast<double>();
  const Eigen::Matrix<double, Eigen::Dynamic, 4> Ed = E.cast<double>();
  Eigen::MatrixX3d G_kernel(V.rows(), 3);
  const auto nV = static_cast<std::int32_t>(V.rows());
  const double E_kernel = lamina::shell_energy_and_gradient(
      Q.data(), nV, mu, eta, V.data(), Fd.data(), static_cast<std::int32_t>(F.rows()), Ed.data(),
      static_cast<std::int32_t>(E.rows()), G_kernel.data());
  const double E_only = lamina::shell_energy(Q.data(), nV, mu, eta, V.data(), Fd.data(),
                                             static_cast<std::int32_t>(F.rows()), Ed.data(),
                                             static_cast<std::int32_t>(E.rows()));
  const bool same = E_shell == E_kernel && E_only == E_kernel && G == G_kernel;
  std::printf("%d edges; energy %.17g (shell, stateless and energy-only kernels: %s)\n",
              static_cast<int>(E.rows()), E_shell, same ? "the same bits" : "DIFFERENT");
  for (Eigen::Index i = 0; i < G.rows(); ++i) {
    std::printf("dE/dq[%d] = (% .6f, % .6f, % .6f)\n", static_cast<int>(i), G(i, 0), G(i, 1),
                G(i, 2));
  }
  return same ? 0 : 1;
}
