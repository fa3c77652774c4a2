#include "mex_options.h"

#include <cstdint>

namespace lamina {
namespace mex {

options::option_value describe_argument(const mxArray* a, options::kind what) {
  options::option_value v;
  v.class_name = mxGetClassName(a);
  v.is_char = mxIsChar(a);
  v.is_double = mxIsDouble(a);
  v.is_logical = mxIsLogical(a);
  v.is_numeric = mxIsNumeric(a);
  v.is_complex = mxIsComplex(a);
  v.is_sparse = mxIsSparse(a);
  v.rows = mxGetM(a);
  v.cols = mxGetN(a);
  const bool some = v.rows * v.cols > 0;
  if (v.is_char) v.truncated = mxGetString(a, v.text, sizeof v.text) != 0;
  const bool vertex = what == options::kind::vertex_mask || what == options::kind::vertex_matrix ||
                      what == options::kind::vertex_column;
  const bool scalar = what == options::kind::flag || what == options::kind::count ||
                      what == options::kind::nonnegative || what == options::kind::positive;
  if (vertex && some && !v.is_sparse) {
    if (v.is_double && !v.is_complex) v.doubles = mxGetPr(a);
    // mxLogical is one byte holding 0 or 1.
    if (v.is_logical) v.logicals = reinterpret_cast<const std::uint8_t*>(mxGetLogicals(a));
  }
  if (scalar && some && (v.is_numeric || v.is_logical) && !v.is_complex) {
    v.has_number = true;
    v.number = mxGetScalar(a);
  }
  return v;
}

bool read_options(const char* plugin, const options::option_spec* table, int count, int nrhs,
                  const mxArray* const prhs[], int first, std::size_t nV,
                  options::parsed_option* out) {
  for (int k = 0; k < count; ++k) out[k] = options::parsed_option();
  for (int k = first; k + 1 < nrhs; k += 2) {
    const options::option_value name = describe_argument(prhs[k], options::kind::choice);
    const int which = options::find_option(table, count, name);
    const options::kind what = which >= 0 ? table[which].what : options::kind::choice;
    const options::option_value value = describe_argument(prhs[k + 1], what);
    const options::option_error e =
        options::read_option(plugin, table, count, name, value, k + 1, nV, out);
    if (e) {
      mexErrMsgIdAndTxt(e.identifier, "%s", e.message);
      return false;
    }
  }
  return true;
}

}  // namespace mex
}  // namespace lamina
