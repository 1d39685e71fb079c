"""`gesturon render`: your own beat (a score file or a standard MIDI drum
loop) in one of the sixteen motions, written as `export` writes.

    gesturon render SCORE_OR_MIDI --motion NAME [export's options]
    gesturon render SCORE_OR_MIDI_OR_BEAT --audio OUT.wav [--bpm B] [--loops N]
"""

from __future__ import annotations

import argparse
import sys
from typing import TYPE_CHECKING, TextIO

from .. import drums, synth
from ..catalogue import Catalogue, ToolError
from . import export
from .common import Parser
from .export import add_export_options

if TYPE_CHECKING:
    from .common import Subcommands


def add_parser(commands: Subcommands) -> Parser:
    render = commands.add_parser(
        "render", help="a drum score or MIDI loop in one motion, as CSV or JSON",
        description="Render your own beat (a score file or a standard MIDI drum loop) in one of "
                    "the sixteen motions and write its positions as export does; with --audio, "
                    "write it (or a built-in beat by its key) as sound.")
    render.add_argument("name", metavar="SCORE_OR_MIDI")
    render.add_argument("--motion", metavar="NAME",
                        help=f"one of {', '.join(drums.motion_keys())}")
    add_export_options(render)
    synth.add_audio_options(render)
    render.set_defaults(run=run)
    return render


def run(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    """A score's positions in --motion, its sound in --audio, or both."""
    if args.motion is None and args.audio is None:
        raise ToolError("render: give --motion NAME for positions or --audio FILE for sound", status=2)
    if args.audio is not None:
        synth.run_audio(args.score_name, args,
                        sys.stderr if args.motion is not None and args.output is None else out)
    if args.motion is not None:
        export.run(args, catalogue, out)
