// The exact Hessian of one face's membrane energy with respect to its three
// deformed corners, evaluated for up to kLanes faces side by side.
//
// Write the face energy (model.h) as a trace part plus an area part,
//
//   E_f = sum_m c_m |d_m|^2 / 2  +  f(S_d)  +  const,
//   c_m = -mu/4 g_m / A_r,
//   f(S) = mu/4 S / A_r - 3mu/4 A_r L(S / S_r),
//
// with L the logarithm, or below r = 1e-20 its tangent line
// log(1e-20) + (r - 1e-20)/1e-20. Then
//
//   f'(S)  = mu/4 / A_r - 3mu/4 A_r / S_d            (log branch)
//          = mu/4 / A_r - 3mu/4 A_r / (S_r 1e-20)   (tangent branch)
//   f''(S) = 3mu/4 A_r / S_d^2                       (log branch), 0 (tangent).
//
// Trace part. d_m = Q_(m+2) - Q_(m+1), so |d_m|^2/2 has the Hessian
// D_m^T D_m (x) I3 with D_m the incidence row of edge m: the diagonal block
// of corner k is (c_(k+1) + c_(k+2)) I3 (the two edges at the corner), and
// the block of corners k != j is -c_m I3, m the third corner (the edge
// joining k and j).
//
// Area part. S_d = |N|^2 / 4 with N = d0 x d1 (any two deformed edges give
// the same N). N is bilinear in the corners: dN/dQ_j [v] = d_j x v. Hence
//
//   grad_k S_d   = (N x d_k) / 2,
//   d2S_d/dQ_k dQ_j = ((d_k . d_j) I3 - d_j d_k^T + sigma_kj [N]x) / 2,
//
// where [N]x v = N x v and sigma_kj = dd_k/dQ_j is +1 for j = k+2, -1 for
// j = k+1 and 0 for j = k (indices mod 3). The area block is
//
//   f'(S_d) d2S_d + f''(S_d) grad S_d grad S_d^T,
//
// the second term written as 3mu/4 A_r / 4 * w_k w_j^T with
// w_k = (N x d_k) / S_d in the log branch and w_k = 0 in the tangent branch
// (with no 0/0 on a collapsed face, whose N is 0). The branch is the
// energy's: r < 1e-20 takes the tangent line; a NaN r fails the comparison
// and takes the logarithm.
//
// Faces whose deformed normal is too short to normalise (|N|^2 <= 1e-30):
// the gradient kernel uses N unscaled there, so its area part is not the
// derivative of the energy. Nothing here normalises N (grad S_d needs no unit
// normal), so this block stays the exact second derivative of E_f on such
// slivers too; it is continuous across that threshold, while the gradient is
// not.
//
// Every block row sums to zero in exact arithmetic (sum_j of each term
// vanishes because d0 + d1 + d2 = 0): the block annihilates translations.
// The upper triangle is computed and mirrored, so the block is exactly
// symmetric. Each lane performs the same operations in the same order, with
// selects for the branch, so lanes, W and instruction sets give equal bits.
#ifndef LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_HESSIAN_H
#define LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_HESSIAN_H

#include "simd/lanes.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace detail {

// The per-face intermediates the energy already forms, one lane per face.
// A local copy: the block's loop vectorises only when its inputs cannot
// alias its output.
struct face_hessian_input {
  lane_vec3 d[3];     // deformed edges d0 = Q2 - Q1, d1 = Q0 - Q2, d2 = Q1 - Q0
  lane_doubles c[3];  // edge coefficients of the trace part, c_m = -mu/4 g_m / A_r
  lane_doubles A_r;   // rest area, sqrt(S_r)
  lane_doubles S_r;   // squared rest area |e0 x e1|^2 / 4
  lane_doubles S_d;   // squared deformed area |d0 x d1|^2 / 4
  lane_doubles r;     // S_d / S_r, which selects the branch of the log term
};

// The face block of lanes 0..W-1 into H[entry][lane]: 81 entries per lane,
// row-major over (corner, coordinate) x (corner, coordinate), i.e. entry
// (3k + a) * 9 + (3j + b) is d2E_f / dQ_k,a dQ_j,b for corners k, j in 0..2
// and coordinates a, b in x, y, z = 0, 1, 2. Lanes W..kLanes-1 of H are not
// written.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void neo_hookean_membrane::hessian(const lanes&, const geometry& f,
                                                        const rest_type& rest,
                                                        const energy_lanes& q,
                                                        const coefficients& k,
                                                        double (&H)[kHessianEntries][kLanes]) {
  face_hessian_input in;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int m = 0; m < 3; ++m) {
      in.d[m].set(l, f.d[m][l]);
      in.c[m][l] = rest.q[c0 + m][l];
    }
    in.A_r[l] = rest.q[A_r][l];
    in.S_r[l] = rest.q[S_r][l];
    in.S_d[l] = q.S_d[l];
    in.r[l] = q.r[l];
  }
  // The scalars of each face first. Both branches of the log term are
  // computed in full, and a second loop does nothing but pick one per lane:
  // a select with arithmetic around it tempts the compiler into splitting
  // the loop body into two paths, which stops it from vectorising.
  const lane_doubles* c = in.c;
  lane_doubles curv, slope[2], inv[2];
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double A_r = in.A_r[l], S_d = in.S_d[l];
    // f'(S_d) / 2: the slope of the log term in S is A_r / S_d, or
    // A_r / (S_r 1e-20) on the tangent line.
    const double mu4_A = lane_div<Isa>(k.mu4, A_r);
    slope[0][l] = (mu4_A - k.mu34 * lane_div<Isa>(A_r, S_d)) * 0.5;
    slope[1][l] = (mu4_A - k.mu34 * lane_div<Isa>(A_r, in.S_r[l] * kRatioFloor)) * 0.5;
    // f''(S_d) grad S_d grad S_d^T = curv * w_k w_j^T, w_k = (N x d_k) / S_d
    // in the log branch, 0 on the tangent line.
    curv[l] = (k.mu34 * A_r) * 0.25;
    inv[0][l] = lane_div<Isa>(1.0, S_d);
    inv[1][l] = 0.0;
  }
  // The energy's branch: the tangent line below the floor; a NaN ratio
  // fails the comparison and takes the logarithm.
  lane_doubles half_slope, inv_S;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const bool tangent = in.r[l] < kRatioFloor;
    half_slope[l] = tangent ? slope[1][l] : slope[0][l];
    inv_S[l] = tangent ? inv[1][l] : inv[0][l];
  }
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    double d[3][3];
    LAMINA_UNROLL
    for (int m = 0; m < 3; ++m) {
      d[m][0] = in.d[m].x[l];
      d[m][1] = in.d[m].y[l];
      d[m][2] = in.d[m].z[l];
    }
    // N = d0 x d1, as the energy forms it.
    const double N[3] = {d[0][1] * d[1][2] - d[0][2] * d[1][1],
                         d[0][2] * d[1][0] - d[0][0] * d[1][2],
                         d[0][0] * d[1][1] - d[0][1] * d[1][0]};
    double w[3][3];
    LAMINA_UNROLL
    for (int m = 0; m < 3; ++m) {
      const double zx = N[1] * d[m][2] - N[2] * d[m][1];
      const double zy = N[2] * d[m][0] - N[0] * d[m][2];
      const double zz = N[0] * d[m][1] - N[1] * d[m][0];
      w[m][0] = zx * inv_S[l];
      w[m][1] = zy * inv_S[l];
      w[m][2] = zz * inv_S[l];
    }
    // [N]x, row-major.
    const double Nx[3][3] = {{0.0, -N[2], N[1]}, {N[2], 0.0, -N[0]}, {-N[1], N[0], 0.0}};
    LAMINA_UNROLL
    for (int kc = 0; kc < 3; ++kc) {
      LAMINA_UNROLL
      for (int jc = kc; jc < 3; ++jc) {
        // Trace coefficient and sigma_kj of this pair of corners.
        const double trace =
            kc == jc ? c[(kc + 1) % 3][l] + c[(kc + 2) % 3][l] : 0.0 - c[3 - kc - jc][l];
        const double sigma = kc == jc ? 0.0 : (jc == (kc + 2) % 3 ? 1.0 : -1.0);
        const double dkj = (d[kc][0] * d[jc][0] + d[kc][1] * d[jc][1]) + d[kc][2] * d[jc][2];
        LAMINA_UNROLL
        for (int a = 0; a < 3; ++a) {
          LAMINA_UNROLL
          for (int b = 0; b < 3; ++b) {
            if (kc == jc && b < a) continue;
            const double second =
                a == b ? dkj - d[jc][a] * d[kc][b] : sigma * Nx[a][b] - d[jc][a] * d[kc][b];
            const double diag = a == b ? trace : 0.0;
            const double v = (diag + half_slope[l] * second) + curv[l] * (w[kc][a] * w[jc][b]);
            H[(3 * kc + a) * 9 + 3 * jc + b][l] = v;
            H[(3 * jc + b) * 9 + 3 * kc + a][l] = v;
          }
        }
      }
    }
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_HESSIAN_H
