// Every plug-in rejects a call without exactly six inputs with its own
// identifier and its usage text, byte for byte, before any other host call.
#include <gtest/gtest.h>

#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

// The texts spelled out independently of the gateways' own constants.
std::string energy_usage() {
  const std::string t(16, '\t');
  return "6 inputs required: [energy, gradient] = lamina_work_deriv(deformed_v, " + t +
         " mu, eta, source_faces, source_vertices, edges), where edges is an index matrix "
         "with 4 columns, " +
         t + " first 2 columns are the indices of the vertices that comprise the edge, " + t +
         " 3rd is the index of the opposite vertex in the face with the same orientation, " + t +
         " 4th the opposite vertex in the face with the opposite orientation";
}

std::string mask_usage() {
  const std::string t(15, '\t');
  return "6 inputs required: [valid_edges] = " + t +
         "lamina_hinge_mask(deformed_v, mu, eta, source_faces, source_vertices, edges), " + t +
         "where edges is an index matrix with 4 columns, first 2 columns are the indices of "
         "the " +
         t +
         "vertices that comprise the edge, 3rd is the index of the opposite vertex in the face " +
         t +
         "with the same orientation, 4th the opposite vertex in the face with the opposite "
         "orientation";
}

struct usage_case {
  const char* plugin;
  const char* identifier;
  std::string text;
};

TEST(UsageErrors, WrongInputCountsRaiseTheUsageErrorAndCreateNothing) {
  const std::vector<usage_case> cases = {
      {"lamina_work_deriv", "MATLAB:lamina_work_deriv", energy_usage()},
      {"lamina_work_total", "MATLAB:lamina_work_total", energy_usage()},  // the same text
      {"lamina_hinge_mask", "MATLAB:lamina_hinge_mask", mask_usage()},
  };
  const auto six = test::host_inputs(test::worked_example());
  for (const usage_case& c : cases) {
    for (std::size_t n : {0, 1, 5, 7}) {
      SCOPED_TRACE(std::string(c.plugin) + " with " + std::to_string(n) + " inputs");
      std::vector<const mxArray*> in = test::pointers(six);
      in.resize(n, six[0].get());
      try {
        test::plugin(c.plugin).call_traced(1, in);
        ADD_FAILURE() << "no error raised";
      } catch (const host::mex_error& e) {
        EXPECT_EQ(e.identifier(), c.identifier);
        EXPECT_EQ(e.message(), c.text);
        EXPECT_TRUE(e.trace().empty()) << "host calls before the error";
      }
    }
  }
}

TEST(UsageErrors, EveryPluginReportsItsApiVersion) {
  for (const std::string& name : test::plugin_names()) {
    EXPECT_EQ(test::plugin(name).required_api_version(), std::make_pair(131450u, 0u)) << name;
  }
}

}  // namespace
}  // namespace lamina
