// lamina::shell's typed entry points (<lamina/shell.h>, <lamina/views.h>):
// thin wrappers that check the views' counts and pointers, convert the
// tables to the column-major doubles of the raw constructor, and delegate
// to it. Column-major vertices are read where they lie.
#include <lamina/shell.h>

#include <cstddef>
#include <vector>

namespace lamina {
namespace detail {

// The raw constructor's arguments, converted from the views.
struct shell_tables {
  std::vector<double> faces, vertices, edges;
  const double* rest = nullptr;
  std::int32_t nF = 0, nV = 0, nE = 0;
  bool has_edges = false;

  shell_tables(const vertices_view& v, const faces_view& f, const edges_view* e,
               message_style style) {
    // Every count and pointer before any copy.
    throw_if_failed(check_table_pointer(input::source_faces, f.rows(), f.data(), style));
    throw_if_failed(check_table_pointer(input::source_vertices, v.rows, v.data, style));
    if (e != nullptr)
      throw_if_failed(check_table_pointer(input::edges, e->rows(), e->data(), style));
    nF = static_cast<std::int32_t>(f.rows());
    nV = static_cast<std::int32_t>(v.rows);
    faces.resize(3 * static_cast<std::size_t>(nF));
    f.copy_column_major(faces.data());
    if (v.order == vertex_order::column_major) {
      rest = v.data;
    } else {
      vertices.resize(3 * static_cast<std::size_t>(nV));
      v.copy_column_major(vertices.data());
      rest = vertices.data();
    }
    if (e != nullptr) {
      has_edges = true;
      nE = static_cast<std::int32_t>(e->rows());
      // One entry at least, so that an empty table is still a given one.
      edges.resize(4 * static_cast<std::size_t>(nE) + 1);
      e->copy_column_major(edges.data());
    }
  }
};

}  // namespace detail

shell::shell(const detail::shell_tables& t, double mu, double eta, shell_options opt)
    : shell(t.faces.data(), t.nF, t.rest, t.nV, mu, eta, t.has_edges ? t.edges.data() : nullptr,
            t.nE, opt) {}

shell::shell(const vertices_view& source_vertices, const faces_view& source_faces, double mu,
             double eta, shell_options opt)
    : shell(detail::shell_tables(source_vertices, source_faces, nullptr, opt.style), mu, eta, opt) {
}

shell::shell(const vertices_view& source_vertices, const faces_view& source_faces,
             const edges_view& edges, double mu, double eta, shell_options opt)
    : shell(detail::shell_tables(source_vertices, source_faces, &edges, opt.style), mu, eta, opt) {}

const double* shell::checked_positions(const vertices_view& deformed_v) const {
  const message_style style = message_style::cpp;
  throw_if_failed(check_table_pointer(input::deformed_v, deformed_v.rows, deformed_v.data, style));
  const matrix_view q{deformed_v.data, static_cast<std::size_t>(deformed_v.rows), 3};
  throw_if_failed(check_deformed(q, static_cast<std::size_t>(nV_), style));
  return deformed_v.data;
}

double shell::energy(const vertices_view& deformed_v) {
  return energy(checked_positions(deformed_v), deformed_v.order);
}

double shell::energy_and_gradient(const vertices_view& deformed_v, double* gradient) {
  return energy_and_gradient(checked_positions(deformed_v), gradient, deformed_v.order);
}

double shell::energy_gradient_hessian(const vertices_view& deformed_v, projection project,
                                      double* gradient, double* hessian_values) {
  return energy_gradient_hessian(checked_positions(deformed_v), project, gradient, hessian_values,
                                 deformed_v.order);
}

}  // namespace lamina
