// Typed views of the C++ API's tables: vertices, faces and edges.
//
// The stateless kernels (lamina.h) take every table as a bare const double*,
// and a call that swaps two of them compiles and then reads out of bounds.
// lamina::shell and build_edge_table take these views instead: each names
// what it holds, carries its row count and memory order, and is built only
// explicitly, so that a swapped argument is a compile error.
//
//   std::vector<double> V;          // nV by 3, column-major (MATLAB, Eigen's default)
//   std::vector<std::int32_t> F;    // nF by 3, row-major (x, y, z of a face side by side)
//   lamina::shell s(lamina::vertices_view(V.data(), nV),
//                   lamina::faces_view(F.data(), nF, lamina::vertex_order::row_major), mu, eta);
//
// Nothing is copied when a view is made; the shell copies what it keeps.
// Counts are 64-bit so that a container's size converts without a cast; a
// negative count, a null pointer with rows, or more rows than 32-bit counts
// allow are refused (lamina::invalid_input) where the view is used.
#ifndef LAMINA_VIEWS_H
#define LAMINA_VIEWS_H

#include <cstdint>

namespace lamina {

// How the entries of a table lie in memory.
enum class vertex_order {
  column_major,  // all of column 0, then column 1, ... (MATLAB; NumPy order='F'; Eigen's default)
  row_major      // each row's entries side by side (C arrays; NumPy order='C')
};

// The same two layouts, for face and edge tables.
using table_order = vertex_order;

// nV by 3 doubles: one vertex per row.
struct vertices_view {
  explicit vertices_view(const double* d, std::int64_t n,
                         vertex_order o = vertex_order::column_major)
      : data(d), rows(n), order(o) {}
  // Writes the nV by 3 entries column-major into out (3 rows doubles).
  void copy_column_major(double* out) const {
    for (std::int64_t i = 0; i < rows; ++i) {
      for (int k = 0; k < 3; ++k) {
        out[i + k * rows] =
            order == vertex_order::column_major ? data[i + k * rows] : data[3 * i + k];
      }
    }
  }

  const double* data;
  std::int64_t rows;
  vertex_order order;
};

// The element type of an index table: doubles truncated toward zero, as the
// kernels read them, or integers.
enum class index_type { float64, int32, int64 };

// A table of 0-based vertex indices with `columns` columns.
template <int Columns>
class index_view {
 public:
  explicit index_view(const double* d, std::int64_t n, table_order o = table_order::column_major)
      : data_(d), rows_(n), order_(o), type_(index_type::float64) {}
  explicit index_view(const std::int32_t* d, std::int64_t n,
                      table_order o = table_order::column_major)
      : data_(d), rows_(n), order_(o), type_(index_type::int32) {}
  explicit index_view(const std::int64_t* d, std::int64_t n,
                      table_order o = table_order::column_major)
      : data_(d), rows_(n), order_(o), type_(index_type::int64) {}

  static constexpr int columns = Columns;
  const void* data() const { return data_; }
  std::int64_t rows() const { return rows_; }
  table_order order() const { return order_; }
  index_type type() const { return type_; }
  // Entry (row, column) as a double (an integer converts exactly below 2^53;
  // beyond, it is no vertex index anyway). Valid rows and columns only.
  double at(std::int64_t row, int column) const {
    const std::int64_t i =
        order_ == table_order::column_major ? row + column * rows_ : row * Columns + column;
    switch (type_) {
      case index_type::int32:
        return static_cast<double>(static_cast<const std::int32_t*>(data_)[i]);
      case index_type::int64:
        return static_cast<double>(static_cast<const std::int64_t*>(data_)[i]);
      default:
        return static_cast<const double*>(data_)[i];
    }
  }

  // Writes the table column-major as doubles into out (columns * rows()
  // entries), the form the kernels read.
  void copy_column_major(double* out) const {
    for (int k = 0; k < Columns; ++k) {
      for (std::int64_t j = 0; j < rows_; ++j) out[j + k * rows_] = at(j, k);
    }
  }

 private:
  const void* data_;
  std::int64_t rows_;
  table_order order_;
  index_type type_;
};

// nF by 3: the corners of each face.
using faces_view = index_view<3>;
// nE by 4: the rows (a, b, c, d) of an edge table (edge_table.h).
using edges_view = index_view<4>;

}  // namespace lamina

#endif  // LAMINA_VIEWS_H
