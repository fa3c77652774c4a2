// The plug-ins' argument convention for Octave's own interface (oct-files):
// what mex/arguments.cpp does with a MEX host's arrays, done with Octave's
// values, with the same checks (<lamina/checks.h>) in the same order, so the
// same identifiers and messages. Errors and warnings carry the plug-in's name
// in front of the message, as Octave's MEX layer writes them
// ("lamina_work_hessian: ..."): the MEX file and the oct-file of a plug-in
// raise the very same text.
//
// Nothing here asks a value for data before its class is known, and no value
// of any class can end the Octave session: every class check is a predicate
// of octave_value.
#ifndef LAMINA_OCT_ARGUMENTS_H
#define LAMINA_OCT_ARGUMENTS_H

#include <lamina/checks.h>
#include <octave/oct.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "options.h"

namespace lamina {
namespace oct {

// The six inputs, read and checked. The arrays hold the data the pointers
// point into: the caller's own for a full double matrix (Octave shares it),
// a converted copy for other double values such as ranges.
struct shell_inputs {
  NDArray arrays[4];  // deformed_v, source_faces, source_vertices, edges
  const double* deformed_v = nullptr;
  double mu = 0.0;
  double eta = 0.0;
  const double* source_faces = nullptr;
  std::int32_t nF = 0;
  const double* source_vertices = nullptr;
  std::int32_t nV = 0;  // rows of source_vertices: the stride of both vertex matrices
  const double* edges = nullptr;
  std::int32_t nE = 0;
};

// Raises the Octave error `identifier` with the message "<plugin>: <text>".
[[noreturn]] void raise(const char* plugin, const char* identifier, const char* text);
[[noreturn]] void raise(const char* plugin, const input_error& e);

// Reads args(0) ... args(5) as mex::read_shell_inputs does, warning
// lamina:oneBased where it warns; raises where it raises.
void read_shell_inputs(const char* plugin, const octave_value_list& args, uses what,
                       shell_inputs* in);

// An argument after the six inputs, described for the shared option
// reader (options.h) as mex::describe_argument describes an mxArray: class,
// size and whole text; the data where `what` is a vertex option, the first
// element where it is a scalar option. `keep` holds what the description
// points into: the characters, the class name and the data, converted
// where Octave holds them otherwise (a range, say).
struct option_storage {
  charNDArray chars;
  std::string class_name;
  NDArray doubles;
  boolNDArray logicals;
};
options::option_value describe_argument(const octave_value& a, options::kind what,
                                        option_storage* keep);

// Reads the name-value pairs args(first), args(first + 1), ... against the
// table, into out (count entries, cleared first), as mex::read_options does;
// raises lamina:badOption for the first bad pair.
void read_options(const char* plugin, const options::option_spec* table, int count,
                  const octave_value_list& args, int first, std::size_t nV,
                  options::parsed_option* out);

// The help text of the .m file beside an oct-file (empty when there is none),
// which Octave shows for a MEX file but not for an oct-file: the installer of
// an oct-file passes it on as the function's documentation.
std::string help_beside(const std::string& oct_file);

}  // namespace oct
}  // namespace lamina

#endif  // LAMINA_OCT_ARGUMENTS_H
