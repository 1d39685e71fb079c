"""Memory soak and call cost of caller-made patterns and libraries.

Builds and drops 10,000 patterns and libraries (with refused constructions
and unbuilt instances mixed in) and prints the resident memory before and
after, which should stay flat; then prints the cost of one
SampledPattern.sample and one PatternLibrary.sample call. Prints figures
only and never fails on timing.

Run alone with: PYTHONPATH=<dir holding the built module> python3 bench/bench_patterns.py
"""

import gc
import timeit

import gesturon
from measure import resident_bytes

ROUNDS = 10_000
CALLS = 200_000
ROWS = [(i / 64.0, -i / 128.0, 0.0) for i in range(64)]
BOUNCE = [gesturon.bounce(i).as_tuple() for i in range(64)]


def resident_kib() -> int:
    return resident_bytes() // 1024


def one_round(i: int) -> None:
    """Build, use and drop one pattern and one library, and have one of each refused."""
    p = gesturon.SampledPattern(f"soak_{i}", "soak pattern", ROWS)
    kept = gesturon.SampledPattern("bounce", "One-beat vertical bounce", BOUNCE)  # dropped as identical
    library = gesturon.PatternLibrary([p, kept])
    library.sample(p.name, i)
    library.catalogue()
    for refused in (
        lambda: gesturon.SampledPattern("soak", "", ROWS + [(2.0, 0.0, 0.0)]),
        lambda: gesturon.PatternLibrary([p, p]),
        lambda: gesturon.SampledPattern.__new__(gesturon.SampledPattern).sample(0),
    ):
        try:
            refused()
        except (ValueError, TypeError):
            pass


def soak() -> None:
    for i in range(100):  # warm up allocator pools and pybind11's caches
        one_round(i)
    gc.collect()
    before = resident_kib()
    for i in range(ROUNDS):
        one_round(i)
    gc.collect()
    after = resident_kib()
    print(f"resident memory: {before} KiB before, {after} KiB after {ROUNDS} rounds ({after - before:+d} KiB)")


def call_cost() -> None:
    pattern = gesturon.SampledPattern("timed", "", ROWS)
    many = [gesturon.SampledPattern(f"user_{i}", "", ROWS) for i in range(1023)] + [pattern]
    for label, library in (("1 user pattern", gesturon.PatternLibrary([pattern])),
                           ("1024 user patterns, last one", gesturon.PatternLibrary(many))):
        seconds = timeit.timeit("library.sample('timed', 1000)", globals={"library": library}, number=CALLS)
        print(f"PatternLibrary.sample ({label}): {seconds / CALLS * 1e9:.0f} ns per call")
    seconds = timeit.timeit("pattern.sample(1000)", globals={"pattern": pattern}, number=CALLS)
    print(f"SampledPattern.sample: {seconds / CALLS * 1e9:.0f} ns per call")
    seconds = timeit.timeit("sample('bounce', 1000)", globals={"sample": gesturon.sample}, number=CALLS)
    print(f"module sample (for comparison): {seconds / CALLS * 1e9:.0f} ns per call")


def run() -> None:
    soak()
    call_cost()


if __name__ == "__main__":
    run()
