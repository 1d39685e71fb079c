"""What the player hands to its outputs: a `Frame` of `Position`s, and the
tables the player samples them from.

These types stand apart from the player (`live.py`) and the outputs
(`outputs.py`) so that each of those can import them without importing the
other; `gesturon_tools.live` re-exports them.
"""

from __future__ import annotations

import array
import itertools
from dataclasses import dataclass
from typing import NamedTuple

from .catalogue import Source

__all__ = ["Frame", "Position", "sampled_rows"]


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

    def __getitem__(self, track: str | int) -> Position:
        """A track's position by label or by index."""
        if isinstance(track, int):
            return self.positions[track]
        for position in self.positions:
            if position.label == track:
                return position
        raise KeyError(f"no track {track!r} in the frame")


def sampled_rows(source: Source, pattern: str, period: int) -> array.array[float]:
    """One period of `pattern` as `source.sample` gives it, flat: x, y, z
    of pip i at 3i, 3i + 1, 3i + 2. Through `gesturon_tools.arrays` (whose
    tables other users in the process share) when NumPy is installed, else
    pip by pip; the same doubles either way.

    Flat doubles, 24 bytes a pip as in the module's own tables, rather than
    a tuple of float objects per pip (over 130 bytes): a player reading a
    hundred tables at a moving pip keeps far more of them in the
    processor's caches."""
    rows = array.array("d")
    try:
        from . import arrays
    except ImportError:
        sample = source.sample
        rows.extend(itertools.chain.from_iterable(sample(pattern, pip).as_tuple()
                                                  for pip in range(period)))
        return rows
    rows.frombytes(arrays.table(pattern, source).tobytes())
    return rows
