// The row test shared by the bending term and the valid-edge mask: which edge
// rows are hinges, and whether their deformed wings have a normal. Keeping it
// in one place means the mask cannot drift from the rows the energy evaluates.
#ifndef LAMINA_KERNELS_HINGE_H
#define LAMINA_KERNELS_HINGE_H

#include <cstddef>
#include <cstdint>

#include "index.h"
#include "vec3.h"

namespace lamina {
namespace detail {

// A deformed wing normal shorter than this marks a degenerate triangle.
constexpr double kWingNormalFloor = 1e-10;

struct hinge {
  std::int32_t a, b, c, d;
  vec3 Qa, Qb, Qc, Qd;  // deformed positions
  vec3 N1, N2;          // deformed wing normals
  double lN1, lN2;      // and their lengths
};

// Reads the indices of row j. A c or d that truncates to a negative value
// (including NaN and out-of-range values) marks a missing wing: returns false
// having read only c and d.
inline bool read_hinge_indices(const double* edges, std::int32_t nE, std::int32_t j, hinge* h) {
  const std::ptrdiff_t s = nE;
  h->c = index_from_double(edges[j + 2 * s]);
  h->d = index_from_double(edges[j + 3 * s]);
  if ((h->c < h->d ? h->c : h->d) < 0) return false;
  h->a = index_from_double(edges[j]);
  h->b = index_from_double(edges[j + s]);
  return true;
}

// Forms the deformed wing normals N1 = e_d x (Q_c - Q_a) and
// N2 = (Q_d - Q_a) x e_d with e_d = Q_b - Q_a. Returns false as soon as one
// is shorter than the floor; the second is not formed if the first fails.
// The tests are strict, and a NaN length passes, so that NaN coordinates
// reach the energy instead of being silently dropped.
inline bool deformed_wings_valid(const double* deformed, std::int32_t nV, hinge* h) {
  h->Qa = load_row(deformed, h->a, nV);
  h->Qb = load_row(deformed, h->b, nV);
  h->Qc = load_row(deformed, h->c, nV);
  const vec3 e_d = h->Qb - h->Qa;
  h->N1 = cross(e_d, h->Qc - h->Qa);
  h->lN1 = length(h->N1);
  if (h->lN1 < kWingNormalFloor) return false;
  h->Qd = load_row(deformed, h->d, nV);
  h->N2 = cross(h->Qd - h->Qa, e_d);
  h->lN2 = length(h->N2);
  if (h->lN2 < kWingNormalFloor) return false;
  return true;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HINGE_H
