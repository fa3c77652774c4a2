// The option reader of options.h for MEX gateways: each argument described
// through the MEX API, asking an array only for what its class holds, and a
// failed check raised as the host error lamina:badOption.
#ifndef LAMINA_MEX_MEX_OPTIONS_H
#define LAMINA_MEX_MEX_OPTIONS_H

#include <cstddef>

#include "mex.h"
#include "options.h"

namespace lamina {
namespace mex {

// The characters of a char argument, in memory from the host's allocator
// (which reclaims it should the call end in an error first).
struct argument_text {
  char* buffer = nullptr;
  void release();
};

// An argument as the option reader sees it. The whole text is read from a
// char array (into *text); the data pointer only where `what` is a vertex
// option (of a real full double or a full logical array); the first element
// only where it is a scalar option (of a real numeric or logical array that
// has one).
options::option_value describe_argument(const mxArray* a, options::kind what, argument_text* text);

// Reads the name-value pairs prhs[first], prhs[first + 1], ... (up to nrhs,
// an even count after first) against the table, into out (count entries,
// cleared first). Raises lamina:badOption for the first bad pair and
// returns false should the host's error call ever return.
bool read_options(const char* plugin, const options::option_spec* table, int count, int nrhs,
                  const mxArray* const prhs[], int first, std::size_t nV,
                  options::parsed_option* out);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_MEX_OPTIONS_H
