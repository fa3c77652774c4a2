"""What makes lamina feel like a NumPy/SciPy library: real signatures,
pickling, one gradient layout, case-insensitive options, exact dtype
conversions, the SciPy glue for the Hessian, and the edge-table check."""

import copy
import inspect
import pickle
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest
import scipy.optimize
import scipy.sparse.linalg

import lamina
from support import assert_same_bits, random_problem

ROOT = Path(__file__).resolve().parents[2]
P = random_problem(5, 4, 7)


def test_every_public_callable_has_a_signature_and_a_docstring():
    callables = [getattr(lamina, name) for name in lamina.__all__ if callable(getattr(lamina, name))]
    callables += [member for name, member in vars(lamina.Shell).items()
                  if callable(member) and (not name.startswith("_") or name == "__init__")]
    for f in callables:
        signature = inspect.signature(f)  # raises ValueError for a builtin without one
        assert "..." not in str(signature), f
        assert f.__doc__, f
    assert list(inspect.signature(lamina.energy).parameters) == [
        "deformed_v", "mu", "eta", "source_faces", "source_vertices", "edges", "bending", "threads"]
    assert str(inspect.signature(lamina.Shell)) == \
        "(source_faces, source_vertices, mu, eta, edges=None, *, bending='cosine', threads=None)"
    assert str(inspect.signature(lamina.Shell.hessp)) == "(self, x, p, project='none')"


@pytest.mark.parametrize("edges", [None, P.E])
def test_a_pickled_shell_gives_the_same_bits(edges):
    shell = lamina.Shell(P.F.astype(np.int32), P.V, P.mu, P.eta, edges)
    for other in (pickle.loads(pickle.dumps(shell)), copy.deepcopy(shell), shell.copy()):
        assert type(other) is lamina.Shell and repr(other) == repr(shell)
        np.testing.assert_array_equal(other.edges, shell.edges)
        E, G, H = shell.energy_gradient_hessian(P.Q, "clamp")
        E2, G2, H2 = other.energy_gradient_hessian(P.Q, "clamp")
        assert_same_bits(E2, E, "energy")
        assert_same_bits(G2, G, "gradient")
        assert_same_bits(H2.data, H.data, "Hessian")


def test_the_process_pool_example_gets_this_process_bits():
    done = subprocess.run([sys.executable, str(ROOT / "examples" / "process_pool.py"), "--workers", "2"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert done.returncode == 0, done.stdout
    assert done.stdout.count("the same bits") == 8, done.stdout


def test_gradients_are_c_ordered_everywhere():
    shell = lamina.Shell(P.F, P.V, P.mu, P.eta)
    for G in (lamina.energy_and_gradient(*P.args())[1], lamina.energy_gradient_hessian(*P.args())[1],
              shell.energy_and_gradient(P.Q)[1], shell.energy_gradient_hessian(P.Q)[1]):
        assert G.flags.c_contiguous and G.shape == P.Q.shape
        assert_same_bits(G, shell.energy_and_gradient(P.Q)[1], "gradient")
    # Flat positions, as SciPy passes them, give a flat gradient.
    E, g = shell.energy_and_gradient(P.Q.ravel())
    assert g.shape == (P.Q.size,) and E == shell.energy(P.Q.ravel())


def test_options_are_case_insensitive():
    shell = lamina.Shell(P.F, P.V, P.mu, P.eta)
    for lower, spelled in (("clamp", "Clamp"), ("abs", "ABS"), ("none", "None")):
        for hessian in (lambda p: lamina.energy_gradient_hessian(*P.args(), project=p),
                        lambda p: shell.energy_gradient_hessian(P.Q, p)):
            assert_same_bits(hessian(spelled)[2].data, hessian(lower)[2].data, spelled)


def test_edge_table_warns_about_one_based_faces():
    with pytest.warns(lamina.OneBasedWarning, match="source_faces has no index 0"):
        E = lamina.edge_table(P.F)
        np.testing.assert_array_equal(lamina.edge_table(P.F + 1), np.where(E >= 0, E + 1, -1))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        lamina.edge_table(P.F)


def test_vertex_arrays_that_convert_exactly_are_accepted_and_others_refused():
    Q, V = np.round(P.Q * 8), np.round(P.V * 8)  # integers, so that every type holds them
    expected = lamina.energy_and_gradient(Q, P.mu, P.eta, P.F, V, P.E)
    for kind in (np.float32, np.float16, np.int64, np.int32, np.uint8 if Q.min() >= 0 else np.int8,
                 np.longdouble):
        for args in ((Q.astype(kind), P.mu, P.eta, P.F, V, P.E), (Q, P.mu, P.eta, P.F, V.astype(kind), P.E)):
            E, G = lamina.energy_and_gradient(*args)
            assert_same_bits(E, expected[0], str(kind))
            assert_same_bits(G, expected[1], str(kind))
    shell = lamina.Shell(P.F, V.astype(np.int16), P.mu, P.eta)
    assert_same_bits(shell.energy(Q.astype(np.float32).tolist()), expected[0], "Shell, list")
    # Values float64 cannot hold: the same refusal from every function.
    huge = Q.astype(np.int64)
    huge[0, 0] = 2**53 + 1
    fine = np.longdouble(1) + np.finfo(np.longdouble).eps
    for bad in (huge, np.full(Q.shape, fine)):
        messages = set()
        for call in (lambda q: lamina.energy(q, 1, 1, P.F, V, P.E), lambda q: lamina.hinge_mask(q, P.E),
                     lambda q: shell.energy_and_gradient(q), lambda q: lamina.Shell(P.F, q, 1, 1)):
            with pytest.raises(lamina.InputTypeError) as info:
                call(bad)
            assert info.value.identifier == "lamina:badType"
            messages.add(str(info.value).replace("source_vertices", "deformed_v"))
        assert len(messages) == 1 and "holds values float64 cannot represent" in messages.pop()
    with pytest.raises(lamina.InputTypeError, match="it is of type bool"):
        lamina.energy(Q > 0, 1, 1, P.F, V, P.E)


@pytest.mark.parametrize("project", ["none", "clamp"])
def test_hessp_operator_and_free_block_are_the_hessians(project):
    shell = lamina.Shell(P.F, P.V, P.mu, P.eta)
    H = shell.energy_gradient_hessian(P.Q, project)[2]
    rng = np.random.default_rng(1)
    p = rng.standard_normal(P.Q.shape)
    x = P.Q.ravel()
    assert_same_bits(shell.hessp(x, p.ravel(), project), H @ p.ravel(), "hessp, flat")
    assert_same_bits(shell.hessp(P.Q, p, project), (H @ p.ravel()).reshape(p.shape), "hessp, (nV, 3)")
    op = shell.hessian_operator(x, project)
    assert op.shape == H.shape and op.dtype == np.float64
    assert_same_bits(op @ p.ravel(), H @ p.ravel(), "LinearOperator")
    fixed = np.zeros(P.Q.shape, bool)
    fixed[:3] = True
    fixed[::4, 2] = True
    free = np.flatnonzero(~fixed.ravel())
    block = shell.free_hessian(x, fixed, project)
    assert block.format == "csc" and block.shape == (free.size,) * 2
    assert_same_bits(block.toarray(), H.toarray()[np.ix_(free, free)], "free block")
    with pytest.raises(lamina.InputValueError, match=r"fixed must be a \(20, 3\) bool array"):
        shell.free_hessian(x, fixed[:5])


@pytest.mark.parametrize("method, glue", [("Newton-CG", "hessp"), ("Newton-CG", "hess"),
                                          ("trust-krylov", "hessp"), ("trust-constr", "hess")])
def test_the_minimisers_the_docstring_names_take_what_it_says(method, glue):
    """The pairings Shell's docstring recommends, on a sheet pinned along one
    side at rest and stretched elsewhere: each relaxes it to rest."""
    shell = lamina.Shell(P.F, P.V, 1.0, 0.1)
    fixed = np.zeros(P.V.shape, bool)
    fixed[P.V[:, 0] < P.V[:, 0].min() + 0.3] = True
    free = ~fixed.ravel()
    start = np.where(fixed, P.V, P.V * [1.2, 1.0, 1.0] + [0, 0, 0.05])

    def full(y):
        x = start.ravel().copy()
        x[free] = y
        return x

    def fun(y):
        E, g = shell.energy_and_gradient(full(y))
        return E, g[free]

    kwargs = {"hessp": lambda y, p: shell.hessp(full(y), _embed(free, p))[free]}  # H[free][:, free] p
    if glue == "hess":
        kwargs = {"hess": lambda y: shell.free_hessian(full(y), fixed) if method == "trust-constr"
                  else scipy.sparse.linalg.aslinearoperator(shell.free_hessian(full(y), fixed))}
    options = {"Newton-CG": {"xtol": 1e-12}, "trust-krylov": {"gtol": 1e-12},
               "trust-constr": {"gtol": 1e-12, "xtol": 1e-14}}[method]
    result = scipy.optimize.minimize(fun, start.ravel()[free], jac=True, method=method,
                                     options=dict(options, maxiter=500), **kwargs)
    assert shell.energy(full(result.x)) < 1e-12 * shell.energy(start), (method, glue, result.message)


def _embed(free, p):
    x = np.zeros(free.size)
    x[free] = p
    return x


def test_shells_refuse_an_edge_table_of_other_faces():
    # A 3-by-3 grid cut along one diagonal per cell, and the other.
    V = np.array([[i, j, 0.0] for j in range(3) for i in range(3)])
    cells = [(3 * j + i) for j in range(2) for i in range(2)]
    F = np.array([f for v in cells for f in ([v, v + 1, v + 4], [v, v + 4, v + 3])])
    F_other = np.array([f for v in cells for f in ([v, v + 1, v + 3], [v + 1, v + 4, v + 3])])
    Q = V + 0.1 * np.random.default_rng(3).standard_normal(V.shape)
    E_other = lamina.edge_table(F_other)
    # The stateless calls keep their contract: any table of vertex indices.
    assert lamina.energy(Q, 1, 1, F, V, E_other) != lamina.energy(Q, 1, 1, F, V, lamina.edge_table(F))
    lamina.check_edge_table(F, lamina.edge_table(F))
    for call in (lambda: lamina.check_edge_table(F, E_other), lambda: lamina.Shell(F, V, 1, 1, E_other)):
        with pytest.raises(lamina.InputValueError) as info:
            call()
        e = info.value
        assert (e.identifier, e.argument, e.position) == ("lamina:edgeMismatch", "edges", (0, 2))
        assert str(e).startswith("edges[0] is (0, 1, 3, -1), which does not belong to source_faces: "
                                 "no face is (0, 1, 3) or a rotation of it"), str(e)
