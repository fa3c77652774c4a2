// The stateless shell calls with a bending model on one thread, on a chosen
// instruction set (stateless.h): what the Hessian plug-in compiles, and
// what stateless_threads.cpp runs where one thread is asked for.
#include <cstddef>

#include "hessian_kernels.h"
#include "stateless.h"

namespace lamina {
namespace detail {
double shell_energy_gradient_hessian(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values, bending_model bending) {
  return hessian_call(
      one_thread{},
      {path, bending, deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE},
      project, positions, gradient, values);
}

double shell_energy(isa path, const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending) {
  return energy_call(one_thread{}, {path, bending, deformed_v, nV, mu, eta, source_vertices,
                                    source_faces, nF, edges, nE});
}

double shell_energy_and_gradient(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                 double eta, const double* source_vertices,
                                 const double* source_faces, std::int32_t nF, const double* edges,
                                 std::int32_t nE, double* gradient, bending_model bending) {
  return gradient_call(
      one_thread{},
      {path, bending, deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE},
      gradient);
}

double shell_rest_derivatives(isa path, const double* deformed_v, std::int32_t nV, double mu,
                              double eta, const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const csc_positions* positions, double* mixed_values,
                              bending_model bending) {
  return rest_call(
      one_thread{},
      {path, bending, deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE},
      gradient, rest_gradient, positions, mixed_values);
}

}  // namespace detail
}  // namespace lamina
