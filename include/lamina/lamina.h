// lamina: the elastic energy of a thin shell given as a triangle mesh.
//
// A rest mesh (source_vertices, source_faces) is compared with a deformed
// copy (deformed_v: the same vertices at new positions). The energy is a
// membrane (stretching) term summed over the faces plus a bending term summed
// over the interior edges (hinges):
//
//   per face   A_r (mu/2 tr C + mu/4 det C - 3mu/4 L - 5mu/4)
//   per hinge  eta |e_r|^2 / (A1 + A2) (cos theta_d - cos theta_r)^2
//
// C is the right Cauchy-Green tensor of the affine map from the rest face
// onto the deformed face, A_r the rest area, L = log det C above det C =
// 1e-20 and its tangent line log(1e-20) + (det C - 1e-20)/1e-20 below, so
// that collapsed faces stay finite; |e_r| is the rest edge length, A1 and A2
// the rest areas of the two wings, theta the angle between the wing normals.
// A hinge whose deformed wing normal (twice the wing's area) is shorter than
// 1e-10 is skipped. That threshold is absolute: scale meshes to about unit
// size.
//
// Every function here is a plain function over raw column-major arrays, as
// MATLAB stores them:
//
//   vertex matrix  nV by 3: x of vertex i at [i], y at [i + nV], z at [i + 2 nV].
//                  The rest positions, the deformed positions and the
//                  gradient share this layout and the stride nV.
//   face table     nF by 3: the corners of face f at [f], [f + nF], [f + 2 nF].
//   edge table     nE by 4: row e holds (a, b, c, d) at [e], [e + nE],
//                  [e + 2 nE], [e + 3 nE]: the edge runs from a to b in the
//                  wing (a, b, c) and from b to a in the wing (b, a, d).
//                  build_edge_table (edge_table.h) builds it from the faces.
//
// Indices are 0-based doubles, truncated toward zero (2.9 is vertex 2, -0.7
// vertex 0). A c or d whose truncation is negative (at most -1, NaN, or
// beyond 32 bits) marks a missing wing: the row is a boundary edge and
// carries no bending term.
//
// The kernels allocate nothing, keep no state, never throw and check
// nothing: every index of a face, and of an edge row that is a hinge, must
// address a row 0 ... nV-1 (run check_shell of checks.h on input you did
// not build yourself). All sums run over the rows in table order, so results
// are reproducible bit for bit on every machine and instruction set; the
// energy-only kernels return exactly the energies of their gradient twins.
// Any number of threads may call them at once on shared inputs.
//
// For many evaluations of one mesh, lamina::shell (shell.h) keeps the rest
// side and gives the same bits faster.
#ifndef LAMINA_LAMINA_H
#define LAMINA_LAMINA_H

#include <lamina/bending.h>

#include <cstdint>

namespace lamina {

// The total energy and its gradient.
//
// Inputs:
//   deformed_v       nV by 3  deformed vertex positions
//   nV               number of vertices (rows of both vertex matrices)
//   mu               membrane stiffness (energy per area)
//   eta              bending stiffness (energy)
//   source_vertices  nV by 3  rest vertex positions
//   source_faces     nF by 3  corner indices of each face
//   nF               number of faces
//   edges            nE by 4  edge table
//   nE               number of edge rows
// Outputs:
//   gradient         nV by 3  (3 nV doubles, overwritten) dE/d deformed_v
// Returns the energy: bending + membrane.
double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient);

// The total energy alone, bit for bit the value shell_energy_and_gradient
// returns for the same input. Inputs as there.
double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE);

// The same two with a choice of bending model (bending.h), on `threads`
// threads: 0 for all cores (one on meshes of fewer than 16384 faces and edge
// rows), n >= 1 for at most n; a negative count throws
// std::invalid_argument. Every count gives the same bits; with
// bending_model::cosine they are exactly those of the two above. (These
// two, unlike every other function here, are in the lamina::shell library:
// their threads come from oneTBB.)
double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient, bending_model bending, int threads = 0);
double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending, int threads = 0);

// The membrane (stretching) term alone.
//
// Inputs:
//   source_faces     nF by 3  corner indices of each face
//   nF               number of faces
//   source_vertices  nV by 3  rest vertex positions
//   deformed_v       nV by 3  deformed vertex positions
//   nV               number of vertices
//   mu               membrane stiffness
// Returns the membrane energy. A face with zero rest area makes it NaN.
double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu);

// The membrane energy and its gradient. Inputs as membrane_energy.
// Outputs:
//   gradient         nV by 3  (3 nV doubles) set to 0.0 first (also when
//                    nF is 0), then each face's derivative added in face order
// Returns the membrane energy, bit for bit that of membrane_energy.
double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient);

// The bending term alone.
//
// Inputs:
//   edges            nE by 4  edge table
//   nE               number of edge rows
//   source_vertices  nV by 3  rest vertex positions
//   deformed_v       nV by 3  deformed vertex positions
//   nV               number of vertices
//   eta              bending stiffness
// Returns the bending energy of the hinges whose deformed wing normals are at
// least 1e-10 long (or NaN).
double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta);

// The bending energy and its gradient. Inputs as bending_energy.
// Outputs:
//   gradient         nV by 3  (3 nV doubles) each evaluated hinge's derivative
//                    ADDED, in row order, to what it holds; only the rows a,
//                    b, c, d of evaluated hinges are touched
// Returns the bending energy, bit for bit that of bending_energy.
double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient);

// Which edge rows carry a bending term at the deformed positions.
//
// Inputs:
//   edges            nE by 4  edge table
//   nE               number of edge rows
//   source_vertices  not read (kept for the bending kernels' parameter order)
//   deformed_v       nV by 3  deformed vertex positions
//   nV               number of vertices
// Outputs:
//   valid_edges      nE doubles: 1.0 where the bending kernels evaluate the
//                    row (a hinge whose two deformed wing normals are at
//                    least 1e-10 long, or NaN), 0.0 elsewhere
void flag_valid_edges(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges);

}  // namespace lamina

#endif  // LAMINA_LAMINA_H
