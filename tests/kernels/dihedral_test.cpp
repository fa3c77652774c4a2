// The dihedral bending model: its energy against an independent formula,
// its gradient and Hessian against central differences, the fold through
// +-pi, stiffness out of the plane at flat, its PSD projection, equal bits
// on every path and in the prepared shell, and convergence under
// refinement.
#include <gtest/gtest.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "hessian_paths.h"
#include "simd/atan2.h"
#include "support/mesh.h"
#include "support/numeric.h"

namespace lamina {
namespace {

using test::point;
constexpr bending_model kDihedral = bending_model::dihedral;

struct hinge {
  double P[12], Q[12];  // rest and deformed a, b, c, d, row-major
};

struct element_result {
  double E;
  std::vector<double> g, H;
};

element_result evaluate(const hinge& h, double eta, projection project = projection::none) {
  element_result r{0.0, std::vector<double>(12), std::vector<double>(144)};
  r.E = bending_element_hessian(h.P, h.Q, eta, project, r.g.data(), r.H.data(), kDihedral);
  return r;
}

// A random hinge around the edge (0,0,0)-(1,0,0), rigidly moved, with the
// wings folded by about `fold` in the deformed copy.
hinge random_hinge(std::mt19937_64& rng, double fold) {
  std::uniform_real_distribution<double> u(-0.2, 0.2);
  const double pa[3] = {u(rng), u(rng), u(rng)}, pb[3] = {1 + u(rng), u(rng), u(rng)};
  const double pc[3] = {0.5 + u(rng), 1 + u(rng), u(rng)},
               pd[3] = {0.4 + u(rng), -1 + u(rng), u(rng)};
  hinge h;
  const double* p[4] = {pa, pb, pc, pd};
  const double c = std::cos(fold + u(rng)), s = std::sin(fold + u(rng));
  const double yaw = 0.9, cy = std::cos(yaw), sy = std::sin(yaw);
  for (int v = 0; v < 4; ++v) {
    for (int k = 0; k < 3; ++k) h.P[3 * v + k] = p[v][k];
    // Fold d about the x axis, then turn everything about z and shift it.
    double x = p[v][0], y = p[v][1], z = p[v][2];
    if (v == 3) {
      const double y1 = c * y - s * z, z1 = s * y + c * z;
      y = y1;
      z = z1;
    }
    h.Q[3 * v] = cy * x - sy * y + 0.3;
    h.Q[3 * v + 1] = sy * x + cy * y - 0.2;
    h.Q[3 * v + 2] = 1.1 * z + 0.5;
  }
  return h;
}

// theta by Kahan's half-angle formula, 2 atan2(|n1 - n2|, |n1 + n2|), signed
// by (n1 x n2) . e, in long double.
long double angle(const double* X) {
  using L = long double;
  L a[3], e[3], c[3], d[3], N1[3], N2[3];
  for (int k = 0; k < 3; ++k) {
    a[k] = X[k];
    e[k] = X[3 + k] - a[k];
    c[k] = X[6 + k] - a[k];
    d[k] = X[9 + k] - a[k];
  }
  const auto cross = [](const L* u, const L* v, L* w) {
    w[0] = u[1] * v[2] - u[2] * v[1];
    w[1] = u[2] * v[0] - u[0] * v[2];
    w[2] = u[0] * v[1] - u[1] * v[0];
  };
  cross(e, c, N1);
  cross(d, e, N2);
  const L l1 = std::sqrt(N1[0] * N1[0] + N1[1] * N1[1] + N1[2] * N1[2]);
  const L l2 = std::sqrt(N2[0] * N2[0] + N2[1] * N2[1] + N2[2] * N2[2]);
  L diff = 0, sum = 0, n[3];
  for (int k = 0; k < 3; ++k) {
    diff += (N1[k] / l1 - N2[k] / l2) * (N1[k] / l1 - N2[k] / l2);
    sum += (N1[k] / l1 + N2[k] / l2) * (N1[k] / l1 + N2[k] / l2);
  }
  cross(N1, N2, n);
  const L theta = 2 * std::atan2(std::sqrt(diff), std::sqrt(sum));
  return n[0] * e[0] + n[1] * e[1] + n[2] * e[2] < 0 ? -theta : theta;
}

double independent_energy(const hinge& h, double eta) {
  const long double P[3] = {h.P[3] - h.P[0], h.P[4] - h.P[1], h.P[5] - h.P[2]};
  const auto area = [&](int v, bool first) {
    long double u[3], w[3];
    for (int k = 0; k < 3; ++k) u[k] = h.P[3 * v + k] - h.P[k];
    const long double* p = P;
    if (first) {
      w[0] = p[1] * u[2] - p[2] * u[1], w[1] = p[2] * u[0] - p[0] * u[2],
      w[2] = p[0] * u[1] - p[1] * u[0];
    } else {
      w[0] = u[1] * p[2] - u[2] * p[1], w[1] = u[2] * p[0] - u[0] * p[2],
      w[2] = u[0] * p[1] - u[1] * p[0];
    }
    return std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]) / 2;
  };
  const long double w_h =
      (P[0] * P[0] + P[1] * P[1] + P[2] * P[2]) / (area(2, true) + area(3, false));
  const long double delta = angle(h.Q) - angle(h.P);
  return static_cast<double>(eta * w_h * delta * delta);
}

TEST(LaneAtan2, WithinTwoAndAHalfUlpsOfTheTrueAngle) {
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(-1, 1);
  std::uniform_int_distribution<int> scale(-30, 30);
  double worst = 0;
  for (int i = 0; i < 200000; ++i) {
    const double y = std::ldexp(u(rng), scale(rng)), x = std::ldexp(u(rng), scale(rng));
    const double a = detail::lane_atan2<detail::baseline_isa>(y, x);
    const long double exact = std::atan2(static_cast<long double>(y), static_cast<long double>(x));
    const long double ulp = std::ldexp(1.0L, std::ilogb(static_cast<double>(exact)) - 52);
    worst = std::max(worst, static_cast<double>(std::fabs(a - exact) / ulp));
  }
  EXPECT_LT(worst, 2.5);
  // The edges of the range, and no angle.
  const double pi = std::acos(-1.0);
  EXPECT_EQ(detail::lane_atan2<detail::baseline_isa>(0.0, -1.0), pi);
  EXPECT_EQ(detail::lane_atan2<detail::baseline_isa>(-0.0, -1.0), pi);
  EXPECT_EQ(detail::lane_atan2<detail::baseline_isa>(1.0, 0.0), pi / 2);
  EXPECT_EQ(detail::lane_atan2<detail::baseline_isa>(-1.0, -1.0), -0.75 * pi);
  EXPECT_TRUE(std::isnan(detail::lane_atan2<detail::baseline_isa>(0.0, 0.0)));
}

TEST(Dihedral, EnergyMatchesAnIndependentFormula) {
  std::mt19937_64 rng(5);
  for (double fold : {0.0, 0.4, -1.2, 2.5, -2.9}) {
    for (int i = 0; i < 20; ++i) {
      const hinge h = random_hinge(rng, fold);
      const double E = evaluate(h, 1.7).E, ref = independent_energy(h, 1.7);
      EXPECT_NEAR(E, ref, 1e-12 * std::fabs(ref) + 1e-15) << "fold " << fold << ", hinge " << i;
    }
  }
}

TEST(Dihedral, GradientAndHessianMatchCentralDifferences) {
  std::mt19937_64 rng(11);
  for (double fold : {0.3, -0.8, 1.6, 3.0, -3.05}) {  // the last two nearly folded flat
    for (int i = 0; i < 6; ++i) {
      const hinge h = random_hinge(rng, fold);
      const element_result r = evaluate(h, 0.9);
      std::vector<double> Q(h.Q, h.Q + 12);
      const auto energy = [&](const std::vector<double>& x) {
        hinge m = h;
        for (int k = 0; k < 12; ++k) m.Q[k] = x[k];
        return evaluate(m, 0.9).E;
      };
      EXPECT_LT(test::relative_error(r.g, test::central_differences(energy, Q, {1e-6})), 1e-7)
          << "fold " << fold;
      std::vector<double> fd(144);
      for (int col = 0; col < 12; ++col) {
        hinge up = h, down = h;
        up.Q[col] += 1e-6;
        down.Q[col] -= 1e-6;
        const element_result gu = evaluate(up, 0.9), gd = evaluate(down, 0.9);
        for (int row = 0; row < 12; ++row) fd[12 * row + col] = (gu.g[row] - gd.g[row]) / 2e-6;
      }
      EXPECT_LT(test::relative_error(r.H, fd), 1e-6) << "fold " << fold;
      for (int i2 = 0; i2 < 12; ++i2) {
        for (int j = 0; j < 12; ++j) EXPECT_EQ(r.H[12 * i2 + j], r.H[12 * j + i2]);
      }
    }
  }
}

// The flat unit hinge of edge (0,0,0)-(1,0,0), c = (0.5, 1, 0), d = (0.5, -1, 0).
hinge flat_hinge() {
  hinge h;
  const double p[12] = {0, 0, 0, 1, 0, 0, 0.5, 1, 0, 0.5, -1, 0};
  for (int k = 0; k < 12; ++k) h.P[k] = h.Q[k] = p[k];
  return h;
}

TEST(Dihedral, FoldThroughPiWrapsTheAngle) {
  // d turned about the edge by t = pi - 0.01 above (theta = -t: both wings
  // raised fold to negative angles) and below (theta = t) the plane of c's
  // wing: theta jumps by 2 pi as d passes through c's side. With a flat rest
  // (theta_r = 0) the energy is the same on both sides and the gradient
  // flips.
  const double pi = std::acos(-1.0), t = pi - 0.01;
  hinge up = flat_hinge(), down = flat_hinge();
  up.Q[10] = -std::cos(t), up.Q[11] = std::sin(t);
  down.Q[10] = -std::cos(t), down.Q[11] = -std::sin(t);
  const element_result a = evaluate(up, 1.0), b = evaluate(down, 1.0);
  EXPECT_NEAR(a.E, t * t, 1e-13);  // w_h = 1
  EXPECT_NEAR(b.E, t * t, 1e-13);
  EXPECT_LT(a.g[11] * b.g[11], 0.0);
  // With a folded rest the energy itself jumps: (-t - r)^2 against (t - r)^2.
  hinge up_r = up, down_r = down;
  up_r.P[11] = down_r.P[11] = 0.3;  // theta_r = -atan(0.3)
  const double r = -std::atan(0.3);
  EXPECT_NEAR(evaluate(up_r, 1.0).E / evaluate(down_r, 1.0).E,
              ((t + r) * (t + r)) / ((t - r) * (t - r)), 1e-12);
}

TEST(Dihedral, FlatHingeIsStiffOutOfThePlane) {
  // At a flat rest, d2E/dz_c^2 = 2 eta w_h / h_c^2 (h_c = 1, w_h = 1); the
  // cosine model has none.
  const hinge h = flat_hinge();
  EXPECT_NEAR(evaluate(h, 2.0).H[12 * 8 + 8], 4.0, 1e-14);
  double g[12], H[144];
  bending_element_hessian(h.P, h.Q, 2.0, projection::none, g, H, bending_model::cosine);
  EXPECT_EQ(H[12 * 8 + 8], 0.0);
}

TEST(Dihedral, ClampedBlocksArePositiveSemidefinite) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 30; ++i) {
    const hinge h = random_hinge(rng, 2.0 * (i % 3) - 2.0);
    const element_result c = evaluate(h, 1.0, projection::clamp);
    // x^T H x >= 0 along random directions.
    for (int trial = 0; trial < 20; ++trial) {
      std::normal_distribution<double> n;
      double x[12], quad = 0, scale = 0;
      for (double& v : x) v = n(rng);
      for (int a = 0; a < 12; ++a) {
        for (int b = 0; b < 12; ++b) {
          quad += x[a] * c.H[12 * a + b] * x[b];
          scale += std::fabs(c.H[12 * a + b]);
        }
      }
      EXPECT_GE(quad, -1e-12 * scale);
    }
  }
}

TEST(Dihedral, SameBitsOnEveryPathAndInThePreparedShell) {
  std::mt19937_64 rng(21);
  const test::mesh m = test::jittered_sheet(9, 7, rng, 0.2);
  const std::vector<double> Q = test::deformed_copy(m, rng, 0.2);
  const hessian_pattern pattern(m.faces.data(), m.nF, m.edges.data(), m.nE, m.nV,
                                hessian_layout::column_major);
  std::vector<double> g0(3 * m.nV), H0(pattern.nnz());
  const double E0 = shell_energy_gradient_hessian(
      Q.data(), m.nV, 1.3, 0.7, m.rest.data(), m.faces.data(), m.nF, m.edges.data(), m.nE,
      projection::clamp, pattern, g0.data(), H0.data(), kDihedral);
  std::vector<double> g1(3 * m.nV);
  EXPECT_SAME_BITS(
      shell_energy_and_gradient(Q.data(), m.nV, 1.3, 0.7, m.rest.data(), m.faces.data(), m.nF,
                                m.edges.data(), m.nE, g1.data(), kDihedral),
      E0);
  EXPECT_SAME_BITS_VECTOR(g1, g0);
  shell_options opt;
  opt.bending = kDihedral;
  shell s(m.faces.data(), m.nF, m.rest.data(), m.nV, 1.3, 0.7, m.edges.data(), m.nE, opt);
  std::vector<double> g(3 * m.nV), H(pattern.nnz());
  EXPECT_SAME_BITS(s.energy_gradient_hessian(Q.data(), projection::clamp, g.data(), H.data()), E0);
  EXPECT_SAME_BITS_VECTOR(g, g0);
  EXPECT_SAME_BITS_VECTOR(H, H0);
  // Every instruction-set path of the stateless call.
  struct {
    void* allocate(std::size_t n) { return std::malloc(n); }
    void release(void* p) { std::free(p); }
  } alloc;
  detail::vertex_neighbours n;
  ASSERT_TRUE(detail::build_vertex_neighbours(
      detail::element_table{m.faces.data(), m.nF, m.edges.data(), m.nE}, m.nV, alloc, &n));
  const detail::csc_positions positions{&n, hessian_layout::column_major};
  for (isa path : test::supported_paths()) {
    SCOPED_TRACE(test::path_name(path));
    const double E = detail::shell_energy_gradient_hessian(
        path, Q.data(), m.nV, 1.3, 0.7, m.rest.data(), m.faces.data(), m.nF, m.edges.data(), m.nE,
        projection::clamp, positions, g.data(), H.data(), kDihedral);
    EXPECT_SAME_BITS(E, E0);
    EXPECT_SAME_BITS_VECTOR(g, g0);
    EXPECT_SAME_BITS_VECTOR(H, H0);
  }
  alloc.release(n.first);
  alloc.release(n.neighbour);
}

TEST(Dihedral, ConvergesUnderRefinement) {
  // The rolled square (mu = 0, eta = 1): the dihedral energy approaches
  // pi^2 at first order, the cosine energy falls as h^2.
  std::vector<double> dihedral, cosine;
  for (int n : {8, 16, 32, 64}) {
    const test::mesh m = test::flat_square(n);
    const std::vector<double> Q = test::rolled(m);
    dihedral.push_back(shell_energy(Q.data(), m.nV, 0.0, 1.0, m.rest.data(), m.faces.data(), m.nF,
                                    m.edges.data(), m.nE, kDihedral));
    cosine.push_back(shell_energy(Q.data(), m.nV, 0.0, 1.0, m.rest.data(), m.faces.data(), m.nF,
                                  m.edges.data(), m.nE));
  }
  EXPECT_NEAR(dihedral[2] / dihedral[1], 1.0, 0.05);
  EXPECT_NEAR(dihedral[3] / dihedral[2], 1.0, 0.02);
  EXPECT_LT(dihedral[3], std::acos(-1.0) * std::acos(-1.0));
  EXPECT_NEAR(cosine[3] / cosine[2], 0.25, 0.01);
}

}  // namespace
}  // namespace lamina
