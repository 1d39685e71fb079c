"""Running show files: `gesturon play SHOW.toml [--cue NAME]` and
`gesturon check SHOW.toml`.

A show starts at its first cue (or `--cue`) at bar 1, its beat from the
source its [tempo] names. A cue list in key mode advances to the next cue
on the next bar whenever space or Enter is pressed on the terminal (or a
line arrives on a piped standard input); a timeline starts each cue on
its bar. With a tapped tempo, t taps, d marks the downbeat and , and .
nudge. The status line shows the beat source, the cue playing and what
comes next. `open_show` and `play_show` are what `gesturon console` runs
too.
"""

from __future__ import annotations

import argparse
import sys
import threading
from dataclasses import dataclass
from fractions import Fraction
from typing import TYPE_CHECKING, NamedTuple, Protocol, Sequence, TextIO

from ..catalogue import PIPS_PER_BEAT, Catalogue, ToolError
from ..compose import Named
from ..linkclock import LinkSource
from ..midiclock import MidiClockSource
from ..live import Output, Player, Track
from ..meter import Unit
from ..outputs import OSC_DEFAULT_ADDRESS, MissingDependency
from ..show import Show, ShowError, ShowErrors, load
from ..showoutputs import OUTPUT_KINDS
from ..sync import ManualSource, Source, make_source
from ..tapkeys import NUDGE_PIPS, KeyReader
from .running import Closable, StatusLine, play_to_the_end

if TYPE_CHECKING:
    from argparse import _SubParsersAction

    from .common import ParserType

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

class CueState(NamedTuple):
    name: str
    place: int
    next: str | None
    lands: int | None


class CueRunner:
    """Steps a player through a show's cues; `advance()` is safe from any
    thread (the key reader calls it)."""

    def __init__(self, show: Show, player: Player, start: str):
        self.show = show
        self.player = player
        self.order = show.order()
        # The place in the list of the cue last asked for; the cue playing
        # (place, name); a cue asked for (place, name, the pip it lands on).
        self.start = start
        self.index = self.order.index(start) if start in self.order else -1
        self.playing = (self.index, start)
        self.pending: tuple[int, str, int] | None = None
        # The clock's pip at the show's bar 1: a timeline's bars are counted
        # from it (following a Link session, a bar line of the session);
        # the pips the clock had jumped over when it was set. Following a
        # MIDI clock the show's bars are the song's, where its Start and Song
        # Position Pointer put them (`song_bars`): a jump does not move them.
        self.origin = 0
        self.skipped = 0
        self.song_bars = False
        self._lock = threading.Lock()

    def request(self, cue: str, at_pip: int | None = None, unit: Unit = "bar",
                fade: bool = True) -> int:
        patterns = self.show.cue_patterns(cue)
        given = self.show.cues[cue]
        labels = list(patterns)
        return self.player.cue(labels, [patterns[label] for label in labels], at=unit,
                               at_pip=at_pip,
                               fade_beats=Fraction(given.fade if fade else 0, PIPS_PER_BEAT),
                               ease=given.ease)

    def fire(self, cue: str, unit: Unit = "bar") -> int:
        """Cue `cue` on the next beat, bar or phrase, as the player's own
        `cue` places it; a cue of the list moves the list on to it.
        Returns the pip it lands on."""
        if cue not in self.show.cues:
            raise ValueError(f"no cue {cue!r} (the show has {', '.join(self.show.cues)})")
        with self._lock:
            pip = self.request(cue, unit=unit)
            place = self.order.index(cue) if cue in self.order else -1
            if place >= 0:
                self.index = place
            self.pending = (place, cue, pip)
        return pip

    def advance(self) -> None:
        """The next cue of the list on the next bar (the last cue stays)."""
        with self._lock:
            if self.index + 1 >= len(self.order):
                return
            self.index += 1
            cue = self.order[self.index]
            self.pending = (self.index, cue, self.request(cue))

    def bar_pip(self, bar: int) -> int:
        """The clock's pip at the downbeat of the show's bar `bar`."""
        return self.origin + self.show.meter.bar_start(bar)

    def schedule_timeline(self, here: int | None = None) -> None:
        """Every later cue of a timeline on its bar; planning afresh at pip
        `here`, the starting cue and those whose bar has passed from `here`
        on (without their fades)."""
        assert self.show.cue_list is not None
        bars = self.show.cue_list.bars
        if here is not None:
            self.request(self.start, here, fade=False)
        for i in range(self.order.index(self.start) + 1 if self.start in self.order else 0,
                       len(self.order)):
            at = self.bar_pip(bars[i])
            self.request(self.order[i], at if here is None else max(at, here),
                         fade=here is None or at > here)

    def follow_jump(self, at_ns: int | None = None) -> None:
        """The clock has jumped at instant `at_ns` (default: now).

        Following a MIDI clock the jump is the song's own (a Start, a Song
        Position Pointer, a Continue after Stop): the show's bars are the
        song's and stay where they are, so a jump back plays them again and
        a jump ahead passes over them. Following Link (a session met late, a
        beat forced in it) the show keeps its place: its bars move with the
        jump, onto the clock's bar line nearest to where they went. The end
        of the run moves with the bars.

        Either way the plans follow the clock's pip: after a jump back,
        what played goes on playing and cues may land on the pips played
        again; a cue asked for lands on the next bar from the clock's pip
        (after a jump ahead over its pip, it has landed with the jump); a
        timeline's cues are planned afresh: the cues whose bar has passed
        at once, the others on their bars."""
        bar, player, clock = self.show.meter.pips_per_bar, self.player, self.player.clock
        t = clock.now_ns() if at_ns is None else at_ns
        jump, self.skipped = clock.skipped - self.skipped, clock.skipped
        if jump == 0:
            return
        moved = 0 if self.song_bars else (self.origin + jump + bar // 2) // bar * bar - self.origin
        self.origin += moved
        if player.until_pip is not None:
            player.until_pip += moved - jump if player.travelled else moved
        here = clock.pip_at(t)
        if jump < 0:
            player.cues.rewind(here, here - jump)
        if self.show.cue_list is not None and self.show.cue_list.mode == "timeline":
            self.schedule_timeline(here)
            return
        with self._lock:
            if self.pending is not None and self.pending[2] <= max(here, here - jump):
                self.playing, self.pending = self.pending[:2], None
            if self.pending is not None:
                place, cue, _ = self.pending
                self.pending = (place, cue, self.request(cue))

    def state(self, pip: int) -> CueState:
        """The cue playing at `pip`, its place in the list (from 0; -1 for
        a cue outside it), the next one and the pip it lands on when it is
        already asked for (else None)."""
        if self.show.cue_list is not None and self.show.cue_list.mode == "timeline":
            bars = self.show.cue_list.bars
            # Cues before the starting one are not played.
            first = self.order.index(self.start) if self.start in self.order else 0
            at = max((i for i in range(first, len(self.order)) if self.bar_pip(bars[i]) <= pip),
                     default=max(self.index, 0))
            if at + 1 < len(self.order):
                return CueState(self.order[at], at, self.order[at + 1], self.bar_pip(bars[at + 1]))
            return CueState(self.order[at], at, None, None)
        with self._lock:
            if self.pending is not None and pip >= self.pending[2]:
                self.playing, self.pending = self.pending[:2], None
            (place, name), pending = self.playing, self.pending
        if pending is not None:
            return CueState(name, place, pending[1], pending[2])
        following = self.order[place + 1] if place + 1 < len(self.order) else None
        return CueState(name, place, following, None)

    def text(self, pip: int) -> str:
        """What the status line says of the cues at `pip`."""
        meter = self.show.meter
        state = self.state(pip)
        count = len(self.order)
        if self.show.cue_list is not None and self.show.cue_list.mode == "timeline":
            nxt = (f"  next {state.next} at {meter.format(state.lands)}"
                   if state.lands is not None else "")
            return f"cue {state.place + 1}/{count} {state.name}{nxt}"
        if state.lands is not None:
            what = f"  -> {state.next} at {meter.format(state.lands)}"
        elif state.next is not None:
            what = f"  next {state.next} [space]"
        else:
            what = "  (last cue)"
        return (f"cue {state.place + 1}/{count} {state.name}{what}" if state.place >= 0
                else f"cue {state.name}{what}")


def input_fd() -> int | None:
    """The standard input's descriptor, when there is one to read keys from."""
    try:
        return sys.stdin.fileno() if sys.stdin is not None and not sys.stdin.closed else None
    except (OSError, ValueError):  # replaced by an object without a descriptor
        return None


def build_outputs(show: Show) -> list[Output]:
    outputs: list[Output] = []
    try:
        for given in show.outputs:
            outputs.append(OUTPUT_KINDS[given.kind].build(given.settings, show.patch))
    except (MissingDependency, ValueError, OSError) as error:
        for output in outputs:
            output.close()
        raise ToolError(f"play: {given.place}: {error}") from None
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


def show_source(show: Show, bpm: Fraction | None = None) -> Source:
    """The beat source a show's [tempo] names, starting at `bpm` (default:
    the show's own)."""
    kind = "manual" if show.source in ("fixed", "tap") else show.source
    try:
        return make_source(kind, bpm=show.bpm if bpm is None else bpm, meter=show.meter,
                           port=show.sync.get("port"), quantum=show.sync.get("quantum"),
                           lead=show.sync.get("lead", False))
    except ValueError as error:
        raise ToolError(f"play: [tempo]: {error}", status=2) from None
    except (MissingDependency, OSError) as error:
        raise ToolError(f"play: [tempo]: {error}") from None


@dataclass
class RunningShow:
    """A show set up to play: its beat source, its player (outputs built,
    the status line last) and the cue runner that steps it, from bar
    `start_bar` until `beats` beats later (None: until stopped)."""
    show: Show
    source: Source
    player: Player
    runner: CueRunner
    start_bar: int
    beats: int | None

    def begin(self) -> int | None:
        """Put the show's first bar on the clock and plan its cues; the pip
        its run ends at (on the clock's travel following Link), None
        without `beats`. Following Link this waits for the session first."""
        from .play import LINK_JOIN_SECONDS
        show, source, runner, clock = self.show, self.source, self.runner, self.source.clock
        start = show.meter.bar_start(self.start_bar)
        first = start
        if isinstance(source, LinkSource):
            source.wait_for_peers(LINK_JOIN_SECONDS)  # start on the session's beat
            # The show's first bar begins on the session's next bar line
            # (until then its first cue plays), and its beats count from there.
            here, travel = clock.travel_at(clock.now_ns())
            runner.origin = show.meter.next_boundary(here - 1) - start
            runner.skipped = here - travel
            first = travel + runner.origin + start - here
        else:
            if isinstance(source, MidiClockSource):
                # The song's bars are the show's: until the drum machine
                # says where the song is, the show's first bar begins now.
                runner.song_bars = True
                source.follower.place(Fraction(start, PIPS_PER_BEAT), clock.now_ns())
            else:
                clock.locate(Fraction(start, PIPS_PER_BEAT))
            runner.skipped = clock.skipped
        if show.cue_list is not None and show.cue_list.mode == "timeline":
            runner.schedule_timeline()
        clock.on_jump.append(runner.follow_jump)
        return None if self.beats is None else first + self.beats

    def press(self, key: int) -> None:
        """A key from the terminal: space or Enter steps a key-mode cue list;
        with a tapped tempo, t taps, d marks the downbeat and , and . nudge
        a sixteenth earlier or later."""
        source = self.source
        if key in KEYS:
            if self.show.cue_list is None or self.show.cue_list.mode == "key":
                self.runner.advance()
        elif self.show.source == "tap" and isinstance(source, ManualSource):
            if key == ord("t"):
                source.tap()
            elif key == ord("d"):
                source.downbeat()
            elif key in b",.":
                source.nudge(NUDGE_PIPS if key == ord(".") else -NUDGE_PIPS)


def open_show(args: argparse.Namespace, catalogue: Catalogue, out: TextIO,
              command: str = "play", more_outputs: Sequence[Output] = ()) -> RunningShow:
    """Everything a show file needs to play, set up from the command line
    (`args.names[0]` the file; --cue, --bpm, --fps, --beats, --final), with
    `more_outputs` fed the player's own frames before the status line."""
    path = args.names[0]
    try:
        show = load_show(path, catalogue)
        start = args.cue or show.order()[0]
        patterns = show.start_patterns(start)
    except ShowErrors as errors:
        raise ToolError("; ".join(errors.lines()) if len(errors.errors) == 1 else
                        f"{path}: {len(errors.errors)} mistakes; see 'gesturon check {path}'") from None
    except ShowError as error:
        raise ToolError(f"{command}: --cue: {error}", status=2) from None
    tracks = [Track(patterns[label], 0, label) for label in show.labels]
    source = show_source(show, args.bpm)
    dry_run = getattr(args, "dry_run", False)
    try:
        outputs = [] if dry_run else build_outputs(show)
    except ToolError:
        source.close()
        raise
    player = Player(tracks, outputs, source.clock, fps=args.fps or 100, per_pip=args.fps is None,
                    source=catalogue.source, final=args.final or show.final)
    runner = CueRunner(show, player, start)
    status = StatusLine(player, out, source, more=runner.text)
    if dry_run:  # the frames are printed instead of sent
        from .playoutputs import FramePrinter
        status.live = False
        player.outputs += (FramePrinter(out, show.meter.format),)
    player.outputs += tuple(more_outputs) + (status,)
    start_bar = 1
    if show.cue_list is not None and show.cue_list.mode == "timeline" and start in runner.order:
        start_bar = show.cue_list.bars[runner.order.index(start)]
    return RunningShow(show, source, player, runner, start_bar, args.beats)


class Listener(Closable, Protocol):
    def start(self) -> None: ...


def play_show(running: RunningShow, listener: Listener | None = None) -> None:
    """Play a show that `open_show` set up, in the calling thread, until its
    beats are played or it is stopped (Ctrl-C, SIGTERM, SIGHUP, also while
    joining a Link session); then send the final frame and close the
    outputs and the source. A `listener` (OSC control) starts once the
    show's first bar is on the clock, and is closed with the rest."""
    show, source, player = running.show, running.source, running.player
    keys: KeyReader | None = None
    if show.cue_list is None or show.cue_list.mode == "key" or show.source == "tap":
        fd = input_fd()
        keys = KeyReader(fd, running.press) if fd is not None else None

    def begin(closing: list[Closable]) -> int | None:
        if keys is not None:
            closing.append(keys)
        if listener is not None:
            closing.append(listener)
        until = running.begin()
        if listener is not None:
            listener.start()
        return until

    play_to_the_end(player, source, begin)


def run_show(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    refuse_output_options(args)
    if args.spread:
        raise ToolError("play: a show file sets its own spreads; leave out --spread", status=2)
    for option in ("link", "midi_clock", "tap", "quantum", "lead"):
        if getattr(args, option, None):
            raise ToolError(f"play: a show file names its own beat source ([tempo] source); "
                            f"leave out --{option.replace('_', '-')}", status=2)
    if getattr(args, "console", False):
        from ..console import run_console
        return run_console(args, catalogue, out, "play")
    from ..console import ShowControl
    from ..osccontrol import listen
    running = open_show(args, catalogue, out)
    play_show(running, listen(args.osc_control, ShowControl(running), running, out, "play"))
