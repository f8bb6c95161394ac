"""cagewarp.dask against the single-process module: binding and deforming M points (default
4 M) in a warped hexahedral cage of K^3 cells (default 10) with 1 and 2 local worker processes,
with wall times, peak memory per worker and the speed-up.

From the repository root, after a release build with the module:
    PYTHONPATH=build/release/python python3 bench/dask_bench.py [K] [M] [CHUNK] [OPERATIONS]
The machine may be shared: compare the figures of one run with each other.
"""

import subprocess
import sys
import tempfile
import time
from pathlib import Path

import dask.array as da
import distributed
import numpy as np

import cagewarp
import cagewarp.dask

ROOT = Path(__file__).resolve().parent.parent


def peak_kib() -> int:
    """The process's own peak resident memory (VmHWM: unlike getrusage's, not inherited from
    the process that started it)."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main() -> None:
    k = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    m = int(sys.argv[2]) if len(sys.argv) > 2 else 4_000_000
    chunk = int(sys.argv[3]) if len(sys.argv) > 3 else 250_000
    operations = sys.argv[4] if len(sys.argv) > 4 else ""
    with tempfile.TemporaryDirectory() as work:
        cage_file = Path(work) / "cage.txt"
        subprocess.run([str(ROOT / "build/release/make_scene"), "cage", str(k), str(cage_file)],
                       check=True)
        cage = cagewarp.read_cage(cage_file)
    points = np.random.default_rng(1).uniform(-0.05, 1.05, (m, 3)).astype(np.float32)
    moved = cage.points * np.float32(1.1)
    tables = ROOT / "tab"
    print(f"scene: {cage}, {m} points in chunks of {chunk}, operations: {operations or 'none'}")

    start = time.perf_counter()
    single = cagewarp.bind(cage, points, refine=operations, tables=tables, threads=1)
    bound = time.perf_counter()
    single.deform(moved)
    single_bind, single_deform = bound - start, time.perf_counter() - bound
    print(f"single process, 1 thread: bind {single_bind:.2f} s, deform {single_deform:.3f} s, "
          f"peak {peak_kib() / 1024:.0f} MiB")
    del single

    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, \
                distributed.Client(cluster) as client:
            array = da.from_array(points, chunks=(chunk, 3))
            array = client.persist(array)  # the points on the workers, as a cluster holds them
            distributed.wait(array)
            before = client.run(peak_kib)
            start = time.perf_counter()
            binding = cagewarp.dask.bind(cage, array, refine=operations, tables=tables)
            distributed.wait(binding._chunks)
            bound = time.perf_counter()
            binding.deform(moved).sum().compute()
            done = time.perf_counter()
            peaks = client.run(peak_kib)
            growth = max(peaks[w] - before[w] for w in peaks)
            peaks = peaks.values()
            print(f"{workers} worker(s): bind {bound - start:.2f} s "
                  f"(speed-up {single_bind / (bound - start):.2f}), deform {done - bound:.3f} s, "
                  f"peak per worker {', '.join(f'{p / 1024:.0f}' for p in peaks)} MiB "
                  f"(growth while binding and deforming: {1024 * growth * workers / m:.0f} bytes per "
                  f"model point held)")


if __name__ == "__main__":
    main()
