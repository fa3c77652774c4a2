// Bending energy of a triangle mesh and its gradient.
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
//   w_h = |e_r|^2 / (|R1|/2 + |R2|/2).
//
// Hinges are evaluated kLanes at a time (lanes.h): boundary rows are dropped
// while the block is collected, rows with a degenerate deformed wing after
// the arithmetic; energies are summed and gradient contributions added hinge
// after hinge, in table order.
#include <cmath>

#include "hinge.h"
#include "isa_paths.h"
#include <lamina/lamina.h>
#include "lanes.h"

namespace lamina {
namespace {

using detail::hinge_lanes;
using detail::kLanes;
using detail::lane_doubles;
using detail::lane_vec3;
using detail::wing_normal_lanes;

// The energy of each hinge and what its gradient reuses. Both bending
// kernels compute the energy here, so they agree bit for bit.
struct hinge_energy_lanes {
  wing_normal_lanes w;
  lane_vec3 u1, u2;  // unit deformed normals
  lane_doubles delta, w_h, E;
};

template <int W>
LAMINA_ALWAYS_INLINE void evaluate_energy(const double* rest, std::ptrdiff_t nV, double eta,
                                          const hinge_lanes& h, hinge_energy_lanes& q) {
  lane_vec3 Pa, Pb, Pc, Pd;
  detail::load_hinge_positions<W>(rest, nV, h, Pa, Pb, Pc, Pd);
  lane_doubles cos_r;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    // Rest side: no test and no guard; a degenerate rest hinge yields NaN.
    const double ex = Pb.x[l] - Pa.x[l], ey = Pb.y[l] - Pa.y[l], ez = Pb.z[l] - Pa.z[l];
    const double cx = Pc.x[l] - Pa.x[l], cy = Pc.y[l] - Pa.y[l], cz = Pc.z[l] - Pa.z[l];
    const double dx = Pd.x[l] - Pa.x[l], dy = Pd.y[l] - Pa.y[l], dz = Pd.z[l] - Pa.z[l];
    const double R1x = ey * cz - ez * cy, R1y = ez * cx - ex * cz, R1z = ex * cy - ey * cx;
    const double R2x = dy * ez - dz * ey, R2y = dz * ex - dx * ez, R2z = dx * ey - dy * ex;
    const double lR1 = std::sqrt((R1x * R1x + R1y * R1y) + R1z * R1z);
    const double lR2 = std::sqrt((R2x * R2x + R2y * R2y) + R2z * R2z);
    cos_r[l] = (((R1x * R2x + R1y * R2y) + R1z * R2z) / lR1) / lR2;
    q.w_h[l] = ((ex * ex + ey * ey) + ez * ez) / (0.5 * lR2 + 0.5 * lR1);
  }
  detail::deformed_wing_normals<W>(h, q.w);
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    q.u1.x[l] = q.w.N1.x[l] / q.w.lN1[l];
    q.u1.y[l] = q.w.N1.y[l] / q.w.lN1[l];
    q.u1.z[l] = q.w.N1.z[l] / q.w.lN1[l];
    q.u2.x[l] = q.w.N2.x[l] / q.w.lN2[l];
    q.u2.y[l] = q.w.N2.y[l] / q.w.lN2[l];
    q.u2.z[l] = q.w.N2.z[l] / q.w.lN2[l];
    const double cos_d = (q.u1.x[l] * q.u2.x[l] + q.u1.y[l] * q.u2.y[l]) + q.u1.z[l] * q.u2.z[l];
    q.delta[l] = cos_d - cos_r[l];
    q.E[l] = ((q.delta[l] * eta) * q.delta[l]) * q.w_h[l];
  }
}

// k (I - u u^T) v of lane l: the sum over j = x, y, z in this order from 0.0,
// multiplied by k last; diagonal entries 1.0 - u_i u_i, others 0.0 - u_i u_j.
LAMINA_ALWAYS_INLINE void project_out(const lane_vec3& u, const lane_vec3& v, double k, int l,
                                      lane_vec3& p) {
  const double ux = u.x[l], uy = u.y[l], uz = u.z[l];
  const double vx = v.x[l], vy = v.y[l], vz = v.z[l];
  p.x[l] = (((0.0 + (1.0 - ux * ux) * vx) + (0.0 - ux * uy) * vy) + (0.0 - ux * uz) * vz) * k;
  p.y[l] = (((0.0 + (0.0 - uy * ux) * vx) + (1.0 - uy * uy) * vy) + (0.0 - uy * uz) * vz) * k;
  p.z[l] = (((0.0 + (0.0 - uz * ux) * vx) + (0.0 - uz * uy) * vy) + (1.0 - uz * uz) * vz) * k;
}

// p x ((to - from) / length) of lane l, the lever's components divided (not
// multiplied by a reciprocal) one by one.
LAMINA_ALWAYS_INLINE void lever_cross(const lane_vec3& p, const lane_vec3& to,
                                      const lane_vec3& from, const lane_doubles& length, int l,
                                      lane_vec3& out) {
  const double lx = (to.x[l] - from.x[l]) / length[l];
  const double ly = (to.y[l] - from.y[l]) / length[l];
  const double lz = (to.z[l] - from.z[l]) / length[l];
  out.x[l] = p.y[l] * lz - p.z[l] * ly;
  out.y[l] = p.z[l] * lx - p.x[l] * lz;
  out.z[l] = p.x[l] * ly - p.y[l] * lx;
}

// The six contributions to the rows c, d, a, a, b, b of each hinge.
//
// E_h depends on the deformed positions only through cos_d = u1 . u2, so
// dE/du1 = k_h u2 and dE/du2 = k_h u1 with k_h = dE/dcos_d; through the unit
// vectors, dE/dN1 = p1/|N1| and dE/dN2 = p2/|N2|; and through the two cross
// products, one term per vertex of each wing.
struct hinge_gradient_lanes {
  lane_vec3 term[6];
};

template <int W>
LAMINA_ALWAYS_INLINE void evaluate_gradient(const hinge_lanes& h, const hinge_energy_lanes& q,
                                            double eta, hinge_gradient_lanes& g) {
  lane_vec3 p1, p2;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double k_h = q.delta[l] * ((eta * 2.0) * q.w_h[l]);
    project_out(q.u1, q.u2, k_h, l, p1);
    project_out(q.u2, q.u1, k_h, l, p2);
    lever_cross(p1, h.Qb, h.Qa, q.w.lN1, l, g.term[0]);  // row c
    lever_cross(p2, h.Qa, h.Qb, q.w.lN2, l, g.term[1]);  // row d
    lever_cross(p1, h.Qc, h.Qb, q.w.lN1, l, g.term[2]);  // row a
    lever_cross(p2, h.Qb, h.Qd, q.w.lN2, l, g.term[3]);  // row a
    lever_cross(p1, h.Qa, h.Qc, q.w.lN1, l, g.term[4]);  // row b
    lever_cross(p2, h.Qd, h.Qa, q.w.lN2, l, g.term[5]);  // row b
  }
}

// Adds terms t, then (if given) u, of lane l to one row: each element as
// t + old, then u + that, x before y before z. The row is read after every
// earlier update of the hinge was stored, so rows named twice (c equal to d,
// say) receive both contributions one after the other.
LAMINA_ALWAYS_INLINE void add_terms(double* row, std::ptrdiff_t stride, const lane_vec3& t,
                                    const lane_vec3* u, int l) {
  double x = t.x[l] + row[0];
  double y = t.y[l] + row[stride];
  double z = t.z[l] + row[2 * stride];
  if (u != nullptr) {
    x = u->x[l] + x;
    y = u->y[l] + y;
    z = u->z[l] + z;
  }
  row[0] = x;
  row[stride] = y;
  row[2 * stride] = z;
}

// What a pass over the edge rows reads and writes.
struct bending_pass_state {
  const double* rest;
  const double* deformed;
  std::ptrdiff_t stride;
  double eta;
  double* gradient;
  double total;
  // Scratch for one block, filled before every use (so left uninitialised).
  hinge_lanes h;
  hinge_energy_lanes q;
  hinge_gradient_lanes g;

  bending_pass_state(const double* rest_, const double* deformed_, std::ptrdiff_t stride_,
                     double eta_, double* gradient_)
      : rest(rest_),
        deformed(deformed_),
        stride(stride_),
        eta(eta_),
        gradient(gradient_),
        total(0.0) {}
};

// The n hinges collected in p.h, evaluated in W lanes, then added in order.
template <int W, bool WithGradient>
LAMINA_ALWAYS_INLINE void bending_block(bending_pass_state& p, int n) {
  const std::ptrdiff_t s = p.stride;
  detail::load_hinge_positions<W>(p.deformed, s, p.h, p.h.Qa, p.h.Qb, p.h.Qc, p.h.Qd);
  evaluate_energy<W>(p.rest, s, p.eta, p.h, p.q);
  if (WithGradient) evaluate_gradient<W>(p.h, p.q, p.eta, p.g);
  for (int l = 0; l < n; ++l) {
    if (p.q.w.evaluated[l] == 0.0) continue;
    p.total = p.total + p.q.E[l];
    if (WithGradient) {
      add_terms(p.gradient + p.h.c[l], s, p.g.term[0], nullptr, l);
      add_terms(p.gradient + p.h.d[l], s, p.g.term[1], nullptr, l);
      add_terms(p.gradient + p.h.a[l], s, p.g.term[2], &p.g.term[3], l);
      add_terms(p.gradient + p.h.b[l], s, p.g.term[4], &p.g.term[5], l);
    }
  }
}

template <bool WithGradient>
LAMINA_ALWAYS_INLINE double bending_pass(const double* edges, std::int32_t nE, const double* rest,
                                         const double* deformed, std::int32_t nV, double eta,
                                         double* gradient) {
  if (nE <= 0) return 0.0;
  bending_pass_state p(rest, deformed, nV, eta, gradient);
  std::int32_t j = 0;
  for (;;) {
    const std::int32_t start = j;
    if (detail::collect_hinges<kLanes>(edges, nE, &j, p.h) == kLanes) {
      bending_block<kLanes, WithGradient>(p, kLanes);
      continue;
    }
    // The last hinges one lane at a time (see the membrane kernel).
    for (j = start; detail::collect_hinges<1>(edges, nE, &j, p.h) == 1;) {
      bending_block<1, WithGradient>(p, 1);
    }
    return p.total;
  }
}

template <bool WithGradient>
double bending_baseline(const double* edges, std::int32_t nE, const double* rest,
                        const double* deformed, std::int32_t nV, double eta, double* gradient) {
  return bending_pass<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
}

#if LAMINA_X86_DISPATCH
template <bool WithGradient>
LAMINA_TARGET_AVX2 double bending_avx2(const double* edges, std::int32_t nE, const double* rest,
                                       const double* deformed, std::int32_t nV, double eta,
                                       double* gradient) {
  return bending_pass<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
}

template <bool WithGradient>
LAMINA_TARGET_AVX512 double bending_avx512(const double* edges, std::int32_t nE, const double* rest,
                                           const double* deformed, std::int32_t nV, double eta,
                                           double* gradient) {
  return bending_pass<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
}
#endif

template <bool WithGradient>
double bending_on(isa path, const double* edges, std::int32_t nE, const double* rest,
                  const double* deformed, std::int32_t nV, double eta, double* gradient) {
#if LAMINA_X86_DISPATCH
  if (path == isa::avx512) {
    return bending_avx512<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
  }
  if (path == isa::avx2) {
    return bending_avx2<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
  }
#endif
  (void)path;
  return bending_baseline<WithGradient>(edges, nE, rest, deformed, nV, eta, gradient);
}

}  // namespace

namespace detail {

double bending_energy(isa path, const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta) {
  return bending_on<false>(path, edges, nE, source_vertices, deformed_v, nV, eta, nullptr);
}

double bending_energy_and_gradient(isa path, const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient) {
  return bending_on<true>(path, edges, nE, source_vertices, deformed_v, nV, eta, gradient);
}

}  // namespace detail

double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta) {
  return detail::bending_energy(widest_supported_isa(), edges, nE, source_vertices, deformed_v, nV,
                                eta);
}

double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient) {
  return detail::bending_energy_and_gradient(widest_supported_isa(), edges, nE, source_vertices,
                                             deformed_v, nV, eta, gradient);
}

}  // namespace lamina
