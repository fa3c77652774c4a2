"""Meshes, bit comparison and the C++ oracle for the Python tests."""

import os
import struct
import subprocess
import tempfile
from dataclasses import dataclass, replace

import numpy as np

import lamina


@dataclass
class Problem:
    Q: np.ndarray  # (nV, 3) deformed positions
    V: np.ndarray  # (nV, 3) rest positions
    F: np.ndarray  # (nF, 3) faces
    E: np.ndarray  # (nE, 4) edge table
    mu: float = 1.5
    eta: float = 0.8

    def args(self):
        return self.Q, self.mu, self.eta, self.F, self.V, self.E


def sheet(nx, ny, rng, jitter=0.25):
    """An nx-by-ny grid, two triangles per cell, bent into a shallow arc and
    jittered by up to `jitter` of the spacing."""
    h = 1.0 / (max(nx, ny) - 1)
    i, j = np.meshgrid(np.arange(nx), np.arange(ny), indexing="xy")
    x = (i.ravel() + jitter * rng.uniform(-1, 1, nx * ny)) * h
    y = (j.ravel() + jitter * rng.uniform(-1, 1, nx * ny)) * h
    V = np.column_stack([x, y, 0.3 * np.sin(2.0 * x) + 0.05 * rng.uniform(-1, 1, nx * ny) * h])
    ci, cj = np.meshgrid(np.arange(nx - 1), np.arange(ny - 1), indexing="xy")
    v = (cj * nx + ci).ravel()
    F = np.concatenate([np.column_stack([v, v + 1, v + nx + 1]), np.column_stack([v, v + nx + 1, v + nx])])
    return V, F


def deformed_copy(V, rng, noise=0.05):
    """V rotated, stretched unevenly and perturbed."""
    a, b = rng.uniform(0, np.pi, 2)
    Rz = np.array([[np.cos(a), -np.sin(a), 0], [np.sin(a), np.cos(a), 0], [0, 0, 1]])
    Rx = np.array([[1, 0, 0], [0, np.cos(b), -np.sin(b)], [0, np.sin(b), np.cos(b)]])
    S = np.diag(rng.uniform(0.8, 1.3, 3))
    return V @ (Rz @ Rx @ S).T + noise * rng.uniform(-1, 1, V.shape)


def random_problem(nx, ny, seed):
    rng = np.random.default_rng(seed)
    V, F = sheet(nx, ny, rng)
    return Problem(deformed_copy(V, rng), V, F, lamina.edge_table(F))


def degenerate_problem(seed):
    """A random problem damaged in one of several ways: NaN and infinite
    coordinates, collinear and collapsed deformed faces, a zero rest area,
    boundary rows with odd c or d, hinges just above and below the 1e-10
    threshold of the wing normals, vertices in random order."""
    p = random_problem(4 + seed % 4, 3 + seed % 3, 1000 + seed)
    rng = np.random.default_rng(seed)
    Q, V, F, E = p.Q.copy(), p.V.copy(), p.F.copy(), p.E.astype(float)
    kind = seed % 8
    if kind == 0:
        Q[rng.integers(len(Q)), rng.integers(3)] = np.nan
    elif kind == 1:
        Q[rng.integers(len(Q)), rng.integers(3)] = -np.inf if seed % 2 else np.inf
    elif kind == 2:  # collinear: one corner onto another
        Q[F[0, 1]] = Q[F[0, 0]]
    elif kind == 3:  # a face on one point
        Q[F[1, 1]] = Q[F[1, 2]] = Q[F[1, 0]]
    elif kind == 4:  # zero rest area
        V[F[0, 2]] = V[F[0, 1]]
    elif kind == 5:  # odd c and d: missing wings of every spelling
        for value in (-1.0, -0.5, np.nan, 3e9, -3e9):
            E[rng.integers(len(E)), 2 + rng.integers(2)] = value
    elif kind == 6:  # wing normals of length 1.0001e-10 and 0.9999e-10
        hinges = np.flatnonzero(E[:, 3] >= 0)
        for row, length in zip(hinges[:2], (1.0001e-10, 0.9999e-10)):
            a, b, c = (int(x) for x in E[row, :3])
            e = Q[b] - Q[a]
            n = np.cross(e, [0.0, 0.0, 1.0])
            Q[c] = 0.5 * (Q[a] + Q[b]) + length / np.linalg.norm(e) * n / np.linalg.norm(n)
    else:  # the vertices renumbered in random order
        to = rng.permutation(len(V))
        Q[to], V[to] = Q.copy(), V.copy()
        F, E = to[F], np.where(E >= 0, to[np.maximum(E, 0).astype(int)], -1.0)
    return replace(p, Q=Q, V=V, F=F, E=E)


def edges_belong(p):
    """Whether every row of p's edge table belongs to its faces: the tables a
    Shell accepts (the degenerate problems' odd c and d may name a vertex
    that is not the opposite one)."""
    try:
        lamina.check_edge_table(p.F, p.E)
        return True
    except lamina.InputValueError as e:
        assert e.identifier == "lamina:edgeMismatch", str(e)
        return False


def problems():
    """Random problems of several sizes and the degenerate ones."""
    return [random_problem(n, n + 2, n) for n in (2, 3, 5, 9)] + [degenerate_problem(s) for s in range(16)]


def bits(a):
    """The bit patterns of a float64 array (any NaN as one pattern)."""
    a = np.array(a, dtype=np.float64)
    return np.where(np.isnan(a), np.nan, a).view(np.uint64)


def assert_same_bits(actual, expected, what=""):
    actual, expected = np.asarray(actual, dtype=np.float64), np.asarray(expected, dtype=np.float64)
    assert actual.shape == expected.shape, f"{what}: shape {actual.shape} != {expected.shape}"
    differ = bits(actual) != bits(expected)
    if np.any(differ):
        where = np.argwhere(differ)[0]
        raise AssertionError(
            f"{what}: {differ.sum()} entries differ, first at {tuple(where)}: "
            f"{actual[tuple(where)]!r} != {expected[tuple(where)]!r}"
        )


@dataclass
class Sparse:
    indptr: np.ndarray
    indices: np.ndarray
    data: np.ndarray


@dataclass
class OracleResult:
    energy: float
    gradient: np.ndarray  # (nV, 3)
    energy_only: float
    mask: np.ndarray  # (nE,) bool
    edge_table: object  # (nE, 4) int64, or None when the builder refused
    hessian: dict  # projection -> (E, G, Sparse)


class Oracle:
    """The C++ library evaluated by tests/python/oracle (no binding code)."""

    def __init__(self, executable):
        self.executable = executable

    def __call__(self, problems):
        with tempfile.TemporaryDirectory() as tmp:
            path_in, path_out = os.path.join(tmp, "in"), os.path.join(tmp, "out")
            with open(path_in, "wb") as f:
                f.write(struct.pack("<i", len(problems)))
                for p in problems:
                    nV, nF, nE = len(p.V), len(p.F), len(p.E)
                    f.write(struct.pack("<iiidd", nV, nF, nE, p.mu, p.eta))
                    for a in (p.Q, p.V, p.F, p.E):
                        f.write(np.asarray(a, dtype="<f8").ravel(order="F").tobytes())
            subprocess.run([self.executable, path_in, path_out], check=True)
            with open(path_out, "rb") as f:
                data = f.read()
        results, at = [], 0

        def take(dtype, n):
            nonlocal at
            a = np.frombuffer(data, dtype=dtype, count=n, offset=at)
            at += a.nbytes
            return a

        for p in problems:
            nV, nE = len(p.V), len(p.E)
            energy = take("<f8", 1)[0]
            gradient = take("<f8", 3 * nV).reshape(3, nV).T
            energy_only = take("<f8", 1)[0]
            mask = take("<f8", nE) != 0
            built = take("<i4", 1)[0]
            table = None if built < 0 else take("<f8", 4 * built).reshape(4, built).T.astype(np.int64)
            hessian = {}
            for project in ("none", "clamp", "abs"):
                e = take("<f8", 1)[0]
                g = take("<f8", 3 * nV).reshape(3, nV).T
                nnz = take("<i8", 1)[0]
                indptr, indices, values = take("<i8", 3 * nV + 1), take("<i8", nnz), take("<f8", nnz)
                hessian[project] = (e, g, Sparse(indptr, indices, values))
            results.append(OracleResult(energy, gradient, energy_only, mask, table, hessian))
        assert at == len(data)
        return results
