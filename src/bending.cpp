// The bending kernels of <lamina/lamina.h>: the cosine model's pass over an
// edge table, on the widest instruction set the processor has.
#include <lamina/lamina.h>

#include "assembly/terms.h"
#include "isa_paths.h"
#include "simd/isa.h"
#include "terms/bending/cosine/model.h"

namespace lamina {
namespace detail {

double bending_energy(isa path, const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta) {
  return dispatch<table_kernel<cosine_bending, mode::energy>>(
      path, edges, nE, source_vertices, deformed_v, nV, eta, static_cast<double*>(nullptr));
}

double bending_energy_and_gradient(isa path, const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient) {
  return dispatch<table_kernel<cosine_bending, mode::gradient>>(path, edges, nE, source_vertices,
                                                                deformed_v, nV, eta, gradient);
}

}  // namespace detail

double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta) {
  return detail::bending_energy(preferred_isa(), edges, nE, source_vertices, deformed_v, nV, eta);
}

double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient) {
  return detail::bending_energy_and_gradient(preferred_isa(), edges, nE, source_vertices,
                                             deformed_v, nV, eta, gradient);
}

}  // namespace lamina
