// lamina with Eigen: meshes as Eigen matrices, gradients into Eigen
// matrices, the Hessian as an Eigen sparse matrix. Header-only; include it
// where Eigen 3.3 or newer is on the include path (lamina itself does not
// need Eigen). Every result is bit for bit that of the plain calls.
//
//   Eigen::MatrixX3d V;  Eigen::MatrixX3i F;                // as libigl holds a mesh
//   lamina::shell s = lamina::eigen::make_shell(V, F, mu, eta);
//   Eigen::MatrixX3d G;
//   double E = lamina::eigen::energy_and_gradient(s, Q, G);
//   Eigen::VectorXd h;                                      // the Hessian's values
//   lamina::eigen::energy_gradient_hessian(s, Q, lamina::projection::clamp, G, h);
//   auto H = lamina::eigen::hessian(s, h);                  // a Map over the shell's pattern
//
// The Hessian's rows and columns follow the shell's layout (shell_options):
// coordinate k of vertex i is row i + k nV (column_major, G's own column-
// major storage: G.reshaped()) or 3 i + k (interleaved). hessian() maps the
// shell's cached compressed-column pattern and the values without copying
// them (64-bit indices); hessian_matrix() and free_block() build an
// Eigen::SparseMatrix<double> for solvers that take one (SimplicialLDLT,
// ConjugateGradient, CHOLMOD's Eigen wrappers).
#ifndef LAMINA_EIGEN_H
#define LAMINA_EIGEN_H

#include <lamina/checks.h>
#include <lamina/edge_table.h>
#include <lamina/shell.h>
#include <lamina/views.h>

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace lamina {
namespace eigen {

// The Hessian over the shell's own pattern: no copy of either.
using hessian_map = Eigen::Map<const Eigen::SparseMatrix<double, Eigen::ColMajor, std::int64_t>>;
// Which coordinates are held fixed: nV by 3, true where fixed.
using fixed_mask = Eigen::Array<bool, Eigen::Dynamic, 3>;

namespace detail {

inline vertex_order order_of(bool row_major) {
  return row_major ? vertex_order::row_major : vertex_order::column_major;
}

inline void expect_columns(input which, Eigen::Index rows, Eigen::Index cols, Eigen::Index want) {
  if (cols != want && rows > 0) {
    const std::size_t shape[2] = {static_cast<std::size_t>(rows), static_cast<std::size_t>(cols)};
    throw invalid_input(not_a_table(which, shape, 2, message_style::cpp));
  }
}

template <class Scalar>
constexpr bool is_index_scalar() {
  return std::is_same<Scalar, double>::value || std::is_same<Scalar, std::int32_t>::value ||
         std::is_same<Scalar, std::int64_t>::value;
}

}  // namespace detail

// Views of dense Eigen matrices (Matrix, Array: contiguous storage, either
// order); no copy. The column count is checked (lamina:badSize).
template <class Derived>
vertices_view view_vertices(const Eigen::PlainObjectBase<Derived>& V,
                            input which = input::source_vertices) {
  static_assert(std::is_same<typename Derived::Scalar, double>::value, "vertices hold doubles");
  detail::expect_columns(which, V.rows(), V.cols(), 3);
  return vertices_view(V.data(), V.rows(), detail::order_of(Derived::IsRowMajor));
}

template <class Derived>
faces_view view_faces(const Eigen::PlainObjectBase<Derived>& F) {
  static_assert(detail::is_index_scalar<typename Derived::Scalar>(),
                "face indices are double, int32 or int64");
  detail::expect_columns(input::source_faces, F.rows(), F.cols(), 3);
  return faces_view(F.data(), F.rows(), detail::order_of(Derived::IsRowMajor));
}

template <class Derived>
edges_view view_edges(const Eigen::PlainObjectBase<Derived>& E) {
  static_assert(detail::is_index_scalar<typename Derived::Scalar>(),
                "edge indices are double, int32 or int64");
  detail::expect_columns(input::edges, E.rows(), E.cols(), 4);
  return edges_view(E.data(), E.rows(), detail::order_of(Derived::IsRowMajor));
}

// A shell from rest vertices and faces (the edge table is built), or with a
// given edge table (checked against the faces).
template <class DV, class DF>
shell make_shell(const Eigen::PlainObjectBase<DV>& V, const Eigen::PlainObjectBase<DF>& F,
                 double mu, double eta, shell_options opt = shell_options()) {
  return shell(view_vertices(V), view_faces(F), mu, eta, opt);
}

template <class DV, class DF, class DE>
shell make_shell(const Eigen::PlainObjectBase<DV>& V, const Eigen::PlainObjectBase<DF>& F,
                 const Eigen::PlainObjectBase<DE>& E, double mu, double eta,
                 shell_options opt = shell_options()) {
  return shell(view_vertices(V), view_faces(F), view_edges(E), mu, eta, opt);
}

// The edge table of the faces (build_edge_table), nE by 4, int.
template <class DF>
Eigen::Matrix<int, Eigen::Dynamic, 4> edge_table_of(const Eigen::PlainObjectBase<DF>& F) {
  const edge_table t = build_edge_table(view_faces(F));
  Eigen::Matrix<int, Eigen::Dynamic, 4> E(t.nE, 4);
  // The builder's entries are integers in int32 (a missing wing is -1).
  for (Eigen::Index j = 0; j < E.size(); ++j) E.data()[j] = static_cast<int>(t.edges[j]);
  return E;
}

// The energy at the deformed positions Q (nV by 3).
template <class DQ>
double energy(shell& s, const Eigen::PlainObjectBase<DQ>& Q) {
  return s.energy(view_vertices(Q, input::deformed_v));
}

// The energy, and its gradient into G (resized to nV by 3).
template <class DQ>
double energy_and_gradient(shell& s, const Eigen::PlainObjectBase<DQ>& Q, Eigen::MatrixX3d& G) {
  const vertices_view q = view_vertices(Q, input::deformed_v);
  G.resize(s.vertex_count(), 3);
  if (q.order == vertex_order::column_major) return s.energy_and_gradient(q, G.data());
  // Row-major positions: the gradient comes back row-major, G is not.
  Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::RowMajor> g(s.vertex_count(), 3);
  const double E = s.energy_and_gradient(q, g.data());
  G = g;
  return E;
}

// The energy, the gradient into G (nV by 3) and the Hessian's values into
// `values` (resized to the pattern's nnz), for hessian(), hessian_matrix()
// and free_block().
template <class DQ>
double energy_gradient_hessian(shell& s, const Eigen::PlainObjectBase<DQ>& Q, projection project,
                               Eigen::MatrixX3d& G, Eigen::VectorXd& values) {
  const vertices_view q = view_vertices(Q, input::deformed_v);
  G.resize(s.vertex_count(), 3);
  values.resize(static_cast<Eigen::Index>(s.hessian_row_index().size()));
  if (q.order == vertex_order::column_major) {
    return s.energy_gradient_hessian(q, project, G.data(), values.data());
  }
  // Row-major positions: the gradient comes back row-major, G is not.
  Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::RowMajor> g(s.vertex_count(), 3);
  const double E = s.energy_gradient_hessian(q, project, g.data(), values.data());
  G = g;
  return E;
}

// The Hessian as a sparse matrix over the shell's cached pattern and
// `values`: nothing is copied, and the map is valid while both live.
inline hessian_map hessian(const shell& s, const Eigen::VectorXd& values) {
  const std::int64_t n = 3 * static_cast<std::int64_t>(s.vertex_count());
  if (values.size() != static_cast<Eigen::Index>(s.hessian_row_index().size())) {
    throw std::invalid_argument("lamina::eigen::hessian: values do not match the shell's pattern");
  }
  return hessian_map(n, n, values.size(), s.hessian_col_start().data(),
                     s.hessian_row_index().data(), values.data());
}

// The Hessian as an Eigen::SparseMatrix<double> (a copy, 32-bit indices).
inline Eigen::SparseMatrix<double> hessian_matrix(const shell& s, const Eigen::VectorXd& values) {
  return Eigen::SparseMatrix<double>(hessian(s, values));
}

// The row of the Hessian (and the entry of G in the shell's layout) of
// coordinate k of vertex i.
inline std::int64_t coordinate_index(const shell& s, std::int64_t i, int k) {
  return s.layout() == hessian_layout::interleaved ? 3 * i + k : i + k * s.vertex_count();
}

// The Hessian's rows of the free coordinates (fixed false), in increasing
// order: the order of free_block's rows and of free_part's entries.
inline std::vector<std::int64_t> free_indices(const shell& s, const fixed_mask& fixed) {
  const std::int64_t nV = s.vertex_count();
  if (fixed.rows() != nV) {
    throw std::invalid_argument("lamina::eigen: the fixed mask needs one row per vertex");
  }
  std::vector<char> is_free(3 * static_cast<std::size_t>(nV), 0);
  for (std::int64_t i = 0; i < nV; ++i) {
    for (int k = 0; k < 3; ++k) is_free[coordinate_index(s, i, k)] = !fixed(i, k);
  }
  std::vector<std::int64_t> index;
  for (std::size_t r = 0; r < is_free.size(); ++r) {
    if (is_free[r]) index.push_back(static_cast<std::int64_t>(r));
  }
  return index;
}

// H[free][:, free]: the block of the free coordinates, as one sparse matrix
// (its entries are the Hessian's, copied in column order).
inline Eigen::SparseMatrix<double> free_block(const shell& s, const Eigen::VectorXd& values,
                                              const fixed_mask& fixed) {
  const hessian_map H = hessian(s, values);
  const std::vector<std::int64_t> index = free_indices(s, fixed);
  std::vector<std::int64_t> renumber(static_cast<std::size_t>(H.rows()), -1);
  for (std::size_t r = 0; r < index.size(); ++r) renumber[index[r]] = static_cast<std::int64_t>(r);
  const Eigen::Index n = static_cast<Eigen::Index>(index.size());
  std::int64_t nnz = 0;
  for (const std::int64_t c : index) {
    for (hessian_map::InnerIterator it(H, c); it; ++it) nnz += renumber[it.row()] >= 0;
  }
  Eigen::SparseMatrix<double> B(n, n);
  B.reserve(static_cast<Eigen::Index>(nnz));
  for (Eigen::Index c = 0; c < n; ++c) {
    B.startVec(c);
    for (hessian_map::InnerIterator it(H, index[c]); it; ++it) {
      const std::int64_t r = renumber[it.row()];
      if (r >= 0) B.insertBack(static_cast<Eigen::Index>(r), c) = it.value();
    }
  }
  B.finalize();
  return B;
}

// The entries of G (nV by 3) at the free coordinates, in free_indices' order.
inline Eigen::VectorXd free_part(const shell& s, const Eigen::MatrixX3d& G,
                                 const fixed_mask& fixed) {
  const std::vector<std::int64_t> index = free_indices(s, fixed);
  const std::int64_t nV = s.vertex_count();
  Eigen::VectorXd x(static_cast<Eigen::Index>(index.size()));
  for (std::size_t r = 0; r < index.size(); ++r) {
    const std::int64_t i = s.layout() == hessian_layout::interleaved ? index[r] / 3 : index[r] % nV;
    const int k =
        static_cast<int>(s.layout() == hessian_layout::interleaved ? index[r] % 3 : index[r] / nV);
    x[static_cast<Eigen::Index>(r)] = G(i, k);
  }
  return x;
}

// The inverse of free_part: an nV by 3 matrix holding x at the free
// coordinates and 0 at the fixed ones (a step of the free coordinates).
inline Eigen::MatrixX3d from_free_part(const shell& s, const Eigen::VectorXd& x,
                                       const fixed_mask& fixed) {
  const std::vector<std::int64_t> index = free_indices(s, fixed);
  const std::int64_t nV = s.vertex_count();
  Eigen::MatrixX3d D = Eigen::MatrixX3d::Zero(nV, 3);
  for (std::size_t r = 0; r < index.size(); ++r) {
    const std::int64_t i = s.layout() == hessian_layout::interleaved ? index[r] / 3 : index[r] % nV;
    const int k =
        static_cast<int>(s.layout() == hessian_layout::interleaved ? index[r] % 3 : index[r] / nV);
    D(i, k) = x[static_cast<Eigen::Index>(r)];
  }
  return D;
}

}  // namespace eigen
}  // namespace lamina

#endif  // LAMINA_EIGEN_H
