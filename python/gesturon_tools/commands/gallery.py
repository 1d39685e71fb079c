"""`gesturon gallery`: the catalogue gallery, one self-contained HTML page.

    gesturon gallery [-o DIR] [--add FILE ...]
"""

from __future__ import annotations

import argparse
from pathlib import Path
from typing import TYPE_CHECKING, TextIO

from .. import gallery
from ..catalogue import Catalogue, ToolError
from .common import Parser

if TYPE_CHECKING:
    from .common import Subcommands

DEFAULT_GALLERY_DIR = "gesturon-gallery"


def add_parser(commands: Subcommands) -> Parser:
    page = commands.add_parser(
        "gallery", help="write the catalogue gallery (one HTML page)",
        description="Write a self-contained HTML page with a drawing of every pattern.")
    page.add_argument("-o", "--output", metavar="DIR", default=DEFAULT_GALLERY_DIR,
                      help=f"directory for index.html (default: {DEFAULT_GALLERY_DIR})")
    page.add_argument("--add", dest="add_beats", action="append", default=[], metavar="FILE",
                      help="add your own beat (a score or MIDI file) in all sixteen motions; repeatable")
    # The first spelling of --add, still read: elsewhere --score says that a
    # name is a file, which is why the gallery's option took a new name.
    page.add_argument("--score", dest="add_beats", action="append", help=argparse.SUPPRESS)
    page.set_defaults(run=run)
    return page


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    try:
        path = gallery.write_gallery(catalogue, Path(args.output))
    except OSError as error:
        raise ToolError(f"cannot write the gallery to {args.output}: {error.strerror}") from None
    size = path.stat().st_size
    shown = f"{size / 1e6:.1f} MB" if size >= 1e6 else f"{size / 1e3:.0f} kB"
    print(f"Wrote {path}: {len(catalogue)} patterns, {shown}.", file=out)
    print(f"Open {path.resolve().as_uri()} in a browser.", file=out)
