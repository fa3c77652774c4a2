// Benchmarks of the kernels and of the plug-in calls, beside the literal
// reference implementation measured in the same run.
//
//   build/release/bench/lamina_bench                      everything
//   build/release/bench/lamina_bench --benchmark_filter=/200000
//
// Meshes are bent, jittered n-by-n sheets of about 2e4, 2e5 and 2e6 faces
// (about 1.5 edge rows per face), with their vertices in grid order or
// shuffled. Each figure is nanoseconds per face (per edge row for the
// bending and mask kernels); the summary at the end gives each figure beside
// the reference's and the speed-up. Calls go through the project's own host
// where named lamina_*, so that the gateway and its input checks count.
#include <benchmark/benchmark.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/rest.h>
#include <lamina/shell.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>

#include "arguments.h"
#include "reference/reference.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

struct bench_problem {
  test::problem p;
  std::vector<host::array> arrays;
  std::vector<const mxArray*> in;
  std::vector<double> gradient, rest_gradient, mask;
  std::unique_ptr<shell> prepared;
  sparse_matrix hessian;
  std::vector<double> hessian_values;
  std::vector<host::array> hessian_in[2];  // the inputs with 'Project', 'none' / 'clamp'
};

bench_problem& sheet(int faces, bool shuffled) {
  static std::map<std::pair<int, bool>, std::unique_ptr<bench_problem>> cache;
  auto& b = cache[{faces, shuffled}];
  if (!b) {
    b = std::make_unique<bench_problem>();
    int n = 2;
    while (2 * (n - 1) * (n - 1) < faces) ++n;
    b->p = test::random_problem(n, n, 42);
    if (shuffled) test::shuffle_vertices(b->p, 7);
    b->arrays = test::host_inputs(b->p);
    b->in = test::pointers(b->arrays);
    b->gradient.resize(3 * b->p.m.nV);
    b->mask.resize(b->p.m.nE);
  }
  return *b;
}

// What one benchmark evaluates, and what its figure is per.
enum class per { face, edge_row };

using work = void (*)(bench_problem&);

void run(benchmark::State& state, work w, per unit, bool shuffled) {
  bench_problem& b = sheet(static_cast<int>(state.range(0)), shuffled);
  w(b);  // once untimed: first-call costs (a prepared shell's construction) stay out
  for (auto _ : state) {
    w(b);
    benchmark::ClobberMemory();
  }
  const double rows = unit == per::face ? b.p.m.nF : b.p.m.nE;
  state.counters["per_row"] = benchmark::Counter(
      rows, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The kernels, and their literal reference twins.
#define LAMINA_KERNEL_WORK(ns, name, call) \
  void ns##_##name(bench_problem& b) {     \
    const test::problem& p = b.p;          \
    const test::mesh& m = p.m;             \
    (void)m;                               \
    benchmark::DoNotOptimize(call);        \
  }
#define LAMINA_KERNELS(ns)                                                                         \
  LAMINA_KERNEL_WORK(ns, shell_energy_and_gradient,                                                \
                     ns::shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta,           \
                                                   m.rest.data(), m.faces.data(), m.nF,            \
                                                   m.edges.data(), m.nE, b.gradient.data()))       \
  LAMINA_KERNEL_WORK(ns, shell_energy,                                                             \
                     ns::shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),         \
                                      m.faces.data(), m.nF, m.edges.data(), m.nE))                 \
  LAMINA_KERNEL_WORK(                                                                              \
      ns, membrane_energy_and_gradient,                                                            \
      ns::membrane_energy_and_gradient(m.faces.data(), m.nF, m.rest.data(), p.deformed.data(),     \
                                       m.nV, p.mu, b.gradient.data()))                             \
  LAMINA_KERNEL_WORK(                                                                              \
      ns, membrane_energy,                                                                         \
      ns::membrane_energy(m.faces.data(), m.nF, m.rest.data(), p.deformed.data(), m.nV, p.mu))     \
  LAMINA_KERNEL_WORK(                                                                              \
      ns, bending_energy_and_gradient,                                                             \
      ns::bending_energy_and_gradient(m.edges.data(), m.nE, m.rest.data(), p.deformed.data(),      \
                                      m.nV, p.eta, b.gradient.data()))                             \
  LAMINA_KERNEL_WORK(                                                                              \
      ns, bending_energy,                                                                          \
      ns::bending_energy(m.edges.data(), m.nE, m.rest.data(), p.deformed.data(), m.nV, p.eta))     \
  LAMINA_KERNEL_WORK(ns, flag_valid_edges,                                                         \
                     (ns::flag_valid_edges(m.edges.data(), m.nE, m.rest.data(), p.deformed.data(), \
                                           m.nV, b.mask.data()),                                   \
                      0))

LAMINA_KERNELS(lamina)
LAMINA_KERNELS(reference)

// Plug-in calls through the host: the gateway, its checks and the kernels.
void plugin_lamina_work_deriv(bench_problem& b) {
  benchmark::DoNotOptimize(test::plugin("lamina_work_deriv").call(2, b.in));
}
void plugin_lamina_work_total(bench_problem& b) {
  benchmark::DoNotOptimize(test::plugin("lamina_work_total").call(1, b.in));
}
void plugin_lamina_hinge_mask(bench_problem& b) {
  benchmark::DoNotOptimize(test::plugin("lamina_hinge_mask").call(1, b.in));
}
// The gateway's input checks alone (its argument handling is compiled in).
void checks_read_shell_inputs(bench_problem& b) {
  mex::shell_inputs in;
  benchmark::DoNotOptimize(mex::read_shell_inputs(b.in.data(), uses::energy, &in));
}

// The prepared shell on the same mesh, prepared once per mesh.
shell& prepared(bench_problem& b) {
  if (!b.prepared) {
    const test::mesh& m = b.p.m;
    b.prepared = std::make_unique<shell>(m.faces.data(), m.nF, m.rest.data(), m.nV, b.p.mu, b.p.eta,
                                         m.edges.data(), m.nE);
  }
  return *b.prepared;
}
void prepared_energy_and_gradient(bench_problem& b) {
  benchmark::DoNotOptimize(prepared(b).energy_and_gradient(b.p.deformed.data(), b.gradient.data()));
}
void prepared_energy(bench_problem& b) {
  benchmark::DoNotOptimize(prepared(b).energy(b.p.deformed.data()));
}
// The Hessian: the plug-in call, the stateless C++ call (pattern included)
// and the prepared shell, without and with projection.
template <int Clamp>
void plugin_lamina_work_hessian(bench_problem& b) {
  std::vector<host::array>& in = b.hessian_in[Clamp];
  if (in.empty()) {
    in = test::host_inputs(b.p);
    in.push_back(host::make_char("Project"));
    in.push_back(host::make_char(Clamp ? "clamp" : "none"));
  }
  benchmark::DoNotOptimize(test::plugin("lamina_work_hessian").call(3, test::pointers(in)));
}
template <int Clamp>
void stateless_hessian(bench_problem& b) {
  const test::problem& p = b.p;
  const test::mesh& m = p.m;
  benchmark::DoNotOptimize(shell_energy_gradient_hessian(
      p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(), m.nF, m.edges.data(),
      m.nE, Clamp ? projection::clamp : projection::none, hessian_layout::column_major,
      b.gradient.data(), &b.hessian));
}
template <int Clamp>
void prepared_hessian(bench_problem& b) {
  shell& s = prepared(b);
  b.hessian_values.resize(s.hessian_row_index().size());
  benchmark::DoNotOptimize(s.energy_gradient_hessian(b.p.deformed.data(),
                                                     Clamp ? projection::clamp : projection::none,
                                                     b.gradient.data(), b.hessian_values.data()));
}

// The derivatives in the rest positions: dE/dX alone, and with the mixed
// Hessian.
template <int Mixed>
void stateless_rest(bench_problem& b) {
  const test::problem& p = b.p;
  const test::mesh& m = p.m;
  b.rest_gradient.resize(3 * m.nV);
  if (Mixed) {
    benchmark::DoNotOptimize(shell_rest_derivatives(
        p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(), m.nF, m.edges.data(),
        m.nE, hessian_layout::column_major, b.gradient.data(), b.rest_gradient.data(), &b.hessian));
  } else {
    benchmark::DoNotOptimize(shell_rest_derivatives(
        p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(), m.nF, m.edges.data(),
        m.nE, b.gradient.data(), b.rest_gradient.data(), nullptr, nullptr));
  }
}
template <int Mixed>
void prepared_rest(bench_problem& b) {
  shell& s = prepared(b);
  b.hessian_values.resize(s.hessian_row_index().size());
  b.rest_gradient.resize(3 * b.p.m.nV);
  benchmark::DoNotOptimize(s.rest_derivatives(b.p.deformed.data(), b.gradient.data(),
                                              b.rest_gradient.data(),
                                              Mixed ? b.hessian_values.data() : nullptr));
}

void prepared_construction(bench_problem& b) {
  const test::mesh& m = b.p.m;
  shell s(m.faces.data(), m.nF, m.rest.data(), m.nV, b.p.mu, b.p.eta, m.edges.data(), m.nE);
  benchmark::DoNotOptimize(s.hinge_count());
}

// What is measured, per what, and the benchmark measured beside it in the
// same run that the summary compares it with (the literal reference for the
// kernels, the stateless kernel for the prepared shell).
struct entry {
  const char* name;
  work fast;
  work reference;        // registered as reference/<name>, or null
  const char* baseline;  // the benchmark it is compared with
  per unit;
};

const entry kEntries[] = {
    {"shell_energy_and_gradient", lamina_shell_energy_and_gradient,
     reference_shell_energy_and_gradient, "reference/shell_energy_and_gradient", per::face},
    {"shell_energy", lamina_shell_energy, reference_shell_energy, "reference/shell_energy",
     per::face},
    {"membrane_energy_and_gradient", lamina_membrane_energy_and_gradient,
     reference_membrane_energy_and_gradient, "reference/membrane_energy_and_gradient", per::face},
    {"membrane_energy", lamina_membrane_energy, reference_membrane_energy,
     "reference/membrane_energy", per::face},
    {"bending_energy_and_gradient", lamina_bending_energy_and_gradient,
     reference_bending_energy_and_gradient, "reference/bending_energy_and_gradient", per::edge_row},
    {"bending_energy", lamina_bending_energy, reference_bending_energy, "reference/bending_energy",
     per::edge_row},
    {"flag_valid_edges", lamina_flag_valid_edges, reference_flag_valid_edges,
     "reference/flag_valid_edges", per::edge_row},
    {"call_lamina_work_deriv", plugin_lamina_work_deriv, nullptr,
     "reference/shell_energy_and_gradient", per::face},
    {"call_lamina_work_total", plugin_lamina_work_total, nullptr, "reference/shell_energy",
     per::face},
    {"call_lamina_hinge_mask", plugin_lamina_hinge_mask, nullptr, "reference/flag_valid_edges",
     per::edge_row},
    {"input_checks", checks_read_shell_inputs, nullptr, "call_lamina_work_deriv", per::face},
    {"prepared_energy_and_gradient", prepared_energy_and_gradient, nullptr,
     "shell_energy_and_gradient", per::face},
    {"prepared_energy", prepared_energy, nullptr, "shell_energy", per::face},
    {"prepared_construction", prepared_construction, nullptr, "shell_energy_and_gradient",
     per::face},
    {"call_lamina_work_hessian_none", plugin_lamina_work_hessian<0>, nullptr,
     "call_lamina_work_deriv", per::face},
    {"call_lamina_work_hessian_clamp", plugin_lamina_work_hessian<1>, nullptr,
     "call_lamina_work_deriv", per::face},
    {"stateless_hessian_none", stateless_hessian<0>, nullptr, "shell_energy_and_gradient",
     per::face},
    {"stateless_hessian_clamp", stateless_hessian<1>, nullptr, "shell_energy_and_gradient",
     per::face},
    {"prepared_hessian_none", prepared_hessian<0>, nullptr, "stateless_hessian_none", per::face},
    {"prepared_hessian_clamp", prepared_hessian<1>, nullptr, "stateless_hessian_clamp", per::face},
    {"stateless_rest_gradient", stateless_rest<0>, nullptr, "shell_energy_and_gradient", per::face},
    {"stateless_rest_mixed", stateless_rest<1>, nullptr, "stateless_hessian_none", per::face},
    {"prepared_rest_gradient", prepared_rest<0>, nullptr, "prepared_energy_and_gradient",
     per::face},
    {"prepared_rest_mixed", prepared_rest<1>, nullptr, "prepared_hessian_none", per::face},
};

// The fixed cost of a call: lamina_work_deriv on the four-vertex worked example.
void BM_call_lamina_work_deriv_4_vertices(benchmark::State& state) {
  const auto arrays = test::host_inputs(test::worked_example());
  const auto in = test::pointers(arrays);
  const host::plugin& deriv = test::plugin("lamina_work_deriv");
  for (auto _ : state) benchmark::DoNotOptimize(deriv.call(2, in));
}

void register_all() {
  for (bool shuffled : {false, true}) {
    for (const entry& e : kEntries) {
      const std::string order = shuffled ? "/shuffled" : "/ordered";
      const auto add = [&](const std::string& name, work w) {
        benchmark::RegisterBenchmark(name.c_str(), run, w, e.unit, shuffled)
            ->Arg(20000)
            ->Arg(200000)
            ->Arg(2000000)
            ->Unit(benchmark::kMillisecond);
      };
      add(std::string(e.name) + order, e.fast);
      if (e.reference != nullptr) add(std::string("reference/") + e.name + order, e.reference);
    }
  }
  benchmark::RegisterBenchmark("call_lamina_work_deriv_4_vertices",
                               BM_call_lamina_work_deriv_4_vertices);
}

// Prints, after the usual table, each figure beside its baseline's.
class summary_reporter : public benchmark::ConsoleReporter {
 public:
  summary_reporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      const std::string name = r.run_name.str();
      const auto c = r.counters.find("per_row");
      // Seconds per row; the fixed-cost benchmark has no rows, and its time
      // is in nanoseconds already.
      figures_[name] = c != r.counters.end() ? c->second.value * 1e9 : r.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-52s %10s   %-40s %10s %8s\n", "benchmark (ns per face or edge row)", "figure",
                "baseline (same run)", "baseline", "ratio");
    for (const auto& f : figures_) {
      const std::string& name = f.first;
      if (name.rfind("reference/", 0) == 0) continue;
      const std::string head = name.substr(0, name.find('/'));
      const std::string tail = name.substr(head.size());
      std::string base;
      for (const entry& e : kEntries) {
        if (head == e.name) base = e.baseline;
      }
      const auto r = base.empty() ? figures_.end() : figures_.find(base + tail);
      if (r != figures_.end()) {
        std::printf("%-52s %10.2f   %-40s %10.2f %7.2fx\n", name.c_str(), f.second, base.c_str(),
                    r->second, r->second / f.second);
      } else {
        std::printf("%-52s %10.2f\n", name.c_str(), f.second);
      }
    }
  }

 private:
  std::map<std::string, double> figures_;
};

}  // namespace
}  // namespace lamina

int main(int argc, char** argv) {
  lamina::register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  lamina::summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
