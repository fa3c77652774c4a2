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

// What a pass computes: the energy alone; the energy and its gradient; with
// each element's Hessian block; with the derivative of the energy in the
// rest positions; or with that and each element's mixed block, the
// derivative of the gradient in the rest positions.
enum class mode { energy, gradient, hessian, rest_gradient, mixed };

// Whether a pass in this mode forms the derivatives in the rest positions.
constexpr bool rest_derivatives_of(mode m) { return m == mode::rest_gradient || m == mode::mixed; }

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_LANES_H
