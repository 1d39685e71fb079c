"""`gesturon export`: one pattern's positions as CSV or JSON, pip by pip
or, at a tempo, time-stamped by the player's clock.

    gesturon export NAME [--format csv|json] [--start PIP] [--stop PIP] [--every K]
                    [--bpm BPM [--fps N]] [-o FILE] [--motion NAME] [--score]

`render` writes a score or MIDI file's positions with the same options.
"""

from __future__ import annotations

import argparse
import itertools
import json
import math
from fractions import Fraction
from typing import TYPE_CHECKING, Iterable, Iterator, NamedTuple, TextIO

from ..catalogue import INT32_MAX, PIPS_PER_BEAT, Catalogue, Pattern, ToolError
from ..clock import NS_PER_SECOND, BeatClock, Line, frame_time
from .common import Parser, bpm_arg, fps_arg, pip_arg, positive_int, stop_pip_arg
from .scores import add_name_argument, add_score_flag

if TYPE_CHECKING:
    from .common import Subcommands


def add_parser(commands: Subcommands) -> Parser:
    export = commands.add_parser(
        "export", help="one pattern's positions as CSV or JSON",
        description="One pattern's positions, pip by pip, as CSV or JSON. "
                    "By default the whole period from pip 0.")
    add_name_argument(export)
    add_export_options(export)
    add_score_flag(export)
    return export


def add_export_options(export: Parser) -> None:
    export.add_argument("--format", choices=("csv", "json"), default="csv")
    export.add_argument("--start", type=pip_arg, default=0, metavar="PIP",
                        help="first pip (default: 0)")
    export.add_argument("--stop", type=stop_pip_arg, metavar="PIP",
                        help="pip after the last one (default: start plus one period)")
    export.add_argument("--every", type=positive_int, default=1, metavar="K",
                        help="every K-th pip only (default: 1)")
    export.add_argument("--bpm", type=bpm_arg, metavar="BPM",
                        help="time-stamp the rows at this tempo (seconds from beat zero): "
                             "one row per pip, or per frame with --fps")
    export.add_argument("--fps", type=fps_arg, metavar="N",
                        help="with --bpm: one row per frame at N frames a second, each at "
                             "the pip of its instant")
    export.add_argument("-o", "--output", metavar="FILE",
                        help="write to FILE instead of the standard output")
    export.set_defaults(run=run)


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
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
