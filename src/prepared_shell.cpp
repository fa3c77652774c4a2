// lamina::shell (<lamina/shell.h>): the rest side, connectivity and Hessian
// pattern of a mesh stored once, and the shell's terms (assembly/terms.h)
// run on them.
#include <lamina/edge_table.h>
#include <lamina/shell.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "assembly/chunks.h"
#include "assembly/hessian_sink.h"
#include "assembly/pattern.h"
#include "assembly/sources.h"
#include "assembly/terms.h"
#include "simd/isa.h"
#include "terms/bending/models.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace {

using detail::mode;

struct malloc_allocator {
  void* allocate(std::size_t bytes) { return std::malloc(bytes); }
  void release(void* p) { std::free(p); }
};

using membrane = detail::neo_hookean_membrane;

// The shell's terms on its prepared sources, for one instruction set.
template <class Bending, mode Mode, class Sink>
struct prepared_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const detail::prepared_source<membrane>* faces,
                                         const detail::prepared_source<Bending>* hinges,
                                         const double* positions, double mu, double eta,
                                         const Sink* sink) {
    return detail::shell_terms<membrane, Bending, Isa, Mode>(
        *faces, *hinges, detail::interleaved_vertices{positions}, mu, eta, *sink);
  }
};

}  // namespace

namespace detail {

struct shell_threads {
  chunk_ownership faces, hinges;
  chunk_slots slots;
};

// For the tests: cuts a shell's elements into chunks of `positions` from its
// next threaded call on (the bits do not change; many small chunks make
// small meshes exercise every path of the threaded passes).
void set_chunk_size(shell& s, std::int32_t positions);

shell_threads_slot::shell_threads_slot() = default;
shell_threads_slot::shell_threads_slot(const shell_threads_slot&) {}
shell_threads_slot::shell_threads_slot(shell_threads_slot&&) noexcept = default;
shell_threads_slot& shell_threads_slot::operator=(const shell_threads_slot&) {
  state.reset();
  return *this;
}
shell_threads_slot& shell_threads_slot::operator=(shell_threads_slot&&) noexcept = default;
shell_threads_slot::~shell_threads_slot() = default;

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

  static prepared_source<neo_hookean_membrane> faces(const shell& s) {
    prepared_source<neo_hookean_membrane> f{
        s.nF_,
        nullptr,
        {s.corner_[0].data(), s.corner_[1].data(), s.corner_[2].data()},
        {},
        s.face_rank_.data(),
        s.rest_positions_.data()};
    for (int q = 0; q < neo_hookean_membrane::kRest; ++q) {
      f.rest[q] = s.face_rest_.data() + static_cast<std::size_t>(q) * s.corner_[0].size();
    }
    return f;
  }

  template <class Bending>
  static prepared_source<Bending> hinges(const shell& s) {
    prepared_source<Bending> h{s.hinge_count(),
                               s.hinge_row_.data(),
                               {s.hinge_vertex_[0].data(), s.hinge_vertex_[1].data(),
                                s.hinge_vertex_[2].data(), s.hinge_vertex_[3].data()},
                               {},
                               s.hinge_rank_.data(),
                               s.rest_positions_.data()};
    for (int q = 0; q < Bending::kRest; ++q) {
      h.rest[q] = s.hinge_rest_.data() + static_cast<std::size_t>(q) * s.hinge_row_.size();
    }
    return h;
  }

  // The threads of a call (chunks.h), no more than a term has chunks.
  static int threads_for(const shell& s) {
    const std::int32_t chunk =
        s.threads_state_.state ? s.threads_state_.state->faces.chunk : kChunk;
    return detail::threads_for(
        s.threads_, static_cast<std::int64_t>(s.nF_) + s.hinge_count(),
        std::max(chunks_of(s.nF_, chunk), chunks_of(s.hinge_count(), chunk)));
  }

  static std::unique_ptr<shell_threads>& state(shell& s) { return s.threads_state_.state; }

  // The ownership of each term's vertices (and, for the blocks, vertex
  // pairs) by chunks, built on the first call that needs it.
  static shell_threads& threads_state(shell& s, bool pairs, int threads) {
    std::unique_ptr<shell_threads>& t = s.threads_state_.state;
    if (!t) t = std::make_unique<shell_threads>();
    t->hinges.chunk = t->faces.chunk;
    if (t->faces.shared_vertex.empty() || (pairs && !t->faces.has_pairs)) {
      const vertex_neighbours n = neighbours(s);
      const mapped_vertices users{s.vertex_.data()};
      own_chunks(faces(s), s.nV_, pairs ? &n : nullptr, users, threads, t->faces);
      with_bending_model(s.bending_, [&](auto model) {
        own_chunks(hinges<decltype(model)>(s), s.nV_, pairs ? &n : nullptr, users, threads,
                   t->hinges);
      });
    }
    return *t;
  }

  // One pass of the shell's terms in Mode into the sink, with the shell's
  // bending model, on the shell's threads.
  template <mode Mode, class Sink>
  static double evaluate(shell& s, const double* positions, const Sink& sink, int threads) {
    const prepared_source<neo_hookean_membrane> f = faces(s);
    if (threads <= 1) {
      return with_bending_model(s.bending_, [&](auto model) {
        using Bending = decltype(model);
        const prepared_source<Bending> h = hinges<Bending>(s);
        return dispatch<prepared_kernel<Bending, Mode, Sink>>(preferred_isa(), &f, &h, positions,
                                                              s.mu_, s.eta_, &sink);
      });
    }
    shell_threads& t = threads_state(s, Mode == mode::hessian || Mode == mode::mixed, threads);
    const interleaved_vertices q{positions};
    const double Em = chunked_pass<neo_hookean_membrane, Mode>(
        preferred_isa(), f, q, membrane_coefficients(s.mu_), sink, t.faces, threads, t.slots);
    const double Eb = with_bending_model(s.bending_, [&](auto model) {
      using Bending = decltype(model);
      return chunked_pass<Bending, Mode>(preferred_isa(), hinges<Bending>(s), q,
                                         typename Bending::coefficients(s.eta_), sink, t.hinges,
                                         threads, t.slots);
    });
    return Eb + Em;
  }

  // The rest positions, packed as the deformed ones are (packed() below),
  // and the rest side of every element from them, by the models' own
  // expressions (those the stateless kernels evaluate on every call),
  // quantity by quantity.
  static void prepare_rest(shell& s, const double* source_vertices, vertex_order order) {
    pack(s, source_vertices, order, s.rest_positions_.data());
    const interleaved_vertices rest{s.rest_positions_.data()};
    const auto rest_side = [&rest](auto model, const auto& k, const std::vector<std::int32_t>* v,
                                   std::vector<double>& out) {
      using Model = decltype(model);
      constexpr int M = Model::element::vertices;
      const std::size_t count = v[0].size();
      out.resize(Model::kRest * count);
      for (std::size_t x = 0; x < count; ++x) {
        vec3 P[M];
        for (int i = 0; i < M; ++i) P[i] = rest(v[i][x]);
        double q[Model::kRest];
        if constexpr (M == 3) {
          Model::template rest_of<baseline_isa, mode::hessian>(P[0], P[1], P[2], k, q);
        } else {
          Model::template rest_of<baseline_isa, mode::hessian>(P[0], P[1], P[2], P[3], k, q);
        }
        for (int i = 0; i < Model::kRest; ++i) out[i * count + x] = q[i];
      }
    };
    rest_side(neo_hookean_membrane{}, membrane_coefficients(s.mu_), s.corner_, s.face_rest_);
    with_bending_model(s.bending_, [&](auto model) {
      rest_side(model, typename decltype(model)::coefficients(s.eta_), s.hinge_vertex_,
                s.hinge_rest_);
    });
  }

  // The deformed positions packed in the workspace, x, y and z of a vertex
  // side by side, vertices in the shell's own order (first use by the
  // elements), so that the elements read them mostly in sequence.
  static const double* packed(shell& s, const double* deformed_v, vertex_order order, int threads) {
    pack(s, deformed_v, order, s.positions_.data(), threads);
    return s.positions_.data();
  }

  static void pack(const shell& s, const double* deformed_v, vertex_order order, double* p,
                   int threads = 1) {
    const std::size_t n = s.vertex_.size();
    const std::int32_t* user = s.vertex_.data();
    split(threads, n, [&](std::size_t begin, std::size_t end) {
      if (order == vertex_order::row_major) {
        for (std::size_t t = begin; t < end; ++t) {
          const double* q = deformed_v + 3 * static_cast<std::size_t>(user[t]);
          p[3 * t] = q[0];
          p[3 * t + 1] = q[1];
          p[3 * t + 2] = q[2];
        }
      } else {
        for (std::size_t t = begin; t < end; ++t) {
          p[3 * t] = deformed_v[user[t]];
          p[3 * t + 1] = deformed_v[user[t] + n];
          p[3 * t + 2] = deformed_v[user[t] + 2 * n];
        }
      }
    });
  }

  // The gradient is accumulated in the workspace, in the same packed order,
  // from 0.0, and then written out in the caller's order and layout: every
  // entry receives the same additions in the same order as in the stateless
  // kernels.
  static double* gradient_target(shell& s, int threads) {
    clear(s.gradient_.data(), s.gradient_.size(), threads);
    return s.gradient_.data();
  }

  static void clear(double* a, std::size_t n, int threads) {
    split(threads, n, [a](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) a[i] = 0.0;
    });
  }

  static void unpack_gradient(const shell& s, double* gradient, vertex_order order, int threads) {
    unpack(s, s.gradient_.data(), gradient, order, threads);
  }

  static void unpack(const shell& s, const double* g, double* gradient, vertex_order order,
                     int threads) {
    const std::size_t n = s.vertex_.size();
    const std::int32_t* user = s.vertex_.data();
    split(threads, n, [&](std::size_t begin, std::size_t end) {
      if (order == vertex_order::row_major) {
        for (std::size_t t = begin; t < end; ++t) {
          double* q = gradient + 3 * static_cast<std::size_t>(user[t]);
          q[0] = g[3 * t];
          q[1] = g[3 * t + 1];
          q[2] = g[3 * t + 2];
        }
      } else {
        for (std::size_t t = begin; t < end; ++t) {
          gradient[user[t]] = g[3 * t];
          gradient[user[t] + n] = g[3 * t + 1];
          gradient[user[t] + 2 * n] = g[3 * t + 2];
        }
      }
    });
  }
};

void set_chunk_size(shell& s, std::int32_t positions) {
  std::unique_ptr<shell_threads>& t = shell_access::state(s);
  t = std::make_unique<shell_threads>();
  t->faces.chunk = t->hinges.chunk = positions;
}

}  // namespace detail

shell::shell(const double* source_faces, std::int32_t nF, const double* source_vertices,
             std::int32_t nV, double mu, double eta, const double* edges, std::int32_t nE,
             shell_options opt)
    : nV_(nV),
      nF_(nF),
      nE_(0),
      mu_(mu),
      eta_(eta),
      bending_(opt.bending),
      threads_(0),
      layout_(opt.layout) {
  // Counts and pointers first: a negative count or a null table with rows is
  // refused, not read as an empty table.
  throw_if_failed(check_table_pointer(input::source_faces, nF, source_faces, opt.style));
  throw_if_failed(check_table_pointer(input::source_vertices, nV, source_vertices, opt.style));
  if (edges != nullptr) throw_if_failed(check_table_pointer(input::edges, nE, edges, opt.style));
  set_threads(opt.threads);
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
  // any table, but a shell (and whatever takes one) is checked once here. A
  // shell without faces is the bending term alone, of whatever table it is
  // given: there is nothing to check the table against.
  if (edges != nullptr && checked.nF > 0) {
    throw_if_failed(check_edge_table(v.source_faces, v.edges, opt.style));
  }
  faces_look_one_based_ = checked.faces_look_one_based;
  nF_ = checked.nF;

  // The elements: every face, and the edge rows that are hinges.
  const detail::element_table elements{source_faces, nF_, edges_.data(), nE_};
  for (auto& c : corner_) c.resize(nF_);
  for (std::int32_t f = 0; f < nF_; ++f) {
    std::int32_t c[4];
    elements.face(f, c);
    for (int m = 0; m < 3; ++m) corner_[m][f] = c[m];
  }
  for (std::int32_t r = 0; r < nE_; ++r) {
    std::int32_t h[4];
    if (elements.hinge(r, h) == 0) continue;
    hinge_row_.push_back(r);
    for (int k = 0; k < 4; ++k) hinge_vertex_[k].push_back(h[k]);
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
  rest_positions_.resize(3 * rows(nV_));
  rest_gradient_.resize(3 * rows(nV_));
  detail::shell_access::prepare_rest(*this, source_vertices, vertex_order::column_major);
}

double shell::energy(const double* deformed_v, vertex_order order) {
  using A = detail::shell_access;
  const int threads = A::threads_for(*this);
  const double* q = A::packed(*this, deformed_v, order, threads);
  return A::evaluate<mode::energy>(*this, q, detail::interleaved_gradient{nullptr}, threads);
}

double shell::energy_and_gradient(const double* deformed_v, double* gradient, vertex_order order) {
  using A = detail::shell_access;
  const int threads = A::threads_for(*this);
  const double* q = A::packed(*this, deformed_v, order, threads);
  const double E = A::evaluate<mode::gradient>(
      *this, q, detail::interleaved_gradient{A::gradient_target(*this, threads)}, threads);
  A::unpack_gradient(*this, gradient, order, threads);
  return E;
}

double shell::energy_gradient_hessian(const double* deformed_v, projection project,
                                      double* gradient, double* hessian_values,
                                      vertex_order order) {
  using A = detail::shell_access;
  using sink_type = detail::hessian_sink<detail::interleaved_gradient, detail::mapped_vertices>;
  const int threads = A::threads_for(*this);
  const double* q = A::packed(*this, deformed_v, order, threads);
  const detail::vertex_neighbours n = A::neighbours(*this);
  const detail::csc_positions positions{&n, layout_};
  A::clear(hessian_values, row_index_.size(), threads);
  const sink_type sink(detail::interleaved_gradient{A::gradient_target(*this, threads)}, positions,
                       detail::mapped_vertices{vertex_.data()}, project, hessian_values);
  const double E = A::evaluate<mode::hessian>(*this, q, sink, threads);
  A::unpack_gradient(*this, gradient, order, threads);
  return E;
}

void shell::set_threads(int threads) {
  if (threads < 0) {
    throw std::invalid_argument("lamina: threads must be 0 (all cores) or a positive count, not " +
                                std::to_string(threads));
  }
  threads_ = threads;
}

void shell::set_rest(const double* source_vertices, vertex_order order) {
  detail::shell_access::prepare_rest(*this, source_vertices, order);
}

double shell::rest_derivatives(const double* deformed_v, double* gradient, double* rest_gradient,
                               double* mixed_values, vertex_order order) {
  using A = detail::shell_access;
  using sink_type = detail::rest_sink<detail::interleaved_gradient, detail::mapped_vertices>;
  const int threads = A::threads_for(*this);
  const double* q = A::packed(*this, deformed_v, order, threads);
  const detail::vertex_neighbours n = A::neighbours(*this);
  A::clear(rest_gradient_.data(), rest_gradient_.size(), threads);
  const sink_type sink(detail::interleaved_gradient{A::gradient_target(*this, threads)},
                       detail::interleaved_gradient{rest_gradient_.data()},
                       {detail::csc_positions{&n, layout_}, {vertex_.data()}, mixed_values});
  double E;
  if (mixed_values != nullptr) {
    A::clear(mixed_values, row_index_.size(), threads);
    E = A::evaluate<mode::mixed>(*this, q, sink, threads);
  } else {
    E = A::evaluate<mode::rest_gradient>(*this, q, sink, threads);
  }
  A::unpack_gradient(*this, gradient, order, threads);
  A::unpack(*this, rest_gradient_.data(), rest_gradient, order, threads);
  return E;
}

}  // namespace lamina
