// State of the MEX call running on this thread, shared by the host's array
// functions and its loader.
#ifndef LAMINA_HOST_CALL_CONTEXT_H
#define LAMINA_HOST_CALL_CONTEXT_H

#include <string>
#include <vector>

#include "matrix.h"
#include "mex_host.h"

namespace lamina {
namespace host {
namespace detail {

struct call_context {
  const mxArray* const* inputs = nullptr;
  int nrhs = 0;
  std::vector<mxArray*> created;              // every array the plug-in created
  std::vector<std::string>* trace = nullptr;  // null unless traced
  std::vector<warning> warnings;              // mexWarnMsgIdAndTxt, in order
  std::vector<void*> allocations;             // mxMalloc'd and not yet freed
  std::string printed;                        // mexPrintf
  std::vector<std::string> evaluated;         // mexEvalString
};

// Takes `a` out of the call's created arrays, as a container takes it over;
// false when the call did not create it (or it is stored already).
bool claim(call_context& call, const mxArray* a);

// The context of the call in progress on this thread, or null.
call_context*& current_call();

// Records "function(argument)" when the current call is traced; arguments
// are named in0..inN for inputs and new0..newN for created arrays.
void trace(const char* function, const mxArray* a);
void trace_create(std::size_t m, std::size_t n);
void trace_create_sparse(std::size_t m, std::size_t n, std::size_t nzmax);
void trace_text(const std::string& call);  // any other record, e.g. "mxCreateString(\"x\")"

}  // namespace detail
}  // namespace host
}  // namespace lamina

#endif  // LAMINA_HOST_CALL_CONTEXT_H
