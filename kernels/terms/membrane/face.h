// The membrane element: one face's energy and its derivatives, for up to
// kLanes faces side by side (lanes.h).
//
// Per face, with rest edges e_k and deformed edges d_k (edge k opposite
// corner k: e0 = P2 - P1, e1 = P0 - P2, e2 = P1 - P0):
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
// The rest side (S_r, A_r, g_k) never changes with the deformation: the
// stateless kernels compute it on every call, a prepared shell once.
#ifndef LAMINA_KERNELS_FACE_H
#define LAMINA_KERNELS_FACE_H

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "simd/lanes.h"

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

// Up to kLanes faces: corner indices and deformed edges d[k].
struct alignas(64) face_lanes {
  lane_indices corner[3];
  lane_vec3 d[3];
};

// The rest side of up to kLanes faces; c, the trace part's edge
// coefficients, only where derivatives are formed.
struct alignas(64) face_rest_lanes {
  lane_doubles S_r, A_r;
  lane_doubles g[3];
  lane_doubles c[3];
};

// Corner indices of faces j0 ... j0+n-1 into the first W lanes; idle lanes
// repeat face j0, so that every lane holds finite values read from valid
// rows.
template <int W>
LAMINA_ALWAYS_INLINE void gather_corners(const double* faces, std::ptrdiff_t nF, std::int32_t j0,
                                         int n, face_lanes& f) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const std::ptrdiff_t j = j0 + (l < n ? l : 0);
    for (int k = 0; k < 3; ++k) f.corner[k][l] = index_from_double(faces[j + k * nF]);
  }
}

// Edge k runs between the two corners other than k: 2 - 1, 0 - 2, 1 - 0.
LAMINA_ALWAYS_INLINE void edges_of(vec3 p0, vec3 p1, vec3 p2, vec3 e[3]) {
  e[0] = p2 - p1;
  e[1] = p0 - p2;
  e[2] = p1 - p0;
}

// The positions of the gathered faces' corners, from one or two vertex
// matrices at once (so that each index is taken out of its vector once). The
// loads stay apart from the arithmetic, so that the arithmetic's loops
// vectorise on every path.
template <int W, class Vertices>
LAMINA_ALWAYS_INLINE void gather_corner_positions(const face_lanes& f, const Vertices& v,
                                                  lane_vec3 p[3]) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int k = 0; k < 3; ++k) p[k].set(l, v(f.corner[k][l]));
  }
}

template <int W, class Vertices>
LAMINA_ALWAYS_INLINE void gather_corner_positions(const face_lanes& f, const Vertices& v,
                                                  lane_vec3 p[3], const Vertices& u,
                                                  lane_vec3 q[3]) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int k = 0; k < 3; ++k) {
      p[k].set(l, v(f.corner[k][l]));
      q[k].set(l, u(f.corner[k][l]));
    }
  }
}

// The deformed edges of the gathered faces, from their corners' positions.
template <int W>
LAMINA_ALWAYS_INLINE void deformed_edges(const lane_vec3 Q[3], face_lanes& f) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    vec3 d[3];
    edges_of(Q[0][l], Q[1][l], Q[2][l], d);
    for (int k = 0; k < 3; ++k) f.d[k].set(l, d[k]);
  }
}

// S_r, A_r and g_k of one face from its rest edges.
template <class Isa>
LAMINA_ALWAYS_INLINE void rest_face(const vec3 e[3], double& S_r, double& A_r, double g[3]) {
  const vec3 N = cross(e[0], e[1]);
  S_r = dot(N, N) * 0.25;
  A_r = lane_sqrt<Isa>(S_r);
  g[0] = dot(e[2], e[1]);
  g[1] = dot(e[2], e[0]);
  g[2] = dot(e[1], e[0]);
}

// The rest side of the gathered faces, from their corners' rest positions.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void rest_faces(const lane_vec3 P[3], face_rest_lanes& r) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    vec3 e[3];
    edges_of(P[0][l], P[1][l], P[2][l], e);
    double g[3];
    rest_face<Isa>(e, r.S_r[l], r.A_r[l], g);
    for (int k = 0; k < 3; ++k) r.g[k][l] = g[k];
  }
}

// The edge coefficients of the trace part, c_m = -mu/4 g_m / A_r (rest-side
// quantities too, once mu is known).
template <class Isa>
LAMINA_ALWAYS_INLINE double edge_coefficient(double neg_mu4, double g, double A_r) {
  return lane_div<Isa>(neg_mu4 * g, A_r);
}

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void edge_coefficients(double neg_mu4, face_rest_lanes& r) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int m = 0; m < 3; ++m) r.c[m][l] = edge_coefficient<Isa>(neg_mu4, r.g[m][l], r.A_r[l]);
  }
}

// The energy of each face and what its derivatives reuse. Every membrane
// kernel computes the energy here, so they all agree bit for bit.
struct alignas(64) face_energy_lanes {
  lane_doubles S_d, r, E;
  bool tangent;  // whether any face of the block is below the ratio floor
};

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void face_energy(const face_lanes& f, const face_rest_lanes& rest, int n,
                                      const membrane_coefficients& k, face_energy_lanes& q) {
  lane_doubles T, L;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const vec3 d0 = f.d[0][l], d1 = f.d[1][l], d2 = f.d[2][l];
    const vec3 N = cross(d0, d1);
    q.S_d[l] = dot(N, N) * 0.25;
    q.r[l] = lane_div<Isa>(q.S_d[l], rest.S_r[l]);
    T[l] = ((0.0 - dot(d0, d0) * rest.g[0][l]) - dot(d1, d1) * rest.g[1][l]) -
           dot(d2, d2) * rest.g[2][l];
  }
  // One call of the C library's logarithm per face, or the tangent line on
  // the rare face below the floor; a NaN ratio fails the comparison and takes
  // the logarithm. Idle lanes get 0.
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
    const double A_r = rest.A_r[l];
    q.E[l] = lane_div<Isa>(k.mu8 * T[l] + k.mu4 * q.S_d[l], A_r) -
             ((k.mu34 * L[l] + k.mu) + k.mu4) * A_r;
  }
}

// The derivative of E_f with respect to each deformed corner.
//
// The trace part is sum_m c_m |d_m|^2 / 2 with c_m = -mu/4 g_m / A_r; corner k
// enters d_a with + and d_b with -, giving c_a d_a - c_b d_b. The rest depends
// on Q_k only through the deformed area A_d, with dE/dA_d = s in both log
// branches, and dA_d/dQ_k = n x d_k for n half the unit normal. Where |N|^2
// is at most 1e-30 (a sliver of area below about 5e-16) n is left
// unnormalised, which makes the area part practically zero there while the
// trace part stays exact.
struct alignas(64) face_gradient_lanes {
  lane_vec3 corner[3];
};

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void face_gradient(const face_lanes& f, const face_rest_lanes& rest,
                                        const face_energy_lanes& q, const membrane_coefficients& k,
                                        face_gradient_lanes& out) {
  lane_doubles s, A_d, area_factor;
  const lane_doubles* c = rest.c;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    A_d[l] = lane_sqrt<Isa>(q.S_d[l]);
    area_factor[l] = lane_div<Isa>(rest.A_r[l], A_d[l]);
  }
  // The area factor of the tangent-line branch, on the rare face that takes it.
  if (q.tangent) {
    for (int l = 0; l < W; ++l) {
      if (q.r[l] < kRatioFloor) {
        area_factor[l] = lane_div<Isa>(lane_div<Isa>(A_d[l], rest.A_r[l]), kRatioFloor);
      }
    }
  }
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    s[l] = (lane_div<Isa>(k.mu4 * A_d[l], rest.A_r[l]) - k.mu34 * area_factor[l]) * 2.0;
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
      out.corner[corner].set(l, {(s[l] * w.x + c[a][l] * da.x) - c[b][l] * db.x,
                                 (s[l] * w.y + c[a][l] * da.y) - c[b][l] * db.y,
                                 (s[l] * w.z + c[a][l] * da.z) - c[b][l] * db.z});
    }
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_FACE_H
