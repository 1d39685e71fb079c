"""Running show files: `gesturon play SHOW.toml [--cue NAME]` and
`gesturon check SHOW.toml`.

A show starts at its first cue (or `--cue`) at bar 1. A cue list in key
mode advances to the next cue on the next bar whenever space or Enter is
pressed on the terminal (or a line arrives on a piped standard input); a
timeline starts each cue on its bar. The status line shows the cue
playing and what comes next.
"""

from __future__ import annotations

import argparse
import os
import select
import sys
import threading
from fractions import Fraction
from typing import TYPE_CHECKING, Any, Callable, TextIO

from .catalogue import PIPS_PER_BEAT, Catalogue, ToolError
from .clock import BeatClock
from .commands.running import StatusLine, stop_on_interrupt
from .compose import Named
from .live import Output, Player, Track
from .outputs import OSC_DEFAULT_ADDRESS, MissingDependency
from .show import Show, ShowError, ShowErrors, load
from .showoutputs import OUTPUT_KINDS

if TYPE_CHECKING:
    from argparse import _SubParsersAction

    from .commands.common import ParserType

KEYS = b" \n\r"


def is_show_file(names: list[str]) -> bool:
    return len(names) == 1 and names[0].lower().endswith(".toml")


# ---- gesturon check -----------------------------------------------------------------------

def add_check_parser(commands: _SubParsersAction[ParserType]) -> ParserType:
    check = commands.add_parser(
        "check", help="check a show file and print every mistake with its place",
        description="Read a show file and check all of it: every mistake is printed with its "
                    "table and key (and line, for a TOML syntax error).")
    check.add_argument("show", metavar="SHOW.toml")
    check.set_defaults(run=run_check)
    return check


def run_check(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    try:
        show = load_show(args.show, catalogue)
    except ShowErrors as errors:
        for line in errors.lines():
            print(line, file=out)
        out.flush()
        raise ToolError(str(errors)) from None
    dmx = sum(fixture is not None for fixture in show.fixtures.values())
    print(f"{args.show}: ok: {len(show.fixtures)} fixtures ({dmx} on DMX), "
          f"{len(show.cues)} cues, outputs: {', '.join(o.kind for o in show.outputs) or 'none'}",
          file=out)


def load_show(path: str, catalogue: Catalogue) -> Show:
    return load(path, known=lambda name: Named(name, catalogue.source))


# ---- gesturon play SHOW -----------------------------------------------------------------------

class CueRunner:
    """Steps a player through a show's cues; `advance()` is safe from any
    thread (the key reader calls it)."""

    def __init__(self, show: Show, player: Player, start: str):
        self.show = show
        self.player = player
        self.order = show.order()
        # The place in the list of the cue last asked for; the cue playing
        # (place, name); a cue asked for (place, name, the pip it lands on).
        self.index = self.order.index(start) if start in self.order else -1
        self.playing = (self.index, start)
        self.pending: tuple[int, str, int] | None = None
        self._lock = threading.Lock()

    def request(self, cue: str, at_pip: int | None = None) -> int:
        patterns = self.show.cue_patterns(cue)
        spec = self.show.cues[cue]
        labels = list(patterns)
        return self.player.cue(labels, [patterns[label] for label in labels], at_pip=at_pip,
                               fade_beats=Fraction(spec.fade, PIPS_PER_BEAT), ease=spec.ease)

    def advance(self) -> None:
        """The next cue of the list on the next bar (the last cue stays)."""
        with self._lock:
            if self.index + 1 >= len(self.order):
                return
            self.index += 1
            cue = self.order[self.index]
            self.pending = (self.index, cue, self.request(cue))

    def schedule_timeline(self) -> None:
        """Every later cue of a timeline on its bar."""
        assert self.show.cue_list is not None
        bars = self.show.cue_list.bars
        for i in range(self.index + 1, len(self.order)):
            self.request(self.order[i], self.show.meter.bar_start(bars[i]))

    def text(self, pip: int) -> str:
        """What the status line says of the cues at `pip`."""
        meter = self.show.meter
        if self.show.cue_list is not None and self.show.cue_list.mode == "timeline":
            bars = self.show.cue_list.bars
            at = max((i for i in range(len(self.order)) if meter.bar_start(bars[i]) <= pip),
                     default=max(self.index, 0))
            nxt = (f"  next {self.order[at + 1]} at {meter.format(meter.bar_start(bars[at + 1]))}"
                   if at + 1 < len(self.order) else "")
            return f"cue {at + 1}/{len(self.order)} {self.order[at]}{nxt}"
        with self._lock:
            if self.pending is not None and pip >= self.pending[2]:
                self.playing, self.pending = self.pending[:2], None
            (place, name), pending, count = self.playing, self.pending, len(self.order)
        if pending is not None:
            what = f"  -> {pending[1]} at {meter.format(pending[2])}"
        elif place + 1 < count:
            what = f"  next {self.order[place + 1]} [space]"
        else:
            what = "  (last cue)"
        return f"cue {place + 1}/{count} {name}{what}" if place >= 0 else f"cue {name}{what}"


class KeyReader:
    """Calls `press` for every space or Enter read from descriptor `fd` (a
    terminal, put in cbreak mode until closed, or a pipe: one press per
    line), in a thread of its own, until closed or the input ends."""

    def __init__(self, fd: int, press: Callable[[], None]):
        self.press = press
        self.fd = fd
        self.stop_event = threading.Event()
        self.saved: Any = None
        if os.isatty(self.fd):
            import termios
            import tty
            self.saved = termios.tcgetattr(self.fd)
            tty.setcbreak(self.fd)
        self.thread = threading.Thread(target=self.run, name="gesturon keys", daemon=True)
        self.thread.start()

    def run(self) -> None:
        while not self.stop_event.is_set():
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if not ready:
                continue
            data = os.read(self.fd, 64)
            if not data:
                return
            for byte in data:
                if byte in KEYS:
                    self.press()

    def close(self) -> None:
        self.stop_event.set()
        self.thread.join()
        if self.saved is not None:
            import termios
            termios.tcsetattr(self.fd, termios.TCSADRAIN, self.saved)


def input_fd() -> int | None:
    """The standard input's descriptor, when there is one to read keys from."""
    try:
        return sys.stdin.fileno() if sys.stdin is not None and not sys.stdin.closed else None
    except (OSError, ValueError):  # replaced by an object without a descriptor
        return None


def build_outputs(show: Show) -> list[Output]:
    outputs: list[Output] = []
    try:
        for spec in show.outputs:
            outputs.append(OUTPUT_KINDS[spec.kind].build(spec.settings, show.patch))
    except (MissingDependency, ValueError, OSError) as error:
        for output in outputs:
            output.close()
        raise ToolError(f"play: {spec.place}: {error}") from None
    return outputs


def refuse_output_options(args: argparse.Namespace) -> None:
    """A show file sets all of its outputs: an output option given with one
    would be silently ignored, so it is refused (--final and --dry-run,
    which are not outputs' settings, stay)."""
    from .playoutputs import add_output_options
    options = argparse.ArgumentParser(add_help=False)
    add_output_options(options)
    defaults = vars(options.parse_args([]))
    defaults.update(osc=None, osc_address=OSC_DEFAULT_ADDRESS, osc_double=False, sacn=[],
                    sacn_to=None)
    for option, default in defaults.items():
        if option not in ("final", "dry_run") and getattr(args, option, default) != default:
            raise ToolError(f"play: a show file sets its own outputs; leave out "
                            f"--{option.replace('_', '-')}", status=2)


def run_show(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    path = args.names[0]
    refuse_output_options(args)
    if args.spread:
        raise ToolError("play: a show file sets its own spreads; leave out --spread", status=2)
    try:
        show = load_show(path, catalogue)
        start = args.cue or show.order()[0]
        patterns = show.start_patterns(start)
    except ShowErrors as errors:
        raise ToolError("; ".join(errors.lines()) if len(errors.errors) == 1 else
                        f"{path}: {len(errors.errors)} mistakes; see 'gesturon check {path}'") from None
    except ShowError as error:
        raise ToolError(f"play: --cue: {error}", status=2) from None
    tracks = [Track(patterns[label], 0, label) for label in show.labels]
    outputs = [] if args.dry_run else build_outputs(show)
    clock = BeatClock(args.bpm if args.bpm is not None else show.bpm, meter=show.meter)
    player = Player(tracks, outputs, clock, fps=args.fps or 100, per_pip=args.fps is None,
                    source=catalogue.source, final=args.final or show.final)
    runner = CueRunner(show, player, start)
    status = StatusLine(player, out, more=runner.text)
    if args.dry_run:  # the frames are printed instead of sent
        from .playoutputs import FramePrinter
        status.live = False
        player.outputs += (FramePrinter(out, clock.meter.format),)
    player.outputs += (status,)
    keys: KeyReader | None = None
    start_bar = 1
    if show.cue_list is not None and show.cue_list.mode == "timeline" and start in runner.order:
        start_bar = show.cue_list.bars[runner.order.index(start)]
        runner.schedule_timeline()
    elif show.cue_list is None or show.cue_list.mode == "key":
        fd = input_fd()
        keys = KeyReader(fd, runner.advance) if fd is not None else None
    until = None if args.beats is None else show.meter.bar_start(start_bar) + args.beats
    with stop_on_interrupt(player.stop):
        try:
            clock.locate(Fraction(show.meter.bar_start(start_bar), PIPS_PER_BEAT))
            player.run(until_pip=until)
        except OSError as error:
            raise ToolError(f"play: cannot send: {error.strerror or error}") from None
        finally:
            if keys is not None:
                keys.close()
            player.close()

