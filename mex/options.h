// The name-value options that follow a plug-in's six inputs, read one way
// for every host, and the wording of a call with too many outputs. A
// gateway (the MEX gateway for MATLAB and the project's host, the oct-file
// for Octave) hands over each argument as its characters when it is a char
// array, or else as its class name, and gets back the options, or the error
// to raise: lamina:badOption, with the message every host shows alike.
// Nothing here touches a host object, so both kinds of gateway compile it;
// the options of a plug-in are declared here once.
#ifndef LAMINA_MEX_OPTIONS_H
#define LAMINA_MEX_OPTIONS_H

#include <lamina/checks.h>
#include <lamina/hessian.h>

#include <cstddef>

namespace lamina {
namespace mex {

// One argument after the six inputs, as its host sees it.
struct option_argument {
  bool is_text = false;         // a char array
  const char* text = nullptr;   // then its characters, column-major (not terminated)
  std::size_t length = 0;       // and their number
  const char* class_name = "";  // otherwise the class its host names
};

// The options of lamina_work_hessian, and their defaults.
struct hessian_options {
  projection project = projection::none;  // 'Project': 'none', 'clamp' or 'abs'
};

// Reads one pair, name and value, into `options`; `name_input` is the
// 1-based position of the name among the plug-in's inputs (for messages).
// Names and values are matched ignoring case, as MATLAB does; a name or value
// that is not text, an unknown name and a value the option does not take are
// errors that name what was passed (its first 31 characters).
input_error read_hessian_option(const option_argument& name, const option_argument& value,
                                int name_input, hessian_options* options);

// The error for a call that asks for more outputs than the plug-in returns
// (lamina:tooManyOutputs): `requested` of them from `plugin`, which returns at
// most `most`, named in `outputs` ("energy, gradient, hessian"). A host would
// otherwise fail after the call with an error of its own that carries no
// identifier (Octave: "element number 4 undefined in return list").
input_error too_many_outputs(const char* plugin, int requested, int most, const char* outputs);

}  // namespace mex
}  // namespace lamina

#endif  // LAMINA_MEX_OPTIONS_H
