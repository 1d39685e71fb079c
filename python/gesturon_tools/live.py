"""Playing patterns live: a beat clock, a player that samples patterns at
the clock's pip on every frame, and outputs that hand the frames on (a
Python callback, OSC, sACN DMX).

    from gesturon_tools.live import BeatClock, Player, OscOutput
    player = Player(["lfo_breathe"], [OscOutput("127.0.0.1", 9000)], BeatClock(124))
    player.run(until_pip=16 * 64)       # or player.start() ... player.stop()

Importing this needs nothing beyond the standard library; the OSC and sACN
outputs need python-osc and sacn (`pip install 'gesturon[live]'`) only
when one is made.

Frame times are computed from the start of the run (`frame_time`), never
by adding up sleeps, so the frames do not drift. A frame is sampled at the
pip of its own scheduled instant, so its contents do not depend on how
punctually the machine woke up. A frame begun more than a quarter of a
frame after its time is counted as late; when whole frames have passed
meanwhile they are dropped (counted too) and the newest one is sent, so the
next frame is on time again and no burst of stale frames goes out.
"""

from __future__ import annotations

import array
import difflib
import threading
from dataclasses import dataclass
from typing import Callable, Iterable, Iterator, Protocol, Sequence, cast

from .clock import (NS_PER_MINUTE, NS_PER_SECOND, PIPS_PER_BEAT, BeatClock, exact_tempo,
                    frame_time)
from .catalogue import Source
from .dmx import Axis, Fixture
from .frames import Frame, Position, sampled_rows
from .outputs import MissingDependency, OscOutput, SacnOutput

__all__ = [
    "Axis", "BeatClock", "CallbackOutput", "Fixture", "Frame", "MissingDependency",
    "OscOutput", "Output", "Player", "Position", "SacnOutput", "Stats", "Track",
    "exact_tempo", "frame_time", "row",
]

MAX_FPS = 10_000


@dataclass(frozen=True)
class Track:
    """One pattern as the player samples it: at the clock's pip plus
    `offset` pips, reported under `label` (default: the pattern name)."""
    pattern: str
    offset: int = 0
    label: str = ""

    @property
    def name(self) -> str:
        return self.label or self.pattern


def row(pattern: str, count: int, spread: int) -> list[Track]:
    """One pattern for a row of `count` fixtures, each `spread` pips ahead
    of the one before (the spread a lighting console puts across a row),
    labelled `<pattern>/1` ... `<pattern>/<count>`."""
    if count < 1:
        raise ValueError(f"a row needs at least one track, not {count}")
    return [Track(pattern, i * spread, f"{pattern}/{i + 1}") for i in range(count)]


class Output(Protocol):
    """Where frames go. `send` is called once per frame, in the player's
    thread; `close` once when the player is closed."""

    def send(self, frame: Frame) -> None: ...

    def close(self) -> None: ...


class CallbackOutput:
    """Hands every frame to a Python callable."""

    def __init__(self, callback: Callable[[Frame], object]):
        self.callback = callback

    def send(self, frame: Frame) -> None:
        self.callback(frame)

    def close(self) -> None:
        pass


@dataclass
class Stats:
    """What a player has done: frames sent, frames begun late, frames
    dropped because a later one was already due."""
    frames: int = 0
    late: int = 0
    dropped: int = 0
    last: Frame | None = None


def as_output(output: Output | Callable[[Frame], object]) -> Output:
    """An output as given, or a callable wrapped as one."""
    if hasattr(output, "send"):
        return cast(Output, output)
    return CallbackOutput(output)


def nearest_names(name: str, names: Iterable[str]) -> str:
    close = difflib.get_close_matches(name, list(names), n=3, cutoff=0.6)
    return ("did you mean " + ", ".join(close) + "?") if close else "no similar name"


class Player:
    """Samples tracks at the clock's pip on every frame and sends the frame
    to every output.

    `tracks`: pattern names or `Track`s. `outputs`: `Output`s or callables
    taking a `Frame`. `fps`: frames a second, counted from the start of the
    run; `per_pip=True` sends one frame on every pip instead, following the
    tempo. `source`: the gesturon module (default) or a `PatternLibrary`.

    `run()` plays in the calling thread, `start()`/`stop()` in a thread of
    the player's own; `play_frame()` sends one frame at a moment the caller
    chooses, for programs that run their own loop. `sleep_ns` replaces the
    waiting between frames (a test's simulated clock).
    """

    def __init__(self, tracks: Sequence[str | Track], outputs: Sequence[Output | Callable[[Frame], object]],
                 clock: BeatClock, *, fps: int = 100, per_pip: bool = False,
                 source: Source | None = None, sleep_ns: Callable[[int], None] | None = None):
        if isinstance(fps, bool) or not isinstance(fps, int) or not 1 <= fps <= MAX_FPS:
            raise ValueError(f"frame rate must be a whole number 1 to {MAX_FPS}, not {fps}")
        if source is None:
            import gesturon
            source = gesturon
        self.source: Source = source
        self.tracks = tuple(t if isinstance(t, Track) else Track(t) for t in tracks)
        if not self.tracks:
            raise ValueError("nothing to play: give at least one pattern")
        periods = {record["name"]: int(record["period_pips"]) for record in source.catalogue()}
        labels: set[str] = set()
        for track in self.tracks:
            if track.pattern not in periods:
                raise ValueError(f"unknown pattern {track.pattern!r}; "
                                 f"{nearest_names(track.pattern, periods)}")
            if track.name in labels:
                raise ValueError(f"two tracks are labelled {track.name!r}")
            labels.add(track.name)
        self._period_of = periods
        # One period of each pattern played, sampled once; keyed by the
        # pattern, since what a track plays may change during a run.
        self._tables: dict[str, tuple[array.array[float], int]] = {}
        for track in self.tracks:
            self._table(track.pattern)
        self.outputs: tuple[Output, ...] = tuple(map(as_output, outputs))
        self.clock = clock
        self.fps = fps
        self.per_pip = per_pip
        self.stats = Stats()
        self._sleep = sleep_ns
        self._stop = threading.Event()
        self._thread: threading.Thread | None = None
        self._failure: BaseException | None = None

    # ---- frames -----------------------------------------------------------------

    def frame(self, pip: int, index: int = 0, time_ns: int = 0) -> Frame:
        """The frame at the clock's pip `pip` (nothing is sent)."""
        tables, new = self._tables, tuple.__new__
        positions = []
        for track in self.tracks:
            at = pip + track.offset
            pattern = track.pattern
            try:
                rows, period = tables[pattern]
            except KeyError:  # a pattern the track has switched to
                rows, period = self._table(pattern)
            # pip mod period is where the module wraps every 32-bit pip, and
            # where a pip beyond that range falls in the pattern's repeats.
            i = 3 * (at % period)
            positions.append(new(Position, (track.label or pattern, pattern, at,
                                            rows[i], rows[i + 1], rows[i + 2])))
        return Frame(index, time_ns, pip, tuple(positions))

    def _table(self, pattern: str) -> tuple[array.array[float], int]:
        period = self._period_of.get(pattern)
        if period is None:
            self._period_of.update((record["name"], int(record["period_pips"]))
                                   for record in self.source.catalogue())
            period = self._period_of.get(pattern)
            if period is None:
                raise ValueError(f"unknown pattern {pattern!r}; "
                                 f"{nearest_names(pattern, self._period_of)}")
        table = self._tables[pattern] = sampled_rows(self.source, pattern, period), period
        return table

    def play_frame(self, at_ns: int | None = None) -> Frame:
        """Send the frame for instant `at_ns` (default: now) to every output."""
        t = self.clock.now_ns() if at_ns is None else at_ns
        frame = self.frame(self.clock.pip_at(t), self.stats.frames, t)
        self._send(frame)
        return frame

    def _send(self, frame: Frame) -> None:
        for output in self.outputs:
            output.send(frame)
        self.stats.frames += 1
        self.stats.last = frame

    # ---- playing ------------------------------------------------------------------

    def run(self, until_pip: int | None = None) -> Stats:
        """Play from now until the first frame whose pip is `until_pip` or
        later (default: until `stop()`), in the calling thread."""
        self._stop.clear()
        for frame_due in self._schedule():
            index, due, pip = frame_due
            if until_pip is not None and pip >= until_pip:
                break
            self._send(self.frame(pip, index, due))
        return self.stats

    def _schedule(self) -> Iterator[tuple[int, int, int]]:
        """(frame index, scheduled instant, pip) of each frame to send, after
        waiting for its time; counts late and dropped frames."""
        clock, stats = self.clock, self.stats
        start = clock.now_ns()
        index = 0
        next_pip = clock.pip_at(start)
        late_after = NS_PER_SECOND // (4 * self.fps)
        while True:
            if self.per_pip:
                due = clock.time_of_pip(next_pip)
            else:
                due = frame_time(start, index, self.fps)
            now = self._wait_until(due)
            if self._stop.is_set():
                return
            if self.per_pip:
                current = clock.pip_at(now)
                if current < next_pip:  # the tempo dropped while we waited
                    continue
                if current > next_pip:
                    stats.dropped += current - next_pip
                    next_pip = current
                    due = clock.time_of_pip(current)
                late_after = int(NS_PER_MINUTE // (4 * PIPS_PER_BEAT * clock.bpm))
                pip = next_pip
            else:
                newest = (now - start) * self.fps // NS_PER_SECOND
                if newest > index:
                    stats.dropped += newest - index
                    index = newest
                    due = frame_time(start, index, self.fps)
                pip = clock.pip_at(due)
            if now - due > late_after:
                stats.late += 1
            yield index, due, pip
            index += 1
            next_pip = pip + 1

    def _wait_until(self, due: int) -> int:
        while True:
            now = self.clock.now_ns()
            if now >= due or self._stop.is_set():
                return now
            if self._sleep is not None:
                self._sleep(due - now)
            else:
                self._stop.wait((due - now) / NS_PER_SECOND)

    def start(self, until_pip: int | None = None) -> None:
        """Play in a thread of the player's own until `stop()` (or
        `until_pip`)."""
        if self._thread is not None and self._thread.is_alive():
            raise RuntimeError("the player is already playing")
        self._stop.clear()
        self._failure = None
        self._thread = threading.Thread(target=self._run_in_thread, args=(until_pip,),
                                        name="gesturon player", daemon=True)
        self._thread.start()

    def _run_in_thread(self, until_pip: int | None) -> None:
        try:
            self.run(until_pip)
        except BaseException as error:  # kept for stop() to raise in the caller's thread
            self._failure = error

    def stop(self) -> None:
        """Stop playing (at the latest after the frame in progress) and wait
        for the player's thread; a failure in that thread (an output that
        could not send) is raised here."""
        self._stop.set()
        if self._thread is not None:
            self._thread.join()
            self._thread = None
        failure, self._failure = self._failure, None
        if failure is not None:
            raise failure

    @property
    def playing(self) -> bool:
        return self._thread is not None and self._thread.is_alive()

    def close(self) -> None:
        """Stop and close every output (an sACN output ends its streams)."""
        try:
            self.stop()
        finally:
            for output in self.outputs:
                output.close()

    def __enter__(self) -> Player:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

