// The total shell energy: membrane term plus bending term.
#include <lamina/lamina.h>

namespace lamina {

double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient) {
  // Only the membrane kernel clears the gradient, so it must run first.
  const double Em =
      membrane_energy_and_gradient(source_faces, nF, source_vertices, deformed_v, nV, mu, gradient);
  const double Eb =
      bending_energy_and_gradient(edges, nE, source_vertices, deformed_v, nV, eta, gradient);
  return Eb + Em;
}

double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE) {
  const double Eb = bending_energy(edges, nE, source_vertices, deformed_v, nV, eta);
  const double Em = membrane_energy(source_faces, nF, source_vertices, deformed_v, nV, mu);
  return Eb + Em;
}

}  // namespace lamina
