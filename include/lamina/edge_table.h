// Building the edge table that the bending term and the mask read.
#ifndef LAMINA_EDGE_TABLE_H
#define LAMINA_EDGE_TABLE_H

#include <lamina/views.h>

#include <cstdint>
#include <stdexcept>
#include <string>
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
// Throws edge_table_error when the faces do not make an oriented manifold
// mesh. Its identifier() names the category and its message the offending
// face (0-based row) and edge:
//   lamina:badIndex     an index whose truncation toward zero is negative
//                       (-1 or below) or does not fit 32 bits, or NaN
//   lamina:degenerate   a face repeats a vertex
//   lamina:orientation  a face runs along an edge in the direction in which
//                       an earlier face already does (inconsistently
//                       oriented neighbours)
//   lamina:nonManifold  a face is the third (or later) on an edge
// Which error, when there are several: the faces are taken one by one in
// table order, as if the mesh were built face by face, and the first face
// that cannot be added is reported, with the first of its faults in this
// order: an index that is not a vertex index (corners in order), a repeated
// vertex, then its edges (i0, i1), (i1, i2), (i2, i0) in turn, each checked
// against the earlier faces only. lamina_edge_table.m applies the same rule,
// so both report the same category, face and edge.
class edge_table_error : public std::invalid_argument {
 public:
  edge_table_error(const char* identifier, const std::string& message)
      : std::invalid_argument(message), identifier_(identifier) {}
  // "lamina:badIndex", "lamina:degenerate", "lamina:orientation" or
  // "lamina:nonManifold", as lamina_edge_table.m raises them.
  const char* identifier() const noexcept { return identifier_; }

 private:
  const char* identifier_;
};

struct edge_table {
  std::int32_t nE = 0;
  std::vector<double> edges;  // nE-by-4, column-major
};

// A negative nF, or null faces with nF > 0, is refused with invalid_input
// (checks.h; lamina:badSize, lamina:badType), as nonsense rather than an
// empty mesh.
edge_table build_edge_table(const double* faces, std::int32_t nF);

// The same for a typed view (views.h): double, int32 or int64 indices in
// either memory order, e.g. build_edge_table(faces_view(F.data(), nF)); a
// view beyond 32-bit counts is lamina:tooLarge. (A view rather than more
// pointer overloads, so that build_edge_table(nullptr, 0) still compiles.)
edge_table build_edge_table(const faces_view& faces);

}  // namespace lamina

#endif  // LAMINA_EDGE_TABLE_H
