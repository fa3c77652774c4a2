#include "arguments.h"

#include "options.h"

namespace lamina {
namespace mex {
namespace {

constexpr message_style kStyle = message_style::matlab;

// A real, full double matrix, or the error that says what it is instead.
input_error double_matrix_error(input which, const mxArray* a) {
  if (!mxIsDouble(a)) return not_double(which, mxGetClassName(a), kStyle);
  if (mxIsComplex(a)) return complex_array(which, kStyle);
  if (mxIsSparse(a)) return sparse_array(which, kStyle);
  return {};
}

// The data pointer and row count, in that order, after the class check when
// `check` is set. An unchecked input is asked for its data only when it is a
// double array: a host cannot hand out a data pointer for a function handle
// or an object (Octave aborts the whole session when asked to).
bool read_matrix(input which, const mxArray* a, bool check, matrix_view* m) {
  if (check) {
    if (input_error e = double_matrix_error(which, a)) return raise(e);
  }
  m->data = check || mxIsDouble(a) ? mxGetPr(a) : nullptr;
  m->rows = mxGetM(a);
  m->cols = mxGetN(a);
  return true;
}

// mxGetScalar may be called only on a non-empty numeric or logical array.
bool readable_scalar(const mxArray* a) {
  return (mxIsNumeric(a) || mxIsLogical(a)) && mxGetNumberOfElements(a) > 0;
}

bool read_coefficient(input which, const mxArray* a, double* value) {
  if (!(mxIsNumeric(a) || mxIsLogical(a)) || mxIsComplex(a)) {
    return raise(not_real_scalar(which, mxGetClassName(a), mxIsComplex(a), kStyle));
  }
  if (mxGetNumberOfElements(a) == 0) return raise(empty_coefficient(which, kStyle));
  *value = mxGetScalar(a);
  return true;
}

}  // namespace

bool raise(const input_error& e) {
  // The message goes in as an argument, so that nothing in it is read as a
  // format directive.
  mexErrMsgIdAndTxt(e.identifier, "%s", e.message);
  return false;
}

bool read_double_table(input which, const mxArray* a, matrix_view* m) {
  return read_matrix(which, a, true, m);
}

bool check_output_count(const char* plugin, int nlhs, int most, const char* outputs) {
  return nlhs <= most || raise(too_many_outputs(plugin, nlhs, most, outputs));
}

bool read_shell_inputs(const mxArray* const prhs[], uses what, shell_inputs* in) {
  const bool energy = what == uses::energy;
  shell_views v;
  if (!read_matrix(input::deformed_v, prhs[0], true, &v.deformed_v)) return false;
  in->mu = in->eta = 0.0;
  if (energy) {
    if (!read_coefficient(input::mu, prhs[1], &in->mu)) return false;
    if (!read_coefficient(input::eta, prhs[2], &in->eta)) return false;
  } else {
    // Read and discarded, as long as reading is safe.
    if (readable_scalar(prhs[1])) (void)mxGetScalar(prhs[1]);
    if (readable_scalar(prhs[2])) (void)mxGetScalar(prhs[2]);
  }
  if (!read_matrix(input::source_faces, prhs[3], energy, &v.source_faces)) return false;
  if (!read_matrix(input::source_vertices, prhs[4], energy, &v.source_vertices)) return false;
  if (!read_matrix(input::edges, prhs[5], true, &v.edges)) return false;

  checked_shell checked;
  if (input_error e = check_shell(v, what, kStyle, &checked)) return raise(e);
  if (checked.faces_look_one_based) {
    mexWarnMsgIdAndTxt(kOneBasedIdentifier, "%s", one_based_warning(kStyle));
  }

  in->deformed_v = v.deformed_v.data;
  in->source_faces = energy ? v.source_faces.data : nullptr;
  in->nF = checked.nF;
  in->source_vertices = v.source_vertices.data;
  in->nV = checked.nV;
  in->edges = v.edges.data;
  in->nE = checked.nE;
  return true;
}

}  // namespace mex
}  // namespace lamina
