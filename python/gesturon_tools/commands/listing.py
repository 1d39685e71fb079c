"""`gesturon list`: the catalogue as a table.

    gesturon list [--pack NAME] [--match TEXT]
"""

from __future__ import annotations

import argparse
import shutil
from typing import TYPE_CHECKING, TextIO

from ..catalogue import PACK_NAMES, Catalogue, ToolError
from .common import Parser

if TYPE_CHECKING:
    from .common import Subcommands


def add_parser(commands: Subcommands) -> Parser:
    listing = commands.add_parser(
        "list", help="the catalogue as a table",
        description="The catalogue as a table: name, period in beats, dimensions, description.")
    listing.add_argument("--pack", metavar="NAME",
                         help=f"only this pack ({', '.join(PACK_NAMES)})")
    listing.add_argument("--match", metavar="TEXT",
                         help="only patterns where every word of TEXT begins a word of the "
                              "name, description or family, or the pack's name (ignoring case; "
                              "as the gallery's filter)")
    listing.set_defaults(run=run)
    return listing


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
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
