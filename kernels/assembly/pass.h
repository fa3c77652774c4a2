// The one pass every term runs: its elements evaluated kLanes at a time by
// its model, then added element after element, in the order of the source,
// into the total and the sink.
//
// A model (terms/<term>/<model>/model.h) declares
//
//   using element = face_element | hinge_element;   // its vertices, row test
//   using coefficients, rest_type; kRest, kEnergyRest;
//   rest<Isa, W, Mode>(P, k, rest)                  // rest quantities
//   energy<Isa, W>(e, geometry, rest, n, k, q)      // q.E: energy per lane
//   gradient<Isa, W>(e, geometry, rest, q, k, g)    // g.term[t]: added to
//                                                   // vertex term_vertex[t]
//   hessian<Isa, W>(e, geometry, rest, q, k, H)     // kHessianEntries per lane
//
// and a source (sources.h) which elements there are, with their vertices and
// rest side: a table read on every call, or a prepared shell's stored copy.
// The pass owns what every term shares: the blocking into lanes, the
// element test, the sums in order, the scatter of gradient terms, the PSD
// projection and the Hessian sink.
//
// Order. The total is summed from 0.0 element after element; each gradient
// term is added as term + old, in the model's term order within an element
// and element order across them (so a vertex named twice in one element
// receives both terms, one after the other); each Hessian entry receives
// its contributions in element order; the rest derivatives likewise. Lanes
// and instruction sets change nothing but speed.
//
// Sinks: a gradient layout (layouts.h) in mode::gradient; in
// mode::hessian one with .blocks (a block_sink, hessian_sink.h) and
// .project; in the rest modes one with .rest (a gradient layout for dE/dP)
// and, in mode::mixed, .blocks for the mixed blocks.
#ifndef LAMINA_KERNELS_ASSEMBLY_PASS_H
#define LAMINA_KERNELS_ASSEMBLY_PASS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "assembly/element.h"
#include "assembly/layouts.h"
#include "assembly/projection.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// The scratch of one block of elements.
template <class Model>
struct block_scratch {
  using element = typename Model::element;
  typename element::lanes e;
  typename element::geometry geo;
  typename Model::rest_type r;
  typename Model::energy_lanes q;
  typename Model::gradient_lanes g;
  typename Model::rest_gradient_lanes gx;
  lane_vec3 P[element::vertices];  // rest positions, where rest derivatives are formed
  alignas(64) lane_doubles H[Model::kHessianEntries];
};

// Adds lane l's gradient terms t, t+1, ... into the sink, in term order; two
// terms in a row for one vertex read and write its entries once (the same
// additions in the same order).
template <class Model, int t = 0, class Sink>
LAMINA_ALWAYS_INLINE void scatter_terms(const Sink& sink, const typename Model::element::lanes& e,
                                        const typename Model::gradient_lanes& g, int l) {
  constexpr int T = Model::kTerms;
  if constexpr (t < T) {
    constexpr int v = Model::term_vertex[t];
    if constexpr (t + 1 < T && Model::term_vertex[t + 1 < T ? t + 1 : t] == v) {
      sink.add2(e.v[v][l], g.term[t][l], g.term[t + 1][l]);
      scatter_terms<Model, t + 2>(sink, e, g, l);
    } else {
      sink.add(e.v[v][l], g.term[t][l]);
      scatter_terms<Model, t + 1>(sink, e, g, l);
    }
  }
}

// Where the pass puts each element's energy: summed from 0.0 in element
// order, or listed in element order (for a chunk of a threaded pass, whose
// sums are formed later in chunk order, chunks.h).
struct summed_energy {
  double total = 0.0;
  LAMINA_ALWAYS_INLINE void add(double E) { total = total + E; }
};

struct listed_energy {
  std::vector<double>* energies;
  LAMINA_ALWAYS_INLINE void add(double E) { energies->push_back(E); }
};

template <class Model, class Isa, mode Mode, class Source, class Vertices, class Sink,
          class Energy = summed_energy>
struct element_pass {
  using element = typename Model::element;
  static constexpr int M = element::vertices;

  const Source& source;
  const Vertices& deformed;
  const typename Model::coefficients& k;
  const Sink& sink;
  Energy energy;
  block_scratch<Model> s;  // filled before every use, so left uninitialised

  element_pass(const Source& source_, const Vertices& deformed_,
               const typename Model::coefficients& k_, const Sink& sink_, Energy energy_ = Energy())
      : source(source_), deformed(deformed_), k(k_), sink(sink_), energy(energy_) {}

  // The n elements collected in s.e, evaluated in W lanes, then added in
  // order.
  template <int W>
  LAMINA_ALWAYS_INLINE void block(int n) {
    source.template load<Isa, W, Mode>(deformed, k, s.e, s.r, s.P);
    element::template deformed<Isa, W>(s.e, s.geo);
    Model::template energy<Isa, W>(s.e, s.geo, s.r, n, k, s.q);
    if constexpr (Mode != mode::energy) {
      Model::template gradient<Isa, W>(s.e, s.geo, s.r, s.q, k, s.g);
    }
    if constexpr (Mode == mode::hessian) {
      Model::template hessian<Isa, W>(s.e, s.geo, s.r, s.q, k, s.H);
      project_blocks<Isa, M, W>(sink.project, s.H);
    }
    if constexpr (rest_derivatives_of(Mode)) {
      Model::template rest_derivatives<Isa, W, Mode == mode::mixed>(s.e, s.P, s.geo, s.r, s.q, k,
                                                                    s.gx, s.H);
    }
    for (int l = 0; l < n; ++l) {
      if (!element::evaluated(s.geo, l)) continue;
      energy.add(s.q.E[l]);
      if constexpr (Mode != mode::energy) scatter_terms<Model>(sink, s.e, s.g, l);
      if constexpr (rest_derivatives_of(Mode)) {
        for (int t = 0; t < Model::kRestTerms; ++t) {
          sink.rest.add(s.e.v[Model::rest_term_vertex[t]][l], s.gx.term[t][l]);
        }
      }
      if constexpr (Mode == mode::hessian || Mode == mode::mixed) {
        std::int32_t v[M];
        for (int i = 0; i < M; ++i) v[i] = s.e.v[i][l];
        sink.blocks.template add_block<M>(source.ranks(), s.e.item[l], v, s.H, l);
      }
    }
  }

  // The elements at positions begin ... end-1 of the source.
  LAMINA_ALWAYS_INLINE void run(std::int32_t begin, std::int32_t end) {
    std::int32_t j = begin;
    for (;;) {
      const std::int32_t start = j;
      if (source.template collect<kLanes>(&j, end, s.e) == kLanes) {
        block<kLanes>(kLanes);
        continue;
      }
      // The last elements one lane at a time: division and square root cost
      // the same per lane in a vector as alone, so idle lanes would be paid
      // for in full.
      for (j = start; source.template collect<1>(&j, end, s.e) == 1;) block<1>(1);
      return;
    }
  }
};

// The energy of the elements a source holds, their derivatives added into
// the sink unless Mode is mode::energy (nothing is cleared here).
template <class Model, class Isa, mode Mode, class Source, class Vertices, class Sink>
LAMINA_ALWAYS_INLINE double run_pass(const Source& source, const Vertices& deformed,
                                     const typename Model::coefficients& k, const Sink& sink) {
  element_pass<Model, Isa, Mode, Source, Vertices, Sink> p(source, deformed, k, sink);
  p.run(0, source.positions());
  return p.energy.total;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_PASS_H
