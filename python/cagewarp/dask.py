"""Binding and deforming models too large for one machine, on Dask.

Every model vertex is located on its own, so the work splits by rows of the model's points: each
chunk of a dask array of points is bound on a worker to the same refined cage (refined once, on
the client, and shipped to the workers pickled), and the chunk's part of D stays there::

    import dask.array as da
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph
    import cagewarp, cagewarp.dask
    points = da.from_zarr("scan.zarr")                      # (M, 3), chunks of rows
    binding = cagewarp.dask.bind(cagewarp.read_cage("cage.msh"), points, refine="bss")
    moved = binding.deform(moved_cage_points)               # a dask array (M, 3), same chunks
    moved.to_zarr("scan_moved.zarr")

With a ``distributed.Client`` the chunk bindings are persisted on the workers; without one they
are computed by Dask's local scheduler. Results are identical to :func:`cagewarp.bind` on the
whole model, for any chunking and any number of workers.
"""

from __future__ import annotations

from typing import Any, Dict, List, Optional, Sequence, Union

import dask
import dask.array as da
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph
import numpy as np
import scipy.sparse

from .core import Cage, PathLike, _moved, _options
from .core import bind as _bind


def _bind_chunk(cage: Cage, points: np.ndarray, tables: Optional[str], threads: int,
                options: Dict[str, Any]) -> Any:
    """The core binding of one chunk: it pickles with D, the enclosed list and the bound
    positions (the refined cage, which deform does not need, stays behind)."""
    return _bind(cage, points.reshape(-1, 3), tables=tables, threads=threads, **options)._core


def _deform_chunk(chunk: Any, moved: np.ndarray) -> np.ndarray:
    return chunk.deform(moved)


def _chunk_matrix(chunk: Any) -> scipy.sparse.csc_matrix:
    data, rows, starts, shape = chunk.matrix()
    matrix = scipy.sparse.csc_matrix((data, rows, starts), shape=shape)
    matrix.eliminate_zeros()
    return matrix


def _offset(indices: np.ndarray, start: int) -> np.ndarray:
    return indices.astype(np.int64) + start


class Binding:
    """A model bound chunk by chunk: the chunks' parts of D live where Dask computed them.

    Made by :func:`bind`. :meth:`deform` gives a lazy dask array in the chunks of the points;
    :meth:`columns` and :meth:`to_mtx` gather D on the client, for when it fits.
    """

    def __init__(self, chunks: List[Any], row_chunks: Sequence[int], cage: Cage) -> None:
        self._chunks = chunks
        self._row_chunks = tuple(row_chunks)
        self.cage = cage

    @property
    def chunks(self) -> tuple:
        """The row chunks of the model's points, as dask gives them."""
        return self._row_chunks

    def deform(self, moved_points: Any) -> da.Array:
        """The model for the cage vertices (as given) moved to `moved_points`: a lazy (M, 3)
        float32 dask array in the chunks of the points, each chunk equal to the single-process
        :meth:`cagewarp.Binding.deform` of its rows."""
        moved = _moved(moved_points, self.cage.given._mesh.vertex_count)
        moved_d = dask.delayed(moved, pure=True)
        # One task per chunk binding, keyed as a dask array's blocks, so that empty chunks stay.
        name = "cagewarp-deform-" + tokenize(self._chunks, moved)
        tasks = {(name, i, 0): (_deform_chunk, chunk.key, moved_d.key)
                 for i, chunk in enumerate(self._chunks)}
        graph = HighLevelGraph.from_collections(name, tasks,
                                                dependencies=[*self._chunks, moved_d])
        return da.Array(graph, name, chunks=(self._row_chunks, (3,)), dtype=np.float32)

    def columns(self) -> scipy.sparse.csc_matrix:
        """D gathered on the client: an (n, M) scipy.sparse.csc_matrix equal to the
        single-process :attr:`cagewarp.Binding.matrix`."""
        parts = dask.compute(*[dask.delayed(_chunk_matrix)(c) for c in self._chunks])
        n = self.cage.given._mesh.vertex_count
        if not parts:
            return scipy.sparse.csc_matrix((n, 0), dtype=np.float32)
        return scipy.sparse.hstack(parts, format="csc", dtype=np.float32)

    def enclosed(self) -> np.ndarray:
        """Indices of the model vertices inside the cage, gathered on the client (int64)."""
        starts = np.concatenate([[0], np.cumsum(self._row_chunks)[:-1]]).astype(int)
        parts = dask.compute(
            *[dask.delayed(lambda c, s: _offset(c.enclosed(), s))(c, int(s))
              for c, s in zip(self._chunks, starts)])
        return np.concatenate(parts) if parts else np.zeros(0, np.int64)

    def to_mtx(self, path: PathLike) -> None:
        """Writes D, gathered on the client, as a Matrix Market file (scipy's writer)."""
        import scipy.io

        scipy.io.mmwrite(str(path), self.columns(), field="real")

    def __repr__(self) -> str:
        return (f"cagewarp.dask.Binding({len(self._chunks)} chunks, "
                f"{sum(self._row_chunks)} model vertices, cage {self.cage!r})")


def bind(
    cage: Cage,
    points: da.Array,
    refine: Union[str, Sequence[str]] = "",
    tables: Optional[PathLike] = None,
    threads: int = 1,
    coordinates: str = "wachspress",
    outside: str = "keep",
    reach: Union[float, str, None] = None,
) -> Binding:
    """Binds the model `points` (a dask array (M, 3) chunked by rows) to `cage`, chunk by chunk.

    The cage is refined once here and sent to the workers; each chunk is bound on a worker with
    `threads` threads (default 1: Dask runs chunks side by side). With a distributed client the
    chunk bindings are persisted on the workers before this returns. `tables` must name a
    directory the workers can read when given. `coordinates`, `outside` and `reach` are those of
    :func:`cagewarp.bind`; every vertex is bound on its own, so the chunks give what one binding
    of the whole model gives.
    """
    if not isinstance(points, da.Array):
        points = da.from_array(np.asarray(points), chunks=(max(1, len(points)), 3))
    if points.ndim != 2 or points.shape[1] != 3:
        raise ValueError(f"points must be an (M, 3) dask array, not of shape {points.shape}")
    points = points.rechunk({1: 3})
    options = {"coordinates": coordinates, "outside": outside, "reach": reach}
    # Bad options fail here, on the client, rather than on every worker.
    _options("", coordinates, None, outside, reach)
    refined = cage.refine(refine, tables) if refine or not cage.is_refined else cage
    cage_d = dask.delayed(refined, pure=True)
    table_dir = None if tables is None else str(tables)
    chunks = [
        dask.delayed(_bind_chunk, pure=True)(cage_d, block, table_dir, threads, options)
        for block in points.to_delayed().ravel()
    ]
    chunks = list(dask.persist(*chunks))
    return Binding(chunks, points.chunks[0], refined)
