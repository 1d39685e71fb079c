"""Running the `gesturon` command in-process, as the command-line tests do."""

import pytest

from gesturon_tools.cli import main

# A play command line that works as it is; tests add options to it.
PLAY = ["play", "helix", "--bpm", "120"]



def run(capsys, *argv):
    status = main(list(argv))
    out, err = capsys.readouterr()
    return status, out, err



def assert_one_line_error(err, *fragments):
    assert err.count("\n") == 1 and err.startswith("gesturon: "), err
    assert "Traceback" not in err
    for fragment in fragments:
        assert fragment in err


def refusals(cases):
    """Command lines the command must refuse, (argv, status, fragments)
    each, as test parameters named by the command line."""
    return [pytest.param(argv, status, fragments, id=" ".join(argv) or "(no arguments)")
            for argv, status, fragments in cases]


def assert_refused(capsys, argv, status, fragments):
    """The command exits with `status`, writes nothing to the standard
    output and one line to the standard error that holds every fragment."""
    code, out, err = run(capsys, *argv)
    assert code == status and out == ""
    assert_one_line_error(err, *fragments)
