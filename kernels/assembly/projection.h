// Deterministic projection of symmetric element blocks onto the positive
// semi-definite cone, for up to kLanes blocks side by side.
//
// An element block H of P points (P = 3 for a face, 4 for a hinge; 3P x 3P)
// annihilates uniform translations: in exact arithmetic H (1 (x) t) = 0 for
// every t in R^3, since the energy does not change when the element moves as
// a whole. So H = U K U^T with K = U^T H U, where the 3P x 3(P-1) matrix
// U = Hm (x) I3 has orthonormal columns spanning the complement of the
// translations; Hm is the Helmert basis of the points,
//
//   h_k = (1, ..., 1, -k, 0, ..., 0) / sqrt(k (k + 1)),   k = 1 .. P-1
//         (k ones, then -k at position k).
//
// K (6 x 6 or 9 x 9) is diagonalised, K = V diag(lambda) V^T, with a cyclic
// Jacobi method of our own, and the block is replaced by
//
//   clamp:  U V diag(max(lambda, 0)) V^T U^T,
//   abs:    U V diag(|lambda|) V^T U^T.
//
// 'abs' keeps the eigenvectors and flips the sign of the negative
// eigenvalues; both results are PSD and annihilate translations (up to the
// rounding of U). Whatever the input does to translations in floating point
// is dropped: it is rounding noise of the element kernels.
//
// The Jacobi method. Each sweep visits all M(M-1)/2 index pairs in a fixed
// round-robin order: M-1 rounds (M even) or M rounds (M odd) of disjoint
// pairs, so the rotations of a round are independent and their square roots
// and divisions overlap. A rotation of the pair (p, q) with off-diagonal
// entry a = K_pq, d = K_qq - K_pp and r = sqrt(d^2 + 4a^2) turns by the
// smaller angle, whose tangent is t = sgn(d) 2a / (|d| + r) (sgn(0) = +1):
//
//   c = (|d| + r) / D,  s = sgn(d) 2a / D,  D = sqrt(2r (r + |d|)),
//   K_pp -= t a,  K_qq += t a,  K_pq = 0,
//   K_jp, K_jq <- c K_jp - s K_jq, s K_jp + c K_jq   (j != p, q),
//   V_jp, V_jq <- the same on the columns of V,
//
// two square roots and two divisions per rotation, with c^2 + s^2 = 1 to
// rounding and no cancellation anywhere.
//
// Threshold. A pair whose |K_pq| is at most tau = 2^-56 * max_ij |K_ij| (the
// largest entry of the reduced input block) is not rotated: K_pq is set to
// exactly 0 and nothing else changes (every other entry keeps its bits,
// through a bitwise select, not through c = 1, s = 0 arithmetic, which
// could flip the sign of a zero). A pair that no lane of the batch rotates
// is skipped outright. Dropping entries that small moves an eigenvalue by at
// most sqrt(M(M-1)) tau < 2^-52 max|K|, below the rounding of K itself.
// Since a skipped rotation changes nothing but that entry, a block whose
// off-diagonal entries are all at most tau is left bit for bit unchanged by
// any further sweep (beyond zeroing those entries).
//
// Sweeps. After each sweep the batch stops if, in every lane, every
// off-diagonal entry is at most tau; otherwise it sweeps again, up to
// kJacobiMaxSweeps sweeps. Because extra sweeps leave a converged block
// unchanged, a block's result never depends on its lane-mates or on the
// batch width W; because every lane performs the same operations in the same
// order (selects, no branches), it does not depend on the instruction set
// either. Cyclic Jacobi converges quadratically; the tests show blocks of
// random, repeated-eigenvalue and badly graded spectra converging to full
// precision in at most 8 sweeps, so the cap is only a bound on the work.
// After the last sweep, entries at most tau are zeroed in every lane.
//
// Non-finite input. A block with a NaN or infinite entry yields NaN in all
// of its entries; its comparisons with the threshold fail, so it never holds
// up the batch beyond the cap. Entries must stay below about 1e150 in
// magnitude (their squares are formed).
#ifndef LAMINA_KERNELS_PSD_PROJECTION_H
#define LAMINA_KERNELS_PSD_PROJECTION_H

#include <lamina/hessian.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "simd/lanes.h"

// A loop over the lanes whose arrays are indexed by row numbers known only
// at run time (the rotated pair): the lanes never touch each other's
// elements, which the compiler cannot see through the unknown rows, so it
// is told (ivdep), instead of testing for overlaps before every loop.
#if defined(__GNUC__) && !defined(__clang__)
#define LAMINA_INDEPENDENT_LANE_LOOP _Pragma("GCC unroll 1") _Pragma("GCC ivdep")
#else
#define LAMINA_INDEPENDENT_LANE_LOOP
#endif

namespace lamina {
namespace detail {

enum class psd_mode {
  clamp,  // negative eigenvalues become 0
  abs     // eigenvalues become their absolute values
};

// The sweep cap and the relative threshold of the Jacobi method (see above).
constexpr int kJacobiMaxSweeps = 16;
constexpr double kJacobiTolerance = 0x1p-56;

namespace psd_impl {

// h_k[i] of the Helmert basis of 4 points, k = 1..3 (rows), i = 0..3
// (columns); the first P-1 rows restricted to the first P columns are the
// basis of P points. Decimal literals of the correctly rounded values.
constexpr double kHelmert[3][4] = {
    {0.7071067811865476, -0.7071067811865476, 0.0, 0.0},
    {0.408248290463863, 0.408248290463863, -0.816496580927726, 0.0},
    {0.28867513459481287, 0.28867513459481287, 0.28867513459481287, -0.8660254037844386}};

// The round-robin order of the index pairs of an M x M matrix: round r of
// the circle method pairs the fixed player n-1 with r, and (r + i) with
// (r - i) mod (n-1); with M odd, n = M + 1 and pairs with the dummy n-1 are
// dropped.
template <int M>
struct jacobi_schedule {
  static constexpr int n = M % 2 == 0 ? M : M + 1;
  static constexpr int rounds = n - 1;
  static constexpr int per_round = M / 2;
  int p[rounds][per_round];
  int q[rounds][per_round];
  // For pair k of round r, the upper-triangle entries (j, p) and (j, q) of
  // the other rows j, as element indices: row-major min * M + max.
  int jp[rounds][per_round][M - 2];
  int jq[rounds][per_round][M - 2];
  constexpr jacobi_schedule() : p(), q(), jp(), jq() {
    for (int r = 0; r < rounds; ++r) {
      int k = 0;
      for (int i = 0; i < n / 2; ++i) {
        int x = i == 0 ? n - 1 : (r + i) % (n - 1);
        int y = i == 0 ? r : (r - i + (n - 1)) % (n - 1);
        if (x >= M || y >= M) continue;
        if (x > y) {
          const int z = x;
          x = y;
          y = z;
        }
        p[r][k] = x;
        q[r][k] = y;
        int t = 0;
        for (int j = 0; j < M; ++j) {
          if (j == x || j == y) continue;
          jp[r][k][t] = j < x ? j * M + x : x * M + j;
          jq[r][k][t] = j < y ? j * M + y : y * M + j;
          ++t;
        }
        ++k;
      }
    }
  }
};

LAMINA_ALWAYS_INLINE double magnitude(double x) { return x < 0.0 ? -x : x; }

// The bits of `rotated` where `mask` is all ones, those of `kept` where it is
// zero. Written with integer operations: a select whose other arm is the old
// value of the stored element becomes a masked store, which the next
// rotation's load of that element has to wait for (a masked store does not
// forward), and that dominated the sweeps.
LAMINA_ALWAYS_INLINE double blend(std::uint64_t mask, double rotated, double kept) {
  std::uint64_t r, k;
  std::memcpy(&r, &rotated, sizeof r);
  std::memcpy(&k, &kept, sizeof k);
  const std::uint64_t out = (r & mask) | (k & ~mask);
  double d;
  std::memcpy(&d, &out, sizeof d);
  return d;
}

}  // namespace psd_impl

// Eigen-decomposition of the symmetric M x M matrices of lanes 0..W-1 of A
// (A[p * M + q][lane], both triangles stored and equal). On return A holds
// the eigenvalues on its diagonal (off-diagonal entries at most tau[lane]
// are exactly 0; others remain only in a lane that reached the sweep cap),
// both triangles again equal, and V their unit eigenvectors as columns
// (V[k * M + m][lane] is component k of eigenvector m). tau[lane] is the
// threshold below which a pair is not rotated. Returns the number of sweeps
// the batch ran.
//
// A pair that no lane of the batch rotates costs nothing but zeroing its
// entry: the rotation would have changed nothing else in any lane.
template <class Isa, int M, int W>
LAMINA_ALWAYS_INLINE int jacobi_eigen(double (&A)[M * M][kLanes], double (&V)[M * M][kLanes],
                                      const lane_doubles& tau) {
  using psd_impl::blend;
  using psd_impl::magnitude;
  static constexpr psd_impl::jacobi_schedule<M> order{};
  using schedule = psd_impl::jacobi_schedule<M>;
  for (int e = 0; e < M * M; ++e) {
    const double v = e % (M + 1) == 0 ? 1.0 : 0.0;
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) V[e][l] = v;
  }
  int sweeps = 0;
  while (sweeps < kJacobiMaxSweeps) {
    ++sweeps;
    for (int r = 0; r < schedule::rounds; ++r) {
      // The rotations of a round, all from the matrix as the round found it
      // (its pairs are disjoint, so none changes another's three entries).
      double cs[schedule::per_round][kLanes], sn[schedule::per_round][kLanes];
      double shift[schedule::per_round][kLanes];
      std::uint64_t on[schedule::per_round][kLanes];  // all ones where the lane rotates
      bool rotate[schedule::per_round];
      for (int k = 0; k < schedule::per_round; ++k) {
        const int p = order.p[r][k], q = order.q[r][k];
        std::uint64_t any = 0;
        LAMINA_INDEPENDENT_LANE_LOOP
        for (int l = 0; l < W; ++l) {
          on[k][l] = magnitude(A[p * M + q][l]) > tau[l] ? ~std::uint64_t{0} : 0;
          any = any | on[k][l];
        }
        rotate[k] = any != 0;
        if (!rotate[k]) continue;
        // With a = A_pq, d = A_qq - A_pp, r = sqrt(d^2 + 4a^2) and
        // t = sgn(d) 2a / (|d| + r) the tangent of the rotation angle:
        // c = (|d| + r) / D and s = sgn(d) 2a / D with D = sqrt(2r(r + |d|)),
        // and t a moves the diagonal.
        LAMINA_INDEPENDENT_LANE_LOOP
        for (int l = 0; l < W; ++l) {
          const double a = A[p * M + q][l];
          const double d = A[q * M + q][l] - A[p * M + p][l];
          const double two_a = a * 2.0;
          const bool negative = d < 0.0;
          const double num = negative ? -two_a : two_a;
          const double ad = negative ? -d : d;
          const double root = lane_sqrt<Isa>(d * d + two_a * two_a);
          const double sum = root + ad;
          const double inv = lane_div<Isa>(1.0, lane_sqrt<Isa>((root * 2.0) * sum));
          cs[k][l] = sum * inv;
          sn[k][l] = num * inv;
          shift[k][l] = lane_div<Isa>(num, sum) * a;
        }
      }
      for (int k = 0; k < schedule::per_round; ++k) {
        const int p = order.p[r][k], q = order.q[r][k];
        if (!rotate[k]) {
          LAMINA_INDEPENDENT_LANE_LOOP
          for (int l = 0; l < W; ++l) A[p * M + q][l] = 0.0;
          continue;
        }
        // Only the upper triangle of A is kept up to date during the
        // sweeps (half the stores; stores bound the sweeps). One lane loop
        // per rotation, its rows unrolled: c, s and the mask stay in
        // registers, and every row's address is the table's.
        const int* jp = order.jp[r][k];
        const int* jq = order.jq[r][k];
        LAMINA_INDEPENDENT_LANE_LOOP
        for (int l = 0; l < W; ++l) {
          const std::uint64_t rotating = on[k][l];
          const double c = cs[k][l], s = sn[k][l];
          const double app = A[p * M + p][l], aqq = A[q * M + q][l];
          A[p * M + p][l] = blend(rotating, app - shift[k][l], app);
          A[q * M + q][l] = blend(rotating, aqq + shift[k][l], aqq);
          A[p * M + q][l] = 0.0;
          LAMINA_UNROLL
          for (int t = 0; t < M - 2; ++t) {
            const double x = A[jp[t]][l], y = A[jq[t]][l];
            A[jp[t]][l] = blend(rotating, c * x - s * y, x);
            A[jq[t]][l] = blend(rotating, s * x + c * y, y);
          }
          LAMINA_UNROLL
          for (int j = 0; j < M; ++j) {
            const double x = V[j * M + p][l], y = V[j * M + q][l];
            V[j * M + p][l] = blend(rotating, c * x - s * y, x);
            V[j * M + q][l] = blend(rotating, s * x + c * y, y);
          }
        }
      }
    }
    // Another sweep only if some lane still has an entry above its threshold.
    double above[kLanes];
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) above[l] = 0.0;
    for (int p = 0; p < M; ++p) {
      for (int q = p + 1; q < M; ++q) {
        LAMINA_INDEPENDENT_LANE_LOOP
        for (int l = 0; l < W; ++l) {
          above[l] = magnitude(A[p * M + q][l]) > tau[l] ? 1.0 : above[l];
        }
      }
    }
    bool any = false;
    for (int l = 0; l < W; ++l) any = any || above[l] != 0.0;
    if (!any) break;
  }
  // What one more sweep would do to every lane whose entries are all at most
  // tau, done entry by entry; and the lower triangle again.
  for (int p = 0; p < M; ++p) {
    for (int q = p + 1; q < M; ++q) {
      LAMINA_INDEPENDENT_LANE_LOOP
      for (int l = 0; l < W; ++l) {
        const double a = A[p * M + q][l];
        const double kept = magnitude(a) > tau[l] ? a : 0.0;
        A[p * M + q][l] = kept;
        A[q * M + p][l] = kept;
      }
    }
  }
  return sweeps;
}

// K = U^T H U for the 3P x 3P blocks of lanes 0..W-1 (M = 3(P-1)), K exactly
// symmetric; also the threshold tau = kJacobiTolerance * max|K_ij| and
// finite = 1.0 where every entry of H is finite (0.0 otherwise).
template <int P, int W>
LAMINA_ALWAYS_INLINE void reduce_translations(const double (&H)[9 * P * P][kLanes],
                                              double (&K)[9 * (P - 1) * (P - 1)][kLanes],
                                              lane_doubles& tau, lane_doubles& finite) {
  constexpr int n = 3 * P, M = 3 * (P - 1);
  using psd_impl::kHelmert;
  using psd_impl::magnitude;
  // 0 * x is 0 for finite x and NaN otherwise.
  lane_doubles poison;
  LAMINA_INDEPENDENT_LANE_LOOP
  for (int l = 0; l < W; ++l) poison[l] = 0.0;
  for (int e = 0; e < n * n; ++e) {
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) poison[l] = poison[l] + 0.0 * H[e][l];
  }
  LAMINA_INDEPENDENT_LANE_LOOP
  for (int l = 0; l < W; ++l) finite[l] = poison[l] == 0.0 ? 1.0 : 0.0;
  // Row (i, x) of H U: column (k, y) is sum_j H[(i,x), (j,y)] h_k[j].
  double HU[n * M][kLanes];
  for (int row = 0; row < n; ++row) {
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      LAMINA_UNROLL
      for (int k = 0; k < P - 1; ++k) {
        LAMINA_UNROLL
        for (int y = 0; y < 3; ++y) {
          double sum = 0.0;
          LAMINA_UNROLL
          for (int j = 0; j <= k + 1; ++j) sum = sum + H[row * n + 3 * j + y][l] * kHelmert[k][j];
          HU[row * M + 3 * k + y][l] = sum;
        }
      }
    }
  }
  // K[(k,x), (m,y)] = sum_i h_k[i] (H U)[(i,x), (m,y)], upper triangle mirrored.
  LAMINA_INDEPENDENT_LANE_LOOP
  for (int l = 0; l < W; ++l) tau[l] = 0.0;
  for (int a = 0; a < M; ++a) {
    const int k = a / 3, x = a % 3;
    for (int b = a; b < M; ++b) {
      LAMINA_INDEPENDENT_LANE_LOOP
      for (int l = 0; l < W; ++l) {
        double sum = 0.0;
        LAMINA_UNROLL
        for (int i = 0; i <= k + 1; ++i) sum = sum + kHelmert[k][i] * HU[(3 * i + x) * M + b][l];
        K[a * M + b][l] = sum;
        K[b * M + a][l] = sum;
        const double m = magnitude(sum);
        tau[l] = m > tau[l] ? m : tau[l];
      }
    }
  }
  LAMINA_INDEPENDENT_LANE_LOOP
  for (int l = 0; l < W; ++l) tau[l] = tau[l] * kJacobiTolerance;
}

// H = U F U^T with F = V diag(f(lambda)) V^T, f the projection of the mode;
// lambda is the diagonal of the diagonalised K. Upper triangles are computed
// and mirrored, so H is exactly symmetric; lanes with finite = 0.0 get NaN.
template <psd_mode Mode, int P, int W>
LAMINA_ALWAYS_INLINE void expand_projected(const double (&K)[9 * (P - 1) * (P - 1)][kLanes],
                                           const double (&V)[9 * (P - 1) * (P - 1)][kLanes],
                                           const lane_doubles& finite,
                                           double (&H)[9 * P * P][kLanes]) {
  constexpr int n = 3 * P, M = 3 * (P - 1);
  using psd_impl::kHelmert;
  double f[M][kLanes];
  for (int m = 0; m < M; ++m) {
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const double lambda = K[m * M + m][l];
      f[m][l] = Mode == psd_mode::clamp ? (lambda > 0.0 ? lambda : 0.0)
                                        : (lambda < 0.0 ? -lambda : lambda);
    }
  }
  // F = V diag(f) V^T.
  double F[M * M][kLanes];
  for (int a = 0; a < M; ++a) {
    for (int b = a; b < M; ++b) {
      LAMINA_INDEPENDENT_LANE_LOOP
      for (int l = 0; l < W; ++l) {
        double sum = 0.0;
        LAMINA_UNROLL
        for (int m = 0; m < M; ++m) sum = sum + (f[m][l] * V[a * M + m][l]) * V[b * M + m][l];
        F[a * M + b][l] = sum;
        F[b * M + a][l] = sum;
      }
    }
  }
  // F U^T: entry ((k,x), (j,y)) = sum_m F[(k,x), (m,y)] h_m[j].
  double FU[M * n][kLanes];
  for (int a = 0; a < M; ++a) {
    LAMINA_INDEPENDENT_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      LAMINA_UNROLL
      for (int j = 0; j < P; ++j) {
        LAMINA_UNROLL
        for (int y = 0; y < 3; ++y) {
          double sum = 0.0;
          LAMINA_UNROLL
          for (int m = j == 0 ? 0 : j - 1; m < P - 1; ++m) {
            sum = sum + F[a * M + 3 * m + y][l] * kHelmert[m][j];
          }
          FU[a * n + 3 * j + y][l] = sum;
        }
      }
    }
  }
  // H = U (F U^T): entry ((i,x), (j,y)) = sum_k h_k[i] (F U^T)[(k,x), (j,y)].
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int a = 0; a < n; ++a) {
    const int i = a / 3, x = a % 3;
    for (int b = a; b < n; ++b) {
      LAMINA_INDEPENDENT_LANE_LOOP
      for (int l = 0; l < W; ++l) {
        double sum = 0.0;
        LAMINA_UNROLL
        for (int k = i == 0 ? 0 : i - 1; k < P - 1; ++k) {
          sum = sum + kHelmert[k][i] * FU[(3 * k + x) * n + b][l];
        }
        const double v = finite[l] != 0.0 ? sum : nan;
        H[a * n + b][l] = v;
        H[b * n + a][l] = v;
      }
    }
  }
}

// Projects the 3P x 3P symmetric blocks of lanes 0..W-1 of H (H[entry][lane],
// row-major over (point, coordinate) x (point, coordinate): the layout of
// face_hessian.h for P = 3 and of hinge_hessian.h for P = 4) in place onto
// the PSD cone, as the mode says. Lanes W..kLanes-1 are not touched. Returns
// the number of Jacobi sweeps the batch ran.
template <class Isa, psd_mode Mode, int P, int W>
LAMINA_ALWAYS_INLINE int project_psd(double (&H)[9 * P * P][kLanes]) {
  constexpr int M = 3 * (P - 1);
  double K[M * M][kLanes], V[M * M][kLanes];
  lane_doubles tau, finite;
  reduce_translations<P, W>(H, K, tau, finite);
  const int sweeps = jacobi_eigen<Isa, M, W>(K, V, tau);
  expand_projected<Mode, P, W>(K, V, finite, H);
  return sweeps;
}

// Projects the blocks as the caller asks (projection::none leaves them).
template <class Isa, int P, int W>
LAMINA_ALWAYS_INLINE void project_blocks(projection project, double (&H)[9 * P * P][kLanes]) {
  if (project == projection::clamp) project_psd<Isa, psd_mode::clamp, P, W>(H);
  if (project == projection::abs) project_psd<Isa, psd_mode::abs, P, W>(H);
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_PSD_PROJECTION_H
