// Blocks of rows evaluated side by side.
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
#ifndef LAMINA_KERNELS_LANES_H
#define LAMINA_KERNELS_LANES_H

#include <cstddef>
#include <cstdint>

#include "isa.h"

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

// Eight doubles fill one AVX-512 register, two AVX2 or four SSE2 registers.
constexpr int kLanes = 8;

using lane_doubles = double[kLanes];
using lane_indices = std::int32_t[kLanes];

// A 3-vector per lane, one array per component.
struct lane_vec3 {
  lane_doubles x, y, z;
};

// Fills lane l of v with row i of an nV-by-3 column-major matrix.
LAMINA_ALWAYS_INLINE void load_lane(lane_vec3& v, int l, const double* m, std::int32_t i,
                                    std::ptrdiff_t nV) {
  v.x[l] = m[i];
  v.y[l] = m[i + nV];
  v.z[l] = m[i + 2 * nV];
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_LANES_H
