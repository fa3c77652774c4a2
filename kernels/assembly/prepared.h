// Element sources for a prepared shell: faces and hinges whose connectivity
// and rest side were stored once (see membrane_pass.h and bending_pass.h for
// what a source offers). They hand the passes exactly what the table sources
// compute on every call, so the passes return the same bits.
#ifndef LAMINA_KERNELS_PREPARED_H
#define LAMINA_KERNELS_PREPARED_H

#include <cstddef>
#include <cstdint>

#include "simd/lanes.h"
#include "terms/bending/hinge.h"
#include "terms/membrane/face.h"

namespace lamina {
namespace detail {

// Faces as structure-of-arrays: corners and rest side per face.
struct prepared_faces {
  std::int32_t nF;
  const std::int32_t* corner[3];
  const double* S_r;
  const double* A_r;
  const double* g[3];
  const double* c[3];  // the edge coefficients, for the shell's mu

  LAMINA_ALWAYS_INLINE std::int32_t count() const { return nF; }

  template <class Isa, int W, class Vertices>
  LAMINA_ALWAYS_INLINE void load(std::int32_t j0, int n, const Vertices& deformed, face_lanes& f,
                                 face_rest_lanes& r) const {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const std::ptrdiff_t j = j0 + (l < n ? l : 0);
      for (int k = 0; k < 3; ++k) f.corner[k][l] = corner[k][j];
      r.S_r[l] = S_r[j];
      r.A_r[l] = A_r[j];
      for (int k = 0; k < 3; ++k) r.g[k][l] = g[k][j];
    }
    lane_vec3 Q[3];
    gather_corner_positions<W>(f, deformed, Q);
    deformed_edges<W>(Q, f);
  }
  template <class Isa, int W>
  LAMINA_ALWAYS_INLINE void coefficients(std::int32_t j0, int n, double, face_rest_lanes& r) const {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const std::ptrdiff_t j = j0 + (l < n ? l : 0);
      for (int k = 0; k < 3; ++k) r.c[k][l] = c[k][j];
    }
  }
};

// The hinges of an edge table (its rows with both wings), in row order, with
// their rest side.
struct prepared_hinges {
  std::int32_t nH;
  const std::int32_t* row;  // the hinge's row in the edge table
  const std::int32_t* vertex[4];
  const double* cos_r;
  const double* w_h;

  // Collects up to W hinges, hinge *j onward; idle lanes repeat the first.
  template <int W>
  LAMINA_ALWAYS_INLINE int collect(std::int32_t* j, hinge_lanes& h) const {
    const int n = nH - *j < W ? nH - *j : W;
    for (int l = 0; l < W && n > 0; ++l) {
      const std::int32_t x = *j + (l < n ? l : 0);
      h.item[l] = x;
      h.row[l] = row[x];
      h.a[l] = vertex[0][x];
      h.b[l] = vertex[1][x];
      h.c[l] = vertex[2][x];
      h.d[l] = vertex[3][x];
    }
    *j += n > 0 ? n : 0;
    return n > 0 ? n : 0;
  }

  template <class Isa, int W>
  LAMINA_ALWAYS_INLINE void rest(const hinge_lanes& h, hinge_rest_lanes& r) const {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      r.cos_r[l] = cos_r[h.item[l]];
      r.w_h[l] = w_h[h.item[l]];
    }
  }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_PREPARED_H
