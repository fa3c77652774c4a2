// The solver's part of lamina._lamina (python/solve.cpp), registered from the
// module's initialisation in _lamina.cpp.
#ifndef LAMINA_PYTHON_SOLVE_H
#define LAMINA_PYTHON_SOLVE_H

#include <lamina/shell.h>
#include <pybind11/pybind11.h>

#include <functional>

namespace lamina_python {

// Adds _shell_solve to the module (lamina.Shell.solve and lamina.solve, in
// lamina/_solve.py, call it). copy_shell returns a copy of the lamina::shell
// a lamina.Shell holds (called with the GIL held).
void register_solve(pybind11::module_& m,
                    std::function<lamina::shell(pybind11::handle)> copy_shell);

}  // namespace lamina_python

#endif  // LAMINA_PYTHON_SOLVE_H
