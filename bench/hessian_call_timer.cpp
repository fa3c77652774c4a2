// lamina_hessian_call_timer PROBLEM CALLS [PROJECT]: the stateless C++ call
// of the Hessian, timed on a problem written by bench/octave_hessian.m, as
// the baseline of the Octave gateways' timings. Prints the seconds of each of
// CALLS calls, one line each. PROJECT is none (default), clamp or abs.
//
// The call is the one-call form of <lamina/hessian.h>: the pattern from the
// mesh, then the values, into a sparse_matrix in the column-major layout the
// gateways return; what a caller gets from lamina without a host.
//
// PROBLEM: int32 nV, nF, nE; double mu, eta; then deformed_v (nV by 3),
// source_vertices (nV by 3), source_faces (nF by 3) and edges (nE by 4),
// column-major doubles, all little-endian.
#include <lamina/hessian.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <typename T>
bool read(std::FILE* f, T* x, std::size_t n) {
  return std::fread(x, sizeof(T), n, f) == n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: lamina_hessian_call_timer PROBLEM CALLS [none|clamp|abs]\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::int32_t n[3];
  double coefficients[2];
  if (in == nullptr || !read(in, n, 3) || !read(in, coefficients, 2)) return 3;
  const std::int32_t nV = n[0], nF = n[1], nE = n[2];
  std::vector<double> Q(3 * static_cast<std::size_t>(nV)), V(Q.size()), g(Q.size());
  std::vector<double> F(3 * static_cast<std::size_t>(nF)), E(4 * static_cast<std::size_t>(nE));
  if (!read(in, Q.data(), Q.size()) || !read(in, V.data(), V.size()) ||
      !read(in, F.data(), F.size()) || !read(in, E.data(), E.size())) {
    return 3;
  }
  std::fclose(in);
  const char* name = argc == 4 ? argv[3] : "none";
  const lamina::projection project = std::strcmp(name, "clamp") == 0 ? lamina::projection::clamp
                                     : std::strcmp(name, "abs") == 0 ? lamina::projection::abs
                                                                     : lamina::projection::none;
  const int calls = std::atoi(argv[2]);
  double energy = 0.0;
  for (int k = 0; k < calls; ++k) {
    const auto start = std::chrono::steady_clock::now();
    lamina::sparse_matrix H;
    energy += lamina::shell_energy_gradient_hessian(
        Q.data(), nV, coefficients[0], coefficients[1], V.data(), F.data(), nF, E.data(), nE,
        project, lamina::hessian_layout::column_major, g.data(), &H);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", elapsed.count());
  }
  return energy == energy ? 0 : 1;  // uses the results
}
