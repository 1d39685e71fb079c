"""Following an Ableton Link session: DJ applications, DAWs and other
gesturon players on the network sharing one tempo and one beat.

Link keeps its own clock (on Linux the raw monotonic clock, in
microseconds), which is not the clock a `BeatClock` reads. The source
measures where one lies against the other on every poll: it reads the
player's clock just before and just after Link's and keeps the narrowest
of a few such brackets, so the offset is known to a microsecond or two and
any drift between the two clocks is followed.

The session's beat is read as its phase over a long cycle (the quantum
times 65536: about 30 hours at 140 BPM in 4/4), which every peer of the
session shares; so every gesturon player in the session plays the same
pip, and the same positions, at the same moment, whichever joined first.
On first contact, and whenever the session moves by more than a quarter of
a beat at once (a peer joining, a beat forced by another application), the
clock jumps to the session; in between it follows smoothly. Whatever plans
on the clock's pips (a show's timeline) follows a jump through the clock's
`on_jump`.

Needs LinkPython-extern (`pip install 'gesturon[sync]'`).
"""

from __future__ import annotations

import importlib
import threading
import time
from fractions import Fraction
from types import ModuleType
from typing import TYPE_CHECKING

from .clock import BeatClock, exact_tempo

if TYPE_CHECKING:
    import link

INSTALL_HINT = "pip install 'gesturon[sync]'"
POLL_NS = 10_000_000         # how often the session is read
BRACKETS = 5                 # clock readings around Link's, the narrowest kept
EPOCH_BARS = 65536           # the shared cycle of beats, in quanta
JUMP_BEATS = Fraction(1, 4)  # a larger gap is met by a jump, not a catch-up


def link_module() -> ModuleType:
    from .outputs import MissingDependency
    try:
        return importlib.import_module("link")
    except ImportError:
        raise MissingDependency(f"Ableton Link needs the LinkPython-extern package: "
                                f"{INSTALL_HINT}") from None


class LinkSource:
    """A `BeatClock` following the Link session.

    `quantum`: the beats of a bar as Link shares it (default: the clock's
    meter), so that everyone's bar 1 falls together. `lead=True` sets the
    session's tempo to the clock's first tempo on joining and whenever
    another peer joins; otherwise the clock takes the session's.
    `start=False` leaves the polling to the caller (`poll()`), for a program
    that runs its own loop.
    """

    kind = "link"

    def __init__(self, clock: BeatClock, *, quantum: int | None = None, lead: bool = False,
                 start: bool = True):
        module = link_module()
        self.clock = clock
        self.quantum = clock.meter.beats_per_bar if quantum is None else quantum
        self.epoch = float(self.quantum * EPOCH_BARS)
        self.lead = lead
        self.lead_bpm = clock.bpm    # the tempo a leader sets
        self.failure: Exception | None = None  # what stopped the polling thread
        self.peers = 0
        self.had_peers = False
        self.offset_ns = 0           # the clock's time minus Link's, measured
        self.tempo = clock.bpm       # the session's, as last read
        self.contacts = 0            # jumps to the session so far
        self._first = True
        self._link: link.Link = module.Link(float(clock.bpm))
        self._link_clock = self._link.clock()
        self._link.enabled = True
        self._stop = threading.Event()
        self._thread: threading.Thread | None = None
        if start:
            self.poll()
            self._thread = threading.Thread(target=self._run, name="gesturon link", daemon=True)
            self._thread.start()

    def _run(self) -> None:
        while not self._stop.wait(POLL_NS / 1e9):
            try:
                self.poll()
            except Exception as error:  # reported on the status line; the clock runs on
                self.failure = error
                return

    # ---- the two clocks ------------------------------------------------------------

    def measure(self) -> tuple[int, int]:
        """(Link's time in microseconds, the clock's nanoseconds then),
        from the narrowest of a few readings bracketed by the clock."""
        now, micros = self.clock.now_ns, self._link_clock.micros
        best: tuple[int, int, int] | None = None
        for _ in range(BRACKETS):
            before = now()
            link_us = micros()
            after = now()
            if best is None or after - before < best[0]:
                best = (after - before, link_us, (before + after) // 2)
        assert best is not None
        return best[1], best[2]

    def link_to_clock(self, link_us: int) -> int:
        """An instant of Link's clock on the player's clock, in nanoseconds."""
        return link_us * 1000 + self.offset_ns

    # ---- following -----------------------------------------------------------------

    def session_beats(self, link_us: int) -> Fraction:
        """The session's beat at Link instant `link_us`, as every peer reads it."""
        state = self._link.captureAppSessionState()
        return Fraction(state.phaseAtTime(link_us, self.epoch))

    def poll(self) -> None:
        """Read the session and move the clock to it."""
        link_us, clock_ns = self.measure()
        self.offset_ns = clock_ns - link_us * 1000
        peers = self._link.numPeers()
        # First contact with a session. Meeting one again after every peer
        # had gone (a network blip) is no jump unless the beat moved.
        joined = peers > 0 and not self.had_peers
        grown = peers > self.peers
        if self.lead and (self._first or grown):
            # Sessions that meet take one tempo, not necessarily ours: a
            # leader sets it again whenever someone joins.
            state = self._link.captureAppSessionState()
            state.setTempo(float(self.lead_bpm), link_us)
            self._link.commitAppSessionState(state)
        state = self._link.captureAppSessionState()
        tempo = exact_tempo(Fraction(state.tempo()))
        beat = Fraction(state.phaseAtTime(link_us, self.epoch))
        self.tempo = tempo
        clock = self.clock
        gap = (beat - clock.beats_at(clock_ns)) % Fraction(self.epoch)
        gap = min(gap, Fraction(self.epoch) - gap)
        if self._first or joined or gap > JUMP_BEATS:
            self._first = False
            self.contacts += 1
            clock.set_tempo(tempo, clock_ns)
            clock.locate(beat, clock_ns)
        else:
            clock.follow(beat, clock_ns, bpm=tempo, cycle=Fraction(self.epoch))
        # Counted only now, so whoever sees the peers sees the clock on the
        # session already.
        self.peers = peers
        self.had_peers |= peers > 0

    def wait_for_peers(self, seconds: float) -> bool:
        """Wait up to `seconds` for another peer (and the clock on the
        session's beat); whether one came."""
        deadline = time.monotonic() + seconds
        while self.peers == 0 and time.monotonic() < deadline:
            time.sleep(POLL_NS / 4e9)
        return self.peers > 0

    def set_tempo(self, bpm: float | Fraction) -> None:
        """Set the session's tempo now (every peer follows); a leader
        leads with it from now on."""
        tempo = exact_tempo(bpm)
        if self.lead:
            self.lead_bpm = tempo
        link_us, _ = self.measure()
        state = self._link.captureAppSessionState()
        state.setTempo(float(tempo), link_us)
        self._link.commitAppSessionState(state)

    # ---- reporting -----------------------------------------------------------------

    @property
    def lost(self) -> bool:
        """Every peer has left (or the session can no longer be read); the
        clock runs on at the last tempo."""
        return self.failure is not None or (self.had_peers and self.peers == 0)

    def status(self) -> str:
        if self.failure is not None:
            return f"Link FAILED: {self.failure}"
        if self.lost:
            return "Link LOST: no peers"
        if self.peers == 0:
            return "Link, no peers yet"
        return f"Link, {self.peers} peer{'s' if self.peers != 1 else ''}"

    def close(self) -> None:
        self._stop.set()
        if self._thread is not None:
            self._thread.join()
            self._thread = None
        self._link.enabled = False
