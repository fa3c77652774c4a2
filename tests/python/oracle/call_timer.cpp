// lamina_call_timer IN BATCH BATCHES: times the C++ calls that the Python
// binding makes, on the first problem of the oracle's input file IN (see
// oracle.cpp), for bench/python_overhead.py. Each call runs BATCHES times
// BATCH times over; for each call one line "name t1 t2 ..." gives the time
// per call of every batch, in nanoseconds. Outputs go to buffers allocated
// once, except the stateless Hessian's, which a caller allocates for each
// new pattern (uninitialised, as numpy.empty).
#include <lamina/checks.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

namespace {

template <typename T>
bool read(std::FILE* f, T* x, std::size_t n = 1) {
  return std::fread(x, sizeof(T), n, f) == n;
}

volatile double sink;  // keeps the calls from being optimised away

void time(const char* name, int batch, int batches, const std::function<double()>& call) {
  std::printf("%s", name);
  for (int b = 0; b < batches; ++b) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < batch; ++i) sink = call();
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf(" %.1f", elapsed.count() / batch);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: lamina_call_timer IN BATCH BATCHES\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  const int batch = std::atoi(argv[2]), batches = std::atoi(argv[3]);
  std::int32_t count, n[3];
  double mu, eta;
  if (in == nullptr || !read(in, &count) || !read(in, n, 3) || !read(in, &mu) || !read(in, &eta)) {
    return 3;
  }
  const std::int32_t nV = n[0], nF = n[1], nE = n[2];
  std::vector<double> Q(3 * nV), V(3 * nV), F(3 * nF), E(4 * nE);
  if (!read(in, Q.data(), Q.size()) || !read(in, V.data(), V.size()) ||
      !read(in, F.data(), F.size()) || !read(in, E.data(), E.size())) {
    return 3;
  }
  std::vector<double> Qr(3 * nV), g(3 * nV);  // row-major positions for the shell
  for (std::int32_t i = 0; i < nV; ++i) {
    for (int k = 0; k < 3; ++k) Qr[3 * i + k] = Q[i + k * nV];
  }
  lamina::shell_views views;
  views.deformed_v = {Q.data(), static_cast<std::size_t>(nV), 3};
  views.source_faces = {F.data(), static_cast<std::size_t>(nF), 3};
  views.source_vertices = {V.data(), static_cast<std::size_t>(nV), 3};
  views.edges = {E.data(), static_cast<std::size_t>(nE), 4};

  time("check_shell", batch, batches, [&] {
    lamina::checked_shell c;
    return lamina::check_shell(views, lamina::uses::energy, lamina::message_style::python, &c)
               ? 1.0
               : 0.0;
  });
  time("energy", batch, batches, [&] {
    return lamina::shell_energy(Q.data(), nV, mu, eta, V.data(), F.data(), nF, E.data(), nE);
  });
  time("energy_and_gradient", batch, batches, [&] {
    return lamina::shell_energy_and_gradient(Q.data(), nV, mu, eta, V.data(), F.data(), nF,
                                             E.data(), nE, g.data());
  });
  time("energy_gradient_hessian", batch, batches, [&] {
    const lamina::hessian_pattern p(F.data(), nF, E.data(), nE, nV,
                                    lamina::hessian_layout::interleaved);
    const std::unique_ptr<std::int32_t[]> col_start(new std::int32_t[p.size() + 1]);
    const std::unique_ptr<std::int32_t[]> row_index(new std::int32_t[p.nnz()]);
    const std::unique_ptr<double[]> values(new double[p.nnz()]);
    p.write(col_start.get(), row_index.get());
    return lamina::shell_energy_gradient_hessian(Q.data(), nV, mu, eta, V.data(), F.data(), nF,
                                                 E.data(), nE, lamina::projection::none, p,
                                                 g.data(), values.get());
  });
  lamina::shell_options options;
  options.layout = lamina::hessian_layout::interleaved;
  lamina::shell s(F.data(), nF, V.data(), nV, mu, eta, E.data(), nE, options);
  time("Shell.energy_and_gradient", batch, batches,
       [&] { return s.energy_and_gradient(Qr.data(), g.data(), lamina::vertex_order::row_major); });
  std::vector<double> values(s.hessian_row_index().size());
  time("Shell.energy_gradient_hessian", batch, batches, [&] {
    return s.energy_gradient_hessian(Qr.data(), lamina::projection::none, g.data(), values.data(),
                                     lamina::vertex_order::row_major);
  });
  return 0;
}
