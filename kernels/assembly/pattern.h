// Which vertices share an element with which: the sparsity pattern of the
// Hessian, from the connectivity alone.
//
// The energy couples two vertices when they belong to one face or to one
// hinge row (an edge row whose c and d are both present). N(j), the
// neighbours of vertex j, are those vertices, j itself included whenever j
// belongs to any element; a vertex that belongs to none has no neighbours,
// and its rows and columns of the Hessian stay empty. The pattern ignores
// the deformation: a hinge that the bending term skips at some positions
// still has its entries, which then hold zeros, so that one pattern serves
// every evaluation of a mesh.
//
// The builder takes its scratch from an allocator, so that a MEX gateway can
// pass its host's allocator (whose memory the host reclaims if the call ends
// in an error) and C++ callers the C library's.
#ifndef LAMINA_KERNELS_VERTEX_NEIGHBOURS_H
#define LAMINA_KERNELS_VERTEX_NEIGHBOURS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "simd/index.h"

namespace lamina {
namespace detail {

// N(j) of every vertex j, sorted, as neighbour[first[j] ... first[j+1]-1].
// first has nV + 1 entries; total = first[nV].
struct vertex_neighbours {
  std::int32_t nV = 0;
  std::int64_t total = 0;
  std::int64_t* first = nullptr;
  std::int32_t* neighbour = nullptr;
};

// The position of vertex i in N(j), found by bisection; N(j) must hold i.
inline std::int64_t rank_in(const vertex_neighbours& n, std::int32_t j, std::int32_t i) {
  std::int64_t lo = n.first[j], hi = n.first[j + 1];
  while (hi - lo > 1) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (n.neighbour[mid] <= i) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo - n.first[j];
}

// The elements of a face table and an edge table, vertex by vertex.
struct element_table {
  const double* faces;
  std::int32_t nF;
  const double* edges;
  std::int32_t nE;

  // The vertices of face f (3) or of hinge row e (4: a, b, c, d); returns
  // how many, 0 for an edge row that is not a hinge.
  int face(std::int32_t f, std::int32_t v[4]) const {
    const std::ptrdiff_t s = nF;
    for (int k = 0; k < 3; ++k) v[k] = index_from_double(faces[f + k * s]);
    return 3;
  }
  int hinge(std::int32_t e, std::int32_t v[4]) const {
    const std::ptrdiff_t s = nE;
    const std::int32_t c = index_from_double(edges[e + 2 * s]);
    const std::int32_t d = index_from_double(edges[e + 3 * s]);
    if ((c < d ? c : d) < 0) return 0;
    v[0] = index_from_double(edges[e]);
    v[1] = index_from_double(edges[e + s]);
    v[2] = c;
    v[3] = d;
    return 4;
  }
  // Element x: faces first (0 ... nF-1), then edge rows.
  std::int64_t count() const { return static_cast<std::int64_t>(nF) + nE; }
  int vertices(std::int64_t x, std::int32_t v[4]) const {
    return x < nF ? face(static_cast<std::int32_t>(x), v)
                  : hinge(static_cast<std::int32_t>(x - nF), v);
  }
};

// Builds N(j) for the nV vertices of a checked mesh (every index of a face
// and of a hinge row a vertex row). Allocator offers
//   void* allocate(std::size_t bytes)   (null on failure)
//   void release(void* p)
// The result's arrays come from it (release them with it); the scratch is
// released before returning. Returns false, with nothing left allocated,
// when an allocation fails.
template <class Allocator>
bool build_vertex_neighbours(const element_table& t, std::int32_t nV, Allocator& alloc,
                             vertex_neighbours* out) {
  // No destructors here: the MEX gateways use this, and they are built
  // without the C++ runtime that unwinding through destructors needs. Every
  // path releases what it took by hand.
  const std::size_t n = nV > 0 ? static_cast<std::size_t>(nV) : 0;
  // Incidence: the elements of each vertex, element[start[j] ... end[j]-1];
  // mark[i] == j once vertex i is taken as a neighbour of j.
  auto* start = static_cast<std::int64_t*>(alloc.allocate((n + 1) * sizeof(std::int64_t)));
  auto* end = static_cast<std::int64_t*>(alloc.allocate((n + 1) * sizeof(std::int64_t)));
  auto* count = static_cast<std::int64_t*>(alloc.allocate((n + 1) * sizeof(std::int64_t)));
  auto* mark = static_cast<std::int32_t*>(alloc.allocate(n * sizeof(std::int32_t) + 1));
  std::int64_t* element = nullptr;
  std::int32_t* neighbour = nullptr;
  const auto release_all = [&](bool keep_result) {
    for (void* p : {static_cast<void*>(start), static_cast<void*>(end), static_cast<void*>(mark),
                    static_cast<void*>(element)}) {
      if (p != nullptr) alloc.release(p);
    }
    if (!keep_result) {
      if (count != nullptr) alloc.release(count);
      if (neighbour != nullptr) alloc.release(neighbour);
    }
  };
  if (start == nullptr || end == nullptr || count == nullptr || mark == nullptr) {
    release_all(false);
    return false;
  }
  for (std::size_t j = 0; j <= n; ++j) start[j] = 0;
  std::int32_t v[4];
  for (std::int64_t x = 0; x < t.count(); ++x) {
    const int m = t.vertices(x, v);
    for (int k = 0; k < m; ++k) ++start[v[k] + 1];
  }
  for (std::size_t j = 0; j < n; ++j) start[j + 1] += start[j];
  element = static_cast<std::int64_t*>(
      alloc.allocate(static_cast<std::size_t>(start[n]) * sizeof(std::int64_t) + 1));
  if (element == nullptr) {
    release_all(false);
    return false;
  }
  for (std::size_t j = 0; j < n; ++j) end[j] = start[j];
  for (std::int64_t x = 0; x < t.count(); ++x) {
    const int m = t.vertices(x, v);
    for (int k = 0; k < m; ++k) {
      // A vertex named twice in one element lists the element once.
      bool seen = false;
      for (int q = 0; q < k; ++q) seen = seen || v[q] == v[k];
      if (!seen) element[end[v[k]]++] = x;
    }
  }

  // The neighbours of each vertex, counted, then written and sorted: each
  // vertex of each incident element once.
  const auto visit = [&](std::int32_t j, auto&& take) {
    for (std::int64_t y = start[j]; y < end[j]; ++y) {
      const int m = t.vertices(element[y], v);
      for (int k = 0; k < m; ++k) {
        if (mark[v[k]] != j) {
          mark[v[k]] = j;
          take(v[k]);
        }
      }
    }
  };
  for (std::size_t j = 0; j < n; ++j) mark[j] = -1;
  std::int64_t total = 0;
  for (std::int32_t j = 0; j < nV; ++j) {
    count[j] = total;
    visit(j, [&](std::int32_t) { ++total; });
  }
  count[n] = total;
  neighbour = static_cast<std::int32_t*>(
      alloc.allocate(static_cast<std::size_t>(total) * sizeof(std::int32_t) + 1));
  if (neighbour == nullptr) {
    release_all(false);
    return false;
  }
  for (std::size_t j = 0; j < n; ++j) mark[j] = -1;
  for (std::int32_t j = 0; j < nV; ++j) {
    std::int64_t w = count[j];
    visit(j, [&](std::int32_t i) { neighbour[w++] = i; });
    std::sort(neighbour + count[j], neighbour + w);
  }
  release_all(true);
  out->nV = nV;
  out->total = total;
  out->first = count;
  out->neighbour = neighbour;
  return true;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_VERTEX_NEIGHBOURS_H
