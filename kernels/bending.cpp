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
#include <cmath>

#include "hinge.h"
#include "index.h"
#include "lamina.h"
#include "vec3.h"

namespace lamina {
namespace {

using detail::vec3;

// One evaluated hinge: what its energy and gradient need.
struct hinge_energy {
  detail::hinge h;  // indices, deformed positions and wing normals
  vec3 u1, u2;      // unit deformed normals
  double delta, w_h, E;
};

// Evaluates row j. Returns false, having read only what the skip tests need,
// for a boundary row or a deformed wing too thin to have a normal. Both
// bending kernels call this, so their energies agree bit for bit.
inline bool evaluate_hinge_energy(const double* edges, std::int32_t nE, std::int32_t j,
                                  const double* rest, const double* deformed, std::int32_t nV,
                                  double eta, hinge_energy* out) {
  detail::hinge& h = out->h;
  if (!detail::read_hinge_indices(edges, nE, j, &h)) return false;

  // Rest side: no test, no guard; a degenerate rest hinge yields NaN.
  const vec3 Pa = detail::load_row(rest, h.a, nV);
  const vec3 e_r = detail::load_row(rest, h.b, nV) - Pa;
  const vec3 R1 = detail::cross(e_r, detail::load_row(rest, h.c, nV) - Pa);
  const vec3 R2 = detail::cross(detail::load_row(rest, h.d, nV) - Pa, e_r);
  const double lR1 = detail::length(R1);
  const double lR2 = detail::length(R2);
  const double cos_r = (detail::dot(R1, R2) / lR1) / lR2;
  out->w_h = detail::dot(e_r, e_r) / (0.5 * lR2 + 0.5 * lR1);

  if (!detail::deformed_wings_valid(deformed, nV, &h)) return false;

  out->u1 = h.N1 / h.lN1;
  out->u2 = h.N2 / h.lN2;
  const double cos_d = detail::dot(out->u1, out->u2);
  out->delta = cos_d - cos_r;
  out->E = ((out->delta * eta) * out->delta) * out->w_h;
  return true;
}

// (I - u u^T) v scaled by k, summed over the columns in order x, y, z from
// 0.0 and multiplied by k last.
inline vec3 project_out(vec3 u, vec3 v, double k) {
  const double ux[3] = {u.x, u.y, u.z};
  const double vx[3] = {v.x, v.y, v.z};
  double p[3];
  for (int i = 0; i < 3; ++i) {
    double sum = 0.0;
    for (int j = 0; j < 3; ++j) {
      const double m = (i == j ? 1.0 : 0.0) - ux[i] * ux[j];
      sum = sum + m * vx[j];
    }
    p[i] = sum * k;
  }
  return {p[0], p[1], p[2]};
}

// Adds the derivative of E_h. E_h depends on the deformed positions only
// through cos_d = u1 . u2, so dE/dN1 = p1/|N1| and dE/dN2 = p2/|N2| with p1, p2
// the projections below; the chain rule through the two cross products gives
// six terms, added in the order c, d, a, a, b, b.
inline void add_hinge_gradient(const hinge_energy& q, double eta, std::int32_t nV,
                               double* gradient) {
  const detail::hinge& h = q.h;
  const double k_h = q.delta * ((eta * 2.0) * q.w_h);
  const vec3 p1 = project_out(q.u1, q.u2, k_h);
  const vec3 p2 = project_out(q.u2, q.u1, k_h);
  using detail::add_to_row;
  using detail::cross;
  add_to_row(gradient, h.c, nV, cross(p1, (h.Qb - h.Qa) / h.lN1));
  add_to_row(gradient, h.d, nV, cross(p2, (h.Qa - h.Qb) / h.lN2));
  add_to_row(gradient, h.a, nV, cross(p1, (h.Qc - h.Qb) / h.lN1));
  add_to_row(gradient, h.a, nV, cross(p2, (h.Qb - h.Qd) / h.lN2));
  add_to_row(gradient, h.b, nV, cross(p1, (h.Qa - h.Qc) / h.lN1));
  add_to_row(gradient, h.b, nV, cross(p2, (h.Qd - h.Qa) / h.lN2));
}

}  // namespace

double bending_energy(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double eta) {
  double total = 0.0;
  if (nE <= 0) return total;
  hinge_energy q;
  for (std::int32_t j = 0; j < nE; ++j) {
    if (evaluate_hinge_energy(edges, nE, j, source_vertices, deformed_v, nV, eta, &q)) {
      total = total + q.E;
    }
  }
  return total;
}

double bending_energy_and_gradient(const double* edges, std::int32_t nE,
                                   const double* source_vertices, const double* deformed_v,
                                   std::int32_t nV, double eta, double* gradient) {
  double total = 0.0;
  if (nE <= 0) return total;
  hinge_energy q;
  for (std::int32_t j = 0; j < nE; ++j) {
    if (evaluate_hinge_energy(edges, nE, j, source_vertices, deformed_v, nV, eta, &q)) {
      total = total + q.E;
      add_hinge_gradient(q, eta, nV, gradient);
    }
  }
  return total;
}

}  // namespace lamina
