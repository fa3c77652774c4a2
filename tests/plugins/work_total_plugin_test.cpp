// lamina_work_total returns the energy of lamina_work_deriv, bit for bit.
#include <gtest/gtest.h>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

double deriv_energy(const std::vector<host::array>& in) {
  return host::values(
      test::plugin("lamina_work_deriv").call(2, test::pointers(in)).outputs[0].get())[0];
}

double total_energy(const std::vector<host::array>& in) {
  const host::call_result out = test::plugin("lamina_work_total").call(1, test::pointers(in));
  EXPECT_EQ(mxGetM(out.outputs[0].get()), 1u);
  EXPECT_EQ(mxGetN(out.outputs[0].get()), 1u);
  return host::values(out.outputs[0].get())[0];
}

TEST(WorkTotalPlugin, WorkedExample) {
  const auto in = test::host_inputs(test::worked_example());
  EXPECT_SAME_BITS(total_energy(in), 0.529986954049356);
  EXPECT_SAME_BITS(deriv_energy(in), 0.529986954049356);
}

TEST(WorkTotalPlugin, EqualsTheGradientPluginsEnergyOnRandomMeshes) {
  for (int n : {2, 3, 6, 15, 40}) {
    SCOPED_TRACE(n);
    const auto in = test::host_inputs(test::random_problem(n, n + 1, n));
    EXPECT_SAME_BITS(total_energy(in), deriv_energy(in));
  }
}

TEST(WorkTotalPlugin, EqualsTheGradientPluginsEnergyOnDegenerateInput) {
  for (unsigned seed = 0; seed < 48; ++seed) {
    SCOPED_TRACE(seed);
    const auto in = test::host_inputs(test::degenerate_problem(seed));
    EXPECT_SAME_BITS(total_energy(in), deriv_energy(in));
  }
}

TEST(WorkTotalPlugin, EmptyTables) {
  const test::problem p = test::random_problem(5, 4, 9);
  test::problem no_edges = p, no_faces = p, neither = p;
  no_edges.m.nE = neither.m.nE = 0;
  no_edges.m.edges.clear();
  neither.m.edges.clear();
  no_faces.m.nF = neither.m.nF = 0;
  no_faces.m.faces.clear();
  neither.m.faces.clear();
  for (const test::problem* q : {&no_edges, &no_faces, &neither}) {
    const auto in = test::host_inputs(*q);
    EXPECT_SAME_BITS(total_energy(in), deriv_energy(in));
  }
  EXPECT_SAME_BITS(total_energy(test::host_inputs(neither)), 0.0);
  const auto full = test::host_inputs(p);
  EXPECT_NE(total_energy(test::host_inputs(no_edges)), total_energy(full));
  EXPECT_NE(total_energy(test::host_inputs(no_faces)), total_energy(full));
}

// Only slot 0 is stored, and no gradient is ever created.
TEST(WorkTotalPlugin, StoresOnlyTheEnergy) {
  const auto in = test::host_inputs(test::worked_example());
  const host::call_result out =
      test::plugin("lamina_work_total").call_traced(2, test::pointers(in));
  ASSERT_EQ(out.outputs.size(), 2u);
  EXPECT_NE(out.outputs[0], nullptr);
  EXPECT_EQ(out.outputs[1], nullptr);
  int created = 0;
  for (const std::string& call : out.trace) created += call.rfind("mxCreate", 0) == 0;
  EXPECT_EQ(created, 1);
}

}  // namespace
}  // namespace lamina
