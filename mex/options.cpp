#include "options.h"

#include <cstdarg>
#include <cstdio>

namespace lamina {
namespace mex {
namespace {

const char* const kBadOption = "lamina:badOption";

input_error error(const char* identifier, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

input_error error(const char* identifier, const char* format, ...) {
  input_error e;
  e.identifier = identifier;
  va_list args;
  va_start(args, format);
  std::vsnprintf(e.message, sizeof e.message, format, args);
  va_end(args);
  return e;
}

// The text of an argument equals a lower-case word, ignoring case.
bool is(const option_argument& a, const char* word) {
  if (!a.is_text) return false;
  std::size_t i = 0;
  for (; i < a.length && word[i] != 0; ++i) {
    const char c = a.text[i] >= 'A' && a.text[i] <= 'Z' ? a.text[i] - 'A' + 'a' : a.text[i];
    if (c != word[i]) return false;
  }
  return i == a.length && word[i] == 0;
}

// At most this many characters of what was passed are quoted in a message,
// followed by "..." when there are more.
constexpr int kQuoted = 31;

int quoted(const option_argument& a) {
  return static_cast<int>(a.length < kQuoted ? a.length : kQuoted);
}
const char* text(const option_argument& a) { return a.text != nullptr ? a.text : ""; }
const char* ellipsis(const option_argument& a) { return a.length > kQuoted ? "..." : ""; }

}  // namespace

input_error read_hessian_option(const option_argument& name, const option_argument& value,
                                int name_input, hessian_options* options) {
  if (!name.is_text) {
    return error(kBadOption,
                 "input %d must be an option name such as 'Project', but it is of class %s",
                 name_input, name.class_name);
  }
  if (!is(name, "project")) {
    return error(kBadOption,
                 "there is no option '%.*s%s': the one option of lamina_work_hessian is 'Project' "
                 "('none', 'clamp' or 'abs')",
                 quoted(name), text(name), ellipsis(name));
  }
  if (is(value, "none")) {
    options->project = projection::none;
  } else if (is(value, "clamp")) {
    options->project = projection::clamp;
  } else if (is(value, "abs")) {
    options->project = projection::abs;
  } else if (!value.is_text) {
    return error(kBadOption,
                 "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is of class %s",
                 value.class_name);
  } else {
    return error(kBadOption,
                 "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is '%.*s%s'",
                 quoted(value), text(value), ellipsis(value));
  }
  return {};
}

input_error too_many_outputs(const char* plugin, int requested, int most, const char* outputs) {
  return error("lamina:tooManyOutputs", "%d outputs were requested, but %s returns at most %d (%s)",
               requested, plugin, most, outputs);
}

}  // namespace mex
}  // namespace lamina
