"""The catalogue gallery: one self-contained HTML page with a drawing of
every pattern.

The page carries every pattern pip by pip, compactly: each moving axis of
each pattern is a lane of values quantised to 12 bits (steps of 1/2047,
finer than a pixel even in the large view), stored as second differences
(smooth motion makes them tiny), split into a plane of low bytes and a
plane of high bytes, gzip-compressed and base64-encoded. The full catalogue,
a million rows, fits in about two megabytes; the page unpacks it with the
browser's own decompressor, builds the cards, and draws each card into a
canvas only while it is on or near the screen.

Each beat family (`beat_<key>`) carries its drum score, read from the score
files installed with this package (the files the table generator renders),
so the page can draw the beat as a step grid above its motions.

The beat packs (club, dancefloor, and the caller's own beats) are also shown
as one matrix: a row per beat, a column per motion.

The page has no external resources. Its hash keeps what it shows:
`#q=TEXT` a filter, `#p=NAME` one pattern large, `view=matrix` the matrix,
`fit=1` every card scaled to its pattern, `look=front|top|side|3d` and
`scale=fixed` the large view's projection and scale, `cols=KEY,KEY` the
matrix's motion columns. `#selftest` makes the page check itself (every
drawing has ink, the filter finds what it should) and write the results into
its hidden `#selftest` element.
"""

from __future__ import annotations

import array
import base64
import gzip
import json
import math
import re
import sys
from importlib import resources
from pathlib import Path
from typing import TYPE_CHECKING

from .catalogue import OWN, PACKS, PIPS_PER_BEAT, Catalogue

if TYPE_CHECKING:
    from ._beats import Score

QUANT_STEPS = 2047  # 12-bit signed: values in [-1, 1] as integers in [-2047, 2047]
PAGE_NAME = "index.html"


def quantise(lane: list[float]) -> list[int]:
    """Position components as integers in [-QUANT_STEPS, QUANT_STEPS];
    out-of-range values are clamped and non-finite ones drawn at 0."""
    try:
        steps = [round(value * QUANT_STEPS) for value in lane]
    except (ValueError, OverflowError):  # nan or infinity somewhere, or a huge value
        # Values beyond +-2 are clamped anyway; limiting them first keeps
        # value * QUANT_STEPS finite, so round() cannot overflow.
        steps = [round(max(-2.0, min(2.0, value)) * QUANT_STEPS) if math.isfinite(value) else 0
                 for value in lane]
    if steps and (max(steps) > QUANT_STEPS or min(steps) < -QUANT_STEPS):
        steps = [max(-QUANT_STEPS, min(QUANT_STEPS, step)) for step in steps]
    return steps


def second_differences(values: list[int]) -> list[int]:
    """d[0] = v[0], d[1] = v[1] - 2 v[0], d[i] = v[i] - 2 v[i-1] + v[i-2]:
    summing twice from zero gives the values back."""
    firsts = [values[0]] + [b - a for a, b in zip(values, values[1:])]
    return [firsts[0]] + [b - a for a, b in zip(firsts, firsts[1:])]


def encode_samples(catalogue: Catalogue) -> str:
    """Every pattern's moving axes, in catalogue order, as base64 text.

    Lanes follow one another: pattern by pattern, axis x then y then z up to
    the pattern's dimensions, each `period_pips` values long. With NumPy the
    lanes are worked out as arrays (`encode_lanes_numpy`), else value by
    value (`encode_lanes`); the two give the same bytes."""
    try:
        from . import arrays  # noqa: F401  (NumPy is there)
    except ImportError:
        return pack_lanes(encode_lanes(catalogue))
    return pack_lanes(encode_lanes_numpy(catalogue))


def encode_lanes(catalogue: Catalogue) -> bytes:
    """The lanes as little-endian 16-bit second differences, in plain Python."""
    lanes = array.array("h")
    for pattern in catalogue.patterns:
        rows = [row[1:] for row in catalogue.positions(pattern, 0, pattern.period_pips)]
        for axis in range(pattern.dimensions):
            lanes.extend(second_differences(quantise([row[axis] for row in rows])))
    if sys.byteorder != "little":
        lanes.byteswap()
    return lanes.tobytes()


def encode_lanes_numpy(catalogue: Catalogue) -> bytes:
    """The same bytes as `encode_lanes`, from each pattern's cached table:
    quantised as `quantise` does (NumPy rounds halves to even, as round()
    does), then differenced twice."""
    import numpy as np

    from . import arrays

    patterns = catalogue.patterns
    if not patterns:
        return b""
    # Each pattern's lanes are copied once, straight into their place, and
    # everything after works in place on the whole: a few passes over one
    # array instead of an array per pattern.
    values = np.empty(sum(p.dimensions * p.period_pips for p in patterns))
    starts = np.empty(sum(p.dimensions for p in patterns), dtype=np.intp)  # where each lane begins
    at = lane = 0
    for pattern in patterns:
        rows = arrays.table(pattern.name, catalogue.source)
        count, period = pattern.dimensions * pattern.period_pips, pattern.period_pips
        values[at:at + count].reshape(pattern.dimensions, period)[...] = rows[:, :pattern.dimensions].T
        starts[lane:lane + pattern.dimensions] = range(at, at + count, period)
        at, lane = at + count, lane + pattern.dimensions
    finite = np.isfinite(values)
    with np.errstate(over="ignore", invalid="ignore"):  # a huge value scales to infinity: clamped
        np.multiply(values, QUANT_STEPS, out=values)
        np.rint(values, out=values)
        np.clip(values, -QUANT_STEPS, QUANT_STEPS, out=values)
    if not finite.all():
        values[~finite] = 0.0
    steps = values.astype(np.int16)
    # Differences within each lane, which starts as if two zeros came before
    # it; they fit 16 bits, the steps lying within +-QUANT_STEPS.
    firsts = np.empty_like(steps)
    np.subtract(steps[1:], steps[:-1], out=firsts[1:])
    firsts[starts] = steps[starts]
    seconds = np.empty_like(firsts)
    np.subtract(firsts[1:], firsts[:-1], out=seconds[1:])
    seconds[starts] = firsts[starts]
    return seconds.astype("<i2", copy=False).tobytes()


def pack_lanes(raw: bytes) -> str:
    """The lanes' low bytes then their high bytes, gzip-compressed and
    base64-encoded."""
    planes = raw[0::2] + raw[1::2]
    return base64.b64encode(gzip.compress(planes, compresslevel=5, mtime=0)).decode("ascii")


# Score lanes in drum-machine order, and the level of a hit as a digit.
SCORE_LANE_ORDER = (
    "kick", "snare", "clap", "rim", "hat", "open_hat", "ride", "shaker",
    "tom_high", "tom_mid", "tom_low", "cowbell", "bell", "clave", "conga",
    "perc", "bass",
)
SCORE_LEVELS = {"ghost": 0, "normal": 1, "accent": 2}


def installed_scores() -> dict[str, Score]:
    """The drum score of every beat whose score file is installed, keyed by
    the beat's family name (`beat_<key>`); empty when the score reader is
    not installed."""
    try:
        from . import _beats
    except ImportError:
        return {}
    folder = resources.files(__package__) / "beats"
    if not folder.is_dir():
        return {}
    scores: dict[str, Score] = {}
    for entry in sorted(folder.iterdir(), key=lambda e: e.name):
        if entry.name.endswith(".beat"):
            score = _beats.parse_score(entry.read_text(encoding="utf-8"))
            scores["beat_" + score["key"]] = score
    return scores


def score_grid(score: Score) -> dict[str, object]:
    """A score as the page draws it: its period and bars, and one lane per
    instrument that plays, each a flat list of pip, level, pip, level, ...
    (pips to three decimals, so triplets keep their place)."""
    lanes: dict[str, list[float]] = {}
    for instrument, pip, level in score["hits"]:
        rounded = round(pip, 3)
        lanes.setdefault(instrument, []).extend(
            (int(rounded) if rounded == int(rounded) else rounded, SCORE_LEVELS[level]))
    order = {name: i for i, name in enumerate(SCORE_LANE_ORDER)}
    return {"period": score["period_pips"], "bars": score["bars"],
            "lanes": sorted(lanes.items(), key=lambda lane: order.get(lane[0], len(order)))}


def page_metadata(catalogue: Catalogue) -> dict[str, object]:
    families = catalogue.families()
    scores = installed_scores()
    shown = {f.key for f in families}
    family_index = {(f.pack, f.key): i for i, f in enumerate(families)}
    blurbs = {pack.name: pack.blurb for pack in (*PACKS, OWN)}
    packs = catalogue.packs()
    return {
        "pips_per_beat": PIPS_PER_BEAT,
        "quant": QUANT_STEPS,
        "packs": [{"name": name, "blurb": blurbs.get(name, "")} for name in packs],
        "families": [{"pack": packs.index(f.pack), "key": f.key, "title": f.title}
                     for f in families],
        "patterns": [[p.name, p.description, p.period_pips, p.dimensions,
                      family_index[(p.pack, p.family)]] for p in catalogue.patterns],
        "scores": {key: score_grid(score) for key, score in scores.items() if key in shown},
        "motions": beat_motions(),
        "drums": drum_recipes() if scores else None,
    }


def drum_recipes() -> dict[str, object] | None:
    """The drum synth's recipes, with which the large view plays a beat."""
    try:
        from . import synth
    except ImportError:  # the score reader is not installed
        return None
    return synth.page_recipes()


def beat_motions() -> list[list[str]]:
    """The sixteen beat motions in catalogue order, each [key, title]: the
    columns of the page's beat-by-motion matrix. Empty when the score
    renderer is not installed; the page then takes the motions in the order
    it first meets them."""
    try:
        from . import _beats
    except ImportError:
        return []
    return [[key, title] for key, title, _sentence in _beats.motions()]


def script_json(value: object) -> str:
    """JSON that can sit inside a <script> element: no "<" can close it."""
    return json.dumps(value, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003c")


def build_page(catalogue: Catalogue) -> str:
    assets = resources.files(__package__) / "page"
    fills = {
        "css": (assets / "gallery.css").read_text(encoding="utf-8"),
        "js": (assets / "gallery.js").read_text(encoding="utf-8"),
        "count": str(len(catalogue)),
        "meta": script_json(page_metadata(catalogue)),
        "samples": encode_samples(catalogue),
    }
    template = (assets / "gallery.html").read_text(encoding="utf-8")
    # One pass, so nothing filled in is ever read as a placeholder.
    return re.sub(r"\{\{(\w+)\}\}", lambda m: fills[m.group(1)], template)


def write_gallery(catalogue: Catalogue, directory: Path) -> Path:
    directory.mkdir(parents=True, exist_ok=True)
    path = directory / PAGE_NAME
    path.write_text(build_page(catalogue), encoding="utf-8")
    return path
