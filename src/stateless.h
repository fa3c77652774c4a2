// The stateless shell calls' one-thread pass: the membrane term and the
// chosen bending term over the face and edge tables, on one instruction
// set, into any sink (shared by hessian.cpp, which the Hessian plug-in
// compiles, and the threaded calls of stateless_threads.cpp).
#ifndef LAMINA_SRC_STATELESS_H
#define LAMINA_SRC_STATELESS_H

#include <lamina/bending.h>

#include <cstddef>
#include <cstdint>

#include "assembly/hessian_sink.h"
#include "assembly/layouts.h"
#include "assembly/pattern.h"
#include "assembly/terms.h"
#include "simd/isa.h"
#include "terms/bending/models.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace detail {

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

// The arguments every stateless call shares.
struct stateless_args {
  isa path;
  bending_model bending;
  const double* deformed;
  std::int32_t nV;
  double mu, eta;
  const double *rest, *faces;
  std::int32_t nF;
  const double* edges;
  std::int32_t nE;
};

// One thread: arrays cleared in a loop, the pass run as one.
struct one_thread {
  void clear(double* a, std::ptrdiff_t n) const {
    for (std::ptrdiff_t i = 0; i < n; ++i) a[i] = 0.0;
  }
  template <mode Mode, class Sink>
  double pass(const stateless_args& a, const Sink& sink, const vertex_neighbours*) const {
    return run_shell<Mode>(a.path, a.bending, a.deformed, a.nV, a.mu, a.eta, a.rest, a.faces, a.nF,
                           a.edges, a.nE, sink);
  }
};

// The calls, on a runner: one_thread, or the chunks of stateless_threads.cpp
// (pairs: the pattern, for the runner's ownership of vertex pairs).
template <class Runner>
double energy_call(const Runner& run, const stateless_args& a) {
  return run.template pass<mode::energy>(a, column_major_gradient{nullptr, a.nV}, nullptr);
}

template <class Runner>
double gradient_call(const Runner& run, const stateless_args& a, double* gradient) {
  run.clear(gradient, a.nV > 0 ? 3 * static_cast<std::ptrdiff_t>(a.nV) : 0);
  return run.template pass<mode::gradient>(a, column_major_gradient{gradient, a.nV}, nullptr);
}

template <class Runner>
double hessian_call(const Runner& run, const stateless_args& a, projection project,
                    const csc_positions& positions, double* gradient, double* values) {
  run.clear(gradient, a.nV > 0 ? 3 * static_cast<std::ptrdiff_t>(a.nV) : 0);
  run.clear(values, positions.nnz());
  const hessian_sink<column_major_gradient, same_vertices> s(
      column_major_gradient{gradient, a.nV}, positions, same_vertices{}, project, values);
  return run.template pass<mode::hessian>(a, s, positions.n);
}

template <class Runner>
double rest_call(const Runner& run, const stateless_args& a, double* gradient,
                 double* rest_gradient, const csc_positions* positions, double* mixed_values) {
  const std::ptrdiff_t n = a.nV > 0 ? 3 * static_cast<std::ptrdiff_t>(a.nV) : 0;
  run.clear(gradient, n);
  run.clear(rest_gradient, n);
  static const vertex_neighbours none;
  const rest_sink<column_major_gradient, same_vertices> s(
      column_major_gradient{gradient, a.nV}, column_major_gradient{rest_gradient, a.nV},
      {positions != nullptr ? *positions : csc_positions{&none, hessian_layout::column_major},
       same_vertices{}, mixed_values});
  if (positions != nullptr && mixed_values != nullptr) {
    run.clear(mixed_values, positions->nnz());
    return run.template pass<mode::mixed>(a, s, positions->n);
  }
  return run.template pass<mode::rest_gradient>(a, s, nullptr);
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_SRC_STATELESS_H
