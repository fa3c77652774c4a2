// lamina_oracle IN OUT: evaluates the problems in the binary file IN with the
// C++ library and writes every result to OUT, for the Python tests.
//
// IN holds an int32 count, then per problem: int32 nV, nF, nE; float64 mu,
// eta; then float64 deformed_v (3 nV), source_vertices (3 nV), source_faces
// (3 nF) and edges (4 nE), each column-major. The indices must be valid.
//
// OUT holds per problem, all little-endian as written by this machine:
//   float64  E and gradient (3 nV, column-major) of shell_energy_and_gradient
//   float64  E of shell_energy
//   float64  the mask of flag_valid_edges (nE)
//   int32    nE of build_edge_table(source_faces), or -1 if it throws,
//            then its table (4 nE float64, column-major)
//   for each projection none, clamp, abs:
//     float64  E and gradient of shell_energy_gradient_hessian into a
//              sparse_matrix in the interleaved layout
//     int64    nnz, then col_start (3 nV + 1) and row_index (nnz)
//     float64  values (nnz)
#include <lamina/edge_table.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

template <typename T>
bool read(std::FILE* f, T* x, std::size_t n = 1) {
  return std::fread(x, sizeof(T), n, f) == n;
}

template <typename T>
void write(std::FILE* f, const T* x, std::size_t n = 1) {
  std::fwrite(x, sizeof(T), n, f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lamina_oracle IN OUT\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::FILE* out = std::fopen(argv[2], "wb");
  if (in == nullptr || out == nullptr) {
    std::perror("lamina_oracle");
    return 2;
  }
  std::int32_t count;
  if (!read(in, &count)) return 3;
  for (std::int32_t p = 0; p < count; ++p) {
    std::int32_t n[3];
    double mu, eta;
    if (!read(in, n, 3) || !read(in, &mu) || !read(in, &eta)) return 3;
    const std::int32_t nV = n[0], nF = n[1], nE = n[2];
    std::vector<double> Q(3 * nV), V(3 * nV), F(3 * nF), E(4 * nE);
    if (!read(in, Q.data(), Q.size()) || !read(in, V.data(), V.size()) ||
        !read(in, F.data(), F.size()) || !read(in, E.data(), E.size())) {
      return 3;
    }

    std::vector<double> g(3 * nV);
    const double e = lamina::shell_energy_and_gradient(Q.data(), nV, mu, eta, V.data(), F.data(),
                                                       nF, E.data(), nE, g.data());
    const double e_only =
        lamina::shell_energy(Q.data(), nV, mu, eta, V.data(), F.data(), nF, E.data(), nE);
    std::vector<double> mask(nE);
    lamina::flag_valid_edges(E.data(), nE, V.data(), Q.data(), nV, mask.data());
    write(out, &e);
    write(out, g.data(), g.size());
    write(out, &e_only);
    write(out, mask.data(), mask.size());

    try {
      const lamina::edge_table t = lamina::build_edge_table(F.data(), nF);
      write(out, &t.nE);
      write(out, t.edges.data(), t.edges.size());
    } catch (const lamina::edge_table_error&) {
      const std::int32_t none = -1;
      write(out, &none);
    }

    for (lamina::projection project :
         {lamina::projection::none, lamina::projection::clamp, lamina::projection::abs}) {
      lamina::sparse_matrix H;
      const double eh = lamina::shell_energy_gradient_hessian(
          Q.data(), nV, mu, eta, V.data(), F.data(), nF, E.data(), nE, project,
          lamina::hessian_layout::interleaved, g.data(), &H);
      const std::int64_t nnz = static_cast<std::int64_t>(H.values.size());
      write(out, &eh);
      write(out, g.data(), g.size());
      write(out, &nnz);
      write(out, H.col_start.data(), H.col_start.size());
      write(out, H.row_index.data(), H.row_index.size());
      write(out, H.values.data(), H.values.size());
    }
  }
  return std::fclose(out) == 0 ? 0 : 4;
}
