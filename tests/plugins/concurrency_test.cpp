// The kernels and plug-ins are pure: called from several threads at once on
// shared inputs (as MATLAB's thread-based pools do), every call returns the
// bits a lone call returns. Run under ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>
#include <lamina/lamina.h>

#include <thread>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

struct results {
  double energy = 0, energy_only = 0;
  std::vector<double> gradient, mask;
  std::vector<double> plugin_energy, plugin_gradient, plugin_total, plugin_mask;
};

results evaluate(const test::problem& p, const std::vector<const mxArray*>& in) {
  const test::mesh& m = p.m;
  results r;
  r.gradient.resize(3 * m.nV);
  r.mask.resize(m.nE);
  r.energy =
      shell_energy_and_gradient(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(),
                                m.nF, m.edges.data(), m.nE, r.gradient.data());
  r.energy_only = shell_energy(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(), m.faces.data(),
                               m.nF, m.edges.data(), m.nE);
  flag_valid_edges(m.edges.data(), m.nE, m.rest.data(), p.deformed.data(), m.nV, r.mask.data());
  const auto deriv = test::plugin("lamina_work_deriv").call(2, in);
  r.plugin_energy = host::values(deriv.outputs[0].get());
  r.plugin_gradient = host::values(deriv.outputs[1].get());
  r.plugin_total = host::values(test::plugin("lamina_work_total").call(1, in).outputs[0].get());
  r.plugin_mask = host::values(test::plugin("lamina_hinge_mask").call(1, in).outputs[0].get());
  return r;
}

TEST(Concurrency, ThreadsOnSharedInputsGetTheBitsOfALoneCall) {
  const test::problem p = test::degenerate_problem(7);  // thin wings included
  const auto arrays = test::host_inputs(p);
  const auto in = test::pointers(arrays);
  const results lone = evaluate(p, in);

  constexpr int kThreads = 4, kRounds = 20;
  std::vector<std::vector<results>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) seen[t].push_back(evaluate(p, in));
    });
  }
  for (std::thread& t : threads) t.join();

  for (const auto& rounds : seen) {
    ASSERT_EQ(rounds.size(), static_cast<std::size_t>(kRounds));
    for (const results& r : rounds) {
      EXPECT_SAME_BITS(r.energy, lone.energy);
      EXPECT_SAME_BITS(r.energy_only, lone.energy_only);
      EXPECT_SAME_BITS_VECTOR(r.gradient, lone.gradient);
      EXPECT_SAME_BITS_VECTOR(r.mask, lone.mask);
      EXPECT_SAME_BITS_VECTOR(r.plugin_energy, lone.plugin_energy);
      EXPECT_SAME_BITS_VECTOR(r.plugin_gradient, lone.plugin_gradient);
      EXPECT_SAME_BITS_VECTOR(r.plugin_total, lone.plugin_total);
      EXPECT_SAME_BITS_VECTOR(r.plugin_mask, lone.plugin_mask);
    }
  }
  EXPECT_SAME_BITS(lone.plugin_energy[0], lone.energy);
  EXPECT_SAME_BITS(lone.plugin_total[0], lone.energy);
}

// Host errors raised on several threads at once reach each caller intact.
TEST(Concurrency, ErrorsOnSeveralThreadsStayApart) {
  const auto arrays = test::host_inputs(test::worked_example());
  std::vector<const mxArray*> in = test::pointers(arrays);
  std::vector<std::string> ids(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<const mxArray*> args(in.begin(), in.begin() + t);  // 0 to 3 inputs
      try {
        test::plugin(t % 2 ? "lamina_work_total" : "lamina_hinge_mask").call(1, args);
      } catch (const host::mex_error& e) {
        ids[t] = e.identifier();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(ids,
            (std::vector<std::string>{"MATLAB:lamina_hinge_mask", "MATLAB:lamina_work_total",
                                      "MATLAB:lamina_hinge_mask", "MATLAB:lamina_work_total"}));
}

}  // namespace
}  // namespace lamina
