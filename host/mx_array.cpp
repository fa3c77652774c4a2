// Host arrays: the libmx functions of matrix.h and the C++ builders of
// mex_host.h.
//
// Data buffers are allocated with exactly the bytes the array holds, and an
// empty array has no buffer at all, so that a plug-in reading past an array
// is caught by AddressSanitizer rather than reading neighbouring memory.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "call_context.h"
#include "mex.h"
#include "mex_host.h"

struct mxArray_tag {
  mxClassID cls = mxDOUBLE_CLASS;
  std::size_t m = 0, n = 0;
  bool complex = false;
  bool sparse = false;
  std::size_t stored = 0;  // elements in each buffer (nzmax when sparse)
  std::unique_ptr<unsigned char[]> real, imag;
  std::unique_ptr<mwIndex[]> ir, jc;  // sparse arrays: nzmax row indices, n + 1 column starts
  std::string object_class;           // an object's class name, e.g. "containers.Map"
};

namespace lamina {
namespace host {
namespace {

std::atomic<long> live{0};

std::size_t element_size(mxClassID cls) {
  switch (cls) {
    case mxLOGICAL_CLASS:
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
      return 1;
    case mxCHAR_CLASS:
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
      return 2;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
      return 4;
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
      return 8;
    default:
      return 0;  // cells, structs and the rest hold no numeric data here
  }
}

std::unique_ptr<unsigned char[]> zeroed(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  std::unique_ptr<unsigned char[]> p(new unsigned char[bytes]);
  std::memset(p.get(), 0, bytes);
  return p;
}

mxArray* new_array(mxClassID cls, std::size_t m, std::size_t n, bool complex, bool sparse,
                   std::size_t stored) {
  auto* a = new mxArray_tag;
  a->cls = cls;
  a->m = m;
  a->n = n;
  a->complex = complex;
  a->sparse = sparse;
  a->stored = stored;
  const std::size_t bytes = stored * element_size(cls);
  a->real = zeroed(bytes);
  if (complex) a->imag = zeroed(bytes);
  if (sparse) {
    a->ir.reset(new mwIndex[stored]());
    a->jc.reset(new mwIndex[n + 1]());
  }
  live.fetch_add(1, std::memory_order_relaxed);
  return a;
}

}  // namespace

// The class name without tracing, for messages.
const char* class_name(const mxArray* a) {
  switch (a->cls) {
    case mxCELL_CLASS:
      return "cell";
    case mxSTRUCT_CLASS:
      return "struct";
    case mxLOGICAL_CLASS:
      return "logical";
    case mxCHAR_CLASS:
      return "char";
    case mxDOUBLE_CLASS:
      return "double";
    case mxSINGLE_CLASS:
      return "single";
    case mxINT8_CLASS:
      return "int8";
    case mxUINT8_CLASS:
      return "uint8";
    case mxINT16_CLASS:
      return "int16";
    case mxUINT16_CLASS:
      return "uint16";
    case mxINT32_CLASS:
      return "int32";
    case mxUINT32_CLASS:
      return "uint32";
    case mxINT64_CLASS:
      return "int64";
    case mxUINT64_CLASS:
      return "uint64";
    case mxFUNCTION_CLASS:
      return "function_handle";
    case mxOBJECT_CLASS:
      return a->object_class.c_str();
    default:
      return "unknown";
  }
}

template <typename T>
double first_as_double(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<double>(v);
}

[[noreturn]] void contract_violation(const char* function, const char* what) {
  mexErrMsgIdAndTxt("lamina_host:contract", "%s: %s", function, what);
  throw std::logic_error("unreachable");  // mexErrMsgIdAndTxt throws
}

// A data accessor called on an array whose class has no such data.
[[noreturn]] void no_data(const char* function, const mxArray* a, const char* holds) {
  mexErrMsgIdAndTxt("lamina_host:contract",
                    "%s called on an array of class %s, which has no %s; check the class "
                    "(mxIsDouble, mxIsNumeric, mxGetClassName) before asking for the data",
                    function, class_name(a), holds);
  throw std::logic_error("unreachable");  // mexErrMsgIdAndTxt throws
}

array make_array(mxClassID cls, std::size_t m, std::size_t n, mxComplexity complexity) {
  if (cls == mxOBJECT_CLASS) {
    throw std::invalid_argument("make_array: an object needs a class name; use make_object");
  }
  return array(new_array(cls, m, n, complexity == mxCOMPLEX, false, m * n));
}

array make_function_handle() { return array(new_array(mxFUNCTION_CLASS, 1, 1, false, false, 0)); }

array make_object(const std::string& class_name, std::size_t m, std::size_t n) {
  array a(new_array(mxOBJECT_CLASS, m, n, false, false, 0));
  a->object_class = class_name;
  return a;
}

array make_sparse(std::size_t m, std::size_t n, std::size_t nzmax) {
  return array(new_array(mxDOUBLE_CLASS, m, n, false, true, nzmax > 0 ? nzmax : 1));
}

array make_double(std::size_t m, std::size_t n, const std::vector<double>& values) {
  if (values.size() != m * n) {
    throw std::invalid_argument("make_double: expected " + std::to_string(m * n) + " values, got " +
                                std::to_string(values.size()));
  }
  array a = make_array(mxDOUBLE_CLASS, m, n);
  if (!values.empty()) std::memcpy(a->real.get(), values.data(), values.size() * sizeof(double));
  return a;
}

array make_double(std::size_t m, std::size_t n, std::initializer_list<double> values) {
  return make_double(m, n, std::vector<double>(values));
}

array make_scalar(double value) { return make_double(1, 1, {value}); }

void* data(const mxArray* a) { return a->real.get(); }

std::size_t data_bytes(const mxArray* a) { return a->stored * element_size(a->cls); }

long live_arrays() { return live.load(std::memory_order_relaxed); }

std::vector<double> values(const mxArray* a) {
  if (a->cls != mxDOUBLE_CLASS || a->complex || a->sparse) {
    throw std::invalid_argument("values: not a real full double array");
  }
  std::vector<double> v(a->stored);
  if (!v.empty()) std::memcpy(v.data(), a->real.get(), v.size() * sizeof(double));
  return v;
}

array make_char(const std::string& text) {
  array a = make_array(mxCHAR_CLASS, 1, text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint16_t c = static_cast<unsigned char>(text[i]);
    std::memcpy(a->real.get() + 2 * i, &c, sizeof c);
  }
  return a;
}

sparse_parts sparse(const mxArray* a) {
  if (!a->sparse) throw std::invalid_argument("sparse: not a sparse array");
  sparse_parts p;
  p.m = a->m;
  p.n = a->n;
  p.jc.assign(a->jc.get(), a->jc.get() + a->n + 1);
  const std::size_t nnz = p.jc.back();
  if (nnz > a->stored) throw std::invalid_argument("sparse: column starts beyond the storage");
  p.ir.assign(a->ir.get(), a->ir.get() + nnz);
  const auto* pr = reinterpret_cast<const double*>(a->real.get());
  p.pr.assign(pr, pr + nnz);
  return p;
}

}  // namespace host
}  // namespace lamina

using lamina::host::contract_violation;
using lamina::host::first_as_double;
using lamina::host::no_data;
using lamina::host::detail::trace;

extern "C" {

double* mxGetPr(const mxArray* pa) {
  trace("mxGetPr", pa);
  if (pa->cls != mxDOUBLE_CLASS) no_data("mxGetPr", pa, "double data");
  return reinterpret_cast<double*>(pa->real.get());
}

size_t mxGetM(const mxArray* pa) {
  trace("mxGetM", pa);
  return pa->m;
}

size_t mxGetN(const mxArray* pa) {
  trace("mxGetN", pa);
  return pa->n;
}

size_t mxGetNumberOfElements(const mxArray* pa) {
  trace("mxGetNumberOfElements", pa);
  return pa->m * pa->n;
}

double mxGetScalar(const mxArray* pa) {
  trace("mxGetScalar", pa);
  // MATLAB documents empty, cell and struct arrays as invalid here; this host
  // raises an error instead of returning an indeterminate value, so that a
  // gateway which forgets to check is caught.
  const bool numeric =
      pa->cls >= mxLOGICAL_CLASS && pa->cls <= mxUINT64_CLASS && pa->cls != mxVOID_CLASS;
  if (!numeric) no_data("mxGetScalar", pa, "numeric data");
  if (pa->m * pa->n == 0) contract_violation("mxGetScalar", "called on an empty array");
  const unsigned char* p = pa->real.get();
  if (p == nullptr) contract_violation("mxGetScalar", "array without numeric data");
  switch (pa->cls) {
    case mxDOUBLE_CLASS:
      return first_as_double<double>(p);
    case mxSINGLE_CLASS:
      return first_as_double<float>(p);
    case mxLOGICAL_CLASS:
    case mxUINT8_CLASS:
      return first_as_double<std::uint8_t>(p);
    case mxINT8_CLASS:
      return first_as_double<std::int8_t>(p);
    case mxCHAR_CLASS:
    case mxUINT16_CLASS:
      return first_as_double<std::uint16_t>(p);
    case mxINT16_CLASS:
      return first_as_double<std::int16_t>(p);
    case mxINT32_CLASS:
      return first_as_double<std::int32_t>(p);
    case mxUINT32_CLASS:
      return first_as_double<std::uint32_t>(p);
    case mxINT64_CLASS:
      return first_as_double<std::int64_t>(p);
    case mxUINT64_CLASS:
      return first_as_double<std::uint64_t>(p);
    default:
      contract_violation("mxGetScalar", "array without numeric data");
  }
}

bool mxIsDouble(const mxArray* pa) {
  trace("mxIsDouble", pa);
  return pa->cls == mxDOUBLE_CLASS;
}

bool mxIsComplex(const mxArray* pa) {
  trace("mxIsComplex", pa);
  return pa->complex;
}

bool mxIsSparse(const mxArray* pa) {
  trace("mxIsSparse", pa);
  return pa->sparse;
}

bool mxIsNumeric(const mxArray* pa) {
  trace("mxIsNumeric", pa);
  return pa->cls >= mxDOUBLE_CLASS && pa->cls <= mxUINT64_CLASS;
}

bool mxIsLogical(const mxArray* pa) {
  trace("mxIsLogical", pa);
  return pa->cls == mxLOGICAL_CLASS;
}

bool mxIsChar(const mxArray* pa) {
  trace("mxIsChar", pa);
  return pa->cls == mxCHAR_CLASS;
}

int mxGetString_730(const mxArray* pa, char* buf, size_t buflen) {
  trace("mxGetString_730", pa);
  if (buflen == 0) return 1;
  buf[0] = 0;
  if (pa->cls != mxCHAR_CLASS) return 1;
  // Characters are stored as 16-bit code units, as in MATLAB; those beyond
  // one byte do not fit a C string and are written as '?'.
  const std::size_t n = pa->m * pa->n;
  const std::size_t copied = n < buflen - 1 ? n : buflen - 1;
  for (std::size_t i = 0; i < copied; ++i) {
    std::uint16_t c;
    std::memcpy(&c, pa->real.get() + 2 * i, sizeof c);
    buf[i] = c < 256 ? static_cast<char>(c) : '?';
  }
  buf[copied] = 0;
  return copied < n ? 1 : 0;
}

mxClassID mxGetClassID(const mxArray* pa) {
  trace("mxGetClassID", pa);
  return pa->cls;
}

const char* mxGetClassName(const mxArray* pa) {
  trace("mxGetClassName", pa);
  return lamina::host::class_name(pa);
}

mxArray* mxCreateDoubleMatrix_730(size_t m, size_t n, mxComplexity flag) {
  lamina::host::detail::trace_create(m, n);
  mxArray* a = nullptr;
  try {
    if (n != 0 && m > SIZE_MAX / sizeof(double) / n) throw std::bad_alloc();
    a = lamina::host::make_array(mxDOUBLE_CLASS, m, n, flag).release();
  } catch (const std::bad_alloc&) {
    // As in MATLAB, a failed allocation ends the MEX call with an error.
    mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
  }
  if (auto* call = lamina::host::detail::current_call()) call->created.push_back(a);
  return a;
}

mxArray* mxCreateSparse_730(size_t m, size_t n, size_t nzmax, mxComplexity flag) {
  lamina::host::detail::trace_create_sparse(m, n, nzmax);
  mxArray* a = nullptr;
  try {
    const std::size_t stored = nzmax > 0 ? nzmax : 1;
    if (stored > SIZE_MAX / sizeof(double) || n == SIZE_MAX) throw std::bad_alloc();
    if (flag == mxCOMPLEX) {
      mexErrMsgIdAndTxt("lamina_host:contract",
                        "mxCreateSparse_730: complex sparse arrays are "
                        "not offered by this host");
    }
    a = lamina::host::make_sparse(m, n, stored).release();
  } catch (const std::bad_alloc&) {
    mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
  }
  if (auto* call = lamina::host::detail::current_call()) call->created.push_back(a);
  return a;
}

mwIndex* mxGetIr_730(const mxArray* pa) {
  trace("mxGetIr_730", pa);
  if (!pa->sparse) no_data("mxGetIr_730", pa, "row indices (it is not sparse)");
  return pa->ir.get();
}

mwIndex* mxGetJc_730(const mxArray* pa) {
  trace("mxGetJc_730", pa);
  if (!pa->sparse) no_data("mxGetJc_730", pa, "column starts (it is not sparse)");
  return pa->jc.get();
}

// Memory of the call in progress is listed in its context and freed when
// the call ends, however it ends; outside a call it is plain malloc memory.
void* mxMalloc(size_t n) {
  void* p = std::malloc(n > 0 ? n : 1);
  if (p == nullptr) mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
  if (auto* call = lamina::host::detail::current_call()) call->allocations.push_back(p);
  return p;
}

void* mxCalloc(size_t n, size_t size) {
  if (size != 0 && n > SIZE_MAX / size) mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
  void* p = mxMalloc(n * size);
  std::memset(p, 0, n * size);
  return p;
}

void mxFree(void* ptr) {
  if (ptr == nullptr) return;
  if (auto* call = lamina::host::detail::current_call()) {
    auto& a = call->allocations;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] == ptr) {
        a[i] = a.back();
        a.pop_back();
        break;
      }
    }
  }
  std::free(ptr);
}

void mxDestroyArray(mxArray* pa) {
  if (pa == nullptr) return;
  lamina::host::live.fetch_sub(1, std::memory_order_relaxed);
  delete pa;
}

}  // extern "C"
