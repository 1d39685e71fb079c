"""`gesturon play` and the time-stamped `gesturon export`: bad input, a
short real run to loopback receivers, Ctrl-C, a missing optional package."""

import json
import signal
import subprocess
import sys
from fractions import Fraction

import pytest

import gesturon
from loopback import OscListener, SacnListener
from commandline import PLAY, assert_refused, refusals, run

SECOND = 10**9


@pytest.mark.parametrize("argv, status, fragments", refusals([
    (["play", "helx", "--bpm", "120"], 1, ["unknown pattern 'helx'", "did you mean helix?"]),
    (["play", "helix"], 2, ["--bpm"]),
    (PLAY[:3] + ["19.99"], 2, ["tempo must be 20 to 999 BPM, not 19.99"]),
    (PLAY[:3] + ["1000"], 2, ["tempo must be 20 to 999 BPM, not 1000"]),
    (PLAY[:3] + ["fast"], 2, ["tempo is not a number: 'fast'"]),
    (PLAY + ["--fps", "0"], 2, ["frame rate must be 1 to 10000"]),
    (PLAY + ["--beats", "0"], 2, ["--beats", "at least one pip"]),
    (PLAY + ["--osc", "127.0.0.1"], 2, ["expected HOST:PORT"]),
    (PLAY + ["--osc", "127.0.0.1:0"], 2, ["port must be 1 to 65535, not 0"]),
    (PLAY + ["--osc", "127.0.0.1:osc"], 2, ["not a port number: 'osc'"]),
    (PLAY + ["--osc", ":9000"], 2, ["the host is missing"]),
    (PLAY + ["--osc", "10.0.0.256:9000"], 2, ["not an IPv4 address: '10.0.0.256'"]),
    (PLAY + ["--osc", "bad_host!:9000"], 2, ["not a host name: 'bad_host!'"]),
    (PLAY + ["--osc", "::1:9000"], 2, ["[ADDRESS]:PORT"]),
    (PLAY + ["--osc", "127.0.0.1:9000", "--osc-address", "gesturon"], 1,
     ["not an OSC address: 'gesturon'"]),
    (PLAY + ["--sacn", "0/1"], 2, ["universe must be 1 to 63999, not 0"]),
    (PLAY + ["--sacn", "1/0"], 2, ["DMX address must be 1 to 512, not 0"]),
    (PLAY + ["--sacn", "1/513"], 2, ["DMX address must be 1 to 512, not 513"]),
    (PLAY + ["--sacn", "1/510"], 2, ["4 channels at address 510 does not fit in 512"]),
    (PLAY + ["--sacn", "1"], 2, ["expected UNIVERSE/ADDRESS[/LAYOUT]"]),
    (PLAY + ["--sacn", "1/1/pan,gobo"], 2, ["unknown channel 'gobo'"]),
    (PLAY + ["--sacn", "1/1", "--sacn", "1/3"], 2, ["fixtures 1 and 2 overlap at channel 3"]),
    (PLAY + ["--sacn-to", "127.0.0.1"], 2, ["--sacn-to needs at least one --sacn"]),
    (["play", "helix", "circle", "--bpm", "120", "--sacn", "1/1"], 2,
     ["2 patterns for 1 fixtures"]),
    (["play", "helix", "circle", "--bpm", "120", "--spread", "1"], 2,
     ["--spread needs one pattern"]),
    (PLAY + ["--spread", "0.01"], 2, ["not a whole number of pips"]),
    (PLAY + ["--sacn", "1/1", "--pan", "600:90:540"], 2, ["outside the travel"]),
    (PLAY + ["--sacn", "1/1", "--tilt", "90"], 2, ["expected CENTRE:SWING[:TRAVEL]"]),
    (["export", "circle", "--fps", "30"], 2, ["--fps needs --bpm"]),
    (["export", "circle", "--bpm", "1000"], 2, ["tempo must be 20 to 999 BPM"]),
]))
def test_play_and_timed_export_refuse_bad_input(capsys, argv, status, fragments):
    assert_refused(capsys, argv, status, fragments)


@pytest.mark.parametrize("modules, argv, fragments", [
    (["pythonosc", "pythonosc.udp_client"], ["--osc", "127.0.0.1:9000"],
     ["OSC output needs the python-osc package", "pip install 'gesturon[live]'"]),
    (["sacn"], ["--sacn", "1/1", "--sacn-to", "127.0.0.1"], ["sACN output needs the sacn package"]),
], ids=["osc", "sacn"])
def test_play_names_a_missing_package(capsys, monkeypatch, modules, argv, fragments):
    for module in modules:
        monkeypatch.setitem(sys.modules, module, None)
    assert_refused(capsys, PLAY + argv, 1, fragments)


def test_play_sends_samples_to_osc_and_sacn(capsys):
    """A real run: every frame's OSC messages and DMX values are the
    samples at that frame's pip (at 999 BPM a pip begins every 0.94 ms, so
    the pip of each frame comes from the message itself)."""
    with OscListener() as osc, SacnListener() as dmx:
        code, out, err = run(capsys, "play", "helix", "--bpm", "999", "--beats", "2",
                             "--osc", f"127.0.0.1:{osc.port}", "--osc-double",
                             "--sacn", "1/1", "--sacn", "1/5/pan,tilt,z,255",
                             "--spread", "0.5", "--sacn-to", f"127.0.0.1:{dmx.port}",
                             "--output-fps", "sacn=100")  # DMX at the player's rate
        assert code == 0 and err == "", err
        frames = int(out.split(" frames")[0].split()[-1])
        messages = osc.wait_for(2 * frames)
        packets = dmx.wait_for(frames)
    assert out.count("\n") == 1 and " 999 BPM " in out and " late" in out
    # 2 beats at 999 BPM are 120 ms: 13 frames at most (fewer when a busy
    # machine drops some).
    assert 2 <= frames <= 13
    assert len(messages) == 2 * frames
    pips = []
    for k in range(frames):
        first, second = messages[2 * k: 2 * k + 2]
        assert (first[0], second[0]) == ("/gesturon/helix/1", "/gesturon/helix/2")
        pip = first[1][3]
        assert second[1][3] == pip + 32
        assert first[1][:3] == gesturon.sample("helix", pip).as_tuple()
        assert second[1][:3] == gesturon.sample("helix", pip + 32).as_tuple()
        pips.append(pip)
    assert pips == sorted(set(pips)) and 0 <= pips[0] and pips[-1] < 128
    # The sACN receiver reports changed data only; helix changes every pip.
    assert len(packets) == frames
    for (universe, data), pip in zip(packets, pips):
        x, y, _ = gesturon.sample("helix", pip).as_tuple()
        ax, ay, az = gesturon.sample("helix", pip + 32).as_tuple()
        full16 = [((Fraction(v) + 1) / 2 * 65535 + Fraction(1, 2)).__floor__() for v in (x, y)]
        full8 = [((Fraction(v) + 1) / 2 * 255 + Fraction(1, 2)).__floor__() for v in (ax, ay, az)]
        assert universe == 1
        assert data[:4] == (full16[0] >> 8, full16[0] & 255, full16[1] >> 8, full16[1] & 255)
        assert data[4:8] == (*full8, 255)


def test_play_stops_cleanly_on_ctrl_c():
    with OscListener() as osc:
        done = subprocess.Popen([sys.executable, "-m", "gesturon_tools", "play", "circle",
                                 "--bpm", "120", "--osc", f"127.0.0.1:{osc.port}"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            assert osc.wait_for(5, seconds=60), "the player never started"
            done.send_signal(signal.SIGINT)
            out, err = done.communicate(timeout=30)
        finally:
            done.kill()
    assert done.returncode == 0 and err == ""
    assert out.count("\n") == 1 and " 120 BPM " in out
    assert int(out.split(" frames")[0].split()[-1]) >= 5


# ---- export with a tempo ------------------------------------------------------------

@pytest.mark.parametrize("bpm, fps, start, stop", [
    ("120", 30, 0, 64), ("100", 100, -40, 100), ("128.5", 24, 5, 70), ("999", 7, 0, 500),
])
def test_export_frames_at_a_frame_rate(capsys, bpm, fps, start, stop):
    status, out, err = run(capsys, "export", "lfo_breathe", "--bpm", bpm, "--fps", str(fps),
                           "--start", str(start), "--stop", str(stop))
    assert status == 0 and err == ""
    lines = out.splitlines()
    assert lines[0] == "seconds,pip,x,y,z"
    tempo = Fraction(bpm)
    rows = [line.split(",") for line in lines[1:]]
    indices = []
    for seconds, pip, *values in rows:
        # Frame k is at k/fps seconds floored to the nanosecond.
        ns = round(Fraction(seconds) * SECOND)
        k = -(-ns * fps // SECOND)
        assert ns == k * SECOND // fps
        assert int(pip) == (Fraction(ns, 60 * SECOND) * tempo * 64).__floor__()
        assert tuple(map(float, values)) == gesturon.sample("lfo_breathe", int(pip)).as_tuple()
        indices.append(k)
    assert indices == list(range(indices[0], indices[0] + len(indices)))
    first, last = int(rows[0][1]), int(rows[-1][1])
    assert start <= first and last < stop
    before = (indices[0] - 1) * SECOND // fps
    after = (indices[-1] + 1) * SECOND // fps
    assert (Fraction(before, 60 * SECOND) * tempo * 64).__floor__() < start
    assert (Fraction(after, 60 * SECOND) * tempo * 64).__floor__() >= stop


def test_export_pips_at_a_tempo_as_json(capsys):
    status, out, _ = run(capsys, "export", "circle", "--bpm", "100", "--format", "json",
                         "--start", "-2", "--stop", "200", "--every", "50")
    assert status == 0
    data = json.loads(out)
    assert data["columns"] == ["seconds", "pip", "x", "y", "z"]
    assert data["bpm"] == 100 and data["fps"] is None
    # Each pip at the instant it begins: pip p is at p * 60 / (100 * 64) s.
    assert [row[:2] for row in data["rows"]] == [
        [-0.01875, -2], [0.45, 48], [0.91875, 98], [1.3875, 148], [1.85625, 198]]
    for _, pip, *values in data["rows"]:
        assert tuple(values) == gesturon.circle(pip).as_tuple()
