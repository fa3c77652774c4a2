// The derivatives of one face's membrane energy in its rest positions P_b:
// dE/dP_b, and the mixed block d2E / dQ_a dP_b (how the forces on the
// deformed corners change as the rest face changes).
//
// The rest shape enters E_f (model.h) through S_r (and A_r = sqrt(S_r)) and
// the rest dot products g_m = e_(m+1) . e_(m+2):
//
//   E = B / A_r - C A_r,   B = mu/8 T + mu/4 S_d,  T = -sum_m |d_m|^2 g_m,
//                          C = 3mu/4 L + mu + mu/4,  L = L(S_d / S_r).
//
//   dE/dg_m = -mu/8 |d_m|^2 / A_r,
//   dE/dS_r = (-B / S_r - C) / (2 A_r) + 3mu/4 A_r lambda,
//
// with lambda = -dL/dS_r = 1 / S_r on the log branch and r / (S_r 1e-20) on
// the tangent line below r = 1e-20 (the branch the energy takes; a rest
// change that moves r across the floor meets the other branch's derivative,
// the energy being continuous there and its first derivatives too). In the
// rest corners, with e_k = P_(k+2) - P_(k+1) opposite corner k and
// N_r = e0 x e1,
//
//   dS_r/dP_b = (N_r x e_b) / 2,
//   dg_m/dP_m = e_(m+2) - e_(m+1),  dg_m/dP_(m+1) = e_(m+1),
//   dg_m/dP_(m+2) = -e_(m+2).
//
// Mixed block. The gradient in Q_a is
// grad_a E = c_(a+1) d_(a+1) - c_(a+2) d_(a+2) + f'(S_d) grad_a S_d with the
// edge coefficients c_m = -mu/4 g_m / A_r and f' = dE/dS_d = mu/4 / A_r -
// 3mu/4 A_r L'(S_d) (L' = 1 / S_d, or 1 / (S_r 1e-20) on the tangent line),
// grad_a S_d = (N_d x d_a) / 2. Only c_m and f' depend on the rest side:
//
//   d2E / dQ_a dP_b = d_(a+1) (x) dc_(a+1)/dP_b - d_(a+2) (x) dc_(a+2)/dP_b
//                     + grad_a S_d (x) df'/dP_b,
//   dc_m/dP_b = -mu/4 (dg_m/dP_b / A_r - g_m dS_r/dP_b / (2 A_r S_r)),
//   df'/dP_b = f'_S dS_r/dP_b,  f'_S = (-mu/4 / S_r -+ 3mu/4 (1 / S_d or
//              1 / (S_r 1e-20))) / (2 A_r)   (- on the log branch, + on the
//              tangent line).
//
// This is the exact mixed derivative of the energy, also on deformed slivers
// (|N_d|^2 <= 1e-30), where the gradient leaves out its area part (as the
// Hessian is, model.h). A degenerate rest face (S_r = 0) makes it NaN, as it
// makes the energy.
#ifndef LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_REST_H
#define LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_REST_H

#include "simd/lanes.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace detail {

template <class Isa, int W, bool Mixed>
LAMINA_ALWAYS_INLINE void neo_hookean_membrane::rest_derivatives(
    const lanes&, const lane_vec3 (&P)[3], const geometry& f, const rest_type& rest,
    const energy_lanes& q, const coefficients& k, rest_gradient_lanes& gx,
    double (&H)[81][kLanes]) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    vec3 e[3], d[3];
    edges_of(P[0][l], P[1][l], P[2][l], e);
    for (int m = 0; m < 3; ++m) d[m] = f.d[m][l];
    const vec3 Nr = cross(e[0], e[1]);
    vec3 dS[3];  // dS_r/dP_b
    for (int b = 0; b < 3; ++b) {
      const vec3 c = cross(Nr, e[b]);
      dS[b] = {c.x * 0.5, c.y * 0.5, c.z * 0.5};
    }
    // dg_m/dP_b, b = m, m+1, m+2.
    vec3 dg[3][3];
    for (int m = 0; m < 3; ++m) {
      const vec3 e1 = e[(m + 1) % 3], e2 = e[(m + 2) % 3];
      dg[m][m] = e2 - e1;
      dg[m][(m + 1) % 3] = e1;
      dg[m][(m + 2) % 3] = {0.0 - e2.x, 0.0 - e2.y, 0.0 - e2.z};
    }
    const double A = rest.q[A_r][l], S = rest.q[S_r][l], S_d = q.S_d[l], r = q.r[l];
    const bool tangent = r < kRatioFloor;  // the energy's branch (false for NaN)
    const double B = k.mu8 * q.T[l] + k.mu4 * S_d;
    const double C = (k.mu34 * q.L[l] + k.mu) + k.mu4;
    const double lambda = tangent ? lane_div<Isa>(r, S * kRatioFloor) : lane_div<Isa>(1.0, S);
    const double dE_dS =
        lane_div<Isa>((0.0 - lane_div<Isa>(B, S)) - C, 2.0 * A) + (k.mu34 * A) * lambda;
    double dE_dg[3];
    for (int m = 0; m < 3; ++m) dE_dg[m] = lane_div<Isa>(k.mu8 * (0.0 - dot(d[m], d[m])), A);
    for (int b = 0; b < 3; ++b) {
      vec3 t = {dE_dS * dS[b].x, dE_dS * dS[b].y, dE_dS * dS[b].z};
      for (int m = 0; m < 3; ++m) {
        t = {t.x + dE_dg[m] * dg[m][b].x, t.y + dE_dg[m] * dg[m][b].y, t.z + dE_dg[m] * dg[m][b].z};
      }
      gx.term[b].set(l, t);
    }
    if constexpr (Mixed) {
      // Reciprocals once: this block is the rest derivatives' own result, not
      // an expression of the energy to be matched bit for bit.
      const double inv_A = lane_div<Isa>(1.0, A), inv_2AS = lane_div<Isa>(1.0, 2.0 * (A * S));
      double dc[3][3][3];  // dc_m/dP_b, component c
      for (int m = 0; m < 3; ++m) {
        const double g = rest.q[g0 + m][l];
        for (int b = 0; b < 3; ++b) {
          const double x[3] = {dg[m][b].x, dg[m][b].y, dg[m][b].z};
          const double s[3] = {dS[b].x, dS[b].y, dS[b].z};
          for (int c = 0; c < 3; ++c) {
            dc[m][b][c] = k.neg_mu4 * (x[c] * inv_A - (g * s[c]) * inv_2AS);
          }
        }
      }
      const double log_part = lane_div<Isa>(k.mu34, S_d);
      const double tangent_part = lane_div<Isa>(k.mu34, S * kRatioFloor);
      const double f_S = lane_div<Isa>(tangent ? tangent_part - lane_div<Isa>(k.mu4, S)
                                               : (0.0 - lane_div<Isa>(k.mu4, S)) - log_part,
                                       2.0 * A);
      const vec3 Nd = cross(d[0], d[1]);
      for (int a = 0; a < 3; ++a) {
        const vec3 gSd = cross(Nd, d[a]);
        const double grad[3] = {gSd.x * 0.5, gSd.y * 0.5, gSd.z * 0.5};
        const vec3 dp = d[(a + 1) % 3], dm = d[(a + 2) % 3];
        const double up[3] = {dp.x, dp.y, dp.z}, down[3] = {dm.x, dm.y, dm.z};
        const int mp = (a + 1) % 3, mm = (a + 2) % 3;
        for (int b = 0; b < 3; ++b) {
          const double s[3] = {f_S * dS[b].x, f_S * dS[b].y, f_S * dS[b].z};
          for (int kk = 0; kk < 3; ++kk) {
            for (int c = 0; c < 3; ++c) {
              H[(3 * a + kk) * 9 + 3 * b + c][l] =
                  (up[kk] * dc[mp][b][c] - down[kk] * dc[mm][b][c]) + grad[kk] * s[c];
            }
          }
        }
      }
    }
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_REST_H
