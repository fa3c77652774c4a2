// A literal, straightforward implementation of the energy, gradient and mask
// kernels: every formula written out once, one row at a time, with nothing
// shared with the library's kernels. It is the tests' independent oracle and
// the benchmarks' yardstick; the library's kernels must return its bits.
#ifndef LAMINA_TESTS_REFERENCE_REFERENCE_H
#define LAMINA_TESTS_REFERENCE_REFERENCE_H

#include <cstdint>

namespace lamina {
namespace reference {

double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu);
double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient);
double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta);
double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient);
void flag_valid_edges(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges);
double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient);
double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE);

}  // namespace reference
}  // namespace lamina

#endif  // LAMINA_TESTS_REFERENCE_REFERENCE_H
