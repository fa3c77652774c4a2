// The cosine bending model: one hinge's energy and its gradient, for up to
// kLanes hinges side by side (the hinge and its wing normals: hinge.h).
//
//   E_h = ((delta * eta) * delta) * w_h,   delta = cos_d - cos_r,
//   cos_r = ((R1 . R2) / |R1|) / |R2|,     cos_d = u1 . u2,  u_i = N_i / |N_i|,
//   w_h = |e_r|^2 / (|R1|/2 + |R2|/2).
//
// Only the cosine of the angle between the wing normals enters: folding a
// hinge up or down by the same angle costs the same, and near a flat hinge
// the energy grows with the fourth power of the fold angle (no stiffness out
// of the plane there). The rest side (cos_r, w_h) never changes with the
// deformation: a table source computes it on every call, a prepared shell
// once.
#ifndef LAMINA_KERNELS_TERMS_BENDING_COSINE_MODEL_H
#define LAMINA_KERNELS_TERMS_BENDING_COSINE_MODEL_H

#include "assembly/element.h"
#include "simd/lanes.h"
#include "terms/bending/hinge.h"

namespace lamina {
namespace detail {

struct bending_coefficients {
  double eta;
  explicit bending_coefficients(double e) : eta(e) {}
};

// k (I - u u^T) v: the sum over j = x, y, z in this order from 0.0, multiplied
// by k last; diagonal entries 1.0 - u_i u_i, others 0.0 - u_i u_j.
LAMINA_ALWAYS_INLINE vec3 project_out(vec3 u, vec3 v, double k) {
  return {
      (((0.0 + (1.0 - u.x * u.x) * v.x) + (0.0 - u.x * u.y) * v.y) + (0.0 - u.x * u.z) * v.z) * k,
      (((0.0 + (0.0 - u.y * u.x) * v.x) + (1.0 - u.y * u.y) * v.y) + (0.0 - u.y * u.z) * v.z) * k,
      (((0.0 + (0.0 - u.z * u.x) * v.x) + (0.0 - u.z * u.y) * v.y) + (1.0 - u.z * u.z) * v.z) * k};
}

struct cosine_bending {
  static constexpr const char* name = "cosine";
  using element = hinge_element;
  using lanes = hinge_element::lanes;
  using geometry = hinge_element::geometry;
  using coefficients = bending_coefficients;

  enum quantity { cos_r, w_h, kRest };
  static constexpr int kEnergyRest = kRest;
  using rest_type = rest_lanes<kRest>;

  // cos_r and w_h of one hinge from its rest positions. Nothing is tested
  // and nothing guarded: a degenerate rest hinge yields NaN.
  template <class Isa, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest_of(vec3 pa, vec3 pb, vec3 pc, vec3 pd, const coefficients&,
                                           double q[kRest]) {
    const wing_normals R = wings_of(pa, pb, pc, pd);
    const double lR1 = length<Isa>(R.N1);
    const double lR2 = length<Isa>(R.N2);
    q[cos_r] = lane_div<Isa>(lane_div<Isa>(dot(R.N1, R.N2), lR1), lR2);
    q[w_h] = hinge_weight<Isa>(pb - pa, lR1, lR2);
  }

  template <class Isa, int W, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest(const lane_vec3 (&P)[4], const coefficients& k,
                                        rest_type& r) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      double q[kRest];
      rest_of<Isa, Mode>(P[0][l], P[1][l], P[2][l], P[3][l], k, q);
      r.q[cos_r][l] = q[cos_r];
      r.q[w_h][l] = q[w_h];
    }
  }

  // The energy of each hinge and what its derivatives reuse.
  struct alignas(64) energy_lanes {
    lane_vec3 u1, u2;  // unit deformed normals
    lane_doubles delta, E;
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void energy(const lanes&, const geometry& w, const rest_type& rest,
                                          int, const coefficients& k, energy_lanes& q) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const vec3 u1 = divide<Isa>(w.N1[l], w.lN1[l]);
      const vec3 u2 = divide<Isa>(w.N2[l], w.lN2[l]);
      q.u1.set(l, u1);
      q.u2.set(l, u2);
      q.delta[l] = dot(u1, u2) - rest.q[cos_r][l];
      q.E[l] = ((q.delta[l] * k.eta) * q.delta[l]) * rest.q[w_h][l];
    }
  }

  // The six contributions to the rows c, d, a, a, b, b of each hinge, added
  // in this order.
  //
  // E_h depends on the deformed positions only through cos_d = u1 . u2, so
  // dE/du1 = k_h u2 and dE/du2 = k_h u1 with k_h = dE/dcos_d = 2 eta w_h
  // delta; through the unit vectors, dE/dN1 = p1/|N1| and dE/dN2 = p2/|N2|
  // with p1 = k_h (I - u1 u1^T) u2 and p2 = k_h (I - u2 u2^T) u1; and through
  // the two cross products, one term per vertex of each wing: for g = dE/dN1,
  // dE/dQ_c = g x (Q_b - Q_a), dE/dQ_a = g x (Q_c - Q_b), dE/dQ_b = g x (Q_a -
  // Q_c), and likewise for N2. The factor 1/|N| goes into each lever vector,
  // whose components are divided by it one by one.
  static constexpr int kTerms = 6;
  static constexpr int term_vertex[kTerms] = {2, 3, 0, 0, 1, 1};
  struct alignas(64) gradient_lanes {
    lane_vec3 term[kTerms];
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void gradient(const lanes& h, const geometry& w,
                                            const rest_type& rest, const energy_lanes& q,
                                            const coefficients& k, gradient_lanes& g) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const double k_h = q.delta[l] * ((k.eta * 2.0) * rest.q[w_h][l]);
      const vec3 p1 = project_out(q.u1[l], q.u2[l], k_h);
      const vec3 p2 = project_out(q.u2[l], q.u1[l], k_h);
      const vec3 Qa = h.X[0][l], Qb = h.X[1][l], Qc = h.X[2][l], Qd = h.X[3][l];
      const double lN1 = w.lN1[l], lN2 = w.lN2[l];
      g.term[0].set(l, cross(p1, divide<Isa>(Qb - Qa, lN1)));  // row c
      g.term[1].set(l, cross(p2, divide<Isa>(Qa - Qb, lN2)));  // row d
      g.term[2].set(l, cross(p1, divide<Isa>(Qc - Qb, lN1)));  // row a
      g.term[3].set(l, cross(p2, divide<Isa>(Qb - Qd, lN2)));  // row a
      g.term[4].set(l, cross(p1, divide<Isa>(Qa - Qc, lN1)));  // row b
      g.term[5].set(l, cross(p2, divide<Isa>(Qd - Qa, lN2)));  // row b
    }
  }

  // The derivatives in the rest positions (hinge_rest_derivatives, hinge.h):
  // one term of dE/dP per vertex, added to a, b, c, d in this order, and,
  // where Mixed, the rank-one 12-by-12 mixed block. dcos_r/dP is the
  // gradient kernel's form on the rest side with k = 1, dcos_d/dQ that on the
  // deformed side.
  static constexpr int kRestTerms = 4;
  static constexpr int rest_term_vertex[kRestTerms] = {0, 1, 2, 3};
  struct alignas(64) rest_gradient_lanes {
    lane_vec3 term[kRestTerms];
  };

  // dcos/dX per vertex a, b, c, d for unit normals u1, u2 of lengths l1, l2
  // on the positions X.
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void cosine_gradient(vec3 u1, vec3 u2, double l1, double l2, vec3 xa,
                                                   vec3 xb, vec3 xc, vec3 xd, vec3 out[4]) {
    const vec3 p1 = project_out(u1, u2, 1.0), p2 = project_out(u2, u1, 1.0);
    const vec3 a1 = cross(p1, divide<Isa>(xc - xb, l1)), a2 = cross(p2, divide<Isa>(xb - xd, l2));
    const vec3 b1 = cross(p1, divide<Isa>(xa - xc, l1)), b2 = cross(p2, divide<Isa>(xd - xa, l2));
    out[0] = {a1.x + a2.x, a1.y + a2.y, a1.z + a2.z};
    out[1] = {b1.x + b2.x, b1.y + b2.y, b1.z + b2.z};
    out[2] = cross(p1, divide<Isa>(xb - xa, l1));
    out[3] = cross(p2, divide<Isa>(xa - xb, l2));
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
      vec3 fr[4], fq[4], dw[4];
      cosine_gradient<Isa>(g.r1, g.r2, g.lR1, g.lR2, pa, pb, pc, pd, fr);
      if constexpr (Mixed) {
        cosine_gradient<Isa>(q.u1[l], q.u2[l], w.lN1[l], w.lN2[l], h.X[0][l], h.X[1][l], h.X[2][l],
                             h.X[3][l], fq);
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

#include "terms/bending/cosine/hessian.h"

#endif  // LAMINA_KERNELS_TERMS_BENDING_COSINE_MODEL_H
