// Builds the outputs a gateway such as lamina_solve returns: a struct with
// a scalar, a string and a cell (holding a logical scalar and an empty
// cell), and a logical matrix; prints a line and asks for drawnow. Called
// with an input, it stores that input in the struct instead, which no MEX
// file may do (the host raises lamina_host:contract).
#include "mex.h"

extern "C" void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  const char* fields[] = {"scalar", "text", "cells"};
  mxArray* s = mxCreateStructMatrix(1, 1, 3, fields);
  if (nrhs > 0) mxSetField(s, 0, "scalar", const_cast<mxArray*>(prhs[0]));
  mxSetField(s, 0, "scalar", mxCreateDoubleScalar(1.5));
  mxSetField(s, 0, "text", mxCreateString("text"));
  mxArray* cells = mxCreateCellMatrix(1, 2);
  mxSetCell(cells, 0, mxCreateLogicalScalar(true));
  mxSetField(s, 0, "cells", cells);
  mxArray* mask = mxCreateLogicalMatrix(2, 2);
  mxGetLogicals(mask)[3] = true;
  mexPrintf("%d lines\n", 3);
  mexEvalString("drawnow;");
  plhs[0] = s;
  plhs[1] = mask;
}
