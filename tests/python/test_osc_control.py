"""OSC control of a running show: python-osc's client cueing a real
`gesturon play` (and `gesturon console`) whose frames a real OSC receiver
on 127.0.0.1 checks pip by pip; every form of message the usual senders
send, and every kind of refusal, against the action layer; the show
file's [control] table."""

import io
import socket
import subprocess
import sys
from fractions import Fraction

import pytest
from pythonosc.osc_bundle_builder import IMMEDIATELY, OscBundleBuilder
from pythonosc.osc_message import OscMessage
from pythonosc.osc_message_builder import OscMessageBuilder
from pythonosc.udp_client import SimpleUDPClient

import gesturon
from commandline import run
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.commands.showfile import load_show
from gesturon_tools.compose import xyz
from gesturon_tools.console import MAX_MESSAGE, ShowControl
from gesturon_tools.osccontrol import REPORT_EVERY_S, OscActions, OscReceiver
from loopback import OscListener, wait_until
from offline_console import OfflineConsole

PIPS_PER_BAR = 256

SHOW = """\
[tempo]
bpm = 120
source = "tap"

[fixtures.visual]

[[outputs]]
kind = "osc"
to = "127.0.0.1:{osc}"
double = true

[cues.intro]
visual = {{ pattern = "circle" }}

[cues.drop]
visual = {{ pattern = "figure_eight" }}

[control]
osc = "127.0.0.1:{control}"
"""


@pytest.fixture
def busy_port():
    """A UDP port on 127.0.0.1 that something else holds."""
    held = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    held.bind(("127.0.0.1", 0))
    yield held.getsockname()[1]
    held.close()


@pytest.fixture
def show_path(tmp_path, busy_port):
    def write(osc_port=9):
        path = tmp_path / "show.toml"
        path.write_text(SHOW.format(osc=osc_port, control=busy_port))
        return path
    return write


def message(address, *args):
    built = OscMessageBuilder(address)
    for arg in args:
        built.add_arg(arg)
    return built.build().dgram


# ---- through the real command ---------------------------------------------------------------

COMMANDS = {"play": ["play"], "console": ["console", "--port", "0"]}


def frames(osc, start):
    """(pip, x, y, z) of the frames received from index `start` on."""
    return [(int(args[3]), args[:3]) for _address, args in list(osc.messages)[start:]]


def switch_pip(received, before, after):
    """The pip where the frames go from `before` to `after`: every frame
    before it is exactly `before`'s position, every one from it `after`'s."""
    lands = min(pip for pip, position in received if position != xyz(before.sample(pip)))
    for pip, position in received:
        assert position == xyz((before if pip < lands else after).sample(pip)), pip
    return lands


@pytest.mark.parametrize("command", COMMANDS)
def test_osc_messages_cue_the_show_on_the_bar(show_path, command):
    with OscListener() as osc:
        path = show_path(osc.port)
        # One frame on every pip; the command line's port wins over the
        # show's, which is taken.
        process = subprocess.Popen(
            [sys.executable, "-m", "gesturon_tools", *COMMANDS[command][:1], str(path),
             *COMMANDS[command][1:], "--fps", "pip", "--osc-control", "0"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            line = ""
            while not line.startswith("osc control: "):
                line = process.stdout.readline()
                assert line, process.stderr.read()
            client = SimpleUDPClient("127.0.0.1", int(line.rsplit(":", 1)[1]))
            show = load_show(str(path), Catalogue(gesturon))
            intro, drop = show.cue_patterns("intro")["visual"], show.cue_patterns("drop")["visual"]
            client.send_message("/gesturon/tempo", 240.0)  # a bar a second
            for cue, sent, (before, after) in (
                    ("drop", [("/gesturon/cue/drop", 1.0), ("/gesturon/cue/drop", 0.0)],
                     (intro, drop)),
                    ("intro", [("/gesturon/cue", ["intro", "bar"])], (drop, intro))):
                osc.wait_for(1)
                start = len(osc.messages)
                for address, value in sent:
                    client.send_message(address, value)
                wait_until(lambda: any(position == xyz(after.sample(pip)) != xyz(before.sample(pip))
                                       for pip, position in frames(osc, start)), 10)
                top = max(pip for pip, _ in frames(osc, start))
                wait_until(lambda: max(pip for pip, _ in frames(osc, start)) >= top + 64, 10)
                assert switch_pip(frames(osc, start), before, after) % PIPS_PER_BAR == 0, cue
        finally:
            process.terminate()
            out, err = process.communicate(timeout=30)
    assert process.returncode == 0, err
    assert " 240 BPM " in out and out.endswith("osc control: 3 done, 0 refused, 1 release\n")


def test_a_port_in_use_is_one_line_and_play_needs_a_show(show_path, busy_port, capsys):
    status, _out, err = run(capsys, "play", str(show_path()), "--beats", "1")
    assert (status, err) == (1, f"gesturon: play: osc control: cannot listen on "
                                f"127.0.0.1:{busy_port}: Address already in use\n")
    status, _out, err = run(capsys, "play", "circle", "--bpm", "120", "--osc-control", "9000")
    assert (status, err) == (2, "gesturon: play: --osc-control needs a show file (SHOW.toml), "
                                "not patterns\n")


# ---- the action layer -----------------------------------------------------------------------

@pytest.fixture(scope="module")
def offline(tmp_path_factory):
    path = tmp_path_factory.mktemp("osc") / "show.toml"
    path.write_text(SHOW.format(osc=9, control=0))
    return OfflineConsole(path)


class Reports:
    """OSC actions on the offline show, with a clock of their own, the
    lines they report and what each datagram came to."""

    def __init__(self, offline):
        self.lines = []
        self.now = 0.0
        self.actions = OscActions(ShowControl(offline.running), self.lines.append, lambda: self.now)

    def send(self, *datagrams):
        return [outcome for data in datagrams for outcome in self.actions.datagram(data)]


def bundle(*datagrams):
    built = OscBundleBuilder(IMMEDIATELY)
    for data in datagrams:
        built.add_content(OscMessage(data))
    return built.build().dgram


def pending(offline):
    state = offline.running.runner.state(offline.frame().pip)
    return state.next, state.lands


# What the usual senders send, and what it does: TouchOSC buttons (press and
# release), QLab and Companion (strings), faders (floats).
ACCEPTED = [
    ([message("/gesturon/tempo", 128.3)], ["done"], lambda o: o.clock.bpm == Fraction("128.3")),
    ([message("/gesturon/tempo", "385/3")], ["done"], lambda o: o.clock.bpm == Fraction(385, 3)),
    ([message("/gesturon/tempo", 140)], ["done"], lambda o: o.clock.bpm == 140),
    ([message("/gesturon/cue/drop", 1.0), message("/gesturon/cue/drop", 0.0)], ["done", "ignored"],
     lambda o: pending(o)[0] == "drop" and pending(o)[1] % PIPS_PER_BAR == 0),
    ([message("/gesturon/cue/drop", "beat")], ["done"], lambda o: pending(o)[1] % 64 == 0),
    ([message("/gesturon/cue", "drop", "phrase")], ["done"],
     lambda o: pending(o)[1] % (4 * PIPS_PER_BAR) == 0),
    ([bundle(message("/gesturon/cue/intro"), message("/gesturon/next", True),
             message("/gesturon/next", False))], ["done", "done", "ignored"],
     lambda o: pending(o)[0] == "drop"),
    ([message("/gesturon/nudge", "16"), message("/gesturon/nudge", -16.0),
      message("/gesturon/resync", 1)], ["done"] * 3, lambda o: True),
]


@pytest.mark.parametrize("datagrams, outcomes, effect", ACCEPTED)
def test_messages_as_senders_send_them(offline, datagrams, outcomes, effect):
    reports = Reports(offline)
    offline.wait(10**8)
    assert reports.send(*datagrams) == outcomes
    assert effect(offline) and reports.lines == []


LONG = message("/gesturon/tap", "x" * MAX_MESSAGE)

REFUSED = [
    (message("/gesturon/launch"), "/gesturon/launch: unknown address (known: /gesturon/cue,"),
    (message("/gesturon/tap/now"), "/gesturon/tap/now: unknown address"),
    (message("/gesturon/cue"), "/gesturon/cue: cue takes the cue's name"),
    (message("/gesturon/cue", 2.5), "cue: give the cue's name"),
    (message("/gesturon/cue", "chorus"), "cue: no cue 'chorus' (the show has intro, drop)"),
    (message("/gesturon/cue", "x" * 4000), "cue: no cue 'xxx"),
    (message("/gesturon/cue", "drop", "minute"), "cue: at must be one of beat, bar, phrase"),
    (message("/gesturon/cue/drop", "bar", 1), "cue/NAME takes at most a unit"),
    (message("/gesturon/next", "now"), "next takes no arguments, or a button's press value"),
    (message("/gesturon/tempo"), "tempo takes one argument, the tempo in BPM"),
    (message("/gesturon/tempo", 5000), "tempo: tempo must be 20 to 999 BPM, not 5000"),
    (message("/gesturon/tempo", "fast"), "tempo:"),
    (message("/gesturon/tempo", 3.4028234663852886e38), "tempo: tempo must be 20 to 999 BPM"),
    (message("/gesturon/nudge", 16.5), "nudge: pips must be a whole number"),
    (message("/gesturon/nudge", 1000), "nudge: nudge by less than half a bar"),
    (b"garbage", "not an OSC packet"),
    (b"/gesturon/tap\0\0\0,I\0\0", "not an OSC packet (an argument of a type not read here: 'I')"),
    (message("/gesturon/nudge", "\x1e-16"), "nudge: pips must be a whole number"),
    (b"/gesturon/tempo\0,s\0\0\xff\0\0\0", "not an OSC packet (a string that is not UTF-8)"),
    (message("/gesturon/nudge", 16)[:-4], "not an OSC packet"),
    (LONG, f"a datagram of more than {MAX_MESSAGE} bytes, dropped"),
    # A bundle element of size -4, which python-osc's bundle reader reads for ever.
    (b"#bundle\0" + bytes(8) + b"\xff\xff\xff\xfc" + message("/gesturon/tap"),
     "not an OSC packet (a bundle element that does not fit"),
    (bundle(message("/gesturon/\x1b[2J")), "/gesturon/\\x1b[2J: unknown address"),
]


@pytest.mark.parametrize("datagram, report", REFUSED)
def test_a_refused_message_is_one_line_and_the_show_plays_on(offline, datagram, report):
    reports = Reports(offline)
    before = offline.frame().pip
    assert reports.send(datagram) == ["refused"]
    [line] = reports.lines
    assert line.startswith("osc control: ") and report in line and line.isprintable(), line
    assert len(line) < 400
    assert reports.actions.counts == {"done": 0, "refused": 1, "ignored": 0}
    offline.wait(10**8)
    assert offline.frame().pip > before


def test_a_flood_of_refusals_is_one_line_a_second(offline):
    reports = Reports(offline)
    assert reports.send(*[message("/gesturon/launch")] * 1000) == ["refused"] * 1000
    reports.now += REPORT_EVERY_S
    reports.send(message("/gesturon/tempo", 5000))
    assert len(reports.lines) == 2 and reports.lines[1].endswith("(and 999 more refused since)")
    assert reports.actions.counts["refused"] == 1001


# ---- the show file ----------------------------------------------------------------------------

@pytest.mark.parametrize("value, mistake", [
    ('"nowhere:9000"', "[control] osc: not an IP address: 'nowhere'"),
    ("70000", "[control] osc: port must be 0 (any free one) to 65535, not 70000"),
    ('"::1:9000"', "[control] osc: write an IPv6 address as [ADDRESS]:PORT"),
    ("true", "[control] osc: expected \"[ADDRESS:]PORT\" or a port number"),
])
def test_check_places_a_wrong_control_address(tmp_path, capsys, value, mistake):
    path = tmp_path / "show.toml"
    path.write_text(SHOW.format(osc=9, control=0).replace('osc = "127.0.0.1:0"', f"osc = {value}"))
    status, out, _err = run(capsys, "check", str(path))
    line = SHOW.splitlines().index('osc = "127.0.0.1:{control}"') + 1
    assert status == 1 and out.startswith(f"{path}:{line}: {mistake}"), out


def test_a_fault_behind_the_socket_is_a_refusal_and_the_receiver_goes_on():
    """Whatever goes wrong in acting on a datagram stays in the receiving
    thread: counted, reported like a refusal (at most a line a second),
    and the next datagram is read."""
    class Broken:
        def perform(self, message):
            raise RuntimeError("the show is on fire")

    out, err = io.StringIO(), io.StringIO()
    receiver = OscReceiver(Broken(), "127.0.0.1", 0, out=out, err=err)
    receiver.start()
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        for _ in range(50):
            sender.sendto(message("/gesturon/tap"), ("127.0.0.1", receiver.port))
        wait_until(lambda: receiver.actions.counts["refused"] >= 50, 10)
    assert receiver.thread.is_alive()
    receiver.close()
    assert receiver.actions.counts["refused"] == 50
    lines = err.getvalue().splitlines()
    assert 1 <= len(lines) < 50 and "internal error: RuntimeError: the show is on fire" in lines[0]
    assert out.getvalue() == "osc control: 0 done, 50 refused, 0 releases\n"
