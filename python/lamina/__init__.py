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
    E, G = lamina.energy_and_gradient(Q, mu, eta, faces, V, edges, bending="dihedral")
    E, G, GX, M = lamina.rest_derivatives(Q, mu, eta, faces, V, edges)  # d/d rest positions
    shell = lamina.Shell(faces, V, mu, eta)           # for many evaluations of one mesh
    E, G = shell.energy_and_gradient(Q)
    r = shell.solve(Q, fixed=held, forces=f)          # an equilibrium, by projected Newton

Vertex arrays are (nV, 3), one vertex per row, of any real type float64
holds exactly (float64, float32, integers); faces (nF, 3) and edges (nE, 4)
are 0-based indices of any integer or float type. Gradients are C-ordered
(nV, 3) float64 arrays. H is a scipy.sparse.csc_matrix of shape (3 nV, 3 nV)
in G.ravel() order: row and column 3 i + k belong to coordinate k of vertex
i. Options are case-insensitive (project="Clamp", bending="Dihedral").

Every function that takes a mesh, and Shell, take the keyword options
bending="cosine" (the default, the plug-ins' model: eta w_h (cos theta_d -
cos theta_r)^2) or "dihedral" (eta w_h (theta_d - theta_r)^2, which converges
under mesh refinement and is stiff out of the plane when flat), and
threads=None (all cores; one on meshes too small to gain from more) or an
int n >= 1 (at most n threads). Every thread count gives the same bits.

For SciPy's minimisers a Shell also takes flat positions (3 nV,) and offers
the Hessian as a product (Shell.hessp), a LinearOperator
(Shell.hessian_operator) and the block of the free coordinates
(Shell.free_hessian); see Shell for which minimiser takes what. A Shell
pickles (through its rest mesh and parameters), so it travels to
multiprocessing, concurrent.futures, Dask and Ray workers.

Bad input raises InputTypeError (a TypeError) or InputValueError (a
ValueError), both InputError, with the plug-ins' message and identifier.

Installing: ``pip install -v .`` from a lamina checkout shows the progress
of the CMake build (about two minutes); without -v pip prints nothing
until it is done.
"""

import numpy as _np

from . import _lamina
from ._lamina import (
    InputError,
    InputTypeError,
    InputValueError,
    OneBasedWarning,
    __version__,
)
from . import _solve
from ._solve import SolveResult

__all__ = [
    "InputError",
    "InputTypeError",
    "InputValueError",
    "OneBasedWarning",
    "Shell",
    "SolveResult",
    "check_edge_table",
    "edge_table",
    "energy",
    "energy_and_gradient",
    "energy_gradient_hessian",
    "hinge_mask",
    "rest_derivatives",
    "solve",
]

def _exception_init(self, message):
    """An exception of lamina's checks, with the plug-ins' message. Its
    identifier, argument, position and value attributes say what failed."""
    Exception.__init__(self, message)


def _warning_init(self, message):
    """lamina's warning about faces that look 1-based."""
    Warning.__init__(self, message)


# The classes come from the extension; their constructors get signatures here.
InputError.__init__ = _exception_init
OneBasedWarning.__init__ = _warning_init

_ARRAYS = """
    deformed_v       (nV, 3)  deformed vertex positions
    mu               real scalar  membrane stiffness (an energy per area)
    eta              real scalar  bending stiffness (an energy)
    source_faces     (nF, 3)  corner indices of each face: 0-based, any integer
                              or float type (floats truncate toward zero)
    source_vertices  (nV, 3)  rest vertex positions
    edges            (nE, 4)  edge table (see edge_table); any table whose
                              indices are vertex rows is taken as it is:
                              check_edge_table tells whether it belongs to
                              the faces

    Vertex arrays may have any real type whose values float64 holds exactly
    (float64, float32, float16, integers; int64 and longdouble arrays are
    checked value by value) and any memory layout; others are refused with
    InputTypeError."""

_OPTIONS = """
    bending          "cosine" (default) or "dihedral", in any case: the bending
                     model, eta w_h (cos theta_d - cos theta_r)^2 or
                     eta w_h (theta_d - theta_r)^2 with theta the signed
                     dihedral angle (keyword only)
    threads          None (default) or 0 for all cores (one thread on meshes
                     of fewer than 16384 faces and edge rows), an int n >= 1
                     for at most n threads; every count gives the same bits
                     (keyword only)"""


def energy(deformed_v, mu, eta, source_faces, source_vertices, edges, *, bending="cosine",
           threads=None):
    """The total energy of the shell: membrane plus bending.

    Parameters
    ----------{arrays}{options}

    Returns the energy as a float, bit for bit the energy
    energy_and_gradient returns. For many evaluations of one mesh, Shell is
    faster. The GIL is released while the energy is evaluated.

    Raises InputTypeError / InputValueError for input the plug-ins reject.
    Warns OneBasedWarning when no face index is 0 (1-based faces, probably).
    """
    return _lamina.energy(deformed_v, mu, eta, source_faces, source_vertices, edges,
                          bending=bending, threads=threads)


def energy_and_gradient(deformed_v, mu, eta, source_faces, source_vertices, edges, *,
                        bending="cosine", threads=None):
    """The total energy and its gradient with respect to deformed_v.

    Parameters
    ----------{arrays}{options}

    Returns
    -------
    E : float
        The energy (the bits of energy()).
    G : (nV, 3) float64, C-ordered
        dE/d deformed_v, G[i, k] for coordinate k of vertex i, as Shell
        returns it; G.ravel() is a view in the Hessian's order 3 i + k.

    The GIL is released while the kernels run.
    """
    return _lamina.energy_and_gradient(deformed_v, mu, eta, source_faces, source_vertices, edges,
                                       bending=bending, threads=threads)


def energy_gradient_hessian(deformed_v, mu, eta, source_faces, source_vertices, edges, project="none",
                            *, bending="cosine", threads=None):
    """The energy, its gradient and its Hessian.

    Parameters
    ----------{arrays}
    project          "none"   the exact second derivative
                     "clamp"  each element block's negative eigenvalues set to 0
                     "abs"    each element block's eigenvalues replaced by their
                              absolute values
                     (in any case: "Clamp" is "clamp"; "clamp" and "abs" make the
                     matrix positive semi-definite, as projected Newton needs){options}

    Returns
    -------
    E : float
        The energy (the bits of energy()).
    G : (nV, 3) float64, C-ordered
        The gradient (the bits of energy_and_gradient()).
    H : scipy.sparse.csc_matrix, (3 nV, 3 nV)
        The Hessian in G.ravel() order: row and column 3 i + k belong to
        coordinate k of vertex i. Exactly symmetric; its pattern depends on
        the faces and edges only (entries of pairs of vertices sharing a
        face or a hinge row are stored, zeros included).

    The GIL is released while the kernels run.
    """
    return _lamina.energy_gradient_hessian(
        deformed_v, mu, eta, source_faces, source_vertices, edges, project, bending=bending,
        threads=threads)


def rest_derivatives(deformed_v, mu, eta, source_faces, source_vertices, edges, *, bending="cosine",
                     threads=None, mixed=True):
    """The derivatives of the energy in the rest positions, for inverse design.

    Parameters
    ----------{arrays}{options}
    mixed            True (default): form the mixed Hessian; False: leave it
                     out (it is not computed, and None is returned for it)

    Returns
    -------
    E : float
        The energy (the bits of energy_and_gradient()).
    G : (nV, 3) float64, C-ordered
        dE/d deformed_v (the bits of energy_and_gradient()).
    GX : (nV, 3) float64, C-ordered
        dE/d source_vertices. Moving the rest mesh rigidly changes nothing:
        GX.sum(axis=0) and the moments cross(source_vertices, GX).sum(axis=0)
        vanish (to rounding).
    M : scipy.sparse.csc_matrix, (3 nV, 3 nV), or None
        The mixed Hessian d^2 E / d deformed_v d source_vertices: M[r, c] =
        dG.ravel()[r] / d source_vertices.ravel()[c], rows and columns both in
        G.ravel() order (3 i + k for coordinate k of vertex i). It is the
        Jacobian of the internal forces with respect to the rest shape: at an
        equilibrium G(x, X) = f, dx/dX = -H^-1 M. It shares the Hessian's
        pattern (zeros included) and is not symmetric.

    Where a rest quantity meets a threshold (the membrane's tangent line below
    a squared area ratio of 1e-20) the derivatives are those of the branch
    the energy takes; a degenerate rest face or wing makes them NaN, as it
    makes the energy. For a design loop on one mesh, Shell.set_rest and
    Shell.rest_derivatives keep the pattern. The GIL is released while the
    kernels run.
    """
    return _lamina.rest_derivatives(deformed_v, mu, eta, source_faces, source_vertices, edges,
                                    bending=bending, threads=threads, mixed=mixed)


def hinge_mask(deformed_v, edges):
    """Which edge rows carry a bending term at the deformed positions.

    Parameters
    ----------
    deformed_v  (nV, 3)  deformed vertex positions
    edges       (nE, 4)  edge table

    Returns an (nE,) bool array: True for every row whose two wings are
    present and whose deformed wing normals are both at least 1e-10 long (or
    NaN), that is, every row the bending term evaluates.
    """
    return _lamina.hinge_mask(deformed_v, edges)


def edge_table(source_faces):
    """The edge table of a triangle mesh.

    Parameters
    ----------
    source_faces  (nF, 3)  0-based corner indices (integer or float), each face
                           counter-clockwise (or each clockwise): neighbours
                           traverse their shared edge in opposite directions

    Returns an (nE, 4) int64 array, one row (a, b, c, d) per undirected edge,
    in the order the edges are first met walking the faces (each face's edges
    as (i0, i1), (i1, i2), (i2, i0)), oriented as in that first face: c is the
    vertex opposite the edge in the face where it runs from a to b, d the one
    opposite in the face where it runs from b to a, or -1 on the boundary.

    Warns OneBasedWarning when no face index is 0 (MATLAB's 1-based faces
    passed as they are, probably), as the energy functions do.

    Raises InputValueError with identifier lamina:badIndex (an index that is
    negative, NaN or beyond 32 bits), lamina:degenerate (a face repeats a
    vertex), lamina:nonManifold (an edge of three or more faces) or
    lamina:orientation (inconsistently oriented neighbours); the message
    names faces and edge.
    """
    return _lamina.edge_table(source_faces)


def check_edge_table(source_faces, edges):
    """Checks that every row of an edge table belongs to the faces.

    The energy functions take any table whose indices are vertex rows, so the
    table of another mesh (or of the same grid cut along the other diagonals)
    silently gives another energy. Shell runs this check on a given table;
    run it yourself on tables you build for the stateless functions.

    A row (a, b, c, d) belongs when c is the vertex opposite the edge in a
    face that runs from a to b (a face (a, b, c) or a rotation of it), d the
    vertex opposite it in a face that runs from b to a, and no face side is
    the wing of two rows; a c or d below 0 (or NaN, or beyond 32 bits) marks a
    missing wing, and a row with both missing must still be an edge of a face.

    Returns None. Raises InputValueError with identifier lamina:edgeMismatch
    naming the first row that does not belong (its `position` is (row,
    column) of the offending entry), lamina:badIndex for a face index that
    is no vertex index, and the usual InputTypeError/InputValueError for
    arrays of the wrong type or shape.
    """
    _lamina.check_edge_table(source_faces, edges)


for _f in (energy, energy_and_gradient, energy_gradient_hessian, rest_derivatives):
    _f.__doc__ = _f.__doc__.replace("{arrays}", _ARRAYS).replace("{options}", _OPTIONS)


def _positions(x):
    """x as the extension reads positions: flat (3 nV,) arrays as (nV, 3)."""
    try:
        a = _np.asanyarray(x)
    except (TypeError, ValueError):  # a ragged list: the extension says what is wrong
        return x, False
    if a.ndim == 1 and a.size % 3 == 0 and a.size > 0:
        return a.reshape(-1, 3), True
    return x, False


class Shell:
    """A rest mesh prepared for many evaluations.

    Shell(source_faces, source_vertices, mu, eta, edges=None, *, bending="cosine", threads=None)

    The rest side of every face and hinge, the connectivity and the
    Hessian's pattern are computed once. Every result is bit for bit that of
    the stateless functions on the same input.

    Parameters
    ----------
    source_faces     (nF, 3)          corner indices (0-based)
    source_vertices  (nV, 3)          rest positions
    mu, eta          real scalars     membrane and bending stiffness
    edges            (nE, 4) or None  the edge table; None builds it from the
                                      faces (as edge_table does). A given table
                                      is checked once: a row that does not
                                      belong to the faces raises InputValueError
                                      lamina:edgeMismatch (see check_edge_table);
                                      with no faces (the bending term alone)
                                      any table is taken
    bending          "cosine" (default) or "dihedral", in any case: the
                     bending model (see lamina's help)
    threads          None (default) or 0 for all cores (one thread on small
                     meshes), an int n >= 1 for at most n; every count gives
                     the same bits. Shell.threads reads it, set_threads
                     changes it.

    The arrays are copied: later changes to them do not affect the shell.
    Positions (deformed_v, x) are (nV, 3) arrays or flat (3 nV,) ones in the
    Hessian's order (as SciPy's minimisers pass them); gradients come back in
    the same shape, C-ordered.

    With SciPy (1.10): ``minimize(shell.energy_and_gradient, x0.ravel(),
    jac=True, ...)`` and
      - method="Newton-CG": hessp=shell.hessp (SciPy 1.10's Newton-CG cannot
        take a sparse matrix from hess; a LinearOperator from
        shell.hessian_operator works too);
      - method="trust-krylov" or "trust-ncg": hessp=shell.hessp (they cannot
        take a sparse matrix or a LinearOperator from hess);
      - method="trust-constr": hess=shell.hessian (a sparse matrix),
        hess=shell.hessian_operator, or hessp=shell.hessp;
      - method="L-BFGS-B": the gradient alone; bounds=(x, x) pins a coordinate.
    Pass project="clamp" (functools.partial) for a positive semi-definite
    Hessian far from a minimum. For a Newton step on free coordinates,
    shell.free_hessian(x, fixed) gives H[free][:, free] for
    scipy.sparse.linalg.spsolve or splu.

    One object evaluates one call at a time (calls from several threads take
    turns); copy.copy(shell) gives an independent copy for another thread.
    A Shell pickles through its rest mesh (the current one, after
    set_rest), its parameters and options (the unpickled
    shell is prepared anew and gives the same bits), so it can be sent to
    process pools, Dask and Ray.
    """

    __slots__ = ("_shell", "_edges_given", "_hessian_cache")

    def __init__(self, source_faces, source_vertices, mu, eta, edges=None, *, bending="cosine",
                 threads=None):
        """Prepares the rest mesh (see the class's help)."""
        self._shell = _lamina.Shell(source_faces, source_vertices, mu, eta, edges, bending=bending,
                                    threads=threads)
        self._edges_given = edges is not None
        self._hessian_cache = None

    # Pickling and copies -------------------------------------------------

    def __reduce__(self):
        edges = self._shell.edges if self._edges_given else None
        s = self._shell
        return (_rebuild_shell, (s.faces, s.vertices, s.mu, s.eta, edges, s.bending, s.threads))

    def _wrap(self, inner):
        other = Shell.__new__(Shell)
        other._shell = inner
        other._edges_given = self._edges_given
        other._hessian_cache = None
        return other

    def copy(self):
        """An independent copy, for another thread."""
        return self._wrap(self._shell.copy())

    def __copy__(self):
        return self.copy()

    def __deepcopy__(self, memo):
        return self.copy()

    # Evaluation ----------------------------------------------------------

    def energy(self, deformed_v):
        """The energy at deformed_v ((nV, 3) or flat (3 nV,)); the bits of lamina.energy."""
        q, _ = _positions(deformed_v)
        return self._shell.energy(q)

    def energy_and_gradient(self, deformed_v):
        """The energy and its gradient (C-ordered, in deformed_v's shape).

        The bits of lamina.energy_and_gradient. With flat positions the
        gradient is flat too, as SciPy's minimisers take it (jac=True).
        """
        q, flat = _positions(deformed_v)
        E, G = self._shell.energy_and_gradient(q)
        return E, (G.reshape(-1) if flat else G)

    def energy_gradient_hessian(self, deformed_v, project="none"):
        """The energy, the gradient and the (3 nV, 3 nV) csc_matrix Hessian.

        The gradient is C-ordered, in deformed_v's shape; the Hessian in
        G.ravel() order. project: "none", "clamp" or "abs", in any case. The
        bits of lamina.energy_gradient_hessian.
        """
        q, flat = _positions(deformed_v)
        E, G, H = self._shell.energy_gradient_hessian(q, project)
        return E, (G.reshape(-1) if flat else G), H

    def hessian(self, x, project="none"):
        """The Hessian at x alone (csc_matrix, (3 nV, 3 nV)).

        The last Hessian is kept, with a copy of its x, so that the many
        products SciPy asks for at one x assemble it once.
        """
        q, _ = _positions(x)
        try:
            key = (_np.array(q, dtype=_np.float64), str(project).lower())
        except (TypeError, ValueError):  # the extension names what is wrong
            key = None
        cached = self._hessian_cache
        if key is not None and cached is not None and cached[1] == key[1] and \
                cached[0].shape == key[0].shape and \
                _np.array_equal(cached[0].view(_np.uint64), key[0].view(_np.uint64)):
            return cached[2]
        H = self._shell.energy_gradient_hessian(q, project)[2]
        self._hessian_cache = None if key is None else (key[0], key[1], H)
        return H

    def hessp(self, x, p, project="none"):
        """The Hessian at x times p: SciPy's hessp(x, p).

        x and p are (nV, 3) or flat (3 nV,); the product has p's shape. The
        Hessian is assembled once per x (see hessian).
        """
        H = self.hessian(x, project)
        p = _np.asarray(p, dtype=_np.float64)
        return (H @ p.reshape(-1)).reshape(p.shape)

    def hessian_operator(self, x, project="none"):
        """The Hessian at x as a scipy.sparse.linalg.LinearOperator.

        Shape (3 nV, 3 nV), symmetric, float64; its products are those of
        the csc_matrix. For trust-constr and Newton-CG as hess (see Shell).
        """
        from scipy.sparse.linalg import LinearOperator

        H = self.hessian(x, project)
        return LinearOperator(H.shape, matvec=H.dot, rmatvec=H.dot, matmat=H.dot, dtype=_np.float64)

    def free_hessian(self, x, fixed, project="none"):
        """H[free][:, free] for a mask of fixed coordinates, as one csc_matrix.

        fixed: (nV, 3) bool, True where a coordinate is held fixed. The free
        coordinates are ~fixed.ravel() in the Hessian's order: the step of a
        Newton iteration solves free_hessian(x, fixed) d = -G.ravel()[free].
        """
        H = self.hessian(x, project)
        fixed = _np.asarray(fixed)
        if fixed.dtype != bool or fixed.shape != (self.vertex_count, 3):
            error = InputValueError(
                f"fixed must be a ({self.vertex_count}, 3) bool array, but it is "
                f"{fixed.dtype} of shape {fixed.shape}")
            error.identifier, error.argument = "lamina:badSize", "fixed"
            raise error
        free = _np.flatnonzero(~fixed.reshape(-1))
        return H[free][:, free].tocsc()

    # The rest shape ------------------------------------------------------

    def set_rest(self, source_vertices):
        """Replaces the rest positions ((nV, 3), any real type float64 holds
        exactly; copied), in place: the faces, the edge table, the Hessian's
        pattern, mu, eta and the options stay. Every later result is bit for
        bit that of a Shell built on the new rest positions (and so is a
        pickle of this one). For design loops that move the rest shape.

        Raises InputTypeError / InputValueError (lamina:badSize) for an array
        of another type or shape.
        """
        self._shell.set_rest(source_vertices)
        self._hessian_cache = None

    def rest_derivatives(self, deformed_v, mixed=True):
        """The energy, the gradient, the gradient in the rest positions and
        the mixed Hessian at deformed_v: (E, G, GX, M), bit for bit those of
        lamina.rest_derivatives on this shell's mesh and options (see there).

        deformed_v is (nV, 3) or flat (3 nV,); G and GX come back in its
        shape. M is a (3 nV, 3 nV) csc_matrix in G.ravel() order for rows and
        columns, M[r, c] = dG.ravel()[r] / d source_vertices.ravel()[c], or
        None (not computed) with mixed=False.
        """
        q, flat = _positions(deformed_v)
        E, G, GX, M = self._shell.rest_derivatives(q, bool(mixed))
        if flat:
            G, GX = G.reshape(-1), GX.reshape(-1)
        return E, G, GX, M

    # The solver ----------------------------------------------------------

    def solve(self, x0, fixed=None, forces=None, mass=None, target=None, time_step=None, tol=1e-8,
              max_iter=200, project="clamp", verbose=False, callback=None):
        """Minimises W(x) = E(x) - sum_i f_i . x_i + sum_i m_i / (2 h^2) |x_i - y_i|^2
        over the coordinates not held fixed, from x0, by projected Newton.

        E is the shell's energy; f the constant external `forces` (gravity is
        f_i = m_i g); the last term, present when `mass` and `time_step` are
        given, makes one call one implicit-Euler step: with `target` y = x_n +
        h v_n (the predicted positions), x is x_{n+1}, and (x - x_n) / h the
        next velocity. Held coordinates keep their values in x0 bit for bit.

        Parameters
        ----------
        x0         (nV, 3)          the start
        fixed      (nV, 3) or None  True (or 1) holds a coordinate at its value in x0
        forces     (nV, 3) or None  constant external forces
        mass       (nV,) or None    lumped masses, at least 0, with time_step
        target     (nV, 3) or None  y of the inertia term (default: x0)
        time_step  float or None    h > 0, with mass
        tol        float            stop once max |grad W| over the free
                                    coordinates is at most tol times its value at x0
        max_iter   int              at most this many Newton iterations
        project    "clamp", "abs"   the Hessian's element blocks projected onto the
                   or "none"        positive semi-definite cone (as
                                    energy_gradient_hessian does), or the exact
                                    Hessian throughout (any case)
        verbose    bool             print one line per iteration as it goes
        callback   callable         callback(intermediate_result) after every
                   or None          iteration, with a SolveResult holding x,
                                    energy, grad_norm and nit; returning True
                                    (or raising StopIteration) stops the solve

        Returns a SolveResult: x ((nV, 3) float64), energy (W(x)), grad_norm,
        nit, success, message and history. success is False whenever the
        solve stopped short of the tolerance (the iteration limit, no step
        that decreases W, a W that is not finite or unbounded below, the
        callback); message says why.

        Each iteration takes the gradient and the Hessian with every element
        block projected (or, where that is positive definite on the free
        coordinates, the exact Hessian, which converges quadratically near the
        solution), adds the masses' diagonal and a shift that adapts to what
        the last step achieved, and solves with CHOLMOD's sparse Cholesky
        factorisation, whose ordering and symbolic analysis are done once per
        call. A line search accepts only steps that decrease W (near
        convergence, where W's rounding hides a real decrease, a step that
        lowers the gradient's norm instead). A sheet that starts flat goes
        through. The result is the same on every run on one machine. The GIL
        is released while the solver runs (and taken back for the callback and
        the verbose lines); the shell itself is copied, so other threads may
        use it meanwhile.

        Raises InputTypeError / InputValueError (identifier lamina:badOption,
        or lamina:badType / lamina:badSize for x0) for bad arguments.
        """
        return _solve.shell_solve(self._shell, x0, fixed, forces, mass, target, time_step, tol,
                                  max_iter, project, verbose, callback)

    # Properties ----------------------------------------------------------

    @property
    def vertex_count(self):
        """nV, the rows of source_vertices."""
        return self._shell.vertex_count

    @property
    def face_count(self):
        """nF, the rows of source_faces."""
        return self._shell.face_count

    @property
    def edge_count(self):
        """nE, the rows of the edge table."""
        return self._shell.edge_count

    @property
    def hinge_count(self):
        """The edge rows with both wings present (c and d)."""
        return self._shell.hinge_count

    @property
    def mu(self):
        """The membrane stiffness."""
        return self._shell.mu

    @property
    def eta(self):
        """The bending stiffness."""
        return self._shell.eta

    @property
    def bending(self):
        """The bending model, 'cosine' or 'dihedral'."""
        return self._shell.bending

    @property
    def threads(self):
        """The threads of each call: 0 for all cores, n >= 1 for at most n.
        Assigning to it is set_threads."""
        return self._shell.threads

    @threads.setter
    def threads(self, threads):
        self.set_threads(threads)

    def set_threads(self, threads):
        """The threads of every later call: None or 0 for all cores, an int
        n >= 1 for at most n. The results do not change, bit for bit."""
        self._shell.set_threads(threads)

    @property
    def edges(self):
        """The edge table in use (given or built), (nE, 4) int64 (a copy)."""
        return self._shell.edges

    @property
    def faces(self):
        """The faces, (nF, 3) int64 (a copy)."""
        return self._shell.faces

    @property
    def vertices(self):
        """The rest positions, (nV, 3) float64 (a copy)."""
        return self._shell.vertices

    def __repr__(self):
        return repr(self._shell)


def _rebuild_shell(source_faces, source_vertices, mu, eta, edges, bending="cosine", threads=0):
    """Unpickling: a Shell prepared anew from its rest mesh, parameters and
    options (a pickle made before the options existed has the defaults)."""
    return Shell(source_faces, source_vertices, mu, eta, edges, bending=bending, threads=threads)


def solve(x0, mu, eta, source_faces, source_vertices, edges, fixed=None, forces=None, mass=None,
          target=None, time_step=None, tol=1e-8, max_iter=200, project="clamp", verbose=False,
          callback=None, *, bending="cosine", threads=None):
    """The stateless form of Shell.solve.

    Shell(source_faces, source_vertices, mu, eta, edges, bending=bending,
    threads=threads).solve(x0, ...), with the arguments of the energy
    functions (x0 in the place of deformed_v): bending chooses the model
    ("cosine" or "dihedral"), threads the threads of the assembly (None for
    all cores; the result has the same bits for every count).
    The edge table is checked as Shell checks it (lamina:edgeMismatch for a
    row that does not belong to the faces). Returns a SolveResult; see
    Shell.solve for the options, the result and the errors.
    """
    return Shell(source_faces, source_vertices, mu, eta, edges, bending=bending, threads=threads).solve(
        x0, fixed=fixed, forces=forces, mass=mass, target=target, time_step=time_step, tol=tol,
        max_iter=max_iter, project=project, verbose=verbose, callback=callback)
