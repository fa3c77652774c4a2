// The bending models side by side: their cost per hinge, and their energy
// under mesh refinement.
//
//   build/release/bench/lamina_bending_bench            the full run
//   build/release/bench/lamina_bending_bench --smoke    a small one
//
// Cost: a bent, jittered sheet of about 2e5 faces (3e5 hinges); the bending
// term alone (a shell built from the edge table without faces, and the
// stateless calls with no faces), each figure the median over repetitions
// of the thread's CPU time divided by the number of hinges, the cosine and
// dihedral models measured in the same run, alternately.
//
// Refinement: the unit square rolled onto a half cylinder of radius 1/pi
// (mu = 0, eta = 1), whose continuum bending energy is pi^2 = 9.8696. The
// dihedral energy converges there at first order; the cosine energy falls
// as h^2, so its eta must be re-tuned for every mesh.
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "support/mesh.h"

namespace lamina {
namespace {

double thread_ns() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

// Medians of `reps` timings of each of two functions, run alternately.
template <class F, class G>
void median_pair(int reps, F f, G g, double* tf, double* tg) {
  std::vector<double> a, b;
  for (int r = 0; r < reps; ++r) {
    double start = thread_ns();
    f();
    a.push_back(thread_ns() - start);
    start = thread_ns();
    g();
    b.push_back(thread_ns() - start);
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  *tf = a[a.size() / 2];
  *tg = b[b.size() / 2];
}

void cost(bool smoke) {
  const int n = smoke ? 40 : 317, reps = smoke ? 3 : 11;
  std::mt19937_64 rng(7);
  const test::mesh m = test::jittered_sheet(n, n, rng, 0.25);
  const std::vector<double> Q = test::deformed_copy(m, rng, 0.5 / n);
  shell_options oc, od;
  oc.bending = bending_model::cosine;
  od.bending = bending_model::dihedral;
  // The bending term alone: no faces, the sheet's edge table.
  shell cosine(nullptr, 0, m.rest.data(), m.nV, 0.0, 1.0, m.edges.data(), m.nE, oc);
  shell dihedral(nullptr, 0, m.rest.data(), m.nV, 0.0, 1.0, m.edges.data(), m.nE, od);
  const double nH = cosine.hinge_count();
  std::vector<double> g(3 * m.nV), H(cosine.hessian_row_index().size());
  std::printf("bending term alone, %d faces' sheet, %.0f hinges; ns per hinge (median of %d)\n",
              m.nF, nH, reps);
  std::printf("%-34s %10s %10s %10s\n", "call", "cosine", "dihedral", "ratio");
  const auto row = [&](const char* name, auto&& run) {
    double tc, td;
    median_pair(
        reps, [&] { run(cosine, bending_model::cosine); },
        [&] { run(dihedral, bending_model::dihedral); }, &tc, &td);
    std::printf("%-34s %10.1f %10.1f %10.3f\n", name, tc / nH, td / nH, td / tc);
  };
  row("shell energy", [&](shell& s, bending_model) { s.energy(Q.data()); });
  row("shell energy_and_gradient",
      [&](shell& s, bending_model) { s.energy_and_gradient(Q.data(), g.data()); });
  row("shell hessian none", [&](shell& s, bending_model) {
    s.energy_gradient_hessian(Q.data(), projection::none, g.data(), H.data());
  });
  row("shell hessian clamp", [&](shell& s, bending_model) {
    s.energy_gradient_hessian(Q.data(), projection::clamp, g.data(), H.data());
  });
  row("stateless energy_and_gradient", [&](shell&, bending_model b) {
    shell_energy_and_gradient(Q.data(), m.nV, 0.0, 1.0, m.rest.data(), nullptr, 0, m.edges.data(),
                              m.nE, g.data(), b);
  });
}

void refinement(bool smoke) {
  std::printf("\nthe rolled square (mu = 0, eta = 1; continuum pi^2 = %.4f)\n",
              std::acos(-1.0) * std::acos(-1.0));
  std::printf("%-8s %8s %12s %8s %12s %8s\n", "cells", "faces", "cosine", "ratio", "dihedral",
              "ratio");
  double last[2] = {0, 0};
  for (int n = 8; n <= (smoke ? 32 : 128); n *= 2) {
    const test::mesh m = test::flat_square(n);
    const std::vector<double> Q = test::rolled(m);
    double E[2];
    for (int b = 0; b < 2; ++b) {
      E[b] = shell_energy(Q.data(), m.nV, 0.0, 1.0, m.rest.data(), m.faces.data(), m.nF,
                          m.edges.data(), m.nE,
                          b == 0 ? bending_model::cosine : bending_model::dihedral);
    }
    char rc[16] = "", rd[16] = "";
    if (last[0] > 0) {
      std::snprintf(rc, sizeof rc, "%.4f", E[0] / last[0]);
      std::snprintf(rd, sizeof rd, "%.4f", E[1] / last[1]);
    }
    std::printf("%3dx%-4d %8d %12.6g %8s %12.6g %8s\n", n, n, m.nF, E[0], rc, E[1], rd);
    last[0] = E[0];
    last[1] = E[1];
  }
}

}  // namespace
}  // namespace lamina

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
  lamina::cost(smoke);
  lamina::refinement(smoke);
  return 0;
}
