"""A clock's jumps: its travel runs on through them, a run counted on it
lasts as many pips whichever way the clock jumped, a stream of one frame a
pip plays on through a jump back, and a show's bars, timeline and end
follow a jump onto the new bar lines. Simulated clocks, no waiting."""

from fractions import Fraction

import pytest

from gesturon_tools.clock import BeatClock
from gesturon_tools.commands.showfile import CueRunner
from gesturon_tools.live import Player, Track
from gesturon_tools.show import parse
from simclock import SimClock

# A show following Link on OSC, with two cues on a timeline.
SHOW = """
[tempo]
bpm = {bpm}
source = "link"
quantum = 4

[fixtures.visual]

[[outputs]]
kind = "osc"
to = "127.0.0.1:{port}"
double = true

[cues.calm]
visual = {{ pattern = "helix" }}

[cues.busy]
visual = {{ pattern = "lfo_breathe" }}

[cuelist]
mode = "timeline"
cues = ["calm", "busy"]
bars = [1, 3]
"""

JUMPS = [Fraction(20001, 2), Fraction(-2401, 4), Fraction(1, 128), Fraction(0)]


@pytest.mark.parametrize("jump", JUMPS)
def test_locate_counts_the_pips_jumped_over(jump):
    clock = BeatClock(120, 0)
    at = 700_000_000                                  # pip 89.6
    before = clock.travel_at(at)
    clock.locate(clock.beats_at(at) + jump, at)
    pip, travel = clock.travel_at(at)
    assert travel == before[1] and clock.skipped == pip - before[0]
    # Tempo changes and catching up keep the count, also where the beat's
    # denominators grow beyond 2^64 (tempos of large prime denominators).
    for k, prime in enumerate([1000003, 1000033, 1000037, 1000039, 1000081]):
        clock.set_tempo(Fraction(120 * prime + k + 1, prime), at + 1 + k * 10_000_019)
    clock.follow(Fraction(1, 3), at + 2 * 10**9, cycle=1)
    assert clock.skipped == pip - before[0]
    later = at + 3 * 10**9
    assert clock.travel_at(later)[1] - travel == clock.pip_at(later) - pip


@pytest.mark.parametrize("per_pip", [True, False])
@pytest.mark.parametrize("jump", JUMPS)
def test_a_run_counted_on_the_travel_lasts_as_many_pips_through_a_jump(per_pip, jump):
    sim = SimClock(start=123_456_789)
    clock = BeatClock(120, 0, now_ns=sim.now)
    sent = []

    def output(frame):
        sent.append((frame.pip, clock.skipped))
        if len(sent) == 100:                           # a peer joins
            clock.locate(clock.beats_at(frame.time_ns) + jump, frame.time_ns)

    player = Player(["helix"], [output], clock, per_pip=per_pip, sleep_ns=sim.sleep)
    first = clock.travel_at(sim.now())[1]
    stats = player.run(until_pip=first + 8 * 64, travelled=True)
    travels = [pip - skipped for pip, skipped in sent]
    if per_pip:
        # Every pip of the travel once: none dropped, none waited for.
        assert travels == list(range(first, first + 8 * 64)) and stats.dropped == 0
    else:
        end = first + 8 * 64
        assert travels == sorted(set(travels)) and end - 2 <= travels[-1] < end
    assert sim.now() - 123_456_789 < 4_010_000_000      # eight beats at 120 BPM, and a frame


def show_runner(jump_at_pip):
    """A timeline show (bars 1 and 3) on a simulated clock, its bar 1 at the
    clock's pip 256, frames made up to `jump_at_pip`, to end 12 beats on."""
    show = parse(SHOW.format(bpm=120, port=9000))
    now = [0]
    clock = BeatClock(120, 0, now_ns=lambda: now[0], meter=show.meter)
    patterns = show.start_patterns("calm")
    player = Player([Track(patterns[label], 0, label) for label in show.labels], [], clock)
    runner = CueRunner(show, player, "calm")
    runner.origin = 256
    runner.schedule_timeline()
    player.until_pip = 256 + 12 * 64
    now[0] = clock.time_of_pip(jump_at_pip)
    for pip in range(jump_at_pip + 1):
        player.frame(pip)
    return runner, clock, now[0]


@pytest.mark.parametrize("jump_at_pip", [100, 700, 900])
@pytest.mark.parametrize("jump", JUMPS)
def test_a_shows_bars_timeline_and_end_follow_a_jump(jump_at_pip, jump):
    runner, clock, at = show_runner(jump_at_pip)
    player = runner.player
    clock.locate(clock.beats_at(at) + jump, at)
    runner.follow_jump()
    assert runner.origin % 256 == 0 and abs(runner.origin - 256 - clock.skipped) <= 128
    # The end is the same bar of the show, on the clock's travel.
    assert player.until_pip == runner.origin + 12 * 64 - clock.skipped
    here, bar3 = clock.pip_at(at), runner.origin + 512
    if here < bar3:
        assert [player.frame(pip)[0].pattern for pip in (here, bar3 - 1, bar3)] == \
            ["helix", "helix", "lfo_breathe"]
    else:
        assert player.frame(here)[0].pattern == "lfo_breathe"


@pytest.mark.parametrize("jump", JUMPS)
def test_a_cue_asked_for_before_a_jump_lands_on_a_bar_after_it(jump):
    runner, clock, at = show_runner(600)
    runner.show.cue_list = None                        # cues by key
    player = runner.player
    lands = runner.fire("busy")
    assert lands == 768
    clock.locate(clock.beats_at(at) + jump, at)
    runner.follow_jump()
    here = clock.pip_at(at)
    lands = runner.state(here).lands
    if here < 768:     # back: on the next bar from where the clock went
        assert lands == (here // 256 + 1) * 256
        assert [player.frame(pip)[0].pattern for pip in (here, lands - 1, lands)] == \
            ["helix", "helix", "lfo_breathe"]
    else:              # ahead: it came with the jump
        assert lands is None and player.frame(here)[0].pattern == "lfo_breathe"
