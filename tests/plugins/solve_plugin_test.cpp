// lamina_solve through the project's host: the bits of lamina::solve, the
// info struct and its history, the verbose lines, a logical and a 0/1 mask
// alike, and every bad option named before any output is created.
#include <gtest/gtest.h>
#include <lamina/shell.h>
#include <lamina/solve.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/mesh.h"
#include "support/numeric.h"
#include "support/plugins.h"

namespace lamina {
namespace {

using host::array;

const host::plugin& solver() { return test::plugin("lamina_solve"); }

// A flat 8-by-8 sheet held along x = 0, under a weight of 2.
struct sheet {
  static constexpr int n = 8;
  std::int32_t nV = n * n, nF = 2 * (n - 1) * (n - 1), nE = 0;
  std::vector<double> V, F, E, forces, held;
  sheet() {
    V.assign(3 * nV, 0.0);
    forces.assign(3 * nV, 0.0);
    held.assign(3 * nV, 0.0);
    for (std::int32_t v = 0; v < nV; ++v) {
      V[v] = (v % n) / (n - 1.0);
      V[v + nV] = (v / n) / (n - 1.0);
      forces[v + 2 * nV] = -2.0 / nV;
      for (int k = 0; k < 3; ++k) held[v + k * nV] = v % n <= 1 ? 1.0 : 0.0;
    }
    std::vector<std::vector<double>> rows;
    for (int j = 0; j + 1 < n; ++j) {
      for (int i = 0; i + 1 < n; ++i) {
        const double v = i + n * j;
        rows.push_back({v, v + 1, v + n + 1});
        rows.push_back({v, v + n + 1, v + n});
      }
    }
    F = test::column_major(rows, 3);
    E = test::edge_table_of(F, nF, &nE);
  }
  std::vector<array> inputs() const {
    std::vector<array> in;
    in.push_back(host::make_double(nV, 3, V));
    in.push_back(host::make_scalar(10));
    in.push_back(host::make_scalar(10));
    in.push_back(host::make_double(nF, 3, F));
    in.push_back(host::make_double(nV, 3, V));
    in.push_back(host::make_double(nE, 4, E));
    return in;
  }
};

// lamina::solve on shell `sh` of the sheet, held and loaded as the sheet says.
solve_result solve_sheet(const lamina::shell& sh, const sheet& s) {
  std::vector<std::uint8_t> held(s.held.begin(), s.held.end());
  solve_options o;
  o.fixed = held.data();
  o.forces = s.forces.data();
  return solve(sh, s.V.data(), o);
}

void add(std::vector<array>& in, const std::string& name, array value) {
  in.push_back(host::make_char(name));
  in.push_back(std::move(value));
}

TEST(SolvePlugin, TheGatewayReturnsTheSolversBitsAndItsHistory) {
  const sheet s;
  std::vector<array> in = s.inputs();
  add(in, "Fixed", host::make_double(s.nV, 3, s.held));
  add(in, "forces", host::make_double(s.nV, 3, s.forces));
  add(in, "Verbose", host::make_scalar(1));
  const host::call_result out = solver().call(2, test::pointers(in));

  const lamina::shell sh(s.F.data(), s.nF, s.V.data(), s.nV, 10.0, 10.0, s.E.data(), s.nE);
  const solve_result r = solve_sheet(sh, s);
  ASSERT_TRUE(r.converged) << r.message;
  EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[0].get()), r.x);

  const mxArray* info = out.outputs[1].get();
  EXPECT_EQ(host::field_names(info),
            (std::vector<std::string>{"iterations", "converged", "energy", "gradient_norm",
                                      "message", "history"}));
  EXPECT_EQ(host::values(host::field(info, "iterations"))[0], r.iterations);
  EXPECT_EQ(host::logicals(host::field(info, "converged")), std::vector<bool>{true});
  EXPECT_SAME_BITS(host::values(host::field(info, "energy"))[0], r.energy);
  EXPECT_EQ(host::text(host::field(info, "message")), r.message);
  const mxArray* history = host::field(info, "history");
  std::vector<double> energies;
  for (const solve_step& step : r.history) energies.push_back(step.energy);
  EXPECT_SAME_BITS_VECTOR(host::values(host::field(history, "energy")), energies);
  const mxArray* projection = host::field(history, "projection");
  EXPECT_EQ(host::text(host::cell(projection, 0)), "");
  for (std::size_t k = 1; k < r.history.size(); ++k) {
    EXPECT_EQ(host::text(host::cell(projection, k)),
              r.history[k].hessian == projection::none ? "none" : "clamp");
  }
  // Verbose: a header, a line per iteration and the message, each flushed.
  std::size_t lines = 0;
  for (char c : out.printed) lines += c == '\n';
  EXPECT_EQ(lines, r.history.size() + 3) << out.printed;
  EXPECT_EQ(out.evaluated.size(), lines);
  EXPECT_EQ(out.evaluated[0], "drawnow;");

  // A logical mask gives the same bits; without Verbose nothing is printed.
  std::vector<array> logical = s.inputs();
  std::vector<bool> mask(s.held.begin(), s.held.end());
  add(logical, "FIXED", host::make_logical(s.nV, 3, mask));
  add(logical, "Forces", host::make_double(s.nV, 3, s.forces));
  const host::call_result again = solver().call(1, test::pointers(logical));
  EXPECT_SAME_BITS_VECTOR(host::values(again.outputs[0].get()), r.x);
  EXPECT_TRUE(again.printed.empty());
}

// An empty edge table means no hinges, as in every plug-in: the gateway must
// not let the shell build the table from the faces (which it does for a null
// table, the form an empty array's data may take).
TEST(SolvePlugin, AnEmptyEdgeTableIsTheMembraneAlone) {
  const sheet s;
  const std::vector<double> no_edges;
  // A table of no rows (a pointer that is not null).
  const lamina::shell membrane(s.F.data(), s.nF, s.V.data(), s.nV, 10.0, 10.0, s.E.data(), 0);
  const solve_result r = solve_sheet(membrane, s);
  ASSERT_TRUE(r.converged) << r.message;
  for (const int columns : {4, 0}) {
    std::vector<array> in = s.inputs();
    in[5] = host::make_double(0, columns, no_edges);
    add(in, "Fixed", host::make_double(s.nV, 3, s.held));
    add(in, "Forces", host::make_double(s.nV, 3, s.forces));
    const host::call_result out = solver().call(1, test::pointers(in));
    EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[0].get()), r.x) << columns;
  }
}

struct option_case {
  std::vector<std::pair<std::string, double>> numbers;  // name, scalar value
  const char* name;                                     // an option given as a matrix ...
  array value;                                          // ... and its value, or null
  int nlhs;
  const char* identifier;
  std::string message;
};

TEST(SolvePlugin, BadOptionsAreNamedBeforeAnyOutputIsCreated) {
  const sheet s;
  std::vector<double> half = s.held, nan_force = s.forces;
  half[5] = 0.5;
  nan_force[1 + 2 * s.nV] = std::numeric_limits<double>::quiet_NaN();
  std::vector<option_case> cases;
  cases.push_back({{},
                   "Fix",
                   host::make_scalar(1),
                   1,
                   "lamina:badOption",
                   "there is no option 'Fix': the options of lamina_solve are 'Fixed', 'Forces', "
                   "'Mass', 'Target', 'TimeStep', 'Tolerance', 'MaxIterations', 'Project', "
                   "'Verbose', 'Bending' and 'Threads'"});
  cases.push_back({{},
                   "Fixed",
                   host::make_double(3, 3, std::vector<double>(9, 0.0)),
                   1,
                   "lamina:badOption",
                   "the value of 'Fixed' must be a 64-by-3 logical matrix, or a double one of 0s "
                   "and 1s (a row per vertex), but it is 3-by-3"});
  cases.push_back({{},
                   "Fixed",
                   host::make_double(s.nV, 3, half),
                   1,
                   "lamina:badOption",
                   "Fixed(6,1) is 0.5, but a mask holds only 0 and 1 (false and true)"});
  cases.push_back({{},
                   "Forces",
                   host::make_array(mxINT32_CLASS, s.nV, 3),
                   1,
                   "lamina:badOption",
                   "the value of 'Forces' must be a 64-by-3 real double matrix (a row per "
                   "vertex), but it is of class int32"});
  cases.push_back({{},
                   "Forces",
                   host::make_double(s.nV, 3, nan_force),
                   1,
                   "lamina:badOption",
                   "Forces(2,3) is NaN: every force must be finite"});
  cases.push_back({{},
                   "Project",
                   host::make_char("soft"),
                   1,
                   "lamina:badOption",
                   "the value of 'Project' must be 'clamp', 'abs' or 'none', but it is 'soft'"});
  cases.push_back({{{"MaxIterations", 2.5}},
                   nullptr,
                   nullptr,
                   1,
                   "lamina:badOption",
                   "the value of 'MaxIterations' must be a whole number from 0 to 2147483647, but "
                   "it is 2.5"});
  cases.push_back({{{"TimeStep", 0.1}},
                   nullptr,
                   nullptr,
                   1,
                   "lamina:badOption",
                   "'TimeStep' was given without 'Mass': the inertia term m/(2 h^2) |x - y|^2 "
                   "needs both"});
  cases.push_back({{{"Verbose", 1}},
                   nullptr,
                   nullptr,
                   3,
                   "lamina:tooManyOutputs",
                   "3 outputs were requested, but lamina_solve returns at most 2 (x, info)"});
  cases.push_back({{},
                   "Tolerance",
                   nullptr,
                   1,
                   "MATLAB:lamina_solve",
                   "6 inputs required: [x, info] = lamina_solve(x0, mu, eta, source_faces, "
                   "source_vertices, edges), optionally followed by name-value options ('Fixed', "
                   "'Forces', 'Mass', 'Target', 'TimeStep', 'Tolerance', 'MaxIterations', "
                   "'Project', 'Verbose', 'Bending', 'Threads')"});
  for (option_case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<array> in = s.inputs();
    for (const auto& [name, value] : c.numbers) add(in, name, host::make_scalar(value));
    if (c.name != nullptr) {
      in.push_back(host::make_char(c.name));
      if (c.value) in.push_back(std::move(c.value));
    }
    try {
      solver().call_traced(c.nlhs, test::pointers(in));
      ADD_FAILURE() << "accepted";
    } catch (const host::mex_error& e) {
      EXPECT_EQ(e.identifier(), c.identifier);
      EXPECT_EQ(e.message(), c.message);
      for (const std::string& t : e.trace()) EXPECT_EQ(t.rfind("mxCreate", 0), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace lamina
