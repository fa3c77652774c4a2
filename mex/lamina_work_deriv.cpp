// lamina_work_deriv: [energy, gradient] = lamina_work_deriv(deformed_v, mu,
// eta, source_faces, source_vertices, edges), the total elastic energy of the
// deformed shell and its derivative with respect to every coordinate of
// deformed_v.
#include <lamina/lamina.h>

#include "arguments.h"
#include "mex.h"
#include "usage.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 6) {
    mexErrMsgIdAndTxt("MATLAB:lamina_work_deriv", lamina::mex::kEnergyUsage);
    return;
  }
  lamina::mex::shell_inputs in;
  if (!lamina::mex::read_shell_inputs(prhs, lamina::uses::energy, &in)) return;

  mxArray* energy = mxCreateDoubleMatrix(1, 1, mxREAL);
  plhs[0] = energy;
  double* energy_out = mxGetPr(energy);
  mxArray* gradient = mxCreateDoubleMatrix(static_cast<mwSize>(in.nV > 0 ? in.nV : 0), 3, mxREAL);
  // The gradient is formed on every call, but stored only into a slot the
  // host provides: Octave hands a one-output call exactly one slot.
  if (nlhs >= 2) plhs[1] = gradient;
  double* gradient_out = mxGetPr(gradient);

  energy_out[0] =
      lamina::shell_energy_and_gradient(in.deformed_v, in.nV, in.mu, in.eta, in.source_vertices,
                                        in.source_faces, in.nF, in.edges, in.nE, gradient_out);
}
