// Issues two warnings around creating its output; neither stops the call.
#include "mex.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int /*nrhs*/,
                            const mxArray* /*prhs*/[]) {
  mexWarnMsgIdAndTxt("faulty:first", "value %d of %s", 7, "x");
  plhs[0] = mxCreateDoubleMatrix(1, 1, mxREAL);
  mxGetPr(plhs[0])[0] = 1.5;
  mexWarnMsgIdAndTxt("faulty:second", "%s", "100% sure, not a format");
}
