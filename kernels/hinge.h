// The row test shared by the bending term and the valid-edge mask: which edge
// rows are hinges, and whether their deformed wings have a normal. Keeping it
// in one place means the mask cannot drift from the rows the energy evaluates.
#ifndef LAMINA_KERNELS_HINGE_H
#define LAMINA_KERNELS_HINGE_H

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "index.h"
#include "lanes.h"

namespace lamina {
namespace detail {

// A deformed wing normal shorter than this marks a degenerate triangle.
constexpr double kWingNormalFloor = 1e-10;

// Up to kLanes hinges: their rows, vertex indices and deformed positions.
struct hinge_lanes {
  lane_indices row, a, b, c, d;
  lane_vec3 Qa, Qb, Qc, Qd;
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
    h.row[n] = *j;
    h.c[n] = c;
    h.d[n] = d;
    h.a[n] = index_from_double(edges[*j]);
    h.b[n] = index_from_double(edges[*j + s]);
    ++n;
  }
  for (int l = n; l < W && n > 0; ++l) {
    h.row[l] = h.row[0];
    h.a[l] = h.a[0];
    h.b[l] = h.b[0];
    h.c[l] = h.c[0];
    h.d[l] = h.d[0];
  }
  return n;
}

template <int W>
LAMINA_ALWAYS_INLINE void load_hinge_positions(const double* m, std::ptrdiff_t nV,
                                               const hinge_lanes& h, lane_vec3& Pa, lane_vec3& Pb,
                                               lane_vec3& Pc, lane_vec3& Pd) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    load_lane(Pa, l, m, h.a[l], nV);
    load_lane(Pb, l, m, h.b[l], nV);
    load_lane(Pc, l, m, h.c[l], nV);
    load_lane(Pd, l, m, h.d[l], nV);
  }
}

LAMINA_ALWAYS_INLINE void cross(const lane_vec3& u, const lane_vec3& v, int l, double& x, double& y,
                                double& z) {
  x = u.y[l] * v.z[l] - u.z[l] * v.y[l];
  y = u.z[l] * v.x[l] - u.x[l] * v.z[l];
  z = u.x[l] * v.y[l] - u.y[l] * v.x[l];
}

// The deformed wing normals N1 = e_d x (Q_c - Q_a) and N2 = (Q_d - Q_a) x e_d,
// e_d = Q_b - Q_a, their lengths, and whether the row is evaluated: neither
// length below the floor. The tests are strict, and a NaN length passes, so
// that NaN coordinates reach the energy instead of being silently dropped.
struct wing_normal_lanes {
  lane_vec3 N1, N2;
  lane_doubles lN1, lN2;
  lane_doubles evaluated;  // 1.0 or 0.0 (a double, so that it shares the lanes' width)
};

template <int W>
LAMINA_ALWAYS_INLINE void deformed_wing_normals(const hinge_lanes& h, wing_normal_lanes& w) {
  LAMINA_LANE_LOOP
  for (int l = 0; l < W; ++l) {
    const double ex = h.Qb.x[l] - h.Qa.x[l], ey = h.Qb.y[l] - h.Qa.y[l], ez = h.Qb.z[l] - h.Qa.z[l];
    const double cx = h.Qc.x[l] - h.Qa.x[l], cy = h.Qc.y[l] - h.Qa.y[l], cz = h.Qc.z[l] - h.Qa.z[l];
    const double dx = h.Qd.x[l] - h.Qa.x[l], dy = h.Qd.y[l] - h.Qa.y[l], dz = h.Qd.z[l] - h.Qa.z[l];
    w.N1.x[l] = ey * cz - ez * cy;
    w.N1.y[l] = ez * cx - ex * cz;
    w.N1.z[l] = ex * cy - ey * cx;
    w.N2.x[l] = dy * ez - dz * ey;
    w.N2.y[l] = dz * ex - dx * ez;
    w.N2.z[l] = dx * ey - dy * ex;
    w.lN1[l] = std::sqrt((w.N1.x[l] * w.N1.x[l] + w.N1.y[l] * w.N1.y[l]) + w.N1.z[l] * w.N1.z[l]);
    w.lN2[l] = std::sqrt((w.N2.x[l] * w.N2.x[l] + w.N2.y[l] * w.N2.y[l]) + w.N2.z[l] * w.N2.z[l]);
    const double first = w.lN1[l] < kWingNormalFloor ? 0.0 : 1.0;
    w.evaluated[l] = w.lN2[l] < kWingNormalFloor ? 0.0 : first;
  }
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HINGE_H
