"""What every subcommand of `gesturon` shares: the parser whose errors are
one line, the argument types (numbers, pips, beats, tempo, frame rate,
HOST:PORT) and the rule that turns a failure into one line on stderr and
an exit status.

Exit statuses: 2 for a command line that cannot be understood (unknown
option, bad number, unknown pack), 1 for everything else (unknown
pattern, nothing matching a filter, a file that cannot be written), 130
for Ctrl-C before a player takes over the signal.
"""

from __future__ import annotations

import argparse
import ipaddress
import os
import re
import sys
from fractions import Fraction
from typing import TYPE_CHECKING, Callable, NoReturn, TextIO, TypeAlias, TypeVar

from ..catalogue import INT32_MAX, INT32_MIN, PIPS_PER_BEAT, Catalogue, ToolError
from ..clock import exact_tempo
from ..meter import MAX_BEATS_PER_BAR
from ..numbers import OutOfRange, exact_text

if TYPE_CHECKING:
    from argparse import _SubParsersAction

__all__ = ["ToolError"]  # raised by the commands, reported by `report_failures`

HOSTNAME = re.compile(r"(?!-)[A-Za-z0-9-]{1,63}(?<!-)(\.(?!-)[A-Za-z0-9-]{1,63}(?<!-))*\.?")


class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are one line and an exit status,
    never a usage dump."""

    def error(self, message: str) -> NoReturn:
        command = self.prog.removeprefix("gesturon").strip()
        raise ToolError(f"{command + ': ' if command else ''}{message} "
                        f"(see '{self.prog} --help')", status=2)


if TYPE_CHECKING:
    # What each command module adds its subcommand to.
    Subcommands: TypeAlias = _SubParsersAction[Parser]

ParserType = TypeVar("ParserType", bound=argparse.ArgumentParser)

Run = Callable[[argparse.Namespace, Catalogue, TextIO], None]


def report_failures(command: Callable[[], None]) -> int:
    """Runs `command` and returns the exit status: 0, or the status of the
    failure after writing it as one line on stderr."""
    try:
        command()
        return 0
    except ToolError as error:
        # A name from the command line may hold bytes that are not UTF-8
        # (kept as surrogates): they are shown escaped, whatever stderr is.
        print(f"gesturon: {error}".encode("utf-8", "backslashreplace").decode("utf-8"), file=sys.stderr)
        return error.status
    except SystemExit as done:  # --help, --version
        return done.code if isinstance(done.code, int) else 0
    except BrokenPipeError:
        # The reader went away (`gesturon list | head`): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except KeyboardInterrupt:
        return 130
    except Exception as error:  # a fault of the tool itself: still one line
        print(f"gesturon: internal error: {type(error).__name__}: {error}", file=sys.stderr)
        return 1


# ---- numbers ------------------------------------------------------------------------

def int_arg(text: str) -> int:
    try:
        return int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None


def positive_int(text: str) -> int:
    value = int_arg(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {text}")
    return value


def pip_arg(text: str, last: int = INT32_MAX) -> int:
    value = int_arg(text)
    if not INT32_MIN <= value <= last:
        raise argparse.ArgumentTypeError(
            f"{text} is outside the pip range {INT32_MIN}..{last}")
    return value


def stop_pip_arg(text: str) -> int:
    """The pip after the last one, so one more than the last pip may be."""
    return pip_arg(text, INT32_MAX + 1)


def beats_arg(text: str) -> int:
    """A number of beats (fractions allowed) as a pip count."""
    try:
        beats = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of beats: {text!r}") from None
    if not beats * PIPS_PER_BEAT >= 1:  # also refuses nan
        raise argparse.ArgumentTypeError(f"must cover at least one pip, not {text}")
    if beats * PIPS_PER_BEAT > INT32_MAX:
        raise argparse.ArgumentTypeError(f"{text} beats is beyond the pip range")
    return round(beats * PIPS_PER_BEAT)


def spread_arg(text: str) -> int:
    """A number of beats that is a whole number of pips, as pips."""
    try:
        pips: Fraction | None = exact_text(text.strip(), "spread") * PIPS_PER_BEAT
    except OutOfRange:
        pips = None
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of beats: {text!r}") from None
    if pips is None or abs(pips) > INT32_MAX:
        raise argparse.ArgumentTypeError(f"{text} beats is beyond the pip range")
    if pips.denominator != 1:
        raise argparse.ArgumentTypeError(f"{text} beats is not a whole number of pips "
                                         f"(1/{PIPS_PER_BEAT} beat)")
    return int(pips)


def bar_arg(text: str) -> int:
    """A number of beats to the bar (and Link's quantum): 1 to 64."""
    try:
        beats = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number of beats: {text!r}") from None
    if not 1 <= beats <= MAX_BEATS_PER_BAR:
        raise argparse.ArgumentTypeError(f"must be 1 to {MAX_BEATS_PER_BAR} beats, not {text}")
    return beats


# ---- time -------------------------------------------------------------------------------

def bpm_arg(text: str) -> Fraction:
    """A tempo, read exactly ("128", "128.5", "385/3")."""
    try:
        return exact_tempo(text.strip())
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def fps_arg(text: str) -> int | None:
    """Frames a second, or `pip` (None) for one frame on every pip."""
    from ..live import MAX_FPS  # the live player, only for commands that take a frame rate

    if text == "pip":
        return None
    try:
        fps = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a frame rate: {text!r} "
                                         "(a whole number, or 'pip')") from None
    if not 1 <= fps <= MAX_FPS:
        raise argparse.ArgumentTypeError(f"frame rate must be 1 to {MAX_FPS}, not {text}")
    return fps


# ---- addresses ----------------------------------------------------------------------

def host_port(text: str, default_port: int | None = None) -> tuple[str, int]:
    """HOST:PORT (or [IPv6]:PORT); the port may be left out when there is
    a default. The host is checked for form only; it is resolved when the
    output is made."""
    match = re.fullmatch(r"\[([^\]]*)\](?::(.*))?|([^:]*)(?::(.*))?", text)
    assert match is not None  # the pattern matches every string without two colons
    if match.group(1) is not None:
        host, port_text = match.group(1), match.group(2)
        try:
            ipaddress.IPv6Address(host)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not an IPv6 address: {host!r}") from None
    else:
        host, port_text = match.group(3), match.group(4)
        check_host(host)
    if port_text is None:
        if default_port is None:
            raise argparse.ArgumentTypeError(f"expected HOST:PORT, not {text!r}")
        return host, default_port
    try:
        port = int(port_text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a port number: {port_text!r}") from None
    if not 1 <= port <= 65535:
        raise argparse.ArgumentTypeError(f"port must be 1 to 65535, not {port_text}")
    return host, port


def check_host(host: str) -> None:
    if not host:
        raise argparse.ArgumentTypeError("the host is missing")
    if all(label.isdigit() for label in host.rstrip(".").split(".")):
        try:
            ipaddress.IPv4Address(host)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not an IPv4 address: {host!r}") from None
    elif len(host) > 253 or not HOSTNAME.fullmatch(host):
        raise argparse.ArgumentTypeError(f"not a host name: {host!r}")

