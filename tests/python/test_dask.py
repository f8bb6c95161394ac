"""Chunked binding on a Dask cluster equals the single-process binding, for uneven chunks (an
empty one, one wholly outside the cage) and when a worker dies mid-run."""

import os
import signal
import time

import dask.array as da
import numpy as np
import pytest

import cagewarp
import cagewarp.dask
from conftest import EXAMPLES, assert_same_matrix

distributed = pytest.importorskip("distributed")

CAGE = cagewarp.read_cage(EXAMPLES / "cage.txt")
MOVED = cagewarp.read_cage(EXAMPLES / "cage_bent.txt").points


def model(count, seed=3):
    """Points in and around the unit cube, then a block far outside it."""
    inside = np.random.default_rng(seed).uniform(-0.2, 1.2, (count, 3)).astype(np.float32)
    return np.vstack([inside, np.full((300, 3), 5, np.float32)])


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as connected:
            yield connected


def assert_same_as_single_process(binding, points, refine, **options):
    whole = cagewarp.bind(CAGE, points, refine=refine, **options)
    assert_same_matrix(binding.columns(), whole.matrix)
    np.testing.assert_array_equal(binding.enclosed(), whole.enclosed)
    deformed = binding.deform(MOVED)
    assert deformed.chunks[0] == binding.chunks
    np.testing.assert_array_equal(deformed.compute(), whole.deform(MOVED))


@pytest.mark.parametrize("refine,chunks,options", [
    ("", (1000, 0, 1700, 600), {}),   # an empty chunk; the last 300 points all outside
    ("bs", (1, 2999, 300), {}),
    ("bs", (1500, 1800), {"outside": "nearest", "coordinates": "trilinear"}),
])
def test_chunked_binding_equals_single_process(client, refine, chunks, options):
    points = model(3000)
    binding = cagewarp.dask.bind(CAGE, da.from_array(points, chunks=(chunks, 3)), refine=refine,
                                 **options)
    assert_same_as_single_process(binding, points, refine, **options)


def test_killed_worker_is_recovered(client, tmp_path):
    points = model(60000)
    binding = cagewarp.dask.bind(CAGE, da.from_array(points, chunks=(6030, 3)), refine="bss")
    # Kill a worker process while its chunks are being bound; its nanny starts a new one and
    # Dask computes the lost chunks again.
    pid = next(iter(client.run(os.getpid).values()))
    time.sleep(0.3)
    os.kill(pid, signal.SIGKILL)
    assert_same_as_single_process(binding, points, "bss")
    assert pid not in client.run(os.getpid).values()
    binding.to_mtx(tmp_path / "d.mtx")
    assert (tmp_path / "d.mtx").stat().st_size > 0
