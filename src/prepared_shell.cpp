// lamina::shell (<lamina/shell.h>): the rest side, connectivity and Hessian
// pattern of a mesh stored once, and the passes of membrane_pass.h and
// bending_pass.h run on them.
#include <lamina/edge_table.h>
#include <lamina/shell.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "assembly/hessian_sink.h"
#include "assembly/pattern.h"
#include "assembly/prepared.h"
#include "simd/isa.h"
#include "terms/bending/bending_pass.h"
#include "terms/membrane/membrane_pass.h"

namespace lamina {
namespace {

using detail::mode;

struct malloc_allocator {
  void* allocate(std::size_t bytes) { return std::malloc(bytes); }
  void release(void* p) { std::free(p); }
};

// The passes on a prepared shell's sources, for one instruction set.
struct prepared_kernel {
  template <class Isa, mode Mode, class Sink>
  static LAMINA_ALWAYS_INLINE double run(const detail::prepared_faces& faces,
                                         const detail::prepared_hinges& hinges,
                                         const double* positions, double mu, double eta,
                                         const Sink& sink) {
    const detail::interleaved_vertices q{positions};
    if constexpr (Mode == mode::energy) {
      // Bending first, membrane second, as shell_energy sums them.
      const double Eb = detail::bending_term::pass<Isa, Mode>(hinges, q, eta, sink);
      const double Em = detail::membrane_term::pass<Isa, Mode>(faces, q, mu, sink);
      return Eb + Em;
    } else {
      const double Em = detail::membrane_term::pass<Isa, Mode>(faces, q, mu, sink);
      const double Eb = detail::bending_term::pass<Isa, Mode>(hinges, q, eta, sink);
      return Eb + Em;
    }
  }
};

template <mode Mode, class Sink>
struct prepared_dispatch {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const detail::prepared_faces* faces,
                                         const detail::prepared_hinges* hinges,
                                         const double* positions, double mu, double eta,
                                         const Sink* sink) {
    return prepared_kernel::run<Isa, Mode>(*faces, *hinges, positions, mu, eta, *sink);
  }
};

}  // namespace

namespace detail {

// What the calls need of a shell's private parts.
struct shell_access {
  static vertex_neighbours neighbours(const shell& s) {
    vertex_neighbours n;
    n.nV = s.nV_;
    n.total = s.first_.empty() ? 0 : s.first_.back();
    n.first = const_cast<std::int64_t*>(s.first_.data());
    n.neighbour = const_cast<std::int32_t*>(s.neighbour_.data());
    return n;
  }

  static prepared_faces faces(const shell& s) {
    return {s.nF_,
            {s.corner_[0].data(), s.corner_[1].data(), s.corner_[2].data()},
            s.S_r_.data(),
            s.A_r_.data(),
            {s.g_[0].data(), s.g_[1].data(), s.g_[2].data()},
            {s.c_[0].data(), s.c_[1].data(), s.c_[2].data()}};
  }

  static prepared_hinges hinges(const shell& s) {
    return {s.hinge_count(),
            s.hinge_row_.data(),
            {s.hinge_vertex_[0].data(), s.hinge_vertex_[1].data(), s.hinge_vertex_[2].data(),
             s.hinge_vertex_[3].data()},
            s.cos_r_.data(),
            s.w_h_.data()};
  }

  // The deformed positions packed in the workspace, x, y and z of a vertex
  // side by side, vertices in the shell's own order (first use by the
  // elements), so that the elements read them mostly in sequence.
  static const double* packed(shell& s, const double* deformed_v, vertex_order order) {
    const std::size_t n = s.vertex_.size();
    double* p = s.positions_.data();
    const std::int32_t* user = s.vertex_.data();
    if (order == vertex_order::row_major) {
      for (std::size_t t = 0; t < n; ++t) {
        const double* q = deformed_v + 3 * static_cast<std::size_t>(user[t]);
        p[3 * t] = q[0];
        p[3 * t + 1] = q[1];
        p[3 * t + 2] = q[2];
      }
    } else {
      for (std::size_t t = 0; t < n; ++t) {
        p[3 * t] = deformed_v[user[t]];
        p[3 * t + 1] = deformed_v[user[t] + n];
        p[3 * t + 2] = deformed_v[user[t] + 2 * n];
      }
    }
    return p;
  }

  // The gradient is accumulated in the workspace, in the same packed order,
  // from 0.0, and then written out in the caller's order and layout: every
  // entry receives the same additions in the same order as in the stateless
  // kernels.
  static double* gradient_target(shell& s) {
    for (double& g : s.gradient_) g = 0.0;
    return s.gradient_.data();
  }

  static void unpack_gradient(const shell& s, double* gradient, vertex_order order) {
    const std::size_t n = s.vertex_.size();
    const double* g = s.gradient_.data();
    const std::int32_t* user = s.vertex_.data();
    if (order == vertex_order::row_major) {
      for (std::size_t t = 0; t < n; ++t) {
        double* q = gradient + 3 * static_cast<std::size_t>(user[t]);
        q[0] = g[3 * t];
        q[1] = g[3 * t + 1];
        q[2] = g[3 * t + 2];
      }
    } else {
      for (std::size_t t = 0; t < n; ++t) {
        gradient[user[t]] = g[3 * t];
        gradient[user[t] + n] = g[3 * t + 1];
        gradient[user[t] + 2 * n] = g[3 * t + 2];
      }
    }
  }
};

}  // namespace detail

shell::shell(const double* source_faces, std::int32_t nF, const double* source_vertices,
             std::int32_t nV, double mu, double eta, const double* edges, std::int32_t nE,
             shell_options opt)
    : nV_(nV), nF_(nF), nE_(0), mu_(mu), eta_(eta), layout_(opt.layout) {
  // Counts and pointers first: a negative count or a null table with rows is
  // refused, not read as an empty table.
  throw_if_failed(check_table_pointer(input::source_faces, nF, source_faces, opt.style));
  throw_if_failed(check_table_pointer(input::source_vertices, nV, source_vertices, opt.style));
  if (edges != nullptr) throw_if_failed(check_table_pointer(input::edges, nE, edges, opt.style));
  const auto rows = [](std::int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; };
  shell_views v;
  v.has_deformed = false;
  v.source_faces = {source_faces, rows(nF), 3};
  v.source_vertices = {source_vertices, rows(nV), 3};
  if (edges == nullptr) {
    // The faces must be valid before the edge table is built from them.
    if (input_error e = check_shell(v, uses::energy, opt.style, nullptr)) throw invalid_input(e);
    edge_table t = build_edge_table(source_faces, nF);
    edges_ = std::move(t.edges);
    nE = t.nE;
  } else {
    edges_.assign(edges, edges + 4 * rows(nE));
  }
  nE_ = nE > 0 ? nE : 0;
  v.edges = {edges_.data(), rows(nE_), 4};
  checked_shell checked;
  if (input_error e = check_shell(v, uses::energy, opt.style, &checked)) throw invalid_input(e);
  // A given edge table must be one of these faces: the stateless calls take
  // any table, but a shell (and whatever takes one) is checked once here.
  if (edges != nullptr) throw_if_failed(check_edge_table(v.source_faces, v.edges, opt.style));
  faces_look_one_based_ = checked.faces_look_one_based;
  nF_ = checked.nF;

  // The rest side, by the expressions the stateless kernels use.
  const detail::column_major_vertices rest{source_vertices, nV};
  for (auto& c : corner_) c.resize(nF_);
  S_r_.resize(nF_);
  A_r_.resize(nF_);
  for (auto& g : g_) g.resize(nF_);
  for (auto& c : c_) c.resize(nF_);
  const detail::membrane_coefficients k(mu);
  const detail::element_table elements{source_faces, nF_, edges_.data(), nE_};
  for (std::int32_t f = 0; f < nF_; ++f) {
    std::int32_t c[4];
    elements.face(f, c);
    detail::vec3 e[3];
    detail::edges_of(rest(c[0]), rest(c[1]), rest(c[2]), e);
    double g[3];
    detail::rest_face<detail::baseline_isa>(e, S_r_[f], A_r_[f], g);
    for (int m = 0; m < 3; ++m) {
      corner_[m][f] = c[m];
      g_[m][f] = g[m];
      c_[m][f] = detail::edge_coefficient<detail::baseline_isa>(k.neg_mu4, g[m], A_r_[f]);
    }
  }
  for (std::int32_t r = 0; r < nE_; ++r) {
    std::int32_t h[4];
    if (elements.hinge(r, h) == 0) continue;
    hinge_row_.push_back(r);
    for (int k = 0; k < 4; ++k) hinge_vertex_[k].push_back(h[k]);
    double cos_r, w_h;
    detail::rest_hinge<detail::baseline_isa>(rest(h[0]), rest(h[1]), rest(h[2]), rest(h[3]), cos_r,
                                             w_h);
    cos_r_.push_back(cos_r);
    w_h_.push_back(w_h);
  }

  // The Hessian's pattern, and every element pair's place in it.
  malloc_allocator alloc;
  detail::vertex_neighbours n;
  if (!detail::build_vertex_neighbours(elements, nV_, alloc, &n)) throw std::bad_alloc();
  first_.assign(n.first, n.first + rows(nV_) + 1);
  neighbour_.assign(n.neighbour, n.neighbour + n.total);
  alloc.release(n.first);
  alloc.release(n.neighbour);
  const detail::vertex_neighbours view = detail::shell_access::neighbours(*this);
  const detail::csc_positions positions{&view, layout_};
  col_start_.resize(3 * rows(nV_) + 1);
  row_index_.resize(static_cast<std::size_t>(positions.nnz()));
  detail::write_pattern(positions, col_start_.data(), row_index_.data());
  const auto ranks = [&view](const std::int32_t* v, int m, std::vector<std::int32_t>& out) {
    for (int b = 0; b < m; ++b) {
      for (int a = 0; a < m; ++a) {
        out.push_back(static_cast<std::int32_t>(detail::rank_in(view, v[b], v[a])));
      }
    }
  };
  face_rank_.reserve(9 * rows(nF_));
  for (std::int32_t f = 0; f < nF_; ++f) {
    const std::int32_t c[3] = {corner_[0][f], corner_[1][f], corner_[2][f]};
    ranks(c, 3, face_rank_);
  }
  hinge_rank_.reserve(16 * hinge_row_.size());
  for (std::size_t h = 0; h < hinge_row_.size(); ++h) {
    const std::int32_t c[4] = {hinge_vertex_[0][h], hinge_vertex_[1][h], hinge_vertex_[2][h],
                               hinge_vertex_[3][h]};
    ranks(c, 4, hinge_rank_);
  }

  // The shell's own vertex order: by first use, faces first then hinges,
  // unused vertices last. Renumbering where a vertex lives changes no sum:
  // the elements are still visited, and every entry accumulated, in the
  // tables' order.
  vertex_.reserve(rows(nV_));
  std::vector<std::int32_t> own(rows(nV_), -1);
  const auto number = [&](std::int32_t& v) {
    if (own[v] < 0) {
      own[v] = static_cast<std::int32_t>(vertex_.size());
      vertex_.push_back(v);
    }
    v = own[v];
  };
  for (std::int32_t f = 0; f < nF_; ++f) {
    for (auto& c : corner_) number(c[f]);
  }
  for (std::size_t h = 0; h < hinge_row_.size(); ++h) {
    for (auto& v : hinge_vertex_) number(v[h]);
  }
  for (std::int32_t v = 0; v < nV_; ++v) {
    if (own[v] < 0) {
      own[v] = static_cast<std::int32_t>(vertex_.size());
      vertex_.push_back(v);
    }
  }
  positions_.resize(3 * rows(nV_));
  gradient_.resize(3 * rows(nV_));
}

double shell::energy(const double* deformed_v, vertex_order order) {
  using A = detail::shell_access;
  const double* q = A::packed(*this, deformed_v, order);
  const detail::prepared_faces f = A::faces(*this);
  const detail::prepared_hinges h = A::hinges(*this);
  const detail::interleaved_gradient none{nullptr};
  return dispatch<prepared_dispatch<mode::energy, detail::interleaved_gradient>>(
      preferred_isa(), &f, &h, q, mu_, eta_, &none);
}

double shell::energy_and_gradient(const double* deformed_v, double* gradient, vertex_order order) {
  using A = detail::shell_access;
  const double* q = A::packed(*this, deformed_v, order);
  const detail::prepared_faces f = A::faces(*this);
  const detail::prepared_hinges h = A::hinges(*this);
  const detail::interleaved_gradient sink{A::gradient_target(*this)};
  const double E = dispatch<prepared_dispatch<mode::gradient, detail::interleaved_gradient>>(
      preferred_isa(), &f, &h, q, mu_, eta_, &sink);
  A::unpack_gradient(*this, gradient, order);
  return E;
}

double shell::energy_gradient_hessian(const double* deformed_v, projection project,
                                      double* gradient, double* hessian_values,
                                      vertex_order order) {
  using A = detail::shell_access;
  using sink_type = detail::hessian_sink<detail::interleaved_gradient, detail::stored_ranks>;
  const double* q = A::packed(*this, deformed_v, order);
  const detail::prepared_faces f = A::faces(*this);
  const detail::prepared_hinges h = A::hinges(*this);
  const detail::vertex_neighbours n = A::neighbours(*this);
  const detail::csc_positions positions{&n, layout_};
  for (std::size_t i = 0; i < row_index_.size(); ++i) hessian_values[i] = 0.0;
  const sink_type sink(detail::interleaved_gradient{A::gradient_target(*this)}, positions,
                       detail::stored_ranks{face_rank_.data(), hinge_rank_.data(), vertex_.data()},
                       project, hessian_values);
  const double E = dispatch<prepared_dispatch<mode::hessian, sink_type>>(preferred_isa(), &f, &h, q,
                                                                         mu_, eta_, &sink);
  A::unpack_gradient(*this, gradient, order);
  return E;
}

}  // namespace lamina
