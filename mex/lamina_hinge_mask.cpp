// lamina_hinge_mask: valid_edges = lamina_hinge_mask(deformed_v, mu, eta,
// source_faces, source_vertices, edges), 1.0 for every edge row that carries
// a bending term at the deformed positions and 0.0 for every other row.
#include <lamina/lamina.h>

#include "arguments.h"
#include "mex.h"
#include "usage.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 6) {
    mexErrMsgIdAndTxt("MATLAB:lamina_hinge_mask", lamina::mex::kMaskUsage);
    return;
  }
  lamina::mex::shell_inputs in;
  if (!lamina::mex::read_shell_inputs(prhs, lamina::uses::mask, &in)) return;

  mxArray* mask = mxCreateDoubleMatrix(static_cast<mwSize>(in.nE > 0 ? in.nE : 0), 1, mxREAL);
  plhs[0] = mask;
  lamina::flag_valid_edges(in.edges, in.nE, in.source_vertices, in.deformed_v, in.nV,
                           mxGetPr(mask));
}
