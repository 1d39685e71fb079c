"""The costliest inputs each bound still lets through, timed.

    python3 bench/bench_limits.py

Each case runs in a fresh interpreter and prints the time it took and the
memory the process grew by (peak resident size after the case less before
it). The scores sit exactly at the reader's bounds (docs/limits.md): at most
2^20 hits times pips of the loop, at most 4096 hits, at most 4 MiB of text;
the MIDI file at 256 KiB with 16384 drum notes. Fuzzing figures (inputs a
second, coverage, longest input) come from scripts/fuzz.py.
"""

from __future__ import annotations

import json
import subprocess
import sys

LANES = ["kick", "snare", "clap", "rim", "hat", "open_hat", "ride", "shaker", "tom_low", "tom_mid", "tom_high",
         "cowbell", "bell", "clave", "conga", "perc"]


def score(lanes: list[str], bars: int = 1, meter: str | None = None) -> str:
    head = ["key    edge", "title  Edge", f"bars   {bars}"] + ([f"meter  {meter}"] if meter else [])
    return "\n".join(head + lanes) + "\n"


CASES: dict[str, str] = {
    "score: 256 hits over 4096 pips (2^20)": score(["kick | " + "x" * 256 + " |"], meter="16/1"),
    "score: 21 hits over 49152 pips": score(["kick | " + "x" * 7 + " | " + "x" * 7 + " | " + "x" * 7 + " |"],
                                            bars=3, meter="64/1"),
    "score: 4096 hits over 256 pips (2^20)": score([f"{lane} | " + "x" * 256 + " |" for lane in LANES]),
    "score: 4 MiB of text": score(["# " + "-" * (4 * 1024 * 1024 - 200), "kick | x |"]),
}

RUN = r"""
import json, resource, sys, time
from gesturon_tools import _beats, drums
case, text = json.loads(sys.stdin.read())
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
if case == "midi":
    import io, mido
    track = mido.MidiTrack()
    for i in range(drums.MAX_DRUM_NOTES):
        track.append(mido.Message("note_on", note=36 + i % 40, velocity=100, channel=9, time=1))
    track.append(mido.MetaMessage("text", text="p" * 150_000))
    midi = mido.MidiFile(ticks_per_beat=8)
    midi.tracks.append(track)
    out = io.BytesIO()
    midi.save(file=out)
    data = out.getvalue()[: drums.MAX_MIDI_BYTES]
    start = time.perf_counter()
    try:
        drums.midi_bytes_to_score(data)
    except ValueError:
        pass
    slowest = ("import", time.perf_counter() - start)
else:
    slowest = ("", 0.0)
    for motion in drums.motion_keys():
        begin = time.perf_counter()
        _beats.render(text, motion)
        slowest = max(slowest, (motion, time.perf_counter() - begin), key=lambda m: m[1])
took = time.perf_counter() - start
grew = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024
print(json.dumps([took, slowest, grew]))
"""


def measure(case: str, text: str) -> tuple[float, tuple[str, float], float]:
    done = subprocess.run([sys.executable, "-c", RUN], input=json.dumps([case, text]), capture_output=True,
                          text=True, check=True)
    took, slowest, grew = json.loads(done.stdout)
    return float(took), (str(slowest[0]), float(slowest[1])), float(grew)


def main() -> None:
    print("The costliest inputs within the bounds (time; the slowest of the 16 motions; memory grown)")
    for case, text in [*CASES.items(), ("midi: 16384 drum notes in 256 KiB", "")]:
        took, (motion, slowest), grew = measure("midi" if case.startswith("midi") else case, text)
        what = f"slowest {motion} {slowest:.3f} s" if motion != "import" else "one import"
        print(f"  {case:<42} {took:7.3f} s  {what:<28} {grew:7.1f} MB")


if __name__ == "__main__":
    main()
