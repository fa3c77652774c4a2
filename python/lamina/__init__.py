"""lamina: the elastic energy of a thin shell given as a triangle mesh.

A rest mesh (source_vertices, source_faces) is compared with a deformed copy
(deformed_v: the same vertices at new positions). The energy is a membrane
(stretching) term over the faces, with stiffness mu, plus a bending term over
the interior edges (hinges), with stiffness eta. Every result is bit for bit
that of lamina's C++ kernels and of its MATLAB/Octave plug-ins.

    import lamina
    edges = lamina.edge_table(faces)                  # (nE, 4) int64
    E, G = lamina.energy_and_gradient(Q, mu, eta, faces, V, edges)
    E, G, H = lamina.energy_gradient_hessian(Q, mu, eta, faces, V, edges, project="clamp")
    shell = lamina.Shell(faces, V, mu, eta)           # for many evaluations of one mesh
    E, G = shell.energy_and_gradient(Q)
    r = shell.solve(Q, fixed=held, forces=f)          # an equilibrium, by projected Newton

Vertex arrays are (nV, 3) float64, one vertex per row; faces (nF, 3) and edges
(nE, 4) are 0-based indices of any integer or float type. H is a
scipy.sparse.csc_matrix of shape (3 nV, 3 nV) in G.ravel() order: row and
column 3 i + k belong to coordinate k of vertex i.

Bad input raises InputTypeError (a TypeError) or InputValueError (a
ValueError), both InputError, with the plug-ins' message and identifier.
"""

from ._lamina import (
    InputError,
    InputTypeError,
    InputValueError,
    OneBasedWarning,
    Shell,
    __version__,
    edge_table,
    energy,
    energy_and_gradient,
    energy_gradient_hessian,
    hinge_mask,
)
from ._solve import SolveResult, shell_solve, solve

Shell.solve = shell_solve
del shell_solve

__all__ = [
    "InputError",
    "InputTypeError",
    "InputValueError",
    "OneBasedWarning",
    "Shell",
    "SolveResult",
    "edge_table",
    "energy",
    "energy_and_gradient",
    "energy_gradient_hessian",
    "hinge_mask",
    "solve",
]
