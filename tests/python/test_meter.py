"""The meter: bar:beat:pip of any pip and the boundaries changes land on,
checked against counting pips one by one from the downbeat of bar 1."""

import itertools

import pytest

from gesturon_tools.meter import Meter


@pytest.mark.parametrize("beats", [1, 3, 4, 7])
def test_bars_and_beats_count_up_without_a_gap(beats):
    meter = Meter(beats)
    # Walk pips upwards from far below zero; each pip is one more than the last.
    start = -5 * beats * 64
    expected = meter.locate(start)
    for pip in range(start, 5 * beats * 64):
        got = meter.locate(pip)
        assert got == expected, pip
        bar, beat, within = expected.bar, expected.beat, expected.pip + 1
        if within == 64:
            beat, within = beat + 1, 0
        if beat > beats:
            bar, beat = bar + 1, 1
        expected = type(got)(bar, beat, within)
    assert str(meter.locate(0)) == "1:1:00" and meter.bar_start(1) == 0
    assert str(meter.locate(-1)) == f"0:{beats}:63"


@pytest.mark.parametrize("beats, unit, count", itertools.product([3, 4], ["beat", "bar", "phrase"], [1, 2]))
def test_next_boundary_is_the_first_strictly_later_one(beats, unit, count):
    meter = Meter(beats, bars_per_phrase=2)
    length = {"beat": 64, "bar": 64 * beats, "phrase": 128 * beats}[unit] * count
    for pip in range(-3 * length, 3 * length, 7):
        landing = meter.next_boundary(pip, unit, count)
        assert landing % length == 0 and pip < landing <= pip + length


@pytest.mark.parametrize("kwargs", [{"beats_per_bar": 0}, {"beats_per_bar": 65}, {"beats_per_bar": True},
                                    {"bars_per_phrase": 0}, {"beats_per_bar": 2.0}])
def test_a_meter_out_of_range_is_refused(kwargs):
    with pytest.raises(ValueError):
        Meter(**kwargs)
