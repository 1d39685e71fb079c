"""Tap tempo, downbeat and nudge from keys pressed on the terminal while
`gesturon play --tap` runs: space (or t) taps the beat, enter marks the
downbeat, ',' and '.' nudge the motion a sixteenth earlier or later.

The terminal is put in cbreak mode (keys arrive at once, unechoed) and set
back as it was on closing. Each key is stamped with the clock's time as it
is read, so a tap counts where it was pressed, not where the player's next
frame happens to be.
"""

from __future__ import annotations

import os
import select
import sys
import termios
import threading
import tty
from typing import Any, TextIO

from .clock import PIPS_PER_BEAT
from .sync import ManualSource, Source

NUDGE_PIPS = PIPS_PER_BEAT // 4


class TapKeys:
    """Reads keys from `stream` (default: standard input) in a thread of
    its own and hands them to `source`."""

    def __init__(self, source: Source, stream: TextIO | None = None):
        if not isinstance(source, ManualSource):
            raise ValueError("tapping needs a tempo given by hand, not one that follows a source")
        self.source = source
        self.fd = (sys.stdin if stream is None else stream).fileno()
        if not os.isatty(self.fd):
            raise ValueError("--tap reads keys from a terminal, and standard input is not one")
        self._saved: list[Any] = termios.tcgetattr(self.fd)
        tty.setcbreak(self.fd)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._read, name="gesturon keys", daemon=True)
        self._thread.start()

    def _read(self) -> None:
        while not self._stop.is_set():
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if not ready:
                continue
            at = self.source.clock.now_ns()
            data = os.read(self.fd, 64)
            if not data:
                return
            for key in data.decode("latin-1"):
                self.press(key, at)

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
        self._stop.set()
        self._thread.join()
        termios.tcsetattr(self.fd, termios.TCSADRAIN, self._saved)
