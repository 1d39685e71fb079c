"""How punctually the live player sends its frames, in real time, and what
a frame costs. Prints figures; never fails on them.

Each run plays to OSC and sACN outputs aimed at UDP sockets bound to
127.0.0.1 (nothing leaves the machine) and prints frames sent, late and
dropped frames, and how far after its instant each frame began. On an idle
machine no frame should be late; on a busy one the figures show how busy.

    python3 bench/live_bench.py [SECONDS]
"""

from __future__ import annotations

import os
import socket
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

from gesturon_tools.artnet import ArtNetOutput  # noqa: E402
from gesturon_tools.live import (BeatClock, Fixture, OscOutput, Player,  # noqa: E402
                                 SacnOutput, row)


def sink() -> socket.socket:
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 0))
    return udp


class Lateness:
    """Records, for each frame, how long after its instant it began."""

    def __init__(self, clock: BeatClock):
        self.clock = clock
        self.delays: list[int] = []

    def send(self, frame) -> None:  # type: ignore[no-untyped-def]
        self.delays.append(self.clock.now_ns() - frame.time_ns)

    def close(self) -> None:
        pass


def real_time(title: str, seconds: float, bpm: int, **kw: object) -> None:
    osc_sink, dmx_sink = sink(), sink()
    clock = BeatClock(bpm)
    lateness = Lateness(clock)
    fixtures = [Fixture(1, 1 + 8 * i, "pan pan_fine tilt tilt_fine z 255", track=i)
                for i in range(8)]
    outputs = [lateness, OscOutput("127.0.0.1", osc_sink.getsockname()[1]),
               SacnOutput(fixtures, "127.0.0.1", dmx_sink.getsockname()[1])]
    player = Player(row("helix", 8, 8), outputs, clock, **kw)  # type: ignore[arg-type]
    clock.locate(0)
    player.run(until_pip=int(seconds * bpm / 60 * 64))
    player.close()
    delays = sorted(lateness.delays)
    stats = player.stats
    us = [d / 1000 for d in delays]
    print(f"{title:<34} {stats.frames:>6} frames  {stats.late:>4} late  "
          f"{stats.dropped:>4} dropped   start after instant: median {statistics.median(us):7.1f} us,"
          f" 99% {us[int(len(us) * 0.99)]:8.1f} us, worst {us[-1]:8.1f} us")
    for stream in player.streams[1:]:  # the outputs at a rate of their own (sACN: 44)
        print(f"{f'  and sACN at {stream.fps}/s':<34} {stream.stats.frames:>6} frames  "
              f"{stream.stats.late:>4} late  {stream.stats.dropped:>4} dropped")
    osc_sink.close()
    dmx_sink.close()


def frame_cost() -> None:
    """Sampling 8 tracks and encoding and sending them over OSC and sACN,
    without waiting: what one frame costs the player's thread."""
    osc_sink, dmx_sink = sink(), sink()
    clock = BeatClock(120, 0, now_ns=lambda: 0)
    fixtures = [Fixture(1, 1 + 8 * i, "pan pan_fine tilt tilt_fine z 255", track=i)
                for i in range(8)]
    for title, outputs in (
            ("sampling only", []),
            ("OSC, 8 messages", [OscOutput("127.0.0.1", osc_sink.getsockname()[1])]),
            ("sACN, 8 fixtures in 1 universe",
             [SacnOutput(fixtures, "127.0.0.1", dmx_sink.getsockname()[1])]),
            ("Art-Net, 8 fixtures in 1 universe",
             [ArtNetOutput(fixtures, "127.0.0.1", dmx_sink.getsockname()[1])])):
        player = Player(row("helix", 8, 8), outputs, clock)
        count = 2000
        start = time.perf_counter_ns()
        for k in range(count):
            player.play_frame(k * 10_000_000)
        cost = (time.perf_counter_ns() - start) / count / 1000
        player.close()
        print(f"{title:<34} {cost:8.1f} us per frame")
    osc_sink.close()
    dmx_sink.close()


def main() -> None:
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    print(f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    print("\n== cost of one frame")
    frame_cost()
    print(f"\n== real time, {seconds:g} s each (late: begun over a quarter frame after "
          "its instant)")
    real_time("100 frames/s at 128 BPM", seconds, 128)
    real_time("once per pip at 174 BPM", seconds, 174, per_pip=True)


if __name__ == "__main__":
    main()
