"""lamina.Shell.solve and lamina.solve: an equilibrium checked with the
shell's own gradient, held coordinates kept bit for bit, a flat start, an
implicit-Euler step, honest non-convergence, the callback, the GIL, and
bad arguments."""

import threading

import numpy as np
import pytest

import lamina


def cantilever(n):
    """A flat n-by-n sheet on the unit square held along its first two
    columns, under a weight of 2 shared by its vertices (mu = eta = 10)."""
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    held = np.repeat((i <= 1)[:, None], 3, axis=1)
    f = np.zeros((n * n, 3))
    f[:, 2] = -2 / (n * n)
    return lamina.Shell(F, V, 10, 10), V, F, held, f


@pytest.mark.parametrize("n", [12, 40])
def test_from_flat_the_result_is_an_equilibrium_with_held_coordinates_untouched(n):
    shell, V, F, held, f = cantilever(n)
    r = shell.solve(V, fixed=held, forces=f)
    assert r.success and r.message.startswith("converged: "), r.message
    _, G = shell.energy_and_gradient(r.x)
    assert np.abs((G - f)[~held]).max() <= 1e-8 * np.abs(f).max()  # |grad W| <= 1e-8 |f|
    assert r.x[held].tobytes() == V[held].tobytes()
    assert r.x[-1, 2] < -0.5
    h = r.history
    assert len(h["energy"]) == r.nit + 1 == len(h["projection"])
    assert np.all(np.diff(h["energy"]) <= 1e-12 * abs(r.energy))
    assert set(h["projection"][1:]) <= {"none", "clamp"} and h["projection"][0] == ""
    # The stateless form gives the same bits.
    s = lamina.solve(V, 10, 10, F, V, lamina.edge_table(F), fixed=held.astype(int), forces=f)
    assert s.x.tobytes() == r.x.tobytes() and s.energy == r.energy


def test_an_implicit_euler_step_is_the_equilibrium_of_the_inertia_term_too():
    shell, V, F, held, f = cantilever(12)
    m, h = np.full(len(V), 2 / len(V)), 0.05
    Y = V.copy()
    Y[:, 2] = -0.1 * V[:, 0]
    r = shell.solve(V, fixed=held, forces=f, mass=m, time_step=h, target=Y, tol=1e-10)
    assert r.success, r.message
    _, G = shell.energy_and_gradient(r.x)
    R, R0 = G - f + m[:, None] * (r.x - Y) / h**2, -f + m[:, None] * (V - Y) / h**2
    assert np.abs(R[~held]).max() <= 1e-9 * np.abs(R0[~held]).max()


def test_stopping_short_is_reported_and_the_callback_sees_every_iteration():
    shell, V, F, held, f = cantilever(12)
    r = shell.solve(V, fixed=held, forces=f, max_iter=2)
    assert not r.success and r.nit == 2
    assert r.message.startswith("not converged: the iteration limit (2) was reached")
    seen = []
    r = shell.solve(V, fixed=held, forces=f, callback=lambda res: seen.append((res.nit, res.energy)) or res.nit == 3)
    assert r.message == "not converged: stopped by the callback after iteration 3"
    assert seen == [(k, r.history["energy"][k]) for k in (1, 2, 3)]

    def stop(res):
        raise StopIteration

    assert shell.solve(V, fixed=held, forces=f, callback=stop).nit == 1

    def broken(res):
        raise KeyError("from the callback")

    with pytest.raises(KeyError, match="from the callback"):
        shell.solve(V, fixed=held, forces=f, callback=broken)


def test_the_gil_is_released_while_the_solver_runs(capsys):
    shell, V, F, held, f = cantilever(40)
    ticks, done = [0], threading.Event()

    def count():
        while not done.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        r = shell.solve(V, fixed=held, forces=f, verbose=True)
    finally:
        done.set()
        counter.join()
    assert r.success and ticks[0] > 1000
    out = capsys.readouterr().out.splitlines()
    assert len(out) == r.nit + 4 and out[-1] == r.message


@pytest.mark.parametrize("kwargs, cls, argument, message", [
    (dict(fixed=np.zeros((3, 3), bool)), lamina.InputValueError, "fixed",
     r"fixed must have shape \(144, 3\) \(a row per vertex\), but it has shape \(3, 3\)"),
    (dict(fixed=np.full((144, 3), 0.5)), lamina.InputValueError, "fixed",
     r"fixed\[0, 0\] is 0.5, but a mask holds only 0 and 1"),
    (dict(forces=np.full((144, 3), np.nan)), lamina.InputValueError, "forces",
     r"forces\[0, 0\] is NaN: every force must be finite"),
    (dict(forces="down"), lamina.InputTypeError, "forces", "forces must be an array of real numbers"),
    (dict(mass=-np.ones(144), time_step=0.1), lamina.InputValueError, "mass",
     r"mass\[0\] is -1: every mass must be finite and at least 0"),
    (dict(mass=np.ones(144)), lamina.InputValueError, "mass", "mass was given without time_step"),
    (dict(time_step=0), lamina.InputValueError, "time_step", "time_step must be a finite number above 0"),
    (dict(target=np.zeros((144, 3))), lamina.InputValueError, "target", "target was given without mass"),
    (dict(tol=-1.0), lamina.InputValueError, "tol", "tol must be a finite number at least 0"),
    (dict(max_iter=2.5), lamina.InputTypeError, "max_iter", "max_iter must be an int"),
    (dict(max_iter=-1), lamina.InputValueError, "max_iter", "max_iter must be a whole number from 0"),
    (dict(project="psd"), lamina.InputValueError, "project", "project must be 'clamp', 'abs' or 'none'"),
    (dict(callback=3), lamina.InputTypeError, "callback", "callback must be callable or None"),
])
def test_bad_arguments_are_named(kwargs, cls, argument, message):
    shell, V, F, held, f = cantilever(12)
    with pytest.raises(cls, match=message) as e:
        shell.solve(V, **kwargs)
    assert (e.value.identifier, e.value.argument) == ("lamina:badOption", argument)
    with pytest.raises(lamina.InputValueError, match=r"x0 must have shape \(144, 3\)") as e:
        shell.solve(V[:5])
    assert e.value.identifier == "lamina:badSize"
