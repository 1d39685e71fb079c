"""Rules that every stored table keeps, checked over the installed module by
reading every row of every stored pattern."""

import math
import struct

import pytest

import gesturon
from gesturon_tools.catalogue import PROCEDURAL_NAMES, STORED_PACKS

PROCEDURAL_COUNT = len(PROCEDURAL_NAMES)
INT_MIN, INT_MAX = -(2**31), 2**31 - 1
PERIODS = {160, 224, 256, 288, 320, 352, 384, 416, 448, 480, 512, 544, 608, 640, 768, 1024}
VERTICAL_ONLY = {"lfo_double_pump", "beat_four_floor_bounce"}  # plus every env_ pattern
REACH_ONE = {"groove_b_played", "groove_b_grid"}
POSITIVE_ZERO = struct.pack("<d", 0.0)

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


def test_packs_lie_in_order_with_their_sizes():
    # Each table's period and dimensions are pinned by its fingerprint; here
    # the companion's pack sizes and first names must fit the module's order.
    start = 0
    for pack in STORED_PACKS:
        tables = TABLES[start:start + pack.size]
        if len(tables) < pack.size:
            assert not tables, "a pack is only partly built"
            break
        assert tables[0][0]["name"] == pack.first, pack.name
        start += pack.size
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
