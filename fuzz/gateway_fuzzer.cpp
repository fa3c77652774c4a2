// Drives one plug-in (LAMINA_FUZZ_PLUGIN) through the project's host with
// inputs of arbitrary classes, shapes and values, and checks that every call
// either raises one of the plug-ins' own errors or returns outputs of the
// documented shapes. Memory errors are left to AddressSanitizer.
//
// Input bytes, read in order (missing bytes read as 0):
//   nlhs (mod 5); nrhs (the plug-in's input count, 6 or for
//   lamina_check_edge_table 2, below 224, else mod 9); for lamina_solve,
//   when that makes 8 inputs, one more byte: 2 (byte mod 4) inputs more (up
//   to four option pairs);
//   per input after the sixth (the options) one byte first: below 160 a
//   word of the plug-in's words (kHessianWords, which lamina_work_rest_deriv
//   shares, kSolveWords) as a char row,
//   else as below;
//   per input: kind, rows, columns (see decode_shape), then per element of
//   a double array one selector byte: below 24 a value from kPalette, below
//   128 a small integer, otherwise the next 8 bytes as a raw double. Arrays
//   of other classes take their raw bytes directly.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "mex_host.h"

#ifndef LAMINA_FUZZ_PLUGIN
#error "define LAMINA_FUZZ_PLUGIN to the plug-in's name"
#endif
#ifndef LAMINA_FUZZ_PLUGIN_PATH
#error "define LAMINA_FUZZ_PLUGIN_PATH to the built MEX file"
#endif

namespace {

using lamina::host::array;

class reader {
 public:
  reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  std::uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
  double raw_double() {
    std::uint8_t b[8] = {0};
    for (std::uint8_t& x : b) x = byte();
    double d;
    std::memcpy(&d, b, sizeof d);
    return d;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

struct shape {
  mxClassID cls = mxDOUBLE_CLASS;
  bool complex = false, sparse = false;
  std::size_t rows = 0, cols = 0;
  const char* object_class = nullptr;  // for mxOBJECT_CLASS
};

// Kind bytes from 240 up: the classes a user can pass that hold no doubles,
// function handles and objects included (a function handle or an object is
// 1-by-1 whatever the shape bytes say, as @sin and containers.Map are).
struct other_class {
  mxClassID cls;
  const char* object_class;
};
const other_class kOtherClasses[] = {
    {mxFUNCTION_CLASS, nullptr}, {mxOBJECT_CLASS, "containers.Map"},
    {mxCELL_CLASS, nullptr},     {mxSTRUCT_CLASS, nullptr},
    {mxCHAR_CLASS, nullptr},     {mxINT8_CLASS, nullptr},
    {mxUINT16_CLASS, nullptr},   {mxINT64_CLASS, nullptr},
    {mxUINT64_CLASS, nullptr},   {mxOBJECT_CLASS, "lamina_test.Object"}};

// Rows far beyond the data model come with no columns, so they cost no memory.
const std::size_t kHugeRows[] = {2147483648u, 2147483647u, 715827883u,    715827882u,
                                 4294967297u, 4294967296u, 1u << 31 | 4u, 3u};

// Kind bytes below 240, modulo 12: 0-5 a real double array, then single,
// int32, logical, uint8, complex double, sparse double; from 240 up, one of
// kOtherClasses.
shape decode_shape(reader& r) {
  shape s;
  const std::uint8_t kind_byte = r.byte();
  const int kind = kind_byte % 12;
  const mxClassID classes[] = {mxSINGLE_CLASS, mxINT32_CLASS, mxLOGICAL_CLASS, mxUINT8_CLASS};
  const std::size_t others = sizeof kOtherClasses / sizeof kOtherClasses[0];
  if (kind_byte >= 240) {
    const other_class& c = kOtherClasses[(kind_byte - 240) % others];
    s.cls = c.cls;
    s.object_class = c.object_class;
  } else if (kind >= 6 && kind < 10) {
    s.cls = classes[kind - 6];
  } else if (kind == 10) {
    s.complex = true;
  } else if (kind == 11) {
    s.sparse = true;
  }
  const std::uint8_t rows = r.byte();
  s.cols = r.byte() % 6;
  if (rows >= 248) {
    s.rows = kHugeRows[rows - 248];
    s.cols = 0;
  } else {
    s.rows = rows % 40;
  }
  if (s.cls == mxFUNCTION_CLASS || s.cls == mxOBJECT_CLASS) s.rows = s.cols = 1;
  return s;
}

double decode_value(reader& r, double nV) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double palette[24] = {nan,           inf,          -inf,  -0.5,  -1.0,   0.0,
                              1.0,           2.0,          3.0,   2.9,   -0.7,   2147483648.0,
                              -2147483648.0, 2147483647.0, 3e9,   nV,    nV - 1, nV + 0.5,
                              -1e300,        1e-300,       1e-10, 1e-11, 0.5,    -0.0};
  const std::uint8_t s = r.byte();
  if (s < 24) return palette[s];
  if (s < 128) return (s - 24) % 12 - 2;
  return r.raw_double();
}

array make(const shape& s, reader& r, double nV) {
  if (s.cls == mxFUNCTION_CLASS) return lamina::host::make_function_handle();
  if (s.cls == mxOBJECT_CLASS) return lamina::host::make_object(s.object_class);
  array a = s.sparse
                ? lamina::host::make_sparse(s.rows, s.cols, s.rows * s.cols)
                : lamina::host::make_array(s.cls, s.rows, s.cols, s.complex ? mxCOMPLEX : mxREAL);
  auto* bytes = static_cast<std::uint8_t*>(lamina::host::data(a.get()));
  const std::size_t n = lamina::host::data_bytes(a.get());
  if (s.cls == mxDOUBLE_CLASS) {
    auto* d = reinterpret_cast<double*>(bytes);
    for (std::size_t i = 0; i < n / sizeof(double); ++i) d[i] = decode_value(r, nV);
  } else {
    for (std::size_t i = 0; i < n; ++i) bytes[i] = r.byte();
  }
  return a;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", LAMINA_FUZZ_PLUGIN, what.c_str());
  std::abort();
}

// A valid compressed-column matrix of the given side: column starts from 0,
// non-decreasing, within the storage; row indices sorted, unique, in range.
void expect_hessian(const mxArray* a, std::size_t side) {
  if (a == nullptr) fail("hessian not stored");
  const lamina::host::sparse_parts h = lamina::host::sparse(a);
  if (h.m != side || h.n != side) fail("hessian has the wrong size");
  if (h.jc[0] != 0) fail("hessian's first column does not start at 0");
  for (std::size_t c = 0; c < side; ++c) {
    if (h.jc[c + 1] < h.jc[c]) fail("hessian's column starts decrease");
    for (std::size_t x = h.jc[c]; x < h.jc[c + 1]; ++x) {
      if (h.ir[x] >= side) fail("hessian row index out of range");
      if (x > h.jc[c] && h.ir[x] <= h.ir[x - 1]) fail("hessian rows not sorted and unique");
    }
  }
}

void expect_matrix(const mxArray* a, std::size_t m, std::size_t n, const char* name) {
  if (a == nullptr) fail(std::string(name) + " not stored");
  if (mxGetM(a) != m || mxGetN(a) != n || !mxIsDouble(a) || mxIsComplex(a)) {
    fail(std::string(name) + " has the wrong shape");
  }
}

// Option names and values, right and wrong.
const char* const kHessianWords[] = {"Project",  "project",     "PROJECT", "none",       "clamp",
                                     "abs",      "Clamp",       "ABS",     "Projection", "",
                                     "soft",     "Project\x01", "Bending", "BENDING",    "cosine",
                                     "Dihedral", "dihedra",     "Threads", "threads",    "Thread"};
const char* const kSolveWords[] = {"Fixed",    "Forces",    "Mass",          "Target",   "TimeStep",
                                   "timestep", "Tolerance", "MaxIterations", "Project",  "Verbose",
                                   "FIXED",    "none",      "clamp",         "abs",      "Fix",
                                   "",         "Bending",   "maxiterations", "dihedral", "Threads"};

// lamina_solve's outputs: x, nV by 3, and the info struct with its fields.
void expect_info(const mxArray* a) {
  if (a == nullptr) fail("info not stored");
  static const char* const fields[] = {"iterations",    "converged", "energy",
                                       "gradient_norm", "message",   "history"};
  const std::vector<std::string> names = lamina::host::field_names(a);
  if (names.size() != 6) fail("info has the wrong fields");
  for (int f = 0; f < 6; ++f) {
    if (names[f] != fields[f]) fail("info has the wrong fields");
    if (lamina::host::field(a, fields[f]) == nullptr)
      fail(std::string("info.") + fields[f] + " unset");
  }
  const mxArray* history = lamina::host::field(a, "history");
  const std::size_t rows = mxGetM(lamina::host::field(history, "energy"));
  const double iterations = lamina::host::values(lamina::host::field(a, "iterations"))[0];
  if (rows != static_cast<std::size_t>(iterations) + 1) fail("history has the wrong length");
}

bool is_own_error(const std::string& id) {
  static const char* const reasons[] = {
      "lamina:badType",   "lamina:badSize",        "lamina:tooLarge",     "lamina:badIndex",
      "lamina:badOption", "lamina:tooManyOutputs", "lamina:edgeMismatch", "lamina:outOfMemory"};
  for (const char* r : reasons) {
    if (id == r) return true;
  }
  return id == std::string("MATLAB:") + LAMINA_FUZZ_PLUGIN;
}

const lamina::host::plugin* plugin = nullptr;
// LAMINA_FUZZ_VERBOSE=1 prints the outcome of every call (to inspect a corpus).
const bool verbose = std::getenv("LAMINA_FUZZ_VERBOSE") != nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plugin = new lamina::host::plugin(LAMINA_FUZZ_PLUGIN_PATH);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (plugin == nullptr) LLVMFuzzerInitialize(nullptr, nullptr);
  reader r(data, size);
  const std::string name = LAMINA_FUZZ_PLUGIN;
  const bool hessian = name == "lamina_work_hessian";
  const bool solve = name == "lamina_solve";
  const bool rest = name == "lamina_work_rest_deriv";
  const bool check = name == "lamina_check_edge_table";
  const int nlhs = r.byte() % 5;
  const std::uint8_t n = r.byte();
  int nrhs = n < 224 ? (check ? 2 : 6) : n % 9;
  if (solve && nrhs == 8) nrhs += 2 * (r.byte() % 4);

  std::vector<shape> shapes(nrhs);
  for (shape& s : shapes) s = decode_shape(r);
  const double nV = nrhs > 4 ? static_cast<double>(shapes[4].rows) : 0.0;
  std::vector<array> inputs;
  std::vector<const mxArray*> prhs;
  for (std::size_t k = 0; k < shapes.size(); ++k) {
    const std::uint8_t word = k >= 6 ? r.byte() : 255;
    if (word < 160) {
      const char* w = solve ? kSolveWords[word % (sizeof kSolveWords / sizeof *kSolveWords)]
                            : kHessianWords[word % (sizeof kHessianWords / sizeof *kHessianWords)];
      inputs.push_back(lamina::host::make_char(w));
    } else {
      inputs.push_back(make(shapes[k], r, nV));
    }
    prhs.push_back(inputs.back().get());
  }
  // A solve stops after a few iterations, so that one execution stays fast:
  // the last value of an option counts.
  if (solve && nrhs >= 6 && nrhs % 2 == 0) {
    inputs.push_back(lamina::host::make_char("MaxIterations"));
    prhs.push_back(inputs.back().get());
    inputs.push_back(lamina::host::make_scalar(5));
    prhs.push_back(inputs.back().get());
  }

  lamina::host::call_result out;
  try {
    out = plugin->call(nlhs, prhs);
  } catch (const lamina::host::mex_error& e) {
    if (verbose) std::fprintf(stderr, "%s: %s\n", e.identifier().c_str(), e.message().c_str());
    if (!is_own_error(e.identifier()))
      fail("unexpected error " + e.identifier() + ": " + e.message());
    if (e.identifier().rfind("lamina:", 0) == 0 && e.message().rfind(LAMINA_FUZZ_PLUGIN, 0) == 0) {
      fail("message starts with the plug-in's name");
    }
    return 0;
  }
  if (verbose) std::fprintf(stderr, "accepted\n");
  if (check) {
    // It returns nothing, and only for two inputs and no requested output.
    if (nrhs != 2 || nlhs != 0) fail("accepted " + std::to_string(nrhs) + " inputs");
    for (const auto& o : out.outputs) {
      if (o) fail("stored an output");
    }
    return 0;
  }
  if (nrhs != 6 && !((hessian || rest) && nrhs == 8) && !solve) {
    fail("accepted " + std::to_string(nrhs) + " inputs");
  }

  const std::size_t slots = nlhs > 0 ? nlhs : 1;
  if (out.outputs.size() != slots) fail("wrong number of slots");
  for (std::size_t i = hessian ? 3 : rest ? 4 : 2; i < slots; ++i) {
    if (out.outputs[i]) fail("stored output slot " + std::to_string(i));
  }
  if (hessian && slots >= 3) expect_hessian(out.outputs[2].get(), 3 * shapes[4].rows);
  if (rest && slots >= 3) expect_matrix(out.outputs[2].get(), shapes[4].rows, 3, "rest gradient");
  if (rest && slots >= 4) expect_hessian(out.outputs[3].get(), 3 * shapes[4].rows);
  if (solve) {
    expect_matrix(out.outputs[0].get(), shapes[4].rows, 3, "x");
    if (slots >= 2) expect_info(out.outputs[1].get());
    return 0;
  }
  if (name == "lamina_hinge_mask") {
    expect_matrix(out.outputs[0].get(), shapes[5].rows, 1, "valid_edges");
    for (double v : lamina::host::values(out.outputs[0].get())) {
      if (v != 0.0 && v != 1.0) fail("mask entry neither 0 nor 1");
    }
  } else {
    expect_matrix(out.outputs[0].get(), 1, 1, "energy");
  }
  if (slots >= 2) {
    if (name == "lamina_work_deriv" || hessian || rest) {
      expect_matrix(out.outputs[1].get(), shapes[4].rows, 3, "gradient");
    } else if (out.outputs[1]) {
      fail("stored output slot 1");
    }
  }
  return 0;
}
