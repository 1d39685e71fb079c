"""Your own beat in the sixteen motions: a drum score, in the score format of
the built-in beats or read from a standard MIDI file, rendered into a
`gesturon.SampledPattern` by the same native renderers that made the stored
`beat_*` tables, so a built-in score renders to its stored table bit for bit.

    from gesturon_tools import drums
    score = drums.load_score("my_loop.mid")        # or a .beat file, or score text
    pattern = drums.render(score, "figure8")       # a gesturon.SampledPattern
    library = gesturon.PatternLibrary(drums.render_all(score))

MIDI files are read with `mido` (install `gesturon[midi]`): the General MIDI
percussion notes on channel 10 become the score's instruments, velocities
become accents (110 and above), ghosts (below 64) or normal hits, and every
hit keeps its time on the 64-pip beat grid: hits that sit on a straight or
triplet grid are written on that grid exactly, any other hit on the nearest
pip.
"""

from __future__ import annotations

import math
from collections import defaultdict
from fractions import Fraction
from importlib import resources
from pathlib import Path
from typing import TYPE_CHECKING, Any

from . import _beats
from .catalogue import TITLE_SEPARATOR, ToolError

if TYPE_CHECKING:
    import gesturon

PIPS_PER_BEAT = 64
MAX_PERIOD = 65535
MIDI_SUFFIXES = (".mid", ".midi", ".smf")

# General MIDI percussion (channel 10) onto the score's instruments.
GM_DRUMS: dict[int, str] = {
    35: "kick", 36: "kick",
    37: "rim", 38: "snare", 40: "snare", 39: "clap",
    42: "hat", 44: "hat", 46: "open_hat",
    41: "tom_low", 43: "tom_low", 45: "tom_mid", 47: "tom_mid", 48: "tom_high", 50: "tom_high",
    49: "open_hat", 52: "open_hat", 55: "open_hat", 57: "open_hat",  # crashes and splashes
    51: "ride", 59: "ride", 53: "bell",
    54: "shaker", 69: "shaker", 70: "shaker", 82: "shaker",
    56: "cowbell", 75: "clave",
    60: "conga", 61: "conga", 62: "conga", 63: "conga", 64: "conga",
}
PERCUSSION_CHANNEL = 9  # channel 10, counted from 0
ACCENT_VELOCITY = 110
GHOST_BELOW = 64

# The grids a lane may use, coarsest first, in steps per bar.
GRIDS = (1, 2, 4, 8, 16, 32, 3, 6, 12, 24, 48, 64, 96, 128, 192, 256)
LEVELS = "oxX"  # ghost, normal, accent


def motion_keys() -> list[str]:
    return [key for key, _, _ in _beats.motions()]


def builtin_scores() -> dict[str, str]:
    """The score text of every built-in beat, by beat key, in catalogue order."""
    folder = resources.files("gesturon_tools") / "beats"
    texts = [entry.read_text(encoding="utf-8") for entry in sorted(folder.iterdir(), key=lambda e: e.name)
             if entry.name.endswith(".beat")]
    return {_beats.parse_score(text)["key"]: text for text in texts}


def load_score(source: str | Path) -> str:
    """Score text from a .beat file, a MIDI file or the text itself.

    A path that ends in .mid, .midi or .smf is read as MIDI; any other
    existing file as score text; a string that is no file name is taken as
    the text. Raises ValueError for a faulty score."""
    path = Path(source)
    text: str
    if path.suffix.lower() in MIDI_SUFFIXES:
        text = midi_to_score(path)
    elif isinstance(source, Path) or ("\n" not in source and path.is_file()):
        text = path.read_text(encoding="utf-8")
    else:
        text = str(source)
    _beats.parse_score(text)  # raises ValueError naming the faulty line
    return text


def render(score: str, motion: str, name: str | None = None) -> gesturon.SampledPattern:
    """The score in one motion as a pattern named `name` (default
    beat_<key>_<motion>), described as the dancefloor patterns are:
    "<title> — <motion title>. <motion sentence>"."""
    titles = {key: (title, sentence) for key, title, sentence in _beats.motions()}
    if motion not in titles:
        raise ValueError(f"unknown motion {motion!r}; the motions are {', '.join(titles)}")
    header = _beats.parse_score(score)
    _, rows = _beats.render(score, motion)
    import gesturon

    title, sentence = titles[motion]
    description = f"{header['title']}{TITLE_SEPARATOR}{title}. {sentence}"
    return gesturon.SampledPattern(name or f"beat_{header['key']}_{motion}", description, rows)


def render_all(score: str) -> list[gesturon.SampledPattern]:
    """The score in all sixteen motions, in catalogue order."""
    return [render(score, motion) for motion in motion_keys()]


# --- MIDI -----------------------------------------------------------------------

def _mido() -> Any:
    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise ToolError("reading MIDI files needs mido: pip install 'gesturon[midi]'") from None
    return mido


def midi_to_score(path: str | Path, key: str | None = None, title: str | None = None,
                  depth: bool | None = None) -> str:
    """The drum part of a standard MIDI file as score text.

    `depth` says whether the beat's bounce and step use depth; by default
    they do when the loop has toms or other percussion to ride on.

    Raises ValueError when the file is not MIDI, holds no drum notes, or
    loops for longer than 65535 pips."""
    mido = _mido()
    path = Path(path)
    if not path.is_file():
        raise FileNotFoundError(2, "No such file", str(path))
    try:
        midi = mido.MidiFile(str(path))
    except (OSError, EOFError, ValueError, KeyError, IndexError) as e:
        raise ValueError(f"{path.name} is not a standard MIDI file ({e})") from None
    if midi.type == 2 or midi.ticks_per_beat <= 0:
        raise ValueError(f"{path.name}: only MIDI files of type 0 or 1 with beats divided in ticks are read")
    per_beat = midi.ticks_per_beat
    numerator, denominator = 4, 4
    hits: list[tuple[int, int, int]] = []  # (tick, note, velocity)
    end = 0
    for track in midi.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "time_signature" and tick == 0:
                numerator, denominator = message.numerator, message.denominator
            elif (message.type == "note_on" and message.velocity > 0
                  and message.channel == PERCUSSION_CHANNEL):
                hits.append((tick, message.note, message.velocity))
            elif message.type == "end_of_track":
                end = max(end, tick)
    if not hits:
        raise ValueError(f"{path.name} has no drum notes (General MIDI percussion on channel 10)")
    bar_pips = Fraction(4 * PIPS_PER_BEAT * numerator, denominator)
    if bar_pips.denominator != 1:
        raise ValueError(f"{path.name}: a bar of {numerator}/{denominator} is not a whole number of pips")
    bar = int(bar_pips)
    to_pip = Fraction(PIPS_PER_BEAT, per_beat)
    last = max(end, max(tick for tick, _, _ in hits) + 1)
    bars = max(1, math.ceil(Fraction(last) * to_pip / bar))
    if bars * bar > MAX_PERIOD:
        raise ValueError(f"{path.name} loops for {bars * bar} pips; a pattern holds at most {MAX_PERIOD}")

    # Each instrument on the coarsest grid that holds all its hits exactly;
    # where none does, each hit on the coarsest grid that holds it, or on
    # its nearest pip.
    by_instrument: dict[str, list[tuple[int, Fraction, str]]] = defaultdict(list)
    for tick, note, velocity in hits:
        pip = Fraction(tick) * to_pip
        if pip < bars * bar:
            index, within = divmod(pip, bar)
            level = "X" if velocity >= ACCENT_VELOCITY else "o" if velocity < GHOST_BELOW else "x"
            by_instrument[GM_DRUMS.get(note, "perc")].append((int(index), Fraction(within) / bar, level))
    lanes: dict[tuple[str, int], dict[int, dict[int, str]]] = defaultdict(lambda: defaultdict(dict))
    for instrument, placed in by_instrument.items():
        shared = next((n for n in GRIDS if all((p * n).denominator == 1 for _, p, _ in placed)), None)
        for index, position, level in placed:
            steps, step = (shared, int(position * shared)) if shared else _grid_of(position, bar)
            cell = lanes[(instrument, steps)][index]
            if step not in cell or LEVELS.index(level) > LEVELS.index(cell[step]):
                cell[step] = level  # two hits on one step: the harder one stands
    name = key or _key_of(path.stem)
    lines = [f"# Read from {path.name} ({numerator}/{denominator}, {per_beat} ticks a beat).",
             f"key    {name}", f"title  {title or path.stem}", "note", f"bars   {bars}"]
    if (numerator, denominator) != (4, 4):
        lines.append(f"meter  {numerator}/{denominator}")
    if depth is None:
        groups = dict(_beats.instruments())
        depth = any(groups[instrument] == "percussion" for instrument in by_instrument)
    lines.append(f"depth  {'yes' if depth else 'no'}")
    lines.append("")
    order = [name for name, _ in _beats.instruments()]
    for (instrument, steps), cells in sorted(lanes.items(), key=lambda lane: (order.index(lane[0][0]), lane[0][1])):
        row = " | ".join("".join(cells.get(b, {}).get(i, ".") for i in range(steps)) for b in range(bars))
        lines.append(f"{instrument:<8} | {row} |")
    return "\n".join(lines) + "\n"


def _grid_of(position: Fraction, bar: int) -> tuple[int, int]:
    """(steps per bar, step) of the coarsest grid on which a position within
    the bar (0 <= position < 1) falls exactly; positions on none of them go
    to their nearest pip."""
    for steps in GRIDS:
        exact = position * steps
        if exact.denominator == 1:
            return steps, int(exact)
    return bar, min(bar - 1, round(position * bar))


def _key_of(stem: str) -> str:
    """A beat key from a file name: lower case, runs of other characters as _."""
    out = "".join(c if c.isascii() and c.isalnum() else "_" for c in stem.lower()).strip("_")
    while "__" in out:
        out = out.replace("__", "_")
    if not out or not out[0].isalpha():
        out = "beat_" + out
    return out[:48]
