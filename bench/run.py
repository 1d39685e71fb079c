"""gesturon benchmark: prints figures, never fails on timing.

Run after installing the module (with the `bench` extra for NumPy and the
floor's build tools):  python3 bench/run.py

Every figure is printed beside its target and whether it met it, in one run:
the call costs next to their pybind11 floor, the lookups a user would write
instead, the catalogue, the import, the companion (player frames, DMX,
export, the gallery command, arrays), a recording, a memory soak, a clean
install and the gallery. Set GESTURON_BENCH_SKIP_INSTALL=1 to leave out the
clean install, which takes minutes.
"""

from __future__ import annotations

import importlib
import math
import os
import platform
import subprocess
import sys
import timeit
from collections.abc import Callable
from pathlib import Path

import gesturon

sys.path.insert(0, str(Path(__file__).resolve().parent))

from measure import figure  # noqa: E402

CATALOGUE_TARGET_MS = 1.5
IMPORT_TARGET_MS = 20.0
IMPORT_TARGET_MIB = 4.0


def catalogue_calls() -> None:
    number = 200
    seconds = min(timeit.repeat(gesturon.catalogue, number=number, repeat=7)) / number
    records = len(gesturon.catalogue())
    figure(f"catalogue(), {records} records", f"{seconds * 1e3:6.3f} ms", f"< {CATALOGUE_TARGET_MS} ms",
           seconds * 1e3 < CATALOGUE_TARGET_MS)


def _measure_interpreter(code: str, runs: int = 15) -> tuple[float, int]:
    """Best wall time of `code` and the resident KiB after it, in a fresh
    interpreter."""
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
    bare_t, bare_rss = _measure_interpreter("pass")
    mod_t, mod_rss = _measure_interpreter("import gesturon")
    _, sampled_rss = _measure_interpreter("import gesturon\nfor r in gesturon.catalogue()[15:]:\n"
                                          "    [gesturon.sample(r['name'], p) for p in range(r['period_pips'])]")
    added_ms, added_mib = (mod_t - bare_t) * 1e3, (mod_rss - bare_rss) / 1024
    figure("bare interpreter", f"{bare_t * 1e3:6.2f} ms {bare_rss / 1024:6.1f} MiB")
    figure("import gesturon adds (time)", f"{added_ms:6.2f} ms", f"< {IMPORT_TARGET_MS:.0f} ms",
           added_ms < IMPORT_TARGET_MS)
    figure("import gesturon adds (resident memory)", f"{added_mib:6.2f} MiB", f"< {IMPORT_TARGET_MIB:.0f} MiB",
           added_mib < IMPORT_TARGET_MIB)
    figure("  after sampling every row of every table", f"+{(sampled_rss - mod_rss) / 1024:5.1f} MiB more")


def sections() -> list[tuple[str, Callable[[], None]]]:
    """The sections in the order they run; the ones in bench_*.py files
    (recording, soak, install, gallery) after the call costs."""
    chosen: list[tuple[str, Callable[[], None]]] = [
        ("calls next to their pybind11 floor", importlib.import_module("calls").run),
        ("the same lookups as a user would write them", importlib.import_module("alternatives").run),
        ("catalogue()", catalogue_calls),
        ("import (fresh interpreter)", import_cost),
    ]
    here = Path(__file__).resolve().parent
    for path in sorted(here.glob("bench_*.py")):
        chosen.append((path.stem.removeprefix("bench_"), importlib.import_module(path.stem).run))
    return chosen


def main() -> None:
    print(f"gesturon from {gesturon.__file__}")
    print(f"Python {platform.python_version()} on {platform.machine()}, {os.cpu_count()} cores")
    for title, run in sections():
        print(f"\n== {title}")
        run()


if __name__ == "__main__":
    main()
