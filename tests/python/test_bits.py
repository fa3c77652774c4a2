"""The binding's results against the bits of the C++ library (the oracle),
in every array layout a NumPy user may hold, and the Shell against both."""

from dataclasses import replace

import numpy as np
import pytest

import lamina
from support import assert_same_bits, edges_belong, problems

PROBLEMS = problems()


@pytest.fixture(scope="module")
def expected(oracle):
    return oracle(PROBLEMS)


def unaligned(a):
    """A copy of `a` whose data starts one byte past an 8-byte boundary."""
    a = np.asarray(a, dtype=np.float64)
    buffer = bytearray(a.nbytes + 1)
    out = np.frombuffer(buffer, dtype=np.float64, count=a.size, offset=1).reshape(a.shape)
    out[...] = a
    return out


def layouts(p):
    """The problem as C- and Fortran-ordered, strided, read-only, unaligned,
    big-endian arrays and as lists, with indices of several types."""
    integral = bool(np.all(np.isfinite(p.E)) and np.all(p.E == np.trunc(p.E)))
    E32 = p.E.astype(np.int32) if integral else p.E
    wide = lambda a: np.repeat(a, 2, axis=0)[::2]  # noqa: E731  (a strided view)
    frozen = [np.array(p.Q), np.array(p.V), np.asfortranarray(p.F, dtype=np.int32), np.asfortranarray(E32)]
    for a in frozen:
        a.flags.writeable = False
    yield "C order", p
    yield "Fortran order, float indices", replace(
        p, Q=np.asfortranarray(p.Q), V=np.asfortranarray(p.V),
        F=np.asfortranarray(p.F, dtype=float), E=np.asfortranarray(p.E, dtype=float))
    yield "strided views, int32 indices", replace(
        p, Q=wide(p.Q), V=wide(p.V).T.copy().T, F=wide(p.F.astype(np.int32)), E=wide(E32))
    yield "read-only, Fortran-ordered int32 indices", replace(p, Q=frozen[0], V=frozen[1], F=frozen[2], E=frozen[3])
    yield "unaligned", replace(p, Q=unaligned(p.Q), V=unaligned(p.V), F=unaligned(p.F), E=unaligned(p.E))
    yield "big-endian, uint16/float32 indices", replace(
        p, Q=p.Q.astype(">f8"), V=p.V.astype(">f8"), F=p.F.astype(np.uint16),
        E=p.E.astype(np.float32) if integral else p.E.astype(">f8"))
    yield "lists", replace(p, Q=p.Q.tolist(), V=p.V.tolist(), F=p.F.tolist(), E=p.E.tolist())


def test_energy_gradient_and_mask_have_the_kernels_bits(expected):
    for i, (p, x) in enumerate(zip(PROBLEMS, expected)):
        for name, q in layouts(p):
            what = f"problem {i}, {name}"
            E, G = lamina.energy_and_gradient(*q.args())
            assert type(E) is float and G.shape == (len(p.V), 3) and G.dtype == np.float64
            assert_same_bits(E, x.energy, what + ": energy_and_gradient's E")
            assert_same_bits(G, x.gradient, what + ": gradient")
            assert_same_bits(lamina.energy(*q.args()), x.energy_only, what + ": energy")
            mask = lamina.hinge_mask(q.Q, q.E)
            assert mask.dtype == bool
            np.testing.assert_array_equal(mask, x.mask, err_msg=what)


def shell_or_refusal(p):
    """The Shell of p, or None where its table does not belong to its faces
    and the Shell refuses it (lamina:edgeMismatch), as it must."""
    if edges_belong(p):
        return lamina.Shell(p.F, p.V, p.mu, p.eta, p.E)
    with pytest.raises(lamina.InputValueError, match="which does not belong to source_faces"):
        lamina.Shell(p.F, p.V, p.mu, p.eta, p.E)
    return None


def test_shell_has_the_stateless_bits(expected):
    refused = 0
    for i, (p, x) in enumerate(zip(PROBLEMS, expected)):
        shell = shell_or_refusal(p)
        if shell is None:
            refused += 1
            continue
        for order in ("C", "F"):
            what = f"problem {i}, {order} order"
            Q = np.asarray(p.Q, order=order)
            # Twice, so that what a call leaves in the workspace cannot matter.
            for _ in range(2):
                E, G = shell.energy_and_gradient(Q)
                assert_same_bits(E, x.energy, what)
                assert_same_bits(G, x.gradient, what)
                assert_same_bits(shell.energy(Q), x.energy_only, what)
    assert 0 < refused < len(PROBLEMS) // 4
    # Without an edge table the shell builds the one edge_table builds.
    p = PROBLEMS[2]
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta)
    np.testing.assert_array_equal(shell.edges, lamina.edge_table(p.F))
    assert_same_bits(shell.energy_and_gradient(p.Q)[1], lamina.energy_and_gradient(*p.args())[1])
    assert (shell.vertex_count, shell.face_count, shell.edge_count) == (len(p.V), len(p.F), len(p.E))
    assert shell.hinge_count == np.count_nonzero(p.E[:, 3] >= 0)


def test_edge_table_is_the_builders(expected):
    for i, (p, x) in enumerate(zip(PROBLEMS, expected)):
        assert x.edge_table is not None
        for F in (p.F, np.asfortranarray(p.F, dtype=float), p.F.astype(np.uint32), p.F.tolist()):
            E = lamina.edge_table(F)
            assert E.dtype == np.int64 and E.shape == x.edge_table.shape
            np.testing.assert_array_equal(E, x.edge_table, err_msg=f"problem {i}")


@pytest.mark.parametrize("project", ["none", "clamp", "abs"])
def test_hessian_has_the_kernels_bits(expected, project):
    for i, (p, x) in enumerate(zip(PROBLEMS, expected)):
        e, g, h = x.hessian[project]
        shell = shell_or_refusal(p)
        for name, (E, G, H) in (
            ("stateless", lamina.energy_gradient_hessian(*p.args(), project=project)),
            ("stateless, Fortran order", lamina.energy_gradient_hessian(
                np.asfortranarray(p.Q), p.mu, p.eta, p.F, np.asfortranarray(p.V), p.E, project)),
        ) + ((("shell", shell.energy_gradient_hessian(p.Q, project=project)),) if shell else ()):
            what = f"problem {i}, {name}, project={project}"
            assert H.format == "csc" and H.shape == (3 * len(p.V),) * 2
            assert_same_bits(E, e, what)
            assert_same_bits(E, x.energy, what + " (against energy_and_gradient)")
            assert_same_bits(G, g, what)
            np.testing.assert_array_equal(H.indptr, h.indptr, err_msg=what)
            np.testing.assert_array_equal(H.indices, h.indices, err_msg=what)
            assert_same_bits(H.data, h.data, what)
