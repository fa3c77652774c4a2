// Every instruction-set path of every kernel returns the bits of the literal
// reference implementation, on random and on degenerate input.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include "isa_paths.h"
#include "reference/reference.h"
#include "support/numeric.h"
#include "support/problem.h"

namespace lamina {
namespace {

std::vector<isa> supported_paths() {
  std::vector<isa> paths = {isa::baseline};
  if (widest_supported_isa() >= isa::avx2) paths.push_back(isa::avx2);
  if (widest_supported_isa() >= isa::avx512) paths.push_back(isa::avx512);
  return paths;
}

const char* name(isa path) {
  return path == isa::avx512 ? "avx512" : path == isa::avx2 ? "avx2" : "baseline";
}

// Sizes around the block length, and problems damaged in every way the
// support library knows.
std::vector<test::problem> problems() {
  std::vector<test::problem> ps;
  for (int n : {2, 3, 4, 5, 7, 12}) ps.push_back(test::random_problem(n, n + 1, n));
  for (unsigned seed = 0; seed < 40; ++seed) ps.push_back(test::degenerate_problem(seed));
  test::problem one_face = test::worked_example();
  one_face.m.nF = 1;
  one_face.m.faces = {0, 1, 2};
  ps.push_back(one_face);
  return ps;
}

void expect_path_matches_reference(isa path, const test::problem& p) {
  const test::mesh& m = p.m;
  const double* F = m.faces.data();
  const double* E = m.edges.data();
  const double* P = m.rest.data();
  const double* Q = p.deformed.data();
  const std::size_t n = 3 * static_cast<std::size_t>(m.nV);

  std::vector<double> g(n, 7.0), g_ref(n, 7.0);
  EXPECT_SAME_BITS(
      detail::membrane_energy_and_gradient(path, F, m.nF, P, Q, m.nV, p.mu, g.data()),
      reference::membrane_energy_and_gradient(F, m.nF, P, Q, m.nV, p.mu, g_ref.data()));
  EXPECT_SAME_BITS_VECTOR(g, g_ref);
  EXPECT_SAME_BITS(detail::membrane_energy(path, F, m.nF, P, Q, m.nV, p.mu),
                   reference::membrane_energy(F, m.nF, P, Q, m.nV, p.mu));

  // The bending gradient is added to whatever the array holds.
  EXPECT_SAME_BITS(
      detail::bending_energy_and_gradient(path, E, m.nE, P, Q, m.nV, p.eta, g.data()),
      reference::bending_energy_and_gradient(E, m.nE, P, Q, m.nV, p.eta, g_ref.data()));
  EXPECT_SAME_BITS_VECTOR(g, g_ref);
  EXPECT_SAME_BITS(detail::bending_energy(path, E, m.nE, P, Q, m.nV, p.eta),
                   reference::bending_energy(E, m.nE, P, Q, m.nV, p.eta));

  std::vector<double> mask(m.nE, 3.0), mask_ref(m.nE, 3.0);
  detail::flag_valid_edges(path, E, m.nE, P, Q, m.nV, mask.data());
  reference::flag_valid_edges(E, m.nE, P, Q, m.nV, mask_ref.data());
  EXPECT_SAME_BITS_VECTOR(mask, mask_ref);
}

TEST(KernelPaths, EveryPathReturnsTheReferenceBits) {
  const std::vector<test::problem> ps = problems();
  for (isa path : supported_paths()) {
    for (std::size_t i = 0; i < ps.size(); ++i) {
      SCOPED_TRACE(std::string(name(path)) + ", problem " + std::to_string(i));
      expect_path_matches_reference(path, ps[i]);
    }
  }
}

// The public kernels, on the path this processor takes.
TEST(KernelPaths, PublicKernelsReturnTheReferenceBits) {
  for (const test::problem& p : problems()) {
    const test::mesh& m = p.m;
    std::vector<double> g(3 * m.nV), g_ref(3 * m.nV);
    EXPECT_SAME_BITS(
        shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                  m.faces.data(), m.nF, m.edges.data(), m.nE, g.data()),
        reference::shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                             m.faces.data(), m.nF, m.edges.data(), m.nE,
                                             g_ref.data()));
    EXPECT_SAME_BITS_VECTOR(g, g_ref);
    EXPECT_SAME_BITS(shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                  m.faces.data(), m.nF, m.edges.data(), m.nE),
                     reference::shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                             m.faces.data(), m.nF, m.edges.data(), m.nE));
  }
}

}  // namespace
}  // namespace lamina
