"""MIDI clock through a real MIDI port: a JACK server with its dummy
backend (no sound card needed), a drum machine played by the test on a
port of its own, and `gesturon play --midi-clock` following it."""

import os
import re
import shutil
import subprocess
import sys
import threading
import time

import pytest

pytest.importorskip("rtmidi")
mido = pytest.importorskip("mido")

JACK = "mido.backends.rtmidi/UNIX_JACK"
PORT = "RtMidiOut Client:drum machine"


@pytest.fixture(scope="module")
def jack(tmp_path_factory):
    """A JACK server of the test's own, and the environment that reaches it."""
    if shutil.which("jackd") is None:
        pytest.skip("needs jackd (Debian's jackd2)")
    name = f"gesturon-test-{os.getpid()}"
    log = open(tmp_path_factory.mktemp("jack") / "jackd.log", "w")
    with pytest.MonkeyPatch.context() as patch, log:
        patch.setenv("JACK_DEFAULT_SERVER", name)
        patch.setenv("JACK_NO_AUDIO_RESERVATION", "1")
        server = subprocess.Popen(["jackd", "--no-realtime", "-n", name, "-d", "dummy",
                                   "-r", "48000", "-p", "64"], stdout=log, stderr=subprocess.STDOUT)
        try:
            backend = mido.Backend(JACK)
            deadline = time.monotonic() + 10
            while True:
                try:
                    backend.get_output_names()
                    break
                except Exception:
                    if time.monotonic() > deadline or server.poll() is not None:
                        pytest.fail("the JACK server did not start")
                    time.sleep(0.1)
            yield dict(os.environ, MIDO_BACKEND=JACK), backend
        finally:
            server.terminate()
            server.wait(10)


def play(env, *argv):
    return subprocess.Popen([sys.executable, "-m", "gesturon_tools", "play", *argv], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def send_clock(port, bpm, beats):
    """Start, then `beats` beats of pulses, on time by the monotonic clock."""
    interval = 60 / (bpm * 24)
    port.send(mido.Message("start"))
    begin = time.monotonic()
    for pulse in range(beats * 24):
        delay = begin + pulse * interval - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        port.send(mido.Message("clock"))


def test_play_follows_a_drum_machine_and_runs_on_when_it_goes_quiet(jack):
    env, backend = jack
    with backend.open_output("drum machine", virtual=True) as drum_machine:
        listed = subprocess.run([sys.executable, "-m", "gesturon_tools", "play",
                                 "--list-midi-ports"], env=env, capture_output=True, text=True)
        assert listed.returncode == 0 and PORT in listed.stdout.splitlines()
        ports = set(backend.get_output_names())
        player = play(env, "circle", "--bpm", "90", "--midi-clock", PORT, "--beats", "12",
                      "--osc", "127.0.0.1:9")
        # The player's own port shows when it has opened the drum machine's.
        deadline = time.monotonic() + 30
        while set(backend.get_output_names()) == ports and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.2)
        drummer = threading.Thread(target=send_clock, args=(drum_machine, 140, 4))
        drummer.start()
        out, err = player.communicate(timeout=60)
        drummer.join()
    assert player.returncode == 0 and err == "", err
    # Four beats of 140 BPM, then silence: the clock ran on at the tempo
    # it had learnt, and says the source is gone.
    status = re.fullmatch(r"\S+  (\S+) BPM  MIDI clock LOST, running on at (\S+) BPM  .*\n", out)
    assert status is not None, out
    assert abs(float(status[1]) - 140) < 1 and status[1] == status[2]


def test_an_unknown_port_is_one_line_naming_the_ports_there_are(jack):
    env, backend = jack
    with backend.open_output("drum machine", virtual=True):
        player = play(env, "circle", "--midi-clock", "no such port")
        out, err = player.communicate(timeout=60)
    assert player.returncode == 2 and out == ""
    assert err == f"gesturon: play: no MIDI input port 'no such port' (there are: '{PORT}')\n"


@pytest.mark.skipif(os.path.exists("/dev/snd/seq"), reason="this machine has an ALSA sequencer")
@pytest.mark.parametrize("argv", [["--list-midi-ports"], ["circle", "--midi-clock", "x"]])
def test_no_midi_system_at_all_is_one_line(argv):
    env = {name: value for name, value in os.environ.items() if name != "MIDO_BACKEND"}
    env["JACK_DEFAULT_SERVER"] = f"gesturon-none-{os.getpid()}"
    player = play(env, *argv)
    out, err = player.communicate(timeout=60)
    assert player.returncode == 1 and out == ""
    assert err.startswith("gesturon: play: no MIDI system to reach (") and err.count("\n") == 1
