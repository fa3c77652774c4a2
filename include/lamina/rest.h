// Derivatives with respect to the rest shape, for inverse design: which rest
// shape makes the loaded shell take the shape wanted?
//
// Besides the energy E and its gradient G = dE/dx in the deformed positions
// x (bit for bit those of shell_energy_and_gradient), these give
//
//   GX = dE/dX          the gradient in the rest positions X, nV by 3, and
//   M  = d2E / dx dX    the mixed Hessian, 3 nV by 3 nV: M(i, j) =
//                       dG(i) / dX(j), rows in the order of the gradient,
//                       columns in the order of the rest positions (both in
//                       the pattern's layout), so that M is the Jacobian of
//                       the internal forces with respect to the rest shape.
//
// M couples exactly the vertices that share an element, so it shares the
// Hessian's pattern (hessian.h); it is not symmetric. With them an adjoint
// method or a Gauss-Newton iteration on the rest shape is a few lines: at an
// equilibrium G(x, X) = f, dx/dX = -H^-1 M.
//
// The rest shape enters the membrane term through each face's rest area and
// its rest edges' dot products, the bending term through the rest angle (or
// its cosine) and the weight w_h of each hinge; docs/model.md derives every
// term. Where a rest quantity meets a threshold the derivative is that of
// the branch the energy takes (the membrane's tangent line below a squared
// area ratio of 1e-20); a degenerate rest face or wing makes them NaN, as it
// makes the energy. On a deformed face too thin to have a normal (area below
// about 5e-16) the gradient leaves out its area part; M, like the Hessian,
// stays the exact derivative of the energy there. Moving the whole rest mesh
// rigidly changes nothing: the rows of GX sum to zero and so do their
// moments X x GX.
//
// For many evaluations of one mesh, lamina::shell has set_rest (a new rest
// shape, keeping everything else) and rest_derivatives (shell.h).
#ifndef LAMINA_REST_H
#define LAMINA_REST_H

#include <lamina/bending.h>
#include <lamina/hessian.h>

#include <cstdint>

namespace lamina {

// Inputs as shell_energy_gradient_hessian's (hessian.h), threads included;
// pattern may be null when mixed_values is.
// Outputs:
//   gradient       nV by 3 (column-major), overwritten: dE/d deformed_v
//   rest_gradient  nV by 3 (column-major), overwritten: dE/d source_vertices
//   mixed_values   pattern->nnz() doubles, overwritten, or null (then the
//                  mixed Hessian is not formed)
// Returns the energy.
double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              double* gradient, double* rest_gradient,
                              const hessian_pattern* pattern, double* mixed_values,
                              bending_model bending = bending_model::cosine, int threads = 0);

// The same, the mixed Hessian into a sparse_matrix of the given layout.
double shell_rest_derivatives(const double* deformed_v, std::int32_t nV, double mu, double eta,
                              const double* source_vertices, const double* source_faces,
                              std::int32_t nF, const double* edges, std::int32_t nE,
                              hessian_layout layout, double* gradient, double* rest_gradient,
                              sparse_matrix* mixed, bending_model bending = bending_model::cosine,
                              int threads = 0);

}  // namespace lamina

#endif  // LAMINA_REST_H
