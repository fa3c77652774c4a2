// lamina_work_hessian: [energy, gradient, hessian] = lamina_work_hessian(
// deformed_v, mu, eta, source_faces, source_vertices, edges [, Name, Value]),
// the total energy, its gradient (bit for bit those of lamina_work_deriv with
// the cosine model) and its Hessian as a sparse 3 nV by 3 nV matrix indexed
// like gradient(:). Options: 'Project' 'none' (the exact Hessian, the
// default), 'clamp' or 'abs' (each element block projected onto the positive
// semi-definite cone); 'Bending' 'cosine' (default) or 'dihedral'; 'Threads'
// n (0, the default, for all cores; the same bits for every n). Without the
// Hessian among the outputs neither its pattern nor its values are formed.
#include <lamina/hessian.h>
#include <lamina/lamina.h>

#include <cstddef>
#include <cstdint>
#include <exception>

#include "arguments.h"
#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "mex.h"
#include "mex_options.h"
#include "usage.h"

namespace {

// The host's allocator: memory it reclaims by itself should the call end in
// an error after the allocation.
struct host_allocator {
  void* allocate(std::size_t bytes) { return mxMalloc(bytes); }
  void release(void* p) { mxFree(p); }
};

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 6 || nrhs % 2 != 0) {
    mexErrMsgIdAndTxt("MATLAB:lamina_work_hessian", lamina::mex::kHessianUsage);
    return;
  }
  if (!lamina::mex::check_output_count("lamina_work_hessian", nlhs, 3,
                                       "energy, gradient, hessian")) {
    return;
  }
  // The options (read by the reader the oct-file shares) before the inputs.
  using lamina::options::kHessianOptionCount;
  lamina::options::parsed_option parsed[kHessianOptionCount];
  if (!lamina::mex::read_options("lamina_work_hessian", lamina::options::kHessianOptions,
                                 kHessianOptionCount, nrhs, prhs, 6, 0, parsed)) {
    return;
  }
  const lamina::bending_model bending =
      lamina::options::bending_of(parsed[lamina::options::kHessianBending]);
  const int threads = lamina::options::threads_of(parsed[lamina::options::kHessianThreads]);
  lamina::mex::shell_inputs in;
  if (!lamina::mex::read_shell_inputs(prhs, lamina::uses::energy, &in)) return;

  // The pattern first: the sparse output must be created with its size.
  const bool with_hessian = nlhs >= 3;
  lamina::detail::vertex_neighbours neighbours;
  host_allocator allocator;
  if (with_hessian) {
    const lamina::detail::element_table elements{in.source_faces, in.nF, in.edges, in.nE};
    if (!lamina::detail::build_vertex_neighbours(elements, in.nV, allocator, &neighbours)) {
      mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
      return;
    }
  }
  const lamina::detail::csc_positions positions{&neighbours, lamina::hessian_layout::column_major};

  mxArray* energy = mxCreateDoubleMatrix(1, 1, mxREAL);
  plhs[0] = energy;
  double* energy_out = mxGetPr(energy);
  mxArray* gradient = mxCreateDoubleMatrix(static_cast<mwSize>(in.nV), 3, mxREAL);
  if (nlhs >= 2) plhs[1] = gradient;
  double* gradient_out = mxGetPr(gradient);
  mxArray* hessian = nullptr;
  double* values = nullptr;
  if (with_hessian) {
    const mwSize side = 3 * static_cast<mwSize>(in.nV);
    const mwSize nnz = static_cast<mwSize>(positions.nnz());
    hessian = mxCreateSparse(side, side, nnz > 0 ? nnz : 1, mxREAL);
    plhs[2] = hessian;
    lamina::detail::write_pattern(positions, mxGetJc(hessian), mxGetIr(hessian));
    values = mxGetPr(hessian);
  }
  // The threads may fail to start (std::system_error) or to allocate; no
  // exception may cross into the host, so the error is raised after.
  bool out_of_memory = false;
  try {
    if (with_hessian) {
      energy_out[0] = lamina::detail::shell_energy_gradient_hessian(
          in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices, in.source_faces, in.nF, in.edges,
          in.nE, lamina::options::hessian_projection(parsed[lamina::options::kHessianProject]),
          positions, gradient_out, values, bending, threads);
    } else {
      energy_out[0] = lamina::shell_energy_and_gradient(
          in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices, in.source_faces, in.nF, in.edges,
          in.nE, gradient_out, bending, threads);
    }
  } catch (const std::exception&) {
    out_of_memory = true;
  }
  if (out_of_memory) {
    mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
    return;
  }
  if (!with_hessian) return;
  allocator.release(neighbours.first);
  allocator.release(neighbours.neighbour);
}
