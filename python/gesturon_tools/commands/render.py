"""`gesturon render`: your own beat (a score file or a standard MIDI drum
loop) in one of the sixteen motions, written as `export` writes.

    gesturon render SCORE_OR_MIDI --motion NAME [export's options]
"""

from __future__ import annotations

from typing import TYPE_CHECKING

from .. import drums
from .common import Parser
from .export import add_export_options

if TYPE_CHECKING:
    from .common import Subcommands


def add_parser(commands: Subcommands) -> Parser:
    render = commands.add_parser(
        "render", help="a drum score or MIDI loop in one motion, as CSV or JSON",
        description="Render your own beat (a score file or a standard MIDI drum loop) in one of "
                    "the sixteen motions and write its positions as export does.")
    render.add_argument("name", metavar="SCORE_OR_MIDI")
    render.add_argument("--motion", required=True, metavar="NAME",
                        help=f"one of {', '.join(drums.motion_keys())}")
    add_export_options(render)
    return render
