// Assembling element Hessian blocks into a compressed-column matrix.
//
// The Hessian is square, of side 3 nV, in one of two orders of rows and
// columns (hessian_layout): coordinate k of vertex i is index i + k nV
// (column-major, as MATLAB's gradient(:)) or 3 i + k (interleaved, as
// NumPy's G.ravel()). Its pattern comes from vertex_neighbours.h: the 3-by-3
// block (i, j) is stored for every i in N(j). Within a column the row
// indices are sorted and unique, as a compressed-column matrix must have
// them:
//
//   column-major: column j + l nV holds rows i + k nV for k = 0, 1, 2 and, within
//                 each k, i in N(j) ascending; it starts at l 3M + 3 first[j]
//   interleaved:  column 3 j + l holds rows 3 i + k for i in N(j) ascending and,
//                 within each i, k = 0, 1, 2; it starts at 9 first[j] + 3 l |N(j)|
//
// with M = first[nV] the total of all |N(j)|, so that there are 9 M entries.
#ifndef LAMINA_KERNELS_HESSIAN_SINK_H
#define LAMINA_KERNELS_HESSIAN_SINK_H

#include <lamina/hessian.h>

#include <cstddef>
#include <cstdint>

#include "assembly/pattern.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// Positions of entries in the compressed columns of a pattern.
struct csc_positions {
  const vertex_neighbours* n;
  hessian_layout layout;

  std::int64_t nnz() const { return 9 * n->total; }

  // Where column (j, l) starts.
  std::int64_t column_start(std::int32_t j, int l) const {
    const std::int64_t f = n->first[j];
    return layout == hessian_layout::column_major ? l * 3 * n->total + 3 * f
                                                  : 9 * f + 3 * l * (n->first[j + 1] - f);
  }
  // The offset of row (i, k) within column j, i being N(j)'s entry r.
  std::int64_t row_offset(std::int32_t j, std::int64_t r, int k) const {
    return layout == hessian_layout::column_major ? k * (n->first[j + 1] - n->first[j]) + r
                                                  : 3 * r + k;
  }
};

// Writes the pattern's column starts (3 nV + 1) and row indices (9 M).
template <class Index>
void write_pattern(const csc_positions& p, Index* column_start, Index* row_index) {
  const vertex_neighbours& n = *p.n;
  const std::int64_t nV = n.nV;
  for (std::int32_t j = 0; j < n.nV; ++j) {
    const std::int64_t nj = n.first[j + 1] - n.first[j];
    for (int l = 0; l < 3; ++l) {
      const std::int64_t column = p.layout == hessian_layout::column_major
                                      ? j + l * nV
                                      : 3 * static_cast<std::int64_t>(j) + l;
      const std::int64_t start = p.column_start(j, l);
      column_start[column] = static_cast<Index>(start);
      for (std::int64_t r = 0; r < nj; ++r) {
        const std::int64_t i = n.neighbour[n.first[j] + r];
        for (int k = 0; k < 3; ++k) {
          const std::int64_t row =
              p.layout == hessian_layout::column_major ? i + k * nV : 3 * i + k;
          row_index[start + p.row_offset(j, r, k)] = static_cast<Index>(row);
        }
      }
    }
  }
  column_start[3 * nV] = static_cast<Index>(p.nnz());
}

// Where each vertex pair of an element sits in a pattern. A table source
// finds it by bisection in N(j); a prepared shell looks it up in the ranks it
// stored for every element: M M per element, the rank of vertex a in N(b) at
// M b + a.
struct searched_ranks {
  template <int M>
  LAMINA_ALWAYS_INLINE std::int64_t rank(const vertex_neighbours& n, std::int64_t, int, int,
                                         std::int32_t j, std::int32_t i) const {
    return rank_in(n, j, i);
  }
};

template <int P>
struct stored_ranks {
  const std::int32_t* r;
  template <int M>
  LAMINA_ALWAYS_INLINE std::int64_t rank(const vertex_neighbours&, std::int64_t item, int b, int a,
                                         std::int32_t, std::int32_t) const {
    static_assert(M == P, "ranks stored for another element size");
    return r[item * M * M + b * M + a];
  }
};

// The caller's number of a vertex: the same (stateless calls), or mapped
// from a prepared shell's own numbering.
struct same_vertices {
  LAMINA_ALWAYS_INLINE std::int32_t operator()(std::int32_t v) const { return v; }
};

struct mapped_vertices {
  const std::int32_t* users;  // the caller's number of each of the shell's vertices
  LAMINA_ALWAYS_INLINE std::int32_t operator()(std::int32_t v) const { return users[v]; }
};

// Element blocks added into `values` at the pattern's positions, in element
// order, so that every entry sums its contributions in a fixed order: the
// Hessian's blocks, or the mixed blocks of the rest derivatives (which share
// the pattern: both couple exactly the vertices that share an element).
template <class Users>
struct block_sink {
  csc_positions positions;
  Users user;
  double* values;

  // Adds lane l of the block of element `item` over the M vertices v:
  // H[(3 a + k) 3M + 3 b + c] is the derivative with respect to coordinate k
  // of v[a] (the row) and coordinate c of v[b] (the column).
  template <int M, class Ranks>
  LAMINA_ALWAYS_INLINE void add_block(const Ranks& ranks, std::int64_t item,
                                      const std::int32_t v[M], const lane_doubles* H, int l) const {
    for (int b = 0; b < M; ++b) {
      const std::int32_t j = user(v[b]);
      for (int a = 0; a < M; ++a) {
        const std::int64_t r = ranks.template rank<M>(*positions.n, item, b, a, j, user(v[a]));
        add_pair<M>(j, r, H, a, b, l);
      }
    }
  }

  // The 3-by-3 entries of the pair (v[a], v[b]), vertex v[b] being j and
  // v[a] the rank-r vertex of N(j).
  template <int M>
  LAMINA_ALWAYS_INLINE void add_pair(std::int32_t j, std::int64_t r, const lane_doubles* H, int a,
                                     int b, int l) const {
    for (int c = 0; c < 3; ++c) {
      double* column = values + positions.column_start(j, c);
      for (int k = 0; k < 3; ++k) {
        double& entry = column[positions.row_offset(j, r, k)];
        entry = H[(3 * a + k) * 3 * M + 3 * b + c][l] + entry;
      }
    }
  }

  // The same with the nine values given (c major, k minor).
  LAMINA_ALWAYS_INLINE void add_pair(std::int32_t j, std::int64_t r, const double* value) const {
    for (int c = 0; c < 3; ++c) {
      double* column = values + positions.column_start(j, c);
      for (int k = 0; k < 3; ++k) {
        double& entry = column[positions.row_offset(j, r, k)];
        entry = value[3 * c + k] + entry;
      }
    }
  }
};

// The sink of the passes in mode::hessian: the gradient goes where Gradient
// puts it, each element's block, projected as `project` says, into blocks.
template <class Gradient, class Users>
struct hessian_sink : Gradient {
  block_sink<Users> blocks;
  projection project;

  hessian_sink(const Gradient& g, const csc_positions& p, const Users& u, projection pr, double* v)
      : Gradient(g), blocks{p, u, v}, project(pr) {}
};

// The sink of the rest modes: the gradient where Gradient puts it, dE/dP
// into rest, and in mode::mixed the mixed blocks into blocks.
template <class Gradient, class Users>
struct rest_sink : Gradient {
  Gradient rest;
  block_sink<Users> blocks;

  rest_sink(const Gradient& g, const Gradient& r, const block_sink<Users>& b)
      : Gradient(g), rest(r), blocks(b) {}
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_HESSIAN_SINK_H
