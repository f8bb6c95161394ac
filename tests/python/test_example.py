"""The example script runs and bends the sphere as the README shows."""

import subprocess
import sys

import meshio
import numpy as np

from conftest import EXAMPLES


def test_example_script_writes_the_bent_sphere(tmp_path):
    out = tmp_path / "bent.obj"
    done = subprocess.run([sys.executable, str(EXAMPLES / "bend_with_python.py"), str(out)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "3122 enclosed, 0 outside" in done.stdout
    rest, bent = meshio.read(EXAMPLES / "model.obj"), meshio.read(out)
    assert bent.points.shape == rest.points.shape
    np.testing.assert_array_equal(bent.cells_dict["triangle"], rest.cells_dict["triangle"])
    # The top of the sphere turns towards -x with the top of the cage; the bottom barely moves.
    top, bottom = rest.points[:, 2].argmax(), rest.points[:, 2].argmin()
    assert bent.points[top, 0] < rest.points[top, 0] - 0.1
    assert abs(bent.points[bottom, 2] - rest.points[bottom, 2]) < 0.1
