// Benchmarks of the plug-ins on generated meshes: a bent, jittered sheet.
//
//   build/release/bench/lamina_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

#include "arguments.h"
#include "lamina.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

// Sheets of about `faces` faces, generated once per size.
struct bench_problem {
  test::problem p;
  std::vector<host::array> arrays;
  std::vector<const mxArray*> in;
};

const bench_problem& sheet(int faces) {
  static std::map<int, std::unique_ptr<bench_problem>> cache;
  auto& b = cache[faces];
  if (!b) {
    b = std::make_unique<bench_problem>();
    int n = 2;
    while (2 * (n - 1) * (n - 1) < faces) ++n;
    b->p = test::random_problem(n, n, 42);
    b->arrays = test::host_inputs(b->p);
    b->in = test::pointers(b->arrays);
  }
  return *b;
}

// The cost of the gateway's input checks within a lamina_work_deriv call.
// Each iteration times, on the same data, the checks alone (the gateway's
// own read_shell_inputs, compiled into this benchmark), the kernels alone,
// and the whole call through the host.
void BM_InputChecksShareOfWorkDeriv(benchmark::State& state) {
  const bench_problem& b = sheet(static_cast<int>(state.range(0)));
  const test::mesh& m = b.p.m;
  std::vector<double> gradient(3 * m.nV);
  const host::plugin& deriv = test::plugin("lamina_work_deriv");
  using clock = std::chrono::steady_clock;
  double checks_s = 0, kernel_s = 0, call_s = 0;
  for (auto _ : state) {
    const auto tc = clock::now();
    mex::shell_inputs in;
    benchmark::DoNotOptimize(mex::read_shell_inputs(b.in.data(), mex::uses::energy, &in));
    const auto t0 = clock::now();
    benchmark::DoNotOptimize(shell_energy_and_gradient(b.p.deformed.data(), m.nV, b.p.mu, b.p.eta,
                                                       m.rest.data(), m.faces.data(), m.nF,
                                                       m.edges.data(), m.nE, gradient.data()));
    const auto t1 = clock::now();
    benchmark::DoNotOptimize(deriv.call(2, b.in));
    const auto t2 = clock::now();
    checks_s += std::chrono::duration<double>(t0 - tc).count();
    kernel_s += std::chrono::duration<double>(t1 - t0).count();
    call_s += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["kernel_ms"] = 1e3 * kernel_s / state.iterations();
  state.counters["call_ms"] = 1e3 * call_s / state.iterations();
  state.counters["checks_ms"] = 1e3 * checks_s / state.iterations();
  state.counters["checks_pct"] = 100.0 * checks_s / call_s;
}
BENCHMARK(BM_InputChecksShareOfWorkDeriv)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The input checks alone, repeated on the same (cache-warm) data.
void BM_InputChecks(benchmark::State& state) {
  const bench_problem& b = sheet(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    mex::shell_inputs in;
    benchmark::DoNotOptimize(mex::read_shell_inputs(b.in.data(), mex::uses::energy, &in));
  }
  state.counters["per_face"] = benchmark::Counter(
      b.p.m.nF, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InputChecks)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lamina

BENCHMARK_MAIN();
