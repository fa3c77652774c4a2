// lamina_work_hessian: [energy, gradient, hessian] = lamina_work_hessian(
// deformed_v, mu, eta, source_faces, source_vertices, edges [, 'Project', P]),
// the total energy, its gradient (bit for bit those of lamina_work_deriv) and
// its Hessian as a sparse 3 nV by 3 nV matrix indexed like gradient(:). P is
// 'none' (the exact Hessian, the default), 'clamp' or 'abs' (each element
// block projected onto the positive semi-definite cone).
#include <lamina/hessian.h>
#include <lamina/lamina.h>

#include <cstddef>
#include <cstdint>

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
  lamina::options::parsed_option project;
  if (!lamina::mex::read_options("lamina_work_hessian", lamina::options::kHessianOptions, 1, nrhs,
                                 prhs, 6, 0, &project)) {
    return;
  }
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
  if (!with_hessian) {
    energy_out[0] =
        lamina::shell_energy_and_gradient(in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices,
                                          in.source_faces, in.nF, in.edges, in.nE, gradient_out);
    return;
  }
  const mwSize side = 3 * static_cast<mwSize>(in.nV);
  const mwSize nnz = static_cast<mwSize>(positions.nnz());
  mxArray* hessian = mxCreateSparse(side, side, nnz > 0 ? nnz : 1, mxREAL);
  plhs[2] = hessian;
  lamina::detail::write_pattern(positions, mxGetJc(hessian), mxGetIr(hessian));
  double* values = mxGetPr(hessian);
  energy_out[0] = lamina::detail::shell_energy_gradient_hessian(
      lamina::preferred_isa(), in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices,
      in.source_faces, in.nF, in.edges, in.nE, lamina::options::hessian_projection(project),
      positions, gradient_out, values);
  allocator.release(neighbours.first);
  allocator.release(neighbours.neighbour);
}
