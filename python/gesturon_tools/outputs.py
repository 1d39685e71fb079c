"""The network outputs of the player: OSC through python-osc and sACN
(E1.31) DMX through sacn.

Both packages are optional (`pip install 'gesturon[live]'`) and imported
only when an output is made; a missing one is a `MissingDependency` naming
what to install. Neither ships complete type information, so each is used
through the few calls made here and nowhere else.
"""

from __future__ import annotations

import importlib
import ipaddress
import socket
import threading
import time
from typing import Any, Sequence, cast

from .clock import Number
from .dmx import UNIVERSE_MAX, DmxOutput, Fixture, Universes, check_universe
from .frames import Frame
from .slew import Real, Slews, slew_rate

OSC_DEFAULT_ADDRESS = "/gesturon/{name}"
SACN_PORT = 5568
INSTALL_HINT = "pip install 'gesturon[live]'"


class MissingDependency(ImportError):
    """An optional package that an output needs is not installed."""


def optional_module(module: str, feature: str, package: str, hint: str = INSTALL_HINT) -> Any:
    try:
        return importlib.import_module(module)
    except ImportError:
        raise MissingDependency(f"{feature} needs the {package} package: {hint}") from None


def check_port(port: int) -> int:
    if isinstance(port, bool) or not isinstance(port, int) or not 1 <= port <= 65535:
        raise ValueError(f"port must be 1 to 65535, not {port}")
    return port


LOOKUP_SECONDS = 5.0


def resolve(host: str, port: int, family: int = socket.AF_UNSPEC,
            seconds: float = LOOKUP_SECONDS) -> tuple[int, str]:
    """The address family and numeric address of `host`. A name is looked
    up in a thread of its own and given `seconds` to answer; the caller
    waits on an event, so Ctrl-C interrupts a lookup that hangs."""
    try:  # an address needs no lookup
        found = socket.getaddrinfo(host, port, family, socket.SOCK_DGRAM, 0,
                                   socket.AI_NUMERICHOST)
    except (socket.gaierror, UnicodeError):
        found = lookup(host, port, family, seconds)
    return found[0][0], str(found[0][4][0])


def lookup(host: str, port: int, family: int, seconds: float) -> list[Any]:
    answer: list[Any] = []
    done = threading.Event()

    def ask() -> None:
        try:
            answer.append(socket.getaddrinfo(host, port, family, socket.SOCK_DGRAM))
        except (OSError, UnicodeError):
            pass
        done.set()

    threading.Thread(target=ask, name=f"lookup {host}", daemon=True).start()
    if not done.wait(seconds):
        raise ValueError(f"cannot resolve host {host!r}: no answer within {seconds:g} s")
    if not answer or not answer[0]:
        raise ValueError(f"cannot resolve host {host!r}")
    return cast(list[Any], answer[0])


# ---- OSC ------------------------------------------------------------------------

OSC_RESERVED = set(" #*,?[]{}")


def osc_address(template: str, name: str) -> str:
    """The OSC address for a track: `{name}` in the template replaced by
    the track's label."""
    address = template.replace("{name}", name)
    # A control character would cut or corrupt the address in the packet, and
    # a byte that is not text (an undecodable command-line byte) cannot be sent.
    if not address.startswith("/") or OSC_RESERVED & set(address) or not address.isprintable():
        raise ValueError(f"not an OSC address: {address!r} (it starts with / and has no "
                         "spaces, control characters or undecodable bytes, or any of # * , ? [ ] { })")
    return address


class OscOutput:
    """One OSC message per track and frame over UDP: x, y and z as floats,
    then the pip as an integer, to the address `address` with `{name}`
    replaced by the track's label.

    OSC floats are 32-bit, so each coordinate arrives as the double rounded
    to the nearest float32; `double=True` sends 64-bit floats (type tag
    `d`), which arrive exactly but not every receiver reads. `fps` (default:
    the player's) and `latency_ms`: see `Stream`; `slew`: the fastest any
    coordinate may move, in positions a second.
    """

    def __init__(self, host: str, port: int, address: str = OSC_DEFAULT_ADDRESS, *,
                 double: bool = False, fps: int | None = None, latency_ms: Number = 0,
                 slew: Real | None = None):
        udp_client = optional_module("pythonosc.udp_client", "OSC output", "python-osc")
        builder = optional_module("pythonosc.osc_message_builder", "OSC output", "python-osc")
        check_port(port)
        osc_address(address, "name")  # the template itself must make good addresses
        family, numeric = resolve(host, port)
        self.address = address
        self.fps, self.latency_ms = fps, latency_ms
        self._slews = Slews([slew_rate(slew)] * 3)
        self.float_tag = "d" if double else "f"
        self._builder = builder.OscMessageBuilder
        self._client = udp_client.UDPClient(numeric, port, family=family)
        self._addresses: dict[str, str] = {}

    def send(self, frame: Frame) -> None:
        for position in frame.positions:
            address = self._addresses.get(position.label)
            if address is None:
                address = self._addresses[position.label] = osc_address(self.address,
                                                                        position.label)
            message = self._builder(address=address)
            for value in self._slews.step(position.label, (position.x, position.y, position.z),
                                          frame.time_ns):
                message.add_arg(float(value), self.float_tag)
            message.add_arg(position.pip, "i" if -2**31 <= position.pip < 2**31 else "h")
            self._client.send(message.build())

    @property
    def settled(self) -> bool:
        return self._slews.settled

    def close(self) -> None:
        self._client.close()


# ---- sACN -------------------------------------------------------------------------

DMX_FPS = 44  # DMX512 refreshes about 44 times a second at most


def sacn_socket(base: Any, host: str | None, family: int, port: int, ttl: int,
                interface: str | None) -> Any:
    """A sending socket for sacn's sender that sends in the caller's thread
    (the player's frame loop decides when packets go, not a thread of the
    library's) and to the port given. With a host every packet goes there
    by unicast (IPv4 or IPv6); without one, to the multicast group sacn
    chooses, through the interface whose address is `interface` (default:
    the one the routing table picks)."""

    class FrameSocket(base):  # type: ignore[misc]
        def __init__(self) -> None:
            super().__init__(listener=None)
            self.udp = socket.socket(family, socket.SOCK_DGRAM)
            if family == socket.AF_INET:
                self.udp.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, ttl)
            if interface is not None:
                self.udp.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF,
                                    socket.inet_aton(interface))
                self.udp.bind((interface, 0))

        def start(self) -> None:
            pass

        def stop(self) -> None:
            self.udp.close()

        def send_unicast(self, data: Any, destination: str) -> None:
            self.udp.sendto(bytes(data.getBytes()), (host or destination, port))

        def send_multicast(self, data: Any, destination: str, ttl: int) -> None:
            self.udp.sendto(bytes(data.getBytes()), (host or destination, port))

        def send_broadcast(self, data: Any) -> None:
            pass  # universe discovery is off: nothing is broadcast

    return FrameSocket()


def check_ipv4(address: str, what: str) -> str:
    try:
        ipaddress.IPv4Address(address)
    except ValueError:
        raise ValueError(f"{what} must be an IPv4 address, not {address!r}") from None
    return address


class SacnOutput(DmxOutput):
    """DMX over sACN (E1.31): every frame sets the channels of each fixture
    from the position of the track it follows and sends each universe once.

    `destination`: a host to send to by unicast (IPv4 or IPv6), or None for
    the standard multicast group of each universe, sent through the
    interface with the address `interface` and `multicast_ttl` routers far.
    `port`: 5568, the sACN port, unless a receiver listens elsewhere.
    `priority` (0 to 200, default 100): a receiver takes a universe from its
    highest-priority source, so a player at 150 overrides a console at 100
    instead of being merged with it byte by byte.

    `sync`: a universe number to send E1.31 synchronisation packets on (or
    True for one no fixture uses): every data packet then names it, and a
    sync packet follows the universes of each frame, so receivers that
    support it change all universes at once. Off by default, as receivers
    that do not use sync complain about every sync packet.

    `fps` (default 44, as DMX itself) and `latency_ms`: see `Stream`.
    Closing the output ends the streams (three stream-terminated packets
    per universe), as E1.31 asks.
    """

    def __init__(self, fixtures: Sequence[Fixture], destination: str | None = None,
                 port: int = SACN_PORT, *, priority: int = 100, source_name: str = "gesturon",
                 multicast_ttl: int = 8, interface: str | None = None,
                 sync: int | bool = False, fps: int | None = DMX_FPS, latency_ms: Number = 0):
        sacn = optional_module("sacn", "sACN output", "sacn")
        base = optional_module("sacn.sending.sender_socket_base", "sACN output", "sacn")
        check_port(port)
        self.universes_data = Universes(fixtures)
        if isinstance(priority, bool) or not isinstance(priority, int) or not 0 <= priority <= 200:
            raise ValueError(f"priority must be 0 to 200, not {priority}")
        if isinstance(multicast_ttl, bool) or not isinstance(multicast_ttl, int) \
                or not 1 <= multicast_ttl <= 255:
            raise ValueError(f"multicast TTL must be 1 to 255, not {multicast_ttl}")
        if interface is not None:
            check_ipv4(interface, "the multicast interface")
        self.fps, self.latency_ms = fps, latency_ms
        self.fixtures = self.universes_data.fixtures
        self.universes = list(self.universes_data.data)
        family: int = socket.AF_INET
        host: str | None = None
        if destination is not None:
            family, host = resolve(destination, port)
            if interface is not None and family != socket.AF_INET:
                raise ValueError("the multicast interface is an IPv4 address: it cannot send "
                                 f"to the IPv6 host {destination}")
        if sync is True:  # a universe no fixture uses
            sync = next(u for u in range(UNIVERSE_MAX, 0, -1) if u not in self.universes)
        elif sync is not False:
            check_universe(sync)
            if sync in self.universes:
                raise ValueError(f"sync universe {sync} carries fixtures; choose another")
        self.sync = sync or None
        self._socket = sacn_socket(base.SenderSocketBase, host, family, port, multicast_ttl,
                                   interface)
        self._sender = sacn.sACNsender(source_name=source_name, universeDiscovery=False,
                                       sync_universe=self.sync or UNIVERSE_MAX,
                                       socket=self._socket)
        self._sender.manual_flush = True
        for universe in self.universes:
            self._sender.activate_output(universe)
            output = self._sender[universe]
            output.priority = priority
            output.multicast = host is None
            if host is not None:
                output.destination = host
        self._closed = False

    def send_universes(self, universes: dict[int, bytes]) -> None:
        for universe, data in universes.items():
            self._sender[universe].dmx_data = tuple(data)
        if self.sync is not None:
            self._sender.flush()
        else:
            # Each universe on its own, without a sync address (sacn's
            # flush always adds one); sacn numbers the packets.
            handler = self._sender._sender_handler
            now = time.time()
            for universe in universes:
                handler.send_out(self._sender[universe], now)

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        try:
            for universe in self.universes:
                self._sender.deactivate_output(universe)
        finally:
            self._sender.stop()
