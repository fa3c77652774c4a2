// The argument convention shared by the plug-ins,
//   (deformed_v, mu, eta, source_faces, source_vertices, edges):
// reading the six host arrays and checking them with <lamina/checks.h>
// before any kernel sees them. A failed check becomes a host error with the
// check's identifier and message (see checks.h for the identifiers).
#ifndef LAMINA_MEX_ARGUMENTS_H
#define LAMINA_MEX_ARGUMENTS_H

#include <lamina/checks.h>

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

// Reads the six inputs, with the host calls in this order: data pointer and
// row count of deformed_v, mu, eta, then data pointer and row count of
// source_faces, source_vertices and edges; then checks them, and warns
// (lamina:oneBased) when the energies' faces look 1-based. An input is
// asked for its data only once its class is known to be double. What the
// mask does not use (mu, eta, source_faces, the class and columns of
// source_vertices) may hold anything; mu and eta are then read only where
// that is safe, and are 0. Returns true with `in` filled, or raises a host
// error (and returns false, should the host's error call ever return).
bool read_shell_inputs(const mxArray* const prhs[], uses what, shell_inputs* in);

// Reads a table that must be a real, full double matrix (the class checked
// before its data is asked for); raises lamina:badType otherwise.
bool read_double_table(input which, const mxArray* a, matrix_view* m);

// Raises lamina:tooManyOutputs when more than `most` outputs were requested:
// a host would otherwise fail after the call with an error of its own that
// carries no identifier (Octave: "element number 3 undefined in return
// list"). `outputs` names them, e.g. "energy, gradient".
bool check_output_count(const char* plugin, int nlhs, int most, const char* outputs);

// Raises the host error for a failed check; returns false should the host's
// error call ever return.
bool raise(const input_error& e);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_ARGUMENTS_H
