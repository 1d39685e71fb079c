"""The built-in catalogue as the tools see it: every record with the pack and
family it belongs to, lookup with suggestions, filtering and sampling.

The module's records carry a name, a description, a period and a dimension
count, but not the pack a stored pattern comes from. The packs stand in a
fixed order with fixed sizes after the fifteen procedural patterns, so the
pack follows from the position in the catalogue. A catalogue that does not
hold every pack yet (or holds a pack of another size) is still placed
correctly as long as each pack begins with its usual first pattern: meeting
that name starts the pack, whatever came before.
"""

from __future__ import annotations

import difflib
import re
import os
from dataclasses import dataclass
from typing import TYPE_CHECKING, Collection, Iterator, Protocol, Sequence

from . import _beats

if TYPE_CHECKING:
    from gesturon import PatternInfo

PIPS_PER_BEAT = 64
# Pips sampled as one block: enough to spread the cost of a call over many,
# few enough to stay in the processor's cache.
POSITIONS_BLOCK = 16384
INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1

PROCEDURAL = "procedural"

# The procedural patterns, computed by formula: smooth body motions first,
# then drum rudiments rendered as two-axis hand motion.
PROCEDURAL_MOTIONS = (
    "bounce", "sway", "circle", "figure_eight", "step_touch", "box_step",
    "helix", "morvel_background",
)
PROCEDURAL_RUDIMENTS = (
    "single_stroke_roll", "double_stroke_roll", "multiple_bounce_roll",
    "single_paradiddle", "flam", "drag", "five_stroke_roll",
)
PROCEDURAL_NAMES = PROCEDURAL_MOTIONS + PROCEDURAL_RUDIMENTS


@dataclass(frozen=True)
class PackInfo:
    name: str
    size: int
    first: str
    blurb: str


PACKS = (
    PackInfo(PROCEDURAL, 15, "bounce",
             "Computed by formula: eight smooth body motions and seven drum "
             "rudiments as two-axis hand motion."),
    PackInfo("initial", 28, "lfo_breathe",
             "Hand-built reference shapes: smooth lanes, rhythmic scores, "
             "rudiments, easing loops, waveforms and groove excerpts."),
    PackInfo("expansion", 24, "lfo_twin_swell",
             "More smooth lanes, closed geometric paths and rhythmic scores."),
    PackInfo("atlas", 256, "wave_pinched",
             "A systematic survey of motion families, from shaped waves to "
             "spirographs, mechanisms and metres."),
    PackInfo("continuum", 320, "ribbon_1_2_slim",
             "Continuous spatial paths, then rhythmic gesture scores with "
             "peaks on exact rational beat positions."),
    PackInfo("club", 144, "beat_four_floor_bounce",
             "Dance-music drum patterns turned into movement, each beat in "
             "four motions."),
    PackInfo("dancefloor", 944, "beat_four_floor_surge",
             "Twelve more motions for the club beats, then all sixteen "
             "motions for 32 further beats."),
)
STORED_PACKS = PACKS[1:]
# Patterns a caller laid over the catalogue (the command's own beats).
OWN = PackInfo("yours", 0, "", "Your own beats, rendered in the sixteen motions.")
PACK_NAMES = tuple(pack.name for pack in PACKS)

# The last word of a beat pattern's name is its motion; the rest names the
# beat, which is the family the gallery groups by.
BEAT_MOTIONS = frozenset(key for key, _, _ in _beats.motions())
# Beat descriptions read "<beat title> — <motion title>. ..."
TITLE_SEPARATOR = " \u2014 "


class ToolError(Exception):
    """A failure reported to the user as one line, with an exit status."""

    def __init__(self, message: str, status: int = 1):
        super().__init__(message)
        self.status = status


class Position(Protocol):
    """What the tools read of a position."""

    def as_tuple(self) -> tuple[float, float, float]: ...


class Source(Protocol):
    """What the tools need of the gesturon module."""

    def catalogue(self) -> Sequence[PatternInfo]: ...

    def sample(self, name: str, pip_count: int) -> Position: ...


@dataclass(frozen=True)
class Pattern:
    index: int
    name: str
    description: str
    period_pips: int
    dimensions: int
    pack: str
    family: str

    @property
    def period_beats(self) -> str:
        return beats_text(self.period_pips)

    @property
    def axes(self) -> str:
        return "xyz"[: self.dimensions]


@dataclass(frozen=True)
class Family:
    pack: str
    key: str
    title: str
    members: tuple[Pattern, ...]


def beats_text(pips: int) -> str:
    """A pip count in beats, exactly (64 is a power of two, so six decimals
    always suffice): 256 -> "4", 160 -> "2.5", 1 -> "0.015625"."""
    text = f"{pips / PIPS_PER_BEAT:.6f}".rstrip("0").rstrip(".")
    return "0" if text in ("", "-0") else text


def beat_position(pip: int) -> str:
    """A pip as beat:pip, the pip within the beat always two digits."""
    beat, within = divmod(pip, PIPS_PER_BEAT)
    return f"{beat}:{within:02d}"


def assign_stored_packs(names: Sequence[str]) -> list[str]:
    """The pack of each stored pattern, given the stored names in catalogue
    order: packs fill up in order with their usual sizes, and a pack's usual
    first pattern starts that pack wherever it appears."""
    anchors = {pack.first: i for i, pack in enumerate(STORED_PACKS)}
    current, used = 0, 0
    packs = []
    for name in names:
        start = anchors.get(name)
        if start is not None and start >= current:
            current, used = start, 0
        elif used >= STORED_PACKS[current].size and current + 1 < len(STORED_PACKS):
            current, used = current + 1, 0
        packs.append(STORED_PACKS[current].name)
        used += 1
    return packs


def family_keys(names: Sequence[str], packs: Sequence[str]) -> list[str]:
    """The family of each pattern from its name.

    Procedural patterns are motions or rudiments. A beat pattern
    (`beat_<beat>_<motion>`) belongs to its beat. Every other pattern
    belongs to the leading word of its name, lengthened to the words that
    all patterns of the pack with that leading word share (so the
    `orbit_harmonic_01` ... `orbit_harmonic_16` run forms `orbit_harmonic`,
    while `spiro_inside_*` and `spiro_outside_*` together form `spiro`).
    """
    keys: list[str | None] = []
    runs: dict[tuple[str, str], list[int]] = {}
    for i, (name, pack) in enumerate(zip(names, packs)):
        words = name.split("_")
        if pack == PROCEDURAL:
            keys.append("rudiments" if name in PROCEDURAL_RUDIMENTS else "motions")
        elif words[0] == "beat" and len(words) > 2 and words[-1] in BEAT_MOTIONS:
            keys.append("_".join(words[:-1]))
        else:
            keys.append(None)
            runs.setdefault((pack, words[0]), []).append(i)
    for (_, first_word), members in runs.items():
        key = first_word
        if len(members) > 1:
            word_lists = [names[i].split("_") for i in members]
            shared = os.path.commonprefix(word_lists)
            # A family name never swallows a member's whole name.
            shared = shared[: min(len(words) for words in word_lists) - 1]
            if shared:
                key = "_".join(shared)
        for i in members:
            keys[i] = key
    return keys  # type: ignore[return-value]


def load_source() -> Source:
    try:
        import gesturon
    except ImportError as error:
        raise ToolError(f"cannot import the gesturon module: {error}") from None
    return gesturon


class Catalogue:
    """The catalogue records of a source, with packs and families."""

    def __init__(self, source: Source, own: Collection[str] = ()):
        """`own` names the source's patterns that are the caller's rather
        than built in; they form the pack "yours"."""
        self.source = source
        records = source.catalogue()
        names = [record["name"] for record in records]
        procedural = set(PROCEDURAL_MOTIONS + PROCEDURAL_RUDIMENTS)
        fixed = {**dict.fromkeys(procedural, PROCEDURAL), **dict.fromkeys(own, OWN.name)}
        stored = iter(assign_stored_packs([n for n in names if n not in fixed]))
        packs = [fixed[n] if n in fixed else next(stored) for n in names]
        families = family_keys(names, packs)
        self.patterns = tuple(
            Pattern(i, record["name"], record["description"],
                    int(record["period_pips"]), int(record["dimensions"]),
                    pack, family)
            for i, (record, pack, family) in enumerate(zip(records, packs, families)))
        self.by_name = {pattern.name: pattern for pattern in self.patterns}

    def __len__(self) -> int:
        return len(self.patterns)

    def packs(self) -> list[str]:
        """The packs present, in catalogue order."""
        return list(dict.fromkeys(pattern.pack for pattern in self.patterns))

    def families(self) -> list[Family]:
        """Families in catalogue order (first appearance), each within its pack."""
        grouped: dict[tuple[str, str], list[Pattern]] = {}
        for pattern in self.patterns:
            grouped.setdefault((pattern.pack, pattern.family), []).append(pattern)
        return [Family(pack, key, family_title(members), tuple(members))
                for (pack, key), members in grouped.items()]

    def find(self, name: str) -> Pattern:
        pattern = self.by_name.get(name)
        if pattern is not None:
            return pattern
        close = difflib.get_close_matches(name, self.by_name, n=3, cutoff=0.6)
        hint = ("did you mean " + ", ".join(close) + "?" if close
                else "'gesturon list' shows every pattern")
        if os.path.isfile(name):
            hint = f"a file of that name is here: name it ./{name} or add --score to read it as a score"
        raise ToolError(f"unknown pattern {name!r}; {hint}")

    def select(self, pack: str | None = None, match: str | None = None) -> list[Pattern]:
        chosen = list(self.patterns)
        if pack is not None:
            wanted = resolve_pack(pack)
            chosen = [p for p in chosen if p.pack == wanted]
        if match:
            chosen = [p for p in chosen if matches(p, match)]
        return chosen

    def positions(self, pattern: Pattern, start: int, stop: int,
                  every: int = 1) -> Iterator[tuple[int, float, float, float]]:
        """(pip, x, y, z) for every `every`-th pip of [start, stop)."""
        for pips, xs, ys, zs in self.blocks(pattern, start, stop, every):
            yield from zip(pips, xs, ys, zs)

    def blocks(self, pattern: Pattern, start: int, stop: int,
               every: int = 1) -> Iterator[tuple[range, list[float], list[float], list[float]]]:
        """The positions of every `every`-th pip of [start, stop) a block of
        pips at a time, as columns: the pips, their x, their y, their z.

        With NumPy the values come from the pattern's cached table (see
        `gesturon_tools.arrays`), else from one `sample` call each; both
        give the same values to the bit."""
        step = POSITIONS_BLOCK * every
        try:
            import numpy as np

            from . import arrays
        except ImportError:
            sample = self.source.sample
            for first in range(start, stop, step):
                pips = range(first, min(first + step, stop), every)
                xs, ys, zs = zip(*(sample(pattern.name, pip).as_tuple() for pip in pips))
                yield pips, list(xs), list(ys), list(zs)
            return
        for first in range(start, stop, step):
            pips = range(first, min(first + step, stop), every)
            rows = arrays.frames(pattern.name, np.arange(pips.start, pips.stop, every), self.source)
            xs, ys, zs = rows.T.tolist()
            yield pips, xs, ys, zs


def family_title(members: Sequence[Pattern]) -> str:
    """A heading for a family: the beat title its descriptions share, or a
    plain heading for the procedural groups; empty when there is none."""
    if members[0].pack == PROCEDURAL:
        return {"motions": "Smooth body motions",
                "rudiments": "Drum rudiments as two-axis hand motion"}[members[0].family]
    titles = {m.description.split(TITLE_SEPARATOR, 1)[0] if TITLE_SEPARATOR in m.description
              else None for m in members}
    title = titles.pop() if len(titles) == 1 else None
    return title or ""


def resolve_pack(text: str) -> str:
    """A pack name as the user may write it: `atlas`, `Atlas` or
    `gesturon_atlas`."""
    name = text.strip().lower().removeprefix("gesturon_")
    if name in PACK_NAMES:
        return name
    close = difflib.get_close_matches(name, PACK_NAMES, n=1, cutoff=0.6)
    hint = f"did you mean {close[0]}? " if close else ""
    raise ToolError(f"unknown pack {text!r}; {hint}packs: {', '.join(PACK_NAMES)}", status=2)


def text_words(text: str) -> list[str]:
    """The words of a filter or a description, lower-cased: runs of letters
    and digits, kept whole across a hyphen or an underscore inside them
    ("four-floor", "3-2", "beat_four_floor")."""
    words = (word.strip("-_") for word in re.split(r"[^\w-]+", text.lower()))
    return [word for word in words if word]


def name_words(name: str) -> list[str]:
    """A name's words (split at underscores), each with the rest of the
    name after it, so that `floor_surge` or `four_floor` find
    `beat_four_floor_surge`."""
    parts = [part for part in name.lower().split("_") if part]
    return ["_".join(parts[i:]) for i in range(len(parts))]


def matches(pattern: Pattern, text: str) -> bool:
    """True when every word of `text` begins a word of the pattern's name,
    family or description, or begins its pack's name, ignoring case; never
    a word inside another (`floor` does not select the dancefloor pack).
    The gallery's filter (`page/gallery.js`) follows the same rule."""
    words = text_words(text)
    keys = [*name_words(pattern.name), *name_words(pattern.family),
            *text_words(pattern.description)]
    pack = pattern.pack.lower()
    return all(pack.startswith(word) or any(key.startswith(word) for key in keys)
               for word in words)
