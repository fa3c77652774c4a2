// lamina_work_hessian for GNU Octave, as an oct-file: [energy, gradient,
// hessian] = lamina_work_hessian(deformed_v, mu, eta, source_faces,
// source_vertices, edges [, Name, Value]), what mex/lamina_work_hessian.cpp
// computes, with the same checks, options, messages and bits. (A C++
// exception of the threads reaches Octave's interpreter, which reports it as
// an error of the call.)
//
// Why an oct-file: a MEX gateway can only fill an mxArray, which Octave's MEX
// layer allocates zero-filled and, on return, copies into a sparse matrix of
// its own; for a Hessian of 2e5 faces (about 1.2e7 stored entries, 190 MB of
// values and row indices) that work is a large part of the call. Here the
// column starts, row indices and values are allocated uninitialised with the
// allocator Octave's sparse matrix releases them with, written in place by the
// pattern and the kernels, and handed over to the result: nothing is filled
// twice and nothing is copied.
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <octave/oct.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "arguments.h"
#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "options.h"
#include "usage.h"

namespace {

constexpr const char kName[] = "lamina_work_hessian";

// The scratch allocator of the pattern builder.
struct c_allocator {
  void* allocate(std::size_t bytes) { return std::malloc(bytes); }
  void release(void* p) { std::free(p); }
};

// The allocator Sparse<double> releases its arrays with (std::allocator, or
// the polymorphic allocator where Octave was built with it), and an array of
// n elements from it that is released unless handed over.
template <typename T, typename A>
A allocator_of(const Sparse<T, A>*);
template <typename T>
using sparse_allocator = typename std::allocator_traits<decltype(allocator_of(
    static_cast<const Sparse<double>*>(nullptr)))>::template rebind_alloc<T>;

template <typename T>
struct sparse_array {
  sparse_allocator<T> allocator;
  std::size_t n;
  T* p;
  explicit sparse_array(std::size_t count) : n(count), p(allocator.allocate(count)) {}
  ~sparse_array() {
    if (p != nullptr) allocator.deallocate(p, n);
  }
  T* release() {
    T* q = p;
    p = nullptr;
    return q;
  }
};

octave_value_list hessian(const octave_value_list& args, int nargout) {
  using namespace lamina;
  const int nrhs = args.length();
  if (nrhs < 6 || nrhs % 2 != 0)
    oct::raise(kName, "MATLAB:lamina_work_hessian", mex::kHessianUsage);
  if (nargout > 3) {
    oct::raise(kName, mex::too_many_outputs(kName, nargout, 3, "energy, gradient, hessian"));
  }
  options::parsed_option parsed[options::kHessianOptionCount];
  oct::read_options(kName, options::kHessianOptions, options::kHessianOptionCount, args, 6, 0,
                    parsed);
  const bending_model bending = options::bending_of(parsed[options::kHessianBending]);
  const int threads = options::threads_of(parsed[options::kHessianThreads]);
  oct::shell_inputs in;
  oct::read_shell_inputs(kName, args, uses::energy, &in);

  octave_value_list out(nargout >= 2 ? nargout : 1);
  Matrix gradient(in.nV, 3);
  if (nargout < 3) {
    out(0) = shell_energy_and_gradient(in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices,
                                       in.source_faces, in.nF, in.edges, in.nE,
                                       gradient.fortran_vec(), bending, threads);
    if (nargout == 2) out(1) = gradient;
    return out;
  }

  // The pattern, from the faces and hinges alone, then the values into it.
  detail::vertex_neighbours neighbours;
  c_allocator scratch;
  const detail::element_table elements{in.source_faces, in.nF, in.edges, in.nE};
  if (!detail::build_vertex_neighbours(elements, in.nV, scratch, &neighbours)) {
    oct::raise(kName, "MATLAB:nomem", "Out of memory.");
  }
  const std::unique_ptr<void, void (*)(void*)> first(neighbours.first, std::free);
  const std::unique_ptr<void, void (*)(void*)> neighbour(neighbours.neighbour, std::free);
  const detail::csc_positions positions{&neighbours, hessian_layout::column_major};
  const octave_idx_type side = 3 * static_cast<octave_idx_type>(in.nV);
  const octave_idx_type nnz = positions.nnz();
  const std::size_t capacity = nnz > 0 ? nnz : 1;  // Octave keeps room for one entry at least
  sparse_array<octave_idx_type> column_start(side + 1), row_index(capacity);
  sparse_array<double> values(capacity);
  values.p[0] = 0.0;  // the spare entry of an empty pattern: defined all the same
  row_index.p[0] = 0;
  detail::write_pattern(positions, column_start.p, row_index.p);
  out(0) = detail::shell_energy_gradient_hessian(
      in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices, in.source_faces, in.nF, in.edges,
      in.nE, options::hessian_projection(parsed[options::kHessianProject]), positions,
      gradient.fortran_vec(), values.p, bending, threads);
  out(1) = gradient;
  // Sparse's constructor takes the arrays over once it holds them; until
  // then they are still released here should it throw.
  const Sparse<double> H(dim_vector(side, side), static_cast<octave_idx_type>(capacity), values.p,
                         row_index.p, column_start.p);
  values.release();
  row_index.release();
  column_start.release();
  out(2) = SparseMatrix(H);
  return out;
}

}  // namespace

// Octave finds an oct-file's function through the installer G<name>, which
// DEFUN_DLD writes with a documentation string fixed at compile time. This
// one, written as DEFUN_DLD writes it otherwise, documents the function with
// the help text of lamina_work_hessian.m beside the oct-file, as Octave does
// for a MEX file: one help file serves the MEX file and the oct-file.
extern "C" OCTAVE_EXPORT octave_function* Glamina_work_hessian(const octave::dynamic_library& shl,
                                                               bool relative) {
  check_version(OCTAVE_API_VERSION, kName);
  octave_dld_function* f =
      octave_dld_function::create(hessian, shl, kName, lamina::oct::help_beside(shl.file_name()));
  if (relative) f->mark_relative();
  return f;
}
