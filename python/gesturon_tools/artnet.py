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
"""

from __future__ import annotations

import ipaddress
import socket
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
