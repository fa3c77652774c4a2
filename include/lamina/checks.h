// Checking the inputs of the energy functions before any kernel reads them.
//
// The kernels check nothing (lamina.h): an index that is not a vertex row
// would make them read or write outside an array. Every caller that takes
// arrays from a user runs these checks first: the MEX gateways, the Python
// binding and lamina::shell. They touch no host object and raise nothing:
// they return an input_error, which each caller turns into its own kind of
// error (a MATLAB/Octave host error, a Python exception, a C++ exception),
// with the same identifier and wording everywhere.
//
// Identifiers:
//   lamina:badType   an array is not a real, full double matrix, or mu / eta
//                    is not a real numeric scalar (the host glue decides the
//                    class; the wording is formed here)
//   lamina:badSize   wrong column count; deformed_v without one row per row
//                    of source_vertices; an empty mu or eta
//   lamina:tooLarge  more rows than 32-bit counts allow (nV, nF, nE and 3 nV
//                    below 2^31)
//   lamina:badIndex  a face index, or an index of an edge row whose c and d
//                    are both present, that does not truncate to a vertex
//                    row 0 ... nV-1
//   lamina:edgeMismatch  (check_edge_table only) an edge row that does not
//                    belong to the faces
//   lamina:outOfMemory   (check_edge_table only) no memory for its lookup table
// The message names the argument, the position of the offending entry and
// its value. Geometry is never checked: degenerate faces and NaN coordinates
// are the kernels' business.
#ifndef LAMINA_CHECKS_H
#define LAMINA_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace lamina {

// The six inputs, in the order the energy functions take them.
enum class input { deformed_v, mu, eta, source_faces, source_vertices, edges };

// The name of an input as users know it: "deformed_v", "mu", ...
const char* input_name(input which);

// How messages write positions and advice: MATLAB's 1-based "edges(2,3)" and
// "double(edges)", Python's 0-based "edges[1, 2]" and NumPy advice, or C++'s
// 0-based "row 1, column 2 of edges" with no advice of another language.
enum class message_style { matlab, python, cpp };

// What went wrong, or nothing (identifier null).
struct input_error {
  const char* identifier = nullptr;  // "lamina:badType", ..., or null
  input argument = input::deformed_v;
  std::int64_t row = -1, column = -1;  // 0-based position of the offending entry, or -1
  double value = 0.0;                  // its value, where there is one
  char message[640] = {0};

  explicit operator bool() const { return identifier != nullptr; }
};

// A real double matrix as the checks see it: column-major data and its size.
// A matrix with no rows is an empty table, whatever its column count.
struct matrix_view {
  const double* data = nullptr;
  std::size_t rows = 0, cols = 0;
};

// The four arrays of a call. deformed_v may be left absent (has_deformed
// false) to check a rest mesh alone.
struct shell_views {
  matrix_view deformed_v, source_faces, source_vertices, edges;
  bool has_deformed = true;
};

// What a caller evaluates: the energies use everything; the mask only
// deformed_v, the row count of source_vertices and edges.
enum class uses { energy, mask };

// What the checks found out besides errors.
struct checked_shell {
  std::int32_t nV = 0, nF = 0, nE = 0;  // the counts, within 32 bits
  // No face index is 0, which is how MATLAB's 1-based faces look when they
  // are passed as they are (and still fit, because of an unreferenced last
  // vertex): the energy of such a call is silently wrong. Worth a warning.
  bool faces_look_one_based = false;
};

// Shapes, counts and indices of the arrays, in this order: row count of
// source_vertices, shape of deformed_v, shape of source_vertices, rows of
// deformed_v against source_vertices, source_faces' count and shape, edges'
// count and shape, the face indices, the hinge indices of edges. The first
// failure is returned; `checked` is filled on success.
input_error check_shell(const shell_views& views, uses what, message_style style,
                        checked_shell* checked);

// The shape checks of check_shell alone, in the same order, reading no data
// (the views' data may be null). A host that copies or converts its arrays
// before checking them runs these first, so that it never copies an array
// that check_shell would reject for its size.
input_error check_shell_sizes(const shell_views& views, uses what, message_style style);

// deformed_v against a rest mesh of nV vertices: nV rows, 3 columns.
input_error check_deformed(const matrix_view& deformed_v, std::size_t nV, message_style style);

// The text of the warning for faces that look 1-based, and its identifier.
extern const char* const kOneBasedIdentifier;  // "lamina:oneBased"
const char* one_based_warning(message_style style);

// The wording of type errors, for the host glue that decides the class:
// an array that is not a double matrix (class_name as the host names it),
// complex, or sparse; a coefficient that is not a real numeric scalar, or is
// empty.
input_error not_double(input which, const char* class_name, message_style style);
input_error complex_array(input which, message_style style);
input_error sparse_array(input which, message_style style);
input_error not_real_scalar(input which, const char* class_name, bool complex, message_style style);
input_error empty_coefficient(input which, message_style style);
// A vertex array of a type whose values are converted when float64 holds
// them exactly (NumPy's int64, uint64, longdouble), holding one that it
// does not (lamina:badType).
input_error inexact_values(input which, const char* type_name, message_style style);

// The wording of shape errors for hosts whose arrays may have any number of
// dimensions (NumPy), both lamina:badSize: an array that is not a table of
// rows (2-D; an empty 1-D array counts as a table with no rows), and a
// coefficient with more than one element. `shape` holds the ndim extents.
input_error not_a_table(input which, const std::size_t* shape, int ndim, message_style style);
input_error not_scalar(input which, const std::size_t* shape, int ndim, message_style style);

// A table handed over as a pointer and a row count (the C++ API): the count
// must not be negative (lamina:badSize), the pointer not null when there are
// rows (lamina:badType), and the count within 32 bits (lamina:tooLarge).
input_error check_table_pointer(input which, std::int64_t rows, const void* data,
                                message_style style);

// Whether every row of an edge table belongs to a face table, as the rows
// build_edge_table (edge_table.h) writes do. A row (a, b, c, d) belongs when
//   - c is the vertex opposite the edge in a face that runs from a to b,
//     that is a face (a, b, c), (b, c, a) or (c, a, b);
//   - d is the vertex opposite it in a face that runs from b to a: (b, a, d)
//     or a rotation of it;
//   - a missing wing (c or d truncating below 0, NaN, or beyond 32 bits)
//     stands for no face; a row with both wings missing must still be an
//     edge of a face, in either direction;
//   - no face side (a face and one of its edges) is the wing of two rows: a
//     repeated row would count its bending term twice.
// Indices truncate toward zero, as everywhere. The faces' indices must be
// vertex indices (0 ... 2^31 - 1; against nV, check_shell checks them); a
// face index that is not is lamina:badIndex, a row that does not belong is
// lamina:edgeMismatch, naming the row, its values and what is wrong. The
// stateless functions do not run this check (their contract is the index
// check alone); lamina::shell runs it on a given table, and the plug-in
// lamina_check_edge_table and Python's lamina.check_edge_table offer it.
// Needs 64 to 128 bytes per face of scratch memory (malloc); without it the
// error is lamina:outOfMemory.
input_error check_edge_table(const matrix_view& source_faces, const matrix_view& edges,
                             message_style style);

// Input the checks reject, as a C++ exception: the same identifier and
// message as the plug-ins' errors.
class invalid_input : public std::invalid_argument {
 public:
  explicit invalid_input(const input_error& e)
      : std::invalid_argument(e.message),
        identifier_(e.identifier),
        argument_(e.argument),
        row_(e.row),
        column_(e.column) {}
  const std::string& identifier() const { return identifier_; }
  input argument() const { return argument_; }
  std::int64_t row() const { return row_; }        // 0-based, or -1
  std::int64_t column() const { return column_; }  // 0-based, or -1

 private:
  std::string identifier_;
  input argument_;
  std::int64_t row_, column_;
};

// Throws a failed check: std::bad_alloc for lamina:outOfMemory, invalid_input
// for everything else. Does nothing when e holds no error.
inline void throw_if_failed(const input_error& e) {
  if (!e) return;
  if (std::string(e.identifier) == "lamina:outOfMemory") throw std::bad_alloc();
  throw invalid_input(e);
}

}  // namespace lamina

#endif  // LAMINA_CHECKS_H
