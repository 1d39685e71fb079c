"""Call cost of caller-made patterns and libraries: one SampledPattern.sample
and one PatternLibrary.sample call (the memory soak of every class is
bench_soak.py). Prints figures only and never fails on timing.

Run alone with: PYTHONPATH=<dir holding the built module> python3 bench/bench_patterns.py
"""

import timeit

import gesturon

CALLS = 200_000
ROWS = [(i / 64.0, -i / 128.0, 0.0) for i in range(64)]


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
    call_cost()


if __name__ == "__main__":
    run()
