// The stateless shell calls with a bending model: the membrane term and the
// chosen bending term over the face and edge tables, their derivatives
// added into a column-major gradient and, for the Hessian, their blocks
// assembled into a pattern found by bisection.
#include <lamina/lamina.h>

#include <cstddef>

#include "assembly/terms.h"
#include "hessian_kernels.h"
#include "terms/bending/models.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace detail {
namespace {

using hessian_sink_type = hessian_sink<column_major_gradient, same_vertices>;
using rest_sink_type = rest_sink<column_major_gradient, same_vertices>;

template <class Bending, mode Mode, class Sink>
struct shell_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const double* deformed, std::int32_t nV, double mu,
                                         double eta, const double* rest, const double* faces,
                                         std::int32_t nF, const double* edges, std::int32_t nE,
                                         const Sink* s) {
    const std::ptrdiff_t stride = nV;
    const table_source<neo_hookean_membrane> f{faces, nF > 0 ? nF : 0, {rest, stride}};
    const table_source<Bending> h{edges, nE > 0 ? nE : 0, {rest, stride}};
    return shell_terms<neo_hookean_membrane, Bending, Isa, Mode>(
        f, h, column_major_vertices{deformed, stride}, mu, eta, *s);
  }
};

template <mode Mode, class Sink>
double run_shell(isa path, bending_model bending, const double* deformed, std::int32_t nV,
                 double mu, double eta, const double* rest, const double* faces, std::int32_t nF,
                 const double* edges, std::int32_t nE, const Sink& sink) {
  return with_bending_model(bending, [&](auto model) {
    using kernel = shell_kernel<decltype(model), Mode, Sink>;
    return dispatch<kernel>(path, deformed, nV, mu, eta, rest, faces, nF, edges, nE, &sink);
  });
}

void clear(double* a, std::ptrdiff_t n) {
  for (std::ptrdiff_t i = 0; i < n; ++i) a[i] = 0.0;
}

}  // namespace

double shell_energy_gradient_hessian(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values, bending_model bending) {
  clear(gradient, nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0);
  clear(values, positions.nnz());
  const hessian_sink_type s(column_major_gradient{gradient, nV}, positions, same_vertices{},
                            project, values);
  return run_shell<mode::hessian>(path, bending, deformed_v, nV, mu, eta, source_vertices,
                                  source_faces, nF, edges, nE, s);
}

double shell_energy(isa path, const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending) {
  const column_major_gradient none{nullptr, nV};
  return run_shell<mode::energy>(path, bending, deformed_v, nV, mu, eta, source_vertices,
                                 source_faces, nF, edges, nE, none);
}

double shell_energy_and_gradient(isa path, const double* deformed_v, std::int32_t nV, double mu,
                                 double eta, const double* source_vertices,
                                 const double* source_faces, std::int32_t nF, const double* edges,
                                 std::int32_t nE, double* gradient, bending_model bending) {
  clear(gradient, nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0);
  const column_major_gradient sink{gradient, nV};
  return run_shell<mode::gradient>(path, bending, deformed_v, nV, mu, eta, source_vertices,
                                   source_faces, nF, edges, nE, sink);
}

double shell_rest_derivatives(isa path, const double* deformed_v, std::int32_t nV, double mu,
                              double eta, const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const csc_positions* positions, double* mixed_values,
                              bending_model bending) {
  const std::ptrdiff_t n = nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0;
  clear(gradient, n);
  clear(rest_gradient, n);
  const vertex_neighbours none;
  const rest_sink_type s(
      column_major_gradient{gradient, nV}, column_major_gradient{rest_gradient, nV},
      {positions != nullptr ? *positions : csc_positions{&none, hessian_layout::column_major},
       same_vertices{}, mixed_values});
  if (positions != nullptr && mixed_values != nullptr) {
    clear(mixed_values, positions->nnz());
    return run_shell<mode::mixed>(path, bending, deformed_v, nV, mu, eta, source_vertices,
                                  source_faces, nF, edges, nE, s);
  }
  return run_shell<mode::rest_gradient>(path, bending, deformed_v, nV, mu, eta, source_vertices,
                                        source_faces, nF, edges, nE, s);
}

}  // namespace detail

double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient, bending_model bending) {
  return detail::shell_energy_and_gradient(preferred_isa(), deformed_v, nV, mu, eta,
                                           source_vertices, source_faces, nF, edges, nE, gradient,
                                           bending);
}

double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending) {
  return detail::shell_energy(preferred_isa(), deformed_v, nV, mu, eta, source_vertices,
                              source_faces, nF, edges, nE, bending);
}

}  // namespace lamina
