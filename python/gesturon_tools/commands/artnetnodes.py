"""`gesturon artnet-nodes`: the Art-Net nodes of a network, found by one
ArtPoll, with the `--artnet` value of each of their output ports.

    gesturon artnet-nodes --to ADDRESS[:PORT] [--timeout S] [--interface ADDRESS]

`--to` is required: the poll goes to one node, or to the broadcast address
of the network the user names, never to every network by default.
"""

from __future__ import annotations

import argparse
from typing import TYPE_CHECKING, Callable, TextIO, TypeVar

from ..artnet import (ARTNET_PORT, MAX_POLL_SECONDS, POLL_SECONDS, Node, Poll,
                      check_poll_address, check_poll_seconds)
from ..catalogue import Catalogue, ToolError
from ..outputs import check_ipv4
from .common import Parser, host_port

if TYPE_CHECKING:
    from .common import Subcommands

T = TypeVar("T")
R = TypeVar("R")
HEADER = ("NODE", "BIND", "FIRMWARE", "SHORT NAME", "LONG NAME", "REPORT")


def checked(check: Callable[[T], R], value: T) -> R:
    """`check(value)`, a ValueError it raises as a bad value of an option."""
    try:
        return check(value)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def poll_address_arg(text: str) -> tuple[str, int]:
    """ADDRESS[:PORT]: a node's IPv4 address or a network's broadcast address."""
    if text.startswith("[") or text.count(":") > 1:
        raise argparse.ArgumentTypeError(f"Art-Net is IPv4 only, not {text!r}")
    address, port = host_port(text, ARTNET_PORT)
    return checked(check_poll_address, address), port


def interface_arg(text: str) -> str:
    return checked(lambda address: check_ipv4(address, "the interface"), text)


def seconds_arg(text: str) -> float:
    try:
        seconds = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text!r}") from None
    return checked(check_poll_seconds, seconds)


def add_parser(commands: Subcommands) -> Parser:
    nodes = commands.add_parser(
        "artnet-nodes", help="find the Art-Net nodes of a network and their universes",
        description="Send one ArtPoll and list the Art-Net nodes that answer: address, names, "
                    "firmware, status, and for each output port the --artnet value that plays "
                    "to it.")
    nodes.add_argument("--to", required=True, type=poll_address_arg, metavar="ADDRESS[:PORT]",
                       help="a node's address, or the broadcast address of the lighting network "
                            f"(e.g. 2.255.255.255); port {ARTNET_PORT} unless given")
    nodes.add_argument("--timeout", type=seconds_arg, default=POLL_SECONDS, metavar="S",
                       help=f"seconds to wait for replies, at most {MAX_POLL_SECONDS:g} (default "
                            f"{POLL_SECONDS:g}: every node answers within that)")
    nodes.add_argument("--interface", type=interface_arg, metavar="ADDRESS",
                       help="send from and listen on this local address (its interface)")
    nodes.set_defaults(run=run)
    return nodes


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    to, port = args.to
    try:
        with Poll(to, interface=args.interface, port=port) as poll:
            nodes = poll.replies(args.timeout)
            listened = poll.local_port
    except ValueError as error:
        raise ToolError(str(error), status=2) from None
    except OSError as error:
        raise ToolError(f"cannot poll {to}: {error.strerror or error}") from None
    note = "" if listened == ARTNET_PORT else (
        f"port {ARTNET_PORT} is in use here, so replies were awaited on port {listened}: "
        f"nodes that answer only to port {ARTNET_PORT} were not heard")
    if not nodes:
        raise ToolError(f"no Art-Net node answered within {args.timeout:g} s"
                        + (f" ({note})" if note else ""))
    print_nodes(nodes, "" if port == ARTNET_PORT else f":{port}", out)
    print(f"{len(nodes)} {'node' if len(nodes) == 1 else 'nodes'} answered within "
          f"{args.timeout:g} s; in --artnet, ADDRESS is a fixture's DMX address (1 to 512).",
          file=out)
    if note:
        print(f"Note: {note}.", file=out)


def print_nodes(nodes: list[Node], port: str, out: TextIO) -> None:
    """One row a node, then a line for each of its output ports with the
    options that play to it."""
    rows = [HEADER] + [(n.address, str(n.bind_index), str(n.firmware), n.short_name, n.long_name,
                        n.report) for n in nodes]
    widths = [max(len(row[i]) for row in rows) for i in range(len(HEADER) - 1)]
    right = (False, True, True, False, False)

    def line(row: tuple[str, ...]) -> str:
        cells = [cell.rjust(w) if r else cell.ljust(w) for cell, w, r in zip(row, widths, right)]
        return "  ".join(cells + [row[-1]]).rstrip()

    print(line(HEADER), file=out)
    for node, row in zip(nodes, rows[1:]):
        print(line(row), file=out)
        for number, universe in enumerate(node.outputs, 1):
            print(f"  port {number}: --artnet {universe}/ADDRESS --artnet-to {node.address}{port}",
                  file=out)
        if not node.outputs:
            print("  no output ports", file=out)
