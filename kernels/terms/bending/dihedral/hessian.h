// The exact Hessian of one hinge's dihedral bending energy with respect to
// its four deformed vertices, evaluated for up to kLanes hinges side by side.
//
// E_h = eta w_h (theta - theta_r)^2, so with g = grad theta
//
//   H = 2 eta w_h (g g^T + delta d2theta).
//
// d2theta by differentiating the closed-form gradient (model.h),
//
//   g_c = -F1,  g_d = -F2,  g_a = (1 - t_c) F1 + (1 - t_d) F2,
//   g_b = t_c F1 + t_d F2,  F_s = |e| N_s / |N_s|^2,
//
// in each vertex w, with D_sw = dF_s/dQ_w and tau_sw = dt_s/dQ_w (t_1 = t_c,
// t_2 = t_d):
//
//   H_cw = -D_1w,   H_dw = -D_2w,
//   H_aw = (1 - t_c) D_1w - F1 tau_1w^T + (1 - t_d) D_2w - F2 tau_2w^T,
//   H_bw = t_c D_1w + F1 tau_1w^T + t_d D_2w + F2 tau_2w^T.
//
// F_s depends on Q through |e| and N_s. With d|e| = e^ . (dQ_b - dQ_a)
// (sigma_a = -1, sigma_b = 1, sigma_c = sigma_d = 0), dN_s = L_sw x dQ_w for
// the gradient kernel's lever vectors (L1_a = Q_c - Q_b, L1_b = Q_a - Q_c,
// L1_c = Q_b - Q_a; L2_a = Q_b - Q_d, L2_b = Q_d - Q_a, L2_d = Q_a - Q_b;
// N1 does not move with d, nor N2 with c) and d(N/|N|^2) = (I - 2 N N^T /
// |N|^2) dN / |N|^2,
//
//   D_sw = (N_s / |N_s|^2) r_sw^T + s_s [L_sw]x,
//   r_sw = sigma_w e^ - 2 s_s (N_s x L_sw),   s_s = |e| / |N_s|^2,
//
// since N^T [L]x = (N x L)^T. With t_c = ((Q_c - Q_a) . e) / |e|^2,
//
//   tau_1c = e / |e|^2,  tau_1b = ((Q_c - Q_a) - 2 t_c e) / |e|^2,
//   tau_1a = -(tau_1c + tau_1b),  tau_1d = 0,
//
// and likewise tau_2 with d in place of c. H_cd = 0: neither F1 nor t_c
// moves with d. The blocks (i, j), i <= j in the row order a, b, c, d, are
// computed from the row formula of i (within a diagonal block the upper
// triangle) and mirrored, so the block is exactly symmetric; every block
// row sums to zero in exact arithmetic. The hinges must be ones the bending
// term evaluates (both deformed normals at least 1e-10 long); near that
// floor the entries grow like 1/|N|^2 but stay finite. Every lane performs
// the same operations in the same order, so lanes, W and instruction sets
// give equal bits.
#ifndef LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_HESSIAN_H
#define LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_HESSIAN_H

#include "simd/lanes.h"
#include "terms/bending/dihedral/model.h"

namespace lamina {
namespace detail {

// Entry (3i + x) * 12 + (3j + y) of lane l is d2E_h / dQ_i,x dQ_j,y, the
// vertices in the row order a, b, c, d. Lanes W..kLanes-1 of H are not
// written.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void dihedral_bending::hessian(const lanes& h, const geometry& w,
                                                    const rest_type& rest, const energy_lanes& q,
                                                    const coefficients& k,
                                                    double (&H)[kHessianEntries][kLanes]) {
  // Which vertices move each wing's F and t: N1 and t_c with a, b, c; N2 and
  // t_d with a, b, d.
  constexpr bool moves[2][4] = {{true, true, true, false}, {true, true, false, true}};
  constexpr double sigma[4] = {-1.0, 1.0, 0.0, 0.0};
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    double Q[4][3];
    LAMINA_UNROLL
    for (int v = 0; v < 4; ++v) {
      Q[v][0] = h.X[v].x[l];
      Q[v][1] = h.X[v].y[l];
      Q[v][2] = h.X[v].z[l];
    }
    const double N[2][3] = {{w.N1.x[l], w.N1.y[l], w.N1.z[l]}, {w.N2.x[l], w.N2.y[l], w.N2.z[l]}};
    const double e[3] = {q.e.x[l], q.e.y[l], q.e.z[l]};
    const double ee = q.ee[l], le = q.le[l];
    const double eh[3] = {lane_div<Isa>(e[0], le), lane_div<Isa>(e[1], le),
                          lane_div<Isa>(e[2], le)};
    // 1/|N_s|^2, s_s = |e| / |N_s|^2, m_s = N_s / |N_s|^2, F_s = s_s N_s.
    double m[2][3], F[2][3], s[2];
    LAMINA_UNROLL
    for (int t = 0; t < 2; ++t) {
      const double NN = (N[t][0] * N[t][0] + N[t][1] * N[t][1]) + N[t][2] * N[t][2];
      const double inv = lane_div<Isa>(1.0, NN);
      s[t] = le * inv;
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) {
        m[t][i] = N[t][i] * inv;
        F[t][i] = s[t] * N[t][i];
      }
    }
    // Where the feet of c and d fall on the edge: t_s = ((Q - Q_a) . e) / |e|^2.
    double rel[2][3], ts[2];
    LAMINA_UNROLL
    for (int t = 0; t < 2; ++t) {
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) rel[t][i] = Q[2 + t][i] - Q[0][i];
      ts[t] = lane_div<Isa>((rel[t][0] * e[0] + rel[t][1] * e[1]) + rel[t][2] * e[2], ee);
    }
    // tau_sw, each a 3-vector (zero where the wing does not move with w).
    double tau[2][4][3];
    LAMINA_UNROLL
    for (int t = 0; t < 2; ++t) {
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) {
        const double own = lane_div<Isa>(e[i], ee);
        const double bee = lane_div<Isa>(rel[t][i] - 2.0 * ts[t] * e[i], ee);
        tau[t][2 + t][i] = own;
        tau[t][3 - t][i] = 0.0;
        tau[t][1][i] = bee;
        tau[t][0][i] = 0.0 - (own + bee);
      }
    }
    // D_sw = m_s r_sw^T + s_s [L_sw]x, row-major (zero where the wing does not
    // move with w).
    double lever[2][4][3];
    LAMINA_UNROLL
    for (int i = 0; i < 3; ++i) {
      lever[0][0][i] = Q[2][i] - Q[1][i];
      lever[0][1][i] = Q[0][i] - Q[2][i];
      lever[0][2][i] = Q[1][i] - Q[0][i];
      lever[0][3][i] = 0.0;
      lever[1][0][i] = Q[1][i] - Q[3][i];
      lever[1][1][i] = Q[3][i] - Q[0][i];
      lever[1][2][i] = 0.0;
      lever[1][3][i] = Q[0][i] - Q[1][i];
    }
    double D[2][4][9];
    LAMINA_UNROLL
    for (int t = 0; t < 2; ++t) {
      LAMINA_UNROLL
      for (int v = 0; v < 4; ++v) {
        if (!moves[t][v]) {
          LAMINA_UNROLL
          for (int x = 0; x < 9; ++x) D[t][v][x] = 0.0;
          continue;
        }
        const double* L = lever[t][v];
        const double NxL[3] = {N[t][1] * L[2] - N[t][2] * L[1], N[t][2] * L[0] - N[t][0] * L[2],
                               N[t][0] * L[1] - N[t][1] * L[0]};
        double r[3];
        LAMINA_UNROLL
        for (int i = 0; i < 3; ++i) r[i] = sigma[v] * eh[i] - 2.0 * s[t] * NxL[i];
        const double skew[9] = {0.0, -L[2], L[1], L[2], 0.0, -L[0], -L[1], L[0], 0.0};
        LAMINA_UNROLL
        for (int i = 0; i < 3; ++i) {
          LAMINA_UNROLL
          for (int j = 0; j < 3; ++j) D[t][v][3 * i + j] = m[t][i] * r[j] + s[t] * skew[3 * i + j];
        }
      }
    }
    // g = grad theta, and the row coefficients of g and H: row v of H is
    // sum_s (alpha_sv D_sw + beta_sv F_s tau_sw^T), g_v = sum_s alpha_sv F_s.
    const double alpha[2][4] = {{1.0 - ts[0], ts[0], -1.0, 0.0}, {1.0 - ts[1], ts[1], 0.0, -1.0}};
    const double beta[2][4] = {{-1.0, 1.0, 0.0, 0.0}, {-1.0, 1.0, 0.0, 0.0}};
    double g[4][3];
    LAMINA_UNROLL
    for (int v = 0; v < 4; ++v) {
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) g[v][i] = alpha[0][v] * F[0][i] + alpha[1][v] * F[1][i];
    }
    const double scale = (k.eta * 2.0) * rest.q[w_h][l];
    const double scale_delta = scale * q.delta[l];
    LAMINA_UNROLL
    for (int i = 0; i < 4; ++i) {
      LAMINA_UNROLL
      for (int j = i; j < 4; ++j) {
        LAMINA_UNROLL
        for (int a = 0; a < 3; ++a) {
          LAMINA_UNROLL
          for (int b = 0; b < 3; ++b) {
            if (i == j && b < a) continue;
            double second = 0.0;
            LAMINA_UNROLL
            for (int t = 0; t < 2; ++t) {
              second = second +
                       (alpha[t][i] * D[t][j][3 * a + b] + beta[t][i] * (F[t][a] * tau[t][j][b]));
            }
            const double v = scale * (g[i][a] * g[j][b]) + scale_delta * second;
            H[(3 * i + a) * 12 + 3 * j + b][l] = v;
            H[(3 * j + b) * 12 + 3 * i + a][l] = v;
          }
        }
      }
    }
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_HESSIAN_H
