"""Keys pressed on the terminal while a player runs: a reader that hands
each key to a callback in a thread of its own (show files step their cues
with it), and tap tempo, downbeat and nudge for `gesturon play --tap`:
space (or t) taps the beat, enter marks the downbeat, ',' and '.' nudge the
motion a sixteenth earlier or later.

A terminal is put in cbreak mode (keys arrive at once, unechoed) and set
back as it was on closing. Each tap is stamped with the clock's time as it
is read, so it counts where it was pressed, not where the player's next
frame happens to be.
"""

from __future__ import annotations

import os
import select
import sys
import threading
from typing import Any, Callable, TextIO

from .clock import PIPS_PER_BEAT
from .sync import ManualSource, Source

NUDGE_PIPS = PIPS_PER_BEAT // 4


class KeyReader:
    """Calls `press` with every byte read from descriptor `fd` (a terminal,
    put in cbreak mode until closed, or a pipe: a line ends in a newline),
    in a thread of its own, until closed or the input ends."""

    def __init__(self, fd: int, press: Callable[[int], None]):
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
                self.press(byte)

    def close(self) -> None:
        self.stop_event.set()
        self.thread.join()
        if self.saved is not None:
            import termios
            termios.tcsetattr(self.fd, termios.TCSADRAIN, self.saved)


class TapKeys:
    """Reads keys from `stream` (default: standard input), a terminal, in a
    thread of its own and hands them to `source`."""

    def __init__(self, source: Source, stream: TextIO | None = None):
        if not isinstance(source, ManualSource):
            raise ValueError("tapping needs a tempo given by hand, not one that follows a source")
        self.source = source
        self.fd = (sys.stdin if stream is None else stream).fileno()
        if not os.isatty(self.fd):
            raise ValueError("--tap reads keys from a terminal, and standard input is not one")
        self._keys = KeyReader(self.fd, self._pressed)

    def _pressed(self, byte: int) -> None:
        self.press(chr(byte), self.source.clock.now_ns())

    def press(self, key: str, at_ns: int) -> None:
        source = self.source
        if key in " t":
            source.tap(at_ns)
        elif key in "\r\n":
            source.downbeat(at_ns)
        elif key == ",":
            source.nudge(-NUDGE_PIPS, at_ns)
        elif key == ".":
            source.nudge(NUDGE_PIPS, at_ns)

    def close(self) -> None:
        self._keys.close()
