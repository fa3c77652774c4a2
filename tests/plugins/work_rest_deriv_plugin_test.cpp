// lamina_work_rest_deriv through the project's host: E and G are
// lamina_work_deriv's bits; GX and M are those of the C++ API
// (shell_rest_derivatives), in both bending models and for every thread
// count, on a sheet large enough to be cut into chunks; outputs not asked
// for leave the rest unchanged.
#include <gtest/gtest.h>
#include <lamina/rest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

using host::array;

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

host::call_result call(const test::problem& p, int nlhs, const char* bending, int threads) {
  std::vector<array> in = test::host_inputs(p);
  in.push_back(host::make_char("Bending"));
  in.push_back(host::make_char(bending));
  in.push_back(host::make_char("Threads"));
  in.push_back(host::make_scalar(threads));
  return test::plugin("lamina_work_rest_deriv").call(nlhs, test::pointers(in));
}

TEST(WorkRestDerivPlugin, MatchesTheCppApiForEveryModelAndThreadCount) {
  const test::problem p = test::random_problem(110, 100, 7);  // 21582 faces: several chunks
  ASSERT_GT(p.m.nF, 16384);
  const std::vector<array> plain = test::host_inputs(p);
  const host::call_result deriv = test::plugin("lamina_work_deriv").call(2, test::pointers(plain));
  for (const char* model : {"cosine", "dihedral"}) {
    const bending_model b =
        std::string(model) == "cosine" ? bending_model::cosine : bending_model::dihedral;
    std::vector<double> G(3 * p.m.nV), GX(3 * p.m.nV);
    sparse_matrix M;
    const double E = shell_rest_derivatives(
        p.deformed.data(), p.m.nV, p.mu, p.eta, p.m.rest.data(), p.m.faces.data(), p.m.nF,
        p.m.edges.data(), p.m.nE, hessian_layout::column_major, G.data(), GX.data(), &M, b, 1);
    for (int threads : {1, 2, 3, 0}) {
      SCOPED_TRACE(std::string(model) + ", threads " + std::to_string(threads));
      const host::call_result out = call(p, 4, model, threads);
      EXPECT_TRUE(same_bits(host::values(out.outputs[0].get()), {E}));
      EXPECT_TRUE(same_bits(host::values(out.outputs[1].get()), G));
      EXPECT_TRUE(same_bits(host::values(out.outputs[2].get()), GX));
      const host::sparse_parts S = host::sparse(out.outputs[3].get());
      ASSERT_EQ(S.m, static_cast<std::size_t>(M.rows));
      ASSERT_EQ(S.jc.size(), M.col_start.size());
      EXPECT_TRUE(std::equal(S.jc.begin(), S.jc.end(), M.col_start.begin()));
      EXPECT_TRUE(std::equal(S.ir.begin(), S.ir.begin() + M.row_index.size(), M.row_index.begin()));
      EXPECT_TRUE(
          same_bits(std::vector<double>(S.pr.begin(), S.pr.begin() + M.values.size()), M.values));
      // Fewer outputs: the same E, G and GX, no mixed Hessian stored.
      const host::call_result three = call(p, 3, model, threads);
      EXPECT_TRUE(same_bits(host::values(three.outputs[2].get()), GX));
    }
    if (b == bending_model::cosine) {
      EXPECT_TRUE(same_bits(host::values(deriv.outputs[0].get()), {E}));
      EXPECT_TRUE(same_bits(host::values(deriv.outputs[1].get()), G));
    }
  }
}

}  // namespace
}  // namespace lamina
