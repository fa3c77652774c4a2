// The public functions of <lamina/hessian.h>, over the stateless Hessian
// call of hessian.cpp.
#include <lamina/hessian.h>
#include <lamina/rest.h>

#include <cstdlib>
#include <new>

#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "simd/isa.h"

namespace lamina {
namespace {

struct malloc_allocator {
  void* allocate(std::size_t bytes) { return std::malloc(bytes); }
  void release(void* p) { std::free(p); }
};

detail::vertex_neighbours view(std::int32_t nV, const std::vector<std::int64_t>& first,
                               const std::vector<std::int32_t>& neighbour) {
  detail::vertex_neighbours n;
  n.nV = nV;
  n.total = first.empty() ? 0 : first.back();
  n.first = const_cast<std::int64_t*>(first.data());
  n.neighbour = const_cast<std::int32_t*>(neighbour.data());
  return n;
}

// One element as a mesh of its own (vertices 0 ... P-1, each distinct), whose
// assembled interleaved Hessian is the element's block, row-major over
// (vertex, coordinate) pairs.
template <int P>
double element(const double* rest, const double* deformed, const double* faces, std::int32_t nF,
               const double* edges, std::int32_t nE, double mu, double eta, projection project,
               bending_model bending, double* gradient, double* H) {
  double R[3 * P], Q[3 * P], g[3 * P];
  for (int v = 0; v < P; ++v) {
    for (int k = 0; k < 3; ++k) {
      R[v + k * P] = rest[3 * v + k];
      Q[v + k * P] = deformed[3 * v + k];
    }
  }
  const hessian_pattern pattern(faces, nF, edges, nE, P, hessian_layout::interleaved);
  std::vector<std::int64_t> col_start(3 * P + 1), row_index(pattern.nnz());
  std::vector<double> values(pattern.nnz());
  pattern.write(col_start.data(), row_index.data());
  const double E = shell_energy_gradient_hessian(Q, P, mu, eta, R, faces, nF, edges, nE, project,
                                                 pattern, g, values.data(), bending, 1);
  for (int i = 0; i < 9 * P * P; ++i) H[i] = 0.0;
  for (int c = 0; c < 3 * P; ++c) {
    for (std::int64_t x = col_start[c]; x < col_start[c + 1]; ++x) {
      H[row_index[x] * 3 * P + c] = values[x];
    }
  }
  for (int v = 0; v < P; ++v) {
    for (int k = 0; k < 3; ++k) gradient[3 * v + k] = g[v + k * P];
  }
  return E;
}

}  // namespace

hessian_pattern::hessian_pattern(const double* source_faces, std::int32_t nF, const double* edges,
                                 std::int32_t nE, std::int32_t nV, hessian_layout layout)
    : nV_(nV > 0 ? nV : 0), layout_(layout) {
  malloc_allocator alloc;
  detail::vertex_neighbours n;
  const detail::element_table elements{source_faces, nF, edges, nE};
  if (!detail::build_vertex_neighbours(elements, nV_, alloc, &n)) throw std::bad_alloc();
  try {
    first_.assign(n.first, n.first + nV_ + 1);
    neighbour_.assign(n.neighbour, n.neighbour + n.total);
  } catch (...) {
    alloc.release(n.first);
    alloc.release(n.neighbour);
    throw;
  }
  alloc.release(n.first);
  alloc.release(n.neighbour);
}

void hessian_pattern::write(std::int64_t* col_start, std::int64_t* row_index) const {
  const detail::vertex_neighbours n = view(nV_, first_, neighbour_);
  detail::write_pattern(detail::csc_positions{&n, layout_}, col_start, row_index);
}

void hessian_pattern::write(std::int32_t* col_start, std::int32_t* row_index) const {
  const detail::vertex_neighbours n = view(nV_, first_, neighbour_);
  detail::write_pattern(detail::csc_positions{&n, layout_}, col_start, row_index);
}

double shell_energy_gradient_hessian(const double* deformed_v, std::int32_t nV, double mu,
                                     double eta, const double* source_vertices,
                                     const double* source_faces, std::int32_t nF,
                                     const double* edges, std::int32_t nE, projection project,
                                     hessian_layout layout, double* gradient,
                                     sparse_matrix* hessian, bending_model bending, int threads) {
  const hessian_pattern pattern(source_faces, nF, edges, nE, nV, layout);
  hessian->rows = hessian->cols = pattern.size();
  hessian->col_start.assign(static_cast<std::size_t>(pattern.size()) + 1, 0);
  hessian->row_index.assign(static_cast<std::size_t>(pattern.nnz()), 0);
  hessian->values.assign(static_cast<std::size_t>(pattern.nnz()), 0.0);
  pattern.write(hessian->col_start.data(), hessian->row_index.data());
  return shell_energy_gradient_hessian(deformed_v, nV, mu, eta, source_vertices, source_faces, nF,
                                       edges, nE, project, pattern, gradient,
                                       hessian->values.data(), bending, threads);
}

double membrane_element_hessian(const double rest[9], const double deformed[9], double mu,
                                projection project, double gradient[9], double H[81]) {
  const double face[3] = {0, 1, 2};
  return element<3>(rest, deformed, face, 1, nullptr, 0, mu, 0.0, project, bending_model::cosine,
                    gradient, H);
}

double bending_element_hessian(const double rest[12], const double deformed[12], double eta,
                               projection project, double gradient[12], double H[144],
                               bending_model bending) {
  const double row[4] = {0, 1, 2, 3};
  return element<4>(rest, deformed, nullptr, 0, row, 1, 0.0, eta, project, bending, gradient, H);
}

double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              hessian_layout layout, double* gradient, double* rest_gradient,
                              sparse_matrix* mixed, bending_model bending, int threads) {
  const hessian_pattern pattern(source_faces, nF, edges, nE, nV, layout);
  mixed->rows = mixed->cols = pattern.size();
  mixed->col_start.assign(static_cast<std::size_t>(pattern.size()) + 1, 0);
  mixed->row_index.assign(static_cast<std::size_t>(pattern.nnz()), 0);
  mixed->values.assign(static_cast<std::size_t>(pattern.nnz()), 0.0);
  pattern.write(mixed->col_start.data(), mixed->row_index.data());
  return shell_rest_derivatives(deformed_v, nV, mu, eta, source_vertices, source_faces, nF, edges,
                                nE, gradient, rest_gradient, &pattern, mixed->values.data(),
                                bending, threads);
}

}  // namespace lamina
