// The input checks of <lamina/checks.h>.
//
// They are linked into the MEX plug-ins, which may import nothing but their
// host's functions and the C library, so this file uses no part of the C++
// library that needs linking: messages go into fixed buffers with snprintf.
#include <lamina/checks.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "simd/isa.h"

namespace lamina {
namespace {

// Row counts of 2^31 or more do not fit the kernels' 32-bit counts, and the
// gradient's 3*nV entries must fit as well.
constexpr std::size_t kMaxRows = 2147483647;
constexpr std::size_t kMaxVertices = kMaxRows / 3;

const char* const kBadType = "lamina:badType";
const char* const kBadSize = "lamina:badSize";
const char* const kTooLarge = "lamina:tooLarge";
const char* const kBadIndex = "lamina:badIndex";

input_error make_error(const char* identifier, input which, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

input_error make_error(const char* identifier, input which, const char* format, ...) {
  input_error e;
  e.identifier = identifier;
  e.argument = which;
  va_list args;
  va_start(args, format);
  std::vsnprintf(e.message, sizeof e.message, format, args);
  va_end(args);
  return e;
}

// x as a user would type it: integers in full, other values as the shortest
// decimal that reads back as x, NaN and Inf as MATLAB writes them (and
// Python reads them: float('Inf')).
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

// "edges(2,3)" (1-based) or "edges[1, 2]" (0-based).
struct position {
  char text[96];
  position(input which, std::size_t row, std::size_t column, message_style style) {
    if (style == message_style::matlab) {
      std::snprintf(text, sizeof text, "%s(%zu,%zu)", input_name(which), row + 1, column + 1);
    } else {
      std::snprintf(text, sizeof text, "%s[%zu, %zu]", input_name(which), row, column);
    }
  }
};

// Row count within the 32-bit data model.
input_error rows_fit(input which, const matrix_view& m, std::size_t limit, const char* unit) {
  if (m.rows > limit) {
    return make_error(kTooLarge, which, "%s has %zu rows, but at most %zu %s are supported",
                      input_name(which), m.rows, limit, unit);
  }
  return {};
}

// The expected column count; an array with no rows passes whatever its
// columns, so that [] is an empty table.
input_error has_columns(input which, const matrix_view& m, std::size_t columns, const char* what) {
  if (m.rows > 0 && m.cols != columns) {
    return make_error(kBadSize, which, "%s must have %zu columns (%s), but it is %zu by %zu",
                      input_name(which), columns, what, m.rows, m.cols);
  }
  return {};
}

// Index x names a vertex row when its truncation lies in 0 ... nV-1, that is
// when -1 < x < nV; NaN fails both comparisons. Written with & rather than &&
// so that the scans below compile to vector compares.
inline int is_vertex(double x, double bound) { return (x > -1.0) & (x < bound); }

// An opposite vertex is present when it truncates to a non-negative 32-bit
// integer (as index_from_double converts it); anything else (negative, NaN,
// beyond int32) marks a missing wing.
inline int is_present(double x) { return (x > -1.0) & (x < 2147483648.0); }

// Truncates to 0: -1 < x < 1.
inline int is_zero_index(double x) { return (x > -1.0) & (x < 1.0); }

// The exclusive upper bound of a valid index value. -1 < x < nV matches
// 0 <= trunc(x) < nV only for nV >= 1, since (-1, 0) truncates to 0; with no
// vertices no value may pass.
double index_bound(std::size_t nV) { return nV > 0 ? static_cast<double>(nV) : -1.0; }

// The scans run over every index on every call, so they are written to
// vectorise: & and | instead of && and ||, int flags OR'd together.
struct scan_faces {
  // Whether every one of the n values names a vertex row; *zero tells
  // whether any of them is the index 0.
  template <class Isa>
  static LAMINA_ALWAYS_INLINE bool run(const double* t, std::size_t n, double bound, int* zero) {
    int bad = 0, z = 0;
    for (std::size_t i = 0; i < n; ++i) {
      bad |= !is_vertex(t[i], bound);
      z |= is_zero_index(t[i]);
    }
    *zero = z;
    return bad == 0;
  }
};

struct scan_hinges {
  // Whether every hinge row of an edge table names vertex rows only.
  template <class Isa>
  static LAMINA_ALWAYS_INLINE bool run(const double* t, std::size_t rows, double bound) {
    int bad = 0;
    for (std::size_t j = 0; j < rows; ++j) {
      const double a = t[j], b = t[j + rows], c = t[j + 2 * rows], d = t[j + 3 * rows];
      const int hinge = is_present(c) & is_present(d);
      const int valid = is_vertex(a, bound) & is_vertex(b, bound) & (c < bound) & (d < bound);
      bad |= hinge & !valid;
    }
    return bad == 0;
  }
};

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

input_error bad_index(input which, const matrix_view& m, std::size_t row, int column,
                      std::size_t nV, const char* rule, double largest, message_style style) {
  const double x = m.data[row + column * m.rows];
  const position at(which, row, static_cast<std::size_t>(column), style);
  input_error e;
  if (nV == 0) {
    e = make_error(kBadIndex, which, "%s is %s, but source_vertices is empty, so no index is valid",
                   at.text, number(x).text);
  } else {
    const bool one_based = largest == static_cast<double>(nV);
    const char* hint = !one_based ? ""
                       : style == message_style::matlab
                           ? ". The largest index equals the number of vertices: these look like "
                             "MATLAB's 1-based indices; subtract 1"
                           : ". The largest index equals the number of vertices: these look like "
                             "1-based indices; subtract 1";
    e = make_error(kBadIndex, which,
                   "%s is %s, which is not a vertex index: %s must lie in 0 ... %zu for the %zu "
                   "rows of source_vertices (indices are 0-based)%s",
                   at.text, number(x).text, rule, nV - 1, nV, hint);
  }
  e.row = static_cast<std::int64_t>(row);
  e.column = column;
  e.value = x;
  return e;
}

input_error check_faces(const matrix_view& f, std::size_t nV, message_style style, bool* has_zero) {
  const double bound = index_bound(nV);
  const double* t = f.data;
  const std::size_t rows = f.rows;
  int zero = 0;
  if (dispatch<scan_faces>(preferred_isa(), t, 3 * rows, bound, &zero)) {
    *has_zero = zero != 0;
    return {};
  }
  // The offending entry is located only on failure.
  const double largest = largest_index(t, rows, 3, [](std::size_t) { return true; });
  for (std::size_t j = 0; j < rows; ++j) {
    for (int k = 0; k < 3; ++k) {
      if (!is_vertex(t[j + k * rows], bound)) {
        return bad_index(input::source_faces, f, j, k, nV, "face indices", largest, style);
      }
    }
  }
  return {};
}

input_error check_edges(const matrix_view& e, std::size_t nV, message_style style) {
  const double bound = index_bound(nV);
  const double* t = e.data;
  const std::size_t rows = e.rows;
  // Boundary rows are never read beyond c and d, so only hinges are checked.
  if (dispatch<scan_hinges>(preferred_isa(), t, rows, bound)) return {};
  const auto hinge = [t, rows](std::size_t j) {
    return is_present(t[j + 2 * rows]) & is_present(t[j + 3 * rows]);
  };
  const double largest = largest_index(t, rows, 4, hinge);
  for (std::size_t j = 0; j < rows; ++j) {
    if (!hinge(j)) continue;
    for (int k = 0; k < 4; ++k) {
      if (!is_vertex(t[j + k * rows], bound)) {
        return bad_index(input::edges, e, j, k, nV,
                         "on a row whose c and d are present, a, b, c and d", largest, style);
      }
    }
  }
  return {};
}

std::int32_t count(std::size_t rows) { return static_cast<std::int32_t>(rows); }

}  // namespace

const char* const kOneBasedIdentifier = "lamina:oneBased";

const char* input_name(input which) {
  switch (which) {
    case input::deformed_v:
      return "deformed_v";
    case input::mu:
      return "mu";
    case input::eta:
      return "eta";
    case input::source_faces:
      return "source_faces";
    case input::source_vertices:
      return "source_vertices";
    case input::edges:
      return "edges";
  }
  return "?";
}

const char* one_based_warning(message_style style) {
  return style == message_style::matlab
             ? "source_faces has no index 0: these look like MATLAB's 1-based indices, and the "
               "energy would be that of another mesh. lamina's indices are 0-based; pass F - 1"
             : "source_faces has no index 0: these look like 1-based indices, and the energy "
               "would be that of another mesh. lamina's indices are 0-based; pass faces - 1";
}

input_error check_deformed(const matrix_view& deformed_v, std::size_t nV, message_style) {
  if (input_error e = has_columns(input::deformed_v, deformed_v, 3, "x, y, z of each vertex")) {
    return e;
  }
  if (deformed_v.rows != nV) {
    return make_error(
        kBadSize, input::deformed_v,
        "deformed_v must have one row per vertex of source_vertices (%zu), but it has %zu", nV,
        deformed_v.rows);
  }
  return {};
}

input_error check_shell_sizes(const shell_views& v, uses what, message_style style) {
  const bool energy = what == uses::energy;
  const std::size_t nV = v.source_vertices.rows;
  if (input_error e =
          rows_fit(input::source_vertices, v.source_vertices, kMaxVertices, "vertices")) {
    return e;
  }
  if (v.has_deformed) {
    if (input_error e = has_columns(input::deformed_v, v.deformed_v, 3, "x, y, z of each vertex")) {
      return e;
    }
  }
  if (energy) {
    if (input_error e =
            has_columns(input::source_vertices, v.source_vertices, 3, "x, y, z of each vertex")) {
      return e;
    }
  }
  if (v.has_deformed) {
    if (input_error e = check_deformed(v.deformed_v, nV, style)) return e;
  }
  if (energy) {
    if (input_error e = rows_fit(input::source_faces, v.source_faces, kMaxRows, "faces")) return e;
    if (input_error e =
            has_columns(input::source_faces, v.source_faces, 3, "the three corners of each face")) {
      return e;
    }
  }
  if (input_error e = rows_fit(input::edges, v.edges, kMaxRows, "edge rows")) return e;
  if (input_error e = has_columns(input::edges, v.edges, 4, "a, b, c, d of each edge")) return e;
  return {};
}

input_error check_shell(const shell_views& v, uses what, message_style style,
                        checked_shell* checked) {
  const bool energy = what == uses::energy;
  const std::size_t nV = v.source_vertices.rows;
  if (input_error e = check_shell_sizes(v, what, style)) return e;

  bool has_zero = true;
  if (energy) {
    if (input_error e = check_faces(v.source_faces, nV, style, &has_zero)) return e;
  }
  if (input_error e = check_edges(v.edges, nV, style)) return e;

  if (checked != nullptr) {
    checked->nV = count(nV);
    checked->nF = energy ? count(v.source_faces.rows) : 0;
    checked->nE = count(v.edges.rows);
    checked->faces_look_one_based = energy && v.source_faces.rows > 0 && !has_zero;
  }
  return {};
}

input_error not_double(input which, const char* class_name, message_style style) {
  const char* name = input_name(which);
  if (style == message_style::matlab) {
    return make_error(kBadType, which,
                      "%s must be a real double matrix, but it is of class %s; convert it with "
                      "double(%s)",
                      name, class_name, name);
  }
  return make_error(kBadType, which,
                    "%s must be a real float64 array, but it is of type %s; convert it with "
                    "numpy.asarray(%s, dtype=float)",
                    name, class_name, name);
}

input_error complex_array(input which, message_style) {
  return make_error(kBadType, which, "%s must be real, but it is complex", input_name(which));
}

input_error sparse_array(input which, message_style style) {
  const char* name = input_name(which);
  return style == message_style::matlab
             ? make_error(kBadType, which,
                          "%s must be a full matrix, but it is sparse; use full(%s)", name, name)
             : make_error(kBadType, which,
                          "%s must be a dense array, but it is sparse; use %s.toarray()", name,
                          name);
}

input_error not_real_scalar(input which, const char* class_name, bool complex, message_style) {
  return make_error(kBadType, which, "%s must be a real numeric scalar, but it is %s%s",
                    input_name(which), complex ? "complex " : "", class_name);
}

input_error empty_coefficient(input which, message_style) {
  return make_error(kBadSize, which, "%s must be a scalar, but it is empty", input_name(which));
}

namespace {

// "(5,)", "(2, 3, 4)" as NumPy writes a shape; "2x3x4" as MATLAB does.
struct shape_text {
  char text[160];
  shape_text(const std::size_t* shape, int ndim, message_style style) {
    std::size_t n = 0;
    const bool python = style == message_style::python;
    const auto put = [&](const char* format, std::size_t x) {
      if (n < sizeof text) n += std::snprintf(text + n, sizeof text - n, format, x);
    };
    text[0] = 0;
    if (python) put("(", 0);
    for (int k = 0; k < ndim; ++k) put(k == 0 ? "%zu" : python ? ", %zu" : "x%zu", shape[k]);
    if (python) {
      if (ndim == 1) put(",", 0);
      put(")", 0);
    }
  }
};

// The columns each table has, and what they hold.
void columns_of(input which, std::size_t* columns, const char** what) {
  switch (which) {
    case input::source_faces:
      *columns = 3, *what = "the three corners of each face";
      return;
    case input::edges:
      *columns = 4, *what = "a, b, c, d of each edge";
      return;
    default:
      *columns = 3, *what = "x, y, z of each vertex";
      return;
  }
}

}  // namespace

input_error not_a_table(input which, const std::size_t* shape, int ndim, message_style style) {
  std::size_t columns;
  const char* what;
  columns_of(which, &columns, &what);
  const shape_text s(shape, ndim, style);
  return style == message_style::python
             ? make_error(kBadSize, which,
                          "%s must be a 2-D array with %zu columns (%s), but it has shape %s",
                          input_name(which), columns, what, s.text)
             : make_error(kBadSize, which,
                          "%s must be a matrix with %zu columns (%s), but it is %s",
                          input_name(which), columns, what, s.text);
}

input_error not_scalar(input which, const std::size_t* shape, int ndim, message_style style) {
  const shape_text s(shape, ndim, style);
  return style == message_style::python
             ? make_error(kBadSize, which, "%s must be a scalar, but it has shape %s",
                          input_name(which), s.text)
             : make_error(kBadSize, which, "%s must be a scalar, but it is %s", input_name(which),
                          s.text);
}

}  // namespace lamina
