"""The solver's Python part: the SolveResult of lamina.Shell.solve and
lamina.solve, and the checks and conversions of their arguments.

The arguments are checked and converted here (types and shapes, with the
messages of lamina's InputTypeError and InputValueError); the values (finite
forces, masses at least 0, ...) are checked by the C++ solver, the solve runs
in C++ without the GIL (lamina._lamina._shell_solve), and the GIL is taken
back for the callback and the verbose lines.
"""

import math
import numbers

import numpy as np

from . import _lamina

_PROJECTIONS = ("clamp", "abs", "none")


class SolveResult(dict):
    """The outcome of a solve, in the manner of scipy.optimize.OptimizeResult:
    a dict whose keys are also attributes.

    x          (nV, 3) float64   the positions where the solve stopped
    energy     float             W(x)
    grad_norm  float             max |grad W| over the free coordinates at x
    nit        int               Newton iterations taken
    success    bool              True when the tolerance was met
    message    str               why the solve stopped
    history    dict of arrays    one entry per iteration from the start
                                 (index 0): iteration, energy, grad_norm,
                                 step (the line search's step length), shift
                                 (added to the Hessian's diagonal),
                                 projection ('none' for the exact Hessian,
                                 'clamp' or 'abs'; '' at the start) and
                                 seconds (since the solve began)

    The callback of a solve receives one with x, energy, grad_norm and nit.
    """

    def __init__(self, *args, **kwargs):
        """A SolveResult from a mapping or keywords, as dict takes them (a
        plain dict subclass has no signature for inspect)."""
        dict.__init__(self, *args, **kwargs)

    def __getattr__(self, name):
        try:
            return self[name]
        except KeyError as e:
            raise AttributeError(name) from e

    __setattr__ = dict.__setitem__
    __delattr__ = dict.__delitem__

    def __dir__(self):
        return list(self.keys())

    def __repr__(self):
        if not self:
            return self.__class__.__name__ + "()"
        width = max(map(len, self.keys())) + 1
        lines = []
        for key, value in self.items():
            if key == "history":
                value = "{" + ", ".join(value) + "}: %d rows" % len(value.get("energy", ()))
            text = repr(value).replace("\n", "\n" + " " * (width + 2))
            lines.append(key.rjust(width) + ": " + text)
        return "\n".join(lines)


def _error(type_error, identifier, argument, message):
    cls = _lamina.InputTypeError if type_error else _lamina.InputValueError
    e = cls(message)
    e.identifier = identifier
    e.argument = argument
    return e


def _real_array(name, value, shape, identifiers=("lamina:badOption", "lamina:badOption")):
    """value as a C-ordered float64 array of the given shape (an (n,) shape
    also takes an (n, 1) array), or the error that says what it is."""
    a = np.asarray(value)
    if a.dtype.kind not in "fiu":
        raise _error(True, identifiers[0], name,
                     "%s must be an array of real numbers of shape %s, but it is of type %s"
                     % (name, shape, a.dtype if isinstance(value, np.ndarray) else type(value).__name__))
    if a.shape != shape and not (len(shape) == 1 and a.shape == shape + (1,)):
        raise _error(False, identifiers[1], name, "%s must have shape %s (a row per vertex), but it has shape %s"
                     % (name, shape, a.shape))
    return np.ascontiguousarray(a, dtype=np.float64).reshape(shape)


def _mask(value, nV):
    a = np.asarray(value)
    shape = (nV, 3)
    if a.dtype.kind not in "biuf":
        raise _error(True, "lamina:badOption", "fixed",
                     "fixed must be an array of shape %s of bools (or of 0 and 1), but it is of type %s"
                     % (shape, a.dtype if isinstance(value, np.ndarray) else type(value).__name__))
    if a.shape != shape:
        raise _error(False, "lamina:badOption", "fixed",
                     "fixed must have shape %s (a row per vertex), but it has shape %s" % (shape, a.shape))
    if a.dtype.kind != "b":
        bad = np.flatnonzero((a != 0) & (a != 1))
        if bad.size:
            i, k = divmod(int(bad[0]), 3)
            raise _error(False, "lamina:badOption", "fixed",
                         "fixed[%d, %d] is %s, but a mask holds only 0 and 1 (False and True)" % (i, k, a[i, k]))
    return np.ascontiguousarray(a != 0, dtype=np.uint8)


def _real(name, value, integral=False):
    kinds = numbers.Integral if integral else numbers.Real
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, kinds):
        raise _error(True, "lamina:badOption", name, "%s must be %s, but it is of type %s"
                     % (name, "an int" if integral else "a real number", type(value).__name__))
    return int(value) if integral else float(value)


def shell_solve(shell, x0, fixed, forces, mass, target, time_step, tol, max_iter, project, verbose,
                callback):
    """lamina.Shell.solve on the extension's shell (see there): the arguments
    checked and converted, then the solve in C++."""
    nV = shell.vertex_count
    x = _real_array("x0", x0, (nV, 3), ("lamina:badType", "lamina:badSize"))
    if fixed is not None:
        fixed = _mask(fixed, nV)
    if forces is not None:
        forces = _real_array("forces", forces, (nV, 3))
    if mass is not None:
        mass = _real_array("mass", mass, (nV,))
    if target is not None:
        target = _real_array("target", target, (nV, 3))
    step = 0.0
    if time_step is not None:
        step = _real("time_step", time_step)
        if not (step > 0 and math.isfinite(step)):
            raise _error(False, "lamina:badOption", "time_step",
                         "time_step must be a finite number above 0, but it is %r" % step)
    tol = _real("tol", tol)
    max_iter = _real("max_iter", max_iter, integral=True)
    if not isinstance(project, str):
        raise _error(True, "lamina:badOption", "project",
                     "project must be 'clamp', 'abs' or 'none', but it is of type %s" % type(project).__name__)
    if project.lower() not in _PROJECTIONS:
        raise _error(False, "lamina:badOption", "project",
                     "project must be 'clamp', 'abs' or 'none', but it is %r" % project)
    if callback is not None and not callable(callback):
        raise _error(True, "lamina:badOption", "callback",
                     "callback must be callable or None, but it is of type %s" % type(callback).__name__)

    step_callback = None
    if callback is not None:
        def step_callback(nit, xk, energy, grad_norm):
            try:
                return bool(callback(SolveResult(x=xk, energy=energy, grad_norm=grad_norm, nit=nit)))
            except StopIteration:
                return True

    out = _lamina._shell_solve(shell, x, fixed, forces, mass, target, step, tol, max_iter, project.lower(),
                               bool(verbose), step_callback, lambda line: print(line, flush=True))
    return SolveResult(out)

