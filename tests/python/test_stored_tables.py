"""Rules that every stored table keeps, checked over the installed module by
reading every row of every stored pattern."""

import math
import struct
from collections import Counter

import pytest

import gesturon
from gesturon_tools.catalogue import PROCEDURAL_NAMES

PROCEDURAL_COUNT = len(PROCEDURAL_NAMES)
INT_MIN, INT_MAX = -(2**31), 2**31 - 1
PERIODS = {160, 224, 256, 288, 320, 352, 384, 416, 448, 480, 512, 544, 608, 640, 768, 1024}
VERTICAL_ONLY = {"lfo_double_pump", "beat_four_floor_bounce"}  # plus every env_ pattern
REACH_ONE = {"groove_b_played", "groove_b_grid"}
POSITIVE_ZERO = struct.pack("<d", 0.0)

# Per pack: size, rows, periods (count by period), dimensions (count by value).
PACKS = [
    ("initial", 28, 8704, {256: 22, 512: 6}, {1: 12, 2: 16}),
    ("expansion", 24, 12992, {256: 3, 448: 1, 512: 17, 1024: 3}, {1: 1, 2: 20, 3: 3}),
    ("atlas", 256, 167040,
     {160: 3, 224: 5, 288: 4, 320: 3, 352: 5, 384: 2, 416: 4, 448: 1, 480: 1, 512: 144, 544: 1, 608: 1,
      640: 1, 768: 1, 1024: 80},
     {1: 16, 2: 168, 3: 72}),
    ("continuum", 320, 252544,
     {288: 1, 320: 1, 352: 1, 384: 2, 416: 2, 448: 4, 480: 4, 512: 129, 1024: 176}, {2: 68, 3: 252}),
    ("club", 144, 79872, {256: 4, 512: 124, 768: 4, 1024: 12}, {2: 45, 3: 99}),
    ("dancefloor", 944, 501760, {256: 12, 512: 884, 768: 12, 1024: 36}, {2: 4, 3: 940}),
]


def _load():
    records = gesturon.catalogue()[PROCEDURAL_COUNT:]
    return [(r, [gesturon.sample(r["name"], k).as_tuple() for k in range(r["period_pips"])]) for r in records]


TABLES = _load()
IDS = [r["name"] for r, _ in TABLES]


def twelve_decimals(v: float) -> bool:
    return float(f"{v:.12f}") == v


@pytest.mark.skipif(not TABLES, reason="no stored pattern is built")
@pytest.mark.parametrize("record,rows", TABLES, ids=IDS)
def test_table_rules(record, rows):
    name, period, dims = record["name"], record["period_pips"], record["dimensions"]
    assert period in PERIODS and len(rows) == period
    assert 8 <= len(name) <= 32 and 43 <= len(record["description"].encode()) <= 224
    moves = [False, False, False]
    for k, row in enumerate(rows):
        for axis, v in enumerate(row):
            assert math.isfinite(v) and -1.0 <= v <= 1.0, (k, axis)
            assert abs(v) < 1.0 or name in REACH_ONE, (k, axis)
            assert twelve_decimals(v), (k, axis, v)
            if v == 0.0:
                assert struct.pack("<d", v) == POSITIVE_ZERO, ("negative zero", k, axis)
            if axis >= dims:
                assert v == 0.0, ("axis beyond the dimensions moves", k, axis)
            moves[axis] |= v != 0.0
    # The dimension count is the number of leading axes in use.
    assert moves[dims - 1]
    assert moves[0] != (name in VERTICAL_ONLY or name.startswith("env_"))
    # A closed loop: the seam is no larger a step than the largest inner step.
    steps = [math.dist(rows[k - 1], rows[k]) for k in range(1, period)]
    assert math.dist(rows[-1], rows[0]) <= max(steps)


@pytest.mark.skipif(not TABLES, reason="no stored pattern is built")
@pytest.mark.parametrize("record,rows", TABLES, ids=IDS)
def test_any_pip_wraps_into_the_period(record, rows):
    name, period = record["name"], record["period_pips"]
    for pip in (-1, period, period + 1, -period, INT_MAX, INT_MIN, INT_MIN + 1, 1_000_003, -7_777_777):
        assert gesturon.sample(name, pip).as_tuple() == rows[pip % period], pip


def test_packs_have_their_sizes_periods_and_dimensions():
    start = 0
    for _, size, rows, periods, dims in PACKS:
        pack = TABLES[start:start + size]
        if len(pack) < size:
            assert not pack, "a pack is only partly built"
            break
        assert Counter(r["period_pips"] for r, _ in pack) == periods
        assert Counter(r["dimensions"] for r, _ in pack) == dims
        assert sum(len(t) for _, t in pack) == rows
        start += size
    assert start == len(TABLES)


@pytest.mark.parametrize("pip,period,row", [
    (INT_MAX, 160, 127), (INT_MAX, 352, 287), (INT_MAX, 768, 511), (INT_MAX, 256, 255),
    (INT_MIN, 160, 32), (INT_MIN, 224, 96), (INT_MIN, 768, 256), (INT_MIN, 1024, 0),
])
def test_rows_at_the_ends_of_the_int_range(pip, period, row):
    with_period = [(r, t) for r, t in TABLES if r["period_pips"] == period]
    if not with_period:
        pytest.skip(f"no stored pattern with a {period}-pip period is built yet")
    record, rows = with_period[0]
    assert gesturon.sample(record["name"], pip).as_tuple() == rows[row]
