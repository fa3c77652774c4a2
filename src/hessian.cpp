// The stateless Hessian call: the membrane and bending passes in
// mode::hessian over the face and edge tables, their blocks assembled into a
// pattern found by bisection.
#include <cstddef>

#include "hessian_kernels.h"
#include "terms/bending/bending_pass.h"
#include "terms/membrane/membrane_pass.h"

namespace lamina {
namespace detail {
namespace {

using sink = hessian_sink<column_major_gradient, searched_ranks>;

struct hessian_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const double* deformed, std::int32_t nV, double mu,
                                         double eta, const double* rest, const double* faces,
                                         std::int32_t nF, const double* edges, std::int32_t nE,
                                         const sink* s) {
    const std::ptrdiff_t stride = nV;
    const column_major_vertices q{deformed, stride};
    // Membrane first (its gradient is cleared beforehand), bending second,
    // as shell_energy_and_gradient adds them.
    const double Em = nF > 0 ? membrane_term::pass<Isa, mode::hessian>(
                                   table_faces{faces, nF, {rest, stride}}, q, mu, *s)
                             : 0.0;
    const double Eb = nE > 0 ? bending_term::pass<Isa, mode::hessian>(
                                   table_hinges{edges, nE, {rest, stride}}, q, eta, *s)
                             : 0.0;
    return Eb + Em;
  }
};

}  // namespace

double shell_energy_gradient_hessian(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values) {
  const std::ptrdiff_t n = nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0;
  for (std::ptrdiff_t i = 0; i < n; ++i) gradient[i] = 0.0;
  for (std::int64_t i = 0; i < positions.nnz(); ++i) values[i] = 0.0;
  const sink s(column_major_gradient{gradient, nV}, positions, searched_ranks{positions.n}, project,
               values);
  return dispatch<hessian_kernel>(path, deformed_v, nV, mu, eta, source_vertices, source_faces, nF,
                                  edges, nE, &s);
}

}  // namespace detail
}  // namespace lamina
