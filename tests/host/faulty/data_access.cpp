// Asks its first input for its data without checking the class, the fault
// that aborts Octave when the input is a function handle or an object.
//   out = data_access(x)      copies x's elements through mxGetPr
//   out = data_access(x, y)   returns mxGetScalar(x)
// An array is created first, so that a failed access leaves one to free.
#include "mex.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  const size_t n = mxGetNumberOfElements(prhs[0]);
  mxArray* out = mxCreateDoubleMatrix(nrhs == 1 ? n : 1, 1, mxREAL);
  if (nrhs == 1) {
    const double* x = mxGetPr(prhs[0]);
    for (size_t i = 0; i < n; ++i) mxGetPr(out)[i] = x[i];
  } else {
    mxGetPr(out)[0] = mxGetScalar(prhs[0]);
  }
  plhs[0] = out;
}
