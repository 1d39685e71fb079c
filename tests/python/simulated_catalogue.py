"""A stand-in for the gesturon module with a catalogue of any size.

It answers `catalogue()` and `sample(name, pip_count)` like the module, for
the 15 procedural patterns followed by stored-looking patterns laid out as
the six packs are (their sizes, first names, naming rules, periods and
dimension counts), each a smooth closed curve. The gallery and the command
can so be tried on a full-size catalogue before every pack exists.
"""

from __future__ import annotations

import math
import random
from dataclasses import dataclass
from typing import TYPE_CHECKING, Callable, Iterator

from gesturon_tools import _beats
from gesturon_tools.catalogue import STORED_PACKS
from reference import PROCEDURAL as REFERENCE_PROCEDURAL

if TYPE_CHECKING:
    from gesturon import PatternInfo

PROCEDURAL = [(name, period, dims) for name, period, dims, _, _ in REFERENCE_PROCEDURAL]
# The words each pack's families are named with, for the packs whose names
# are not beat names.
FAMILY_WORDS = {
    "initial": ["lfo", "rhythm", "rudiment", "ease", "akwf", "groove"],
    "expansion": ["lfo", "path", "rhythm"],
    "atlas": ["wave", "env", "seq", "noise", "orbit_harmonic", "weave", "polar", "spiro", "space", "mech",
              "euclid", "poly", "meter", "swing", "stick_study", "gesture"],
    "continuum": ["ribbon", "contour_shaped", "silhouette_harmonic", "spline", "tour", "scan", "reach",
                  "surface", "braid", "arm_coupled", "dwell_phrase", "packet", "canon", "echo", "ladder",
                  "necklace", "accent_walk", "triplet", "dialogue", "burst"],
}
# (pack, size, first name, family words used for the rest)
PACKS = [(pack.name, pack.size, pack.first, FAMILY_WORDS.get(pack.name)) for pack in STORED_PACKS]
MOTION_KEYS = [key for key, _, _ in _beats.motions()]
CLUB_MOTIONS, MORE_MOTIONS = MOTION_KEYS[:4], MOTION_KEYS[4:]
# A period mix like the stored packs': mostly 512 and 1024, a few odd ones.
PERIODS = [512] * 14 + [1024] * 4 + [256, 768, 160, 224, 288, 352, 448]


@dataclass(frozen=True)
class Position:
    x: float
    y: float
    z: float

    def as_tuple(self) -> tuple[float, float, float]:
        return (self.x, self.y, self.z)


def stored_records(pack_sizes: dict[str, int] | None = None) -> Iterator[tuple[str, str, int, int, str]]:
    """(name, description, period, dims, pack) of the stored patterns; a
    pack's size may be cut short to make a partial catalogue."""
    rng = random.Random(5)
    describe: Callable[[str], str]
    for pack, size, first, words in PACKS:
        size = (pack_sizes or {}).get(pack, size)
        if pack in ("club", "dancefloor"):
            motions = CLUB_MOTIONS if pack == "club" else MORE_MOTIONS
            beats = ["four_floor"] + [f"groove_{chr(97 + i // 26)}{chr(97 + i % 26)}" for i in range(90)]
            names = [f"beat_{beat}_{motion}" for beat in beats for motion in motions]
            title: Callable[[str], str] = lambda name: name[5:].rsplit("_", 1)[0].replace("_", " ").title()
            describe = lambda name: (f"{title(name)} / simulated beat \u2014 "
                                     f"{name.rsplit('_', 1)[1].title()} motion.")
        else:
            assert words is not None
            names = [first] + [f"{words[(i // 16) % len(words)]}_{pack[0]}{i}"
                               for i in range(1, size)]
            describe = lambda name: f"Simulated {name.split('_')[0]} pattern of the {pack} pack."
        for name in names[:size]:
            yield name, describe(name), rng.choice(PERIODS), rng.choice((1, 2, 3, 3, 3)), pack


class SimulatedSource:
    """Answers like the gesturon module, for a simulated catalogue."""

    PIPS_PER_BEAT = 64

    def __init__(self, pack_sizes: dict[str, int] | None = None, procedural: bool = True):
        self.records = [(n, f"Simulated procedural {n}", p, d) for n, p, d in PROCEDURAL] if procedural else []
        self.packs = ["procedural"] * len(self.records)
        for name, description, period, dims, pack in stored_records(pack_sizes):
            self.records.append((name, description, period, dims))
            self.packs.append(pack)
        self.by_name = {record[0]: record for record in self.records}
        self.tables: dict[str, list[Position]] = {}

    def catalogue(self) -> list[PatternInfo]:
        return [{"name": n, "description": d, "period_pips": p, "dimensions": k}
                for n, d, p, k in self.records]

    def sample(self, name: str, pip_count: int) -> Position:
        if name not in self.by_name:
            raise ValueError(f"Unknown gesturon: {name}")
        table = self.tables.get(name)
        if table is None:
            _, _, period, dims = self.by_name[name]
            table = self.tables[name] = self.make_table(name, period, dims)
        return table[pip_count % len(table)]

    @staticmethod
    def make_table(name: str, period: int, dims: int) -> list[Position]:
        """A closed curve: a few whole-period harmonics and a few bumps per
        axis, peaking at 0.82, with the axes beyond `dims` at zero."""
        rng = random.Random(name)
        lanes = []
        for _ in range(dims):
            harmonics = [(rng.randint(1, 5), rng.uniform(0, 6.3), rng.uniform(0.2, 1.0))
                         for _ in range(2)]
            bumps = [(rng.uniform(0, period), rng.uniform(-0.6, 0.6), rng.uniform(8, 30))
                     for _ in range(rng.randint(0, 6))]
            turn = 2 * math.pi / period
            lane = [sum(a * math.sin(h * turn * k + phase) for h, phase, a in harmonics)
                    for k in range(period)]
            for t0, height, width in bumps:  # raised-cosine bumps, around the loop
                for k in range(math.ceil(t0 - width), math.floor(t0 + width) + 1):
                    lane[k % period] += height * math.cos(math.pi * (k - t0) / (2 * width)) ** 2
            peak = max(abs(v) for v in lane) or 1.0
            lanes.append([0.82 * v / peak for v in lane])
        lanes += [[0.0] * period] * (3 - dims)
        return [Position(*row) for row in zip(*lanes)]
