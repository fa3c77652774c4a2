// lamina: elastic energy of a thin shell given as a triangle mesh.
//
// Every function here is a plain function over raw column-major arrays, as
// MATLAB stores them:
//
//   vertex matrix  nV-by-3: x of vertex i at [i], y at [i + nV], z at [i + 2*nV].
//                  The rest positions (source_vertices), the deformed positions
//                  (deformed_v) and the gradient share this layout and the
//                  stride nV.
//   face table     nF-by-3: the corners of face f at [f], [f + nF], [f + 2*nF].
//   edge table     nE-by-4: row e holds (a, b, c, d) at [e], [e + nE],
//                  [e + 2*nE], [e + 3*nE]: the edge runs from a to b in the
//                  wing (a, b, c) and from b to a in the wing (b, a, d).
//
// Indices are 0-based doubles, truncated toward zero (see index.h). A c or d
// that truncates to a negative value marks a missing wing: the row is a
// boundary edge and carries no bending term.
//
// The kernels allocate nothing, keep no state, never throw and check nothing:
// every index of a face, and of an edge row that is a hinge, must address a
// row 0 ... nV-1. (The MEX gateways check this before calling.) All sums run
// over the rows in table order, so results are reproducible bit for bit; the
// energy-only kernels return exactly the energies of their gradient twins.
#ifndef LAMINA_LAMINA_H
#define LAMINA_LAMINA_H

#include <cstdint>

namespace lamina {

// Membrane (stretching) energy, summed over the faces:
//
//   E_f = A_r * (mu/2 tr C + mu/4 det C - 3mu/4 log det C - 5mu/4)
//
// with C the right Cauchy-Green tensor of the affine map from the rest face
// onto the deformed face and A_r the rest area. Below det C = 1e-20 the
// logarithm is replaced by its tangent line, so collapsed deformed faces stay
// finite. A face with zero rest area makes the energy NaN.
double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu);

// The membrane energy and its derivative with respect to every coordinate of
// deformed_v. Sets all 3*nV entries of `gradient` to 0.0 first (also when
// nF <= 0), then adds each face's derivative in face order.
double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient);

// Bending energy, summed over the hinges (edge rows with both wings):
//
//   E_h = eta * |e_r|^2 / (A1 + A2) * (cos_d - cos_r)^2
//
// where cos_r and cos_d are the cosines of the angle between the two wing
// normals at rest and deformed, |e_r| the rest edge length and A1, A2 the rest
// wing areas. Rows with a missing wing, and hinges whose deformed wing normal
// is shorter than 1e-10, are skipped.
double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta);

// The bending energy, with its derivative added into `gradient` (which is not
// cleared). Only the rows a, b, c, d of evaluated hinges are touched.
double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient);

// Total energy and its gradient: the membrane term (which clears `gradient`),
// then the bending term added into the same array; returns bending + membrane.
// `gradient` must hold 3*nV doubles.
double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient);

// Total energy alone: the bending term first, the membrane term second,
// returning bending + membrane. Equal bit for bit to the value that
// shell_energy_and_gradient returns for the same input.
double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE);

// Which edge rows carry a bending term at the deformed positions: writes 1.0
// into valid_edges[i] where the bending kernels evaluate row i (a hinge whose
// two deformed wing normals are at least 1e-10 long, or NaN), 0.0 elsewhere.
// Only edges and deformed_v are read; source_vertices keeps the parameter
// order of the bending kernels.
void flag_valid_edges(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges);

}  // namespace lamina

#endif  // LAMINA_LAMINA_H
