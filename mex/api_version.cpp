// mexfilerequiredapiversion: which MEX API this file was built for, compiled
// into every plug-in.
//
// MATLAB's `mex` command and CMake's matlab_add_mex compile MATLAB's own
// definition of this function into every MEX file they build, and define
// MATLAB_MEX_FILE; a second definition would clash at link time, so under
// them this file is empty. Every other build (the project's own host, GNU
// Octave) gets the definition from here.
#include "mex.h"

#ifndef MATLAB_MEX_FILE
extern "C" void mexfilerequiredapiversion(unsigned int* built_by_rel,
                                          unsigned int* target_api_ver) {
  *built_by_rel = 0x2017A;  // 131450
  *target_api_ver = 0;
}
#endif
