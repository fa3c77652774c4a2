// Membrane energy of a triangle mesh and its gradient.
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
// r = 1e-20. The energy depends only on squared lengths and the squared
// deformed area, so rigid motions and mirror images of a face cost nothing.
#include <cmath>

#include "index.h"
#include "lamina.h"
#include "vec3.h"

namespace lamina {
namespace {

using detail::vec3;

// Below this squared area ratio the logarithm is continued by its tangent.
constexpr double kRatioFloor = 1e-20;
// A corner normal is normalised only where its squared length exceeds this.
constexpr double kNormalFloor = 1e-30;

struct membrane_coefficients {
  double mu, mu8, mu4, mu34;
  explicit membrane_coefficients(double m)
      : mu(m), mu8(m * 0.125), mu4(m * 0.25), mu34(m * 0.5 + m * 0.25) {}
};

// One face, fetched: its corner indices and its rest and deformed edges.
struct face {
  std::int32_t i[3];
  vec3 e[3];
  vec3 d[3];
};

inline face fetch_face(const double* faces, std::int32_t nF, std::int32_t j, const double* rest,
                       const double* deformed, std::int32_t nV) {
  face f;
  const std::ptrdiff_t s = nF;
  for (int k = 0; k < 3; ++k) f.i[k] = index_from_double(faces[j + k * s]);
  const vec3 P0 = detail::load_row(rest, f.i[0], nV);
  const vec3 P1 = detail::load_row(rest, f.i[1], nV);
  const vec3 P2 = detail::load_row(rest, f.i[2], nV);
  const vec3 Q0 = detail::load_row(deformed, f.i[0], nV);
  const vec3 Q1 = detail::load_row(deformed, f.i[1], nV);
  const vec3 Q2 = detail::load_row(deformed, f.i[2], nV);
  f.e[0] = P2 - P1;
  f.e[1] = P0 - P2;
  f.e[2] = P1 - P0;
  f.d[0] = Q2 - Q1;
  f.d[1] = Q0 - Q2;
  f.d[2] = Q1 - Q0;
  return f;
}

// |u x v|^2 / 4 with the squares summed as (x^2 + y^2) + z^2.
inline double quarter_squared_cross(vec3 u, vec3 v) {
  const vec3 n = detail::cross(u, v);
  return ((n.x * n.x + n.y * n.y) + n.z * n.z) * 0.25;
}

// The energy of one face and the intermediate values its gradient reuses.
// Both membrane kernels call this, so their energies agree bit for bit.
struct face_energy {
  double A_r, S_d, r, g[3], E;
};

inline face_energy evaluate_face_energy(const face& f, const membrane_coefficients& k) {
  face_energy q;
  const double S_r = quarter_squared_cross(f.e[0], f.e[1]);
  q.A_r = std::sqrt(S_r);
  q.S_d = quarter_squared_cross(f.d[0], f.d[1]);
  q.r = q.S_d / S_r;
  // A NaN ratio fails the comparison and takes the logarithm.
  const double L =
      q.r < kRatioFloor ? std::log(kRatioFloor) + (q.r - kRatioFloor) / kRatioFloor : std::log(q.r);
  q.g[0] = detail::dot(f.e[2], f.e[1]);
  q.g[1] = detail::dot(f.e[2], f.e[0]);
  q.g[2] = detail::dot(f.e[1], f.e[0]);
  const double T =
      ((0.0 - detail::dot(f.d[0], f.d[0]) * q.g[0]) - detail::dot(f.d[1], f.d[1]) * q.g[1]) -
      detail::dot(f.d[2], f.d[2]) * q.g[2];
  q.E = (k.mu8 * T + k.mu4 * q.S_d) / q.A_r - ((k.mu34 * L + k.mu) + k.mu4) * q.A_r;
  return q;
}

// Adds the derivative of E_f with respect to the three deformed corners.
//
// The trace part is sum_m c_m |d_m|^2 / 2 with c_m = -mu/4 g_m / A_r; corner k
// enters d_a with + and d_b with -, giving c_a d_a - c_b d_b. The rest depends
// on Q_k only through the deformed area A_d, with dE/dA_d = s in both log
// branches, and dA_d/dQ_k = n x d_k for n half the unit normal.
inline void add_face_gradient(const face& f, const face_energy& q, const membrane_coefficients& k,
                              std::int32_t nV, double* gradient) {
  const double A_d = std::sqrt(q.S_d);
  const double area_factor = q.r < kRatioFloor ? (A_d / q.A_r) / kRatioFloor : q.A_r / A_d;
  const double neg_mu4 = k.mu * (-0.25);
  double c[3];
  for (int m = 0; m < 3; ++m) c[m] = (neg_mu4 * q.g[m]) / q.A_r;
  const double s = ((k.mu4 * A_d) / q.A_r - k.mu34 * area_factor) * 2.0;

  for (int corner = 0; corner < 3; ++corner) {
    const int a = (corner + 1) % 3;
    const int b = (corner + 2) % 3;
    const vec3 da = f.d[a];
    const vec3 db = f.d[b];
    const vec3 dk = f.d[corner];
    const vec3 N = detail::cross(da, db);
    const double NN = (N.x * N.x + N.y * N.y) + N.z * N.z;
    // Too short (or NaN) to normalise: the area part then uses N unscaled,
    // which makes it practically zero on such a sliver.
    const vec3 n = NN > kNormalFloor ? N / (std::sqrt(NN) * 2.0) : N;
    const vec3 w = detail::cross(n, dk);
    const vec3 g = {(s * w.x + c[a] * da.x) - c[b] * db.x, (s * w.y + c[a] * da.y) - c[b] * db.y,
                    (s * w.z + c[a] * da.z) - c[b] * db.z};
    detail::add_to_row(gradient, f.i[corner], nV, g);
  }
}

}  // namespace

double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu) {
  double total = 0.0;
  if (nF <= 0) return total;
  const membrane_coefficients k(mu);
  for (std::int32_t j = 0; j < nF; ++j) {
    const face f = fetch_face(source_faces, nF, j, source_vertices, deformed_v, nV);
    total = total + evaluate_face_energy(f, k).E;
  }
  return total;
}

double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient) {
  const std::ptrdiff_t n = nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0;
  for (std::ptrdiff_t i = 0; i < n; ++i) gradient[i] = 0.0;
  double total = 0.0;
  if (nF <= 0) return total;
  const membrane_coefficients k(mu);
  for (std::int32_t j = 0; j < nF; ++j) {
    const face f = fetch_face(source_faces, nF, j, source_vertices, deformed_v, nV);
    const face_energy q = evaluate_face_energy(f, k);
    total = total + q.E;
    add_face_gradient(f, q, k, nV, gradient);
  }
  return total;
}

}  // namespace lamina
