"""A clock's jumps: its travel runs on through them, a run counted on it
lasts as many pips whichever way the clock jumped, a stream of one frame a
pip plays on through a jump back, a show's bars, timeline and end follow a
jump onto the new bar lines, and a show under a drum machine's MIDI clock
keeps the song's bars through Start, Stop, Continue and Song Position.
Simulated clocks, no waiting."""

from collections import deque
from fractions import Fraction

import pytest

from gesturon_tools.clock import BeatClock
from gesturon_tools.commands.running import play_to_the_end
from gesturon_tools.commands.showfile import CueRunner, RunningShow
from gesturon_tools.live import Player, Track
from gesturon_tools.midiclock import Event, MidiClockSource
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
    player.until_pip, player.travelled = 256 + 12 * 64, True   # as a run following Link
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


# ---- a show under a drum machine's MIDI clock -------------------------------------------

MS = 10**6
BEGIN = 10**9                   # the show begins; its bar 1 from here until the song says
PULSE = 20 * MS                 # 125 BPM: a pip is 7.5 ms, a pulse 8/3 pips
START = BEGIN + 960 * MS        # the drum machine's Start: its first pulse is the song's pip 0


class DrumMachine(SimClock):
    """A simulated clock on which things happen at their instants: sleeping
    over one does it first, with the clock at its instant. The drum machine
    sends Start and then a pulse every PULSE, except while stopped; "key"
    is space pressed for the show's runner."""

    def __init__(self, script, stopped=()):
        super().__init__(BEGIN)
        events = [(START - MS, Event("start"))]
        events += [(START + k * PULSE, Event("clock")) for k in range(700)
                   if not any(a <= k < b for a, b in stopped)]
        self.events = deque(sorted(events + script, key=lambda event: event[0]))
        self.source = self.runner = None

    def sleep(self, ns):
        end = self.t + ns
        while self.events and self.events[0][0] <= end:
            self.t, what = self.events.popleft()
            if what == "key":
                self.runner.advance()
            else:
                self.source.feed(what, self.t)
        self.t = end


def transport(pulse, *messages):
    """Messages just before pulse `pulse` (counted from Start), a ms apart."""
    at = START + pulse * PULSE
    return [(at - (len(messages) - i) * MS, message) for i, message in enumerate(messages)]


def key(pip):
    """Space pressed a ms into song pip `pip` (before any jump)."""
    return [(START + pip * 15 * MS // 2 + MS, "key")]


STOP, CONTINUE = Event("stop"), Event("continue")
# The same show following a drum machine.
MIDI_SHOW = SHOW.replace('source = "link"\nquantum = 4', 'source = "midi"\nport = "drum machine"')

# Each case: what happens, the pulses the drum machine is silent for, the
# song's pip the last jump puts the show on, and the pip busy lands on from
# there with cues on a timeline (bars 1 and 3) and by key.
CASES = {
    # Start again in bar 3: bar 1 from the Start. By key: busy, asked for
    # at pip 600 for pip 768, lands on the first bar line after the Start.
    "start mid-show": (transport(240, Event("start")) + key(600), (), 0, 512, 256),
    # Back to beat 2 from bar 3. By key: busy landed on pip 512 before the
    # jump and plays on.
    "song position back": (transport(240, STOP, Event("songpos", pos=4), CONTINUE) + key(333),
                           (), 64, 512, 64),
    # From pip 240 ahead to beat 3 of bar 3. By key: busy, due on pip 256,
    # lands with the jump.
    "song position ahead": (transport(90, STOP, Event("songpos", pos=40), CONTINUE) + key(200),
                            (), 640, 640, 640),
    # Stopped after pip 381 for four beats while the show runs on; Continue
    # takes the song up at pip 384. By key: busy, asked for in the stop for
    # pip 768, lands on the next bar line from there.
    "stop then continue": ([(START + 143 * PULSE + 5 * MS, STOP),
                            (START + 240 * PULSE - MS, CONTINUE)] + key(533),
                           [(144, 240)], 384, 512, 512),
}


@pytest.mark.parametrize("mode", ["timeline", "key"])
@pytest.mark.parametrize("case", CASES)
def test_a_show_keeps_the_songs_bars_through_the_drum_machines_transport(case, mode):
    script, stopped, jumped_to, on_timeline, by_key = CASES[case]
    show = parse(MIDI_SHOW.format(bpm=125, port=9000))
    if mode == "key":
        show.cue_list = None
    else:
        script = [event for event in script if event[1] != "key"]
    drums = DrumMachine(script, stopped)
    clock = BeatClock(125, now_ns=drums.now, meter=show.meter)
    drums.source = source = MidiClockSource(None, clock, now_ns=drums.now)
    frames = []
    player = Player([Track(pattern, 0, label) for label, pattern in
                     show.start_patterns("calm").items()], [frames.append], clock,
                    per_pip=True, sleep_ns=drums.sleep)
    drums.runner = runner = CueRunner(show, player, "calm")
    play_to_the_end(player, source, lambda closing: RunningShow(show, source, player, runner,
                                                                1, 16 * 64).begin())
    # From the last jump on: every pip of the song from where it went to
    # the end of the show's 16th beat, and busy from its pip on.
    last = max(i for i in range(1, len(frames)) if frames[i].pip != frames[i - 1].pip + 1)
    lands = on_timeline if mode == "timeline" else by_key
    assert [(frame.pip, frame.positions[0].pattern) for frame in frames[last:]] == \
        [(pip, "helix" if pip < lands else "lfo_breathe") for pip in range(jumped_to, 16 * 64)]


def test_a_show_from_a_later_cue_says_it_plays_that_cue_before_the_song_reaches_its_bar():
    # --cue busy (bar 3), after a Start: the cue before it is left out.
    show = parse(MIDI_SHOW.format(bpm=125, port=9000))
    player = Player([Track(p, 0, label) for label, p in show.start_patterns("busy").items()],
                    [], BeatClock(125, 0, meter=show.meter))
    runner = CueRunner(show, player, "busy")
    runner.schedule_timeline(0)
    for pip in (0, 511, 512):
        assert runner.state(pip) == ("busy", 1, None, None)
        assert player.frame(pip)[0].pattern == "lfo_breathe"
