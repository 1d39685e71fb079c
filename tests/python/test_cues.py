"""Cues on a running player: where they land, that every output changes on
the same pip, crossfades, and requests from many threads at once."""

import random
import threading

import pytest

import gesturon
from gesturon_tools.compose import EASES, crossfade, eased, mix, pattern, sequence, transform
from gesturon_tools.live import BeatClock, Player, Track
from gesturon_tools.meter import Meter
from simclock import SimClock

BAR = 4 * 64


PERIOD = {r["name"]: r["period_pips"] for r in gesturon.catalogue()}


def xyz(name, pip):
    return gesturon.sample(name, pip % PERIOD[name]).as_tuple()


def sim(tracks, outputs, fps=100, bpm=120, meter=None, per_pip=False):
    clock_time = SimClock()
    clock = BeatClock(bpm, 0, now_ns=clock_time.now, meter=meter)
    return Player(tracks, outputs, clock, fps=fps, per_pip=per_pip, sleep_ns=clock_time.sleep)


@pytest.mark.parametrize("fps, per_pip", [(100, False), (7, False), (30, False), (1, False), (0, True)])
@pytest.mark.parametrize("unit, count, meter, unit_pips", [
    ("bar", 1, Meter(), BAR),
    ("beat", 1, Meter(), 64),
    ("phrase", 1, Meter(), 16 * 64),
    ("bar", 2, Meter(3), 6 * 64),                 # two bars of 3/4
    ("bar", 1, Meter(7), 7 * 64),
])
@pytest.mark.parametrize("asked_at", [100, BAR])
def test_a_cue_lands_on_its_pip_for_every_output(fps, per_pip, unit, count, meter, unit_pips,
                                                 asked_at):
    outputs = [[], []]
    asked, landed = [], []

    def first(frame):
        outputs[0].append(frame)
        if not landed and frame.pip >= asked_at:
            asked.append(frame.pip)
            landed.append(player.cue("helix", "sway", at=unit, count=count))

    player = sim(["helix", "lfo_breathe"], [first, outputs[1].append], fps=fps or 100,
                 meter=meter, per_pip=per_pip)
    player.run(until_pip=asked_at + unit_pips + 3 * BAR)
    # The next boundary strictly after the pip it was asked at (a request on
    # a downbeat waits for the next one).
    lands = (asked[0] // unit_pips + 1) * unit_pips
    assert landed == [lands]
    for frames in outputs:
        assert len(frames) > 3
        for frame in frames:
            want = "sway" if frame.pip >= lands else "helix"
            assert frame["helix"].pattern == want
            assert frame["helix"].x == xyz(want, frame.pip)[0]
            assert frame["lfo_breathe"].pattern == "lfo_breathe"
    # Outputs at any rate decide by pip: sampled pip by pip around the bar.
    changed = [player.frame(pip)["helix"].pattern for pip in range(lands - 3, lands + 3)]
    assert changed == ["helix"] * 3 + ["sway"] * 3


def test_a_cue_never_lands_on_a_pip_already_sampled():
    player = sim(["helix"], [])
    player.frame(BAR + 10)          # an output sampling ahead of the clock (latency)
    assert player.clock.pip() == 0
    assert player.cue(0, "sway") == 2 * BAR


@pytest.mark.parametrize("ease", ["linear"] + sorted(EASES))
def test_a_group_crossfades_with_its_spread(ease):
    tracks = [Track("helix", offset=16 * i, label=f"head/{i + 1}") for i in range(3)]
    player = sim(tracks, [])
    spread = [transform("bounce").shift(beats=i) for i in range(3)]
    lands = player.cue([t.label for t in tracks], spread, fade_beats=2, ease=ease)
    assert lands == BAR
    for pip in (BAR - 1, BAR, BAR + 1, BAR + 64, BAR + 127, BAR + 128, BAR + 500):
        frame = player.frame(pip)
        w = eased(ease, pip - BAR, 128)   # the same instant for every track
        for i in range(3):
            at = pip + 16 * i
            old, new = xyz("helix", at), xyz("bounce", at + 64 * i)
            if pip < BAR:
                want = old
            elif pip >= BAR + 128:
                want = new
            else:
                want = tuple(min(1.0, max(-1.0, (1 - w) * a + w * b)) for a, b in zip(old, new))
            assert (frame[i].x, frame[i].y, frame[i].z) == want, (pip, i)


def test_a_later_cue_for_the_same_bar_wins_and_an_earlier_plan_stays():
    player = sim(["helix"], [])
    player.cue(0, "sway", at_pip=2 * BAR)
    player.cue(0, "bounce", at_pip=BAR)        # replaces everything from bar 2 on
    player.cue(0, "circle", at_pip=3 * BAR)
    assert [player.frame(p)[0].pattern for p in (0, BAR, 2 * BAR, 3 * BAR)] == \
        ["helix", "bounce", "bounce", "circle"]


@pytest.mark.parametrize("bad, message", [
    (lambda p: p.cue("nobody", "sway"), "no track 'nobody'"),
    (lambda p: p.cue(5, "sway"), "no track 5"),
    (lambda p: p.cue(0, "swy"), "did you mean sway"),
    (lambda p: p.cue([0, 1], ["sway"]), "1 patterns for 2 tracks"),
    (lambda p: p.cue(0, "sway", fade_beats="1/128"), "whole number of pips"),
    (lambda p: p.cue(0, "sway", at="year"), "unknown unit"),
    (lambda p: p.cue(0, "sway", ease="wobbly"), "unknown ease"),
])
def test_bad_cues_are_refused(bad, message):
    with pytest.raises(ValueError, match=message):
        bad(sim(["helix", "bounce"], []))


def test_cues_from_many_threads_while_frames_run():
    """Eight threads cue a group of four tracks while the player makes frames:
    every frame shows the group all from one request (a request is applied
    whole or not at all), and every change lands on a downbeat."""
    group = [f"t{i}" for i in range(4)]
    clock_time = SimClock()
    player = Player([Track("helix", 0, name) for name in group], [],
                    BeatClock(999, 0, now_ns=clock_time.now))
    names = ["sway", "bounce", "circle", "figure_eight", "step_touch"]
    # One request puts the same pattern on all four tracks.
    spreads = {name: [transform(name).shift(i) for i in range(4)] for name in names}
    stop = threading.Event()
    failures = []

    def requester(seed):
        rng = random.Random(seed)
        try:
            while not stop.is_set():
                pip = player.cue(group, spreads[rng.choice(names)])
                assert pip % BAR == 0
        except Exception as error:  # reported in the main thread
            failures.append(error)

    threads = [threading.Thread(target=requester, args=(seed,)) for seed in range(8)]
    for thread in threads:
        thread.start()
    frames = []
    try:
        while len(frames) < 3000:
            frames.append(player.play_frame())
            clock_time.sleep(5_000_000)     # 5 ms: about 62 bars in all
    finally:
        stop.set()
        for thread in threads:
            thread.join()
    assert not failures
    seen = set()
    for frame in frames:
        chosen = {p.pattern for p in frame.positions}
        assert len(chosen) == 1, frame
        seen |= chosen
    assert len(seen) > 1           # the cues did reach the frames
    switches = [b.pip for a, b in zip(frames, frames[1:])
                if a.positions[0].pattern != b.positions[0].pattern]
    # A switch shows in the first frame at or after its downbeat.
    assert switches and all(p % BAR < 64 for p in switches)


NOD = gesturon.SampledPattern("nod", "nod", [(0.0, -min(i, 8 - i) / 4, 0.0) for i in range(8)])


@pytest.mark.parametrize("make", [
    lambda: transform("helix").rotate(45).speed("2/3"),
    lambda: NOD,
    lambda: mix(("helix", 0.5), ("sway", 0.5)),
    lambda: sequence(("helix", 1), ("bounce", "1/2"), fade_beats="1/4"),
    lambda: crossfade("helix", "sway", 1, ease="overshoot", start=100),
])
def test_tracks_play_any_pattern_object(make):
    made = make()
    player = sim([Track(made, offset=5, label="it"), "bounce"], [])
    for pip in (0, 1, 99, 150, -64, 2**31 + 7, -(2**33)):
        want, got = pattern(made).sample(pip + 5), player.frame(pip)["it"]
        assert (got.x, got.y, got.z) == (want.x, want.y, want.z)


def test_a_cue_asked_for_a_pip_long_past_still_has_a_pattern_before_it():
    player = sim(["helix"], [])
    player.cue(0, "sway", at_pip=-(2**70), fade_beats=1)
    assert player.frame(-(2**61))[0].pattern == "sway"
    assert player.frame(0)[0].pattern == "sway"
