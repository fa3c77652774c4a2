// The element Hessian kernels and the PSD projection on a chosen
// instruction-set path and batch width, for the tests and the benchmark.
// Each element is given as plain per-element values; the wrappers pack them
// into lanes, run the lane kernels in batches of `width` (1 or 8) elements,
// and unpack the blocks. Calling a path the processor lacks is undefined.
#ifndef LAMINA_TESTS_KERNELS_HESSIAN_PATHS_H
#define LAMINA_TESTS_KERNELS_HESSIAN_PATHS_H

#include <vector>

#include "assembly/projection.h"
#include "simd/isa.h"
#include "support/mesh.h"

namespace lamina {
namespace test {

// What the energy forms for one face (terms/membrane/neo_hookean/hessian.h).
struct face_values {
  double d[3][3];  // deformed edges d0, d1, d2
  double g[3];     // rest dot products
  double A_r, S_r, S_d, r;
};

// What the bending energy forms for one hinge (terms/bending/cosine/hessian.h).
struct hinge_values {
  double Q[4][3];  // deformed a, b, c, d
  double u1[3], u2[3];
  double lN1, lN2, delta, w_h;
};

// The values of a face from its rest corners P and deformed corners Q, and
// of a hinge from its rest and deformed vertices a, b, c, d, formed as the
// energy kernels form them.
face_values face_values_of(const point (&P)[3], const point (&Q)[3]);
hinge_values hinge_values_of(const point (&P)[4], const point (&Q)[4]);

// n face blocks of 81 entries each, element after element.
std::vector<double> face_hessians(isa path, int width, double mu,
                                  const std::vector<face_values>& faces);
// n hinge blocks of 144 entries each.
std::vector<double> hinge_hessians(isa path, int width, double eta,
                                   const std::vector<hinge_values>& hinges);
// Projects n blocks of (3 points)^2 entries each in place; returns the
// largest sweep count of any batch.
int project_blocks(isa path, int width, detail::psd_mode mode, int points,
                   std::vector<double>& blocks);
// Jacobi eigen-decomposition of n symmetric m x m matrices (m = 6 or 9):
// eigenvalues (n x m), eigenvectors as columns (n x m x m, row-major) and the
// matrices left on return (n x m x m). Returns the largest sweep count of any
// batch. tau is kJacobiTolerance times the largest entry of each matrix.
int eigen_blocks(isa path, int width, int m, const std::vector<double>& matrices,
                 std::vector<double>& eigenvalues, std::vector<double>& eigenvectors,
                 std::vector<double>& left);

std::vector<isa> supported_paths();
const char* path_name(isa path);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_KERNELS_HESSIAN_PATHS_H
