// Which edge rows carry a bending term at the given deformed positions: the
// bending term's own row test (hinge.h), on the widest instruction set the
// processor has.
#include <lamina/lamina.h>

#include <cstddef>

#include "assembly/layouts.h"
#include "isa_paths.h"
#include "simd/isa.h"
#include "terms/bending/hinge.h"

namespace lamina {
namespace {

using detail::hinge_element;

// The n hinges collected in h, tested in W lanes.
template <class Isa, int W>
LAMINA_ALWAYS_INLINE void mask_block(const detail::column_major_vertices& deformed,
                                     hinge_element::lanes& h, hinge_element::geometry& w, int n,
                                     double* valid_edges) {
  detail::gather_positions<W>(deformed, h);
  hinge_element::deformed<Isa, W>(h, w);
  for (int l = 0; l < n; ++l) {
    if (hinge_element::evaluated(w, l)) valid_edges[h.row[l]] = 1.0;
  }
}

struct mask_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(const double* edges, std::int32_t nE, const double* deformed,
                                       std::int32_t nV, double* valid_edges) {
    if (nE <= 0) return;
    for (std::int32_t i = 0; i < nE; ++i) valid_edges[i] = 0.0;
    const detail::column_major_vertices q{deformed, nV};
    hinge_element::lanes h;
    hinge_element::geometry w;
    std::int32_t j = 0;
    for (;;) {
      const std::int32_t start = j;
      if (hinge_element::collect<detail::kLanes>(edges, nE, &j, nE, h) == detail::kLanes) {
        mask_block<Isa, detail::kLanes>(q, h, w, detail::kLanes, valid_edges);
        continue;
      }
      for (j = start; hinge_element::collect<1>(edges, nE, &j, nE, h) == 1;) {
        mask_block<Isa, 1>(q, h, w, 1, valid_edges);
      }
      return;
    }
  }
};

}  // namespace

namespace detail {

void flag_valid_edges(isa path, const double* edges, std::int32_t nE,
                      const double* /*source_vertices*/, const double* deformed_v, std::int32_t nV,
                      double* valid_edges) {
  dispatch<mask_kernel>(path, edges, nE, deformed_v, nV, valid_edges);
}

}  // namespace detail

void flag_valid_edges(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges) {
  detail::flag_valid_edges(preferred_isa(), edges, nE, source_vertices, deformed_v, nV,
                           valid_edges);
}

}  // namespace lamina
