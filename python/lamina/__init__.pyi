# Type hints for lamina (the functions live in the extension lamina._lamina).
from typing import Any, Callable, Dict, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt
import scipy.sparse
import scipy.sparse.linalg

__version__: str

# (nV, 3) positions of any real type float64 holds exactly (a Shell also takes
# flat (3 nV,) ones); faces (nF, 3) and edges (nE, 4) of 0-based indices.
VertexArray = npt.ArrayLike
IndexArray = npt.ArrayLike
Coefficient = Union[float, int, bool, np.number[Any], npt.NDArray[Any]]
# Case-insensitive: "Clamp" is "clamp".
Projection = str
# "cosine" or "dihedral", case-insensitive.
Bending = str
# None or 0 for all cores, n >= 1 for at most n.
Threads = Optional[int]

class InputError(Exception):
    identifier: Optional[str]
    argument: Optional[str]
    position: Optional[Tuple[int, int]]
    value: Optional[float]

class InputTypeError(InputError, TypeError): ...
class InputValueError(InputError, ValueError): ...

class OneBasedWarning(UserWarning):
    identifier: str

def energy(
    deformed_v: VertexArray,
    mu: Coefficient,
    eta: Coefficient,
    source_faces: IndexArray,
    source_vertices: VertexArray,
    edges: IndexArray,
    *,
    bending: Bending = "cosine",
    threads: Threads = None,
) -> float: ...
def energy_and_gradient(
    deformed_v: VertexArray,
    mu: Coefficient,
    eta: Coefficient,
    source_faces: IndexArray,
    source_vertices: VertexArray,
    edges: IndexArray,
    *,
    bending: Bending = "cosine",
    threads: Threads = None,
) -> Tuple[float, npt.NDArray[np.float64]]: ...
def energy_gradient_hessian(
    deformed_v: VertexArray,
    mu: Coefficient,
    eta: Coefficient,
    source_faces: IndexArray,
    source_vertices: VertexArray,
    edges: IndexArray,
    project: Projection = "none",
    *,
    bending: Bending = "cosine",
    threads: Threads = None,
) -> Tuple[float, npt.NDArray[np.float64], scipy.sparse.csc_matrix]: ...
def rest_derivatives(
    deformed_v: VertexArray,
    mu: Coefficient,
    eta: Coefficient,
    source_faces: IndexArray,
    source_vertices: VertexArray,
    edges: IndexArray,
    *,
    bending: Bending = "cosine",
    threads: Threads = None,
    mixed: bool = True,
) -> Tuple[
    float,
    npt.NDArray[np.float64],
    npt.NDArray[np.float64],
    Optional[scipy.sparse.csc_matrix],
]: ...
def hinge_mask(deformed_v: VertexArray, edges: IndexArray) -> npt.NDArray[np.bool_]: ...
def edge_table(source_faces: IndexArray) -> npt.NDArray[np.int64]: ...
def check_edge_table(source_faces: IndexArray, edges: IndexArray) -> None: ...

SolveCallback = Callable[["SolveResult"], Optional[bool]]

class SolveResult(Dict[str, Any]):
    x: npt.NDArray[np.float64]
    energy: float
    grad_norm: float
    nit: int
    success: bool
    message: str
    history: Dict[str, Any]
    def __getattr__(self, name: str) -> Any: ...

def solve(
    x0: VertexArray,
    mu: Coefficient,
    eta: Coefficient,
    source_faces: IndexArray,
    source_vertices: VertexArray,
    edges: IndexArray,
    fixed: Optional[npt.ArrayLike] = None,
    forces: Optional[VertexArray] = None,
    mass: Optional[npt.ArrayLike] = None,
    target: Optional[VertexArray] = None,
    time_step: Optional[float] = None,
    tol: float = 1e-8,
    max_iter: int = 200,
    project: Projection = "clamp",
    verbose: bool = False,
    callback: Optional[SolveCallback] = None,
    *,
    bending: Bending = "cosine",
    threads: Threads = None,
) -> SolveResult: ...

class Shell:
    def __init__(
        self,
        source_faces: IndexArray,
        source_vertices: VertexArray,
        mu: Coefficient,
        eta: Coefficient,
        edges: Optional[IndexArray] = None,
        *,
        bending: Bending = "cosine",
        threads: Threads = None,
    ) -> None: ...
    def set_rest(self, source_vertices: VertexArray) -> None: ...
    def rest_derivatives(
        self, deformed_v: VertexArray, mixed: bool = True
    ) -> Tuple[
        float,
        npt.NDArray[np.float64],
        npt.NDArray[np.float64],
        Optional[scipy.sparse.csc_matrix],
    ]: ...
    def set_threads(self, threads: Threads) -> None: ...
    def energy(self, deformed_v: VertexArray) -> float: ...
    def energy_and_gradient(
        self, deformed_v: VertexArray
    ) -> Tuple[float, npt.NDArray[np.float64]]: ...
    def energy_gradient_hessian(
        self, deformed_v: VertexArray, project: Projection = "none"
    ) -> Tuple[float, npt.NDArray[np.float64], scipy.sparse.csc_matrix]: ...
    def hessian(self, x: VertexArray, project: Projection = "none") -> scipy.sparse.csc_matrix: ...
    def hessp(
        self, x: VertexArray, p: npt.ArrayLike, project: Projection = "none"
    ) -> npt.NDArray[np.float64]: ...
    def hessian_operator(
        self, x: VertexArray, project: Projection = "none"
    ) -> scipy.sparse.linalg.LinearOperator: ...
    def free_hessian(
        self, x: VertexArray, fixed: npt.NDArray[np.bool_], project: Projection = "none"
    ) -> scipy.sparse.csc_matrix: ...
    def solve(
        self,
        x0: VertexArray,
        fixed: Optional[npt.ArrayLike] = None,
        forces: Optional[VertexArray] = None,
        mass: Optional[npt.ArrayLike] = None,
        target: Optional[VertexArray] = None,
        time_step: Optional[float] = None,
        tol: float = 1e-8,
        max_iter: int = 200,
        project: Projection = "clamp",
        verbose: bool = False,
        callback: Optional[SolveCallback] = None,
    ) -> SolveResult: ...
    def copy(self) -> "Shell": ...
    def __copy__(self) -> "Shell": ...
    def __deepcopy__(self, memo: Any) -> "Shell": ...
    def __reduce__(self) -> Tuple[Any, ...]: ...
    @property
    def vertex_count(self) -> int: ...
    @property
    def face_count(self) -> int: ...
    @property
    def edge_count(self) -> int: ...
    @property
    def hinge_count(self) -> int: ...
    @property
    def mu(self) -> float: ...
    @property
    def eta(self) -> float: ...
    @property
    def bending(self) -> str: ...
    @property
    def threads(self) -> int: ...
    @threads.setter
    def threads(self, threads: Threads) -> None: ...
    @property
    def edges(self) -> npt.NDArray[np.int64]: ...
    @property
    def faces(self) -> npt.NDArray[np.int64]: ...
    @property
    def vertices(self) -> npt.NDArray[np.float64]: ...
