// The prepared shell's calls on 1 and on more threads, at about 2e5 faces,
// ordered and shuffled meshes: the median wall time of each and the
// speed-up, measured alternately in the same run.
//
//   build/release/bench/lamina_threads_bench            2 threads (this machine's cores)
//   build/release/bench/lamina_threads_bench 4          4 threads
//   build/release/bench/lamina_threads_bench --smoke    a small run
#include <lamina/shell.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/problem.h"

namespace lamina {
namespace {

double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The process's CPU time (every thread's), to tell the threads' own cost
// from waiting for a core on a shared machine.
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <class F>
double median_of(std::vector<double>& t) {
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

int run(int threads, bool smoke) {
  const int n = smoke ? 60 : 317, reps = smoke ? 3 : 9;
  std::printf("%-10s %-22s %10s %10s %8s %12s\n", "mesh", "call (median ms)", "1 thread",
              (std::to_string(threads) + " threads").c_str(), "speed-up", "CPU ratio");
  for (bool shuffled : {false, true}) {
    test::problem p = test::random_problem(n, n, 42);
    if (shuffled) test::shuffle_vertices(p, 7);
    shell_options opt;
    opt.threads = 1;
    shell one(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.m.nV, p.mu, p.eta, p.m.edges.data(),
              p.m.nE, opt);
    shell many = one;
    many.set_threads(threads);
    std::vector<double> g(3 * p.m.nV), gx(3 * p.m.nV), H(one.hessian_row_index().size());
    struct call {
      const char* name;
      void (*f)(shell&, const test::problem&, double*, double*, double*);
    };
    const call calls[] = {
        {"energy", [](shell& s, const test::problem& q, double*, double*,
                      double*) { s.energy(q.deformed.data()); }},
        {"energy_and_gradient", [](shell& s, const test::problem& q, double* g, double*,
                                   double*) { s.energy_and_gradient(q.deformed.data(), g); }},
        {"hessian none",
         [](shell& s, const test::problem& q, double* g, double*, double* H) {
           s.energy_gradient_hessian(q.deformed.data(), projection::none, g, H);
         }},
        {"hessian clamp",
         [](shell& s, const test::problem& q, double* g, double*, double* H) {
           s.energy_gradient_hessian(q.deformed.data(), projection::clamp, g, H);
         }},
        {"rest gradient", [](shell& s, const test::problem& q, double* g, double* gx,
                             double*) { s.rest_derivatives(q.deformed.data(), g, gx); }},
        {"rest mixed", [](shell& s, const test::problem& q, double* g, double* gx,
                          double* H) { s.rest_derivatives(q.deformed.data(), g, gx, H); }},
    };
    for (const call& c : calls) {
      c.f(many, p, g.data(), gx.data(), H.data());  // the first threaded call builds ownership
      std::vector<double> t1, tn, c1, cn;
      for (int r = 0; r < reps; ++r) {
        double start = seconds(), cpu = cpu_seconds();
        c.f(one, p, g.data(), gx.data(), H.data());
        t1.push_back(seconds() - start);
        c1.push_back(cpu_seconds() - cpu);
        start = seconds();
        cpu = cpu_seconds();
        c.f(many, p, g.data(), gx.data(), H.data());
        tn.push_back(seconds() - start);
        cn.push_back(cpu_seconds() - cpu);
      }
      const double a = median_of<void>(t1), b = median_of<void>(tn);
      std::printf("%-10s %-22s %10.2f %10.2f %7.2fx %11.2fx\n", shuffled ? "shuffled" : "ordered",
                  c.name, 1e3 * a, 1e3 * b, a / b, median_of<void>(cn) / median_of<void>(c1));
    }
  }
  return 0;
}

}  // namespace
}  // namespace lamina

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
  const int threads = argc > 1 && !smoke ? std::atoi(argv[1]) : 2;
  return lamina::run(threads > 1 ? threads : 2, smoke);
}
