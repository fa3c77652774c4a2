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

namespace {

constexpr const char kUsage[] =
    "6 inputs required: [energy, gradient, hessian] = lamina_work_hessian(deformed_v, mu, eta, "
    "source_faces, source_vertices, edges), optionally followed by the option 'Project', "
    "'none' | 'clamp' | 'abs'";

// The host's allocator: memory it reclaims by itself should the call end in
// an error after the allocation.
struct host_allocator {
  void* allocate(std::size_t bytes) { return mxMalloc(bytes); }
  void release(void* p) { mxFree(p); }
};

// A short text argument, or the empty string when it is none.
struct text {
  char value[32] = {0};
  bool truncated = false;
  explicit text(const mxArray* a) {
    if (mxIsChar(a)) truncated = mxGetString(a, value, sizeof value) != 0;
  }
  // Equal to a lower-case word, ignoring case, as MATLAB compares option names.
  bool is(const char* word) const {
    if (truncated) return false;
    std::size_t i = 0;
    for (; word[i] != 0 && value[i] != 0; ++i) {
      const char c = value[i] >= 'A' && value[i] <= 'Z' ? value[i] - 'A' + 'a' : value[i];
      if (c != word[i]) return false;
    }
    return word[i] == value[i];
  }
};

// Reads the name-value pairs after the six inputs.
bool read_options(int nrhs, const mxArray* prhs[], lamina::projection* project) {
  *project = lamina::projection::none;
  for (int k = 6; k + 1 < nrhs; k += 2) {
    const text name(prhs[k]);
    if (!mxIsChar(prhs[k])) {
      mexErrMsgIdAndTxt("lamina:badOption",
                        "input %d must be an option name such as 'Project', but it is of class %s",
                        k + 1, mxGetClassName(prhs[k]));
      return false;
    }
    if (!name.is("project")) {
      mexErrMsgIdAndTxt("lamina:badOption",
                        "there is no option '%s%s': the one option of lamina_work_hessian is "
                        "'Project' ('none', 'clamp' or 'abs')",
                        name.value, name.truncated ? "..." : "");
      return false;
    }
    const text value(prhs[k + 1]);
    if (value.is("none")) {
      *project = lamina::projection::none;
    } else if (value.is("clamp")) {
      *project = lamina::projection::clamp;
    } else if (value.is("abs")) {
      *project = lamina::projection::abs;
    } else if (!mxIsChar(prhs[k + 1])) {
      mexErrMsgIdAndTxt("lamina:badOption",
                        "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is of "
                        "class %s",
                        mxGetClassName(prhs[k + 1]));
      return false;
    } else {
      mexErrMsgIdAndTxt("lamina:badOption",
                        "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is "
                        "'%s%s'",
                        value.value, value.truncated ? "..." : "");
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 6 || nrhs % 2 != 0) {
    mexErrMsgIdAndTxt("MATLAB:lamina_work_hessian", kUsage);
    return;
  }
  if (!lamina::mex::check_output_count("lamina_work_hessian", nlhs, 3,
                                       "energy, gradient, hessian")) {
    return;
  }
  lamina::projection project;
  if (!read_options(nrhs, prhs, &project)) return;
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
      in.source_faces, in.nF, in.edges, in.nE, project, positions, gradient_out, values);
  allocator.release(neighbours.first);
  allocator.release(neighbours.neighbour);
}
