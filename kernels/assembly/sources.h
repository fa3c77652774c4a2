// Where a pass's elements come from (pass.h): a term's column-major table,
// with the rest side computed from the rest positions on every call, or a
// prepared shell's copy, whose connectivity and rest side were stored once.
// Both hand the model the same values, so the pass returns the same bits.
//
// A source offers
//   positions()                       how many positions there are to collect
//                                     from (table rows, or elements)
//   collect<W>(&j, end, lanes)        up to W elements from position j on,
//                                     before position end
//   load<Isa, W, Mode>(deformed, k, lanes, rest, P)
//                                     their deformed positions and rest side,
//                                     and their rest positions P where Mode
//                                     forms rest derivatives
//   ranks()                           where their vertex pairs sit in the
//                                     Hessian's pattern (hessian_sink.h)
#ifndef LAMINA_KERNELS_ASSEMBLY_SOURCES_H
#define LAMINA_KERNELS_ASSEMBLY_SOURCES_H

#include <cstddef>
#include <cstdint>

#include "assembly/element.h"
#include "assembly/hessian_sink.h"
#include "assembly/layouts.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

template <class Model>
struct table_source {
  using element = typename Model::element;
  static constexpr int M = element::vertices;

  const double* table;
  std::int32_t rows;
  column_major_vertices rest;

  std::int32_t positions() const { return rows; }

  template <int W>
  LAMINA_ALWAYS_INLINE int collect(std::int32_t* j, std::int32_t end,
                                   typename element::lanes& e) const {
    return element::template collect<W>(table, rows, j, end, e);
  }

  template <class Isa, int W, mode Mode, class Vertices>
  LAMINA_ALWAYS_INLINE void load(const Vertices& deformed, const typename Model::coefficients& k,
                                 typename element::lanes& e, typename Model::rest_type& r,
                                 lane_vec3 (&P)[M]) const {
    gather_positions<W>(rest, P, deformed, e);
    Model::template rest<Isa, W, Mode>(P, k, r);
  }

  searched_ranks ranks() const { return {}; }
};

// A prepared term: count elements; element x has the vertices vertex[k][x]
// (in the shell's own numbering), the table row row[x] (null: x itself),
// the rest quantities rest[q][x], and Hessian ranks at ranks[M M x]; the
// rest positions, packed per vertex in the shell's numbering, are read only
// for the rest derivatives.
template <class Model>
struct prepared_source {
  using element = typename Model::element;
  static constexpr int M = element::vertices;

  std::int32_t count;
  const std::int32_t* row;
  const std::int32_t* vertex[M];
  const double* rest[Model::kRest];
  const std::int32_t* rank;
  const double* rest_positions;

  std::int32_t positions() const { return count; }

  template <int W>
  LAMINA_ALWAYS_INLINE int collect(std::int32_t* j, std::int32_t end,
                                   typename element::lanes& e) const {
    const int n = end - *j < W ? end - *j : W;
    if (n <= 0) return 0;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      const std::int32_t x = *j + (l < n ? l : 0);
      e.item[l] = x;
      e.row[l] = row != nullptr ? row[x] : x;
      for (int k = 0; k < M; ++k) e.v[k][l] = vertex[k][x];
    }
    *j += n;
    return n;
  }

  template <class Isa, int W, mode Mode, class Vertices>
  LAMINA_ALWAYS_INLINE void load(const Vertices& deformed, const typename Model::coefficients&,
                                 typename element::lanes& e, typename Model::rest_type& r,
                                 lane_vec3 (&P)[M]) const {
    if constexpr (rest_derivatives_of(Mode)) {
      gather_positions<W>(interleaved_vertices{rest_positions}, P, deformed, e);
    } else {
      gather_positions<W>(deformed, e);
    }
    constexpr int K = Mode == mode::energy ? Model::kEnergyRest : Model::kRest;
    LAMINA_LANE_LOOP
    for (int l = 0; l < W; ++l) {
      for (int q = 0; q < K; ++q) r.q[q][l] = rest[q][e.item[l]];
    }
  }

  stored_ranks<M> ranks() const { return {rank}; }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_SOURCES_H
