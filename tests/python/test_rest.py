"""lamina.rest_derivatives and Shell.set_rest / Shell.rest_derivatives: the
bits of the energy functions, the rest gradient and the mixed Hessian
against central differences, the prepared path equal to the stateless one."""

import pickle

import numpy as np
import pytest

import lamina
from support import assert_same_bits, random_problem


@pytest.mark.parametrize("bending", ["cosine", "dihedral"])
def test_rest_derivatives_match_differences(bending):
    p = random_problem(5, 4, 3)
    E, G, GX, M = lamina.rest_derivatives(*p.args(), bending=bending)
    E0, G0 = lamina.energy_and_gradient(*p.args(), bending=bending)
    assert_same_bits(E, E0)
    assert_same_bits(G, G0)
    assert M.format == "csc" and M.shape == (G.size, G.size)
    h = 1e-6
    fd_gx = np.zeros(p.V.size)
    fd_m = np.zeros((G.size, p.V.size))
    for c in range(p.V.size):
        up, down = p.V.copy(), p.V.copy()
        up.flat[c] += h
        down.flat[c] -= h
        eu, gu = lamina.energy_and_gradient(p.Q, p.mu, p.eta, p.F, up, p.E, bending=bending)
        ed, gd = lamina.energy_and_gradient(p.Q, p.mu, p.eta, p.F, down, p.E, bending=bending)
        fd_gx[c] = (eu - ed) / (2 * h)
        fd_m[:, c] = (gu - gd).ravel() / (2 * h)
    np.testing.assert_allclose(GX.ravel(), fd_gx, rtol=1e-5, atol=1e-6 * np.abs(fd_gx).max())
    np.testing.assert_allclose(M.toarray(), fd_m, rtol=1e-5, atol=1e-6 * np.abs(fd_m).max())
    # mixed=False leaves M out, and nothing else changes.
    e, g, gx, m = lamina.rest_derivatives(*p.args(), bending=bending, threads=2, mixed=False)
    assert m is None
    assert_same_bits(e, E) and assert_same_bits(g, G) and assert_same_bits(gx, GX)


def test_set_rest_gives_the_stateless_bits_and_pickles():
    p = random_problem(9, 7, 8)
    other = random_problem(9, 7, 9).V
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta, p.E, bending="dihedral")
    shell.set_rest(other)
    want = lamina.rest_derivatives(p.Q, p.mu, p.eta, p.F, other, p.E, bending="dihedral")
    for s in (shell, pickle.loads(pickle.dumps(shell))):
        assert_same_bits(s.vertices, other)
        got = s.rest_derivatives(p.Q)
        for a, b in zip(got[:3], want[:3]):
            assert_same_bits(a, b)
        assert_same_bits(got[3].data, want[3].data)
        assert (got[3].indices == want[3].indices).all() and (got[3].indptr == want[3].indptr).all()
    flat = shell.rest_derivatives(p.Q.ravel(), mixed=False)
    assert flat[3] is None and flat[2].shape == (p.V.size,)
    assert_same_bits(flat[2], want[2].ravel())
    with pytest.raises(lamina.InputValueError, match="source_vertices must have shape"):
        shell.set_rest(other[:-1])
    with pytest.raises(lamina.InputTypeError):
        shell.set_rest("rest")
