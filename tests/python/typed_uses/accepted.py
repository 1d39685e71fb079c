"""Uses of gesturon that type-check under `mypy --strict` and run: every
kind of argument the module converts, and the result types read back."""

from __future__ import annotations

from decimal import Decimal
from fractions import Fraction
from typing import TYPE_CHECKING

import gesturon

if TYPE_CHECKING:
    from gesturon import PatternInfo


class Beat:
    """A caller's own index type: usable wherever a pip is taken."""

    def __init__(self, beat: int) -> None:
        self.beat = beat

    def __index__(self) -> int:
        return self.beat * gesturon.PIPS_PER_BEAT


pips_per_beat: int = gesturon.PIPS_PER_BEAT

# Converting pips: ints, bools, __index__ objects, Decimal and Fraction.
for pip in (3, True, Beat(-2), Decimal("3.7"), Fraction(7, 2), -2147483648, 2147483647):
    position: gesturon.Offset3 = gesturon.bounce(pip)
    assert position.as_tuple() == gesturon.sample("bounce", pip).as_tuple()
x: float = position.x
xyz: tuple[float, float, float] = gesturon.helix(5).as_tuple()
assert (position.x, position.y, position.z) == position.as_tuple()

# Names as str, bytes or bytearray; keywords where the module has them.
same = gesturon.sample(name=b"circle", pip_count=16).as_tuple() == gesturon.circle(16).as_tuple()
assert same and gesturon.sample(bytearray(b"circle"), 16).as_tuple() == gesturon.circle(16).as_tuple()

records: list[PatternInfo] = gesturon.catalogue()
first: PatternInfo = records[0]
period: int = first["period_pips"]
assert (first["name"], first["description"], period, first["dimensions"]) == (
    "bounce", "One-beat vertical bounce", 64, 1)

# A pattern from tuples, lists, a generator or a zip of three lanes; numbers
# may be floats, ints or anything with __float__ or __index__.
lanes = [i / 8 for i in range(8)]
patterns = [
    gesturon.SampledPattern("nod", "One-beat nod", [(0.0, -min(i, 64 - i) / 32, 0.0) for i in range(64)]),
    gesturon.SampledPattern(name="ramp", description=b"", samples=zip(lanes, lanes, lanes)),
    gesturon.SampledPattern("steps", bytearray(b"Steps"), ([i % 2, 0, Fraction(1, 2)] for i in range(4))),
    gesturon.SampledPattern("still", "", ((0, 0, 0),)),
    gesturon.SampledPattern("home", "", {(0.0, 0.0, 0.0)}),
]
name: str = patterns[0].name
description: str = patterns[0].description
assert patterns[1].period_pips == 8 and patterns[0].sample(pip_count=Beat(1)).y == 0.0

library = gesturon.PatternLibrary(patterns)
assert gesturon.PatternLibrary().catalogue() == gesturon.catalogue()
assert gesturon.PatternLibrary(patterns=tuple(patterns)).sample("ramp", -1).z == 0.875
listing: list[PatternInfo] = library.catalogue()
assert [record["name"] for record in listing[-5:]] == ["nod", "ramp", "steps", "still", "home"]
nodded: float = library.sample(b"nod", True).y

# A recording from lists, tuples, a dict's keys and a map; any sign of pip.
take = gesturon.SampledRecording(
    "knee_take", ["lift", b"twist"], [[0.0, 0.5], (0.25, Decimal("0.5")), map(float, (0.5, -1))],
    bpm=124, beat_zero_seconds=Fraction(7, 20), start_pip=Decimal(-1))
again = gesturon.SampledRecording("knee", {"lift": 0}.keys(), [[0.5]], 120.0)
row: list[float] = take.sample(0)
axes: list[str] = take.dimensions
counts: tuple[int, int] = (take.sample_count, take.start_pip)
tempo: tuple[float, float] = (take.bpm, take.beat_zero_seconds)
assert row == [0.25, 0.5] and axes == ["lift", "twist"] and counts == (3, -1)
assert again.name == "knee" and again.sample(Beat(0)) == [0.5]
