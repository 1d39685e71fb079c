"""`gesturon play`: patterns played live at a tempo, to OSC and sACN DMX,
with a live status line on a terminal.

    gesturon play NAME [NAME ...] --bpm BPM [--fps N|pip] [--beats N]
                  [--osc HOST:PORT] [--osc-address TEMPLATE] [--osc-double]
                  [--sacn UNIVERSE/ADDRESS[/LAYOUT] ...] [--sacn-to HOST[:PORT]]
                  [--spread BEATS] [--pan C:S[:T]] [--tilt C:S[:T]] [--z C:S[:T]]

Each `--sacn` adds one fixture. One pattern drives every fixture (each
`--spread` beats ahead of the one before); several patterns drive one
fixture each, in order. Ctrl-C stops at the next frame and ends the streams
cleanly.
"""

from __future__ import annotations

import argparse
import ipaddress
import re
import signal
import threading
from fractions import Fraction
from types import FrameType
from typing import TYPE_CHECKING, Any, Callable, TextIO, TypeVar

from .catalogue import INT32_MAX, PIPS_PER_BEAT, Catalogue, ToolError
from .clock import BeatClock, exact_tempo
from .dmx import Axis, Fixture, check_overlaps
from .live import MAX_FPS, Frame, Output, Player, Stats, Track, row
from .numbers import OutOfRange, exact_text
from .outputs import OSC_DEFAULT_ADDRESS, SACN_PORT, MissingDependency, OscOutput, SacnOutput

if TYPE_CHECKING:
    from argparse import _SubParsersAction

BEATS_PER_BAR = 4
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
    play.add_argument("names", nargs="+", metavar="NAME")
    play.add_argument("--bpm", type=bpm_arg, required=True, help="tempo, 20 to 999")
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
    play.set_defaults(run=run_play)
    return play


# ---- the status line ----------------------------------------------------------------

def bar_beat_pip(pip: int) -> str:
    """A pip as bar:beat:pip, bars and beats counted from 1 in 4/4."""
    beat, within = divmod(pip, PIPS_PER_BEAT)
    bar, in_bar = divmod(beat, BEATS_PER_BAR)
    return f"{bar + 1}:{in_bar + 1}:{within:02d}"


def status_text(stats: Stats, bpm: Fraction, frame: Frame | None = None) -> str:
    """The status after `frame`, which the other outputs have sent already
    but the player has not counted yet; after the last counted frame
    without one."""
    frames = stats.frames + (frame is not None)
    last = frame or stats.last
    where = bar_beat_pip(last.pip) if last is not None else "-"
    tempo = f"{float(bpm):.2f}".rstrip("0").rstrip(".")
    dropped = f" ({stats.dropped} dropped)" if stats.dropped else ""
    return f"{where}  {tempo} BPM  {frames} frames  {stats.late} late{dropped}"


class StatusLine:
    """The live status line, redrawn in place on a terminal; the last of
    the player's outputs."""

    def __init__(self, player: Player, out: TextIO):
        self.player = player
        self.out = out
        self.live = out.isatty()
        self.drawn_at: int | None = None

    def send(self, frame: Frame) -> None:
        if not self.live:
            return
        if self.drawn_at is not None and frame.time_ns - self.drawn_at < STATUS_EVERY_NS:
            return
        self.drawn_at = frame.time_ns
        self.out.write("\r" + status_text(self.player.stats, self.player.clock.bpm, frame)
                       + "\x1b[K")
        self.out.flush()

    def close(self) -> None:
        text = status_text(self.player.stats, self.player.clock.bpm)
        self.out.write(("\r" + text + "\x1b[K\n") if self.live else text + "\n")
        self.out.flush()


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


def make_outputs(args: argparse.Namespace) -> list[Output]:
    outputs: list[Output] = []
    try:
        fixtures = [Fixture(universe, address,
                            layout if layout is not None else ("pan", "pan_fine", "tilt",
                                                               "tilt_fine"),
                            pan=args.pan, tilt=args.tilt, z=args.z, track=i)
                    for i, (universe, address, layout) in enumerate(args.sacn)]
        check_overlaps(fixtures)
    except ValueError as error:
        raise ToolError(f"play: --sacn: {error}", status=2) from None
    try:
        if args.osc is not None:
            host, port = args.osc
            outputs.append(OscOutput(host, port, args.osc_address, double=args.osc_double))
        if fixtures:
            host, port = args.sacn_to if args.sacn_to is not None else (None, SACN_PORT)
            outputs.append(SacnOutput(fixtures, host, port))
    except (MissingDependency, ValueError, OSError) as error:
        for output in outputs:
            output.close()
        raise ToolError(f"play: {error}") from None
    return outputs


def run_play(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    for name in args.names:
        catalogue.find(name)
    if args.sacn_to is not None and not args.sacn:
        raise ToolError("play: --sacn-to needs at least one --sacn fixture", status=2)
    tracks = plan_tracks(args.names, len(args.sacn), args.spread)
    outputs = make_outputs(args)
    clock = BeatClock(args.bpm)
    player = Player(tracks, outputs, clock, fps=args.fps or 100, per_pip=args.fps is None,
                    source=catalogue.source)
    status = StatusLine(player, out)
    player.outputs += (status,)
    with stop_on_interrupt(player.stop):
        try:
            clock.locate(0)  # beat zero: now, with everything set up
            player.run(until_pip=args.beats)
        except OSError as error:
            raise ToolError(f"play: cannot send: {error.strerror or error}") from None
        finally:
            player.close()


class stop_on_interrupt:
    """Ctrl-C (SIGINT) calls `stop` instead of raising KeyboardInterrupt
    wherever the program happens to be, so the player ends after the frame
    in progress and closes its outputs properly."""

    def __init__(self, stop: Callable[[], None]):
        self.stop = stop
        self.previous: Any = None

    def handle(self, signum: int, frame: FrameType | None) -> None:
        self.stop()

    def __enter__(self) -> None:
        # Only the main thread may set signal handlers (and receives SIGINT).
        if threading.current_thread() is threading.main_thread():
            self.previous = signal.signal(signal.SIGINT, self.handle)

    def __exit__(self, *exc: object) -> None:
        if self.previous is not None:
            signal.signal(signal.SIGINT, self.previous)

