"""The `gesturon` command: list, show and export catalogue patterns, render
your own beats, write the catalogue gallery and the Blender add-on, play
patterns and show files live, check show files and find Art-Net nodes.

Each subcommand lives in its own module of `commands` (the console's in
`console`); this one builds the parser from them and runs the chosen one.
Only the chosen subcommand's module is imported (a command such as
`gallery` need not load the live player, the show files and the outputs);
every one of them is imported to list them all, for `--help` or a command
that is not there. Every failure is one line on stderr with a non-zero exit
status (see `commands.common`).
"""

from __future__ import annotations

import argparse
import importlib
import sys
from typing import TYPE_CHECKING, Any, Sequence

from .catalogue import Catalogue, load_source
from .commands.common import Parser, Run, report_failures

if TYPE_CHECKING:
    from .commands.common import Subcommands

# Each subcommand's name, in the order `--help` lists them, and the module
# that adds its parser (by its `add_parser`, or the function named after it).
SUBCOMMANDS = {
    "list": "commands.listing",
    "show": "commands.show",
    "export": "commands.export",
    "render": "commands.render",
    "play": "commands.play",
    "gallery": "commands.gallery",
    "blender-addon": "commands.blenderaddon",
    "check": "commands.showfile:add_check_parser",
    "console": "console",
    "artnet-nodes": "commands.artnetnodes",
}


class ShowVersion(argparse.Action):
    """`--version`: the installed version, read only when asked for."""

    def __init__(self, option_strings: Sequence[str], dest: str, **_: Any) -> None:
        super().__init__(option_strings, dest=argparse.SUPPRESS, default=argparse.SUPPRESS, nargs=0,
                         help="show program's version number and exit")

    def __call__(self, parser: argparse.ArgumentParser, namespace: argparse.Namespace,
                 values: Any, option_string: str | None = None) -> None:
        from . import __version__

        print(f"gesturon {__version__}")
        parser.exit()


def add_subcommand(commands: Subcommands, name: str) -> Parser:
    """Imports the module of subcommand `name` and adds its parser."""
    module_name, _, function = SUBCOMMANDS[name].partition(":")
    module = importlib.import_module(f"{__package__}.{module_name}")
    sub: Parser = getattr(module, function or "add_parser")(commands)
    if name == "play":
        from .commands.scores import DEFAULT_MOTION, add_score_flag

        sub.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                         help=f"the motion of each score or MIDI file among the names (default: {DEFAULT_MOTION})")
        add_score_flag(sub)
    return sub


def build_parser(argv: Sequence[str] | None = None) -> tuple[Parser, dict[str, Parser]]:
    """The command's parser and the parser of each subcommand it holds: of
    the one `argv` begins with when that names a subcommand, else of all."""
    parser = Parser(prog="gesturon",
                    description="Browse the gesturon pattern catalogue.")
    parser.add_argument("--version", action=ShowVersion)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    names = [argv[0]] if argv and argv[0] in SUBCOMMANDS else list(SUBCOMMANDS)
    return parser, {name: add_subcommand(commands, name) for name in names}


def main(argv: Sequence[str] | None = None) -> int:
    out = sys.stdout
    arguments = list(sys.argv[1:] if argv is None else argv)

    def run_command() -> None:
        parser, commands = build_parser(arguments)
        args, extra = parser.parse_known_args(arguments)
        if extra:
            commands[args.command].error(f"unrecognized arguments: {' '.join(extra)}")
        run: Run = args.run
        source = load_source()
        from .commands.scores import own_beats

        own = own_beats(args)
        if own:
            import gesturon
            source = gesturon.PatternLibrary(own)
        run(args, Catalogue(source, own=[pattern.name for pattern in own]), out)
        out.flush()

    return report_failures(run_command)


if __name__ == "__main__":
    sys.exit(main())
