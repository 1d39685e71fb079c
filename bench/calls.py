"""What each call of the module costs, next to its floor: the same call made
to a bare pybind11 extension (bench/floor) with the same signature that does
no work. Both are timed in the same run, interleaved, and the cost of the
timing loop itself is taken off both, so a ratio of 1.00 means the module
adds nothing measurable to pybind11's own dispatch and conversions.

Run alone with: python3 bench/calls.py (builds the floor on first use).
"""

from __future__ import annotations

import importlib
import subprocess
import sys
import timeit
from pathlib import Path
from types import ModuleType
from typing import Any

import gesturon
from measure import figure

ROOT = Path(__file__).resolve().parents[1]
FLOOR_SOURCE = ROOT / "bench" / "floor"
FLOOR_BUILD = ROOT / "build" / "bench-floor"

PROCEDURAL = [
    "bounce", "sway", "circle", "figure_eight", "step_touch", "box_step", "helix", "morvel_background",
    "single_stroke_roll", "double_stroke_roll", "multiple_bounce_roll", "single_paradiddle", "flam",
    "drag", "five_stroke_roll",
]
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


def best_ns(stmt: str, names: dict[str, Any]) -> float:
    """Best of REPEAT runs of NUMBER calls, in ns per call."""
    return min(timeit.repeat(stmt, globals=names, number=NUMBER, repeat=1)) / NUMBER * 1e9


def paired(stmt: str, names: dict[str, Any], floor_stmt: str, floor_names: dict[str, Any]) -> tuple[float, float]:
    """ns per call of a module statement and of its floor, net of the timing
    loop, each the best of interleaved runs."""
    loop = mine = floor = float("inf")
    best_ns(stmt, names), best_ns(floor_stmt, floor_names)  # warm both up
    for _ in range(REPEAT):
        loop = min(loop, best_ns("pass", {}))
        mine = min(mine, best_ns(stmt, names))
        floor = min(floor, best_ns(floor_stmt, floor_names))
    return mine - loop, floor - loop


def row(label: str, mine: float, floor: float) -> float:
    ratio = mine / floor
    figure(label, f"{mine:6.1f} / {floor:5.1f} ns  x{ratio:4.2f}", f"x{FLOOR_TARGET}", ratio <= FLOOR_TARGET)
    return ratio


def user_library() -> tuple[gesturon.PatternLibrary, list[str]]:
    """A library of the most user patterns one may hold, named as a user
    might name them."""
    rows = [(i / 64.0, -i / 128.0, 0.0) for i in range(64)]
    names = [f"my_move_{i}" for i in range(gesturon.PatternLibrary.max_patterns if hasattr(
        gesturon.PatternLibrary, "max_patterns") else 1024)]
    return gesturon.PatternLibrary([gesturon.SampledPattern(n, "", rows) for n in names]), names


def run() -> None:
    floor = build_floor()
    point = {"f": floor.point}
    named = {"f": floor.sample}
    table = floor.Table()
    method = {"f": table.sample}
    print("  (module ns / floor ns per call, net of the timing loop)")

    for name in PROCEDURAL:
        row(f"{name}(pip)", *paired("f(12345)", {"f": getattr(gesturon, name)}, "f(12345)", point))

    stored = [r["name"] for r in gesturon.catalogue()[15:]]
    for label, name in (("procedural", "five_stroke_roll"), ("first stored", stored[0]),
                        ("middle stored", stored[len(stored) // 2]), ("last stored", stored[-1])):
        stmt = f"f({name!r}, 12345)"
        row(f"sample({label} {name!r})"[:52], *paired(stmt, {"f": gesturon.sample}, stmt, named))

    pattern = gesturon.SampledPattern("mine", "", [(i / 64.0, 0.0, 0.0) for i in range(64)])
    row("SampledPattern.sample(pip)", *paired("f(1000)", {"f": pattern.sample}, "f(1000)", method))

    library, names = user_library()
    library_floor = {"f": table.sample_named}
    by_name: dict[str, float] = {}
    for label, name in (("built-in", stored[len(stored) // 2]), ("first user", names[0]),
                        ("1024th user", names[-1])):
        stmt = f"f({name!r}, 1000)"
        mine, base = paired(stmt, {"f": library.sample}, stmt, library_floor)
        row(f"PatternLibrary.sample({label} {name!r})"[:52], mine, base)
        by_name[label] = mine
    depth = by_name["1024th user"] / by_name["first user"]
    figure("PatternLibrary: 1024th user pattern / first", f"x{depth:4.2f}", f"x{LIBRARY_DEPTH_TARGET}",
           depth <= LIBRARY_DEPTH_TARGET)

    recording = gesturon.SampledRecording("take", ["x", "y", "z"], [[0.0, 0.0, 0.0]] * 4096, 120.0)
    axes = floor.Table(3)
    row("SampledRecording.sample(pip), 3 axes",
        *paired("f(1000)", {"f": recording.sample}, "f(1000)", {"f": axes.row}))


if __name__ == "__main__":
    run()
