// Warns, creates two arrays, stores one of them as an output, then raises a
// host error: the caller gets the error, and the host frees both arrays.
#include "mex.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int /*nrhs*/,
                            const mxArray* /*prhs*/[]) {
  mexWarnMsgIdAndTxt("faulty:beforeError", "about to fail");
  plhs[0] = mxCreateDoubleMatrix(3, 1, mxREAL);
  mxCreateDoubleMatrix(1, 5, mxREAL);
  mexErrMsgIdAndTxt("faulty:midCall", "failed after creating %d arrays (%s)", 2, "on purpose");
  plhs[0] = nullptr;  // not reached
}
