// Equilibrium of a shell under loads, or one implicit-Euler time step, by
// projected Newton on CHOLMOD (library lamina::solve, which links
// SuiteSparse's CHOLMOD; the kernels alone do not need it).
//
// lamina::solve minimises, over the coordinates that are not held fixed,
//
//   W(x) = E(x) - sum_i f_i . x_i + sum_i m_i / (2 h^2) |x_i - y_i|^2
//
// where E is the shell's energy (lamina::shell), f constant external forces
// per vertex (gravity is f_i = m_i g), and the last term, present when masses
// m and a time step h are given, pulls every vertex towards a target y (the
// predicted position x_n + h v_n of an implicit-Euler step; by default the
// start). Fixed coordinates keep their starting values bit for bit.
//
// Each iteration takes E's gradient and its Hessian with every element block
// projected onto the positive semi-definite cone (projection::clamp by
// default), adds the masses' diagonal, and solves (H + beta I) d = -grad W on
// the free coordinates with a sparse Cholesky factorisation: the fill-reducing
// ordering and the symbolic analysis are done once per solve (the Hessian's
// pattern never changes), each iteration refactorises numerically only. The
// shift beta adapts to what the last step achieved, as in Levenberg-Marquardt:
// it shrinks after a full step and grows when the line search had to cut the
// step or the factorisation met a non-positive pivot, so that a flat start
// (where the bending term has no stiffness across the sheet) goes through. A
// backtracking line search on W accepts only steps that decrease W; near
// convergence, where W's rounding hides a real decrease, a full step is
// accepted if W did not grow beyond its rounding and the gradient's norm fell.
// Once a full step has been taken, the exact Hessian is tried: where its free
// block is positive definite its step converges quadratically; where it is
// not, the projected one is used again.
//
// It stops when max_i |grad W_i| over the free coordinates is at most
// tolerance times its value at the start (converged), at max_iterations, when
// no step decreases W, or when the callback asks; `message` says which. The
// result is the same, bit for bit, on every run with the same input on the
// same machine (the computation is sequential; CHOLMOD's factorisation is
// deterministic for a given BLAS).
//
//   lamina::shell s(faces, nF, rest, nV, mu, eta);
//   lamina::solve_options o;
//   o.fixed = held.data();    // 3 nV flags, as x
//   o.forces = f.data();      // 3 nV
//   lamina::solve_result r = lamina::solve(s, x0.data(), o);
//   if (!r.converged) std::puts(r.message.c_str());
#ifndef LAMINA_SOLVE_H
#define LAMINA_SOLVE_H

#include <lamina/checks.h>
#include <lamina/hessian.h>
#include <lamina/shell.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lamina {

// One row of the history: the state x_k after k iterations (k = 0 is the
// start) and the step that led there.
struct solve_step {
  std::int32_t iteration = 0;
  double energy = 0.0;         // W(x_k)
  double gradient_norm = 0.0;  // max |grad W| over the free coordinates at x_k
  double step = 0.0;           // line-search step length t of x_k = x_{k-1} + t d (0 at the start)
  double shift = 0.0;          // beta of the factorisation of (H + beta I) that gave d
  projection hessian = projection::none;  // the Hessian d came from: none is the exact one
  bool rounding = false;  // accepted by the gradient-norm test, W's change being rounding
  double seconds = 0.0;   // wall time since the solve began, once x_k's gradient was known
  // Where the iteration's time went, in seconds: the Hessian (with the
  // gradient), the numeric factorisations (several when a shift was raised),
  // the triangular solves and the line search's evaluations of W.
  double hessian_seconds = 0.0, factor_seconds = 0.0, solve_seconds = 0.0,
         line_search_seconds = 0.0;
  // In this iteration: numeric factorisations, iterations of conjugate
  // gradients preconditioned with an earlier factorisation (used instead of
  // a new one where they converge quickly), and evaluations of W in the
  // line search.
  std::int32_t factorizations = 0, cg_iterations = 0, evaluations = 0;
};

struct solve_options {
  // How x0, x, fixed, forces and target lie in memory (nV by 3 each).
  vertex_order order = vertex_order::column_major;
  // 3 nV flags, nonzero for a coordinate held at its starting value; null:
  // every coordinate is free.
  const std::uint8_t* fixed = nullptr;
  // 3 nV constant external forces; null: none.
  const double* forces = nullptr;
  // nV lumped masses (>= 0), with time_step (> 0): the inertia term
  // m_i / (2 h^2) |x_i - y_i|^2. null: no inertia term.
  const double* mass = nullptr;
  double time_step = 0.0;
  // 3 nV target positions y of the inertia term; null: the start x0.
  const double* target = nullptr;
  // Stop once max |grad W| <= tolerance * (its value at the start).
  double tolerance = 1e-8;
  std::int32_t max_iterations = 200;
  // The Hessian's element blocks: clamp (default) or abs make it positive
  // semi-definite; none uses the exact Hessian throughout, shifted until
  // its factorisation succeeds.
  projection project = projection::clamp;
  // One line per iteration through `print` (default: standard output).
  bool verbose = false;
  std::function<void(const std::string& line)> print;
  // Called after every iteration with its history row and x (3 nV, in
  // `order`); returning false stops the solve.
  std::function<bool(const solve_step& step, const double* x)> callback;
  // How invalid options are named in messages: MATLAB's ('Mass', 1-based
  // positions) or Python's (mass, 0-based).
  message_style style = message_style::matlab;
};

struct solve_result {
  std::vector<double> x;  // 3 nV, in the options' order
  double energy = 0.0;    // W(x)
  double gradient_norm = 0.0, initial_gradient_norm = 0.0;
  std::int32_t iterations = 0;
  bool converged = false;
  std::string message;  // why it stopped
  std::vector<solve_step> history;
  std::int64_t free_coordinates = 0;
  double analysis_seconds = 0.0;  // the ordering and symbolic factorisation, once
  double seconds = 0.0;           // the whole solve
};

// An invalid option: identifier "lamina:badOption", a message naming the
// option (and the entry and its value where there is one).
class invalid_option : public std::invalid_argument {
 public:
  invalid_option(const std::string& option, const std::string& message)
      : std::invalid_argument(message), option_(option) {}
  const char* identifier() const { return "lamina:badOption"; }
  const std::string& option() const { return option_; }

 private:
  std::string option_;
};

// Minimises W from x0 (nV by 3, in options.order). Throws invalid_option for
// invalid options, std::bad_alloc when memory runs out, and whatever the
// callback throws. Numerical trouble is not an exception: the result says
// why the solve stopped.
solve_result solve(const shell& s, const double* x0, const solve_options& options = {});

}  // namespace lamina

#endif  // LAMINA_SOLVE_H
