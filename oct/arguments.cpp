#include "arguments.h"

#include <octave/parse.h>

#include <fstream>

namespace lamina {
namespace oct {
namespace {

constexpr message_style kStyle = message_style::matlab;

// A real, full double matrix, or the error that says what it is instead: the
// questions mxIsDouble, mxIsComplex and mxIsSparse ask in Octave's MEX layer.
input_error double_matrix_error(input which, const octave_value& a) {
  if (!a.is_double_type()) return not_double(which, a.class_name().c_str(), kStyle);
  if (a.iscomplex()) return complex_array(which, kStyle);
  if (a.issparse()) return sparse_array(which, kStyle);
  return {};
}

// Rows, and columns as mxGetN counts them: all further dimensions together.
void read_size(const octave_value& a, matrix_view* m) {
  const dim_vector d = a.dims();
  m->rows = static_cast<std::size_t>(d(0));
  m->cols = 1;
  for (int k = 1; k < d.ndims(); ++k) m->cols *= static_cast<std::size_t>(d(k));
}

// The data and size of an input; an input the caller does not use is not
// converted, and its data stays null.
void read_matrix(const char* plugin, input which, const octave_value& a, bool check, NDArray* keep,
                 matrix_view* m) {
  if (check) {
    if (input_error e = double_matrix_error(which, a)) raise(plugin, e);
    *keep = a.array_value();
    m->data = keep->data();
  }
  read_size(a, m);
}

// The first element of a non-empty real numeric or logical array, as a
// double: for a sparse array its first stored value, or 0 when it stores none.
double first_element(const octave_value& a) {
  if (a.issparse()) {
    const SparseMatrix s = a.sparse_matrix_value();
    return s.nnz() > 0 ? s.data(0) : 0.0;
  }
  return a.array_value()(0);
}

double read_coefficient(const char* plugin, input which, const octave_value& a) {
  if (!(a.isnumeric() || a.islogical()) || a.iscomplex()) {
    raise(plugin, not_real_scalar(which, a.class_name().c_str(), a.iscomplex(), kStyle));
  }
  if (a.numel() == 0) raise(plugin, empty_coefficient(which, kStyle));
  return first_element(a);
}

}  // namespace

void raise(const char* plugin, const char* identifier, const char* text) {
  error_with_id(identifier, "%s: %s", plugin, text);
}

void raise(const char* plugin, const input_error& e) { raise(plugin, e.identifier, e.message); }

void read_shell_inputs(const char* plugin, const octave_value_list& args, uses what,
                       shell_inputs* in) {
  const bool energy = what == uses::energy;
  shell_views v;
  read_matrix(plugin, input::deformed_v, args(0), true, &in->arrays[0], &v.deformed_v);
  if (energy) {
    in->mu = read_coefficient(plugin, input::mu, args(1));
    in->eta = read_coefficient(plugin, input::eta, args(2));
  }
  read_matrix(plugin, input::source_faces, args(3), energy, &in->arrays[1], &v.source_faces);
  read_matrix(plugin, input::source_vertices, args(4), energy, &in->arrays[2], &v.source_vertices);
  read_matrix(plugin, input::edges, args(5), true, &in->arrays[3], &v.edges);

  checked_shell checked;
  if (input_error e = check_shell(v, what, kStyle, &checked)) raise(plugin, e);
  if (checked.faces_look_one_based) {
    warning_with_id(kOneBasedIdentifier, "%s: %s", plugin, one_based_warning(kStyle));
  }
  in->deformed_v = v.deformed_v.data;
  in->source_faces = energy ? v.source_faces.data : nullptr;
  in->nF = checked.nF;
  in->source_vertices = v.source_vertices.data;
  in->nV = checked.nV;
  in->edges = v.edges.data;
  in->nE = checked.nE;
}

options::option_value describe_argument(const octave_value& a, options::kind what,
                                        option_storage* keep) {
  options::option_value v;
  keep->class_name = a.class_name();
  v.class_name = keep->class_name.c_str();
  v.is_char = a.is_string();
  v.is_double = a.is_double_type();
  v.is_logical = a.islogical();
  v.is_numeric = a.isnumeric();
  v.is_complex = a.iscomplex();
  v.is_sparse = a.issparse();
  matrix_view size;
  read_size(a, &size);
  v.rows = size.rows;
  v.cols = size.cols;
  const bool some = v.rows * v.cols > 0;
  if (v.is_char) {
    keep->chars = a.char_array_value();
    v.text = keep->chars.data();
    v.length = static_cast<std::size_t>(keep->chars.numel());
  }
  if (options::is_vertex_kind(what) && some && !v.is_sparse) {
    if (v.is_double && !v.is_complex) {
      keep->doubles = a.array_value();
      v.doubles = keep->doubles.data();
    }
    if (v.is_logical) {
      // One byte per element holding 0 or 1, as MEX's mxLogical.
      static_assert(sizeof(bool) == 1, "a logical element is one byte");
      keep->logicals = a.bool_array_value();
      v.logicals = reinterpret_cast<const std::uint8_t*>(keep->logicals.data());
    }
  }
  if (options::is_scalar_kind(what) && some && (v.is_numeric || v.is_logical) && !v.is_complex) {
    v.has_number = true;
    v.number = first_element(a);
  }
  return v;
}

void read_options(const char* plugin, const options::option_spec* table, int count,
                  const octave_value_list& args, int first, std::size_t nV,
                  options::parsed_option* out) {
  for (int k = 0; k < count; ++k) out[k] = options::parsed_option();
  for (int k = first; k + 1 < args.length(); k += 2) {
    option_storage name_storage, value_storage;
    const options::option_value name =
        describe_argument(args(k), options::kind::choice, &name_storage);
    const int which = options::find_option(table, count, name);
    const options::kind what = which >= 0 ? table[which].what : options::kind::choice;
    const options::option_value value = describe_argument(args(k + 1), what, &value_storage);
    if (input_error e = options::read_option(plugin, table, count, name, value, k + 1, nV, out)) {
      raise(plugin, e);
    }
  }
}

std::string help_beside(const std::string& oct_file) {
  const std::size_t dot = oct_file.rfind('.');
  const std::string m_file = oct_file.substr(0, dot) + ".m";
  if (dot == std::string::npos || !std::ifstream(m_file).good()) return "";
  try {
    const octave_value_list r = octave::feval("get_help_text_from_file", octave_value(m_file), 1);
    return r.length() > 0 && r(0).is_string() ? r(0).string_value() : "";
  } catch (const octave::execution_exception&) {
    return "";
  }
}

}  // namespace oct
}  // namespace lamina
