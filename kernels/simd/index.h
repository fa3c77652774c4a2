// Conversion of a double-valued mesh index to a row number.
#ifndef LAMINA_KERNELS_INDEX_H
#define LAMINA_KERNELS_INDEX_H

#include <cstdint>

namespace lamina {

// Truncates x toward zero to a signed 32-bit integer (2.9 -> 2, -0.7 -> 0).
// NaN, and values whose truncation does not fit in 32 bits, give INT32_MIN,
// which every caller reads as "missing". A plain cast would be undefined
// behaviour there. The two bounds are the open interval of doubles whose
// truncation fits; both are exactly representable, and NaN fails both
// comparisons.
inline std::int32_t index_from_double(double x) {
  if (x > -2147483649.0 && x < 2147483648.0) {
    return static_cast<std::int32_t>(x);
  }
  return INT32_MIN;
}

}  // namespace lamina

#endif  // LAMINA_KERNELS_INDEX_H
