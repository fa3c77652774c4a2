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
//
// Faces are evaluated kLanes at a time (lanes.h); energies are summed and
// gradient contributions added face after face, in table order.
#include <cmath>

#include "index.h"
#include "isa_paths.h"
#include <lamina/lamina.h>
#include "lanes.h"

namespace lamina {
namespace {

using detail::kLanes;
using detail::lane_doubles;
using detail::lane_vec3;

// Below this squared area ratio the logarithm is continued by its tangent.
constexpr double kRatioFloor = 1e-20;
// A corner normal is normalised only where its squared length exceeds this.
constexpr double kNormalFloor = 1e-30;

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

// Up to kLanes faces: corner indices, rest edges e[k], deformed edges d[k].
struct face_lanes {
  detail::lane_indices corner[3];
  lane_vec3 e[3], d[3];
};

// Faces j0 ... j0+n-1 into the first W lanes; idle lanes repeat face j0, so
// that every lane holds finite values read from valid rows.
template <int W>
LAMINA_ALWAYS_INLINE void gather_faces(const double* faces, std::ptrdiff_t nF, std::int32_t j0,
                                       int n, const double* rest, const double* deformed,
                                       std::ptrdiff_t nV, face_lanes& f) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const std::ptrdiff_t j = j0 + (l < n ? l : 0);
    for (int k = 0; k < 3; ++k) f.corner[k][l] = index_from_double(faces[j + k * nF]);
  }
  lane_vec3 P[3], Q[3];
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    for (int k = 0; k < 3; ++k) {
      detail::load_lane(P[k], l, rest, f.corner[k][l], nV);
      detail::load_lane(Q[k], l, deformed, f.corner[k][l], nV);
    }
  }
  // Edge k runs between the two corners other than k: 2 - 1, 0 - 2, 1 - 0.
  for (int k = 0; k < 3; ++k) {
    const int to = (k + 2) % 3, from = (k + 1) % 3;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      f.e[k].x[l] = P[to].x[l] - P[from].x[l];
      f.e[k].y[l] = P[to].y[l] - P[from].y[l];
      f.e[k].z[l] = P[to].z[l] - P[from].z[l];
      f.d[k].x[l] = Q[to].x[l] - Q[from].x[l];
      f.d[k].y[l] = Q[to].y[l] - Q[from].y[l];
      f.d[k].z[l] = Q[to].z[l] - Q[from].z[l];
    }
  }
}

// |u x v|^2 / 4 of lane l, the squares summed as (x^2 + y^2) + z^2.
LAMINA_ALWAYS_INLINE double quarter_squared_cross(const lane_vec3& u, const lane_vec3& v, int l) {
  const double nx = u.y[l] * v.z[l] - u.z[l] * v.y[l];
  const double ny = u.z[l] * v.x[l] - u.x[l] * v.z[l];
  const double nz = u.x[l] * v.y[l] - u.y[l] * v.x[l];
  return ((nx * nx + ny * ny) + nz * nz) * 0.25;
}

LAMINA_ALWAYS_INLINE double dot(const lane_vec3& u, const lane_vec3& v, int l) {
  return (u.x[l] * v.x[l] + u.y[l] * v.y[l]) + u.z[l] * v.z[l];
}

// The energy of each face and what its gradient reuses. Both membrane
// kernels compute the energy here, so they agree bit for bit.
struct face_energy_lanes {
  lane_doubles A_r, S_d, r, E;
  lane_doubles g[3];
  bool tangent;  // whether any face of the block is below the ratio floor
};

template <int W>
LAMINA_ALWAYS_INLINE void evaluate_energy(const face_lanes& f, int n,
                                          const membrane_coefficients& k, face_energy_lanes& q) {
  lane_doubles T, L;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double S_r = quarter_squared_cross(f.e[0], f.e[1], l);
    q.A_r[l] = std::sqrt(S_r);
    q.S_d[l] = quarter_squared_cross(f.d[0], f.d[1], l);
    q.r[l] = q.S_d[l] / S_r;
    q.g[0][l] = dot(f.e[2], f.e[1], l);
    q.g[1][l] = dot(f.e[2], f.e[0], l);
    q.g[2][l] = dot(f.e[1], f.e[0], l);
    T[l] = ((0.0 - dot(f.d[0], f.d[0], l) * q.g[0][l]) - dot(f.d[1], f.d[1], l) * q.g[1][l]) -
           dot(f.d[2], f.d[2], l) * q.g[2][l];
  }
  // One call of the C library's logarithm per face, or the tangent line on
  // the rare face below the floor; a NaN ratio fails the comparison and takes
  // the logarithm.
  q.tangent = false;
  for (int l = 0; l < n; ++l) {
    const double r = q.r[l];
    const bool below = r < kRatioFloor;
    q.tangent = q.tangent || below;
    L[l] = below ? k.log_floor + (r - kRatioFloor) / kRatioFloor : std::log(r);
  }
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    q.E[l] =
        (k.mu8 * T[l] + k.mu4 * q.S_d[l]) / q.A_r[l] - ((k.mu34 * L[l] + k.mu) + k.mu4) * q.A_r[l];
  }
}

// The derivative of E_f with respect to each deformed corner.
//
// The trace part is sum_m c_m |d_m|^2 / 2 with c_m = -mu/4 g_m / A_r; corner k
// enters d_a with + and d_b with -, giving c_a d_a - c_b d_b. The rest depends
// on Q_k only through the deformed area A_d, with dE/dA_d = s in both log
// branches, and dA_d/dQ_k = n x d_k for n half the unit normal.
struct face_gradient_lanes {
  lane_vec3 corner[3];
};

template <int W>
LAMINA_ALWAYS_INLINE void evaluate_gradient(const face_lanes& f, const face_energy_lanes& q,
                                            const membrane_coefficients& k,
                                            face_gradient_lanes& out) {
  lane_doubles s, c[3], A_d, area_factor;
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    A_d[l] = std::sqrt(q.S_d[l]);
    area_factor[l] = q.A_r[l] / A_d[l];
    c[0][l] = (k.neg_mu4 * q.g[0][l]) / q.A_r[l];
    c[1][l] = (k.neg_mu4 * q.g[1][l]) / q.A_r[l];
    c[2][l] = (k.neg_mu4 * q.g[2][l]) / q.A_r[l];
  }
  // The area factor of the tangent-line branch, on the rare face that takes it.
  if (q.tangent) {
    for (int l = 0; l < W; ++l) {
      if (q.r[l] < kRatioFloor) area_factor[l] = (A_d[l] / q.A_r[l]) / kRatioFloor;
    }
  }
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    s[l] = ((k.mu4 * A_d[l]) / q.A_r[l] - k.mu34 * area_factor[l]) * 2.0;
  }
  for (int corner = 0; corner < 3; ++corner) {
    const int a = (corner + 1) % 3, b = (corner + 2) % 3;
    const lane_vec3& da = f.d[a];
    const lane_vec3& db = f.d[b];
    const lane_vec3& dk = f.d[corner];
    lane_vec3& g = out.corner[corner];
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const double Nx = da.y[l] * db.z[l] - da.z[l] * db.y[l];
      const double Ny = da.z[l] * db.x[l] - da.x[l] * db.z[l];
      const double Nz = da.x[l] * db.y[l] - da.y[l] * db.x[l];
      const double NN = (Nx * Nx + Ny * Ny) + Nz * Nz;
      // Too short (or NaN) to normalise: the area part then uses N unscaled,
      // which makes it practically zero on such a sliver.
      const double den = std::sqrt(NN) * 2.0;
      const double hx = Nx / den, hy = Ny / den, hz = Nz / den;
      const bool normalise = NN > kNormalFloor;
      const double nx = normalise ? hx : Nx;
      const double ny = normalise ? hy : Ny;
      const double nz = normalise ? hz : Nz;
      const double wx = ny * dk.z[l] - nz * dk.y[l];
      const double wy = nz * dk.x[l] - nx * dk.z[l];
      const double wz = nx * dk.y[l] - ny * dk.x[l];
      g.x[l] = (s[l] * wx + c[a][l] * da.x[l]) - c[b][l] * db.x[l];
      g.y[l] = (s[l] * wy + c[a][l] * da.y[l]) - c[b][l] * db.y[l];
      g.z[l] = (s[l] * wz + c[a][l] * da.z[l]) - c[b][l] * db.z[l];
    }
  }
}

// What a pass over the faces reads and writes.
struct membrane_pass_state {
  const double* faces;
  std::ptrdiff_t nF;
  const double* rest;
  const double* deformed;
  std::ptrdiff_t stride;
  membrane_coefficients k;
  double* gradient;
  double total;
  // Scratch for one block, filled before every use (so left uninitialised).
  face_lanes f;
  face_energy_lanes q;
  face_gradient_lanes g;

  membrane_pass_state(const double* faces_, std::ptrdiff_t nF_, const double* rest_,
                      const double* deformed_, std::ptrdiff_t stride_, double mu, double* gradient_)
      : faces(faces_),
        nF(nF_),
        rest(rest_),
        deformed(deformed_),
        stride(stride_),
        k(mu),
        gradient(gradient_),
        total(0.0) {}
};

// Faces j0 ... j0+n-1, evaluated in W lanes, then added in order.
template <int W, bool WithGradient>
LAMINA_ALWAYS_INLINE void membrane_block(membrane_pass_state& p, std::int32_t j0, int n) {
  gather_faces<W>(p.faces, p.nF, j0, n, p.rest, p.deformed, p.stride, p.f);
  evaluate_energy<W>(p.f, n, p.k, p.q);
  if (WithGradient) evaluate_gradient<W>(p.f, p.q, p.k, p.g);
  const std::ptrdiff_t s = p.stride;
  for (int l = 0; l < n; ++l) {
    p.total = p.total + p.q.E[l];
    if (WithGradient) {
      for (int corner = 0; corner < 3; ++corner) {
        double* row = p.gradient + p.f.corner[corner][l];
        row[0] = p.g.corner[corner].x[l] + row[0];
        row[s] = p.g.corner[corner].y[l] + row[s];
        row[2 * s] = p.g.corner[corner].z[l] + row[2 * s];
      }
    }
  }
}

// The whole pass over the faces. Compiled once per instruction set by the
// wrappers below (everything in it is inlined into them, so that all of it
// is compiled for that set); `gradient` is written only when WithGradient.
template <bool WithGradient>
LAMINA_ALWAYS_INLINE double membrane_pass(const double* faces, std::int32_t nF, const double* rest,
                                          const double* deformed, std::int32_t nV, double mu,
                                          double* gradient) {
  if (WithGradient) {
    const std::ptrdiff_t n = nV > 0 ? 3 * static_cast<std::ptrdiff_t>(nV) : 0;
    for (std::ptrdiff_t i = 0; i < n; ++i) gradient[i] = 0.0;
  }
  if (nF <= 0) return 0.0;
  membrane_pass_state p(faces, nF, rest, deformed, nV, mu, gradient);
  std::int32_t j0 = 0;
  for (; nF - j0 >= kLanes; j0 += kLanes) membrane_block<kLanes, WithGradient>(p, j0, kLanes);
  // The last faces one lane at a time: division and square root cost the same
  // per lane in a vector as alone, so idle lanes would be paid for in full.
  for (; j0 < nF; ++j0) membrane_block<1, WithGradient>(p, j0, 1);
  return p.total;
}

template <bool WithGradient>
double membrane_baseline(const double* faces, std::int32_t nF, const double* rest,
                         const double* deformed, std::int32_t nV, double mu, double* gradient) {
  return membrane_pass<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
}

#if LAMINA_X86_DISPATCH
template <bool WithGradient>
LAMINA_TARGET_AVX2 double membrane_avx2(const double* faces, std::int32_t nF, const double* rest,
                                        const double* deformed, std::int32_t nV, double mu,
                                        double* gradient) {
  return membrane_pass<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
}

template <bool WithGradient>
LAMINA_TARGET_AVX512 double membrane_avx512(const double* faces, std::int32_t nF,
                                            const double* rest, const double* deformed,
                                            std::int32_t nV, double mu, double* gradient) {
  return membrane_pass<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
}
#endif

template <bool WithGradient>
double membrane_on(isa path, const double* faces, std::int32_t nF, const double* rest,
                   const double* deformed, std::int32_t nV, double mu, double* gradient) {
#if LAMINA_X86_DISPATCH
  if (path == isa::avx512) {
    return membrane_avx512<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
  }
  if (path == isa::avx2) {
    return membrane_avx2<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
  }
#endif
  (void)path;
  return membrane_baseline<WithGradient>(faces, nF, rest, deformed, nV, mu, gradient);
}

}  // namespace

namespace detail {

double membrane_energy(isa path, const double* source_faces, std::int32_t nF,
                       const double* source_vertices, const double* deformed_v, std::int32_t nV,
                       double mu) {
  return membrane_on<false>(path, source_faces, nF, source_vertices, deformed_v, nV, mu, nullptr);
}

double membrane_energy_and_gradient(isa path, const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient) {
  return membrane_on<true>(path, source_faces, nF, source_vertices, deformed_v, nV, mu, gradient);
}

}  // namespace detail

double membrane_energy(const double* source_faces, std::int32_t nF, const double* source_vertices,
                       const double* deformed_v, std::int32_t nV, double mu) {
  return detail::membrane_energy(widest_supported_isa(), source_faces, nF, source_vertices,
                                 deformed_v, nV, mu);
}

double membrane_energy_and_gradient(const double* source_faces, std::int32_t nF,
                                    const double* source_vertices, const double* deformed_v,
                                    std::int32_t nV, double mu, double* gradient) {
  return detail::membrane_energy_and_gradient(widest_supported_isa(), source_faces, nF,
                                              source_vertices, deformed_v, nV, mu, gradient);
}

}  // namespace lamina
