// What every pass over a table of elements (faces, hinges) has in common.
//
// A pass reads its elements from a source (a face or edge table with the
// rest positions, or a prepared shell's stored rest side), the deformed
// positions from a vertex layout (lanes.h), and adds derivatives into a sink
// (a gradient layout, and later the Hessian); it keeps the running total and
// the scratch of one block of lanes.
#ifndef LAMINA_KERNELS_PASS_H
#define LAMINA_KERNELS_PASS_H

#include <cstddef>
#include <cstdint>

#include "simd/lanes.h"

namespace lamina {
namespace detail {

// The scratch of one block of elements: the elements themselves (indices and
// deformed positions), their rest side, their energy and the quantities the
// derivatives reuse, their gradient terms, and in mode::hessian their
// Hessian blocks (Entries per element).
template <class Elements, class Rest, class Energy, class Gradient, int Entries>
struct block_scratch {
  Elements e;
  Rest r;
  Energy q;
  Gradient g;
  alignas(64) lane_doubles H[Entries];
};

template <class Source, class Vertices, class Sink, class Coefficients, class Scratch>
struct pass_state {
  const Source& source;
  const Vertices& deformed;
  const Sink& sink;
  Coefficients k;
  double total = 0.0;
  Scratch s;  // filled before every use, so left uninitialised

  pass_state(const Source& source_, const Vertices& deformed_, const Sink& sink_, Coefficients k_)
      : source(source_), deformed(deformed_), sink(sink_), k(k_) {}
};

// The stateless kernels of one term (membrane or bending): its pass over a
// column-major table with the rest side computed from the rest positions,
// in the kernels' common parameter order (table, rows of the table, rest
// positions, deformed positions, nV, coefficient, gradient). Term names its
// table source and its pass:
//
//   struct Term {
//     using table = ...;  // constructible as {table, rows, rest vertices}
//     template <class Isa, mode Mode, class Source, class Vertices, class Sink>
//     static double pass(const Source&, const Vertices&, double coefficient, const Sink&);
//   };
template <class Term, mode Mode>
struct table_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const double* table, std::int32_t rows, const double* rest,
                                         const double* deformed, std::int32_t nV,
                                         double coefficient, double* gradient) {
    if (rows <= 0) return 0.0;
    const std::ptrdiff_t stride = nV;
    const typename Term::table source{table, rows, {rest, stride}};
    return Term::template pass<Isa, Mode>(source, column_major_vertices{deformed, stride},
                                          coefficient, column_major_gradient{gradient, stride});
  }
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_PASS_H
