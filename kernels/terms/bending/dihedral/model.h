// The dihedral bending model: one hinge's energy and its gradient, for up
// to kLanes hinges side by side (the hinge and its wing normals: hinge.h).
//
//   E_h = ((delta * eta) * delta) * w_h,   delta = theta_d - theta_r,
//   theta = atan2(((N1 x N2) . e) / |e|, N1 . N2),   e = Q_b - Q_a,
//   w_h = |e_r|^2 / (|R1|/2 + |R2|/2)               (as the cosine model's)
//
// theta is the signed angle from the first wing's normal to the second's,
// turning about the edge a -> b, in (-pi, pi] (lane_atan2, simd/atan2.h): 0 for a flat hinge;
// negative when both wings rise towards the side their normals point to (a valley seen from that
// side), positive when they fall away from it (a ridge). N1 x N2 is parallel to e, so the first
// argument is +-|N1 x N2|. With the angle itself in place of its cosine, the energy grows with the
// square of the fold near flat (stiffness out of the plane) and a smooth bend of curvature kappa
// gives E -> integral of kappa^2 dA as the mesh is refined (the cosine
// model's falls as h^2).
//
// The rest side is theta_r and w_h. A rest hinge with a wing of zero area
// has no rest angle: theta_r is NaN there (as cos_r is in the cosine
// model), and so is the hinge's energy.
//
// A hinge folded through +-pi: theta jumps from pi to -pi (atan2's branch
// cut, the first argument changing sign while the second is negative). The
// energy is continuous there only when theta_r = 0, and its gradient never
// is (the angle's derivative is, but delta jumps by 2 pi). Shells that
// fold that far are outside what either model is for.
//
// Gradient. theta depends on Q through the normals alone (its derivative in
// e at fixed normals vanishes because N1 x N2 is parallel to e), which gives
// the classical closed form, with h_s = |N_s| / |e| the heights of c and d
// over the edge and t_c, t_d where their feet fall on it:
//
//   grad_c theta = -F1,  grad_d theta = -F2,  F_s = |e| N_s / |N_s|^2,
//   grad_a theta = (1 - t_c) F1 + (1 - t_d) F2,
//   grad_b theta = t_c F1 + t_d F2,
//   t_c = ((Q_c - Q_a) . e) / |e|^2,  t_d = ((Q_d - Q_a) . e) / |e|^2,
//
// and dE/dQ = k grad theta with k = dE/dtheta = 2 eta w_h delta. Moving c
// along N1 by s turns the first wing about the edge by s/h_1, which turns
// theta by -s/h_1; a and b share the rotation in proportion to where c's
// foot lies. The four terms sum to zero (translations), and their moments
// too (rotations).
#ifndef LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_MODEL_H
#define LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_MODEL_H

#include <limits>

#include "assembly/element.h"
#include "simd/atan2.h"
#include "simd/lanes.h"
#include "terms/bending/cosine/model.h"
#include "terms/bending/hinge.h"

namespace lamina {
namespace detail {

struct dihedral_bending {
  static constexpr const char* name = "dihedral";
  using element = hinge_element;
  using lanes = hinge_element::lanes;
  using geometry = hinge_element::geometry;
  using coefficients = bending_coefficients;

  enum quantity { theta_r, w_h, kRest };
  static constexpr int kEnergyRest = kRest;
  using rest_type = rest_lanes<kRest>;

  // theta_r and w_h of one hinge from its rest positions.
  template <class Isa, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest_of(vec3 pa, vec3 pb, vec3 pc, vec3 pd, const coefficients&,
                                           double q[kRest]) {
    const wing_normals R = wings_of(pa, pb, pc, pd);
    const double lR1 = length<Isa>(R.N1);
    const double lR2 = length<Isa>(R.N2);
    const vec3 e = pb - pa;
    const double y = lane_div<Isa>(dot(cross(R.N1, R.N2), e), length<Isa>(e));
    const double theta = lane_atan2<Isa>(y, dot(R.N1, R.N2));
    // Both wings with an area (false for NaN too), or no rest angle.
    const bool defined = lR1 > 0.0 && lR2 > 0.0;
    q[theta_r] = defined ? theta : std::numeric_limits<double>::quiet_NaN();
    q[w_h] = hinge_weight<Isa>(e, lR1, lR2);
  }

  template <class Isa, int W, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest(const lane_vec3 (&P)[4], const coefficients& k,
                                        rest_type& r) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      double q[kRest];
      rest_of<Isa, Mode>(P[0][l], P[1][l], P[2][l], P[3][l], k, q);
      r.q[theta_r][l] = q[theta_r];
      r.q[w_h][l] = q[w_h];
    }
  }

  // The energy of each hinge and what its derivatives reuse.
  struct alignas(64) energy_lanes {
    lane_vec3 e;            // the deformed edge Q_b - Q_a
    lane_doubles ee, le;    // |e|^2, |e|
    lane_doubles x, y;      // N1 . N2 and ((N1 x N2) . e) / |e|
    lane_doubles delta, E;  // theta_d - theta_r, the energy
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void energy(const lanes& h, const geometry& w, const rest_type& rest,
                                          int, const coefficients& k, energy_lanes& q) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const vec3 e = h.X[1][l] - h.X[0][l];
      q.e.set(l, e);
      q.ee[l] = dot(e, e);
      q.le[l] = lane_sqrt<Isa>(q.ee[l]);
      const vec3 N1 = w.N1[l], N2 = w.N2[l];
      q.x[l] = dot(N1, N2);
      q.y[l] = lane_div<Isa>(dot(cross(N1, N2), e), q.le[l]);
      q.delta[l] = lane_atan2<Isa>(q.y[l], q.x[l]) - rest.q[theta_r][l];
      q.E[l] = ((q.delta[l] * k.eta) * q.delta[l]) * rest.q[w_h][l];
    }
  }

  // k grad theta, one term per vertex, added to c, d, a, b in this order.
  static constexpr int kTerms = 4;
  static constexpr int term_vertex[kTerms] = {2, 3, 0, 1};
  struct alignas(64) gradient_lanes {
    lane_vec3 term[kTerms];
  };

  // F_s = |e| N_s / |N_s|^2 and t_c, t_d of one hinge (lane l).
  struct wing_terms {
    vec3 F1, F2;
    double s1, s2;  // |e| / |N_s|^2
    double t_c, t_d;
  };

  template <class Isa>
  static LAMINA_ALWAYS_INLINE wing_terms wing_terms_of(const lanes& h, const geometry& w,
                                                       const energy_lanes& q, int l) {
    wing_terms t;
    const vec3 N1 = w.N1[l], N2 = w.N2[l], e = q.e[l];
    t.s1 = lane_div<Isa>(q.le[l], dot(N1, N1));
    t.s2 = lane_div<Isa>(q.le[l], dot(N2, N2));
    t.F1 = {t.s1 * N1.x, t.s1 * N1.y, t.s1 * N1.z};
    t.F2 = {t.s2 * N2.x, t.s2 * N2.y, t.s2 * N2.z};
    t.t_c = lane_div<Isa>(dot(h.X[2][l] - h.X[0][l], e), q.ee[l]);
    t.t_d = lane_div<Isa>(dot(h.X[3][l] - h.X[0][l], e), q.ee[l]);
    return t;
  }

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void gradient(const lanes& h, const geometry& w,
                                            const rest_type& rest, const energy_lanes& q,
                                            const coefficients& k, gradient_lanes& g) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const double k_h = q.delta[l] * ((k.eta * 2.0) * rest.q[w_h][l]);
      const wing_terms t = wing_terms_of<Isa>(h, w, q, l);
      const double ka1 = k_h * (1.0 - t.t_c), ka2 = k_h * (1.0 - t.t_d);
      const double kb1 = k_h * t.t_c, kb2 = k_h * t.t_d;
      g.term[0].set(l, {(0.0 - k_h) * t.F1.x, (0.0 - k_h) * t.F1.y, (0.0 - k_h) * t.F1.z});
      g.term[1].set(l, {(0.0 - k_h) * t.F2.x, (0.0 - k_h) * t.F2.y, (0.0 - k_h) * t.F2.z});
      g.term[2].set(l, {ka1 * t.F1.x + ka2 * t.F2.x, ka1 * t.F1.y + ka2 * t.F2.y,
                        ka1 * t.F1.z + ka2 * t.F2.z});
      g.term[3].set(l, {kb1 * t.F1.x + kb2 * t.F2.x, kb1 * t.F1.y + kb2 * t.F2.y,
                        kb1 * t.F1.z + kb2 * t.F2.z});
    }
  }

  // The derivatives in the rest positions (hinge_rest_derivatives, hinge.h):
  // one term of dE/dP per vertex, added to a, b, c, d in this order, and,
  // where Mixed, the rank-one 12-by-12 mixed block. dtheta_r/dP is the
  // closed form above on the rest side, dtheta/dQ on the deformed side.
  static constexpr int kRestTerms = 4;
  static constexpr int rest_term_vertex[kRestTerms] = {0, 1, 2, 3};
  struct alignas(64) rest_gradient_lanes {
    lane_vec3 term[kRestTerms];
  };

  // grad theta per vertex a, b, c, d from F1, F2, t_c, t_d.
  static LAMINA_ALWAYS_INLINE void angle_gradient(vec3 F1, vec3 F2, double t_c, double t_d,
                                                  vec3 out[4]) {
    const double a1 = 1.0 - t_c, a2 = 1.0 - t_d;
    out[0] = {a1 * F1.x + a2 * F2.x, a1 * F1.y + a2 * F2.y, a1 * F1.z + a2 * F2.z};
    out[1] = {t_c * F1.x + t_d * F2.x, t_c * F1.y + t_d * F2.y, t_c * F1.z + t_d * F2.z};
    out[2] = {0.0 - F1.x, 0.0 - F1.y, 0.0 - F1.z};
    out[3] = {0.0 - F2.x, 0.0 - F2.y, 0.0 - F2.z};
  }

  template <class Isa, int W, bool Mixed>
  static LAMINA_ALWAYS_INLINE void rest_derivatives(const lanes& h, const lane_vec3 (&P)[4],
                                                    const geometry& w, const rest_type& rest,
                                                    const energy_lanes& q, const coefficients& k,
                                                    rest_gradient_lanes& gx,
                                                    double (&H)[144][kLanes]) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const vec3 pa = P[0][l], pb = P[1][l], pc = P[2][l], pd = P[3][l];
      const rest_hinge_geometry g = rest_hinge_geometry_of<Isa>(pa, pb, pc, pd);
      const double ee = dot(g.e, g.e), le = lane_sqrt<Isa>(ee);
      const double s1 = lane_div<Isa>(le, dot(g.R1, g.R1)), s2 = lane_div<Isa>(le, dot(g.R2, g.R2));
      vec3 fr[4], fq[4], dw[4];
      angle_gradient({s1 * g.R1.x, s1 * g.R1.y, s1 * g.R1.z},
                     {s2 * g.R2.x, s2 * g.R2.y, s2 * g.R2.z}, lane_div<Isa>(dot(pc - pa, g.e), ee),
                     lane_div<Isa>(dot(pd - pa, g.e), ee), fr);
      if constexpr (Mixed) {
        const wing_terms t = wing_terms_of<Isa>(h, w, q, l);
        angle_gradient(t.F1, t.F2, t.t_c, t.t_d, fq);
      }
      weight_gradient<Isa>(pa, pb, pc, pd, g, rest.q[w_h][l], dw);
      hinge_rest_derivatives<Mixed>(fr, fq, dw, k.eta, rest.q[w_h][l], q.delta[l], gx.term, H, l);
    }
  }

  // The 12-by-12 Hessian block (hessian.h).
  static constexpr int kHessianEntries = 144;
  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void hessian(const lanes& h, const geometry& w, const rest_type& rest,
                                           const energy_lanes& q, const coefficients& k,
                                           double (&H)[kHessianEntries][kLanes]);
};

}  // namespace detail
}  // namespace lamina

#include "terms/bending/dihedral/hessian.h"

#endif  // LAMINA_KERNELS_TERMS_BENDING_DIHEDRAL_MODEL_H
