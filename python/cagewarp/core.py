"""Cages, bindings and deformation on numpy arrays."""

from __future__ import annotations

import os
import sys
import threading
import warnings as _warnings
from typing import Any, Callable, Mapping, Optional, Sequence, Union

import numpy as np
import scipy.sparse

from . import _cagewarp

ArrayLike = Any
PathLike = Union[str, "os.PathLike[str]"]

#: Cell types by the names meshio uses, with cagewarp's own type numbers.
CELL_TYPES = {
    "vertex": 0,
    "line": 1,
    "triangle": 2,
    "quad": 3,
    "tetra": 4,
    "octahedron": 5,
    "wedge": 6,
    "hexahedron": 7,
}
_CORNERS = (1, 2, 3, 4, 4, 6, 6, 8)
_TYPE_NAMES = {number: name for name, number in CELL_TYPES.items()}

# meshio's cell types (VTK's vertex orders) as (our type, our vertex k at their position
# order[k]); VTK's wedge turns its base away from the top, ours towards it. Higher-order cells
# are read by their corners, pyramids as two tetrahedra, as the cage file readers do.
_PYRAMID = 8
_WEDGE_ORDER = (0, 2, 1, 3, 5, 4)
_MESHIO_TYPES = {
    "vertex": (0, None),
    "line": (1, None),
    "line3": (1, None),
    "triangle": (2, None),
    "triangle6": (2, None),
    "triangle7": (2, None),
    "quad": (3, None),
    "quad8": (3, None),
    "quad9": (3, None),
    "tetra": (4, None),
    "tetra10": (4, None),
    "wedge": (6, _WEDGE_ORDER),
    "wedge12": (6, _WEDGE_ORDER),
    "wedge15": (6, _WEDGE_ORDER),
    "wedge18": (6, _WEDGE_ORDER),
    "hexahedron": (7, None),
    "hexahedron20": (7, None),
    "hexahedron24": (7, None),
    "hexahedron27": (7, None),
    "pyramid": (_PYRAMID, None),
    "pyramid13": (_PYRAMID, None),
    "pyramid14": (_PYRAMID, None),
}

_OPERATIONS = "bls"
_COORDINATES = ("wachspress", "trilinear")


# ---------------------------------------------------------------------------------------------
# Tables and options


_tables_cache: dict = {}
_tables_lock = threading.Lock()


def _tables(tables: Optional[PathLike]) -> Any:
    """The lookup tables, found as the command line finds them, loaded once per place."""
    given = os.fspath(tables) if tables is not None else ""
    key = (given, os.getcwd())
    with _tables_lock:
        if key not in _tables_cache:
            home = os.path.dirname(os.path.abspath(_cagewarp.__file__))
            _tables_cache[key] = _cagewarp.load_tables(given, home)
        return _tables_cache[key]


def _operations(refine: Union[str, Sequence[str]]) -> str:
    """The operation letters of `refine` ("bss", "b s s" or ["b", "s", "s"])."""
    if isinstance(refine, str):
        letters = refine.replace(" ", "").replace(",", "")
    else:
        letters = "".join(str(letter).strip() for letter in refine)
    for letter in letters:
        if letter not in _OPERATIONS:
            raise ValueError(
                f"unknown refinement operation {letter!r} in {refine!r}: use b (add boundary), "
                "l (linear subdivision) and s (normal subdivision)"
            )
    return letters


def _options(
    refine: Union[str, Sequence[str]] = "",
    coordinates: str = "wachspress",
    threads: Optional[int] = None,
    outside: str = "keep",
    reach: Union[float, str, None] = None,
) -> Any:
    """The binding options of the keyword arguments: the one place they map onto the core."""
    options = _cagewarp.Options()
    options.operations = _operations(refine)
    if coordinates not in _COORDINATES:
        raise ValueError(f"coordinates must be wachspress or trilinear, not {coordinates!r}")
    options.coordinates = coordinates
    if reach is not None:
        if outside != "nearest":
            raise ValueError(f"reach is for outside='nearest', not outside={outside!r}")
        outside = f"nearest:{reach}"
    options.outside = outside
    if threads is not None:
        if isinstance(threads, bool) or not isinstance(threads, (int, np.integer)) or threads <= 0:
            raise ValueError(f"threads must be a positive whole number, not {threads!r}")
        options.threads = int(threads)
    return options


# ---------------------------------------------------------------------------------------------
# Running the core: quietly, verbosely, or with a progress bar


def _run(work: Callable[[Any], Any], report: Any, verbose: bool, progress: bool, what: str) -> Any:
    """Runs `work(report)`, in a thread of its own when a progress bar is drawn meanwhile."""
    if not progress:
        try:
            return work(report)
        finally:
            _tell(report, verbose)
    result: dict = {}

    def target() -> None:
        try:
            result["value"] = work(report)
        except BaseException as error:  # handed to the caller's thread below
            result["error"] = error

    from tqdm.auto import tqdm

    thread = threading.Thread(target=target, daemon=True)
    thread.start()
    # Like the program's display: drawn only for a run that lasts a second.
    with tqdm(desc=what, total=None, unit=" vertices", leave=False, delay=1.0) as bar:
        while thread.is_alive():
            thread.join(0.1)
            doing, step, located, total = report.state()
            if doing:
                bar.set_description_str(f"{doing} (step {step})" if step else doing)
            if total and bar.total != total:
                bar.total = total
            if located > bar.n:
                bar.update(located - bar.n)
    _tell(report, verbose)
    if "error" in result:
        raise result["error"]
    return result["value"]


def _tell(report: Any, verbose: bool) -> None:
    if verbose:
        for message in report.messages():
            print(f"cagewarp: {message}", file=sys.stderr)


# ---------------------------------------------------------------------------------------------
# Input checks


def _points(points: ArrayLike, what: str) -> np.ndarray:
    """(n, 3) positions as C-ordered float32, without a copy when they already are."""
    array = np.asarray(points)
    if array.ndim != 2 or array.shape[1] != 3:
        raise ValueError(f"{what} must be an (n, 3) array, not of shape {array.shape}")
    if not (np.issubdtype(array.dtype, np.floating) or np.issubdtype(array.dtype, np.integer)):
        raise ValueError(f"{what} must be numbers, not {array.dtype}")
    return np.ascontiguousarray(array, dtype=np.float32)


def _cell_array(name: str, cells: ArrayLike, corners: int, vertices: int) -> np.ndarray:
    array = np.asarray(cells)
    if array.ndim != 2 or array.shape[1] < corners or (array.shape[0] == 0 and array.size):
        raise ValueError(
            f"cells[{name!r}] must be a (c, {corners}) array of vertex indices, "
            f"not of shape {array.shape}"
        )
    if array.dtype.kind == "f":
        if not np.all(np.isfinite(array)):
            raise ValueError(f"cells[{name!r}] holds NaN or infinite vertex indices")
        if not np.all(array == np.round(array)):
            raise ValueError(f"cells[{name!r}] holds vertex indices that are not whole numbers")
    elif array.dtype.kind not in "iu" and array.size:
        raise ValueError(f"cells[{name!r}] must hold integers, not {array.dtype}")
    if array.size:
        low, high = array.min(), array.max()
        if low < 0 or high >= vertices:
            bad = low if low < 0 else high
            raise ValueError(
                f"cells[{name!r}] refers to vertex {int(bad)}, but there are {vertices} vertices"
            )
    return np.ascontiguousarray(array, dtype=np.int32)


# ---------------------------------------------------------------------------------------------
# Cages


class Cage:
    """A volumetric control mesh (a cage), possibly refined.

    A cage has points and cells of the types in :data:`CELL_TYPES` ("tetra", "octahedron",
    "wedge", "hexahedron" are volume cells; "vertex", "line", "triangle", "quad" may come
    along), with the vertices of each cell in cagewarp's own order. A refined cage
    (:meth:`refine`) still knows the weights of its vertices over the cage as given, so a model
    bound to it moves with the original cage vertices.

    Parameters
    ----------
    points : array_like, shape (n, 3)
        Vertex positions, float32 or float64 in any memory order; stored as float32.
    cells : mapping of str to array_like of shape (c, k)
        Vertex indices per cell type, e.g. ``{"hexahedron": hexes}``.

    Examples
    --------
    >>> cage = cagewarp.Cage(points, {"hexahedron": [[0, 1, 2, 3, 4, 5, 6, 7]]})
    >>> smooth = cage.refine("bss")
    """

    def __init__(self, points: ArrayLike, cells: Mapping[str, ArrayLike]) -> None:
        positions = _points(points, "points")
        blocks = []
        for name, block in cells.items():
            if name not in CELL_TYPES:
                raise ValueError(
                    f"unknown cell type {name!r}; cagewarp's are {', '.join(CELL_TYPES)}"
                )
            number = CELL_TYPES[name]
            array = _cell_array(name, block, _CORNERS[number], len(positions))
            if array.shape[1] != _CORNERS[number]:
                raise ValueError(
                    f"cells[{name!r}] must have {_CORNERS[number]} vertices per cell, "
                    f"not {array.shape[1]}"
                )
            blocks.append((number, [], array))
        mesh, _ = _cagewarp.mesh_from_arrays(positions, blocks, False, "")
        self._init(mesh, None)

    def _init(self, mesh: Any, refined: Any, warnings: Sequence[str] = ()) -> None:
        self._mesh = mesh
        self._refined = refined
        self.warnings = list(warnings)

    @classmethod
    def _make(cls, mesh: Any, refined: Any = None, warnings: Sequence[str] = ()) -> "Cage":
        cage = cls.__new__(cls)
        cage._init(mesh, refined, warnings)
        return cage

    @classmethod
    def from_meshio(cls, mesh: Any, verbose: bool = False) -> "Cage":
        """The cage of a :class:`meshio.Mesh`, read from any format meshio reads.

        meshio's vertex orders (VTK's) are mapped to cagewarp's; higher-order cells are read by
        their corner vertices, pyramids as two tetrahedra, and inverted volume cells are
        reoriented, as the cage file readers do (``verbose=True`` prints what was changed).
        Cell types cagewarp has no use for raise ValueError.
        """
        positions = _points(mesh.points, "mesh.points")
        blocks = []
        for block in mesh.cells:
            if block.type not in _MESHIO_TYPES:
                raise ValueError(f"meshio cell type {block.type!r} cannot be part of a cage")
            number, order = _MESHIO_TYPES[block.type]
            corners = 5 if number == _PYRAMID else _CORNERS[number]
            array = _cell_array(block.type, block.data, corners, len(positions))
            blocks.append((number, list(order or range(corners)), array))
        core, warnings = _cagewarp.mesh_from_arrays(positions, blocks, True, "meshio mesh")
        _tell_lines(warnings, verbose)
        return cls._make(core, None, warnings)

    def to_meshio(self) -> Any:
        """The cage (refined, if it is) as a :class:`meshio.Mesh` in meshio's vertex orders.

        meshio has no octahedron: each becomes four tetrahedra around its 0-5 axis, as the cage
        file writers write it.
        """
        import meshio

        mesh = self._shown()
        cells = []
        for number in range(8):
            if mesh.cell_count(number) == 0:
                continue
            array = mesh.cells(number)
            name = _TYPE_NAMES[number]
            if number == CELL_TYPES["octahedron"]:
                array, name = _cagewarp.octahedra_as_tetrahedra(mesh), "tetra"
            elif number == CELL_TYPES["wedge"]:
                array = array[:, _WEDGE_ORDER]
            cells.append((name, array))
        return meshio.Mesh(mesh.points(), cells)

    def _shown(self) -> Any:
        return self._refined.refined if self._refined is not None else self._mesh

    @property
    def points(self) -> np.ndarray:
        """Vertex positions, an (n, 3) float32 array (a copy)."""
        return self._shown().points()

    @property
    def cells(self) -> dict:
        """Cells by type name, each a (c, k) int32 array in cagewarp's vertex orders."""
        mesh = self._shown()
        return {
            name: mesh.cells(number)
            for name, number in CELL_TYPES.items()
            if mesh.cell_count(number) > 0
        }

    @property
    def is_refined(self) -> bool:
        """Whether the cage came from :meth:`refine`."""
        return self._refined is not None

    @property
    def weights(self) -> scipy.sparse.csc_matrix:
        """The weights of the vertices over the cage as given: an (n_given, n) sparse matrix
        (the identity for a cage that was never refined)."""
        if self._refined is None:
            return scipy.sparse.identity(self._mesh.vertex_count, np.float32, format="csc")
        data, rows, starts = self._refined.weights()
        shape = (self._refined.given.vertex_count, self._refined.refined.vertex_count)
        return scipy.sparse.csc_matrix((data, rows, starts), shape=shape)

    @property
    def given(self) -> "Cage":
        """The cage as given, before any refinement."""
        if self._refined is None:
            return self
        return Cage._make(self._refined.given)

    def refine(
        self,
        operations: Union[str, Sequence[str]],
        tables: Optional[PathLike] = None,
        threads: Optional[int] = None,
        verbose: bool = False,
        progress: bool = False,
        **options: Any,
    ) -> "Cage":
        """The cage refined by `operations`, in order.

        Parameters
        ----------
        operations : str or sequence of str
            Letters b (add boundary), l (linear subdivision) and s (normal subdivision), as on
            the command line: ``"bss"``, ``"b s s"`` or ``["b", "s", "s"]``. Refining a refined
            cage continues it: ``cage.refine("b").refine("ss")`` equals ``cage.refine("bss")``.
        tables : path, optional
            The table directory; else ``./tab``, else the installed tables.
        threads : int, optional
            Threads to refine on (default: one per core); the result is the same for any count.
        verbose : bool
            Print warnings on standard error as the command line does.
        progress : bool
            Show a progress bar (tqdm) while refining.

        Returns
        -------
        Cage
            A new cage whose :attr:`weights` are over this cage's :attr:`given` vertices.

        Raises
        ------
        ValueError
            For a letter other than b, l, s, or a cage the operations cannot refine.
        OSError
            When no table directory is found.
        """
        settings = _options(operations, threads=threads, **options)
        loaded = _tables(tables)
        _tell_lines(loaded.warnings, verbose)
        base = self._refined.given if self._refined is not None else self._mesh
        refined = _run(
            lambda report: _cagewarp.refine(base, self._refined, loaded, settings, report),
            _cagewarp.Report(),
            verbose,
            progress,
            "refining",
        )
        return Cage._make(self._mesh, refined)

    def __getstate__(self) -> dict:
        return {"mesh": self._mesh, "refined": self._refined, "warnings": self.warnings}

    def __setstate__(self, state: dict) -> None:
        self._init(state["mesh"], state["refined"], state["warnings"])

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Cage):
            return NotImplemented
        return _state_bytes(self) == _state_bytes(other)

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        mesh = self._shown()
        counts = ", ".join(
            f"{name}: {mesh.cell_count(number)}"
            for name, number in CELL_TYPES.items()
            if mesh.cell_count(number) > 0
        )
        refined = ""
        if self._refined is not None:
            refined = f", refined from {self._refined.given.vertex_count} vertices"
        return f"Cage({mesh.vertex_count} vertices, cells {{{counts}}}{refined})"


def _state_bytes(cage: Cage) -> bytes:
    import pickle

    return pickle.dumps((cage._mesh, cage._refined))


def _tell_lines(lines: Sequence[str], verbose: bool) -> None:
    if verbose:
        for line in lines:
            print(f"cagewarp: warning: {line}", file=sys.stderr)


def read_cage(path: PathLike, verbose: bool = False) -> Cage:
    """Reads a cage in any format the command line reads, chosen by the file's extension.

    gmsh ``.msh``, legacy VTK ``.vtk``, TetGen ``.ele`` (with its ``.node``), Medit ``.mesh``,
    and cagewarp's own mesh text for any other extension. Raises OSError, with the command
    line's message, when the file cannot be read or is malformed; ``verbose=True`` prints the
    reader's warnings (reoriented cells, split pyramids).
    """
    mesh, warnings = _cagewarp.read_cage(os.fspath(path))
    _tell_lines(warnings, verbose)
    return Cage._make(mesh, None, warnings)


def write_cage(cage: Cage, path: PathLike) -> None:
    """Writes the cage's positions and cells (refined, if it is) as the command line's
    ``--cage-out`` does: VTK ``.vtk``, gmsh ``.msh`` or Medit ``.mesh`` by the extension
    (octahedra as four tetrahedra each), cagewarp's mesh text for any other extension. Raises
    OSError when the file cannot be written; the file is complete or absent.
    """
    _cagewarp.write_cage(cage._shown(), os.fspath(path))


class ReaderWarning(UserWarning):
    """Records of a model file that were passed over or could not be read as written (unknown
    OBJ keywords, texture or normal records that are not numbers, VTK point data): the text the
    command line prints on standard error."""


def _warn_lines(lines: Sequence[str]) -> None:
    # stacklevel 3: the caller of the public function that read the file.
    for line in lines:
        _warnings.warn(line, ReaderWarning, stacklevel=3)


def read_model(path: PathLike) -> np.ndarray:
    """The vertex positions of a model file as the command line reads them: (M, 3) float32.

    OBJ, OFF, PLY and STL models, or any cage format. Raises OSError when the file cannot be
    read or is malformed. What the reader passed over or could not read is issued as a
    :class:`ReaderWarning` (``warnings.simplefilter("error", cagewarp.ReaderWarning)`` makes
    such a file an error).
    """
    points, lines = _cagewarp.read_model_points(os.fspath(path))
    _warn_lines(lines)
    return points


# ---------------------------------------------------------------------------------------------
# Bindings


class Binding:
    """A model bound to a cage: the matrix D and what it takes to deform the model.

    Made by :func:`bind`. The model vertex ``v`` enclosed by the cage moves to
    ``moved_points.T @ matrix[:, v]``; vertices outside every cell keep their rest positions.
    """

    def __init__(self, core: Any, cage: Cage) -> None:
        self._core = core
        self.cage = cage
        self._matrix: Optional[scipy.sparse.csc_matrix] = None

    @property
    def matrix(self) -> scipy.sparse.csc_matrix:
        """D: an (n, M) float32 sparse matrix, n the vertices of the cage as given, M all model
        vertices; the columns of vertices outside every cell are empty. Entries equal to zero
        are left out, as in the command line's ``--mtx`` file."""
        if self._matrix is None:
            data, rows, starts, shape = self._core.matrix()
            matrix = scipy.sparse.csc_matrix((data, rows, starts), shape=shape)
            matrix.eliminate_zeros()
            self._matrix = matrix
        return self._matrix

    @property
    def enclosed(self) -> np.ndarray:
        """Indices of the model vertices inside the cage, ascending (int32)."""
        return self._core.enclosed()

    @property
    def outside(self) -> np.ndarray:
        """Indices of the model vertices outside every cell, ascending (int32)."""
        everything = np.arange(self._core.model_vertex_count, dtype=np.int32)
        return np.setdiff1d(everything, self.enclosed, assume_unique=True)

    def deform(self, moved_points: ArrayLike) -> np.ndarray:
        """The model for the cage vertices moved to `moved_points`.

        Parameters
        ----------
        moved_points : array_like, shape (n, 3)
            New positions of the vertices of the cage as given (not refined), in its order.

        Returns
        -------
        numpy.ndarray, shape (M, 3), float32
            Enclosed vertices where D puts them, the others at their rest positions: the
            positions ``--deform`` writes, bit for bit.
        """
        return self._core.deform(_moved(moved_points, self._core.cage_vertex_count))

    def deform_file(
        self, model_path: PathLike, moved_points: ArrayLike, out_path: PathLike
    ) -> None:
        """Writes the model file `model_path` deformed by `moved_points` to `out_path`, exactly
        as the command line's ``--deform`` writes it.

        An OBJ, OFF, PLY or STL model is written in its own format with only the moved
        coordinates changed; any other output extension gets mesh text. The model file must be
        the one bound (same vertex count). Raises ValueError for a wrong shape or format and
        OSError when a file cannot be read or written; the output is complete or absent. The
        model reader's warnings are issued as :class:`ReaderWarning`, as by :func:`read_model`.
        """
        moved = _moved(moved_points, self._core.cage_vertex_count)
        _warn_lines(self._core.deform_file(os.fspath(model_path), moved, os.fspath(out_path)))

    def __repr__(self) -> str:
        m = self._core.model_vertex_count
        enclosed = len(self.enclosed)
        return (
            f"Binding({self._core.cage_vertex_count} cage vertices, {m} model vertices: "
            f"{enclosed} enclosed, {m - enclosed} outside)"
        )


def _moved(points: ArrayLike, n: int) -> np.ndarray:
    moved = _points(points, "moved_points")
    if moved.shape[0] != n:
        raise ValueError(
            f"moved_points has {moved.shape[0]} vertices, the cage as given has {n}"
        )
    return moved


def bind(
    cage: Cage,
    model_points: ArrayLike,
    refine: Union[str, Sequence[str]] = "",
    tables: Optional[PathLike] = None,
    threads: Optional[int] = None,
    coordinates: str = "wachspress",
    outside: str = "keep",
    reach: Union[float, str, None] = None,
    verbose: bool = False,
    progress: bool = False,
) -> Binding:
    """Binds a model to a cage: refines the cage, locates every model vertex and builds D.

    Parameters
    ----------
    cage : Cage
        The cage, refined or not (:meth:`Cage.refine`).
    model_points : array_like, shape (M, 3), or a meshio.Mesh
        Model vertex positions (float32 or float64, any memory order; read as float32).
    refine : str or sequence of str
        Operation letters b, l, s applied to `cage` first, as on the command line ("bss").
    tables : path, optional
        The table directory; else ``./tab``, else the installed tables.
    threads : int, optional
        Threads to refine and locate on (default: one per core); results are identical for any
        count.
    coordinates : {"wachspress", "trilinear"}
        The cell coordinates model vertices are located with.
    outside : {"keep", "nearest"}
        Model vertices outside every refined cell: "keep" leaves them at rest; "nearest" binds
        those within `reach` of the refined cage's surface to the nearest surface cell, so that
        they move with it (as ``--outside nearest``).
    reach : float or str, optional
        With ``outside="nearest"``: a length, or a multiple of the median edge of the cage as
        given written as a string ending in x (``"0.5x"``); default ``"1x"``.
    verbose : bool
        Print on standard error what the command line prints there (warnings, outside vertices).
    progress : bool
        Show a progress bar (tqdm) while refining and locating.

    Returns
    -------
    Binding
        With :attr:`Binding.matrix` (D), :attr:`Binding.enclosed`, :attr:`Binding.outside`,
        :meth:`Binding.deform` and :meth:`Binding.deform_file`.

    Raises
    ------
    ValueError
        For bad input: wrong shapes, a letter other than b, l, s, an unknown coordinates name.
    OSError
        When no table directory is found.
    MemoryError
        When the binding does not fit in memory.
    """
    if not isinstance(cage, Cage):
        raise ValueError(f"cage must be a cagewarp.Cage, not {type(cage).__name__}")
    if hasattr(model_points, "points") and hasattr(model_points, "cells"):
        model_points = model_points.points
    points = _points(model_points, "model_points")
    settings = _options(refine, coordinates, threads, outside, reach)
    refined = cage.refine(refine, tables, threads, verbose, progress, coordinates=coordinates)
    loaded = _tables(tables)
    core = _run(
        lambda report: _cagewarp.bind(refined._refined, points, loaded, settings, report),
        _cagewarp.Report(),
        verbose,
        progress,
        "binding",
    )
    return Binding(core, refined)
