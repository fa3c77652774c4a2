// The bending models: how the bending term measures a hinge's fold.
//
//   cosine    eta w_h (cos theta_d - cos theta_r)^2, the model of the
//             plug-ins lamina_work_deriv, lamina_work_total and
//             lamina_hinge_mask, and the default everywhere
//   dihedral  eta w_h (theta_d - theta_r)^2, with theta the signed dihedral
//             angle; it converges under mesh refinement and has stiffness
//             out of the plane when flat
//
// w_h = |e_r|^2 / (A1 + A2) is the same weight in both (the squared rest
// edge length over the two rest wing areas), and both evaluate exactly the
// hinges the valid-edge mask flags. docs/model.md derives both and says when
// to use which.
#ifndef LAMINA_BENDING_H
#define LAMINA_BENDING_H

namespace lamina {

enum class bending_model { cosine, dihedral };

// The model's name, as options spell it: "cosine", ...
const char* bending_model_name(bending_model model);

// The model a name means, ignoring case; false (and *model untouched) when
// no model has that name.
bool find_bending_model(const char* name, bending_model* model);

// Every model's name, quoted, for messages: "'cosine'", "'cosine' or ...".
const char* bending_model_names();

}  // namespace lamina

#endif  // LAMINA_BENDING_H
