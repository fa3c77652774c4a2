// The membrane kernels of <lamina/lamina.h>: the neo-Hookean model's pass
// over a face table, on the widest instruction set the processor has.
#include <lamina/lamina.h>

#include <cstddef>

#include "assembly/terms.h"
#include "isa_paths.h"
#include "simd/isa.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace detail {

double membrane_energy(isa path, const double* source_faces, std::int32_t nF,
                       const double* source_vertices, const double* deformed_v, std::int32_t nV,
                       double mu) {
  return dispatch<table_kernel<neo_hookean_membrane, mode::energy>>(
      path, source_faces, nF, source_vertices, deformed_v, nV, mu, static_cast<double*>(nullptr));
}

double membrane_energy_and_gradient(isa path, const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient) {
  // The gradient is cleared here, also when there are no faces: the bending
  // term then only adds to it.
  const std::ptrdiff_t n = nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0;
  for (std::ptrdiff_t i = 0; i < n; ++i) gradient[i] = 0.0;
  return dispatch<table_kernel<neo_hookean_membrane, mode::gradient>>(
      path, source_faces, nF, source_vertices, deformed_v, nV, mu, gradient);
}

}  // namespace detail

double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu) {
  return detail::membrane_energy(preferred_isa(), source_faces, nF, source_vertices, deformed_v, nV,
                                 mu);
}

double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient) {
  return detail::membrane_energy_and_gradient(preferred_isa(), source_faces, nF, source_vertices,
                                              deformed_v, nV, mu, gradient);
}

}  // namespace lamina
