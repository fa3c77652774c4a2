// Threads give the one-thread bits: the prepared shell's energy, gradient,
// Hessian (every projection) and rest derivatives on 1, 2, 3, 4, 8 and 16
// threads, both bending models, ordered and shuffled meshes, small chunks
// (so that a small mesh has many, with vertices and pairs on every kind of
// boundary) and the default ones.
#include <gtest/gtest.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/rest.h>
#include <lamina/shell.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/numeric.h"
#include "support/problem.h"

namespace lamina {
namespace detail {
void set_chunk_size(shell& s, std::int32_t positions);
}
namespace {

struct outputs {
  double E, E_only, E_hessian[3], E_rest;
  std::vector<double> g, H[3], gx, M;
};

outputs evaluate(shell& s, const test::problem& p) {
  const std::size_t n = 3 * static_cast<std::size_t>(p.m.nV), nnz = s.hessian_row_index().size();
  outputs o;
  o.g.resize(n);
  o.gx.resize(n);
  o.M.resize(nnz);
  std::vector<double> g(n);
  o.E = s.energy_and_gradient(p.deformed.data(), o.g.data());
  o.E_only = s.energy(p.deformed.data());
  const projection projections[3] = {projection::none, projection::clamp, projection::abs};
  for (int k = 0; k < 3; ++k) {
    o.H[k].resize(nnz);
    o.E_hessian[k] =
        s.energy_gradient_hessian(p.deformed.data(), projections[k], g.data(), o.H[k].data());
    EXPECT_SAME_BITS_VECTOR(g, o.g);
  }
  o.E_rest = s.rest_derivatives(p.deformed.data(), g.data(), o.gx.data(), o.M.data());
  EXPECT_SAME_BITS_VECTOR(g, o.g);
  return o;
}

void expect_same(const outputs& a, const outputs& b) {
  EXPECT_SAME_BITS(a.E, b.E);
  EXPECT_SAME_BITS(a.E_only, b.E_only);
  EXPECT_SAME_BITS(a.E_rest, b.E_rest);
  EXPECT_SAME_BITS_VECTOR(a.g, b.g);
  EXPECT_SAME_BITS_VECTOR(a.gx, b.gx);
  EXPECT_SAME_BITS_VECTOR(a.M, b.M);
  for (int k = 0; k < 3; ++k) {
    EXPECT_SAME_BITS(a.E_hessian[k], b.E_hessian[k]);
    EXPECT_SAME_BITS_VECTOR(a.H[k], b.H[k]);
  }
}

TEST(Threads, EveryCountGivesTheOneThreadBits) {
  for (bool shuffled : {false, true}) {
    test::problem p = test::random_problem(23, 19, 5);
    if (shuffled) test::shuffle_vertices(p, 3);
    for (bending_model b : {bending_model::cosine, bending_model::dihedral}) {
      shell_options opt;
      opt.bending = b;
      opt.threads = 1;
      shell one(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.m.nV, p.mu, p.eta, p.m.edges.data(),
                p.m.nE, opt);
      const outputs reference = evaluate(one, p);
      for (int threads : {2, 3, 4, 8, 16}) {
        for (std::int32_t chunk : {37, 256}) {
          SCOPED_TRACE((shuffled ? "shuffled, " : "ordered, ") + std::to_string(threads) +
                       " threads, chunks of " + std::to_string(chunk));
          shell s = one;
          s.set_threads(threads);
          detail::set_chunk_size(s, chunk);
          expect_same(evaluate(s, p), reference);
        }
      }
    }
  }
}

TEST(Threads, StatelessCallsGiveTheOneThreadBits) {
  // Big enough for several chunks of the default size: 2 x 92 x 92 faces.
  test::problem p = test::random_problem(93, 93, 8);
  test::shuffle_vertices(p, 2);
  const test::mesh& m = p.m;
  const hessian_pattern pattern(m.faces.data(), m.nF, m.edges.data(), m.nE, m.nV,
                                hessian_layout::column_major);
  for (bending_model b : {bending_model::cosine, bending_model::dihedral}) {
    std::vector<double> g1(3 * m.nV), H1(pattern.nnz()), gx1(3 * m.nV), M1(pattern.nnz());
    const double E1 = shell_energy_gradient_hessian(
        p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(), m.nF, m.edges.data(),
        m.nE, projection::clamp, pattern, g1.data(), H1.data(), b, 1);
    const double R1 = shell_rest_derivatives(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                             m.faces.data(), m.nF, m.edges.data(), m.nE, g1.data(),
                                             gx1.data(), &pattern, M1.data(), b, 1);
    for (int threads : {2, 3, 16}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      std::vector<double> g(3 * m.nV), H(pattern.nnz()), gx(3 * m.nV), M(pattern.nnz());
      EXPECT_SAME_BITS(
          shell_energy_gradient_hessian(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                        m.faces.data(), m.nF, m.edges.data(), m.nE,
                                        projection::clamp, pattern, g.data(), H.data(), b, threads),
          E1);
      EXPECT_SAME_BITS_VECTOR(g, g1);
      EXPECT_SAME_BITS_VECTOR(H, H1);
      EXPECT_SAME_BITS(shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta,
                                                 m.rest.data(), m.faces.data(), m.nF,
                                                 m.edges.data(), m.nE, g.data(), b, threads),
                       E1);
      EXPECT_SAME_BITS_VECTOR(g, g1);
      EXPECT_SAME_BITS(shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                    m.faces.data(), m.nF, m.edges.data(), m.nE, b, threads),
                       E1);
      EXPECT_SAME_BITS(shell_rest_derivatives(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                              m.faces.data(), m.nF, m.edges.data(), m.nE, g.data(),
                                              gx.data(), &pattern, M.data(), b, threads),
                       R1);
      EXPECT_SAME_BITS_VECTOR(gx, gx1);
      EXPECT_SAME_BITS_VECTOR(M, M1);
    }
  }
  std::vector<double> g(3 * m.nV);
  EXPECT_THROW(
      shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(),
                                m.nF, m.edges.data(), m.nE, g.data(), bending_model::cosine, -1),
      std::invalid_argument);
}

TEST(Threads, DefaultChunksOnAMeshBigEnoughForThreads) {
  const test::problem p = test::random_problem(93, 93, 8);  // 16928 faces, 3 chunks
  shell_options opt;
  opt.threads = 1;
  shell one(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.m.nV, p.mu, p.eta, p.m.edges.data(),
            p.m.nE, opt);
  const outputs reference = evaluate(one, p);
  shell s = one;
  s.set_threads(3);
  expect_same(evaluate(s, p), reference);
}

TEST(Threads, ACountBelowZeroIsRefused) {
  const test::problem p = test::random_problem(4, 4, 1);
  shell s(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.m.nV, p.mu, p.eta);
  EXPECT_THROW(s.set_threads(-1), std::invalid_argument);
  shell_options opt;
  opt.threads = -2;
  EXPECT_THROW(
      shell(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.m.nV, p.mu, p.eta, nullptr, 0, opt),
      std::invalid_argument);
}

}  // namespace
}  // namespace lamina
