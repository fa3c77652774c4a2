// The kernels of lamina.h on a chosen instruction-set path. The public
// kernels take the widest path the processor supports; tests call every
// supported path to check that all give the same bits. Calling a path the
// processor lacks is undefined (an illegal instruction).
#ifndef LAMINA_KERNELS_ISA_PATHS_H
#define LAMINA_KERNELS_ISA_PATHS_H

#include <cstdint>

#include "simd/isa.h"

namespace lamina {
namespace detail {

double membrane_energy(isa path, const double* source_faces, std::int32_t nF,
                       const double* source_vertices, const double* deformed_v, std::int32_t nV,
                       double mu);
double membrane_energy_and_gradient(isa path, const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient);
double bending_energy(isa path, const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta);
double bending_energy_and_gradient(isa path, const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient);
void flag_valid_edges(isa path, const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges);

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ISA_PATHS_H
