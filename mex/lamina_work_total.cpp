// lamina_work_total: energy = lamina_work_total(deformed_v, mu, eta,
// source_faces, source_vertices, edges), the total elastic energy alone: bit
// for bit the energy lamina_work_deriv returns, without forming the gradient.
#include <lamina/lamina.h>

#include "arguments.h"
#include "mex.h"
#include "usage.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 6) {
    // This plug-in shares lamina_work_deriv's usage text; callers match on it.
    mexErrMsgIdAndTxt("MATLAB:lamina_work_total", lamina::mex::kEnergyUsage);
    return;
  }
  lamina::mex::shell_inputs in;
  if (!lamina::mex::read_shell_inputs(prhs, lamina::uses::energy, &in)) return;

  mxArray* energy = mxCreateDoubleMatrix(1, 1, mxREAL);
  plhs[0] = energy;
  mxGetPr(energy)[0] = lamina::shell_energy(in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices,
                                            in.source_faces, in.nF, in.edges, in.nE);
}
