"""Show files for every kind of output: each output key is checked with
its place and line, servos and controls follow fixtures and groups, and a
show drives a real sACN receiver and an Art-Net node (sockets on
127.0.0.1) and a servo controller on a pty, every value matching the
catalogue's samples, ending on the show's final frame."""

import os
import re
import time
from pathlib import Path

import pytest

import gesturon
from gesturon_tools.cli import main
from gesturon_tools.show import ShowErrors, parse
from gesturon_tools.showoutputs import OUTPUT_KINDS, controls_of, servos_of
from loopback import Datagrams
from test_outputs import (artnet_packets, coarse_fine, dmx_value, maestro_commands,
                          pulse_quarters, sacn_packets, servo_line)
from commandline import assert_refused, run

RIG = Path(__file__).resolve().parents[2] / "examples" / "rig.toml"
TEXT = RIG.read_text()
PERIOD = {r["name"]: r["period_pips"] for r in gesturon.catalogue()}


def base(name, pip):
    return gesturon.sample(name, pip % PERIOD[name]).as_tuple()


def edited(*pairs, text=TEXT):
    for old, new in zip(pairs[::2], pairs[1::2]):
        assert old in text, old
        text = text.replace(old, new, 1)
    return text


SACN, ARTNET = 'kind = "sacn"\n', 'kind = "artnet"\n'
SERVOS = 'servos = [{ channel = 0, follow = "puppet", axis = "x", low = 1100'
MIDI = 'controls = [{ channel = 1, controller = 1,'

MISTAKES = [
    (edited(SACN, SACN + "priority = 201\n", "priority = 150", "ttl = 8"),
     "[[outputs]] #1 (sacn) priority", "sACN priority must be 0 to 200, not 201"),
    (edited(SACN, SACN + "sync = 1\n"), "[[outputs]] #1 (sacn) sync", "carries fixtures"),
    (edited(SACN, SACN + 'to = "[::1]"\ninterface = "127.0.0.1"\n'),
     "[[outputs]] #1 (sacn) interface", "cannot send to the IPv6 host ::1"),
    (edited(SACN, SACN + 'to = "::1"\n'), "[[outputs]] #1 (sacn) to", "write an IPv6 address as"),
    (edited("latency_ms = 20 ", "latency_ms = 20000 "), "[[outputs]] #1 (sacn) latency_ms",
     "latency must be -10000 to 10000 ms"),
    (edited("fps = 100", "fps = 44.1"), "[[outputs]] #4 (midi) fps", "expected a whole number"),
    (edited(ARTNET, ARTNET + 'broadcast = "10.255.255.255"\n'), "[[outputs]] #2 (artnet)",
     "one of them"),
    (edited('to = "10.0.0.50"', 'broadcast = "255.255.255.255"'),
     "[[outputs]] #2 (artnet) broadcast", "reaches every network"),
    (edited('to = "10.0.0.50"', 'to = "[::1]:6454"'), "[[outputs]] #2 (artnet) to",
     "Art-Net is IPv4 only"),
    (edited("sync = true", "sync = 1"), "[[outputs]] #2 (artnet) sync", "expected true or false"),
    (edited(ARTNET, ARTNET + "priority = 1\n"), "[[outputs]] #2 (artnet) priority",
     f"unknown key (known: kind, {', '.join(OUTPUT_KINDS['artnet'].keys)})"),
    (edited('artnet = "0/0/1"', 'artnet = "128/0/1"'), "[fixtures.spot] artnet",
     "Art-Net net must be 0 to 127, not 128"),
    (edited('artnet = "0/0/1"', 'artnet = "0/0/1"\nuniverse = 2'), "[fixtures.spot] artnet",
     "not both"),
    (edited("[fixtures.puppet]",
            '[fixtures.wash]\nartnet = "0/0/1"\naddress = 6\n\n[fixtures.puppet]'),
     "[fixtures]", "spot/2 and wash overlap at channel 6 of Art-Net universe 0/0/1"),
    (edited('artnet = "0/0/1"\naddress = 1\nlayout = "pan tilt 255"\ncount = 2\n', ""),
     "[[outputs]] #2 (artnet)", "needs a fixture with an artnet universe"),
    (edited(SERVOS, SERVOS.replace("channel = 0", "channel = 24")),
     "[[outputs]] #3 (servo) servos", "servo 1: servo channel must be 0 to 23, not 24"),
    (edited(SERVOS, SERVOS.replace('"puppet"', '"nobody"')), "[[outputs]] #3 (servo) servos",
     "servo 1: no group or fixture 'nobody'"),
    (edited(SERVOS, SERVOS.replace("low = 1100", "lo = 1100")), "[[outputs]] #3 (servo) servos",
     "servo 1: unknown key 'lo'"),
    (edited("{ channel = 1, follow", "{ follow"), "[[outputs]] #3 (servo) servos",
     "servo 2: missing key 'channel'"),
    (edited("{ channel = 1, follow", "{ channel = 0, follow"), "[[outputs]] #3 (servo) servos",
     "two servos on channel 0"),
    (edited('channel = 0, follow = "puppet"', 'channel = 23, follow = "head"'),
     "[[outputs]] #3 (servo) servos",
     "servo 1 (head/2, channel 24): servo channel must be 0 to 23"),
    (edited("slew = 2000", "slew = -1"), "[[outputs]] #3 (servo) servos",
     "slew limit must be a positive number"),
    (edited('to = "/dev/ttyACM0"\n', ""), "[[outputs]] #3 (servo)", "missing key 'to'"),
    (edited("bits = 14", "bits = 8"), "[[outputs]] #4 (midi) controls", "bits must be 7 or 14"),
    (edited('bits = 14 }]', 'bits = 14 },\n  { channel = 1, controller = 33, follow = "puppet" }]'),
     "[[outputs]] #4 (midi) controls", "controller 33 of channel 1 is used twice"),
    (edited('final = "centre"', 'final = "off"'), "final",
     "expected one of 'hold', 'centre', 'dark'"),
    (edited('final = "centre"', "", "bpm = 124", 'bpm = 124\nfinal = "dark"'), "[tempo] final",
     "final is written before the first table"),
    (edited("slew = 180", "slew = 0"), "[fixtures.head] pan", "slew limit must be a positive"),
]


def line_start(place):
    """What the line of a place starts with: its key, or a table header."""
    last = place.split()[-1]
    return "[" if last.endswith((")", "]")) else last


@pytest.mark.parametrize("text, place, message", MISTAKES, ids=[m[2] for m in MISTAKES])
def test_each_output_mistake_has_its_place_and_line(text, place, message):
    with pytest.raises(ShowErrors) as caught:
        parse(text)
    errors = caught.value.errors
    assert [(e.place, message in e.message) for e in errors] == [(place, True)], errors
    if place == "[fixtures]":
        assert errors[0].line is None
    else:
        assert text.splitlines()[errors[0].line - 1].lstrip().startswith(line_start(place))


@pytest.mark.parametrize("text", [
    TEXT,
    edited('to = "10.0.0.50"', 'broadcast = "10.255.255.255"\ninterface = "10.0.0.2"',
           "priority = 150", 'priority = 0\nsync = 9\nttl = 1\nto = "[::1]:5570"',
           "latency_ms = 20 ", 'latency_ms = "-12.5" ', 'final = "centre"', 'final = "dark"'),
])
def test_a_rig_show_round_trips(text):
    show = parse(text)
    again = parse(show.to_toml())
    assert again == show and again.data == show.data and again.to_toml() == show.to_toml()


@pytest.mark.parametrize("servos, controls, want_servos, want_controls", [
    ('{ channel = 3, follow = "head", axis = "y" }',
     '{ channel = 2, controller = 7, follow = "spot" }',
     [(3, "head/1", "y"), (4, "head/2", "y")], [(2, 7, "spot/1", "x"), (2, 8, "spot/2", "x")]),
    ('{ channel = 0, follow = "rig" }, { channel = 9, follow = "puppet", axis = "z" }',
     '{ channel = 16, controller = 30, follow = "rig", axis = "y", bits = 14 }',
     [(0, "head/2", "x"), (1, "puppet", "x"), (9, "puppet", "z")],
     [(16, 30, "head/2", "y"), (16, 31, "puppet", "y")]),
])
def test_servos_and_controls_follow_every_member_of_a_group(servos, controls, want_servos,
                                                            want_controls):
    text = re.sub(r"servos = \[.*?\]\n", f"servos = [{servos}]\n", TEXT, count=1, flags=re.S)
    text = re.sub(r"controls = \[.*?\]\n", f"controls = [{controls}]\n", text, count=1)
    show = parse(edited("[cues.look]", '[groups]\nrig = ["head/2", "puppet"]\n\n[cues.look]',
                        text=text))
    (servo_out, control_out) = (o.settings for o in show.outputs[2:])
    made, mistakes = servos_of(servo_out, show.patch)
    assert mistakes == [] and [(s.channel, s.track, s.axis) for s in made] == want_servos
    made, mistakes = controls_of(control_out, show.patch)
    assert mistakes == []
    assert [(c.channel, c.number, c.track, c.axis) for c in made] == want_controls
    assert all(c.fine == ("bits = 14" in controls) for c in made)


@pytest.mark.parametrize("option", [["--sacn-priority", "120"], ["--output-fps", "dmx=30"],
                                    ["--latency-ms", "5"], ["--slew", "pan=90"],
                                    ["--artnet-sync"], ["--servo-to", "/dev/ttyACM1"]])
def test_play_refuses_output_options_a_show_sets_itself(capsys, option):
    assert_refused(capsys, ["play", str(RIG), *option], 2,
                   ["a show file sets its own outputs", f"leave out {option[0]}"])


def test_a_dry_run_of_a_show_prints_its_frames_and_opens_nothing(capsys):
    # The rig names a serial device and a MIDI port this machine lacks.
    code, out, err = run(capsys, "play", str(RIG), "--dry-run", "--beats", "1", "--bpm", "999")
    assert code == 0 and err == ""
    *lines, final, summary = out.splitlines()
    assert lines and " 999 BPM " in summary
    assert final.split("  ")[1:] == [f"{label} 0.0 0.0 0.0" for label in show_labels()]  # centre
    for line in lines:
        where, *positions = line.split("  ")
        bar, beat, pip = map(int, where.split(":"))
        pip += (bar - 1) * 256 + (beat - 1) * 64
        assert [p.split()[0] for p in positions] == show_labels()
        figure8 = "beat_house_classic_figure8"
        want = [base(figure8, pip), base(figure8, pip + 32), base("helix", pip),
                base("helix", pip + 16), base("lfo_breathe", pip)]
        assert [tuple(map(float, p.split()[1:])) for p in positions] == want


def show_labels():
    return parse(TEXT).labels


def read_pty(fd):
    data = b""
    while True:
        try:
            chunk = os.read(fd, 4096)
        except (BlockingIOError, OSError):
            return data
        if not chunk:
            return data
        data += chunk


def assert_pips_in_order(got, expected, pips):
    """Each received value is the expected value of a pip, no earlier than
    the pip of the value before."""
    values = [expected(pip) for pip in pips]
    at = 0
    for k, value in enumerate(got):
        assert value in values[at:], f"frame {k} is no pip's from pip {at} on"
        at = values.index(value, at)


def test_a_show_drives_sacn_art_net_and_a_servo_on_the_same_pips(tmp_path):
    with servo_line() as (device, received):
        with Datagrams() as receiver, Datagrams() as node:
            text = edited(SACN, SACN + f'to = "127.0.0.1:{receiver.port}"\n',
                          'to = "10.0.0.50"', f'to = "127.0.0.1:{node.port}"',
                          'to = "/dev/ttyACM0"', f'to = "{device}"',
                          ", slew = 180", "", ", slew = 2000", "", "bpm = 124", "bpm = 480")
            path = tmp_path / "rig.toml"
            path.write_text(text[: text.index('[[outputs]]\nkind = "midi"')]
                            + text[text.index("[cues.look]"):])
            assert main(["play", str(path), "--beats", "16"]) == 0
            time.sleep(0.2)  # what was sent is in the sockets' buffers: let the readers catch up
            # (the stream-terminated packets come last, with options bit 6)
            sacn = sacn_packets(receiver.wait_for(3, matching=lambda data: data[112] & 0x40))
            artnet = artnet_packets(node.wait_for(0))
        commands = maestro_commands(read_pty(received))
    pips = range(0, 16 * 64 + 64)

    # sACN: priority 150 on every packet, no sync, the heads' 16-bit pan and tilt.
    def heads_at(x, y):
        return bytes(coarse_fine(dmx_value(x, 65535, 270, 60, 540))
                     + coarse_fine(dmx_value(y, 65535, 135, 40, 270)))

    def heads(pip):
        return b"".join(heads_at(*base("beat_house_classic_figure8", pip + ahead)[:2])
                        for ahead in (0, 32)) + bytes(504)

    data, ended = sacn[:-3], sacn[-3:]
    assert len(data) > 20 and {p[:5] for p in data} == {("data", 1, 150, 0, 0)}
    assert [(p[1], p[4]) for p in ended] == [(1, 0x40)] * 3      # streams terminated
    assert_pips_in_order([p[5] for p in data[:-1]], heads, pips)
    assert data[-1][5] == heads_at(0, 0) * 2 + bytes(504)          # final = "centre"

    # Art-Net: an ArtDmx then an ArtSync each frame, the spots' 8-bit pan and tilt.
    def spots(pip):
        x, y, _ = base("helix", pip)
        ax, ay, _ = base("helix", pip + 16)
        return bytes((dmx_value(x, 255), dmx_value(y, 255), 255, dmx_value(ax, 255),
                      dmx_value(ay, 255), 255)) + bytes(506)

    assert len(artnet) > 20 and artnet[1::2] == [("sync", None)] * (len(artnet) // 2)
    frames = [fields for kind, fields in artnet[0::2]]
    assert {address for _, address, _ in frames} == {1}
    assert_pips_in_order([data for _, _, data in frames[:-1]], spots, pips)
    assert frames[-1][2][:6] == bytes((128, 128, 255) * 2)

    # The servos: x on channel 0 between 1100 and 1900, y on channel 1 about 1400.
    def puppet(pip):
        x, y, _ = base("lfo_breathe", pip)
        return ((0, pulse_quarters(x, 1100, 1900, 1500)), (1, pulse_quarters(y, 1000, 2000, 1400)))

    pairs = [tuple(commands[k: k + 2]) for k in range(0, len(commands), 2)]
    assert len(pairs) > 20
    assert_pips_in_order(pairs[:-1], puppet, pips)
    assert pairs[-1] == ((0, 6000), (1, 5600))


def test_a_show_sends_its_midi_controls_at_their_own_rate(monkeypatch):
    """The rig's 14-bit control follows the puppet's z at 100 frames a
    second, the port opened by its name (a port of the test's own)."""
    import mido

    from gesturon_tools.live import Track
    from gesturon_tools.showoutputs import OUTPUT_KINDS
    from test_outputs import SECOND, Port, sim_player
    show = parse(TEXT)
    given = show.outputs[3]
    opened = []
    monkeypatch.setattr(mido, "open_output", lambda name: opened.append(name) or Port())
    output = OUTPUT_KINDS[given.kind].build(given.settings, show.patch)
    player, _ = sim_player([Track("lfo_breathe", 0, "puppet")], [output], fps=30)
    player.run(until_pip=128)                  # one second at 120 BPM
    assert opened == ["Synth"] and player.streams[1].fps == 100
    sent = {}
    for message in mido.parse_all(output.port.wire):
        assert (message.type, message.channel) == ("control_change", 0)
        sent[message.control] = message.value
    # The last frame: its value, MSB on controller 1 and LSB on 33.
    last = (99 * SECOND // 100) * 128 // SECOND
    z = base("lfo_breathe", last)[2]
    assert sent[1] << 7 | sent[33] == dmx_value(z, 16383)
