"""Bad input raises a Python exception with a message that names the problem, and the
interpreter goes on: the next call works."""

import warnings

import numpy as np
import pytest

import cagewarp
from conftest import EXAMPLES

CAGE = cagewarp.read_cage(EXAMPLES / "cage.txt")
MODEL = cagewarp.read_model(EXAMPLES / "model.txt")[:50]
HEX = [[0, 1, 5, 4, 16, 17, 21, 20]]
BINDING = cagewarp.bind(CAGE, MODEL)
WHOLE = cagewarp.bind(CAGE, cagewarp.read_model(EXAMPLES / "model.txt"))

CASES = [
    ("points of the wrong shape", lambda: cagewarp.Cage(np.zeros((4, 2)), {}),
     ValueError, "(n, 3)"),
    ("index past the vertex count",
     lambda: cagewarp.Cage(CAGE.points, {"hexahedron": [[0] * 7 + [64]]}), ValueError, "vertex 64"),
    ("negative index", lambda: cagewarp.Cage(CAGE.points, {"tetra": [[0, 1, 2, -1]]}),
     ValueError, "vertex -1"),
    ("NaN in cells", lambda: cagewarp.Cage(CAGE.points, {"tetra": [[0, 1, 2, np.nan]]}),
     ValueError, "NaN"),
    ("cells of the wrong width", lambda: cagewarp.Cage(CAGE.points, {"hexahedron": [[0, 1, 2]]}),
     ValueError, "(c, 8)"),
    ("unknown cell type", lambda: cagewarp.Cage(CAGE.points, {"pentagon": HEX}),
     ValueError, "unknown cell type"),
    ("letter other than b, l, s", lambda: CAGE.refine("bxs"), ValueError, "'x'"),
    ("letter other than b, l, s in bind", lambda: cagewarp.bind(CAGE, MODEL, refine="o"),
     ValueError, "'o'"),
    ("unknown outside mode", lambda: cagewarp.bind(CAGE, MODEL, outside="far"), ValueError,
     "'far'"),
    ("negative reach", lambda: cagewarp.bind(CAGE, MODEL, outside="nearest", reach=-1),
     ValueError, "nearest:-1"),
    ("model of the wrong shape", lambda: cagewarp.bind(CAGE, MODEL[:, :2]), ValueError, "(n, 3)"),
    ("pose with the wrong vertex count", lambda: BINDING.deform(CAGE.points[:-1]),
     ValueError, "63 vertices"),
    ("pose with the wrong vertex count to a file",
     lambda: BINDING.deform_file(EXAMPLES / "model.txt", CAGE.points[:-1], "never.txt"),
     ValueError, "63 vertices"),
    ("model file of another vertex count",
     lambda: BINDING.deform_file(EXAMPLES / "model.txt", CAGE.points, "never.txt"),
     ValueError, "3122 vertices"),
    ("zero threads", lambda: cagewarp.bind(CAGE, MODEL, threads=0), ValueError, "threads"),
    ("unknown coordinates", lambda: cagewarp.bind(CAGE, MODEL, coordinates="mean"),
     ValueError, "wachspress"),
    ("missing cage file", lambda: cagewarp.read_cage("no/such/cage.txt"),
     OSError, "no/such/cage.txt"),
    ("missing model file", lambda: cagewarp.read_model("no/such/model.obj"),
     OSError, "no/such/model.obj"),
    ("missing table directory", lambda: cagewarp.bind(CAGE, MODEL, tables="no/such/tab"),
     OSError, "no/such/tab: no such table directory"),
    ("output in a format a model cannot be written in",
     lambda: WHOLE.deform_file(EXAMPLES / "model.txt", CAGE.points, "never.ele"),
     ValueError, "cannot be written as TetGen"),
    ("unwritable output", lambda: WHOLE.deform_file(EXAMPLES / "model.txt",
                                                    CAGE.points, "/no/such/dir/out.txt"),
     OSError, "/no/such/dir/out.txt"),
]


@pytest.mark.parametrize("what,call,error,message", CASES, ids=[c[0] for c in CASES])
def test_bad_input_raises_and_leaves_the_module_usable(what, call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)
    assert cagewarp.bind(CAGE, MODEL).matrix.shape == (64, 50)



def test_more_points_than_the_core_counts_is_a_memory_error():
    """Past what the core counts in ints the module stops before touching a byte (np.zeros
    reserves the pages without writing them)."""
    try:
        huge = np.zeros((2**31 // 3 + 1, 3), np.float32)
    except MemoryError:
        pytest.skip("no room to reserve 8.6 GB of address space")
    with pytest.raises(MemoryError, match="more than cagewarp can hold"):
        cagewarp.bind(CAGE, huge)
    assert cagewarp.bind(CAGE, MODEL).matrix.shape == (64, 50)


def test_model_records_passed_over_warn_as_the_program_does(tmp_path):
    """What the program prints about a model file reaches Python as a ReaderWarning, which a
    caller can make an error."""
    model = tmp_path / "model.obj"
    (a, b) = MODEL[:2].astype(float)
    model.write_text(f"v {a[0]!r} {a[1]!r} {a[2]!r}\nvt x 0\nfrobnicate 1\n"
                     f"v {b[0]!r} {b[1]!r} {b[2]!r}\n")
    with pytest.warns(cagewarp.ReaderWarning) as caught:
        points = cagewarp.read_model(model)
    np.testing.assert_array_equal(points, MODEL[:2])
    assert [str(w.message) for w in caught] == [
        f"{model}: lines with an unknown keyword passed over: 1 (the first, 'frobnicate', "
        "on line 3)",
        f"{model}: texture coordinates with a word that is not a number read as 0: 1 (the "
        "first on line 2)"]
    with pytest.warns(cagewarp.ReaderWarning, match="frobnicate"):
        cagewarp.bind(CAGE, points).deform_file(model, CAGE.points, tmp_path / "out.obj")
    with warnings.catch_warnings():
        warnings.simplefilter("error", cagewarp.ReaderWarning)
        with pytest.raises(cagewarp.ReaderWarning):
            cagewarp.read_model(model)
