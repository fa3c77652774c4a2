"""Bad input: every class a NumPy user can pass raises InputTypeError or
InputValueError with the plug-ins' identifier and wording, 0-based."""

import itertools
import warnings
from fractions import Fraction

import numpy as np
import pytest
import scipy.sparse

import lamina

# The worked example: two faces, one hinge, four boundary rows.
V = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0.2]])
Q = np.array([[0, 0, 0.1], [1.1, 0, 0], [0, 1.2, 0], [1, 1.1, 0.5]])
F = np.array([[0, 1, 2], [1, 3, 2]])
E = np.array([[0, 1, 2, -1], [1, 2, 0, 3], [2, 0, 1, -1], [1, 3, 2, -1], [3, 2, 1, -1]])
GOOD = dict(deformed_v=Q, mu=2.0, eta=3.0, source_faces=F, source_vertices=V, edges=E)
HUGE_VERTICES = np.broadcast_to(np.zeros(3), (715827883, 3))  # no memory behind it

T, VE = lamina.InputTypeError, lamina.InputValueError
CASES = [  # argument, value, class, identifier, words of the message
    # float32 and integer vertices are converted when float64 holds their
    # values exactly (test_native.py); these it does not.
    ("deformed_v", np.full((4, 3), 2**53 + 1, np.int64), T, "lamina:badType",
     "deformed_v must be a real float64 array, or hold values float64 represents exactly, but it "
     "is of type int64 and holds values float64 cannot represent; convert it with "
     "numpy.asarray(deformed_v, dtype=float) to round them"),
    ("deformed_v", np.full((4, 3), 2**64 - 1, np.uint64), T, "lamina:badType", "it is of type uint64"),
    ("deformed_v", Q.astype(np.complex64).real > 0, T, "lamina:badType",
     "deformed_v must be a real float64 array, but it is of type bool; "
     "convert it with numpy.asarray(deformed_v, dtype=float)"),
    ("deformed_v", Q + 0j, T, "lamina:badType", "deformed_v must be real, but it is complex"),
    ("deformed_v", Q > 0, T, "lamina:badType", "it is of type bool"),
    ("deformed_v", Q.astype(object), T, "lamina:badType", "it is of type object"),
    ("deformed_v", "Q", T, "lamina:badType", "it is of type str"),
    ("deformed_v", None, T, "lamina:badType", "it is of type NoneType"),
    ("deformed_v", [[0, 0], [1]], T, "lamina:badType", "it is of type list"),
    ("source_vertices", scipy.sparse.csr_matrix(V), T, "lamina:badType",
     "source_vertices must be a dense array, but it is sparse; use source_vertices.toarray()"),
    ("deformed_v", Q.ravel()[:11], VE, "lamina:badSize",  # (a Shell takes flat (3 nV,) positions)
     "deformed_v must be a 2-D array with 3 columns (x, y, z of each vertex), but it has shape (11,)"),
    ("deformed_v", Q[None], VE, "lamina:badSize", "but it has shape (1, 4, 3)"),
    ("deformed_v", 1.0, VE, "lamina:badSize", "but it has shape ()"),
    ("deformed_v", Q[:, :2], VE, "lamina:badSize",
     "deformed_v must have 3 columns (x, y, z of each vertex), but it is 4 by 2"),
    ("deformed_v", Q[:3], VE, "lamina:badSize",
     "deformed_v must have one row per vertex of source_vertices (4), but it has 3"),
    ("deformed_v", HUGE_VERTICES, VE, "lamina:badSize", "source_vertices (4), but it has 715827883"),
    ("source_vertices", HUGE_VERTICES, VE, "lamina:tooLarge",
     "source_vertices has 715827883 rows, but at most 715827882 vertices are supported"),
    ("source_faces", np.broadcast_to(F[:1], (2**31, 3)), VE, "lamina:tooLarge",
     "source_faces has 2147483648 rows, but at most 2147483647 faces are supported"),
    ("source_faces", F.astype(str), T, "lamina:badType", "source_faces must be a real float64 array"),
    ("source_faces", F.astype(np.complex64), T, "lamina:badType", "source_faces must be real"),
    ("source_faces", F.astype(np.longdouble), T, "lamina:badType", "it is of type float128"),
    ("source_faces", np.zeros((3, 0)), VE, "lamina:badSize",
     "source_faces must have 3 columns (the three corners of each face), but it is 3 by 0"),
    ("source_faces", F + 1, VE, "lamina:badIndex",
     "source_faces[1, 1] is 4, which is not a vertex index: face indices must lie in 0 ... 3 for the "
     "4 rows of source_vertices (indices are 0-based). The largest index equals the number of "
     "vertices: these look like 1-based indices; subtract 1"),
    ("source_faces", np.where(F == 3, np.nan, F), VE, "lamina:badIndex", "source_faces[1, 1] is NaN"),
    ("source_faces", F - 1, VE, "lamina:badIndex", "source_faces[0, 0] is -1"),
    ("source_faces", F * 10**12, VE, "lamina:badIndex", "source_faces[0, 1] is 1000000000000"),
    ("edges", np.where(E == 3, 7, E), VE, "lamina:badIndex",
     "edges[1, 3] is 7, which is not a vertex index: on a row whose c and d are present, a, b, c and "
     "d must lie in 0 ... 3"),
    ("edges", E[:, :3], VE, "lamina:badSize", "edges must have 4 columns (a, b, c, d of each edge)"),
    ("mu", "2", T, "lamina:badType", "mu must be a real numeric scalar, but it is str"),
    ("mu", None, T, "lamina:badType", "mu must be a real numeric scalar, but it is NoneType"),
    ("eta", 1j, T, "lamina:badType", "eta must be a real numeric scalar, but it is complex"),
    ("eta", np.ones(1, np.complex64), T, "lamina:badType", "but it is complex64"),
    ("mu", Fraction(1, 2), T, "lamina:badType", "but it is Fraction"),
    ("mu", 10**400, T, "lamina:badType", "but it is an int beyond the range of float64"),
    ("mu", np.array([1.0, 2.0]), VE, "lamina:badSize", "mu must be a scalar, but it has shape (2,)"),
    ("eta", [], VE, "lamina:badSize", "eta must be a scalar, but it is empty"),
]


def call(function, **changes):
    args = dict(GOOD, **changes)
    if function is lamina.hinge_mask:
        return function(args["deformed_v"], args["edges"])
    if function is lamina.Shell:
        shell = lamina.Shell(args["source_faces"], args["source_vertices"], args["mu"], args["eta"], args["edges"])
        return shell.energy_and_gradient(args["deformed_v"])
    return function(*args.values())


ENERGIES = [lamina.energy, lamina.energy_and_gradient, lamina.energy_gradient_hessian, lamina.Shell]


@pytest.mark.parametrize("argument, value, kind, identifier, words", CASES,
                         ids=[f"{c[0]}:{c[3]}:{i}" for i, c in enumerate(CASES)])
def test_each_kind_of_bad_input_raises_the_plugins_error(argument, value, kind, identifier, words):
    assert issubclass(kind, TypeError if identifier == "lamina:badType" else ValueError)
    for function in ENERGIES:
        with pytest.raises(kind) as info:
            call(function, **{argument: value})
        e = info.value
        assert isinstance(e, lamina.InputError), function
        assert (e.identifier, e.argument) == (identifier, argument), function
        assert words in str(e), f"{function.__name__}: {e}"


# The mask reads deformed_v and edges only, and counts the vertices by the
# rows of deformed_v.
MASK_CASES = [
    (Q > 0, E, T, "lamina:badType", "deformed_v must be a real float64 array"),
    (Q.ravel(), E, VE, "lamina:badSize", "deformed_v must be a 2-D array with 3 columns"),
    (HUGE_VERTICES, E, VE, "lamina:tooLarge",
     "deformed_v has 715827883 rows, but at most 715827882 vertices are supported"),
    (Q, np.where(E == 3, 7, E), VE, "lamina:badIndex",
     "edges[1, 3] is 7, which is not a vertex index: on a row whose c and d are present, a, b, c and "
     "d must lie in 0 ... 3 for the 4 rows of deformed_v (indices are 0-based)"),
    (Q[:3], E, VE, "lamina:badIndex", "edges[1, 3] is 3, which is not a vertex index: on a row whose "
     "c and d are present, a, b, c and d must lie in 0 ... 2 for the 3 rows of deformed_v"),
    (Q, E.astype(str), T, "lamina:badType", "edges must be a real float64 array"),
    (Q, E[:, :3], VE, "lamina:badSize", "edges must have 4 columns (a, b, c, d of each edge), but it is 5 by 3"),
]


@pytest.mark.parametrize("deformed_v, edges, kind, identifier, words", MASK_CASES)
def test_the_mask_raises_the_plugins_error(deformed_v, edges, kind, identifier, words):
    with pytest.raises(kind) as info:
        lamina.hinge_mask(deformed_v, edges)
    assert info.value.identifier == identifier and words in str(info.value), str(info.value)


def test_bad_index_carries_its_position_and_value():
    with pytest.raises(lamina.InputValueError) as info:
        lamina.energy(Q, 2, 3, F, V, np.where(E == 3, 7.5, E))
    assert (info.value.argument, info.value.position, info.value.value) == ("edges", (1, 3), 7.5)


def test_what_the_plugins_accept_is_accepted():
    E0 = lamina.energy(**GOOD)
    # Lists of Python numbers, size-one coefficients of any real type, bools,
    # empty tables of any column count, boundary rows with odd c and d.
    for changes in (dict(deformed_v=Q.tolist(), source_vertices=V.tolist()),
                    dict(mu=np.array([2.0]), eta=np.float32(3)), dict(mu=[[2]], eta=np.int8(3))):
        assert lamina.energy(**dict(GOOD, **changes)) == E0
    assert lamina.energy(Q, True, np.bool_(False), F, V, E) > 0
    assert lamina.energy(np.zeros((0, 3)), 1, 1, [], np.zeros((0, 3)), np.zeros((0, 7))) == 0
    odd = E.astype(float)
    odd[0, 2:] = [np.nan, -0.5]  # a boundary row: a and b are not read
    odd[0, :2] = [1e300, -1e300]
    assert lamina.energy(Q, 2, 3, F, V, odd) == E0
    # The mask reads only deformed_v and edges.
    np.testing.assert_array_equal(lamina.hinge_mask(Q, E), [False, True, False, False, False])


def test_project_must_be_none_clamp_or_abs():
    shell = lamina.Shell(F, V, 2, 3)
    for hessian in (lambda p: lamina.energy_gradient_hessian(*GOOD.values(), project=p),
                    lambda p: shell.energy_gradient_hessian(Q, project=p)):
        with pytest.raises(lamina.InputValueError, match="project must be 'none', 'clamp' or 'abs', but it is 'psd'") as e:
            hessian("psd")
        assert (e.value.identifier, e.value.argument) == ("lamina:badOption", "project")
        with pytest.raises(lamina.InputTypeError, match="but it is of type int") as e:
            hessian(1)
        assert e.value.identifier == "lamina:badOption"


@pytest.mark.parametrize("faces, identifier, words", [
    ([[0, 1, 2], [0, 1, 3]], "lamina:orientation", "faces 0, 1 both run along edge (0, 1) from 0 to 1"),
    ([[0, 1, 2], [1, 0, 3], [0, 1, 4]], "lamina:nonManifold", "edge (0, 1) belongs to 3 faces (0, 1, 2)"),
    ([[0, 1, 1]], "lamina:degenerate", "face 0 repeats a vertex"),
    ([[0, 1, -2]], "lamina:badIndex", "face 0 has index -2 at corner 2"),
    ([[0, 1, np.nan]], "lamina:badIndex", "at corner 2, which is not a vertex index (0-based, below 2^31)"),
    ([[0, 1, 2**31]], "lamina:badIndex", "face 0 has index 2147483648 at corner 2"),
])
def test_edge_table_names_the_faces_that_cannot_make_a_mesh(faces, identifier, words):
    builders = [lamina.edge_table]
    if identifier != "lamina:badIndex":  # the shell's index check comes first
        builders.append(lambda f: lamina.Shell(f, np.zeros((5, 3)), 1, 1))
    for build in builders:
        with pytest.raises(lamina.InputValueError) as info:
            build(faces)
        e = info.value
        assert (e.identifier, e.argument) == (identifier, "source_faces") and words in str(e), str(e)


def test_faces_that_look_one_based_warn():
    one_based = [[1, 2, 3]]
    for call_ in (lambda: lamina.energy(Q, 2, 3, one_based, V, E[:0]),
                  lambda: lamina.Shell(one_based, V, 2, 3)):
        with pytest.warns(lamina.OneBasedWarning, match="source_faces has no index 0: these look like 1-based"):
            call_()
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        lamina.energy(**GOOD)  # no warning where an index is 0
        with pytest.raises(lamina.OneBasedWarning):  # an error where warnings are errors
            lamina.energy(Q, 2, 3, one_based, V, E[:0])


WEIRD = [None, "x", b"x", 1j, object(), [], [[]], [[1, 2, 3]], (1, 2), {"a": 1}, np.nan, -1, 2**70,
         np.zeros((2, 3, 4)), np.zeros((0,)), np.zeros((4, 3), np.float16), np.array(["a"]),
         np.zeros(3, dtype=[("a", "f8")]), np.datetime64("2020-01-01"), np.ma.masked_array(Q),
         np.matrix(Q), scipy.sparse.eye(3), np.full((4, 3), np.inf), np.full((2, 4), -7.0)]


def test_no_value_in_any_argument_gets_past_the_checks():
    """Every weird value in every argument of every function returns or
    raises an InputError; none crashes the interpreter or raises another kind."""
    functions = ENERGIES + [lamina.hinge_mask]
    for function, argument, value in itertools.product(functions, GOOD, WEIRD):
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                call(function, **{argument: value})
        except lamina.InputError:
            pass
    for value in WEIRD:
        try:
            lamina.edge_table(value)
        except lamina.InputError:
            pass
