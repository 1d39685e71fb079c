"""Cues: which pattern each track of a player plays at a pip.

A cue switches some tracks to other patterns from a pip on, optionally
crossfading over a number of pips. The choice is a function of the
clock's pip alone, never of the frame or of the moment a frame is made,
so every output (whatever its frame rate, however late it samples) changes
on exactly the same pip.

Requests may come from any thread (a MIDI callback, a web request) while
frames are being made. A request chooses its pip and publishes new plans
under the same lock under which a frame notes its pip and reads the plans,
so a frame sees all of a request or none of it, and a cue never lands on a
pip that a frame has already been made for.
"""

from __future__ import annotations

import bisect
import threading
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable, Sequence, Union

from .compose import Crossfade, Named, Pattern, check_ease, name_of, sampler
from .meter import Meter, Unit

if TYPE_CHECKING:
    from .catalogue import Source

# What a track plays: a catalogue name (sampled by name, the fast path) or
# any pattern object.
Choice = Union[str, Pattern]

# Changes that landed this long before the newest sampled pip are
# forgotten once a later change has replaced them (outputs that sample a
# little behind still find them).
KEEP_PIPS = 64 * 64
# Where a track's own pattern starts: before any pip a player reaches.
START = -(2**62)


@dataclass(frozen=True)
class Change:
    """From clock pip `pip` on, the track plays `choice` (reported as
    `name`); `xyz` samples a pattern object as a tuple (None for a name,
    which the player samples by name)."""
    pip: int
    choice: Choice
    name: str
    xyz: Callable[[int], tuple[float, float, float]] | None = None

    @staticmethod
    def of(pip: int, choice: Choice) -> Change:
        return Change(pip, choice, name_of(choice),
                      None if isinstance(choice, str) else sampler(choice))


# A track's plan: its changes in pip order, and their pips for bisecting.
Plan = tuple[tuple[Change, ...], tuple[int, ...]]


class CueState:
    """The plans of a player's tracks, starting with their own patterns."""

    def __init__(self, initial: Sequence[Choice], meter: Meter, source: Source | None = None):
        self.meter = meter
        self.source = source
        start = START
        self._plans: tuple[Plan, ...] = tuple(
            ((Change.of(start, choice),), (start,)) for choice in initial)
        self._fixed: tuple[Change, ...] | None = tuple(plan[0][0] for plan in self._plans)
        self._lock = threading.Lock()
        # The newest clock pip anything has been sampled at: a cue never
        # lands on a pip an output has already passed.
        self.horizon = start

    def rewind(self, pip: int, played: int) -> None:
        """The clock has jumped back from pip `played` to `pip`: the pips
        from `pip` on are to be sampled again, and cues may land on them.
        What every track played at `played` plays on from `pip` (a fade in
        progress ends on what it faded to), in place of whatever was planned
        from `pip` on: cues that have landed stay landed."""
        with self._lock:
            self.horizon = min(self.horizon, pip)
            plans = []
            for changes, pips in self._plans:
                choice = changes[bisect.bisect_right(pips, played) - 1].choice
                if isinstance(choice, Crossfade):
                    choice = choice.b
                kept = changes[:bisect.bisect_left(pips, pip)]
                if not kept or kept[-1].choice is not choice:
                    kept += (Change.of(pip if kept else START, choice),)
                plans.append((kept, tuple(change.pip for change in kept)))
            self._plans = tuple(plans)
            self._fixed = None

    def at(self, pip: int) -> tuple[Change, ...]:
        """The change in force on every track at clock pip `pip`."""
        with self._lock:
            if pip > self.horizon:
                self.horizon = pip
            fixed = self._fixed
            plans = self._plans
        if fixed is not None:
            return fixed
        return tuple(changes[bisect.bisect_right(pips, pip) - 1] for changes, pips in plans)

    def request(self, tracks: Sequence[int], choices: Sequence[Choice], *, pip: int | None = None,
                now: int = 0, unit: Unit = "bar", count: int = 1, fade: int = 0,
                ease: str = "linear", offsets: Sequence[int] = ()) -> int:
        """Track `tracks[i]` plays `choices[i]` from clock pip `pip`, or
        from the next `count` `unit`s boundary after both `now` and every
        pip a frame has been made for; fading over `fade` pips from what it
        played (a track `offsets[i]` pips ahead of the clock fades at the
        same instants as the others). Returns the pip."""
        check_ease(ease)
        self.meter.unit_pips(unit, count)
        if fade < 0:
            raise ValueError(f"a fade cannot last {fade} pips")
        with self._lock:
            if pip is None:
                pip = self.meter.next_boundary(max(now, self.horizon), unit, count)
            pip = max(pip, START + 1)  # a track's own pattern is never planned away
            plans = list(self._plans)
            for k, (track, choice) in enumerate(zip(tracks, choices)):
                changes, pips = plans[track]
                # A later request for the same pip or before replaces what
                # was planned from there on.
                keep = bisect.bisect_left(pips, pip)
                changes = changes[:keep]
                if fade:
                    offset = offsets[k] if offsets else 0
                    before = settled(self.pattern(changes[-1].choice), pip + offset)
                    choice = Crossfade(before, self.pattern(choice), pip + offset, fade, ease)
                change = Change.of(pip, choice)
                changes = forget_old(changes + (change,), self.horizon)
                plans[track] = (changes, tuple(c.pip for c in changes))
            self._plans = tuple(plans)
            self._fixed = None
        return pip

    def pattern(self, choice: Choice) -> Pattern:
        """A choice as a pattern object, a name looked up in the player's source."""
        return Named(choice, self.source) if isinstance(choice, str) else choice


def settled(pattern: Pattern, pip: int) -> Pattern:
    """What `pattern` plays from `pip` on: a crossfade over by then is its
    second pattern. A fade from a fade would otherwise hold the one before
    it, and so on back to the first cue, one more for every faded cue."""
    while isinstance(pattern, Crossfade) and pattern.start + pattern.length <= pip:
        pattern = pattern.b
    return pattern


def forget_old(changes: tuple[Change, ...], horizon: int) -> tuple[Change, ...]:
    """Changes without those replaced long before `horizon`."""
    first = 0
    while first + 1 < len(changes) and changes[first + 1].pip < horizon - KEEP_PIPS:
        first += 1
    return changes[first:]
