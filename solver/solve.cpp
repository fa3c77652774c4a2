// lamina::solve (<lamina/solve.h>): projected Newton with an adaptive shift,
// a line search on W and CHOLMOD's factorisation.
//
// Notation: x holds the 3 nV coordinates in the caller's order ("array
// order"); the Hessian's rows and columns are in the shell's layout ("Hessian
// order"). The free coordinates, in increasing Hessian order, are the rows
// and columns of the reduced system A d = -g, A = H_FF + diag(c_F), where
// c_i = m_v / h^2 is the inertia coefficient of coordinate i's vertex v. A
// keeps one pattern for the whole solve, so it is analysed once.
#include <lamina/solve.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "shell_evaluator.h"
#include "sparse_cholesky.h"

namespace lamina {
namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// ---------------------------------------------------------------------------
// The options, checked with the wording of the caller's host.

struct option_names {
  const char* fixed;
  const char* forces;
  const char* mass;
  const char* time_step;
  const char* target;
  const char* tolerance;
  const char* max_iterations;
};

std::string format_number(double x) {
  char text[40];
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, x);
    if (std::strtod(text, nullptr) == x) break;
  }
  return text;
}

class option_checker {
 public:
  option_checker(const solve_options& o, std::int32_t nV) : o_(o), nV_(nV) {
    if (o.style == message_style::matlab) {
      names_ = {"Fixed", "Forces", "Mass", "TimeStep", "Target", "Tolerance", "MaxIterations"};
    } else {
      names_ = {"fixed", "forces", "mass", "time_step", "target", "tol", "max_iter"};
    }
  }

  void check() const {
    const std::size_t n = 3 * static_cast<std::size_t>(nV_);
    if (o_.forces != nullptr) {
      for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(o_.forces[i])) {
          fail(names_.forces, entry(names_.forces, i) + " is " + format_number(o_.forces[i]) +
                                  ": every force must be finite");
        }
      }
    }
    const bool has_step = o_.time_step != 0.0;
    if (o_.mass != nullptr) {
      for (std::int32_t v = 0; v < nV_; ++v) {
        if (!(o_.mass[v] >= 0.0) || std::isinf(o_.mass[v])) {
          fail(names_.mass, vertex_entry(names_.mass, v) + " is " + format_number(o_.mass[v]) +
                                ": every mass must be finite and at least 0");
        }
      }
      if (!has_step) {
        fail(names_.mass, quoted(names_.mass) + " was given without " + quoted(names_.time_step) +
                              ": the inertia term m/(2 h^2) |x - y|^2 needs both");
      }
    }
    if (has_step) {
      if (!(o_.time_step > 0.0) || std::isinf(o_.time_step)) {
        fail(names_.time_step, quoted(names_.time_step) +
                                   " must be a positive finite number, but it is " +
                                   format_number(o_.time_step));
      }
      if (o_.mass == nullptr) {
        fail(names_.time_step, quoted(names_.time_step) + " was given without " +
                                   quoted(names_.mass) +
                                   ": the inertia term m/(2 h^2) |x - y|^2 needs both");
      }
    }
    if (o_.target != nullptr) {
      if (o_.mass == nullptr) {
        fail(names_.target, quoted(names_.target) + " was given without " + quoted(names_.mass) +
                                " and " + quoted(names_.time_step) +
                                ": it is the y of the inertia term m/(2 h^2) |x - y|^2");
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(o_.target[i])) {
          fail(names_.target, entry(names_.target, i) + " is " + format_number(o_.target[i]) +
                                  ": every target position must be finite");
        }
      }
    }
    if (!(o_.tolerance >= 0.0) || std::isinf(o_.tolerance)) {
      fail(names_.tolerance, quoted(names_.tolerance) +
                                 " must be a finite number at least 0, but it is " +
                                 format_number(o_.tolerance));
    }
    if (o_.max_iterations < 0) {
      fail(names_.max_iterations, quoted(names_.max_iterations) +
                                      " must be a count at least 0, but it is " +
                                      std::to_string(o_.max_iterations));
    }
  }

 private:
  [[noreturn]] static void fail(const char* option, const std::string& message) {
    throw invalid_option(option, message);
  }

  std::string quoted(const char* name) const {
    return o_.style == message_style::matlab ? "'" + std::string(name) + "'" : name;
  }

  // Entry i (in the options' order) of an nV-by-3 option: "Forces(2,3)" or
  // "forces[1, 2]".
  std::string entry(const char* name, std::size_t i) const {
    const std::size_t n = static_cast<std::size_t>(nV_);
    const bool rows = o_.order == vertex_order::row_major;
    const std::size_t v = rows ? i / 3 : i % n, k = rows ? i % 3 : i / n;
    char text[96];
    if (o_.style == message_style::matlab) {
      std::snprintf(text, sizeof text, "%s(%zu,%zu)", name, v + 1, k + 1);
    } else {
      std::snprintf(text, sizeof text, "%s[%zu, %zu]", name, v, k);
    }
    return text;
  }

  std::string vertex_entry(const char* name, std::int32_t v) const {
    char text[96];
    if (o_.style == message_style::matlab) {
      std::snprintf(text, sizeof text, "%s(%d)", name, static_cast<int>(v) + 1);
    } else {
      std::snprintf(text, sizeof text, "%s[%d]", name, static_cast<int>(v));
    }
    return text;
  }

  const solve_options& o_;
  std::int32_t nV_;
  option_names names_;
};

// ---------------------------------------------------------------------------
// The solver.

const char* projection_name(projection p) {
  switch (p) {
    case projection::none:
      return "exact";
    case projection::clamp:
      return "clamp";
    case projection::abs:
      return "abs";
  }
  return "?";
}

// The shift is beta = lambda * s, s the mean magnitude of A's diagonal, so
// that lambda is free of the problem's units. These bound lambda, and set it
// where the solve starts and where a failed factorisation sends it at least.
constexpr double kLambdaStart = 1e-6;
constexpr double kLambdaFloor = 1e-10;
constexpr double kLambdaAfterFailure = 1e-6;
constexpr double kLambdaCeiling = 1e12;
// Armijo's sufficient decrease, and the cap on trial points per line search.
constexpr double kArmijo = 1e-4;
constexpr int kMaxTrials = 60;

class projected_newton {
 public:
  projected_newton(const shell& s, const double* x0, const solve_options& o)
      : o_(o), shell_(s), nV_(s.vertex_count()), n_(3 * static_cast<std::size_t>(nV_)) {
    x_.assign(x0, x0 + n_);
    y_.assign(o.target != nullptr ? o.target : x0, (o.target != nullptr ? o.target : x0) + n_);
    f_.assign(n_, 0.0);
    if (o.forces != nullptr) f_.assign(o.forces, o.forces + n_);
    c_.assign(n_, 0.0);
    if (o.mass != nullptr) {
      const double h2 = o.time_step * o.time_step;
      for (std::size_t i = 0; i < n_; ++i) c_[i] = o.mass[vertex_of(i)] / h2;
    }
    free_.assign(n_, 1);
    if (o.fixed != nullptr) {
      for (std::size_t i = 0; i < n_; ++i) free_[i] = o.fixed[i] == 0;
    }
    gE_.resize(n_);
    g_.resize(n_);
    d_.resize(n_);
    trial_.resize(n_);
    h_.resize(shell_.row_index().size());
  }

  solve_result run() {
    const clock_type::time_point start = clock_type::now();
    solve_result r;
    r.history.reserve(static_cast<std::size_t>(std::min(o_.max_iterations, 1000)) + 1);

    // The start: W, its gradient and the Hessian (projected unless the
    // exact one is asked for), then the reduced system's pattern.
    solve_step row;
    // The exact Hessian is tried first at every point, unless the
    // projected one was needed recently (see next_hessian).
    projection used = o_.project == projection::none ? projection::none : next_hessian();
    const clock_type::time_point t0 = clock_type::now();
    evaluate(used);
    row.hessian_seconds = seconds_since(t0);
    row.energy = W_;
    row.gradient_norm = gnorm_;
    r.initial_gradient_norm = gnorm_;
    largest_gnorm_ = gnorm_;
    std::string why;
    bool done = false;
    if (!std::isfinite(W_) || !std::isfinite(gnorm_)) {
      why = "W or its gradient is not finite at the start (W = " + format_number(W_) +
            ", max |grad W| = " + format_number(gnorm_) + ")";
      done = true;
    } else if (!find_unresisted_force(&why)) {
      done = true;
    }
    if (!done) {
      const clock_type::time_point a0 = clock_type::now();
      build_system();
      r.analysis_seconds = seconds_since(a0);
    }
    r.free_coordinates = static_cast<std::int64_t>(reduced_.size());
    const double goal = o_.tolerance * r.initial_gradient_norm;
    row.seconds = seconds_since(start);
    r.history.push_back(row);
    if (o_.verbose) print_header(r);
    if (o_.verbose) print_row(row);

    std::int32_t k = 0;
    while (!done) {
      if (gnorm_ <= goal) {
        r.converged = true;
        why = "converged: max |grad W| = " + format_number(gnorm_) +
              " <= " + format_number(o_.tolerance) + " x " +
              format_number(r.initial_gradient_norm) + " (its value at the start)";
        break;
      }
      if (k >= o_.max_iterations) {
        why = "the iteration limit (" + std::to_string(o_.max_iterations) +
              ") was reached with max |grad W| = " + format_number(gnorm_) + " > " +
              format_number(goal) + " (the tolerance times its value at the start)";
        break;
      }
      solve_step next;
      next.iteration = k + 1;
      // A holds the Hessian evaluated at x: the exact one when it is due,
      // and where its free block (with the current shift) turns out not to
      // be positive definite, the projected one instead.
      assemble();
      bool stepped = false;
      bool reuse = reuse_wait_ == 0;
      if (reuse_wait_ > 0) --reuse_wait_;
      while (!stepped) {
        const double beta = lambda_ * scale_;
        bool solved = false;
        if (reuse && factored_) {
          // The last factorisation, of an earlier A, as the preconditioner of
          // conjugate gradients on this one: where A changed little (near
          // convergence, mostly) a few solves replace a factorisation. Where
          // they do not, the next attempts wait 1, 3, 7 iterations.
          clock_type::time_point t = clock_type::now();
          solved = conjugate_gradients(beta, &next.cg_iterations);
          next.solve_seconds += seconds_since(t);
          reuse_failures_ = solved ? 0 : std::min(reuse_failures_ + 1, 3);
          reuse_wait_ = (1 << reuse_failures_) - 1;
        }
        reuse = false;
        if (!solved) {
          clock_type::time_point t = clock_type::now();
          const bool factored = factor_->factorize(beta);
          next.factor_seconds += seconds_since(t);
          ++next.factorizations;
          factored_ = factored;
          if (!factored) {
            if (used == projection::none && o_.project != projection::none) {
              // The exact Hessian is not definite here: back to the
              // projected one, and wait longer before the next attempt.
              exact_wait_ = 1;
              t = clock_type::now();
              evaluate_hessian(o_.project);
              next.hessian_seconds += seconds_since(t);
              used = o_.project;
              assemble();
              continue;
            }
            if (lambda_ >= kLambdaCeiling) {
              why = "no shift up to " + format_number(beta) +
                    " makes the Hessian's free block positive definite (non-finite values?)";
              done = true;
              break;
            }
            lambda_ = std::max(lambda_ * 10.0, kLambdaAfterFailure);
            continue;
          }
          t = clock_type::now();
          direction();
          next.solve_seconds += seconds_since(t);
        }
        clock_type::time_point t = clock_type::now();
        const line_search_result ls = line_search(&next.evaluations);
        next.line_search_seconds += seconds_since(t);
        if (ls.accepted) {
          next.step = ls.t;
          next.shift = beta;
          next.rounding = ls.rounding;
          stepped = true;
          break;
        }
        if (lambda_ >= kLambdaCeiling) {
          why = "no step decreases W, even along the gradient (shift " + format_number(beta) +
                "): W's rounding may hide any further decrease, with max |grad W| = " +
                format_number(gnorm_);
          done = true;
          break;
        }
        lambda_ = std::max(lambda_ * 10.0, kLambdaAfterFailure);
      }
      if (!stepped) break;
      next.hessian = used;

      // The step: x moves, and the shift adapts to what the step achieved.
      // A full step lowers it a hundredfold. A step cut below a tenth raises
      // it by the factor that would have shortened the step as much where
      // the shift dominates A (the directions of no stiffness, such as
      // bending a flat sheet), so that the next full step has about the
      // length this one found; a milder cut leaves it, the line search
      // having done its work.
      x_.swap(trial_);
      ++k;
      if (next.step == 1.0) {
        lambda_ = std::max(lambda_ / 100.0, kLambdaFloor);
      } else if (next.step < 0.1) {
        lambda_ = std::min(lambda_ / next.step, kLambdaCeiling);
      }
      if (o_.project != projection::none) used = next_hessian();

      const clock_type::time_point t = clock_type::now();
      evaluate(used);
      next.hessian_seconds += seconds_since(t);
      next.energy = W_;
      next.gradient_norm = gnorm_;
      largest_gnorm_ = std::max(largest_gnorm_, gnorm_);
      next.seconds = seconds_since(start);
      r.history.push_back(next);
      if (o_.verbose) print_row(next);
      if (!std::isfinite(W_) || !std::isfinite(gnorm_)) {
        why = "W or its gradient is not finite after iteration " + std::to_string(k);
        break;
      }
      if (o_.callback && !o_.callback(next, x_.data())) {
        why = "stopped by the callback after iteration " + std::to_string(k);
        break;
      }
    }
    if (!r.converged && why.rfind("not converged", 0) != 0) why = "not converged: " + why;
    r.x = x_;
    r.energy = W_;
    r.gradient_norm = gnorm_;
    r.iterations = k;
    r.message = why;
    r.seconds = seconds_since(start);
    if (o_.verbose) print_line(r.message);
    return r;
  }

 private:
  struct line_search_result {
    bool accepted = false;
    bool rounding = false;
    double t = 0.0;
  };

  // The Hessian for the next point: the exact one, unless it was found not
  // to be definite at the last point. (Waiting longer after repeated
  // failures saved no factorisations on the cantilevers of bench/, and
  // trying at every point cost more.)
  projection next_hessian() {
    if (exact_wait_ > 0) {
      --exact_wait_;
      return o_.project;
    }
    return projection::none;
  }

  // Solves (A + beta I) d = -g on the free coordinates by conjugate
  // gradients preconditioned with the last factorisation. True, with d_
  // set, once the residual is below eta |g| (eta falls with the gradient,
  // for superlinear convergence) within the iterations that cost less than
  // about half a factorisation; false at a direction of non-positive
  // curvature or when that budget is spent. The budget is counted in
  // floating-point operations, not measured in seconds, so that the same
  // input takes the same path on every run: a factorisation's (CHOLMOD's
  // count) against an iteration's two triangular solves and product with A.
  bool conjugate_gradients(double beta, std::int32_t* iterations) {
    const std::size_t m = reduced_.size();
    const double per_iteration =
        4.0 * factor_->factor_entries() + 4.0 * static_cast<double>(source_.size());
    const double budget = per_iteration > 0.0 ? 0.5 * factor_->flops() / per_iteration : 0.0;
    const int most = static_cast<int>(std::min(budget, 30.0));
    if (most < 1) return false;
    const double eta =
        std::min(0.1, std::sqrt(largest_gnorm_ > 0.0 ? gnorm_ / largest_gnorm_ : 0.0));
    cg_x_.assign(m, 0.0);
    cg_r_.resize(m);
    cg_z_.resize(m);
    cg_p_.resize(m);
    cg_q_.resize(m);
    double bb = 0.0;
    for (std::size_t r = 0; r < m; ++r) {
      cg_r_[r] = -g_[reduced_[r]];
      bb += cg_r_[r] * cg_r_[r];
    }
    const double goal = eta * eta * bb;
    cg_z_ = cg_r_;
    factor_->solve(cg_z_.data());
    cg_p_ = cg_z_;
    double rz = 0.0;
    for (std::size_t r = 0; r < m; ++r) rz += cg_r_[r] * cg_z_[r];
    for (int it = 1; it <= most; ++it) {
      factor_->multiply(cg_p_.data(), beta, cg_q_.data());
      double pq = 0.0;
      for (std::size_t r = 0; r < m; ++r) pq += cg_p_[r] * cg_q_[r];
      if (!(pq > 0.0) || !std::isfinite(pq)) return false;
      const double alpha = rz / pq;
      double rr = 0.0;
      for (std::size_t r = 0; r < m; ++r) {
        cg_x_[r] += alpha * cg_p_[r];
        cg_r_[r] -= alpha * cg_q_[r];
        rr += cg_r_[r] * cg_r_[r];
      }
      *iterations = it;
      if (rr <= goal) {
        std::fill(d_.begin(), d_.end(), 0.0);
        for (std::size_t r = 0; r < m; ++r) d_[reduced_[r]] = cg_x_[r];
        return true;
      }
      cg_z_ = cg_r_;
      factor_->solve(cg_z_.data());
      double rz_next = 0.0;
      for (std::size_t r = 0; r < m; ++r) rz_next += cg_r_[r] * cg_z_[r];
      const double ratio = rz_next / rz;
      rz = rz_next;
      for (std::size_t r = 0; r < m; ++r) cg_p_[r] = cg_z_[r] + ratio * cg_p_[r];
    }
    return false;
  }

  // Vertex and coordinate of array index i, and its place in the Hessian.
  std::size_t vertex_of(std::size_t i) const {
    return o_.order == vertex_order::row_major ? i / 3 : i % static_cast<std::size_t>(nV_);
  }
  std::size_t coordinate_of(std::size_t i) const {
    return o_.order == vertex_order::row_major ? i % 3 : i / static_cast<std::size_t>(nV_);
  }
  std::size_t hessian_index(std::size_t i) const {
    const std::size_t v = vertex_of(i), k = coordinate_of(i);
    return shell_.layout() == hessian_layout::interleaved ? 3 * v + k
                                                          : v + k * static_cast<std::size_t>(nV_);
  }

  // W at x_ from the shell's E, and its gradient on the free coordinates.
  // The linear and inertia terms are summed in array order.
  void finish_evaluation(double E) {
    double linear = 0.0, inertia = 0.0;
    for (std::size_t i = 0; i < n_; ++i) {
      const double r = x_[i] - y_[i];
      linear += f_[i] * x_[i];
      inertia += 0.5 * c_[i] * r * r;
    }
    E_ = E;
    W_ = E - linear + inertia;
    gnorm_ = 0.0;
    for (std::size_t i = 0; i < n_; ++i) {
      g_[i] = free_[i] ? gE_[i] - f_[i] + c_[i] * (x_[i] - y_[i]) : 0.0;
      const double a = std::fabs(g_[i]);
      if (!(a <= gnorm_)) gnorm_ = a;  // a NaN is kept
    }
  }

  void evaluate(projection p) {
    const double E = shell_.energy_gradient_hessian(x_.data(), p, gE_.data(), h_.data(), o_.order);
    finish_evaluation(E);
  }

  // The Hessian alone again at the same x_ (the energy and gradient come
  // out bit for bit as before).
  void evaluate_hessian(projection p) {
    shell_.energy_gradient_hessian(x_.data(), p, gE_.data(), h_.data(), o_.order);
  }

  // A free coordinate that no element touches and no mass holds contributes
  // nothing to W but its force: with a force W is unbounded below; without
  // one it stays where it is and is left out of the system.
  bool find_unresisted_force(std::string* why) {
    const std::vector<std::int64_t>& cs = shell_.col_start();
    inert_.assign(n_, 0);
    for (std::size_t i = 0; i < n_; ++i) {
      if (!free_[i] || c_[i] != 0.0) continue;
      const std::size_t h = hessian_index(i);
      if (cs[h + 1] != cs[h]) continue;
      if (f_[i] != 0.0) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "W is unbounded below: coordinate %zu of vertex %zu (0-based) is free and "
                      "carries a force of %s, but no element and no mass resists it",
                      coordinate_of(i), vertex_of(i), format_number(f_[i]).c_str());
        *why = text;
        return false;
      }
      inert_[i] = 1;
    }
    return true;
  }

  // The reduced system's pattern (the upper triangle of A) and where each
  // entry's value comes from, then CHOLMOD's analysis of it.
  void build_system() {
    const std::vector<std::int64_t>& cs = shell_.col_start();
    const std::vector<std::int64_t>& ri = shell_.row_index();
    std::vector<std::int64_t> reduced_of(n_, -1);
    std::vector<std::size_t> array_of(n_);
    for (std::size_t i = 0; i < n_; ++i) array_of[hessian_index(i)] = i;
    for (std::size_t h = 0; h < n_; ++h) {
      const std::size_t i = array_of[h];
      if (free_[i] && !inert_[i]) {
        reduced_of[h] = static_cast<std::int64_t>(reduced_.size());
        reduced_.push_back(i);
      }
    }
    const std::size_t m = reduced_.size();
    std::vector<std::int64_t> col_start(m + 1, 0), row_index;
    diagonal_.resize(m);
    for (std::size_t r = 0; r < m; ++r) {
      const std::size_t h = hessian_index(reduced_[r]);
      bool diagonal = false;
      for (std::int64_t e = cs[h]; e < cs[h + 1]; ++e) {
        const std::int64_t rr = reduced_of[static_cast<std::size_t>(ri[e])];
        if (rr < 0 || rr > static_cast<std::int64_t>(r)) continue;
        if (rr == static_cast<std::int64_t>(r)) {
          diagonal = true;
          diagonal_[r] = row_index.size();
        }
        row_index.push_back(rr);
        source_.push_back(e);
      }
      if (!diagonal) {  // a vertex that only a mass holds
        diagonal_[r] = row_index.size();
        row_index.push_back(static_cast<std::int64_t>(r));
        source_.push_back(-1);
      }
      col_start[r + 1] = static_cast<std::int64_t>(row_index.size());
    }
    factor_ = std::make_unique<detail::sparse_cholesky>(static_cast<std::int64_t>(m), col_start,
                                                        row_index);
    rhs_.resize(m);
  }

  // A's values: the Hessian's free block and the inertia diagonal; and the
  // scale of the shift, the mean magnitude of A's diagonal.
  void assemble() {
    double* a = factor_->values();
    for (std::size_t k = 0; k < source_.size(); ++k) {
      a[k] = source_[k] >= 0 ? h_[static_cast<std::size_t>(source_[k])] : 0.0;
    }
    double sum = 0.0;
    for (std::size_t r = 0; r < reduced_.size(); ++r) {
      a[diagonal_[r]] += c_[reduced_[r]];
      sum += std::fabs(a[diagonal_[r]]);
    }
    scale_ = reduced_.empty() ? 1.0 : sum / static_cast<double>(reduced_.size());
    if (!(scale_ > 0.0) || std::isinf(scale_)) scale_ = 1.0;
  }

  // d = -(A + beta I)^-1 g on the free coordinates, 0 elsewhere.
  void direction() {
    for (std::size_t r = 0; r < reduced_.size(); ++r) rhs_[r] = -g_[reduced_[r]];
    factor_->solve(rhs_.data());
    std::fill(d_.begin(), d_.end(), 0.0);
    for (std::size_t r = 0; r < reduced_.size(); ++r) d_[reduced_[r]] = rhs_[r];
  }

  // W(trial_) - W(x_) for trial_ = x_ + t d on the free coordinates: E's
  // change from the shell, the linear and inertia terms' change summed from
  // the coordinates' actual moves (no cancellation between two large sums).
  double change(double t, double* E_trial, int* evaluations) {
    for (std::size_t i = 0; i < n_; ++i) trial_[i] = d_[i] != 0.0 ? x_[i] + t * d_[i] : x_[i];
    *E_trial = shell_.energy(trial_.data(), o_.order);
    ++*evaluations;
    double rest = 0.0;
    for (std::size_t r = 0; r < reduced_.size(); ++r) {
      const std::size_t i = reduced_[r];
      const double s = trial_[i] - x_[i];
      rest += s * (-f_[i] + c_[i] * (x_[i] - y_[i]) + 0.5 * c_[i] * s);
    }
    return (*E_trial - E_) + rest;
  }

  // Backtracking from t = 1 with safeguarded quadratic interpolation, until
  // Armijo's condition holds; the step is given up once it no longer moves
  // x. Near convergence, where W's change is within its rounding, the full
  // step is accepted if W did not grow beyond that rounding and the
  // gradient's norm fell.
  line_search_result line_search(int* evaluations) {
    line_search_result out;
    double slope = 0.0, largest_x = 0.0, largest_d = 0.0;
    for (std::size_t r = 0; r < reduced_.size(); ++r) {
      const std::size_t i = reduced_[r];
      slope += g_[i] * d_[i];
      largest_x = std::max(largest_x, std::fabs(x_[i]));
      largest_d = std::max(largest_d, std::fabs(d_[i]));
    }
    if (!(slope < 0.0) || !std::isfinite(slope)) return out;
    double t = 1.0;
    for (int trial = 0; trial < kMaxTrials; ++trial) {
      double E_trial;
      const double dW = change(t, &E_trial, evaluations);
      if (dW <= kArmijo * t * slope) {
        out.accepted = true;
        out.t = t;
        return out;
      }
      if (trial == 0 && within_rounding(slope, dW, E_trial, evaluations)) {
        out.accepted = out.rounding = true;
        out.t = 1.0;
        return out;
      }
      // The minimiser of the quadratic through W(0), W'(0) and W(t), kept
      // within [t/10, t/2].
      double next = 0.1 * t;
      if (std::isfinite(dW)) {
        const double curvature = dW - slope * t;
        if (curvature > 0.0) next = -slope * t * t / (2.0 * curvature);
      }
      t = std::min(std::max(next, 0.1 * t), 0.5 * t);
      if (t * largest_d <= 1e-16 * largest_x) break;  // x would no longer move
    }
    return out;
  }

  // Whether the full step's failure is W's rounding rather than a step too
  // long: the decrease the step promises (-slope, about twice the true one
  // near the solution) is within the rounding of W's change, and the step
  // lowers max |grad W|. The rounding is not only E's magnitude times the
  // precision: the membrane energy of a face is a sum of terms of about mu
  // times its area that cancel where the sheet is barely stretched, so it
  // is measured: W's change over 1/1000 of the step, whose true value is
  // 1/1000 of the slope, differs from it by the rounding alone. Leaves
  // trial_ at x_ + d when the step is accepted.
  bool within_rounding(double slope, double dW, double E_full, int* evaluations) {
    const double eps = std::numeric_limits<double>::epsilon();
    double rounding = 1e3 * eps * std::max(std::fabs(E_), std::fabs(E_full));
    if (-slope > 10.0 * rounding) {
      double E_probe;
      const double t = 1e-3;
      const double noise = std::fabs(change(t, &E_probe, evaluations) - t * slope);
      rounding = std::max(rounding, 4.0 * noise);
    }
    if (!(-slope <= 10.0 * rounding && dW <= rounding)) return false;
    for (std::size_t i = 0; i < n_; ++i) trial_[i] = d_[i] != 0.0 ? x_[i] + d_[i] : x_[i];
    return gradient_falls();
  }

  // Whether max |grad W| at trial_ = x_ + d is below its value at x_.
  bool gradient_falls() {
    std::vector<double>& g = rhs_scratch_;
    g.resize(n_);
    shell_.energy_and_gradient(trial_.data(), g.data(), o_.order);
    double largest = 0.0;
    for (std::size_t i = 0; i < n_; ++i) {
      if (!free_[i]) continue;
      const double gi = g[i] - f_[i] + c_[i] * (trial_[i] - y_[i]);
      const double a = std::fabs(gi);
      if (!(a <= largest)) largest = a;
    }
    return largest < gnorm_;
  }

  void print_line(const std::string& line) const {
    if (o_.print) {
      o_.print(line);
    } else {
      std::printf("%s\n", line.c_str());
      std::fflush(stdout);
    }
  }

  void print_header(const solve_result& r) const {
    char text[300];
    std::snprintf(text, sizeof text,
                  "%" PRId64
                  " free coordinates of %zu; ordering and symbolic factorisation %.3f s "
                  "(%s, %.3g entries and %.3g flops per factorisation)",
                  r.free_coordinates, n_, r.analysis_seconds,
                  factor_ && factor_->supernodal() ? "supernodal" : "simplicial",
                  factor_ ? factor_->factor_entries() : 0.0, factor_ ? factor_->flops() : 0.0);
    print_line(text);
    print_line(
        " iter                      W  max|grad W|     step     shift  Hessian  factor  cg  "
        "seconds");
  }

  // One line per iteration: W and max |grad W| at x_k; the step length, the
  // shift, the Hessian (exact, clamp or abs), the factorisations and the
  // iterations of conjugate gradients the step took; the time so far.
  void print_row(const solve_step& s) const {
    char text[240];
    if (s.iteration == 0) {
      std::snprintf(text, sizeof text, "%5d %22.15e %12.3e %34s %8.3f", s.iteration, s.energy,
                    s.gradient_norm, "", s.seconds);
    } else {
      std::snprintf(text, sizeof text, "%5d %22.15e %12.3e %8.3g %9.2e  %-7s %6d %3d %8.3f%s",
                    s.iteration, s.energy, s.gradient_norm, s.step, s.shift,
                    projection_name(s.hessian), s.factorizations, s.cg_iterations, s.seconds,
                    s.rounding ? "  (W's change is rounding: accepted as |grad W| fell)" : "");
    }
    print_line(text);
  }

  const solve_options& o_;
  detail::shell_evaluator shell_;
  std::int32_t nV_;
  std::size_t n_;
  std::vector<double> x_, y_, f_, c_, gE_, g_, d_, trial_, h_, rhs_, rhs_scratch_;
  std::vector<std::uint8_t> free_, inert_;
  // The reduced system: array index of each row, source of each value in
  // h_ (-1: none), position of each diagonal entry.
  std::vector<std::size_t> reduced_, diagonal_;
  std::vector<std::int64_t> source_;
  std::unique_ptr<detail::sparse_cholesky> factor_;
  double E_ = 0.0, W_ = 0.0, gnorm_ = 0.0, largest_gnorm_ = 0.0, scale_ = 1.0;
  double lambda_ = kLambdaStart;
  // Iterations left before the exact Hessian is tried again.
  int exact_wait_ = 0;
  // Whether factor_ holds a factorisation; the recent failures of conjugate
  // gradients with it and the iterations left before the next attempt.
  bool factored_ = false;
  int reuse_failures_ = 0, reuse_wait_ = 0;
  std::vector<double> cg_x_, cg_r_, cg_z_, cg_p_, cg_q_;
};

}  // namespace

solve_result solve(const shell& s, const double* x0, const solve_options& options) {
  option_checker(options, s.vertex_count()).check();
  return projected_newton(s, x0, options).run();
}

}  // namespace lamina
