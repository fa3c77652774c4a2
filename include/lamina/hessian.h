// Second derivatives of the shell energy: per-element Hessian blocks, their
// projection onto the positive semi-definite cone, and their assembly into a
// compressed-column sparse matrix, for Newton-type solvers.
//
// The blocks are the exact second derivatives of the energy as lamina.h
// evaluates it:
//   - a face's 9-by-9 block, in both branches of the log term (log det C,
//     and below det C = 1e-20 its tangent line, whose second derivative in
//     det C is 0). Where the face's deformed normal is too short to normalise
//     (|N|^2 <= 1e-30, a sliver of area below about 5e-16) the gradient
//     leaves out the area part; the Hessian block there is still the exact
//     second derivative of the energy, which is smooth in the squared area;
//   - a hinge's 12-by-12 block, for every hinge the bending term evaluates;
//     a hinge row it skips (a missing wing, a deformed wing normal shorter
//     than 1e-10) has no block.
//
// Projection (projection::clamp or ::abs) replaces each block H by
// V max(L, 0) V^T or V |L| V^T for its eigen-decomposition H = V L V^T, so
// that the assembled matrix is positive semi-definite, as projected Newton
// methods need. Every block annihilates the uniform translations of its
// vertices; the eigen-decomposition runs on the complement of those, with a
// cyclic Jacobi method of lamina's own, so that the result is the same to the
// last bit on every machine, instruction set and thread count.
//
// Assembly: the sum of all blocks, faces first in table order, then hinges in
// table order, each entry accumulating its contributions in that fixed order;
// the result is exactly symmetric. The sparsity pattern depends only on the
// faces and the edge table (every pair of vertices that share a face or a
// hinge row has its 3-by-3 block stored, zeros included where a hinge is
// skipped at the given positions), so every evaluation of one mesh yields the
// same pattern. Vertices that no element touches have empty rows and columns.
#ifndef LAMINA_HESSIAN_H
#define LAMINA_HESSIAN_H

#include <lamina/bending.h>

#include <cstdint>
#include <vector>

namespace lamina {
namespace detail {
struct pattern_access;
}

// What happens to each element block before assembly.
enum class projection {
  none,   // the exact second derivative
  clamp,  // negative eigenvalues set to 0
  abs     // eigenvalues replaced by their absolute values
};

// The order of the Hessian's rows and columns.
enum class hessian_layout {
  column_major,  // coordinate k of vertex i is index i + k nV (MATLAB's gradient(:))
  interleaved    // coordinate k of vertex i is index 3 i + k (NumPy's G.ravel())
};

// The sparsity pattern of the Hessian of one mesh, in one layout: built from
// the faces and the hinge rows of the edge table alone, so that it serves
// every evaluation of the mesh. The indices must be valid (see checks.h).
class hessian_pattern {
 public:
  // Inputs:
  //   source_faces  nF by 3  corner indices of each face
  //   nF            number of faces
  //   edges         nE by 4  edge table (only rows with both wings count)
  //   nE            number of edge rows
  //   nV            number of vertices
  //   layout        order of the Hessian's rows and columns
  // Throws std::bad_alloc when memory runs out.
  hessian_pattern(const double* source_faces, std::int32_t nF, const double* edges, std::int32_t nE,
                  std::int32_t nV, hessian_layout layout);

  std::int32_t vertex_count() const { return nV_; }
  hessian_layout layout() const { return layout_; }
  // The side of the square matrix, 3 nV, and its number of stored entries.
  std::int64_t size() const { return 3 * static_cast<std::int64_t>(nV_); }
  std::int64_t nnz() const { return 9 * (first_.empty() ? 0 : first_.back()); }

  // Writes the compressed columns: col_start (size() + 1 entries) and
  // row_index (nnz() entries, sorted and unique within each column).
  void write(std::int64_t* col_start, std::int64_t* row_index) const;
  void write(std::int32_t* col_start, std::int32_t* row_index) const;  // needs nnz() < 2^31

 private:
  friend struct detail::pattern_access;
  std::int32_t nV_;
  hessian_layout layout_;
  std::vector<std::int64_t> first_;      // nV + 1: N(j) is neighbour_[first_[j] ...]
  std::vector<std::int32_t> neighbour_;  // the vertices sharing an element with j, sorted
};

// The total energy, its gradient and its Hessian's values.
//
// Inputs (as shell_energy_and_gradient in lamina.h; the indices must be valid,
// see checks.h):
//   deformed_v       nV by 3  deformed vertex positions
//   nV               number of vertices
//   mu, eta          membrane and bending stiffness
//   source_vertices  nV by 3  rest vertex positions
//   source_faces     nF by 3  corner indices of each face
//   nF               number of faces
//   edges            nE by 4  edge table
//   nE               number of edge rows
//   project          projection of each element block
//   pattern          the pattern of these faces and edges, for nV vertices
//   bending          the bending model (bending.h)
//   threads          0 for all cores (one on meshes of fewer than 16384 faces
//                    and edge rows), n >= 1 for at most n; every count gives
//                    the same bits; a negative count throws
//                    std::invalid_argument
// Outputs:
//   gradient         nV by 3 (3 nV doubles, column-major): bit for bit what
//                    shell_energy_and_gradient writes
//   values           pattern.nnz() doubles, overwritten: the Hessian's entries
//                    in the order of the pattern's row indices
// Returns the energy, bit for bit what shell_energy_and_gradient returns.
double shell_energy_gradient_hessian(const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     const hessian_pattern& pattern, double* gradient,
                                     double* values, bending_model bending = bending_model::cosine,
                                     int threads = 0);

// A compressed-column sparse matrix: the entries of column c are
// values[col_start[c] ... col_start[c+1]-1], in rows row_index[...], sorted
// and unique within each column.
struct sparse_matrix {
  std::int64_t rows = 0, cols = 0;
  std::vector<std::int64_t> col_start;  // cols + 1
  std::vector<std::int64_t> row_index;  // nnz
  std::vector<double> values;           // nnz
};

// The same in one call, into a sparse_matrix of the given layout.
double shell_energy_gradient_hessian(
    const double* deformed_v, std::int32_t nV, double mu, double eta, const double* source_vertices,
    const double* source_faces, std::int32_t nF, const double* edges, std::int32_t nE,
    projection project, hessian_layout layout, double* gradient, sparse_matrix* hessian,
    bending_model bending = bending_model::cosine, int threads = 0);

// One face's membrane energy, with its gradient and Hessian block.
//
// Inputs:
//   rest      3 by 3, row-major: rest position of corner k at rest[3 k ... 3 k + 2]
//   deformed  3 by 3, row-major: deformed positions, likewise
//   mu        membrane stiffness
//   project   projection of the block
// Outputs:
//   gradient  9: dE/d deformed[3 k + c]
//   H         81, row-major: H[9 (3 k + c) + 3 k' + c'] = d2E / d deformed[3 k + c]
//             d deformed[3 k' + c']
// Returns the face's energy.
double membrane_element_hessian(const double rest[9], const double deformed[9], double mu,
                                projection project, double gradient[9], double H[81]);

// One hinge's bending energy, with its gradient and Hessian block.
//
// Inputs:
//   rest      4 by 3, row-major: rest positions of a, b, c, d
//   deformed  4 by 3, row-major: deformed positions of a, b, c, d
//   eta       bending stiffness
//   project   projection of the block
//   bending   the bending model (bending.h)
// Outputs:
//   gradient  12: dE/d deformed[3 v + c]
//   H         144, row-major over (vertex, coordinate) pairs, as for the face
// Returns the hinge's energy, or 0 with a zero gradient and block when the
// bending term skips the hinge (a deformed wing normal shorter than 1e-10).
double bending_element_hessian(const double rest[12], const double deformed[12], double eta,
                               projection project, double gradient[12], double H[144],
                               bending_model bending = bending_model::cosine);

}  // namespace lamina

#endif  // LAMINA_HESSIAN_H
