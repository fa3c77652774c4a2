// atan2 in lane arithmetic: the same IEEE operations on every lane, width
// and instruction set (selects, no branches, no library call), so that it
// vectorises and gives the same bits on every path.
//
// With a = min(|x|, |y|) and b = max(|x|, |y|), r = a / b lies in [0, 1]. It
// is brought within tan(pi/16) = 0.199 of a point t_k whose arctangent is
// known to double-double precision (t_0 = 0, t_1 = the double nearest
// tan(pi/8), t_2 = 1):
//
//   atan r = atan t_k + atan u,   u = (r - t_k) / (1 + t_k r),
//
// which holds for any t_k (not only tan(k pi/8)), so t_1 need not be exact.
// atan u is its Taylor series, u - u^3/3 + ... - u^23/23 (|u| <= 0.199, so
// the first term left out is below 2^-60 of u), summed by Horner's rule in
// z = u^2. Then atan2 = pi/2 - atan r where |y| > |x|, pi minus that where
// x < 0, and the sign of y. Constants beside a correction (pi = pi_hi +
// pi_lo, ...) and an exact split of the leading sum keep the last steps
// exact. The roundings of r = a / b and of 1 + t_k r, carried through, leave
// the result within 2.5 ulps of the true angle (2.2 the worst of 2e7 random
// arguments; most within one). The bending energy needs determinism, not
// correct rounding: the C library's atan2 is closer (under one ulp) but
// scalar, and costs as much as the rest of a hinge's gradient.
//
// Range (-pi, pi]: y = +-0 with x < 0 gives +pi (the C library gives -pi for
// -0). No angle: (0, 0), both infinite, or a NaN give NaN (the C library
// gives 0 or a multiple of pi/4 for the first two); the kernels never pass
// those to it except where the result is discarded.
#ifndef LAMINA_KERNELS_SIMD_ATAN2_H
#define LAMINA_KERNELS_SIMD_ATAN2_H

#include "simd/lanes.h"

namespace lamina {
namespace detail {

template <class Isa>
LAMINA_ALWAYS_INLINE double lane_atan2(double y, double x) {
  constexpr double kPi[2] = {3.141592653589793, 1.2246467991473532e-16};
  constexpr double kHalfPi[2] = {1.5707963267948966, 6.123233995736766e-17};
  constexpr double kQuarterPi[2] = {0.7853981633974483, 3.061616997868383e-17};
  constexpr double kT1 = 0.41421356237309503;  // the double nearest tan(pi/8)
  constexpr double kAtanT1[2] = {0.39269908169872414, 3.060132146563891e-18};
  // The boundaries between the three points: tan(pi/16), tan(3pi/16).
  constexpr double kFirst = 0.198912367379658, kSecond = 0.6681786379192989;

  const double ax = x < 0.0 ? 0.0 - x : x;
  const double ay = y < 0.0 ? 0.0 - y : y;
  const bool steep = ay > ax;
  const double r = lane_div<Isa>(steep ? ax : ay, steep ? ay : ax);
  const bool near_one = r > kSecond, middle = r > kFirst;
  const double t = near_one ? 1.0 : (middle ? kT1 : 0.0);
  const double base_hi = near_one ? kQuarterPi[0] : (middle ? kAtanT1[0] : 0.0);
  const double base_lo = near_one ? kQuarterPi[1] : (middle ? kAtanT1[1] : 0.0);
  const double u = lane_div<Isa>(r - t, 1.0 + t * r);
  const double z = u * u;
  double p = -1.0 / 23.0;
  p = 1.0 / 21.0 + z * p;
  p = -1.0 / 19.0 + z * p;
  p = 1.0 / 17.0 + z * p;
  p = -1.0 / 15.0 + z * p;
  p = 1.0 / 13.0 + z * p;
  p = -1.0 / 11.0 + z * p;
  p = 1.0 / 9.0 + z * p;
  p = -1.0 / 7.0 + z * p;
  p = 1.0 / 5.0 + z * p;
  p = -1.0 / 3.0 + z * p;
  // atan r = base_hi + u + (base_lo + u z p), the leading sum split into its
  // rounded value and its exact error (|base_hi| >= |u|, or base_hi = 0).
  const double lead = base_hi + u;
  const double lead_error = (base_hi - lead) + u;
  const double a = lead + (lead_error + (base_lo + (u * z) * p));
  const double b = steep ? (kHalfPi[0] - a) + kHalfPi[1] : a;
  const double c = x < 0.0 ? (kPi[0] - b) + kPi[1] : b;
  return y < 0.0 ? 0.0 - c : c;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_SIMD_ATAN2_H
