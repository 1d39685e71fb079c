"""What the commands that play live share: the status line, redrawn in
place on a terminal, stopping cleanly on Ctrl-C, SIGTERM or SIGHUP, and
running a player to its end with its outputs and beat source closed."""

from __future__ import annotations

import signal
import threading
from fractions import Fraction
from types import FrameType
from typing import Any, Callable, Protocol, TextIO

from ..catalogue import ToolError
from ..linkclock import LinkSource
from ..live import Frame, Player, Stats
from ..meter import Meter
from .playoutputs import streams_text
from ..sync import Source

STATUS_EVERY_NS = 100_000_000  # the live line is redrawn at most ten times a second
STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def status_text(stats: Stats, bpm: Fraction, frame: Frame | None = None, *,
                meter: Meter = Meter(), source: str = "") -> str:
    """The status after `frame`, which the other outputs have sent already
    but the player has not counted yet; after the last counted frame
    without one. `source` says where the beat comes from and how it is."""
    frames = stats.frames + (frame is not None)
    last = frame or stats.last
    where = meter.format(last.pip) if last is not None else "-"
    tempo = f"{float(bpm):.2f}".rstrip("0").rstrip(".")
    dropped = f" ({stats.dropped} dropped)" if stats.dropped else ""
    beat_source = f"  {source}" if source else ""
    return f"{where}  {tempo} BPM{beat_source}  {frames} frames  {stats.late} late{dropped}"


class StatusLine:
    """The live status line, redrawn in place on a terminal; the last of
    the player's outputs. `more(pip)` adds to it (a show's cues)."""

    def __init__(self, player: Player, out: TextIO, source: Source | None = None,
                 more: Callable[[int], str] | None = None):
        self.player = player
        self.out = out
        self.source = source
        self.live = out.isatty()
        self.drawn_at: int | None = None
        self.more = more

    def text(self, frame: Frame | None = None) -> str:
        clock = self.player.clock
        text = status_text(self.player.stats, clock.bpm, frame, meter=clock.meter,
                           source="" if self.source is None else self.source.status())
        last = frame or self.player.stats.last
        if self.more is not None and last is not None:
            text += "  " + self.more(last.pip)
        return text

    def send(self, frame: Frame) -> None:
        if not self.live:
            return
        if self.drawn_at is not None and frame.time_ns - self.drawn_at < STATUS_EVERY_NS:
            return
        self.drawn_at = frame.time_ns
        self.out.write("\r" + self.text(frame) + streams_text(self.player) + "\x1b[K")
        self.out.flush()

    def close(self) -> None:
        text = self.text() + streams_text(self.player)
        try:
            self.out.write(("\r" + text + "\x1b[K\n") if self.live else text + "\n")
            self.out.flush()
        except OSError:  # the terminal went away (SIGHUP): nowhere to report to
            pass


class stop_on_interrupt:
    """Ctrl-C (SIGINT), a service manager's SIGTERM and a closed terminal's
    SIGHUP call `stop` instead of ending the program wherever it happens to
    be, so the player ends after the frame in progress, sends its final
    frame, closes its outputs properly (sACN streams terminated) and
    reports; a stop asked for is a success."""

    def __init__(self, stop: Callable[[], None]):
        self.stop = stop
        self.previous: dict[int, Any] = {}

    def handle(self, signum: int, frame: FrameType | None) -> None:
        self.stop()

    def __enter__(self) -> None:
        # Only the main thread may set signal handlers (and receives signals).
        # A signal the program was started to ignore (`nohup`, a background
        # job) stays ignored.
        if threading.current_thread() is threading.main_thread():
            for signum in STOP_SIGNALS:
                if signal.getsignal(signum) is not signal.SIG_IGN:
                    self.previous[signum] = signal.signal(signum, self.handle)

    def __exit__(self, *exc: object) -> None:
        for signum, previous in self.previous.items():
            signal.signal(signum, previous)



def first_pip(source: Source) -> int:
    """The pip now as `play_to_the_end` counts it (following a Link
    session, on the clock's travel): where a run's beats count from."""
    pip, travel = source.clock.travel_at(source.clock.now_ns())
    return travel if isinstance(source, LinkSource) else pip


class Closable(Protocol):
    def close(self) -> None: ...


def play_to_the_end(player: Player, source: Source, begin: Callable[[list[Closable]], int | None]) -> None:
    """Plays until the pip `begin` returns (None: until stopped), after
    `begin` has set the clock up (it may wait, joining a Link session, and
    may add things to close, such as a terminal's key reader). A stop
    asked for meanwhile counts too. Then the final frame is sent, and the
    outputs, whatever `begin` added and the source are closed.

    Following a Link session the pip `begin` returns is one of the clock's
    travel (`BeatClock.travel_at`): a jump to the session's beat (a peer
    joining late, a beat forced) neither cuts the run short nor makes it
    longer."""
    travelled = isinstance(source, LinkSource)
    stopping = threading.Event()
    closing: list[Closable] = []

    def stop() -> None:
        stopping.set()
        player.stop()

    with stop_on_interrupt(stop):
        try:
            until = begin(closing)
            try:
                if not stopping.is_set():
                    player.run(until_pip=until, travelled=travelled)
            finally:
                player.close()  # the final frame, and sACN streams ended
        except OSError as error:
            raise ToolError(f"play: cannot send: {error.strerror or error}") from None
        finally:
            for thing in closing:
                thing.close()
            source.close()
