"""The gradient and the Hessian against central differences, in G.ravel()
order, and the Hessian's structure: symmetry, translations, projections."""

import numpy as np
import pytest

import lamina
from support import random_problem

PROBLEM = random_problem(4, 5, 7)  # 20 vertices: 60 coordinates


def central_differences(f, x, h):
    """Column j: (f(x + h e_j) - f(x - h e_j)) / 2h, f's value raveled."""
    columns = []
    for j in range(x.size):
        step = np.zeros(x.size)
        step[j] = h
        columns.append((np.ravel(f(x + step.reshape(x.shape))) - np.ravel(f(x - step.reshape(x.shape)))) / (2 * h))
    return np.column_stack(columns)


def test_gradient_is_the_derivative_of_the_energy():
    p = PROBLEM
    energy = lambda Q: lamina.energy(Q, p.mu, p.eta, p.F, p.V, p.E)  # noqa: E731
    _, G = lamina.energy_and_gradient(*p.args())
    fd = central_differences(energy, p.Q, 1e-6).reshape(p.Q.shape)
    assert np.max(np.abs(fd - G)) <= 1e-6 * np.max(np.abs(G))


@pytest.mark.parametrize("evaluate", ["stateless", "shell"])
def test_hessian_is_the_derivative_of_the_gradient_in_ravel_order(evaluate):
    p = PROBLEM
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta, p.E)
    if evaluate == "shell":
        gradient = lambda Q: shell.energy_and_gradient(Q)[1]  # noqa: E731
        _, G, H = shell.energy_gradient_hessian(p.Q)
    else:
        gradient = lambda Q: lamina.energy_and_gradient(Q, p.mu, p.eta, p.F, p.V, p.E)[1]  # noqa: E731
        _, G, H = lamina.energy_gradient_hessian(*p.args())
    fd = central_differences(gradient, p.Q, 1e-5)  # column 3 i + k: d G.ravel() / d Q[i, k]
    H = H.toarray()
    assert np.max(np.abs(H - fd)) <= 1e-6 * np.max(np.abs(H))


def test_hessian_is_symmetric_and_blind_to_translations():
    p = PROBLEM
    n = 3 * len(p.V)
    for project in ("none", "clamp", "abs"):
        _, _, H = lamina.energy_gradient_hessian(*p.args(), project=project)
        assert (H != H.T).nnz == 0, project  # exactly symmetric
        for k in range(3):  # a uniform translation along axis k, in G.ravel() order
            t = np.zeros(n)
            t[k::3] = 1.0
            assert np.max(np.abs(H @ t)) <= 1e-12 * abs(H).max(), (project, k)


def test_projections_make_the_hessian_positive_semidefinite():
    p = PROBLEM
    eigenvalues = {}
    for project in ("none", "clamp", "abs"):
        _, _, H = lamina.energy_gradient_hessian(*p.args(), project=project)
        eigenvalues[project] = np.linalg.eigvalsh(H.toarray())
    scale = np.max(np.abs(eigenvalues["none"]))
    assert eigenvalues["none"].min() < -1e-3 * scale  # the deformed sheet is not convex here
    assert eigenvalues["clamp"].min() >= -1e-12 * scale
    assert eigenvalues["abs"].min() >= -1e-12 * scale
    # "abs" keeps the blocks' magnitudes: its trace exceeds the exact one's.
    assert eigenvalues["abs"].sum() > eigenvalues["none"].sum()


def test_hessian_pattern_depends_on_the_mesh_only():
    p = PROBLEM
    flat = p.V.copy()  # every hinge flat, and one wing collapsed: skipped hinges keep their entries
    flat[p.E[0, 2]] = flat[p.E[0, 0]]
    _, _, H1 = lamina.energy_gradient_hessian(*p.args())
    _, _, H2 = lamina.energy_gradient_hessian(flat, p.mu, p.eta, p.F, p.V, p.E)
    np.testing.assert_array_equal(H1.indptr, H2.indptr)
    np.testing.assert_array_equal(H1.indices, H2.indices)
