// Every call the solver makes to lamina::shell, in one place.
//
// The shell's evaluation methods are not const: they pack the positions and
// accumulate the gradient in a workspace inside the object, so one shell
// serves one thread at a time. The solver therefore evaluates a private copy
// of the shell it is given, which leaves the caller's shell free for other
// threads (and for other solves). Should the shell gain a const evaluation
// path with a workspace of the caller's, this class is the one place to
// change.
#ifndef LAMINA_SOLVER_SHELL_EVALUATOR_H
#define LAMINA_SOLVER_SHELL_EVALUATOR_H

#include <lamina/shell.h>

#include <cstdint>
#include <vector>

namespace lamina {
namespace detail {

class shell_evaluator {
 public:
  explicit shell_evaluator(const shell& s) : shell_(s) {}

  std::int32_t vertex_count() const { return shell_.vertex_count(); }
  hessian_layout layout() const { return shell_.layout(); }
  const std::vector<std::int64_t>& col_start() const { return shell_.hessian_col_start(); }
  const std::vector<std::int64_t>& row_index() const { return shell_.hessian_row_index(); }

  double energy(const double* x, vertex_order order) { return shell_.energy(x, order); }
  double energy_and_gradient(const double* x, double* gradient, vertex_order order) {
    return shell_.energy_and_gradient(x, gradient, order);
  }
  double energy_gradient_hessian(const double* x, projection project, double* gradient,
                                 double* values, vertex_order order) {
    return shell_.energy_gradient_hessian(x, project, gradient, values, order);
  }

 private:
  shell shell_;
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_SOLVER_SHELL_EVALUATOR_H
