"""Playing patterns live: a beat clock, a player that samples patterns at
the clock's pip on every frame, and outputs that hand the frames on (a
Python callback, OSC, sACN DMX).

    from gesturon_tools.live import BeatClock, Player, OscOutput
    player = Player(["lfo_breathe"], [OscOutput("127.0.0.1", 9000)], BeatClock(124))
    player.run(until_pip=16 * 64)       # or player.start() ... player.stop()

Importing this needs nothing beyond the standard library; the OSC and sACN
outputs need python-osc and sacn (`pip install 'gesturon[live]'`) only
when one is made.

Each output has its own frame rate and latency: outputs that share both
form one `Stream`, which gets its own frames at its own instants (a DMX
output at 44 frames a second, OSC to a visual patch at the player's 100).
Frame times are computed from the start of the run (`frame_time`), never
by adding up sleeps, so the frames do not drift. A frame is sampled at the
pip of its own scheduled instant, so its contents do not depend on how
punctually the machine woke up; an output whose device lags by L
milliseconds (`latency_ms`) gets, at instant t, the positions of instant
t + L. A frame begun more than a quarter of a frame after its time is
counted as late; when whole frames have passed meanwhile they are dropped
(counted too) and the newest one is sent, so the next frame is on time
again and no burst of stale frames goes out. Each stream counts its own.
"""

from __future__ import annotations

import difflib
import itertools
import operator
import threading
import time
from dataclasses import dataclass
from typing import Callable, Iterable, Protocol, Sequence, cast

from .clock import (NS_PER_MINUTE, NS_PER_SECOND, PIPS_PER_BEAT, BeatClock, Number, exact,
                    exact_tempo, frame_time)
from .catalogue import Source
from .compose import Exact, Pattern, Patternish, name_of, pattern as as_pattern, pips_of
from .cues import Change, Choice, CueState
from .dmx import Axis, Fixture
from .frames import Axes, Frame, Lineup, Position, label_places, sampled_axes
from .meter import Unit
from .outputs import MissingDependency, OscOutput, SacnOutput

__all__ = [
    "Axis", "BeatClock", "CallbackOutput", "Fixture", "Frame", "MissingDependency",
    "OscOutput", "Output", "Player", "Position", "SacnOutput", "Stats", "Stream", "Track",
    "exact_tempo", "frame_time", "row",
]

MAX_FPS = 10_000


@dataclass(frozen=True)
class Track:
    """One pattern as the player samples it: at the clock's pip plus
    `offset` pips, reported under `label` (default: the pattern name).
    The pattern is a catalogue name or any object of the pattern protocol
    (`gesturon_tools.compose`): a transform, a blend, a `SampledPattern`."""
    pattern: str | Pattern
    offset: int = 0
    label: str = ""

    @property
    def name(self) -> str:
        return self.label or name_of(self.pattern)


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
    """Hands every frame to a Python callable, at the player's frame rate
    unless `fps` is given, `latency_ms` ahead (see `Stream`)."""

    def __init__(self, callback: Callable[[Frame], object], *, fps: int | None = None,
                 latency_ms: Number = 0):
        self.callback = callback
        self.fps = check_fps(fps)
        self.latency_ms = latency_ms
        latency_ns(latency_ms)

    def send(self, frame: Frame) -> None:
        self.callback(frame)

    def close(self) -> None:
        pass


@dataclass
class Stats:
    """What a player (or one of its streams) has done: frames sent, frames
    begun late, frames dropped because a later one was already due."""
    frames: int = 0
    late: int = 0
    dropped: int = 0
    last: Frame | None = None


MAX_LATENCY_MS = 10_000
FINAL_FRAMES = ("hold", "centre", "dark")
SETTLE_NS = 10 * NS_PER_SECOND  # the longest a final frame is repeated for slewed outputs


def check_fps(fps: int | None) -> int | None:
    if fps is not None and (isinstance(fps, bool) or not isinstance(fps, int)
                            or not 1 <= fps <= MAX_FPS):
        raise ValueError(f"frame rate must be a whole number 1 to {MAX_FPS}, not {fps}")
    return fps


def latency_ns(ms: Number) -> int:
    """A latency in milliseconds (positive or negative, within ten seconds)
    as whole nanoseconds, rounded to the nearest."""
    latency = exact(ms, "latency")
    if not -MAX_LATENCY_MS <= latency <= MAX_LATENCY_MS:
        raise ValueError(f"latency must be -{MAX_LATENCY_MS} to {MAX_LATENCY_MS} ms, "
                         f"not {float(latency):g}")
    return round(latency * 1_000_000)


class Stream:
    """The outputs that share one frame rate and one latency, with their own
    frame numbers, instants and `stats`.

    `fps` None means one frame on every pip, following the tempo. A frame
    scheduled for instant t carries the pip of instant t + `latency_ns`:
    an output whose device shows things L late is sent them L early.
    """

    def __init__(self, outputs: tuple[Output, ...], fps: int | None, latency: int,
                 stats: Stats | None = None):
        self.outputs = outputs
        self.fps = fps
        self.latency_ns = latency
        self.stats = Stats() if stats is None else stats
        self.index = 0
        # One frame a pip: the clock's travel (`BeatClock.travel_at`) of
        # the next pip to send. Counted in travel, a jump of the clock is
        # neither waited for (back) nor taken for dropped frames (ahead).
        self.next_travel = 0
        self.start_ns = 0

    def begin(self, clock: BeatClock, start_ns: int) -> None:
        self.start_ns = start_ns
        self.index = 0
        self.next_travel = clock.travel_at(start_ns + self.latency_ns)[1]

    def due(self, clock: BeatClock) -> int:
        """The instant the next frame is due."""
        if self.fps is None:
            return clock.time_of_pip(self.next_travel + clock.skipped) - self.latency_ns
        return frame_time(self.start_ns, self.index, self.fps)

    def take(self, clock: BeatClock, now: int, until_pip: int | None = None,
             travelled: bool = False) -> tuple[int, int, int] | None:
        """(frame index, scheduled instant, pip) of the frame to send at
        `now`, at or after its instant, counting late and dropped frames;
        None when that pip (with `travelled`, the clock's travel there) is
        `until_pip` or later (the stream is done)."""
        latency = self.latency_ns
        if self.fps is None:
            index = self.index
            here, at = clock.travel_at(now + latency)
            travel = max(at, self.next_travel)
            pip = here + travel - at
            dropped = travel - self.next_travel
            due = clock.time_of_pip(pip) - latency
            late_after = int(NS_PER_MINUTE // (4 * PIPS_PER_BEAT * clock.bpm))
        else:
            index = max((now - self.start_ns) * self.fps // NS_PER_SECOND, self.index)
            dropped = index - self.index
            due = frame_time(self.start_ns, index, self.fps)
            late_after = NS_PER_SECOND // (4 * self.fps)
            pip, travel = clock.travel_at(due + latency)
        if until_pip is not None and (travel if travelled else pip) >= until_pip:
            return None
        self.stats.dropped += dropped
        self.stats.late += now - due > late_after
        self.index = index + 1
        self.next_travel = travel + 1
        return index, due, pip

    def send(self, frame: Frame) -> None:
        for output in self.outputs:
            output.send(frame)
        self.stats.frames += 1
        self.stats.last = frame


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
    tempo. An output with an `fps` of its own (DMX outputs: 44) or a
    `latency_ms` gets its frames in a `Stream` of its own; `stats` counts
    the player's own rate. `source`: the gesturon module (default) or a
    `PatternLibrary`. `final`: what the outputs are sent when the player is
    closed: `hold` (nothing: the last frame stays), `centre` (every
    position at 0) or `dark` (DMX all 0, servos limp; others as `hold`).

    `run()` plays in the calling thread, `start()`/`stop()` in a thread of
    the player's own; `play_frame()` sends one frame at a moment the caller
    chooses, for programs that run their own loop. `sleep_ns` replaces the
    waiting between frames (a test's simulated clock).
    """

    def __init__(self, tracks: Sequence[str | Track], outputs: Sequence[Output | Callable[[Frame], object]],
                 clock: BeatClock, *, fps: int = 100, per_pip: bool = False,
                 source: Source | None = None, sleep_ns: Callable[[int], None] | None = None,
                 final: str = "hold"):
        if isinstance(fps, bool) or not isinstance(fps, int) or not 1 <= fps <= MAX_FPS:
            raise ValueError(f"frame rate must be a whole number 1 to {MAX_FPS}, not {fps}")
        if final not in FINAL_FRAMES:
            raise ValueError(f"final frame must be one of {', '.join(FINAL_FRAMES)}, not {final!r}")
        if source is None:
            import gesturon
            source = gesturon
        self.source: Source = source
        self.tracks = tuple(t if isinstance(t, Track) else Track(t) for t in tracks)
        if not self.tracks:
            raise ValueError("nothing to play: give at least one pattern")
        periods = {record["name"]: int(record["period_pips"]) for record in source.catalogue()}
        labels: set[str] = set()
        choices: list[Choice] = []
        for track in self.tracks:
            if not isinstance(track.pattern, str):
                choices.append(as_pattern(track.pattern))
            elif track.pattern not in periods:
                raise ValueError(f"unknown pattern {track.pattern!r}; "
                                 f"{nearest_names(track.pattern, periods)}")
            else:
                choices.append(track.pattern)
            if track.name in labels:
                raise ValueError(f"two tracks are labelled {track.name!r}")
            labels.add(track.name)
        self.cues = CueState(choices, clock.meter, source)
        self._period_of = periods
        # One period of each named pattern played, sampled once; keyed by
        # the pattern, since what a track plays may change during a run.
        self._tables: dict[str, Axes] = {}
        for choice in choices:
            if isinstance(choice, str):
                self._table(choice)
        self._labels = tuple(track.name for track in self.tracks)
        self._places = label_places(self._labels)  # shared by every frame
        # What the tracks played at the last pip a frame was made for, and
        # their lineup (None while a track plays a pattern object), as one
        # value, so that a frame made in another thread reads a matching pair.
        self._lineup: tuple[tuple[Change, ...], Lineup | None] = ((), None)
        self.outputs: tuple[Output, ...] = tuple(map(as_output, outputs))
        self.clock = clock
        self.fps = fps
        self.per_pip = per_pip
        self.final = final
        self.stats = Stats()
        self.until_pip: int | None = None  # where the run in progress ends
        self.travelled = False             # whether that is a point of the clock's travel
        self.streams: tuple[Stream, ...] = ()
        # The outputs, stats and settings self.streams were grouped by.
        self._grouped: tuple[tuple[Output, ...], Stats, object] | None = None
        self._sleep = sleep_ns
        self._stop = threading.Event()
        self._thread: threading.Thread | None = None
        self._failure: BaseException | None = None

    # ---- frames -----------------------------------------------------------------

    def frame(self, pip: int, index: int = 0, time_ns: int = 0) -> Frame:
        """The frame at the clock's pip `pip` (nothing is sent)."""
        changes = self.cues.at(pip)
        known, lineup = self._lineup
        if changes is not known and (len(changes) != len(known) or not all(map(operator.is_, changes, known))):
            lineup = self._line_up(changes)
            self._lineup = changes, lineup
        if lineup is not None:
            return Frame(index, time_ns, pip, lineup.positions(pip), _places=self._places)
        positions = []
        for label, track, change in zip(self._labels, self.tracks, changes):
            at = pip + track.offset
            if change.xyz is not None:  # a pattern object
                x, y, z = change.xyz(at)
            else:
                xs, ys, zs, period = self._tables[change.name]
                i = at % period
                x, y, z = xs[i], ys[i], zs[i]
            positions.append(Position(label, change.name, at, x, y, z))
        return Frame(index, time_ns, pip, tuple(positions), _places=self._places)

    def _line_up(self, changes: tuple[Change, ...]) -> Lineup | None:
        """The lineup of the tracks playing `changes`, with the tables of
        patterns a track has switched to; None when a track plays a
        pattern object."""
        if any(change.xyz is not None for change in changes):
            for change in changes:
                if change.xyz is None and change.name not in self._tables:
                    self._table(change.name)
            return None
        axes = [self._tables.get(change.name) or self._table(change.name) for change in changes]
        return Lineup(self._labels, [change.name for change in changes],
                      [track.offset for track in self.tracks], axes)

    def _table(self, pattern: str) -> Axes:
        period = self._period_of.get(pattern)
        if period is None:
            self._period_of.update((record["name"], int(record["period_pips"]))
                                   for record in self.source.catalogue())
            period = self._period_of.get(pattern)
            if period is None:
                raise ValueError(f"unknown pattern {pattern!r}; "
                                 f"{nearest_names(pattern, self._period_of)}")
        table = self._tables[pattern] = sampled_axes(self.source, pattern, period)
        return table

    # ---- cues -------------------------------------------------------------------

    def track_index(self, track: str | int) -> int:
        """A track's index from its label or index."""
        if isinstance(track, int) and not isinstance(track, bool):
            if not 0 <= track < len(self.tracks):
                raise ValueError(f"no track {track}: the player has {len(self.tracks)}")
            return track
        for i, candidate in enumerate(self.tracks):
            if candidate.name == track:
                return i
        raise ValueError(f"no track {track!r}; "
                         f"{nearest_names(str(track), (t.name for t in self.tracks))}")

    def cue(self, tracks: str | int | Sequence[str | int],
            patterns: Patternish | Sequence[Patternish], *,
            at: Unit = "bar", count: int = 1, at_pip: int | None = None,
            fade_beats: Exact = 0, ease: str = "linear") -> int:
        """Switch tracks (a label, an index, or a group of them) to other
        patterns at the next `count` beats, bars or phrases of the clock's
        meter (or at clock pip `at_pip`), crossfading over `fade_beats`
        with an easing curve. `patterns` is one pattern for every track or
        one per track (a spread across a group). Safe from any thread;
        returns the clock pip the change lands on, the same for every output."""
        indices = [self.track_index(t) for t in
                   ([tracks] if isinstance(tracks, (str, int)) else tracks)]
        if isinstance(patterns, (str, bytes)) or not isinstance(patterns, Sequence):
            chosen = [patterns] * len(indices)
        else:
            chosen = list(patterns)
        if len(chosen) != len(indices):
            raise ValueError(f"{len(chosen)} patterns for {len(indices)} tracks")
        choices = [as_pattern(p, self.source) for p in chosen]
        return self.cues.request(indices, choices, pip=at_pip, now=self.clock.pip(), unit=at,
                                 count=count, fade=pips_of(0, fade_beats), ease=ease,
                                 offsets=[self.tracks[i].offset for i in indices])

    def play_frame(self, at_ns: int | None = None) -> Frame:
        """Send the frame for instant `at_ns` (default: now) to every output
        (each at its latency); the frame of the player's own is returned."""
        t = self.clock.now_ns() if at_ns is None else at_ns
        own = self.frame(self.clock.pip_at(t), self.stats.frames, t)
        for stream in self.group_streams():
            if stream.latency_ns == 0:
                stream.send(Frame(stream.stats.frames, t, own.pip, own.positions,
                                  _places=self._places))
            else:
                stream.send(self.frame(self.clock.pip_at(t + stream.latency_ns),
                                       stream.stats.frames, t))
        return own

    def group_streams(self) -> tuple[Stream, ...]:
        """The outputs grouped by frame rate and latency, the player's own
        rate first (it keeps `stats`, with or without outputs)."""
        own = None if self.per_pip else self.fps
        # Unchanged settings give the same streams (a player that sends
        # frames in a loop of its caller's asks on every frame); a setting
        # is compared with its type, so that 1 and True are not taken for
        # one another.
        settings = (own, [(type(fps), fps, type(latency), latency) for fps, latency in
                          ((getattr(output, "fps", None), getattr(output, "latency_ms", 0))
                           for output in self.outputs)])
        grouped = self._grouped
        if grouped is not None and grouped[0] is self.outputs and grouped[1] is self.stats \
                and grouped[2] == settings:
            return self.streams
        groups: dict[tuple[int | None, int], list[Output]] = {(own, 0): []}
        for output in self.outputs:
            fps = check_fps(getattr(output, "fps", None))
            key = (own if fps is None else fps, latency_ns(getattr(output, "latency_ms", 0)))
            groups.setdefault(key, []).append(output)
        # A stream keeps its stats from one grouping to the next.
        stats = {(stream.fps, stream.latency_ns): stream.stats for stream in self.streams}
        stats[(own, 0)] = self.stats
        self.streams = tuple(Stream(tuple(members), fps, latency, stats.get((fps, latency)))
                             for (fps, latency), members in groups.items())
        self._grouped = self.outputs, self.stats, settings
        return self.streams

    # ---- playing ------------------------------------------------------------------

    def run(self, until_pip: int | None = None, *, travelled: bool = False) -> Stats:
        """Play from now until each stream reaches a frame whose pip is
        `until_pip` or later (default: until `stop()`), in the calling
        thread. With `travelled`, `until_pip` is a point of the clock's
        travel (`BeatClock.travel_at`), which runs on through its jumps:
        the run lasts as many pips whenever the clock jumps. The end is
        kept in `self.until_pip` while the run lasts, where another thread
        may move it."""
        self.until_pip, self.travelled = until_pip, travelled
        self._stop.clear()
        clock = self.clock
        start = clock.now_ns()
        playing = list(self.group_streams())
        for stream in playing:
            stream.begin(clock, start)
        while playing:
            now = self._wait_until(min(stream.due(clock) for stream in playing))
            if self._stop.is_set():
                break
            for stream in tuple(playing):
                if stream.due(clock) > now:
                    continue
                taken = stream.take(clock, now, self.until_pip, travelled)
                if taken is None:
                    playing.remove(stream)
                    continue
                index, due, pip = taken
                stream.send(self.frame(pip, index, due))
        return self.stats

    def _wait_until(self, due: int, stoppable: bool = True) -> int:
        while True:
            now = self.clock.now_ns()
            if now >= due or stoppable and self._stop.is_set():
                return now
            if self._sleep is not None:
                self._sleep(due - now)
            elif stoppable:
                self._stop.wait((due - now) / NS_PER_SECOND)
            else:
                time.sleep((due - now) / NS_PER_SECOND)

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
        """Stop, send the final frame the player was made with, and close
        every output (an sACN output ends its streams)."""
        try:
            self.stop()
            self.send_final()
        finally:
            for output in self.outputs:
                output.close()

    def send_final(self) -> None:
        """The final frame: for `centre`, every position at 0, sent at each
        stream's rate until slew-limited outputs have got there (ten seconds
        at most); for `dark`, each output's own dark state."""
        if self.final == "hold":
            return
        for stream in self.streams:
            if self.final == "dark":
                for output in stream.outputs:
                    dark = getattr(output, "dark", None)
                    if dark is not None:
                        dark()
                continue
            last = stream.stats.last
            if last is None:
                continue
            centre = tuple(Position(p.label, p.pattern, p.pip, 0.0, 0.0, 0.0)
                           for p in last.positions)
            start = self.clock.now_ns()
            for index in itertools.count():
                due = frame_time(start, index, stream.fps or self.fps)
                if index and self._wait_until(due, stoppable=False) - start > SETTLE_NS:
                    break
                stream.send(Frame(last.index + 1 + index, due, last.pip, centre,
                                  _places=self._places))
                if all(getattr(output, "settled", True) for output in stream.outputs):
                    break

    def __enter__(self) -> Player:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

