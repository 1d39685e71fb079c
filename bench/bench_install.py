"""A clean install at full size: how long a user's `pip install .` takes from
a fresh build directory, where the build's time goes (the table generator,
its tables, the rest of the code, linking) and how big the wheel and the
installed files are.

The wheel is built as pip builds it for a user (an isolated build
environment, scikit-build-core and pybind11 installed into it) into a fresh
build directory, then installed into a scratch target directory, never over
the running environment's module. Takes minutes; set
GESTURON_BENCH_SKIP_INSTALL=1 to skip it.

Run alone with: cd bench && python3 -c 'import bench_install; bench_install.run()'
"""

from __future__ import annotations

import os
import re
import resource
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

from measure import figure

ROOT = Path(__file__).resolve().parents[1]
SKIP_VARIABLE = "GESTURON_BENCH_SKIP_INSTALL"
TARGET_SECONDS = 180.0

GENERATOR = "compiling the table generator"
GENERATING = "running the generator"
TABLES = "compiling the generated tables"
OTHER = "compiling everything else"
LINKING = "linking"
KINDS = (GENERATOR, GENERATING, TABLES, OTHER, LINKING)


@dataclass(frozen=True)
class Job:
    """One build step as Ninja logged it: its outputs and when it ran, in
    milliseconds from the start of the build."""
    start_ms: int
    end_ms: int
    outputs: tuple[str, ...]

    @property
    def seconds(self) -> float:
        return (self.end_ms - self.start_ms) / 1e3


def read_ninja_log(path: Path) -> list[Job]:
    """The jobs of a Ninja log (v5 or later: start, end, mtime, output and
    command hash per line, tab-separated). A step with several outputs has
    a line per output; they share their times and hash and make one job.
    An output logged twice (a step run again) counts at its last run."""
    lines = path.read_text(encoding="utf-8").splitlines()
    version = re.fullmatch(r"# ninja log v(\d+)", lines[0].strip()) if lines else None
    if version is None or int(version[1]) < 5:
        raise ValueError(f"{path} is not a Ninja log of version 5 or later")
    last_run: dict[str, tuple[int, int, str]] = {}
    for line in lines[1:]:
        fields = line.split("\t")
        if len(fields) == 5:
            start, end, _mtime, output, command_hash = fields
            last_run[output] = (int(start), int(end), command_hash)
    steps: dict[tuple[int, int, str], list[str]] = {}
    for output, run in last_run.items():
        steps.setdefault(run, []).append(output)
    return [Job(start, end, tuple(outputs))
            for (start, end, _), outputs in sorted(steps.items())]


def generated_tables() -> set[str]:
    """File names of what the generator writes, as the build of the packs
    declares them (the OUTPUT of its custom command)."""
    text = (ROOT / "src" / "packs" / "CMakeLists.txt").read_text(encoding="utf-8")
    declared = re.search(r"add_custom_command\(\s*OUTPUT(.*?)\bCOMMAND\b", text, re.S)
    if declared is None:
        raise ValueError("src/packs/CMakeLists.txt declares no generated outputs")
    return {Path(token).name for token in declared[1].split()}


def kind_of(job: Job, tables: set[str]) -> str:
    """Which part of the build a job is: by its output's place and suffix."""
    output = job.outputs[0]
    if any(Path(o).name in tables for o in job.outputs):
        return GENERATING
    if output.endswith(".o"):
        if "/gesturon_pack_generator.dir/" in output:
            return GENERATOR
        if "/generated/" in output:
            return TABLES
        return OTHER
    return LINKING  # executables, static archives and the extension modules


def most_at_once(jobs: list[Job]) -> int:
    """The most jobs that ran at the same time (one ending as another
    starts does not overlap)."""
    edges = sorted([(job.start_ms, 1) for job in jobs] + [(job.end_ms, -1) for job in jobs])
    running = most = 0
    for _, step in edges:
        running += step
        most = max(most, running)
    return most


def wall_shares(jobs: list[Job]) -> list[float]:
    """Each job's share of the build's wall time in seconds: every moment
    split evenly among the jobs running then, so the shares add up to the
    time anything ran."""
    edges = sorted({ms for job in jobs for ms in (job.start_ms, job.end_ms)})
    shares = [0.0] * len(jobs)
    for begin, end in zip(edges, edges[1:]):
        running = [i for i, job in enumerate(jobs) if job.start_ms <= begin and end <= job.end_ms]
        for i in running:
            shares[i] += (end - begin) / 1e3 / len(running)
    return shares


def shown_name(output: str) -> str:
    """An object file with its target (`gesturon.dir/patterns.cpp.o`), else
    the output's file name."""
    path = Path(output)
    return f"{path.parent.name}/{path.name}" if path.parent.name.endswith(".dir") else path.name


def tree_bytes(directory: Path) -> int:
    return sum(path.stat().st_size for path in directory.rglob("*") if path.is_file())


def pyproject_build_logs() -> dict[Path, float]:
    """Modification times of the Ninja logs in the build directories that
    pyproject names (build/<wheel tag>), to show the clean build left them
    alone."""
    return {log: log.stat().st_mtime for log in (ROOT / "build").glob("*/.ninja_log")}


def cpu_seconds_of_children() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command: list[str], log: Path) -> tuple[float, float, bool]:
    """Wall seconds of a command and the CPU seconds of everything it ran,
    its output kept in `log`; and whether it succeeded."""
    started, cpu_before = time.perf_counter(), cpu_seconds_of_children()
    with log.open("w", encoding="utf-8") as out:
        done = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT)
    return (time.perf_counter() - started, cpu_seconds_of_children() - cpu_before,
            done.returncode == 0)


def failed(step: str, log: Path) -> None:
    tail = log.read_text(encoding="utf-8", errors="replace").splitlines()[-15:]
    print(f"  {step} failed; the end of its output:")
    for line in tail:
        print(f"    {line}")


def run() -> None:
    if os.environ.get(SKIP_VARIABLE) == "1":
        print(f"  clean install skipped ({SKIP_VARIABLE}=1)")
        return
    print("  building a wheel from scratch and installing it; this takes a few minutes...", flush=True)
    before = pyproject_build_logs()
    with tempfile.TemporaryDirectory(prefix="gesturon-install-bench-") as scratch:
        tmp = Path(scratch)
        build_dir, wheel_dir, site = tmp / "build", tmp / "wheel", tmp / "site"
        wheel_seconds, wheel_cpu, ok = timed(
            [sys.executable, "-m", "pip", "wheel", str(ROOT), "--no-deps", "-w", str(wheel_dir),
             f"-Cbuild-dir={build_dir}"], tmp / "wheel.log")
        if not ok:
            failed("pip wheel", tmp / "wheel.log")
            return
        wheel = next(wheel_dir.glob("gesturon-*.whl"))
        install_seconds, install_cpu, ok = timed(
            [sys.executable, "-m", "pip", "install", "--no-deps", "--target", str(site), str(wheel)],
            tmp / "install.log")
        if not ok:
            failed("pip install", tmp / "install.log")
            return
        total = wheel_seconds + install_seconds
        figure("clean pip install", f"{total:.1f} s", f"< {TARGET_SECONDS / 60:.0f} min",
               total < TARGET_SECONDS)
        figure("  pip wheel (isolated build, fresh build directory)", f"{wheel_seconds:.1f} s")
        figure("  pip install --target of the wheel", f"{install_seconds:.1f} s")
        # How busy the cores were for us: on an otherwise idle machine a
        # build keeping every core busy comes near cores x wall time; far
        # less means other work shared the cores or the build waited on a
        # single long job.
        figure(f"  CPU time of both (user + system, {os.cpu_count()} cores)",
               f"{wheel_cpu + install_cpu:.1f} s")

        ninja_log = build_dir / ".ninja_log"
        untouched = before == pyproject_build_logs()
        clean = ninja_log.is_file() and untouched
        figure("built in the fresh build directory", "yes" if clean else "no", "yes", clean)
        if not ninja_log.is_file():
            print(f"  no Ninja log in {build_dir}: -Cbuild-dir was not honoured")
            return
        jobs = read_ninja_log(ninja_log)
        tables = generated_tables()
        seconds = dict.fromkeys(KINDS, 0.0)
        shares = dict.fromkeys(KINDS, 0.0)
        counts = dict.fromkeys(KINDS, 0)
        for job, share in zip(jobs, wall_shares(jobs)):
            kind = kind_of(job, tables)
            seconds[kind] += job.seconds
            shares[kind] += share
            counts[kind] += 1
        span = (max(job.end_ms for job in jobs) - min(job.start_ms for job in jobs)) / 1e3
        print(f"  where the build goes: job seconds per kind (Ninja ran up to {most_at_once(jobs)} "
              f"jobs at once on {os.cpu_count()} cores, so they add up to more than the wall span) "
              "and each kind's share of that span (every moment split among the jobs running):")
        for kind in KINDS:
            figure(f"  {kind} ({counts[kind]} jobs)",
                   f"{seconds[kind]:.1f} s {100 * shares[kind] / span:3.0f}%")
        figure("  ninja wall span", f"{span:.1f} s")
        figure("  outside ninja (env, configure, packing, install)", f"{total - span:.1f} s")
        for job in sorted(jobs, key=lambda job: job.seconds, reverse=True)[:3]:
            figure(f"  slow: {shown_name(job.outputs[0])}", f"{job.seconds:.1f} s")

        figure("wheel", f"{wheel.stat().st_size / 1e6:.2f} MB")
        figure("installed files", f"{tree_bytes(site) / 1e6:.2f} MB")
        for module in sorted(site.glob("gesturon*.so")):
            figure(f"  {module.name}", f"{module.stat().st_size / 1e6:.2f} MB")
