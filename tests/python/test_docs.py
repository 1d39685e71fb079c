"""The README and the guides say what is true: every link and anchor leads
somewhere, every guide is reached from the README, and the sessions and
command transcripts they show print what they say."""

from __future__ import annotations

import doctest
import shlex
from pathlib import Path

import pytest

from commandline import run
from guides import DOCUMENTS, README, ROOT, anchors, blocks, links


def local_links() -> list[tuple[str, str]]:
    return [(path.relative_to(ROOT).as_posix(), target)
            for path in DOCUMENTS for target in links(path) if "://" not in target]


@pytest.mark.parametrize("document, target", local_links())
def test_links_lead_to_a_file_and_heading(document, target):
    source = ROOT / document
    path, _, anchor = target.partition("#")
    destination = (source.parent / path).resolve() if path else source
    assert destination.is_file(), f"{document}: {target} is not a file"
    if anchor:
        assert anchor in anchors(destination), f"{document}: {target} names no heading"


def test_every_guide_is_reached_from_the_readme():
    reached, todo = set(), [README]
    while todo:
        page = todo.pop()
        if page in reached:
            continue
        reached.add(page)
        for target in links(page):
            path = target.partition("#")[0]
            if path.endswith(".md") and "://" not in path:
                todo.append((page.parent / path).resolve())
    assert set(DOCUMENTS) - reached == set()


def transcripts() -> list[tuple[str, str, str]]:
    """(document, command line, what it prints) of every `$ gesturon` block
    of the front page and the command's guide."""
    found = []
    for path in (README, ROOT / "docs" / "commands.md"):
        for block in blocks(path, "text"):
            command, _, printed = block.partition("\n")
            if command.startswith("$ gesturon "):
                found.append((path.name, command[2:], printed))
    return found


@pytest.mark.parametrize("document, command, printed", transcripts())
def test_transcripts_show_what_the_command_prints(document, command, printed, capsys):
    _, out, err = run(capsys, *shlex.split(command)[1:])
    assert out + err == printed


@pytest.mark.parametrize("document", [p for p in DOCUMENTS if blocks(p, "pycon")],
                         ids=lambda p: p.name)
def test_python_sessions_print_what_they_show(document: Path):
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    for i, session in enumerate(blocks(document, "pycon"), 1):
        runner.run(parser.get_doctest(session, {}, f"{document.name} session {i}", str(document), 0))
    assert runner.summarize(verbose=False).failed == 0
