"""Fixtures shared by the Python module's tests: the program of the same build, the bundled
example, a mixed cage of every volume type and a lattice model around it."""

import os
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest
import scipy.io
import scipy.sparse

SOURCE = Path(os.environ.get("CAGEWARP_SOURCE_DIR", Path(__file__).resolve().parents[2]))
EXAMPLES = SOURCE / "examples"
PROGRAM = os.environ.get("CAGEWARP_BINARY", str(SOURCE / "build/dev/cagewarp"))

# A hexahedron, a prism beside it, two tetrahedra and an octahedron above them, with surface
# cells, lines and a point, corners slightly off the unit grid.
MIXED_CAGE = (
    "% mixed cage\n"
    "f 7 1\n0 1 2 3 4 5 6 7\n"
    "f 6 1\n1 8 2 5 9 6\n"
    "f 4 2\n4 5 7 10\n5 11 10 7\n"
    "f 5 1\n13 5 6 7 11 12\n"
    "f 3 3\n0 3 2 1\n8 16 17 9\n18 0 3 19\n"
    "f 2 3\n1 8 2\n1 2 3\n0 1 3\n"
    "f 1 2\n6 14\n4 6\n"
    "f 0 1\n15\n"
    "v 3 21\n"
    "-0.03 0.015 -0.01\n1.0075 -0.0075 0.005\n1.03 0.985 0.01\n0 1 0\n-0.015 0.0075 0.995\n"
    "1.015 -0.0075 1.005\n1.0075 0.985 1.01\n-0.03 1.015 0.99\n2.0075 -0.0075 0.0025\n"
    "2.03 0.985 0.01\n0 0 2\n1.015 -0.0075 2.005\n-0.03 1.015 1.99\n1 1 2\n2.015 1.9925 2.005\n"
    "-1.03 -0.985 -1.01\n3 0 0\n3.0075 -0.0075 0.0025\n-1.015 0.0075 -0.005\n-1.0075 1.0075 0\n"
    "5 5 5\n"
)


def lattice_text(low=-0.5, high=2.5, step=0.25):
    """Points a quarter apart around the mixed cage, as mesh text: many on shared faces, many
    outside every cell."""
    axis = np.arange(low, high + step / 2, step)
    points = np.stack(np.meshgrid(axis, axis, axis, indexing="ij"), -1).reshape(-1, 3)
    rows = "\n".join(" ".join(repr(float(x)) for x in p) for p in points)
    return f"v 3 {len(points)}\n{rows}\n"


def run_program(workdir, *arguments):
    """Runs the program in `workdir`; fails the test when it fails."""
    done = subprocess.run([PROGRAM, *map(str, arguments)], cwd=workdir, capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr
    return done


def program_matrix(workdir, cage, model, operations):
    """D as the program writes it with --mtx, for `cage` and `model` copied into `workdir`."""
    run_program(workdir, cage.name, model.name, *operations, "--mtx")
    return scipy.sparse.csc_matrix(scipy.io.mmread(str(workdir / (cage.name + ".mtx"))),
                                   dtype=np.float32)


def assert_same_matrix(ours, theirs):
    """Same shape, same pattern, same float32 values (NaN equal to NaN)."""
    ours, theirs = scipy.sparse.csc_matrix(ours), scipy.sparse.csc_matrix(theirs)
    theirs.sort_indices()
    assert ours.shape == theirs.shape
    np.testing.assert_array_equal(ours.indptr, theirs.indptr)
    np.testing.assert_array_equal(ours.indices, theirs.indices)
    np.testing.assert_array_equal(ours.data.view(np.uint32), theirs.data.view(np.uint32))


@pytest.fixture
def scene(tmp_path):
    """Copies a named scene (cage, model) into a fresh folder: "example" or "mixed"."""

    def make(name):
        if name == "example":
            cage, model = tmp_path / "cage.txt", tmp_path / "model.txt"
            shutil.copy(EXAMPLES / "cage.txt", cage)
            shutil.copy(EXAMPLES / "model.txt", model)
        else:
            cage, model = tmp_path / "mixed.txt", tmp_path / "lattice.txt"
            cage.write_text(MIXED_CAGE)
            model.write_text(lattice_text())
        return cage, model

    return make
