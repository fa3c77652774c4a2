// Building the edge table that the bending term and the mask read.
#ifndef LAMINA_EDGE_TABLE_H
#define LAMINA_EDGE_TABLE_H

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace lamina {

// The edge table of a triangle mesh: an nE-by-4 column-major matrix with one
// row (a, b, c, d) per undirected edge.
//
//   c  the vertex opposite the edge in the face in which it runs from a to b;
//   d  the vertex opposite it in the face in which it runs from b to a;
//   -1 where that face is missing (a boundary edge).
//
// `faces` is an nF-by-3 column-major face table of 0-based vertex indices
// (doubles, truncated toward zero as everywhere in lamina), each face listing
// its corners counter-clockwise, or all clockwise: neighbours must traverse
// their shared edge in opposite directions.
//
// Row order: the edges in the order in which they are first met when the
// faces are visited in table order and each face's edges in the order
// (i0, i1), (i1, i2), (i2, i0); a and b are oriented as in that first face,
// so c is always present and a boundary row reads (a, b, c, -1).
//
// Throws edge_table_error naming the face rows and the edge (0-based) when an
// index is negative, NaN or beyond 32 bits, a face repeats a vertex, an edge
// belongs to three or more faces, or two faces traverse an edge in the same
// direction (inconsistently oriented neighbours).
class edge_table_error : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct edge_table {
  std::int32_t nE = 0;
  std::vector<double> edges;  // nE-by-4, column-major
};

edge_table build_edge_table(const double* faces, std::int32_t nF);

}  // namespace lamina

#endif  // LAMINA_EDGE_TABLE_H
