// Which edge rows carry a bending term at the given deformed positions.
#include "hinge.h"
#include "lamina.h"

namespace lamina {

void flag_valid_edges(const double* edges, std::int32_t nE, const double* /*source_vertices*/,
                      const double* deformed_v, std::int32_t nV, double* valid_edges) {
  if (nE <= 0) return;
  for (std::int32_t i = 0; i < nE; ++i) valid_edges[i] = 0.0;
  detail::hinge h;
  for (std::int32_t i = 0; i < nE; ++i) {
    // The same tests, in the same order, as the bending term's skip tests.
    if (detail::read_hinge_indices(edges, nE, i, &h) &&
        detail::deformed_wings_valid(deformed_v, nV, &h)) {
      valid_edges[i] = 1.0;
    }
  }
}

}  // namespace lamina
