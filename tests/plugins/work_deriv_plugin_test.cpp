// lamina_work_deriv through the built MEX file, loaded into the project's host.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include <algorithm>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

using test::pointers;

const host::plugin& deriv() { return test::plugin("lamina_work_deriv"); }

// Membrane gradient, then the bending gradient added into it, from the kernels.
struct kernel_result {
  double membrane, bending;
  std::vector<double> gradient;
};

kernel_result kernels(const test::problem& p) {
  kernel_result r;
  r.gradient.resize(3 * p.m.nV);
  r.membrane = membrane_energy_and_gradient(p.m.faces.data(), p.m.nF, p.m.rest.data(),
                                            p.deformed.data(), p.m.nV, p.mu, r.gradient.data());
  r.bending = bending_energy_and_gradient(p.m.edges.data(), p.m.nE, p.m.rest.data(),
                                          p.deformed.data(), p.m.nV, p.eta, r.gradient.data());
  return r;
}

TEST(WorkDerivPlugin, WorkedExample) {
  const test::problem p = test::worked_example();
  const kernel_result k = kernels(p);
  EXPECT_SAME_BITS(k.membrane, 0.1903174851222611);
  EXPECT_SAME_BITS(k.bending, 0.33966946892709493);

  const auto in = test::host_inputs(p);
  const host::call_result out = deriv().call(2, pointers(in));
  ASSERT_EQ(out.outputs.size(), 2u);
  ASSERT_EQ(mxGetM(out.outputs[0].get()), 1u);
  ASSERT_EQ(mxGetN(out.outputs[0].get()), 1u);
  EXPECT_SAME_BITS(host::values(out.outputs[0].get())[0], 0.529986954049356);
  ASSERT_EQ(mxGetM(out.outputs[1].get()), 4u);
  ASSERT_EQ(mxGetN(out.outputs[1].get()), 3u);
  EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[1].get()), k.gradient);

  // The gradient is not the membrane gradient alone: the bending term added to it.
  std::vector<double> membrane_only(12);
  membrane_energy_and_gradient(p.m.faces.data(), 2, p.m.rest.data(), p.deformed.data(), 4, 2.0,
                               membrane_only.data());
  EXPECT_NE(membrane_only, k.gradient);
}

// The calls that read inputs and create outputs, in their documented order;
// the argument checks' queries (mxIsDouble, mxGetN, ...) come in between.
TEST(WorkDerivPlugin, CallsTheHostInTheDocumentedOrder) {
  const auto in = test::host_inputs(test::worked_example());
  std::vector<std::string> trace;
  for (const std::string& call : deriv().call_traced(2, pointers(in)).trace) {
    for (const char* f : {"mxGetPr(", "mxGetM(", "mxGetScalar(", "mxCreate"}) {
      if (call.rfind(f, 0) == 0) trace.push_back(call);
    }
  }
  const std::vector<std::string> expected = {"mxGetPr(in0)",
                                             "mxGetM(in0)",
                                             "mxGetScalar(in1)",
                                             "mxGetScalar(in2)",
                                             "mxGetPr(in3)",
                                             "mxGetM(in3)",
                                             "mxGetPr(in4)",
                                             "mxGetM(in4)",
                                             "mxGetPr(in5)",
                                             "mxGetM(in5)",
                                             "mxCreateDoubleMatrix_730(1,1)",
                                             "mxGetPr(new0)",
                                             "mxCreateDoubleMatrix_730(4,3)",
                                             "mxGetPr(new1)"};
  EXPECT_EQ(trace, expected);
}

TEST(WorkDerivPlugin, EmptyTables) {
  test::problem p = test::random_problem(5, 4, 1);
  const kernel_result full = kernels(p);

  test::problem no_edges = p;
  no_edges.m.nE = 0;
  no_edges.m.edges.clear();
  const auto out_e = deriv().call(2, pointers(test::host_inputs(no_edges)));
  std::vector<double> membrane_gradient(3 * p.m.nV);
  const double Em =
      membrane_energy_and_gradient(p.m.faces.data(), p.m.nF, p.m.rest.data(), p.deformed.data(),
                                   p.m.nV, p.mu, membrane_gradient.data());
  EXPECT_SAME_BITS(host::values(out_e.outputs[0].get())[0], 0.0 + Em);
  EXPECT_SAME_BITS_VECTOR(host::values(out_e.outputs[1].get()), membrane_gradient);

  test::problem no_faces = p;
  no_faces.m.nF = 0;
  no_faces.m.faces.clear();
  const auto out_f = deriv().call(2, pointers(test::host_inputs(no_faces)));
  std::vector<double> bending_gradient(3 * p.m.nV, 0.0);
  const double Eb =
      bending_energy_and_gradient(p.m.edges.data(), p.m.nE, p.m.rest.data(), p.deformed.data(),
                                  p.m.nV, p.eta, bending_gradient.data());
  EXPECT_SAME_BITS(host::values(out_f.outputs[0].get())[0], Eb + 0.0);
  EXPECT_SAME_BITS_VECTOR(host::values(out_f.outputs[1].get()), bending_gradient);
  EXPECT_NE(Eb + full.membrane, Eb);

  test::problem neither = no_faces;
  neither.m.nE = 0;
  neither.m.edges.clear();
  const auto out_n = deriv().call(2, pointers(test::host_inputs(neither)));
  EXPECT_SAME_BITS(host::values(out_n.outputs[0].get())[0], 0.0);
  EXPECT_SAME_BITS_VECTOR(host::values(out_n.outputs[1].get()),
                          std::vector<double>(3 * p.m.nV, 0.0));
}

// With nlhs 0 or 1 the host provides one slot: the energy goes there, and
// the gradient, still created and computed, is not stored past it.
TEST(WorkDerivPlugin, OneOutputStoresOnlyTheEnergy) {
  const auto in = test::host_inputs(test::worked_example());
  for (int nlhs : {0, 1}) {
    SCOPED_TRACE(nlhs);
    const host::call_result out = deriv().call_traced(nlhs, pointers(in));
    ASSERT_EQ(out.outputs.size(), 1u);
    EXPECT_SAME_BITS(host::values(out.outputs[0].get())[0], 0.529986954049356);
    EXPECT_NE(std::find(out.trace.begin(), out.trace.end(), "mxCreateDoubleMatrix_730(4,3)"),
              out.trace.end());
  }
}

TEST(WorkDerivPlugin, MatrixCoefficientsUseTheirFirstElement) {
  auto in = test::host_inputs(test::worked_example());
  in[1] = host::make_double(2, 2, {2, 100, -5, 7});
  in[2] = host::make_double(2, 2, {3, -1, 0, 9});
  const auto out = deriv().call(2, pointers(in));
  EXPECT_SAME_BITS(host::values(out.outputs[0].get())[0], 0.529986954049356);
}

TEST(WorkDerivPlugin, MatchesTheKernelsOnRandomMeshes) {
  for (unsigned seed = 0; seed < 4; ++seed) {
    const test::problem p = test::random_problem(4 + 3 * seed, 3 + 2 * seed, seed);
    const kernel_result k = kernels(p);
    const auto out = deriv().call(2, pointers(test::host_inputs(p)));
    EXPECT_SAME_BITS(host::values(out.outputs[0].get())[0], k.bending + k.membrane);
    EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[1].get()), k.gradient);
  }
}

}  // namespace
}  // namespace lamina
