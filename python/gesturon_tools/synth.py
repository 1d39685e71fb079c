"""Hear a beat: a score played through a small drum synth of our own and
written as a WAV file.

    from gesturon_tools import drums, synth
    score = drums.builtin_scores()["four_floor"]       # or drums.load_score(path)
    synth.write_wav("four_floor.wav", score, bpm=124, loops=4)

Every instrument a score may name is a few lines of synthesis (decaying
sines, pitch sweeps and a fixed noise), so nothing is sampled or fetched.
The hits and their times come from the native score reader, the same one
the motions render from, so swing, shifts and microtiming sound exactly
where the motions move. Each hit starts on the sample nearest its instant.

The mix is built with NumPy when it is installed and in plain Python
otherwise; both add the same products in the same order and round the same
way, so the samples are identical to the last bit either way.
"""

from __future__ import annotations

import argparse
import math
import os
import sys
import wave
from array import array
from collections.abc import Callable, Iterator, Sequence
from fractions import Fraction
from functools import cache
from pathlib import Path
from typing import Any, TextIO

from . import _beats, drums
from .catalogue import PIPS_PER_BEAT, ToolError

SAMPLE_RATE = 44100
# How loud each level of a hit plays: the same ratios the motions give
# ghosts and accents (half a normal hit, and a quarter more).
LEVEL_GAIN = {"ghost": 0.5, "normal": 1.0, "accent": 1.25}
# The loudest sample of the file, a decibel below full scale.
PEAK = 10 ** (-1 / 20)
# A sound ends where its envelope has fallen this far (60 dB).
SILENT = 1e-3


# --- the instruments ------------------------------------------------------------

def _noise() -> Iterator[float]:
    """A fixed white noise in [-1, 1): a 32-bit linear congruential
    generator, so every run and every machine hears the same hiss."""
    state = 22695477
    while True:
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        yield state / 2147483648.0 - 1.0


def _length(decay: float) -> int:
    """Samples until an exponential decay of time constant `decay` seconds
    is silent."""
    return int(math.ceil(-math.log(SILENT) * decay * SAMPLE_RATE))


def _drum(start_hz: float, end_hz: float, sweep: float, decay: float,
          click: float = 0.0, click_decay: float = 0.002, drive: float = 0.0) -> list[float]:
    """A struck membrane: a sine whose pitch falls exponentially from
    start_hz to end_hz (time constant `sweep`), decaying with `decay`, with
    an optional click of noise for the beater; `drive` bends it towards a
    square (v + drive * v|v|), giving a bass its wood."""
    noise = _noise()
    out, phase = [], 0.0
    for n in range(_length(decay)):
        t = n / SAMPLE_RATE
        hz = end_hz + (start_hz - end_hz) * math.exp(-t / sweep)
        phase += 2 * math.pi * hz / SAMPLE_RATE
        v = math.sin(phase) * math.exp(-t / decay)
        out.append(v + drive * v * abs(v) + click * next(noise) * math.exp(-t / click_decay))
    return out


def _hiss(decay: float, brightness: float, tone_hz: float = 0.0, tone: float = 0.0,
          flutter: float = 0.0) -> list[float]:
    """Noise decaying with `decay`; brightness 0 leaves it white, towards 1
    keeps only its highest part (a one-pole high-pass). An optional
    decaying tone gives a snare its shell; `flutter` makes the hands of a
    clap: a 100 Hz ripple of that depth over its first few milliseconds."""
    noise = _noise()
    out, previous, high = [], 0.0, 0.0
    for n in range(_length(decay)):
        t = n / SAMPLE_RATE
        white = next(noise)
        high = brightness * (high + white - previous)
        previous = white
        body = ((1 - brightness) * white + high) * math.exp(-t / decay)
        hands = 1.0 + flutter * math.exp(-t / FLUTTER_DECAY) * math.cos(2 * math.pi * FLUTTER_HZ * t)
        out.append(body * hands + tone * math.sin(2 * math.pi * tone_hz * t) * math.exp(-t / SHELL_DECAY))
    return out


FLUTTER_HZ = 100.0
FLUTTER_DECAY = 0.0027
SHELL_DECAY = 0.05
TICK_DECAY = 0.001


def _metal(partials: Sequence[float], decay: float) -> list[float]:
    """A bell, ride or cowbell: inharmonic sine partials, each much quieter
    than the one below so that their beating stays a shimmer, decaying
    together, struck by a short tick of noise."""
    noise = _noise()
    weights = [1 / (i + 1) ** 2 for i in range(len(partials))]
    times = [n / SAMPLE_RATE for n in range(_length(decay))]
    ring = [0.0] * len(times)
    for w, hz in zip(weights, partials):  # partial by partial, each sample summed in order
        ring = [r + w * math.sin(2 * math.pi * hz * t + 0.5) for r, t in zip(ring, times)]
    total = sum(weights)
    return [r * math.exp(-t / decay) / total + 0.5 * next(noise) * math.exp(-t / TICK_DECAY)
            for r, t in zip(ring, times)]


# Every instrument a score may name as one of the three kinds of sound and
# its settings. The gallery's page plays the same recipes with Web Audio.
RECIPES: dict[str, tuple[str, dict[str, Any]]] = {
    "kick": ("drum", {"start_hz": 160.0, "end_hz": 48.0, "sweep": 0.04, "decay": 0.22, "click": 0.5,
                      "click_decay": 0.001}),
    "snare": ("hiss", {"decay": 0.07, "brightness": 0.6, "tone_hz": 190.0, "tone": 0.6}),
    "clap": ("hiss", {"decay": 0.12, "brightness": 0.5, "flutter": 0.5}),
    "rim": ("drum", {"start_hz": 1700.0, "end_hz": 1600.0, "sweep": 0.01, "decay": 0.012, "click": 0.6,
                     "click_decay": 0.001}),
    "hat": ("hiss", {"decay": 0.02, "brightness": 0.95}),
    "open_hat": ("hiss", {"decay": 0.16, "brightness": 0.95}),
    "ride": ("metal", {"partials": [523.0, 1109.0, 1580.0, 2730.0, 4100.0], "decay": 0.35}),
    "shaker": ("hiss", {"decay": 0.03, "brightness": 0.85}),
    "tom_low": ("drum", {"start_hz": 140.0, "end_hz": 90.0, "sweep": 0.05, "decay": 0.2, "click": 0.2}),
    "tom_mid": ("drum", {"start_hz": 200.0, "end_hz": 135.0, "sweep": 0.05, "decay": 0.17, "click": 0.2}),
    "tom_high": ("drum", {"start_hz": 280.0, "end_hz": 190.0, "sweep": 0.05, "decay": 0.14, "click": 0.2}),
    "cowbell": ("metal", {"partials": [545.0, 815.0], "decay": 0.08}),
    "bell": ("metal", {"partials": [880.0, 2400.0, 3950.0], "decay": 0.3}),
    "clave": ("drum", {"start_hz": 2500.0, "end_hz": 2450.0, "sweep": 0.01, "decay": 0.025, "click": 0.3,
                       "click_decay": 0.0005}),
    "conga": ("drum", {"start_hz": 420.0, "end_hz": 330.0, "sweep": 0.02, "decay": 0.09, "click": 0.25}),
    "perc": ("drum", {"start_hz": 900.0, "end_hz": 600.0, "sweep": 0.015, "decay": 0.05, "click": 0.2}),
    # A log-drum bass: a low sine with a quick fall in pitch and a short pluck.
    "bass": ("drum", {"start_hz": 90.0, "end_hz": 55.0, "sweep": 0.03, "decay": 0.25, "click": 0.3,
                      "click_decay": 0.001, "drive": 0.3}),
}
KINDS: dict[str, Callable[..., list[float]]] = {"drum": _drum, "hiss": _hiss, "metal": _metal}


def page_recipes() -> dict[str, object]:
    """The recipes and the constants they share, as the gallery's page reads them."""
    return {"recipes": RECIPES, "level_gain": LEVEL_GAIN, "flutter_hz": FLUTTER_HZ,
            "flutter_decay": FLUTTER_DECAY, "shell_decay": SHELL_DECAY, "tick_decay": TICK_DECAY,
            "silent": SILENT}


@cache
def sound(instrument: str) -> tuple[float, ...]:
    """One hit of an instrument at a normal level, sample by sample."""
    try:
        kind, settings = RECIPES[instrument]
    except KeyError:
        raise ValueError(f"the drum synth has no sound for {instrument!r}") from None
    return tuple(KINDS[kind](**settings))


# --- the mix --------------------------------------------------------------------

def samples_per_pip(bpm: Fraction) -> Fraction:
    return Fraction(SAMPLE_RATE * 60) / (Fraction(bpm) * PIPS_PER_BEAT)


def hit_times(score: str, bpm: Fraction, loops: int = 1) -> list[tuple[str, float, str]]:
    """Every hit of `loops` passes of the score, each (instrument, seconds
    from the start, level), in time order."""
    header = _beats.parse_score(score)
    beat_seconds = Fraction(60) / Fraction(bpm)
    period = header["period_pips"]
    return [(instrument, float((Fraction(pip) + loop * period) * beat_seconds / PIPS_PER_BEAT), level)
            for loop in range(loops) for instrument, pip, level in header["hits"]]


def _placed(score: str, bpm: Fraction, loops: int) -> tuple[int, list[tuple[int, float, tuple[float, ...]]]]:
    """The file's length in samples, and each hit as (first sample, gain,
    sound), in time order."""
    header = _beats.parse_score(score)
    step = samples_per_pip(bpm)
    period = header["period_pips"]
    length = round(loops * period * step)
    placed = [(round((Fraction(pip) + loop * period) * step), LEVEL_GAIN[level], sound(instrument))
              for loop in range(loops) for instrument, pip, level in header["hits"]]
    return length, placed


def mix(score: str, bpm: Fraction, loops: int = 1, numpy: bool | None = None) -> list[int]:
    """The score played `loops` times at `bpm`, as 16-bit samples. A sound
    still ringing at the end of the last pass rings on at the start, as it
    would if the file were looped, so the file loops without a click.
    `numpy` chooses the way of adding (default: NumPy when installed); the
    samples are the same either way."""
    if loops < 1:
        raise ValueError("loops must be at least 1")
    length, placed = _placed(score, bpm, loops)
    np = _numpy() if numpy is None or numpy else None
    if numpy and np is None:
        raise ValueError("NumPy is not installed")
    if np is not None:
        return _mix_numpy(np, length, placed)
    return _mix_python(length, placed)


def _numpy() -> Any:
    try:
        import numpy
    except ImportError:
        return None
    return numpy


def _mix_python(length: int, placed: list[tuple[int, float, tuple[float, ...]]]) -> list[int]:
    total = [0.0] * length
    for start, gain, shot in placed:
        for i, value in enumerate(shot, start):
            total[i % length] += gain * value
    peak = max(map(abs, total), default=0.0)
    scale = PEAK / peak if peak else 0.0
    return [math.floor(v * scale * 32767.0 + 0.5) for v in total]


def _mix_numpy(np: Any, length: int, placed: list[tuple[int, float, tuple[float, ...]]]) -> list[int]:
    total = np.zeros(length)
    shots: dict[int, Any] = {}
    for start, gain, shot in placed:
        if id(shot) not in shots:
            shots[id(shot)] = np.array(shot)
        array = shots[id(shot)]
        done = 0
        while done < len(shot):  # in pieces that wrap round at the end
            at = (start + done) % length
            count = min(len(shot) - done, length - at)
            total[at: at + count] += gain * array[done: done + count]
            done += count
    peak = float(np.max(np.abs(total))) if length else 0.0
    scale = PEAK / peak if peak else 0.0
    values: list[int] = np.floor(total * scale * 32767.0 + 0.5).astype(np.int64).tolist()
    return values


def write_wav(path: str | Path, score: str, bpm: Fraction | int | float = 120, loops: int = 1,
              numpy: bool | None = None) -> int:
    """Writes the score as a mono 16-bit WAV file at 44.1 kHz; returns the
    number of samples written."""
    values = mix(score, Fraction(bpm), loops, numpy)
    data = array("h", values)
    if sys.byteorder == "big":  # WAV samples are little-endian
        data.byteswap()
    with open(path, "wb") as file, wave.open(file, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(SAMPLE_RATE)
        out.writeframes(data.tobytes())
    return len(values)


# --- the render command ---------------------------------------------------------

DEFAULT_BPM = 120
DEFAULT_LOOPS = 4


def score_text(name: str) -> str:
    """The score that `gesturon render` names: a built-in beat by its key
    (with or without its beat_ prefix), unless the name is plainly a path (a
    slash, or a score or MIDI suffix); otherwise a score or MIDI file."""
    path = Path(name)
    builtin = drums.builtin_scores()
    key = name.removeprefix("beat_")
    plainly_a_path = "/" in name or os.sep in name or \
        path.suffix.lower() in (".beat", *drums.MIDI_SUFFIXES)
    if key in builtin and not plainly_a_path:
        return builtin[key]
    if plainly_a_path or path.is_file():
        return drums.load_score(path)
    raise ToolError(f"no score file and no built-in beat named {name!r} "
                    f"(the beats: {', '.join(builtin)})")


def add_audio_options(render: argparse.ArgumentParser) -> None:
    render.add_argument("--audio", metavar="WAV",
                        help="write the beat as sound through the drum synth to this WAV file "
                             f"(at --bpm, default {DEFAULT_BPM}); --motion is then optional")
    render.add_argument("--loops", type=_loops_arg, default=DEFAULT_LOOPS, metavar="N",
                        help=f"with --audio: play the score N times (default: {DEFAULT_LOOPS})")


def _loops_arg(text: str) -> int:
    try:
        loops = int(text)
    except ValueError:
        loops = 0
    if not 1 <= loops <= 1000:
        raise argparse.ArgumentTypeError(f"a whole number from 1 to 1000, not {text!r}")
    return loops


def run_audio(name: str, args: argparse.Namespace, out: TextIO) -> None:
    """Writes the score that `name` names as a WAV file at args.audio, at
    args.bpm (or the default) and args.loops."""
    try:
        score = score_text(name)
    except OSError as error:
        raise ToolError(f"cannot read {name}: {error.strerror}") from None
    except ValueError as error:
        raise ToolError(f"{name}: {error}") from None
    bpm = args.bpm if args.bpm is not None else Fraction(DEFAULT_BPM)
    try:
        count = write_wav(args.audio, score, bpm, args.loops)
    except OSError as error:
        raise ToolError(f"cannot write {args.audio}: {error.strerror}") from None
    header = _beats.parse_score(score)
    print(f"wrote {args.audio}: {header['key']}, {args.loops} x {header['bars']} bar(s) at "
          f"{float(bpm):g} BPM, {count / SAMPLE_RATE:.2f} s", file=out)
