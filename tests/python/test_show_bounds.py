"""Every bound of a show file at its edge: a show holding as much as a bound
allows is read, one more is refused with a mistake naming the bound, and
malformed files end in ShowErrors, never anything else."""

import pytest

from gesturon_tools import show
from gesturon_tools.cli import main

HEAD = '[tempo]\nbpm = 120\n'


def fixtures(n):
    return "".join(f"[fixtures.f{i}]\n" for i in range(n))


def cue(entries, steps=0):
    chain = f', transform = [{", ".join(["{ rotate = 1 }"] * steps)}]' if steps else ""
    return "[cues.c]\n" + "".join(f'f{i} = {{ pattern = "helix"{chain} }}\n' for i in range(entries))


# Each bound, and a show holding n of what it counts.
SHOWS = {
    "MAX_FIXTURES": lambda n: HEAD + fixtures(n) + cue(n),
    "MAX_GROUPS": lambda n: HEAD + fixtures(1) + "[groups]\n" + "".join(f'g{i} = ["f0"]\n' for i in range(n))
    + cue(1),
    "MAX_GROUP_MEMBERS": lambda n: HEAD + "[fixtures.f]\ncount = 512\n[groups]\ng = [" + ", ".join(['"f"'] * n)
    + ']\n[cues.c]\ng = { pattern = "helix" }\n',
    "MAX_OUTPUTS": lambda n: HEAD + fixtures(1) + cue(1) + '[[outputs]]\nkind = "osc"\nto = "127.0.0.1:9000"\n' * n,
    "MAX_CUES": lambda n: HEAD + fixtures(1) + "".join(f'[cues.c{i}]\nf0 = {{ pattern = "helix" }}\n'
                                                       for i in range(n)),
    "MAX_CUE_ENTRIES": lambda n: HEAD + fixtures(n) + cue(n),
    "MAX_CHAIN_STEPS": lambda n: HEAD + fixtures(1) + cue(1, n),
    "MAX_STEPS": lambda n: HEAD + fixtures(n // 32 + 1) + "[cues.c]\n" + "".join(
        f'f{i} = {{ pattern = "helix", transform = [{", ".join(["{ speed = 1 }"] * min(32, n - 32 * i))}] }}\n'
        for i in range(n // 32 + 1) if n - 32 * i > 0) + "".join(
        f'f{i} = {{ pattern = "helix" }}\n' for i in range(n // 32 + 1) if n - 32 * i <= 0),
    "MAX_CUE_LIST": lambda n: HEAD + fixtures(1) + cue(1) + "[cuelist]\ncues = [" + ", ".join(['"c"'] * n) + "]\n",
}


@pytest.mark.parametrize("bound", SHOWS)
def test_each_bound_holds_at_its_edge(bound):
    limit = getattr(show, bound)
    read = show.parse(SHOWS[bound](limit))
    assert read.order()
    with pytest.raises(show.ShowErrors) as caught:
        show.parse(SHOWS[bound](limit + 1))
    mistake = caught.value.errors[0]  # what is left out may add mistakes of its own
    assert f"at most {limit}" in mistake.message or f"more than {limit}" in mistake.message


@pytest.mark.parametrize("extra, accepted", [(0, True), (1, False)])
def test_a_show_file_is_at_most_its_bound_in_bytes(tmp_path, capsys, extra, accepted):
    text = HEAD + fixtures(1) + cue(1)
    text += "#" * (show.MAX_SHOW_BYTES + extra - len(text) - 1) + "\n"
    path = tmp_path / "big.toml"
    path.write_text(text)
    assert main(["check", str(path)]) == (0 if accepted else 1)
    out, err = capsys.readouterr()
    if accepted:
        assert out.endswith(": ok: 1 fixtures (0 on DMX), 1 cues, outputs: none\n")
    else:
        assert out == f"{path}: the show is more than {show.MAX_SHOW_BYTES} bytes; a show file is at most " \
                      f"{show.MAX_SHOW_BYTES}\n"
        assert err == f"gesturon: {path}: 1 mistake\n"
        with pytest.raises(show.ShowErrors, match="1 mistake"):
            show.parse(text)


@pytest.mark.parametrize("text", ["a = " + "[" * 5000 + "]" * 5000, "a = " + "{ b = " * 5000 + "1" + " }" * 5000])
def test_nesting_deeper_than_the_reader_goes_is_a_mistake(text):
    with pytest.raises(show.ShowErrors) as caught:
        show.parse(text)
    assert [str(e) for e in caught.value.errors] == ["arrays or tables nested too deeply"]


def test_only_the_first_mistakes_are_placed_and_all_are_counted():
    many = show.MAX_MISTAKES_SHOWN + 7
    text = HEAD + "".join(f"[fixtures.f{i}]\nfog = 1\n" for i in range(many)) + "[cues.c]\n"
    with pytest.raises(show.ShowErrors) as caught:
        show.parse(text)
    errors = caught.value
    assert errors.total == many and str(errors) == f"<show>: {many} mistakes"
    assert [e.line for e in errors.errors[:-1]] == [4 + 2 * i for i in range(show.MAX_MISTAKES_SHOWN)]
    assert str(errors.errors[-1]) == "and 7 more mistakes"


def test_a_group_lists_each_fixture_once_in_the_order_first_named():
    text = HEAD + "[fixtures.r]\ncount = 3\n[fixtures.s]\n[groups]\ng = [\"s\", \"r\", \"s\", \"r/2\"]\n" + \
        '[cues.c]\ng = { pattern = "helix" }\n'
    assert show.parse(text).groups["g"] == ("s", "r/1", "r/2", "r/3")


@pytest.mark.parametrize("text", [
    '[tempo]\nbpm = 120\n[fixtures."a\\nb"]\n[cues.c]\n',
    '"x\\u001b[2Jy" = 1\n[tempo]\nbpm = 120\n[fixtures.a]\n[cues.c]\na = { pattern = "helix" }\n',
    '[tempo]\nbpm = 120\n[fixtures.a]\n[cues.c]\na = { pattern = "helix" }\n"\\r" = { pattern = "helix" }\n',
])
def test_a_mistake_shows_control_characters_of_keys_escaped_on_one_line(text):
    with pytest.raises(show.ShowErrors) as caught:
        show.parse(text)
    lines = caught.value.lines()
    assert lines and all(line.isprintable() for line in lines)
