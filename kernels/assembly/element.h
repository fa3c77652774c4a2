// What every term's element is to the assembly: M vertices (3 for a face,
// 4 for a hinge), for up to kLanes elements side by side.
//
// A term's element kind (terms/membrane/face.h, terms/bending/hinge.h)
// says which rows of its table are elements, gathers their vertices and
// forms the deformed geometry its models share; a model (one folder under
// terms/) computes from that its rest quantities, energy, gradient terms and
// Hessian block. The pass (pass.h) neither knows nor cares which term it
// runs.
#ifndef LAMINA_KERNELS_ASSEMBLY_ELEMENT_H
#define LAMINA_KERNELS_ASSEMBLY_ELEMENT_H

#include <cstdint>

#include "simd/lanes.h"

namespace lamina {
namespace detail {

// Up to kLanes elements: their place in the sequence the pass walks (the
// table row for a table, the element number for a prepared shell), their
// row in the table they came from, their vertices and the vertices'
// deformed positions. Idle lanes repeat lane 0, so that every lane holds
// finite values read from valid rows.
template <int M>
struct alignas(64) element_lanes {
  static constexpr int vertices = M;
  lane_indices item, row;
  lane_indices v[M];
  lane_vec3 X[M];
};

// Fills the idle lanes n ... W-1 with lane 0.
template <int M, int W>
LAMINA_ALWAYS_INLINE void repeat_first(int n, element_lanes<M>& e) {
  for (int l = n; l < W && n > 0; ++l) {
    e.item[l] = e.item[0];
    e.row[l] = e.row[0];
    for (int k = 0; k < M; ++k) e.v[k][l] = e.v[k][0];
  }
}

// The deformed positions of the collected elements. The loads stay apart
// from the arithmetic, so that the arithmetic's loops vectorise on every
// path.
template <int W, int M, class Vertices>
LAMINA_ALWAYS_INLINE void gather_positions(const Vertices& deformed, element_lanes<M>& e) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int k = 0; k < M; ++k) e.X[k].set(l, deformed(e.v[k][l]));
  }
}

// The same with the rest positions P of the same vertices, in one loop (so
// that each index is taken out of its vector once).
template <int W, int M, class Rest, class Vertices>
LAMINA_ALWAYS_INLINE void gather_positions(const Rest& rest, lane_vec3 (&P)[M],
                                           const Vertices& deformed, element_lanes<M>& e) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int k = 0; k < M; ++k) {
      P[k].set(l, rest(e.v[k][l]));
      e.X[k].set(l, deformed(e.v[k][l]));
    }
  }
}

// A model's rest quantities, one lane array per quantity.
template <int K>
struct alignas(64) rest_lanes {
  lane_doubles q[K];
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_ELEMENT_H
