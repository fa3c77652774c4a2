// The bending term's element: a hinge, an edge row (a, b, c, d) with both
// wings present, and the row test that every bending model and the
// valid-edge mask share, so that the mask cannot drift from the rows the
// energy evaluates.
//
// The wings are (a, b, c), in which the edge runs from a to b, and (b, a, d).
// With every difference taken from vertex a, the wing normals are
//
//   N1 = e x (Q_c - Q_a),  N2 = (Q_d - Q_a) x e,  e = Q_b - Q_a
//
// (pointing to the same side on a consistently oriented mesh, so that a flat
// hinge has N1 . N2 > 0); R1 and R2 are the same on the rest positions. A
// row is a hinge when both c and d truncate to non-negative indices; a
// missing wing (negative, NaN or beyond int32) skips the row with only c and
// d read. A hinge is evaluated when neither deformed normal is shorter than
// 1e-10: the tests are strict, and a NaN length passes, so that NaN
// coordinates reach the energy instead of being silently dropped.
#ifndef LAMINA_KERNELS_TERMS_BENDING_HINGE_H
#define LAMINA_KERNELS_TERMS_BENDING_HINGE_H

#include <cstddef>
#include <cstdint>

#include "assembly/element.h"
#include "simd/index.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// A deformed wing normal shorter than this marks a degenerate triangle.
constexpr double kWingNormalFloor = 1e-10;

// The two wing normals of a hinge, on rest or deformed positions alike.
struct wing_normals {
  vec3 N1, N2;
};

LAMINA_ALWAYS_INLINE wing_normals wings_of(vec3 pa, vec3 pb, vec3 pc, vec3 pd) {
  const vec3 e = pb - pa;
  return {cross(e, pc - pa), cross(pd - pa, e)};
}

struct hinge_element {
  static constexpr int vertices = 4;
  using lanes = element_lanes<4>;

  // Collects up to W hinges, rows *j onward of a column-major edge table, into
  // lanes (vertices a, b, c, d) and returns how many (0 when the table is
  // exhausted); *j ends past the last row examined.
  template <int W>
  static LAMINA_ALWAYS_INLINE int collect(const double* edges, std::int32_t nE, std::int32_t* j,
                                          lanes& h) {
    const std::ptrdiff_t s = nE;
    int n = 0;
    for (; *j < nE && n < W; ++*j) {
      const std::int32_t c = index_from_double(edges[*j + 2 * s]);
      const std::int32_t d = index_from_double(edges[*j + 3 * s]);
      if ((c < d ? c : d) < 0) continue;
      h.row[n] = h.item[n] = *j;
      h.v[2][n] = c;
      h.v[3][n] = d;
      h.v[0][n] = index_from_double(edges[*j]);
      h.v[1][n] = index_from_double(edges[*j + s]);
      ++n;
    }
    repeat_first<4, W>(n, h);
    return n;
  }

  // The deformed wing normals, their lengths, and whether the row is
  // evaluated.
  struct alignas(64) geometry {
    lane_vec3 N1, N2;
    lane_doubles lN1, lN2;
    lane_doubles evaluated;  // 1.0 or 0.0 (a double, so that it shares the lanes' width)
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void deformed(const lanes& h, geometry& w) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const wing_normals N = wings_of(h.X[0][l], h.X[1][l], h.X[2][l], h.X[3][l]);
      w.N1.set(l, N.N1);
      w.N2.set(l, N.N2);
      w.lN1[l] = length<Isa>(N.N1);
      w.lN2[l] = length<Isa>(N.N2);
      const double first = w.lN1[l] < kWingNormalFloor ? 0.0 : 1.0;
      w.evaluated[l] = w.lN2[l] < kWingNormalFloor ? 0.0 : first;
    }
  }

  static LAMINA_ALWAYS_INLINE bool evaluated(const geometry& w, int l) {
    return w.evaluated[l] != 0.0;
  }
};

// The weight every bending model gives a hinge, from its rest side:
// w_h = |e_r|^2 / (|R1|/2 + |R2|/2), the squared rest edge length over the
// sum of the two rest wing areas. Nothing is tested and nothing guarded: a
// degenerate rest hinge yields NaN or infinity.
template <class Isa>
LAMINA_ALWAYS_INLINE double hinge_weight(vec3 e_r, double lR1, double lR2) {
  return lane_div<Isa>(dot(e_r, e_r), 0.5 * lR2 + 0.5 * lR1);
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_BENDING_HINGE_H
