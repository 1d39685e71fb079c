"""The same lookups as a user would write them without the module's
catalogue, in the same run: every stored table as a pure-Python dict of row
lists, and as one NumPy array per pattern indexed by pip % period. Each is
printed as a ratio to the module's sample(name, pip).

Run alone with: python3 bench/alternatives.py
"""

from __future__ import annotations

import pickle
import subprocess
import sys
import tempfile
import textwrap
import timeit
from pathlib import Path
from typing import Any

import gesturon
from measure import figure

NUMBER = 100_000
REPEAT = 7


def ns(stmt: str, names: dict[str, Any], number: int = NUMBER) -> float:
    """Best of REPEAT runs, in ns per statement, net of the timing loop."""
    timeit.timeit(stmt, globals=names, number=number)  # warm up
    loop = min(timeit.repeat("pass", number=number, repeat=REPEAT))
    best = min(timeit.repeat(stmt, globals=names, number=number, repeat=REPEAT))
    return (best - loop) / number * 1e9


def stored_names() -> list[str]:
    return [r["name"] for r in gesturon.catalogue()[15:]]


def in_fresh_interpreter(code: str) -> tuple[float, float]:
    """Seconds and resident MiB that `code` adds in a fresh interpreter that
    has already imported gesturon (and NumPy when the code uses it)."""
    script = textwrap.dedent("""
        import time, gesturon
        def rss():
            with open('/proc/self/statm') as f:
                return int(f.read().split()[1]) * 4096
        {prelude}
        before = rss()
        t0 = time.perf_counter()
        {code}
        seconds = time.perf_counter() - t0
        print(seconds, (rss() - before) / 2**20)
    """)
    prelude = "import numpy" if "numpy" in code else ""
    out = subprocess.run([sys.executable, "-c", script.format(prelude=prelude, code=code)],
                         capture_output=True, text=True, check=True)
    seconds, mib = out.stdout.split()
    return float(seconds), float(mib)


BUILD_DICT = ("tables = {r['name']: [gesturon.sample(r['name'], p).as_tuple() for p in range(r['period_pips'])]"
              " for r in gesturon.catalogue()[15:]}")
BUILD_ARRAYS = ("tables = {r['name']: numpy.array([gesturon.sample(r['name'], p).as_tuple()"
                " for p in range(r['period_pips'])]) for r in gesturon.catalogue()[15:]}")


def python_dict(module_ns: float, name: str) -> None:
    print("  a dict of row lists, {name: [(x, y, z), ...]}, every stored table:")
    seconds, mib = in_fresh_interpreter(BUILD_DICT)
    figure("built from the module", f"{seconds:6.2f} s {mib:7.1f} MiB")
    with tempfile.TemporaryDirectory() as scratch:
        path = Path(scratch, "tables.pickle")
        tables = {n: [gesturon.sample(n, p).as_tuple() for p in range(period)]
                  for n, period in ((r["name"], r["period_pips"]) for r in gesturon.catalogue()[15:])}
        with path.open("wb") as f:
            pickle.dump(tables, f, protocol=pickle.HIGHEST_PROTOCOL)
        size = path.stat().st_size
        seconds, mib = in_fresh_interpreter(f"import pickle\ntables = pickle.load(open({str(path)!r}, 'rb'))")
        figure(f"loaded from a pickle of {size / 2**20:.1f} MiB", f"{seconds:6.2f} s {mib:7.1f} MiB")
    lookup = ns("r = t[n]\nr[p % len(r)]", {"t": tables, "n": name, "p": 12345})
    figure("one lookup t[name][pip % period]", f"{lookup:6.1f} ns  x{lookup / module_ns:4.2f} of the module")


def numpy_arrays(module_ns: float, name: str) -> None:
    try:
        import numpy
    except ImportError:
        print("  NumPy is not installed: the array alternative is not measured")
        return
    print(f"  a NumPy array per pattern, {{name: array of shape (period, 3)}}, NumPy {numpy.__version__}:")
    seconds, mib = in_fresh_interpreter(BUILD_ARRAYS)
    figure("built from the module", f"{seconds:6.2f} s {mib:7.1f} MiB")
    period = next(r["period_pips"] for r in gesturon.catalogue() if r["name"] == name)
    table = numpy.array([gesturon.sample(name, p).as_tuple() for p in range(period)])
    tables = {name: table}
    scalar = ns("a = t[n]\na[p % a.shape[0]]", {"t": tables, "n": name, "p": 12345})
    figure("one row a[pip % period]", f"{scalar:6.1f} ns  x{scalar / module_ns:4.2f} of the module")
    pips = numpy.arange(12345, 12345 + period)
    whole = ns("a = t[n]\na[pips % a.shape[0]]", {"t": tables, "n": name, "pips": pips}, number=2_000) / period
    module_whole = ns("[s(n, p) for p in pips]", {"s": gesturon.sample, "n": name, "pips": range(12345, 12345 + period)},
                      number=200) / period
    figure(f"a whole period ({period} rows), per row", f"{whole:6.1f} ns  x{whole / module_whole:4.3f} of the module")
    figure("  the module, row by row in a list comprehension", f"{module_whole:6.1f} ns")


def run() -> None:
    names = stored_names()
    name = names[len(names) // 2]
    module_ns = ns("s(n, p)", {"s": gesturon.sample, "n": name, "p": 12345})
    print(f"  (lookups of {name!r}; the module's sample(name, pip) takes {module_ns:.1f} ns)")
    seconds, mib = in_fresh_interpreter(f"gesturon.sample({name!r}, 0)")
    figure("the module: nothing to build or load, first sample", f"{seconds:6.4f} s {mib:7.1f} MiB")
    python_dict(module_ns, name)
    numpy_arrays(module_ns, name)


if __name__ == "__main__":
    run()
