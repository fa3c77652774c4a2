// The bending element: one hinge's energy and its derivatives, for up to
// kLanes hinges side by side (lanes.h); and the row test that the bending
// term and the valid-edge mask share, so the mask cannot drift from the rows
// the energy evaluates.
//
// A hinge is an edge row (a, b, c, d) with both wings present: the wing
// (a, b, c), in which the edge runs from a to b, and the wing (b, a, d). With
// every difference taken from vertex a,
//
//   R1 = e_r x (P_c - P_a),  R2 = (P_d - P_a) x e_r,  e_r = P_b - P_a
//
// are the rest wing normals (pointing to the same side on a consistently
// oriented mesh, so a flat hinge has cosine 1), N1 and N2 the same on the
// deformed positions, and
//
//   E_h = ((delta * eta) * delta) * w_h,   delta = cos_d - cos_r,
//   w_h = |e_r|^2 / (|R1|/2 + |R2|/2),
//   cos_r = ((R1 . R2) / |R1|) / |R2|,  cos_d = u1 . u2,  u_i = N_i / |N_i|.
//
// The rest side (cos_r, w_h) never changes with the deformation: the
// stateless kernels compute it on every call, a prepared shell once.
#ifndef LAMINA_KERNELS_HINGE_H
#define LAMINA_KERNELS_HINGE_H

#include <cstddef>
#include <cstdint>

#include "simd/index.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// A deformed wing normal shorter than this marks a degenerate triangle.
constexpr double kWingNormalFloor = 1e-10;

// Up to kLanes hinges: their rows in the edge table, their place in the
// sequence the pass walks (the row again, or a prepared shell's hinge
// number), vertex indices and deformed positions.
struct alignas(64) hinge_lanes {
  lane_indices row, item, a, b, c, d;
  lane_vec3 Qa, Qb, Qc, Qd;
};

// The rest side of up to kLanes hinges.
struct alignas(64) hinge_rest_lanes {
  lane_doubles cos_r, w_h;
};

// Collects up to W hinges, rows *j onward, into h and returns how many (0
// when the table is exhausted); *j ends past the last row examined. A row is
// a hinge when both c and d truncate to non-negative indices; a missing wing
// (negative, NaN or beyond int32) skips the row with only c and d read. Idle
// lanes repeat the first hinge, so that every lane addresses valid rows.
template <int W>
LAMINA_ALWAYS_INLINE int collect_hinges(const double* edges, std::int32_t nE, std::int32_t* j,
                                        hinge_lanes& h) {
  const std::ptrdiff_t s = nE;
  int n = 0;
  for (; *j < nE && n < W; ++*j) {
    const std::int32_t c = index_from_double(edges[*j + 2 * s]);
    const std::int32_t d = index_from_double(edges[*j + 3 * s]);
    if ((c < d ? c : d) < 0) continue;
    h.row[n] = h.item[n] = *j;
    h.c[n] = c;
    h.d[n] = d;
    h.a[n] = index_from_double(edges[*j]);
    h.b[n] = index_from_double(edges[*j + s]);
    ++n;
  }
  for (int l = n; l < W && n > 0; ++l) {
    h.row[l] = h.row[0];
    h.item[l] = h.item[0];
    h.a[l] = h.a[0];
    h.b[l] = h.b[0];
    h.c[l] = h.c[0];
    h.d[l] = h.d[0];
  }
  return n;
}

// The deformed positions of the collected hinges.
template <int W, class Vertices>
LAMINA_ALWAYS_INLINE void gather_hinge_positions(const Vertices& deformed, hinge_lanes& h) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    h.Qa.set(l, deformed(h.a[l]));
    h.Qb.set(l, deformed(h.b[l]));
    h.Qc.set(l, deformed(h.c[l]));
    h.Qd.set(l, deformed(h.d[l]));
  }
}

// The two wing normals of a hinge: N1 = e x (p_c - p_a), N2 = (p_d - p_a) x e,
// e = p_b - p_a, on rest or deformed positions alike.
struct wing_normals {
  vec3 N1, N2;
};

LAMINA_ALWAYS_INLINE wing_normals wings_of(vec3 pa, vec3 pb, vec3 pc, vec3 pd) {
  const vec3 e = pb - pa;
  return {cross(e, pc - pa), cross(pd - pa, e)};
}

// cos_r and w_h of one hinge from its rest positions. Nothing is tested and
// nothing guarded: a degenerate rest hinge yields NaN.
template <class Isa>
LAMINA_ALWAYS_INLINE void rest_hinge(vec3 pa, vec3 pb, vec3 pc, vec3 pd, double& cos_r,
                                     double& w_h) {
  const wing_normals R = wings_of(pa, pb, pc, pd);
  const double lR1 = length<Isa>(R.N1);
  const double lR2 = length<Isa>(R.N2);
  cos_r = lane_div<Isa>(lane_div<Isa>(dot(R.N1, R.N2), lR1), lR2);
  const vec3 e = pb - pa;
  w_h = lane_div<Isa>(dot(e, e), 0.5 * lR2 + 0.5 * lR1);
}

// The rest side of the collected hinges, from the rest positions.
template <class Isa, int W, class Vertices>
LAMINA_ALWAYS_INLINE void compute_rest_hinges(const Vertices& rest, const hinge_lanes& h,
                                              hinge_rest_lanes& r) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    rest_hinge<Isa>(rest(h.a[l]), rest(h.b[l]), rest(h.c[l]), rest(h.d[l]), r.cos_r[l], r.w_h[l]);
  }
}

// The deformed wing normals, their lengths, and whether the row is
// evaluated: neither length below the floor. The tests are strict, and a NaN
// length passes, so that NaN coordinates reach the energy instead of being
// silently dropped.
struct alignas(64) wing_normal_lanes {
  lane_vec3 N1, N2;
  lane_doubles lN1, lN2;
  lane_doubles evaluated;  // 1.0 or 0.0 (a double, so that it shares the lanes' width)
};

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void deformed_wing_normals(const hinge_lanes& h, wing_normal_lanes& w) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const wing_normals N = wings_of(h.Qa[l], h.Qb[l], h.Qc[l], h.Qd[l]);
    w.N1.set(l, N.N1);
    w.N2.set(l, N.N2);
    w.lN1[l] = length<Isa>(N.N1);
    w.lN2[l] = length<Isa>(N.N2);
    const double first = w.lN1[l] < kWingNormalFloor ? 0.0 : 1.0;
    w.evaluated[l] = w.lN2[l] < kWingNormalFloor ? 0.0 : first;
  }
}

// The energy of each hinge and what its derivatives reuse. Every bending
// kernel computes the energy here, so they all agree bit for bit.
struct alignas(64) hinge_energy_lanes {
  wing_normal_lanes w;
  lane_vec3 u1, u2;  // unit deformed normals
  lane_doubles delta, E;
};

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void hinge_energy(const hinge_lanes& h, const hinge_rest_lanes& rest,
                                       double eta, hinge_energy_lanes& q) {
  deformed_wing_normals<Isa, W>(h, q.w);
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const vec3 u1 = divide<Isa>(q.w.N1[l], q.w.lN1[l]);
    const vec3 u2 = divide<Isa>(q.w.N2[l], q.w.lN2[l]);
    q.u1.set(l, u1);
    q.u2.set(l, u2);
    q.delta[l] = dot(u1, u2) - rest.cos_r[l];
    q.E[l] = ((q.delta[l] * eta) * q.delta[l]) * rest.w_h[l];
  }
}

// k (I - u u^T) v: the sum over j = x, y, z in this order from 0.0, multiplied
// by k last; diagonal entries 1.0 - u_i u_i, others 0.0 - u_i u_j.
LAMINA_ALWAYS_INLINE vec3 project_out(vec3 u, vec3 v, double k) {
  return {
      (((0.0 + (1.0 - u.x * u.x) * v.x) + (0.0 - u.x * u.y) * v.y) + (0.0 - u.x * u.z) * v.z) * k,
      (((0.0 + (0.0 - u.y * u.x) * v.x) + (1.0 - u.y * u.y) * v.y) + (0.0 - u.y * u.z) * v.z) * k,
      (((0.0 + (0.0 - u.z * u.x) * v.x) + (0.0 - u.z * u.y) * v.y) + (1.0 - u.z * u.z) * v.z) * k};
}

// The six contributions to the rows c, d, a, a, b, b of each hinge.
//
// E_h depends on the deformed positions only through cos_d = u1 . u2, so
// dE/du1 = k_h u2 and dE/du2 = k_h u1 with k_h = dE/dcos_d = 2 eta w_h delta;
// through the unit vectors, dE/dN1 = p1/|N1| and dE/dN2 = p2/|N2| with
// p1 = k_h (I - u1 u1^T) u2 and p2 = k_h (I - u2 u2^T) u1; and through the
// two cross products, one term per vertex of each wing: for g = dE/dN1,
// dE/dQ_c = g x (Q_b - Q_a), dE/dQ_a = g x (Q_c - Q_b), dE/dQ_b = g x (Q_a -
// Q_c), and likewise for N2. The factor 1/|N| goes into each lever vector,
// whose components are divided by it one by one.
struct alignas(64) hinge_gradient_lanes {
  lane_vec3 term[6];
};

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void hinge_gradient(const hinge_lanes& h, const hinge_rest_lanes& rest,
                                         const hinge_energy_lanes& q, double eta,
                                         hinge_gradient_lanes& g) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double k_h = q.delta[l] * ((eta * 2.0) * rest.w_h[l]);
    const vec3 p1 = project_out(q.u1[l], q.u2[l], k_h);
    const vec3 p2 = project_out(q.u2[l], q.u1[l], k_h);
    const vec3 Qa = h.Qa[l], Qb = h.Qb[l], Qc = h.Qc[l], Qd = h.Qd[l];
    const double lN1 = q.w.lN1[l], lN2 = q.w.lN2[l];
    g.term[0].set(l, cross(p1, divide<Isa>(Qb - Qa, lN1)));  // row c
    g.term[1].set(l, cross(p2, divide<Isa>(Qa - Qb, lN2)));  // row d
    g.term[2].set(l, cross(p1, divide<Isa>(Qc - Qb, lN1)));  // row a
    g.term[3].set(l, cross(p2, divide<Isa>(Qb - Qd, lN2)));  // row a
    g.term[4].set(l, cross(p1, divide<Isa>(Qa - Qc, lN1)));  // row b
    g.term[5].set(l, cross(p2, divide<Isa>(Qd - Qa, lN2)));  // row b
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HINGE_H
