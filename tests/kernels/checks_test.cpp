// The input checks on their own, without a host: what each caller (the MEX
// gateways, the Python binding, lamina::shell) gets back, in both message
// styles. The plug-in tests check the same errors through the host.
#include <gtest/gtest.h>
#include <lamina/checks.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/problem.h"

namespace lamina {
namespace {

struct views_of {
  test::problem p;
  shell_views v;
  explicit views_of(test::problem problem) : p(std::move(problem)) {
    const test::mesh& m = p.m;
    v.deformed_v = {p.deformed.data(), static_cast<std::size_t>(m.nV), 3};
    v.source_faces = {m.faces.data(), static_cast<std::size_t>(m.nF), 3};
    v.source_vertices = {m.rest.data(), static_cast<std::size_t>(m.nV), 3};
    v.edges = {m.edges.data(), static_cast<std::size_t>(m.nE), 4};
  }
};

TEST(Checks, ValidInputGivesItsCounts) {
  views_of in(test::random_problem(5, 4, 1));
  checked_shell c;
  const input_error e = check_shell(in.v, uses::energy, message_style::matlab, &c);
  EXPECT_FALSE(e) << e.message;
  EXPECT_EQ(c.nV, in.p.m.nV);
  EXPECT_EQ(c.nF, in.p.m.nF);
  EXPECT_EQ(c.nE, in.p.m.nE);
  EXPECT_FALSE(c.faces_look_one_based);
}

// The same bad index, positioned as each host counts.
TEST(Checks, BadIndexNamesItsPositionInEachStyle) {
  views_of in(test::worked_example());
  in.p.m.faces[1 + 2 * in.p.m.nF] = 7.5;  // face row 1, corner 2
  for (const auto& [style, where] :
       {std::pair{message_style::matlab, "source_faces(2,3) is 7.5"},
        std::pair{message_style::python, "source_faces[1, 2] is 7.5"}}) {
    const input_error e = check_shell(in.v, uses::energy, style, nullptr);
    ASSERT_TRUE(e);
    EXPECT_STREQ(e.identifier, "lamina:badIndex");
    EXPECT_EQ(e.argument, input::source_faces);
    EXPECT_EQ(e.row, 1);
    EXPECT_EQ(e.column, 2);
    EXPECT_EQ(e.value, 7.5);
    EXPECT_NE(std::string(e.message).find(where), std::string::npos) << e.message;
  }
}

// MATLAB's 1-based faces of a mesh with one unreferenced last vertex pass
// the index check, and would silently give the energy of another mesh; the
// only tell is that no index is 0.
TEST(Checks, FacesWithoutIndexZeroLookOneBased) {
  views_of in(test::worked_example());
  std::vector<double> rest = in.p.m.rest, deformed = in.p.deformed;
  // Append a fifth vertex (0-based row 4) to both vertex matrices.
  const auto append = [](std::vector<double>& m, std::size_t n, double x, double y, double z) {
    std::vector<double> out;
    for (int k = 0; k < 3; ++k) {
      out.insert(out.end(), m.begin() + k * n, m.begin() + (k + 1) * n);
      out.push_back(k == 0 ? x : k == 1 ? y : z);
    }
    m = out;
  };
  append(rest, 4, 2, 2, 0);
  append(deformed, 4, 2, 2, 0);
  std::vector<double> faces = in.p.m.faces;
  for (double& f : faces) f += 1;
  in.v.source_vertices = {rest.data(), 5, 3};
  in.v.deformed_v = {deformed.data(), 5, 3};
  in.v.source_faces = {faces.data(), 2, 3};
  in.v.edges = {};
  checked_shell c;
  ASSERT_FALSE(check_shell(in.v, uses::energy, message_style::matlab, &c));
  EXPECT_TRUE(c.faces_look_one_based);
  // -0.7 truncates to vertex 0: not 1-based.
  faces[0] = -0.7;
  ASSERT_FALSE(check_shell(in.v, uses::energy, message_style::matlab, &c));
  EXPECT_FALSE(c.faces_look_one_based);
  // The mask does not use the faces.
  for (double& f : faces) f = 3;
  ASSERT_FALSE(check_shell(in.v, uses::mask, message_style::matlab, &c));
  EXPECT_FALSE(c.faces_look_one_based);
}

TEST(Checks, ARestMeshAloneAndADeformedMatrixLater) {
  views_of in(test::worked_example());
  in.v.has_deformed = false;
  in.v.deformed_v = {};
  checked_shell c;
  ASSERT_FALSE(check_shell(in.v, uses::energy, message_style::python, &c));
  EXPECT_EQ(c.nV, 4);
  const std::vector<double> five(15, 0.0);
  const input_error e = check_deformed({five.data(), 5, 3}, 4, message_style::python);
  ASSERT_TRUE(e);
  EXPECT_STREQ(e.identifier, "lamina:badSize");
  EXPECT_STREQ(e.message,
               "deformed_v must have one row per vertex of source_vertices (4), but it has 5");
  EXPECT_FALSE(check_deformed({five.data(), 4, 3}, 4, message_style::python));
  EXPECT_TRUE(check_deformed({five.data(), 5, 2}, 5, message_style::python));
}

TEST(Checks, TypeErrorsAreWordedForEachHost) {
  EXPECT_STREQ(not_double(input::source_faces, "int32", message_style::matlab).message,
               "source_faces must be a real double matrix, but it is of class int32; convert it "
               "with double(source_faces)");
  EXPECT_STREQ(not_double(input::edges, "complex128", message_style::python).message,
               "edges must be a real float64 array, but it is of type complex128; convert it "
               "with numpy.asarray(edges, dtype=float)");
  const input_error e = not_real_scalar(input::eta, "double", true, message_style::matlab);
  EXPECT_STREQ(e.identifier, "lamina:badType");
  EXPECT_EQ(e.argument, input::eta);
  EXPECT_STREQ(e.message, "eta must be a real numeric scalar, but it is complex double");
  EXPECT_STREQ(empty_coefficient(input::mu, message_style::matlab).identifier, "lamina:badSize");
}

}  // namespace
}  // namespace lamina
