// lamina::solve: first-order optimality of what it returns (checked with the
// shell's own gradient), held coordinates kept bit for bit, a flat start,
// an implicit-Euler step, honest non-convergence, the same bits on every
// run, and its invalid options.
#include <gtest/gtest.h>
#include <lamina/shell.h>
#include <lamina/solve.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/numeric.h"

namespace lamina {
namespace detail {
void set_chunk_size(shell& s, std::int32_t positions);  // src/prepared_shell.cpp
}  // namespace detail

namespace {

// A flat n-by-n sheet on the unit square (column-major vertex matrix, two
// faces per cell), held along the columns x = 0 and x = 1/(n-1), under a
// weight of 2 shared by its vertices; mu = eta = 10.
struct cantilever {
  std::int32_t nV, nF;
  std::vector<double> rest, faces, forces;
  std::vector<std::uint8_t> fixed;

  explicit cantilever(int n) : nV(n * n), nF(2 * (n - 1) * (n - 1)) {
    rest.assign(3 * nV, 0.0);
    faces.resize(3 * nF);
    forces.assign(3 * nV, 0.0);
    fixed.assign(3 * nV, 0);
    for (std::int32_t v = 0; v < nV; ++v) {
      rest[v] = (v % n) / (n - 1.0);
      rest[v + nV] = (v / n) / (n - 1.0);
      forces[v + 2 * nV] = -2.0 / nV;
      for (int k = 0; k < 3; ++k) fixed[v + k * nV] = v % n <= 1;
    }
    std::int32_t f = 0;
    for (int j = 0; j + 1 < n; ++j) {
      for (int i = 0; i + 1 < n; ++i) {
        const double v = i + n * j, c[2][3] = {{v, v + 1, v + n + 1}, {v, v + n + 1, v + n}};
        for (const auto& t : c) {
          for (int k = 0; k < 3; ++k) faces[f + k * nF] = t[k];
          ++f;
        }
      }
    }
  }
  shell make() const { return shell(faces.data(), nF, rest.data(), nV, 10.0, 10.0); }
  solve_options options() const {
    solve_options o;
    o.fixed = fixed.data();
    o.forces = forces.data();
    return o;
  }
};

// max |grad E - f + c (x - y)| over the free coordinates, from the shell's
// own gradient (the solver's figure is not trusted).
double residual(shell& s, const cantilever& c, const solve_options& o, const double* x) {
  std::vector<double> g(3 * c.nV);
  s.energy_and_gradient(x, g.data());
  double largest = 0.0;
  for (std::size_t i = 0; i < g.size(); ++i) {
    if (c.fixed[i]) continue;
    double r = g[i] - c.forces[i];
    if (o.mass != nullptr) {
      const double y = o.target != nullptr ? o.target[i] : c.rest[i];
      r += o.mass[i % c.nV] / (o.time_step * o.time_step) * (x[i] - y);
    }
    largest = std::max(largest, std::fabs(r));
  }
  return largest;
}

TEST(Solve, FromAFlatStartTheResultIsAnEquilibriumWithTheHeldCoordinatesUntouched) {
  for (int n : {12, 40}) {
    SCOPED_TRACE(n);
    const cantilever c(n);
    shell s = c.make();
    const solve_result r = solve(s, c.rest.data(), c.options());
    ASSERT_TRUE(r.converged) << r.message;
    EXPECT_EQ(r.message.rfind("converged: ", 0), 0u);
    // |grad W| <= 1e-8 |f| on the free coordinates; the start is flat, so
    // there grad W = -f.
    EXPECT_LE(residual(s, c, c.options(), r.x.data()), 1e-8 * 2.0 / c.nV);
    for (std::size_t i = 0; i < r.x.size(); ++i) {
      if (c.fixed[i]) {
        EXPECT_SAME_BITS(r.x[i], c.rest[i]);
      }
    }
    EXPECT_LT(r.x[c.nV - 1 + 2 * c.nV], -0.5);  // the free corner sags
    ASSERT_EQ(r.history.size(), static_cast<std::size_t>(r.iterations) + 1);
    for (std::size_t k = 1; k < r.history.size(); ++k) {
      EXPECT_LE(r.history[k].energy, r.history[k - 1].energy + 1e-12 * std::fabs(r.energy));
      EXPECT_GT(r.history[k].step, 0.0);
    }
    // The same bits on a second run.
    const solve_result again = solve(s, c.rest.data(), c.options());
    EXPECT_SAME_BITS_VECTOR(again.x, r.x);
    EXPECT_SAME_BITS(again.energy, r.energy);
  }
}

// The dihedral model is stiff out of the plane even when flat; from a flat
// start it converges too, and its threaded assembly (small chunks, so that
// this small sheet is cut into many) gives the one-thread solve's bits.
TEST(Solve, TheDihedralModelConvergesFromAFlatStartOnAnyThreadCount) {
  const cantilever c(40);
  shell_options so;
  so.bending = bending_model::dihedral;
  so.threads = 1;
  shell s(c.faces.data(), c.nF, c.rest.data(), c.nV, 10.0, 10.0, nullptr, 0, so);
  const solve_result r = solve(s, c.rest.data(), c.options());
  ASSERT_TRUE(r.converged) << r.message;
  EXPECT_LE(residual(s, c, c.options(), r.x.data()), 1e-8 * 2.0 / c.nV);
  EXPECT_LT(r.x[c.nV - 1 + 2 * c.nV], -0.01);  // it sags (less than the cosine model)
  for (int threads : {2, 3}) {
    so.threads = threads;
    shell t(c.faces.data(), c.nF, c.rest.data(), c.nV, 10.0, 10.0, nullptr, 0, so);
    detail::set_chunk_size(t, 256);
    const solve_result u = solve(t, c.rest.data(), c.options());
    EXPECT_SAME_BITS_VECTOR(u.x, r.x);
    EXPECT_EQ(u.iterations, r.iterations);
  }
}

TEST(Solve, RowMajorPositionsOnAnInterleavedShellReachTheSameEquilibrium) {
  const cantilever c(12);
  const shell column = c.make();
  shell_options so;
  so.layout = hessian_layout::interleaved;
  const shell interleaved(c.faces.data(), c.nF, c.rest.data(), c.nV, 10.0, 10.0, nullptr, 0, so);
  const solve_result a = solve(column, c.rest.data(), c.options());
  std::vector<double> x0(3 * c.nV), f(3 * c.nV);
  std::vector<std::uint8_t> held(3 * c.nV);
  for (std::int32_t v = 0; v < c.nV; ++v) {
    for (int k = 0; k < 3; ++k) {
      x0[3 * v + k] = c.rest[v + k * c.nV];
      f[3 * v + k] = c.forces[v + k * c.nV];
      held[3 * v + k] = c.fixed[v + k * c.nV];
    }
  }
  solve_options o;
  o.order = vertex_order::row_major;
  o.fixed = held.data();
  o.forces = f.data();
  const solve_result b = solve(interleaved, x0.data(), o);
  ASSERT_TRUE(a.converged && b.converged) << a.message << " / " << b.message;
  for (std::int32_t v = 0; v < c.nV; ++v) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(b.x[3 * v + k], a.x[v + k * c.nV], 1e-9);
  }
}

TEST(Solve, AnImplicitEulerStepMakesTheInertiaTermPartOfTheEquilibrium) {
  const cantilever c(12);
  shell s = c.make();
  std::vector<double> mass(c.nV, 2.0 / c.nV), target = c.rest;
  for (std::int32_t v = 0; v < c.nV; ++v) target[v + 2 * c.nV] = -0.1 * c.rest[v];
  solve_options o = c.options();
  o.mass = mass.data();
  o.time_step = 0.05;
  o.target = target.data();
  o.tolerance = 1e-10;
  const solve_result r = solve(s, c.rest.data(), o);
  ASSERT_TRUE(r.converged) << r.message;
  // At the start grad E = 0: grad W = -f + c (x0 - y).
  EXPECT_LE(residual(s, c, o, r.x.data()), 2e-10 * r.initial_gradient_norm);
  EXPECT_GT(r.initial_gradient_norm, 2.0 / c.nV);  // the inertia term counted
}

TEST(Solve, StoppingShortIsReportedAsSuch) {
  const cantilever c(12);
  solve_options o = c.options();
  o.max_iterations = 2;
  const solve_result r = solve(c.make(), c.rest.data(), o);
  EXPECT_FALSE(r.converged);
  EXPECT_EQ(r.iterations, 2);
  EXPECT_EQ(r.message.rfind("not converged: the iteration limit (2) was reached", 0), 0u)
      << r.message;
  // A callback that asks to stop.
  o.max_iterations = 200;
  o.callback = [](const solve_step& step, const double*) { return step.iteration < 3; };
  const solve_result stopped = solve(c.make(), c.rest.data(), o);
  EXPECT_FALSE(stopped.converged);
  EXPECT_EQ(stopped.iterations, 3);
  EXPECT_EQ(stopped.message, "not converged: stopped by the callback after iteration 3");
  // A force on a vertex that nothing holds: W is unbounded below.
  cantilever lone(3);
  lone.rest.insert(lone.rest.begin() + lone.nV, 0.5);  // vertex 9, in no face
  lone.rest.insert(lone.rest.begin() + 2 * lone.nV + 1, 0.5);
  lone.rest.push_back(0.0);
  lone.nV += 1;
  std::vector<double> f(3 * lone.nV, 0.0);
  f[lone.nV - 1] = 1.0;
  solve_options u;
  u.forces = f.data();
  const solve_result unbounded = solve(lone.make(), lone.rest.data(), u);
  EXPECT_FALSE(unbounded.converged);
  EXPECT_NE(unbounded.message.find("W is unbounded below: coordinate 0 of vertex 9"),
            std::string::npos)
      << unbounded.message;
}

// CHOLMOD's OpenMP regions run on the solving thread alone, by lowering
// that thread's max-active-levels around CHOLMOD's calls: the caller's
// setting must be back in place between iterations (in the callback) and
// after, and the result does not depend on it.
TEST(Solve, TheCallersOpenMPSettingIsLeftAsItWas) {
  const cantilever c(12);
  solve_options o = c.options();
  const solve_result plain = solve(c.make(), c.rest.data(), o);
  const int saved = omp_get_max_active_levels();
  omp_set_max_active_levels(3);
  std::vector<int> seen;
  o.callback = [&seen](const solve_step&, const double*) {
    seen.push_back(omp_get_max_active_levels());
    return true;
  };
  const solve_result r = solve(c.make(), c.rest.data(), o);
  EXPECT_EQ(omp_get_max_active_levels(), 3);
  omp_set_max_active_levels(saved);
  ASSERT_TRUE(r.converged) << r.message;
  EXPECT_EQ(seen, std::vector<int>(static_cast<std::size_t>(r.iterations), 3));
  EXPECT_SAME_BITS_VECTOR(r.x, plain.x);
}

TEST(Solve, InvalidOptionsAreNamedInTheCallersTerms) {
  const cantilever c(3);
  const shell s = c.make();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> bad_forces = c.forces, negative_mass(c.nV, 1.0), mass(c.nV, 1.0);
  bad_forces[1 + 2 * c.nV] = nan;
  negative_mass[2] = -1.0;
  struct bad_case {
    std::function<void(solve_options&)> damage;
    const char* option;
    const char* matlab;
    const char* python;
  };
  const std::vector<bad_case> cases = {
      {[&](solve_options& o) { o.forces = bad_forces.data(); }, "Forces",
       "Forces(2,3) is NaN: every force must be finite",
       "forces[1, 2] is NaN: every force must be finite"},
      {[&](solve_options& o) {
         o.mass = negative_mass.data();
         o.time_step = 0.1;
       },
       "Mass", "Mass(3) is -1: every mass must be finite and at least 0",
       "mass[2] is -1: every mass must be finite and at least 0"},
      {[&](solve_options& o) { o.mass = mass.data(); }, "Mass",
       "'Mass' was given without 'TimeStep': the inertia term m/(2 h^2) |x - y|^2 needs both",
       "mass was given without time_step: the inertia term m/(2 h^2) |x - y|^2 needs both"},
      {[&](solve_options& o) { o.time_step = -1.0; }, "TimeStep",
       "'TimeStep' must be a positive finite number, but it is -1",
       "time_step must be a positive finite number, but it is -1"},
      {[&](solve_options& o) { o.target = c.rest.data(); }, "Target",
       "'Target' was given without 'Mass' and 'TimeStep': it is the y of the inertia term "
       "m/(2 h^2) |x - y|^2",
       "target was given without mass and time_step: it is the y of the inertia term "
       "m/(2 h^2) |x - y|^2"},
      {[&](solve_options& o) { o.tolerance = -1e-8; }, "Tolerance",
       "'Tolerance' must be a finite number at least 0, but it is -1e-08",
       "tol must be a finite number at least 0, but it is -1e-08"},
      {[&](solve_options& o) { o.max_iterations = -1; }, "MaxIterations",
       "'MaxIterations' must be a count at least 0, but it is -1",
       "max_iter must be a count at least 0, but it is -1"},
  };
  for (const bad_case& b : cases) {
    for (message_style style : {message_style::matlab, message_style::python}) {
      solve_options o;
      o.style = style;
      b.damage(o);
      try {
        solve(s, c.rest.data(), o);
        ADD_FAILURE() << "accepted: " << b.matlab;
      } catch (const invalid_option& e) {
        EXPECT_STREQ(e.identifier(), "lamina:badOption");
        EXPECT_EQ(e.what(), std::string(style == message_style::matlab ? b.matlab : b.python));
        if (style == message_style::matlab) {
          EXPECT_EQ(e.option(), b.option);
        }
      }
    }
  }
}

}  // namespace
}  // namespace lamina
