"""Cages and bindings as Python values: construction from arrays in any layout, meshio,
pickling, refinement in steps, thread counts, repr."""

import pickle
import subprocess

import meshio
import numpy as np
import pytest

import cagewarp
from conftest import EXAMPLES, MIXED_CAGE, assert_same_matrix


@pytest.fixture(scope="module")
def example():
    return cagewarp.read_cage(EXAMPLES / "cage.txt"), cagewarp.read_model(EXAMPLES / "model.txt")


def layouts(points):
    return [points, points.astype(np.float64), np.asfortranarray(points),
            np.asfortranarray(points.astype(np.float64))]


def test_any_input_layout_gives_the_same_binding(example):
    cage, model = example
    reference = cagewarp.bind(cage, model).matrix
    for points in layouts(model):
        rebuilt = cagewarp.Cage(layouts(cage.points)[1], cage.cells)
        assert rebuilt == cage
        assert_same_matrix(cagewarp.bind(rebuilt, points).matrix, reference)


@pytest.mark.parametrize("operations", ["", "b", "bss"])
def test_pickle_round_trip_is_identical(example, operations):
    cage, model = example
    refined = cage.refine(operations) if operations else cage
    copy = pickle.loads(pickle.dumps(refined))
    assert copy == refined and repr(copy) == repr(refined)
    np.testing.assert_array_equal(copy.weights.toarray(), refined.weights.toarray())
    assert_same_matrix(cagewarp.bind(copy, model).matrix, cagewarp.bind(refined, model).matrix)


def test_refining_in_steps_equals_refining_at_once(example):
    cage, model = example
    at_once = cage.refine("bss")
    in_steps = cage.refine("b").refine(["s", "s"])
    assert in_steps == at_once
    assert in_steps.given == cage
    assert_same_matrix(cagewarp.bind(in_steps, model).matrix,
                       cagewarp.bind(cage, model, refine="b s s").matrix)


def test_results_do_not_depend_on_the_thread_count(example):
    cage, model = example
    one, two = (cagewarp.bind(cage, model, refine="bss", threads=t) for t in (1, 2))
    assert_same_matrix(one.matrix, two.matrix)
    assert one.cage == two.cage


def test_refined_weights_reproduce_the_refined_positions(example):
    """Weights are over the cage as given: given points times weights are the refined
    points (to rounding)."""
    cage, _ = example
    refined = cage.refine("bs")
    np.testing.assert_allclose(refined.weights.T @ cage.points, refined.points, atol=1e-5)
    assert refined.weights.shape == (64, len(refined.points))


def test_repr_shows_the_counts(example, tmp_path):
    cage, model = example
    assert repr(cage) == "Cage(64 vertices, cells {hexahedron: 27})"
    far = np.vstack([model, [[9, 9, 9]]])
    assert repr(cagewarp.bind(cage, far)) == (
        "Binding(64 cage vertices, 3123 model vertices: 3122 enclosed, 1 outside)")


def gmsh_prism_cage(folder):
    """A box of prisms made by gmsh: a triangulated square extruded in two layers."""
    geometry = folder / "prisms.geo"
    geometry.write_text(
        "Point(1) = {0, 0, 0, 0.5}; Point(2) = {1, 0, 0, 0.5}; Point(3) = {1, 1, 0, 0.5};\n"
        "Point(4) = {0, 1, 0, 0.5}; Line(1) = {1, 2}; Line(2) = {2, 3}; Line(3) = {3, 4};\n"
        "Line(4) = {4, 1}; Curve Loop(1) = {1, 2, 3, 4}; Plane Surface(1) = {1};\n"
        "Extrude {0, 0, 1} { Surface{1}; Layers{2}; Recombine; }\n")
    mesh_file = folder / "prisms.msh"
    subprocess.run(["gmsh", "-3", "-format", "msh22", str(geometry), "-o", str(mesh_file)],
                   check=True, capture_output=True)
    return mesh_file


def test_meshio_cage_binds_as_the_file_does(tmp_path):
    mesh_file = gmsh_prism_cage(tmp_path)
    from_file = cagewarp.read_cage(mesh_file)
    from_meshio = cagewarp.Cage.from_meshio(meshio.read(mesh_file))
    assert "wedge" in from_file.cells and from_meshio == from_file
    model = np.random.default_rng(7).uniform(-0.1, 1.1, (500, 3)).astype(np.float32)
    assert_same_matrix(cagewarp.bind(from_meshio, model, refine="bs").matrix,
                       cagewarp.bind(from_file, model, refine="bs").matrix)
    # And back: meshio's orders out, cagewarp's in, the same cage.
    assert cagewarp.Cage.from_meshio(from_file.to_meshio()) == from_file


def test_written_cage_reads_back(tmp_path):
    (tmp_path / "mixed.txt").write_text(MIXED_CAGE)
    cage = cagewarp.read_cage(tmp_path / "mixed.txt")
    cagewarp.write_cage(cage, tmp_path / "copy.txt")
    assert cagewarp.read_cage(tmp_path / "copy.txt") == cage
    # VTK has no octahedron: it comes back as four tetrahedra, as to_meshio gives it.
    cagewarp.write_cage(cage, tmp_path / "copy.vtk")
    tetrahedra = cagewarp.read_cage(tmp_path / "copy.vtk").cells["tetra"]
    assert len(tetrahedra) == len(cage.cells["tetra"]) + 4
    assert sum(len(c.data) for c in cage.to_meshio().cells if c.type == "tetra") == 6
