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
final frame are options of `commands.playoutputs`. Ctrl-C, SIGTERM and SIGHUP stop
at the next frame and end the streams cleanly.

The beat comes from `--bpm`, from an Ableton Link session (`--link`), from
a MIDI clock (`--midi-clock`, ports listed by `--list-midi-ports`) or from
keys tapped on the terminal (`--tap`); see `sync.py`.
"""

from __future__ import annotations

import argparse
import sys
from fractions import Fraction
from typing import TYPE_CHECKING, TextIO

from ..catalogue import Catalogue, ToolError
from .. import osccontrol
from ..console import add_play_options, check_play_options
from ..dmx import Axis
from ..linkclock import LinkSource
from ..live import Player, Track, row
from ..meter import Meter
from ..numbers import OutOfRange, exact_text
from ..outputs import OSC_DEFAULT_ADDRESS, SACN_PORT, MissingDependency
from ..sync import ManualSource, Source, make_source
from . import showfile
# The option types shared with the other commands, and the status line.
from .common import (ParserType, bar_arg, beats_arg, bpm_arg, fps_arg, host_port, spread_arg)
from .playoutputs import FramePrinter, add_output_options, check_output_args, make_outputs
from .running import Closable, StatusLine, first_pip, play_to_the_end

if TYPE_CHECKING:
    from argparse import _SubParsersAction

LINK_JOIN_SECONDS = 1.0  # how long --link waits for a session before playing alone


# ---- argument types ---------------------------------------------------------------

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


def add_parser(commands: _SubParsersAction[ParserType]) -> ParserType:
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
    add_output_options(play)
    add_sync_options(play)
    add_play_options(play)
    osccontrol.add_options(play)
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
    check_play_options(args, showfile.is_show_file(args.names))
    osccontrol.check_option(args, showfile.is_show_file(args.names))
    if showfile.is_show_file(args.names):
        return showfile.run_show(args, catalogue, out)
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

    def begin(closing: list[Closable]) -> int | None:
        if isinstance(source, ManualSource):
            clock.locate(0)  # beat zero: now, with everything set up
        elif isinstance(source, LinkSource):
            source.wait_for_peers(LINK_JOIN_SECONDS)  # start on the session's beat
        if args.tap:
            from ..tapkeys import TapKeys
            closing.append(TapKeys(source))
            out.write("tap: space taps the beat, enter marks the downbeat, "
                      "',' and '.' nudge\n")
        return None if args.beats is None else first_pip(source) + args.beats

    play_to_the_end(player, source, begin)


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
    from ..midiclock import input_ports
    try:
        ports = input_ports()
    except (MissingDependency, OSError) as error:
        raise ToolError(f"play: {error}") from None
    out.write("".join(port + "\n" for port in ports) if ports else "no MIDI input ports\n")
