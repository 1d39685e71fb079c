"""What the player hands to its outputs: a `Frame` of `Position`s, and the
tables the player samples them from.

These types stand apart from the player (`live.py`) and the outputs
(`outputs.py`) so that each of those can import them without importing the
other; `gesturon_tools.live` re-exports them.
"""

from __future__ import annotations

import array
import itertools
import operator
from dataclasses import dataclass, field
from typing import Iterable, Mapping, NamedTuple, Sequence

from .catalogue import Source

# One period of a pattern: its x, y and z lanes (value i at pip i) and the
# period.
Axes = tuple["array.array[float]", "array.array[float]", "array.array[float]", int]

__all__ = ["Axes", "Frame", "Lineup", "Position", "sampled_axes"]


class Position(NamedTuple):
    """Where one track is in a frame: its label, the pattern it plays, the
    pip it was sampled at (the clock's pip plus the track's offset) and x,
    y, z.

    Read it by name (`position.x`); it is also a tuple, so
    `label, pattern, pip, x, y, z = position` works, and it is immutable
    and hashable. A player makes a hundred of these every frame, so it is
    as light as a tuple."""
    label: str
    pattern: str
    pip: int
    x: float
    y: float
    z: float


@dataclass(frozen=True, slots=True)
class Frame:
    """One frame: its number from the start of the run, its scheduled
    instant on the clock's time line, the clock's pip at that instant and
    the position of every track, in track order."""
    index: int
    time_ns: int
    pip: int
    positions: tuple[Position, ...]
    # Where each label stands in `positions`. The outputs look a track up
    # by label once per fixture per frame, so this is a table, not a
    # search: a player makes one for its tracks and hands it to every frame
    # it makes; any other frame makes its own on its first lookup by label.
    # Not part of the frame's value.
    _places: Mapping[str, int] | None = field(default=None, kw_only=True, repr=False,
                                              compare=False)

    def __getitem__(self, track: str | int) -> Position:
        """A track's position by label or by index."""
        if isinstance(track, int):
            return self.positions[track]
        places = self._places
        if places is None:
            places = label_places(position.label for position in self.positions)
            object.__setattr__(self, "_places", places)
        try:
            return self.positions[places[track]]
        except (KeyError, TypeError):  # TypeError: a key no label can equal (a list)
            raise KeyError(f"no track {track!r} in the frame") from None


def label_places(labels: Iterable[str]) -> dict[str, int]:
    """Each label's index, the first where a label repeats."""
    order = tuple(labels)
    return dict(zip(reversed(order), range(len(order) - 1, -1, -1)))


def sampled_axes(source: Source, pattern: str, period: int) -> Axes:
    """One period of `pattern` as `source.sample` gives it: x, y and z of
    pips 0..period-1 as three flat arrays of doubles, and the period.
    Through `gesturon_tools.arrays` (whose tables other users in the
    process share) when NumPy is installed, else by the companion's native
    loop of `sample` calls, else pip by pip; the same doubles every way.

    Flat doubles, 24 bytes a pip as in the module's own tables, rather than
    a float object per value (32 bytes each, scattered): a player reading a
    hundred tables at a moving pip keeps far more of them in the
    processor's caches, and reading from them is quicker too."""
    lanes = (array.array("d"), array.array("d"), array.array("d"))
    try:
        from . import arrays
    except ImportError:
        try:
            from ._gather import sample_rows
        except ImportError:  # a source tree whose native part was never built
            sample = source.sample
            for pip in range(period):
                for lane, value in zip(lanes, sample(pattern, pip).as_tuple()):
                    lane.append(value)
            return lanes[0], lanes[1], lanes[2], period
        flat = array.array("d", [0.0]) * (3 * period)
        sample_rows(source.sample, (pattern,), memoryview(flat).cast("B").cast("d", (period, 3)))
        return flat[0::3], flat[1::3], flat[2::3], period
    rows = arrays.table(pattern, source)
    for axis, lane in enumerate(lanes):
        lane.frombytes(rows[:, axis].tobytes())
    return lanes[0], lanes[1], lanes[2], period


class Lineup:
    """Tracks that each play a named pattern, ready to be read at any pip.

    A frame of a hundred tracks is a hundred table reads and a hundred
    `Position`s; here they are made by iterators that run in C (one pass
    for the pips, one for the rows, one per axis and one for the
    positions) rather than by a loop of Python statements per track. A
    player keeps one lineup for as long as no track changes its pattern."""

    def __init__(self, labels: Sequence[str], names: Sequence[str], offsets: Sequence[int],
                 axes: Sequence[Axes]):
        self.labels = tuple(labels)
        self.names = tuple(names)
        self.offsets = tuple(offsets) if any(offsets) else None  # None: every track at the clock's pip
        self.xs = tuple(a[0] for a in axes)
        self.ys = tuple(a[1] for a in axes)
        self.zs = tuple(a[2] for a in axes)
        self.periods = tuple(a[3] for a in axes)

    def positions(self, pip: int) -> tuple[Position, ...]:
        """Every track's position at the clock's pip `pip`, in track order.

        pip mod period is where the module wraps every 32-bit pip, and
        where a pip beyond that range falls in the pattern's repeats."""
        if self.offsets is None:
            pips: Sequence[int] = [pip] * len(self.labels)
        else:
            pips = [pip + offset for offset in self.offsets]
        rows = list(map(operator.mod, pips, self.periods))
        return tuple(map(tuple.__new__, itertools.repeat(Position),
                         zip(self.labels, self.names, pips, map(operator.getitem, self.xs, rows),
                             map(operator.getitem, self.ys, rows), map(operator.getitem, self.zs, rows))))
