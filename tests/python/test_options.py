"""The keyword options bending= and threads=: the dihedral model's bits equal
on every path (stateless, Shell, any thread count, after pickling), the
cosine default unchanged, and bad values refused."""

import pickle

import numpy as np
import pytest

import lamina
from support import assert_same_bits, random_problem

# 93 x 93 vertices: 16928 faces, more than two of the kernels' 8192-face
# blocks, and more than the 16384 faces and edge rows below which the
# default runs on one thread.
BIG = random_problem(93, 93, 11)


def results(p, **options):
    E, G = lamina.energy_and_gradient(*p.args(), **options)
    e, g, H = lamina.energy_gradient_hessian(*p.args(), project="clamp", **options)
    return [lamina.energy(*p.args(), **options), E, G, e, g, H.data]


def shell_results(shell, p):
    E, G = shell.energy_and_gradient(p.Q)
    e, g, H = shell.energy_gradient_hessian(p.Q, project="clamp")
    return [shell.energy(p.Q), E, G, e, g, H.data]


def test_dihedral_bits_equal_on_every_path_and_thread_count():
    p = BIG
    want = results(p, bending="dihedral", threads=1)
    cosine = results(p)
    assert want[0] != cosine[0]  # the option reaches the kernels
    for threads in (None, 0, 2, 3, np.int64(3)):
        for got, w in zip(results(p, bending="Dihedral", threads=threads), want):
            assert_same_bits(got, w, f"stateless, threads={threads}")
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta, p.E, bending="DIHEDRAL", threads=2)
    assert (shell.bending, shell.threads) == ("dihedral", 2)
    others = [shell, pickle.loads(pickle.dumps(shell)), shell.copy()]
    assert others[1].bending == "dihedral" and others[1].threads == 2
    for s in others:
        for threads in (1, 2, 3, None):
            s.set_threads(threads)
            for got, w in zip(shell_results(s, p), want):
                assert_same_bits(got, w, f"Shell, threads={threads}")
    shell.threads = 3
    assert shell.threads == 3


def test_cosine_default_keeps_its_bits_on_the_threaded_path():
    p = random_problem(12, 9, 5)
    for got, want in zip(results(p, bending="cosine", threads=3), results(p)):
        assert_same_bits(got, want)


def test_solve_takes_the_model():
    n = 6
    x, y = np.meshgrid(np.linspace(0, 1, n), np.linspace(0, 1, n))
    V = np.column_stack([x.ravel(), y.ravel(), np.zeros(n * n)])
    v = (np.arange(n - 1)[None, :] + n * np.arange(n - 1)[:, None]).ravel()
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    fixed = np.zeros((n * n, 3), bool)
    fixed[V[:, 0] == 0] = True
    f = np.zeros((n * n, 3))
    f[:, 2] = -0.05
    r = {b: lamina.solve(V, 10.0, 1.0, F, V, lamina.edge_table(F), fixed=fixed, forces=f, bending=b,
                         threads=t) for b, t in (("cosine", None), ("dihedral", 2))}
    assert r["cosine"].success and r["dihedral"].success
    assert r["dihedral"].x[:, 2].min() > r["cosine"].x[:, 2].min()  # stiffer out of the plane when flat


@pytest.mark.parametrize("bad, kind", [("cubic", ValueError), ("", ValueError), (1, TypeError), (None, TypeError)])
def test_bad_bending(bad, kind):
    p = random_problem(5, 4, 1)
    calls = [lambda: lamina.energy(*p.args(), bending=bad),
             lambda: lamina.energy_gradient_hessian(*p.args(), bending=bad),
             lambda: lamina.rest_derivatives(*p.args(), bending=bad),
             lambda: lamina.Shell(p.F, p.V, 1, 1, bending=bad)]
    for call in calls:
        with pytest.raises(kind) as info:
            call()
        assert isinstance(info.value, lamina.InputError) and info.value.identifier == "lamina:badOption"
        assert "bending must be 'cosine' or 'dihedral'" in str(info.value)


@pytest.mark.parametrize("bad, kind", [(-1, ValueError), (2**40, ValueError), (True, TypeError), (2.0, TypeError),
                                       ("2", TypeError)])
def test_bad_threads(bad, kind):
    p = random_problem(5, 4, 1)
    shell = lamina.Shell(p.F, p.V, 1, 1)
    for call in (lambda: lamina.energy_and_gradient(*p.args(), threads=bad),
                 lambda: lamina.Shell(p.F, p.V, 1, 1, threads=bad),
                 lambda: shell.set_threads(bad)):
        with pytest.raises(kind, match="threads must be None"):
            call()
    assert shell.threads == 0
