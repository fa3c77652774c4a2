// The argument convention shared by the three plug-ins,
//   (deformed_v, mu, eta, source_faces, source_vertices, edges),
// and the checks that keep every input a plug-in reads inside its array.
//
// Bad input raises a host error whose identifier names the reason:
//   lamina:badType   an array is not a real, full double matrix (or mu, eta
//                    are not real numeric scalars)
//   lamina:badSize   wrong column count, deformed_v and source_vertices with
//                    different row counts, an empty mu or eta
//   lamina:tooLarge  more rows than 32-bit counts allow
//   lamina:badIndex  a face index, or an index of an edge row with both wings,
//                    that is not a vertex row 0 ... nV-1
// The message names the argument, the 1-based position of the offending
// entry and its value. Geometry is never checked: degenerate faces and NaN
// coordinates are the kernels' business.
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

// What a plug-in reads. The mask uses only deformed_v, the row count of
// source_vertices and edges; mu, eta and source_faces may hold anything, and
// mu and eta are read only where that is safe (mu and eta are then 0).
enum class uses { energy, mask };

// Reads the six inputs, with the host calls in this order: data pointer and
// row count of deformed_v, mu, eta, then data pointer and row count of
// source_faces, source_vertices and edges; then checks them. Returns true
// with `in` filled, or raises a host error (and returns false, should the
// host's error call ever return).
bool read_shell_inputs(const mxArray* const prhs[], uses what, shell_inputs* in);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_ARGUMENTS_H
