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
#include <vector>

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
  // Cells: m n elements; structs: m n elements of fields.size() values each
  // (element i, field f at i * fields.size() + f). Owned; null when empty.
  std::vector<mxArray*> children;
  std::vector<std::string> fields;
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
  if (cls == mxCELL_CLASS) a->children.assign(m * n, nullptr);
  live.fetch_add(1, std::memory_order_relaxed);
  return a;
}

// An array created inside a MEX call belongs to the call until it is
// returned or stored in a container.
mxArray* created(mxArray* a) {
  if (auto* call = detail::current_call()) call->created.push_back(a);
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

array make_logical(std::size_t m, std::size_t n, const std::vector<bool>& values) {
  if (values.size() != m * n) throw std::invalid_argument("make_logical: wrong number of values");
  array a = make_array(mxLOGICAL_CLASS, m, n);
  for (std::size_t i = 0; i < values.size(); ++i) a->real[i] = values[i] ? 1 : 0;
  return a;
}

std::vector<std::string> field_names(const mxArray* a) {
  if (a->cls != mxSTRUCT_CLASS) throw std::invalid_argument("field_names: not a struct");
  return a->fields;
}

const mxArray* field(const mxArray* a, const std::string& name, std::size_t index) {
  if (a->cls != mxSTRUCT_CLASS) throw std::invalid_argument("field: not a struct");
  for (std::size_t f = 0; f < a->fields.size(); ++f) {
    if (a->fields[f] == name && index < a->m * a->n) {
      return a->children[index * a->fields.size() + f];
    }
  }
  throw std::invalid_argument("field: no field " + name);
}

const mxArray* cell(const mxArray* a, std::size_t index) {
  if (a->cls != mxCELL_CLASS || index >= a->children.size()) {
    throw std::invalid_argument("cell: not a cell array, or no such element");
  }
  return a->children[index];
}

std::string text(const mxArray* a) {
  if (a->cls != mxCHAR_CLASS) throw std::invalid_argument("text: not a char array");
  std::string t;
  for (std::size_t i = 0; i < a->m * a->n; ++i) {
    std::uint16_t c;
    std::memcpy(&c, a->real.get() + 2 * i, sizeof c);
    t.push_back(static_cast<char>(c));
  }
  return t;
}

std::vector<bool> logicals(const mxArray* a) {
  if (a->cls != mxLOGICAL_CLASS) throw std::invalid_argument("logicals: not a logical array");
  std::vector<bool> v(a->m * a->n);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = a->real[i] != 0;
  return v;
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
using lamina::host::created;
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

mxLogical* mxGetLogicals(const mxArray* pa) {
  trace("mxGetLogicals", pa);
  if (pa->cls != mxLOGICAL_CLASS || pa->sparse) no_data("mxGetLogicals", pa, "logical data");
  return reinterpret_cast<mxLogical*>(pa->real.get());
}

mxArray* mxCreateDoubleScalar(double value) {
  lamina::host::detail::trace_text("mxCreateDoubleScalar");
  mxArray* a = lamina::host::make_double(1, 1, {value}).release();
  return created(a);
}

mxArray* mxCreateLogicalScalar(mxLogical value) {
  lamina::host::detail::trace_text("mxCreateLogicalScalar");
  mxArray* a = lamina::host::make_array(mxLOGICAL_CLASS, 1, 1).release();
  a->real[0] = value ? 1 : 0;
  return created(a);
}

mxArray* mxCreateLogicalMatrix_730(size_t m, size_t n) {
  lamina::host::detail::trace_text("mxCreateLogicalMatrix_730");
  mxArray* a = nullptr;
  try {
    if (n != 0 && m > SIZE_MAX / n) throw std::bad_alloc();
    a = lamina::host::make_array(mxLOGICAL_CLASS, m, n).release();
  } catch (const std::bad_alloc&) {
    mexErrMsgIdAndTxt("MATLAB:nomem", "Out of memory.");
  }
  return created(a);
}

mxArray* mxCreateString(const char* str) {
  lamina::host::detail::trace_text("mxCreateString");
  mxArray* a = lamina::host::make_char(str != nullptr ? str : "").release();
  return created(a);
}

mxArray* mxCreateStructMatrix_730(size_t m, size_t n, int nfields, const char** fieldnames) {
  lamina::host::detail::trace_text("mxCreateStructMatrix_730");
  if (nfields < 0 || (nfields > 0 && fieldnames == nullptr)) {
    contract_violation("mxCreateStructMatrix_730", "negative field count or no field names");
  }
  std::vector<std::string> names;
  for (int f = 0; f < nfields; ++f) {
    if (fieldnames[f] == nullptr || fieldnames[f][0] == 0) {
      contract_violation("mxCreateStructMatrix_730", "a field name is null or empty");
    }
    for (const std::string& earlier : names) {
      if (earlier == fieldnames[f])
        contract_violation("mxCreateStructMatrix_730", "duplicate field");
    }
    names.emplace_back(fieldnames[f]);
  }
  mxArray* a = lamina::host::make_array(mxSTRUCT_CLASS, m, n).release();
  a->fields = names;
  a->children.assign(m * n * names.size(), nullptr);
  return created(a);
}

mxArray* mxCreateCellMatrix_730(size_t m, size_t n) {
  lamina::host::detail::trace_text("mxCreateCellMatrix_730");
  return created(lamina::host::make_array(mxCELL_CLASS, m, n).release());
}

namespace {

// Stores value in slot, which the container owns; what it replaces goes
// back to the call (freed when the call ends), or is destroyed outside one.
void store(const char* function, mxArray*& slot, mxArray* value) {
  auto* call = lamina::host::detail::current_call();
  if (value != nullptr && call != nullptr && !lamina::host::detail::claim(*call, value)) {
    contract_violation(function,
                       "the value is not an array this call created and has not stored yet");
  }
  mxArray* old = slot;
  slot = value;
  if (old != nullptr) {
    if (call != nullptr) {
      call->created.push_back(old);
    } else {
      mxDestroyArray(old);
    }
  }
}

}  // namespace

void mxSetField_730(mxArray* pm, size_t index, const char* fieldname, mxArray* value) {
  trace("mxSetField_730", pm);
  if (pm->cls != mxSTRUCT_CLASS || index >= pm->m * pm->n || fieldname == nullptr) {
    contract_violation("mxSetField_730", "not a struct array, or an index beyond its elements");
  }
  for (std::size_t f = 0; f < pm->fields.size(); ++f) {
    if (pm->fields[f] == fieldname) {
      store("mxSetField_730", pm->children[index * pm->fields.size() + f], value);
      return;
    }
  }
  contract_violation("mxSetField_730", "the struct has no field of that name");
}

mxArray* mxGetField_730(const mxArray* pm, size_t index, const char* fieldname) {
  trace("mxGetField_730", pm);
  if (pm->cls != mxSTRUCT_CLASS || index >= pm->m * pm->n || fieldname == nullptr) return nullptr;
  for (std::size_t f = 0; f < pm->fields.size(); ++f) {
    if (pm->fields[f] == fieldname) return pm->children[index * pm->fields.size() + f];
  }
  return nullptr;
}

void mxSetCell_730(mxArray* pm, size_t index, mxArray* value) {
  trace("mxSetCell_730", pm);
  if (pm->cls != mxCELL_CLASS || index >= pm->children.size()) {
    contract_violation("mxSetCell_730", "not a cell array, or an index beyond its elements");
  }
  store("mxSetCell_730", pm->children[index], value);
}

void mxDestroyArray(mxArray* pa) {
  if (pa == nullptr) return;
  for (mxArray* child : pa->children) mxDestroyArray(child);
  lamina::host::live.fetch_sub(1, std::memory_order_relaxed);
  delete pa;
}

}  // extern "C"
