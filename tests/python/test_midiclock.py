"""The MIDI clock estimator against simulated pulse streams (jitter, tempo
steps and ramps, Start, Stop, Continue, Song Position Pointer), and a beat
clock following it."""

from fractions import Fraction

import pytest

from gesturon_tools.clock import BeatClock
from gesturon_tools.midiclock import PULSES_PER_BEAT, Event, MidiClockIn, TempoEstimator, pulses

MS = 10**6
SECOND = 10**9


def feed_all(target, events):
    for message, t in events:
        target.feed(message, t)


@pytest.mark.parametrize("bpm, jitter_ms, beats, within", [
    (128, 0, 1, 1e-6),
    (128, 1, 2, 0.15),      # the benchmark's stream: two beats of 1 ms jitter
    (128, 1, 8, 0.05),
    (174, 1, 8, 0.08),
    (60, 2, 8, 0.05),
    (300, 1, 8, 0.5),
])
def test_a_steady_clock_is_read_within_a_bound_whatever_the_jitter(bpm, jitter_ms, beats, within):
    for seed in range(20):
        estimator = TempoEstimator()
        feed_all(estimator, pulses(lambda beat: bpm, beats + 1 / 24, jitter_ns=jitter_ms * MS,
                                   seed=seed))
        assert estimator.bpm is not None and abs(estimator.bpm - bpm) < within


@pytest.mark.parametrize("before, after, settle_pulses", [
    (128, 132, 24), (128, 120, 24), (128, 174, 24), (140, 70, 24), (128, 129, 48),
])
def test_a_tempo_change_is_followed_within_a_beat_or_two_not_after_the_window(before, after,
                                                                             settle_pulses):
    estimator = TempoEstimator()
    readings = []
    for message, t in pulses(lambda beat: before if beat < 8 else after, 16, jitter_ns=MS,
                             seed=3):
        estimator.feed(message, t)
        readings.append(estimator.bpm)
    since_change = readings[1 + 8 * PULSES_PER_BEAT:]
    assert all(abs(bpm - after) < 0.5 for bpm in since_change[settle_pulses:])


def test_a_ramp_is_followed_closely_throughout():
    ramp = lambda beat: 120 + min(max(beat - 4, 0), 16) * 0.5    # 120 to 128 over 16 beats
    estimator = TempoEstimator()
    for i, (message, t) in enumerate(pulses(ramp, 24, jitter_ns=MS, seed=5)):
        estimator.feed(message, t)
        if i > 2 * PULSES_PER_BEAT:
            assert abs(estimator.bpm - ramp((i - 1) / PULSES_PER_BEAT)) < 1.2


def test_transport_sets_the_song_position_and_stop_freezes_it():
    clock = BeatClock(120, 0)
    follower = MidiClockIn(clock)
    beat_ns = SECOND // 2                                            # 120 BPM
    events = pulses(lambda beat: 120, 8, start_ns=SECOND)            # Start, then 8 beats
    feed_all(follower, events)
    estimator = follower.estimator
    last = events[-1][1]
    assert estimator.running and estimator.last_pulse == 8 * 24 - 1
    assert clock.pip_at(SECOND) == 0                                 # the first pulse is beat 0
    assert abs(clock.beats_at(last) - Fraction(8 * 24 - 1, 24)) < Fraction(1, 10**6)
    # Stop: the song position stays; pulses go on keeping the tempo; the
    # clock runs on and never goes back.
    follower.feed(Event("stop"), last + 1)
    stopped_at = estimator.beats_at(last + 1)
    feed_all(follower, [(Event("clock"), last + k * beat_ns // 24) for k in range(1, 49)])
    assert not estimator.running and estimator.beats_at(last + 3 * beat_ns) == stopped_at
    assert clock.beats_at(last + 2 * beat_ns) > clock.beats_at(last)
    # A Song Position Pointer and Continue: the next pulse is at bar 3 (the
    # pointer counts sixteenths), and the clock jumps there.
    resume = last + 3 * beat_ns
    follower.feed(Event("songpos", pos=32), resume - 2)
    follower.feed(Event("continue"), resume - 1)
    follower.feed(Event("clock"), resume)
    assert clock.pip_at(resume) == 8 * 64 and clock.meter.format(clock.pip_at(resume)) == "3:1:00"
    # Start again: back to bar 1 at the next pulse.
    follower.feed(Event("start"), resume + 5 * MS)
    follower.feed(Event("clock"), resume + 10 * MS)
    assert clock.pip_at(resume + 10 * MS) == 0


def test_a_lost_clock_is_reported_and_the_clock_runs_on_at_the_last_tempo():
    clock = BeatClock(90, 0)
    follower = MidiClockIn(clock)
    events = pulses(lambda beat: 132, 4, jitter_ns=MS, seed=1, start_ns=SECOND)
    feed_all(follower, events)
    last = events[-1][1]
    assert follower.status(last + 10 * MS) == "MIDI clock running"
    assert not follower.estimator.lost(last + 400 * MS)
    gone = last + 600 * MS
    assert follower.estimator.lost(gone)
    assert follower.status(gone).startswith("MIDI clock LOST, running on at 13")
    assert abs(clock.bpm - 132) < Fraction(1, 10)
    assert clock.beats_at(gone + SECOND) - clock.beats_at(gone) == clock.bpm / 60
    # Pulses again, a beat later than the clock expects: the clock catches
    # up smoothly rather than jumping.
    back = gone + SECOND
    for k in range(30):
        t = back + k * 20 * MS
        before = clock.beats_at(t)
        follower.feed(Event("clock"), t)
        assert 0 <= clock.beats_at(t) - before < Fraction(1, 2**60)
    assert not follower.estimator.lost(back + 600 * MS)


@pytest.mark.parametrize("before, status", [
    ([], "MIDI clock: waiting for pulses"),
    (["clock"] * 30, "MIDI clock: tempo only until Start"),       # gear started before us
    (["start"] + ["clock"] * 30 + ["stop"], "MIDI clock stopped"),  # silent while stopped: no loss
    (["start"] + ["clock"] * 30, "MIDI clock LOST, running on at 120 BPM"),
])
def test_the_status_tells_a_stopped_clock_from_a_lost_one(before, status):
    follower = MidiClockIn(BeatClock(90, 0))
    feed_all(follower, [(Event(kind), k * SECOND // 48) for k, kind in enumerate(before)])
    assert follower.status(10 * SECOND) == status
