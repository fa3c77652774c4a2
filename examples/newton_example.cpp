// Projected Newton from C++ with a prepared shell: a cube whose top has been
// squashed and twisted springs back while its bottom stays pinned.
//
//   build/release/examples/newton_example
//
// Each step takes the energy, the gradient and the Hessian with every
// element block clamped to its positive part (lamina::projection::clamp),
// solves for the step on the free coordinates by conjugate gradients on the
// compressed columns, and backtracks on the energy alone.
#include <lamina/edge_table.h>
#include <lamina/hessian.h>
#include <lamina/shell.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// y = H x over the compressed columns, keeping only rows and columns where
// `free` is set.
void multiply(const lamina::shell& s, const std::vector<double>& H, const std::vector<char>& free,
              const std::vector<double>& x, std::vector<double>& y) {
  const std::vector<std::int64_t>& start = s.hessian_col_start();
  const std::vector<std::int64_t>& row = s.hessian_row_index();
  for (double& v : y) v = 0.0;
  for (std::size_t c = 0; c + 1 < start.size(); ++c) {
    if (!free[c]) continue;
    for (std::int64_t e = start[c]; e < start[c + 1]; ++e) {
      if (free[row[e]]) y[row[e]] += H[e] * x[c];
    }
  }
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

// Solves (H + shift I) d = -g on the free coordinates by conjugate
// gradients; H is positive semi-definite, so the system is definite.
std::vector<double> newton_step(const lamina::shell& s, const std::vector<double>& H,
                                const std::vector<char>& free, const std::vector<double>& g,
                                double shift) {
  const std::size_t n = g.size();
  std::vector<double> d(n, 0.0), r(n), p(n), Hp(n);
  for (std::size_t i = 0; i < n; ++i) r[i] = free[i] ? -g[i] : 0.0;
  p = r;
  double rr = dot(r, r);
  for (std::size_t it = 0; it < 10 * n && rr > 1e-30; ++it) {
    multiply(s, H, free, p, Hp);
    for (std::size_t i = 0; i < n; ++i) Hp[i] += free[i] ? shift * p[i] : 0.0;
    const double alpha = rr / dot(p, Hp);
    for (std::size_t i = 0; i < n; ++i) {
      d[i] += alpha * p[i];
      r[i] -= alpha * Hp[i];
    }
    const double rr_new = dot(r, r);
    for (std::size_t i = 0; i < n; ++i) p[i] = r[i] + (rr_new / rr) * p[i];
    rr = rr_new;
  }
  return d;
}

}  // namespace

int main() {
  const std::int32_t nV = 8, nF = 12;
  const std::vector<double> rest = {0, 1, 1, 0, 0, 1, 1, 0,                // x
                                    0, 0, 1, 1, 0, 0, 1, 1,                // y
                                    0, 0, 0, 0, 1, 1, 1, 1};               // z
  const std::vector<double> faces = {0, 0, 4, 4, 0, 0, 1, 1, 2, 2, 3, 3,   // corner 1
                                     2, 3, 5, 6, 1, 5, 2, 6, 3, 7, 0, 4,   // corner 2
                                     1, 2, 6, 7, 5, 4, 6, 5, 7, 6, 4, 7};  // corner 3
  // The edge table is built from the faces; the Hessian's rows and columns
  // follow the gradient's column-major order (vertex i, coordinate k at
  // i + k nV).
  lamina::shell s(faces.data(), nF, rest.data(), nV, 1.0, 0.1);

  // The top squashed to 70% and twisted by 0.5 radians; the bottom pinned.
  std::vector<double> x = rest;
  std::vector<char> free(3 * nV, 0);
  for (std::int32_t i = 0; i < nV; ++i) {
    const double z = rest[i + 2 * nV], turn = 0.5 * z;
    const double cx = rest[i] - 0.5, cy = rest[i + nV] - 0.5;
    x[i] = 0.5 + std::cos(turn) * cx - std::sin(turn) * cy;
    x[i + nV] = 0.5 + std::sin(turn) * cx + std::cos(turn) * cy;
    x[i + 2 * nV] = 0.7 * z;
    for (int k = 0; k < 3; ++k) free[i + k * nV] = z > 0.0;
  }

  std::vector<double> g(3 * nV), H(s.hessian_row_index().size()), trial(3 * nV);
  double start = 0.0;
  for (int it = 0; it < 50; ++it) {
    const double E =
        s.energy_gradient_hessian(x.data(), lamina::projection::clamp, g.data(), H.data());
    double gg = 0.0;
    for (std::size_t i = 0; i < g.size(); ++i) gg += free[i] ? g[i] * g[i] : 0.0;
    if (it == 0) start = std::sqrt(gg);
    std::printf("iteration %2d: energy %.12f, |gradient| %.3e\n", it, E, std::sqrt(gg));
    if (std::sqrt(gg) <= 1e-10 * start) return E < 1e-12 ? 0 : 1;
    const std::vector<double> d = newton_step(s, H, free, g, 1e-12);
    double t = 1.0, slope = 0.0;
    for (std::size_t i = 0; i < d.size(); ++i) slope += g[i] * d[i];
    for (;;) {
      for (std::size_t i = 0; i < x.size(); ++i) trial[i] = x[i] + t * d[i];
      if (s.energy(trial.data()) <= E + 1e-4 * t * slope || t < 1e-12) break;
      t *= 0.5;
    }
    x = trial;
  }
  std::printf("did not converge in 50 iterations\n");
  return 1;
}
