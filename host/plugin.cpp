// Loading MEX files and calling them; the host's error and warning calls.
#include <dlfcn.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "call_context.h"
#include "mex.h"
#include "mex_host.h"

namespace lamina {
namespace host {
namespace detail {

call_context*& current_call() {
  thread_local call_context* context = nullptr;
  return context;
}

namespace {

// How many traced calls are running, on any thread. Tracing is for tests;
// untraced calls skip it after one relaxed load instead of a TLS lookup.
std::atomic<int> traced_calls{0};

std::string name_of(const call_context& call, const mxArray* a) {
  for (int i = 0; i < call.nrhs; ++i) {
    if (call.inputs[i] == a) return "in" + std::to_string(i);
  }
  for (std::size_t i = 0; i < call.created.size(); ++i) {
    if (call.created[i] == a) return "new" + std::to_string(i);
  }
  return "other";
}

}  // namespace

void trace(const char* function, const mxArray* a) {
  if (traced_calls.load(std::memory_order_relaxed) == 0) return;
  call_context* call = current_call();
  if (call == nullptr || call->trace == nullptr) return;
  call->trace->push_back(std::string(function) + "(" + name_of(*call, a) + ")");
}

void trace_create(std::size_t m, std::size_t n) {
  if (traced_calls.load(std::memory_order_relaxed) == 0) return;
  call_context* call = current_call();
  if (call == nullptr || call->trace == nullptr) return;
  call->trace->push_back("mxCreateDoubleMatrix_730(" + std::to_string(m) + "," + std::to_string(n) +
                         ")");
}

void trace_create_sparse(std::size_t m, std::size_t n, std::size_t nzmax) {
  if (traced_calls.load(std::memory_order_relaxed) == 0) return;
  call_context* call = current_call();
  if (call == nullptr || call->trace == nullptr) return;
  call->trace->push_back("mxCreateSparse_730(" + std::to_string(m) + "," + std::to_string(n) + "," +
                         std::to_string(nzmax) + ")");
}

void trace_text(const std::string& call_text) {
  if (traced_calls.load(std::memory_order_relaxed) == 0) return;
  call_context* call = current_call();
  if (call == nullptr || call->trace == nullptr) return;
  call->trace->push_back(call_text);
}

bool claim(call_context& call, const mxArray* a) {
  for (std::size_t i = 0; i < call.created.size(); ++i) {
    if (call.created[i] == a) {
      call.created.erase(call.created.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

}  // namespace detail

mex_error::mex_error(std::string identifier, std::string message)
    : std::runtime_error(identifier + ": " + message),
      identifier_(std::move(identifier)),
      message_(std::move(message)) {}

namespace {

// Stands in the slot just past the ones the host provides; a plug-in that
// overwrites it stored more outputs than it was given room for.
char guard_object;
mxArray* const kGuard = reinterpret_cast<mxArray*>(&guard_object);

void* symbol(void* handle, const char* name, const std::string& path) {
  dlerror();
  void* p = dlsym(handle, name);
  if (p == nullptr) {
    throw std::runtime_error(path + ": not a MEX file, no " + name);
  }
  return p;
}

}  // namespace

plugin::plugin(const std::string& path) : path_(path) {
  // RTLD_NODELETE: the MEX file and the libraries it brings stay loaded
  // after dlclose, as MATLAB and Octave keep a MEX file until "clear mex".
  // A library's one-time allocations (the OpenMP runtime that CHOLMOD
  // loads, for lamina_solve) then stay reachable instead of being left
  // behind by its unloading, which LeakSanitizer reports as a leak.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle_ == nullptr) {
    throw std::runtime_error("cannot load " + path + ": " + dlerror());
  }
  try {
    mex_function_ = reinterpret_cast<decltype(mex_function_)>(symbol(handle_, "mexFunction", path));
    api_version_ = reinterpret_cast<decltype(api_version_)>(
        symbol(handle_, "mexfilerequiredapiversion", path));
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

plugin::~plugin() { dlclose(handle_); }

std::pair<unsigned, unsigned> plugin::required_api_version() const {
  unsigned built_by_rel = 0, target_api_ver = 0;
  api_version_(&built_by_rel, &target_api_ver);
  return {built_by_rel, target_api_ver};
}

call_result plugin::call(int nlhs, const std::vector<const mxArray*>& inputs) const {
  return run(nlhs, inputs, false);
}

call_result plugin::call_traced(int nlhs, const std::vector<const mxArray*>& inputs) const {
  return run(nlhs, inputs, true);
}

call_result plugin::run(int nlhs, const std::vector<const mxArray*>& inputs, bool traced) const {
  call_result result;
  detail::call_context call;
  call.inputs = inputs.data();
  call.nrhs = static_cast<int>(inputs.size());
  if (traced) call.trace = &result.trace;
  struct traced_scope {
    bool on;
    explicit traced_scope(bool t) : on(t) {
      if (on) detail::traced_calls.fetch_add(1);
    }
    ~traced_scope() {
      if (on) detail::traced_calls.fetch_sub(1);
    }
  } scope(traced);

  // MATLAB provides a slot for `ans` even when no output is requested.
  const std::size_t slots = nlhs > 0 ? static_cast<std::size_t>(nlhs) : 1;
  std::vector<mxArray*> plhs(slots + 1, nullptr);
  plhs[slots] = kGuard;

  detail::call_context*& current = detail::current_call();
  detail::call_context* const outer = current;
  current = &call;
  // Frees the arrays the call created and did not hand over, and the memory
  // it allocated and did not free, as MATLAB does when a MEX call ends.
  auto free_unclaimed = [&call](const std::vector<mxArray*>& claimed) {
    for (mxArray* a : call.created) {
      bool kept = false;
      for (mxArray* c : claimed) kept = kept || (c == a);
      if (!kept) mxDestroyArray(a);
    }
    for (void* p : call.allocations) std::free(p);
    call.allocations.clear();
  };
  try {
    mex_function_(nlhs, plhs.data(), call.nrhs, const_cast<const mxArray**>(inputs.data()));
  } catch (mex_error& e) {
    current = outer;
    free_unclaimed({});
    e.set_trace(std::move(result.trace));
    e.set_warnings(std::move(call.warnings));
    throw;
  } catch (...) {
    current = outer;
    free_unclaimed({});
    throw;
  }
  current = outer;

  const bool overrun = plhs[slots] != kGuard;
  plhs.pop_back();
  // Only arrays this call created can be handed to the caller.
  for (mxArray*& slot : plhs) {
    bool created = false;
    for (mxArray* a : call.created) created = created || (a == slot);
    if (!created) slot = nullptr;
  }
  free_unclaimed(plhs);
  if (overrun) {
    for (mxArray* a : plhs) mxDestroyArray(a);
    throw std::logic_error(path_ + " stored an output past the " + std::to_string(slots) +
                           " slot(s) the host provided");
  }
  for (mxArray* a : plhs) result.outputs.emplace_back(a);
  result.warnings = std::move(call.warnings);
  result.printed = std::move(call.printed);
  result.evaluated = std::move(call.evaluated);
  return result;
}

}  // namespace host
}  // namespace lamina

namespace {

// printf-style formatting of a host message.
std::string format(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string message(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&message[0], message.size() + 1, fmt, args);
  return message;
}

}  // namespace

extern "C" void mexErrMsgIdAndTxt(const char* identifier, const char* err_msg, ...) {
  va_list args;
  va_start(args, err_msg);
  std::string message = format(err_msg, args);
  va_end(args);
  // Unwinds through the plug-in's frames back to plugin::run.
  throw lamina::host::mex_error(identifier != nullptr ? identifier : "", std::move(message));
}

extern "C" void mexWarnMsgIdAndTxt(const char* warningid, const char* warningmsg, ...) {
  va_list args;
  va_start(args, warningmsg);
  std::string message = format(warningmsg, args);
  va_end(args);
  lamina::host::detail::call_context* call = lamina::host::detail::current_call();
  if (call != nullptr) {
    call->warnings.push_back({warningid != nullptr ? warningid : "", std::move(message)});
  } else {
    // Outside a call there is no result to record it in.
    std::fprintf(stderr, "Warning: %s [%s]\n", message.c_str(),
                 warningid != nullptr ? warningid : "");
  }
}

extern "C" int mexPrintf(const char* message, ...) {
  va_list args;
  va_start(args, message);
  const std::string text = format(message, args);
  va_end(args);
  lamina::host::detail::call_context* call = lamina::host::detail::current_call();
  if (call != nullptr) {
    call->printed += text;
  } else {
    std::fputs(text.c_str(), stdout);
  }
  return static_cast<int>(text.size());
}

extern "C" int mexEvalString(const char* command) {
  lamina::host::detail::call_context* call = lamina::host::detail::current_call();
  if (call != nullptr) call->evaluated.emplace_back(command != nullptr ? command : "");
  return 0;
}
