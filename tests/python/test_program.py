"""The module gives what the program gives: D as --mtx writes it, the model as --deform
writes it, for several refinements and cages of every volume type."""

import numpy as np
import pytest
import scipy.io
import scipy.sparse

import cagewarp
from conftest import EXAMPLES, assert_same_matrix, program_matrix, run_program

CASES = [("example", ""), ("example", "bss"), ("example", "l"), ("mixed", ""), ("mixed", "bs")]


@pytest.mark.parametrize("name,operations", CASES)
def test_matrix_equals_the_programs(scene, name, operations):
    cage_file, model_file = scene(name)
    expected = program_matrix(cage_file.parent, cage_file, model_file, list(operations))
    binding = cagewarp.bind(cagewarp.read_cage(cage_file), cagewarp.read_model(model_file),
                            refine=operations)
    assert_same_matrix(binding.matrix, expected)
    everything = np.arange(expected.shape[1])
    listed = np.diff(expected.indptr) > 0
    assert set(binding.enclosed) >= set(everything[listed])
    assert sorted(np.concatenate([binding.enclosed, binding.outside])) == list(everything)


@pytest.mark.parametrize("operations,reach,option", [("", None, "nearest"),
                                                     ("bs", "0.5x", "nearest:0.5x"),
                                                     ("bs", 0.05, "nearest:0.05")])
def test_vertices_bound_from_outside_as_the_program_binds_them(scene, operations, reach, option):
    cage_file, model_file = scene("mixed")
    run_program(cage_file.parent, cage_file.name, model_file.name, *operations, "--mtx",
                "--outside", option)
    expected = scipy.sparse.csc_matrix(scipy.io.mmread(str(cage_file.parent /
                                                           (cage_file.name + ".mtx"))),
                                       dtype=np.float32)
    binding = cagewarp.bind(cagewarp.read_cage(cage_file), cagewarp.read_model(model_file),
                            refine=operations, outside="nearest", reach=reach)
    assert_same_matrix(binding.matrix, expected)
    keep = cagewarp.bind(cagewarp.read_cage(cage_file), cagewarp.read_model(model_file),
                         refine=operations)
    assert len(binding.enclosed) > len(keep.enclosed)


@pytest.mark.parametrize("model_name", ["model.txt", "model.obj"])
@pytest.mark.parametrize("operations", ["", "bss"])
def test_deform_equals_the_programs(tmp_path, model_name, operations):
    """deform() gives the positions --deform writes, deform_file() the same bytes."""
    cage_file, model_file = tmp_path / "cage.txt", tmp_path / model_name
    cage_file.write_bytes((EXAMPLES / "cage.txt").read_bytes())
    points = cagewarp.read_model(EXAMPLES / "model.txt")
    if model_name.endswith(".obj"):
        model_file.write_text("# sphere\n" + "".join(f"v {x!r} {y!r} {z!r}\n"
                                                     for x, y, z in points.astype(float)))
    else:
        model_file.write_bytes((EXAMPLES / "model.txt").read_bytes())
    out = "out" + model_file.suffix
    run_program(tmp_path, cage_file.name, model_file.name, *operations,
                "--deform", EXAMPLES / "cage_bent.txt", out)
    moved = cagewarp.read_cage(EXAMPLES / "cage_bent.txt").points
    binding = cagewarp.bind(cagewarp.read_cage(cage_file), cagewarp.read_model(model_file),
                            refine=operations)
    if model_file.suffix == ".obj":  # OBJ keeps every float; mesh text has six digits
        np.testing.assert_array_equal(binding.deform(moved), cagewarp.read_model(tmp_path / out))
    binding.deform_file(model_file, moved, tmp_path / ("ours" + model_file.suffix))
    assert (tmp_path / ("ours" + model_file.suffix)).read_bytes() == (tmp_path / out).read_bytes()


def test_outside_vertices_keep_their_rest_positions(scene):
    cage_file, model_file = scene("mixed")
    points = cagewarp.read_model(model_file)
    binding = cagewarp.bind(cagewarp.read_cage(cage_file), points)
    assert 0 < len(binding.outside) < len(points)
    moved = cagewarp.read_cage(cage_file).points * 2
    deformed = binding.deform(moved)
    np.testing.assert_array_equal(deformed[binding.outside], points[binding.outside])
    assert binding.matrix[:, binding.outside].nnz == 0
