// The neo-Hookean membrane model: one face's energy and its gradient, for
// up to kLanes faces side by side.
//
// Per face, with rest edges e_k and deformed edges d_k (face.h):
//
//   S_r = |e0 x e1|^2 / 4, A_r = sqrt(S_r)   squared rest area, rest area
//   S_d = |d0 x d1|^2 / 4                    squared deformed area
//   r   = S_d / S_r                          = det C
//   g_k = dot of the two rest edges at corner k = -2 A_r cot(angle k)
//   T   = -(|d0|^2 g0 + |d1|^2 g1 + |d2|^2 g2) = 4 S_r tr C
//   E_f = (mu/8 T + mu/4 S_d) / A_r - ((3mu/4 L + mu) + mu/4) A_r
//
// where L = log r, or its tangent line log(1e-20) + (r - 1e-20)/1e-20 below
// r = 1e-20, so that collapsed deformed faces stay finite. The energy
// depends only on squared lengths and the squared deformed area, so rigid
// motions and mirror images of a face cost nothing.
//
// The rest side (S_r, A_r, g_k, and the trace part's edge coefficients c_m
// = -mu/4 g_m / A_r that only the derivatives use) never changes with the
// deformation: a table source computes it on every call, a prepared shell
// once, both with rest() below.
#ifndef LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_MODEL_H
#define LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_MODEL_H

#include <cmath>
#include <cstdint>

#include "assembly/element.h"
#include "simd/lanes.h"
#include "terms/membrane/face.h"

namespace lamina {
namespace detail {

// Below this squared area ratio the logarithm is continued by its tangent.
constexpr double kRatioFloor = 1e-20;
// A corner normal is normalised only where its squared length exceeds this.
constexpr double kNormalFloor = 1e-30;

// The coefficients of a call, formed once: mu/8, mu/4, 3mu/4 (as mu/2 +
// mu/4), -mu/4 and log(1e-20).
struct membrane_coefficients {
  double mu, mu8, mu4, mu34, neg_mu4, log_floor;
  explicit membrane_coefficients(double m)
      : mu(m),
        mu8(m * 0.125),
        mu4(m * 0.25),
        mu34(m * 0.5 + m * 0.25),
        neg_mu4(m * (-0.25)),
        log_floor(std::log(kRatioFloor)) {}
};

struct neo_hookean_membrane {
  using element = face_element;
  using lanes = face_element::lanes;
  using geometry = face_element::geometry;
  using coefficients = membrane_coefficients;

  // The rest quantities; the energy reads the first five, the derivatives
  // all eight.
  enum quantity { S_r, A_r, g0, g1, g2, c0, c1, c2, kRest };
  static constexpr int kEnergyRest = c0;
  using rest_type = rest_lanes<kRest>;

  // S_r, A_r and g_k of one face from its rest edges, and, unless only the
  // energy is wanted, c_m.
  template <class Isa, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest_of(vec3 p0, vec3 p1, vec3 p2, const coefficients& k,
                                           double q[kRest]) {
    vec3 e[3];
    edges_of(p0, p1, p2, e);
    const vec3 N = cross(e[0], e[1]);
    q[S_r] = dot(N, N) * 0.25;
    q[A_r] = lane_sqrt<Isa>(q[S_r]);
    q[g0] = dot(e[2], e[1]);
    q[g1] = dot(e[2], e[0]);
    q[g2] = dot(e[1], e[0]);
    if constexpr (Mode != mode::energy) {
      for (int m = 0; m < 3; ++m) q[c0 + m] = lane_div<Isa>(k.neg_mu4 * q[g0 + m], q[A_r]);
    }
  }

  template <class Isa, int W, mode Mode>
  static LAMINA_ALWAYS_INLINE void rest(const lane_vec3 (&P)[3], const coefficients& k,
                                        rest_type& r) {
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      double q[kRest];
      rest_of<Isa, Mode>(P[0][l], P[1][l], P[2][l], k, q);
      for (int i = 0; i < (Mode == mode::energy ? kEnergyRest : kRest); ++i) r.q[i][l] = q[i];
    }
  }

  // The energy of each face and what its derivatives reuse.
  struct alignas(64) energy_lanes {
    lane_doubles S_d, r, E;
    lane_doubles T, L;  // the trace sum and the log term
    bool tangent;       // whether any face of the block is below the ratio floor
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void energy(const lanes&, const geometry& f, const rest_type& rest,
                                          int n, const coefficients& k, energy_lanes& q) {
    lane_doubles& T = q.T;
    lane_doubles& L = q.L;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const vec3 d0 = f.d[0][l], d1 = f.d[1][l], d2 = f.d[2][l];
      const vec3 N = cross(d0, d1);
      q.S_d[l] = dot(N, N) * 0.25;
      q.r[l] = lane_div<Isa>(q.S_d[l], rest.q[S_r][l]);
      T[l] = ((0.0 - dot(d0, d0) * rest.q[g0][l]) - dot(d1, d1) * rest.q[g1][l]) -
             dot(d2, d2) * rest.q[g2][l];
    }
    // One call of the C library's logarithm per face, or the tangent line on
    // the rare face below the floor; a NaN ratio fails the comparison and
    // takes the logarithm. Idle lanes get 0.
    q.tangent = false;
    for (int l = 0; l < n; ++l) {
      const double r = q.r[l];
      const bool below = r < kRatioFloor;
      q.tangent = q.tangent || below;
      L[l] = below ? k.log_floor + lane_div<Isa>(r - kRatioFloor, kRatioFloor) : std::log(r);
    }
    for (int l = n; l < W; ++l) L[l] = 0.0;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const double A = rest.q[A_r][l];
      q.E[l] =
          lane_div<Isa>(k.mu8 * T[l] + k.mu4 * q.S_d[l], A) - ((k.mu34 * L[l] + k.mu) + k.mu4) * A;
    }
  }

  // The derivative of E_f with respect to each deformed corner, one term per
  // corner, added to corners 0, 1, 2 in this order.
  //
  // The trace part is sum_m c_m |d_m|^2 / 2; corner k enters d_a with + and
  // d_b with -, giving c_a d_a - c_b d_b. The rest depends on Q_k only through
  // the deformed area A_d, with dE/dA_d = s in both log branches, and
  // dA_d/dQ_k = n x d_k for n half the unit normal. Where |N|^2 is at most
  // 1e-30 (a sliver of area below about 5e-16) n is left unnormalised, which
  // makes the area part practically zero there while the trace part stays
  // exact.
  static constexpr int kTerms = 3;
  static constexpr int term_vertex[kTerms] = {0, 1, 2};
  struct alignas(64) gradient_lanes {
    lane_vec3 term[kTerms];
  };

  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void gradient(const lanes&, const geometry& f, const rest_type& rest,
                                            const energy_lanes& q, const coefficients& k,
                                            gradient_lanes& out) {
    lane_doubles s, A_d, area_factor;
    const lane_doubles* c = rest.q + c0;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      A_d[l] = lane_sqrt<Isa>(q.S_d[l]);
      area_factor[l] = lane_div<Isa>(rest.q[A_r][l], A_d[l]);
    }
    // The area factor of the tangent-line branch, on the rare face that takes it.
    if (q.tangent) {
      for (int l = 0; l < W; ++l) {
        if (q.r[l] < kRatioFloor) {
          area_factor[l] = lane_div<Isa>(lane_div<Isa>(A_d[l], rest.q[A_r][l]), kRatioFloor);
        }
      }
    }
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      s[l] = (lane_div<Isa>(k.mu4 * A_d[l], rest.q[A_r][l]) - k.mu34 * area_factor[l]) * 2.0;
    }
    for (int corner = 0; corner < 3; ++corner) {
      const int a = (corner + 1) % 3, b = (corner + 2) % 3;
      LAMINA_LANE_LOOP
      for (int l = 0; l < W; ++l) {
        const vec3 da = f.d[a][l], db = f.d[b][l], dk = f.d[corner][l];
        const vec3 N = cross(da, db);
        const double NN = dot(N, N);
        const vec3 h = divide<Isa>(N, lane_sqrt<Isa>(NN) * 2.0);
        const bool normalise = NN > kNormalFloor;  // false for NaN too
        const vec3 nrm = {normalise ? h.x : N.x, normalise ? h.y : N.y, normalise ? h.z : N.z};
        const vec3 w = cross(nrm, dk);
        out.term[corner].set(l, {(s[l] * w.x + c[a][l] * da.x) - c[b][l] * db.x,
                                 (s[l] * w.y + c[a][l] * da.y) - c[b][l] * db.y,
                                 (s[l] * w.z + c[a][l] * da.z) - c[b][l] * db.z});
      }
    }
  }

  // The derivatives in the rest positions P_b (rest.h): one term of dE/dP per
  // corner, added to corners 0, 1, 2 in this order, and, where Mixed, the
  // 9-by-9 mixed block d2E / dQ_a dP_b.
  static constexpr int kRestTerms = 3;
  static constexpr int rest_term_vertex[kRestTerms] = {0, 1, 2};
  struct alignas(64) rest_gradient_lanes {
    lane_vec3 term[kRestTerms];
  };
  template <class Isa, int W, bool Mixed>
  static LAMINA_ALWAYS_INLINE void rest_derivatives(const lanes& e, const lane_vec3 (&P)[3],
                                                    const geometry& f, const rest_type& rest,
                                                    const energy_lanes& q, const coefficients& k,
                                                    rest_gradient_lanes& gx,
                                                    double (&H)[81][kLanes]);

  // The 9-by-9 Hessian block (hessian.h).
  static constexpr int kHessianEntries = 81;
  template <class Isa, int W>
  static LAMINA_ALWAYS_INLINE void hessian(const lanes&, const geometry& f, const rest_type& rest,
                                           const energy_lanes& q, const coefficients& k,
                                           double (&H)[kHessianEntries][kLanes]);
};

}  // namespace detail
}  // namespace lamina

#include "terms/membrane/neo_hookean/hessian.h"
#include "terms/membrane/neo_hookean/rest.h"

#endif  // LAMINA_KERNELS_TERMS_MEMBRANE_NEO_HOOKEAN_MODEL_H
