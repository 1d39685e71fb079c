"""Finding Art-Net nodes: one ArtPoll to a fake node on 127.0.0.1, which
answers with ArtPollReply packets built from the protocol's layout, read
through `discover` and through `gesturon artnet-nodes`. Nothing is ever
broadcast: every poll goes to 127.0.0.1."""

import socket
import subprocess
import sys

import pytest

from artnet_node import INPUT, LOOPBACK, OUTPUT, FakeNode, poll_reply
from commandline import assert_one_line_error, assert_refused, refusals, run
from gesturon_tools.artnet import ARTNET_PORT, REPLY_MAX_BYTES, Node, Poll, discover

# The ArtPoll by the protocol's layout: ID, OpCode 0x2000 low byte first,
# protocol version 14 high byte first, Flags and DiagPriority 0.
ART_POLL = b"Art-Net\0" + b"\x00\x20" + b"\x00\x0e" + b"\x00\x00"
SECONDS = 1.0

FOUR_PORTS = poll_reply("2.0.0.10", b"Truss L", b"Stage left truss, four outputs",
                        b"#0001 [0042] Power On Tests successful", firmware=0x0104, bind_index=1,
                        ports=((OUTPUT, 1), (OUTPUT, 2), (OUTPUT, 3), (OUTPUT, 4)))
FOUR_PORTS_NODE = Node("2.0.0.10", 1, "Truss L", "Stage left truss, four outputs", 260,
                       ("0/0/1", "0/0/2", "0/0/3", "0/0/4"), "#0001 [0042] Power On Tests successful")
NO_PORTS = poll_reply("2.0.0.3", b"Desk", firmware=7, ports=((OUTPUT, 1),) * 4, num_ports=0)
NO_PORTS_NODE = Node("2.0.0.3", 0, "Desk", "", 7, (), "")


def node(address, outputs=(), bind_index=0, **names):
    """The Node expected of a reply with empty names, firmware 0."""
    fields = {"short_name": "", "long_name": "", "report": "", **names}
    return Node(address, bind_index, firmware=0, outputs=outputs, **fields)


NETWORKS = [
    pytest.param([FOUR_PORTS], [FOUR_PORTS_NODE], id="four outputs"),
    pytest.param(
        # NetSwitch keeps its low 7 bits, SubSwitch and SwOut their low nibble;
        # only ports typed as outputs count, and only the first NumPorts.
        [poll_reply("10.1.2.3", net=0xFF, subnet=0xF3, num_ports=3,
                    ports=((OUTPUT | INPUT, 0x0F), (INPUT, 0x05), (OUTPUT | 5, 0xF2), (OUTPUT, 9)))],
        [node("10.1.2.3", ("127/3/15", "127/3/2"))], id="inputs, outputs and the top of the range"),
    pytest.param(
        # A device bound under one address answers once per bind index; the
        # oldest replies (207 bytes) end before BindIndex, so it reads 0.
        [poll_reply("10.0.0.10", net=1, subnet=2, ports=((OUTPUT, 1),), bind_index=2),
         poll_reply("10.0.0.10", net=1, subnet=2, ports=((OUTPUT, 0),), bind_index=1),
         poll_reply("10.0.0.9", bind_index=5, length=207), poll_reply("2.0.0.1"), NO_PORTS],
        [node("2.0.0.1"), NO_PORTS_NODE, node("10.0.0.9"), node("10.0.0.10", ("1/2/0",), 1),
         node("10.0.0.10", ("1/2/1",), 2)], id="bound ports, in address order"),
    pytest.param(
        [poll_reply("2.0.0.4", report=b"#0001 [0001] first"), FOUR_PORTS,
         poll_reply("2.0.0.4", report=b"#0001 [0002] second"), FOUR_PORTS,
         poll_reply("2.0.0.5", ports=((OUTPUT, 3),) * 4, num_ports=9)],
        [node("2.0.0.4", report="#0001 [0002] second"), node("2.0.0.5", ("0/0/3",) * 4),
         FOUR_PORTS_NODE], id="answered twice, the latest kept"),
    pytest.param(
        # A full field without a NUL is all name; after the NUL is padding;
        # every byte that is not printable ASCII, and backslash, is escaped.
        [poll_reply("2.0.0.6", b"ABCDEFGHIJKLMNOPQR", b"Caf\xe9 \\ stage\tleft\0old name",
                    b"\x01\x7f\x80\xff")],
        [node("2.0.0.6", short_name="ABCDEFGHIJKLMNOPQR", long_name="Caf\\xe9 \\\\ stage\\x09left",
              report="\\x01\\x7f\\x80\\xff")], id="names escaped"),
    *(pytest.param([poll_reply(ip, b"No IP")], [node(LOOPBACK, short_name="No IP")],
                   id=f"address {ip} is the sender's") for ip in ("0.0.0.0", "239.1.1.1")),
    pytest.param(
        # Not replies, or not whole: each skipped while the good ones are kept.
        [b"", b"Art-Net\0", poll_reply(length=206), poll_reply(ident=b"Art-Nex\0"),
         poll_reply(opcode=0x5000), ART_POLL, bytes(range(239)),
         poll_reply("2.0.0.8", length=REPLY_MAX_BYTES + 1),
         poll_reply("2.0.0.7", length=REPLY_MAX_BYTES), poll_reply("2.0.0.9", length=207)],
        [node("2.0.0.7"), node("2.0.0.9")], id="malformed ones skipped"),
]


@pytest.mark.parametrize("replies, expected", NETWORKS)
def test_discover_lists_every_node_once_in_address_order(replies, expected):
    with FakeNode(replies) as fake:
        found = discover(LOOPBACK, SECONDS, LOOPBACK, port=fake.port)
    assert found == expected
    assert [poll for poll, _ in fake.polls] == [ART_POLL]


def port_6454_free():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((LOOPBACK, ARTNET_PORT))
            return True
        except OSError:
            return False


@pytest.mark.parametrize("held", [False, True], ids=["port 6454 free", "port 6454 held"])
def test_replies_come_to_port_6454_or_while_it_is_held_to_the_poll_s_port(held):
    """Nodes answer on Art-Net's port, where the poll comes from when it
    can; when another program holds that port the poll comes from a port of
    its own, which nodes that answer to the sender's port reach."""
    if not port_6454_free():
        pytest.skip("port 6454 of 127.0.0.1 is in use on this machine")
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as holder:
        if held:
            holder.bind((LOOPBACK, ARTNET_PORT))
        with FakeNode([FOUR_PORTS], reply_port=None if held else ARTNET_PORT) as fake:
            with Poll(LOOPBACK, interface=LOOPBACK, port=fake.port) as poll:
                found = poll.replies(SECONDS)
    assert found == [FOUR_PORTS_NODE]
    [(_, source_port)] = fake.polls
    assert source_port == poll.local_port and (source_port == ARTNET_PORT) is not held


TABLE = """\
NODE      BIND  FIRMWARE  SHORT NAME  LONG NAME                       REPORT
2.0.0.3      0         7  Desk
  no output ports
2.0.0.10     1       260  Truss L     Stage left truss, four outputs  #0001 [0042] Power On Tests successful
  port 1: --artnet 0/0/1/ADDRESS --artnet-to 2.0.0.10:{port}
  port 2: --artnet 0/0/2/ADDRESS --artnet-to 2.0.0.10:{port}
  port 3: --artnet 0/0/3/ADDRESS --artnet-to 2.0.0.10:{port}
  port 4: --artnet 0/0/4/ADDRESS --artnet-to 2.0.0.10:{port}
2 nodes answered within 1 s; in --artnet, ADDRESS is a fixture's DMX address (1 to 512).
"""


def test_the_command_prints_each_node_and_the_options_for_its_ports():
    with FakeNode([FOUR_PORTS, b"Art-Net\0", NO_PORTS]) as fake:
        done = subprocess.run([sys.executable, "-m", "gesturon_tools", "artnet-nodes", "--to",
                               f"{LOOPBACK}:{fake.port}", "--interface", LOOPBACK, "--timeout",
                               str(SECONDS)], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0 and done.stderr == ""
    table, _, note = done.stdout.partition("ADDRESS is a fixture's DMX address (1 to 512).\n")
    assert table + _ == TABLE.format(port=fake.port)
    assert note == "" or note.startswith("Note: port 6454 is in use here")


@pytest.mark.parametrize("replies", [[], [b"Art-Net\0", poll_reply(length=206)]],
                         ids=["silent", "only malformed replies"])
def test_no_node_answering_is_one_line_and_status_1(capsys, replies):
    with FakeNode(replies) as fake:
        status, out, err = run(capsys, "artnet-nodes", "--to", f"{LOOPBACK}:{fake.port}",
                               "--interface", LOOPBACK, "--timeout", "0.25")
    assert status == 1 and out == ""
    assert err == "gesturon: no Art-Net node answered within 0.25 s\n" or \
        err.startswith("gesturon: no Art-Net node answered within 0.25 s (port 6454 is in use")
    assert_one_line_error(err)


@pytest.mark.parametrize("argv, status, fragments", refusals([
    ([], 2, ["required: --to"]),
    (["--to", "255.255.255.255"], 2, ["reaches every network"]),
    (["--to", "224.0.0.1"], 2, ["multicast"]),
    (["--to", "[::1]"], 2, ["IPv4 only"]),
    (["--to", "node.local"], 2, ["must be an IPv4 address"]),
    (["--to", "127.0.0.1", "--timeout", "nan"], 2, ["more than 0 and at most 60 s, not nan"]),
    (["--to", "127.0.0.1", "--timeout", "soon"], 2, ["not a number of seconds"]),
    # TEST-NET-1: no machine has it, so nothing can listen on it.
    (["--to", "127.0.0.1:9", "--interface", "192.0.2.1"], 2, ["not an address of this machine"]),
]))
def test_bad_options_are_one_line_and_status_2(capsys, argv, status, fragments):
    assert_refused(capsys, ["artnet-nodes", *argv], status, fragments)
