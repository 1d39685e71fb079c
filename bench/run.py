"""gesturon benchmark: prints figures, never fails on timing.

Run after installing the module:  python3 bench/run.py
Each section prints what it measured; targets are printed beside the figures
for the reader to judge, never enforced.
"""

import importlib
import math
import subprocess
import sys
import timeit
from pathlib import Path
from typing import Any

import gesturon

PROCEDURAL = [
    "bounce", "sway", "circle", "figure_eight", "step_touch", "box_step", "helix", "morvel_background",
    "single_stroke_roll", "double_stroke_roll", "multiple_bounce_roll", "single_paradiddle", "flam",
    "drag", "five_stroke_roll",
]


def ns_per_call(stmt: str, setup: str = "pass", number: int = 200_000, repeat: int = 5,
                globals_: dict[str, Any] | None = None) -> float:
    """Best of `repeat` runs, in nanoseconds per call."""
    timer = timeit.Timer(stmt, setup, globals=globals_)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def section(title: str) -> None:
    print(f"\n== {title}")


def procedural_calls() -> None:
    section("procedural functions (ns per call)")
    g = {"gesturon": gesturon, "math": math}
    base = ns_per_call("math.sin(0.5)", globals_=g)
    print(f"{'math.sin (reference)':<24} {base:8.1f}")
    for name in PROCEDURAL:
        t = ns_per_call(f"gesturon.{name}(12345)", globals_=g)
        print(f"{name:<24} {t:8.1f}   x{t / base:5.2f} of math.sin")


def sampling_by_name() -> None:
    section("sample(name, pip) (ns per call)")
    g = {"gesturon": gesturon}
    procedural = ns_per_call("gesturon.bounce(12345)", globals_=g)
    print(f"{'bounce(pip) directly':<40} {procedural:8.1f}")
    stored = [r["name"] for r in gesturon.catalogue()[15:]]
    cases = [("procedural 'five_stroke_roll'", "five_stroke_roll")]
    if stored:
        cases += [("first stored", stored[0]), ("middle stored", stored[len(stored) // 2]),
                  ("last stored", stored[-1])]
    for label, name in cases:
        t = ns_per_call(f"gesturon.sample({name!r}, 12345)", globals_=g)
        print(f"{label + ' ' + repr(name):<40} {t:8.1f}   x{t / procedural:5.2f} of a procedural call (target 1.3)")
    unknown = ns_per_call("try:\n    gesturon.sample('no_such_pattern', 1)\nexcept ValueError:\n    pass",
                          globals_=g, number=50_000)
    print(f"{'unknown name (raises ValueError)':<40} {unknown:8.1f}")


def catalogue_calls() -> None:
    section("catalogue()")
    g = {"gesturon": gesturon}
    t = ns_per_call("gesturon.catalogue()", globals_=g, number=200, repeat=5) / 1e6
    print(f"{len(gesturon.catalogue())} records: {t:.3f} ms per call")


def _measure_interpreter(code: str, runs: int = 15) -> tuple[float, int]:
    """Best wall time and the resident memory reported by a fresh interpreter."""
    script = ("import time, sys\nt0 = time.perf_counter()\n" + code +
              "\nt1 = time.perf_counter()\n"
              "rss = [l for l in open('/proc/self/status') if l.startswith('VmRSS')][0].split()[1]\n"
              "print(t1 - t0, rss)")
    best_time, rss = math.inf, 0
    for _ in range(runs):
        out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
        seconds, kib = out.stdout.split()
        best_time, rss = min(best_time, float(seconds)), int(kib)
    return best_time, rss


def import_cost() -> None:
    section("import (fresh interpreter)")
    bare_t, bare_rss = _measure_interpreter("pass")
    mod_t, mod_rss = _measure_interpreter("import gesturon")
    print(f"bare interpreter:      {bare_t * 1e3:7.2f} ms  {bare_rss / 1024:7.2f} MiB resident")
    print(f"after import gesturon: {mod_t * 1e3:7.2f} ms  {mod_rss / 1024:7.2f} MiB resident")
    print(f"import adds {(mod_t - bare_t) * 1e3:.2f} ms (target < 20) and "
          f"{(mod_rss - bare_rss) / 1024:.2f} MiB (target < 4)")


def other_sections() -> None:
    """Sections that live beside this script (bench_*.py with a run())."""
    here = Path(__file__).resolve().parent
    sys.path.insert(0, str(here))
    for path in sorted(here.glob("bench_*.py")):
        module = importlib.import_module(path.stem)
        section(path.stem.removeprefix("bench_"))
        module.run()


def main() -> None:
    print(f"gesturon from {gesturon.__file__}")
    procedural_calls()
    sampling_by_name()
    catalogue_calls()
    import_cost()
    other_sections()


if __name__ == "__main__":
    main()
