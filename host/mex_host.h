// A small MEX host: it offers the libmx/libmex functions of matrix.h and mex.h
// and loads built MEX files to call them, the way MATLAB and Octave do, so
// that tests and benchmarks exercise the very binaries users install.
//
//   lamina::host::plugin deriv("build/mex/lamina_work_deriv.mexa64");
//   auto out = deriv.call(2, {V.get(), mu.get(), eta.get(), F.get(), V.get(), E.get()});
//
// A host error raised by the plug-in (mexErrMsgIdAndTxt) reaches the caller
// as lamina::host::mex_error; a warning (mexWarnMsgIdAndTxt) is recorded in
// the call's result and the call goes on. Arrays that the plug-in created
// but did not store in an output slot are freed when the call ends, as MATLAB
// does. Asking an array for data it does not hold (mxGetPr of anything but a
// double array, mxGetScalar of a cell, struct, function handle or object)
// is a host error with identifier lamina_host:contract, so that tests see
// what would abort Octave. Calls on different threads are independent.
#ifndef LAMINA_HOST_MEX_HOST_H
#define LAMINA_HOST_MEX_HOST_H

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "matrix.h"

namespace lamina {
namespace host {

struct array_deleter {
  void operator()(mxArray* a) const noexcept { mxDestroyArray(a); }
};
using array = std::unique_ptr<mxArray, array_deleter>;

// An m-by-n array of the given class with zeroed data. Cell, struct and
// function handle arrays hold no data here. Objects need a class name: use
// make_object (make_array throws std::invalid_argument for mxOBJECT_CLASS).
array make_array(mxClassID cls, std::size_t m, std::size_t n, mxComplexity complexity = mxREAL);
// A function handle, as @sin passes one: 1-by-1, class "function_handle".
array make_function_handle();
// An m-by-n classdef object of the named class, e.g. "containers.Map"; it
// holds no data the MEX API can reach.
array make_object(const std::string& class_name, std::size_t m = 1, std::size_t n = 1);
// An m-by-n sparse double matrix with room for nzmax (at least 1) non-zeros.
array make_sparse(std::size_t m, std::size_t n, std::size_t nzmax);
// A real double matrix from column-major values (values.size() == m * n).
array make_double(std::size_t m, std::size_t n, const std::vector<double>& values);
array make_double(std::size_t m, std::size_t n, std::initializer_list<double> values);
array make_scalar(double value);
// A 1-by-n char array holding text, as 'clamp' passes one.
array make_char(const std::string& text);
// A logical matrix from column-major values (values.size() == m * n).
array make_logical(std::size_t m, std::size_t n, const std::vector<bool>& values);

// The raw data of any array (null for cells and structs) and its size in bytes.
void* data(const mxArray* a);
std::size_t data_bytes(const mxArray* a);
// The elements of a real double array, copied.
std::vector<double> values(const mxArray* a);

// The compressed columns of a sparse array, copied: column starts (n + 1),
// row indices and values (jc[n] of each).
struct sparse_parts {
  std::size_t m = 0, n = 0;
  std::vector<std::size_t> jc, ir;
  std::vector<double> pr;
};
sparse_parts sparse(const mxArray* a);

// What struct, cell, char and logical outputs hold. field() throws
// std::invalid_argument for a field the struct does not have; the pointers
// stay owned by their container.
std::vector<std::string> field_names(const mxArray* a);
const mxArray* field(const mxArray* a, const std::string& name, std::size_t index = 0);
const mxArray* cell(const mxArray* a, std::size_t index);
std::string text(const mxArray* a);
std::vector<bool> logicals(const mxArray* a);

// How many host arrays exist right now, on all threads: made by the builders
// above or created by a plug-in, and not yet destroyed. A test reads it
// before and after a call to see that the host freed what it had to.
long live_arrays();

// A warning a plug-in issued: its identifier and formatted message.
struct warning {
  std::string identifier;
  std::string message;
};

// A host error: the identifier and the formatted message.
class mex_error : public std::runtime_error {
 public:
  mex_error(std::string identifier, std::string message);
  const std::string& identifier() const { return identifier_; }
  const std::string& message() const { return message_; }
  // The host calls made before the error, when the call was traced.
  const std::vector<std::string>& trace() const { return trace_; }
  void set_trace(std::vector<std::string> t) { trace_ = std::move(t); }
  // The warnings the plug-in issued before the error.
  const std::vector<warning>& warnings() const { return warnings_; }
  void set_warnings(std::vector<warning> w) { warnings_ = std::move(w); }

 private:
  std::string identifier_;
  std::string message_;
  std::vector<std::string> trace_;
  std::vector<warning> warnings_;
};

struct call_result {
  // One entry per output slot the host provided: max(nlhs, 1) of them, as
  // MATLAB provides a slot for `ans` also when no output is requested. An
  // entry stays null where the plug-in stored nothing.
  std::vector<array> outputs;
  // The host functions the plug-in called, in order, e.g. "mxGetPr(in0)",
  // "mxCreateDoubleMatrix_730(1,1)", "mxGetPr(new0)". Filled by call_traced.
  std::vector<std::string> trace;
  // The warnings the plug-in issued (mexWarnMsgIdAndTxt), in order.
  std::vector<warning> warnings;
  // What it printed (mexPrintf), and the commands it asked the host to run
  // (mexEvalString), in order.
  std::string printed;
  std::vector<std::string> evaluated;
};

class plugin {
 public:
  // Opens a built MEX file; throws std::runtime_error if it cannot be loaded
  // or lacks one of the two entry points.
  explicit plugin(const std::string& path);
  ~plugin();
  plugin(const plugin&) = delete;
  plugin& operator=(const plugin&) = delete;

  // What mexfilerequiredapiversion stores: (built_by_rel, target_api_ver).
  std::pair<unsigned, unsigned> required_api_version() const;

  // Calls mexFunction with nlhs requested outputs. Throws mex_error for a
  // host error, and std::logic_error if the plug-in wrote past the slots.
  call_result call(int nlhs, const std::vector<const mxArray*>& inputs) const;
  call_result call_traced(int nlhs, const std::vector<const mxArray*>& inputs) const;

  const std::string& path() const { return path_; }

 private:
  call_result run(int nlhs, const std::vector<const mxArray*>& inputs, bool traced) const;

  std::string path_;
  void* handle_ = nullptr;
  void (*mex_function_)(int, mxArray**, int, const mxArray**) = nullptr;
  void (*api_version_)(unsigned*, unsigned*) = nullptr;
};

}  // namespace host
}  // namespace lamina

#endif  // LAMINA_HOST_MEX_HOST_H
