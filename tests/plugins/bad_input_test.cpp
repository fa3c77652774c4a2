// Input that would make a plug-in read or write outside an array is
// rejected before any output is created, with an identifier naming the
// reason and a message naming the argument, the entry and its value.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "support/numeric.h"
#include "support/plugins.h"
#include "support/problem.h"

namespace lamina {
namespace {

using host::array;
using inputs = std::vector<array>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The worked example (4 vertices, 2 faces, 5 edge rows; row 0 is the hinge).
inputs base() { return test::host_inputs(test::worked_example()); }

// Slot numbers of the six inputs.
enum { kDeformed, kMu, kEta, kFaces, kVertices, kEdges };

void set(array& a, std::size_t row, std::size_t col, double v) {
  static_cast<double*>(host::data(a.get()))[row + col * mxGetM(a.get())] = v;
}

array reshaped(const array& a, std::size_t m, std::size_t n) {
  std::vector<double> v = host::values(a.get());
  v.resize(m * n, 0.0);
  return host::make_double(m, n, v);
}

struct bad_case {
  const char* name;
  std::function<void(inputs&)> damage;
  const char* identifier;
  std::vector<std::string> words;  // the message must contain each
  bool mask_rejects;               // false: lamina_hinge_mask does not use that input
};

// Calls `plugin` and expects the error: identifier, words, no output created.
void expect_rejected(const char* plugin, const inputs& in, const bad_case& c) {
  SCOPED_TRACE(std::string(plugin) + ": " + c.name);
  try {
    test::plugin(plugin).call_traced(2, test::pointers(in));
    ADD_FAILURE() << "accepted";
  } catch (const host::mex_error& e) {
    EXPECT_EQ(e.identifier(), c.identifier) << e.message();
    for (const std::string& w : c.words) {
      EXPECT_NE(e.message().find(w), std::string::npos) << "no \"" << w << "\" in: " << e.message();
    }
    EXPECT_NE(e.message().rfind("lamina_", 0), 0u) << "starts with the plug-in's name";
    for (const std::string& call : e.trace())
      EXPECT_EQ(call.rfind("mxCreate", 0), std::string::npos);
  }
}

void expect_accepted(const char* plugin, const inputs& in, const char* name) {
  SCOPED_TRACE(std::string(plugin) + ": " + name);
  EXPECT_NO_THROW(test::plugin(plugin).call(2, test::pointers(in)));
}

void run(const std::vector<bad_case>& cases) {
  for (const bad_case& c : cases) {
    inputs in = base();
    c.damage(in);
    for (const std::string& name : test::shell_plugin_names()) {
      const char* plugin = name.c_str();
      const bool mask = std::string(plugin) == "lamina_hinge_mask";
      if (mask && !c.mask_rejects) {
        expect_accepted(plugin, in, c.name);
      } else {
        expect_rejected(plugin, in, c);
      }
    }
  }
}

TEST(BadInput, ArraysOfTheWrongType) {
  run({
      {"int32 deformed_v",
       [](inputs& in) { in[kDeformed] = host::make_array(mxINT32_CLASS, 4, 3); },
       "lamina:badType",
       {"deformed_v", "int32", "double(deformed_v)"},
       true},
      {"int32 faces",
       [](inputs& in) { in[kFaces] = host::make_array(mxINT32_CLASS, 2, 3); },
       "lamina:badType",
       {"source_faces", "int32"},
       false},
      {"single vertices",
       [](inputs& in) { in[kVertices] = host::make_array(mxSINGLE_CLASS, 4, 3); },
       "lamina:badType",
       {"source_vertices", "single"},
       false},
      {"logical edges",
       [](inputs& in) { in[kEdges] = host::make_array(mxLOGICAL_CLASS, 5, 4); },
       "lamina:badType",
       {"edges", "logical"},
       true},
      {"cell faces",
       [](inputs& in) { in[kFaces] = host::make_array(mxCELL_CLASS, 1, 2); },
       "lamina:badType",
       {"source_faces", "cell"},
       false},
      {"complex deformed_v",
       [](inputs& in) { in[kDeformed] = host::make_array(mxDOUBLE_CLASS, 4, 3, mxCOMPLEX); },
       "lamina:badType",
       {"deformed_v", "complex"},
       true},
      {"sparse edges",
       [](inputs& in) { in[kEdges] = host::make_sparse(5, 4, 20); },
       "lamina:badType",
       {"edges", "sparse", "full(edges)"},
       true},
      {"cell mu",
       [](inputs& in) { in[kMu] = host::make_array(mxCELL_CLASS, 1, 1); },
       "lamina:badType",
       {"mu", "cell"},
       false},
      {"char eta",
       [](inputs& in) { in[kEta] = host::make_array(mxCHAR_CLASS, 1, 3); },
       "lamina:badType",
       {"eta", "char"},
       false},
      {"complex eta",
       [](inputs& in) { in[kEta] = host::make_array(mxDOUBLE_CLASS, 1, 1, mxCOMPLEX); },
       "lamina:badType",
       {"eta", "complex"},
       false},
  });
}

TEST(BadInput, ArraysOfTheWrongSize) {
  run({
      {"deformed_v with 2 columns",
       [](inputs& in) { in[kDeformed] = reshaped(in[kDeformed], 4, 2); },
       "lamina:badSize",
       {"deformed_v", "3 columns", "4 by 2"},
       true},
      {"deformed_v with a row too many",
       [](inputs& in) { in[kDeformed] = reshaped(in[kDeformed], 5, 3); },
       "lamina:badSize",
       {"deformed_v", "(4)", "has 5"},
       true},
      {"deformed_v empty",
       [](inputs& in) { in[kDeformed] = host::make_double(0, 0, {}); },
       "lamina:badSize",
       {"deformed_v", "(4)", "has 0"},
       true},
      {"vertices with 4 columns",
       [](inputs& in) { in[kVertices] = reshaped(in[kVertices], 4, 4); },
       "lamina:badSize",
       {"source_vertices", "3 columns", "4 by 4"},
       false},
      {"faces with 4 columns",
       [](inputs& in) { in[kFaces] = reshaped(in[kFaces], 2, 4); },
       "lamina:badSize",
       {"source_faces", "3 columns", "2 by 4"},
       false},
      {"edges with 3 columns",
       [](inputs& in) { in[kEdges] = reshaped(in[kEdges], 5, 3); },
       "lamina:badSize",
       {"edges", "4 columns", "5 by 3"},
       true},
      {"empty mu",
       [](inputs& in) { in[kMu] = host::make_double(0, 0, {}); },
       "lamina:badSize",
       {"mu", "empty"},
       false},
      {"empty eta",
       [](inputs& in) { in[kEta] = host::make_double(0, 3, {}); },
       "lamina:badSize",
       {"eta", "empty"},
       false},
  });
}

// Row counts beyond 32 bits; the arrays have no columns, so no memory.
TEST(BadInput, CountsBeyondTheDataModel) {
  run({
      {"2^31 vertices",
       [](inputs& in) { in[kVertices] = host::make_double(2147483648u, 0, {}); },
       "lamina:tooLarge",
       {"source_vertices", "2147483648", "715827882"},
       true},
      {"3 nV of 2^31",
       [](inputs& in) { in[kVertices] = host::make_double(715827883u, 0, {}); },
       "lamina:tooLarge",
       {"source_vertices", "715827883"},
       true},
      {"2^31 faces",
       [](inputs& in) { in[kFaces] = host::make_double(2147483648u, 0, {}); },
       "lamina:tooLarge",
       {"source_faces", "2147483648"},
       false},
      {"2^32 + 2 edge rows",
       [](inputs& in) { in[kEdges] = host::make_double(4294967298u, 0, {}); },
       "lamina:tooLarge",
       {"edges", "4294967298"},
       true},
  });
}

TEST(BadInput, IndicesOutsideTheVertexRows) {
  run({
      {"NaN face index",
       [](inputs& in) { set(in[kFaces], 1, 2, kNaN); },
       "lamina:badIndex",
       {"source_faces(2,3)", "NaN", "0 ... 3"},
       false},
      {"negative face index",
       [](inputs& in) { set(in[kFaces], 0, 0, -1); },
       "lamina:badIndex",
       {"source_faces(1,1)", "-1", "0-based"},
       false},
      {"face index beyond int32",
       [](inputs& in) { set(in[kFaces], 0, 1, 3e9); },
       "lamina:badIndex",
       {"source_faces(1,2)", "3000000000"},
       false},
      {"face index nV",
       [](inputs& in) { set(in[kFaces], 1, 1, 4); },
       "lamina:badIndex",
       {"source_faces(2,2)", "is 4", "1-based", "subtract 1"},
       false},
      {"face index 4.5",
       [](inputs& in) { set(in[kFaces], 1, 0, 4.5); },
       "lamina:badIndex",
       {"source_faces(2,1)", "4.5"},
       false},
      {"hinge with a beyond nV",
       [](inputs& in) { set(in[kEdges], 0, 0, 7); },
       "lamina:badIndex",
       {"edges(1,1)", "is 7", "c and d are present"},
       true},
      {"hinge with NaN b",
       [](inputs& in) { set(in[kEdges], 0, 1, kNaN); },
       "lamina:badIndex",
       {"edges(1,2)", "NaN"},
       true},
      {"hinge with d = nV",
       [](inputs& in) { set(in[kEdges], 0, 3, 4); },
       "lamina:badIndex",
       {"edges(1,4)", "is 4", "1-based"},
       true},
      // Found by fuzzing: -1 < x < nV is no test when nV = 0.
      {"face index -0.5 with no vertices",
       [](inputs& in) {
         in[kDeformed] = host::make_double(0, 3, {});
         in[kVertices] = host::make_double(0, 3, {});
         in[kEdges] = host::make_double(0, 4, {});
         set(in[kFaces], 0, 0, -0.5);
       },
       "lamina:badIndex",
       {"source_faces(1,1)", "-0.5", "source_vertices is empty"},
       false},
      {"hinge of -0.5 indices with no vertices",
       [](inputs& in) {
         in[kDeformed] = host::make_double(0, 3, {});
         in[kVertices] = host::make_double(0, 3, {});
         in[kFaces] = host::make_double(0, 3, {});
         in[kEdges] = host::make_double(1, 4, {-0.5, -0.5, -0.5, -0.5});
       },
       "lamina:badIndex",
       {"edges(1,1)", "-0.5", "source_vertices is empty"},
       true},
      {"boundary row turned hinge with a of -2",
       [](inputs& in) {
         set(in[kEdges], 2, 2, 3);  // row 3: c was -1
         set(in[kEdges], 2, 0, -2);
       },
       "lamina:badIndex",
       {"edges(3,1)", "-2"},
       true},
  });
}

// MATLAB's 1-based faces and edges: the message says indices are 0-based.
TEST(BadInput, OneBasedTablesAreNamedAsSuch) {
  const test::problem p = test::random_problem(5, 4, 3);
  test::problem one_based = p;
  for (double& v : one_based.m.faces) v += 1;
  inputs in = test::host_inputs(one_based);
  try {
    test::plugin("lamina_work_deriv").call(2, test::pointers(in));
    ADD_FAILURE() << "accepted";
  } catch (const host::mex_error& e) {
    EXPECT_EQ(e.identifier(), "lamina:badIndex");
    EXPECT_NE(e.message().find("1-based"), std::string::npos) << e.message();
  }
}

// What stays accepted: empty tables of any width, -0.7 (vertex 0), boundary
// rows whose other entries are garbage, and a c or d that marks a missing
// wing in any of its forms. Each gives the energy of its clean equivalent.
// (The solver prepares its mesh once and checks its edge table as
// lamina_check_edge_table does, so it is not among them.)
TEST(BadInput, SpecifiedMeaningsAreKept) {
  const auto energy = [](const char* plugin, const inputs& in) {
    return host::values(test::plugin(plugin).call(1, test::pointers(in)).outputs[0].get());
  };
  struct kept {
    const char* name;
    std::function<void(inputs&)> change;
    std::function<void(inputs&)> equivalent;
  };
  const std::vector<kept> cases = {
      {"faces 0 by 7", [](inputs& in) { in[kFaces] = host::make_double(0, 7, {}); },
       [](inputs& in) { in[kFaces] = host::make_double(0, 3, {}); }},
      {"edges 0 by 0", [](inputs& in) { in[kEdges] = host::make_double(0, 0, {}); },
       [](inputs& in) { in[kEdges] = host::make_double(0, 4, {}); }},
      {"face index -0.7", [](inputs& in) { set(in[kFaces], 0, 0, -0.7); },
       [](inputs& in) { set(in[kFaces], 0, 0, 0); }},
      {"boundary row with garbage a and b",
       [](inputs& in) {
         set(in[kEdges], 1, 0, kNaN);
         set(in[kEdges], 1, 1, 1e300);
       },
       [](inputs&) {}},
      {"c of NaN, 3e9, -3e9 and -1.5",
       [](inputs& in) {
         set(in[kEdges], 1, 2, kNaN);
         set(in[kEdges], 2, 2, 3e9);
         set(in[kEdges], 3, 2, -3e9);
         set(in[kEdges], 4, 2, -1.5);
       },
       [](inputs&) {}},
      {"hinge row with d of NaN", [](inputs& in) { set(in[kEdges], 0, 3, kNaN); },
       [](inputs& in) { set(in[kEdges], 0, 3, -1); }},
      {"d of -0.5 is vertex 0", [](inputs& in) { set(in[kEdges], 1, 3, -0.5); },
       [](inputs& in) { set(in[kEdges], 1, 3, 0); }},
      {"NaN coordinates", [](inputs& in) { set(in[kDeformed], 2, 1, kNaN); },
       [](inputs& in) { set(in[kDeformed], 2, 1, kNaN); }},
  };
  for (const kept& c : cases) {
    inputs changed = base(), clean = base();
    c.change(changed);
    c.equivalent(clean);
    for (const std::string& name : test::shell_plugin_names()) {
      if (name == "lamina_solve") continue;
      const char* plugin = name.c_str();
      SCOPED_TRACE(std::string(plugin) + ": " + c.name);
      EXPECT_SAME_BITS_VECTOR(energy(plugin, changed), energy(plugin, clean));
    }
  }
}

// The mask reads mu and eta only where that is safe, and never looks at the
// faces or the class of source_vertices.
TEST(BadInput, TheMaskAcceptsAnythingItDoesNotUse) {
  inputs in = base();
  in[kMu] = host::make_double(0, 0, {});
  in[kEta] = host::make_array(mxCELL_CLASS, 2, 2);
  in[kFaces] = host::make_array(mxSTRUCT_CLASS, 1, 1);
  in[kVertices] = host::make_array(mxINT8_CLASS, 4, 7);
  const auto out = test::plugin("lamina_hinge_mask").call(1, test::pointers(in));
  EXPECT_SAME_BITS_VECTOR(host::values(out.outputs[0].get()), (std::vector<double>{1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace lamina
