"""The outputs a show file names in its `[[outputs]]` tables: for each kind,
the keys its table takes, each with a check (the command line's own, from
`commands.playoutputs`, so a value means the same in a show as in an option), the
checks of its keys together and against the patch, and how the output is
built.

Every kind takes `fps` (its own frame rate; default 44 for DMX, 50 for
servos and MIDI, the player's for OSC) and `latency_ms` (how far ahead
positions are sent). Servos and MIDI controls follow an axis of a fixture
or of every member of a group (consecutive channels or controllers, from
the one given).
"""

from __future__ import annotations

import argparse
import ipaddress
from dataclasses import dataclass
from fractions import Fraction
from typing import Any, Callable, Mapping, Sequence

from .compose import rational
from .dmx import Fixture
from .outputs import OSC_DEFAULT_ADDRESS, SACN_PORT, OscOutput, SacnOutput, osc_address
from .commands.playoutputs import (baud_arg, ipv4_arg, latency_ms_arg, output_fps, port_address_arg,
                          priority_arg, sync_universe_arg, ttl_arg)
from .slew import slew_rate

Groups = Mapping[str, tuple[str, ...]]
Mistakes = list[tuple[str, str]]  # (key, message)
ADDRESS = "an IPv4 address"


@dataclass(frozen=True)
class Patch:
    """What outputs are built for: every fixture by label (None: not on
    DMX, or with a mistake), the protocol each DMX fixture is on ("sacn" or
    "artnet"), and the groups by name."""
    fixtures: Mapping[str, Fixture | None]
    carriers: Mapping[str, str]
    groups: Groups

    def dmx(self, carrier: str) -> list[Fixture]:
        return [fixture for label, fixture in self.fixtures.items()
                if fixture is not None and self.carriers.get(label) == carrier]


def no_mistakes(settings: Mapping[str, Any], patch: Patch) -> Mistakes:
    return []


@dataclass(frozen=True)
class OutputKind:
    """An output a show can name: the keys its table takes (each with a
    check that raises ValueError and returns the value to use), the keys it
    needs, the checks of its keys together and against the patch, and a
    builder from the checked settings and the patch."""
    keys: Mapping[str, Callable[[Any], object]]
    required: tuple[str, ...]
    build: Callable[[Mapping[str, Any], Patch], Any]
    together: Callable[[Mapping[str, Any], Patch], Mistakes] = no_mistakes


# ---- checks of single values -----------------------------------------------------------

def option(parse: Callable[[str], Any], kind: type | tuple[type, ...],
           what: str) -> Callable[[Any], Any]:
    """A command-line option's check on a show value of type `kind` (text
    as written, a whole number as its digits)."""
    def check(value: Any) -> Any:
        if isinstance(value, bool) or not isinstance(value, kind):
            raise ValueError(f"expected {what}, not {value!r}")
        try:
            return parse(str(value))
        except argparse.ArgumentTypeError as error:
            raise ValueError(str(error)) from None
    return check


def host_port(parse: str, what: str) -> Callable[[Any], object]:
    """HOST:PORT (or [IPv6]:PORT) as option type `parse` of `gesturon play`
    reads it (imported when used: the play command imports the show)."""
    def check(text: str) -> object:
        from .commands import play
        return getattr(play, parse)(text)
    return option(check, str, what)


def artnet_node(text: str) -> object:
    from .commands.common import host_port as parse
    from .commands.playoutputs import artnet_to_arg
    return artnet_to_arg(text, parse)


def flag(value: Any) -> object:
    if not isinstance(value, bool):
        raise ValueError(f"expected true or false, not {value!r}")
    return value


def name(value: Any) -> object:
    if not isinstance(value, str) or not value:
        raise ValueError(f"expected a name, not {value!r}")
    return value


def osc_address_setting(value: Any) -> object:
    if not isinstance(value, str):
        raise ValueError(f"expected an OSC address template, not {value!r}")
    osc_address(value, "name")
    return value


def slew_setting(value: Any) -> Fraction | None:
    """Units a second: a number, or a fraction in quotes ("45/2")."""
    return slew_rate(rational(value, "a slew limit"))


def sync_setting(value: Any) -> object:
    """true (a universe no fixture uses), false, or the universe to use."""
    return value if isinstance(value, bool) else option(sync_universe_arg, int,
                                                        "true, false or a universe")(value)


def artnet_broadcast(value: Any) -> object:
    from .artnet import check_broadcast
    return check_broadcast(option(ipv4_arg, str, ADDRESS)(value))


TIMING: dict[str, Callable[[Any], object]] = {
    "fps": option(output_fps, int, "a whole number of frames a second"),
    "latency_ms": option(latency_ms_arg, (int, float, str), "milliseconds"),
}


def timing(settings: Mapping[str, Any], default_fps: int | None) -> dict[str, Any]:
    return {"fps": settings.get("fps", default_fps), "latency_ms": settings.get("latency_ms", 0)}


# ---- followers: servos and MIDI controls ---------------------------------------------------

def followers(keys: tuple[str, ...], required: tuple[str, ...],
              what: str) -> Callable[[Any], object]:
    """A list of tables, each following one axis of a fixture or group:
    checked here for its keys, against the patch by `follow_each`."""
    def check(value: Any) -> object:
        if not isinstance(value, list) or not value:
            raise ValueError(f"expected a list of {what}s such as [{{ channel = 0, follow = "
                             f"\"head/1\", axis = \"x\" }}]")
        for n, entry in enumerate(value, 1):
            if not isinstance(entry, dict):
                raise ValueError(f"{what} {n}: expected a table, not {entry!r}")
            for key in entry:
                if key not in keys:
                    raise ValueError(f"{what} {n}: unknown key {key!r} (known: {', '.join(keys)})")
            for key in required:
                if key not in entry:
                    raise ValueError(f"{what} {n}: missing key {key!r}")
            name(entry["follow"])
        return tuple(value)
    return check


def follow_each(entries: Sequence[Mapping[str, Any]], patch: Patch, what: str, counter: str,
                make: Callable[[Mapping[str, Any], str, int], Any],
                check_all: Callable[[list[Any]], None]) -> tuple[list[Any], list[str]]:
    """`make(entry, label, i)` for member i of each entry's fixture or
    group, `counter` (channel, controller) going up by one a member, then
    `check_all` of them together; and the mistakes."""
    made: list[Any] = []
    mistakes: list[str] = []
    for n, entry in enumerate(entries, 1):
        members = patch.groups.get(entry["follow"])
        if members is None:
            mistakes.append(f"{what} {n}: no group or fixture {entry['follow']!r}")
            continue
        for i, label in enumerate(members):
            try:
                made.append(make(entry, label, i))
            except (ValueError, TypeError) as error:
                where = f" ({label}, {counter} {plus(entry[counter], i)})" \
                    if len(members) > 1 else ""
                mistakes.append(f"{what} {n}{where}: {error}")
                break
    if not mistakes:
        try:
            check_all(made)
        except ValueError as error:
            mistakes.append(str(error))
    return made, mistakes


def plus(value: Any, i: int) -> Any:
    """A channel or controller number `i` members on (a mistyped one as it is)."""
    return value + i if isinstance(value, int) and not isinstance(value, bool) else value


def pulse(value: Any) -> Any:
    return None if value is None else rational(value, "a pulse width")


def make_servo(entry: Mapping[str, Any], label: str, i: int) -> Any:
    from .servo import Servo
    return Servo(plus(entry["channel"], i), entry.get("axis", "x"), label,
                 pulse(entry.get("low", 1000)), pulse(entry.get("high", 2000)),
                 pulse(entry.get("centre")), slew_setting(entry["slew"]) if "slew" in entry
                 else None)


def make_control(entry: Mapping[str, Any], label: str, i: int) -> Any:
    from .midicc import Control
    bits = entry.get("bits", 7)
    if bits not in (7, 14) or isinstance(bits, bool):
        raise ValueError(f"bits must be 7 or 14, not {bits!r}")
    return Control(entry["channel"], plus(entry["controller"], i), entry.get("axis", "x"), label,
                   fine=bits == 14, slew=slew_setting(entry["slew"]) if "slew" in entry else None)


def servos_of(settings: Mapping[str, Any], patch: Patch) -> tuple[list[Any], list[str]]:
    from .servo import check_channels
    return follow_each(settings["servos"], patch, "servo", "channel", make_servo, check_channels)


def controls_of(settings: Mapping[str, Any], patch: Patch) -> tuple[list[Any], list[str]]:
    from .midicc import check_controllers
    return follow_each(settings["controls"], patch, "control", "controller", make_control,
                       check_controllers)


# ---- the kinds ------------------------------------------------------------------------------

def build_osc(settings: Mapping[str, Any], patch: Patch) -> Any:
    host, port = settings["to"]
    return OscOutput(host, port, settings.get("address", OSC_DEFAULT_ADDRESS),
                     double=settings.get("double", False), slew=settings.get("slew"),
                     **timing(settings, None))


def build_sacn(settings: Mapping[str, Any], patch: Patch) -> Any:
    from .outputs import DMX_FPS
    host, port = settings.get("to", (None, SACN_PORT))
    return SacnOutput(patch.dmx("sacn"), host, port, priority=settings.get("priority", 100),
                      multicast_ttl=settings.get("ttl", 8), interface=settings.get("interface"),
                      sync=settings.get("sync", False), **timing(settings, DMX_FPS))


def check_sacn(settings: Mapping[str, Any], patch: Patch) -> Mistakes:
    fixtures = patch.dmx("sacn")
    if not any(carrier == "sacn" for carrier in patch.carriers.values()):
        return [("", "an sACN output needs a fixture with a universe")]
    mistakes: Mistakes = []
    sync = settings.get("sync")
    if not isinstance(sync, bool) and sync in {fixture.universe for fixture in fixtures}:
        mistakes.append(("sync", f"sync universe {sync} carries fixtures; choose another"))
    host = settings.get("to", (None,))[0]
    if "interface" in settings and host is not None and is_ipv6(host):
        mistakes.append(("interface", f"the multicast interface is an IPv4 address: it cannot "
                                      f"send to the IPv6 host {host}"))
    return mistakes


def build_artnet(settings: Mapping[str, Any], patch: Patch) -> Any:
    from .artnet import ARTNET_PORT, ArtNetOutput
    from .outputs import DMX_FPS
    host, port = settings.get("to", (None, ARTNET_PORT))
    return ArtNetOutput(patch.dmx("artnet"), host, port, broadcast=settings.get("broadcast"),
                        interface=settings.get("interface"), sync=settings.get("sync", False),
                        **timing(settings, DMX_FPS))


def check_artnet(settings: Mapping[str, Any], patch: Patch) -> Mistakes:
    mistakes: Mistakes = []
    if not any(carrier == "artnet" for carrier in patch.carriers.values()):
        mistakes.append(("", "an Art-Net output needs a fixture with an artnet universe"))
    if ("to" in settings) == ("broadcast" in settings):
        mistakes.append(("", "give the node's address (to) or, to broadcast, the network's "
                             "broadcast address (broadcast): one of them"))
    return mistakes


def build_servo(settings: Mapping[str, Any], patch: Patch) -> Any:
    from .servo import SERVO_FPS, MaestroOutput
    servos, _ = servos_of(settings, patch)
    return MaestroOutput(servos, settings["to"], baud=settings.get("baud", 115200),
                         **timing(settings, SERVO_FPS))


def build_midi(settings: Mapping[str, Any], patch: Patch) -> Any:
    from .midicc import MIDI_FPS, MidiOutput
    controls, _ = controls_of(settings, patch)
    return MidiOutput(controls, settings["to"], **timing(settings, MIDI_FPS))


def mistakes_in(key: str, check: Callable[[Mapping[str, Any], Patch],
                                          tuple[list[Any], list[str]]]) -> Callable[..., Mistakes]:
    def together(settings: Mapping[str, Any], patch: Patch) -> Mistakes:
        return [(key, m) for m in check(settings, patch)[1]] if key in settings else []
    return together


OUTPUT_KINDS: dict[str, OutputKind] = {
    "osc": OutputKind({"to": host_port("osc_arg", "\"HOST:PORT\""), "address": osc_address_setting,
                       "double": flag, "slew": slew_setting, **TIMING}, ("to",), build_osc),
    "sacn": OutputKind({"to": host_port("sacn_to_arg", "\"HOST[:PORT]\""),
                        "priority": option(priority_arg, int, "a whole number"),
                        "sync": sync_setting, "interface": option(ipv4_arg, str, ADDRESS),
                        "ttl": option(ttl_arg, int, "a whole number"), **TIMING}, (),
                       build_sacn, check_sacn),
    "artnet": OutputKind({"to": option(artnet_node, str, "\"HOST[:PORT]\""),
                          "broadcast": artnet_broadcast,
                          "interface": option(ipv4_arg, str, ADDRESS), "sync": flag, **TIMING},
                         (), build_artnet, check_artnet),
    "servo": OutputKind({"to": name, "baud": option(baud_arg, int, "a whole number"),
                         "servos": followers(("channel", "follow", "axis", "low", "high",
                                              "centre", "slew"), ("channel", "follow"), "servo"),
                         **TIMING}, ("to", "servos"), build_servo,
                        mistakes_in("servos", servos_of)),
    "midi": OutputKind({"to": name,
                        "controls": followers(("channel", "controller", "follow", "axis", "bits",
                                               "slew"), ("channel", "controller", "follow"),
                                              "control"),
                        **TIMING}, ("to", "controls"), build_midi,
                       mistakes_in("controls", controls_of)),
}


def artnet_universe(value: Any) -> int:
    """A fixture's Art-Net universe, "NET/SUBNET/UNIVERSE", as its
    port-address."""
    check = option(port_address_arg, str, "\"NET/SUBNET/UNIVERSE\" such as \"0/0/1\"")
    return int(check(value))


def is_ipv6(host: str) -> bool:
    try:
        return isinstance(ipaddress.ip_address(host), ipaddress.IPv6Address)
    except ValueError:
        return False
