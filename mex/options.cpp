// The option reader of options.h.
//
// Linked into the MEX plug-ins, which may import nothing but their host's
// functions and the C library, and into the oct-files: no part of the C++
// library that needs linking, messages go into fixed buffers with snprintf.
#include "options.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lamina {
namespace options {
namespace {

const char* const kBadOption = "lamina:badOption";

input_error make_error(const char* identifier, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

input_error make_error(const char* identifier, const char* format, ...) {
  input_error e;
  e.identifier = identifier;
  va_list args;
  va_start(args, format);
  std::vsnprintf(e.message, sizeof e.message, format, args);
  va_end(args);
  return e;
}

// Appends to a fixed buffer, cutting what does not fit.
struct text_buffer {
  char text[400] = {0};
  std::size_t used = 0;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (used + 1 >= sizeof text) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text + used, sizeof text - used, format, args);
    va_end(args);
    if (n > 0) used = used + static_cast<std::size_t>(n) < sizeof text ? used + n : sizeof text - 1;
  }
};

// x as a user would type it: the shortest decimal that reads back as x.
struct number_text {
  char text[32];
  explicit number_text(double x) {
    if (std::isnan(x)) {
      std::snprintf(text, sizeof text, "NaN");
    } else if (std::isinf(x)) {
      std::snprintf(text, sizeof text, x > 0 ? "Inf" : "-Inf");
    } else {
      for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, x);
        if (std::strtod(text, nullptr) == x) break;
      }
    }
  }
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The whole text of an argument equals a word, ignoring case.
bool equal_ignoring_case(const option_value& v, const char* word) {
  std::size_t i = 0;
  for (; i < v.length && word[i] != 0; ++i) {
    if (lower(v.text[i]) != lower(word[i])) return false;
  }
  return i == v.length && word[i] == 0;
}

// At most this many characters of what was passed are quoted in a message,
// followed by "..." when there are more: enough to recognise a mistyped
// word, and a bound on the message whatever text a caller passes.
constexpr std::size_t kQuoted = 31;
int quoted_length(const option_value& v) {
  return static_cast<int>(v.length < kQuoted ? v.length : kQuoted);
}
const char* quoted_text(const option_value& v) { return v.text != nullptr ? v.text : ""; }
const char* ellipsis(const option_value& v) { return v.length > kQuoted ? "..." : ""; }

// "'none', 'clamp' or 'abs'"
void list_choices(const char* const* choices, text_buffer* out) {
  int n = 0;
  while (choices[n] != nullptr) ++n;
  for (int k = 0; k < n; ++k) {
    out->add("%s'%s'", k == 0 ? "" : k + 1 == n ? " or " : ", ", choices[k]);
  }
}

// What the value of an option must be, for messages.
void describe(const option_spec& spec, std::size_t nV, text_buffer* out) {
  switch (spec.what) {
    case kind::choice:
      list_choices(spec.choices, out);
      break;
    case kind::flag:
      out->add("true or false");
      break;
    case kind::count:
      out->add("a whole number from 0 to 2147483647");
      break;
    case kind::nonnegative:
      out->add("a finite number at least 0");
      break;
    case kind::positive:
      out->add("a finite number above 0");
      break;
    case kind::vertex_mask:
      out->add("a %zu-by-3 logical matrix, or a double one of 0s and 1s (a row per vertex)", nV);
      break;
    case kind::vertex_matrix:
      out->add("a %zu-by-3 real double matrix (a row per vertex)", nV);
      break;
    case kind::vertex_column:
      out->add("a %zu-by-1 real double column (an entry per vertex)", nV);
      break;
  }
}

// "the value of 'X' must be <description>, but it is <what>"
input_error wrong_value(const option_spec& spec, std::size_t nV, const char* what) {
  text_buffer d;
  describe(spec, nV, &d);
  return make_error(kBadOption, "the value of '%s' must be %s, but it is %s", spec.name, d.text,
                    what);
}

input_error wrong_class(const option_spec& spec, std::size_t nV, const option_value& v) {
  char what[96];
  if (spec.what == kind::choice) {  // text or not, whatever the number's form
    std::snprintf(what, sizeof what, "of class %s", v.class_name);
  } else if (v.is_complex) {
    std::snprintf(what, sizeof what, "complex");
  } else if (v.is_sparse) {
    std::snprintf(what, sizeof what, "sparse");
  } else {
    std::snprintf(what, sizeof what, "of class %s", v.class_name);
  }
  return wrong_value(spec, nV, what);
}

input_error wrong_size(const option_spec& spec, std::size_t nV, const option_value& v) {
  char what[64];
  std::snprintf(what, sizeof what, "%zu-by-%zu", v.rows, v.cols);
  return wrong_value(spec, nV, what);
}

input_error read_scalar(const option_spec& spec, const option_value& v, parsed_option* out) {
  const bool logical_ok = spec.what == kind::flag;
  if (!(v.is_numeric || (logical_ok && v.is_logical)) || v.is_complex) {
    return wrong_class(spec, 0, v);
  }
  if (v.rows * v.cols != 1 || !v.has_number) return wrong_size(spec, 0, v);
  const double x = v.number;
  bool ok = true;
  switch (spec.what) {
    case kind::flag:
      ok = !std::isnan(x);
      break;
    case kind::count:
      ok = x >= 0.0 && x <= 2147483647.0 && x == std::floor(x);
      break;
    case kind::nonnegative:
      ok = x >= 0.0 && !std::isinf(x);
      break;
    case kind::positive:
      ok = x > 0.0 && !std::isinf(x);
      break;
    default:
      ok = false;
  }
  if (!ok) return wrong_value(spec, 0, number_text(x).text);
  out->number = spec.what == kind::flag ? (x != 0.0 ? 1.0 : 0.0) : x;
  return {};
}

input_error read_matrix(const option_spec& spec, std::size_t nV, const option_value& v,
                        parsed_option* out) {
  const bool mask = spec.what == kind::vertex_mask;
  const bool logical = mask && v.is_logical && !v.is_sparse;
  if (!logical && (!v.is_double || v.is_complex || v.is_sparse || v.doubles == nullptr)) {
    // A double array with no elements has no data pointer to give.
    if (!(v.is_double && !v.is_complex && !v.is_sparse && v.rows * v.cols == 0)) {
      return wrong_class(spec, nV, v);
    }
  }
  const std::size_t cols = spec.what == kind::vertex_column ? 1 : 3;
  const bool column_as_row = spec.what == kind::vertex_column && v.rows == 1 && v.cols == nV;
  const bool no_rows = nV == 0 && v.rows * v.cols == 0;
  if (!no_rows && !column_as_row && !(v.rows == nV && v.cols == cols)) {
    return wrong_size(spec, nV, v);
  }
  if (logical) {
    out->logicals = v.logicals;
    return {};
  }
  out->doubles = v.doubles;
  if (mask && out->doubles != nullptr) {
    for (std::size_t i = 0; i < nV * 3; ++i) {
      const double x = out->doubles[i];
      if (x != 0.0 && x != 1.0) {
        return make_error(kBadOption,
                          "%s(%zu,%zu) is %s, but a mask holds only 0 and 1 (false and true)",
                          spec.name, i % nV + 1, i / nV + 1, number_text(x).text);
      }
    }
  }
  return {};
}

}  // namespace

int find_option(const option_spec* table, int count, const option_value& name) {
  if (!name.is_char) return -1;
  for (int k = 0; k < count; ++k) {
    if (equal_ignoring_case(name, table[k].name)) return k;
  }
  return -1;
}

input_error read_option(const char* plugin, const option_spec* table, int count,
                        const option_value& name, const option_value& value, int name_position,
                        std::size_t nV, parsed_option* out) {
  if (!name.is_char) {
    return make_error(kBadOption,
                      "input %d must be an option name such as '%s', but it is of class %s",
                      name_position, table[0].name, name.class_name);
  }
  const int which = find_option(table, count, name);
  if (which < 0) {
    text_buffer known;
    if (count == 1) {
      known.add("the one option of %s is '%s' (", plugin, table[0].name);
      describe(table[0], nV, &known);
      known.add(")");
    } else {
      known.add("the options of %s are ", plugin);
      for (int k = 0; k < count; ++k) {
        known.add("%s'%s'", k == 0 ? "" : k + 1 == count ? " and " : ", ", table[k].name);
      }
    }
    return make_error(kBadOption, "there is no option '%.*s%s': %s", quoted_length(name),
                      quoted_text(name), ellipsis(name), known.text);
  }
  const option_spec& spec = table[which];
  parsed_option p;
  input_error e;
  switch (spec.what) {
    case kind::choice: {
      if (!value.is_char) return wrong_class(spec, nV, value);
      for (int c = 0; spec.choices[c] != nullptr && p.choice < 0; ++c) {
        if (equal_ignoring_case(value, spec.choices[c])) p.choice = c;
      }
      if (p.choice < 0) {
        char what[48];
        std::snprintf(what, sizeof what, "'%.*s%s'", quoted_length(value), quoted_text(value),
                      ellipsis(value));
        return wrong_value(spec, nV, what);
      }
      break;
    }
    case kind::flag:
    case kind::count:
    case kind::nonnegative:
    case kind::positive:
      e = read_scalar(spec, value, &p);
      break;
    case kind::vertex_mask:
    case kind::vertex_matrix:
    case kind::vertex_column:
      e = read_matrix(spec, nV, value, &p);
      break;
  }
  if (e) return e;
  p.given = true;
  out[which] = p;
  return {};
}

const char* const kBendingModels[] = {"cosine", "dihedral", nullptr};

bending_model bending_of(const parsed_option& bending) {
  static const bending_model values[] = {bending_model::cosine, bending_model::dihedral};
  return bending.given ? values[bending.choice] : bending_model::cosine;
}

// kind::count has checked the range, so the cast is exact.
int threads_of(const parsed_option& threads) {
  return threads.given ? static_cast<int>(threads.number) : 0;
}

const char* const kProjections[] = {"none", "clamp", "abs", nullptr};
const option_spec kHessianOptions[kHessianOptionCount] = {{"Project", kind::choice, kProjections},
                                                          {"Bending", kind::choice, kBendingModels},
                                                          {"Threads", kind::count, nullptr}};
const option_spec kRestOptions[kRestOptionCount] = {{"Bending", kind::choice, kBendingModels},
                                                    {"Threads", kind::count, nullptr}};

projection hessian_projection(const parsed_option& project) {
  static const projection values[] = {projection::none, projection::clamp, projection::abs};
  return project.given ? values[project.choice] : projection::none;
}

}  // namespace options

namespace mex {

input_error too_many_outputs(const char* plugin, int requested, int most, const char* outputs) {
  return options::make_error("lamina:tooManyOutputs",
                             "%d outputs were requested, but %s returns at most %d (%s)", requested,
                             plugin, most, outputs);
}

}  // namespace mex
}  // namespace lamina
