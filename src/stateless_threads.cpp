// The stateless shell calls of the public API with a bending model and a
// thread count: one thread through the calls of hessian.cpp, several
// through the chunks of assembly/chunks.h, with the one-thread bits either
// way. Each call works out the ownership of the tables' chunks afresh (a
// prepared shell keeps it).
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/rest.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "assembly/chunks.h"
#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "stateless.h"

namespace lamina {
namespace detail {

// What the public calls need of a pattern's private parts.
struct pattern_access {
  static vertex_neighbours view(const hessian_pattern& p) {
    vertex_neighbours n;
    n.nV = p.nV_;
    n.total = p.first_.empty() ? 0 : p.first_.back();
    n.first = const_cast<std::int64_t*>(p.first_.data());
    n.neighbour = const_cast<std::int32_t*>(p.neighbour_.data());
    return n;
  }
  static hessian_layout layout(const hessian_pattern& p) { return p.layout_; }
};

namespace {

// Several threads: arrays cleared in pieces, each term's pass in chunks.
struct chunk_runner {
  int threads;
  void clear(double* a, std::ptrdiff_t n) const {
    split(threads, n > 0 ? static_cast<std::size_t>(n) : 0, [a](std::size_t b, std::size_t e) {
      for (std::size_t i = b; i < e; ++i) a[i] = 0.0;
    });
  }
  template <mode Mode, class Sink>
  double pass(const stateless_args& a, const Sink& sink, const vertex_neighbours* pairs) const {
    if (threads <= 1) return one_thread{}.pass<Mode>(a, sink, pairs);
    const column_major_vertices q{a.deformed, a.nV};
    chunk_slots slots;
    // Each term's chunks and their ownership (not needed for the energy
    // alone, which adds into nothing).
    const auto run = [&](const auto& source, const auto& k, auto model) {
      using Model = decltype(model);
      chunk_ownership own;
      if (Mode != mode::energy) own_chunks(source, a.nV, pairs, same_vertices{}, threads, own);
      return chunked_pass<Model, Mode>(a.path, source, q, k, sink, own, threads, slots);
    };
    const double Em =
        run(table_source<neo_hookean_membrane>{a.faces, std::max(a.nF, 0), {a.rest, a.nV}},
            membrane_coefficients(a.mu), neo_hookean_membrane{});
    const double Eb = with_bending_model(a.bending, [&](auto model) {
      using Bending = decltype(model);
      return run(table_source<Bending>{a.edges, std::max(a.nE, 0), {a.rest, a.nV}},
                 typename Bending::coefficients(a.eta), model);
    });
    return Eb + Em;
  }
};

chunk_runner runner(int threads, std::int32_t nF, std::int32_t nE) {
  if (threads < 0) {
    throw std::invalid_argument("lamina: threads must be 0 (all cores) or a positive count, not " +
                                std::to_string(threads));
  }
  return {threads_for(threads, static_cast<std::int64_t>(std::max(nF, 0)) + std::max(nE, 0),
                      std::max(chunks_of(std::max(nF, 0), chunking<face_element>::positions),
                               chunks_of(std::max(nE, 0), chunking<hinge_element>::positions)))};
}

stateless_args args(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending) {
  return {preferred_isa(), bending,      deformed_v, nV,    mu, eta,
          source_vertices, source_faces, nF,         edges, nE};
}

}  // namespace

double shell_energy_gradient_hessian(const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const csc_positions& positions, double* gradient,
                                     double* values, bending_model bending, int threads) {
  return hessian_call(
      runner(threads, nF, nE),
      args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending), project,
      positions, gradient, values);
}

double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const csc_positions* positions, double* mixed_values,
                              bending_model bending, int threads) {
  return rest_call(
      runner(threads, nF, nE),
      args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending),
      gradient, rest_gradient, mixed_values != nullptr ? positions : nullptr, mixed_values);
}

}  // namespace detail

double shell_energy(const double* deformed_v, std::int32_t nV, double mu, double eta,
                    const double* source_vertices, const double* source_faces, std::int32_t nF,
                    const double* edges, std::int32_t nE, bending_model bending, int threads) {
  return detail::energy_call(
      detail::runner(threads, nF, nE),
      detail::args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending));
}

double shell_energy_and_gradient(const double* deformed_v, std::int32_t nV, double mu, double eta,
                                 const double* source_vertices, const double* source_faces,
                                 std::int32_t nF, const double* edges, std::int32_t nE,
                                 double* gradient, bending_model bending, int threads) {
  return detail::gradient_call(
      detail::runner(threads, nF, nE),
      detail::args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending),
      gradient);
}

double shell_energy_gradient_hessian(const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const hessian_pattern& pattern, double* gradient,
                                     double* values, bending_model bending, int threads) {
  using A = detail::pattern_access;
  const detail::vertex_neighbours n = A::view(pattern);
  return detail::hessian_call(
      detail::runner(threads, nF, nE),
      detail::args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending),
      project, detail::csc_positions{&n, A::layout(pattern)}, gradient, values);
}

double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const hessian_pattern* pattern, double* mixed_values,
                              bending_model bending, int threads) {
  using A = detail::pattern_access;
  const detail::stateless_args a =
      detail::args(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges, nE, bending);
  if (pattern == nullptr || mixed_values == nullptr) {
    return detail::rest_call(detail::runner(threads, nF, nE), a, gradient, rest_gradient, nullptr,
                             nullptr);
  }
  const detail::vertex_neighbours n = A::view(*pattern);
  const detail::csc_positions positions{&n, A::layout(*pattern)};
  return detail::rest_call(detail::runner(threads, nF, nE), a, gradient, rest_gradient, &positions,
                           mixed_values);
}

}  // namespace lamina
