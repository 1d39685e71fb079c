"""The `gesturon` command: list, show and export catalogue patterns, render
your own beats, write the catalogue gallery and the Blender add-on, play
patterns and show files live and check show files.

Each subcommand lives in its own module of `commands` (the console's in
`console`); this one builds the parser from them and runs the chosen one. Every failure is one line on stderr with a non-zero exit status (see
`commands.common`).
"""

from __future__ import annotations

import sys
from typing import Sequence

from . import __version__, console
from .catalogue import Catalogue, load_source
from .commands import blenderaddon, export, gallery, listing, play as playing, render, show, showfile
from .commands.common import Parser, Run, report_failures
from .commands.scores import DEFAULT_MOTION, add_score_flag, own_beats


def build_parser() -> tuple[Parser, dict[str, Parser]]:
    """The command's parser and the parser of each subcommand."""
    parser = Parser(prog="gesturon",
                    description="Browse the gesturon pattern catalogue.")
    parser.add_argument("--version", action="version", version=f"gesturon {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    subcommands = [module.add_parser(commands) for module in (listing, show, export, render)]
    play = playing.add_parser(commands)
    play.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                      help=f"the motion of each score or MIDI file among the names (default: {DEFAULT_MOTION})")
    add_score_flag(play)
    subcommands += [play, gallery.add_parser(commands), blenderaddon.add_parser(commands),
                    showfile.add_check_parser(commands), console.add_parser(commands)]
    return parser, {sub.prog.removeprefix("gesturon ").strip(): sub for sub in subcommands}


def main(argv: Sequence[str] | None = None) -> int:
    out = sys.stdout

    def run_command() -> None:
        parser, commands = build_parser()
        args, extra = parser.parse_known_args(argv)
        if extra:
            commands[args.command].error(f"unrecognized arguments: {' '.join(extra)}")
        run: Run = args.run
        source = load_source()
        own = own_beats(args)
        if own:
            import gesturon
            source = gesturon.PatternLibrary(own)
        run(args, Catalogue(source, own=[pattern.name for pattern in own]), out)
        out.flush()

    return report_failures(run_command)


if __name__ == "__main__":
    sys.exit(main())
