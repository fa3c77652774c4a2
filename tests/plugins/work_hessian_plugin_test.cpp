// lamina_work_hessian through the project's host: energy and gradient are
// lamina_work_deriv's, the Hessian is a valid, exactly symmetric
// compressed-column matrix whose pattern depends on the mesh alone, equal to
// the C++ API's and the prepared shell's, the derivative of the gradient,
// and positive semi-definite when projected.
#include <gtest/gtest.h>
#include <lamina/hessian.h>
#include <lamina/lamina.h>
#include <lamina/shell.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

using host::array;

const host::plugin& hessian() { return test::plugin("lamina_work_hessian"); }

const char* const kProjections[] = {"none", "clamp", "abs"};

struct result {
  double energy;
  std::vector<double> gradient;
  host::sparse_parts H;
};

result call(const test::problem& p, const char* project) {
  std::vector<array> in = test::host_inputs(p);
  in.push_back(host::make_char("Project"));
  in.push_back(host::make_char(project));
  const host::call_result out = hessian().call(3, test::pointers(in));
  return {host::values(out.outputs[0].get())[0], host::values(out.outputs[1].get()),
          host::sparse(out.outputs[2].get())};
}

// A dense copy (small problems only).
std::vector<double> dense(const host::sparse_parts& H) {
  std::vector<double> d(H.m * H.n, 0.0);
  for (std::size_t c = 0; c < H.n; ++c) {
    for (std::size_t x = H.jc[c]; x < H.jc[c + 1]; ++x) d[H.ir[x] + c * H.m] = H.pr[x];
  }
  return d;
}

// Whether A + shift I has a Cholesky factor (A symmetric, n by n).
bool positive_definite(std::vector<double> A, std::size_t n, double shift) {
  for (std::size_t i = 0; i < n; ++i) A[i + i * n] += shift;
  for (std::size_t j = 0; j < n; ++j) {
    double d = A[j + j * n];
    for (std::size_t k = 0; k < j; ++k) d -= A[j + k * n] * A[j + k * n];
    if (!(d > 0.0)) return false;
    d = std::sqrt(d);
    A[j + j * n] = d;
    for (std::size_t i = j + 1; i < n; ++i) {
      double s = A[i + j * n];
      for (std::size_t k = 0; k < j; ++k) s -= A[i + k * n] * A[j + k * n];
      A[i + j * n] = s / d;
    }
  }
  return true;
}

double largest_magnitude(const std::vector<double>& v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

std::vector<test::problem> problems() {
  std::vector<test::problem> ps;
  for (int n : {2, 4, 7}) ps.push_back(test::random_problem(n, n + 1, 20 + n));
  for (unsigned seed = 0; seed < 16; ++seed) ps.push_back(test::degenerate_problem(seed));
  return ps;
}

TEST(WorkHessianPlugin, EnergyAndGradientAreThoseOfLaminaWorkDeriv) {
  for (const test::problem& p : problems()) {
    const auto deriv =
        test::plugin("lamina_work_deriv").call(2, test::pointers(test::host_inputs(p)));
    for (const char* project : kProjections) {
      SCOPED_TRACE(project);
      const result r = call(p, project);
      EXPECT_SAME_BITS(r.energy, host::values(deriv.outputs[0].get())[0]);
      EXPECT_SAME_BITS_VECTOR(r.gradient, host::values(deriv.outputs[1].get()));
    }
  }
}

// Sorted unique rows, exact symmetry, one pattern for every deformation and
// projection of a mesh, and empty rows and columns for untouched vertices.
TEST(WorkHessianPlugin, AValidSymmetricMatrixWithTheMeshsPattern) {
  test::problem p = test::random_problem(5, 4, 3);
  // A vertex no face or hinge uses: append one to both vertex matrices.
  const std::int32_t nV = p.m.nV;
  std::vector<double> rest, deformed;
  for (int k = 0; k < 3; ++k) {
    rest.insert(rest.end(), p.m.rest.begin() + k * nV, p.m.rest.begin() + (k + 1) * nV);
    rest.push_back(9.0);
    deformed.insert(deformed.end(), p.deformed.begin() + k * nV, p.deformed.begin() + (k + 1) * nV);
    deformed.push_back(9.0);
  }
  p.m.rest = rest;
  p.deformed = deformed;
  p.m.nV = nV + 1;
  const std::size_t side = 3 * static_cast<std::size_t>(p.m.nV);
  const result first = call(p, "none");
  for (const char* project : kProjections) {
    for (double noise : {0.0, 0.3}) {
      SCOPED_TRACE(std::string(project) + ", noise " + std::to_string(noise));
      test::problem q = p;
      for (std::size_t i = 0; i < q.deformed.size(); ++i)
        q.deformed[i] += noise * std::sin(3.0 * i);
      const result r = call(q, project);
      ASSERT_EQ(r.H.m, side);
      ASSERT_EQ(r.H.n, side);
      EXPECT_EQ(r.H.jc, first.H.jc);
      EXPECT_EQ(r.H.ir, first.H.ir);
      std::map<std::pair<std::size_t, std::size_t>, double> entry;
      for (std::size_t c = 0; c < side; ++c) {
        for (std::size_t x = r.H.jc[c]; x < r.H.jc[c + 1]; ++x) {
          if (x > r.H.jc[c]) {
            EXPECT_LT(r.H.ir[x - 1], r.H.ir[x]) << "column " << c;
          }
          entry[{r.H.ir[x], c}] = r.H.pr[x];
        }
      }
      for (const auto& e : entry) {
        const auto t = entry.find({e.first.second, e.first.first});
        ASSERT_NE(t, entry.end());
        EXPECT_SAME_BITS(t->second, e.second);
      }
      for (int k = 0; k < 3; ++k) {
        const std::size_t c = nV + k * static_cast<std::size_t>(p.m.nV);  // the untouched vertex
        EXPECT_EQ(r.H.jc[c + 1], r.H.jc[c]);
        for (std::size_t row : r.H.ir) EXPECT_NE(row, c);
      }
    }
  }
}

// The plug-in, the C++ API and the prepared shell give the same bits.
TEST(WorkHessianPlugin, EqualsTheCppApiAndThePreparedShell) {
  for (const test::problem& p : problems()) {
    const test::mesh& m = p.m;
    for (const projection project : {projection::none, projection::clamp, projection::abs}) {
      const char* name = kProjections[static_cast<int>(project)];
      SCOPED_TRACE(name);
      const result r = call(p, name);
      sparse_matrix H;
      std::vector<double> g(3 * m.nV);
      EXPECT_SAME_BITS(
          shell_energy_gradient_hessian(p.deformed.data(), m.nV, p.mu, p.eta, m.rest.data(),
                                        m.faces.data(), m.nF, m.edges.data(), m.nE, project,
                                        hessian_layout::column_major, g.data(), &H),
          r.energy);
      EXPECT_SAME_BITS_VECTOR(g, r.gradient);
      EXPECT_SAME_BITS_VECTOR(H.values, r.H.pr);
      ASSERT_EQ(H.row_index.size(), r.H.ir.size());
      for (std::size_t x = 0; x < H.row_index.size(); ++x) {
        ASSERT_EQ(static_cast<std::size_t>(H.row_index[x]), r.H.ir[x]);
      }

      if (!test::edges_belong(m)) continue;  // a shell refuses odd c and d that name a vertex
      shell s(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta, m.edges.data(), m.nE);
      std::vector<double> gs(3 * m.nV), values(s.hessian_row_index().size());
      EXPECT_SAME_BITS(
          s.energy_gradient_hessian(p.deformed.data(), project, gs.data(), values.data()),
          r.energy);
      EXPECT_SAME_BITS_VECTOR(gs, r.gradient);
      EXPECT_SAME_BITS_VECTOR(values, r.H.pr);
      EXPECT_EQ(s.hessian_col_start(), H.col_start);
    }
  }
}

// Column j of the Hessian is the derivative of the gradient with respect to
// coordinate j, by central differences of lamina_work_deriv.
TEST(WorkHessianPlugin, IsTheDerivativeOfTheGradient) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const test::problem p = test::random_problem(4, 5, seed);
    const std::vector<double> H = dense(call(p, "none").H);
    const std::size_t n = p.deformed.size();
    const double h = 1e-6;
    std::vector<double> fd(n * n);
    for (std::size_t j = 0; j < n; ++j) {
      test::problem plus = p, minus = p;
      plus.deformed[j] += h;
      minus.deformed[j] -= h;
      const auto gp = host::values(test::plugin("lamina_work_deriv")
                                       .call(2, test::pointers(test::host_inputs(plus)))
                                       .outputs[1]
                                       .get());
      const auto gm = host::values(test::plugin("lamina_work_deriv")
                                       .call(2, test::pointers(test::host_inputs(minus)))
                                       .outputs[1]
                                       .get());
      for (std::size_t i = 0; i < n; ++i) fd[i + j * n] = (gp[i] - gm[i]) / (2 * h);
    }
    EXPECT_LT(test::relative_error(fd, H), 1e-7);
  }
}

// At rest the exact Hessian is positive semi-definite and 'clamp' changes
// it by rounding only; on a strongly deformed mesh the exact Hessian is
// indefinite and 'clamp' and 'abs' are not.
TEST(WorkHessianPlugin, ProjectionsArePositiveSemiDefinite) {
  test::problem rest = test::random_problem(4, 4, 5);
  rest.deformed = rest.m.rest;
  const std::vector<double> exact_at_rest = dense(call(rest, "none").H);
  const std::vector<double> clamped_at_rest = dense(call(rest, "clamp").H);
  const std::size_t n = rest.deformed.size();
  const double scale = largest_magnitude(exact_at_rest);
  EXPECT_TRUE(positive_definite(exact_at_rest, n, 1e-12 * scale));
  for (std::size_t i = 0; i < exact_at_rest.size(); ++i) {
    EXPECT_NEAR(clamped_at_rest[i], exact_at_rest[i], 1e-12 * scale);
  }

  test::problem bent = test::random_problem(4, 4, 6);
  for (std::size_t i = 0; i < bent.deformed.size(); ++i) {
    bent.deformed[i] += 0.4 * std::sin(7.0 * i) - 0.2 * std::cos(5.0 * i * i);
  }
  const std::vector<double> exact = dense(call(bent, "none").H);
  const double big = largest_magnitude(exact);
  EXPECT_FALSE(positive_definite(exact, n, 1e-9 * big)) << "the test mesh should be indefinite";
  for (const char* project : {"clamp", "abs"}) {
    SCOPED_TRACE(project);
    const std::vector<double> P = dense(call(bent, project).H);
    EXPECT_TRUE(positive_definite(P, n, 1e-12 * largest_magnitude(P)));
  }
}

struct option_case {
  std::vector<std::string> words;  // after the six inputs
  int nlhs;
  const char* identifier;
  const char* message;
};

TEST(WorkHessianPlugin, BadOptionsAndOutputCountsAreNamedErrors) {
  const std::vector<option_case> cases = {
      {{"Project", "soft"},
       3,
       "lamina:badOption",
       "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is 'soft'"},
      {{"Projection", "clamp"},
       3,
       "lamina:badOption",
       "there is no option 'Projection': the options of lamina_work_hessian are 'Project', "
       "'Bending' and 'Threads'"},
      // The name comes after words of the plug-in's own, whatever it is.
      {{"lamina_work_hessian", "clamp"},
       3,
       "lamina:badOption",
       "there is no option 'lamina_work_hessian': the options of lamina_work_hessian are "
       "'Project', 'Bending' and 'Threads'"},
      // Long text is quoted to its 31st character.
      {{"project", "clamp but not quite: a value of forty-odd characters"},
       3,
       "lamina:badOption",
       "the value of 'Project' must be 'none', 'clamp' or 'abs', but it is 'clamp but not quite: a "
       "value of...'"},
      {{"Project"},
       3,
       "MATLAB:lamina_work_hessian",
       "6 inputs required: [energy, gradient, hessian] = lamina_work_hessian(deformed_v, mu, eta, "
       "source_faces, source_vertices, edges), optionally followed by the option 'Project', "
       "'none' | 'clamp' | 'abs'"},
      {{},
       4,
       "lamina:tooManyOutputs",
       "4 outputs were requested, but lamina_work_hessian returns at most 3 (energy, gradient, "
       "hessian)"},
  };
  for (const option_case& c : cases) {
    SCOPED_TRACE(c.identifier);
    std::vector<array> in = test::host_inputs(test::worked_example());
    for (const std::string& w : c.words) in.push_back(host::make_char(w));
    try {
      hessian().call_traced(c.nlhs, test::pointers(in));
      ADD_FAILURE() << "accepted";
    } catch (const host::mex_error& e) {
      EXPECT_EQ(e.identifier(), c.identifier);
      EXPECT_EQ(e.message(), c.message);
      for (const std::string& t : e.trace()) EXPECT_EQ(t.rfind("mxCreate", 0), std::string::npos);
    }
  }
  // A name or value that is not text.
  std::vector<array> in = test::host_inputs(test::worked_example());
  in.push_back(host::make_scalar(3));
  in.push_back(host::make_char("clamp"));
  try {
    hessian().call(3, test::pointers(in));
    ADD_FAILURE() << "accepted";
  } catch (const host::mex_error& e) {
    EXPECT_EQ(e.identifier(), "lamina:badOption");
    EXPECT_EQ(e.message(),
              "input 7 must be an option name such as 'Project', but it is of class double");
  }
}

// Without a third output no Hessian is formed: no sparse array is created.
TEST(WorkHessianPlugin, FewerOutputsFormNoHessian) {
  const auto in = test::host_inputs(test::worked_example());
  for (int nlhs : {0, 1, 2}) {
    const host::call_result out = hessian().call_traced(nlhs, test::pointers(in));
    for (const std::string& t : out.trace)
      EXPECT_EQ(t.rfind("mxCreateSparse", 0), std::string::npos);
    EXPECT_SAME_BITS(host::values(out.outputs[0].get())[0], 0.529986954049356);
  }
}

}  // namespace
}  // namespace lamina
