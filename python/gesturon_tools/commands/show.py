"""`gesturon show`: one pattern's record, a plot of its period in the
terminal, and its positions pip by pip.

    gesturon show NAME [--beats N] [--every K] [--motion NAME] [--score]
"""

from __future__ import annotations

import argparse
import os
from typing import TYPE_CHECKING, TextIO

from .. import termplot
from ..catalogue import PIPS_PER_BEAT, Catalogue, Pattern, beat_position
from .common import Parser, beats_arg, positive_int
from .scores import add_name_argument, add_score_flag

if TYPE_CHECKING:
    from .common import Subcommands


def add_parser(commands: Subcommands) -> Parser:
    show = commands.add_parser(
        "show", help="one pattern: its record, a plot and its positions",
        description="One pattern's record, a plot of x, y and z over its period, "
                    "and its positions pip by pip.")
    add_name_argument(show)
    show.add_argument("--beats", type=beats_arg, metavar="N",
                      help="list the positions of the first N beats (default: one period)")
    show.add_argument("--every", type=positive_int, default=1, metavar="K",
                      help="list every K-th pip only (default: 1)")
    add_score_flag(show)
    show.set_defaults(run=run)
    return show


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
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
