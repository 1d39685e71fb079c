"""Outputs for rigs: streams of their own rate and latency on a simulated
clock, slew limits, final frames, and Art-Net, sACN, servo and MIDI bytes
as real receivers (sockets on 127.0.0.1, a pty, a mido port) get them."""

import contextlib
import os
import random
import signal
import threading
import time
import tty
from fractions import Fraction

import mido
import pytest

import gesturon
from gesturon_tools.artnet import ArtNetOutput, port_address
from gesturon_tools.live import (FINAL_FRAMES, Axis, BeatClock, CallbackOutput, Fixture,
                                 OscOutput, Player, SacnOutput, Track)
from gesturon_tools.midicc import Control, MidiOutput
from gesturon_tools.outputs import resolve
from gesturon_tools.servo import MaestroOutput, Servo
from gesturon_tools.slew import Slew
from loopback import Datagrams, OscListener
from dmx_wire import artnet_packets, coarse_fine, dmx_value, sacn_packets
from simclock import SimClock

SECOND = 10**9
MINUTE = 60 * SECOND


def sim_player(tracks, outputs, bpm=120, late=lambda ns: 0, source=None, **kw):
    sim = SimClock(late=late)
    player = Player(tracks, outputs, BeatClock(bpm, 0, now_ns=sim.now), sleep_ns=sim.sleep,
                    source=source, **kw)
    return player, sim


def pip_of(t_ns, bpm):
    return (Fraction(t_ns, MINUTE) * Fraction(bpm) * 64).__floor__()


def first_ns_of(pip, bpm):
    return (Fraction(pip, 64) / Fraction(bpm) * MINUTE).__ceil__()


# ---- streams: rates and latency -----------------------------------------------------

STREAMS = [(None, 0), (44, 0), (100, 25), (None, "-12.5"), (30, 1000), (7, "-0.000001")]


@pytest.mark.parametrize("bpm, per_pip, seed", [
    (120, False, 1), ("128.5", False, 2), (174, True, 3), (999, False, 4), (20, True, 5),
])
def test_each_stream_samples_its_own_instants_shifted_by_its_latency(bpm, per_pip, seed):
    """Every stream's frame k is at its own k-th instant (or the first
    nanosecond of its pip), carries the pip of that instant plus its
    latency, and counts its own late and dropped frames; wake-ups are
    jittered and now and then stall for up to 60 ms."""
    rng = random.Random(seed)
    sent = {i: [] for i in range(len(STREAMS))}

    def recorder(i):
        return lambda frame: sent[i].append((frame, sim.now()))

    outputs = [CallbackOutput(recorder(i), fps=fps, latency_ms=ms)
               for i, (fps, ms) in enumerate(STREAMS)]
    player, sim = sim_player(["helix"], outputs, bpm,
                             late=lambda ns: rng.choice([0, rng.randrange(10**6),
                                                         rng.randrange(60 * 10**6)]),
                             fps=100, per_pip=per_pip)
    until = 64 * 24
    player.run(until_pip=until)
    for i, (fps, ms) in enumerate(STREAMS):
        [stream] = [s for s in player.streams if outputs[i] in s.outputs]
        latency = round(Fraction(ms) * 10**6)
        frames = sent[i]
        rate = fps or (None if per_pip else 100)
        assert stream.stats.frames == len(frames) >= 2
        late = 0
        for frame, at in frames:
            if rate is None:
                assert frame.time_ns == first_ns_of(frame.pip, bpm) - latency
                quarter = MINUTE / (Fraction(bpm) * 64 * 4)
            else:
                assert frame.time_ns == frame.index * SECOND // rate
                quarter = Fraction(SECOND, 4 * rate)
            assert frame.pip == pip_of(frame.time_ns + latency, bpm) < until
            assert (frame[0].x, frame[0].y, frame[0].z) == \
                gesturon.sample("helix", frame.pip).as_tuple()
            assert at >= frame.time_ns
            late += at - frame.time_ns > quarter
        steps = [f.pip for f, _ in frames] if rate is None else [f.index for f, _ in frames]
        assert steps == sorted(set(steps))
        assert stream.stats.late == late
        assert stream.stats.dropped == steps[-1] - steps[0] + 1 - len(frames)
    assert player.stats is player.streams[0].stats


def test_play_frame_gives_each_latency_its_own_pip():
    seen = []
    clock = BeatClock(120, 0, now_ns=lambda: 0)
    player = Player(["circle"], [CallbackOutput(seen.append),
                                 CallbackOutput(seen.append, latency_ms=250),
                                 CallbackOutput(seen.append, latency_ms="-62.5")], clock)
    own = player.play_frame(SECOND)
    assert own.pip == 128
    assert [(f.pip, f.time_ns) for f in seen] == [(128, SECOND), (160, SECOND), (120, SECOND)]


@pytest.mark.parametrize("make, message", [
    (lambda: CallbackOutput(print, latency_ms=10_001), "latency must be -10000 to 10000 ms"),
    (lambda: CallbackOutput(print, latency_ms=float("nan")), "finite"),
    (lambda: CallbackOutput(print, fps=0), "frame rate"),
    (lambda: Player(["helix"], [], BeatClock(120), final="off"), "final frame"),
    (lambda: Slew(0), "positive"),
    (lambda: Axis(slew=-1), "positive"),
    (lambda: Servo(24), "channel must be 0 to 23"),
    (lambda: Servo(0, low=2000, high=1000), "low <= centre <= high"),
    (lambda: Servo(0, axis="w"), "axis x, y or z"),
    (lambda: Control(0, 1), "MIDI channel must be 1 to 16"),
    (lambda: Control(1, 32, fine=True), "controller 0 to 31"),
    (lambda: Control(1, 120), "controller 0 to 119"),
    (lambda: port_address(128, 0, 0), "net must be 0 to 127"),
    (lambda: SacnOutput([Fixture(0, 1)], "127.0.0.1"), "universe must be 1 to 63999"),
    (lambda: SacnOutput([Fixture(1, 1)], "127.0.0.1", priority=201), "priority must be 0 to 200"),
    (lambda: SacnOutput([Fixture(1, 1)], multicast_ttl=0), "TTL must be 1 to 255"),
    (lambda: SacnOutput([Fixture(1, 1)], interface="eth0"), "must be an IPv4 address"),
    (lambda: SacnOutput([Fixture(1, 1)], "127.0.0.1", sync=1), "sync universe 1 carries"),
    (lambda: ArtNetOutput([Fixture(0, 1)], broadcast="255.255.255.255"), "reaches every network"),
    (lambda: ArtNetOutput([Fixture(0, 1)], "127.0.0.1", broadcast="2.255.255.255"), "one of them"),
    (lambda: ArtNetOutput([Fixture(32768, 1)], "127.0.0.1"), "universe must be 0 to 32767"),
])
def test_bad_output_settings_are_refused(make, message):
    with pytest.raises(ValueError, match=message):
        make()


# ---- slew limits ----------------------------------------------------------------------

def step_pattern(period=128):
    """A pattern that sits at -1 for half its period and jumps to +1."""
    rows = [(-1.0, 1.0, 0.0) if i < period // 2 else (1.0, -1.0, 0.0) for i in range(period)]
    return gesturon.PatternLibrary([gesturon.SampledPattern("jump", "jump", rows)])


def test_a_slew_limit_moves_exactly_its_rate_times_the_frame_interval():
    slew = Slew(Fraction(3, 2))
    times = [0, 10**7, 3 * 10**7, 3 * 10**7 + 1, SECOND, 3 * SECOND]
    values = [slew.step(target, t) for target, t in zip([0.5, -1.0, -1.0, -1.0, 2.0, 0.25], times)]
    # From 0.5: 10 ms at 1.5/s is 0.015, 20 ms more 0.03, 1 ns 1.5e-9; a
    # new target within reach is met exactly (and handed back as given).
    expected = [Fraction(1, 2), Fraction(1, 2) - Fraction(15, 1000), Fraction(1, 2) - Fraction(45, 1000),
                Fraction(1, 2) - Fraction(45, 1000) - Fraction(3, 2 * 10**9)]
    assert values[:4] == expected
    assert values[4] == expected[3] + Fraction(3, 2) * Fraction(SECOND - 3 * 10**7 - 1, SECOND)
    assert values[5] == 0.25 and type(values[5]) is float and slew.settled


# ---- Art-Net --------------------------------------------------------------------------

@pytest.mark.parametrize("sync", [False, True])
def test_artnet_universes_carry_the_samples_of_each_frame(sync):
    fixtures = [Fixture(0, 1, track="helix"),                                # 0/0/0
                Fixture(port_address(1, 2, 3), 509, "pan tilt z 255", track="ahead")]
    with Datagrams() as node:
        output = ArtNetOutput(fixtures, "127.0.0.1", node.port, sync=sync)
        player, _ = sim_player(["helix", Track("helix", 32, "ahead")], [output])
        player.run(until_pip=96)
        output.close()
        frames = player.streams[1].stats.frames
        packets = artnet_packets(node.wait_for(frames * (2 + sync)))
    pips = [((k * SECOND // 44) * 128 // SECOND) for k in range(100)]
    assert frames == sum(1 for p in pips if p < 96)
    per_frame = 3 if sync else 2
    assert len(packets) == per_frame * frames
    for k, pip in enumerate(pips[:frames]):
        group = packets[per_frame * k: per_frame * (k + 1)]
        assert [kind for kind, _ in group] == ["dmx", "dmx"] + ["sync"] * sync
        (seq0, address0, first), (seq1, address1, second) = (fields for _, fields in group[:2])
        assert seq0 == seq1 == k % 255 + 1
        assert (address0, address1) == (0, 0x123)
        x, y, _ = gesturon.sample("helix", pip).as_tuple()
        ax, ay, az = gesturon.sample("helix", pip + 32).as_tuple()
        assert first == bytes(coarse_fine(dmx_value(x, 65535)) + coarse_fine(dmx_value(y, 65535))
                              + (0,) * 508)
        assert second == bytes((0,) * 508 + (dmx_value(ax, 255), dmx_value(ay, 255),
                                             dmx_value(az, 255), 255))


@pytest.mark.parametrize("final", FINAL_FRAMES)
def test_final_frames_and_slew_limits_on_art_net(final):
    """Pan slewed to 90 degrees a second (one position a second) chases a
    pattern that jumps from -1 to 1 at pip 64 (0.5 s); closing the player
    sends the final frame of its choice, the centre repeated until the
    slewed pan has got there."""
    pan = Axis(270, 90, 540, slew=90)
    fixture = Fixture(0, 1, "pan pan_fine tilt tilt_fine 255", pan=pan)
    with Datagrams() as node:
        output = ArtNetOutput([fixture], "127.0.0.1", node.port)
        player, sim = sim_player(["jump"], [output], source=step_pattern(), final=final)
        player.run(until_pip=100)
        sent = player.streams[1].stats.frames
        closed_at = sim.now()
        player.close()
        node.wait_for(sent)
        time.sleep(0.2)
        packets = [fields for _, fields in artnet_packets(node.wait_for(0))]
    times = [k * SECOND // 44 for k in range(sent)]
    jump = next(k for k, t in enumerate(times) if t * 128 // SECOND >= 64)
    for k, (_, _, data) in enumerate(packets[:sent]):
        x, y = (-1, 1) if k < jump else (1, -1)
        if k >= jump:  # one position a second from -1, since the frame before the jump
            x = min(Fraction(-1) + Fraction(times[k] - times[jump - 1], SECOND), 1)
        assert data[:5] == bytes(coarse_fine(dmx_value(x, 65535, 270, 90, 540))
                                 + coarse_fine(dmx_value(y, 65535)) + (255,))
    extra = packets[sent:]
    if final == "hold":
        assert extra == []
    elif final == "dark":
        assert [data for _, _, data in extra] == [bytes(512)]
    else:
        # From where pan was, back to 0 at one position a second, 44 frames
        # a second from the moment of closing; tilt goes at once.
        at = Fraction(-1) + Fraction(times[sent - 1] - times[jump - 1], SECOND)
        assert -1 < at < 0
        xs = [min(at + Fraction(closed_at + k * SECOND // 44 - times[sent - 1], SECOND), 0)
              for k in range(200)]
        assert len(extra) == xs.index(0) + 1
        for x, (_, _, data) in zip(xs, extra):
            assert data[:5] == bytes(coarse_fine(dmx_value(x, 65535, 270, 90, 540))
                                     + coarse_fine(dmx_value(0, 65535)) + (255,))


# ---- sACN -----------------------------------------------------------------------------

@pytest.mark.parametrize("sync, priority, family_host", [
    (False, 100, "127.0.0.1"), (True, 0, "127.0.0.1"), (7, 200, "127.0.0.1"), (False, 150, "::1"),
])
def test_sacn_sync_only_when_asked_and_priority_carried(sync, priority, family_host):
    if ":" in family_host:
        try:
            Datagrams(socket_family(family_host), family_host).udp.close()
        except OSError:
            pytest.skip("no IPv6 loopback here")
    fixtures = [Fixture(1, 1, track=0), Fixture(2, 1, "z", track=0)]
    with Datagrams(socket_family(family_host), family_host) as receiver:
        output = SacnOutput(fixtures, family_host, receiver.port, sync=sync, priority=priority)
        player, _ = sim_player(["helix"], [output])
        player.run(until_pip=64)
        frames = player.streams[1].stats.frames
        output.close()
        packets = sacn_packets(receiver.wait_for(frames * (2 + bool(sync)) + 6))
    sync_universe = {False: 0, True: 63999}.get(sync, sync)
    per_frame = 3 if sync else 2
    assert len(packets) == per_frame * frames + 6
    for k in range(frames):
        group = packets[per_frame * k: per_frame * (k + 1)]
        pip = (k * SECOND // 44) * 128 // SECOND
        x, y, z = gesturon.sample("helix", pip).as_tuple()
        assert group[0] == ("data", 1, priority, sync_universe, 0,
                            bytes(coarse_fine(dmx_value(x, 65535)) + coarse_fine(dmx_value(y, 65535))
                                  + (0,) * 508))
        assert group[1] == ("data", 2, priority, sync_universe, 0,
                            bytes((dmx_value(z, 255),) + (0,) * 511))
        assert group[2:] == ([("sync", sync_universe)] if sync else [])
    # Three stream-terminated packets (option bit 0x40) end each universe.
    assert [(p[1], p[4]) for p in packets[-6:]] == [(1, 0x40)] * 3 + [(2, 0x40)] * 3


def socket_family(host):
    import socket
    return socket.AF_INET6 if ":" in host else socket.AF_INET


def test_a_host_lookup_that_hangs_is_bounded_and_interruptible(monkeypatch):
    import socket
    real = socket.getaddrinfo

    def hanging(host, *args):
        numeric = len(args) == 5 and args[4] & socket.AI_NUMERICHOST
        if host == "stuck.example" and not numeric:  # a name server that never answers
            time.sleep(30)
        return real(host, *args)

    monkeypatch.setattr(socket, "getaddrinfo", hanging)
    start = time.monotonic()
    with pytest.raises(ValueError, match="cannot resolve host 'stuck.example': no answer within 0.2 s"):
        resolve("stuck.example", 9, seconds=0.2)
    assert time.monotonic() - start < 5

    def interrupt(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.2)
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            resolve("stuck.example", 9, seconds=20)
        assert time.monotonic() - start < 5
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


# ---- servos and MIDI ---------------------------------------------------------------------

def maestro_commands(data):
    """(channel, target) of each compact-protocol Set Target command: 0x84,
    the channel, the target's bits 0-6, then bits 7-13."""
    assert len(data) % 4 == 0
    commands = []
    for k in range(0, len(data), 4):
        command, channel, low, high = data[k: k + 4]
        assert command == 0x84 and low < 128 and high < 128
        commands.append((channel, low | high << 7))
    return commands


def pulse_quarters(position, low, high, centre):
    p = Fraction(position)
    pulse = centre + p * ((high - centre) if p >= 0 else (centre - low))
    return (pulse * 4 + Fraction(1, 2)).__floor__()


def read_all(fd, count, seconds=10):
    data = b""
    deadline = time.monotonic() + seconds
    while len(data) < count and time.monotonic() < deadline:
        try:
            data += os.read(fd, 4096)
        except BlockingIOError:
            time.sleep(0.01)
    return data


@contextlib.contextmanager
def servo_line():
    """A pseudo-terminal for a servo output to open as its serial line: its
    device path, and the raw, non-blocking end its commands arrive at."""
    pytest.importorskip("serial")
    master, slave = os.openpty()
    tty.setraw(master)
    os.set_blocking(master, False)
    try:
        yield os.ttyname(slave), master
    finally:
        os.close(master)
        os.close(slave)


def test_servo_targets_reach_a_pty_in_the_maestro_format():
    with servo_line() as (device, received):
        servos = [Servo(0, "x"), Servo(5, "y", 0, 600, 2400, 1700),
                  Servo(23, "z", "ahead", Fraction(1001, 2), 2500, slew=1000)]
        output = MaestroOutput(servos, device)
        player, _ = sim_player(["helix", Track("helix", 16, "ahead")], [output], final="dark")
        player.run(until_pip=128)
        frames = player.streams[1].stats.frames
        player.close()
        commands = maestro_commands(read_all(received, 12 * frames + 12))
    assert len(commands) == 3 * frames + 3
    z_pulse, held = None, 0
    for k in range(frames):
        t = k * SECOND // 50
        pip = t * 128 // SECOND
        x, y, _ = gesturon.sample("helix", pip).as_tuple()
        z = gesturon.sample("helix", pip + 16).as_tuple()[2]
        # z is slewed at 1000 us a second: 20 ms frames move it 20 us at most.
        low, high = Fraction(1001, 2), 2500
        wanted = (low + high) / 2 + Fraction(z) * (high - low) / 2  # centre in the middle
        z_pulse = wanted if z_pulse is None else min(max(wanted, z_pulse - 20), z_pulse + 20)
        held += z_pulse != wanted
        assert commands[3 * k: 3 * k + 3] == [
            (0, pulse_quarters(x, 1000, 2000, 1500)),
            (5, pulse_quarters(y, 600, 2400, 1700)),
            (23, (z_pulse * 4 + Fraction(1, 2)).__floor__())]
    assert held > 5  # the slew limit did hold z back
    assert commands[-3:] == [(0, 0), (5, 0), (23, 0)]  # dark: pulses off


class Port(mido.ports.BaseOutput):
    """A mido output port that keeps the bytes of every message sent."""

    def _send(self, message):
        self.wire = getattr(self, "wire", b"") + bytes(message.bytes())


@pytest.mark.parametrize("fine", [False, True])
def test_midi_control_changes_carry_each_axis(fine):
    port = Port()
    controls = [Control(1, 7 if not fine else 1, "x", fine=fine),
                Control(16, 20, "y", "ahead", fine=fine, scale=Axis(0, 1))]
    output = MidiOutput(controls, port)
    player, _ = sim_player(["bounce", Track("lfo_breathe", 8, "ahead")], [output])
    player.run(until_pip=256)
    messages = mido.parse_all(port.wire)
    assert all(m.type == "control_change" for m in messages)
    full = 16383 if fine else 127
    current, expected = {}, []
    for k in range(player.streams[1].stats.frames):
        pip = (k * SECOND // 50) * 128 // SECOND
        values = [(0, controls[0].number, dmx_value(gesturon.bounce(pip).x, full)),
                  (15, 20, dmx_value(gesturon.sample("lfo_breathe", pip + 8).y, full, 0, 1))]
        for channel, number, value in values:
            parts = [(number, value >> 7), (number + 32, value & 127)] if fine else [(number, value)]
            for controller, part in parts:
                if current.get((channel, controller)) != part:  # sent only when it changes
                    expected.append((channel, controller, part))
                    current[(channel, controller)] = part
    assert [(m.channel, m.control, m.value) for m in messages] == expected
    assert len(expected) > 20


def test_play_frame_counts_every_stream_across_calls():
    clock = BeatClock(120, 0, now_ns=lambda: 0)
    late = CallbackOutput(lambda frame: None, latency_ms=100)
    player = Player(["circle"], [late], clock)
    for k in range(3):
        player.play_frame(k * SECOND)
    assert [s.stats.frames for s in player.streams] == [3, 3]
    assert player.streams[1].stats.last.pip == 2 * 128 + 12
