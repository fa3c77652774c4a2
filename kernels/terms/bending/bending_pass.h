// The pass over the hinges: hinges evaluated kLanes at a time (hinge.h),
// rows with a degenerate deformed wing dropped after the arithmetic, energies
// summed and gradient contributions added hinge after hinge, in table order,
// to the rows c, d, a, a, b, b.
//
// Where the hinges come from is a parameter, so that the stateless kernels
// (an edge table and rest positions, read on every call) and a prepared shell
// (its hinges and their rest side stored once) run the same code:
//
//   struct Hinges {
//     // Collects up to W hinges from position *j on (see collect_hinges).
//     template <int W> int collect(std::int32_t* j, hinge_lanes& h) const;
//     // Their rest side.
//     template <class Isa, int W> void rest(const hinge_lanes& h, hinge_rest_lanes& r) const;
//   };
#ifndef LAMINA_KERNELS_BENDING_PASS_H
#define LAMINA_KERNELS_BENDING_PASS_H

#include <lamina/hessian.h>

#include <cstddef>
#include <cstdint>

#include "assembly/pass.h"
#include "assembly/projection.h"
#include "simd/lanes.h"
#include "terms/bending/hinge.h"
#include "terms/bending/hinge_hessian.h"

namespace lamina {
namespace detail {

// The hinges of a column-major edge table, with their rest side computed
// from the rest positions.
struct table_hinges {
  const double* edges;
  std::int32_t nE;
  column_major_vertices rest_positions;

  template <int W>
  LAMINA_ALWAYS_INLINE int collect(std::int32_t* j, hinge_lanes& h) const {
    return collect_hinges<W>(edges, nE, j, h);
  }
  template <class Isa, int W>
  LAMINA_ALWAYS_INLINE void rest(const hinge_lanes& h, hinge_rest_lanes& r) const {
    compute_rest_hinges<Isa, W>(rest_positions, h, r);
  }
};

using hinge_scratch = block_scratch<hinge_lanes, hinge_rest_lanes, hinge_energy_lanes,
                                    hinge_gradient_lanes, kHingeHessianEntries>;

// The Hessian blocks of the hinges in s, projected as asked.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void hinge_blocks(hinge_scratch& s, double eta, projection project) {
  hinge_hessian<Isa, W>(hinge_hessian_input_of<W>(s.e, s.r, s.q), eta, s.H);
  project_blocks<Isa, 4, W>(project, s.H);
}

// The n hinges collected in p.s.e, evaluated in W lanes, then added in order.
template <class Isa, mode Mode, int W, class State>
LAMINA_ALWAYS_INLINE void bending_block(State& p, int n) {
  hinge_scratch& s = p.s;
  const double eta = p.k;
  gather_hinge_positions<W>(p.deformed, s.e);
  p.source.template rest<Isa, W>(s.e, s.r);
  hinge_energy<Isa, W>(s.e, s.r, eta, s.q);
  if constexpr (Mode != mode::energy) hinge_gradient<Isa, W>(s.e, s.r, s.q, eta, s.g);
  if constexpr (Mode == mode::hessian) hinge_blocks<Isa, W>(s, eta, p.sink.project);
  for (int l = 0; l < n; ++l) {
    if (s.q.w.evaluated[l] == 0.0) continue;
    p.total = p.total + s.q.E[l];
    if constexpr (Mode != mode::energy) {
      // Each update reads the entry after the earlier ones of the hinge were
      // stored, so a vertex named twice (c equal to d, say) receives both.
      p.sink.add(s.e.c[l], s.g.term[0][l]);
      p.sink.add(s.e.d[l], s.g.term[1][l]);
      p.sink.add2(s.e.a[l], s.g.term[2][l], s.g.term[3][l]);
      p.sink.add2(s.e.b[l], s.g.term[4][l], s.g.term[5][l]);
    }
    if constexpr (Mode == mode::hessian) {
      const std::int32_t v[4] = {s.e.a[l], s.e.b[l], s.e.c[l], s.e.d[l]};
      p.sink.template add_block<4>(s.e.item[l], v, s.H, l);
    }
  }
}

// The bending term: the energy of the hinges a source holds, their
// derivative added into the sink unless Mode is mode::energy.
struct bending_term {
  using table = table_hinges;

  template <class Isa, mode Mode, class Hinges, class Vertices, class Sink>
  static LAMINA_ALWAYS_INLINE double pass(const Hinges& hinges, const Vertices& deformed,
                                          double eta, const Sink& sink) {
    pass_state<Hinges, Vertices, Sink, double, hinge_scratch> p(hinges, deformed, sink, eta);
    std::int32_t j = 0;
    for (;;) {
      const std::int32_t start = j;
      if (hinges.template collect<kLanes>(&j, p.s.e) == kLanes) {
        bending_block<Isa, Mode, kLanes>(p, kLanes);
        continue;
      }
      // The last hinges one lane at a time (see membrane_term).
      for (j = start; hinges.template collect<1>(&j, p.s.e) == 1;)
        bending_block<Isa, Mode, 1>(p, 1);
      return p.total;
    }
  }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_BENDING_PASS_H
