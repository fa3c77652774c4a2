// The membrane term's element: a face of the face table, three corners.
//
// Every row of the table is a face (rows are never skipped), and every face
// is evaluated. What the membrane models share of a face's deformation is
// its three deformed edges, edge k opposite corner k:
//
//   d0 = Q2 - Q1,  d1 = Q0 - Q2,  d2 = Q1 - Q0
//
// (the later corner minus the earlier one, cyclically); the rest edges e_k
// are formed the same way from the rest positions.
#ifndef LAMINA_KERNELS_TERMS_MEMBRANE_FACE_H
#define LAMINA_KERNELS_TERMS_MEMBRANE_FACE_H

#include <cstddef>
#include <cstdint>

#include "assembly/element.h"
#include "simd/index.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// Edge k runs between the two corners other than k: 2 - 1, 0 - 2, 1 - 0.
LAMINA_ALWAYS_INLINE void edges_of(vec3 p0, vec3 p1, vec3 p2, vec3 e[3]) {
  e[0] = p2 - p1;
  e[1] = p0 - p2;
  e[2] = p1 - p0;
}

struct face_element {
  static constexpr int vertices = 3;
  using lanes = element_lanes<3>;

  // Faces rows *j onward, before row `end`, of a column-major face table of
  // nF rows into up to W lanes; returns how many (0 when the range is
  // exhausted) and moves *j past them.
  template <int W>
  static LAMINA_ALWAYS_INLINE int collect(const double* faces, std::int32_t nF, std::int32_t* j,
                                          std::int32_t end, lanes& e) {
    const int n = end - *j < W ? end - *j : W;
    if (n <= 0) return 0;
    const std::ptrdiff_t s = nF;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const std::int32_t row = *j + (l < n ? l : 0);
      e.item[l] = e.row[l] = row;
      for (int k = 0; k < 3; ++k) e.v[k][l] = index_from_double(faces[row + k * s]);
    }
    *j += n;
    return n;
  }

  // The deformed edges of the collected faces.
  struct alignas(64) geometry {
    lane_vec3 d[3];
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void deformed(const lanes& e, geometry& g) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      vec3 d[3];
      edges_of(e.X[0][l], e.X[1][l], e.X[2][l], d);
      for (int k = 0; k < 3; ++k) g.d[k].set(l, d[k]);
    }
  }

  // Every face is evaluated.
  static LAMINA_ALWAYS_INLINE bool evaluated(const geometry&, int) { return true; }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_MEMBRANE_FACE_H
