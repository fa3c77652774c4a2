#include "mex_options.h"

#include <cstdint>
#include <cstring>

#include "arguments.h"

namespace lamina {
namespace mex {

void argument_text::release() {
  if (buffer != nullptr) mxFree(buffer);
  buffer = nullptr;
}

options::option_value describe_argument(const mxArray* a, options::kind what, argument_text* text) {
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
  if (v.is_char) {
    // mxGetString copies the characters when the buffer holds them all
    // (MATLAB copies what fits otherwise, Octave nothing): the buffer is
    // one longer than the array, so that the whole text is read.
    const std::size_t n = mxGetNumberOfElements(a);
    text->buffer = static_cast<char*>(mxMalloc(n + 1));
    if (text->buffer == nullptr) {
      mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
      v.is_char = false;  // should the host's error call return
      return v;
    }
    const bool whole = mxGetString(a, text->buffer, n + 1) == 0;
    v.text = text->buffer;
    v.length = whole ? n : std::strlen(text->buffer);
  }
  if (options::is_vertex_kind(what) && some && !v.is_sparse) {
    if (v.is_double && !v.is_complex) v.doubles = mxGetPr(a);
    // mxLogical is one byte holding 0 or 1.
    if (v.is_logical) v.logicals = reinterpret_cast<const std::uint8_t*>(mxGetLogicals(a));
  }
  if (options::is_scalar_kind(what) && some && (v.is_numeric || v.is_logical) && !v.is_complex) {
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
    argument_text name_text, value_text;
    const options::option_value name =
        describe_argument(prhs[k], options::kind::choice, &name_text);
    const int which = options::find_option(table, count, name);
    const options::kind what = which >= 0 ? table[which].what : options::kind::choice;
    const options::option_value value = describe_argument(prhs[k + 1], what, &value_text);
    const input_error e = options::read_option(plugin, table, count, name, value, k + 1, nV, out);
    // The message holds its own copy of whatever text it quotes.
    name_text.release();
    value_text.release();
    if (e) return raise(e);
  }
  return true;
}

}  // namespace mex
}  // namespace lamina
