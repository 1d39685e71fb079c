"""Beat sources: how closely a Link-following player keeps to the session's
beat, how soon it is on the beat after first contact, and how fast and how
well the MIDI clock estimator reads a jittery clock. Prints figures only.

The Link part runs in a network namespace of its own (`unshare --net`, as
root), so no Link traffic reaches the machine's interfaces; it is left out
where no such namespace can be made. GESTURON_BENCH_SYNC_SECONDS shortens
the minute of following (for example to 5 for a quick run).
"""

from __future__ import annotations

import json
import math
import os
import socket
import statistics
import subprocess
import sys
import time
from pathlib import Path

from measure import figure

from gesturon_tools.clock import BeatClock
from gesturon_tools.midiclock import PULSES_PER_BEAT, MidiClockIn, TempoEstimator, pulses

LINK_BPM = 174
FOLLOW_SECONDS = float(os.environ.get("GESTURON_BENCH_SYNC_SECONDS", "60"))
ALIGN_TARGET_MS = 100
MIDI_BPM = 128
MIDI_JITTER_NS = 1_000_000
MIDI_TARGET_BPM = 0.1
MIDI_RUNS = 200


def midi_estimator() -> None:
    errors, settled = [], []
    for seed in range(MIDI_RUNS):
        estimator = TempoEstimator()
        stream = pulses(lambda beat: MIDI_BPM, 8, jitter_ns=MIDI_JITTER_NS, seed=seed)
        readings = []
        for message, t in stream:
            estimator.feed(message, t)
            if message.type == "clock":
                readings.append(math.inf if estimator.bpm is None else estimator.bpm)
        errors.append(abs(readings[2 * PULSES_PER_BEAT] - MIDI_BPM))  # the pulse after two beats
        # Settled: from this pulse on, always within the target.
        inside = [abs(r - MIDI_BPM) < MIDI_TARGET_BPM for r in readings]
        last_outside = max((i for i, ok in enumerate(inside) if not ok), default=-1)
        settled.append((last_outside + 1) / PULSES_PER_BEAT)
    errors.sort()
    worst95 = errors[int(0.95 * len(errors)) - 1]
    label = f"MIDI clock {MIDI_BPM} BPM, ±1 ms jitter, after 2 beats"
    figure(f"{label}: mean error", f"{statistics.mean(errors):.3f} BPM",
           f"< {MIDI_TARGET_BPM} BPM", statistics.mean(errors) < MIDI_TARGET_BPM)
    figure(f"  95th percentile of {MIDI_RUNS} runs", f"{worst95:.3f} BPM", f"< {MIDI_TARGET_BPM} BPM",
           worst95 < MIDI_TARGET_BPM)
    figure("  worst run", f"{errors[-1]:.3f} BPM")
    figure(f"  settled within {MIDI_TARGET_BPM} BPM after (median)",
           f"{statistics.median(settled):.2f} beats", "< 2 beats", statistics.median(settled) < 2)
    figure("  estimator cost per pulse", f"{pulse_cost_us(TempoEstimator()):.1f} µs")
    figure("  with a beat clock following it", f"{pulse_cost_us(MidiClockIn(BeatClock(120))):.1f} µs")


def pulse_cost_us(target: TempoEstimator | MidiClockIn) -> float:
    stream = pulses(lambda beat: MIDI_BPM, 200, jitter_ns=MIDI_JITTER_NS)
    start = time.perf_counter()
    for message, t in stream:
        target.feed(message, t)
    return (time.perf_counter() - start) / len(stream) * 1e6


# ---- Link, inside a private network namespace -----------------------------------------

def link_inside() -> None:
    """Runs in the namespace: a session at 174 BPM led by one Link peer, a
    player's clock following it through `LinkSource`; prints one JSON line."""
    import link
    from gesturon_tools.linkclock import LinkSource
    if [name for _, name in socket.if_nameindex()] != ["lo"]:
        sys.exit("refusing to run Link outside a private network namespace")
    leader = link.Link(float(LINK_BPM))
    leader.enabled = True
    source = LinkSource(BeatClock(97))
    # First contact: from the instant the follower's Link sees the leader to
    # the first instant its clock is within a pip of the session.
    while source._link.numPeers() == 0:
        time.sleep(0.0002)
    seen = time.monotonic_ns()
    while True:
        link_us, clock_ns = source.measure()
        if abs(source.clock.beats_at(clock_ns) - source.session_beats(link_us)) * 64 < 1:
            break
        time.sleep(0.0002)
    aligned_ms = (time.monotonic_ns() - seen) / 1e6
    state = leader.captureAppSessionState()
    state.setTempo(float(LINK_BPM), leader.clock().micros())
    leader.commitAppSessionState(state)
    time.sleep(2)
    errors = []
    end = time.monotonic() + FOLLOW_SECONDS
    while time.monotonic() < end:
        link_us, clock_ns = source.measure()
        errors.append(abs(float((source.clock.beats_at(clock_ns)
                                 - source.session_beats(link_us)) * 64)))
        time.sleep(0.003)
    tempo = float(source.clock.bpm)
    source.close()
    leader.enabled = False
    print(json.dumps({"aligned_ms": aligned_ms, "mean": statistics.mean(errors),
                      "worst": max(errors), "samples": len(errors), "tempo": tempo}))


def link_following() -> None:
    setup = ("ip link set lo up && ip link set lo multicast on && "
             "ip route add 224.0.0.0/4 dev lo && exec \"$@\"")
    command = ["unshare", "--net", "sh", "-c", setup, "sh", sys.executable, __file__, "--inside"]
    try:
        done = subprocess.run(command, capture_output=True, text=True,
                              timeout=FOLLOW_SECONDS + 60, cwd=Path(__file__).parent)
    except (OSError, subprocess.TimeoutExpired) as error:
        print(f"  Link left out: {error}")
        return
    if done.returncode != 0:
        print(f"  Link left out: {done.stderr.strip().splitlines()[-1:] or done.returncode}")
        return
    result = json.loads(done.stdout)
    figure("Link first contact: on the beat after", f"{result['aligned_ms']:.1f} ms",
           f"< {ALIGN_TARGET_MS} ms", result["aligned_ms"] < ALIGN_TARGET_MS)
    label = f"Link at {LINK_BPM} BPM, {FOLLOW_SECONDS:g} s: player's pip error"
    figure(f"{label}, mean", f"{result['mean']:.6f} pips")
    figure(f"  worst of {result['samples']} readings", f"{result['worst']:.6f} pips", "< 1 pip",
           result["worst"] < 1)
    # Link keeps a tempo as microseconds a beat, so 174 BPM comes back a
    # hair off.
    figure("  the player's tempo", f"{result['tempo']:.4f} BPM", f"{LINK_BPM} ± 0.001 BPM",
           abs(result["tempo"] - LINK_BPM) < 0.001)


def run() -> None:
    midi_estimator()
    link_following()


if __name__ == "__main__":
    if sys.argv[1:] == ["--inside"]:
        link_inside()
    else:
        run()
