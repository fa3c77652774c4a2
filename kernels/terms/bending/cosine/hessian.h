// The exact Hessian of one hinge's bending energy with respect to its four
// deformed vertices, evaluated for up to kLanes hinges side by side.
//
// E_h = eta w_h (c - cos_r)^2 with c = cos_d = g(N1, N2) = N1.N2 / (|N1| |N2|),
//
//   N1 = e_d x (Q_c - Q_a),  N2 = (Q_d - Q_a) x e_d,  e_d = Q_b - Q_a,
//
// so with delta = c - cos_r
//
//   H = 2 eta w_h (grad c grad c^T + delta d2c).
//
// Derivatives of g in normal space, with u_i = N_i/|N_i|, p1 = u2 - c u1 and
// p2 = u1 - c u2 (the parts of each unit normal perpendicular to the other),
// P_i = I - u_i u_i^T:
//
//   dg/dN1 = p1 / |N1|,  dg/dN2 = p2 / |N2|,
//   d2g/dN1^2   = -(u1 p1^T + p1 u1^T + c P1) / |N1|^2,
//   d2g/dN2^2   = -(u2 p2^T + p2 u2^T + c P2) / |N2|^2,
//   d2g/dN1 dN2 = P1 P2 / (|N1| |N2|) = (P1 - p1 u2^T) / (|N1| |N2|).
//
// The cross products are bilinear: dN1/dQ_i [v] = L1_i x v with the lever
// vectors L1_a = Q_c - Q_b, L1_b = Q_a - Q_c, L1_c = Q_b - Q_a (and 0 for d),
// dN2/dQ_i [v] = L2_i x v with L2_a = Q_b - Q_d, L2_b = Q_d - Q_a,
// L2_d = Q_a - Q_b (and 0 for c); these are the levers of the gradient
// kernel. Dividing each lever by its |N_i| (as the gradient does) absorbs the
// 1/|N| factors, so with l_si = L_si / |N_s| and [l]x v = l x v,
//
//   grad_i c = p1 x l1_i + p2 x l2_i,
//   d2c/dQ_i dQ_j = sum_s,t [l_si]x^T G_st [l_tj]x + B_ij,
//
// where G_11 = -(u1 p1^T + p1 u1^T + c P1), G_22 likewise, G_12 = P1 - p1 u2^T
// and G_21 = G_12^T. B is the second derivative of the cross products
// weighted by dg/dN: for a . (e x f) the mixed second derivative is
// a . (delta_e x delta_f), which gives, with gamma_s = p_s / |N_s| and
// [gamma]x its cross-product matrix,
//
//   B_ab = -[gamma1]x + [gamma2]x,  B_ac = [gamma1]x,   B_bc = -[gamma1]x,
//   B_ad = -[gamma2]x,             B_bd = [gamma2]x,
//
// B_ji = B_ij^T, and zero on the diagonal and between c and d.
//
// Blocks are per row position (a, b, c, d): a row that names one vertex twice
// (c equal to d) leaves it to the assembler to add the blocks of the repeated
// vertex together. Every block row sums to zero in exact arithmetic (the
// energy is invariant under translation). The upper triangle is computed and
// mirrored, so the block is exactly symmetric. The hinges must be ones the
// bending term evaluates (both deformed normals at least 1e-10 long); near
// that floor the entries grow like 1/|N|^2 but stay finite. Every lane
// performs the same operations in the same order, so lanes, W and
// instruction sets give equal bits.
#ifndef LAMINA_KERNELS_TERMS_BENDING_COSINE_HESSIAN_H
#define LAMINA_KERNELS_TERMS_BENDING_COSINE_HESSIAN_H

#include "simd/lanes.h"
#include "terms/bending/cosine/model.h"

namespace lamina {
namespace detail {

// The per-hinge quantities the bending energy already forms, one lane per
// hinge.
struct hinge_hessian_input {
  lane_vec3 Qa, Qb, Qc, Qd;  // deformed positions of a, b, c, d
  lane_vec3 u1, u2;          // unit deformed wing normals N1/|N1|, N2/|N2|
  lane_doubles lN1, lN2;     // |N1|, |N2|
  lane_doubles delta;        // cos_d - cos_r
  lane_doubles w_h;          // hinge weight |e_r|^2 / (A1 + A2)
};

// The hinge block of lanes 0..W-1 into H[entry][lane]: 144 entries per
// lane, row-major over (vertex, coordinate) x (vertex, coordinate) with the
// vertices in the row order a, b, c, d: entry (3i + x) * 12 + (3j + y) is
// d2E_h / dQ_i,x dQ_j,y. Lanes W..kLanes-1 of H are not written.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void cosine_bending::hessian(const lanes& h, const geometry& w,
                                                  const rest_type& rest, const energy_lanes& q,
                                                  const coefficients& k,
                                                  double (&H)[kHessianEntries][kLanes]) {
  // A local copy of what the block reads: its loop vectorises only when its
  // inputs cannot alias its output.
  hinge_hessian_input in;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    in.Qa.set(l, h.X[0][l]);
    in.Qb.set(l, h.X[1][l]);
    in.Qc.set(l, h.X[2][l]);
    in.Qd.set(l, h.X[3][l]);
    in.u1.set(l, q.u1[l]);
    in.u2.set(l, q.u2[l]);
    in.lN1[l] = w.lN1[l];
    in.lN2[l] = w.lN2[l];
    in.delta[l] = q.delta[l];
    in.w_h[l] = rest.q[w_h][l];
  }
  const double eta = k.eta;
  // Which lever of each normal each vertex has: N1 moves with a, b, c, N2
  // with a, b, d.
  constexpr bool has[2][4] = {{true, true, true, false}, {true, true, false, true}};
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double u[2][3] = {{in.u1.x[l], in.u1.y[l], in.u1.z[l]},
                            {in.u2.x[l], in.u2.y[l], in.u2.z[l]}};
    const double n[2] = {in.lN1[l], in.lN2[l]};
    // The energy's cos_d.
    const double c = (u[0][0] * u[1][0] + u[0][1] * u[1][1]) + u[0][2] * u[1][2];
    // p1 = u2 - c u1, p2 = u1 - c u2, gamma_s = p_s / |N_s|.
    double p[2][3], gamma[2][3];
    LAMINA_UNROLL
    for (int t = 0; t < 2; ++t) {
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) {
        p[t][i] = u[1 - t][i] - c * u[t][i];
        gamma[t][i] = lane_div<Isa>(p[t][i], n[t]);
      }
    }
    // Normal-space second derivatives, times |N_s| |N_t|: G[s][t], row-major.
    double G[2][2][9];
    LAMINA_UNROLL
    for (int i = 0; i < 3; ++i) {
      LAMINA_UNROLL
      for (int j = 0; j < 3; ++j) {
        const double id = i == j ? 1.0 : 0.0;
        LAMINA_UNROLL
        for (int t = 0; t < 2; ++t) {
          if (j < i) {
            G[t][t][3 * i + j] = G[t][t][3 * j + i];
          } else {
            const double P = id - u[t][i] * u[t][j];
            G[t][t][3 * i + j] = 0.0 - ((u[t][i] * p[t][j] + p[t][i] * u[t][j]) + c * P);
          }
        }
        const double P1 = id - u[0][i] * u[0][j];
        G[0][1][3 * i + j] = P1 - p[0][i] * u[1][j];
        G[1][0][3 * j + i] = G[0][1][3 * i + j];
      }
    }
    // The gradient kernel's lever vectors, each component divided by |N|.
    const double Qa[3] = {in.Qa.x[l], in.Qa.y[l], in.Qa.z[l]};
    const double Qb[3] = {in.Qb.x[l], in.Qb.y[l], in.Qb.z[l]};
    const double Qc[3] = {in.Qc.x[l], in.Qc.y[l], in.Qc.z[l]};
    const double Qd[3] = {in.Qd.x[l], in.Qd.y[l], in.Qd.z[l]};
    double lever[2][4][3];
    LAMINA_UNROLL
    for (int i = 0; i < 3; ++i) {
      lever[0][0][i] = lane_div<Isa>(Qc[i] - Qb[i], n[0]);
      lever[0][1][i] = lane_div<Isa>(Qa[i] - Qc[i], n[0]);
      lever[0][2][i] = lane_div<Isa>(Qb[i] - Qa[i], n[0]);
      lever[0][3][i] = 0.0;
      lever[1][0][i] = lane_div<Isa>(Qb[i] - Qd[i], n[1]);
      lever[1][1][i] = lane_div<Isa>(Qd[i] - Qa[i], n[1]);
      lever[1][2][i] = 0.0;
      lever[1][3][i] = lane_div<Isa>(Qa[i] - Qb[i], n[1]);
    }
    // grad_v c = p1 x l1_v + p2 x l2_v, and X_sv = sum_t G_st [l_tv]x (row r
    // of M [l]x is (row r of M) x l).
    double grad[4][3], X[2][4][9];
    LAMINA_UNROLL
    for (int v = 0; v < 4; ++v) {
      double g[3] = {0.0, 0.0, 0.0};
      LAMINA_UNROLL
      for (int sn = 0; sn < 2; ++sn) {
        LAMINA_UNROLL
        for (int e = 0; e < 9; ++e) X[sn][v][e] = 0.0;
      }
      LAMINA_UNROLL
      for (int t = 0; t < 2; ++t) {
        if (!has[t][v]) continue;
        const double* lv = lever[t][v];
        g[0] = g[0] + (p[t][1] * lv[2] - p[t][2] * lv[1]);
        g[1] = g[1] + (p[t][2] * lv[0] - p[t][0] * lv[2]);
        g[2] = g[2] + (p[t][0] * lv[1] - p[t][1] * lv[0]);
        LAMINA_UNROLL
        for (int sn = 0; sn < 2; ++sn) {
          const double* M = G[sn][t];
          double* out = X[sn][v];
          LAMINA_UNROLL
          for (int r = 0; r < 3; ++r) {
            out[3 * r] = out[3 * r] + (M[3 * r + 1] * lv[2] - M[3 * r + 2] * lv[1]);
            out[3 * r + 1] = out[3 * r + 1] + (M[3 * r + 2] * lv[0] - M[3 * r] * lv[2]);
            out[3 * r + 2] = out[3 * r + 2] + (M[3 * r] * lv[1] - M[3 * r + 1] * lv[0]);
          }
        }
      }
      LAMINA_UNROLL
      for (int i = 0; i < 3; ++i) grad[v][i] = g[i];
    }
    const double scale = (eta * 2.0) * in.w_h[l];
    const double scale_delta = scale * in.delta[l];
    // [gamma_s]x, row-major, for the bilinear terms.
    const double C[2][9] = {{0.0, -gamma[0][2], gamma[0][1], gamma[0][2], 0.0, -gamma[0][0],
                             -gamma[0][1], gamma[0][0], 0.0},
                            {0.0, -gamma[1][2], gamma[1][1], gamma[1][2], 0.0, -gamma[1][0],
                             -gamma[1][1], gamma[1][0], 0.0}};
    // Blocks (i, j), i <= j: d2c = sum_s [l_si]x^T X_sj + B_ij, where column b
    // of [l]x^T X is (column b of X) x l; then
    // H = scale (grad c grad c^T) + (scale delta) d2c, mirrored.
    LAMINA_UNROLL
    for (int i = 0; i < 4; ++i) {
      LAMINA_UNROLL
      for (int j = i; j < 4; ++j) {
        // B_ij as multiples of [gamma1]x and [gamma2]x.
        const double b1 = (i == 0 && j == 1) || (i == 1 && j == 2) ? -1.0
                          : (i == 0 && j == 2)                     ? 1.0
                                                                   : 0.0;
        const double b2 = (i == 0 && j == 1) || (i == 1 && j == 3) ? 1.0
                          : (i == 0 && j == 3)                     ? -1.0
                                                                   : 0.0;
        LAMINA_UNROLL
        for (int a = 0; a < 3; ++a) {
          LAMINA_UNROLL
          for (int b = 0; b < 3; ++b) {
            if (i == j && b < a) continue;
            double second = 0.0;
            LAMINA_UNROLL
            for (int t = 0; t < 2; ++t) {
              if (!has[t][i]) continue;
              const double* lv = lever[t][i];
              const double x0 = X[t][j][b], x1 = X[t][j][3 + b], x2 = X[t][j][6 + b];
              const double e = a == 0   ? x1 * lv[2] - x2 * lv[1]
                               : a == 1 ? x2 * lv[0] - x0 * lv[2]
                                        : x0 * lv[1] - x1 * lv[0];
              second = second + e;
            }
            if (b1 != 0.0) second = second + b1 * C[0][3 * a + b];
            if (b2 != 0.0) second = second + b2 * C[1][3 * a + b];
            const double v = scale * (grad[i][a] * grad[j][b]) + scale_delta * second;
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

#endif  // LAMINA_KERNELS_TERMS_BENDING_COSINE_HESSIAN_H
