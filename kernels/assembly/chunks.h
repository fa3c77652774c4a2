// A pass on several threads whose results are the one-thread bits, by
// construction.
//
// A term's elements (its source's positions: table rows, or elements) are
// cut into chunks of a fixed number of positions (chunking, below). The cuts
// depend on the mesh alone,
// never on the thread count. A vertex (or a pair of vertices, for the
// Hessian's and the mixed blocks' entries) that the elements of one chunk
// alone touch is that chunk's: it receives every contribution of the term
// from that chunk, in element order, so the chunk adds into it directly, on
// whichever thread computes the chunk. Every other vertex and pair is shared:
// the chunk records its contributions in element order, and the records are
// applied chunk after chunk, in chunk order, after each chunk is computed;
// each chunk's element energies are summed then too. Every entry therefore
// receives the same additions in the same order as in one pass on one
// thread, and the total is the same sum in the same order: the same bits for
// every thread count and schedule.
//
// The chunks are computed in parallel and finished (the ordered part) one
// after another as soon as each is ready, overlapping the computation of
// later chunks (run_ordered, src/threads.h). The terms run one after the
// other, the membrane's chunks before the bending term's, as in one thread.
//
// Terms and models know nothing of this: a chunk runs the one pass over its
// range with a sink that sorts what it receives into direct additions and
// records.
#ifndef LAMINA_KERNELS_ASSEMBLY_CHUNKS_H
#define LAMINA_KERNELS_ASSEMBLY_CHUNKS_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "assembly/hessian_sink.h"
#include "assembly/pass.h"
#include "assembly/pattern.h"
#include "simd/isa.h"
#include "terms/bending/hinge.h"
#include "terms/membrane/face.h"
#include "threads.h"

namespace lamina {
namespace detail {

// Positions per chunk, per kind of element: enough that a chunk's ends
// touch a small share of its vertices on meshes in a sensible order, few
// enough that 2e5 faces make a few dozen chunks to share among threads. The
// faces around a vertex lie about one row of faces apart in the table; the
// hinges around it (in an edge table built from the faces, whose rows follow
// the faces) about two rows, and the hinge rows outnumber the faces by half:
// hinge chunks are longer for as small a share of vertices at their ends.
// Face chunks of 8192 rather than 4096 halve the records the ordered stage
// applies; on 2 threads at 2e5 faces the energy and gradient went from
// 1.53-1.67x to 1.62-1.71x the one-thread speed (alternate runs, same
// machine), the Hessians gaining a little too.
template <class Element>
struct chunking;

template <>
struct chunking<face_element> {
  static constexpr std::int32_t positions = 8192;
};

template <>
struct chunking<hinge_element> {
  static constexpr std::int32_t positions = 16384;
};

inline std::int32_t chunks_of(std::int32_t positions, std::int32_t chunk) {
  return positions > 0 ? (positions - 1) / chunk + 1 : 0;
}

// Meshes of fewer elements run on one thread unless more are asked for:
// below this the threads' start-up costs more than they give.
constexpr std::int64_t kAutoThreads = 16384;

// The threads of a call: as many as asked for (requested > 0), or all cores
// (requested 0) but one below kAutoThreads elements; never more than the
// chunks there are.
inline int threads_for(int requested, std::int64_t elements, int chunks) {
  const int wanted =
      requested > 0 ? requested : (elements >= kAutoThreads ? hardware_threads() : 1);
  return wanted < chunks ? wanted : (chunks > 1 ? chunks : 1);
}

// The range of chunk c.
inline std::int32_t chunk_begin(int c, std::int32_t chunk) { return c * chunk; }
inline std::int32_t chunk_end(int c, std::int32_t positions, std::int32_t chunk) {
  return positions - c * chunk < chunk ? positions : (c + 1) * chunk;
}

// Which vertices, and which vertex pairs of a pattern, more than one chunk of
// a term touches (1) or one chunk alone (0); pairs are numbered n.first[j] +
// rank, as the pattern stores them.
// The chunk size changes nothing but speed (0: the element kind's; the tests
// use small ones to cut small meshes into many chunks).
struct chunk_ownership {
  std::int32_t chunk = 0;
  std::vector<std::uint8_t> shared_vertex, shared_pair;
  // Per element (by its source position), bit M b + a set where its pair
  // (v[a], v[b]) is shared: most elements have none, and take the plain
  // path.
  std::vector<std::uint16_t> pair_mask;
  // Per element: 1 where any of its vertices is shared (0: it adds its
  // gradient directly, with no test per vertex).
  std::vector<std::uint8_t> element_shared;
  bool has_pairs = false;
};

// Chunk c touches item x: keeps the lowest and highest chunk per item, with
// compare-and-swap, so the result does not depend on the order of the
// chunks' threads.
struct chunk_span {
  std::unique_ptr<std::atomic<std::int32_t>[]> low, high;
  explicit chunk_span(std::size_t n)
      : low(new std::atomic<std::int32_t>[n]), high(new std::atomic<std::int32_t>[n]) {
    for (std::size_t i = 0; i < n; ++i) {
      low[i].store(INT32_MAX, std::memory_order_relaxed);
      high[i].store(-1, std::memory_order_relaxed);
    }
  }
  void touch(std::size_t x, std::int32_t c) {
    std::int32_t v = low[x].load(std::memory_order_relaxed);
    while (c < v && !low[x].compare_exchange_weak(v, c, std::memory_order_relaxed)) {
    }
    v = high[x].load(std::memory_order_relaxed);
    while (c > v && !high[x].compare_exchange_weak(v, c, std::memory_order_relaxed)) {
    }
  }
  // 1 where chunks other than the lowest touched the item (0 where one chunk
  // or none did).
  void shared(std::size_t n, std::vector<std::uint8_t>& out) const {
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = high[i].load(std::memory_order_relaxed) > low[i].load(std::memory_order_relaxed);
    }
  }
};

// The ownership of a source's vertices (nV of them, in the numbering its
// elements use) and, where n is given, of the pattern's pairs (users maps
// element vertices to the pattern's numbering).
template <class Source, class Users>
void own_chunks(const Source& source, std::int32_t nV, const vertex_neighbours* n, Users user,
                int threads, chunk_ownership& own) {
  // (own.chunk is the chunk size to own by.)
  using element = typename Source::element;
  constexpr int M = element::vertices;
  const std::int32_t positions = source.positions();
  if (own.chunk <= 0) own.chunk = chunking<element>::positions;
  const std::int32_t chunk = own.chunk;
  const int chunks = chunks_of(positions, chunk);
  chunk_span vertices(nV > 0 ? static_cast<std::size_t>(nV) : 0);
  const std::size_t pairs = n != nullptr ? static_cast<std::size_t>(n->total) : 0;
  chunk_span pair_span(pairs);
  auto body = [&](int c) {
    typename element::lanes e;
    const std::int32_t end = chunk_end(c, positions, chunk);
    for (std::int32_t j = chunk_begin(c, chunk); source.template collect<1>(&j, end, e) == 1;) {
      for (int a = 0; a < M; ++a) vertices.touch(static_cast<std::size_t>(e.v[a][0]), c);
      if (n == nullptr) continue;
      for (int b = 0; b < M; ++b) {
        const std::int32_t col = user(e.v[b][0]);
        for (int a = 0; a < M; ++a) {
          const std::int64_t r =
              source.ranks().template rank<M>(*n, e.item[0], b, a, col, user(e.v[a][0]));
          pair_span.touch(static_cast<std::size_t>(n->first[col] + r), c);
        }
      }
    }
  };
  run_parallel(threads, chunks, body);
  vertices.shared(nV > 0 ? static_cast<std::size_t>(nV) : 0, own.shared_vertex);
  pair_span.shared(pairs, own.shared_pair);
  own.has_pairs = n != nullptr;
  const std::size_t items = static_cast<std::size_t>(positions > 0 ? positions : 0);
  own.element_shared.assign(items, 0);
  if (n != nullptr) own.pair_mask.assign(items, 0);
  auto masks = [&](int c) {
    typename element::lanes e;
    const std::int32_t end = chunk_end(c, positions, chunk);
    for (std::int32_t j = chunk_begin(c, chunk); source.template collect<1>(&j, end, e) == 1;) {
      std::uint8_t any = 0;
      for (int a = 0; a < M; ++a)
        any = any | own.shared_vertex[static_cast<std::size_t>(e.v[a][0])];
      own.element_shared[static_cast<std::size_t>(e.item[0])] = any;
      if (n == nullptr) continue;
      std::uint16_t m = 0;
      for (int b = 0; b < M; ++b) {
        const std::int32_t col = user(e.v[b][0]);
        for (int a = 0; a < M; ++a) {
          const std::int64_t r =
              source.ranks().template rank<M>(*n, e.item[0], b, a, col, user(e.v[a][0]));
          if (own.shared_pair[static_cast<std::size_t>(n->first[col] + r)]) {
            m = static_cast<std::uint16_t>(m | (1u << (M * b + a)));
          }
        }
      }
      own.pair_mask[static_cast<std::size_t>(e.item[0])] = m;
    }
  };
  run_parallel(threads, chunks, masks);
}

// Runs f(begin, end) over 0 ... n-1 cut into pieces of a fixed size, on up to
// `threads` threads: for the element-free parts of a call (packing the
// positions, clearing the outputs), which write disjoint ranges.
template <class F>
void split(int threads, std::size_t n, F&& f) {
  constexpr std::size_t kPiece = 1 << 16;
  if (threads <= 1 || n <= kPiece) {
    f(std::size_t{0}, n);
    return;
  }
  auto body = [&](int k) {
    const std::size_t begin = static_cast<std::size_t>(k) * kPiece;
    f(begin, n - begin < kPiece ? n : begin + kPiece);
  };
  run_parallel(threads, static_cast<int>((n + kPiece - 1) / kPiece), body);
}

// What a chunk leaves for the ordered part: its element energies, and its
// contributions to shared vertices and entries, each in element order.
struct chunk_records {
  struct vertex_term {
    std::int32_t v;
    vec3 t;
  };
  struct pair_term {  // a pair's nine entries (see block_sink::add_pair)
    std::int32_t j, r;
    double value[9];
  };
  std::vector<double> energies;
  std::vector<vertex_term> gradient, rest;
  std::vector<pair_term> pairs;
  void clear() {
    energies.clear();
    gradient.clear();
    rest.clear();
    pairs.clear();
  }
};

// A gradient layout seen through a chunk: owned vertices directly, shared
// ones recorded (add2 as two records, which the ordered part adds one after
// the other, as add2 does).
template <class Layout>
struct chunk_gradient {
  const Layout* real;
  const std::uint8_t* shared;
  std::vector<chunk_records::vertex_term>* out;
  const std::uint8_t* element_shared;  // per element: whether any vertex is shared
  LAMINA_ALWAYS_INLINE bool plain(std::int32_t item) const { return element_shared[item] == 0; }
  LAMINA_ALWAYS_INLINE const Layout& direct() const { return *real; }
  LAMINA_ALWAYS_INLINE void add(std::int32_t v, vec3 t) const {
    if (shared[v]) {
      keep(v, t);
    } else {
      real->add(v, t);
    }
  }
  LAMINA_ALWAYS_INLINE void add2(std::int32_t v, vec3 t, vec3 u) const {
    if (shared[v]) {
      keep(v, t);
      keep(v, u);
    } else {
      real->add2(v, t, u);
    }
  }
  LAMINA_NOINLINE void keep(std::int32_t v, vec3 t) const { out->push_back({v, t}); }
};

// Blocks seen through a chunk: entries of owned pairs directly, of shared
// pairs recorded.
template <class Users>
struct chunk_blocks {
  const block_sink<Users>* real;
  const std::uint16_t* mask;
  std::vector<chunk_records::pair_term>* out;
  template <int M, class Ranks>
  LAMINA_ALWAYS_INLINE void add_block(const Ranks& ranks, std::int64_t item,
                                      const std::int32_t v[M], const lane_doubles* H, int l) const {
    const std::uint32_t m = mask[item];
    if (m == 0) {
      real->template add_block<M>(ranks, item, v, H, l);
    } else {
      add_edge_block<M>(ranks, item, v, H, l, m);
    }
  }

  // An element with shared pairs, out of line: the pass's inner loop stays
  // that of one thread for every other element.
  template <int M, class Ranks>
  LAMINA_NOINLINE void add_edge_block(const Ranks& ranks, std::int64_t item,
                                      const std::int32_t v[M], const lane_doubles* H, int l,
                                      std::uint32_t m) const {
    for (int b = 0; b < M; ++b) {
      const std::int32_t j = real->user(v[b]);
      for (int a = 0; a < M; ++a) {
        const std::int64_t r =
            ranks.template rank<M>(*real->positions.n, item, b, a, j, real->user(v[a]));
        if (((m >> (M * b + a)) & 1u) == 0) {
          real->template add_pair<M>(j, r, H, a, b, l);
          continue;
        }
        chunk_records::pair_term t;
        t.j = j;
        t.r = static_cast<std::int32_t>(r);
        for (int c = 0; c < 3; ++c) {
          for (int k = 0; k < 3; ++k) t.value[3 * c + k] = H[(3 * a + k) * 3 * M + 3 * b + c][l];
        }
        out->push_back(t);
      }
    }
  }
};

// The chunk's view of each kind of sink, and how its records are applied.
template <class Sink>
struct chunked;

template <>
struct chunked<column_major_gradient> {
  using type = chunk_gradient<column_major_gradient>;
  static type make(const column_major_gradient& s, const chunk_ownership& o, chunk_records& r) {
    return {&s, o.shared_vertex.data(), &r.gradient, o.element_shared.data()};
  }
  static void apply(const column_major_gradient& s, const chunk_records& r) {
    for (const auto& t : r.gradient) s.add(t.v, t.t);
  }
};

template <>
struct chunked<interleaved_gradient> {
  using type = chunk_gradient<interleaved_gradient>;
  static type make(const interleaved_gradient& s, const chunk_ownership& o, chunk_records& r) {
    return {&s, o.shared_vertex.data(), &r.gradient, o.element_shared.data()};
  }
  static void apply(const interleaved_gradient& s, const chunk_records& r) {
    for (const auto& t : r.gradient) s.add(t.v, t.t);
  }
};

template <class Gradient, class Users>
struct chunk_hessian_sink : chunk_gradient<Gradient> {
  chunk_blocks<Users> blocks;
  projection project;
};

template <class Gradient, class Users>
struct chunked<hessian_sink<Gradient, Users>> {
  using type = chunk_hessian_sink<Gradient, Users>;
  static type make(const hessian_sink<Gradient, Users>& s, const chunk_ownership& o,
                   chunk_records& r) {
    return {{&s, o.shared_vertex.data(), &r.gradient, o.element_shared.data()},
            {&s.blocks, o.pair_mask.data(), &r.pairs},
            s.project};
  }
  static void apply(const hessian_sink<Gradient, Users>& s, const chunk_records& r) {
    for (const auto& t : r.gradient) s.add(t.v, t.t);
    for (const auto& t : r.pairs) s.blocks.add_pair(t.j, t.r, t.value);
  }
};

template <class Gradient, class Users>
struct chunk_rest_sink : chunk_gradient<Gradient> {
  chunk_gradient<Gradient> rest;
  chunk_blocks<Users> blocks;
};

template <class Gradient, class Users>
struct chunked<rest_sink<Gradient, Users>> {
  using type = chunk_rest_sink<Gradient, Users>;
  static type make(const rest_sink<Gradient, Users>& s, const chunk_ownership& o,
                   chunk_records& r) {
    return {{&s, o.shared_vertex.data(), &r.gradient, o.element_shared.data()},
            {&s.rest, o.shared_vertex.data(), &r.rest, o.element_shared.data()},
            {&s.blocks, o.pair_mask.data(), &r.pairs}};
  }
  static void apply(const rest_sink<Gradient, Users>& s, const chunk_records& r) {
    for (const auto& t : r.gradient) s.add(t.v, t.t);
    for (const auto& t : r.rest) s.rest.add(t.v, t.t);
    for (const auto& t : r.pairs) s.blocks.add_pair(t.j, t.r, t.value);
  }
};

// The time threaded passes spend in their ordered part (nanoseconds, summed
// over calls): the serial share the benchmarks report.
inline std::atomic<std::int64_t>& ordered_nanoseconds() {
  static std::atomic<std::int64_t> n{0};
  return n;
}

// One chunk's pass on one instruction set: elements begin ... end-1, their
// energies listed.
template <class Model, mode Mode, class Source, class Vertices, class Sink>
struct chunk_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(const Source* source, const Vertices* deformed,
                                       const typename Model::coefficients* k, const Sink* sink,
                                       std::int32_t begin, std::int32_t end,
                                       std::vector<double>* energies) {
    element_pass<Model, Isa, Mode, Source, Vertices, Sink, listed_energy> p(
        *source, *deformed, *k, *sink, listed_energy{energies});
    p.run(begin, end);
  }
};

// The records of the chunks in flight, one per slot.
using chunk_slots = std::vector<chunk_records>;

// One term's pass on `threads` threads (at least 2), with the ownership of
// its source's chunks; returns the energy, the same bits as run_pass.
template <class Model, mode Mode, class Source, class Vertices, class Sink>
double chunked_pass(isa path, const Source& source, const Vertices& deformed,
                    const typename Model::coefficients& k, const Sink& sink,
                    const chunk_ownership& own, int threads, chunk_slots& slots) {
  using view = chunked<Sink>;
  using kernel = chunk_kernel<Model, Mode, Source, Vertices, typename view::type>;
  const std::int32_t positions = source.positions();
  const std::int32_t chunk =
      own.chunk > 0 ? own.chunk : chunking<typename Source::element>::positions;
  const int chunks = chunks_of(positions, chunk);
  const int tokens = 2 * threads;
  if (static_cast<int>(slots.size()) < tokens) slots.resize(tokens);
  double total = 0.0;
  auto compute = [&](int c, int slot) {
    chunk_records& r = slots[slot];
    r.clear();
    const typename view::type chunk_sink = view::make(sink, own, r);
    dispatch<kernel>(path, &source, &deformed, &k, &chunk_sink, chunk_begin(c, chunk),
                     chunk_end(c, positions, chunk), &r.energies);
  };
  auto finish = [&](int, int slot) {
    const auto start = std::chrono::steady_clock::now();
    const chunk_records& r = slots[slot];
    for (double E : r.energies) total = total + E;
    view::apply(sink, r);
    ordered_nanoseconds() += std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
  };
  run_ordered(threads, chunks, tokens, compute, finish);
  return total;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_CHUNKS_H
