"""A fake Art-Net node on 127.0.0.1 for the discovery tests, and the
ArtPollReply packets it sends, laid out from the Art-Net 4 protocol
document: every field at its offset, multi-byte numbers high byte first
except the OpCode and the port, which go low byte first."""

from __future__ import annotations

import socket
import struct

from loopback import LOOPBACK, Datagrams

REPLY_BYTES = 239  # the whole reply of Art-Net 4, filler included
OUTPUT, INPUT = 0x80, 0x40  # port types: outputs DMX from the network, inputs it


def poll_reply(ip: str = "2.0.0.10", short_name: bytes = b"", long_name: bytes = b"",
               report: bytes = b"", firmware: int = 0, net: int = 0, subnet: int = 0,
               ports: tuple[tuple[int, int], ...] = (), num_ports: int | None = None,
               bind_index: int = 0, length: int = REPLY_BYTES, opcode: int = 0x2100,
               ident: bytes = b"Art-Net\0") -> bytes:
    """An ArtPollReply; `ports` holds (port type, SwOut) of each port, and
    the number of ports is theirs unless `num_ports` says otherwise. A
    `length` shorter than the whole reply cuts it; a longer one pads it
    with zeros, as a later revision's extra fields would be."""
    data = bytearray(max(length, REPLY_BYTES))
    data[0:8] = ident
    struct.pack_into("<H", data, 8, opcode)
    data[10:14] = socket.inet_aton(ip)
    struct.pack_into("<H", data, 14, 6454)
    struct.pack_into(">H", data, 16, firmware)  # VersInfoH, VersInfoL
    data[18], data[19] = net, subnet  # NetSwitch, SubSwitch
    for offset, size, text in ((26, 18, short_name), (44, 64, long_name), (108, 64, report)):
        assert len(text) <= size
        data[offset:offset + len(text)] = text
    struct.pack_into(">H", data, 172, len(ports) if num_ports is None else num_ports)
    for i, (kind, switch) in enumerate(ports):
        data[174 + i] = kind  # PortTypes
        data[182 + i] = 0x80 if kind & OUTPUT else 0  # GoodOutputA: data being sent
        data[190 + i] = switch  # SwOut
    data[211] = bind_index
    return bytes(data[:length])


class FakeNode(Datagrams):
    """Answers every ArtPoll with `replies`, in order: to the address and
    port the poll came from, or to `reply_port` on 127.0.0.1. `polls` keeps
    each poll with the port it came from; anything else is ignored, as a
    node ignores packets that are not Art-Net."""

    def __init__(self, replies: list[bytes], reply_port: int | None = None):
        super().__init__()
        self.replies, self.reply_port = replies, reply_port
        self.polls: list[tuple[bytes, int]] = []

    def receive(self) -> None:
        while self.running.is_set():
            try:
                data, (host, port) = self.udp.recvfrom(2048)
            except socket.timeout:
                continue
            if data[:10] != b"Art-Net\0\x00\x20":
                continue
            self.polls.append((data, port))
            for reply in self.replies:
                self.udp.sendto(reply, (host, self.reply_port or port))
