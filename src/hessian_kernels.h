// The stateless Hessian call on a chosen instruction-set path, for the MEX
// gateway (which builds the pattern with its host's allocator) and the
// public functions of <lamina/hessian.h>.
#ifndef LAMINA_KERNELS_HESSIAN_KERNELS_H
#define LAMINA_KERNELS_HESSIAN_KERNELS_H

#include <lamina/hessian.h>

#include <cstdint>

#include "assembly/hessian_sink.h"
#include "simd/isa.h"

namespace lamina {
namespace detail {

// The energy (returned), the gradient (3 nV doubles, column-major,
// overwritten) and the Hessian's values (positions.nnz() doubles,
// overwritten) in the pattern `positions` describes. Bit for bit, energy
// and gradient are those of shell_energy_and_gradient.
double shell_energy_gradient_hessian(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values);

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HESSIAN_KERNELS_H
