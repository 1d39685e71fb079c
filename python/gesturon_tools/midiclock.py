"""Following a MIDI clock: a drum machine, a sequencer or a DAW sending 24
pulses a beat, with Start, Stop, Continue and Song Position Pointer.

`TempoEstimator` is plain Python fed (message, timestamp) pairs, so it can
be driven by a real port or by a test alike. Tempo comes from a straight
line fitted through the pulse times of the last few beats: pulses from real
gear wander by a millisecond or so, and the fit averages that away (within
a few hundredths of a BPM after two beats at 128 BPM). A real tempo change
shows as pulses that keep arriving early, or late, against the line; after
a few of them on the same side the fit forgets everything before the
change, so the estimate follows within a few pulses instead of lagging by
the whole window.

`MidiClockIn` lets a `BeatClock` follow the estimate; `MidiClockSource`
does that from a MIDI input port (mido with python-rtmidi, `pip install
'gesturon[sync]'`): through ALSA on Linux, or a running JACK server where
ALSA's sequencer cannot be reached, or the system MIDO_BACKEND names (for
example `mido.backends.rtmidi/UNIX_JACK`).
"""

from __future__ import annotations

import math
import os
import sys
import threading
import time
from collections import deque
from contextlib import contextmanager
from dataclasses import dataclass
from fractions import Fraction
from typing import Any, Callable, Iterator, Protocol

from .clock import MAX_BPM, MIN_BPM, NS_PER_MINUTE, NS_PER_SECOND, BeatClock

PULSES_PER_BEAT = 24
PULSES_PER_SIXTEENTH = 6  # the unit of the Song Position Pointer

WINDOW_PULSES = 4 * PULSES_PER_BEAT  # the longest stretch of pulses the tempo is fitted to
CHANGE_PULSES = 8                    # this many pulses off the line on one side: a new tempo
GAP_PULSES = 4                       # a longer silence begins a new fit
LOST_AFTER_NS = NS_PER_SECOND // 2   # and never less than GAP_PULSES pulse intervals

INSTALL_HINT = "pip install 'gesturon[sync]'"


class Message(Protocol):
    """What the estimator reads of a MIDI message (a `mido.Message`)."""

    @property
    def type(self) -> str: ...


class TempoEstimator:
    """Tempo and song position of a MIDI clock from its messages and the
    instants they arrived (integer nanoseconds, any monotonic clock).

    The song position counts pulses from the start of the song: Start sets
    it to 0, Song Position Pointer to a number of sixteenths, and the first
    pulse after Start or Continue is at that position; every pulse after it
    is one later. Stop freezes the position; pulses that still arrive keep
    the tempo up to date.
    """

    def __init__(self, window: int = WINDOW_PULSES, change: int = CHANGE_PULSES):
        if window < change or change < 2:
            raise ValueError("the window must hold at least the pulses that mark a change")
        self.window = window
        self.change = change
        self.running = False
        self.transport = False       # a Start, Stop, Continue or song position has come
        self.jumped = False          # the last pulse set the position (Start, Continue, SPP)
        self.next_pulse = 0          # the song position of the next pulse
        self.last_pulse: int | None = None    # the song position of the last counted pulse
        self.last_ns: int | None = None       # when the last pulse of any kind arrived
        self._fit = LineFit(window)  # (pulse count, instant) of the latest pulses
        self._pulses = 0
        self._line: tuple[float, float] | None = None  # fitted instant of pulse count 0, ns a pulse
        self._jitter = 0.0           # root mean square distance of the pulses from the line, ns
        self._side: deque[int] = deque(maxlen=change)  # which side of the line recent pulses fell
        self._resume = False         # the next pulse is at next_pulse without advancing

    # ---- feeding ------------------------------------------------------------------

    def feed(self, message: Message, t_ns: int) -> None:
        kind = message.type
        if kind == "clock":
            self._pulse(t_ns)
            return
        self.transport |= kind in ("start", "continue", "stop", "songpos")
        if kind == "start":
            self.next_pulse = 0
            self.running = self._resume = True
        elif kind == "continue":
            self.running = self._resume = True
        elif kind == "stop":
            self.running = False
        elif kind == "songpos":
            self.next_pulse = int(getattr(message, "pos")) * PULSES_PER_SIXTEENTH
            self._resume = True

    def _pulse(self, t_ns: int) -> None:
        interval = self.interval_ns
        if self.last_ns is not None and interval is not None \
                and t_ns - self.last_ns > GAP_PULSES * interval:
            self._restart_fit()  # pulses went missing: the count no longer fits the line
        self.last_ns = t_ns
        self._track(t_ns)
        self.jumped = False
        if self.running:
            if self._resume:
                self._resume = False
                self.jumped = True
            self.last_pulse = self.next_pulse
            self.next_pulse += 1

    def _track(self, t_ns: int) -> None:
        count = self._pulses
        self._pulses += 1
        if self._line is not None and len(self._fit) >= 2 * self.change:
            origin, step = self._line
            miss = t_ns - (origin + step * count)
            # Jitter alone puts a pulse beyond its typical distance from the
            # line, on one given side, about one time in five: `change` of
            # them in a row is rare unless the tempo really moved.
            if abs(miss) > max(self._jitter, step / 200):
                self._side.append(1 if miss > 0 else -1)
            else:
                self._side.append(0)
            if len(self._side) == self.change and abs(sum(self._side)) == self.change:
                # A new tempo: fit only the pulses since it began.
                recent = list(self._fit.points)[1 - self.change:]
                self._restart_fit()
                for point in recent:
                    self._fit.add(*point)
        self._fit.add(count, t_ns)
        fitted = self._fit.line()
        if fitted is not None:
            self._line = fitted[:2]
            self._jitter = fitted[2]

    def _restart_fit(self) -> None:
        self._fit.clear()
        self._side.clear()
        self._line = None
        self._jitter = 0.0

    # ---- reading ----------------------------------------------------------------

    @property
    def interval_ns(self) -> float | None:
        """Nanoseconds between pulses, from the fitted line (None before
        two pulses)."""
        return None if self._line is None else self._line[1]

    @property
    def bpm(self) -> float | None:
        interval = self.interval_ns
        return None if interval is None or interval <= 0 else NS_PER_MINUTE / (PULSES_PER_BEAT * interval)

    def beats_at(self, t_ns: int) -> Fraction | None:
        """The song position in beats at instant `t_ns`, on the fitted line
        through the last counted pulse (the position there while stopped);
        None before the first counted pulse."""
        if self.last_pulse is None:
            return None
        at = Fraction(self.last_pulse, PULSES_PER_BEAT)
        if not self.running or self._line is None:
            return at
        origin, step = self._line
        fitted = origin + step * (self._pulses - 1)  # the smoothed instant of the last pulse
        return at + Fraction((t_ns - round(fitted)) / step / PULSES_PER_BEAT)

    @staticmethod
    def lost_after_ns(interval: float) -> int:
        return max(LOST_AFTER_NS, round(GAP_PULSES * interval))

    def lost(self, now_ns: int) -> bool:
        """No pulse for half a second (or four pulse intervals)."""
        interval = self.interval_ns
        return (self.last_ns is not None and interval is not None
                and now_ns - self.last_ns > self.lost_after_ns(interval))


class LineFit:
    """The least-squares line through the last `window` points (pulse
    count, instant), kept as running sums: each point costs the same
    however long the window. The sums are exact integers, counted from the
    first point since the last `clear`, so a long run loses no precision."""

    def __init__(self, window: int):
        self.window = window
        self.points: deque[tuple[int, int]] = deque()
        self.clear()

    def clear(self) -> None:
        self.points.clear()
        self._origin: tuple[int, int] | None = None
        self._sums = [0, 0, 0, 0, 0]  # of c, t, c*c, c*t, t*t

    def __len__(self) -> int:
        return len(self.points)

    def add(self, count: int, t_ns: int) -> None:
        if self._origin is None:
            self._origin = (count, t_ns)
        self.points.append((count, t_ns))
        self._update(count, t_ns, 1)
        if len(self.points) > self.window:
            self._update(*self.points.popleft(), -1)

    def _update(self, count: int, t_ns: int, sign: int) -> None:
        assert self._origin is not None
        c, t = count - self._origin[0], t_ns - self._origin[1]
        for i, term in enumerate((c, t, c * c, c * t, t * t)):
            self._sums[i] += sign * term

    def line(self) -> tuple[float, float, float] | None:
        """The instant of count 0, nanoseconds a count, and the root mean
        square distance of the points from the line; None below two
        points."""
        n = len(self.points)
        if n < 2 or self._origin is None:
            return None
        sc, st, scc, sct, stt = self._sums
        cc, ct, tt = n * scc - sc * sc, n * sct - sc * st, n * stt - st * st
        step = ct / cc
        origin = self._origin[1] + (st - step * sc) / n - step * self._origin[0]
        spread = (tt * cc - ct * ct) / (cc * n * n)
        return origin, step, math.sqrt(spread)


class MidiClockIn:
    """A `BeatClock` following a MIDI clock's messages.

    Start, Continue and a Song Position Pointer put the clock where the
    song is (a jump, as the musician asked for it): the clock's pip 0 is the
    downbeat of the song's bar 1, so the clock's bars are the song's. While
    running, every pulse moves it smoothly towards the song's place within
    the bar, at the estimated tempo. Stop and a lost clock leave it running
    at the last tempo: it never stops and never goes backwards.
    """

    def __init__(self, clock: BeatClock, estimator: TempoEstimator | None = None):
        self.clock = clock
        self.estimator = TempoEstimator() if estimator is None else estimator
        self._lock = threading.Lock()

    def feed(self, message: Message, t_ns: int) -> None:
        with self._lock:
            estimator = self.estimator
            estimator.feed(message, t_ns)
            if message.type != "clock":
                return
            bpm = estimator.bpm
            tempo = None if bpm is None else Fraction(min(max(bpm, MIN_BPM), MAX_BPM))
            beats = estimator.beats_at(t_ns)
            running = estimator.running and beats is not None
            if running and estimator.jumped:
                assert beats is not None
                if tempo is not None:
                    self.clock.set_tempo(tempo, t_ns)
                self.clock.locate(beats, t_ns)
            elif tempo is None:
                return
            elif running:
                assert beats is not None
                bar = self.clock.meter.beats_per_bar
                self.clock.follow(beats % bar, t_ns, bpm=tempo, cycle=bar)
            elif abs(tempo - self.clock.bpm) > Fraction(1, 100):
                self.clock.set_tempo(tempo, t_ns)

    def place(self, beat: Fraction, t_ns: int) -> bool:
        """Put the clock at song position `beat` at instant `t_ns`, unless
        the song has already said where it is (a Start, Continue or Song
        Position Pointer followed); whether it was put there."""
        with self._lock:
            if self.estimator.last_pulse is not None:
                return False
            self.clock.locate(beat, t_ns)
            return True

    def status(self, now_ns: int) -> str:
        estimator = self.estimator
        if estimator.last_ns is None:
            return "MIDI clock: waiting for pulses"
        if not estimator.running:
            # Much gear sends no pulses while stopped, so silence is no loss
            # then. Pulses without Start yet give the tempo, not the bar.
            return "MIDI clock stopped" if estimator.transport else "MIDI clock: tempo only until Start"
        if estimator.lost(now_ns):
            return f"MIDI clock LOST, running on at {bpm_text(self.clock.bpm)} BPM"
        return "MIDI clock running"


def bpm_text(bpm: Fraction | float) -> str:
    return f"{float(bpm):.2f}".rstrip("0").rstrip(".")


# ---- a real port --------------------------------------------------------------------

def mido_module() -> Any:
    from .outputs import MissingDependency
    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
        import rtmidi  # type: ignore[import-untyped, unused-ignore]  # noqa: F401 (mido's backend)
    except ImportError:
        raise MissingDependency(f"MIDI clock input needs the mido and python-rtmidi packages: "
                                f"{INSTALL_HINT}") from None
    return mido


JACK_BACKEND = "mido.backends.rtmidi/UNIX_JACK"


def midi_backend() -> tuple[Any, list[str]]:
    """The MIDI system to use and its input ports: the one MIDO_BACKEND
    names, or else the usual one (ALSA on Linux) and, where that cannot be
    reached, a running JACK server. OSError when there is none. Their
    libraries complain on standard error as they are tried; that goes
    unseen, and the error says what happened."""
    mido = mido_module()
    if os.environ.get("MIDO_BACKEND"):
        candidates = [mido.backend]
    else:
        candidates = [mido.Backend("mido.backends.rtmidi"), mido.Backend(JACK_BACKEND)]
    failures = []
    for backend in candidates:
        try:
            with quiet_stderr():
                return backend, list(backend.get_input_names())
        except Exception as error:  # rtmidi reports a missing system as several types
            failures.append(str(error).strip())
    raise OSError("no MIDI system to reach (" + "; ".join(failures) + ")")


@contextmanager
def quiet_stderr() -> Iterator[None]:
    """Standard error, file descriptor 2 itself, goes nowhere meanwhile."""
    sys.stderr.flush()
    saved = os.dup(2)
    try:
        with open(os.devnull, "w") as nowhere:
            os.dup2(nowhere.fileno(), 2)
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def input_ports() -> list[str]:
    """The MIDI input ports there are now (OSError when no MIDI system can
    be reached)."""
    return midi_backend()[1]


class MidiClockSource:
    """A MIDI input port driving a `BeatClock` through `MidiClockIn`;
    messages are stamped with `time.monotonic_ns` as they arrive. With no
    port (None), the program that reads MIDI itself hands every message to
    `feed`."""

    kind = "midi"

    def __init__(self, port: str | None, clock: BeatClock, *,
                 now_ns: Callable[[], int] = time.monotonic_ns):
        self.clock = clock
        self.follower = MidiClockIn(clock)
        self.now_ns = now_ns
        self.port = port
        self._port: Any = None
        if port is None:
            return
        backend, names = midi_backend()
        if port not in names:
            listed = ", ".join(repr(name) for name in names) or "none"
            raise ValueError(f"no MIDI input port {port!r} (there are: {listed})")
        try:
            self._port = backend.open_input(port, callback=self.feed)
        except Exception as error:
            raise OSError(f"cannot open MIDI port {port!r}: {error}") from None

    def feed(self, message: Message, t_ns: int | None = None) -> None:
        """A message that arrived at instant `t_ns` (default: now)."""
        self.follower.feed(message, self.now_ns() if t_ns is None else t_ns)

    @property
    def lost(self) -> bool:
        return self.follower.estimator.lost(self.now_ns())

    def status(self) -> str:
        return self.follower.status(self.now_ns())

    def close(self) -> None:
        if self._port is not None:
            self._port.close()


# ---- a simulated clock ---------------------------------------------------------------

@dataclass(frozen=True)
class Event:
    """A MIDI real-time message as the estimator reads it: `type` as mido
    names it ("clock", "start", "stop", "continue", "songpos") and, for a
    Song Position Pointer, `pos` in sixteenths."""
    type: str
    pos: int = 0


def pulses(bpm: Callable[[float], float], beats: float, *, jitter_ns: int = 0, seed: int = 0,
           start_ns: int = 0) -> list[tuple[Event, int]]:
    """A simulated MIDI clock: Start, then `beats` beats of pulses at the
    tempo `bpm(beat)`, each arriving up to `jitter_ns` early or late
    (uniformly, from a generator seeded with `seed`), as (message, instant)
    pairs in order of arrival."""
    import random
    spread = random.Random(seed)
    events = [(Event("start"), start_ns)]
    t = float(start_ns)
    last = start_ns
    for count in range(round(beats * PULSES_PER_BEAT)):
        at = max(last, round(t) + (spread.randint(-jitter_ns, jitter_ns) if jitter_ns else 0))
        events.append((Event("clock"), at))
        last = at
        t += NS_PER_MINUTE / (PULSES_PER_BEAT * bpm(count / PULSES_PER_BEAT))
    return events
