// lamina_check_edge_table through the host: the shared check's errors with
// MATLAB's positions, nothing created; the usage and output-count errors.
#include <gtest/gtest.h>

#include <string>

#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

// Calls the plug-in on (faces, edges) of a mesh, or on the faces alone.
host::call_result check(int nlhs, const test::mesh& m, const std::vector<double>* edges) {
  std::vector<host::array> in;
  in.push_back(host::make_double(m.nF, 3, m.faces));
  if (edges != nullptr) in.push_back(host::make_double(m.nE, 4, *edges));
  return test::plugin("lamina_check_edge_table").call(nlhs, test::pointers(in));
}

TEST(CheckEdgeTablePlugin, AcceptsTheBuildersTableAndNamesAForeignRow) {
  // The worked example with the builder's table (its own puts the boundary
  // rows' wings in d, the position of the face that runs from b to a).
  test::mesh m = test::worked_example().m;
  m.edges = test::edge_table_of(m.faces, m.nF, &m.nE);
  EXPECT_TRUE(check(0, m, &m.edges).outputs[0] == nullptr);
  // Row 1 (1, 2, 0, 3) with d = 0 instead of 3.
  ASSERT_EQ(m.edges[1 + 3 * m.nE], 3.0);
  std::vector<double> edges = m.edges;
  edges[1 + 3 * m.nE] = 0;
  try {
    check(0, m, &edges);
    ADD_FAILURE() << "accepted";
  } catch (const host::mex_error& e) {
    EXPECT_EQ(e.identifier(), "lamina:edgeMismatch");
    EXPECT_EQ(e.message(),
              "edges(2,:) is (1, 2, 0, 0), which does not belong to source_faces: no face is "
              "(2, 1, 0) or a rotation of it; d must be the vertex opposite the edge in a face "
              "that runs from b to a");
  }
  for (int nlhs : {1, 2}) {
    EXPECT_THROW(check(nlhs, m, &m.edges), host::mex_error);
  }
  try {
    check(0, m, nullptr);
    ADD_FAILURE() << "accepted one input";
  } catch (const host::mex_error& e) {
    EXPECT_EQ(e.identifier(), "MATLAB:lamina_check_edge_table");
  }
}

}  // namespace
}  // namespace lamina
