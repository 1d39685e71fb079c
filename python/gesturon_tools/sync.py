"""Where the beat comes from: a tempo typed in or tapped, Ableton Link, or
a MIDI clock. Each source owns a `BeatClock` and keeps it on the music;
a player reads the clock as usual.

    from gesturon_tools.sync import make_source
    source = make_source("link", bpm=128)          # or "manual", "midi"
    player = Player(["circle"], [output], source.clock)

`make_source` takes plain options, so a program, a show file and the
command line all make sources the same way. Link and MIDI clock need
optional packages (`pip install 'gesturon[sync]'`); a missing one is a
`MissingDependency` naming what to install.

Every source keeps the clock running when the music goes away: at the
last tempo, never stopping and never going backwards. Only what a musician
asks for on purpose (Start, a Song Position Pointer, joining a Link
session) moves the clock by a jump.
"""

from __future__ import annotations

import time
from fractions import Fraction
from typing import Callable, Literal, Protocol

from .clock import NS_PER_MINUTE, NS_PER_SECOND, PIPS_PER_BEAT, BeatClock, Number, exact, exact_tempo
from .meter import Meter

Kind = Literal["manual", "link", "midi"]
KINDS: tuple[Kind, ...] = ("manual", "link", "midi")
DEFAULT_BPM = 120

TAP_TIMEOUT_NS = 2 * NS_PER_SECOND  # a longer pause begins a new series of taps
TAPS_KEPT = 8                       # the tempo is the mean over at most this many taps


class Source(Protocol):
    """A beat source: the clock it keeps on the music, and how it is doing."""
    kind: str
    clock: BeatClock

    @property
    def lost(self) -> bool:
        """The music has gone away; the clock runs on at the last tempo."""
        ...

    def status(self) -> str:
        """A few words for a status line: the source and its health."""
        ...

    def close(self) -> None: ...


class ManualSource:
    """A tempo given by hand, with tap tempo, nudging and resyncing to the
    downbeat. Every change is smooth (`BeatClock.follow`): the motion
    speeds up or slows down a little until it is where it was asked to
    be.
    """

    kind = "manual"
    lost = False

    def __init__(self, clock: BeatClock):
        self.clock = clock
        self.taps: list[int] = []

    def tap(self, at_ns: int | None = None) -> Fraction | None:
        """A tap on the beat at instant `at_ns` (default: now). The clock's
        nearest beat moves to the tap; from the second tap of a series on,
        the tempo is the mean interval of the series' last taps. A pause of
        two seconds begins a new series. Returns the tapped tempo, or None
        while there is none (a first tap, or one beyond 20 to 999 BPM)."""
        t = self.clock.now_ns() if at_ns is None else at_ns
        if self.taps and not 0 < t - self.taps[-1] <= TAP_TIMEOUT_NS:
            self.taps.clear()
        self.taps = (self.taps + [t])[-TAPS_KEPT:]
        tempo: Fraction | None = None
        if len(self.taps) >= 2:
            tempo = Fraction(NS_PER_MINUTE * (len(self.taps) - 1), self.taps[-1] - self.taps[0])
            try:
                exact_tempo(tempo)
            except ValueError:
                tempo = None
        self.clock.follow(0, t, bpm=tempo, cycle=1)
        return tempo

    def nudge(self, pips: int, at_ns: int | None = None) -> None:
        """Move the motion `pips` pips later (negative: earlier), smoothly;
        less than half a bar at a time. Nudges add up, even while the clock
        is still catching up with the last one."""
        bar = self.clock.meter.beats_per_bar
        if abs(pips) * 2 >= bar * PIPS_PER_BEAT:
            raise ValueError(f"nudge by less than half a bar ({bar * PIPS_PER_BEAT // 2} pips), "
                             f"not {pips}")
        t = self.clock.now_ns() if at_ns is None else at_ns
        self.clock.follow((self.clock.target_at(t) + Fraction(pips, PIPS_PER_BEAT)) % bar, t,
                          cycle=bar)

    def downbeat(self, at_ns: int | None = None) -> None:
        """Instant `at_ns` (default: now) is the first beat of a bar: the
        clock moves to the nearest downbeat, smoothly."""
        bar = self.clock.meter.beats_per_bar
        self.clock.follow(0, self.clock.now_ns() if at_ns is None else at_ns, cycle=bar)

    def status(self) -> str:
        return "tap" if self.taps else "manual"

    def close(self) -> None:
        pass


def make_source(kind: str = "manual", *, bpm: Number | None = None, port: str | None = None,
                quantum: Number | None = None, meter: Meter | None = None, lead: bool = False,
                now_ns: Callable[[], int] = time.monotonic_ns) -> Source:
    """A beat source from plain options.

    `kind`: "manual" (the tempo `bpm`, tap, nudge), "link" (join the Ableton
    Link session; `quantum` beats to the bar, default the meter's; `lead`
    sets the session's tempo to `bpm`) or "midi" (follow the MIDI clock on
    input port `port`). `bpm` is the tempo until the source says
    otherwise (default 120). Raises ValueError for a bad option,
    MissingDependency for a missing package and OSError when the network
    or the MIDI system cannot be used.
    """
    if kind not in KINDS:
        raise ValueError(f"unknown beat source {kind!r}: one of {', '.join(KINDS)}")
    if kind != "midi" and port is not None:
        raise ValueError("a MIDI port is for the midi source only")
    if kind != "link" and (quantum is not None or lead):
        raise ValueError("a quantum and leading are for the link source only")
    tempo = exact_tempo(DEFAULT_BPM if bpm is None else bpm)
    if quantum is not None:
        beats = exact(quantum, "quantum")
        if beats.denominator != 1 or not 1 <= beats <= 64:
            raise ValueError(f"quantum must be a whole number of beats 1 to 64, not {quantum}")
        if meter is None:
            meter = Meter(int(beats))
    clock = BeatClock(tempo, now_ns=now_ns, meter=meter)
    if kind == "manual":
        return ManualSource(clock)
    if kind == "link":
        from .linkclock import LinkSource
        return LinkSource(clock, quantum=None if quantum is None else int(exact(quantum, "quantum")),
                          lead=lead)
    if port is None:
        raise ValueError("the midi source needs a MIDI input port")
    from .midiclock import MidiClockSource
    return MidiClockSource(port, clock, now_ns=now_ns)
