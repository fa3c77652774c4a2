// lamina_work_rest_deriv: [E, G, GX, M] = lamina_work_rest_deriv(deformed_v,
// mu, eta, source_faces, source_vertices, edges [, Name, Value]), for inverse
// design: the energy and its gradient in the deformed positions (bit for bit
// those of lamina_work_deriv with the cosine model), the gradient GX = dE/dX
// in the rest positions X = source_vertices (nV by 3), and the mixed Hessian
// M(i, j) = dG(i)/dX(j) as a real sparse 3 nV by 3 nV matrix, i in G(:)
// order and j in source_vertices(:) order. M shares the Hessian's pattern
// (the vertices that share an element) and is not symmetric; at an
// equilibrium G(x, X) = f it is the Jacobian of the internal forces in the
// rest shape, from which dx/dX = -H \ M. Options 'Bending' and 'Threads' as
// lamina_work_hessian's. M's pattern and values are formed only when M is
// asked for.
#include <lamina/hessian.h>
#include <lamina/rest.h>

#include <cstddef>
#include <cstdint>
#include <exception>

#include "arguments.h"
#include "assembly/pattern.h"
#include "hessian_kernels.h"
#include "mex.h"
#include "mex_options.h"

namespace {

constexpr const char kName[] = "lamina_work_rest_deriv";
constexpr const char kUsage[] =
    "6 inputs required: [E, G, GX, M] = lamina_work_rest_deriv(deformed_v, mu, eta, "
    "source_faces, source_vertices, edges), optionally followed by the options 'Bending', "
    "'cosine' | 'dihedral', and 'Threads', n";

struct host_allocator {
  void* allocate(std::size_t bytes) { return mxMalloc(bytes); }
  void release(void* p) { mxFree(p); }
};

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  using namespace lamina;
  if (nrhs < 6 || nrhs % 2 != 0) {
    mexErrMsgIdAndTxt("MATLAB:lamina_work_rest_deriv", kUsage);
    return;
  }
  if (!mex::check_output_count(kName, nlhs, 4, "E, G, GX, M")) return;
  options::parsed_option parsed[options::kRestOptionCount];
  if (!mex::read_options(kName, options::kRestOptions, options::kRestOptionCount, nrhs, prhs, 6, 0,
                         parsed)) {
    return;
  }
  mex::shell_inputs in;
  if (!mex::read_shell_inputs(prhs, uses::energy, &in)) return;

  // The mixed Hessian's pattern (that of the Hessian) only when it is asked
  // for: the sparse output must be created with its size.
  const bool with_mixed = nlhs >= 4;
  detail::vertex_neighbours neighbours;
  host_allocator allocator;
  if (with_mixed) {
    const detail::element_table elements{in.source_faces, in.nF, in.edges, in.nE};
    if (!detail::build_vertex_neighbours(elements, in.nV, allocator, &neighbours)) {
      mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
      return;
    }
  }
  const detail::csc_positions positions{&neighbours, hessian_layout::column_major};

  const mwSize rows = static_cast<mwSize>(in.nV);
  mxArray* energy = mxCreateDoubleMatrix(1, 1, mxREAL);
  plhs[0] = energy;
  // G and GX are formed on every call (the kernels write both), stored only
  // into the slots the host provides.
  mxArray* gradient = mxCreateDoubleMatrix(rows, 3, mxREAL);
  if (nlhs >= 2) plhs[1] = gradient;
  mxArray* rest_gradient = mxCreateDoubleMatrix(rows, 3, mxREAL);
  if (nlhs >= 3) plhs[2] = rest_gradient;
  double* values = nullptr;
  if (with_mixed) {
    const mwSize side = 3 * rows;
    const mwSize nnz = static_cast<mwSize>(positions.nnz());
    mxArray* mixed = mxCreateSparse(side, side, nnz > 0 ? nnz : 1, mxREAL);
    plhs[3] = mixed;
    detail::write_pattern(positions, mxGetJc(mixed), mxGetIr(mixed));
    values = mxGetPr(mixed);
  }
  // No exception may cross into the host (threads that fail to start, an
  // allocation): the error is raised after.
  bool failed = false;
  try {
    mxGetPr(energy)[0] = detail::shell_rest_derivatives(
        in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices, in.source_faces, in.nF, in.edges,
        in.nE, mxGetPr(gradient), mxGetPr(rest_gradient), with_mixed ? &positions : nullptr, values,
        options::bending_of(parsed[options::kRestBending]),
        options::threads_of(parsed[options::kRestThreads]));
  } catch (const std::exception&) {
    failed = true;
  }
  if (failed) {
    mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
    return;
  }
  if (with_mixed) {
    allocator.release(neighbours.first);
    allocator.release(neighbours.neighbour);
  }
}
