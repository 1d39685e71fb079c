"""The meter: beats to the bar, and where bars and phrases begin.

Pip 0 is the downbeat of bar 1: bar 1, beat 1, pip 0. Bars and beats are
counted from 1 after it and from 0 and below before it, so every pip has
exactly one bar:beat:pip and the pips of a bar run from its downbeat
without a gap, negative ones included. Everything that speaks of bars reads
them from a `Meter`: the status line, cues that land on the next bar or
phrase, and the quantum of a shared beat session, so all of them agree on
where bar 1 is.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Literal

PIPS_PER_BEAT = 64
MAX_BEATS_PER_BAR = 64

# What a change may be quantised to: the next beat, the next bar, or the
# next phrase of a number of bars.
Unit = Literal["beat", "bar", "phrase"]
UNITS: tuple[Unit, ...] = ("beat", "bar", "phrase")


@dataclass(frozen=True)
class BarBeat:
    """A pip as bar, beat within the bar (both from 1 after pip 0) and pip
    within the beat (0 to 63)."""
    bar: int
    beat: int
    pip: int

    def __str__(self) -> str:
        return f"{self.bar}:{self.beat}:{self.pip:02d}"


@dataclass(frozen=True)
class Meter:
    """`beats_per_bar` beats to the bar (default 4), and phrases of
    `bars_per_phrase` bars (default 4)."""
    beats_per_bar: int = 4
    bars_per_phrase: int = 4

    def __post_init__(self) -> None:
        for what, value, top in (("beats per bar", self.beats_per_bar, MAX_BEATS_PER_BAR),
                                 ("bars per phrase", self.bars_per_phrase, 1024)):
            if isinstance(value, bool) or not isinstance(value, int) or not 1 <= value <= top:
                raise ValueError(f"{what} must be a whole number 1 to {top}, not {value!r}")

    @property
    def pips_per_bar(self) -> int:
        return self.beats_per_bar * PIPS_PER_BEAT

    @property
    def pips_per_phrase(self) -> int:
        return self.bars_per_phrase * self.pips_per_bar

    def unit_pips(self, unit: Unit, count: int = 1) -> int:
        """The length in pips of `count` beats, bars or phrases."""
        if isinstance(count, bool) or not isinstance(count, int) or count < 1:
            raise ValueError(f"a count of {unit}s must be a whole number from 1, not {count!r}")
        if unit == "beat":
            return count * PIPS_PER_BEAT
        if unit == "bar":
            return count * self.pips_per_bar
        if unit == "phrase":
            return count * self.pips_per_phrase
        raise ValueError(f"unknown unit {unit!r}: one of {', '.join(UNITS)}")

    def locate(self, pip: int) -> BarBeat:
        """Bar, beat and pip of `pip`."""
        bar, in_bar = divmod(pip, self.pips_per_bar)
        beat, within = divmod(in_bar, PIPS_PER_BEAT)
        return BarBeat(bar + 1, beat + 1, within)

    def bar_start(self, bar: int) -> int:
        """The pip of bar `bar`'s downbeat."""
        return (bar - 1) * self.pips_per_bar

    def next_boundary(self, pip: int, unit: Unit = "bar", count: int = 1) -> int:
        """The first boundary of `count` `unit`s (counted from pip 0) strictly
        after `pip`: where a change asked for at `pip` lands."""
        length = self.unit_pips(unit, count)
        return (pip // length + 1) * length

    def format(self, pip: int) -> str:
        """`pip` as bar:beat:pip, for example "3:2:16"."""
        return str(self.locate(pip))
