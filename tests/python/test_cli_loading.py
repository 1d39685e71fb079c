"""The command imports only the chosen subcommand's module, and what it
builds from that one module is what it builds when it lists them all."""

import subprocess
import sys

import pytest

from gesturon_tools import cli

NAMES = list(cli.SUBCOMMANDS)


def test_the_full_parser_lists_every_subcommand_in_order():
    _, commands = cli.build_parser()
    assert list(commands) == NAMES
    parser, _ = cli.build_parser(["no-such-command"])
    listed = parser.format_help()
    assert all(f"    {name}" in listed for name in NAMES)


@pytest.mark.parametrize("name", NAMES)
def test_a_subcommand_built_alone_is_the_one_built_among_all(name):
    _, alone = cli.build_parser([name, "--anything"])
    _, among_all = cli.build_parser()
    assert list(alone) == [name]
    assert alone[name].format_help() == among_all[name].format_help()
    assert alone[name].get_default("run") is among_all[name].get_default("run")


# Modules that only playing, show files or the Blender add-on need.
HEAVY = ["gesturon_tools.live", "gesturon_tools.commands.play", "gesturon_tools.commands.showfile",
         "gesturon_tools.commands.blenderaddon", "gesturon_tools.console", "importlib.metadata"]
LOADED = """
import sys
from gesturon_tools.cli import main
status = main(sys.argv[1:])
print(status, *sorted(sys.modules))
"""


@pytest.mark.parametrize("argv", [["list", "--pack", "procedural"], ["show", "helix", "--beats", "1"],
                                  ["export", "lfo_breathe", "--stop", "4"], ["gallery", "--help"]])
def test_a_command_that_does_not_play_loads_nothing_for_playing(argv):
    done = subprocess.run([sys.executable, "-c", LOADED, *argv], capture_output=True, text=True, check=True)
    status, *modules = done.stdout.splitlines()[-1].split()
    assert status == "0"
    assert f"gesturon_tools.{cli.SUBCOMMANDS[argv[0]]}" in modules
    assert not set(HEAVY) & set(modules)

