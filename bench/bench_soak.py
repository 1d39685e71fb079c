"""Resident-memory soak: builds and drops every class of the module, and
walks every error path, 10,000 times each (the library whose samples pass
the limit 500 times: each round copies a million samples), printing how much
the resident memory grew over each case. Growth that stays near zero means
nothing is kept behind. Prints figures only.

Run alone with: PYTHONPATH=<dir holding the built module> python3 bench/bench_soak.py
"""

import gc
import pickle
from typing import Any, Callable

import gesturon
from measure import figure, resident_bytes

ROUNDS = 10_000
ROWS = [(i / 64.0, -i / 128.0, 0.0) for i in range(64)]
BOUNCE = [gesturon.bounce(i).as_tuple() for i in range(64)]
PATTERN = gesturon.SampledPattern("soak", "soak pattern", ROWS)
ONE_ROW = gesturon.SampledPattern("one", "", [(0.0, 0.0, 0.0)])
FULL = [gesturon.SampledPattern(f"full_{i}", "", [(0.0, 0.0, 0.0)] * 65535) for i in range(17)]
REC_ROWS = [[0.25, -0.5]] * 256


def pattern_with(**changes: Any) -> Callable[[], object]:
    args: dict[str, Any] = {"name": "p", "description": "", "samples": ROWS} | changes
    return lambda: gesturon.SampledPattern(**args)


def recording_with(**changes: Any) -> Callable[[], object]:
    args: dict[str, Any] = {"name": "r", "dimensions": ["x", "y"], "samples": REC_ROWS, "bpm": 120.0} | changes
    return lambda: gesturon.SampledRecording(**args)


def use_pattern() -> None:
    p = gesturon.SampledPattern("built", "a pattern", ROWS)
    p.sample(77), p.name, p.description


def use_library() -> None:
    library = gesturon.PatternLibrary([PATTERN, gesturon.SampledPattern("bounce", "One-beat vertical bounce", BOUNCE)])
    library.sample("soak", 5), library.sample("bounce", 5), library.catalogue()


def use_recording() -> None:
    r = gesturon.SampledRecording("rec", ["x", "y"], REC_ROWS, 120.0, 0.5, -10)
    r.sample(0), r.dimensions, r.name


# (label, what one round does, rounds); every refused call is expected to raise.
CASES: list[tuple[str, Callable[[], object], int]] = [
    ("SampledPattern built, sampled, dropped", use_pattern, ROUNDS),
    ("PatternLibrary built, sampled, listed, dropped", use_library, ROUNDS),
    ("SampledRecording built, sampled, dropped", use_recording, ROUNDS),
    ("catalogue()", gesturon.catalogue, ROUNDS),
    ("sample: unknown name", lambda: gesturon.sample("no_such_pattern", 1), ROUNDS),
    ("sample: pip not a 32-bit int", lambda: gesturon.sample("bounce", 2**31), ROUNDS),
    ("SampledPattern: invalid name", pattern_with(name="Bad"), ROUNDS),
    ("SampledPattern: no samples", pattern_with(samples=[]), ROUNDS),
    ("SampledPattern: value out of range", pattern_with(samples=ROWS + [(0.0, 2.0, 0.0)]), ROUNDS),
    ("SampledPattern: row not a triple", pattern_with(samples=ROWS + [(0.0, 0.0)]), ROUNDS),
    ("SampledPattern: unbuilt instance", lambda: gesturon.SampledPattern.__new__(gesturon.SampledPattern).sample(0),
     ROUNDS),
    ("SampledPattern: pickled", lambda: pickle.dumps(PATTERN), ROUNDS),
    ("PatternLibrary: too many patterns", lambda: gesturon.PatternLibrary([ONE_ROW] * 1025), ROUNDS),
    ("PatternLibrary: duplicate name", lambda: gesturon.PatternLibrary([PATTERN, PATTERN]), ROUNDS),
    ("PatternLibrary: pack too large", lambda: gesturon.PatternLibrary(FULL), 500),
    ("PatternLibrary: built-in overridden",
     lambda: gesturon.PatternLibrary([gesturon.SampledPattern("bounce", "changed", BOUNCE)]), ROUNDS),
    ("PatternLibrary: unknown name", lambda: gesturon.PatternLibrary().sample("no_such_pattern", 1), ROUNDS),
    ("SampledRecording: invalid identifier", recording_with(dimensions=["x", "Y"]), ROUNDS),
    ("SampledRecording: bad tempo", recording_with(bpm=0.0), ROUNDS),
    ("SampledRecording: empty", recording_with(samples=[]), ROUNDS),
    ("SampledRecording: duplicate axis", recording_with(dimensions=["x", "x"]), ROUNDS),
    ("SampledRecording: ragged rows", recording_with(samples=REC_ROWS + [[0.0]]), ROUNDS),
    ("SampledRecording: invalid sample", recording_with(samples=REC_ROWS + [[0.0, float("nan")]]), ROUNDS),
    ("SampledRecording: pip outside", lambda: gesturon.SampledRecording("r", ["x"], [[0.0]], 120.0).sample(1),
     ROUNDS),
]


def growth_kib(step: Callable[[], object], rounds: int) -> int:
    def attempt() -> None:
        try:
            step()
        except (ValueError, TypeError, IndexError):
            pass

    for _ in range(100):  # warm up allocator pools and pybind11's caches
        attempt()
    gc.collect()
    before = resident_bytes()
    for _ in range(rounds):
        attempt()
    gc.collect()
    return (resident_bytes() - before) // 1024


def run() -> None:
    for label, step, rounds in CASES:
        growth = growth_kib(step, rounds)
        figure(label, f"{growth:+d} KiB in {rounds} rounds")


if __name__ == "__main__":
    run()
