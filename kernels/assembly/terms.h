// The shell's terms run by the one pass (pass.h): one term over its table,
// as the specified kernels take it, and the shell energy, the membrane term
// over the faces plus the bending term over the hinges, as every other call
// takes it.
#ifndef LAMINA_KERNELS_ASSEMBLY_TERMS_H
#define LAMINA_KERNELS_ASSEMBLY_TERMS_H

#include <cstddef>
#include <cstdint>

#include "assembly/layouts.h"
#include "assembly/pass.h"
#include "assembly/sources.h"
#include "simd/lanes.h"

namespace lamina {
namespace detail {

// One model's pass over a column-major table with the rest side computed
// from the rest positions, in the kernels' common parameter order (table,
// rows of the table, rest positions, deformed positions, nV, coefficient,
// gradient); dispatch<table_kernel<...>>(path, ...) runs it on a path.
template <class Model, mode Mode>
struct table_kernel {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE double run(const double* table, std::int32_t rows, const double* rest,
                                         const double* deformed, std::int32_t nV,
                                         double coefficient, double* gradient) {
    if (rows <= 0) return 0.0;
    const std::ptrdiff_t stride = nV;
    const table_source<Model> source{table, rows, {rest, stride}};
    return run_pass<Model, Isa, Mode>(source, column_major_vertices{deformed, stride},
                                      typename Model::coefficients(coefficient),
                                      column_major_gradient{gradient, stride});
  }
};

// The shell energy Eb + Em, one double addition. With derivatives the
// membrane term runs first, so that each gradient entry and each Hessian
// entry receives every face's contribution in face order and then every
// hinge's in hinge order (the sink is not cleared here); the energy alone
// does not depend on the order of the two sums.
template <class Membrane, class Bending, class Isa, mode Mode, class Faces, class Hinges,
          class Vertices, class Sink>
LAMINA_ALWAYS_INLINE double shell_terms(const Faces& faces, const Hinges& hinges,
                                        const Vertices& deformed, double mu, double eta,
                                        const Sink& sink) {
  const double Em =
      run_pass<Membrane, Isa, Mode>(faces, deformed, typename Membrane::coefficients(mu), sink);
  const double Eb =
      run_pass<Bending, Isa, Mode>(hinges, deformed, typename Bending::coefficients(eta), sink);
  return Eb + Em;
}

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_ASSEMBLY_TERMS_H
