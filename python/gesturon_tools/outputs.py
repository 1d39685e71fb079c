"""The network outputs of the player: OSC through python-osc and sACN
(E1.31) DMX through sacn.

Both packages are optional (`pip install 'gesturon[live]'`) and imported
only when an output is made; a missing one is a `MissingDependency` naming
what to install. Neither ships complete type information, so each is used
through the few calls made here and nowhere else.
"""

from __future__ import annotations

import importlib
import socket
from typing import TYPE_CHECKING, Any, Sequence

from .dmx import CHANNELS, Fixture, check_overlaps, check_universe

if TYPE_CHECKING:  # the frames come from the player; no import cycle at run time
    from .live import Frame

OSC_DEFAULT_ADDRESS = "/gesturon/{name}"
SACN_PORT = 5568
INSTALL_HINT = "pip install 'gesturon[live]'"


class MissingDependency(ImportError):
    """An optional package that an output needs is not installed."""


def optional_module(module: str, feature: str, package: str) -> Any:
    try:
        return importlib.import_module(module)
    except ImportError:
        raise MissingDependency(f"{feature} needs the {package} package: {INSTALL_HINT}") from None


def check_port(port: int) -> int:
    if isinstance(port, bool) or not isinstance(port, int) or not 1 <= port <= 65535:
        raise ValueError(f"port must be 1 to 65535, not {port}")
    return port


def resolve(host: str, port: int, family: int = socket.AF_UNSPEC) -> tuple[int, str]:
    """The address family and numeric address of `host`."""
    try:
        found = socket.getaddrinfo(host, port, family, socket.SOCK_DGRAM)
    except (socket.gaierror, UnicodeError):
        raise ValueError(f"cannot resolve host {host!r}") from None
    return found[0][0], str(found[0][4][0])


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
    `d`), which arrive exactly but not every receiver reads.
    """

    def __init__(self, host: str, port: int, address: str = OSC_DEFAULT_ADDRESS, *,
                 double: bool = False):
        udp_client = optional_module("pythonosc.udp_client", "OSC output", "python-osc")
        builder = optional_module("pythonosc.osc_message_builder", "OSC output", "python-osc")
        check_port(port)
        osc_address(address, "name")  # the template itself must make good addresses
        family, numeric = resolve(host, port)
        self.address = address
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
            for value in (position.x, position.y, position.z):
                message.add_arg(value, self.float_tag)
            message.add_arg(position.pip, "i" if -2**31 <= position.pip < 2**31 else "h")
            self._client.send(message.build())

    def close(self) -> None:
        self._client.close()


# ---- sACN -------------------------------------------------------------------------

def sacn_socket(base: Any, host: str | None, port: int, ttl: int) -> Any:
    """A sending socket for sacn's sender that sends in the caller's thread
    (the player's frame loop decides when packets go, not a thread of the
    library's) and to the port given. With a host every packet goes there
    by unicast; without one, to the multicast group sacn chooses."""

    class FrameSocket(base):  # type: ignore[misc]
        def __init__(self) -> None:
            super().__init__(listener=None)
            self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            self.udp.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, ttl)

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


class SacnOutput:
    """DMX over sACN (E1.31): every frame sets the channels of each fixture
    from the position of the track it follows and sends each universe once.

    `destination`: a host to send to by unicast, or None for the standard
    multicast group of each universe. `port`: 5568, the sACN port, unless a
    receiver listens elsewhere. Packets of one frame are sent together with
    an E1.31 synchronisation packet, so receivers that support it change
    all universes at once. Closing the output ends the streams (three
    stream-terminated packets per universe), as E1.31 asks.
    """

    def __init__(self, fixtures: Sequence[Fixture], destination: str | None = None,
                 port: int = SACN_PORT, *, priority: int = 100, source_name: str = "gesturon",
                 multicast_ttl: int = 8):
        sacn = optional_module("sacn", "sACN output", "sacn")
        base = optional_module("sacn.sending.sender_socket_base", "sACN output", "sacn")
        if not fixtures:
            raise ValueError("an sACN output needs at least one fixture")
        check_port(port)
        check_overlaps(fixtures)
        if not 0 <= priority <= 200:
            raise ValueError(f"priority must be 0 to 200, not {priority}")
        host = None if destination is None else resolve(destination, port, socket.AF_INET)[1]
        self.fixtures = tuple(fixtures)
        self.universes = sorted({f.universe for f in self.fixtures})
        for universe in self.universes:
            check_universe(universe)
        self._data = {u: bytearray(CHANNELS) for u in self.universes}
        # Synchronisation packets go on a universe no fixture uses.
        sync = next(u for u in range(63999, 0, -1) if u not in self._data)
        self._socket = sacn_socket(base.SenderSocketBase, host, port, multicast_ttl)
        self._sender = sacn.sACNsender(source_name=source_name, universeDiscovery=False,
                                       sync_universe=sync, socket=self._socket)
        self._sender.manual_flush = True
        for universe in self.universes:
            self._sender.activate_output(universe)
            output = self._sender[universe]
            output.priority = priority
            output.multicast = host is None
            if host is not None:
                output.destination = host
        self._closed = False

    def dmx(self, frame: Frame) -> dict[int, bytes]:
        """The 512 channel values of each universe for a frame."""
        for fixture in self.fixtures:
            position = frame[fixture.track]
            data = self._data[fixture.universe]
            for channel, value in fixture.channels(position.x, position.y, position.z):
                data[channel - 1] = value
        return {u: bytes(data) for u, data in self._data.items()}

    def send(self, frame: Frame) -> None:
        for universe, data in self.dmx(frame).items():
            self._sender[universe].dmx_data = tuple(data)
        self._sender.flush()

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        try:
            for universe in self.universes:
                self._sender.deactivate_output(universe)
        finally:
            self._sender.stop()
