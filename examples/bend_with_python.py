"""Binds the bundled sphere to the bundled cage from Python, bends the cage and writes the bent
sphere, all through meshio: the README's "From Python" example as a script.

From the repository root, after building: PYTHONPATH=build/release/python python3
examples/bend_with_python.py [OUT] (OUT defaults to examples/model_bent.obj).
"""

import sys
from pathlib import Path

import meshio
import numpy as np

import cagewarp


def bend(points: np.ndarray) -> np.ndarray:
    """Bends the unit cube's column around the line x = -1, y free: height becomes angle."""
    radius, angle = points[:, 0] + 1.0, points[:, 2]
    return np.column_stack([radius * np.cos(angle) - 1.0, points[:, 1], radius * np.sin(angle)])


def main() -> None:
    here = Path(__file__).resolve().parent
    out = sys.argv[1] if len(sys.argv) > 1 else here / "model_bent.obj"
    cage_mesh = meshio.read(here / "cage.vtk")
    model = meshio.read(here / "model.obj")
    cage = cagewarp.Cage.from_meshio(cage_mesh)
    binding = cagewarp.bind(cage, model.points, refine="bss")
    print(binding)
    moved = binding.deform(bend(cage_mesh.points))
    meshio.write(out, meshio.Mesh(moved, model.cells))


if __name__ == "__main__":
    main()
