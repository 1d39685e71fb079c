"""Runs every fuzz target for a bounded time and prints what each reached.

    python3 scripts/fuzz.py [--seconds N] [--sanitized] [--target NAME ...] [--work DIR]

The targets: `score-native`, the score reader and the motions under clang's
libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer
(tests/fuzz/score_fuzzer.cpp, built here into build/fuzz on first use), and
the Atheris targets of tests/fuzz/targets.py (`score`, `midi`, `module`, `show`,
`console`, `artnet`), which fuzz the installed modules guided by coverage. With --sanitized, the
corpus each Atheris target has grown is then replayed, every input once,
against the sanitized build of scripts/test_sanitized.sh (build/sanitize/site,
the sanitizer runtime loaded first as there); the runtime cannot be loaded
while Atheris fuzzes, as it would take over the coverage hooks Atheris reads.

Each target starts from the seeds its harness makes from the built-in scores
and keeps its corpus and any crashing input under the work folder (default
build/fuzz-runs). The table gives per target the inputs run, inputs a
second, the coverage libFuzzer counted (edges, then features), the longest
time one input took, the peak memory of the whole run (no input took more),
how many inputs were replayed under the sanitizers, and the result. The exit status is non-zero when any target crashed or any
sanitizer report names the project's code.
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
NATIVE = "score-native"
PYTHON_TARGETS = ("score", "midi", "module", "show", "console", "artnet", "osc")
# Each input may take at most this long and this much memory; more is a
# finding (libFuzzer's -timeout and -rss_limit_mb / -malloc_limit_mb).
INPUT_SECONDS = 10
MEMORY_MB = 2048


def build_native(folder: Path) -> Path:
    binary = folder / "tests" / "fuzz" / "score_fuzzer"
    env = dict(os.environ, CC="clang", CXX="clang++")
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(folder), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DGESTURON_SANITIZE=ON", "-DGESTURON_FUZZ=ON", "-DGESTURON_BUILD_MODULE=OFF"],
                   check=True, env=env, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(folder), "--target", "score_fuzzer", "--parallel", "2"],
                   check=True, stdout=subprocess.DEVNULL)
    return binary


def sanitized_env(reports: Path) -> dict[str, str]:
    """The environment of scripts/test_sanitized.sh: the sanitizer runtime
    before the uninstrumented interpreter, Python's allocator bypassed."""
    def lib(name: str) -> str:
        return subprocess.run(["g++", f"-print-file-name={name}"], capture_output=True, text=True,
                              check=True).stdout.strip()
    site = ROOT / "build" / "sanitize" / "site"
    if not site.is_dir():
        sys.exit(f"fuzz: no sanitized build in {site}: run scripts/test_sanitized.sh first")
    return dict(os.environ, LD_PRELOAD=f"{lib('libasan.so')} {lib('libstdc++.so')}", PYTHONMALLOC="malloc",
                ASAN_OPTIONS=f"detect_leaks=1:log_path={reports}/asan:detect_odr_violation=0",
                LSAN_OPTIONS="exitcode=0",
                UBSAN_OPTIONS=f"print_stacktrace=1:halt_on_error=1:log_path={reports}/ubsan",
                PYTHONPATH=str(site))


def stat(pattern: str, text: str) -> str:
    found = re.findall(pattern, text)
    return found[-1] if found else "-"


def fuzz(command: list[str], env: dict[str, str], stats: Path, seconds: int) -> tuple[int, str, float]:
    """One libFuzzer process: its status, its log and the longest input (ms)."""
    stats.unlink(missing_ok=True)
    done = subprocess.run(command, cwd=ROOT, env=dict(env, GESTURON_FUZZ_STATS=str(stats)), capture_output=True,
                          text=True, errors="replace", timeout=seconds + 600)
    slowest = float(stats.read_text().split()[1]) if stats.exists() else 0.0
    return done.returncode, done.stderr, slowest


def run(name: str, seconds: int, work: Path, sanitized: bool, native: Path | None) -> tuple[list[str], bool]:
    folder = work / name
    corpus, artifacts, reports = folder / "corpus", folder / "crashes", folder / "reports"
    for d in (corpus, artifacts):
        d.mkdir(parents=True, exist_ok=True)
    shutil.rmtree(reports, ignore_errors=True)
    reports.mkdir()
    limits = [f"-timeout={INPUT_SECONDS}", f"-rss_limit_mb={MEMORY_MB}", f"-malloc_limit_mb={MEMORY_MB}",
              "-print_final_stats=1", f"-artifact_prefix={artifacts}/"]
    options = [f"-max_total_time={seconds}", *limits]
    status, replayed, reported = 0, 0, 0
    if name == NATIVE:
        assert native is not None
        if not any(corpus.iterdir()):  # the Atheris score target's seeds serve the native one too
            seeds = subprocess.run([sys.executable, str(ROOT / "tests" / "fuzz" / "targets.py"), "--write-seeds",
                                    "score", str(corpus)], capture_output=True, text=True)
            if seeds.returncode != 0:
                sys.exit(f"fuzz: cannot make the seeds of {name}:\n{seeds.stderr}")
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1", UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
        status, log, slowest = fuzz([str(native), *options, str(corpus)], env, folder / "stats", seconds)
    else:
        # Coverage-guided against the installed modules: the sanitizer
        # runtime, loaded into an uninstrumented interpreter, would take over
        # the coverage hooks Atheris reads. With --sanitized the corpus that
        # run grew is then replayed, every input once, against the sanitized
        # build.
        target = [sys.executable, str(ROOT / "tests" / "fuzz" / "targets.py"), name]
        status, log, slowest = fuzz([*target, *options, "-detect_leaks=0", str(corpus)], dict(os.environ),
                                    folder / "stats", seconds)
        if sanitized and status == 0:
            replayed = sum(1 for _ in corpus.iterdir())
            status, replay_log, replay_slowest = fuzz([*target, "-runs=0", *limits, "-detect_leaks=0", str(corpus)],
                                                      sanitized_env(reports), folder / "stats", seconds)
            log += "\n--- replayed against the sanitized build ---\n" + replay_log
            slowest = max(slowest, replay_slowest)
            check = subprocess.run([sys.executable, str(ROOT / "scripts" / "sanitizer_reports.py"), str(reports)],
                                   capture_output=True, text=True)
            reported = check.returncode
            if reported:
                print(check.stdout, file=sys.stderr)
    (folder / "log").write_text(log)
    crashed = status != 0 or reported != 0
    if crashed:
        print(f"fuzz: {name} found a fault (log in {folder / 'log'}, inputs in {artifacts}):", file=sys.stderr)
        print("\n".join(log.splitlines()[-40:]), file=sys.stderr)
    fuzzed = log.split("\n--- replayed")[0]
    peak = max((int(mb) for mb in re.findall(r"stat::peak_rss_mb:\s+(\d+)", log)), default=0)
    row = [name, stat(r"stat::number_of_executed_units:\s+(\d+)", fuzzed),
           stat(r"stat::average_exec_per_sec:\s+(\d+)", fuzzed), stat(r"cov: (\d+)", fuzzed),
           stat(r"ft: (\d+)", fuzzed), f"{slowest:.1f}", str(peak),
           str(replayed) if sanitized and name != NATIVE else "-", "CRASH" if crashed else "ok"]
    return row, crashed


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=int, default=60, help="time per target (default 60)")
    parser.add_argument("--sanitized", action="store_true", help="the Atheris targets against the sanitized build")
    parser.add_argument("--target", action="append", choices=(NATIVE, *PYTHON_TARGETS), help="only these targets")
    parser.add_argument("--work", type=Path, default=ROOT / "build" / "fuzz-runs", help="corpus and crash folder")
    args = parser.parse_args(argv)
    names = args.target or [NATIVE, *PYTHON_TARGETS]
    if set(names) & set(PYTHON_TARGETS):
        installed = subprocess.run([sys.executable, "-c", "import atheris, gesturon\n"
                                    "from gesturon_tools.drums import check_score_text, midi_bytes_to_score"],
                                   capture_output=True, text=True)
        if installed.returncode != 0:
            sys.exit("fuzz: the Atheris targets fuzz the installed modules, which must be this tree's: "
                     f"pip install '.[test]' ({installed.stderr.strip().splitlines()[-1]})")
    native = build_native(ROOT / "build" / "fuzz") if NATIVE in names else None
    rows = [["target", "inputs", "inputs/s", "cov", "ft", "slowest ms", "peak MB", "replayed", "result"]]
    failed = False
    for name in names:
        row, crashed = run(name, args.seconds, args.work, args.sanitized, native)
        rows.append(row)
        failed |= crashed
    widths = [max(len(r[i]) for r in rows) for i in range(len(rows[0]))]
    print(f"fuzzing, {args.seconds} s a target{' (sanitized)' if args.sanitized else ''}; "
          f"each input at most {INPUT_SECONDS} s and {MEMORY_MB} MB")
    for r in rows:
        print("  ".join(cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(r, widths))))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
