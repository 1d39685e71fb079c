"""What the player hands to its outputs: a `Frame` of `Position`s, and the
tables the player samples them from.

These types stand apart from the player (`live.py`) and the outputs
(`outputs.py`) so that each of those can import them without importing the
other; `gesturon_tools.live` re-exports them.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import NamedTuple, Sequence

from .catalogue import Source

__all__ = ["Frame", "Position", "Rows", "sampled_rows"]


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


# A pattern's period, row i holding (x, y, z) at pip i.
Rows = Sequence[Sequence[float]]


def sampled_rows(source: Source, pattern: str, period: int) -> Rows:
    """The rows of one period of `pattern`, as `source.sample` gives them:
    through `gesturon_tools.arrays` (whose tables other users in the
    process share) when NumPy is installed, else pip by pip."""
    try:
        from . import arrays
    except ImportError:
        sample = source.sample
        return tuple(sample(pattern, pip).as_tuple() for pip in range(period))
    return arrays.table(pattern, source).tolist()  # type: ignore[no-any-return]
