// Name-value options of the plug-ins, such as
//   lamina_work_hessian(..., 'Project', 'clamp')
//   lamina_solve(..., 'Fixed', held, 'Forces', f, 'MaxIterations', 50):
// matching the names (ignoring case, as MATLAB does), checking each value's
// class, size and range, and the wording of the errors (lamina:badOption);
// and the wording of a call with too many outputs.
//
// This part touches no host object, so the MEX files and the Octave
// oct-files compile it alike and raise the very same messages: a gateway
// describes each argument as an option_value (class name, size, its whole
// text, data pointers), with MEX calls in mex_options.h or with Octave's own
// API in oct/arguments.h, and gets back the parsed values or the error to
// raise. A plug-in's options are one table of option_specs; adding an
// option is adding an entry (lamina_work_hessian's table is here, as its
// MEX file and its oct-file share it).
#ifndef LAMINA_MEX_OPTIONS_H
#define LAMINA_MEX_OPTIONS_H

#include <lamina/bending.h>
#include <lamina/checks.h>
#include <lamina/hessian.h>

#include <cstddef>
#include <cstdint>

namespace lamina {
namespace options {

// What an option's value must be.
enum class kind {
  choice,         // text: one of the option's choices (ignoring case)
  flag,           // a real logical or numeric scalar: false (0) or true (anything else)
  count,          // a real numeric scalar holding a whole number, 0 ... 2^31 - 1
  nonnegative,    // a real numeric scalar, finite and at least 0
  positive,       // a real numeric scalar, finite and above 0
  vertex_mask,    // nV by 3: logical, or real double holding only 0 and 1
  vertex_matrix,  // nV by 3 real full double (the values are the caller's to check)
  vertex_column   // nV by 1 real full double (likewise)
};

struct option_spec {
  const char* name;            // as documented, e.g. "Project"
  kind what;                   // what its value must be
  const char* const* choices;  // kind::choice: the lower-case words, null-terminated
};

// One argument as the host holds it. Gateways fill what applies; the rest
// stays empty.
struct option_value {
  const char* class_name = "";  // the host's name of its class: "double", "cell", ...
  bool is_char = false, is_double = false, is_logical = false, is_numeric = false;
  bool is_complex = false, is_sparse = false;
  std::size_t rows = 0, cols = 0;  // cols: the product of all dimensions but the first
  // A char argument's characters, all of them, column-major (not
  // terminated). Names and values are matched on the whole text; messages
  // quote its first 31 characters, then "..." when there are more.
  const char* text = nullptr;
  std::size_t length = 0;
  // A real full double argument's data, or a logical one's (one byte per
  // element, 0 or 1), column-major.
  const double* doubles = nullptr;
  const std::uint8_t* logicals = nullptr;
  // The first element as a double, for a real numeric or logical argument
  // with at least one element (has_number set).
  bool has_number = false;
  double number = 0.0;
};

// The descriptions a gateway makes of a value: its text where it is char;
// its data where `what` is a vertex kind; its first element where `what` is
// a scalar kind.
inline bool is_vertex_kind(kind what) {
  return what == kind::vertex_mask || what == kind::vertex_matrix || what == kind::vertex_column;
}
inline bool is_scalar_kind(kind what) {
  return what == kind::flag || what == kind::count || what == kind::nonnegative ||
         what == kind::positive;
}

// An option as read: whether it was given, and its value.
struct parsed_option {
  bool given = false;
  int choice = -1;                         // kind::choice: index into the option's choices
  double number = 0.0;                     // scalars (flag: 0 or 1; count: the whole number)
  const double* doubles = nullptr;         // vertex matrices, and a 0/1 double mask
  const std::uint8_t* logicals = nullptr;  // a logical mask
};

// The table entry a name argument names (ignoring case), or -1 when it is
// not text or names no option.
int find_option(const option_spec* table, int count, const option_value& name);

// Reads one name-value pair against the table of `count` specs of `plugin`:
// name_position is the 1-based input position of the name, for messages;
// nV the number of vertices the vertex options must have rows for. On
// success out[k] receives the value of table entry k (given twice, an option
// keeps its last value); on failure (lamina:badOption) out is left as it
// was. The value need only be described as find_option's entry asks.
input_error read_option(const char* plugin, const option_spec* table, int count,
                        const option_value& name, const option_value& value, int name_position,
                        std::size_t nV, parsed_option* out);

// The bending model option's words, in the order of bending_model
// ("cosine", "dihedral"), for the tables of the plug-ins that take
// 'Bending'; and the model a parsed 'Bending' names (cosine when it was not
// given).
extern const char* const kBendingModels[];
bending_model bending_of(const parsed_option& bending);

// The thread count a parsed 'Threads' holds (a kind::count: 0 ... 2^31 - 1;
// 0, all cores, when it was not given).
int threads_of(const parsed_option& threads);

// lamina_work_hessian's options, for its MEX file and its oct-file:
// 'Project' ('none', 'clamp' or 'abs'), 'Bending' and 'Threads', in this
// order; and the projection 'Project' names (none when it was not given).
enum hessian_option { kHessianProject, kHessianBending, kHessianThreads, kHessianOptionCount };
extern const option_spec kHessianOptions[kHessianOptionCount];
projection hessian_projection(const parsed_option& project);

// lamina_work_rest_deriv's options: 'Bending' and 'Threads'.
enum rest_option { kRestBending, kRestThreads, kRestOptionCount };
extern const option_spec kRestOptions[kRestOptionCount];

}  // namespace options

namespace mex {

// The error for a call that asks for more outputs than the plug-in returns
// (lamina:tooManyOutputs): `requested` of them from `plugin`, which returns at
// most `most`, named in `outputs` ("energy, gradient, hessian"). A host would
// otherwise fail after the call with an error of its own that carries no
// identifier (Octave: "element number 4 undefined in return list").
input_error too_many_outputs(const char* plugin, int requested, int most, const char* outputs);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_OPTIONS_H
