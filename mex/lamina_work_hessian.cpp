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
#include <cstring>

#include "arguments.h"
#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "mex.h"
#include "options.h"
#include "usage.h"

namespace {

// The host's allocator: memory it reclaims by itself should the call end in
// an error after the allocation.
struct host_allocator {
  void* allocate(std::size_t bytes) { return mxMalloc(bytes); }
  void release(void* p) { mxFree(p); }
};

// An argument after the six inputs, for the shared option reader: a char
// array's characters, whole. mxGetString copies them when the buffer holds
// them all (MATLAB copies what fits otherwise, Octave nothing), so the buffer
// is one longer than the array. It comes from the host's allocator, which
// reclaims it should the call end in an error.
struct option_text {
  lamina::mex::option_argument argument;
  char* buffer = nullptr;

  explicit option_text(const mxArray* a) {
    if (!mxIsChar(a)) {
      argument.class_name = mxGetClassName(a);
      return;
    }
    const std::size_t n = mxGetNumberOfElements(a);
    buffer = static_cast<char*>(mxMalloc(n + 1));
    if (buffer == nullptr) {
      mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
      argument.class_name = "char";  // should the host's error call return
      return;
    }
    const bool whole = mxGetString(a, buffer, n + 1) == 0;
    argument.is_text = true;
    argument.text = buffer;
    argument.length = whole ? n : std::strlen(buffer);
  }
  void release() {
    if (buffer != nullptr) mxFree(buffer);
  }
};

// Reads the name-value pairs after the six inputs.
bool read_options(int nrhs, const mxArray* prhs[], lamina::mex::hessian_options* options) {
  for (int k = 6; k + 1 < nrhs; k += 2) {
    option_text name(prhs[k]);
    option_text value(prhs[k + 1]);
    const lamina::input_error e =
        lamina::mex::read_hessian_option(name.argument, value.argument, k + 1, options);
    if (e) return lamina::mex::raise(e);
    name.release();
    value.release();
  }
  return true;
}

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
  lamina::mex::hessian_options options;
  if (!read_options(nrhs, prhs, &options)) return;
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
      in.source_faces, in.nF, in.edges, in.nE, options.project, positions, gradient_out, values);
  allocator.release(neighbours.first);
  allocator.release(neighbours.neighbour);
}
