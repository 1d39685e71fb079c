"""The outputs of `gesturon play`: their options and how they are made.

    --osc HOST:PORT              OSC, at the player's rate (--fps)
    --sacn U/ADDR[/LAYOUT]       a fixture over sACN   (--sacn-to, -sync, -priority, ...)
    --artnet N/S/U/ADDR[/LAYOUT] a fixture over Art-Net (--artnet-to or --artnet-broadcast)
    --servo CH/AXIS[/LOW:HIGH[:CENTRE]] --servo-to DEVICE   a servo on a Maestro
    --midi-cc CH/CC/AXIS[/14] --midi-to PORT                 a MIDI control change
    --output-fps KIND=N, --latency-ms [KIND=]MS, --slew WHAT=RATE, --final POLICY
    --dry-run                    print the frames instead of sending them

Fixtures (sACN ones first, then Art-Net ones) follow the tracks in order;
a servo or a control names its axis and, after it, the track's number when
there are several (`x`, `y2`).
"""

from __future__ import annotations

import argparse
import ipaddress
from fractions import Fraction
from typing import Any, Callable, TextIO

from ..catalogue import ToolError
from ..clock import exact
from ..dmx import UNIVERSE_MAX, UNIVERSE_MIN, Axis, Fixture, check_overlaps
from ..live import FINAL_FRAMES, MAX_LATENCY_MS, Frame, Output, Player, latency_ns
from ..numbers import OutOfRange, exact_text
from ..outputs import DMX_FPS, SACN_PORT, MissingDependency, OscOutput, SacnOutput
from .common import host_port

KINDS = ("osc", "sacn", "artnet", "dmx", "servo", "midi")  # dmx: sACN and Art-Net
DMX_DEFAULT_LAYOUT = ("pan", "pan_fine", "tilt", "tilt_fine")
SLEWS = {"pan": "pan of DMX fixtures, in --pan's units",
         "tilt": "tilt of DMX fixtures, in --tilt's units",
         "z": "z of DMX fixtures, in --z's units",
         "osc": "OSC coordinates, in positions", "servo": "servos, in microseconds",
         "midi": "MIDI controls, in positions"}


# ---- argument types ---------------------------------------------------------------

def whole(text: str, what: str, low: int, high: int) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{what} must be a whole number, not {text!r}") from None
    if not low <= value <= high:
        raise argparse.ArgumentTypeError(f"{what} must be {low} to {high}, not {text}")
    return value


def ipv4_arg(text: str) -> str:
    try:
        ipaddress.IPv4Address(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an IPv4 address: {text!r}") from None
    return text


def artnet_fixture_arg(text: str) -> tuple[int, int, str | None]:
    """NET/SUBNET/UNIVERSE/ADDRESS[/LAYOUT] as (port-address, address, layout)."""
    parts = text.split("/")
    if len(parts) not in (4, 5):
        raise argparse.ArgumentTypeError(f"expected NET/SUBNET/UNIVERSE/ADDRESS[/LAYOUT], "
                                         f"not {text!r}")
    address = whole(parts[3], "DMX address", 1, 512)
    return port_address_arg("/".join(parts[:3])), address, parts[4] if len(parts) == 5 else None


def port_address_arg(text: str) -> int:
    """NET/SUBNET/UNIVERSE as the Art-Net port-address."""
    parts = text.split("/")
    if len(parts) != 3:
        raise argparse.ArgumentTypeError(f"expected NET/SUBNET/UNIVERSE, not {text!r}")
    net, subnet, universe = (whole(part, what, 0, top) for part, what, top in
                             zip(parts, ("Art-Net net", "Art-Net sub-net", "Art-Net universe"),
                                 (127, 15, 15)))
    return net << 8 | subnet << 4 | universe


def artnet_to_arg(text: str,
                  host_port: Callable[[str, int | None], tuple[str, int]]) -> tuple[str, int]:
    """An Art-Net node's HOST[:PORT]: IPv4 only, as Art-Net is."""
    if text.startswith("[") or text.count(":") > 1:
        raise argparse.ArgumentTypeError(f"Art-Net is IPv4 only, not {text!r}")
    return host_port(text, 6454)


def axis_track(text: str) -> tuple[str, int]:
    """x, y or z, then optionally a track number from 1: ('y', 1) for y2."""
    if not text or text[0] not in "xyz" or not (text[1:] == "" or text[1:].isdigit()) \
            or text[1:] == "0" or text[1:2] == "0":
        raise argparse.ArgumentTypeError(f"expected an axis x, y or z and a track number "
                                         f"from 1 (x, y2), not {text!r}")
    return text[0], int(text[1:] or 1) - 1


def servo_arg(text: str) -> tuple[int, str, int, list[Fraction]]:
    """CHANNEL/AXIS[/LOW:HIGH[:CENTRE]], pulse widths in microseconds."""
    parts = text.split("/")
    if len(parts) not in (2, 3):
        raise argparse.ArgumentTypeError(f"expected CHANNEL/AXIS[/LOW:HIGH[:CENTRE]], "
                                         f"not {text!r}")
    channel = whole(parts[0], "servo channel", 0, 23)
    axis, track = axis_track(parts[1])
    pulses: list[Fraction] = []
    if len(parts) == 3:
        fields = parts[2].split(":")
        if len(fields) not in (2, 3):
            raise argparse.ArgumentTypeError(f"expected LOW:HIGH[:CENTRE] microseconds, "
                                             f"not {parts[2]!r}")
        try:
            pulses = [exact_text(field, "a pulse width") for field in fields]
        except OutOfRange as error:
            raise argparse.ArgumentTypeError(str(error)) from None
        except ValueError:
            raise argparse.ArgumentTypeError(f"not pulse widths: {parts[2]!r}") from None
    return channel, axis, track, pulses


def midi_cc_arg(text: str) -> tuple[int, int, str, int, bool]:
    """CHANNEL/CONTROLLER/AXIS[/14]."""
    parts = text.split("/")
    if len(parts) not in (3, 4) or len(parts) == 4 and parts[3] not in ("7", "14"):
        raise argparse.ArgumentTypeError(f"expected CHANNEL/CONTROLLER/AXIS[/14], not {text!r}")
    fine = len(parts) == 4 and parts[3] == "14"
    channel = whole(parts[0], "MIDI channel", 1, 16)
    number = whole(parts[1], f"a {'14' if fine else '7'}-bit controller", 0, 31 if fine else 119)
    axis, track = axis_track(parts[2])
    return channel, number, axis, track, fine


def sync_universe_arg(text: str) -> int:
    return whole(text, "sync universe", UNIVERSE_MIN, UNIVERSE_MAX)


def priority_arg(text: str) -> int:
    return whole(text, "sACN priority", 0, 200)


def ttl_arg(text: str) -> int:
    return whole(text, "multicast TTL", 1, 255)


def baud_arg(text: str) -> int:
    return whole(text, "baud rate", 300, 4_000_000)


def kind_value(text: str, parse: Callable[[str], Any], what: str,
               default_kind: bool) -> tuple[str | None, Any]:
    kind, sep, value = text.rpartition("=")
    if not sep:
        if not default_kind:
            raise argparse.ArgumentTypeError(f"expected KIND={what}, not {text!r}")
        return None, parse(value)
    if kind not in KINDS:
        raise argparse.ArgumentTypeError(f"unknown output {kind!r}; use one of "
                                         f"{', '.join(KINDS)}")
    return kind, parse(value)


def output_fps_arg(text: str) -> tuple[str | None, Any]:
    return kind_value(text, output_fps, "N", False)


def latency_ms_arg(text: str) -> Fraction:
    """Milliseconds, exactly as written, within the latency's bounds."""
    try:
        latency_ns(text.strip())
    except (ValueError, TypeError) as error:
        raise argparse.ArgumentTypeError(str(error)) from None
    return exact(text.strip(), "latency")


def output_fps(text: str) -> int:
    return whole(text, "frame rate", 1, 10_000)


def latency_arg(text: str) -> tuple[str | None, Any]:
    return kind_value(text, latency_ms_arg, "MS", True)


def slew_arg(text: str) -> tuple[str, Fraction]:
    what, sep, value = text.partition("=")
    if not sep or what not in SLEWS:
        raise argparse.ArgumentTypeError(f"expected WHAT=RATE with WHAT one of "
                                         f"{', '.join(SLEWS)}, not {text!r}")
    try:
        rate = exact_text(value.strip(), "a slew limit")
    except OutOfRange as error:
        raise argparse.ArgumentTypeError(str(error)) from None
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a rate: {value!r}") from None
    if rate <= 0:
        raise argparse.ArgumentTypeError(f"a slew limit must be positive, not {value}")
    return what, rate


def add_output_options(play: argparse.ArgumentParser) -> None:
    """The options of the outputs beyond OSC and a plain sACN fixture."""
    group = play.add_argument_group("outputs for rigs")
    add = group.add_argument
    add("--sacn-sync", nargs="?", const=True, default=False, metavar="UNIVERSE",
        type=sync_universe_arg,
        help="send E1.31 sync packets (on UNIVERSE, default one no fixture uses)")
    add("--sacn-priority", type=priority_arg, default=100,
        metavar="N", help="sACN priority 0..200 (default 100): the highest source wins")
    add("--sacn-interface", type=ipv4_arg, metavar="ADDRESS",
        help="send multicast sACN through the interface with this address")
    add("--sacn-ttl", type=ttl_arg, default=8, metavar="N",
        help="how many routers multicast sACN may cross (default 8)")
    add("--artnet", type=artnet_fixture_arg, action="append", default=[],
        metavar="NET/SUBNET/UNIVERSE/ADDRESS[/LAYOUT]",
        help="a DMX fixture over Art-Net (repeat for more); LAYOUT as for --sacn")
    add("--artnet-to", type=lambda text: artnet_to_arg(text, host_port), metavar="HOST[:PORT]",
        help="the Art-Net node to send to")
    add("--artnet-broadcast", type=ipv4_arg, metavar="ADDRESS",
        help="instead, broadcast to this network's broadcast address (e.g. 2.255.255.255)")
    add("--artnet-from", type=ipv4_arg, metavar="ADDRESS",
        help="send Art-Net from this local address (its interface)")
    add("--artnet-sync", action="store_true", help="send an ArtSync after every frame")
    add("--servo", type=servo_arg, action="append", default=[],
        metavar="CHANNEL/AXIS[/LOW:HIGH[:CENTRE]]",
        help="a servo on a Maestro controller following an axis (x, y, z; y2: of track 2), "
             "pulses in microseconds (default 1000:2000)")
    add("--servo-to", metavar="DEVICE", help="the Maestro's serial device (/dev/ttyACM0)")
    add("--servo-baud", type=baud_arg, default=115200,
        metavar="N", help="serial speed (default 115200)")
    add("--midi-cc", type=midi_cc_arg, action="append", default=[],
        metavar="CHANNEL/CONTROLLER/AXIS[/14]",
        help="a MIDI control change following an axis; /14: 14-bit (controller and +32)")
    add("--midi-to", metavar="PORT", help="the MIDI output port (by name)")
    add("--output-fps", type=output_fps_arg, action="append", default=[], metavar="KIND=N",
        help=f"frames a second of one kind of output ({', '.join(KINDS)}; "
             "default: 44 for DMX, 50 servos and MIDI, --fps for OSC)")
    add("--latency-ms", type=latency_arg, action="append", default=[], metavar="[KIND=]MS",
        help=f"send positions MS milliseconds ahead (-{MAX_LATENCY_MS}..{MAX_LATENCY_MS}) "
             "to every output or one kind, for devices that lag")
    add("--slew", type=slew_arg, action="append", default=[], metavar="WHAT=RATE",
        help="the fastest an axis may move, a second: " +
             "; ".join(f"{k}= {v}" for k, v in SLEWS.items()))
    add("--final", choices=FINAL_FRAMES,
        help="on stopping: hold the last frame (default), go to the centre, or go dark")
    add("--dry-run", action="store_true", help="print the frames instead of sending them")


# ---- making them ------------------------------------------------------------------

def check_output_args(args: argparse.Namespace, tracks: int) -> None:
    """Refuse options that contradict each other, before anything is opened."""
    pairs = [("--sacn-to", args.sacn_to, "--sacn", args.sacn),
             ("--artnet-to", args.artnet_to, "--artnet", args.artnet),
             ("--artnet-broadcast", args.artnet_broadcast, "--artnet", args.artnet),
             ("--servo-to", args.servo_to, "--servo", args.servo),
             ("--midi-to", args.midi_to, "--midi-cc", args.midi_cc)]
    for option, value, needs, given in pairs:
        if value is not None and not given:
            raise ToolError(f"play: {option} needs at least one {needs}", status=2)
    for option, given, to, needs in (("--servo", args.servo, args.servo_to, "--servo-to DEVICE"),
                                     ("--midi-cc", args.midi_cc, args.midi_to, "--midi-to PORT")):
        if given and to is None and not args.dry_run:
            raise ToolError(f"play: {option} needs {needs}", status=2)
    if args.artnet and not args.dry_run and (args.artnet_to is None) == \
            (args.artnet_broadcast is None):
        raise ToolError("play: --artnet needs --artnet-to HOST or --artnet-broadcast ADDRESS "
                        "(one of them)", status=2)
    for option, given in (("--servo", [(s[1], s[2]) for s in args.servo]),
                          ("--midi-cc", [(c[2], c[3]) for c in args.midi_cc])):
        for axis, track in given:
            if track >= tracks:
                raise ToolError(f"play: {option} follows {axis}{track + 1}, but there are "
                                f"{tracks} tracks", status=2)
    if not any((args.osc, args.sacn, args.artnet, args.servo, args.midi_cc, args.dry_run)):
        raise ToolError("play: no output: give --osc, --sacn, --artnet, --servo or --midi-cc "
                        "(or --dry-run to print the frames)", status=2)


def fixtures(args: argparse.Namespace) -> tuple[list[Fixture], list[Fixture]]:
    """The sACN and the Art-Net fixtures; fixture i (sACN first) follows track i."""
    rates = dict(args.slew)
    axes = [Axis(a.centre, a.swing, a.travel, a.limits, rates.get(name))
            for a, name in ((args.pan, "pan"), (args.tilt, "tilt"), (args.z, "z"))]
    made: list[list[Fixture]] = [[], []]
    track = 0
    for kind, given in enumerate((args.sacn, args.artnet)):
        option = ("--sacn", "--artnet")[kind]
        for universe, address, layout in given:
            try:
                if kind == 0 and universe < UNIVERSE_MIN:
                    raise ValueError(f"universe must be {UNIVERSE_MIN} to {UNIVERSE_MAX}, "
                                     f"not {universe}")
                made[kind].append(Fixture(universe, address, layout or DMX_DEFAULT_LAYOUT,
                                          pan=axes[0], tilt=axes[1], z=axes[2], track=track))
            except ValueError as error:
                raise ToolError(f"play: {option}: {error}", status=2) from None
            track += 1
        try:
            check_overlaps(made[kind])
        except ValueError as error:
            raise ToolError(f"play: {option}: {error}", status=2) from None
    return made[0], made[1]


def make_outputs(args: argparse.Namespace) -> list[Output]:
    """Every output the options ask for, each with its rate and latency.
    With --dry-run nothing is opened (the options are still checked)."""
    sacn, artnet = fixtures(args)
    servos = make_servos(args)
    controls = make_controls(args)
    if args.dry_run:
        return []
    rates = dict(args.output_fps)
    latencies = dict(args.latency_ms)
    slews = dict(args.slew)

    def timing(kind: str, default: int | None) -> dict[str, Any]:
        group = "dmx" if kind in ("sacn", "artnet") else kind
        return {"fps": rates.get(kind, rates.get(group, default)),
                "latency_ms": latencies.get(kind, latencies.get(group, latencies.get(None, 0)))}

    outputs: list[Output] = []
    try:
        if args.osc is not None:
            host, port = args.osc
            outputs.append(OscOutput(host, port, args.osc_address, double=args.osc_double,
                                     slew=slews.get("osc"), **timing("osc", None)))
        if sacn:
            host, port = args.sacn_to if args.sacn_to is not None else (None, SACN_PORT)
            outputs.append(SacnOutput(sacn, host, port, priority=args.sacn_priority,
                                      multicast_ttl=args.sacn_ttl, interface=args.sacn_interface,
                                      sync=args.sacn_sync, **timing("sacn", DMX_FPS)))
        if artnet:
            from ..artnet import ARTNET_PORT, ArtNetOutput
            host, port = args.artnet_to if args.artnet_to is not None else (None, ARTNET_PORT)
            outputs.append(ArtNetOutput(artnet, host, port, broadcast=args.artnet_broadcast,
                                        interface=args.artnet_from, sync=args.artnet_sync,
                                        **timing("artnet", DMX_FPS)))
        if servos:
            from ..servo import SERVO_FPS, MaestroOutput
            outputs.append(MaestroOutput(servos, args.servo_to, baud=args.servo_baud,
                                         **timing("servo", SERVO_FPS)))
        if controls:
            from ..midicc import MIDI_FPS, MidiOutput
            outputs.append(MidiOutput(controls, args.midi_to, **timing("midi", MIDI_FPS)))
    except (MissingDependency, ValueError, OSError) as error:
        for output in outputs:
            output.close()
        raise ToolError(f"play: {error}") from None
    return outputs


def make_servos(args: argparse.Namespace) -> list[Any]:
    if not args.servo:
        return []
    from ..servo import Servo, check_channels
    slew = dict(args.slew).get("servo")
    servos = []
    for channel, axis, track, pulses in args.servo:
        low, high, centre = (pulses + [None])[:3] if pulses else (1000, 2000, None)
        try:
            servos.append(Servo(channel, axis, track, low, high, centre, slew))
        except ValueError as error:
            raise ToolError(f"play: --servo: {error}", status=2) from None
    try:
        check_channels(servos)
    except ValueError as error:
        raise ToolError(f"play: --servo: {error}", status=2) from None
    return servos


def make_controls(args: argparse.Namespace) -> list[Any]:
    if not args.midi_cc:
        return []
    from ..midicc import Control
    slew = dict(args.slew).get("midi")
    return [Control(channel, number, axis, track, fine, slew=slew)
            for channel, number, axis, track, fine in args.midi_cc]


# ---- what the status line and a dry run show ----------------------------------------------

def streams_text(player: Player) -> str:
    """Late and dropped frames of the outputs with a rate or latency of their
    own (the player's own are on the status line already)."""
    parts = []
    for stream in player.streams[1:]:
        names = "+".join(sorted({kind_of(output) for output in stream.outputs}))
        rate = "pip" if stream.fps is None else f"{stream.fps}/s"
        lag = f" {stream.latency_ns / 1e6:+g} ms" if stream.latency_ns else ""
        dropped = f" ({stream.stats.dropped} dropped)" if stream.stats.dropped else ""
        parts.append(f"  {names} {rate}{lag}: {stream.stats.late} late{dropped}")
    return "".join(parts)


def kind_of(output: Output) -> str:
    name = type(output).__name__
    return {"OscOutput": "osc", "SacnOutput": "sacn", "ArtNetOutput": "artnet",
            "MaestroOutput": "servo", "MidiOutput": "midi"}.get(name, name)


class FramePrinter:
    """--dry-run: one line per frame, its pip as bar:beat:pip and every
    track's position, exactly (the shortest text that reads back to the
    same double)."""

    def __init__(self, out: TextIO, where: Callable[[int], str]):
        self.out = out
        self.where = where

    def send(self, frame: Frame) -> None:
        positions = "  ".join(f"{p.label} {p.x!r} {p.y!r} {p.z!r}" for p in frame.positions)
        self.out.write(f"{self.where(frame.pip)}  {positions}\n")

    def close(self) -> None:
        pass
