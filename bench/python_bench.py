#!/usr/bin/env python3
"""recfile against the C++ walk of the host library, in the same run (a benchmark, not a test).

  PYTHONPATH=build/release/python python3 bench/python_bench.py [folder]

Writes two recordings with the library's writer: 1 million small packages and 2,000 packages of
64 KiB. Reports packages per second of rec.table() and of iterating payloads from Python, each
as a fraction of the C++ walk (goals: at least 0.5 and 0.7).
"""
import os
import sys
import tempfile
import time

import recfile
from recfile import _recfile


def best_of(runs, work):
    best = None
    for _ in range(runs):
        started = time.perf_counter()
        result = work()
        took = time.perf_counter() - started
        best = took if best is None else min(best, took)
    return best, result


def cxx_walk(path):
    return min(_recfile._cxx_walk(path)[2] for _ in range(3))


def table_seconds(path):
    with recfile.open(path) as rec:
        took, frame = best_of(3, rec.table)
    return took, len(frame)


def payload_seconds(path):
    def walk():
        total = 0
        with recfile.open(path) as rec:
            for package in rec.packages():
                total += package.data.nbytes
        return total

    return best_of(3, walk)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="recfile-bench-")
    small, large = os.path.join(folder, "small.rec"), os.path.join(folder, "large.rec")
    if not os.path.exists(small):
        _recfile._write_bench_recording(small, 1_000_000, 16)
    if not os.path.exists(large):
        _recfile._write_bench_recording(large, 2_000, 64 * 1024)

    cxx, (took, rows) = cxx_walk(small), table_seconds(small)
    print(f"table over {rows} packages: {rows / took:,.0f} packages/s, C++ walk {rows / cxx:,.0f} packages/s: "
          f"{cxx / took:.2f} x (goal 0.5)")
    cxx, (took, size) = cxx_walk(large), payload_seconds(large)
    print(f"64 KiB payloads from Python: {size / took / 2**20:,.0f} MiB/s, C++ walk {size / cxx / 2**20:,.0f} MiB/s: "
          f"{cxx / took:.2f} x (goal 0.7)")


if __name__ == "__main__":
    main()
