"""The Python module against the program on the same scene: binding M points (default 1 M) to a
warped hexahedral cage of K^3 cells (default 10), phase for phase, and deforming the bound model.

From the repository root, after a release build with the module:
    PYTHONPATH=build/release/python python3 bench/python_bench.py [K] [M] [OPERATIONS]
The machine may be shared: compare the figures of one run with each other.
"""

import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

import cagewarp

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "release"
# The phases a bind covers; reading the files and writing D are the program's alone.
BIND_PHASES = ("append weight rows", "add boundary", "linear subdivision", "normal subdivision",
               "relate (locate, D, sparse)")


def program_phases(k: int, m: int, operations: str, threads: int) -> float:
    """Seconds the program spends in the bind phases (phase_bench --run-only), same scene."""
    done = subprocess.run(
        [str(BUILD / "bench" / "phase_bench"), str(ROOT / "tab"), str(k), str(m), *operations,
         "--run-only", "--threads", str(threads)],
        check=True, capture_output=True, text=True)
    total = 0.0
    for line in done.stdout.splitlines():
        for phase in BIND_PHASES:
            if line.startswith(phase):
                total += float(line[len(phase):].split()[0])
    return total


def best_of(runs: int, work) -> float:
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def main() -> None:
    k = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    m = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    operations = sys.argv[3] if len(sys.argv) > 3 else ""
    with tempfile.TemporaryDirectory() as work:
        cage_file, model_file = Path(work) / "cage.txt", Path(work) / "model.txt"
        subprocess.run([str(BUILD / "make_scene"), "cage", str(k), str(cage_file)], check=True)
        subprocess.run([str(BUILD / "make_scene"), "points", str(m), "1", str(model_file)],
                       check=True)
        cage, points = cagewarp.read_cage(cage_file), cagewarp.read_model(model_file)
    print(f"scene: {cage}, {m} model points, operations: {operations or 'none'}")
    cagewarp.bind(cage, points[:10], tables=ROOT / "tab")  # loads the tables, as the program
    # Best of three each, alternating: other work on a shared machine only ever adds time.
    for threads in (1, 2):
        program = min(program_phases(k, m, operations, threads) for _ in range(3))
        module = best_of(3, lambda: cagewarp.bind(cage, points, refine=operations,
                                                  tables=ROOT / "tab", threads=threads))
        print(f"bind, {threads} thread(s), best of 3: program {program:.3f} s, "
              f"module {module:.3f} s ({100 * (module / program - 1):+.1f} %)")
    binding = cagewarp.bind(cage, points, refine=operations, tables=ROOT / "tab")
    print(binding)
    per_vertex = binding.matrix.nnz / max(1, len(binding.enclosed))
    moved = cage.points * np.float32(1.1)
    seconds = best_of(10, lambda: binding.deform(moved))
    print(f"deform of {m} vertices, {per_vertex:.1f} weights each, one thread: "
          f"{1000 * seconds:.1f} ms (best of 10)")


if __name__ == "__main__":
    main()
