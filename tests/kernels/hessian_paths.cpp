#include "hessian_paths.h"

#include <algorithm>
#include <cmath>

#include "terms/bending/cosine/model.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace test {
namespace {

using detail::kLanes;

// Lanes 0..n-1 from elements 0..n-1; idle lanes repeat element 0.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void face_batch(double mu, const face_values* f, int n, double* out) {
  using model = detail::neo_hookean_membrane;
  const model::coefficients k(mu);
  model::lanes e;
  model::geometry geo;
  model::rest_type r;
  model::energy_lanes q;
  for (int l = 0; l < W; ++l) {
    const face_values& v = f[l < n ? l : 0];
    for (int m = 0; m < 3; ++m) {
      geo.d[m].set(l, {v.d[m][0], v.d[m][1], v.d[m][2]});
      r.q[model::g0 + m][l] = v.g[m];
      r.q[model::c0 + m][l] = detail::lane_div<Isa>(k.neg_mu4 * v.g[m], v.A_r);
    }
    r.q[model::A_r][l] = v.A_r;
    r.q[model::S_r][l] = v.S_r;
    q.S_d[l] = v.S_d;
    q.r[l] = v.r;
  }
  double H[model::kHessianEntries][kLanes];
  model::hessian<Isa, W>(e, geo, r, q, k, H);
  for (int l = 0; l < n; ++l) {
    for (int x = 0; x < model::kHessianEntries; ++x) out[l * 81 + x] = H[x][l];
  }
}

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void hinge_batch(double eta, const hinge_values* h, int n, double* out) {
  using model = detail::cosine_bending;
  const model::coefficients k(eta);
  model::lanes e;
  model::geometry geo;
  model::rest_type r;
  model::energy_lanes q;
  for (int l = 0; l < W; ++l) {
    const hinge_values& v = h[l < n ? l : 0];
    for (int i = 0; i < 4; ++i) e.X[i].set(l, {v.Q[i][0], v.Q[i][1], v.Q[i][2]});
    q.u1.set(l, {v.u1[0], v.u1[1], v.u1[2]});
    q.u2.set(l, {v.u2[0], v.u2[1], v.u2[2]});
    geo.lN1[l] = v.lN1;
    geo.lN2[l] = v.lN2;
    q.delta[l] = v.delta;
    r.q[model::w_h][l] = v.w_h;
  }
  double H[model::kHessianEntries][kLanes];
  model::hessian<Isa, W>(e, geo, r, q, k, H);
  for (int l = 0; l < n; ++l) {
    for (int x = 0; x < model::kHessianEntries; ++x) out[l * 144 + x] = H[x][l];
  }
}

template <class Isa, detail::psd_mode Mode, int P, int W>
LAMINA_ALWAYS_INLINE int project_batch(double* blocks, int n) {
  constexpr int E = 9 * P * P;
  double H[E][kLanes];
  for (int l = 0; l < W; ++l) {
    for (int e = 0; e < E; ++e) H[e][l] = blocks[(l < n ? l : 0) * E + e];
  }
  const int sweeps = detail::project_psd<Isa, Mode, P, W>(H);
  for (int l = 0; l < n; ++l) {
    for (int e = 0; e < E; ++e) blocks[l * E + e] = H[e][l];
  }
  return sweeps;
}

template <class Isa, int M, int W>
LAMINA_ALWAYS_INLINE int eigen_batch(const double* A_in, int n, double* lambda, double* vectors,
                                     double* left) {
  double A[M * M][kLanes], V[M * M][kLanes];
  detail::lane_doubles tau;
  for (int l = 0; l < W; ++l) {
    double largest = 0.0;
    for (int e = 0; e < M * M; ++e) {
      const double a = A_in[(l < n ? l : 0) * M * M + e];
      A[e][l] = a;
      const double m = a < 0.0 ? -a : a;
      largest = m > largest ? m : largest;
    }
    tau[l] = largest * detail::kJacobiTolerance;
  }
  const int sweeps = detail::jacobi_eigen<Isa, M, W>(A, V, tau);
  for (int l = 0; l < n; ++l) {
    for (int m = 0; m < M; ++m) lambda[l * M + m] = A[m * M + m][l];
    for (int e = 0; e < M * M; ++e) {
      vectors[l * M * M + e] = V[e][l];
      left[l * M * M + e] = A[e][l];
    }
  }
  return sweeps;
}

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void faces_in(double mu, const face_values* f, int n, double* out) {
  for (int i = 0; i < n; i += W) face_batch<Isa, W>(mu, f + i, std::min(W, n - i), out + i * 81);
}

template <class Isa, int W>
LAMINA_ALWAYS_INLINE void hinges_in(double eta, const hinge_values* h, int n, double* out) {
  for (int i = 0; i < n; i += W) hinge_batch<Isa, W>(eta, h + i, std::min(W, n - i), out + i * 144);
}

template <class Isa, detail::psd_mode Mode, int P, int W>
LAMINA_ALWAYS_INLINE int projections_in(double* blocks, int n) {
  int most = 0;
  for (int i = 0; i < n; i += W) {
    most =
        std::max(most, project_batch<Isa, Mode, P, W>(blocks + i * 9 * P * P, std::min(W, n - i)));
  }
  return most;
}

template <class Isa, int M, int W>
LAMINA_ALWAYS_INLINE int eigens_in(const double* A, int n, double* lambda, double* vectors,
                                   double* left) {
  int most = 0;
  for (int i = 0; i < n; i += W) {
    most = std::max(most, eigen_batch<Isa, M, W>(A + i * M * M, std::min(W, n - i), lambda + i * M,
                                                 vectors + i * M * M, left + i * M * M));
  }
  return most;
}

template <class Isa, int W>
LAMINA_ALWAYS_INLINE int project_any(detail::psd_mode mode, int points, double* blocks, int n) {
  using detail::psd_mode;
  if (points == 3) {
    return mode == psd_mode::clamp ? projections_in<Isa, psd_mode::clamp, 3, W>(blocks, n)
                                   : projections_in<Isa, psd_mode::abs, 3, W>(blocks, n);
  }
  return mode == psd_mode::clamp ? projections_in<Isa, psd_mode::clamp, 4, W>(blocks, n)
                                 : projections_in<Isa, psd_mode::abs, 4, W>(blocks, n);
}

// The operations as kernels of the one dispatcher: everything above is
// inlined into each and compiled for the path's instruction set.
struct faces_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(int width, double mu, const face_values* f, int n,
                                       double* out) {
    if (width == 8) {
      faces_in<Isa, 8>(mu, f, n, out);
    } else {
      faces_in<Isa, 1>(mu, f, n, out);
    }
  }
};

struct hinges_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(int width, double eta, const hinge_values* h, int n,
                                       double* out) {
    if (width == 8) {
      hinges_in<Isa, 8>(eta, h, n, out);
    } else {
      hinges_in<Isa, 1>(eta, h, n, out);
    }
  }
};

struct project_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE int run(int width, detail::psd_mode mode, int points, double* blocks,
                                      int n) {
    return width == 8 ? project_any<Isa, 8>(mode, points, blocks, n)
                      : project_any<Isa, 1>(mode, points, blocks, n);
  }
};

struct eigen_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE int run(int width, int m, const double* A, int n, double* lambda,
                                      double* vectors, double* left) {
    if (m == 6) {
      return width == 8 ? eigens_in<Isa, 6, 8>(A, n, lambda, vectors, left)
                        : eigens_in<Isa, 6, 1>(A, n, lambda, vectors, left);
    }
    return width == 8 ? eigens_in<Isa, 9, 8>(A, n, lambda, vectors, left)
                      : eigens_in<Isa, 9, 1>(A, n, lambda, vectors, left);
  }
};

}  // namespace

namespace {

point sub(point a, point b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
point cross(point u, point v) {
  return {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
}
double dot(point u, point v) { return (u[0] * v[0] + u[1] * v[1]) + u[2] * v[2]; }

}  // namespace

// As the membrane energy forms them: edge k opposite corner k.
face_values face_values_of(const point (&P)[3], const point (&Q)[3]) {
  face_values v;
  const point e[3] = {sub(P[2], P[1]), sub(P[0], P[2]), sub(P[1], P[0])};
  const point d[3] = {sub(Q[2], Q[1]), sub(Q[0], Q[2]), sub(Q[1], Q[0])};
  const auto quarter_squared_cross = [](point u, point w) {
    const double nx = u[1] * w[2] - u[2] * w[1];
    const double ny = u[2] * w[0] - u[0] * w[2];
    const double nz = u[0] * w[1] - u[1] * w[0];
    return ((nx * nx + ny * ny) + nz * nz) * 0.25;
  };
  for (int m = 0; m < 3; ++m) {
    for (int k = 0; k < 3; ++k) v.d[m][k] = d[m][k];
  }
  v.g[0] = dot(e[2], e[1]);
  v.g[1] = dot(e[2], e[0]);
  v.g[2] = dot(e[1], e[0]);
  v.S_r = quarter_squared_cross(e[0], e[1]);
  v.A_r = std::sqrt(v.S_r);
  v.S_d = quarter_squared_cross(d[0], d[1]);
  v.r = v.S_d / v.S_r;
  return v;
}

// As the bending energy forms them.
hinge_values hinge_values_of(const point (&P)[4], const point (&Q)[4]) {
  hinge_values v;
  const point e_r = sub(P[1], P[0]);
  const point R1 = cross(e_r, sub(P[2], P[0]));
  const point R2 = cross(sub(P[3], P[0]), e_r);
  const double lR1 = std::sqrt(dot(R1, R1)), lR2 = std::sqrt(dot(R2, R2));
  const double cos_r = (dot(R1, R2) / lR1) / lR2;
  v.w_h = dot(e_r, e_r) / (0.5 * lR2 + 0.5 * lR1);
  const point e_d = sub(Q[1], Q[0]);
  const point N1 = cross(e_d, sub(Q[2], Q[0]));
  const point N2 = cross(sub(Q[3], Q[0]), e_d);
  v.lN1 = std::sqrt(dot(N1, N1));
  v.lN2 = std::sqrt(dot(N2, N2));
  for (int k = 0; k < 3; ++k) {
    v.u1[k] = N1[k] / v.lN1;
    v.u2[k] = N2[k] / v.lN2;
    for (int i = 0; i < 4; ++i) v.Q[i][k] = Q[i][k];
  }
  v.delta = ((v.u1[0] * v.u2[0] + v.u1[1] * v.u2[1]) + v.u1[2] * v.u2[2]) - cos_r;
  return v;
}

std::vector<double> face_hessians(isa path, int width, double mu,
                                  const std::vector<face_values>& faces) {
  std::vector<double> out(81 * faces.size());
  dispatch<faces_kernel>(path, width, mu, faces.data(), static_cast<int>(faces.size()), out.data());
  return out;
}

std::vector<double> hinge_hessians(isa path, int width, double eta,
                                   const std::vector<hinge_values>& hinges) {
  std::vector<double> out(144 * hinges.size());
  dispatch<hinges_kernel>(path, width, eta, hinges.data(), static_cast<int>(hinges.size()),
                          out.data());
  return out;
}

int project_blocks(isa path, int width, detail::psd_mode mode, int points,
                   std::vector<double>& blocks) {
  const int n = static_cast<int>(blocks.size() / (9 * points * points));
  return dispatch<project_kernel>(path, width, mode, points, blocks.data(), n);
}

int eigen_blocks(isa path, int width, int m, const std::vector<double>& matrices,
                 std::vector<double>& eigenvalues, std::vector<double>& eigenvectors,
                 std::vector<double>& left) {
  const int n = static_cast<int>(matrices.size() / (m * m));
  eigenvalues.assign(static_cast<std::size_t>(n) * m, 0.0);
  eigenvectors.assign(matrices.size(), 0.0);
  left.assign(matrices.size(), 0.0);
  return dispatch<eigen_kernel>(path, width, m, matrices.data(), n, eigenvalues.data(),
                                eigenvectors.data(), left.data());
}

std::vector<isa> supported_paths() {
  std::vector<isa> paths = {isa::baseline};
  if (widest_supported_isa() >= isa::avx2) paths.push_back(isa::avx2);
  if (widest_supported_isa() >= isa::avx512) paths.push_back(isa::avx512);
  return paths;
}

const char* path_name(isa path) {
  return path == isa::avx512 ? "avx512" : path == isa::avx2 ? "avx2" : "baseline";
}

}  // namespace test
}  // namespace lamina
