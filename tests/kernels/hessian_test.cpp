// The element Hessian blocks and their projection onto the PSD cone:
// central differences of the literal reference gradient, symmetry and
// translations, the blocks at rest, PSD-ness of the projections checked by
// an independent shifted Cholesky factorisation, eigen-residuals of the
// Jacobi method on hard spectra, and equal bits across batch widths and
// instruction-set paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "hessian_paths.h"
#include "reference/reference.h"
#include "support/mesh.h"
#include "support/numeric.h"

namespace lamina {
namespace {

using detail::psd_mode;
using test::face_values;
using test::hinge_values;
using test::point;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---------------------------------------------------------------------------
// Elements and what the energy forms for them.

struct face {
  point P[3], Q[3];
};

struct hinge {
  point P[4], Q[4];  // a, b, c, d
};

face_values values_of(const face& f) { return test::face_values_of(f.P, f.Q); }
hinge_values values_of(const hinge& h) { return test::hinge_values_of(h.P, h.Q); }

// The blocks on the widest path, 8 lanes.
std::vector<double> face_block(const face& f, double mu) {
  return test::face_hessians(widest_supported_isa(), 8, mu, {values_of(f)});
}
std::vector<double> hinge_block(const hinge& h, double eta) {
  return test::hinge_hessians(widest_supported_isa(), 8, eta, {values_of(h)});
}

// The literal reference gradient of one element, ordered (vertex, coordinate).
std::vector<double> element_gradient(const std::vector<point>& P, const std::vector<point>& Q,
                                     double stiffness) {
  const auto n = static_cast<std::int32_t>(P.size());
  const std::vector<double> rest = test::vertex_matrix(P), deformed = test::vertex_matrix(Q);
  std::vector<double> g(3 * P.size(), 0.0);
  if (n == 3) {
    const std::vector<double> faces = {0, 1, 2};
    reference::membrane_energy_and_gradient(faces.data(), 1, rest.data(), deformed.data(), n,
                                            stiffness, g.data());
  } else {
    const std::vector<double> edges = {0, 1, 2, 3};
    reference::bending_energy_and_gradient(edges.data(), 1, rest.data(), deformed.data(), n,
                                           stiffness, g.data());
  }
  std::vector<double> out(g.size());
  for (std::size_t i = 0; i < P.size(); ++i) {
    for (int k = 0; k < 3; ++k) out[3 * i + k] = g[i + k * P.size()];
  }
  return out;
}

// Central differences of the reference gradient: column (j, y) is
// (g(Q + h e_jy) - g(Q - h e_jy)) / 2h, stored row-major like the blocks.
std::vector<double> differenced_hessian(const std::vector<point>& P, std::vector<point> Q,
                                        double stiffness, double h) {
  const std::size_t n = 3 * P.size();
  std::vector<double> H(n * n);
  for (std::size_t col = 0; col < n; ++col) {
    double& x = Q[col / 3][col % 3];
    const double x0 = x;
    x = x0 + h;
    const std::vector<double> up = element_gradient(P, Q, stiffness);
    x = x0 - h;
    const std::vector<double> down = element_gradient(P, Q, stiffness);
    x = x0;
    for (std::size_t row = 0; row < n; ++row) H[row * n + col] = (up[row] - down[row]) / (2 * h);
  }
  return H;
}

std::string sci(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", x);
  return buf;
}

double max_abs(const std::vector<double>& a) {
  double m = 0;
  for (double x : a) m = std::max(m, std::fabs(x));
  return m;
}

// ---------------------------------------------------------------------------
// Independent checks of symmetric matrices, in long double.

using matrix = std::vector<long double>;  // n x n, row-major

// Whether A + shift I has a Cholesky factor, i.e. every eigenvalue of A
// exceeds -shift (up to the factorisation's own rounding, far below shift).
bool cholesky_succeeds(const std::vector<double>& A, int n, long double shift) {
  matrix L(n * n, 0.0L);
  for (int j = 0; j < n; ++j) {
    long double d = static_cast<long double>(A[j * n + j]) + shift;
    for (int k = 0; k < j; ++k) d -= L[j * n + k] * L[j * n + k];
    if (!(d > 0)) return false;
    L[j * n + j] = std::sqrt(d);
    for (int i = j + 1; i < n; ++i) {
      long double s = A[i * n + j];
      for (int k = 0; k < j; ++k) s -= L[i * n + k] * L[j * n + k];
      L[i * n + j] = s / L[j * n + j];
    }
  }
  return true;
}

// The smallest eigenvalue is at least -tol * n * scale, checked by the
// factorisation above; scale is the largest entry of A unless given (the
// largest entry of the block A was derived from, say).
::testing::AssertionResult IsPsd(const std::vector<double>& A, int n, double tol,
                                 double scale = -1) {
  const long double shift = static_cast<long double>(tol) * (scale < 0 ? max_abs(A) : scale) * n;
  if (cholesky_succeeds(A, n, shift)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "an eigenvalue lies below -" << static_cast<double>(shift);
}

std::vector<double> multiply(const std::vector<double>& A, const std::vector<double>& B, int n) {
  std::vector<double> C(n * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      long double s = 0;
      for (int k = 0; k < n; ++k) s += static_cast<long double>(A[i * n + k]) * B[k * n + j];
      C[i * n + j] = static_cast<double>(s);
    }
  }
  return C;
}

std::vector<double> minus(std::vector<double> a, const std::vector<double>& b) {
  for (std::size_t i = 0; i < a.size(); ++i) a[i] -= b[i];
  return a;
}

// One block of a vector of blocks.
std::vector<double> block(const std::vector<double>& blocks, std::size_t i, std::size_t size) {
  return std::vector<double>(blocks.begin() + i * size, blocks.begin() + (i + 1) * size);
}

::testing::AssertionResult ExactlySymmetric(const std::vector<double>& H, int n) {
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) {
      if (!test::same_bits(H[i * n + j], H[j * n + i])) {
        return ::testing::AssertionFailure()
               << "entries (" << i << ", " << j << ") and (" << j << ", " << i << ") differ";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// Every row summed over the points, per coordinate: what H does to a
// translation, relative to the largest entry.
double translation_residual(const std::vector<double>& H, int n) {
  double worst = 0;
  for (int row = 0; row < n; ++row) {
    for (int y = 0; y < 3; ++y) {
      long double s = 0;
      for (int j = y; j < n; j += 3) s += H[row * n + j];
      worst = std::max(worst, static_cast<double>(std::fabs(s)));
    }
  }
  return worst / max_abs(H);
}

// ---------------------------------------------------------------------------
// Random elements.

struct random_elements {
  std::mt19937_64 rng;
  explicit random_elements(unsigned seed) : rng(seed) {}
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }

  // A rigid rotation of R^3 from three angles.
  point rotate(point p, double a, double b, double c) {
    const point x = {std::cos(a) * p[0] - std::sin(a) * p[1],
                     std::sin(a) * p[0] + std::cos(a) * p[1], p[2]};
    const point y = {x[0], std::cos(b) * x[1] - std::sin(b) * x[2],
                     std::sin(b) * x[1] + std::cos(b) * x[2]};
    return {std::cos(c) * y[0] - std::sin(c) * y[2], y[1], std::sin(c) * y[0] + std::cos(c) * y[2]};
  }

  // Rest points jittered around `base`; deformed = rest stretched unevenly,
  // rotated and perturbed by `noise`.
  template <std::size_t N>
  void deform(const point (&base)[N], point (&P)[N], point (&Q)[N], double jitter, double noise) {
    const double a = uniform(-3, 3), b = uniform(-3, 3), c = uniform(-3, 3);
    const double sx = uniform(0.6, 1.6), sy = uniform(0.6, 1.6), sz = uniform(0.6, 1.6);
    for (std::size_t i = 0; i < N; ++i) {
      for (int k = 0; k < 3; ++k) P[i][k] = base[i][k] + uniform(-jitter, jitter);
      const point s = rotate({sx * P[i][0], sy * P[i][1], sz * P[i][2]}, a, b, c);
      for (int k = 0; k < 3; ++k) Q[i][k] = s[k] + uniform(-noise, noise);
    }
  }

  face random_face(double noise) {
    static const point base[3] = {{0, 0, 0}, {1, 0, 0}, {0.3, 0.9, 0}};
    face f;
    deform(base, f.P, f.Q, 0.2, noise);
    return f;
  }

  // A hinge bent at rest by up to ~60 degrees, deformed and folded further.
  hinge random_hinge(double noise) {
    const double lift = uniform(-0.8, 0.8);
    const point base[4] = {{0, 0, 0}, {1, 0, 0}, {0.5, 0.9, 0}, {0.45, -0.9, lift}};
    hinge h;
    deform(base, h.P, h.Q, 0.15, noise);
    return h;
  }
};

// Moves c to `height` from the edge line (a, b), perpendicular to the edge:
// the first wing's normal becomes height * |Q_b - Q_a|.
void thin_first_wing(hinge& h, double height) {
  point e, n;
  for (int k = 0; k < 3; ++k) e[k] = h.Q[1][k] - h.Q[0][k];
  const point side = {0.3, 0.5, 0.7};
  n = {e[1] * side[2] - e[2] * side[1], e[2] * side[0] - e[0] * side[2],
       e[0] * side[1] - e[1] * side[0]};
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  for (int k = 0; k < 3; ++k) h.Q[2][k] = h.Q[0][k] + 0.4 * e[k] + height * n[k] / length;
}

std::vector<point> points(const point* p, int n) { return std::vector<point>(p, p + n); }

// ===========================================================================
// Face block

TEST(FaceHessian, MatchesCentralDifferencesOfTheGradient) {
  random_elements gen(1);
  double worst = 0;
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    // Mild, strong and inverting deformations; one face in ten is squeezed
    // to a sliver of a few percent of its area (still in the log branch).
    face f = gen.random_face(trial % 3 == 0 ? 0.05 : trial % 3 == 1 ? 0.4 : 1.0);
    if (trial % 10 == 9) {
      for (int k = 0; k < 3; ++k)
        f.Q[2][k] = 0.5 * (f.Q[0][k] + f.Q[1][k]) + 0.02 * (f.Q[2][k] - f.Q[0][k]);
    }
    const double mu = gen.uniform(0.3, 3.0);
    const std::vector<double> H = face_block(f, mu);
    const std::vector<double> D = differenced_hessian(points(f.P, 3), points(f.Q, 3), mu, 1e-6);
    const double err = test::relative_error(H, D);
    worst = std::max(worst, err);
    EXPECT_LT(err, 1e-7);
    EXPECT_TRUE(ExactlySymmetric(H, 9));
    EXPECT_LT(translation_residual(H, 9), 1e-13);
  }
  RecordProperty("worst_relative_error", sci(worst));
}

// Faces squeezed below r = 1e-20, where the log term is its tangent line.
// Coordinates and steps are dyadic, and the steps are small enough not to
// leave the branch (|N| stays far below 1e-10, so r stays below 1e-20).
TEST(FaceHessian, MatchesCentralDifferencesOnTheTangentLine) {
  const point P[3] = {{0, 0, 0}, {1, 0, 0}, {0.25, 0.75, 0}};
  const struct {
    const char* name;
    point Q[3];
    double step;
  } cases[] = {
      {"thin, in the plane", {{0, 0, 0}, {1, 0, 0}, {0.25, 0x1p-36, 0}}, 0x1p-46},
      {"thin, out of the plane", {{0, 0.5, 0}, {1, 0.5, 0x1p-38}, {0.375, 0.5, 0x1p-37}}, 0x1p-46},
      {"thin and stretched", {{0, 0, 0}, {2, 0, 0}, {1.5, 0x1p-36, 0x1p-38}}, 0x1p-47},
  };
  double worst = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const face f = {{P[0], P[1], P[2]}, {c.Q[0], c.Q[1], c.Q[2]}};
    const face_values v = values_of(f);
    ASSERT_LT(v.r, 1e-20);
    ASSERT_GT(4 * v.S_d, 1e-30);  // the gradient normalises N: it is exact here
    const std::vector<double> H = face_block(f, 1.5);
    const std::vector<double> D = differenced_hessian(points(f.P, 3), points(f.Q, 3), 1.5, c.step);
    const double err = test::relative_error(H, D);
    worst = std::max(worst, err);
    EXPECT_LT(err, 1e-7);
    EXPECT_TRUE(ExactlySymmetric(H, 9));
    // The tangent line's slope is huge: the area part dominates the block.
    EXPECT_GT(max_abs(H), 1e15);
  }
  RecordProperty("worst_relative_error", sci(worst));
}

// Where |N|^2 <= 1e-30 the gradient kernel does not normalise N, so its area
// part collapses by many orders of magnitude. The Hessian forms no unit
// normal: on either side of that threshold it is the same polynomial in the
// corners (r is far below 1e-20 on both), and it stays continuous.
TEST(FaceHessian, IsContinuousAcrossTheGradientsSliverThreshold) {
  const point P[3] = {{0, 0, 0}, {1, 0, 0}, {0.25, 0.75, 0}};
  const face above = {{P[0], P[1], P[2]}, {{0, 0, 0}, {1, 0, 0}, {0.25, 0x1p-49, 0}}};
  const face below = {{P[0], P[1], P[2]}, {{0, 0, 0}, {1, 0, 0}, {0.25, 0x1p-51, 0}}};
  ASSERT_GT(4 * values_of(above).S_d, 1e-30);
  ASSERT_LT(4 * values_of(below).S_d, 1e-30);
  const std::vector<double> Ha = face_block(above, 1.0), Hb = face_block(below, 1.0);
  // The corners moved by 1.3e-15: entries of order 1e20 move by about that.
  EXPECT_LT(test::relative_error(Hb, Ha), 1e-13);
  // The gradient jumps: its area part shrinks by the length of N.
  const std::vector<double> ga = element_gradient(points(above.P, 3), points(above.Q, 3), 1.0);
  const std::vector<double> gb = element_gradient(points(below.P, 3), points(below.Q, 3), 1.0);
  EXPECT_GT(std::fabs(ga[1]), 1e3 * std::fabs(gb[1]));
}

TEST(FaceHessian, AtRestIsPsdOfRankThreeAndClampOnlyRounds) {
  random_elements gen(2);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    face f = gen.random_face(0.0);
    for (int i = 0; i < 3; ++i) f.Q[i] = f.P[i];
    const std::vector<double> H = face_block(f, 2.0);
    EXPECT_TRUE(IsPsd(H, 9, 1e-14));
    // Rank 3 (the three in-plane strains): a shift below the smallest
    // non-zero eigenvalue, with its sign flipped, must fail.
    EXPECT_FALSE(cholesky_succeeds(H, 9, -1e-6L * max_abs(H)));
    std::vector<double> P = H;
    test::project_blocks(widest_supported_isa(), 8, psd_mode::clamp, 3, P);
    EXPECT_LT(test::relative_error(P, H), 1e-14);
  }
}

// ===========================================================================
// Hinge block

TEST(HingeHessian, MatchesCentralDifferencesOfTheGradient) {
  random_elements gen(3);
  double worst = 0;
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE(trial);
    const hinge h = gen.random_hinge(trial % 2 == 0 ? 0.1 : 0.5);
    const double eta = gen.uniform(0.3, 3.0);
    const std::vector<double> H = hinge_block(h, eta);
    const std::vector<double> D = differenced_hessian(points(h.P, 4), points(h.Q, 4), eta, 1e-6);
    const double err = test::relative_error(H, D);
    worst = std::max(worst, err);
    EXPECT_LT(err, 1e-7);
    EXPECT_TRUE(ExactlySymmetric(H, 12));
    EXPECT_LT(translation_residual(H, 12), 1e-12);
  }
  RecordProperty("worst_relative_error", sci(worst));
}

// Hinges whose deformed wing normals are a few times the 1e-10 floor: the
// entries grow like 1/|N|^2. As in the gradient's test, a thin wing among
// unit-sized coordinates uses dyadic coordinates and steps, and a hinge that
// is small as a whole needs nothing special.
TEST(HingeHessian, MatchesCentralDifferencesJustAboveTheThreshold) {
  const point flat[4] = {{0, 0, 0}, {1, 0, 0}, {0.5, 1, 0}, {0.5, -1, 0}};
  // The largest entry is about (lever / |N|)^2: 1e19 for a thin wing with
  // unit levers, 1e10 for the small hinge.
  const struct {
    const char* name;
    point Q[4];
    double step, largest_entry_above;
  } cases[] = {
      {"thin first wing, |N1| = 2.6e-10",
       {{0, 0, 0}, {1, 0, 0}, {0.5, 0x1p-32, 0x1p-33}, {0.5, -0.3, 0.6}},
       0x1p-46,
       1e18},
      {"thin second wing, |N2| = 2.6e-10",
       {{0, 0, 0}, {1, 0, 0}, {0.5, 0.75, 0.25}, {0.25, -0x1p-33, 0x1p-32}},
       0x1p-46,
       1e18},
      {"small hinge, |N1| = 3e-10, |N2| = 2.2e-10",
       {{0, 0, 0}, {1e-5, 0, 0}, {0.5e-5, 3e-5, 0}, {0.5e-5, -1e-5, 2e-5}},
       1e-12,
       1e9},
  };
  double worst = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const hinge h = {{flat[0], flat[1], flat[2], flat[3]}, {c.Q[0], c.Q[1], c.Q[2], c.Q[3]}};
    const hinge_values v = values_of(h);
    ASSERT_GE(std::min(v.lN1, v.lN2), 1e-10);
    ASSERT_LT(std::min(v.lN1, v.lN2), 4e-10);
    const std::vector<double> H = hinge_block(h, 1.0);
    const std::vector<double> D = differenced_hessian(points(h.P, 4), points(h.Q, 4), 1.0, c.step);
    const double err = test::relative_error(H, D);
    worst = std::max(worst, err);
    EXPECT_LT(err, 1e-7);
    EXPECT_TRUE(ExactlySymmetric(H, 12));
    EXPECT_GT(max_abs(H), c.largest_entry_above);
  }
  RecordProperty("worst_relative_error", sci(worst));
}

// A row whose two opposite vertices are one vertex (c = d): the blocks are
// per row position, and the assembler adds those of the repeated vertex.
// With c = d the two deformed wings coincide, their normals are opposite
// wherever the vertices go, and the cosine is constantly -1: the assembled
// Hessian of E_h must vanish, whatever delta is (here the rest hinge has a
// separate fourth vertex, so delta is not 0), although the blocks of the
// positions c and d do not.
TEST(HingeHessian, BlocksOfARepeatedVertexCancelWhenAssembled) {
  random_elements gen(14);
  for (int trial = 0; trial < 10; ++trial) {
    SCOPED_TRACE(trial);
    hinge h = gen.random_hinge(0.3);
    h.Q[3] = h.Q[2];
    const hinge_values v = values_of(h);
    ASSERT_GT(std::fabs(v.delta), 1e-3);
    const std::vector<double> H = hinge_block(h, 1.3);
    // Assemble onto the three distinct vertices a, b, c: position d -> c.
    std::vector<double> assembled(81, 0.0);
    for (int i = 0; i < 12; ++i) {
      for (int j = 0; j < 12; ++j) {
        const int vi = std::min(i / 3, 2), vj = std::min(j / 3, 2);
        assembled[(3 * vi + i % 3) * 9 + 3 * vj + j % 3] += H[i * 12 + j];
      }
    }
    ASSERT_GT(max_abs(H), 1e-2);
    EXPECT_LT(max_abs(assembled), 1e-13 * max_abs(H));
  }
}

// At rest delta is 0 up to rounding, so H = 2 eta w_h grad c grad c^T: PSD of
// rank one (zero for a flat hinge, whose cosine is at its maximum). Rank one
// means every 2 x 2 minor vanishes.
TEST(HingeHessian, AtRestIsPsdOfRankAtMostOne) {
  random_elements gen(4);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    hinge h = gen.random_hinge(0.0);
    for (int i = 0; i < 4; ++i) h.Q[i] = h.P[i];
    const std::vector<double> H = hinge_block(h, 1.7);
    const double m = max_abs(H);
    ASSERT_GT(m, 1e-3);  // bent at rest: grad c is not zero
    for (int i = 0; i < 12; ++i) EXPECT_GE(H[i * 12 + i], -1e-14 * m);
    double worst_minor = 0;
    for (int i = 0; i < 12; ++i) {
      for (int j = 0; j < 12; ++j) {
        for (int k = 0; k < 12; ++k) {
          for (int l = 0; l < 12; ++l) {
            const double minor = H[i * 12 + j] * H[k * 12 + l] - H[i * 12 + l] * H[k * 12 + j];
            worst_minor = std::max(worst_minor, std::fabs(minor));
          }
        }
      }
    }
    EXPECT_LT(worst_minor, 1e-13 * m * m);
    std::vector<double> P = H;
    test::project_blocks(widest_supported_isa(), 8, psd_mode::clamp, 4, P);
    EXPECT_LT(test::relative_error(P, H), 1e-13);
  }
  // A flat hinge at rest: the block is rounding noise.
  const point flat[4] = {{0, 0, 0}, {1, 0, 0}, {0.5, 1, 0}, {0.5, -1, 0}};
  const hinge h = {{flat[0], flat[1], flat[2], flat[3]}, {flat[0], flat[1], flat[2], flat[3]}};
  EXPECT_LT(max_abs(hinge_block(h, 1.0)), 1e-14);
}

// ===========================================================================
// Projection

// A block with its two projections.
struct projected {
  std::vector<double> H, clamp, abs;
};

std::vector<projected> strongly_deformed_blocks(int points_per_element, int count) {
  random_elements gen(points_per_element == 3 ? 5 : 6);
  std::vector<projected> out;
  const int size = 9 * points_per_element * points_per_element;
  std::vector<double> all;
  while (static_cast<int>(out.size()) < count) {
    projected p;
    if (points_per_element == 3) {
      face f = gen.random_face(1.0);
      if (out.size() % 7 == 6) {  // a face on the tangent line
        for (int k = 0; k < 3; ++k) f.Q[2][k] = 0.5 * (f.Q[0][k] + f.Q[1][k]);
        f.Q[2][2] += 0x1p-40;
      }
      p.H = face_block(f, gen.uniform(0.5, 2.0));
    } else {
      hinge h = gen.random_hinge(0.8);
      if (out.size() % 7 == 6) thin_first_wing(h, 4e-10);  // entries up to ~1e19
      p.H = hinge_block(h, gen.uniform(0.5, 2.0));
    }
    // Only blocks the check itself finds indefinite show anything.
    if (cholesky_succeeds(p.H, 3 * points_per_element, 1e-10L * max_abs(p.H))) continue;
    out.push_back(p);
  }
  for (const projected& p : out) all.insert(all.end(), p.H.begin(), p.H.end());
  std::vector<double> clamp = all, abs = all;
  test::project_blocks(widest_supported_isa(), 8, psd_mode::clamp, points_per_element, clamp);
  test::project_blocks(widest_supported_isa(), 8, psd_mode::abs, points_per_element, abs);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i].clamp = block(clamp, i, size);
    out[i].abs = block(abs, i, size);
  }
  return out;
}

// H = H+ - H- with H+ = clamp(H), H- PSD and H+ H- = 0 (the Jordan
// decomposition); |H| = abs(H) is PSD, |H|^2 = H^2 and |H| commutes with H,
// which makes it the same eigenvectors with |lambda|.
void expect_projections_of(const projected& p, int n) {
  const double scale = max_abs(p.H);
  EXPECT_TRUE(ExactlySymmetric(p.clamp, n));
  EXPECT_TRUE(ExactlySymmetric(p.abs, n));
  EXPECT_TRUE(IsPsd(p.clamp, n, 1e-14));
  EXPECT_TRUE(IsPsd(p.abs, n, 1e-14));
  const std::vector<double> negative_part = minus(p.clamp, p.H);
  EXPECT_TRUE(IsPsd(negative_part, n, 1e-14, scale));
  EXPECT_LT(max_abs(multiply(p.clamp, negative_part, n)), 1e-13 * scale * scale);
  EXPECT_LT(max_abs(minus(multiply(p.abs, p.abs, n), multiply(p.H, p.H, n))),
            1e-13 * scale * scale);
  EXPECT_LT(max_abs(minus(multiply(p.abs, p.H, n), multiply(p.H, p.abs, n))),
            1e-13 * scale * scale);
  // |H| = H+ + H-: 2 H+ - H.
  std::vector<double> twice = p.clamp;
  for (double& x : twice) x *= 2;
  EXPECT_LT(test::relative_error(minus(twice, p.H), p.abs), 1e-13);
  EXPECT_LT(translation_residual(p.clamp, n) * max_abs(p.clamp), 1e-14 * scale);
}

TEST(PsdProjection, ClampAndAbsOfStronglyDeformedFaces) {
  for (const projected& p : strongly_deformed_blocks(3, 40)) expect_projections_of(p, 9);
}

TEST(PsdProjection, ClampAndAbsOfStronglyDeformedHinges) {
  for (const projected& p : strongly_deformed_blocks(4, 40)) expect_projections_of(p, 12);
}

TEST(PsdProjection, NonFiniteBlocksGiveNaNAndLeaveTheirLaneMatesAlone) {
  random_elements gen(7);
  std::vector<double> blocks;
  for (int i = 0; i < 8; ++i) {
    const std::vector<double> H = hinge_block(gen.random_hinge(0.8), 1.0);
    blocks.insert(blocks.end(), H.begin(), H.end());
  }
  blocks[2 * 144 + 17] = kNaN;
  blocks[5 * 144 + 0] = kInf;
  blocks[6 * 144 + 143] = -kInf;
  for (psd_mode mode : {psd_mode::clamp, psd_mode::abs}) {
    std::vector<double> batched = blocks, alone = blocks;
    const int sweeps = test::project_blocks(widest_supported_isa(), 8, mode, 4, batched);
    EXPECT_LE(sweeps, detail::kJacobiMaxSweeps);
    test::project_blocks(widest_supported_isa(), 1, mode, 4, alone);
    for (int i : {2, 5, 6}) {
      for (int e = 0; e < 144; ++e) EXPECT_TRUE(std::isnan(batched[i * 144 + e])) << i << " " << e;
    }
    EXPECT_SAME_BITS_VECTOR(batched, alone);
    EXPECT_TRUE(IsPsd(block(batched, 0, 144), 12, 1e-14));
  }
}

// ===========================================================================
// Jacobi eigen-decomposition

struct eigen_result {
  std::vector<double> lambda, V, left;
  int sweeps;
};

eigen_result eigen(const std::vector<double>& matrices, int m, int width = 8,
                   isa path = widest_supported_isa()) {
  eigen_result r;
  r.sweeps = test::eigen_blocks(path, width, m, matrices, r.lambda, r.V, r.left);
  return r;
}

// max |K V - V diag(lambda)| / max|K| and max |V^T V - I| over the matrices,
// each below its bound; the worst of each are kept in *worst.
struct precision {
  double residual = 0, orthogonality = 0;
};

void expect_full_precision(const std::vector<double>& K, int m, const eigen_result& r,
                           double residual_tol, precision* worst) {
  const std::size_t n = K.size() / (m * m);
  for (std::size_t b = 0; b < n; ++b) {
    SCOPED_TRACE(b);
    const std::vector<double> A = block(K, b, m * m), V = block(r.V, b, m * m);
    double residual = 0, orthogonality = 0;
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < m; ++j) {
        long double kv = 0, vtv = 0;
        for (int k = 0; k < m; ++k) {
          kv += static_cast<long double>(A[i * m + k]) * V[k * m + j];
          vtv += static_cast<long double>(V[k * m + i]) * V[k * m + j];
        }
        kv -= static_cast<long double>(V[i * m + j]) * r.lambda[b * m + j];
        residual = std::max(residual, static_cast<double>(std::fabs(kv)));
        orthogonality = std::max(orthogonality, static_cast<double>(std::fabs(vtv - (i == j))));
      }
    }
    EXPECT_LT(residual, residual_tol * max_abs(A));
    EXPECT_LT(orthogonality, 1e-14);
    worst->residual = std::max(worst->residual, residual / max_abs(A));
    worst->orthogonality = std::max(worst->orthogonality, orthogonality);
    // A converged matrix is diagonal: every off-diagonal entry exactly 0.
    for (int i = 0; i < m; ++i) {
      for (int j = 0; j < m; ++j) {
        if (i != j) {
          EXPECT_EQ(r.left[b * m * m + i * m + j], 0.0);
        }
      }
    }
  }
}

// Q diag(lambda) Q^T with a random orthogonal Q (Gram-Schmidt, twice).
std::vector<double> with_spectrum(const std::vector<double>& lambda, std::mt19937_64& rng) {
  const int m = static_cast<int>(lambda.size());
  std::normal_distribution<double> normal;
  std::vector<long double> Q(m * m);
  for (long double& q : Q) q = normal(rng);
  for (int pass = 0; pass < 2; ++pass) {
    for (int j = 0; j < m; ++j) {
      for (int k = 0; k < j; ++k) {
        long double s = 0;
        for (int i = 0; i < m; ++i) s += Q[i * m + j] * Q[i * m + k];
        for (int i = 0; i < m; ++i) Q[i * m + j] -= s * Q[i * m + k];
      }
      long double s = 0;
      for (int i = 0; i < m; ++i) s += Q[i * m + j] * Q[i * m + j];
      for (int i = 0; i < m; ++i) Q[i * m + j] /= std::sqrt(s);
    }
  }
  std::vector<double> A(m * m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j <= i; ++j) {
      long double s = 0;
      for (int k = 0; k < m; ++k) s += Q[i * m + k] * lambda[k] * Q[j * m + k];
      A[i * m + j] = A[j * m + i] = static_cast<double>(s);
    }
  }
  return A;
}

// U^T H U with the Helmert basis, as the projection reduces a block.
std::vector<double> reduced(const std::vector<double>& H, int points_per_element) {
  const int n = 3 * points_per_element, m = n - 3;
  std::vector<long double> U(n * m, 0.0L);
  for (int k = 1; k < points_per_element; ++k) {
    const long double a = 1.0L / std::sqrt(static_cast<long double>(k * (k + 1)));
    for (int i = 0; i <= k; ++i) {
      for (int x = 0; x < 3; ++x) U[(3 * i + x) * m + 3 * (k - 1) + x] = i < k ? a : -k * a;
    }
  }
  std::vector<double> K(m * m);
  for (int a = 0; a < m; ++a) {
    for (int b = 0; b <= a; ++b) {
      long double s = 0;
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) s += U[i * m + a] * H[i * n + j] * U[j * m + b];
      }
      K[a * m + b] = K[b * m + a] = static_cast<double>(s);
    }
  }
  return K;
}

TEST(JacobiEigen, ConvergesToFullPrecisionOnHardSpectra) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(-1, 1);
  int most_sweeps = 0;
  precision worst;
  const auto run = [&](const char* name, const std::vector<double>& K, int m) {
    SCOPED_TRACE(name);
    const eigen_result r = eigen(K, m);
    expect_full_precision(K, m, r, 1e-14, &worst);
    most_sweeps = std::max(most_sweeps, r.sweeps);
    EXPECT_LE(r.sweeps, 8);
  };
  for (int m : {6, 9}) {
    std::vector<double> random, repeated, graded, clustered;
    for (int b = 0; b < 16; ++b) {
      std::vector<double> spectrum(m), twos(m), wide(m), close(m);
      for (int i = 0; i < m; ++i) {
        spectrum[i] = u(rng);
        // Eigenvalues of multiplicity three and more: 2, 2, 2, -1, -1, -1, 0...
        twos[i] = i < 3 ? 2.0 : i < 6 ? -1.0 : 0.0;
        // Twenty orders of magnitude, both signs.
        wide[i] = (i % 2 ? -1.0 : 1.0) * std::pow(10.0, 20.0 * i / (m - 1) - 10.0);
        // A cluster within 1e-12 of 1, beside -1.
        close[i] = i < m - 2 ? 1.0 + 1e-12 * u(rng) : -1.0;
      }
      const std::vector<double> a = with_spectrum(spectrum, rng), c = with_spectrum(twos, rng),
                                d = with_spectrum(wide, rng), e = with_spectrum(close, rng);
      random.insert(random.end(), a.begin(), a.end());
      repeated.insert(repeated.end(), c.begin(), c.end());
      graded.insert(graded.end(), d.begin(), d.end());
      clustered.insert(clustered.end(), e.begin(), e.end());
    }
    run("random", random, m);
    run("repeated eigenvalues", repeated, m);
    run("spectrum over twenty orders of magnitude", graded, m);
    run("cluster of nearly equal eigenvalues", clustered, m);
    // Diagonal and zero matrices need no rotation at all.
    std::vector<double> diagonal(2 * m * m, 0.0);
    for (int i = 0; i < m; ++i) diagonal[i * m + i] = i - 3.0;
    const eigen_result r = eigen(diagonal, m);
    EXPECT_EQ(r.sweeps, 1);
    EXPECT_SAME_BITS_VECTOR(r.left, diagonal);
  }
  // Element blocks: the rank-one bending block at rest, and hinges and faces
  // near their thresholds, with entries from 1e-20 to 1e20 of their largest.
  random_elements gen(9);
  std::vector<double> rank_one, thin_hinges, tangent_faces;
  for (int b = 0; b < 8; ++b) {
    hinge h = gen.random_hinge(0.0);
    for (int i = 0; i < 4; ++i) h.Q[i] = h.P[i];
    const std::vector<double> K = reduced(hinge_block(h, 1.0), 4);
    rank_one.insert(rank_one.end(), K.begin(), K.end());
    hinge t = gen.random_hinge(0.3);
    thin_first_wing(t, 3e-10);
    const hinge_values v = values_of(t);
    ASSERT_GE(v.lN1, 1e-10);
    ASSERT_LT(v.lN1, 1e-9);
    const std::vector<double> T = reduced(hinge_block(t, 1.0), 4);
    thin_hinges.insert(thin_hinges.end(), T.begin(), T.end());
    face f = gen.random_face(0.3);
    for (int k = 0; k < 3; ++k) f.Q[2][k] = 0.5 * (f.Q[0][k] + f.Q[1][k]);
    f.Q[2][2] += 1e-12;
    const std::vector<double> F = reduced(face_block(f, 1.0), 3);
    tangent_faces.insert(tangent_faces.end(), F.begin(), F.end());
  }
  run("rank-one bending block at rest", rank_one, 9);
  run("hinge with a wing normal of 3e-10", thin_hinges, 9);
  run("face on the tangent line", tangent_faces, 6);
  RecordProperty("most_sweeps", most_sweeps);
  RecordProperty("worst_relative_residual", sci(worst.residual));
  RecordProperty("worst_orthogonality", sci(worst.orthogonality));
}

TEST(JacobiEigen, NonFiniteInputEndsWithoutHanging) {
  std::mt19937_64 rng(10);
  std::vector<double> spectrum = {3, -1, 2, 0.5, -2, 1, 4, -3, 0.25};
  std::vector<double> batch;
  for (int b = 0; b < 8; ++b) {
    std::vector<double> A = with_spectrum(spectrum, rng);
    if (b == 1) A[3 * 9 + 5] = A[5 * 9 + 3] = kNaN;
    if (b == 4) A[0] = kInf;
    if (b == 6) std::fill(A.begin(), A.end(), kNaN);
    batch.insert(batch.end(), A.begin(), A.end());
  }
  const eigen_result r = eigen(batch, 9);
  EXPECT_LE(r.sweeps, detail::kJacobiMaxSweeps);
  for (int b : {0, 2, 3, 5, 7}) {
    std::vector<double> lambda(r.lambda.begin() + 9 * b, r.lambda.begin() + 9 * b + 9);
    std::sort(lambda.begin(), lambda.end());
    std::vector<double> sorted = spectrum;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(lambda[i], sorted[i], 1e-14);
  }
  // A finite matrix's lanes do not depend on the NaN lanes beside them.
  const eigen_result alone = eigen(batch, 9, 1);
  EXPECT_SAME_BITS_VECTOR(r.lambda, alone.lambda);
  EXPECT_SAME_BITS_VECTOR(r.V, alone.V);
}

// A converged block is left bit for bit unchanged by further sweeps, so a
// block's result does not depend on how many sweeps its lane-mates needed.
TEST(JacobiEigen, ResultDoesNotDependOnLaneMates) {
  std::mt19937_64 rng(11);
  std::vector<double> easy, hard, mixed;
  for (int b = 0; b < 8; ++b) {
    std::vector<double> d(9, 0.0);
    for (int i = 0; i < 9; ++i) d[i] = i + 1.0;
    std::vector<double> A = with_spectrum(d, rng);
    // Nearly diagonal: converges in two sweeps.
    std::vector<double> E(81, 0.0);
    for (int i = 0; i < 9; ++i) {
      for (int j = 0; j < 9; ++j) E[i * 9 + j] = i == j ? i + 1.0 : 1e-9 / (1 + i + j);
    }
    easy.insert(easy.end(), E.begin(), E.end());
    hard.insert(hard.end(), A.begin(), A.end());
  }
  const eigen_result easy_alone = eigen(easy, 9, 8);
  const eigen_result hard_alone = eigen(hard, 9, 8);
  ASSERT_LT(easy_alone.sweeps, hard_alone.sweeps);
  // Alternate easy and hard matrices in one batch.
  for (int b = 0; b < 8; ++b) {
    const std::vector<double>& src = b % 2 ? hard : easy;
    mixed.insert(mixed.end(), src.begin() + b * 81, src.begin() + (b + 1) * 81);
  }
  const eigen_result m = eigen(mixed, 9, 8);
  for (int b = 0; b < 8; ++b) {
    const eigen_result& alone = b % 2 ? hard_alone : easy_alone;
    for (int e = 0; e < 81; ++e) {
      ASSERT_TRUE(test::same_bits(m.V[b * 81 + e], alone.V[b * 81 + e])) << b << " " << e;
      ASSERT_TRUE(test::same_bits(m.left[b * 81 + e], alone.left[b * 81 + e])) << b << " " << e;
    }
  }
}

// ===========================================================================
// Bits across batch widths and instruction-set paths

struct mixed_inputs {
  std::vector<face_values> faces;
  std::vector<hinge_values> hinges;
};

// Ordinary elements, elements at rest, on the tangent line, near the hinge
// threshold and with non-finite coordinates; 21 of each, so that batches of
// 8 end with a partial one.
mixed_inputs mixed_elements() {
  random_elements gen(12);
  mixed_inputs in;
  for (int i = 0; i < 21; ++i) {
    face f = gen.random_face(i % 2 ? 0.8 : 0.1);
    hinge h = gen.random_hinge(i % 2 ? 0.8 : 0.1);
    switch (i % 5) {
      case 1:
        for (int k = 0; k < 4; ++k) h.Q[k] = h.P[k];
        for (int k = 0; k < 3; ++k) f.Q[k] = f.P[k];
        break;
      case 2:
        for (int k = 0; k < 3; ++k) f.Q[2][k] = 0.5 * (f.Q[0][k] + f.Q[1][k]);
        for (int k = 0; k < 3; ++k) h.Q[3][k] = 0.5 * (h.Q[0][k] + h.Q[1][k]);
        h.Q[3][2] += 2e-10;
        break;
      case 3:
        f.Q[1][0] = kNaN;
        h.Q[2][1] = kInf;
        break;
      default:
        break;
    }
    in.faces.push_back(values_of(f));
    in.hinges.push_back(values_of(h));
  }
  return in;
}

TEST(HessianBits, OneLaneAndEightLanesAgree) {
  const mixed_inputs in = mixed_elements();
  const isa path = widest_supported_isa();
  EXPECT_SAME_BITS_VECTOR(test::face_hessians(path, 1, 1.3, in.faces),
                          test::face_hessians(path, 8, 1.3, in.faces));
  EXPECT_SAME_BITS_VECTOR(test::hinge_hessians(path, 1, 0.7, in.hinges),
                          test::hinge_hessians(path, 8, 0.7, in.hinges));
  for (psd_mode mode : {psd_mode::clamp, psd_mode::abs}) {
    for (int points_per_element : {3, 4}) {
      std::vector<double> one = points_per_element == 3
                                    ? test::face_hessians(path, 8, 1.3, in.faces)
                                    : test::hinge_hessians(path, 8, 0.7, in.hinges);
      std::vector<double> eight = one;
      test::project_blocks(path, 1, mode, points_per_element, one);
      test::project_blocks(path, 8, mode, points_per_element, eight);
      EXPECT_SAME_BITS_VECTOR(one, eight);
    }
  }
}

TEST(HessianBits, EveryInstructionSetPathAgrees) {
  const mixed_inputs in = mixed_elements();
  const std::vector<isa> paths = test::supported_paths();
  RecordProperty("paths", static_cast<int>(paths.size()));
  for (int width : {1, 8}) {
    const auto faces = test::face_hessians(isa::baseline, width, 1.3, in.faces);
    const auto hinges = test::hinge_hessians(isa::baseline, width, 0.7, in.hinges);
    for (isa path : paths) {
      SCOPED_TRACE(std::string(test::path_name(path)) + ", width " + std::to_string(width));
      EXPECT_SAME_BITS_VECTOR(test::face_hessians(path, width, 1.3, in.faces), faces);
      EXPECT_SAME_BITS_VECTOR(test::hinge_hessians(path, width, 0.7, in.hinges), hinges);
      for (psd_mode mode : {psd_mode::clamp, psd_mode::abs}) {
        std::vector<double> base_f = faces, base_h = hinges, f = faces, h = hinges;
        test::project_blocks(isa::baseline, width, mode, 3, base_f);
        test::project_blocks(isa::baseline, width, mode, 4, base_h);
        test::project_blocks(path, width, mode, 3, f);
        test::project_blocks(path, width, mode, 4, h);
        EXPECT_SAME_BITS_VECTOR(f, base_f);
        EXPECT_SAME_BITS_VECTOR(h, base_h);
      }
    }
  }
}

}  // namespace
}  // namespace lamina
