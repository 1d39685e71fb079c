"""A beat heard: the WAV that `gesturon render --audio` writes is a valid
file of the asked length, and its onsets, found by their energy, land on the
score's hits (as the native score reader times them) within a millisecond."""

import wave
from fractions import Fraction

import numpy as np
import pytest

from gesturon_tools import _beats, cli, drums, synth

SCORES = drums.builtin_scores()
RATE = synth.SAMPLE_RATE
MS = RATE // 1000

# Energy of the signal's first difference (its bright part, where every
# drum strikes with a click or a hiss) in the 0.5 ms after each sample,
# against its mean over the 5 ms before: a hit shows as a rise.
AFTER, BEFORE = 22, 220


def energy_rise(samples: np.ndarray) -> np.ndarray:
    n = len(samples)
    looped = np.concatenate([samples[-BEFORE:], samples, samples[:AFTER]]).astype(float)
    bright = np.diff(looped, prepend=looped[0])
    energy = np.concatenate([[0.0], np.cumsum(bright * bright)])
    at = np.arange(BEFORE, BEFORE + n)
    after = energy[at + AFTER] - energy[at]
    before = (energy[at] - energy[at - BEFORE]) * (AFTER / BEFORE)
    return after / (before + 1e-4 * after.max())


def strong_onsets(rise: np.ndarray) -> np.ndarray:
    """Samples where the energy at least quadruples, each the largest rise
    within 5 ms."""
    reach = 5 * MS
    padded = np.concatenate([rise[-reach:], rise, rise[:reach]])
    return np.array([c for c in np.nonzero(rise > 4)[0] if rise[c] == padded[c: c + 2 * reach + 1].max()])


def read_wav(path):
    with wave.open(str(path)) as f:
        assert (f.getnchannels(), f.getsampwidth(), f.getframerate()) == (1, 2, RATE)
        return np.frombuffer(f.readframes(f.getnframes()), "<i2")


@pytest.mark.parametrize("key, bpm, loops", [
    ("four_floor", 120, 1),
    ("amen_four_bar", 174, 2),     # the crash and kick on the & of 3, ghost snares
    ("ukg_rim_shuffle", 132, 1),   # a heavily swung sixteenth
    ("funky_syncopated", 97.5, 3),
    ("dembow", Fraction(385, 3), 2),
    ("son_clave_23", 90, 1),
])
def test_onsets_land_on_the_hits(tmp_path, key, bpm, loops):
    path = tmp_path / f"{key}.wav"
    assert cli.main(["render", key, "--audio", str(path), "--bpm", str(bpm), "--loops", str(loops)]) == 0
    samples = read_wav(path)
    header = _beats.parse_score(SCORES[key])
    seconds = Fraction(60) / Fraction(bpm) * header["period_pips"] * loops / 64
    assert len(samples) == round(seconds * RATE)
    assert np.abs(samples).max() > 20000  # loud, and not clipped: a decibel below full scale

    hit_list = synth.hit_times(SCORES[key], Fraction(bpm), loops)
    hits = sorted({t for _, t, _ in hit_list})
    assert hits and hits[0] >= 0 and hits[-1] < seconds
    hit_samples = np.array([t * RATE for t in hits])
    rise = energy_rise(samples)
    period = len(samples)  # the file loops: its end leads into its start
    for onset in strong_onsets(rise):
        apart = np.abs(hit_samples - onset)
        assert np.minimum(apart, period - apart).min() <= MS, f"an onset at {onset / RATE:.4f} s with no hit"
    # Around each hit (no further than half-way to its neighbours), a clear
    # rise peaks within a millisecond of the hit's instant. A ghost under a
    # louder sound may not rise clearly, nor a kick (its thump is low) under
    # an open hat; a snare or clap that is no ghost always does, and so do
    # most hits.
    clear = set()
    for i, at in enumerate(hit_samples):
        gap = min((at - hit_samples[i - 1]) % period, (hit_samples[(i + 1) % len(hits)] - at) % period)
        reach = int(min(3 * MS, gap / 2))
        window = np.take(rise, range(round(at) - reach, round(at) + reach + 1), mode="wrap")
        if window.max() > 3:
            clear.add(hits[i])
            assert abs(int(np.argmax(window)) - reach) <= MS, f"the hit at {at / RATE:.4f} s sounds late or early"
    backbone = {t for name, t, level in hit_list if name in ("snare", "clap") and level != "ghost"}
    assert backbone <= clear, f"no onset for the hits at {sorted(backbone - clear)}"
    assert len(clear) >= 0.6 * len(hits)


@pytest.mark.parametrize("key", ["four_floor", "jungle_switch", "techno_rumble", "afro_cross"])
def test_numpy_and_plain_python_give_the_same_samples(key):
    assert synth.mix(SCORES[key], Fraction(133), 2, numpy=True) == synth.mix(SCORES[key], Fraction(133), 2, numpy=False)


def test_every_instrument_sounds():
    for name, _ in _beats.instruments():
        shot = np.array(synth.sound(name))
        assert np.abs(shot).max() > 0.1, name
        assert np.abs(shot[-100:]).max() < 0.01, f"{name} ends in a click"


@pytest.mark.parametrize("argv, message", [
    (["render", "no_such_beat", "--audio", "x.wav"], "no_such_beat"),
    (["render", "four_floor", "--audio", "x.wav", "--loops", "0"], "--loops"),
    (["render", "four_floor"], "--motion"),
    (["render", "four_floor", "--audio", "missing_dir/x.wav"], "cannot write"),
])
def test_bad_requests_are_one_line(tmp_path, monkeypatch, capsys, argv, message):
    monkeypatch.chdir(tmp_path)
    assert cli.main(argv) != 0
    err = capsys.readouterr().err
    assert message in err and len(err.strip().splitlines()) == 1


def test_sound_and_positions_together(tmp_path):
    wav, csv, stored = tmp_path / "h.wav", tmp_path / "h.csv", tmp_path / "stored.csv"
    assert cli.main(["render", "house_classic", "--motion", "spring", "--audio", str(wav),
                     "--loops", "1", "-o", str(csv)]) == 0
    assert cli.main(["export", "beat_house_classic_spring", "-o", str(stored)]) == 0
    assert csv.read_text() == stored.read_text()
    assert len(read_wav(wav)) == round(Fraction(60, 120) * 512 / 64 * RATE)
