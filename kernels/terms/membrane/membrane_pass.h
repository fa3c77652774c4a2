// The pass over the faces: faces evaluated kLanes at a time (face.h), their
// energies summed and their gradient contributions added face after face, in
// table order, corner 0, 1, 2 within a face.
//
// Where the faces come from is a parameter, so that the stateless kernels
// (a face table and rest positions, read on every call) and a prepared shell
// (corners and rest quantities stored once) run the same code:
//
//   struct Faces {
//     std::int32_t count() const;
//     template <class Isa, int W, class Vertices>
//     void load(std::int32_t j0, int n, const Vertices& deformed, face_lanes& f,
//               face_rest_lanes& r) const;
//   };
//
//     template <class Isa, int W>
//     void coefficients(std::int32_t j0, int n, double neg_mu4, face_rest_lanes& r) const;
//
// count() gives the number of faces; load() fills the corners and deformed
// edges of faces j0 ... j0+n-1 (idle lanes repeating face j0) and their rest
// side; coefficients() the trace part's edge coefficients of those faces,
// which only the derivatives need.
#ifndef LAMINA_KERNELS_MEMBRANE_PASS_H
#define LAMINA_KERNELS_MEMBRANE_PASS_H

#include <lamina/hessian.h>

#include <cstddef>
#include <cstdint>

#include "assembly/pass.h"
#include "assembly/projection.h"
#include "simd/lanes.h"
#include "terms/membrane/face.h"
#include "terms/membrane/face_hessian.h"

namespace lamina {
namespace detail {

// The faces of a column-major face table, with their rest side computed from
// the rest positions.
struct table_faces {
  const double* faces;
  std::int32_t nF;
  column_major_vertices rest;

  LAMINA_ALWAYS_INLINE std::int32_t count() const { return nF; }

  template <class Isa, int W, class Vertices>
  LAMINA_ALWAYS_INLINE void load(std::int32_t j0, int n, const Vertices& deformed, face_lanes& f,
                                 face_rest_lanes& r) const {
    gather_corners<W>(faces, nF, j0, n, f);
    lane_vec3 P[3], Q[3];
    gather_corner_positions<W>(f, rest, P, deformed, Q);
    deformed_edges<W>(Q, f);
    rest_faces<Isa, W>(P, r);
  }
  // The edge coefficients, where derivatives are formed.
  template <class Isa, int W>
  LAMINA_ALWAYS_INLINE void coefficients(std::int32_t, int, double neg_mu4,
                                         face_rest_lanes& r) const {
    edge_coefficients<Isa, W>(neg_mu4, r);
  }
};

using face_scratch = block_scratch<face_lanes, face_rest_lanes, face_energy_lanes,
                                   face_gradient_lanes, kFaceHessianEntries>;

// The Hessian blocks of the faces in s, projected as asked.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void face_blocks(face_scratch& s, double mu, projection project) {
  face_hessian<Isa, W>(face_hessian_input_of<W>(s.e, s.r, s.q), face_hessian_coefficients(mu), s.H);
  project_blocks<Isa, 3, W>(project, s.H);
}

// Faces j0 ... j0+n-1, evaluated in W lanes, then added in order.
template <class Isa, mode Mode, int W, class State>
LAMINA_ALWAYS_INLINE void membrane_block(State& p, std::int32_t j0, int n) {
  face_scratch& s = p.s;
  p.source.template load<Isa, W>(j0, n, p.deformed, s.e, s.r);
  face_energy<Isa, W>(s.e, s.r, n, p.k, s.q);
  if constexpr (Mode != mode::energy) {
    p.source.template coefficients<Isa, W>(j0, n, p.k.neg_mu4, s.r);
    face_gradient<Isa, W>(s.e, s.r, s.q, p.k, s.g);
  }
  if constexpr (Mode == mode::hessian) face_blocks<Isa, W>(s, p.k.mu, p.sink.project);
  for (int l = 0; l < n; ++l) {
    p.total = p.total + s.q.E[l];
    if constexpr (Mode != mode::energy) {
      for (int corner = 0; corner < 3; ++corner) {
        p.sink.add(s.e.corner[corner][l], s.g.corner[corner][l]);
      }
    }
    if constexpr (Mode == mode::hessian) {
      const std::int32_t v[3] = {s.e.corner[0][l], s.e.corner[1][l], s.e.corner[2][l]};
      p.sink.template add_block<3>(j0 + l, v, s.H, l);
    }
  }
}

// The membrane term: the energy of the faces a source holds, their
// derivative added into the sink unless Mode is mode::energy (the gradient is
// not cleared here).
struct membrane_term {
  using table = table_faces;

  template <class Isa, mode Mode, class Faces, class Vertices, class Sink>
  static LAMINA_ALWAYS_INLINE double pass(const Faces& faces, const Vertices& deformed, double mu,
                                          const Sink& sink) {
    const std::int32_t nF = faces.count();
    if (nF <= 0) return 0.0;
    pass_state<Faces, Vertices, Sink, membrane_coefficients, face_scratch> p(
        faces, deformed, sink, membrane_coefficients(mu));
    std::int32_t j0 = 0;
    for (; nF - j0 >= kLanes; j0 += kLanes) membrane_block<Isa, Mode, kLanes>(p, j0, kLanes);
    // The last faces one lane at a time: division and square root cost the
    // same per lane in a vector as alone, so idle lanes would be paid for in
    // full.
    for (; j0 < nF; ++j0) membrane_block<Isa, Mode, 1>(p, j0, 1);
    return p.total;
  }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_MEMBRANE_PASS_H
