"""Locating points in a refined cage, against VTK's probe filter with its static cell locator on
the same points in the same cells.

The program runs whole (reading both files, refining, locating, writing D); VTK is timed on the
probe alone, its locator built inside the probe, once the grid and the points are in memory.
Needs Debian's python3-vtk9 and the module of a release build. From the repository root:
    PYTHONPATH=build/release/python /usr/bin/python3 bench/vtk_probe.py CAGE MODEL [OPERATIONS]
e.g. a 2^3 cage refined by "l l l" (4096 cells) and 1 M points made by make_scene. The machine
may be shared: compare the figures of one run with each other.
"""

import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import vtk
from vtk.util import numpy_support

import cagewarp

ROOT = Path(__file__).resolve().parent.parent
PROGRAM = ROOT / "build" / "release" / "cagewarp"
# meshio's cell names and VTK's cell types; both number the corners alike.
VTK_TYPES = {"tetra": vtk.VTK_TETRA, "wedge": vtk.VTK_WEDGE, "hexahedron": vtk.VTK_HEXAHEDRON}


def program_seconds(cage: Path, model: Path, operations: str, threads: int) -> float:
    """Wall seconds of the whole program, D written into a scratch directory."""
    with tempfile.TemporaryDirectory() as scratch:
        copy = Path(scratch) / cage.name
        copy.write_bytes(cage.read_bytes())
        start = time.perf_counter()
        subprocess.run([str(PROGRAM), str(copy), str(model), *operations.split(), "--threads",
                        str(threads)], check=True, capture_output=True, cwd=ROOT)
        return time.perf_counter() - start


def vtk_grid(cage: "cagewarp.Cage") -> vtk.vtkUnstructuredGrid:
    """The refined cage's volume cells as an unstructured grid."""
    mesh = cage.to_meshio()
    grid = vtk.vtkUnstructuredGrid()
    points = vtk.vtkPoints()
    points.SetData(numpy_support.numpy_to_vtk(np.ascontiguousarray(mesh.points, np.float32),
                                              deep=True))
    grid.SetPoints(points)
    for block in mesh.cells:
        if block.type not in VTK_TYPES:
            continue
        for corners in block.data:
            grid.InsertNextCell(VTK_TYPES[block.type], len(corners), [int(c) for c in corners])
    return grid


def vtk_probe_seconds(grid: vtk.vtkUnstructuredGrid, model: np.ndarray) -> tuple:
    """Seconds of the probe and the number of points it found in a cell."""
    polydata = vtk.vtkPolyData()
    points = vtk.vtkPoints()
    points.SetData(numpy_support.numpy_to_vtk(np.ascontiguousarray(model, np.float32), deep=True))
    polydata.SetPoints(points)
    probe = vtk.vtkProbeFilter()
    probe.SetSourceData(grid)
    probe.SetInputData(polydata)
    probe.SetCellLocatorPrototype(vtk.vtkStaticCellLocator())
    start = time.perf_counter()
    probe.Update()
    seconds = time.perf_counter() - start
    found = int(numpy_support.vtk_to_numpy(probe.GetValidPoints()).size)
    return seconds, found


def main() -> None:
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cage_file, model_file = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    operations = sys.argv[3] if len(sys.argv) > 3 else "l l l"
    refined = cagewarp.read_cage(cage_file).refine(operations)
    model = cagewarp.read_model(model_file)
    grid = vtk_grid(refined)
    print(f"{grid.GetNumberOfCells()} cells, {len(model)} points")
    for threads in (1, 2):
        seconds = min(program_seconds(cage_file, model_file, operations, threads)
                      for _ in range(3))
        print(f"cagewarp, whole process, {threads} thread(s): {seconds:.3f} s")
    seconds, found = min(vtk_probe_seconds(grid, model) for _ in range(3))
    print(f"VTK probe filter, static cell locator: {seconds:.3f} s, {found} points in a cell")


if __name__ == "__main__":
    main()
