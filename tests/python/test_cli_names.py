"""What a name on the `gesturon` command line stands for: a pattern, unless it
is plainly a path or --score says it is a file; and the one version."""

import importlib.metadata
import tomllib
from pathlib import Path

import pytest

import gesturon
import gesturon_tools
from commandline import run

ROOT = Path(__file__).resolve().parents[2]
SCORE = "key test_loop\ntitle Test / loop\nbars 1\nkick | x... x... x... x... |\n"
# Built-in names that look like bare file names: no "_" in them.
PLAIN_NAMES = [r["name"] for r in gesturon.catalogue() if "_" not in r["name"]]


@pytest.mark.parametrize("name", PLAIN_NAMES)
def test_a_file_named_like_a_pattern_does_not_change_the_pattern(capsys, tmp_path, monkeypatch, name):
    monkeypatch.chdir(tmp_path)
    before = run(capsys, "show", name, "--beats", "1")
    (tmp_path / name).write_text("not a score\n", encoding="utf-8")
    assert run(capsys, "show", name, "--beats", "1") == before
    assert before[0] == 0 and before[1].startswith(name + "\n")


@pytest.mark.parametrize("argv, rendered", [
    (["show", "./loop"], True),
    (["show", "loop", "--score"], True),
    (["show", "loop.beat"], True),
    (["export", "--score", "loop", "--format", "json"], True),
    (["show", "loop"], False),
])
def test_a_name_is_a_file_when_it_is_a_path_or_score_says_so(capsys, tmp_path, monkeypatch, argv, rendered):
    monkeypatch.chdir(tmp_path)
    for file in ("loop", "loop.beat"):
        (tmp_path / file).write_text(SCORE, encoding="utf-8")
    status, out, err = run(capsys, *argv)
    if rendered:
        assert status == 0 and err == "" and "beat_test_loop_bounce" in out
    else:
        assert status == 1 and out == "" and err == (
            "gesturon: unknown pattern 'loop'; a file of that name is here: "
            "name it ./loop or add --score to read it as a score\n")


# A name that is a file must be one: a missing file is never read as score
# text (which would report its own name as a faulty line).
@pytest.mark.parametrize("argv", [
    ["show", "gone.beat"], ["export", "./gone"], ["show", "gone", "--score"],
    ["render", "gone.beat", "--motion", "spring"], ["gallery", "--add", "gone.beat"],
    ["play", "gone.beat", "--bpm", "120"],
])
def test_a_missing_score_file_is_reported_as_missing(capsys, tmp_path, monkeypatch, argv):
    monkeypatch.chdir(tmp_path)
    status, out, err = run(capsys, *argv)
    assert status == 1 and out == ""
    assert err.startswith("gesturon: cannot read ") and err.endswith(": No such file or directory\n")
    assert err.count("\n") == 1


def test_version_is_the_one_in_the_project_file(capsys):
    with open(ROOT / "pyproject.toml", "rb") as project:
        version = tomllib.load(project)["project"]["version"]
    status, out, err = run(capsys, "--version")
    assert (status, out, err) == (0, f"gesturon {version}\n", "")
    assert gesturon_tools.__version__ == importlib.metadata.version("gesturon") == version
