// The solver per iteration: where an iteration's time goes, and how it grows
// with the mesh.
//
//   build/release/bench/lamina_solve_bench                          all sizes
//   build/release/bench/lamina_solve_bench --benchmark_filter=/200000/
//
// Meshes are the cantilevers of bench/solve_cantilever.m (an n-by-n sheet on
// the unit square, two columns held, mu = eta = 10, a weight of 2, from a
// slight sag) with about 1e4, 1e5, 2e5 and 1e6 faces. Each benchmark
// iteration is one lamina::solve of three Newton iterations; its counters
// are milliseconds per Newton iteration, from the solver's history: the
// Hessian with the gradient (exact or projected, as the solver chose), the
// numeric factorisations, the triangular solves (with the conjugate
// gradients that replace a factorisation), the line search; and, apart, the
// analysis (ordering and symbolic factorisation, once per solve) and the
// projection's own cost (the projected Hessian's evaluation minus the exact
// one's, timed here at the start). CHOLMOD's factorisation runs on the BLAS
// the system provides (Debian's default: the reference BLAS, single-threaded).
#include <benchmark/benchmark.h>
#include <lamina/shell.h>
#include <lamina/solve.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace lamina {
namespace {

struct cantilever {
  std::int32_t nV = 0, nF = 0;
  std::vector<double> rest, start, faces, forces;
  std::vector<std::uint8_t> fixed;
  std::unique_ptr<shell> s;
};

const cantilever& problem(int faces) {
  static std::map<int, std::unique_ptr<cantilever>> cache;
  auto& c = cache[faces];
  if (c) return *c;
  c = std::make_unique<cantilever>();
  int n = 2;
  while (2 * (n - 1) * (n - 1) < faces) ++n;
  c->nV = n * n;
  c->nF = 2 * (n - 1) * (n - 1);
  const std::int32_t nV = c->nV, nF = c->nF;
  c->rest.assign(3 * static_cast<std::size_t>(nV), 0.0);
  c->forces.assign(3 * static_cast<std::size_t>(nV), 0.0);
  c->fixed.assign(3 * static_cast<std::size_t>(nV), 0);
  c->faces.resize(3 * static_cast<std::size_t>(nF));
  for (std::int32_t v = 0; v < nV; ++v) {
    c->rest[v] = (v % n) / (n - 1.0);
    c->rest[v + nV] = (v / n) / (n - 1.0);
    c->forces[v + 2 * static_cast<std::size_t>(nV)] = -2.0 / nV;
    for (int k = 0; k < 3; ++k) c->fixed[v + k * static_cast<std::size_t>(nV)] = v % n <= 1;
  }
  std::int32_t f = 0;
  for (int j = 0; j + 1 < n; ++j) {
    for (int i = 0; i + 1 < n; ++i) {
      const double v = i + n * j, t[2][3] = {{v, v + 1, v + n + 1}, {v, v + n + 1, v + n}};
      for (const auto& corners : t) {
        for (int k = 0; k < 3; ++k) c->faces[f + k * static_cast<std::size_t>(nF)] = corners[k];
        ++f;
      }
    }
  }
  c->start = c->rest;
  for (std::int32_t v = 0; v < nV; ++v) {
    c->start[v + 2 * static_cast<std::size_t>(nV)] = -0.05 * c->rest[v] * c->rest[v];
  }
  c->s = std::make_unique<shell>(c->faces.data(), nF, c->rest.data(), nV, 10.0, 10.0);
  return *c;
}

double seconds_of(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Iteration(benchmark::State& state) {
  const cantilever& c = problem(static_cast<int>(state.range(0)));
  solve_options o;
  o.fixed = c.fixed.data();
  o.forces = c.forces.data();
  o.max_iterations = 3;
  double hessian = 0, factor = 0, solve_s = 0, line = 0, analysis = 0;
  std::int64_t iterations = 0, factorizations = 0, cg = 0;
  for (auto _ : state) {
    const solve_result r = solve(*c.s, c.start.data(), o);
    state.SetIterationTime(r.seconds);
    analysis += r.analysis_seconds;
    for (std::size_t k = 1; k < r.history.size(); ++k) {
      const solve_step& h = r.history[k];
      hessian += h.hessian_seconds;
      factor += h.factor_seconds;
      solve_s += h.solve_seconds;
      line += h.line_search_seconds;
      factorizations += h.factorizations;
      cg += h.cg_iterations;
      ++iterations;
    }
  }
  // The projection's own cost: a projected evaluation minus an exact one.
  shell s = *c.s;
  std::vector<double> g(c.rest.size()), h(s.hessian_row_index().size());
  const double exact = seconds_of(
      [&] { s.energy_gradient_hessian(c.start.data(), projection::none, g.data(), h.data()); });
  const double clamped = seconds_of(
      [&] { s.energy_gradient_hessian(c.start.data(), projection::clamp, g.data(), h.data()); });
  const double per = iterations > 0 ? 1e3 / static_cast<double>(iterations) : 0.0;
  state.counters["hessian_ms"] = hessian * per;
  state.counters["projection_ms"] = std::max(clamped - exact, 0.0) * 1e3;
  state.counters["factor_ms"] = factor * per;
  state.counters["solve_ms"] = solve_s * per;
  state.counters["line_search_ms"] = line * per;
  state.counters["analysis_ms"] = analysis * 1e3 / static_cast<double>(state.iterations());
  state.counters["factorizations"] = static_cast<double>(factorizations) * per / 1e3;
  state.counters["cg"] = static_cast<double>(cg) * per / 1e3;
  state.counters["faces"] = c.nF;
}

BENCHMARK(Iteration)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(200000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace lamina

BENCHMARK_MAIN();
