/* The part of MATLAB's MEX API (libmex) that lamina's gateways use, with
 * MATLAB's names and signatures. See matrix.h. */
#ifndef LAMINA_HOST_MEX_H
#define LAMINA_HOST_MEX_H

#include "matrix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Raises a host error with an identifier and a printf-style message; it does
 * not return to the caller. */
void mexErrMsgIdAndTxt(const char *identifier, const char *err_msg, ...);

/* Issues a warning with an identifier and a printf-style message, and
 * returns: the call goes on. This host records the warning in the call's
 * result. */
void mexWarnMsgIdAndTxt(const char *warningid, const char *warningmsg, ...);

/* Prints to the command window, printf-style; returns the number of
 * characters printed. This host appends the text to the call's result. */
int mexPrintf(const char *message, ...);

/* Runs a command in the caller's workspace (MATLAB and Octave); returns 0,
 * or 1 when the command raised an error, control coming back to the MEX
 * file either way. This host runs nothing: it records the command in the
 * call's result and returns 0. */
int mexEvalString(const char *command);

/* The two entry points every MEX file exports. */
void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);
void mexfilerequiredapiversion(unsigned int *built_by_rel, unsigned int *target_api_ver);

#ifdef __cplusplus
}
#endif

#endif /* LAMINA_HOST_MEX_H */
