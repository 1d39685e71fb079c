"""Where users' time goes in the companion, each figure beside its floor:
a player frame of 100 tracks (floor: 100 sample calls), DMX encoding per
fixture, a rig of 512 fixtures on sACN (floor: the fixtures naming their
tracks by index), export rows per second with and without --bpm (floor:
formatting the same values), the gallery command, and arrays.frames per row
beside two references: NumPy's take from indices already wrapped into the
period, which its goal is set against, and a plain C++ loop that wraps and
gathers (neither is a floor: arrays.frames may beat both).

Run alone with: cd bench && python3 -c 'import bench_companion; bench_companion.run()'
"""

from __future__ import annotations

import os
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import timeit
from pathlib import Path
from typing import Any, Callable

import numpy as np

import gesturon
from gesturon_tools import arrays, cli
from gesturon_tools.dmx import Axis, Fixture
from gesturon_tools.live import BeatClock, CallbackOutput, Player, SacnOutput, row
from measure import figure

FRAME_TARGET = 1.5      # a frame of 100 tracks / 100 sample calls
EXPORT_BPM_TARGET = 1.3  # export --bpm / plain export
FRAMES_TARGET = 1.5     # arrays.frames / NumPy's take of indices already wrapped
RIG_TARGET = 1.1        # a rig's fixtures following tracks by label / by index
GALLERY_TARGET_S = 1.0
REPEAT = 9


def best_ns(call: Callable[[], object], number: int) -> float:
    """Best of REPEAT runs of `number` calls, in ns per call."""
    return paired_ns([call], number)[0]


def paired_ns(calls: list[Callable[[], object]], number: int) -> list[float]:
    """Best of REPEAT runs of each of `calls`, in ns of this thread's CPU
    time per call (time spent in other processes of a busy machine does not
    count), the runs of all taken in turn, so that a busy spell spoils one
    run of each rather than every run of one."""
    best = [float("inf")] * len(calls)
    timers = [timeit.Timer(call, timer=time.thread_time) for call in calls]
    for call in calls:
        call()
    for _ in range(REPEAT):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number=number) / number * 1e9)
    return best


def player_frame() -> None:
    """Both sides move on by one pip a call, as frames at 128 pips a second
    do: the same rows of the tables are not read again and again."""
    names = [r["name"] for r in gesturon.catalogue()[15:115]]
    sample = gesturon.sample
    player = Player(names, [CallbackOutput(lambda frame: None)], BeatClock(120, 0, now_ns=lambda: 0))
    pip_ns = 7_812_500  # one pip at 120 BPM
    at = [0, 0]

    def hundred_samples() -> None:
        at[0] += 1
        for name in names:
            sample(name, at[0])

    def one_frame() -> None:
        at[1] += pip_ns
        player.play_frame(at[1])

    floor, frame = paired_ns([hundred_samples, one_frame], 500)
    figure("100 sample calls (floor)", f"{floor / 1e3:6.1f} us")
    figure("Player frame of 100 tracks (x: ratio to floor)", f"{frame / 1e3:6.1f} us  x{frame / floor:4.2f}",
           f"x{FRAME_TARGET}", frame / floor <= FRAME_TARGET)


def dmx_encoding() -> None:
    for label, fixture in (("default pan/tilt 16-bit", Fixture(1, 1)),
                           ("6 channels, 540-degree pan, z, held",
                            Fixture(1, 1, "pan pan_fine tilt tilt_fine z 255", pan=Axis(270, 90, 540)))):
        cost, per_axis = paired_ns([lambda: fixture.channels(0.123456789, -0.5, 0.25),
                                    lambda: [fixture.pan.value(0.123456789, 65535),
                                             fixture.tilt.value(-0.5, 65535)]], 20_000)
        figure(f"DMX per fixture, {label}", f"{cost / 1e3:6.2f} us")
        figure("  two axes through Axis.value (scales looked up)", f"{per_axis / 1e3:6.2f} us")


RIG_FIXTURES = 512


def large_rig() -> None:
    """A frame of a large rig: 512 fixtures (four universes) on an sACN
    output, each following a track of its own, sent by unicast to a socket
    of the bench's own on 127.0.0.1 that nothing reads. The fixtures name
    their tracks by label, as show files do; the floor is the same rig
    with the fixtures naming them by index, which costs no lookup."""
    tracks = row("helix", RIG_FIXTURES, 8)
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    to = "127.0.0.1"
    port = receiver.getsockname()[1]

    def rig(by_label: bool) -> Callable[[], object]:
        fixtures = [Fixture(1 + i // 128, 1 + i % 128 * 4, track=track.label if by_label else i)
                    for i, track in enumerate(tracks)]
        output = SacnOutput(fixtures, to, port, fps=None)
        players.append(Player(tracks, [output], BeatClock(120, 0, now_ns=lambda: 0)))
        player, at = players[-1], [0]

        def one_frame() -> None:
            at[0] += 7_812_500  # a pip at 120 BPM
            player.play_frame(at[0])
        return one_frame

    players: list[Player] = []
    try:
        by_index, by_label = paired_ns([rig(False), rig(True)], 50)
    finally:
        for player in players:
            player.close()
        receiver.close()
    figure(f"{RIG_FIXTURES} fixtures on sACN, by track index (floor)", f"{by_index / 1e3:6.0f} us")
    figure(f"{RIG_FIXTURES} fixtures on sACN, by label (x: ratio to floor)",
           f"{by_label / 1e3:6.0f} us  x{by_label / by_index:4.2f}",
           f"x{RIG_TARGET}", by_label / by_index <= RIG_TARGET)


EXPORT_ROWS = 200_000
EXPORT_PATTERN = "helix"  # three moving axes, so every value is written in full


def export_rows() -> None:
    """Whole `gesturon export` runs in this process, writing to a file,
    each variant run in turn with the others; the floor formats the same
    values, already at hand, into the same CSV lines."""
    with tempfile.TemporaryDirectory(prefix="gesturon-export-bench-") as scratch:
        target = Path(scratch, "rows.csv")
        span = ["--start", str(-EXPORT_ROWS // 2), "--stop", str(EXPORT_ROWS // 2), "-o", str(target)]
        assert cli.main(["export", EXPORT_PATTERN, *span, "--bpm", "128.4"]) == 0
        timed_rows = [(float(seconds), int(pip), float(x), float(y), float(z)) for seconds, pip, x, y, z
                      in (line.split(",") for line in target.read_text().splitlines()[1:])]
        rows = [row[1:] for row in timed_rows]

        def export(*extra: str) -> Callable[[], object]:
            return lambda: cli.main(["export", EXPORT_PATTERN, *span, *extra])

        def formatting(table: list[tuple[Any, ...]]) -> Callable[[], object]:
            line = ",".join(["%r"] * len(table[0])) + "\n"
            return lambda: "".join([line % row for row in table])

        per_row = [ns / EXPORT_ROWS for ns in paired_ns(
            [export(), export("--bpm", "128.4"), export("--format", "json"),
             formatting(rows), formatting(timed_rows)], 1)]
    plain, timed, json_rows, floor, timed_floor = (1e3 / ns for ns in per_row)
    figure("export rows/s (floor: formatting pip, x, y, z)", f"{plain:5.2f} M / {floor:5.2f} M")
    figure("export --bpm rows/s (floor: with the seconds)", f"{timed:5.2f} M / {timed_floor:5.2f} M")
    figure("  export --bpm / plain export (time per row)", f"x{plain / timed:4.2f}", f"x{EXPORT_BPM_TARGET}",
           plain / timed <= EXPORT_BPM_TARGET)
    figure("  the same ratio of the floors", f"x{floor / timed_floor:4.2f}")
    figure("export --format json rows/s", f"{json_rows:5.2f} M")


HIDE_NUMPY = ("import sys; sys.modules['numpy'] = None; from gesturon_tools.cli import main; "
              "sys.exit(main(sys.argv[1:]))")


def gallery_time() -> None:
    """The whole command in a fresh interpreter: CPU seconds (user and
    system) and wall seconds, with NumPy and with NumPy hidden."""
    with tempfile.TemporaryDirectory(prefix="gesturon-gallery-cpu-") as scratch:
        for label, command in (("with NumPy", [sys.executable, "-m", "gesturon_tools"]),
                               ("without NumPy", [sys.executable, "-c", HIDE_NUMPY])):
            best_cpu = best_wall = float("inf")
            for _ in range(3):
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                started = time.perf_counter()
                subprocess.run([*command, "gallery", "-o", scratch], check=True, capture_output=True)
                wall = time.perf_counter() - started
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
                best_cpu, best_wall = min(best_cpu, cpu), min(best_wall, wall)
            met = best_cpu < GALLERY_TARGET_S if label == "with NumPy" else None
            figure(f"gesturon gallery {label} (CPU / wall)", f"{best_cpu:4.2f} s / {best_wall:4.2f} s",
                   f"< {GALLERY_TARGET_S:.0f} s CPU" if met is not None else "", met)


GALLERY_PARTS = """
import sys, time
clock = time.process_time
started = clock()
import gesturon
from gesturon_tools import cli, gallery, arrays
from gesturon_tools.catalogue import Catalogue
imported = clock()
catalogue = Catalogue(gesturon)
for pattern in catalogue.patterns:
    arrays.table(pattern.name)
sampled = clock()
raw = gallery.encode_lanes_numpy(catalogue)
encoded = clock()
gallery.pack_lanes(raw)
packed = clock()
from itertools import repeat
for pattern in catalogue.patterns:
    list(map(gesturon.sample, repeat(pattern.name), range(pattern.period_pips)))
calls = clock()
print(imported - started, sampled - imported, calls - packed, encoded - sampled, packed - encoded)
"""


def gallery_parts() -> None:
    """Where the gallery's CPU time goes, in a fresh interpreter (best of
    three): the imports, sampling every row of every table through
    `sample` (beside the same calls made from the quickest Python loop,
    without reading their values), quantising and differencing, and
    compressing the page's bytes."""
    best = [float("inf")] * 5
    for _ in range(3):
        done = subprocess.run([sys.executable, "-c", GALLERY_PARTS], capture_output=True, text=True, check=True)
        best = [min(b, float(v)) for b, v in zip(best, done.stdout.split())]
    rows = sum(record["period_pips"] for record in gesturon.catalogue())
    for label, seconds in zip(("the command's imports, NumPy included", f"sampling all {rows} rows",
                               "  the same calls from a Python loop, values unread",
                               "quantising and differencing", "gzip and base64"), best):
        figure(f"  gallery: {label}", f"{seconds:4.2f} s")


FRAMES_ROWS = 1_000_000


def frames_per_row() -> None:
    floor_module = None
    if shutil.which("cmake") is not None:
        from calls import build_floor
        floor_module = build_floor()
    rng = np.random.default_rng(7)
    pips = rng.integers(-(2**31), 2**31, FRAMES_ROWS, dtype=np.int64)
    pips32 = pips.astype(np.int32)
    first_of_period: dict[int, str] = {}
    for record in gesturon.catalogue()[15:]:
        first_of_period.setdefault(record["period_pips"], record["name"])
    # A period wrapped by a mask, and two by a division.
    for period in (256, 160, 768):
        name = first_of_period[period]
        rows = arrays.table(name)
        index = np.remainder(pips, period)
        calls: list[Callable[[], object]] = [lambda: np.take(rows, index, axis=0),
                                             lambda: arrays.frames(name, pips),
                                             lambda: arrays.frames(name, pips32)]
        if floor_module is not None:
            calls.append(lambda: floor_module.gather(rows, pips32))
        gather, frames, frames32, *native = [ns / FRAMES_ROWS for ns in paired_ns(calls, 3)]
        figure(f"{name} ({period} pips): NumPy take, indices wrapped", f"{gather:5.2f} ns/row")
        if native:
            figure("  a plain C++ loop, wrapping and gathering", f"{native[0]:5.2f} ns/row")
        figure("  arrays.frames, int64 pips (x: ratio to NumPy take)", f"{frames:5.2f} ns/row  x{frames / gather:4.2f}",
               f"x{FRAMES_TARGET}", frames / gather <= FRAMES_TARGET)
        figure("  arrays.frames, int32 pips (x: ratio to NumPy take)", f"{frames32:5.2f} ns/row  x{frames32 / gather:4.2f}",
               f"x{FRAMES_TARGET}", frames32 / gather <= FRAMES_TARGET)
    sample = gesturon.sample
    few = [int(p) for p in pips[:20_000]]
    by_row = best_ns(lambda: [sample("lfo_breathe", p).as_tuple() for p in few], 1) / len(few)
    figure("  for comparison: sample(...).as_tuple() row by row", f"{by_row:5.0f} ns/row")


def run() -> None:
    print(f"  (load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores)")
    player_frame()
    dmx_encoding()
    large_rig()
    export_rows()
    gallery_time()
    gallery_parts()
    frames_per_row()


if __name__ == "__main__":
    run()
