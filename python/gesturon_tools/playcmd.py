"""`gesturon play`: patterns played live at a tempo, to OSC and sACN DMX,
with a live status line on a terminal.

    gesturon play NAME [NAME ...] [--bpm BPM] [--fps N|pip] [--beats N]
                  [--beats-per-bar N] [--link [--quantum N] [--lead] | --midi-clock PORT | --tap]
                  [--osc HOST:PORT] [--osc-address TEMPLATE] [--osc-double]
                  [--sacn UNIVERSE/ADDRESS[/LAYOUT] ...] [--sacn-to HOST[:PORT]]
                  [--spread BEATS] [--pan C:S[:T]] [--tilt C:S[:T]] [--z C:S[:T]]

Each `--sacn` adds one fixture. One pattern drives every fixture (each
`--spread` beats ahead of the one before); several patterns drive one
fixture each, in order. Art-Net, servos, MIDI, rates, latency and the
final frame are options of `playoutputs`. Ctrl-C, SIGTERM and SIGHUP stop
at the next frame and end the streams cleanly.

The beat comes from `--bpm`, from an Ableton Link session (`--link`), from
a MIDI clock (`--midi-clock`, ports listed by `--list-midi-ports`) or from
keys tapped on the terminal (`--tap`); see `sync.py`.
"""

from __future__ import annotations

import argparse
import ipaddress
import re
import signal
import sys
import threading
from fractions import Fraction
from types import FrameType
from typing import TYPE_CHECKING, Any, Callable, TextIO, TypeVar

from .catalogue import INT32_MAX, PIPS_PER_BEAT, Catalogue, ToolError
from .clock import exact_tempo
from .dmx import Axis
from .linkclock import LinkSource
from .live import MAX_FPS, Frame, Player, Stats, Track, row
from .meter import MAX_BEATS_PER_BAR, Meter
from .numbers import OutOfRange, exact_text
from .outputs import OSC_DEFAULT_ADDRESS, SACN_PORT, MissingDependency
from .playoutputs import (FramePrinter, add_output_options, check_output_args, make_outputs,
                          streams_text)
from .sync import ManualSource, Source, make_source

if TYPE_CHECKING:
    from argparse import _SubParsersAction

LINK_JOIN_SECONDS = 1.0  # how long --link waits for a session before playing alone
STATUS_EVERY_NS = 100_000_000  # the live line is redrawn at most ten times a second
HOSTNAME = re.compile(r"(?!-)[A-Za-z0-9-]{1,63}(?<!-)(\.(?!-)[A-Za-z0-9-]{1,63}(?<!-))*\.?")


# ---- argument types ---------------------------------------------------------------

def bpm_arg(text: str) -> Fraction:
    """A tempo, read exactly ("128", "128.5", "385/3")."""
    try:
        return exact_tempo(text.strip())
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def fps_arg(text: str) -> int | None:
    """Frames a second, or `pip` (None) for one frame on every pip."""
    if text == "pip":
        return None
    try:
        fps = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a frame rate: {text!r} "
                                         "(a whole number, or 'pip')") from None
    if not 1 <= fps <= MAX_FPS:
        raise argparse.ArgumentTypeError(f"frame rate must be 1 to {MAX_FPS}, not {text}")
    return fps


def bar_arg(text: str) -> int:
    """A number of beats to the bar (and Link's quantum): 1 to 64."""
    try:
        beats = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number of beats: {text!r}") from None
    if not 1 <= beats <= MAX_BEATS_PER_BAR:
        raise argparse.ArgumentTypeError(f"must be 1 to {MAX_BEATS_PER_BAR} beats, not {text}")
    return beats


def spread_arg(text: str) -> int:
    """A number of beats that is a whole number of pips, as pips."""
    try:
        pips = exact_text(text.strip(), "spread") * PIPS_PER_BEAT
    except OutOfRange:
        pips = None
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of beats: {text!r}") from None
    if pips is None or abs(pips) > INT32_MAX:
        raise argparse.ArgumentTypeError(f"{text} beats is beyond the pip range")
    if pips.denominator != 1:
        raise argparse.ArgumentTypeError(f"{text} beats is not a whole number of pips "
                                         f"(1/{PIPS_PER_BEAT} beat)")
    return int(pips)


def host_port(text: str, default_port: int | None = None) -> tuple[str, int]:
    """HOST:PORT (or [IPv6]:PORT); the port may be left out when there is
    a default. The host is checked for form only; it is resolved when the
    output is made."""
    match = re.fullmatch(r"\[([^\]]*)\](?::(.*))?|([^:]*)(?::(.*))?", text)
    assert match is not None  # the pattern matches every string without two colons
    if match.group(1) is not None:
        host, port_text = match.group(1), match.group(2)
        try:
            ipaddress.IPv6Address(host)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not an IPv6 address: {host!r}") from None
    else:
        host, port_text = match.group(3), match.group(4)
        check_host(host)
    if port_text is None:
        if default_port is None:
            raise argparse.ArgumentTypeError(f"expected HOST:PORT, not {text!r}")
        return host, default_port
    try:
        port = int(port_text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a port number: {port_text!r}") from None
    if not 1 <= port <= 65535:
        raise argparse.ArgumentTypeError(f"port must be 1 to 65535, not {port_text}")
    return host, port


def check_host(host: str) -> None:
    if not host:
        raise argparse.ArgumentTypeError("the host is missing")
    if all(label.isdigit() for label in host.rstrip(".").split(".")):
        try:
            ipaddress.IPv4Address(host)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not an IPv4 address: {host!r}") from None
    elif len(host) > 253 or not HOSTNAME.fullmatch(host):
        raise argparse.ArgumentTypeError(f"not a host name: {host!r}")


def osc_arg(text: str) -> tuple[str, int]:
    if text.count(":") > 1 and not text.startswith("["):
        raise argparse.ArgumentTypeError(f"write an IPv6 address as [ADDRESS]:PORT, not {text!r}")
    return host_port(text)


def sacn_to_arg(text: str) -> tuple[str, int]:
    if text.count(":") > 1 and not text.startswith("["):
        raise argparse.ArgumentTypeError(f"write an IPv6 address as [ADDRESS] or "
                                         f"[ADDRESS]:PORT, not {text!r}")
    return host_port(text, SACN_PORT)


def fixture_arg(text: str) -> tuple[int, int, str | None]:
    """UNIVERSE/ADDRESS[/LAYOUT], checked when the fixture is made."""
    parts = text.split("/")
    if len(parts) not in (2, 3):
        raise argparse.ArgumentTypeError(f"expected UNIVERSE/ADDRESS[/LAYOUT], not {text!r}")
    try:
        universe, address = int(parts[0]), int(parts[1])
    except ValueError:
        raise argparse.ArgumentTypeError(f"universe and address must be whole numbers: "
                                         f"{text!r}") from None
    return universe, address, parts[2] if len(parts) == 3 else None


def axis_arg(text: str) -> Axis:
    """CENTRE:SWING[:TRAVEL] in any unit (degrees), travel 1 when left out."""
    parts = text.split(":")
    if len(parts) not in (2, 3):
        raise argparse.ArgumentTypeError(f"expected CENTRE:SWING[:TRAVEL], not {text!r}")
    try:
        numbers = [exact_text(part.strip(), "axis") for part in parts]
    except OutOfRange:
        raise argparse.ArgumentTypeError(f"out of range: {text!r}") from None
    except ValueError:
        raise argparse.ArgumentTypeError(f"not numbers: {text!r}") from None
    try:
        return Axis(numbers[0], numbers[1], numbers[2] if len(numbers) == 3 else 1)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


ParserType = TypeVar("ParserType", bound=argparse.ArgumentParser)


def add_parser(commands: _SubParsersAction[ParserType],
               beats_arg: Callable[[str], int]) -> ParserType:
    play = commands.add_parser(
        "play", help="play patterns live to OSC and sACN DMX",
        description="Play patterns at a tempo, frame by frame, to an OSC listener and "
                    "to DMX fixtures over sACN, until --beats or Ctrl-C.")
    play.add_argument("names", nargs="*", metavar="NAME")
    play.add_argument("--bpm", type=bpm_arg,
                      help="tempo, 20 to 999 (with --link or --midi-clock: until the source "
                           "gives one; a show file has its own)")
    # A show file (SHOW.toml) in place of the names plays its cues.
    play.add_argument("--cue", metavar="NAME", help="with a show file: start at this cue")
    play.add_argument("--fps", type=fps_arg, default=100, metavar="N",
                      help="frames a second (default: 100), or 'pip' for one frame per pip")
    play.add_argument("--beats", type=beats_arg, metavar="N",
                      help="stop after N beats (default: run until Ctrl-C)")
    play.add_argument("--osc", type=osc_arg, metavar="HOST:PORT",
                      help="send one OSC message per pattern and frame: x, y, z, pip")
    play.add_argument("--osc-address", default=OSC_DEFAULT_ADDRESS, metavar="TEMPLATE",
                      help="OSC address; {name} is the pattern (default: /gesturon/{name})")
    play.add_argument("--osc-double", action="store_true",
                      help="send 64-bit floats (exact) instead of 32-bit ones")
    play.add_argument("--sacn", type=fixture_arg, action="append", default=[],
                      metavar="UNIVERSE/ADDRESS[/LAYOUT]",
                      help="a DMX fixture over sACN (repeat for more); LAYOUT is a comma list "
                           "of pan, pan_fine, tilt, tilt_fine, z, z_fine, - and values 0..255 "
                           "(default: pan,pan_fine,tilt,tilt_fine)")
    play.add_argument("--sacn-to", type=sacn_to_arg, metavar="HOST[:PORT]",
                      help="send sACN to this host by unicast (default: multicast)")
    play.add_argument("--spread", type=spread_arg, default=0, metavar="BEATS",
                      help="with one pattern for several fixtures: each this many beats "
                           "ahead of the one before")
    for axis, what in (("pan", "x"), ("tilt", "y"), ("z", "z")):
        play.add_argument(f"--{axis}", type=axis_arg, default=Axis(), metavar="C:S[:T]",
                          help=f"{what} onto {axis}: centre, swing and the channel's full travel "
                               "(e.g. degrees 270:90:540; default: the whole range)")
    add_output_options(play, host_port)
    add_sync_options(play)
    play.set_defaults(run=run_play)
    return play


def add_sync_options(play: argparse.ArgumentParser) -> None:
    """Where the beat comes from, and the bars."""
    play.add_argument("--beats-per-bar", type=bar_arg, metavar="N",
                      help="beats to the bar for bar:beat:pip and the downbeat "
                           "(default: the --quantum, or 4)")
    source = play.add_mutually_exclusive_group()
    source.add_argument("--link", action="store_true",
                        help="follow the Ableton Link session's tempo and beat")
    source.add_argument("--midi-clock", metavar="PORT",
                        help="follow the MIDI clock (Start, Stop, Continue, Song Position) "
                             "arriving on this input port")
    source.add_argument("--tap", action="store_true",
                        help="keys on the terminal: space taps the tempo, enter marks the "
                             "downbeat, ',' and '.' nudge a sixteenth earlier or later")
    source.add_argument("--list-midi-ports", action="store_true",
                        help="list the MIDI input ports and stop")
    play.add_argument("--quantum", type=bar_arg, metavar="N",
                      help="with --link: beats to the bar that the session agrees on "
                           "(default: --beats-per-bar, or 4)")
    play.add_argument("--lead", action="store_true",
                      help="with --link: set the session's tempo to --bpm")


# ---- the status line ----------------------------------------------------------------

def status_text(stats: Stats, bpm: Fraction, frame: Frame | None = None, *,
                meter: Meter = Meter(), source: str = "") -> str:
    """The status after `frame`, which the other outputs have sent already
    but the player has not counted yet; after the last counted frame
    without one. `source` says where the beat comes from and how it is."""
    frames = stats.frames + (frame is not None)
    last = frame or stats.last
    where = meter.format(last.pip) if last is not None else "-"
    tempo = f"{float(bpm):.2f}".rstrip("0").rstrip(".")
    dropped = f" ({stats.dropped} dropped)" if stats.dropped else ""
    beat_source = f"  {source}" if source else ""
    return f"{where}  {tempo} BPM{beat_source}  {frames} frames  {stats.late} late{dropped}"


class StatusLine:
    """The live status line, redrawn in place on a terminal; the last of
    the player's outputs. `more(pip)` adds to it (a show's cues)."""

    def __init__(self, player: Player, out: TextIO, source: Source | None = None,
                 more: Callable[[int], str] | None = None):
        self.player = player
        self.out = out
        self.source = source
        self.live = out.isatty()
        self.drawn_at: int | None = None
        self.more = more

    def text(self, frame: Frame | None = None) -> str:
        clock = self.player.clock
        text = status_text(self.player.stats, clock.bpm, frame, meter=clock.meter,
                           source="" if self.source is None else self.source.status())
        last = frame or self.player.stats.last
        if self.more is not None and last is not None:
            text += "  " + self.more(last.pip)
        return text

    def send(self, frame: Frame) -> None:
        if not self.live:
            return
        if self.drawn_at is not None and frame.time_ns - self.drawn_at < STATUS_EVERY_NS:
            return
        self.drawn_at = frame.time_ns
        self.out.write("\r" + self.text(frame) + streams_text(self.player) + "\x1b[K")
        self.out.flush()

    def close(self) -> None:
        text = self.text() + streams_text(self.player)
        try:
            self.out.write(("\r" + text + "\x1b[K\n") if self.live else text + "\n")
            self.out.flush()
        except OSError:  # the terminal went away (SIGHUP): nowhere to report to
            pass


# ---- running --------------------------------------------------------------------------

def plan_tracks(names: list[str], fixtures: int, spread: int) -> list[Track]:
    """The tracks to play and, when there are fixtures, fixture i follows
    track i."""
    if len(names) == 1 and fixtures > 1:
        return row(names[0], fixtures, spread)
    if spread:
        raise ToolError("play: --spread needs one pattern for several fixtures", status=2)
    if fixtures and len(names) != fixtures:
        raise ToolError(f"play: {len(names)} patterns for {fixtures} fixtures; give one "
                        "pattern for all fixtures or one per fixture", status=2)
    if len(set(names)) < len(names):  # the same pattern twice: label the tracks by place
        return [Track(name, 0, f"{name}/{i + 1}") for i, name in enumerate(names)]
    return [Track(name) for name in names]


def run_play(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    if args.list_midi_ports:
        list_midi_ports(out)
        return
    if not args.names:
        raise ToolError("play: give at least one pattern NAME", status=2)
    from . import showcmd
    if showcmd.is_show_file(args.names):
        return showcmd.run_show(args, catalogue, out, StatusLine)
    if args.cue is not None:
        raise ToolError("play: --cue needs a show file", status=2)
    for name in args.names:
        catalogue.find(name)
    tracks = plan_tracks(args.names, len(args.sacn) + len(args.artnet), args.spread)
    source = open_source(args)
    try:
        check_output_args(args, len(tracks))
        outputs = make_outputs(args)
    except ToolError:
        source.close()
        raise
    clock = source.clock
    player = Player(tracks, outputs, clock, fps=args.fps or 100, per_pip=args.fps is None,
                    source=catalogue.source, final=args.final or "hold")
    status = StatusLine(player, out, source)
    if args.dry_run:
        status.live = False  # the frames are printed instead
        player.outputs += (FramePrinter(out, clock.meter.format),)
    player.outputs += (status,)
    keys = None
    stopping = threading.Event()  # Ctrl-C before the run begins (while joining Link) counts too

    def stop() -> None:
        stopping.set()
        player.stop()

    with stop_on_interrupt(stop):
        try:
            if isinstance(source, ManualSource):
                clock.locate(0)  # beat zero: now, with everything set up
            elif isinstance(source, LinkSource):
                source.wait_for_peers(LINK_JOIN_SECONDS)  # start on the session's beat
            if args.tap:
                from .tapkeys import TapKeys
                keys = TapKeys(source)
                out.write("tap: space taps the beat, enter marks the downbeat, "
                          "',' and '.' nudge\n")
            start = clock.pip()
            try:
                if not stopping.is_set():
                    player.run(until_pip=None if args.beats is None else start + args.beats)
            finally:
                player.close()  # the final frame, and sACN streams ended
        except OSError as error:
            raise ToolError(f"play: cannot send: {error.strerror or error}") from None
        finally:
            if keys is not None:
                keys.close()
            source.close()


STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def open_source(args: argparse.Namespace) -> Source:
    """The beat source the options ask for."""
    if args.quantum is not None and not args.link:
        raise ToolError("play: --quantum needs --link", status=2)
    if args.lead and not args.link:
        raise ToolError("play: --lead needs --link", status=2)
    if args.lead and args.bpm is None:
        raise ToolError("play: --lead needs --bpm, the tempo to lead with", status=2)
    if args.tap and not sys.stdin.isatty():
        raise ToolError("play: --tap reads keys from a terminal, and standard input is not one",
                        status=2)
    kind = "link" if args.link else "midi" if args.midi_clock is not None else "manual"
    if kind == "manual" and args.bpm is None:
        raise ToolError("play: --bpm is needed unless --link or --midi-clock gives the tempo",
                        status=2)
    beats_per_bar = args.beats_per_bar or args.quantum or 4
    try:
        return make_source(kind, bpm=args.bpm, port=args.midi_clock, quantum=args.quantum,
                           meter=Meter(beats_per_bar), lead=args.lead)
    except ValueError as error:
        raise ToolError(f"play: {error}", status=2) from None
    except (MissingDependency, OSError) as error:
        raise ToolError(f"play: {error}") from None


def list_midi_ports(out: TextIO) -> None:
    from .midiclock import input_ports
    try:
        ports = input_ports()
    except (MissingDependency, OSError) as error:
        raise ToolError(f"play: {error}") from None
    out.write("".join(port + "\n" for port in ports) if ports else "no MIDI input ports\n")


class stop_on_interrupt:
    """Ctrl-C (SIGINT), a service manager's SIGTERM and a closed terminal's
    SIGHUP call `stop` instead of ending the program wherever it happens to
    be, so the player ends after the frame in progress, sends its final
    frame, closes its outputs properly (sACN streams terminated) and
    reports; a stop asked for is a success."""

    def __init__(self, stop: Callable[[], None]):
        self.stop = stop
        self.previous: dict[int, Any] = {}

    def handle(self, signum: int, frame: FrameType | None) -> None:
        self.stop()

    def __enter__(self) -> None:
        # Only the main thread may set signal handlers (and receives signals).
        # A signal the program was started to ignore (`nohup`, a background
        # job) stays ignored.
        if threading.current_thread() is threading.main_thread():
            for signum in STOP_SIGNALS:
                if signal.getsignal(signum) is not signal.SIG_IGN:
                    self.previous[signum] = signal.signal(signum, self.handle)

    def __exit__(self, *exc: object) -> None:
        for signum, previous in self.previous.items():
            signal.signal(signum, previous)

