"""A gesturon player in a Link session, for the tests: run inside the
private network namespace that `in_private_network` makes, never on the
host's interfaces (it refuses to start where there is any interface but
loopback).

    python linkpeer.py --bpm 100 [--lead] --peers 1 --at LINK_US,... [--tempo LINK_US:BPM]

Joins the session, waits for `--peers` other peers, and after each Link
instant of `--at` (microseconds of Link's clock) prints one JSON line: the
instant, the player's pip and frame there, the session's beat there and
the tempos. With `--tempo` it sets the session's tempo at that instant.
The first line reports first contact: how long after the peers appeared
the clock was on the session's beat, and how far off it was.

    python linkpeer.py --bpm 150 --lead --osc PORT [--join-after S] [--jump BEATS,...]

is a peer that watches a player instead: it receives the player's OSC
messages on 127.0.0.1:PORT from the start, joins the session `--join-after`
seconds later (then, with `--jump`, forces the session's beat that many
beats away, and on by the next number half a second later, ...), and when
the messages have stopped prints one JSON line per message: its pip and
arguments, the Link instant it arrived and the session's pip then (null
before the peer joined).
"""

from __future__ import annotations

import argparse
import json
import socket
import sys
import time
from fractions import Fraction

from gesturon_tools.live import Player
from gesturon_tools.sync import make_source
from gesturon_tools.linkclock import LinkSource

TRACKS = ["circle", "helix", "beat_house_classic_figure8", "dialogue_3_4_5", "euclid_3_7"]


def only_loopback() -> bool:
    return [name for _, name in socket.if_nameindex()] == ["lo"]


def in_private_network(command: list[str]) -> list[str]:
    """`command` in a new network namespace with only loopback, up and
    carrying multicast, so Link's discovery stays inside it."""
    setup = ("ip link set lo up && ip link set lo multicast on && "
             "ip route add 224.0.0.0/4 dev lo && exec \"$@\"")
    return ["unshare", "--net", "sh", "-c", setup, "sh", *command]


def link_now_us() -> int:
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 1000


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--bpm", default="120")
    parser.add_argument("--lead", action="store_true")
    parser.add_argument("--peers", type=int, default=1)
    parser.add_argument("--at", default="")
    parser.add_argument("--tempo", default="")
    parser.add_argument("--osc", type=int)
    parser.add_argument("--join-after", type=float, default=0)
    parser.add_argument("--jump", default="")
    args = parser.parse_args()
    if not only_loopback():
        sys.exit("linkpeer: refusing to run Link outside a private network namespace")
    if args.osc is not None:
        return watch(args)
    source = make_source("link", bpm=args.bpm, lead=args.lead)
    assert isinstance(source, LinkSource)
    player = Player(TRACKS, [], source.clock)
    deadline = time.monotonic() + 20
    # First contact: the poll that first saw a peer jumped the clock to the
    # session (the source polls every 10 ms). Measured at once, before more
    # peers arrive: a peer that joins later may merge its session into this
    # one and move the beat a little, which the clock then follows smoothly
    # rather than by a jump.
    while source.contacts < 2 and args.peers:
        if time.monotonic() > deadline:
            sys.exit("linkpeer: no peers")
        time.sleep(0.0005)
    link_us, clock_ns = source.measure()
    error = source.clock.beats_at(clock_ns) - source.session_beats(link_us)
    while source.peers < args.peers:
        if time.monotonic() > deadline:
            sys.exit("linkpeer: no peers")
        time.sleep(0.001)
    print(json.dumps({"contact_error_pips": float(error * 64), "peers": source.peers}), flush=True)
    changes = {int(at): bpm for at, bpm in (part.split(":") for part in args.tempo.split(",") if part)}
    for at in sorted({int(t) for t in args.at.split(",") if t} | set(changes)):
        while link_now_us() < at:
            time.sleep(0.005)
        if at in changes:
            source.set_tempo(Fraction(changes[at]))
            continue
        pip = source.clock.pip_at(source.link_to_clock(at))
        frame = player.frame(pip)
        print(json.dumps({"at": at, "pip": pip,
                          "positions": [[p.x.hex(), p.y.hex(), p.z.hex()] for p in frame.positions],
                          "session_pips": float(source.session_beats(at) * 64),
                          "clock_pips": float(source.clock.beats_at(source.link_to_clock(at)) * 64), "tempo": float(source.tempo), "clock_bpm": float(source.clock.bpm),
                          "offset_ns": source.offset_ns}), flush=True)
    source.close()


def watch(args: argparse.Namespace) -> None:
    from pythonosc.osc_message import OscMessage
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", args.osc))
    udp.settimeout(0.05)
    joining = time.monotonic() + args.join_after
    jumps = [Fraction(jump) for jump in args.jump.split(",") if jump]
    jump_at = 0.0
    source: LinkSource | None = None
    received: list[tuple[bytes, int, float | None]] = []
    deadline = until = time.monotonic() + 30   # then 1.5 s after the last message
    while time.monotonic() < until:
        if source is None and time.monotonic() >= joining:
            made = make_source("link", bpm=args.bpm, lead=args.lead)
            assert isinstance(made, LinkSource)
            source = made
        if source is not None and jumps and source.contacts >= 2 and time.monotonic() > jump_at:
            # Another application forcing the session's beat: every peer
            # jumps. (Once the source has met the player and, leading, set
            # the tempo: a state it commits then would undo the beat.)
            time.sleep(0.1 if not jump_at else 0)
            link_us, _ = source.measure()
            state = source._link.captureAppSessionState()  # (the source has no such call)
            beat = state.beatAtTime(link_us, source.epoch) + float(jumps.pop(0))
            state.forceBeatAtTime(beat, link_us, source.epoch)
            source._link.commitAppSessionState(state)
            jump_at = time.monotonic() + 0.5
        try:
            data = udp.recv(1024)
        except TimeoutError:
            continue
        at = link_now_us()
        session = None if source is None else float(source.session_beats(at) * 64)
        received.append((data, at, session))
        until = min(deadline, time.monotonic() + 1.5)
    if source is not None:
        source.close()
    for data, at, session in received:
        message = OscMessage(data)
        *xyz, pip = message.params
        print(json.dumps({"address": message.address, "pip": pip, "xyz": [v.hex() for v in xyz],
                          "at": at, "session_pips": session}))


if __name__ == "__main__":
    main()
