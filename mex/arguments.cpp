#include "arguments.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "isa.h"

namespace lamina {
namespace mex {
namespace {

// Row counts of 2^31 or more do not fit the kernels' 32-bit counts, and the
// gradient's 3*nV entries must fit as well.
constexpr std::size_t kMaxRows = 2147483647;
constexpr std::size_t kMaxVertices = kMaxRows / 3;

// Raises the host error. The message is formatted here and passed as an
// argument, so that nothing in it is read as a format directive.
bool fail(const char* identifier, const char* format, ...) {
  char message[768];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  mexErrMsgIdAndTxt(identifier, "%s", message);
  return false;
}

// x as a user would type it: integers in full, other values as the shortest
// decimal that reads back as x, NaN and Inf as MATLAB writes them.
struct number {
  char text[32];
  explicit number(double x) {
    if (std::isnan(x)) {
      std::snprintf(text, sizeof text, "NaN");
    } else if (std::isinf(x)) {
      std::snprintf(text, sizeof text, x > 0 ? "Inf" : "-Inf");
    } else if (x == std::trunc(x) && std::fabs(x) < 1e17) {
      std::snprintf(text, sizeof text, "%.0f", x);
    } else {
      for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, x);
        if (std::strtod(text, nullptr) == x) break;
      }
    }
  }
};

struct matrix {
  const char* name;
  const mxArray* array;
  const double* data;
  std::size_t rows;
};

bool is_real_full_double(const char* name, const mxArray* a) {
  if (!mxIsDouble(a)) {
    return fail("lamina:badType",
                "%s must be a real double matrix, but it is of class %s; convert it with "
                "double(%s)",
                name, mxGetClassName(a), name);
  }
  if (mxIsComplex(a)) {
    return fail("lamina:badType", "%s must be real, but it is complex", name);
  }
  if (mxIsSparse(a)) {
    return fail("lamina:badType", "%s must be a full matrix, but it is sparse; use full(%s)", name,
                name);
  }
  return true;
}

// Reads the pointer and row count in that order, after checking the class
// (which makes the pointer a pointer to doubles). An input the plug-in does
// not check (the mask's source_faces and source_vertices) is asked for its
// data only when it is a double array: a host cannot hand out a data
// pointer for a function handle or an object, and Octave aborts the whole
// session when asked to.
bool read_matrix(const char* name, const mxArray* a, bool check, matrix* m) {
  if (check && !is_real_full_double(name, a)) return false;
  m->name = name;
  m->array = a;
  m->data = check || mxIsDouble(a) ? mxGetPr(a) : nullptr;
  m->rows = mxGetM(a);
  return true;
}

// mxGetScalar may be called only on a non-empty numeric or logical array.
bool readable_scalar(const mxArray* a) {
  return (mxIsNumeric(a) || mxIsLogical(a)) && mxGetNumberOfElements(a) > 0;
}

bool read_coefficient(const char* name, const mxArray* a, double* value) {
  if (!(mxIsNumeric(a) || mxIsLogical(a)) || mxIsComplex(a)) {
    return fail("lamina:badType", "%s must be a real numeric scalar, but it is %s%s", name,
                mxIsComplex(a) ? "complex " : "", mxGetClassName(a));
  }
  if (mxGetNumberOfElements(a) == 0) {
    return fail("lamina:badSize", "%s must be a scalar, but it is empty", name);
  }
  *value = mxGetScalar(a);
  return true;
}

// Row count within the 32-bit data model and the expected column count; an
// array with no rows passes whatever its columns, so that [] is an empty table.
bool has_shape(const matrix& m, std::size_t columns, const char* what) {
  const std::size_t n = mxGetN(m.array);
  if (m.rows > 0 && n != columns) {
    return fail("lamina:badSize", "%s must have %zu columns (%s), but it is %zu by %zu", m.name,
                columns, what, m.rows, n);
  }
  return true;
}

bool rows_fit(const matrix& m, std::size_t limit, const char* unit) {
  if (m.rows > limit) {
    return fail("lamina:tooLarge", "%s has %zu rows, but at most %zu %s are supported", m.name,
                m.rows, limit, unit);
  }
  return true;
}

// Index x names a vertex row when its truncation lies in 0 ... nV-1, that is
// when -1 < x < nV; NaN fails both comparisons. Written with & rather than &&
// so that the scans below compile to vector compares.
inline int is_vertex(double x, double nV) { return (x > -1.0) & (x < nV); }

// An opposite vertex is present when it truncates to a non-negative 32-bit
// integer (as index_from_double converts it); anything else (negative, NaN,
// beyond int32) marks a missing wing.
inline int is_present(double x) { return (x > -1.0) & (x < 2147483648.0); }

// The largest truncated index among the checked entries of a table, for the
// hint about 1-based indices. Only computed on the error path.
template <typename Checked>
double largest_index(const double* t, std::size_t rows, int columns, Checked checked) {
  double largest = -1;
  for (std::size_t j = 0; j < rows; ++j) {
    if (!checked(j)) continue;
    for (int k = 0; k < columns; ++k) {
      const double x = std::trunc(t[j + k * rows]);
      if (x > largest) largest = x;
    }
  }
  return largest;
}

bool bad_index(const matrix& m, std::size_t row, int column, std::size_t nV, const char* rule,
               double largest) {
  const double x = m.data[row + column * m.rows];
  const bool one_based = nV > 0 && largest == static_cast<double>(nV);
  if (nV == 0) {
    return fail("lamina:badIndex",
                "%s(%zu,%d) is %s, but source_vertices is empty, so no index is valid", m.name,
                row + 1, column + 1, number(x).text);
  }
  return fail("lamina:badIndex",
              "%s(%zu,%d) is %s, which is not a vertex index: %s must lie in 0 ... %zu for the "
              "%zu rows of source_vertices (indices are 0-based)%s",
              m.name, row + 1, column + 1, number(x).text, rule, nV - 1, nV,
              one_based ? ". The largest index equals the number of vertices: these look "
                          "like MATLAB's 1-based indices; subtract 1"
                        : "");
}

// The scans below run over every index once per call, so they are written to
// vectorise: & and | instead of && and ||, and int flags OR'd together. An
// AVX2 version is taken where the processor has it.

// Whether every one of the n values names a vertex row.
LAMINA_ALWAYS_INLINE bool scan_vertices(const double* t, std::size_t n, double nV) {
  int bad = 0;
  for (std::size_t i = 0; i < n; ++i) bad |= !is_vertex(t[i], nV);
  return bad == 0;
}

// Whether every hinge row of an edge table names vertex rows only.
LAMINA_ALWAYS_INLINE bool scan_hinges(const double* t, std::size_t rows, double nV) {
  int bad = 0;
  for (std::size_t j = 0; j < rows; ++j) {
    const double a = t[j], b = t[j + rows], c = t[j + 2 * rows], d = t[j + 3 * rows];
    const int hinge = is_present(c) & is_present(d);
    const int valid = is_vertex(a, nV) & is_vertex(b, nV) & (c < nV) & (d < nV);
    bad |= hinge & !valid;
  }
  return bad == 0;
}

#if LAMINA_X86_DISPATCH
LAMINA_TARGET_AVX2 bool scan_vertices_avx2(const double* t, std::size_t n, double nV) {
  return scan_vertices(t, n, nV);
}
LAMINA_TARGET_AVX2 bool scan_hinges_avx2(const double* t, std::size_t rows, double nV) {
  return scan_hinges(t, rows, nV);
}
#endif

bool all_vertices(const double* t, std::size_t n, double nV) {
#if LAMINA_X86_DISPATCH
  if (widest_supported_isa() >= isa::avx2) return scan_vertices_avx2(t, n, nV);
#endif
  return scan_vertices(t, n, nV);
}

bool all_hinges_valid(const double* t, std::size_t rows, double nV) {
#if LAMINA_X86_DISPATCH
  if (widest_supported_isa() >= isa::avx2) return scan_hinges_avx2(t, rows, nV);
#endif
  return scan_hinges(t, rows, nV);
}

// The exclusive upper bound of a valid index value. -1 < x < nV matches
// 0 <= trunc(x) < nV only for nV >= 1, since (-1, 0) truncates to 0; with no
// vertices no value may pass.
double index_bound(std::size_t nV) { return nV > 0 ? static_cast<double>(nV) : -1.0; }

bool faces_are_valid(const matrix& f, std::size_t nV) {
  const double n = index_bound(nV);
  const double* t = f.data;
  const std::size_t rows = f.rows;
  if (all_vertices(t, 3 * rows, n)) return true;
  // The offending entry is located only on failure.
  const double largest = largest_index(t, rows, 3, [](std::size_t) { return true; });
  for (std::size_t j = 0; j < rows; ++j) {
    for (int k = 0; k < 3; ++k) {
      if (!is_vertex(t[j + k * rows], n)) {
        return bad_index(f, j, k, nV, "face indices", largest);
      }
    }
  }
  return true;
}

bool edges_are_valid(const matrix& e, std::size_t nV) {
  const double n = index_bound(nV);
  const double* t = e.data;
  const std::size_t rows = e.rows;
  // Boundary rows are never read beyond c and d, so only hinges are checked.
  if (all_hinges_valid(t, rows, n)) return true;
  const auto hinge = [t, rows](std::size_t j) {
    return is_present(t[j + 2 * rows]) & is_present(t[j + 3 * rows]);
  };
  const double largest = largest_index(t, rows, 4, hinge);
  for (std::size_t j = 0; j < rows; ++j) {
    if (!hinge(j)) continue;
    for (int k = 0; k < 4; ++k) {
      if (!is_vertex(t[j + k * rows], n)) {
        return bad_index(e, j, k, nV, "on a row whose c and d are present, a, b, c and d", largest);
      }
    }
  }
  return true;
}

std::int32_t count(std::size_t rows) { return static_cast<std::int32_t>(rows); }

}  // namespace

bool read_shell_inputs(const mxArray* const prhs[], uses what, shell_inputs* in) {
  const bool energy = what == uses::energy;
  matrix deformed, faces, vertices, edges;
  if (!read_matrix("deformed_v", prhs[0], true, &deformed)) return false;
  in->mu = in->eta = 0.0;
  if (energy) {
    if (!read_coefficient("mu", prhs[1], &in->mu)) return false;
    if (!read_coefficient("eta", prhs[2], &in->eta)) return false;
  } else {
    // Read and discarded, as long as reading is safe.
    if (readable_scalar(prhs[1])) (void)mxGetScalar(prhs[1]);
    if (readable_scalar(prhs[2])) (void)mxGetScalar(prhs[2]);
  }
  if (!read_matrix("source_faces", prhs[3], energy, &faces)) return false;
  if (!read_matrix("source_vertices", prhs[4], energy, &vertices)) return false;
  if (!read_matrix("edges", prhs[5], true, &edges)) return false;

  // Shapes and counts.
  if (!rows_fit(vertices, kMaxVertices, "vertices")) return false;
  if (!has_shape(deformed, 3, "x, y, z of each vertex")) return false;
  if (energy && !has_shape(vertices, 3, "x, y, z of each vertex")) return false;
  if (deformed.rows != vertices.rows) {
    return fail("lamina:badSize",
                "deformed_v must have one row per vertex of source_vertices (%zu), but it has %zu",
                vertices.rows, deformed.rows);
  }
  if (energy) {
    if (!rows_fit(faces, kMaxRows, "faces")) return false;
    if (!has_shape(faces, 3, "the three corners of each face")) return false;
  }
  if (!rows_fit(edges, kMaxRows, "edge rows")) return false;
  if (!has_shape(edges, 4, "a, b, c, d of each edge")) return false;

  // Indices.
  if (energy && !faces_are_valid(faces, vertices.rows)) return false;
  if (!edges_are_valid(edges, vertices.rows)) return false;

  in->deformed_v = deformed.data;
  in->source_faces = energy ? faces.data : nullptr;
  in->nF = energy ? count(faces.rows) : 0;
  in->source_vertices = vertices.data;
  in->nV = count(vertices.rows);
  in->edges = edges.data;
  in->nE = count(edges.rows);
  return true;
}

}  // namespace mex
}  // namespace lamina
