// The stateless shell calls with a choice of bending model, on a chosen
// instruction-set path: the Hessian for the MEX gateway (which builds the
// pattern with its host's allocator) and the public functions of
// <lamina/hessian.h>; the energy and its gradient for the public overloads of
// <lamina/lamina.h> that take a bending model.
#ifndef LAMINA_KERNELS_HESSIAN_KERNELS_H
#define LAMINA_KERNELS_HESSIAN_KERNELS_H

#include <lamina/bending.h>
#include <lamina/hessian.h>

#include <cstdint>

#include "assembly/hessian_sink.h"
#include "simd/isa.h"

namespace lamina {
namespace detail {

// The energy (returned), the gradient (3 nV doubles, column-major,
// overwritten) and the Hessian's values (positions.nnz() doubles,
// overwritten) in the pattern `positions` describes. Bit for bit, energy
// and gradient are those of shell_energy_and_gradient with the same model.
double shell_energy_gradient_hessian(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values, bending_model bending = bending_model::cosine);

// The energy, and the energy with its gradient (3 nV doubles, column-major,
// overwritten). With the cosine model, bit for bit shell_energy and
// shell_energy_and_gradient.
double shell_energy(isa path, const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending);
double shell_energy_and_gradient(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                 double eta, const double* source_vertices,
                                 const double* source_faces, std::int32_t nF, const double* edges,
                                 std::int32_t nE, double* gradient, bending_model bending);

// The rest derivatives (rest.h): energy, gradient and rest gradient (3 nV
// doubles each, column-major, overwritten) and, where positions is not null,
// the mixed Hessian's values in that pattern (overwritten).
double shell_rest_derivatives(isa path, const double* deformed_v, std::int32_t nV, double mu,
                              double eta, const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const csc_positions* positions, double* mixed_values,
                              bending_model bending);

// The Hessian and the rest derivatives into a pattern the caller built (the
// MEX and Octave gateways, with their host's allocator) on `threads` threads
// as the public calls count them (0: all cores, one on small meshes), with
// the one-thread bits. Part of the shell group (stateless_threads.cpp); a
// negative count throws std::invalid_argument.
double shell_energy_gradient_hessian(const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values, bending_model bending, int threads);
double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const csc_positions* positions, double* mixed_values,
                              bending_model bending, int threads);

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HESSIAN_KERNELS_H
