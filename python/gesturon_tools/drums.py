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

Whatever a file holds, reading it ends in a score or in ValueError (or
FileNotFoundError for a missing file), and its cost is bounded: a MIDI file
is at most MAX_MIDI_BYTES long and holds at most MAX_DRUM_NOTES drum notes,
the score made from it at most MAX_SCORE_STEPS steps, and score text at most
MAX_SCORE_BYTES (docs/limits.md).
"""

from __future__ import annotations

import errno
import io
import os
from collections import defaultdict
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

# What an import may cost. A drum loop of a few bars is a few kilobytes;
# 256 KiB reads in a fraction of a second. A score holds at most 4096 hits,
# so more drum notes than four times that cannot make one. Every step of
# every lane is a character of the score text.
MAX_MIDI_BYTES = 256 * 1024
MAX_DRUM_NOTES = 16384
MAX_SCORE_STEPS = 1 << 20
# The score text the reader takes (a loop of 65535 pips in every one of the
# seventeen instruments, one step a pip, is about 1.1 MB).
MAX_SCORE_BYTES = 4 * 1024 * 1024

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
    elif isinstance(source, Path) or "\n" not in source:
        # A score has several lines, so one line is always a file name.
        if not is_file(path):
            raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), str(path))
        if path.stat().st_size > MAX_SCORE_BYTES:
            raise ValueError(f"{_shown(path.name)} is longer than a score may be ({MAX_SCORE_BYTES} bytes)")
        text = path.read_text(encoding="utf-8")
    else:
        text = str(source)
    check_score_text(text)
    _beats.parse_score(text)  # raises ValueError naming the faulty line
    return text


def check_score_text(text: str) -> None:
    """ValueError unless the text is at most MAX_SCORE_BYTES of UTF-8 (a
    str may hold lone surrogates, which are no text at all)."""
    try:
        size = len(text.encode("utf-8"))
    except UnicodeEncodeError:
        raise ValueError("the score is not UTF-8 text") from None
    if size > MAX_SCORE_BYTES:
        raise ValueError(f"the score is {size} bytes; a score is at most {MAX_SCORE_BYTES}")


def is_file(path: Path) -> bool:
    """Whether `path` names an existing file; a name the system refuses (too
    long, say) names none."""
    try:
        return path.is_file()
    except (OSError, ValueError):
        return False


def _shown(text: str) -> str:
    """A file name as printable text: bytes that are not UTF-8 as U+FFFD."""
    return os.fsencode(text).decode("utf-8", "replace")


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

    Raises ValueError when the file is not MIDI, holds no drum notes, loops
    for longer than 65535 pips, or is beyond the bounds of an import
    (MAX_MIDI_BYTES, MAX_DRUM_NOTES, MAX_SCORE_STEPS)."""
    path = Path(path)
    if not is_file(path):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), str(path))
    if path.stat().st_size > MAX_MIDI_BYTES:
        raise ValueError(f"{_shown(path.name)} is longer than a MIDI drum loop may be ({MAX_MIDI_BYTES} bytes)")
    with path.open("rb") as file:
        data = file.read(MAX_MIDI_BYTES + 1)  # no more, should it have grown since it was measured
    return midi_bytes_to_score(data, path.name, key, title, depth)


def midi_bytes_to_score(data: bytes, file_name: str = "loop.mid", key: str | None = None,
                        title: str | None = None, depth: bool | None = None) -> str:
    """The drum part of a standard MIDI file's bytes as score text, as
    midi_to_score reads a file named `file_name`."""
    mido = _mido()
    shown = _shown(file_name)
    stem = Path(file_name).stem
    if len(data) > MAX_MIDI_BYTES:
        raise ValueError(f"{shown} is longer than a MIDI drum loop may be ({MAX_MIDI_BYTES} bytes)")
    try:
        midi = mido.MidiFile(file=io.BytesIO(data))
    except Exception as e:  # noqa: BLE001 - whatever the reader trips over, the file is not MIDI
        raise ValueError(f"{shown} is not a standard MIDI file ({type(e).__name__}: {e})") from None
    # The top bit of the division marks SMPTE frames rather than ticks a beat.
    if midi.type == 2 or not 0 < midi.ticks_per_beat < 0x8000:
        raise ValueError(f"{shown}: only MIDI files of type 0 or 1 with beats divided in ticks are read")
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
                if len(hits) == MAX_DRUM_NOTES:
                    raise ValueError(f"{shown} holds more than {MAX_DRUM_NOTES} drum notes")
                hits.append((tick, message.note, message.velocity))
            elif message.type == "end_of_track":
                end = max(end, tick)
    if not hits:
        raise ValueError(f"{shown} has no drum notes (General MIDI percussion on channel 10)")
    if numerator < 1 or (4 * PIPS_PER_BEAT * numerator) % denominator != 0:
        raise ValueError(f"{shown}: a bar of {numerator}/{denominator} is not a whole number of pips")
    bar = 4 * PIPS_PER_BEAT * numerator // denominator
    # Times are counted in units of 1/per_beat pip, so that every hit's
    # place is a whole number and no fraction is built per note.
    bar_units = bar * per_beat
    last = max(end, max(tick for tick, _, _ in hits) + 1)
    bars = max(1, -(-last * PIPS_PER_BEAT // bar_units))
    if bars * bar > MAX_PERIOD:
        raise ValueError(f"{shown} loops for {bars * bar} pips; a pattern holds at most {MAX_PERIOD}")

    # Each instrument on the coarsest grid that holds all its hits exactly;
    # where none does, each hit on the coarsest grid that holds it, or on
    # its nearest pip. A hit's place in its bar is within / bar_units.
    by_instrument: dict[str, list[tuple[int, int, str]]] = defaultdict(list)
    for tick, note, velocity in hits:
        units = tick * PIPS_PER_BEAT
        if units < bars * bar_units:
            index, within = divmod(units, bar_units)
            level = "X" if velocity >= ACCENT_VELOCITY else "o" if velocity < GHOST_BELOW else "x"
            by_instrument[GM_DRUMS.get(note, "perc")].append((index, within, level))
    lanes: dict[tuple[str, int], dict[int, dict[int, str]]] = defaultdict(lambda: defaultdict(dict))
    for instrument, placed in by_instrument.items():
        shared = next((n for n in GRIDS if all(within * n % bar_units == 0 for _, within, _ in placed)), None)
        for index, within, level in placed:
            steps, step = (shared, within * shared // bar_units) if shared else _grid_of(within, bar_units, bar)
            cell = lanes[(instrument, steps)][index]
            if step not in cell or LEVELS.index(level) > LEVELS.index(cell[step]):
                cell[step] = level  # two hits on one step: the harder one stands
    cells = sum(steps for _, steps in lanes) * bars
    if cells > MAX_SCORE_STEPS:
        raise ValueError(f"{shown} makes a score of {cells} steps; an import makes at most {MAX_SCORE_STEPS}")
    name = key or _key_of(stem)
    lines = [f"# Read from {shown} ({numerator}/{denominator}, {per_beat} ticks a beat).",
             f"key    {name}", f"title  {title or _shown(stem)}", "note", f"bars   {bars}"]
    if (numerator, denominator) != (4, 4):
        lines.append(f"meter  {numerator}/{denominator}")
    if depth is None:
        groups = dict(_beats.instruments())
        depth = any(groups[instrument] == "percussion" for instrument in by_instrument)
    lines.append(f"depth  {'yes' if depth else 'no'}")
    lines.append("")
    order = [name for name, _ in _beats.instruments()]
    for (instrument, steps), placed_cells in sorted(lanes.items(),
                                                    key=lambda lane: (order.index(lane[0][0]), lane[0][1])):
        row = " | ".join("".join(placed_cells.get(b, {}).get(i, ".") for i in range(steps)) for b in range(bars))
        lines.append(f"{instrument:<8} | {row} |")
    return "\n".join(lines) + "\n"


def _grid_of(within: int, bar_units: int, bar: int) -> tuple[int, int]:
    """(steps per bar, step) of the coarsest grid on which a place within the
    bar (within / bar_units, in [0, 1)) falls exactly; places on none of them
    go to their nearest pip, halves to the even one."""
    for steps in GRIDS:
        if within * steps % bar_units == 0:
            return steps, within * steps // bar_units
    pip, rest = divmod(within * bar, bar_units)
    if 2 * rest > bar_units or (2 * rest == bar_units and pip % 2 == 1):
        pip += 1
    return bar, min(bar - 1, pip)


def _key_of(stem: str) -> str:
    """A beat key from a file name: lower case, runs of other characters as _."""
    out = "".join(c if c.isascii() and c.isalnum() else "_" for c in stem.lower()).strip("_")
    while "__" in out:
        out = out.replace("__", "_")
    if not out or not out[0].isalpha():
        out = "beat_" + out
    return out[:48]
