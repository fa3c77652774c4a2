// The bending models lamina has, in the order of lamina::bending_model: the
// one place that ties each enum value to its model (a folder of its own
// under terms/bending/). Adding a model is its folder, a value in
// <lamina/bending.h> and a line in each of the two lists below.
#ifndef LAMINA_KERNELS_TERMS_BENDING_MODELS_H
#define LAMINA_KERNELS_TERMS_BENDING_MODELS_H

#include <lamina/bending.h>

#include "terms/bending/cosine/model.h"
#include "terms/bending/dihedral/model.h"

namespace lamina {
namespace detail {

// Calls f with a value of the model type that `model` names.
template <class F>
LAMINA_ALWAYS_INLINE decltype(auto) with_bending_model(bending_model model, F&& f) {
  switch (model) {
    case bending_model::dihedral:
      return f(dihedral_bending{});
    case bending_model::cosine:
      break;
  }
  return f(cosine_bending{});
}

// Their names, in the order of the enum.
constexpr const char* kBendingModelNames[] = {cosine_bending::name, dihedral_bending::name};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_KERNELS_TERMS_BENDING_MODELS_H
