// Small 3-vector helpers for the kernels. Every operation spells out its
// order of evaluation, because the results are part of the contract.
#ifndef LAMINA_KERNELS_VEC3_H
#define LAMINA_KERNELS_VEC3_H

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace lamina {
namespace detail {

struct vec3 {
  double x, y, z;
};

// Row i of an nV-by-3 column-major vertex matrix.
inline vec3 load_row(const double* m, std::int32_t i, std::int32_t nV) {
  const std::ptrdiff_t s = nV;
  return {m[i], m[i + s], m[i + 2 * s]};
}

// Adds v into row i of an nV-by-3 matrix, x then y then z, each element as
// v.k + old value.
inline void add_to_row(double* m, std::int32_t i, std::int32_t nV, vec3 v) {
  const std::ptrdiff_t s = nV;
  m[i] = v.x + m[i];
  m[i + s] = v.y + m[i + s];
  m[i + 2 * s] = v.z + m[i + 2 * s];
}

inline vec3 operator-(vec3 u, vec3 v) { return {u.x - v.x, u.y - v.y, u.z - v.z}; }

// Each component divided by the same value (a division, not a multiplication
// by a reciprocal).
inline vec3 operator/(vec3 u, double s) { return {u.x / s, u.y / s, u.z / s}; }

inline vec3 cross(vec3 u, vec3 v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

inline double dot(vec3 u, vec3 v) { return (u.x * v.x + u.y * v.y) + u.z * v.z; }

inline double length(vec3 u) { return std::sqrt(dot(u, u)); }

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_VEC3_H
