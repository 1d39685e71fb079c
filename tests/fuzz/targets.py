"""The Python-level fuzz targets (Atheris), and their seeds.

    python3 tests/fuzz/targets.py NAME [libFuzzer options] [CORPUS ...]

runs one target; scripts/fuzz.py runs them all for a bounded time, against
the plain or the sanitized build. A target is a function of the fuzzer's
bytes that returns normally for every input the code under test handles as
documented and raises (or crashes) otherwise; its seeds are a function that
returns a few inputs to start from; what a target builds once for the whole
run is built by its setup, before the first input is timed. Adding one is
a few lines:

    @target("name", seeds=lambda: [b"..."])
    def name(data: bytes) -> None:
        ...

The score seeds are the built-in beats, read from src/packs/beats when the
run starts; the show seeds are the example shows, read from examples/; the
console seeds are the messages the console's page sends, for the cues of
the example stage show.
"""

from __future__ import annotations

import io
import ipaddress
import json
import os
import sys
import time
import zlib
from pathlib import Path
from typing import Callable

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "python"))

import atheris  # noqa: E402

# Imported before the instrumented ones, so that its matching is not
# instrumented: an unknown pattern name in a show is answered with the
# nearest known names, which compares it with every name of the catalogue,
# and instrumented that costs seconds an input (tens of seconds under the
# sanitizers) while adding no coverage of this project.
import difflib  # noqa: E402,F401

with atheris.instrument_imports():
    from gesturon_tools import _beats, artnet as artnets, console as consoles, drums, show as shows  # noqa: E402
    import hostile  # noqa: E402
    from offline_console import OfflineConsole  # noqa: E402
    # OSC control: the module and python-osc's message reader it hands messages to.
    from gesturon_tools import osccontrol  # noqa: E402
    from pythonosc import osc_message  # noqa: E402,F401

# What checks that a port-address is one `--artnet` takes: the command line's
# own reader (imported after the modules above, so that theirs are instrumented).
from gesturon_tools.commands.playoutputs import port_address_arg  # noqa: E402


class Target:
    def __init__(self, name: str, test: Callable[[bytes], None], seeds: Callable[[], list[bytes]],
                 setup: Callable[[], None]) -> None:
        self.name, self.test, self.seeds, self.setup = name, test, seeds, setup


TARGETS: dict[str, Target] = {}


def target(name: str, seeds: Callable[[], list[bytes]],
           setup: Callable[[], None] = lambda: None) -> Callable[[Callable[[bytes], None]], Callable[[bytes], None]]:
    def register(test: Callable[[bytes], None]) -> Callable[[bytes], None]:
        TARGETS[name] = Target(name, test, seeds, setup)
        return test
    return register


def builtin_scores() -> list[str]:
    return [path.read_text(encoding="utf-8") for path in sorted((ROOT / "src" / "packs" / "beats").glob("*.beat"))]


def score_seeds() -> list[bytes]:
    """Each built-in score, behind the byte that picks the motion."""
    return [bytes([i % 16]) + text.encode() for i, text in enumerate(builtin_scores())]


def midi_seeds() -> list[bytes]:
    """Each built-in score played as a General MIDI drum track."""
    import mido

    note_of = {}
    for note, instrument in sorted(drums.GM_DRUMS.items(), reverse=True):
        note_of[instrument] = note
    seeds = []
    for text in builtin_scores():
        score = _beats.parse_score(text)
        track = mido.MidiTrack()
        now = 0
        for instrument, pip, level in score["hits"]:
            tick = round(pip * 480 / 64)
            velocity = {"accent": 120, "normal": 90, "ghost": 40}.get(level, 90)
            track.append(mido.Message("note_on", note=note_of.get(instrument, 76), velocity=velocity, channel=9,
                                      time=tick - now))
            now = tick
        track.append(mido.MetaMessage("end_of_track", time=score["period_pips"] * 480 // 64 - now))
        midi = mido.MidiFile(ticks_per_beat=480)
        midi.tracks.append(track)
        out = io.BytesIO()
        midi.save(file=out)
        seeds.append(out.getvalue())
    return seeds


@target("score", seeds=score_seeds)
def score(data: bytes) -> None:
    """Score text through the companion's reader and one motion: a score is
    read or refused with ValueError, and an accepted one renders inside the
    unit cube."""
    if not data:
        return
    motion = drums.motion_keys()[data[0] % 16]
    text = data[1:].decode("utf-8", "surrogateescape")
    try:
        drums.check_score_text(text)
        header = _beats.parse_score(text)
    except ValueError:
        return
    _, rows = _beats.render(text, motion)
    assert len(rows) == header["period_pips"]
    assert all(-1.0 <= v <= 1.0 for row in rows for v in row), "a value off the cube"


@target("midi", seeds=midi_seeds)
def midi(data: bytes) -> None:
    """A MIDI file's bytes: a score or ValueError, nothing else."""
    try:
        text = drums.midi_bytes_to_score(data)
        _beats.parse_score(text)
    except ValueError:
        pass


@target("module", seeds=lambda: [bytes(range(64)), b"\0" * 64, b"\xff" * 64])
def module(data: bytes) -> None:
    """One call of a binding with hostile argument objects chosen by the
    bytes (tests/python/hostile.py): no built object changes, no message
    shows memory it should not."""
    provider = atheris.FuzzedDataProvider(data)
    hostile.Driver(lambda n: provider.ConsumeIntInRange(0, n - 1)).call()


@target("show", seeds=lambda: [path.read_bytes() for path in sorted(ROOT.glob("examples/*.toml"))])
def show(data: bytes) -> None:
    """A show file's bytes: a checked show, or ShowErrors whose every
    mistake has a place or a message; an accepted show gives every cue's
    patterns, each sampled once."""
    try:
        read = shows.parse(data.decode("utf-8", "surrogateescape"))
    except shows.ShowErrors as errors:
        assert errors.errors and all(isinstance(e, shows.ShowError) and str(e) for e in errors.errors)
        assert all(line.isprintable() for line in errors.lines()), "a mistake not one line of text"
        return
    for cue in read.order():
        for pattern in read.cue_patterns(cue).values():
            pattern.sample(0)


CONSOLE_SHOW = ROOT / "examples" / "stage.toml"


def console_seeds() -> list[bytes]:
    """What the page sends: every cue of the example show on each unit,
    the next cue, a tap, a sixteenth's nudge either way, resync and a
    tempo typed as a decimal, a fraction and a number."""
    from gesturon_tools.meter import UNITS
    from gesturon_tools.tapkeys import NUDGE_PIPS

    cues = shows.parse(CONSOLE_SHOW.read_text(encoding="utf-8")).cues
    messages: list[dict[str, object]] = [{"action": "cue", "cue": cue, "at": unit} for cue in cues for unit in UNITS]
    messages += [{"action": "next"}, {"action": "tap"}, {"action": "resync"},
                 {"action": "nudge", "pips": NUDGE_PIPS}, {"action": "nudge", "pips": -NUDGE_PIPS},
                 {"action": "tempo", "bpm": "128.5"}, {"action": "tempo", "bpm": "385/3"},
                 {"action": "tempo", "bpm": 140}]
    return [json.dumps(message).encode() for message in messages]


_console: list[OfflineConsole] = []


@target("console", seeds=console_seeds, setup=lambda: _console.append(OfflineConsole(CONSOLE_SHOW)))
def console(data: bytes) -> None:
    """One WebSocket message from a page, as the server hands it over
    (text of at most MAX_MESSAGE bytes), to `Console.act` of one console
    over the example stage show for the whole run (tests/python/
    offline_console.py: no outputs, a simulated clock). The reply is `done`
    or `error` (one line), strict JSON the page can read, and the show goes
    on making frames whose state is strict JSON too. Each message arrives
    between 10 ms and 2.5 s after the one before, a step drawn from the
    message, so that one input replays alike."""
    if len(data) > consoles.MAX_MESSAGE:
        return  # the server closes the connection of a longer message
    run = _console[0]
    run.wait(10_000_000 + zlib.crc32(data) % 2_490_000_000)
    reply = run.act(data.decode("utf-8", "surrogateescape"))
    assert reply["type"] in ("done", "error"), reply
    assert reply["type"] == "done" or isinstance(reply["message"], str) and "\n" not in reply["message"], reply
    json.dumps(reply, allow_nan=False)
    json.dumps(run.console.state(run.frame()), allow_nan=False)


def osc_seeds() -> list[bytes]:
    """What OSC senders send: every cue of the example show by name on each
    unit and by address with a button's press and release, the next cue, a
    tap pressed and let go, a sixteenth's nudge either way as a number and
    as text, resync, a tempo as a 32-bit float, a fraction and a whole
    number, and a bundle of two."""
    from pythonosc.osc_bundle_builder import IMMEDIATELY, OscBundleBuilder
    from pythonosc.osc_message_builder import OscMessageBuilder
    from gesturon_tools.meter import UNITS
    from gesturon_tools.tapkeys import NUDGE_PIPS

    def built(address: str, *args: object) -> bytes:
        message = OscMessageBuilder(address)
        for arg in args:
            message.add_arg(arg)
        return bytes(message.build().dgram)

    cues = shows.parse(CONSOLE_SHOW.read_text(encoding="utf-8")).cues
    seeds = [built("/gesturon/cue", cue, unit) for cue in cues for unit in UNITS]
    seeds += [built(f"/gesturon/cue/{cue}", press) for cue in cues for press in (1.0, 0.0)]
    seeds += [built("/gesturon/next"), built("/gesturon/tap", True), built("/gesturon/tap", False),
              built("/gesturon/nudge", NUDGE_PIPS), built("/gesturon/nudge", f"-{NUDGE_PIPS}"),
              built("/gesturon/resync", 1), built("/gesturon/tempo", 128.5),
              built("/gesturon/tempo", "385/3"), built("/gesturon/tempo", 140)]
    bundle = OscBundleBuilder(IMMEDIATELY)
    for cue in list(cues)[:2]:
        bundle.add_content(OscMessageBuilder(f"/gesturon/cue/{cue}").build())
    return seeds + [bytes(bundle.build().dgram)]


_osc: list[tuple[OfflineConsole, osccontrol.OscActions]] = []


def osc_setup() -> None:
    offline = OfflineConsole(CONSOLE_SHOW)
    actions = osccontrol.OscActions(consoles.ShowControl(offline.running), one_line,
                                    clock=lambda: offline.now / 1e9)
    _osc.append((offline, actions))


def one_line(report: str) -> None:
    assert report.isprintable(), report


@target("osc", seeds=osc_seeds, setup=osc_setup)
def osc(data: bytes) -> None:
    """One datagram as OSC control's receiving thread hands it over, to
    `OscActions.datagram` of one show for the whole run (the example stage
    show, offline as for `console`, each datagram 10 ms to 2.5 s after the
    one before). Every message it holds is done, refused or a button's
    release (a datagram that cannot be read is one refusal), each report is
    one printable line, and the show goes on making frames."""
    run, actions = _osc[0]
    run.wait(10_000_000 + zlib.crc32(data) % 2_490_000_000)
    outcomes = actions.datagram(data, "127.0.0.1:9000")
    assert set(outcomes) <= {"done", "refused", "ignored"}, outcomes
    run.frame()


def artnet_seeds() -> list[bytes]:
    """Replies of every length a node may send, with names, several
    output and input ports, bind indexes and addresses at the top of the range."""
    from artnet_node import INPUT, OUTPUT, poll_reply

    ports = ((OUTPUT, 1), (OUTPUT | INPUT, 2), (INPUT, 3), (OUTPUT, 0x0F))
    return [poll_reply("2.0.0.10", b"Truss L", b"Stage left truss", b"#0001 [0042] Power On Tests successful",
                       firmware=0x0104, net=127, subnet=15, ports=ports, bind_index=1),
            poll_reply("10.0.0.9", b"Old", length=207), poll_reply("0.0.0.0", ports=ports[:1], num_ports=5),
            poll_reply("192.168.1.20", b"Caf\xe9", bind_index=2, length=300)]


@target("artnet", seeds=artnet_seeds)
def artnet(data: bytes) -> None:
    """One datagram read as an ArtPollReply: skipped (None) or a Node whose
    every field can be printed on one line and every output port-address
    is one that `--artnet` takes."""
    node = artnets.parse_reply(data, "127.0.0.1")
    if node is None:
        return
    assert isinstance(node, artnets.Node), node
    ipaddress.IPv4Address(node.address)
    assert 0 <= node.bind_index <= 255 and 0 <= node.firmware <= 0xFFFF, node
    for text in (node.short_name, node.long_name, node.report):
        assert text.isascii() and text.isprintable(), node
    assert len(node.outputs) <= 4, node
    for output in node.outputs:
        port_address_arg(output)


def timed(test: Callable[[bytes], None]) -> Callable[[bytes], None]:
    """The test, keeping the longest time any input took in the file that
    GESTURON_FUZZ_STATS names (libFuzzer ends the process without running
    Python's exit handlers, so it is written whenever it grows)."""
    stats = os.environ.get("GESTURON_FUZZ_STATS")
    slowest = [0.0]

    def run(data: bytes) -> None:
        start = time.perf_counter()
        test(data)
        took = time.perf_counter() - start
        if took > slowest[0]:
            slowest[0] = took
            if stats:
                Path(stats).write_text(f"slowest_input_ms {took * 1000:.3f}\n")
    return run


def write_seeds(chosen: Target, corpus: Path) -> None:
    for i, seed in enumerate(chosen.seeds()):
        (corpus / f"seed-{i:03d}").write_bytes(seed)


def main() -> None:
    if sys.argv[1] == "--write-seeds":  # --write-seeds NAME FOLDER
        write_seeds(TARGETS[sys.argv[2]], Path(sys.argv[3]))
        return
    name, args = sys.argv[1], [sys.argv[0], *sys.argv[2:]]
    chosen = TARGETS[name]
    for folder in (a for a in args[1:] if not a.startswith("-")):
        corpus = Path(folder)
        if corpus.is_dir() and not any(corpus.iterdir()):
            write_seeds(chosen, corpus)
    chosen.setup()
    atheris.Setup(args, timed(chosen.test))
    atheris.Fuzz()


if __name__ == "__main__":
    main()
