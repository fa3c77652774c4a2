// Projected Newton from C++ with a prepared shell and Eigen: a cube whose
// top has been squashed and twisted springs back while its bottom stays
// pinned.
//
//   build/examples/newton_example
//
// Each step takes the energy, the gradient and the Hessian with every
// element block clamped to its positive part (lamina::projection::clamp),
// solves for the step on the free coordinates with Eigen's sparse LDL^T
// factorisation of the free block, and backtracks on the energy alone.
#include <lamina/eigen.h>

#include <Eigen/Core>
#include <Eigen/SparseCholesky>
#include <cmath>
#include <cstdio>

int main() {
  Eigen::MatrixX3d V(8, 3);
  V << 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1;
  Eigen::MatrixX3i F(12, 3);
  F << 0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 1, 2, 6, 1, 6, 5, 2, 3, 7, 2, 7, 6, 3,
      0, 4, 3, 4, 7;
  // The edge table is built from the faces; the Hessian's rows and columns
  // follow G's column-major storage (vertex i, coordinate k at i + k nV).
  lamina::shell s = lamina::eigen::make_shell(V, F, 1.0, 0.1);

  // The top squashed to 70% and twisted by 0.5 radians; the bottom pinned.
  Eigen::MatrixX3d x = V;
  lamina::eigen::fixed_mask fixed(V.rows(), 3);
  for (Eigen::Index i = 0; i < V.rows(); ++i) {
    const double z = V(i, 2), turn = 0.5 * z;
    const double cx = V(i, 0) - 0.5, cy = V(i, 1) - 0.5;
    x(i, 0) = 0.5 + std::cos(turn) * cx - std::sin(turn) * cy;
    x(i, 1) = 0.5 + std::sin(turn) * cx + std::cos(turn) * cy;
    x(i, 2) = 0.7 * z;
    fixed.row(i).setConstant(z == 0.0);
  }

  Eigen::MatrixX3d g;
  Eigen::VectorXd h;
  double start = 0.0;
  for (int it = 0; it < 50; ++it) {
    const double E = lamina::eigen::energy_gradient_hessian(s, x, lamina::projection::clamp, g, h);
    const Eigen::VectorXd g_free = lamina::eigen::free_part(s, g, fixed);
    const double norm = g_free.norm();
    if (it == 0) start = norm;
    std::printf("iteration %2d: energy %.12f, |gradient| %.3e\n", it, E, norm);
    if (norm <= 1e-10 * start) return E < 1e-12 ? 0 : 1;
    // H[free][:, free] is positive semi-definite; a tiny shift makes it
    // definite.
    Eigen::SparseMatrix<double> H = lamina::eigen::free_block(s, h, fixed);
    for (Eigen::Index i = 0; i < H.rows(); ++i) H.coeffRef(i, i) += 1e-12;
    const Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>> solver(H);
    if (solver.info() != Eigen::Success) {
      std::printf("the free block could not be factorised\n");
      return 1;
    }
    const Eigen::MatrixX3d d = lamina::eigen::from_free_part(s, solver.solve(-g_free), fixed);
    const double slope = (g.array() * d.array()).sum();
    double t = 1.0;
    Eigen::MatrixX3d trial;
    for (;;) {
      trial = x + t * d;
      if (lamina::eigen::energy(s, trial) <= E + 1e-4 * t * slope || t < 1e-12) break;
      t *= 0.5;
    }
    x = trial;
  }
  std::printf("did not converge in 50 iterations\n");
  return 1;
}
