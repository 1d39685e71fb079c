"""The live player: the beat clock's exact arithmetic on a simulated clock,
frame scheduling, sampling, the DMX mapping, and the OSC and sACN outputs
against real receivers on 127.0.0.1."""

import random
import struct
import threading
import time
from fractions import Fraction

import pytest

import gesturon
from gesturon_tools.live import (Axis, BeatClock, Fixture, OscOutput, Player, SacnOutput,
                                 Track, row)
from loopback import OscListener, SacnListener
from dmx_wire import coarse_fine
from simclock import SimClock

SECOND = 10**9
MINUTE = 60 * SECOND


def sim_player(tracks, outputs, bpm=120, fps=100, per_pip=False, late=lambda ns: 0, **kw):
    sim = SimClock(late=late)
    clock = BeatClock(bpm, 0, now_ns=sim.now)
    return Player(tracks, outputs, clock, fps=fps, per_pip=per_pip, sleep_ns=sim.sleep, **kw)


# ---- the clock ---------------------------------------------------------------------

def inverse_holds(clock, pips):
    for pip in pips:
        t = clock.time_of_pip(pip)
        assert clock.pip_at(t) == pip and clock.pip_at(t - 1) == pip - 1


@pytest.mark.parametrize("bpm, zero, t, pip", [
    (120, 0, 500_000_000, 64),              # one beat
    (120, 0, 499_999_999, 63),              # a nanosecond short of it
    (120, 0, 0, 0),
    (120, 0, -1, -1),                       # before beat zero: negative, floored
    (120, 0, -500_000_000, -64),
    (120, 0, -500_000_001, -65),
    (100, 0, 2_550_000_000, 272),           # where float arithmetic gives 271
    (120, 7 * SECOND, 7 * SECOND + 250_000_000, 32),
    ("128.5", 0, MINUTE, 8224),             # 128.5 beats
    ("385/3", 0, MINUTE, 8213),             # 128.33.. beats
    (20, 0, 3 * SECOND, 64),
    (999, 0, 3600 * SECOND, 999 * 60 * 64),  # an hour at the top tempo
    (0.1 + 119.9, 0, MINUTE, 7680),         # a float tempo at its binary value, 120.0
])
def test_pip_at_chosen_instants(bpm, zero, t, pip):
    clock = BeatClock(bpm, zero, now_ns=lambda: t)
    assert clock.pip_at(t) == pip == clock.pip()
    inverse_holds(clock, [pip - 64, pip, pip + 1, -1, 0, 1])


@pytest.mark.parametrize("old, new, at", [
    (120, 90, 1_300_000_000), (90, 174, 777_777_777), ("128.5", 20, 61 * SECOND),
    (999, 998, 3600 * SECOND + 1), (60, 120, -2 * SECOND),
])
def test_tempo_change_keeps_the_position(old, new, at):
    clock = BeatClock(old, 0)
    before = clock.beats_at(at)
    assert before == Fraction(at, MINUTE) * Fraction(old)
    clock.set_tempo(new, at)
    assert clock.bpm == Fraction(new)
    assert clock.beats_at(at) == before
    for dt in (1, 10**6, 7 * SECOND):
        assert clock.beats_at(at + dt) == before + Fraction(dt, MINUTE) * Fraction(new)


@pytest.mark.parametrize("bpm, at, phase, cycle, new_bpm, gap", [
    (120, 1_100_000_000, 0, 1, None, Fraction(-1, 5)),     # 2.2 beats: back to 2
    (120, 900_000_000, 0, 1, None, Fraction(1, 5)),        # 1.8 beats: on to 2
    (120, 900_000_000, "0.5", 1, 126, Fraction(-3, 10)),   # to 1.5, and a new tempo
    (100, 3 * SECOND, 3, 4, None, -2),                     # 5 beats; 3 and 7 tie: back to 3
    (100, 3 * SECOND, "1.1", 4, 140, Fraction(1, 10)),     # 5 beats; to 5.1 of the bar
    (90, SECOND, Fraction(1, 2), 1, None, 0),              # already in phase
])
def test_follow_catches_up_continuously(bpm, at, phase, cycle, new_bpm, gap):
    clock = BeatClock(bpm, 0)
    position = clock.beats_at(at)
    clock.follow(phase, at, bpm=new_bpm, cycle=cycle)
    tempo = Fraction(new_bpm or bpm)
    assert clock.bpm == tempo
    assert clock.beats_at(at) == position                   # no jump
    target = position + gap
    assert target % cycle == Fraction(phase) % cycle
    # Through the catch-up the clock runs at half to one and a half times
    # the tempo; afterwards it is exactly on the target line.
    step = 10**7
    span = int(MINUTE / tempo * max(1, 2 * abs(gap))) + 2 * step
    last = position
    for t in range(at + step, at + span, step):
        now = clock.beats_at(t)
        advance = (now - last) / (Fraction(step, MINUTE) * tempo)
        assert Fraction(1, 2) <= advance <= Fraction(3, 2)
        last = now
    for t in (at + span, at + span + 12345, at + 100 * SECOND):
        assert clock.beats_at(t) == target + Fraction(t - at, MINUTE) * tempo
    inverse_holds(clock, range(clock.pip_at(at) - 3, clock.pip_at(at + span) + 3))


def test_tempo_change_while_catching_up_stays_continuous_and_locate_jumps():
    clock = BeatClock(120, 0)
    clock.follow(0, 1_100_000_000)           # 2.2 beats: back to the line through 2.0
    at = 1_300_000_000
    position = clock.beats_at(at)
    clock.set_tempo(60, at)
    assert clock.beats_at(at) == position
    # The gap is still made up: on from 2.4 beats at 1.3 s, at 60 BPM.
    assert clock.beats_at(at + 20 * SECOND) == Fraction(12, 5) + 20
    clock.locate(-8, 30 * SECOND)
    assert clock.pip_at(30 * SECOND) == -512 and clock.pip_at(30 * SECOND + 10**9) == -448


# ---- frames -------------------------------------------------------------------------

def test_an_hour_at_a_steady_rate_does_not_drift():
    # Every sleep overshoots by up to 2 ms (a fifth of a frame): the frames
    # stay on their own instants and pips, none late.
    rng = random.Random(14)
    frames = []
    player = sim_player(["helix"], [frames.append], bpm=120, fps=10,
                        late=lambda ns: rng.randrange(2_000_000))
    stats = player.run(until_pip=3600 * 2 * 64)
    assert stats.frames == len(frames) == 36000
    assert stats.late == stats.dropped == 0
    assert all(f.index == k and f.time_ns == k * SECOND // 10 and f.pip == k * 128 // 10
               for k, f in enumerate(frames))


def test_a_late_frame_is_counted_and_the_next_is_on_time():
    sleeps = []

    def late(ns):
        sleeps.append(ns)
        return {10: 25_000_000, 20: 4_000_000}.get(len(sleeps), 0)

    frames = []
    stats = sim_player(["circle"], [frames.append], fps=100, late=late).run(until_pip=64)
    indices = [f.index for f in frames]
    # Frame 10 is woken 25 ms late: frames 10 and 11 are dropped, 12 goes
    # out (late) and 13 is on time. A 4 ms wake-up is late but drops none.
    assert indices[:14] == list(range(10)) + [12, 13, 14, 15]
    assert stats.dropped == 2 and stats.late == 2
    assert all(f.time_ns == f.index * SECOND // 100 for f in frames)
    assert all(f.pip == f.index * 128 // 100 for f in frames)


def test_once_per_pip_follows_tempo_changes():
    frames = []

    def change(frame):
        # Each frame goes out at the first nanosecond of its pip.
        clock = player.clock
        assert clock.pip_at(frame.time_ns) == frame.pip == clock.pip_at(frame.time_ns - 1) + 1
        frames.append(frame)
        if frame.pip == 40:
            clock.set_tempo(60, frame.time_ns)
        if frame.pip == 80:
            clock.follow("0.5", frame.time_ns)

    player = sim_player(["drag"], [change], bpm=999, per_pip=True, late=lambda ns: 3)
    stats = player.run(until_pip=200)
    assert [f.pip for f in frames] == list(range(200))
    assert stats.late == stats.dropped == 0
    # From pip 40 on, a pip lasts 1/64 of a second.
    at_40 = Fraction(frames[40].time_ns, MINUTE) * 999
    assert frames[41].time_ns == frames[40].time_ns + ((Fraction(41, 64) - at_40) * SECOND).__ceil__()
    assert frames[60].time_ns - frames[50].time_ns == 10 * SECOND // 64


def test_positions_are_the_sources_samples():
    nod = gesturon.SampledPattern("nod", "nod", [(0.0, -min(i, 96 - i) / 48, 0.0)
                                                 for i in range(96)])
    library = gesturon.PatternLibrary([nod])
    tracks = ["nod", Track("helix", -5, "late_helix")] + row("lfo_breathe", 3, 32)
    frames = []
    player = sim_player(tracks, [frames.append], fps=50, source=library)
    player.run(until_pip=300)
    assert [p.label for p in frames[0].positions] == [
        "nod", "late_helix", "lfo_breathe/1", "lfo_breathe/2", "lfo_breathe/3"]
    offsets = [0, -5, 0, 32, 64]
    for frame in frames:
        for position, offset in zip(frame.positions, offsets):
            assert position.pip == frame.pip + offset
            expected = library.sample(position.pattern, position.pip).as_tuple()
            assert (position.x, position.y, position.z) == expected
    assert frames[3]["late_helix"] is frames[3][1]


def test_pips_beyond_the_32_bit_range_wrap_into_the_period():
    frames = []
    player = sim_player(["sway", Track("lfo_breathe", 2**31, "far")], [frames.append])
    player.clock.locate(Fraction(2**31 - 100, 64), 0)
    player.run(until_pip=2**31 + 100)
    assert frames[0].pip < 2**31 - 1 < frames[-1].pip
    for frame in frames:
        for position, period in zip(frame.positions, (128, 256)):
            wrapped = position.pip - (position.pip - 2**31 + period) // period * period \
                if position.pip >= 2**31 else position.pip
            assert -2**31 <= wrapped < 2**31
            assert (position.x, position.y, position.z) == \
                gesturon.sample(position.pattern, wrapped).as_tuple()


@pytest.mark.parametrize("tracks, kw, message", [
    (["helx"], {}, "unknown pattern 'helx'; did you mean helix"),
    (["helix", "helix"], {}, "two tracks are labelled 'helix'"),
    ([], {}, "at least one pattern"),
    (["helix"], {"fps": 0}, "frame rate"),
    (["helix"], {"fps": 2.5}, "frame rate"),
])
def test_player_refuses(tracks, kw, message):
    with pytest.raises(ValueError, match=message):
        Player(tracks, [], BeatClock(120), **kw)


def test_a_player_thread_stops_and_reports_a_failing_output():
    seen = threading.Event()
    player = Player(["circle"], [lambda frame: seen.set()], BeatClock(120))
    player.start()
    assert seen.wait(5) and player.playing
    player.stop()
    assert not player.playing and player.stats.frames >= 1

    def broken(frame):
        raise OSError("network is down")

    player = Player(["circle"], [broken], BeatClock(120))
    player.start()
    deadline = time.monotonic() + 5
    while player.playing and time.monotonic() < deadline:
        time.sleep(0.01)
    with pytest.raises(OSError, match="network is down"):
        player.stop()


def test_play_frame_drives_frame_by_frame():
    frames = []
    clock = BeatClock(120, 0, now_ns=lambda: 0)
    player = Player(["circle"], [frames.append], clock)
    assert player.play_frame(250_000_000).pip == 32
    assert player.play_frame().pip == 0
    assert [f.index for f in frames] == [0, 1] and player.stats.frames == 2


# ---- DMX ----------------------------------------------------------------------------

@pytest.mark.parametrize("axis, position, full, value", [
    (Axis(), -1.0, 65535, 0), (Axis(), 1.0, 65535, 65535), (Axis(), 0.0, 65535, 32768),
    (Axis(), 0.0, 255, 128), (Axis(), -0.5, 65535, 16384),          # 16383.75
    # 540 degrees of pan, x sweeping 180..360
    (Axis(270, 90, 540), -1.0, 65535, 21845), (Axis(270, 90, 540), 1.0, 65535, 43690),
    (Axis(270, 90, 540), 1.0, 255, 170),
    (Axis(270, -90, 540), 1.0, 65535, 21845),      # reversed
    (Axis(135, 200, 270), -1.0, 65535, 0),         # beyond the travel: clamped
    (Axis(0.5, 1, 1, (0.25, 0.75)), 1.0, 65535, 49151),   # the limits: 49151.25 floored
    (Axis(0.5, 1, 1, (0.25, 0.75)), -1.0, 65535, 16384),  # 16383.75 ceiled
    (Axis(0.5, 1, 1, (0.25, 0.75)), 0.1, 65535, 39321),   # inside the limits: 39321.0
])
def test_axis_values(axis, position, full, value):
    assert axis.value(position, full) == value


def test_fixture_channels_with_fine_bytes_held_and_unused():
    fixture = Fixture(3, 100, "tilt tilt_fine - pan 255 z z_fine 7",
                      pan=Axis(270, 90, 540), tilt=Axis(135, 45, 270))
    # x = 1: pan at 360 of 540 degrees, 8-bit; y = -1: tilt at 90 of 270,
    # 16-bit; z = 0: the middle of its range, 16-bit.
    assert fixture.channels(1.0, -1.0, 0.0) == [
        (100, 85), (101, 85), (102, 0), (103, 170), (104, 255), (105, 128), (106, 0),
        (107, 7)]
    assert fixture.last_channel == 107


@pytest.mark.parametrize("make, message", [
    (lambda: Fixture(-1, 1), "universe must be 0 to 63999"),   # 0: Art-Net's first
    (lambda: Fixture(64000, 1), "universe must be 0 to 63999"),
    (lambda: Fixture(1, 0), "address must be 1 to 512"),
    (lambda: Fixture(1, 510), "does not fit in 512 channels"),
    (lambda: Fixture(1, 1, "pan pan"), "appears twice"),
    (lambda: Fixture(1, 1, "tilt_fine"), "needs a tilt channel"),
    (lambda: Fixture(1, 1, "pan 256"), "0..255"),
    (lambda: Fixture(1, 1, "pan colour"), "unknown channel 'colour'"),
    (lambda: Fixture(1, 1, ""), "at least one channel"),
    (lambda: Axis(centre=2), "outside the travel"),
    (lambda: Axis(travel=0), "positive"),
    (lambda: Axis(limits=(0.7, 0.2)), "lowest first"),
    (lambda: Axis(swing=float("nan")), "finite"),
])
def test_fixture_and_axis_refuse(make, message):
    with pytest.raises(ValueError, match=message):
        make()


def test_overlapping_fixtures_are_refused():
    pytest.importorskip("sacn")
    with pytest.raises(ValueError, match="fixtures 1 and 2 overlap at channel 4 of universe 2"):
        SacnOutput([Fixture(2, 1), Fixture(2, 4), Fixture(1, 1)], "127.0.0.1", 9)


# ---- OSC and sACN on the loopback address -------------------------------------------------

def float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


@pytest.mark.parametrize("double", [False, True])
def test_osc_messages_carry_the_samples_of_each_frame(double):
    with OscListener() as listener:
        output = OscOutput("127.0.0.1", listener.port, double=double)
        player = sim_player(["helix", Track("circle", 16, "ahead")], [output], fps=100)
        player.run(until_pip=64)
        output.close()
        frames = player.stats.frames
        assert frames == 50
        messages = listener.wait_for(2 * frames)
    assert len(messages) == 2 * frames
    exact = (lambda v: v) if double else float32
    for k in range(frames):
        pip = k * 128 // 100                   # 120 BPM, 10 ms frames
        for (address, args), (name, offset) in zip(messages[2 * k: 2 * k + 2],
                                                   [("helix", 0), ("circle", 16)]):
            assert address == ("/gesturon/helix" if offset == 0 else "/gesturon/ahead")
            x, y, z = gesturon.sample(name, pip + offset).as_tuple()
            assert args == (exact(x), exact(y), exact(z), pip + offset)


def test_osc_address_template_and_bad_ones():
    with OscListener() as listener:
        output = OscOutput("localhost", listener.port, "/stage/{name}/xyz")
        sim_player(["bounce"], [output]).run(until_pip=2)
        output.close()
        assert listener.wait_for(2)[0][0] == "/stage/bounce/xyz"
    with pytest.raises(ValueError, match="not an OSC address"):
        OscOutput("127.0.0.1", 9000, "/a b/{name}")


def dmx16(value):
    """A position's 16-bit value over the whole range, as coarse, fine."""
    v = (Fraction(value) + 1) / 2 * 65535
    return coarse_fine((v + Fraction(1, 2)).__floor__())


def test_sacn_universes_carry_the_samples_of_each_frame():
    with SacnListener() as listener:
        fixtures = [
            Fixture(1, 1, track="helix"),                        # pan, fine, tilt, fine
            Fixture(1, 10, "255 pan tilt z", track="ahead"),     # 8-bit, dimmer held at full
            Fixture(7, 501, "z z_fine - pan pan_fine tilt tilt_fine", track=0),
        ]
        output = SacnOutput(fixtures, "127.0.0.1", listener.port)
        player = sim_player(["helix", Track("helix", 32, "ahead")], [output], fps=100)
        player.run(until_pip=48)
        # DMX goes out at 44 frames a second, its own rate, not the player's.
        [stream] = [s for s in player.streams if output in s.outputs]
        frames = stream.stats.frames
        assert frames == sum(1 for k in range(100) if dmx_pip(k) < 48)
        listener.wait_for(2 * frames)
        output.close()
        listener.wait_for(2 * frames, events=2 + 2 * 3)
        packets = listener.packets
        events = listener.events
    assert len(packets) == 2 * frames
    for k in range(frames):
        pip = dmx_pip(k)
        x, y, z = gesturon.sample("helix", pip).as_tuple()
        ax, ay, az = gesturon.sample("helix", pip + 32).as_tuple()
        one = dict(packets[2 * k: 2 * k + 2])[1]
        seven = dict(packets[2 * k: 2 * k + 2])[7]
        assert one[:4] == dmx16(x) + dmx16(y)
        assert one[9:13] == (255, round8(ax), round8(ay), round8(az))
        assert one[4:9] == (0,) * 5 and one[13:] == (0,) * (512 - 13)
        assert seven[500:507] == dmx16(z) + (0,) + dmx16(x) + dmx16(y)
        assert seven[:500] == (0,) * 500 and seven[507:] == (0,) * 5
    # Closing ended both streams with three stream-terminated packets each
    # (sacn reports each as a timeout).
    assert sorted(events) == [(1, "available")] + [(1, "timeout")] * 3 + \
        [(7, "available")] + [(7, "timeout")] * 3


def dmx_pip(k):
    """The pip of DMX frame k at 44 frames a second and 120 BPM."""
    return (k * SECOND // 44) * 128 // SECOND


def round8(value):
    return ((Fraction(value) + 1) / 2 * 255 + Fraction(1, 2)).__floor__()


def test_following_on_every_pulse_keeps_the_arithmetic_small_and_never_goes_back():
    # A MIDI clock follows 24 times a beat, for hours: each catch-up starts
    # where the last one had got to, and its numbers must not grow with the
    # count of follows.
    import random
    jitter = random.Random(7)
    clock = BeatClock(128, 0)
    last = Fraction(-1)
    for pulse in range(1, 20_000):
        at = pulse * 19_531_250 + jitter.randint(-10**6, 10**6)
        now = clock.beats_at(at)
        assert now >= last
        last = now
        clock.follow(Fraction(pulse, 24) % 4 + Fraction(jitter.randint(0, 999), 10**6), at,
                     bpm=128 + Fraction(jitter.randint(0, 99), 10**4), cycle=4)
        assert clock.beats_at(at) - now < Fraction(1, 2**64)
    target, catching_up = clock._state
    assert catching_up is not None
    assert max(catching_up.start.beat.denominator, catching_up.start.bpm.denominator) < 2**160
