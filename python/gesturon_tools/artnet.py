"""DMX over Art-Net: ArtDmx packets to a node, with ArtSync when asked.

The packets are laid out by stupidArtnet (`pip install 'gesturon[live]'`),
which builds an ArtDmx header for a net, sub-net and universe and holds one
UDP socket per universe, and leaves the timing to its caller: the player's
frame loop sends each frame when it is due. Sending goes through those
sockets directly, so a network error reaches the player instead of being
printed and forgotten, ArtDmx packets are numbered 1..255 (receivers use
the number to drop packets that arrive out of order; 0 would turn that
off), and one ArtSync follows all universes of a frame rather than each.

A fixture's `universe` is the 15-bit Art-Net port-address, net * 256 +
sub-net * 16 + universe (`port_address`); 0 is the first.

`discover` finds the nodes on a network with Art-Net's own discovery: one
ArtPoll, and the ArtPollReply of each node that answers, read with
`struct` from the packet layout alone (no package needed).
"""

from __future__ import annotations

import errno
import ipaddress
import socket
import struct
import time
from dataclasses import dataclass
from typing import Any, Sequence

from .clock import Number
from .dmx import DmxOutput, Fixture, Universes
from .outputs import DMX_FPS, check_ipv4, check_port, optional_module, resolve

ARTNET_PORT = 6454
PORT_ADDRESS_MAX = 0x7FFF
SEQUENCE_BYTE = 12  # of the ArtDmx header


def port_address(net: int, subnet: int, universe: int) -> int:
    """The port-address of NET/SUBNET/UNIVERSE (0..127, 0..15, 0..15)."""
    for value, top, what in ((net, 127, "net"), (subnet, 15, "sub-net"),
                             (universe, 15, "universe")):
        if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= top:
            raise ValueError(f"Art-Net {what} must be 0 to {top}, not {value}")
    return net << 8 | subnet << 4 | universe


def check_broadcast(address: str) -> str:
    """A broadcast address for Art-Net: IPv4, and one network's, never the
    all-networks 255.255.255.255."""
    check_ipv4(address, "the Art-Net broadcast address")
    if ipaddress.IPv4Address(address) == ipaddress.IPv4Address("255.255.255.255"):
        raise ValueError("255.255.255.255 reaches every network: give the broadcast "
                         "address of the lighting network (e.g. 2.255.255.255)")
    return address


class ArtNetOutput(DmxOutput):
    """DMX over Art-Net: every frame sets the channels of each fixture from
    the position of the track it follows and sends each universe once, as
    one ArtDmx packet of 512 channels.

    `host`: the node to send to (unicast, as Art-Net asks). Or, instead,
    `broadcast`: the broadcast address of the network the nodes are on
    (2.255.255.255, 192.168.1.255), which also chooses the interface it
    leaves by; the all-networks 255.255.255.255 is refused. `interface`:
    the local address to send from. `sync=True` sends an ArtSync after the
    universes of each frame, so nodes that support it change them all at
    once. `fps` (default 44) and `latency_ms`: see `Stream`.
    """

    def __init__(self, fixtures: Sequence[Fixture], host: str | None = None,
                 port: int = ARTNET_PORT, *, broadcast: str | None = None,
                 interface: str | None = None, sync: bool = False,
                 fps: int | None = DMX_FPS, latency_ms: Number = 0):
        artnet = optional_module("stupidArtnet", "Art-Net output", "stupidArtnet")
        check_port(port)
        self.universes_data = Universes(fixtures, 0, PORT_ADDRESS_MAX)
        if (host is None) == (broadcast is None):
            raise ValueError("Art-Net goes to a node's host or to a network's broadcast "
                             "address: give one of them")
        if broadcast is not None:
            target = check_broadcast(broadcast)
        else:
            assert host is not None
            target = resolve(host, port, socket.AF_INET)[1]
        if interface is not None:
            check_ipv4(interface, "the Art-Net interface")
        self.fps, self.latency_ms = fps, latency_ms
        self.fixtures = self.universes_data.fixtures
        self.sync = sync
        self.destination = (target, port)
        self._nodes: dict[int, Any] = {}
        for address in self.universes_data.data:
            # Its own clock (fps) and ArtSync stay unused: the player times
            # the frames and sends one ArtSync for all universes.
            node = artnet.StupidArtnet(target_ip=target, universe=0, packet_size=512,
                                       fps=fps or DMX_FPS, even_packet_size=True,
                                       broadcast=broadcast is not None,
                                       source_address=None if interface is None
                                       else (interface, 0),
                                       artsync=False, port=port)
            node.set_simplified(False)
            node.set_net(address >> 8)
            node.set_subnet(address >> 4 & 15)
            node.set_universe(address & 15)
            self._nodes[address] = node
        first = next(iter(self._nodes.values()))
        first.make_artsync_header()
        self._artsync = bytes(first.artsync_header)
        self._sequence = 0
        self._closed = False

    def send_universes(self, universes: dict[int, bytes]) -> None:
        self._sequence = self._sequence % 255 + 1
        for address, data in universes.items():
            node = self._nodes[address]
            packet = bytearray(node.packet_header)
            packet[SEQUENCE_BYTE] = self._sequence
            node.socket_client.sendto(bytes(packet) + data, self.destination)
        if self.sync:
            next(iter(self._nodes.values())).socket_client.sendto(self._artsync,
                                                                  self.destination)

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        for node in self._nodes.values():
            node.socket_client.close()


# ---- discovery: ArtPoll and ArtPollReply ------------------------------------------------

ARTNET_ID = b"Art-Net\0"
OP_POLL, OP_POLL_REPLY = 0x2000, 0x2100
PROTOCOL_VERSION = 14
# ID, OpCode (low byte first), protocol version (high byte first), then
# Flags 0 (answer this poll only, no diagnostics, not targeted) and the
# diagnostics priority, unused without diagnostics. Nodes take an ArtPoll
# of 14 bytes or more, so the fields later revisions added are left out.
ART_POLL = ARTNET_ID + struct.pack("<H", OP_POLL) + struct.pack(">HBB", PROTOCOL_VERSION, 0, 0)

# The fields of an ArtPollReply read here, with the bytes between them
# skipped; the number on each line is the offset of its first field.
REPLY = struct.Struct(
    "<8s H"           # 0: "Art-Net\0", OpCode (low byte first)
    " 4s 2x"          # 10: the node's IP address; its port (always 6454)
    " B B"            # 16: firmware version, high then low byte
    " B B 6x"         # 18: NetSwitch, SubSwitch; OEM, UBEA version, Status1, ESTA code
    " 18s 64s 64s"    # 26: short name, long name, node report
    " x B 4s 12x 4s"  # 172: number of ports (low byte), port types; GoodInput, GoodOutputA, SwIn; SwOut
    " 17x B")         # 194: sACN priority ... BindIp; 211: BindIndex
# Replies have grown over the protocol's revisions and must be read from 207
# bytes on (up to the MAC address); fields past the end are zero. Longer ones
# carry fields added later, but none comes near this size.
REPLY_MIN_BYTES, REPLY_MAX_BYTES = 207, 1024
MAX_PORTS = 4  # per reply; a node with more sends one reply per bind index
PORT_OUTPUT = 0x80  # of a port type: the port outputs data from the network
# Every conforming node answers within 3 s, after a random delay of up to 1 s.
POLL_SECONDS = 3.0
MAX_POLL_SECONDS = 60.0
MAX_NODES = 10_000  # a flood of made-up replies cannot grow the list without end


@dataclass(frozen=True)
class Node:
    """One ArtPollReply: a node, or one bound part of it (`bind_index`, 1
    for the root, 0 from nodes older than binding). `outputs` holds the
    port-address of each of its output ports as NET/SUBNET/UNIVERSE, as
    `--artnet` takes it; `report` is the node's status text. Names and
    report are the ASCII before the field's first NUL, with every other
    byte, and backslash, written as an escape (\\xNN, \\\\)."""

    address: str
    bind_index: int
    short_name: str
    long_name: str
    firmware: int
    outputs: tuple[str, ...]
    report: str


def port_address_text(address: int) -> str:
    """NET/SUBNET/UNIVERSE of a port-address."""
    return f"{address >> 8}/{address >> 4 & 15}/{address & 15}"


def ascii_field(raw: bytes) -> str:
    """A NUL-terminated text field: printable ASCII as it is, the rest escaped."""
    text = raw.split(b"\0", 1)[0]
    return "".join("\\\\" if b == 0x5C else chr(b) if 0x20 <= b < 0x7F else f"\\x{b:02x}"
                   for b in text)


def parse_reply(data: bytes, sender: str) -> Node | None:
    """The node an ArtPollReply describes, or None for anything else: another
    Art-Net packet, a reply shorter or longer than a reply can be, or bytes
    that are not Art-Net at all. `sender`, where the datagram came from,
    stands in for an address field left empty."""
    if not REPLY_MIN_BYTES <= len(data) <= REPLY_MAX_BYTES:
        return None
    (ident, opcode, ip, version_high, version_low, net, subnet, short_name, long_name, report,
     ports, port_types, switches, bind_index) = REPLY.unpack_from(data.ljust(REPLY.size, b"\0"))
    if ident != ARTNET_ID or opcode != OP_POLL_REPLY:
        return None
    address = ipaddress.IPv4Address(ip)
    if address.is_unspecified or address.is_multicast or address == ipaddress.IPv4Address(
            "255.255.255.255"):
        address = ipaddress.IPv4Address(sender)
    # Port-address bits 14-8 are the low 7 of NetSwitch, 7-4 the low nibble
    # of SubSwitch, 3-0 the low nibble of the port's SwOut.
    base = (net & 0x7F) << 8 | (subnet & 0x0F) << 4
    outputs = tuple(port_address_text(base | switches[i] & 0x0F)
                    for i in range(min(ports, MAX_PORTS)) if port_types[i] & PORT_OUTPUT)
    return Node(str(address), bind_index, ascii_field(short_name), ascii_field(long_name),
                version_high << 8 | version_low, outputs, ascii_field(report))


def check_poll_address(address: str) -> str:
    """Where an ArtPoll may go: a node's IPv4 address or one network's
    broadcast address; never every network's, nor a multicast group."""
    check_broadcast(check_ipv4(address, "the address to poll"))
    if ipaddress.IPv4Address(address).is_multicast:
        raise ValueError(f"Art-Net is not sent to multicast groups such as {address}: give a "
                         "node's address or the broadcast address of the lighting network")
    if ipaddress.IPv4Address(address).is_unspecified:
        raise ValueError("0.0.0.0 is no node's address: give a node's address or the broadcast "
                         "address of the lighting network")
    return address


def check_poll_seconds(seconds: float) -> float:
    if not 0 < seconds <= MAX_POLL_SECONDS:  # also refuses nan
        raise ValueError(f"the time to wait for replies must be more than 0 and at most "
                         f"{MAX_POLL_SECONDS:g} s, not {seconds:g}")
    return seconds


class Poll:
    """One ArtPoll to `to` (port `port`) and the replies to it.

    The socket listens on Art-Net's port 6454, to which nodes reply, when
    that is free; else (another Art-Net program has it) on a port the
    system picks, which reaches only the nodes that reply to the port the
    poll came from (`local_port` tells which). With `interface`, it sends from and
    listens on that local address only: nodes that answer with a broadcast
    rather than to that address are not heard."""

    def __init__(self, to: str, *, interface: str | None = None, port: int = ARTNET_PORT):
        self.destination = (check_poll_address(to), check_port(port))
        local = "" if interface is None else check_ipv4(interface, "the Art-Net interface")
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
            try:
                self.socket.bind((local, ARTNET_PORT))
            except OSError:
                self.socket.bind((local, 0))
        except OSError as error:
            self.socket.close()
            reason = ("it is not an address of this machine" if error.errno == errno.EADDRNOTAVAIL
                      else error.strerror)
            raise ValueError(f"cannot listen for Art-Net replies on {interface or 'any address'}: "
                             f"{reason}") from None
        self.local_port: int = self.socket.getsockname()[1]

    def replies(self, timeout: float = POLL_SECONDS) -> list[Node]:
        """Sends the ArtPoll and reads replies for `timeout` seconds: one
        node for each address and bind index (its latest reply), in the
        order of their addresses, then bind indexes. Datagrams that are not
        ArtPollReply packets are skipped."""
        check_poll_seconds(timeout)
        deadline = time.monotonic() + timeout
        self.socket.sendto(ART_POLL, self.destination)
        found: dict[tuple[ipaddress.IPv4Address, int], Node] = {}
        while (left := deadline - time.monotonic()) > 0:
            self.socket.settimeout(left)
            try:
                data, sender = self.socket.recvfrom(REPLY_MAX_BYTES + 1)
            except socket.timeout:
                break
            except ConnectionRefusedError:  # an earlier datagram found no one; wait on
                continue
            node = parse_reply(data, sender[0])
            if node is not None:
                key = (ipaddress.IPv4Address(node.address), node.bind_index)
                if key in found or len(found) < MAX_NODES:
                    found[key] = node
        return [found[key] for key in sorted(found)]

    def close(self) -> None:
        self.socket.close()

    def __enter__(self) -> Poll:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def discover(to: str, timeout: float = POLL_SECONDS, interface: str | None = None, *,
             port: int = ARTNET_PORT) -> list[Node]:
    """The Art-Net nodes that answer one ArtPoll sent to `to` within
    `timeout` seconds: to a node's address, or to the broadcast address of
    the lighting network (2.255.255.255; 255.255.255.255, every network the
    machine is on, is refused). `interface`: the local address to send from
    and listen on. See `Poll`."""
    check_poll_seconds(timeout)
    with Poll(to, interface=interface, port=port) as poll:
        return poll.replies(timeout)
