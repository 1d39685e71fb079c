"""The `gesturon` command: list, show and export catalogue patterns, write
the catalogue gallery and play patterns live.

Every failure is one line on stderr with a non-zero exit status: 2 for a
command line that cannot be understood (unknown option, bad number, unknown
pack), 1 for everything else (unknown pattern, nothing matching a filter, a
file that cannot be written).
"""

from __future__ import annotations

import argparse
import itertools
import json
import math
import os
import shutil
import sys
from fractions import Fraction
from pathlib import Path
from typing import (TYPE_CHECKING, Callable, Iterable, Iterator, NamedTuple, NoReturn, Sequence,
                    TextIO)

from . import __version__, blendercmd, drums, gallery, playcmd, showcmd, synth, termplot
from .clock import NS_PER_SECOND, BeatClock, Line, frame_time
if TYPE_CHECKING:
    import gesturon
from .catalogue import (INT32_MAX, INT32_MIN, PACK_NAMES, PIPS_PER_BEAT, Catalogue,
                        Pattern, ToolError, beat_position, beats_text, load_source)

DEFAULT_GALLERY_DIR = "gesturon-gallery"
NAME_HELP = ("a pattern, or a score or MIDI file to render in --motion: a path with a slash or a "
             ".beat or MIDI suffix, or any file with --score")


class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are one line and an exit status,
    never a usage dump."""

    def error(self, message: str) -> NoReturn:
        command = self.prog.removeprefix("gesturon").strip()
        raise ToolError(f"{command + ': ' if command else ''}{message} "
                        f"(see '{self.prog} --help')", status=2)


def positive_int(text: str) -> int:
    value = int_arg(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1, not {text}")
    return value


def int_arg(text: str) -> int:
    try:
        return int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None


def pip_arg(text: str, last: int = INT32_MAX) -> int:
    value = int_arg(text)
    if not INT32_MIN <= value <= last:
        raise argparse.ArgumentTypeError(
            f"{text} is outside the pip range {INT32_MIN}..{last}")
    return value


def stop_pip_arg(text: str) -> int:
    """The pip after the last one, so one more than the last pip may be."""
    return pip_arg(text, INT32_MAX + 1)


def beats_arg(text: str) -> int:
    """A number of beats (fractions allowed) as a pip count."""
    try:
        beats = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of beats: {text!r}") from None
    if not beats * PIPS_PER_BEAT >= 1:  # also refuses nan
        raise argparse.ArgumentTypeError(f"must cover at least one pip, not {text}")
    if beats * PIPS_PER_BEAT > INT32_MAX:
        raise argparse.ArgumentTypeError(f"{text} beats is beyond the pip range")
    return round(beats * PIPS_PER_BEAT)


DEFAULT_MOTION = "bounce"


def build_parser() -> tuple[Parser, dict[str, Parser]]:
    """The command's parser and the parser of each subcommand."""
    parser = Parser(prog="gesturon",
                    description="Browse the gesturon pattern catalogue.")
    parser.add_argument("--version", action="version", version=f"gesturon {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    listing = commands.add_parser(
        "list", help="the catalogue as a table",
        description="The catalogue as a table: name, period in beats, dimensions, description.")
    listing.add_argument("--pack", metavar="NAME",
                         help=f"only this pack ({', '.join(PACK_NAMES)})")
    listing.add_argument("--match", metavar="TEXT",
                         help="only patterns whose name, description, family or pack "
                              "contains every word of TEXT (ignoring case)")
    listing.set_defaults(run=run_list)

    show = commands.add_parser(
        "show", help="one pattern: its record, a plot and its positions",
        description="One pattern's record, a plot of x, y and z over its period, "
                    "and its positions pip by pip.")
    show.add_argument("name", help=NAME_HELP)
    show.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                      help=f"the motion of a score or MIDI file (default: {DEFAULT_MOTION})")
    show.add_argument("--beats", type=beats_arg, metavar="N",
                      help="list the positions of the first N beats (default: one period)")
    show.add_argument("--every", type=positive_int, default=1, metavar="K",
                      help="list every K-th pip only (default: 1)")
    show.set_defaults(run=run_show)

    export = commands.add_parser(
        "export", help="one pattern's positions as CSV or JSON",
        description="One pattern's positions, pip by pip, as CSV or JSON. "
                    "By default the whole period from pip 0.")
    export.add_argument("name", help=NAME_HELP)
    export.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                        help=f"the motion of a score or MIDI file (default: {DEFAULT_MOTION})")
    render = commands.add_parser(
        "render", help="a drum score or MIDI loop in one motion, as CSV or JSON",
        description="Render your own beat (a score file or a standard MIDI drum loop) in one of "
                    "the sixteen motions and write its positions as export does; with --audio, "
                    "write it (or a built-in beat by its key) as sound.")
    render.add_argument("name", metavar="SCORE_OR_MIDI")
    render.add_argument("--motion", metavar="NAME",
                        help=f"one of {', '.join(drums.motion_keys())}")
    for sub in (export, render):
        add_export_options(sub)
    synth.add_audio_options(render)
    render.set_defaults(run=run_render)
    play = playcmd.add_parser(commands, beats_arg)
    play.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                      help=f"the motion of each score or MIDI file among the names (default: {DEFAULT_MOTION})")
    for sub in (show, export, play):
        sub.add_argument("--score", dest="names_files", action="store_true",
                         help="the name (for play: every name) is a score or MIDI file, whatever it is called")

    page = commands.add_parser(
        "gallery", help="write the catalogue gallery (one HTML page)",
        description="Write a self-contained HTML page with a drawing of every pattern.")
    page.add_argument("-o", "--output", metavar="DIR", default=DEFAULT_GALLERY_DIR,
                      help=f"directory for index.html (default: {DEFAULT_GALLERY_DIR})")
    page.add_argument("--score", action="append", default=[], metavar="FILE",
                      help="add your own beat (a score or MIDI file) in all sixteen motions; repeatable")
    page.set_defaults(run=run_gallery)
    addon = blendercmd.add_parser(commands)
    check = showcmd.add_check_parser(commands)
    return parser, {"list": listing, "show": show, "export": export, "render": render, "gallery": page,
                    "play": play, "check": check, "blender-addon": addon}


def add_export_options(export: Parser) -> None:
    export.add_argument("--format", choices=("csv", "json"), default="csv")
    export.add_argument("--start", type=pip_arg, default=0, metavar="PIP",
                        help="first pip (default: 0)")
    export.add_argument("--stop", type=stop_pip_arg, metavar="PIP",
                        help="pip after the last one (default: start plus one period)")
    export.add_argument("--every", type=positive_int, default=1, metavar="K",
                        help="every K-th pip only (default: 1)")
    export.add_argument("--bpm", type=playcmd.bpm_arg, metavar="BPM",
                        help="time-stamp the rows at this tempo (seconds from beat zero): "
                             "one row per pip, or per frame with --fps")
    export.add_argument("--fps", type=playcmd.fps_arg, metavar="N",
                        help="with --bpm: one row per frame at N frames a second, each at "
                             "the pip of its instant")
    export.add_argument("-o", "--output", metavar="FILE",
                        help="write to FILE instead of the standard output")
    export.set_defaults(run=run_export)


def run_render(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    """A score's positions in --motion, its sound in --audio, or both."""
    if args.motion is None and args.audio is None:
        raise ToolError("render: give --motion NAME for positions or --audio FILE for sound", status=2)
    if args.audio is not None:
        synth.run_audio(args.score_name, args, sys.stderr if args.motion is not None and args.output is None else out)
    if args.motion is not None:
        run_export(args, catalogue, out)


def run_list(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    chosen = catalogue.select(args.pack, args.match)
    if not chosen:
        wanted = [f"--pack {args.pack}"] if args.pack else []
        wanted += [f"--match {args.match!r}"] if args.match else []
        raise ToolError(f"no pattern matches {' '.join(wanted)}")
    rows = [(p.name, p.period_beats, f"{p.dimensions} {p.axes}", p.description)
            for p in chosen]
    header = ("NAME", "BEATS", "DIMS", "DESCRIPTION")
    name_width = max(len(row[0]) for row in rows + [header])
    limit = shutil.get_terminal_size().columns if out.isatty() else None
    for name, beats, dims, description in [header] + rows:
        line = f"{name:<{name_width}}  {beats:>5}  {dims:<5}  {description}"
        if limit and len(line) > limit:
            line = line[: limit - 1] + "\u2026"
        print(line, file=out)


def run_show(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    pattern = catalogue.find(args.name)
    period = [row[1:] for row in catalogue.positions(pattern, 0, pattern.period_pips)]
    print(pattern.name, file=out)
    print(f"  {pattern.description}", file=out)
    for label, value in record_lines(pattern):
        print(f"  {label:<11}{value}", file=out)
    print(file=out)
    colour = out.isatty() and not os.environ.get("NO_COLOR")
    for line in termplot.plot(period, pattern.dimensions, PIPS_PER_BEAT, colour=colour):
        print(line, file=out)
    print(file=out)
    span = args.beats if args.beats is not None else pattern.period_pips
    print(f"{'pip':>7} {'beat:pip':>9} {'x':>10} {'y':>10} {'z':>10}", file=out)
    for pip, x, y, z in catalogue.positions(pattern, 0, span, args.every):
        print(f"{pip:>7} {beat_position(pip):>9} {x:>10.6f} {y:>10.6f} {z:>10.6f}", file=out)


def record_lines(pattern: Pattern) -> list[tuple[str, str]]:
    return [
        ("period", f"{pattern.period_pips} pips ({pattern.period_beats} "
                   f"beat{'' if pattern.period_beats == '1' else 's'})"),
        ("dimensions", f"{pattern.dimensions} ({', '.join(pattern.axes)})"),
        ("pack", pattern.pack),
        ("family", pattern.family),
    ]


def run_export(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    pattern = catalogue.find(args.name)
    start = args.start
    stop = args.stop if args.stop is not None else min(start + pattern.period_pips,
                                                       INT32_MAX + 1)
    if stop <= start:
        raise ToolError(f"export: --stop {stop} must be greater than --start {start}", status=2)
    if args.fps is not None and args.bpm is None:
        raise ToolError("export: --fps needs --bpm", status=2)
    span = Span(start, stop, args.every, args.bpm, args.fps)
    rows: Rows = catalogue.positions(pattern, start, stop, args.every)
    if args.bpm is not None:
        rows = timed_rows(catalogue, pattern, span)
    write = export_json if args.format == "json" else export_csv
    if args.output is None:
        write(pattern, rows, span, out)
        return
    try:
        with open(args.output, "w", encoding="utf-8", newline="") as file:
            write(pattern, rows, span, file)
    except OSError as error:
        raise ToolError(f"cannot write {args.output}: {error.strerror}") from None


Rows = Iterable[tuple[float, ...]]


class Span(NamedTuple):
    start: int
    stop: int
    every: int
    bpm: Fraction | None = None
    fps: int | None = None

    @property
    def columns(self) -> list[str]:
        return (["seconds"] if self.bpm is not None else []) + ["pip", "x", "y", "z"]


def timed_rows(catalogue: Catalogue, pattern: Pattern, span: Span) -> Rows:
    """(seconds, pip, x, y, z) with beat zero at 0 s, by the player's
    clock and frame-time rule: with a frame rate, every `every`-th frame
    whose pip lies in [start, stop), each at the pip of its instant;
    without one, every `every`-th pip at the instant it begins. Seconds
    are whole nanoseconds, written as the double nearest to them (which
    prints as the exact decimal)."""
    assert span.bpm is not None
    clock = BeatClock(span.bpm, 0, now_ns=lambda: 0)
    if span.fps is None:
        # clock.time_of_pip(pip), its terms taken out of the loop.
        terms = Line(0, Fraction(0), span.bpm).pip_time_terms()
        for pips, xs, ys, zs in catalogue.blocks(pattern, span.start, span.stop, span.every):
            yield from zip(seconds_of_pips(terms, pips), pips, xs, ys, zs)
        return
    sample = catalogue.source.sample
    fps = span.fps
    # The first frame at or after the instant the start pip begins.
    index = -(-clock.time_of_pip(span.start) * fps // NS_PER_SECOND)
    while True:
        t = frame_time(0, index, fps)
        pip = clock.pip_at(t)
        if pip >= span.stop:
            return
        yield (t / NS_PER_SECOND, pip, *sample(pattern.name, pip).as_tuple())
        index += span.every


def seconds_of_pips(terms: tuple[int, int, int, int], pips: range) -> list[float]:
    """The instant each pip begins, in seconds: its whole nanosecond
    at - (offset - pip * scale) // divisor (see `Line.pip_time_terms`) over
    10^9, the double nearest to the exact quotient.

    With NumPy this is done in 64-bit integers where that is exact: when no
    product can overflow and every nanosecond count stays below 2^53, so
    that converting it to a double and dividing rounds once, as Python's
    int / int does. Otherwise, and without NumPy, in Python integers."""
    at, scale, offset, divisor = terms
    common = math.gcd(scale, offset, divisor)
    scale, offset, divisor = scale // common, offset // common, divisor // common
    widest = max(abs(pips.start), abs(pips.stop)) * scale + abs(offset)
    if widest < 2**62 and abs(at) + widest // divisor + 1 < 2**53:
        try:
            import numpy as np
        except ImportError:
            pass
        else:
            ns = at - (offset - np.arange(pips.start, pips.stop, pips.step) * scale) // divisor
            return (ns / NS_PER_SECOND).tolist()  # type: ignore[no-any-return]
    return [(at - (offset - pip * scale) // divisor) / NS_PER_SECOND for pip in pips]


def row_batches(rows: Rows, size: int = 4096) -> Iterator[list[tuple[float, ...]]]:
    """The rows in lists of `size`, so that each batch is written at once."""
    rows = iter(rows)
    while batch := list(itertools.islice(rows, size)):
        yield batch


def export_csv(pattern: Pattern, rows: Rows, span: Span, out: TextIO) -> None:
    """One line per row; repr() (%r) writes each double so it reads back exactly."""
    out.write(",".join(span.columns) + "\n")
    line = ",".join(["%r"] * len(span.columns)) + "\n"
    for batch in row_batches(rows):
        out.write("".join([line % row for row in batch]))


def export_json(pattern: Pattern, rows: Rows, span: Span, out: TextIO) -> None:
    """The record and the rows as one JSON object; rows are written as they
    are sampled, so a long range never sits in memory."""
    head: dict[str, object] = {
        "name": pattern.name, "description": pattern.description,
        "period_pips": pattern.period_pips, "dimensions": pattern.dimensions,
        "pack": pattern.pack, "family": pattern.family,
        "pips_per_beat": PIPS_PER_BEAT, "start": span.start, "stop": span.stop,
        "every": span.every,
    }
    if span.bpm is not None:
        head["bpm"] = float(span.bpm)
        head["fps"] = span.fps
    head["columns"] = span.columns
    # The head object, left open (its closing brace dropped) for the rows.
    out.write(json.dumps(head, ensure_ascii=False)[:-1] + ', "rows": [')
    # Each row as json.dumps writes a list of ints and finite floats (every
    # value a pattern gives is finite): repr of each, ", " between them.
    line = ",\n  [" + ", ".join(["%r"] * len(span.columns)) + "]"
    first = True
    for batch in row_batches(rows):
        text = "".join([line % row for row in batch])
        out.write("\n" + text[2:] if first else text)
        first = False
    out.write("\n]}\n")


def run_gallery(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    try:
        path = gallery.write_gallery(catalogue, Path(args.output))
    except OSError as error:
        raise ToolError(f"cannot write the gallery to {args.output}: {error.strerror}") from None
    size = path.stat().st_size
    shown = f"{size / 1e6:.1f} MB" if size >= 1e6 else f"{size / 1e3:.0f} kB"
    print(f"Wrote {path}: {len(catalogue)} patterns, {shown}.", file=out)
    print(f"Open {path.resolve().as_uri()} in a browser.", file=out)


def is_score_file(name: str, said: bool = False) -> bool:
    """Whether a name stands for a score or MIDI file: when --score says so,
    or when it is plainly a path (it holds a slash, or ends in a score or
    MIDI suffix) and not a show file. A pattern name stays a pattern name
    whatever files lie in the working folder."""
    suffix = Path(name).suffix.lower()
    if said:
        return True
    if suffix == ".toml":  # a show file
        return False
    is_path = "/" in name or os.sep in name
    return is_path or suffix in (".beat", *drums.MIDI_SUFFIXES)


def own_beats(args: argparse.Namespace) -> list[gesturon.SampledPattern]:
    """Renders the score and MIDI files the command names, and points the
    arguments at the rendered patterns: a file among the pattern names in its
    --motion, each --score of the gallery in all sixteen motions."""
    def rendered(source: str, motions: Sequence[str]) -> list[gesturon.SampledPattern]:
        try:
            score = synth.score_text(source) if args.command == "render" else drums.load_score(source)
            return [drums.render(score, motion) for motion in motions]
        except OSError as error:
            raise ToolError(f"cannot read {source}: {error.strerror}") from None
        except ValueError as error:
            raise ToolError(f"{source}: {error}") from None

    if args.command == "render":
        args.score_name = args.name  # the file or beat key, before it names the rendered pattern
    own: list[gesturon.SampledPattern] = []
    for source in getattr(args, "score", []):
        own += rendered(source, drums.motion_keys())
    said = getattr(args, "names_files", False)
    if args.command == "render":  # without --motion it writes sound only
        in_motion = args.motion is not None
    else:
        in_motion = bool(getattr(args, "name", None)) and is_score_file(args.name, said)
    if in_motion:
        [pattern] = rendered(args.name, [args.motion])
        own.append(pattern)
        args.name = pattern.name
    if args.command == "play":
        for i, name in enumerate(args.names):
            if is_score_file(name, said):
                [pattern] = rendered(name, [args.motion])
                own.append(pattern)
                args.names[i] = pattern.name
    # One pattern per name: a beat named twice is rendered once. A beat whose
    # key is a built-in beat's (its own score file, say) is shown as beat_my_<key>.
    import gesturon

    built_in = {record["name"] for record in gesturon.catalogue()}
    unique: dict[str, gesturon.SampledPattern] = {}
    for pattern in own:
        name = pattern.name
        if name in built_in:
            name = "beat_my_" + name.removeprefix("beat_")
            pattern = gesturon.SampledPattern(name, pattern.description,
                                              [pattern.sample(k).as_tuple() for k in range(pattern.period_pips)])
        unique[name] = pattern
    renamed = {p.name.removeprefix("beat_my_"): p.name for p in unique.values()}
    if getattr(args, "name", None):
        args.name = renamed.get(args.name.removeprefix("beat_"), args.name)
    if args.command == "play":
        args.names = [renamed.get(n.removeprefix("beat_"), n) for n in args.names]
    return list(unique.values())


def main(argv: Sequence[str] | None = None) -> int:
    out = sys.stdout
    try:
        parser, commands = build_parser()
        args, extra = parser.parse_known_args(argv)
        if extra:
            commands[args.command].error(f"unrecognized arguments: {' '.join(extra)}")
        run: Callable[[argparse.Namespace, Catalogue, TextIO], None] = args.run
        source = load_source()
        own = own_beats(args)
        if own:
            import gesturon
            source = gesturon.PatternLibrary(own)
        run(args, Catalogue(source, own=[pattern.name for pattern in own]), out)
        out.flush()
        return 0
    except ToolError as error:
        print(f"gesturon: {error}", file=sys.stderr)
        return error.status
    except SystemExit as done:  # --help
        return done.code if isinstance(done.code, int) else 0
    except BrokenPipeError:
        # The reader went away (`gesturon list | head`): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except KeyboardInterrupt:
        return 130
    except Exception as error:  # a fault of the tool itself: still one line
        print(f"gesturon: internal error: {type(error).__name__}: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
