"""Shows: what a frame costs when every track plays through a chain of
three transforms, next to the same tracks played plain.

Both players sample 100 stored patterns at the same pips; the transformed
ones add a scale, a rotation and a speed change (a chain is compiled into
one map when it is built, so the goal is at most 1.5 times the plain frame).
"""

from __future__ import annotations

import time

import gesturon

from gesturon_tools.clock import BeatClock
from gesturon_tools.compose import transform
from gesturon_tools.live import Player, Track
from measure import figure

TRACKS = 100
RATIO_TARGET = 1.5


def players() -> tuple[Player, Player]:
    names = [r["name"] for r in gesturon.catalogue()[15:15 + TRACKS]]
    clock = BeatClock(120, 0, now_ns=lambda: 0)
    plain = Player([Track(name, 0, f"t{i}") for i, name in enumerate(names)], [], clock)
    chains = [Track(transform(name).scale(0.5, 0.75).rotate(30).speed("3/4"), 0, f"t{i}")
              for i, name in enumerate(names)]
    return plain, Player(chains, [], clock)


def frame_seconds(players: tuple[Player, ...], frames: int = 2000) -> list[float]:
    """The quickest frame of each player over `frames` frames at consecutive
    pips, the players taking turns frame by frame so that both see the same
    load on a shared machine (the quickest is the least disturbed)."""
    best = [float("inf")] * len(players)
    for pip in range(frames):
        for k, player in enumerate(players):
            start = time.perf_counter()
            player.frame(pip)
            best[k] = min(best[k], time.perf_counter() - start)
    return best


def run() -> None:
    plain_s, chained_s = frame_seconds(players())
    figure(f"a frame of {TRACKS} plain tracks", f"{plain_s * 1e6:8.1f} us")
    figure(f"a frame of {TRACKS} tracks behind three transforms", f"{chained_s * 1e6:8.1f} us")
    ratio = chained_s / plain_s
    figure("  transformed next to plain", f"x{ratio:5.2f}", f"x{RATIO_TARGET}", ratio <= RATIO_TARGET)


if __name__ == "__main__":
    run()
