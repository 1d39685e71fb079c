"""`gesturon play` with the outputs for rigs: bad options, a dry run, an
Art-Net run to a socket reader, and stopping by any signal with the
final frame asked for and the sACN streams terminated."""

import signal
import subprocess
import sys
import time

import pytest

import gesturon
from gesturon_tools.cli import main
from loopback import Datagrams
from dmx_wire import artnet_packets, coarse_fine, dmx_value, sacn_packets
from commandline import PLAY, assert_refused, refusals, run

OSC = ["--osc", "127.0.0.1:9"]
ART = ["--artnet", "0/0/1/1"]
TO = ["--artnet-to", "127.0.0.1"]


@pytest.mark.parametrize("argv, status, fragments", refusals([
    (PLAY, 2, ["no output", "--dry-run"]),
    (PLAY + ART, 2, ["--artnet needs --artnet-to HOST or --artnet-broadcast"]),
    (PLAY + ART + TO + ["--artnet-broadcast", "2.255.255.255"], 2, ["one of them"]),
    (PLAY + ["--artnet", "128/0/0/1"] + TO, 2, ["Art-Net net must be 0 to 127, not 128"]),
    (PLAY + ["--artnet", "0/16/0/1"] + TO, 2, ["Art-Net sub-net must be 0 to 15, not 16"]),
    (PLAY + ["--artnet", "0/0/1/513"] + TO, 2, ["DMX address must be 1 to 512, not 513"]),
    (PLAY + ["--artnet", "0/0/1"] + TO, 2, ["expected NET/SUBNET/UNIVERSE/ADDRESS"]),
    (PLAY + ["--artnet", "0/0/1/1/pan,gobo"] + TO, 2, ["unknown channel 'gobo'"]),
    (PLAY + ART + ["--artnet-broadcast", "255.255.255.255"], 1, ["reaches every network"]),
    (PLAY + OSC + TO, 2, ["--artnet-to needs at least one --artnet"]),
    (PLAY + ART + ["--artnet-to", "[::1]:6454"], 2, ["Art-Net is IPv4 only"]),
    (PLAY + ["--sacn", "1/1", "--sacn-to", "[::1]", "--sacn-interface", "127.0.0.1"], 1,
     ["multicast interface is an IPv4 address"]),
    (PLAY + ["--sacn", "0/1", "--sacn-to", "127.0.0.1"], 2, ["universe must be 1 to 63999, not 0"]),
    (PLAY + OSC + ["--sacn-priority", "201"], 2, ["sACN priority must be 0 to 200, not 201"]),
    (PLAY + OSC + ["--sacn-priority", "high"], 2, ["must be a whole number, not 'high'"]),
    (PLAY + OSC + ["--sacn-ttl", "0"], 2, ["multicast TTL must be 1 to 255"]),
    (PLAY + OSC + ["--sacn-interface", "wlan0"], 2, ["not an IPv4 address: 'wlan0'"]),
    (PLAY + OSC + ["--sacn-sync", "64000"], 2, ["sync universe must be 1 to 63999"]),
    (PLAY + ["--sacn", "1/1", "--sacn-to", "::1"], 2, ["write an IPv6 address as [ADDRESS]"]),
    (PLAY + ["--servo", "24/x"], 2, ["servo channel must be 0 to 23, not 24"]),
    (PLAY + ["--servo", "0/w"], 2, ["expected an axis x, y or z"]),
    (PLAY + ["--servo", "0/x0"], 2, ["track number from 1"]),
    (PLAY + ["--servo", "0/x"], 2, ["--servo needs --servo-to DEVICE"]),
    (PLAY + ["--servo", "0/x/2000:1000", "--servo-to", "/dev/null"], 2, ["low <= centre <= high"]),
    (PLAY + ["--servo", "0/x/1000:x", "--servo-to", "/dev/null"], 2, ["not pulse widths"]),
    (PLAY + ["--servo", "0/x", "--servo", "0/y", "--servo-to", "/dev/null"], 2, ["two servos"]),
    (PLAY + ["--servo", "0/x2", "--servo-to", "/dev/null"], 2, ["follows x2, but there are 1 tracks"]),
    (PLAY + ["--servo", "0/x", "--servo-to", "/no/such/tty"], 1, ["cannot open the servo line"]),
    (PLAY + ["--midi-cc", "17/1/x", "--midi-to", "p"], 2, ["MIDI channel must be 1 to 16"]),
    (PLAY + ["--midi-cc", "1/32/x/14", "--midi-to", "p"], 2, ["14-bit controller must be 0 to 31"]),
    (PLAY + ["--midi-cc", "1/1/x/8", "--midi-to", "p"], 2, ["CHANNEL/CONTROLLER/AXIS[/14]"]),
    (PLAY + ["--midi-cc", "1/1/x"], 2, ["--midi-cc needs --midi-to PORT"]),
    (PLAY + ["--midi-to", "p"] + OSC, 2, ["--midi-to needs at least one --midi-cc"]),
    (PLAY + OSC + ["--output-fps", "gobo=44"], 2, ["unknown output 'gobo'"]),
    (PLAY + OSC + ["--output-fps", "44"], 2, ["expected KIND=N"]),
    (PLAY + OSC + ["--output-fps", "sacn=0"], 2, ["frame rate must be 1 to 10000, not 0"]),
    (PLAY + OSC + ["--latency-ms", "10000.5"], 2, ["latency must be -10000 to 10000 ms"]),
    (PLAY + OSC + ["--latency-ms", "osc=soon"], 2, ["latency is not a number: 'soon'"]),
    (PLAY + OSC + ["--slew", "pan=-90"], 2, ["slew limit must be positive"]),
    (PLAY + OSC + ["--slew", "gobo=90"], 2, ["expected WHAT=RATE"]),
    (PLAY + OSC + ["--final", "off"], 2, ["invalid choice: 'off'"]),
]))
def test_play_refuses_bad_output_options(capsys, argv, status, fragments):
    assert_refused(capsys, argv, status, fragments)


def test_a_dry_run_prints_every_frame_exactly(capsys):
    code, out, err = run(capsys, "play", "helix", "lfo_breathe", "--bpm", "999", "--beats", "1",
                         "--dry-run", "--fps", "pip")
    assert code == 0 and err == ""
    *lines, summary = out.splitlines()
    assert " 999 BPM " in summary and f" {len(lines)} frames " in summary
    pips = []
    for line in lines:
        where, helix, breathe = line.split("  ")
        bar, beat, pip = map(int, where.split(":"))
        pip += (bar - 1) * 256 + (beat - 1) * 64
        for text, name in ((helix, "helix"), (breathe, "lfo_breathe")):
            label, *values = text.split()
            assert label == name
            assert tuple(map(float, values)) == gesturon.sample(name, pip).as_tuple()
        pips.append(pip)
    assert pips == sorted(set(pips)) and pips[-1] < 64  # a busy machine may drop some


def test_play_drives_an_art_net_node_with_sync():
    """A real run: every ArtDmx carries the DMX values of one pip, later
    frames later pips, each followed by an ArtSync."""
    with Datagrams() as node:
        status = main(["play", "helix", "--bpm", "240", "--beats", "2", "--artnet", "0/0/1/1",
                       "--artnet", "0/0/1/5/pan,tilt,255", "--spread", "0.25", "--artnet-to",
                       f"127.0.0.1:{node.port}", "--artnet-sync", "--latency-ms", "dmx=40"])
        assert status == 0
        time.sleep(0.2)
        packets = artnet_packets(node.wait_for(0))
    assert len(packets) >= 6 and packets[1::2] == [("sync", None)] * (len(packets) // 2)
    pips = []
    for _, (_, address, data) in packets[0::2]:
        assert address == 1

        def dmx(pip):
            x, y, _ = gesturon.sample("helix", pip).as_tuple()
            ax, ay, _ = gesturon.sample("helix", pip + 16).as_tuple()
            return bytes(coarse_fine(dmx_value(x, 65535)) + coarse_fine(dmx_value(y, 65535))
                         + (dmx_value(ax, 255), dmx_value(ay, 255), 255) + (0,) * 505)

        # 40 ms ahead at 240 BPM is 10 pips or 11: the first frame is at least that.
        matching = [pip for pip in range(0, 140) if dmx(pip) == data]
        assert matching, "a frame that is no pip's DMX"
        pips.append(matching[0])
    assert pips == sorted(pips) and pips[0] >= 10


@pytest.mark.parametrize("signum, final", [
    (signal.SIGTERM, "dark"), (signal.SIGHUP, "centre"), (signal.SIGINT, "hold"),
])
def test_any_stop_signal_ends_cleanly_with_the_final_frame(signum, final):
    with Datagrams() as receiver:
        player = subprocess.Popen(
            [sys.executable, "-m", "gesturon_tools", "play", "circle", "--bpm", "120",
             "--sacn", "1/1", "--sacn-to", f"127.0.0.1:{receiver.port}", "--final", final],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            assert receiver.wait_for(5, seconds=60), "the player never started"
            player.send_signal(signum)
            out, err = player.communicate(timeout=30)
        finally:
            player.kill()
        time.sleep(0.1)
        packets = sacn_packets(receiver.wait_for(0))
    assert player.returncode == 0 and err == ""
    assert out.count("\n") == 1 and " 120 BPM " in out and "sacn 44/s" in out
    last, ended = packets[-4], packets[-3:]
    assert [(p[1], p[4]) for p in ended] == [(1, 0x40)] * 3   # stream terminated
    assert all(p[4] == 0 for p in packets[:-3])
    values = last[5][:4]
    if final == "dark":
        assert last[5] == bytes(512) and values != packets[-5][5][:4]
    elif final == "centre":
        assert values == bytes(coarse_fine(dmx_value(0, 65535)) * 2)
    assert all(p[5] == last[5] for p in ended)  # the streams end on the final values


@pytest.mark.parametrize("module, argv, fragments", [
    ("stupidArtnet", ART + TO, ["Art-Net output needs the stupidArtnet package",
                                "pip install 'gesturon[live]'"]),
    ("serial", ["--servo", "0/x", "--servo-to", "/dev/null"],
     ["servo output needs the pyserial package", "pip install 'gesturon[servo]'"]),
])
def test_play_names_a_missing_package_for_rig_outputs(capsys, monkeypatch, module, argv, fragments):
    monkeypatch.setitem(sys.modules, module, None)
    assert_refused(capsys, PLAY + argv, 1, fragments)


def test_a_player_started_under_nohup_plays_on_after_a_hangup():
    with Datagrams() as receiver:
        player = subprocess.Popen(
            [sys.executable, "-m", "gesturon_tools", "play", "circle", "--bpm", "120",
             "--sacn", "1/1", "--sacn-to", f"127.0.0.1:{receiver.port}"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
        try:
            assert receiver.wait_for(5, seconds=60), "the player never started"
            player.send_signal(signal.SIGHUP)
            before = len(receiver.received)
            assert receiver.wait_for(before + 10, seconds=30) and player.poll() is None
            player.send_signal(signal.SIGTERM)
            out, err = player.communicate(timeout=30)
        finally:
            player.kill()
    assert player.returncode == 0 and err == "" and " 120 BPM " in out
