// lamina._lamina._shell_solve: lamina::solve (<lamina/solve.h>) on a copy of
// a lamina.Shell's C++ shell. lamina/_solve.py checks the arguments' types
// and shapes and converts them; this binding takes them as it leaves them
// (C-ordered float64 (nV, 3) arrays, a uint8 mask, an (nV,) mass), checks
// again what it reads, runs the solver without the GIL and takes the GIL
// back for the callback and the verbose lines. lamina::solve checks the
// values (finite forces, masses at least 0, ...) with Python's names and
// 0-based positions; its invalid_option becomes lamina.InputValueError with
// the identifier lamina:badOption.
#include "solve.h"

#include <lamina/solve.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace lamina_python {
namespace {

// lamina.InputValueError, kept for the life of the process.
PyObject* input_value_error = nullptr;

[[noreturn]] void raise_bad_option(const std::string& argument, const std::string& message) {
  py::object exc = py::reinterpret_borrow<py::object>(input_value_error)(message);
  exc.attr("identifier") = "lamina:badOption";
  exc.attr("argument") = argument;
  PyErr_SetObject(input_value_error, exc.ptr());
  throw py::error_already_set();
}

// An optional C-ordered array of `count` elements of T, as _solve.py makes
// it: null for None.
template <typename T>
const T* optional_array(const py::object& obj, const char* name, std::size_t count,
                        py::object* keep) {
  if (obj.is_none()) return nullptr;
  auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(obj);
  if (!a || static_cast<std::size_t>(a.size()) != count) {
    raise_bad_option(name, std::string(name) + " does not have the size of the shell");
  }
  *keep = a;
  return a.data();
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

py::dict history_of(const std::vector<lamina::solve_step>& h) {
  const py::ssize_t n = static_cast<py::ssize_t>(h.size());
  py::array_t<std::int64_t> iteration(n);
  py::array_t<double> energy(n), grad_norm(n), step(n), shift(n), seconds(n);
  py::list projection;
  for (py::ssize_t i = 0; i < n; ++i) {
    const lamina::solve_step& s = h[static_cast<std::size_t>(i)];
    iteration.mutable_at(i) = s.iteration;
    energy.mutable_at(i) = s.energy;
    grad_norm.mutable_at(i) = s.gradient_norm;
    step.mutable_at(i) = s.step;
    shift.mutable_at(i) = s.shift;
    seconds.mutable_at(i) = s.seconds;
    projection.append(projection_word(s));
  }
  return py::dict("iteration"_a = iteration, "energy"_a = energy, "grad_norm"_a = grad_norm,
                  "step"_a = step, "shift"_a = shift, "projection"_a = projection,
                  "seconds"_a = seconds);
}

py::dict shell_solve(const std::function<lamina::shell(py::handle)>& copy_shell, py::handle shell,
                     const py::object& x0, const py::object& fixed, const py::object& forces,
                     const py::object& mass, const py::object& target, double time_step, double tol,
                     std::int64_t max_iter, const std::string& project, bool verbose,
                     const py::object& step_callback, const py::object& printer) {
  const lamina::shell s = copy_shell(shell);
  const std::size_t nV = static_cast<std::size_t>(s.vertex_count());
  py::object keep[5];
  const double* x = optional_array<double>(x0, "x0", 3 * nV, &keep[0]);
  if (x == nullptr) raise_bad_option("x0", "x0 is None");

  lamina::solve_options o;
  o.order = lamina::vertex_order::row_major;
  o.style = lamina::message_style::python;
  o.fixed = optional_array<std::uint8_t>(fixed, "fixed", 3 * nV, &keep[1]);
  o.forces = optional_array<double>(forces, "forces", 3 * nV, &keep[2]);
  o.mass = optional_array<double>(mass, "mass", nV, &keep[3]);
  o.target = optional_array<double>(target, "target", 3 * nV, &keep[4]);
  o.time_step = time_step;
  o.tolerance = tol;
  if (max_iter < 0 || max_iter > INT32_MAX) {
    raise_bad_option("max_iter",
                     "max_iter must be a whole number from 0 to 2147483647, but it is " +
                         std::to_string(max_iter));
  }
  o.max_iterations = static_cast<std::int32_t>(max_iter);
  if (project == "clamp") {
    o.project = lamina::projection::clamp;
  } else if (project == "abs") {
    o.project = lamina::projection::abs;
  } else if (project == "none") {
    o.project = lamina::projection::none;
  } else {
    raise_bad_option("project",
                     "project must be 'clamp', 'abs' or 'none', but it is '" + project + "'");
  }
  o.verbose = verbose;

  // What Python raises in the callback or the printer ends the solve (the
  // callback's) or waits for its end (the printer's), and is raised then.
  std::unique_ptr<py::error_already_set> error;
  o.print = [&](const std::string& line) {
    py::gil_scoped_acquire gil;
    if (error) return;
    try {
      printer(line);
    } catch (py::error_already_set& e) {
      error = std::make_unique<py::error_already_set>(std::move(e));
    }
  };
  if (!step_callback.is_none()) {
    o.callback = [&](const lamina::solve_step& step, const double* positions) {
      py::gil_scoped_acquire gil;
      if (error) return false;
      try {
        py::array_t<double> xk({static_cast<py::ssize_t>(nV), py::ssize_t{3}});
        std::memcpy(xk.mutable_data(), positions, 3 * nV * sizeof(double));
        const py::object stop = step_callback(step.iteration, xk, step.energy, step.gradient_norm);
        return !stop.cast<bool>();
      } catch (py::error_already_set& e) {
        error = std::make_unique<py::error_already_set>(std::move(e));
        return false;
      }
    };
  }

  lamina::solve_result r;
  std::string bad_option, bad_option_message;
  {
    py::gil_scoped_release unlocked;
    try {
      r = lamina::solve(s, x, o);
    } catch (const lamina::invalid_option& e) {
      bad_option = e.option();
      bad_option_message = e.what();
    }
  }
  if (!bad_option.empty()) raise_bad_option(bad_option, bad_option_message);
  if (error) throw std::move(*error);

  py::array_t<double> X({static_cast<py::ssize_t>(nV), py::ssize_t{3}});
  if (!r.x.empty()) std::memcpy(X.mutable_data(), r.x.data(), r.x.size() * sizeof(double));
  return py::dict("x"_a = X, "energy"_a = r.energy, "grad_norm"_a = r.gradient_norm,
                  "nit"_a = r.iterations, "success"_a = r.converged, "message"_a = r.message,
                  "history"_a = history_of(r.history));
}

}  // namespace

void register_solve(py::module_& m, std::function<lamina::shell(py::handle)> copy_shell) {
  input_value_error = m.attr("InputValueError").ptr();
  Py_INCREF(input_value_error);
  m.def(
      "_shell_solve",
      [copy_shell](py::handle shell, const py::object& x0, const py::object& fixed,
                   const py::object& forces, const py::object& mass, const py::object& target,
                   double time_step, double tol, std::int64_t max_iter, const std::string& project,
                   bool verbose, const py::object& step_callback, const py::object& printer) {
        return shell_solve(copy_shell, shell, x0, fixed, forces, mass, target, time_step, tol,
                           max_iter, project, verbose, step_callback, printer);
      },
      "_shell_solve(shell, x0, fixed, forces, mass, target, time_step, tol, max_iter, project, "
      "verbose, step_callback, printer) -> dict\n\nlamina::solve on a copy of shell's C++ shell; "
      "see lamina.Shell.solve.",
      "shell"_a, "x0"_a, "fixed"_a, "forces"_a, "mass"_a, "target"_a, "time_step"_a, "tol"_a,
      "max_iter"_a, "project"_a, "verbose"_a, "step_callback"_a, "printer"_a);
}

}  // namespace lamina_python
