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

// "edges(2,3)" (1-based), "edges[1, 2]" or "row 1, column 2 of edges"
// (0-based).
struct position {
  char text[96];
  position(input which, std::size_t row, std::size_t column, message_style style) {
    if (style == message_style::matlab) {
      std::snprintf(text, sizeof text, "%s(%zu,%zu)", input_name(which), row + 1, column + 1);
    } else if (style == message_style::python) {
      std::snprintf(text, sizeof text, "%s[%zu, %zu]", input_name(which), row, column);
    } else {
      std::snprintf(text, sizeof text, "row %zu, column %zu of %s", row, column, input_name(which));
    }
  }
};

// A whole row: "edges(2,:)", "edges[1]" or "row 1 of edges".
struct row_position {
  char text[96];
  row_position(input which, std::size_t row, message_style style) {
    if (style == message_style::matlab) {
      std::snprintf(text, sizeof text, "%s(%zu,:)", input_name(which), row + 1);
    } else if (style == message_style::python) {
      std::snprintf(text, sizeof text, "%s[%zu]", input_name(which), row);
    } else {
      std::snprintf(text, sizeof text, "row %zu of %s", row, input_name(which));
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
                       : style == message_style::python
                           ? ". The largest index equals the number of vertices: these look like "
                             "1-based indices; subtract 1"
                           : ". The largest index equals the number of vertices: these look like "
                             "1-based indices";
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
         : style == message_style::python
             ? "source_faces has no index 0: these look like 1-based indices, and the energy "
               "would be that of another mesh. lamina's indices are 0-based; pass faces - 1"
             : "source_faces has no index 0: these look like 1-based indices, and the energy "
               "would be that of another mesh. lamina's indices are 0-based";
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
  if (style == message_style::cpp) {
    return make_error(kBadType, which, "%s must hold doubles, but it holds %s", name, class_name);
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
         : style == message_style::python
             ? make_error(kBadType, which,
                          "%s must be a dense array, but it is sparse; use %s.toarray()", name,
                          name)
             : make_error(kBadType, which, "%s must be a dense array, but it is sparse", name);
}

input_error not_real_scalar(input which, const char* class_name, bool complex, message_style) {
  return make_error(kBadType, which, "%s must be a real numeric scalar, but it is %s%s",
                    input_name(which), complex ? "complex " : "", class_name);
}

input_error inexact_values(input which, const char* type_name, message_style) {
  const char* name = input_name(which);
  return make_error(kBadType, which,
                    "%s must be a real float64 array, or hold values float64 represents exactly, "
                    "but it is of type %s and holds values float64 cannot represent; convert it "
                    "with numpy.asarray(%s, dtype=float) to round them",
                    name, type_name, name);
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
    const bool python = style != message_style::matlab;
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
  return style != message_style::matlab
             ? make_error(kBadSize, which,
                          "%s must be a 2-D array with %zu columns (%s), but it has shape %s",
                          input_name(which), columns, what, s.text)
             : make_error(kBadSize, which,
                          "%s must be a matrix with %zu columns (%s), but it is %s",
                          input_name(which), columns, what, s.text);
}

input_error not_scalar(input which, const std::size_t* shape, int ndim, message_style style) {
  const shape_text s(shape, ndim, style);
  return style != message_style::matlab
             ? make_error(kBadSize, which, "%s must be a scalar, but it has shape %s",
                          input_name(which), s.text)
             : make_error(kBadSize, which, "%s must be a scalar, but it is %s", input_name(which),
                          s.text);
}

input_error check_table_pointer(input which, std::int64_t rows, const void* data, message_style) {
  if (rows < 0) {
    input_error e =
        make_error(kBadSize, which, "%s has %lld rows, but a row count cannot be negative",
                   input_name(which), static_cast<long long>(rows));
    e.value = static_cast<double>(rows);
    return e;
  }
  // The size before the pointer: a count beyond 32 bits is refused as such.
  const bool vertices = which == input::source_vertices || which == input::deformed_v;
  const char* unit = vertices ? "vertices" : which == input::edges ? "edge rows" : "faces";
  const matrix_view shape{nullptr, static_cast<std::size_t>(rows), 0};
  if (input_error e = rows_fit(which, shape, vertices ? kMaxVertices : kMaxRows, unit)) return e;
  if (rows > 0 && data == nullptr) {
    return make_error(kBadType, which, "%s is a null pointer, but it has %lld rows",
                      input_name(which), static_cast<long long>(rows));
  }
  return {};
}

namespace {

const char* const kEdgeMismatch = "lamina:edgeMismatch";
const char* const kOutOfMemory = "lamina:outOfMemory";

// The sides of the faces, for the edge table check: the directed edge
// (u, v) of a face whose third vertex is w, and the edge row that claimed
// it as a wing (-1: none yet). An open-addressing hash table with linear
// probing keyed on (u, v); a key may repeat (two faces running along the
// same edge in the same direction, as an inconsistently oriented or
// non-manifold mesh has), and every lookup walks the whole probe run of its
// key. Built with malloc: the checks link into the plug-ins, which may
// import nothing but the C library from outside their host.
struct face_side {
  std::int32_t u, v, w, row;
};

// Trivially destructible on purpose: a destructor would make the callers
// need C++ unwinding support (a personality routine from libstdc++), which
// the plug-ins may not import. release() frees it.
class face_sides {
 public:
  void release() { std::free(slots_); }

  // Room for `sides` face sides whose vertices are at most `largest`.
  bool allocate(std::size_t sides, std::size_t largest) {
    // A load of at most 3/4.
    std::size_t n = 16;
    while (n < sides + sides / 3 + 1) n *= 2;
    // Where the vertex numbers are about as dense as a mesh's (a vertex has
    // about six sides starting at it, three per face), the sides of vertex u
    // start their probe at slot 8 u: they lie side by side, in vertex order,
    // and the lookups follow the mesh's own locality instead of jumping
    // across the whole table. Otherwise the key is hashed.
    local_ = 8 * (largest + 1) <= 4 * n;
    if (local_) {
      while (n < 8 * (largest + 1)) n *= 2;
    }
    slots_ = static_cast<face_side*>(std::malloc(n * sizeof(face_side)));
    if (slots_ == nullptr) return false;
    mask_ = n - 1;
    for (std::size_t i = 0; i < n; ++i) slots_[i].u = -1;
    return true;
  }

  void insert(std::int32_t u, std::int32_t v, std::int32_t w) {
    std::size_t i = hash(u, v);
    while (slots_[i].u >= 0) i = (i + 1) & mask_;
    slots_[i] = {u, v, w, -1};
  }

  // The side (u, v, w) not yet claimed, else the claimed one (whose row
  // says by which row), else null; *edge_found tells whether any face has
  // the directed edge (u, v).
  face_side* find(std::int32_t u, std::int32_t v, std::int32_t w, bool* edge_found) const {
    face_side* claimed = nullptr;
    *edge_found = false;
    for (std::size_t i = hash(u, v); slots_[i].u >= 0; i = (i + 1) & mask_) {
      face_side& s = slots_[i];
      if (s.u != u || s.v != v) continue;
      *edge_found = true;
      if (s.w != w) continue;
      if (s.row < 0) return &s;
      claimed = &s;
    }
    return claimed;
  }

 private:
  std::size_t hash(std::int32_t u, std::int32_t v) const {
    if (local_) return (8 * static_cast<std::size_t>(u)) & mask_;
    const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(u)) << 32) |
                              static_cast<std::uint32_t>(v);
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & mask_;
  }

  face_side* slots_ = nullptr;
  std::size_t mask_ = 0;
  bool local_ = false;
};

// The truncation of a present index (is_present), as a 32-bit integer.
std::int32_t present_index(double x) { return static_cast<std::int32_t>(x); }

// "(0, 4, 2, -1)": a row's values as the user gave them.
struct row_text {
  char text[160];
  row_text(const double* t, std::size_t rows, std::size_t j) {
    std::snprintf(text, sizeof text, "(%s, %s, %s, %s)", number(t[j]).text,
                  number(t[j + rows]).text, number(t[j + 2 * rows]).text,
                  number(t[j + 3 * rows]).text);
  }
};

input_error edge_mismatch(const matrix_view& e, std::size_t j, int column, message_style style,
                          const char* format, ...) __attribute__((format(printf, 5, 6)));

input_error edge_mismatch(const matrix_view& e, std::size_t j, int column, message_style style,
                          const char* format, ...) {
  char why[400];
  va_list args;
  va_start(args, format);
  std::vsnprintf(why, sizeof why, format, args);
  va_end(args);
  const row_position at(input::edges, j, style);
  input_error err =
      make_error(kEdgeMismatch, input::edges, "%s is %s, which does not belong to source_faces: %s",
                 at.text, row_text(e.data, e.rows, j).text, why);
  err.row = static_cast<std::int64_t>(j);
  err.column = column;
  err.value = e.data[j + static_cast<std::size_t>(column) * e.rows];
  return err;
}

input_error match_rows(const matrix_view& f, const matrix_view& e, message_style style,
                       face_sides& sides);

}  // namespace

input_error check_edge_table(const matrix_view& f, const matrix_view& e, message_style style) {
  if (input_error err = rows_fit(input::source_faces, f, kMaxRows, "faces")) return err;
  if (input_error err = has_columns(input::source_faces, f, 3, "the three corners of each face")) {
    return err;
  }
  if (input_error err = rows_fit(input::edges, e, kMaxRows, "edge rows")) return err;
  if (input_error err = has_columns(input::edges, e, 4, "a, b, c, d of each edge")) return err;
  // Face indices: vertex indices of 32 bits (the row count of the vertices
  // is not known here).
  const std::size_t nF = f.rows, nE = e.rows;
  double largest = 0;
  for (std::size_t j = 0; j < nF; ++j) {
    for (int k = 0; k < 3; ++k) {
      const double x = f.data[j + k * nF];
      if (x > largest) largest = x;
      if (!is_present(x)) {
        const position at(input::source_faces, j, static_cast<std::size_t>(k), style);
        input_error err = make_error(
            kBadIndex, input::source_faces,
            "%s is %s, which is not a vertex index: face indices must lie in 0 ... 2147483647 "
            "(indices are 0-based)",
            at.text, number(x).text);
        err.row = static_cast<std::int64_t>(j);
        err.column = k;
        err.value = x;
        return err;
      }
    }
  }
  if (nE == 0) return {};

  face_sides sides;
  if (!sides.allocate(3 * nF, static_cast<std::size_t>(largest))) {
    return make_error(kOutOfMemory, input::edges,
                      "there is not enough memory to check edges against %zu faces", nF);
  }
  const input_error result = match_rows(f, e, style, sides);
  sides.release();
  return result;
}

namespace {

// The rows of e against the sides of the faces f (check_edge_table).
input_error match_rows(const matrix_view& f, const matrix_view& e, message_style style,
                       face_sides& sides) {
  const std::size_t nF = f.rows, nE = e.rows;
  for (std::size_t j = 0; j < nF; ++j) {
    const std::int32_t i0 = present_index(f.data[j]), i1 = present_index(f.data[j + nF]),
                       i2 = present_index(f.data[j + 2 * nF]);
    sides.insert(i0, i1, i2);
    sides.insert(i1, i2, i0);
    sides.insert(i2, i0, i1);
  }

  const double* t = e.data;
  for (std::size_t j = 0; j < nE; ++j) {
    const double a = t[j], b = t[j + nE], c = t[j + 2 * nE], d = t[j + 3 * nE];
    if (!is_present(a) || !is_present(b)) {
      return edge_mismatch(e, j, is_present(a) ? 1 : 0, style,
                           "a and b must be the vertices of an edge of a face");
    }
    const std::int32_t ia = present_index(a), ib = present_index(b);
    bool ab = false, ba = false;
    // The wing (a, b, c), then (b, a, d).
    const struct {
      double x;
      std::int32_t u, v;
      int column;
      const char* role;
    } wings[2] = {{c, ia, ib, 2,
                   "c must be the vertex opposite the edge in a face that runs "
                   "from a to b"},
                  {d, ib, ia, 3,
                   "d must be the vertex opposite the edge in a face that runs "
                   "from b to a"}};
    for (const auto& wing : wings) {
      if (!is_present(wing.x)) continue;
      const std::int32_t w = present_index(wing.x);
      bool edge_found = false;
      face_side* s = sides.find(wing.u, wing.v, w, &edge_found);
      if (s == nullptr) {
        if (edge_found) {
          return edge_mismatch(e, j, wing.column, style,
                               "no face is (%d, %d, %d) or a rotation of it; %s", wing.u, wing.v, w,
                               wing.role);
        }
        return edge_mismatch(e, j, wing.column, style, "no face runs from %d to %d; %s", wing.u,
                             wing.v, wing.role);
      }
      if (s->row >= 0) {
        const row_position other(input::edges, static_cast<std::size_t>(s->row), style);
        return edge_mismatch(e, j, wing.column, style,
                             "its wing (%d, %d, %d) is already the wing of %s, and a face side "
                             "belongs to one row only",
                             wing.u, wing.v, w, other.text);
      }
      s->row = static_cast<std::int32_t>(j);
      (wing.column == 2 ? ab : ba) = true;
    }
    if (!ab && !ba) {
      // Both wings missing: the row carries no term, but it must still be
      // an edge of the mesh.
      bool found = false;
      sides.find(ia, ib, -1, &found);
      if (!found) sides.find(ib, ia, -1, &found);
      if (!found) {
        return edge_mismatch(e, j, 0, style, "no face has the edge (%d, %d)", ia, ib);
      }
    }
  }
  return {};
}

}  // namespace

}  // namespace lamina
