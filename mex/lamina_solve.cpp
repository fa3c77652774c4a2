// lamina_solve: [x, info] = lamina_solve(x0, mu, eta, source_faces,
// source_vertices, edges, Name, Value, ...), the equilibrium of the shell
// under the options' loads (or one implicit-Euler step) by lamina::solve,
// from x0 (nV by 3). Options ('Fixed', 'Forces', 'Mass', 'Target',
// 'TimeStep', 'Tolerance', 'MaxIterations', 'Project', 'Verbose') are read
// by the shared option reader; adding one is an entry in kOptions and a line
// in to_solve_options.
//
// Everything that can fail is checked before any output is created: the six
// inputs (as every plug-in checks them), the options' classes and sizes
// (options.h), the edge table against the faces (the shell checks that it
// belongs to them: lamina:edgeMismatch), then the options' values
// (lamina::solve throws invalid_option). The
// C++ part runs inside one try block that records a failure; the host's
// error is raised after it, once no C++ object is left on the stack.
#include <lamina/shell.h>
#include <lamina/solve.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "arguments.h"
#include "mex.h"
#include "mex_options.h"

namespace {

using lamina::options::kind;

constexpr const char kUsage[] =
    "6 inputs required: [x, info] = lamina_solve(x0, mu, eta, source_faces, source_vertices, "
    "edges), optionally followed by name-value options ('Fixed', 'Forces', 'Mass', 'Target', "
    "'TimeStep', 'Tolerance', 'MaxIterations', 'Project', 'Verbose', 'Bending', 'Threads')";

const char* const kProjections[] = {"clamp", "abs", "none", nullptr};
const lamina::projection kProjectionValues[] = {lamina::projection::clamp, lamina::projection::abs,
                                                lamina::projection::none};

enum option_index {
  kFixed,
  kForces,
  kMass,
  kTarget,
  kTimeStep,
  kTolerance,
  kMaxIterations,
  kProject,
  kVerbose,
  kBending,
  kThreads,
  kOptionCount
};
const lamina::options::option_spec kOptions[kOptionCount] = {
    {"Fixed", kind::vertex_mask, nullptr},
    {"Forces", kind::vertex_matrix, nullptr},
    {"Mass", kind::vertex_column, nullptr},
    {"Target", kind::vertex_matrix, nullptr},
    {"TimeStep", kind::positive, nullptr},
    {"Tolerance", kind::nonnegative, nullptr},
    {"MaxIterations", kind::count, nullptr},
    {"Project", kind::choice, kProjections},
    {"Verbose", kind::flag, nullptr},
    {"Bending", kind::choice, lamina::options::kBendingModels},
    {"Threads", kind::count, nullptr}};

// A failure of the C++ part, raised once it has unwound.
struct failure {
  const char* identifier = nullptr;
  char message[640] = {0};
  void set(const char* id, const char* text) {
    identifier = id;
    std::snprintf(message, sizeof message, "%s", text);
  }
};

// Verbose lines go to the command window, which drawnow flushes (in MATLAB
// and in Octave) so that each line shows as the solve goes.
void print_line(const std::string& line) {
  mexPrintf("%s\n", line.c_str());
  mexEvalString("drawnow;");
}

lamina::solve_options to_solve_options(const lamina::options::parsed_option* p,
                                       std::vector<std::uint8_t>* fixed) {
  lamina::solve_options o;
  if (p[kFixed].given) {
    if (p[kFixed].logicals != nullptr) {
      fixed->assign(p[kFixed].logicals, p[kFixed].logicals + fixed->size());
    } else if (p[kFixed].doubles != nullptr) {
      for (std::size_t i = 0; i < fixed->size(); ++i) (*fixed)[i] = p[kFixed].doubles[i] != 0.0;
    }
    o.fixed = fixed->data();
  }
  if (p[kForces].given) o.forces = p[kForces].doubles;
  if (p[kMass].given) o.mass = p[kMass].doubles;
  if (p[kTarget].given) o.target = p[kTarget].doubles;
  if (p[kTimeStep].given) o.time_step = p[kTimeStep].number;
  if (p[kTolerance].given) o.tolerance = p[kTolerance].number;
  if (p[kMaxIterations].given)
    o.max_iterations = static_cast<std::int32_t>(p[kMaxIterations].number);
  if (p[kProject].given) o.project = kProjectionValues[p[kProject].choice];
  if (p[kVerbose].given) o.verbose = p[kVerbose].number != 0.0;
  o.print = print_line;
  o.order = lamina::vertex_order::column_major;
  o.style = lamina::message_style::matlab;
  return o;
}

// The solve itself, every C++ exception turned into a failure.
bool run(const lamina::mex::shell_inputs& in, const lamina::options::parsed_option* parsed,
         lamina::solve_result* result, failure* f) {
  try {
    std::vector<std::uint8_t> fixed(3 * static_cast<std::size_t>(in.nV), 0);
    const lamina::solve_options o = to_solve_options(parsed, &fixed);
    lamina::shell_options so;
    so.style = lamina::message_style::matlab;
    // The shell's options carry the model and the threads of every
    // evaluation the solver makes.
    so.bending = lamina::options::bending_of(parsed[kBending]);
    so.threads = lamina::options::threads_of(parsed[kThreads]);
    // The edge table is always the caller's: an empty one (whose data a host
    // may hand over as a null pointer) means no hinges, as in every other
    // plug-in, and must not ask the shell to build the table from the faces.
    static const double kNoEdges[1] = {0.0};
    const double* edges = in.edges != nullptr ? in.edges : kNoEdges;
    const lamina::shell s(in.source_faces, in.nF, in.source_vertices, in.nV, in.mu, in.eta, edges,
                          in.nE, so);
    *result = lamina::solve(s, in.deformed_v, o);
    return true;
  } catch (const lamina::invalid_option& e) {
    f->set(e.identifier(), e.what());
  } catch (const lamina::invalid_input& e) {
    // An edge table that does not belong to the faces; the inputs passed
    // the other checks before. The identifier is kept as a literal, which
    // outlives the exception.
    f->set("lamina:badInput", e.what());
    for (const char* id : {"lamina:edgeMismatch", "lamina:badType", "lamina:badSize",
                           "lamina:tooLarge", "lamina:badIndex"}) {
      if (e.identifier() == id) f->identifier = id;
    }
  } catch (const std::bad_alloc&) {
    f->set("MATLAB:nomem", "Out of memory.");
  } catch (const std::exception& e) {
    f->set("lamina:solveFailed", e.what());
  }
  return false;
}

mxArray* column(const std::vector<lamina::solve_step>& h, double lamina::solve_step::*member) {
  mxArray* a = mxCreateDoubleMatrix(h.size(), 1, mxREAL);
  double* out = mxGetPr(a);
  for (std::size_t i = 0; i < h.size(); ++i) out[i] = h[i].*member;
  return a;
}

const char* projection_word(const lamina::solve_step& s) {
  if (s.iteration == 0) return "";
  switch (s.hessian) {
    case lamina::projection::none:
      return "none";
    case lamina::projection::clamp:
      return "clamp";
    case lamina::projection::abs:
      return "abs";
  }
  return "";
}

// info: iterations, converged, energy, gradient_norm, message, and history,
// a struct of columns, one row per iteration from the start (row 1).
mxArray* info_struct(const lamina::solve_result& r) {
  const char* fields[] = {"iterations",    "converged", "energy",
                          "gradient_norm", "message",   "history"};
  mxArray* info = mxCreateStructMatrix(1, 1, 6, fields);
  mxSetField(info, 0, "iterations", mxCreateDoubleScalar(r.iterations));
  mxSetField(info, 0, "converged", mxCreateLogicalScalar(r.converged));
  mxSetField(info, 0, "energy", mxCreateDoubleScalar(r.energy));
  mxSetField(info, 0, "gradient_norm", mxCreateDoubleScalar(r.gradient_norm));
  mxSetField(info, 0, "message", mxCreateString(r.message.c_str()));
  const char* columns[] = {"iteration", "energy",     "gradient_norm", "step",
                           "shift",     "projection", "seconds"};
  mxArray* history = mxCreateStructMatrix(1, 1, 7, columns);
  const std::vector<lamina::solve_step>& h = r.history;
  mxArray* iteration = mxCreateDoubleMatrix(h.size(), 1, mxREAL);
  for (std::size_t i = 0; i < h.size(); ++i) mxGetPr(iteration)[i] = h[i].iteration;
  mxSetField(history, 0, "iteration", iteration);
  mxSetField(history, 0, "energy", column(h, &lamina::solve_step::energy));
  mxSetField(history, 0, "gradient_norm", column(h, &lamina::solve_step::gradient_norm));
  mxSetField(history, 0, "step", column(h, &lamina::solve_step::step));
  mxSetField(history, 0, "shift", column(h, &lamina::solve_step::shift));
  mxArray* projection = mxCreateCellMatrix(h.size(), 1);
  for (std::size_t i = 0; i < h.size(); ++i) {
    mxSetCell(projection, i, mxCreateString(projection_word(h[i])));
  }
  mxSetField(history, 0, "projection", projection);
  mxSetField(history, 0, "seconds", column(h, &lamina::solve_step::seconds));
  mxSetField(info, 0, "history", history);
  return info;
}

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 6 || nrhs % 2 != 0) {
    mexErrMsgIdAndTxt("MATLAB:lamina_solve", kUsage);
    return;
  }
  if (!lamina::mex::check_output_count("lamina_solve", nlhs, 2, "x, info")) return;
  lamina::mex::shell_inputs in;
  if (!lamina::mex::read_shell_inputs(prhs, lamina::uses::energy, &in)) return;
  lamina::options::parsed_option parsed[kOptionCount];
  if (!lamina::mex::read_options("lamina_solve", kOptions, kOptionCount, nrhs, prhs, 6,
                                 static_cast<std::size_t>(in.nV), parsed)) {
    return;
  }
  failure f;
  {
    lamina::solve_result r;
    if (run(in, parsed, &r, &f)) {
      mxArray* x = mxCreateDoubleMatrix(static_cast<mwSize>(in.nV), 3, mxREAL);
      if (!r.x.empty()) std::memcpy(mxGetPr(x), r.x.data(), r.x.size() * sizeof(double));
      plhs[0] = x;
      if (nlhs >= 2) plhs[1] = info_struct(r);
      return;
    }
  }
  mexErrMsgIdAndTxt(f.identifier, "%s", f.message);
}
