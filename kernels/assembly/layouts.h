// Where a pass reads positions from and adds gradients into: the
// column-major nV-by-3 matrices of the plug-ins, or x, y and z of a vertex
// side by side.
#ifndef LAMINA_KERNELS_ASSEMBLY_LAYOUTS_H
#define LAMINA_KERNELS_ASSEMBLY_LAYOUTS_H

#include <cstddef>
#include <cstdint>

#include "simd/lanes.h"

namespace lamina {
namespace detail {

// Where the vertex positions come from: the column-major nV-by-3 matrices the
// plug-ins receive (x of vertex i at [i], y at [i + nV], z at [i + 2 nV]), or
// a packed copy with x, y and z of a vertex side by side (one cache line
// instead of three per vertex).
struct column_major_vertices {
  const double* m;
  std::ptrdiff_t n;
  LAMINA_ALWAYS_INLINE vec3 operator()(std::int32_t i) const {
    return {m[i], m[i + n], m[i + 2 * n]};
  }
};

struct interleaved_vertices {
  const double* m;
  LAMINA_ALWAYS_INLINE vec3 operator()(std::int32_t i) const {
    const double* p = m + 3 * static_cast<std::ptrdiff_t>(i);
    return {p[0], p[1], p[2]};
  }
};

// Where the gradient goes, in the same two layouts. add() adds t to the
// three entries of vertex i, each as t + old, x before y before z; add2()
// adds t and then u, reading each entry once.
struct column_major_gradient {
  double* g;
  std::ptrdiff_t n;
  LAMINA_ALWAYS_INLINE void add(std::int32_t i, vec3 t) const {
    double* row = g + i;
    row[0] = t.x + row[0];
    row[n] = t.y + row[n];
    row[2 * n] = t.z + row[2 * n];
  }
  LAMINA_ALWAYS_INLINE void add2(std::int32_t i, vec3 t, vec3 u) const {
    double* row = g + i;
    const double x = u.x + (t.x + row[0]);
    const double y = u.y + (t.y + row[n]);
    const double z = u.z + (t.z + row[2 * n]);
    row[0] = x;
    row[n] = y;
    row[2 * n] = z;
  }
};

struct interleaved_gradient {
  double* g;
  LAMINA_ALWAYS_INLINE void add(std::int32_t i, vec3 t) const {
    double* p = g + 3 * static_cast<std::ptrdiff_t>(i);
    p[0] = t.x + p[0];
    p[1] = t.y + p[1];
    p[2] = t.z + p[2];
  }
  LAMINA_ALWAYS_INLINE void add2(std::int32_t i, vec3 t, vec3 u) const {
    double* p = g + 3 * static_cast<std::ptrdiff_t>(i);
    const double x = u.x + (t.x + p[0]);
    const double y = u.y + (t.y + p[1]);
    const double z = u.z + (t.z + p[2]);
    p[0] = x;
    p[1] = y;
    p[2] = z;
  }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_LAYOUTS_H
