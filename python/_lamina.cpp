// lamina._lamina: the NumPy binding of the kernels (lamina.h, hessian.h),
// the edge table builder (edge_table.h) and the prepared shell (shell.h).
//
// Every call goes through the same steps as a MEX gateway (mex/arguments.cpp):
// the class of each argument is decided here, in the order of the arguments,
// and everything else is left to the checks of checks.h, whose input_error
// becomes a Python exception with the plug-ins' identifier and wording
// (message_style::python: 0-based positions, NumPy advice).
//
//   1. With the GIL: the type and number of dimensions of every argument, then
//      check_shell_sizes on the shapes alone, before any array is copied or
//      converted; the outputs are allocated.
//   2. Without the GIL: the face and edge tables are copied into private
//      column-major double buffers, check_shell validates those copies, and
//      the kernels run on them. Another thread that writes into the caller's
//      index arrays meanwhile cannot put an unchecked index in front of a
//      kernel. Vertex positions are read in place when they already have the
//      kernels' layout (a concurrent write there changes numbers, never an
//      address).
//   3. With the GIL: a failed check is raised, the 1-based warning issued.
#include <lamina/checks.h>
#include <lamina/edge_table.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/rest.h>
#include <lamina/shell.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "solve.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

using lamina::input;
using lamina::input_error;
using lamina::uses;
using npy = py::detail::npy_api;

constexpr lamina::message_style kStyle = lamina::message_style::python;
constexpr int kNpyDouble = 12;  // NPY_DOUBLE

// ---------------------------------------------------------------------------
// Exceptions

// The Python classes, created at import and kept for the life of the process.
struct python_classes {
  PyObject* type_error = nullptr;   // lamina.InputTypeError
  PyObject* value_error = nullptr;  // lamina.InputValueError
  PyObject* one_based = nullptr;    // lamina.OneBasedWarning
  PyObject* csc_matrix = nullptr;   // scipy.sparse.csc_matrix, on first use
};
python_classes classes;

// Raises a failed check as lamina.InputTypeError (lamina:badType) or
// lamina.InputValueError (everything else), with the check's message and its
// identifier, argument, 0-based position and value as attributes.
[[noreturn]] void raise(const input_error& e, const char* argument = nullptr,
                        bool type_error = false) {
  const bool type = type_error || std::strcmp(e.identifier, "lamina:badType") == 0;
  PyObject* cls = type ? classes.type_error : classes.value_error;
  py::object exc = py::reinterpret_borrow<py::object>(cls)(e.message);
  exc.attr("identifier") = e.identifier;
  exc.attr("argument") = argument != nullptr ? argument : lamina::input_name(e.argument);
  if (e.row >= 0) {
    exc.attr("position") = py::make_tuple(e.row, e.column);
    exc.attr("value") = e.value;
  }
  PyErr_SetObject(cls, exc.ptr());
  throw py::error_already_set();
}

// An error of lamina's own that is not an input_error of the checks: a
// TypeError when `type` is set, a ValueError otherwise.
[[noreturn]] void raise(bool type, const char* identifier, const char* argument,
                        const std::string& message) {
  input_error e;
  e.identifier = identifier;
  std::snprintf(e.message, sizeof e.message, "%s", message.c_str());
  raise(e, argument, type);
}

// The edge table builder's error (a face that cannot join the mesh), with its
// identifier: lamina:badIndex, lamina:degenerate, lamina:orientation or
// lamina:nonManifold, as lamina_edge_table raises them.
struct table_failure {
  std::string identifier, message;
  explicit operator bool() const { return !identifier.empty(); }
  void set(const lamina::edge_table_error& e) {
    identifier = e.identifier();
    message = e.what();
  }
  void raise_if_set() const {
    if (*this) raise(false, identifier.c_str(), "source_faces", message);
  }
};

// Warns lamina.OneBasedWarning, attributed to the caller of lamina's Python
// wrapper (stack level 2: the wrapper is level 1).
void warn_one_based() {
  if (PyErr_WarnEx(classes.one_based, lamina::one_based_warning(kStyle), 2) < 0) {
    throw py::error_already_set();
  }
}

// ---------------------------------------------------------------------------
// Reading arguments

std::string type_name(py::handle obj) { return Py_TYPE(obj.ptr())->tp_name; }

std::string dtype_name(const py::dtype& d) {
  const py::object s = py::reinterpret_steal<py::object>(PyObject_Str(d.ptr()));
  if (!s) throw py::error_already_set();
  return s.cast<std::string>();
}

bool is_scipy_sparse(py::handle obj) {
  PyObject* module =
      PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj.ptr())), "__module__");
  if (module == nullptr) {
    PyErr_Clear();
    return false;
  }
  const char* name = PyUnicode_Check(module) ? PyUnicode_AsUTF8(module) : nullptr;
  if (name == nullptr) PyErr_Clear();
  const bool sparse = name != nullptr && std::strncmp(name, "scipy.sparse", 12) == 0;
  Py_DECREF(module);
  return sparse;
}

// numpy.asarray(obj), or false when NumPy cannot make an array of it (a
// ragged list, say). Errors other than TypeError and ValueError propagate.
bool as_array(py::handle obj, py::array* a) {
  PyObject* raw =
      npy::get().PyArray_FromAny_(obj.ptr(), nullptr, 0, 0, npy::NPY_ARRAY_ENSUREARRAY_, nullptr);
  if (raw == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError)) {
      throw py::error_already_set();
    }
    PyErr_Clear();
    return false;
  }
  *a = py::reinterpret_steal<py::array>(raw);
  return true;
}

// A NumPy array of float64 (native byte order, aligned), C- or Fortran-
// contiguous: `a` itself when it already is one, a converted copy otherwise.
py::array as_float64(const py::array& a, bool fortran) {
  const int order = fortran ? npy::NPY_ARRAY_F_CONTIGUOUS_ : npy::NPY_ARRAY_C_CONTIGUOUS_;
  PyObject* raw = npy::get().PyArray_FromAny_(
      a.ptr(), npy::get().PyArray_DescrFromType_(kNpyDouble), 0, 0,
      npy::NPY_ARRAY_ENSUREARRAY_ | npy::NPY_ARRAY_FORCECAST_ | npy::NPY_ARRAY_ALIGNED_ | order,
      nullptr);
  if (raw == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::array>(raw);
}

// Whether every value of `a` is a float64 exactly (NaN included): its
// float64 copy converts back to the same values.
bool exactly_float64(const py::array& a) {
  const py::array x = as_float64(a, false);
  static py::object array_equal = py::module_::import("numpy").attr("array_equal");
  return array_equal(x.attr("astype")(a.dtype()), a, "equal_nan"_a = a.dtype().kind() == 'f')
      .cast<bool>();
}

enum class role {
  vertices,  // float64 (or a list of numbers)
  indices    // any real integer or floating type up to 64 bits
};

// The argument as a NumPy array whose type suits its role, or the type error
// the plug-ins raise for it. NumPy arrays keep their type; anything else
// goes through numpy.asarray, and a sequence of Python numbers is accepted as
// vertices as well.
py::array read_array(input which, py::handle obj, role r) {
  py::array a;
  bool converted = false;
  if (py::isinstance<py::array>(obj)) {
    a = py::reinterpret_borrow<py::array>(obj);
  } else {
    if (is_scipy_sparse(obj)) raise(lamina::sparse_array(which, kStyle));
    if (!as_array(obj, &a)) raise(lamina::not_double(which, type_name(obj).c_str(), kStyle));
    converted = true;
  }
  const py::dtype d = a.dtype();
  const char kind = d.kind();
  if (kind == 'c') raise(lamina::complex_array(which, kStyle));
  const bool real = kind == 'f';
  const bool integer = kind == 'i' || kind == 'u';
  // Indices: any integer or real type (truncated toward zero, as the
  // plug-ins read doubles). Vertices: any type whose values float64 holds
  // exactly; float16, float32 and integers of up to 32 bits always do,
  // int64, uint64 and longdouble arrays are checked value by value.
  const bool ok = r == role::vertices ? real || integer : (real && d.itemsize() <= 8) || integer;
  if (ok && r == role::vertices && d.itemsize() > (real ? 8 : 4) && !exactly_float64(a)) {
    raise(lamina::inexact_values(which, dtype_name(d).c_str(), kStyle));
  }
  if (!ok) {
    // What NumPy made of a non-array (a str, None, a list of objects) is
    // named by the argument's own type.
    const bool opaque = kind == 'O' || kind == 'U' || kind == 'S' || kind == 'V';
    const std::string name = converted && opaque ? type_name(obj) : dtype_name(d);
    raise(lamina::not_double(which, name.c_str(), kStyle));
  }
  return a;
}

// The rows and columns of a table: a 2-D array, or an empty 1-D one (no rows).
lamina::matrix_view table_shape(input which, const py::array& a) {
  const int nd = static_cast<int>(a.ndim());
  if (nd == 2)
    return {nullptr, static_cast<std::size_t>(a.shape(0)), static_cast<std::size_t>(a.shape(1))};
  if (nd == 1 && a.shape(0) == 0) return {nullptr, 0, 0};
  std::vector<std::size_t> shape(a.shape(), a.shape() + nd);
  raise(lamina::not_a_table(which, shape.data(), nd, kStyle));
}

// mu or eta: a real number (Python int, float or bool, a NumPy number, or an
// array with one element), as the plug-ins take a real numeric scalar.
double read_coefficient(input which, py::handle obj) {
  PyObject* o = obj.ptr();
  if (PyFloat_Check(o)) return PyFloat_AS_DOUBLE(o);
  if (PyBool_Check(o)) return o == Py_True ? 1.0 : 0.0;
  if (PyLong_Check(o)) {
    const double x = PyLong_AsDouble(o);
    if (x == -1.0 && PyErr_Occurred()) {
      if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
      PyErr_Clear();
      raise(lamina::not_real_scalar(which, "an int beyond the range of float64", false, kStyle));
    }
    return x;
  }
  // The type names say "complex" themselves: complex, numpy.complex128.
  if (PyComplex_Check(o) || PyUnicode_Check(o) || PyBytes_Check(o) || o == Py_None ||
      is_scipy_sparse(obj)) {
    raise(lamina::not_real_scalar(which, type_name(obj).c_str(), false, kStyle));
  }
  const bool is_array = py::isinstance<py::array>(obj);
  py::array a;
  if (is_array) {
    a = py::reinterpret_borrow<py::array>(obj);
  } else if (!as_array(obj, &a)) {
    raise(lamina::not_real_scalar(which, type_name(obj).c_str(), false, kStyle));
  }
  const py::dtype d = a.dtype();
  const char kind = d.kind();
  if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
    const std::string name = is_array ? dtype_name(d) : type_name(obj);
    raise(lamina::not_real_scalar(which, name.c_str(), false, kStyle));
  }
  if (a.size() == 0) raise(lamina::empty_coefficient(which, kStyle));
  if (a.size() > 1) {
    std::vector<std::size_t> shape(a.shape(), a.shape() + a.ndim());
    raise(lamina::not_scalar(which, shape.data(), static_cast<int>(a.ndim()), kStyle));
  }
  const py::array x = as_float64(a, true);
  return *static_cast<const double*>(x.data());
}

// "none", "clamp" or "abs" in any case, with the identifier of lamina_work_hessian's
// 'Project' option, lamina:badOption (an InputTypeError for a value that is
// not a str).
lamina::projection read_projection(py::handle obj) {
  if (!PyUnicode_Check(obj.ptr())) {
    raise(true, "lamina:badOption", "project",
          "project must be 'none', 'clamp' or 'abs', but it is of type " + type_name(obj));
  }
  const std::string s = obj.cast<std::string>();
  // Case-insensitive, as the plug-ins' options: "Clamp" is "clamp".
  std::string lower = s;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower == "none") return lamina::projection::none;
  if (lower == "clamp") return lamina::projection::clamp;
  if (lower == "abs") return lamina::projection::abs;
  raise(false, "lamina:badOption", "project",
        "project must be 'none', 'clamp' or 'abs', but it is '" + s + "'");
}

// "cosine" or "dihedral" in any case, the bending model (bending.h), with the
// identifier of the plug-ins' 'Bending' option, lamina:badOption (an
// InputTypeError for a value that is not a str).
lamina::bending_model read_bending(py::handle obj) {
  const std::string allowed = lamina::bending_model_names();
  if (!PyUnicode_Check(obj.ptr())) {
    raise(true, "lamina:badOption", "bending",
          "bending must be " + allowed + ", but it is of type " + type_name(obj));
  }
  const std::string s = obj.cast<std::string>();
  lamina::bending_model model = lamina::bending_model::cosine;
  // A name with an embedded NUL is no model's name.
  if (s.find('\0') != std::string::npos || !lamina::find_bending_model(s.c_str(), &model)) {
    raise(false, "lamina:badOption", "bending",
          "bending must be " + allowed + ", but it is '" + s + "'");
  }
  return model;
}

// The threads of a call: None or 0 for all cores (the C++ count 0), an int
// n >= 1 for at most n. Any integer type Python can index with is an int
// (numpy.int64 included), a bool is not; anything else is an InputTypeError,
// a negative count or one beyond C's int an InputValueError (lamina:badOption).
int read_threads(py::handle obj) {
  PyObject* o = obj.ptr();
  if (o == Py_None) return 0;
  if (PyBool_Check(o) || !PyIndex_Check(o) || PyFloat_Check(o)) {
    raise(true, "lamina:badOption", "threads",
          "threads must be None or an int of at least 0, but it is of type " + type_name(obj));
  }
  const py::object n = py::reinterpret_steal<py::object>(PyNumber_Index(o));
  if (!n) throw py::error_already_set();
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(n.ptr(), &overflow);
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || v < 0 || v > INT32_MAX) {
    raise(false, "lamina:badOption", "threads",
          "threads must be None (all cores) or an int from 0 to 2147483647, but it is " +
              py::repr(n).cast<std::string>());
  }
  return static_cast<int>(v);
}

// An index table (faces or edges) as read from the caller's array, and its
// private column-major double copy. The copy is made without the GIL.
class index_table {
 public:
  index_table() = default;
  index_table(input which, py::handle obj) {
    py::array a = read_array(which, obj, role::indices);
    view_ = table_shape(which, a);
    read_from(std::move(a));
  }

  // The shape alone, for check_shell_sizes.
  const lamina::matrix_view& shape() const { return view_; }

  // Copies the table (no Python call; run without the GIL) and returns the
  // view of the copy.
  const lamina::matrix_view& copy() {
    const std::size_t n = view_.rows * view_.cols;
    data_.resize(n);
    switch (type_) {
      case 'd':
        copy_as<double>();
        break;
      case 'f':
        copy_as<float>();
        break;
      case 'l':
        copy_as<std::int64_t>();
        break;
      case 'i':
        copy_as<std::int32_t>();
        break;
      case 's':
        copy_as<std::int16_t>();
        break;
      case 'b':
        copy_as<std::int8_t>();
        break;
      case 'L':
        copy_as<std::uint64_t>();
        break;
      case 'I':
        copy_as<std::uint32_t>();
        break;
      case 'S':
        copy_as<std::uint16_t>();
        break;
      case 'B':
        copy_as<std::uint8_t>();
        break;
    }
    view_.data = data_.data();
    return view_;
  }

 private:
  // Where the entries lie and what type they have. The common native types
  // are read as they are; anything else (another byte order, float16) is
  // first converted by NumPy.
  void read_from(py::array a) {
    if (view_.rows * view_.cols == 0) return;
    const py::dtype d = a.dtype();
    const bool native = d.byteorder() == '=' || d.byteorder() == '|';
    type_ = native ? element_code(d.kind(), static_cast<int>(d.itemsize())) : 0;
    if (type_ == 0) {
      a = as_float64(a, true);
      type_ = 'd';
    }
    base_ = static_cast<const char*>(a.data());
    row_stride_ = a.strides(0);
    col_stride_ = a.strides(1);
    keep_ = std::move(a);
  }

  static char element_code(char kind, int size) {
    if (kind == 'f') return size == 8 ? 'd' : size == 4 ? 'f' : 0;
    const char* codes = kind == 'i' ? "bs?i???l" : kind == 'u' ? "BS?I???L" : nullptr;
    if (codes == nullptr || size < 1 || size > 8 || codes[size - 1] == '?') return 0;
    return codes[size - 1];
  }

  // Reads the entries in memory order: a column at a time from a Fortran-
  // ordered array (one memcpy per column for float64), a row at a time from
  // a C-ordered one.
  template <typename T>
  void copy_as() {
    const std::size_t rows = view_.rows, cols = view_.cols;
    double* out = data_.data();
    if (std::is_same<T, double>::value && row_stride_ == sizeof(double)) {
      for (std::size_t c = 0; c < cols; ++c) {
        std::memcpy(out + c * rows, base_ + static_cast<std::ptrdiff_t>(c) * col_stride_,
                    rows * sizeof(double));
      }
    } else if (std::abs(row_stride_) <= std::abs(col_stride_)) {
      for (std::size_t c = 0; c < cols; ++c) {
        const char* column = base_ + static_cast<std::ptrdiff_t>(c) * col_stride_;
        for (std::size_t r = 0; r < rows; ++r) {
          out[r + c * rows] = read<T>(column + static_cast<std::ptrdiff_t>(r) * row_stride_);
        }
      }
    } else {
      for (std::size_t r = 0; r < rows; ++r) {
        const char* row = base_ + static_cast<std::ptrdiff_t>(r) * row_stride_;
        for (std::size_t c = 0; c < cols; ++c) {
          out[r + c * rows] = read<T>(row + static_cast<std::ptrdiff_t>(c) * col_stride_);
        }
      }
    }
  }

  // An entry as a double, from any alignment.
  template <typename T>
  static double read(const char* at) {
    T x;
    std::memcpy(&x, at, sizeof x);
    return static_cast<double>(x);
  }

  lamina::matrix_view view_;
  py::object keep_;
  const char* base_ = nullptr;
  std::ptrdiff_t row_stride_ = 0, col_stride_ = 0;
  char type_ = 0;
  std::vector<double> data_;
};

// A vertex matrix, float64 in the order the kernels read.
struct vertex_table {
  py::array array;
  lamina::matrix_view view;

  vertex_table(input which, py::handle obj) {
    array = read_array(which, obj, role::vertices);
    view = table_shape(which, array);
  }
  // Converts (copying only when needed) once the sizes are checked.
  void convert(bool fortran) {
    array = as_float64(array, fortran);
    view.data = static_cast<const double*>(array.data());
  }
  const double* data() const { return view.data; }
};

// The six arguments of the energy functions, read and checked as the
// plug-ins read and check theirs.
struct shell_call {
  // In the order of reading: deformed_v, mu, eta, source_faces,
  // source_vertices, edges, as the plug-ins read them.
  vertex_table deformed;
  double mu, eta;
  index_table faces;
  vertex_table rest;
  index_table edges;
  lamina::checked_shell checked;
  input_error failure;

  shell_call(py::handle deformed_v, py::handle mu_, py::handle eta_, py::handle source_faces,
             py::handle source_vertices, py::handle edges_)
      : deformed(input::deformed_v, deformed_v),
        mu(read_coefficient(input::mu, mu_)),
        eta(read_coefficient(input::eta, eta_)),
        faces(input::source_faces, source_faces),
        rest(input::source_vertices, source_vertices),
        edges(input::edges, edges_) {
    if (input_error e = lamina::check_shell_sizes(views(), uses::energy, kStyle)) raise(e);
    deformed.convert(true);
    rest.convert(true);
  }

  lamina::shell_views views() const {
    lamina::shell_views v;
    v.deformed_v = deformed.view;
    v.source_faces = faces.shape();
    v.source_vertices = rest.view;
    v.edges = edges.shape();
    return v;
  }

  // Without the GIL: copies the index tables and checks everything.
  bool copy_and_check() {
    lamina::shell_views v = views();
    v.source_faces = faces.copy();
    v.edges = edges.copy();
    failure = lamina::check_shell(v, uses::energy, kStyle, &checked);
    return !failure;
  }

  // With the GIL again: the failed check, or the warning about faces that
  // look 1-based.
  void report() const {
    if (failure) raise(failure);
    if (checked.faces_look_one_based) warn_one_based();
  }

  const double* faces_data() { return faces.shape().data; }
  const double* edges_data() { return edges.shape().data; }
};

// ---------------------------------------------------------------------------
// Outputs

py::array_t<double> new_vertex_array(std::int32_t nV, bool fortran) {
  const std::vector<py::ssize_t> shape{nV, 3};
  if (fortran) return py::array_t<double, py::array::f_style>(shape);
  return py::array_t<double, py::array::c_style>(shape);
}

// The kernels' column-major (nV, 3) gradient into a C-ordered one, the
// layout NumPy users expect and the Shell returns: x, y, z of a vertex side
// by side, so that G.ravel() is a view in the Hessian's order.
void to_row_major(const std::vector<double>& column_major, double* out) {
  const std::size_t n = column_major.size() / 3;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < 3; ++k) out[3 * i + k] = column_major[i + k * n];
  }
}

// The arrays of a compressed-column matrix, filled without the GIL.
struct csc_arrays {
  py::array indptr, indices, data;
  bool wide = false;  // int64 indices (more than 2^31 - 1 entries)

  csc_arrays(std::int64_t n, std::int64_t nnz) : wide(nnz > INT32_MAX) {
    if (wide) {
      indptr = py::array_t<std::int64_t>(n + 1);
      indices = py::array_t<std::int64_t>(nnz);
    } else {
      indptr = py::array_t<std::int32_t>(n + 1);
      indices = py::array_t<std::int32_t>(nnz);
    }
    data = py::array_t<double>(nnz);
  }
  double* values() { return static_cast<double*>(data.mutable_data()); }

  // scipy.sparse.csc_matrix((data, indices, indptr), shape=(n, n)), sharing
  // the arrays.
  py::object matrix(std::int64_t n) const {
    if (classes.csc_matrix == nullptr) {
      py::object cls = py::module_::import("scipy.sparse").attr("csc_matrix");
      classes.csc_matrix = cls.release().ptr();
    }
    return py::reinterpret_borrow<py::object>(classes.csc_matrix)(
        py::make_tuple(data, indices, indptr), "shape"_a = py::make_tuple(n, n), "copy"_a = false);
  }
};

// ---------------------------------------------------------------------------
// The stateless functions

double energy(py::handle deformed_v, py::handle mu, py::handle eta, py::handle source_faces,
              py::handle source_vertices, py::handle edges, py::handle bending_,
              py::handle threads_) {
  shell_call in(deformed_v, mu, eta, source_faces, source_vertices, edges);
  const lamina::bending_model bending = read_bending(bending_);
  const int threads = read_threads(threads_);
  double E = 0;
  {
    py::gil_scoped_release unlocked;
    if (in.copy_and_check()) {
      E = lamina::shell_energy(in.deformed.data(), in.checked.nV, in.mu, in.eta, in.rest.data(),
                               in.faces_data(), in.checked.nF, in.edges_data(), in.checked.nE,
                               bending, threads);
    }
  }
  in.report();
  return E;
}

py::tuple energy_and_gradient(py::handle deformed_v, py::handle mu, py::handle eta,
                              py::handle source_faces, py::handle source_vertices, py::handle edges,
                              py::handle bending_, py::handle threads_) {
  shell_call in(deformed_v, mu, eta, source_faces, source_vertices, edges);
  const lamina::bending_model bending = read_bending(bending_);
  const int threads = read_threads(threads_);
  const std::size_t nV = in.rest.view.rows;
  py::array_t<double> G = new_vertex_array(static_cast<std::int32_t>(nV), false);
  double* g = G.mutable_data();
  double E = 0;
  {
    py::gil_scoped_release unlocked;
    if (in.copy_and_check()) {
      std::vector<double> column_major(3 * nV);
      E = lamina::shell_energy_and_gradient(
          in.deformed.data(), in.checked.nV, in.mu, in.eta, in.rest.data(), in.faces_data(),
          in.checked.nF, in.edges_data(), in.checked.nE, column_major.data(), bending, threads);
      to_row_major(column_major, g);
    }
  }
  in.report();
  return py::make_tuple(E, G);
}

py::tuple energy_gradient_hessian(py::handle deformed_v, py::handle mu, py::handle eta,
                                  py::handle source_faces, py::handle source_vertices,
                                  py::handle edges, py::handle project, py::handle bending_,
                                  py::handle threads_) {
  const lamina::projection p = read_projection(project);
  shell_call in(deformed_v, mu, eta, source_faces, source_vertices, edges);
  const lamina::bending_model bending = read_bending(bending_);
  const int threads = read_threads(threads_);
  std::unique_ptr<lamina::hessian_pattern> pattern;
  {
    py::gil_scoped_release unlocked;
    if (in.copy_and_check()) {
      pattern = std::make_unique<lamina::hessian_pattern>(
          in.faces_data(), in.checked.nF, in.edges_data(), in.checked.nE, in.checked.nV,
          lamina::hessian_layout::interleaved);
    }
  }
  in.report();
  const std::int64_t n = pattern->size();
  csc_arrays H(n, pattern->nnz());
  py::array_t<double> G = new_vertex_array(in.checked.nV, false);
  double* g = G.mutable_data();
  double E;
  {
    py::gil_scoped_release unlocked;
    std::vector<double> column_major(3 * static_cast<std::size_t>(in.checked.nV));
    if (H.wide) {
      pattern->write(static_cast<std::int64_t*>(H.indptr.mutable_data()),
                     static_cast<std::int64_t*>(H.indices.mutable_data()));
    } else {
      pattern->write(static_cast<std::int32_t*>(H.indptr.mutable_data()),
                     static_cast<std::int32_t*>(H.indices.mutable_data()));
    }
    E = lamina::shell_energy_gradient_hessian(in.deformed.data(), in.checked.nV, in.mu, in.eta,
                                              in.rest.data(), in.faces_data(), in.checked.nF,
                                              in.edges_data(), in.checked.nE, p, *pattern,
                                              column_major.data(), H.values(), bending, threads);
    to_row_major(column_major, g);
  }
  return py::make_tuple(E, G, H.matrix(n));
}

// The energy, the gradient, the gradient in the rest positions and (when
// `mixed` is true) the mixed Hessian in the Hessian's interleaved pattern:
// row 3 i + k is coordinate k of the gradient's vertex i, column 3 j + l
// coordinate l of rest vertex j.
py::tuple rest_derivatives(py::handle deformed_v, py::handle mu, py::handle eta,
                           py::handle source_faces, py::handle source_vertices, py::handle edges,
                           py::handle bending_, py::handle threads_, bool mixed) {
  shell_call in(deformed_v, mu, eta, source_faces, source_vertices, edges);
  const lamina::bending_model bending = read_bending(bending_);
  const int threads = read_threads(threads_);
  std::unique_ptr<lamina::hessian_pattern> pattern;
  bool ok;
  {
    py::gil_scoped_release unlocked;
    ok = in.copy_and_check();
    if (ok && mixed) {
      pattern = std::make_unique<lamina::hessian_pattern>(
          in.faces_data(), in.checked.nF, in.edges_data(), in.checked.nE, in.checked.nV,
          lamina::hessian_layout::interleaved);
    }
  }
  in.report();
  const std::int64_t n = 3 * static_cast<std::int64_t>(in.checked.nV);
  std::unique_ptr<csc_arrays> M;
  if (mixed) M = std::make_unique<csc_arrays>(n, pattern->nnz());
  py::array_t<double> G = new_vertex_array(in.checked.nV, false);
  py::array_t<double> GX = new_vertex_array(in.checked.nV, false);
  double* g = G.mutable_data();
  double* gx = GX.mutable_data();
  double E;
  {
    py::gil_scoped_release unlocked;
    const std::size_t nV = static_cast<std::size_t>(in.checked.nV);
    std::vector<double> column_major(3 * nV), rest_column_major(3 * nV);
    if (M && M->wide) {
      pattern->write(static_cast<std::int64_t*>(M->indptr.mutable_data()),
                     static_cast<std::int64_t*>(M->indices.mutable_data()));
    } else if (M) {
      pattern->write(static_cast<std::int32_t*>(M->indptr.mutable_data()),
                     static_cast<std::int32_t*>(M->indices.mutable_data()));
    }
    E = lamina::shell_rest_derivatives(
        in.deformed.data(), in.checked.nV, in.mu, in.eta, in.rest.data(), in.faces_data(),
        in.checked.nF, in.edges_data(), in.checked.nE, column_major.data(),
        rest_column_major.data(), pattern.get(), M ? M->values() : nullptr, bending, threads);
    to_row_major(column_major, g);
    to_row_major(rest_column_major, gx);
  }
  return py::make_tuple(E, G, GX, M ? M->matrix(n) : py::none());
}

// The mask reads deformed_v and edges only; the checks count the vertices by
// the rows of source_vertices, which here are those of deformed_v, and their
// messages are worded accordingly.
void name_deformed_for_source(input_error& e) {
  if (e.argument == input::source_vertices) e.argument = input::deformed_v;
  std::string m = e.message;
  for (std::size_t at; (at = m.find("source_vertices")) != std::string::npos;) {
    m.replace(at, 15, "deformed_v");
  }
  std::snprintf(e.message, sizeof e.message, "%s", m.c_str());
}

py::array_t<bool> hinge_mask(py::handle deformed_v, py::handle edges_) {
  vertex_table deformed(input::deformed_v, deformed_v);
  index_table edges(input::edges, edges_);
  lamina::shell_views v;
  v.deformed_v = deformed.view;
  v.source_vertices = {nullptr, deformed.view.rows, 3};
  v.edges = edges.shape();
  if (input_error e = lamina::check_shell_sizes(v, uses::mask, kStyle)) {
    name_deformed_for_source(e);
    raise(e);
  }
  deformed.convert(true);
  v.deformed_v = deformed.view;
  const std::size_t nE = edges.shape().rows;
  py::array_t<bool> mask(static_cast<py::ssize_t>(nE));
  bool* out = mask.mutable_data();
  input_error failure;
  {
    py::gil_scoped_release unlocked;
    v.edges = edges.copy();
    lamina::checked_shell checked;
    failure = lamina::check_shell(v, uses::mask, kStyle, &checked);
    if (!failure) {
      std::vector<double> flags(nE);
      lamina::flag_valid_edges(v.edges.data, checked.nE, nullptr, deformed.data(), checked.nV,
                               flags.data());
      for (std::size_t j = 0; j < nE; ++j) out[j] = flags[j] != 0.0;
    }
  }
  if (failure) {
    name_deformed_for_source(failure);
    raise(failure);
  }
  return mask;
}

// (nE, 4) int64 from a column-major double edge table.
py::array_t<std::int64_t> edges_as_int64(const std::vector<double>& edges, std::size_t nE) {
  py::array_t<std::int64_t> out({static_cast<py::ssize_t>(nE), py::ssize_t{4}});
  std::int64_t* e = out.mutable_data();
  for (std::size_t j = 0; j < nE; ++j) {
    // Every value is a vertex index or a missing wing (the builder's -1, or
    // any value a given table marks one with, written -1): never a cast of
    // NaN or of a value beyond 64 bits.
    for (int k = 0; k < 4; ++k) {
      const double x = edges[j + k * nE];
      e[4 * j + k] = x > -1.0 && x < 2147483648.0 ? static_cast<std::int64_t>(x) : -1;
    }
  }
  return out;
}

py::array_t<std::int64_t> edge_table(py::handle source_faces) {
  index_table faces(input::source_faces, source_faces);
  lamina::shell_views v;
  v.has_deformed = false;
  v.source_faces = faces.shape();
  if (input_error e = lamina::check_shell_sizes(v, uses::energy, kStyle)) raise(e);
  lamina::edge_table t;
  table_failure failure;
  bool no_zero_index = false;
  {
    py::gil_scoped_release unlocked;
    const lamina::matrix_view& f = faces.copy();
    // Faces with no index 0 look 1-based, as the energy functions warn.
    no_zero_index = f.rows > 0;
    for (std::size_t i = 0; i < 3 * f.rows && no_zero_index; ++i) {
      no_zero_index = !(f.data[i] > -1.0 && f.data[i] < 1.0);
    }
    try {
      t = lamina::build_edge_table(f.data, static_cast<std::int32_t>(f.rows));
    } catch (const lamina::edge_table_error& e) {
      failure.set(e);
    }
  }
  failure.raise_if_set();
  if (no_zero_index) warn_one_based();
  return edges_as_int64(t.edges, static_cast<std::size_t>(t.nE));
}

// Raises lamina:edgeMismatch (or the faces' lamina:badIndex) unless every
// row of edges belongs to the faces; returns None.
void check_edge_table(py::handle source_faces, py::handle edges_) {
  index_table faces(input::source_faces, source_faces);
  index_table edges(input::edges, edges_);
  lamina::shell_views v;
  v.has_deformed = false;
  v.source_faces = faces.shape();
  v.edges = edges.shape();
  if (input_error e = lamina::check_shell_sizes(v, uses::energy, kStyle)) raise(e);
  input_error failure;
  {
    py::gil_scoped_release unlocked;
    const lamina::matrix_view& f = faces.copy();
    const lamina::matrix_view& e = edges.copy();
    failure = lamina::check_edge_table(f, e, kStyle);
  }
  if (failure && std::strcmp(failure.identifier, "lamina:outOfMemory") == 0) throw std::bad_alloc();
  if (failure) raise(failure);
}

// ---------------------------------------------------------------------------
// The prepared shell

// lamina::shell with a lock: its workspace serves one call at a time, so
// calls on one object from several threads take turns (copy the object to
// evaluate in parallel).
class prepared_shell {
 public:
  prepared_shell(py::handle source_faces, py::handle source_vertices, py::handle mu_,
                 py::handle eta_, py::handle edges_, py::handle bending_, py::handle threads_) {
    index_table faces(input::source_faces, source_faces);
    vertex_table rest(input::source_vertices, source_vertices);
    const double mu = read_coefficient(input::mu, mu_);
    const double eta = read_coefficient(input::eta, eta_);
    const lamina::bending_model bending = read_bending(bending_);
    const int threads = read_threads(threads_);
    const bool given = !edges_.is_none();
    index_table edges;
    if (given) edges = index_table(input::edges, edges_);
    lamina::shell_views v;
    v.has_deformed = false;
    v.source_faces = faces.shape();
    v.source_vertices = rest.view;
    v.edges = edges.shape();
    if (input_error e = lamina::check_shell_sizes(v, uses::energy, kStyle)) raise(e);
    rest.convert(true);
    v.source_vertices = rest.view;

    input_error failure;
    lamina::checked_shell checked;
    table_failure table_error;
    {
      py::gil_scoped_release unlocked;
      v.source_faces = faces.copy();
      v.edges = edges.copy();
      failure = lamina::check_shell(v, uses::energy, kStyle, &checked);
      // A given table must belong to the faces (the shell checks it too; here
      // the failure keeps its position and value for the Python exception).
      // (A shell without faces, the bending term alone, takes any table.)
      if (!failure && given && checked.nF > 0) {
        failure = lamina::check_edge_table(v.source_faces, v.edges, kStyle);
      }
      if (!failure) {
        lamina::shell_options options;
        options.layout = lamina::hessian_layout::interleaved;
        options.style = kStyle;
        options.bending = bending;
        options.threads = threads;
        // An empty given table is still a given one: a pointer, not null.
        static const double no_rows[1] = {0.0};
        const double* e = !given ? nullptr : v.edges.data != nullptr ? v.edges.data : no_rows;
        try {
          shell_ = std::make_unique<lamina::shell>(v.source_faces.data, checked.nF, rest.data(),
                                                   checked.nV, mu, eta, e, checked.nE, options);
          // The rest mesh as given, for pickling (Shell.faces, Shell.vertices).
          faces_.assign(v.source_faces.data, v.source_faces.data + 3 * v.source_faces.rows);
          rest_.assign(rest.data(), rest.data() + 3 * rest.view.rows);
        } catch (const lamina::edge_table_error& e) {
          table_error.set(e);
        }
      }
    }
    if (failure && std::strcmp(failure.identifier, "lamina:outOfMemory") == 0)
      throw std::bad_alloc();
    if (failure) raise(failure);
    table_error.raise_if_set();
    if (shell_->faces_look_one_based()) warn_one_based();
  }

  prepared_shell(const prepared_shell& other) {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> lock(other.mutex_);
    shell_ = std::make_unique<lamina::shell>(*other.shell_);
    faces_ = other.faces_;
    rest_ = other.rest_;
  }

  const lamina::shell& get() const { return *shell_; }

  void set_threads(py::handle threads) {
    const int n = read_threads(threads);
    std::lock_guard<std::mutex> lock(mutex_);
    shell_->set_threads(n);
  }

  // New rest positions, (nV, 3) of any real type float64 holds exactly; the
  // mesh, the pattern, mu, eta and the options stay.
  void set_rest(py::handle source_vertices) {
    vertex_table rest(input::source_vertices, source_vertices);
    const std::size_t nV = static_cast<std::size_t>(shell_->vertex_count());
    if (rest.view.rows != nV || rest.view.cols != 3) {
      raise(false, "lamina:badSize", "source_vertices",
            "source_vertices must have shape (" + std::to_string(nV) +
                ", 3), the shell's vertices, but it has shape (" + std::to_string(rest.view.rows) +
                ", " + std::to_string(rest.view.cols) + ")");
    }
    rest.convert(true);
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> lock(mutex_);
    shell_->set_rest(rest.data(), lamina::vertex_order::column_major);
    rest_.assign(rest.data(), rest.data() + 3 * nV);
  }

  py::tuple rest_derivatives(py::handle deformed_v, bool mixed) {
    const py::array q = positions(deformed_v);
    const double* x = static_cast<const double*>(q.data());
    const std::int32_t nV = shell_->vertex_count();
    py::array_t<double> G = new_vertex_array(nV, false);
    py::array_t<double> GX = new_vertex_array(nV, false);
    double* g = G.mutable_data();
    double* gx = GX.mutable_data();
    const std::vector<std::int64_t>& col_start = shell_->hessian_col_start();
    const std::vector<std::int64_t>& row_index = shell_->hessian_row_index();
    const std::int64_t n = static_cast<std::int64_t>(col_start.size()) - 1;
    std::unique_ptr<csc_arrays> M;
    if (mixed) M = std::make_unique<csc_arrays>(n, static_cast<std::int64_t>(row_index.size()));
    double E;
    {
      py::gil_scoped_release unlocked;
      if (M) copy_pattern(col_start, row_index, M.get());
      std::lock_guard<std::mutex> lock(mutex_);
      E = shell_->rest_derivatives(x, g, gx, M ? M->values() : nullptr,
                                   lamina::vertex_order::row_major);
    }
    return py::make_tuple(E, G, GX, M ? M->matrix(n) : py::none());
  }

  // The faces as given, (nF, 3) int64 (indices truncated as the kernels
  // read them; all of them checked vertex indices).
  py::array_t<std::int64_t> faces() const {
    const std::size_t nF = faces_.size() / 3;
    py::array_t<std::int64_t> out({static_cast<py::ssize_t>(nF), py::ssize_t{3}});
    std::int64_t* f = out.mutable_data();
    for (std::size_t j = 0; j < nF; ++j) {
      for (std::size_t k = 0; k < 3; ++k)
        f[3 * j + k] = static_cast<std::int64_t>(faces_[j + k * nF]);
    }
    return out;
  }

  // The rest positions as given, (nV, 3) float64, C order.
  py::array_t<double> vertices() const {
    const std::size_t nV = rest_.size() / 3;
    py::array_t<double> out = new_vertex_array(static_cast<std::int32_t>(nV), false);
    to_row_major(rest_, out.mutable_data());
    return out;
  }

  double energy(py::handle deformed_v) {
    const py::array q = positions(deformed_v);
    const double* x = static_cast<const double*>(q.data());
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> lock(mutex_);
    return shell_->energy(x, lamina::vertex_order::row_major);
  }

  py::tuple energy_and_gradient(py::handle deformed_v) {
    const py::array q = positions(deformed_v);
    const double* x = static_cast<const double*>(q.data());
    py::array_t<double> G = new_vertex_array(shell_->vertex_count(), false);
    double* g = G.mutable_data();
    double E;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      E = shell_->energy_and_gradient(x, g, lamina::vertex_order::row_major);
    }
    return py::make_tuple(E, G);
  }

  py::tuple energy_gradient_hessian(py::handle deformed_v, py::handle project) {
    const lamina::projection p = read_projection(project);
    const py::array q = positions(deformed_v);
    const double* x = static_cast<const double*>(q.data());
    const std::vector<std::int64_t>& col_start = shell_->hessian_col_start();
    const std::vector<std::int64_t>& row_index = shell_->hessian_row_index();
    const std::int64_t n = static_cast<std::int64_t>(col_start.size()) - 1;
    csc_arrays H(n, static_cast<std::int64_t>(row_index.size()));
    py::array_t<double> G = new_vertex_array(shell_->vertex_count(), false);
    double* g = G.mutable_data();
    double E;
    {
      py::gil_scoped_release unlocked;
      copy_pattern(col_start, row_index, &H);
      std::lock_guard<std::mutex> lock(mutex_);
      E = shell_->energy_gradient_hessian(x, p, g, H.values(), lamina::vertex_order::row_major);
    }
    return py::make_tuple(E, G, H.matrix(n));
  }

 private:
  // The shell's cached pattern into a csc_matrix's index arrays (no Python
  // call; run without the GIL).
  static void copy_pattern(const std::vector<std::int64_t>& col_start,
                           const std::vector<std::int64_t>& row_index, csc_arrays* out) {
    if (out->wide) {
      std::memcpy(out->indptr.mutable_data(), col_start.data(),
                  col_start.size() * sizeof(std::int64_t));
      std::memcpy(out->indices.mutable_data(), row_index.data(),
                  row_index.size() * sizeof(std::int64_t));
    } else {
      auto* ip = static_cast<std::int32_t*>(out->indptr.mutable_data());
      auto* ix = static_cast<std::int32_t*>(out->indices.mutable_data());
      for (std::size_t i = 0; i < col_start.size(); ++i)
        ip[i] = static_cast<std::int32_t>(col_start[i]);
      for (std::size_t i = 0; i < row_index.size(); ++i)
        ix[i] = static_cast<std::int32_t>(row_index[i]);
    }
  }

  // deformed_v as the shell reads it: float64, C order (x, y, z of each
  // vertex side by side), one row per vertex.
  py::array positions(py::handle deformed_v) const {
    vertex_table q(input::deformed_v, deformed_v);
    if (input_error e = lamina::check_deformed(
            q.view, static_cast<std::size_t>(shell_->vertex_count()), kStyle)) {
      raise(e);
    }
    q.convert(false);
    return q.array;
  }

  std::unique_ptr<lamina::shell> shell_;
  std::vector<double> faces_, rest_;  // column-major copies of the rest mesh
  mutable std::mutex mutex_;
};

// ---------------------------------------------------------------------------
// Docstrings

const char* const kModuleDoc = R"(The elastic energy of a thin shell given as a triangle mesh.

A rest mesh (source_vertices, source_faces) is compared with a deformed copy
(deformed_v: the same vertices at new positions). The energy is a membrane
(stretching) term over the faces, with stiffness mu, plus a bending term over
the interior edges (hinges), with stiffness eta. Results are bit for bit
those of lamina's C++ kernels and MATLAB/Octave plug-ins.

Arrays:
  deformed_v, source_vertices  (nV, 3) float64: one vertex per row
  source_faces                 (nF, 3) integer or float: 0-based corner indices
  edges                        (nE, 4) integer or float: rows (a, b, c, d), as
                               edge_table builds them; c or d -1 for a missing wing

Bad input raises InputTypeError (a TypeError) or InputValueError (a ValueError)
with the plug-ins' message; its `identifier` attribute holds the plug-ins'
error identifier ("lamina:badIndex", ...).
)";

const char* const kEnergyDoc =
    R"(energy(deformed_v, mu, eta, source_faces, source_vertices, edges) -> float

The total energy of the shell: membrane plus bending.

Parameters
  deformed_v       (nV, 3) float64  deformed vertex positions
  mu               real scalar      membrane stiffness
  eta              real scalar      bending stiffness
  source_faces     (nF, 3)          corner indices of each face (0-based; any
                                    integer or float type, floats truncated)
  source_vertices  (nV, 3) float64  rest vertex positions
  edges            (nE, 4)          edge table (see edge_table)

Returns the energy as a float, bit for bit the energy energy_and_gradient
returns. The kernels read Fortran-ordered (column-major) float64 vertex
arrays in place and copy any other; the face and edge tables are copied on
every call. For many evaluations of one mesh, Shell is faster. The GIL is
released while the energy is evaluated.

Raises InputTypeError / InputValueError for input the plug-ins reject.
Warns OneBasedWarning when no face index is 0 (1-based faces, probably).
)";

const char* const kGradientDoc =
    R"(energy_and_gradient(deformed_v, mu, eta, source_faces, source_vertices, edges) -> (float, ndarray)

The total energy and its gradient with respect to deformed_v.

Parameters as for energy.

Returns
  E  float            the energy (the bits of energy())
  G  (nV, 3) float64  dE/d deformed_v, G[i, k] for coordinate k of vertex i;
                      C-ordered, as Shell's (G.ravel() is a view, in the
                      Hessian's order 3 i + k)

The GIL is released while the kernels run.
)";

const char* const kHessianDoc =
    R"(energy_gradient_hessian(deformed_v, mu, eta, source_faces, source_vertices, edges, project="none") -> (float, ndarray, scipy.sparse.csc_matrix)

The energy, its gradient and its Hessian.

Parameters as for energy, and
  project  "none"   the exact second derivative
           "clamp"  each element block's negative eigenvalues set to 0
           "abs"    each element block's eigenvalues replaced by their
                    absolute values
           ("clamp" and "abs" make the matrix positive semi-definite, as
           projected Newton methods need)

Returns
  E  float                 the energy (the bits of energy())
  G  (nV, 3) float64       the gradient (the bits of energy_and_gradient())
  H  (3 nV, 3 nV) csc_matrix  the Hessian in G.ravel() order: row and column
                           3 i + k belong to coordinate k of vertex i. Exactly
                           symmetric; its pattern depends on the faces and
                           edges only (entries of pairs of vertices sharing a
                           face or a hinge row are stored, zeros included).

The GIL is released while the kernels run.
)";

const char* const kMaskDoc = R"(hinge_mask(deformed_v, edges) -> ndarray

Which edge rows carry a bending term at the deformed positions.

Parameters
  deformed_v  (nV, 3) float64  deformed vertex positions
  edges       (nE, 4)          edge table

Returns an (nE,) bool array: True for every row whose two wings are present
and whose deformed wing normals are both at least 1e-10 long (or NaN), that
is, every row the bending term evaluates.
)";

const char* const kEdgeTableDoc = R"(edge_table(source_faces) -> ndarray

The edge table of a triangle mesh.

Parameters
  source_faces  (nF, 3)  0-based corner indices (integer or float), each face
                         counter-clockwise (or each clockwise): neighbours
                         traverse their shared edge in opposite directions

Returns an (nE, 4) int64 array, one row (a, b, c, d) per undirected edge, in
the order the edges are first met walking the faces (each face's edges as
(i0, i1), (i1, i2), (i2, i0)), oriented as in that first face: c is the vertex
opposite the edge in the face where it runs from a to b, d the one opposite
in the face where it runs from b to a, or -1 on the boundary.

Raises InputValueError with identifier lamina:badIndex (an index that is
negative, NaN or beyond 32 bits), lamina:degenerate (a face repeats a vertex),
lamina:nonManifold (an edge of three or more faces) or lamina:orientation
(inconsistently oriented neighbours); the message names faces and edge.
)";

const char* const kShellDoc = R"(Shell(source_faces, source_vertices, mu, eta, edges=None)

A rest mesh prepared for many evaluations: the rest side of every face and
hinge, the connectivity and the Hessian's pattern are computed once. Every
result is bit for bit that of the stateless functions on the same input.

Parameters
  source_faces     (nF, 3)          corner indices (0-based)
  source_vertices  (nV, 3) float64  rest positions
  mu, eta          real scalars     membrane and bending stiffness
  edges            (nE, 4) or None  the edge table; None builds it from the
                                    faces (as edge_table does)

The arrays are copied: later changes to them do not affect the shell.
Positions are read in C order (x, y, z of a vertex side by side), in place
when deformed_v is a C-contiguous float64 array; gradients are C-ordered.

One object evaluates one call at a time (calls from several threads take
turns); copy.copy(shell) gives an independent copy for another thread.
)";

}  // namespace

PYBIND11_MODULE(_lamina, m) {
  m.doc() = kModuleDoc;
  // The docstrings open with signatures of their own, in the terms of the
  // type stub (__init__.pyi), rather than pybind11's "handle" arguments.
  py::options options;
  options.disable_function_signatures();
#ifdef LAMINA_VERSION
  m.attr("__version__") = LAMINA_VERSION;
#endif

  // The exception classes: InputError, and its TypeError and ValueError kinds.
  const py::object type = py::module_::import("builtins").attr("type");
  const auto make_class = [&](const char* name, py::tuple bases, const char* doc) {
    py::dict ns("__doc__"_a = doc, "__module__"_a = "lamina", "identifier"_a = py::none(),
                "argument"_a = py::none(), "position"_a = py::none(), "value"_a = py::none());
    py::object cls = type(name, bases, ns);
    m.attr(name) = cls;
    return cls;
  };
  const py::object base =
      make_class("InputError", py::make_tuple(py::handle(PyExc_Exception)),
                 "Input lamina's checks reject. Attributes: identifier (the plug-ins' error\n"
                 "identifier, e.g. 'lamina:badIndex'), argument (the argument's name),\n"
                 "position ((row, column), 0-based, or None) and value (the offending\n"
                 "entry, or None).");
  classes.type_error =
      make_class("InputTypeError", py::make_tuple(base, py::handle(PyExc_TypeError)),
                 "An argument of the wrong type (identifier 'lamina:badType').")
          .release()
          .ptr();
  classes.value_error =
      make_class("InputValueError", py::make_tuple(base, py::handle(PyExc_ValueError)),
                 "An argument of the wrong size, count or index values.")
          .release()
          .ptr();
  {
    py::dict ns("__doc__"_a = "source_faces has no index 0: probably 1-based indices.",
                "__module__"_a = "lamina", "identifier"_a = lamina::kOneBasedIdentifier);
    py::object cls = type("OneBasedWarning", py::make_tuple(py::handle(PyExc_UserWarning)), ns);
    m.attr("OneBasedWarning") = cls;
    classes.one_based = cls.release().ptr();
  }

  // The keyword options bending and threads (the wrappers in __init__.py
  // give them their defaults and documentation).
  m.def("energy", &energy, kEnergyDoc, "deformed_v"_a, "mu"_a, "eta"_a, "source_faces"_a,
        "source_vertices"_a, "edges"_a, py::kw_only(), "bending"_a = "cosine",
        "threads"_a = py::none());
  m.def("energy_and_gradient", &energy_and_gradient, kGradientDoc, "deformed_v"_a, "mu"_a, "eta"_a,
        "source_faces"_a, "source_vertices"_a, "edges"_a, py::kw_only(), "bending"_a = "cosine",
        "threads"_a = py::none());
  m.def("energy_gradient_hessian", &energy_gradient_hessian, kHessianDoc, "deformed_v"_a, "mu"_a,
        "eta"_a, "source_faces"_a, "source_vertices"_a, "edges"_a, "project"_a = "none",
        py::kw_only(), "bending"_a = "cosine", "threads"_a = py::none());
  m.def("rest_derivatives", &rest_derivatives,
        "rest_derivatives(deformed_v, mu, eta, source_faces, source_vertices, edges, *, "
        "bending='cosine', threads=None, mixed=True) -> (float, ndarray, ndarray, csc_matrix or "
        "None) (see lamina.rest_derivatives)",
        "deformed_v"_a, "mu"_a, "eta"_a, "source_faces"_a, "source_vertices"_a, "edges"_a,
        py::kw_only(), "bending"_a = "cosine", "threads"_a = py::none(), "mixed"_a = true);
  m.def("hinge_mask", &hinge_mask, kMaskDoc, "deformed_v"_a, "edges"_a);
  m.def("edge_table", &edge_table, kEdgeTableDoc, "source_faces"_a);
  m.def("check_edge_table", &check_edge_table,
        "check_edge_table(source_faces, edges) -> None (see lamina.check_edge_table)",
        "source_faces"_a, "edges"_a);

  py::class_<prepared_shell>(m, "Shell", kShellDoc)
      .def(py::init<py::handle, py::handle, py::handle, py::handle, py::handle, py::handle,
                    py::handle>(),
           "source_faces"_a, "source_vertices"_a, "mu"_a, "eta"_a, "edges"_a = py::none(),
           py::kw_only(), "bending"_a = "cosine", "threads"_a = py::none())
      .def("set_threads", &prepared_shell::set_threads, "threads"_a,
           "set_threads(threads) -> None\n\nThe threads of each later call: None or 0 for all "
           "cores, n >= 1 for at most n.")
      .def("set_rest", &prepared_shell::set_rest, "source_vertices"_a,
           "set_rest(source_vertices) -> None\n\nNew rest positions ((nV, 3)); see "
           "lamina.Shell.set_rest.")
      .def("rest_derivatives", &prepared_shell::rest_derivatives, "deformed_v"_a, "mixed"_a = true,
           "rest_derivatives(deformed_v, mixed=True) -> (float, ndarray, ndarray, csc_matrix or "
           "None)\n\nSee lamina.Shell.rest_derivatives.")
      .def("energy", &prepared_shell::energy, "deformed_v"_a,
           "energy(deformed_v) -> float\n\nThe energy at deformed_v ((nV, 3) float64); the bits "
           "of lamina.energy.")
      .def("energy_and_gradient", &prepared_shell::energy_and_gradient, "deformed_v"_a,
           "energy_and_gradient(deformed_v) -> (float, ndarray)\n\nThe energy and its gradient "
           "((nV, 3) float64, C-ordered); the bits of lamina.energy_and_gradient.")
      .def("energy_gradient_hessian", &prepared_shell::energy_gradient_hessian, "deformed_v"_a,
           "project"_a = "none",
           "energy_gradient_hessian(deformed_v, project='none') -> (float, ndarray, csc_matrix)\n\n"
           "The energy, the gradient ((nV, 3), C-ordered) and the (3 nV, 3 nV) Hessian in\n"
           "G.ravel() order; the bits of lamina.energy_gradient_hessian.")
      .def(
          "copy", [](const prepared_shell& s) { return std::make_unique<prepared_shell>(s); },
          "copy() -> Shell\n\nAn independent copy, for another thread.")
      .def("__copy__", [](const prepared_shell& s) { return std::make_unique<prepared_shell>(s); })
      .def(
          "__deepcopy__",
          [](const prepared_shell& s, py::handle) { return std::make_unique<prepared_shell>(s); },
          "memo"_a)
      .def_property_readonly(
          "vertex_count", [](const prepared_shell& s) { return s.get().vertex_count(); },
          "nV, the rows of source_vertices.")
      .def_property_readonly(
          "face_count", [](const prepared_shell& s) { return s.get().face_count(); },
          "nF, the rows of source_faces.")
      .def_property_readonly(
          "edge_count", [](const prepared_shell& s) { return s.get().edge_count(); },
          "nE, the rows of the edge table.")
      .def_property_readonly(
          "hinge_count", [](const prepared_shell& s) { return s.get().hinge_count(); },
          "The edge rows with both wings present (c and d).")
      .def_property_readonly(
          "mu", [](const prepared_shell& s) { return s.get().mu(); }, "The membrane stiffness.")
      .def_property_readonly(
          "bending",
          [](const prepared_shell& s) { return lamina::bending_model_name(s.get().bending()); },
          "The bending model: 'cosine' or 'dihedral'.")
      .def_property_readonly(
          "threads", [](const prepared_shell& s) { return s.get().threads(); },
          "The threads of each call: 0 for all cores, n >= 1 for at most n.")
      .def_property_readonly(
          "eta", [](const prepared_shell& s) { return s.get().eta(); }, "The bending stiffness.")
      .def_property_readonly(
          "edges",
          [](const prepared_shell& s) {
            return edges_as_int64(s.get().edges(), static_cast<std::size_t>(s.get().edge_count()));
          },
          "The edge table in use (given or built), (nE, 4) int64 (a copy).")
      .def_property_readonly("faces", &prepared_shell::faces,
                             "The faces as given, (nF, 3) int64 (a copy).")
      .def_property_readonly("vertices", &prepared_shell::vertices,
                             "The rest positions as given, (nV, 3) float64 (a copy).")
      .def("__repr__", [](const prepared_shell& s) {
        const lamina::shell& x = s.get();
        return "<lamina.Shell: " + std::to_string(x.vertex_count()) + " vertices, " +
               std::to_string(x.face_count()) + " faces, " + std::to_string(x.edge_count()) +
               " edge rows (" + std::to_string(x.hinge_count()) +
               " hinges), mu=" + py::repr(py::float_(x.mu())).cast<std::string>() +
               ", eta=" + py::repr(py::float_(x.eta())).cast<std::string>() + ">";
      });

  lamina_python::register_solve(
      m, [](py::handle s) { return prepared_shell(s.cast<const prepared_shell&>()).get(); });
}
