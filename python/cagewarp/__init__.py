"""cagewarp: bind a detailed model to a coarse volumetric cage and deform it by moving the cage.

The same core as the ``cagewarp`` command line, on numpy arrays, with the same results bit for
bit::

    import cagewarp
    cage = cagewarp.read_cage("cage.msh")            # or cagewarp.Cage.from_meshio(mesh)
    binding = cagewarp.bind(cage, model_points, refine="bss")
    binding.matrix                                   # D, a scipy.sparse.csc_matrix (n, M)
    moved_model = binding.deform(moved_cage_points)  # (M, 3) float32

See :class:`Cage`, :func:`bind`, :class:`Binding`, :func:`read_cage` and :func:`read_model`.
"""

from ._version import __version__
from .core import (
    CELL_TYPES,
    Binding,
    Cage,
    ReaderWarning,
    bind,
    read_cage,
    read_model,
    write_cage,
)

__all__ = [
    "__version__",
    "CELL_TYPES",
    "Binding",
    "Cage",
    "ReaderWarning",
    "bind",
    "read_cage",
    "read_model",
    "write_cage",
]
