// Creates three arrays and returns only the second (holding 2); the host must
// free the other two when the call ends.
#include "mex.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int /*nrhs*/,
                            const mxArray* /*prhs*/[]) {
  mxArray* kept = nullptr;
  for (int i = 1; i <= 3; ++i) {
    mxArray* a = mxCreateDoubleMatrix(2, 2, mxREAL);
    mxGetPr(a)[0] = i;
    if (i == 2) kept = a;
  }
  plhs[0] = kept;
}
