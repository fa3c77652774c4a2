// Rows evaluated side by side, and the arithmetic every kernel is written in.
//
// The kernels gather up to kLanes faces (or hinges) into structure-of-arrays
// buffers on the stack, do the arithmetic in loops over the lanes that the
// compiler turns into vector instructions, and then add the results into the
// energy and the gradient one row after another, in table order. Every lane
// performs the same IEEE operations in the same order as a lone row would,
// so the blocking changes speed, never bits. Branches inside a lane become
// selects between values that are both computed; a division or square root
// is therefore always written out unconditionally before the select, so that
// the compiler need not prove it harmless to hoist it.
//
// Inside a lane loop the kernels work on vec3 values and the helpers below.
// Every division and square root of every kernel goes through lane_div and
// lane_sqrt: an instruction-set-specific variant of either (one that stays
// correctly rounded) has this one home.
#ifndef LAMINA_KERNELS_LANES_H
#define LAMINA_KERNELS_LANES_H

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "simd/index.h"
#include "simd/isa.h"

namespace lamina {
namespace detail {

// Marks a loop over the lanes. GCC would otherwise unroll such short loops
// completely before its loop vectoriser sees them, and leave the unrolled
// code mostly scalar.
#if defined(__GNUC__) && !defined(__clang__)
#define LAMINA_LANE_LOOP _Pragma("GCC unroll 1")
#else
#define LAMINA_LANE_LOOP
#endif

// Complete unrolling of the short loops inside a lane loop, so that every
// index is a constant before the vectoriser sees the lane loop.
#if defined(__GNUC__) && !defined(__clang__)
#define LAMINA_UNROLL _Pragma("GCC unroll 16")
#else
#define LAMINA_UNROLL
#endif

// Eight doubles fill one AVX-512 register, two AVX2 or four SSE2 registers.
constexpr int kLanes = 8;

using lane_doubles = double[kLanes];
using lane_indices = std::int32_t[kLanes];

// A 3-vector in one lane.
struct vec3 {
  double x, y, z;
};

// A 3-vector per lane, one array per component.
struct lane_vec3 {
  lane_doubles x, y, z;

  LAMINA_ALWAYS_INLINE vec3 operator[](int l) const { return {x[l], y[l], z[l]}; }
  LAMINA_ALWAYS_INLINE void set(int l, vec3 v) {
    x[l] = v.x;
    y[l] = v.y;
    z[l] = v.z;
  }
};

LAMINA_ALWAYS_INLINE vec3 operator-(vec3 u, vec3 v) { return {u.x - v.x, u.y - v.y, u.z - v.z}; }

// u x v = (u.y v.z - u.z v.y, u.z v.x - u.x v.z, u.x v.y - u.y v.x).
LAMINA_ALWAYS_INLINE vec3 cross(vec3 u, vec3 v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// u . v, summed as (x + y) + z.
LAMINA_ALWAYS_INLINE double dot(vec3 u, vec3 v) { return (u.x * v.x + u.y * v.y) + u.z * v.z; }

// a / b, correctly rounded.
template <class Isa>
LAMINA_ALWAYS_INLINE double lane_div(double a, double b) {
  return a / b;
}

// The square root, correctly rounded.
template <class Isa>
LAMINA_ALWAYS_INLINE double lane_sqrt(double x) {
  return std::sqrt(x);
}

// |u| = sqrt(u . u).
template <class Isa>
LAMINA_ALWAYS_INLINE double length(vec3 u) {
  return lane_sqrt<Isa>(dot(u, u));
}

// Each component divided by s (a division, not a multiplication by 1/s).
template <class Isa>
LAMINA_ALWAYS_INLINE vec3 divide(vec3 u, double s) {
  return {lane_div<Isa>(u.x, s), lane_div<Isa>(u.y, s), lane_div<Isa>(u.z, s)};
}

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

// What a pass computes: the energy alone, the energy and its gradient, or
// the energy, the gradient and each element's Hessian block.
enum class mode { energy, gradient, hessian };

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_LANES_H
