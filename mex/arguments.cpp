#include "arguments.h"

namespace lamina {
namespace mex {
namespace {

std::int32_t low_32_bits(std::size_t rows) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(rows));
}

}  // namespace

shell_inputs read_shell_inputs(const mxArray* const prhs[]) {
  shell_inputs in;
  in.deformed_v = mxGetPr(prhs[0]);
  (void)mxGetM(prhs[0]);  // the stride is that of source_vertices
  in.mu = mxGetScalar(prhs[1]);
  in.eta = mxGetScalar(prhs[2]);
  in.source_faces = mxGetPr(prhs[3]);
  in.nF = low_32_bits(mxGetM(prhs[3]));
  in.source_vertices = mxGetPr(prhs[4]);
  in.nV = low_32_bits(mxGetM(prhs[4]));
  in.edges = mxGetPr(prhs[5]);
  in.nE = low_32_bits(mxGetM(prhs[5]));
  return in;
}

}  // namespace mex
}  // namespace lamina
