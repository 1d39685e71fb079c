"""Running the `gesturon` command in-process, as the command-line tests do."""

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
