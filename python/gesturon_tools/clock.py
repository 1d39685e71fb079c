"""A beat clock: wall time and a tempo turned into pips.

The clock reads a monotonic nanosecond clock (`time.monotonic_ns` unless
another one is injected) and answers the beat position and the pip at any
moment of it: 64 pips to the beat, the pip being the floor of the exact beat
position, negative before beat zero.

All arithmetic is exact. Times are integer nanoseconds and tempos are
`Fraction`s, so a beat position is an exact rational and its floor is the
right pip even where a frame falls exactly on a pip boundary. With floats
it would not be: at 100 BPM and 100 frames a second, frame 255 (2.55 s) is
exactly pip 272, but `2.55 * 100 / 60 * 64` is 271.99999999999994 and floors
to pip 271, and so do 1527 of the first hour's 360000 frames at this
tempo. Integer nanoseconds and rationals never move a frame to a wrong pip,
however long the clock runs.

The position is a continuous, increasing function of time. It follows a
*target line*, the beat position of the music (an instant, the beat at that
instant and a tempo). A tempo change starts a new target line at the
current position, so the position does not jump. Following an outside
source (`follow`) moves the target line to where the source says the music
is; the clock then catches up over at least a beat by running a little
faster or slower (never slower than half the tempo, never backwards), so
the position stays continuous there too. Only `locate` jumps, on purpose;
whatever plans on the clock's pips (a show's bars and cues) follows a jump
through `on_jump`, whichever source made it.
"""

from __future__ import annotations

import math
import threading
import time
from dataclasses import dataclass, replace
from fractions import Fraction
from typing import Callable, Union

from .meter import Meter
from .numbers import OutOfRange, exact_text

PIPS_PER_BEAT = 64
NS_PER_SECOND = 10**9
NS_PER_MINUTE = 60 * NS_PER_SECOND

# The finest step of a catch-up's starting position, in beats (see catch_up).
FINEST_STEP = 2**64

MIN_BPM = 20
MAX_BPM = 999

# A tempo or a beat as the caller may give it. A float is taken at its exact
# binary value; a str ("128.4", "385/3") or a Fraction gives an exact decimal
# or any rational.
Number = Union[int, float, str, Fraction]


def exact(value: Number, what: str) -> Fraction:
    """`value` as an exact, finite rational, or ValueError naming `what`."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be a number, not a bool")
    if isinstance(value, float) and not math.isfinite(value):
        raise ValueError(f"{what} must be finite, not {value}")
    if isinstance(value, str):
        return exact_text(value, what)
    try:
        return Fraction(value)
    except (ValueError, ZeroDivisionError):
        raise ValueError(f"{what} is not a number: {value!r}") from None


def exact_tempo(bpm: Number) -> Fraction:
    try:
        tempo = exact(bpm, "tempo")
    except OutOfRange:
        tempo = None
    if tempo is None or not MIN_BPM <= tempo <= MAX_BPM:
        shown = f"{float(tempo):g}" if tempo is not None and abs(tempo) < 10**300 else str(bpm).strip()
        raise ValueError(f"tempo must be {MIN_BPM} to {MAX_BPM} BPM, not {shown}")
    return tempo


@dataclass(frozen=True)
class Line:
    """Beat position `beat` at instant `at_ns`, moving at `bpm`; `skipped`
    is the whole pips the clock had jumped over (`locate`) by then."""
    at_ns: int
    beat: Fraction
    bpm: Fraction
    skipped: int = 0

    def beats_at(self, t_ns: int) -> Fraction:
        return self.beat + Fraction((t_ns - self.at_ns) * self.bpm.numerator,
                                    NS_PER_MINUTE * self.bpm.denominator)

    def pip_at(self, t_ns: int) -> int:
        """floor(64 * beats_at(t_ns)), in integers alone (the same value,
        without building and reducing the fractions on every frame)."""
        rate, beat = self.bpm, self.beat
        scale = NS_PER_MINUTE * rate.denominator * beat.denominator
        return ((t_ns - self.at_ns) * rate.numerator * beat.denominator
                + beat.numerator * NS_PER_MINUTE * rate.denominator) * PIPS_PER_BEAT // scale

    def first_ns_at(self, beats: Fraction) -> int:
        """The first nanosecond at which the line has reached `beats`."""
        return self.at_ns + math.ceil((beats - self.beat) * NS_PER_MINUTE / self.bpm)

    def first_ns_at_pip(self, pip: int) -> int:
        """first_ns_at(pip / 64), in integers alone: the same value, without
        building and reducing fractions for every pip."""
        at, scale, offset, divisor = self.pip_time_terms()
        return at - (offset - pip * scale) // divisor

    def pip_time_terms(self) -> tuple[int, int, int, int]:
        """(at, scale, offset, divisor) such that the first nanosecond of
        pip p is at - (offset - p * scale) // divisor: the ceiling of
        (p / 64 - beat) * NS_PER_MINUTE / bpm written over one positive
        divisor (the tempo is positive), for callers that time many pips."""
        rate, beat = self.bpm, self.beat
        scale = beat.denominator * NS_PER_MINUTE * rate.denominator
        offset = PIPS_PER_BEAT * beat.numerator * NS_PER_MINUTE * rate.denominator
        return self.at_ns, scale, offset, PIPS_PER_BEAT * beat.denominator * rate.numerator


@dataclass(frozen=True)
class CatchUp:
    """From `start` (an instant and the position there) straight to the
    target line, which it meets at `end_ns`."""
    start: Line
    end_ns: int


class BeatClock:
    """Beat positions and pips on a monotonic nanosecond clock.

    `bpm` is the tempo (20 to 999), `beat_zero_ns` the instant of beat zero
    on the clock's own time line (default: now). `now_ns` is the clock to
    read; tests and offline renderers inject their own. `meter` says where
    bars begin (pip 0 is the downbeat of bar 1).
    """

    def __init__(self, bpm: Number, beat_zero_ns: int | None = None, *,
                 now_ns: Callable[[], int] = time.monotonic_ns, meter: Meter | None = None):
        self.now_ns = now_ns
        self.meter = Meter() if meter is None else meter
        origin = now_ns() if beat_zero_ns is None else int(beat_zero_ns)
        # The target line and the catch-up towards it, replaced together in
        # one assignment: a player reading the clock in another thread
        # always sees a matching pair. Changes are serialised by the lock.
        self._state: tuple[Line, CatchUp | None] = (Line(origin, Fraction(0), exact_tempo(bpm)),
                                                    None)
        self._changing = threading.Lock()
        # Called with the instant of every jump (`locate`), once the clock
        # is on the pip it jumped to, in the thread that moved it.
        self.on_jump: list[Callable[[int], None]] = []

    # ---- reading ------------------------------------------------------------

    @property
    def bpm(self) -> Fraction:
        """The tempo of the music (while catching up, the clock itself runs
        a little faster or slower)."""
        return self._state[0].bpm

    def beats_at(self, t_ns: int) -> Fraction:
        """The exact beat position at instant `t_ns`."""
        return position(self._state, t_ns)

    def target_at(self, t_ns: int) -> Fraction:
        """Where the music is at instant `t_ns`: the beat position the clock
        is catching up with (while it is not, its own position)."""
        return self._state[0].beats_at(t_ns)

    def pip_at(self, t_ns: int) -> int:
        """The pip at instant `t_ns`: floor of the exact beat position times 64."""
        target, catch_up = self._state
        if catch_up is not None and t_ns < catch_up.end_ns:
            return catch_up.start.pip_at(t_ns)
        return target.pip_at(t_ns)

    def pip(self) -> int:
        """The pip now."""
        return self.pip_at(self.now_ns())

    def time_of_pip(self, pip: int) -> int:
        """The first nanosecond at which the clock has reached `pip`."""
        target, catch_up = self._state
        if catch_up is not None:
            t = catch_up.start.first_ns_at_pip(pip)
            if t < catch_up.end_ns:
                return t
            return max(catch_up.end_ns, target.first_ns_at_pip(pip))
        return target.first_ns_at_pip(pip)

    # ---- changing -------------------------------------------------------------

    def set_tempo(self, bpm: Number, at_ns: int | None = None) -> None:
        """Change the tempo at instant `at_ns` (default: now); the beat
        position there stays what it was."""
        tempo = exact_tempo(bpm)
        with self._changing:
            t = self.now_ns() if at_ns is None else at_ns
            target = self._state[0]
            self._state = catch_up(Line(t, target.beats_at(t), tempo, target.skipped),
                                   t, position(self._state, t))

    def follow(self, phase: Number, at_ns: int | None = None, *,
               bpm: Number | None = None, cycle: Number = 1) -> None:
        """Follow an outside tempo source (a MIDI clock, a DJ application,
        a tap): at instant `at_ns` (default: now) the source is `phase`
        beats into its cycle of `cycle` beats (1: a beat, 4: a bar), at
        tempo `bpm` (default: unchanged).

        The music is taken to be at the position with that phase nearest to
        the clock's own; the clock catches up with it continuously.
        """
        length = exact(cycle, "cycle")
        if length <= 0:
            raise ValueError(f"cycle must be positive, not {cycle}")
        wanted = exact(phase, "phase")
        with self._changing:
            target = self._state[0]
            tempo = target.bpm if bpm is None else exact_tempo(bpm)
            t = self.now_ns() if at_ns is None else at_ns
            now = position(self._state, t)
            # The nearest position with the wanted phase, at most half a cycle away.
            gap = (wanted - now) % length
            if gap >= length / 2:
                gap -= length
            self._state = catch_up(Line(t, now + gap, tempo, target.skipped), t, now)

    def locate(self, beat: Number, at_ns: int | None = None) -> None:
        """Jump: at instant `at_ns` (default: now) the position is `beat`."""
        wanted = exact(beat, "beat")
        with self._changing:
            t = self.now_ns() if at_ns is None else at_ns
            target = self._state[0]
            # The pip in progress at the jump goes on as the pip jumped to:
            # counted once in the clock's travel.
            jump = math.floor(wanted * PIPS_PER_BEAT) - self.pip_at(t)
            self._state = (Line(t, wanted, target.bpm, target.skipped + jump), None)
        for call in tuple(self.on_jump):
            call(t)

    @property
    def skipped(self) -> int:
        """The whole pips the clock has jumped over so far (`locate`; back:
        negative): its pip less its travel."""
        return self._state[0].skipped

    def travel_at(self, t_ns: int) -> tuple[int, int]:
        """(the pip at instant `t_ns`, the clock's travel there): its travel
        is the pip less every pip it has jumped over, so it runs on without
        a gap through a jump. Both from one reading of the clock."""
        target, catch_up = self._state
        line = catch_up.start if catch_up is not None and t_ns < catch_up.end_ns else target
        pip = line.pip_at(t_ns)
        return pip, pip - target.skipped


def position(state: tuple[Line, CatchUp | None], t_ns: int) -> Fraction:
    target, catch_up = state
    if catch_up is not None and t_ns < catch_up.end_ns:
        return catch_up.start.beats_at(t_ns)
    return target.beats_at(t_ns)


def catch_up(target: Line, t_ns: int, now: Fraction) -> tuple[Line, CatchUp | None]:
    """The state that runs from position `now` at `t_ns` straight to the
    target line, over at least one beat and twice the gap, so the clock
    never runs slower than half the tempo nor faster than one and a half
    times it."""
    # The position carries the denominators of the catch-up it was read
    # from, and followed many times a second (a MIDI clock follows on every
    # pulse) they would grow without end, each frame's arithmetic slower
    # than the last. So would the target line's beat, which carries those of
    # every tempo it was set to (a page of the console setting 128.01, then
    # 385/3, then 997/7...). A position finer than 1/2^64 beat moves on to
    # the next multiple of it: never backwards, and by far less than a pip.
    now = finest(now)
    if target.beat.denominator > FINEST_STEP:
        target = replace(target, beat=finest(target.beat))
    gap = target.beats_at(t_ns) - now
    if gap == 0:
        return target, None
    span_beats = max(Fraction(1), 2 * abs(gap))
    end_ns = t_ns + math.ceil(span_beats * NS_PER_MINUTE / target.bpm)
    rate = (target.beats_at(end_ns) - now) / (end_ns - t_ns)  # beats per nanosecond
    return target, CatchUp(Line(t_ns, now, rate * NS_PER_MINUTE), end_ns)


def finest(beat: Fraction) -> Fraction:
    """`beat`, or when it is finer than 1/FINEST_STEP, the next multiple of that."""
    if beat.denominator <= FINEST_STEP:
        return beat
    return Fraction(-((-beat.numerator * FINEST_STEP) // beat.denominator), FINEST_STEP)


def frame_time(start_ns: int, index: int, fps: int) -> int:
    """The instant of frame `index` at `fps` frames a second from `start_ns`:
    computed from the start, never by adding up frame lengths, so it does
    not drift however long the run."""
    return start_ns + index * NS_PER_SECOND // fps
