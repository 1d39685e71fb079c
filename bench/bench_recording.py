"""Time and memory of SampledRecording: building a one-axis recording of
1,000,000 rows from a Python list, the memory it holds, and the cost of one
sample() call. Prints figures only; nothing here fails on timing.

Run with gesturon importable, for example:
    PYTHONPATH=build/dev/python python3 bench/bench_recording.py
"""
import resource
import time
import timeit

import gesturon
from measure import figure, resident_bytes

ROWS = 1_000_000
SAMPLE_CALLS = 200_000


def run() -> None:
    rows = [[((i % 2001) - 1000) / 1000.0] for i in range(ROWS)]
    before = resident_bytes()
    start = time.perf_counter()
    rec = gesturon.SampledRecording("bench", ["x"], rows, 120.0)
    build_s = time.perf_counter() - start
    held = resident_bytes() - before
    figure(f"build {ROWS:,} one-axis rows from a list", f"{build_s * 1e3:.1f} ms")
    figure("  per row", f"{build_s * 1e9 / ROWS:.1f} ns")
    figure("resident memory held by the recording", f"{held / 2**20:.1f} MiB")
    figure("  of which the values alone", f"{ROWS * 8 / 2**20:.1f} MiB")

    pips = [(i * 7919) % ROWS for i in range(1024)]
    sample = rec.sample

    def calls() -> None:
        for p in pips:
            sample(p)

    repeats = SAMPLE_CALLS // len(pips)
    best = min(timeit.repeat(calls, number=repeats, repeat=5))
    figure("sample(pip), per call", f"{best * 1e9 / (repeats * len(pips)):.0f} ns")

    del rows, rec
    row = [0.5]
    start = time.perf_counter()
    gesturon.SampledRecording("largest", ["x"], [row] * 2**23, 120.0)
    figure("build the largest recording (2^23 one-axis rows)", f"{(time.perf_counter() - start) * 1e3:.1f} ms")
    figure("peak resident memory of the process", f"{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.1f} MiB")


if __name__ == "__main__":
    run()
