// The bending term's element: a hinge, an edge row (a, b, c, d) with both
// wings present, and the row test that every bending model and the
// valid-edge mask share, so that the mask cannot drift from the rows the
// energy evaluates.
//
// The wings are (a, b, c), in which the edge runs from a to b, and (b, a, d).
// With every difference taken from vertex a, the wing normals are
//
//   N1 = e x (Q_c - Q_a),  N2 = (Q_d - Q_a) x e,  e = Q_b - Q_a
//
// (pointing to the same side on a consistently oriented mesh, so that a flat
// hinge has N1 . N2 > 0); R1 and R2 are the same on the rest positions. A
// row is a hinge when both c and d truncate to non-negative indices; a
// missing wing (negative, NaN or beyond int32) skips the row with only c and
// d read. A hinge is evaluated when neither deformed normal is shorter than
// 1e-10: the tests are strict, and a NaN length passes, so that NaN
// coordinates reach the energy instead of being silently dropped.
#ifndef LAMINA_KERNELS_TERMS_BENDING_HINGE_H
#define LAMINA_KERNELS_TERMS_BENDING_HINGE_H

#include <cstddef>
#include <cstdint>

#include "assembly/element.h"
#include "simd/index.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// A deformed wing normal shorter than this marks a degenerate triangle.
constexpr double kWingNormalFloor = 1e-10;

// The two wing normals of a hinge, on rest or deformed positions alike.
struct wing_normals {
  vec3 N1, N2;
};

LAMINA_ALWAYS_INLINE wing_normals wings_of(vec3 pa, vec3 pb, vec3 pc, vec3 pd) {
  const vec3 e = pb - pa;
  return {cross(e, pc - pa), cross(pd - pa, e)};
}

struct hinge_element {
  static constexpr int vertices = 4;
  using lanes = element_lanes<4>;

  // Collects up to W hinges, rows *j onward, before row `end`, of a
  // column-major edge table of nE rows, into lanes (vertices a, b, c, d) and
  // returns how many (0 when the range is exhausted); *j ends past the last
  // row examined.
  template <int W>
  static LAMINA_ALWAYS_INLINE int collect(const double* edges, std::int32_t nE, std::int32_t* j,
                                          std::int32_t end, lanes& h) {
    const std::ptrdiff_t s = nE;
    int n = 0;
    for (; *j < end && n < W; ++*j) {
      const std::int32_t c = index_from_double(edges[*j + 2 * s]);
      const std::int32_t d = index_from_double(edges[*j + 3 * s]);
      if ((c < d ? c : d) < 0) continue;
      h.row[n] = h.item[n] = *j;
      h.v[2][n] = c;
      h.v[3][n] = d;
      h.v[0][n] = index_from_double(edges[*j]);
      h.v[1][n] = index_from_double(edges[*j + s]);
      ++n;
    }
    repeat_first<4, W>(n, h);
    return n;
  }

  // The deformed wing normals, their lengths, and whether the row is
  // evaluated.
  struct alignas(64) geometry {
    lane_vec3 N1, N2;
    lane_doubles lN1, lN2;
    lane_doubles evaluated;  // 1.0 or 0.0 (a double, so that it shares the lanes' width)
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void deformed(const lanes& h, geometry& w) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const wing_normals N = wings_of(h.X[0][l], h.X[1][l], h.X[2][l], h.X[3][l]);
      w.N1.set(l, N.N1);
      w.N2.set(l, N.N2);
      w.lN1[l] = length<Isa>(N.N1);
      w.lN2[l] = length<Isa>(N.N2);
      const double first = w.lN1[l] < kWingNormalFloor ? 0.0 : 1.0;
      w.evaluated[l] = w.lN2[l] < kWingNormalFloor ? 0.0 : first;
    }
  }

  static LAMINA_ALWAYS_INLINE bool evaluated(const geometry& w, int l) {
    return w.evaluated[l] != 0.0;
  }
};

// The weight every bending model gives a hinge, from its rest side:
// w_h = |e_r|^2 / (|R1|/2 + |R2|/2), the squared rest edge length over the
// sum of the two rest wing areas. Nothing is tested and nothing guarded: a
// degenerate rest hinge yields NaN or infinity.
template <class Isa>
LAMINA_ALWAYS_INLINE double hinge_weight(vec3 e_r, double lR1, double lR2) {
  return lane_div<Isa>(dot(e_r, e_r), 0.5 * lR2 + 0.5 * lR1);
}

// The rest side of a hinge as the rest derivatives of every bending model
// need it: the rest normals, their lengths and units, the rest edge.
struct rest_hinge_geometry {
  vec3 R1, R2, r1, r2, e;
  double lR1, lR2;
};

template <class Isa>
LAMINA_ALWAYS_INLINE rest_hinge_geometry rest_hinge_geometry_of(vec3 pa, vec3 pb, vec3 pc,
                                                                vec3 pd) {
  rest_hinge_geometry g;
  const wing_normals R = wings_of(pa, pb, pc, pd);
  g.R1 = R.N1;
  g.R2 = R.N2;
  g.lR1 = length<Isa>(R.N1);
  g.lR2 = length<Isa>(R.N2);
  g.r1 = divide<Isa>(R.N1, g.lR1);
  g.r2 = divide<Isa>(R.N2, g.lR2);
  g.e = pb - pa;
  return g;
}

// dw_h/dP_v for v = a, b, c, d. With A = |R1|/2 + |R2|/2, w_h = |e_r|^2 / A:
// d|e_r|^2/dP_a = -2 e_r, d|e_r|^2/dP_b = 2 e_r; d|R_s|/dP_v = r_s x L_sv for
// the lever vectors L1_a = P_c - P_b, L1_b = P_a - P_c, L1_c = P_b - P_a,
// L2_a = P_b - P_d, L2_b = P_d - P_a, L2_d = P_a - P_b (dR = L x dP); so
// dw_h/dP_v = (d|e_r|^2/dP_v - w_h dA/dP_v) / A.
template <class Isa>
LAMINA_ALWAYS_INLINE void weight_gradient(vec3 pa, vec3 pb, vec3 pc, vec3 pd,
                                          const rest_hinge_geometry& g, double w, vec3 out[4]) {
  const vec3 zero = {0.0, 0.0, 0.0};
  const vec3 L1[4] = {pc - pb, pa - pc, pb - pa, zero};
  const vec3 L2[4] = {pb - pd, pd - pa, zero, pa - pb};
  const double de[4] = {-2.0, 2.0, 0.0, 0.0};
  const double A = 0.5 * g.lR2 + 0.5 * g.lR1;
  for (int v = 0; v < 4; ++v) {
    const vec3 d1 = cross(g.r1, L1[v]), d2 = cross(g.r2, L2[v]);
    const vec3 dA = {(d1.x + d2.x) * 0.5, (d1.y + d2.y) * 0.5, (d1.z + d2.z) * 0.5};
    out[v] = {lane_div<Isa>(de[v] * g.e.x - w * dA.x, A),
              lane_div<Isa>(de[v] * g.e.y - w * dA.y, A),
              lane_div<Isa>(de[v] * g.e.z - w * dA.z, A)};
  }
}

// The rest derivatives every bending model shares the shape of: with
// E = eta w_h delta^2 and delta = f(Q) - f_r(P) (f the cosine, or the angle),
//
//   dE/dP_v = -2 eta w_h delta df_r/dP_v + eta delta^2 dw_h/dP_v,
//   d2E / dQ_u dP_v = df/dQ_u (x) 2 eta (delta dw_h/dP_v - w_h df_r/dP_v),
//
// the second a rank-one block, since the gradient in Q is 2 eta w_h delta
// df/dQ and only w_h and delta depend on the rest side. fr and fq hold
// df_r/dP and df/dQ per vertex a, b, c, d; lane l of the terms and of the
// 12-by-12 block (rows (u, coordinate), columns (v, coordinate)) is written.
template <bool Mixed>
LAMINA_ALWAYS_INLINE void hinge_rest_derivatives(const vec3 fr[4], const vec3 fq[4],
                                                 const vec3 dw[4], double eta, double w,
                                                 double delta, lane_vec3 term[4],
                                                 double (&H)[144][kLanes], int l) {
  const double kr = (0.0 - 2.0 * eta * w) * delta, kw = (eta * delta) * delta;
  for (int v = 0; v < 4; ++v) {
    term[v].set(
        l, {kr * fr[v].x + kw * dw[v].x, kr * fr[v].y + kw * dw[v].y, kr * fr[v].z + kw * dw[v].z});
  }
  if constexpr (Mixed) {
    const double two_eta = 2.0 * eta;
    for (int v = 0; v < 4; ++v) {
      const double rho[3] = {two_eta * (delta * dw[v].x - w * fr[v].x),
                             two_eta * (delta * dw[v].y - w * fr[v].y),
                             two_eta * (delta * dw[v].z - w * fr[v].z)};
      for (int u = 0; u < 4; ++u) {
        const double left[3] = {fq[u].x, fq[u].y, fq[u].z};
        for (int a = 0; a < 3; ++a) {
          for (int c = 0; c < 3; ++c) H[(3 * u + a) * 12 + 3 * v + c][l] = left[a] * rho[c];
        }
      }
    }
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_BENDING_HINGE_H
