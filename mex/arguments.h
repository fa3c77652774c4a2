// The argument convention shared by the three plug-ins:
//   (deformed_v, mu, eta, source_faces, source_vertices, edges)
#ifndef LAMINA_MEX_ARGUMENTS_H
#define LAMINA_MEX_ARGUMENTS_H

#include <cstddef>
#include <cstdint>

#include "mex.h"

namespace lamina {
namespace mex {

struct shell_inputs {
  const double* deformed_v;
  double mu;
  double eta;
  const double* source_faces;
  std::int32_t nF;
  const double* source_vertices;
  std::int32_t nV;  // rows of source_vertices: the stride of both vertex matrices
  const double* edges;
  std::int32_t nE;
};

// Reads the six inputs with the host calls in this order: data pointer and
// row count of deformed_v, mu, eta, then data pointer and row count of
// source_faces, source_vertices and edges. Row counts keep their low 32 bits.
shell_inputs read_shell_inputs(const mxArray* const prhs[]);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_ARGUMENTS_H
