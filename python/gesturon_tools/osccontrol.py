"""OSC control of a running show: `gesturon play SHOW.toml --osc-control
[ADDRESS:]PORT`, `gesturon console SHOW.toml --osc-control ...`, or the
show file's `[control] osc`. The guide is docs/control.md.

Each OSC message becomes one of the console's actions (`console.ACTIONS`)
and goes through `ShowControl.perform`, the very checks a page's message
goes through:

    /gesturon/cue NAME [beat|bar|phrase]    /gesturon/cue/NAME [beat|bar|phrase]
    /gesturon/next    /gesturon/tap    /gesturon/resync
    /gesturon/nudge PIPS                    /gesturon/tempo BPM

A button sends its press value (1, 1.0 or true) and then its release value
(0, 0.0 or false) to the same address: a message whose only argument is a
0 or false is a release and does nothing, so a button fires once. A bundle
is taken message by message, at once (its time tag is not waited for).

Nothing is sent back. A message that cannot be done (an unknown address,
wrong arguments, a datagram that is no OSC packet or longer than
`MAX_MESSAGE`, any refusal of the action) changes nothing: it is counted
and reported as one line on stderr, at most one line a second.
"""

from __future__ import annotations

import argparse
import ipaddress
import re
import socket
import struct
import sys
import threading
import time
from typing import TYPE_CHECKING, Any, Callable, Sequence, TextIO

from .catalogue import ToolError
from .outputs import MissingDependency, optional_module

if TYPE_CHECKING:
    from .commands.showfile import RunningShow
    from .console import ShowControl

PREFIX = "/gesturon/"
DEFAULT_HOST = "127.0.0.1"
REPORT_EVERY_S = 1.0     # at most one line about refused messages a second
POLL_S = 0.1             # how soon the receiving thread sees that it is to stop
NO_ARGUMENTS = ("next", "tap", "resync")
SHOWN = 60               # characters of an address shown in a report
REPORT_MOST = 300        # characters of a report (a refusal may quote a long cue name)
UNKNOWN = (f"unknown address (known: {PREFIX}cue, {PREFIX}cue/NAME, {PREFIX}next, {PREFIX}tap, "
           f"{PREFIX}nudge, {PREFIX}resync, {PREFIX}tempo)")


# ---- where to listen --------------------------------------------------------------------

def listen_address(value: object) -> tuple[str, int]:
    """`[ADDRESS:]PORT` (or a port number alone) as (address, port): the
    address an IP address, IPv6 in brackets, or localhost; 127.0.0.1 when
    left out. Port 0 is any free port. ValueError says what is wrong."""
    if isinstance(value, int) and not isinstance(value, bool):
        return DEFAULT_HOST, checked_port(value, str(value))
    if not isinstance(value, str):
        raise ValueError(f"expected \"[ADDRESS:]PORT\" or a port number, not {value!r}")
    text = value.strip()
    match = re.fullmatch(r"(?:\[([^\]]*)\]|([^:\[\]]*)):([^:]*)", text)
    if match is None:
        if text.count(":") > 1:
            raise ValueError(f"write an IPv6 address as [ADDRESS]:PORT, not {value!r}")
        host, port_text = DEFAULT_HOST, text
    else:
        host, port_text = match[1] if match[1] is not None else match[2], match[3]
        host = DEFAULT_HOST if host == "localhost" else host
        try:
            host = str(ipaddress.ip_address(host))
        except ValueError:
            raise ValueError(f"not an IP address: {host!r}") from None
    if not port_text.isdigit():
        raise ValueError(f"not a port number: {port_text!r}")
    return host, checked_port(int(port_text), port_text)


def checked_port(port: int, text: str) -> int:
    if not 0 <= port <= 65535:
        raise ValueError(f"port must be 0 (any free one) to 65535, not {text}")
    return port


def control_arg(text: str) -> tuple[str, int]:
    try:
        return listen_address(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def add_options(parser: argparse.ArgumentParser) -> None:
    """`--osc-control`, of `gesturon play` and `gesturon console`."""
    parser.add_argument("--osc-control", type=control_arg, metavar="[ADDRESS:]PORT",
                        help="with a show file: take its cues, tap, nudge, resync and tempo as "
                             "OSC messages on this UDP port (address default: 127.0.0.1); "
                             "overrides the show's [control] osc")


def check_option(args: argparse.Namespace, show_file: bool) -> None:
    if getattr(args, "osc_control", None) is not None and not show_file:
        raise ToolError("play: --osc-control needs a show file (SHOW.toml), not patterns",
                        status=2)


# ---- from an OSC message to an action ------------------------------------------------------

class Refusal(ValueError):
    """An OSC message that names no action, or not in a form it takes."""


def is_release(value: object) -> bool:
    return value is False or isinstance(value, (int, float)) and not isinstance(value, bool) \
        and value == 0


def float_text(value: float) -> str:
    """A float as the decimal it was sent as: OSC's 32-bit floats arrive
    widened (128.3 as 128.30000305...), so one that a 32-bit float holds
    exactly is the shortest decimal that reads back to it as one."""
    try:
        single = struct.pack(">f", value)
    except OverflowError:
        return repr(value)
    if struct.unpack(">f", single)[0] != value:
        return repr(value)
    for digits in range(1, 10):
        text = f"{value:.{digits}g}"
        try:
            if struct.pack(">f", float(text)) == single:
                return text
        except OverflowError:  # near the largest float, rounded up beyond it
            continue
    return repr(value)


def whole_number(value: object) -> object:
    """PIPS as sent: an int, a whole float, or text of a whole number, as
    an int; anything else as it is, for the action to refuse."""
    if isinstance(value, float) and value.is_integer():
        return int(value)
    if isinstance(value, str) and re.fullmatch(r"[+-]?[0-9]{1,9}", value.strip(" ")):
        return int(value.strip(" "))
    return value


def action_of(address: str, args: Sequence[Any]) -> dict[str, Any] | None:
    """The console action an OSC message asks for; None for a button's
    release. Refusal names what the address takes."""
    action, _, cue = address.removeprefix(PREFIX).partition("/")
    if not address.startswith(PREFIX) or cue and action != "cue" or \
            action not in ("cue", "nudge", "tempo") + NO_ARGUMENTS:
        raise Refusal(UNKNOWN)
    if len(args) == 1 and is_release(args[0]):
        return None
    if action == "cue" and cue:
        if len(args) > 1:
            raise Refusal("cue/NAME takes at most a unit (beat, bar or phrase) or a press value")
        if not args or args[0] is True or isinstance(args[0], (int, float)):
            return {"action": "cue", "cue": cue}
        return {"action": "cue", "cue": cue, "at": args[0]}
    if action == "cue":
        if not 1 <= len(args) <= 2:
            raise Refusal("cue takes the cue's name and at most a unit (beat, bar or phrase)")
        return {"action": "cue", "cue": args[0], **({"at": args[1]} if len(args) == 2 else {})}
    if action in NO_ARGUMENTS:
        if args and (len(args) > 1 or not (args[0] is True or isinstance(args[0], (int, float)))):
            raise Refusal(f"{action} takes no arguments, or a button's press value")
        return {"action": action}
    if len(args) != 1:
        raise Refusal(f"{action} takes one argument, "
                      f"{'a whole number of pips' if action == 'nudge' else 'the tempo in BPM'}")
    if action == "nudge":
        return {"action": "nudge", "pips": whole_number(args[0])}
    bpm = args[0]
    return {"action": "tempo", "bpm": float_text(bpm) if isinstance(bpm, float) else bpm}


class Malformed(ValueError):
    """A datagram that is neither an OSC message nor a bundle of them."""


BUNDLE = b"#bundle\0"
BUNDLE_HEADER = 16  # "#bundle", then the time tag


def messages_of(packet: bytes) -> list[bytes]:
    """The messages of an OSC packet in order: the packet itself, or every
    message of a bundle and of the bundles within it. Each element of a
    bundle must lie within it (python-osc's own bundle reader loops for
    ever on an element of negative size), so the bundles are taken apart
    here and only messages go to python-osc."""
    found: list[bytes] = []
    todo = [packet]
    while todo:
        packet = todo.pop()
        if packet.startswith(b"/"):
            found.append(packet)
            continue
        if not packet.startswith(BUNDLE) or len(packet) < BUNDLE_HEADER:
            raise Malformed("neither a message nor a bundle")
        elements, at = [], BUNDLE_HEADER
        while at < len(packet):
            size = int.from_bytes(packet[at:at + 4], "big")
            at += 4
            if not 0 < size <= len(packet) - at:
                raise Malformed("a bundle element that does not fit in the bundle")
            elements.append(packet[at:at + size])
            at += size
        todo.extend(reversed(elements))
    return found


# The argument types python-osc reads (it skips any other with a warning
# on stderr, which a sender could repeat a thousand times a datagram).
TYPE_TAGS = frozenset(b"ihfdsbrmtTFN[]")


def check_types(message: bytes) -> bytes:
    """`message`, when every argument's type tag is one python-osc reads."""
    end = message.find(b"\0")
    tags = message[(end // 4 + 1) * 4:].split(b"\0", 1)[0] if end >= 0 else b""
    unknown = set(tags[1:]) - TYPE_TAGS if tags.startswith(b",") else set()
    if unknown:
        raise Malformed(f"an argument of a type not read here: {chr(min(unknown))!r}")
    return message


def shown(text: str, most: int = SHOWN) -> str:
    """Text from the network as one printable line, cut short."""
    from .show import printable
    return printable(text[:most] + ("..." if len(text) > most else ""))


class OscActions:
    """Turns datagrams into actions on `control`, counts what each message
    came to (`done`, `refused`, `ignored`: a button's release) and reports
    refusals through `report` (one line each, at most one a `REPORT_EVERY_S`;
    those left out meanwhile are counted in the next line)."""

    def __init__(self, control: ShowControl, report: Callable[[str], None],
                 clock: Callable[[], float] = time.monotonic):
        from .console import MAX_MESSAGE
        self.osc = optional_module("pythonosc.osc_message", "--osc-control", "python-osc")
        self.control = control
        self.report = report
        self.clock = clock
        self.max_message = MAX_MESSAGE
        self.counts = {"done": 0, "refused": 0, "ignored": 0}
        self.reported_at: float | None = None
        self.unreported = 0

    def datagram(self, data: bytes, sender: str = "") -> list[str]:
        """Act on every message of one datagram; what each came to. A
        datagram that cannot be read whole is one refusal and nothing of
        it is done; an empty bundle is nothing."""
        where = f"from {sender}: " if sender else ""
        if len(data) > self.max_message:
            return [self.refuse(f"{where}a datagram of more than {self.max_message} bytes, "
                                f"dropped")]
        try:
            messages = [self.osc.OscMessage(check_types(message)) for message in messages_of(data)]
        except (Malformed, self.osc.ParseError) as error:
            return [self.refuse(f"{where}not an OSC packet ({shown(str(error))})")]
        except UnicodeDecodeError:  # python-osc reads an OSC string as UTF-8
            return [self.refuse(f"{where}not an OSC packet (a string that is not UTF-8)")]
        return [self.message(message.address, message.params, where) for message in messages]

    def message(self, address: str, args: Sequence[Any], where: str = "") -> str:
        try:
            action = action_of(address, args)
        except Refusal as refusal:
            return self.refuse(f"{where}{shown(address)}: {refusal}")
        if action is None:
            self.counts["ignored"] += 1
            return "ignored"
        reply = self.control.perform(action)
        if reply["type"] != "done":
            return self.refuse(f"{where}{shown(address)}: {reply['message']}")
        self.counts["done"] += 1
        return "done"

    def refuse(self, line: str) -> str:
        self.counts["refused"] += 1
        now = self.clock()
        if self.reported_at is not None and now - self.reported_at < REPORT_EVERY_S:
            self.unreported += 1
            return "refused"
        more = f" (and {self.unreported} more refused since)" if self.unreported else ""
        self.reported_at, self.unreported = now, 0
        self.report(f"osc control: {shown(line, REPORT_MOST)}{more}")
        return "refused"

    def summary(self) -> str:
        counts = self.counts
        return (f"osc control: {counts['done']} done, {counts['refused']} refused, "
                f"{counts['ignored']} release{'' if counts['ignored'] == 1 else 's'}")


# ---- the receiving socket --------------------------------------------------------------------

class OscReceiver:
    """A UDP socket bound at once, read by a thread of its own from
    `start()` until `close()`; whatever arrives goes to `OscActions`."""

    def __init__(self, control: ShowControl, host: str, port: int, out: TextIO,
                 err: TextIO | None = None):
        self.err = sys.stderr if err is None else err
        self.out = out
        self.actions = OscActions(control, self.report)
        self.socket = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET,
                                    socket.SOCK_DGRAM)
        try:
            self.socket.bind((host, port))
        except OSError as error:
            self.socket.close()
            raise ToolError(f"osc control: cannot listen on {host}:{port}: "
                            f"{error.strerror or error}") from None
        self.socket.settimeout(POLL_S)
        self.host, self.port = host, int(self.socket.getsockname()[1])
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.receive, name="gesturon osc control",
                                       daemon=True)

    def start(self) -> None:
        self.thread.start()

    def receive(self) -> None:
        size = self.actions.max_message + 1  # one byte more tells a longer datagram
        while not self.stopping.is_set():
            try:
                data, sender = self.socket.recvfrom(size)
            except (socket.timeout, InterruptedError):
                continue
            except OSError:
                if self.stopping.is_set():
                    return
                time.sleep(POLL_S)  # a fault of the socket, not of a sender: try again
                continue
            try:
                self.actions.datagram(data, f"{sender[0]}:{sender[1]}")
            except Exception as error:  # noqa: BLE001 (nothing from the network ends the show)
                # Counted and reported as a refusal, at most a line a second.
                self.actions.refuse(f"internal error: {type(error).__name__}: {error}")

    def report(self, line: str) -> None:
        try:
            # On a terminal the status line is redrawn in place: clear it
            # first, and it is drawn again under the report.
            clear = "\r\x1b[K" if self.err.isatty() else ""
            self.err.write(f"{clear}gesturon: {line}\n")
            self.err.flush()
        except (OSError, ValueError):  # stderr gone (SIGHUP): nowhere to report to
            pass

    def close(self) -> None:
        self.stopping.set()
        if self.thread.is_alive():
            self.thread.join()
        self.socket.close()
        try:
            self.out.write(self.actions.summary() + "\n")
            self.out.flush()
        except (OSError, ValueError):
            pass


def listen(address: tuple[str, int] | None, control: ShowControl, running: RunningShow,
           out: TextIO, command: str) -> OscReceiver | None:
    """The receiver for `address` (the command line's, else the show's
    [control] osc; None: neither), bound and announced; on failure the
    show's player and source are closed, and ToolError says why."""
    address = address or running.show.osc_control
    if address is None:
        return None
    try:
        receiver = OscReceiver(control, *address, out=out)
    except (ToolError, MissingDependency) as error:
        running.player.close()
        running.source.close()
        raise ToolError(f"{command}: {error}") from None
    host = f"[{receiver.host}]" if ":" in receiver.host else receiver.host
    out.write(f"osc control: {host}:{receiver.port}\n")
    if not ipaddress.ip_address(receiver.host).is_loopback:
        out.write("osc control: OSC has no authentication: any sender that reaches this port "
                  "can cue the show\n")
    out.flush()
    return receiver
