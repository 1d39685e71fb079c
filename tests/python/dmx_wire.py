"""DMX on the wire, read independently of the outputs that write it: Art-Net
and E1.31 (sACN) datagrams by their packet layouts, and the channel value
of a position by the mapping's definition."""

import struct
from fractions import Fraction


def artnet_packets(datagrams):
    """(opcode, fields) of each Art-Net datagram, read by the packet layout:
    ID "Art-Net\\0", opcode low byte first, version high byte first; ArtDmx
    then sequence, physical, port-address (low byte first) and the data
    length high byte first."""
    packets = []
    for data in datagrams:
        assert data[:8] == b"Art-Net\0"
        opcode, version = struct.unpack_from("<H", data, 8)[0], struct.unpack_from(">H", data, 10)[0]
        assert version == 14
        if opcode == 0x5000:
            sequence, physical = data[12], data[13]
            address = struct.unpack_from("<H", data, 14)[0]
            length = struct.unpack_from(">H", data, 16)[0]
            assert len(data) == 18 + length == 18 + 512 and physical == 0
            packets.append(("dmx", (sequence, address, data[18:])))
        else:
            assert opcode == 0x5200 and data[12:] == b"\0\0" and len(data) == 14
            packets.append(("sync", None))
    return packets



def sacn_packets(datagrams):
    """Each E1.31 datagram as ("data", universe, priority, sync address,
    options, 512 values) or ("sync", sync address), read by the layout:
    root layer vector 4 (data) or 8 (extended), framing layer vector 2
    (data) or 1 (synchronisation)."""
    packets = []
    for data in datagrams:
        assert data[4:16] == b"ASC-E1.17\0\0\0"
        root = struct.unpack_from(">I", data, 18)[0]
        framing = struct.unpack_from(">I", data, 40)[0]
        if (root, framing) == (4, 2):
            priority, sync, _, options, universe = struct.unpack_from(">BHBBH", data, 108)
            assert data[125] == 0 and len(data) == 126 + 512
            packets.append(("data", universe, priority, sync, options, data[126:]))
        else:
            assert (root, framing) == (8, 1) and len(data) == 49
            packets.append(("sync", struct.unpack_from(">H", data, 45)[0]))
    return packets



def dmx_value(position, full, centre=Fraction(1, 2), swing=Fraction(1, 2), travel=1):
    """The channel value of a position, from the mapping's definition."""
    v = (centre + Fraction(position) * swing) / travel * full
    return min(max((v + Fraction(1, 2)).__floor__(), 0), full)



def coarse_fine(value):
    return value >> 8, value & 0xFF
