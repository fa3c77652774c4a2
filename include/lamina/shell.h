// A prepared shell: one rest mesh, evaluated many times.
//
// Optimisers evaluate one mesh thousands of times at new deformed positions.
// lamina::shell checks the rest mesh once and keeps everything that does not
// depend on the deformation: the rest side of every face (S_r, A_r, g_k) and
// every hinge (cos_r, w_h), the connectivity in the kernels' row order, the
// Hessian's sparsity pattern and, for every element, where its block goes in
// it; and a workspace in which the deformed positions and the gradient are
// packed with x, y and z of a vertex side by side (one cache line per vertex
// instead of three).
//
// Every result is bit for bit that of the stateless functions (lamina.h,
// hessian.h) and of the plug-ins on the same input: the same expressions,
// the same row order, the same order of additions into every entry.
//
// Each call runs on the threads shell_options::threads allows (all cores by
// default, one on small meshes), with the one-thread bits whatever their
// number. The calls keep no state but a workspace, which they overwrite (and,
// once a call runs on several threads, the ownership of the mesh's vertices
// by blocks of elements, see kernels/assembly/chunks.h): one object serves
// one caller at a time. Give each caller its own copy (the copy constructor
// duplicates the prepared data) to evaluate several shells at once.
//
//   lamina::shell s(lamina::vertices_view(rest, nV), lamina::faces_view(faces, nF), mu, eta);
//   std::vector<double> g(3 * nV);                  // the edge table was built
//   double E = s.energy_and_gradient(lamina::vertices_view(deformed, nV), g.data());
//
// <lamina/eigen.h> adds the same for Eigen matrices, and the Hessian as an
// Eigen sparse matrix.
#ifndef LAMINA_SHELL_H
#define LAMINA_SHELL_H

#include <lamina/bending.h>
#include <lamina/checks.h>
#include <lamina/hessian.h>
#include <lamina/views.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lamina {
namespace detail {
struct shell_access;
struct shell_tables;
struct shell_threads;

// A prepared shell's caches for its threaded calls, built on the first such
// call. A copy of a shell starts without them: its calls may run on another
// thread at the same time.
class shell_threads_slot {
 public:
  shell_threads_slot();
  shell_threads_slot(const shell_threads_slot&);
  shell_threads_slot(shell_threads_slot&&) noexcept;
  shell_threads_slot& operator=(const shell_threads_slot&);
  shell_threads_slot& operator=(shell_threads_slot&&) noexcept;
  ~shell_threads_slot();
  std::unique_ptr<shell_threads> state;
};
}  // namespace detail

// What a shell is prepared for.
struct shell_options {
  // The order of the Hessian's rows and columns (its pattern is built for
  // this one layout).
  hessian_layout layout = hessian_layout::column_major;
  // How positions in error messages are written: C++'s 0-based "row 1,
  // column 2 of edges" unless a host's glue asks for its own.
  message_style style = message_style::cpp;
  // The bending model (bending.h).
  bending_model bending = bending_model::cosine;
  // The threads of each call: 0 for all cores (the process's CPU affinity
  // allowing), one thread on meshes too small to gain from more; n >= 1 for
  // at most n. Every count gives the one-thread bits.
  int threads = 0;
};

class shell {
 public:
  // Prepares a rest mesh: the rest vertices, the faces and (optionally) the
  // edge table, then the stiffnesses; the one order of every C++ entry
  // point that takes a mesh (the solver's included, through the shell).
  //
  //   source_vertices  nV by 3 rest positions (either memory order)
  //   source_faces     nF by 3 corner indices (0-based; doubles, int32 or int64)
  //   edges            nE by 4 edge table; without it the table is built from
  //                    the faces (build_edge_table, edge_table.h)
  //   mu, eta          membrane and bending stiffness
  //
  // Checks everything before it prepares anything, and throws invalid_input
  // (checks.h): a negative count or a null table with rows (lamina:badSize,
  // lamina:badType), counts beyond 32 bits (lamina:tooLarge), an index that
  // is not a vertex row (lamina:badIndex), a given edge table with a row
  // that does not belong to the faces (lamina:edgeMismatch, see
  // check_edge_table; a shell without faces, the bending term alone, takes
  // any table). Throws edge_table_error when the table must be built
  // and the faces do not make an oriented manifold mesh, and std::bad_alloc.
  shell(const vertices_view& source_vertices, const faces_view& source_faces, double mu, double eta,
        shell_options opt = shell_options());
  shell(const vertices_view& source_vertices, const faces_view& source_faces,
        const edges_view& edges, double mu, double eta, shell_options opt = shell_options());

  // The raw form, over column-major double arrays as MATLAB holds them (the
  // typed constructors above convert to it). The same checks.
  //
  // Inputs:
  //   source_faces     nF by 3, column-major: corner indices (0-based doubles)
  //   nF               number of faces
  //   source_vertices  nV by 3, column-major: rest positions
  //   nV               number of vertices
  //   mu, eta          membrane and bending stiffness
  //   edges            nE by 4, column-major: the edge table, or null to build it
  //                    from the faces (build_edge_table, edge_table.h)
  //   nE               rows of edges (ignored when edges is null)
  // Throws invalid_input for input the plug-ins reject (lamina:tooLarge,
  // lamina:badIndex), for a negative count or a null table with rows
  // (lamina:badSize, lamina:badType) and for a given edge table that does not
  // belong to the faces (lamina:edgeMismatch); edge_table_error when the edge
  // table must be built and the faces do not make a consistently oriented
  // manifold mesh; and std::bad_alloc.
  shell(const double* source_faces, std::int32_t nF, const double* source_vertices, std::int32_t nV,
        double mu, double eta, const double* edges = nullptr, std::int32_t nE = 0,
        shell_options opt = shell_options());

  std::int32_t vertex_count() const { return nV_; }
  std::int32_t face_count() const { return nF_; }
  std::int32_t edge_count() const { return nE_; }
  std::int32_t hinge_count() const { return static_cast<std::int32_t>(hinge_row_.size()); }
  double mu() const { return mu_; }
  double eta() const { return eta_; }
  bending_model bending() const { return bending_; }
  // The threads of each call (shell_options::threads); a negative count
  // throws std::invalid_argument.
  int threads() const { return threads_; }
  void set_threads(int threads);
  // The edge table in use (given or built), nE by 4, column-major.
  const std::vector<double>& edges() const { return edges_; }
  // Whether no face index is 0: MATLAB's 1-based faces passed as they are.
  bool faces_look_one_based() const { return faces_look_one_based_; }

  // The energy at the deformed positions (nV by 3, in `order`); bit for bit
  // shell_energy's.
  double energy(const double* deformed_v, vertex_order order = vertex_order::column_major);

  // The energy and its gradient (nV by 3, written in `order`); bit for bit
  // shell_energy_and_gradient's.
  double energy_and_gradient(const double* deformed_v, double* gradient,
                             vertex_order order = vertex_order::column_major);

  // The same for a typed view of the deformed positions, whose row count is
  // checked against vertex_count() (invalid_input, lamina:badSize); the
  // gradient (3 nV doubles) is written in the view's order.
  double energy(const vertices_view& deformed_v);
  double energy_and_gradient(const vertices_view& deformed_v, double* gradient);
  double energy_gradient_hessian(const vertices_view& deformed_v, projection project,
                                 double* gradient, double* hessian_values);

  // The Hessian's pattern, 3 nV by 3 nV in the layout of the options: column
  // starts (3 nV + 1) and row indices (nnz), sorted within each column.
  const std::vector<std::int64_t>& hessian_col_start() const { return col_start_; }
  const std::vector<std::int64_t>& hessian_row_index() const { return row_index_; }
  hessian_layout layout() const { return layout_; }

  // The energy, its gradient (as energy_and_gradient) and the Hessian's
  // values (nnz doubles, overwritten) in the cached pattern; bit for bit
  // shell_energy_gradient_hessian's.
  double energy_gradient_hessian(const double* deformed_v, projection project, double* gradient,
                                 double* hessian_values,
                                 vertex_order order = vertex_order::column_major);

  // Replaces the rest positions (nV by 3, in `order`): the mesh, the
  // pattern, mu, eta and the model stay. For design loops that move the rest
  // shape; every later call is bit for bit that of a shell built on the new
  // rest positions.
  void set_rest(const double* source_vertices, vertex_order order = vertex_order::column_major);

  // The derivatives in the rest positions (rest.h): the energy and its
  // gradient (as energy_and_gradient), the gradient in the rest positions
  // (nV by 3, written in `order`) and, where mixed_values is not null, the
  // mixed Hessian's values (nnz doubles, overwritten) in the cached pattern:
  // the entry in row i and column j is d gradient(i) / d source_vertices(j),
  // rows and columns in the layout of the options. Bit for bit
  // shell_rest_derivatives's.
  double rest_derivatives(const double* deformed_v, double* gradient, double* rest_gradient,
                          double* mixed_values = nullptr,
                          vertex_order order = vertex_order::column_major);

 private:
  friend struct detail::shell_access;
  // The typed constructors' delegate: their tables converted to the raw form.
  shell(const detail::shell_tables& t, double mu, double eta, shell_options opt);
  const double* checked_positions(const vertices_view& deformed_v) const;

  std::int32_t nV_, nF_, nE_;
  double mu_, eta_;
  bending_model bending_;
  int threads_;
  detail::shell_threads_slot threads_state_;
  bool faces_look_one_based_ = false;
  hessian_layout layout_;
  std::vector<double> edges_;
  // Faces: corners, and the membrane model's rest quantities (quantity q of
  // face f at q nF + f).
  std::vector<std::int32_t> corner_[3];
  std::vector<double> face_rest_;
  // Hinges: edge row, vertices a, b, c, d, and the bending model's rest
  // quantities (likewise, per hinge).
  std::vector<std::int32_t> hinge_row_, hinge_vertex_[4];
  std::vector<double> hinge_rest_;
  // The Hessian: N(j) of every vertex, the pattern, and each element's ranks
  // (9 per face, 16 per hinge: the rank of vertex a in N(b) for each pair).
  std::vector<std::int64_t> first_;
  std::vector<std::int32_t> neighbour_;
  std::vector<std::int64_t> col_start_, row_index_;
  std::vector<std::int32_t> face_rank_, hinge_rank_;
  // The workspace: positions and gradient packed per vertex, in the shell's
  // own vertex order; vertex_[t] is the caller's number of vertex t (face
  // corners and hinge vertices above are stored in the shell's numbers).
  std::vector<std::int32_t> vertex_;
  std::vector<double> positions_, gradient_;
  // The rest positions, packed likewise (the rest derivatives read them),
  // and the gradient in them.
  std::vector<double> rest_positions_, rest_gradient_;
};

}  // namespace lamina

#endif  // LAMINA_SHELL_H
