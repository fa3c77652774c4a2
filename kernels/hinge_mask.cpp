// Which edge rows carry a bending term at the given deformed positions.
#include "hinge.h"
#include "isa_paths.h"
#include <lamina/lamina.h>
#include "lanes.h"

namespace lamina {
namespace {

using detail::kLanes;

// The bending term's own row test (hinge.h) on the n hinges collected in h,
// evaluated in W lanes.
template <int W>
LAMINA_ALWAYS_INLINE void mask_block(const double* deformed, std::ptrdiff_t nV,
                                     detail::hinge_lanes& h, detail::wing_normal_lanes& w, int n,
                                     double* valid_edges) {
  detail::load_hinge_positions<W>(deformed, nV, h, h.Qa, h.Qb, h.Qc, h.Qd);
  detail::deformed_wing_normals<W>(h, w);
  for (int l = 0; l < n; ++l) {
    if (w.evaluated[l] != 0.0) valid_edges[h.row[l]] = 1.0;
  }
}

LAMINA_ALWAYS_INLINE void mask_pass(const double* edges, std::int32_t nE, const double* deformed,
                                    std::int32_t nV, double* valid_edges) {
  if (nE <= 0) return;
  for (std::int32_t i = 0; i < nE; ++i) valid_edges[i] = 0.0;
  detail::hinge_lanes h;
  detail::wing_normal_lanes w;
  std::int32_t j = 0;
  for (;;) {
    const std::int32_t start = j;
    if (detail::collect_hinges<kLanes>(edges, nE, &j, h) == kLanes) {
      mask_block<kLanes>(deformed, nV, h, w, kLanes, valid_edges);
      continue;
    }
    for (j = start; detail::collect_hinges<1>(edges, nE, &j, h) == 1;) {
      mask_block<1>(deformed, nV, h, w, 1, valid_edges);
    }
    return;
  }
}

void mask_baseline(const double* edges, std::int32_t nE, const double* deformed, std::int32_t nV,
                   double* valid_edges) {
  mask_pass(edges, nE, deformed, nV, valid_edges);
}

#if LAMINA_X86_DISPATCH
LAMINA_TARGET_AVX2 void mask_avx2(const double* edges, std::int32_t nE, const double* deformed,
                                  std::int32_t nV, double* valid_edges) {
  mask_pass(edges, nE, deformed, nV, valid_edges);
}

LAMINA_TARGET_AVX512 void mask_avx512(const double* edges, std::int32_t nE, const double* deformed,
                                      std::int32_t nV, double* valid_edges) {
  mask_pass(edges, nE, deformed, nV, valid_edges);
}
#endif

}  // namespace

namespace detail {

void flag_valid_edges(isa path, const double* edges, std::int32_t nE,
                      const double* /*source_vertices*/, const double* deformed_v, std::int32_t nV,
                      double* valid_edges) {
#if LAMINA_X86_DISPATCH
  if (path == isa::avx512) return mask_avx512(edges, nE, deformed_v, nV, valid_edges);
  if (path == isa::avx2) return mask_avx2(edges, nE, deformed_v, nV, valid_edges);
#endif
  (void)path;
  mask_baseline(edges, nE, deformed_v, nV, valid_edges);
}

}  // namespace detail

void flag_valid_edges(const double* edges, std::int32_t nE, const double* source_vertices,
                      const double* deformed_v, std::int32_t nV, double* valid_edges) {
  detail::flag_valid_edges(widest_supported_isa(), edges, nE, source_vertices, deformed_v, nV,
                           valid_edges);
}

}  // namespace lamina
