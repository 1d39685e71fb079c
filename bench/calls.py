"""What each call of the module costs, next to its floor: the same call made
to a bare pybind11 extension (bench/floor) with the same signature that does
no work. Both are timed in the same run, interleaved, and the cost of the
timing loop itself is taken off both, so a ratio of 1.00 means the module
adds nothing measurable to pybind11's own dispatch and conversions.

Run alone with: python3 bench/calls.py (builds the floor on first use).
"""

from __future__ import annotations

import importlib
import math
import shutil
import subprocess
import sys
import timeit
from dataclasses import dataclass
from pathlib import Path
from types import ModuleType
from typing import Any

import gesturon
from gesturon_tools.catalogue import PROCEDURAL_NAMES as PROCEDURAL
from measure import figure

ROOT = Path(__file__).resolve().parents[1]
FLOOR_SOURCE = ROOT / "bench" / "floor"
FLOOR_BUILD = ROOT / "build" / "bench-floor"

FLOOR_TARGET = 1.15
LIBRARY_DEPTH_TARGET = 1.3
NUMBER = 20_000
REPEAT = 31


def build_floor() -> ModuleType:
    """Configure and build the floor extension with this interpreter's
    pybind11 (quick when it is up to date) and import it."""
    cmake_dir = subprocess.run([sys.executable, "-m", "pybind11", "--cmakedir"],
                               capture_output=True, text=True, check=True).stdout.strip()
    subprocess.run(["cmake", "-S", str(FLOOR_SOURCE), "-B", str(FLOOR_BUILD), f"-Dpybind11_DIR={cmake_dir}",
                    f"-DPython_EXECUTABLE={sys.executable}", "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, capture_output=True)
    subprocess.run(["cmake", "--build", str(FLOOR_BUILD)], check=True, capture_output=True)
    sys.path.insert(0, str(FLOOR_BUILD))
    return importlib.import_module("gesturon_floor")


def ns_per_call(stmt: str, names: dict[str, Any]) -> float:
    """One run of NUMBER calls, in ns per call."""
    return timeit.timeit(stmt, globals=names, number=NUMBER) / NUMBER * 1e9


@dataclass
class Pair:
    """A module call and its floor call, with the best time seen for each."""
    label: str
    stmt: str
    names: dict[str, Any]
    floor_names: dict[str, Any]
    mine: float = math.inf
    floor: float = math.inf


def measure(pairs: list[Pair]) -> float:
    """Time every pair in REPEAT passes over the whole list, module and floor
    side by side, so that a spell of interference on the machine spoils one
    pass of every pair rather than every pass of one. Returns the best time
    of the empty timing loop, to be taken off both."""
    loop = math.inf
    for pair in pairs:  # warm up
        ns_per_call(pair.stmt, pair.names), ns_per_call(pair.stmt, pair.floor_names)
    for _ in range(REPEAT):
        loop = min(loop, ns_per_call("pass", {}))
        for pair in pairs:
            pair.mine = min(pair.mine, ns_per_call(pair.stmt, pair.names))
            pair.floor = min(pair.floor, ns_per_call(pair.stmt, pair.floor_names))
    return loop


def user_library() -> tuple[gesturon.PatternLibrary, list[str]]:
    """A library of the most user patterns one may hold (1024), named as a
    user might name them."""
    rows = [(i / 64.0, -i / 128.0, 0.0) for i in range(64)]
    names = [f"my_move_{i}" for i in range(1024)]
    return gesturon.PatternLibrary([gesturon.SampledPattern(n, "", rows) for n in names]), names


def run() -> None:
    if shutil.which("cmake") is None:
        print("  CMake is not on PATH, so the floor module cannot be built: pip install cmake")
        return
    floor = build_floor()
    table = floor.Table()
    point, named, method = {"f": floor.point}, {"f": floor.sample}, {"f": table.sample}
    stored = [r["name"] for r in gesturon.catalogue()[15:]]
    pattern = gesturon.SampledPattern("mine", "", [(i / 64.0, 0.0, 0.0) for i in range(64)])
    library, names = user_library()
    recording = gesturon.SampledRecording("take", ["x", "y", "z"], [[0.0, 0.0, 0.0]] * 4096, 120.0)

    pairs = [Pair(f"{name}(pip)", "f(12345)", {"f": getattr(gesturon, name)}, point) for name in PROCEDURAL]
    for label, name in (("procedural", "five_stroke_roll"), ("first stored", stored[0]),
                        ("middle stored", stored[len(stored) // 2]), ("last stored", stored[-1])):
        pairs.append(Pair(f"sample({label} {name!r})", f"f({name!r}, 12345)", {"f": gesturon.sample}, named))
    pairs.append(Pair("SampledPattern.sample(pip)", "f(1000)", {"f": pattern.sample}, method))
    library_pairs = [Pair(f"PatternLibrary.sample({label} {name!r})", f"f({name!r}, 1000)",
                          {"f": library.sample}, {"f": table.sample_named})
                     for label, name in (("built-in", stored[len(stored) // 2]), ("first user", names[0]),
                                         ("1024th user", names[-1]))]
    pairs += library_pairs
    pairs.append(Pair("SampledRecording.sample(pip), 3 axes", "f(1000)", {"f": recording.sample},
                      {"f": floor.Table(3).row}))

    loop = measure(pairs)
    print(f"  (module / floor, ns per call net of the {loop:.0f} ns timing loop, best of {REPEAT} passes)")
    for pair in pairs:
        mine, base = pair.mine - loop, pair.floor - loop
        ratio = mine / base
        figure(pair.label[:52], f"{mine:6.1f} / {base:5.1f} ns  x{ratio:4.2f}", f"x{FLOOR_TARGET}",
               ratio <= FLOOR_TARGET)
    first, last = library_pairs[1].mine - loop, library_pairs[2].mine - loop
    figure("PatternLibrary: 1024th user pattern / first", f"x{last / first:4.2f}", f"x{LIBRARY_DEPTH_TARGET}",
           last / first <= LIBRARY_DEPTH_TARGET)


if __name__ == "__main__":
    run()
