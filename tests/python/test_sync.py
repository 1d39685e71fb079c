"""Beat sources made from plain options; tap tempo, nudge and downbeat on
an injected clock, exactly."""

import sys
from fractions import Fraction

import pytest

from gesturon_tools.clock import NS_PER_MINUTE, BeatClock
from gesturon_tools.meter import Meter
from gesturon_tools.outputs import MissingDependency
from gesturon_tools.sync import ManualSource, make_source

SECOND = 10**9
FAR = 100 * SECOND  # long after any catch-up


def manual(bpm=120, beats_per_bar=4):
    return ManualSource(BeatClock(bpm, 0, meter=Meter(beats_per_bar)))


@pytest.mark.parametrize("taps, tempo", [
    ([SECOND], None),                                            # one tap: phase only
    ([SECOND, SECOND + 468_750_000], Fraction(128)),
    ([0, 400_000_000, 810_000_000, 1_200_000_000], Fraction(NS_PER_MINUTE * 3, 1_200_000_000)),
    ([0, 5 * SECOND, 5 * SECOND + 500_000_000], Fraction(120)),  # a pause begins a new series
    ([0, 1_000_000, 2_000_000], None),                           # 30000 BPM: no tempo
    ([SECOND * k // 2 for k in range(12)], Fraction(120)),       # only the last eight count
])
def test_taps_set_the_tempo_and_put_a_beat_on_the_last_tap(taps, tempo):
    source = manual(97)
    results = [source.tap(t) for t in taps]
    assert results[-1] == tempo
    assert source.clock.bpm == (tempo or 97)
    # Once caught up, the clock has a beat exactly at the last tap.
    last = taps[-1]
    assert source.clock.beats_at(FAR) - source.clock.beats_at(last) != 0
    beat_line = source.clock.beats_at(FAR) - Fraction(FAR - last, NS_PER_MINUTE) * source.clock.bpm
    assert beat_line.denominator == 1


@pytest.mark.parametrize("bpm, beats_per_bar, nudges", [
    (120, 4, [(4, SECOND)]), (120, 4, [(-4, SECOND)]), (133, 3, [(95, 7 * SECOND)]),
    (90, 7, [(-1, 3 * SECOND)]),
    # Pressed again and again while the clock is still catching up: they add up.
    (120, 4, [(16, SECOND), (16, SECOND + 10**8), (16, SECOND + 2 * 10**8), (-4, 2 * SECOND)]),
])
def test_nudges_shift_the_motion_by_whole_pips_smoothly(bpm, beats_per_bar, nudges):
    source = manual(bpm, beats_per_bar)
    before = source.clock.beats_at(FAR)
    for pips, at in nudges:
        position = source.clock.beats_at(at)
        source.nudge(pips, at)
        assert source.clock.beats_at(at) == position                       # no jump
    assert source.clock.beats_at(FAR) - before == Fraction(sum(p for p, _ in nudges), 64)


@pytest.mark.parametrize("beats_per_bar, pips", [(4, 128), (4, -200), (1, 32)])
def test_nudge_refuses_half_a_bar_or_more(beats_per_bar, pips):
    with pytest.raises(ValueError, match="less than half a bar"):
        manual(120, beats_per_bar).nudge(pips, SECOND)


@pytest.mark.parametrize("beats_per_bar, at_beats", [(4, Fraction(9, 2)), (4, Fraction(23, 4)),
                                                     (3, Fraction(7, 5)), (5, 12)])
def test_downbeat_moves_the_nearest_bar_start_to_the_instant(beats_per_bar, at_beats):
    source = manual(120, beats_per_bar)
    at = int(at_beats * SECOND // 2)
    source.downbeat(at)
    line = source.clock.beats_at(FAR) - Fraction(FAR - at, NS_PER_MINUTE) * 120
    assert line % beats_per_bar == 0 and abs(line - at_beats) <= Fraction(beats_per_bar, 2)


@pytest.mark.parametrize("options, message", [
    ({"kind": "disco"}, "unknown beat source 'disco'"),
    ({"kind": "manual", "port": "x"}, "for the midi source only"),
    ({"kind": "midi"}, "needs a MIDI input port"),
    ({"kind": "manual", "quantum": 4}, "for the link source only"),
    ({"kind": "link", "quantum": 0}, "quantum must be a whole number of beats 1 to 64, not 0"),
    ({"kind": "link", "quantum": "2.5"}, "quantum must be a whole number"),
    ({"kind": "link", "quantum": 65}, "not 65"),
    ({"kind": "manual", "bpm": 1000}, "tempo must be 20 to 999 BPM"),
])
def test_bad_options_are_refused_with_one_clear_message(options, message):
    with pytest.raises(ValueError, match=message):
        make_source(**options)


@pytest.mark.parametrize("kind, blocked, package", [
    ("link", ["link"], "LinkPython-extern"),
    ("midi", ["mido"], "mido and python-rtmidi"),
    ("midi", ["rtmidi"], "mido and python-rtmidi"),
])
def test_a_missing_package_is_named(monkeypatch, kind, blocked, package):
    for module in blocked:
        monkeypatch.setitem(sys.modules, module, None)
    with pytest.raises(MissingDependency, match=f"{package}.*pip install 'gesturon\\[sync\\]'"):
        make_source(kind, port="x" if kind == "midi" else None)
