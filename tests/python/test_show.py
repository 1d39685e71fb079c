"""Show files: the example show loads and plays what it says, every kind of
mistake is reported with its place, and `gesturon play SHOW.toml` steps
through cues on the bar for every output (real OSC receiver on 127.0.0.1)."""

import io
import math
import subprocess
import sys
import time
from pathlib import Path

import pytest

import gesturon
from gesturon_tools.cli import main
from gesturon_tools.show import FIXTURE_KEYS, ShowErrors, load, parse
from guides import blocks
from loopback import OscListener

EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "stage.toml"
TEXT = EXAMPLE.read_text()
PERIOD = {r["name"]: r["period_pips"] for r in gesturon.catalogue()}
HEADS = [f"head/{i}" for i in range(1, 5)]


def base(name, pip):
    return gesturon.sample(name, pip % PERIOD[name]).as_tuple()


def loopback_outputs(text, port):
    """The example's outputs replaced by OSC to a local receiver (no multicast)."""
    head, _, rest = text.partition("[[outputs]]")
    cues = rest[rest.index("[cues."):]
    return (head + f'[[outputs]]\nkind = "osc"\nto = "127.0.0.1:{port}"\ndouble = true\n\n' + cues)


def test_the_example_loads_as_written():
    show = load(str(EXAMPLE))
    assert show.bpm == 124 and show.meter.beats_per_bar == 4
    assert show.labels == HEADS + ["visual"]
    assert [show.fixtures[h].address for h in HEADS] == [1, 6, 11, 16]
    assert show.groups["heads"] == tuple(HEADS)
    assert show.order() == ("intro", "verse", "drop")
    assert [o.kind for o in show.outputs] == ["sacn", "osc"]
    # What each cue plays, against the catalogue's own samples.
    intro, drop = show.cue_patterns("intro"), show.cue_patterns("drop")
    for pip in (0, 5, 300, -7):
        for i, head in enumerate(HEADS):
            p = intro[head].sample(pip)
            assert (p.x, p.y, p.z) == base("lfo_breathe", pip + 16 * i)
            x, y, z = base("beat_house_classic_figure8", 2 * pip)
            p = drop[head].sample(pip)
            assert (p.x, p.y, p.z) == (-y, x, z)
        p = drop["visual"].sample(pip)
        x, y, z = base("helix", pip)
        assert (p.x, p.y, p.z) == (-x, y, z)
    assert set(show.cue_patterns("verse")) == set(HEADS)   # the visual keeps playing


@pytest.mark.parametrize("text", [
    TEXT,
    TEXT.replace("bpm = 124", 'bpm = "385/3"').replace('{ speed = 2 }', '{ speed = "3/4" }')
        .replace('mode = "key"', 'mode = "timeline"\nbars = [1, 5, 9]')
        .replace("travel = 270 }", "travel = 270, limits = [10.5, 260] }")
        .replace('to = "127.0.0.1:9000"', 'to = "[::1]:9000"\naddress = "/stage/{name}"'),
])
def test_a_good_show_round_trips(text):
    show = parse(text)
    written = show.to_toml()
    again = parse(written)
    assert again == show and again.data == show.data
    assert again.to_toml() == written


def edited(old, new):
    assert old in TEXT, old
    return TEXT.replace(old, new, 1)


MISTAKES = [
    (edited("count = 4\n", "count = 4\ncolour = \"red\"\n"), "[fixtures.head] colour",
     f"unknown key (known: {', '.join(FIXTURE_KEYS)})"),
    (TEXT + "\n[lights]\nx = 1\n", "lights", "unknown key (known: tempo, fixtures"),
    (edited('visual = { pattern = "helix" }', 'visual = { pattern = "helx" }'),
     "[cues.intro] visual", "unknown pattern 'helx'; did you mean helix"),
    (edited("[fixtures.visual]", "[fixtures.spot]\nuniverse = 1\naddress = 18\n\n[fixtures.visual]"),
     "[fixtures]", "head/4 and spot overlap at channel 18 of universe 1"),
    (edited("universe = 1", "universe = 70000"), "[fixtures.head] universe",
     "universe must be 1 to 63999, not 70000"),
    (edited("[cues.drop]\n", "[cues.drop]\nlasers = { pattern = \"helix\" }\n"),
     "[cues.drop] lasers", "no group or fixture 'lasers'"),
    (edited("bpm = 124", "bpm = 124 124"), "column 11", "Expected newline"),
    (edited("bpm = 124", "bpm = 1240"), "[tempo] bpm", "1240"),
    (edited("bpm = 124", "bpm = 124\nsource = \"ltc\""), "[tempo] source",
     "unknown tempo source 'ltc' (known: fixed, tap, link, midi)"),
    (edited("bpm = 124", "bpm = 124\nsource = \"tap\"\nquantum = 4"), "[tempo] quantum",
     "only source = \"link\" takes this"),
    (edited("bpm = 124", "bpm = 124\nsource = \"link\"\nport = \"x\""), "[tempo] port",
     "only source = \"midi\" takes this"),
    (edited("bpm = 124", "bpm = 124\nsource = \"link\"\nquantum = 65"), "[tempo] quantum",
     "quantum must be a whole number 1 to 64"),
    (edited("bpm = 124", "bpm = 124\nsource = \"link\"\nlead = 1"), "[tempo] lead",
     "expected true or false, not 1"),
    (edited("bpm = 124", "bpm = 124\nsource = \"midi\""), "[tempo]", "needs a port"),
    (edited("bpm = 124", "bpm = 124\nsource = \"midi\"\nport = \"\""), "[tempo] port",
     "expected the name of a MIDI input port, not ''"),
    (edited("[{ speed = 2 }", "[{ spin = 2 }"), "[cues.drop] heads transform step 1",
     "unknown step 'spin'"),
    (edited("[{ speed = 2 }", "[{ speed = 0 }"), "[cues.drop] heads", "must be positive"),
    (edited("spread = 0.25", "spread = 0.001"), "[cues.intro] heads spread", "whole number of pips"),
    (edited('kind = "sacn"', 'kind = "laser"'), "[[outputs]] #1 kind", "unknown output kind 'laser'"),
    (edited('to = "127.0.0.1:9000"', 'to = "127.0.0.1:99999"'), "[[outputs]] #2 (osc) to",
     "port must be 1 to 65535"),
    (edited('to = "127.0.0.1:9000"\n', ''), "[[outputs]] #2 (osc)", "missing key 'to'"),
    (edited("double = true", "double = 1"), "[[outputs]] #2 (osc) double",
     "expected true or false, not 1"),
    (edited("double = true", 'address = "/a b"'), "[[outputs]] #2 (osc) address",
     "not an OSC address"),
    (edited("universe = 1\naddress = 1\n", "").replace('layout = "pan pan_fine tilt tilt_fine 255"\n', "")
     .replace("pan = { centre = 270, swing = 60, travel = 540 }\n", "")
     .replace("tilt = { centre = 135, swing = 40, travel = 270 }\n", ""),
     "[[outputs]] #1 (sacn)", "needs a fixture with a universe"),
    (edited('cues = ["intro", "verse", "drop"]', 'cues = ["intro", "chorus"]'), "[cuelist] cues",
     "no cue 'chorus'"),
    (edited('mode = "key"', 'mode = "timeline"\nbars = [1, 9, 5]'), "[cuelist] bars",
     "bars start at 1 and increase"),
    (edited("heads = [\"head\"]", "heads = [\"head\"]\nleft = [\"head\"]")
     .replace('visual = { pattern = "helix" }', 'visual = { pattern = "helix" }\nleft = { pattern = "sway" }', 1),
     "[cues.intro]", "left and heads both give a pattern to head/1, head/2, head/3, head/4"),
    (edited('visual = { pattern = "helix" }\n', ''), "[cues.intro]",
     "a show starting here needs a pattern for every fixture; none for visual"),
    (edited("layout = \"pan pan_fine tilt tilt_fine 255\"", "layout = \"pan spin\""),
     "[fixtures.head] layout", "unknown channel 'spin'"),
    (edited("pan = { centre = 270,", "pan = { middle = 270,"), "[fixtures.head] pan",
     "unknown key 'middle'"),
]


@pytest.mark.parametrize("text, place, message", MISTAKES, ids=[m[2] for m in MISTAKES])
def test_each_mistake_has_its_place_and_message(text, place, message):
    with pytest.raises(ShowErrors) as caught:
        parse(text)
    assert [(e.place, message in e.message) for e in caught.value.errors] == [(place, True)]


def test_every_mistake_is_reported_at_once_by_check(tmp_path, capsys):
    text = TEXT.replace("universe = 1", "universe = 0").replace("count = 4", "count = 4\nfog = 1")
    text = text.replace('visual = { pattern = "helix" }', 'visual = { pattern = "nope" }')
    path = tmp_path / "bad.toml"
    path.write_text(text)
    lines = text.splitlines()
    fog, universe = lines.index("fog = 1") + 1, lines.index("universe = 0") + 1
    visual = lines.index('visual = { pattern = "nope" }') + 1
    assert main(["check", str(path)]) == 1
    out, err = capsys.readouterr()
    assert out.splitlines() == [
        f"{path}:{fog}: [fixtures.head] fog: unknown key (known: {', '.join(FIXTURE_KEYS)})",
        f"{path}:{universe}: [fixtures.head] universe: universe must be 1 to 63999, not 0",
        f"{path}:{visual}: [cues.intro] visual: unknown pattern 'nope'; no similar name",
    ]
    assert err == f"gesturon: {path}: 3 mistakes\n"
    assert main(["check", str(EXAMPLE)]) == 0
    assert capsys.readouterr().out == \
        f"{EXAMPLE}: ok: 5 fixtures (4 on DMX), 3 cues, outputs: sacn, osc\n"
    assert main(["check", str(tmp_path / "missing.toml")]) == 1
    assert "cannot read: No such file or directory" in capsys.readouterr().out


@pytest.mark.parametrize("place, start", [
    ("[tempo] bpm", "bpm = 124"),
    ("[fixtures.visual]", "[fixtures.visual]"),
    ("[fixtures.head] pan", "pan = {"),
    ("[[outputs]] #2 (osc) double", "double = true"),
    ("[[outputs]] #1 (sacn) to", "[[outputs]]"),    # not written: the table's own line
    ("[cues.drop] visual", 'visual = { pattern = "helix", transform'),
    ("[fixtures]", None),                           # no such line
])
def test_places_are_found_on_their_lines(place, start):
    from gesturon_tools.show import locate
    lines = TEXT.splitlines()
    want = None if start is None else next(n for n, line in enumerate(lines, 1)
                                           if line.startswith(start))
    assert locate(TEXT, place) == want


def by_label(messages):
    """(pip, x, y, z) of each label's messages, in order."""
    rows = {}
    for address, (x, y, z, pip) in messages:
        rows.setdefault(address.removeprefix("/gesturon/"), []).append((pip, x, y, z))
    return rows


def clamp(v):
    return min(1.0, max(-1.0, v))


def play_to_listener(tmp_path, edit, argv):
    with OscListener() as listener:
        path = tmp_path / "show.toml"
        path.write_text(edit(loopback_outputs(TEXT, listener.port)))
        argv(str(path))
        time.sleep(0.3)
        return by_label(listener.messages)


def test_a_timeline_show_changes_every_output_on_its_bar(tmp_path):
    def edit(text):
        text = text.replace("bpm = 124", "bpm = 480")
        return text.replace('mode = "key"', 'mode = "timeline"\nbars = [1, 2, 3]')

    rows = play_to_listener(tmp_path, edit, lambda path: main(["play", path, "--beats", "16"]))
    bar = 256
    for i, head in enumerate(HEADS):
        assert len(rows[head]) > 50
        for pip, *got in rows[head]:
            intro = base("lfo_breathe", pip + 16 * i)
            verse = tuple(0.5 * v for v in base("beat_house_classic_figure8", pip + 32 * i))
            fx, fy, fz = base("beat_house_classic_figure8", 2 * pip)
            if pip < bar:
                want = intro
            elif pip < bar + 128:                  # the verse fades in over two beats
                w = (pip - bar) / 128
                want = tuple(clamp((1 - w) * a + w * b) for a, b in zip(intro, verse))
            elif pip < 2 * bar:
                want = verse
            else:
                want = (-fy, fx, fz)
            assert tuple(got) == want, (head, pip)
    for pip, *got in rows["visual"]:
        hx, hy, hz = base("helix", pip)
        assert tuple(got) == ((-hx, hy, hz) if pip >= 2 * bar else (hx, hy, hz)), pip


def test_key_presses_step_the_cues_on_the_next_bar(tmp_path):
    def run(path):
        command = subprocess.Popen([sys.executable, "-m", "gesturon_tools", "play", path,
                                    "--beats", "40", "--fps", "200"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        try:
            time.sleep(1.0)
            command.stdin.write(b"\n")          # to the verse ...
            command.stdin.flush()
            time.sleep(1.0)
            command.stdin.write(b" ")           # ... and the drop
            command.stdin.close()
            command.wait(timeout=60)
            out, err = command.stdout.read(), command.stderr.read()
        finally:
            if command.poll() is None:
                command.kill()
        assert command.returncode == 0, err
        assert b"cue 3/3 drop" in out

    rows = play_to_listener(tmp_path, lambda text: text.replace("bpm = 124", "bpm = 600"), run)

    def drop(label, pip):
        if label == "visual":
            x, y, z = base("helix", pip)
            return (-x, y, z)
        x, y, z = base("beat_house_classic_figure8", 2 * pip)
        return (-y, x, z)

    # The visual is left alone by the verse and mirrored by the drop: the
    # drop lands on a downbeat, and on the same one for every label.
    first = next(pip for pip, *got in rows["visual"] if tuple(got) != base("helix", pip))
    landing = first - first % 256
    assert landing >= 256
    for label, label_rows in rows.items():
        assert label_rows[0][0] < landing < label_rows[-1][0]
        for pip, *got in label_rows:
            # (where helix's x is 0 its mirror image is the same)
            same = label == "visual" and base("helix", pip)[0] == 0
            assert (tuple(got) == drop(label, pip)) == (pip >= landing) or same, (label, pip)


@pytest.mark.parametrize("argv, message", [
    (["play", str(EXAMPLE), "--cue", "verse"], "none for visual"),
    (["play", str(EXAMPLE), "--cue", "chorus"], "no cue 'chorus'"),
    (["play", str(EXAMPLE), "--osc", "127.0.0.1:9000"], "a show file sets its own outputs"),
    (["play", "helix"], "--bpm is needed"),
    (["play", "helix", "--bpm", "120", "--cue", "intro"], "--cue needs a show file"),
    (["play", str(EXAMPLE), "--link"], "a show file names its own beat source"),
    (["play", str(EXAMPLE), "--tap"], "a show file names its own beat source"),
])
def test_play_refuses_in_one_line(argv, message, capsys):
    assert main(argv) == 2
    err = capsys.readouterr().err
    assert message in err and err.count("\n") == 1


def test_the_shows_guide_shows_the_example_as_it_is():
    assert TEXT in blocks(EXAMPLE.parents[1] / "docs" / "shows.md", "toml")


@pytest.mark.parametrize("mode", ["key", "timeline"])
def test_the_status_line_follows_the_cues(mode):
    from gesturon_tools.live import BeatClock, Player, Track
    from gesturon_tools.commands.showfile import CueRunner
    show = parse(TEXT.replace('mode = "key"', 'mode = "timeline"\nbars = [1, 3, 4]')
                 if mode == "timeline" else TEXT)
    patterns = show.start_patterns("intro")
    now = [0]
    player = Player([Track(patterns[label], 0, label) for label in show.labels], [],
                    BeatClock(120, 0, now_ns=lambda: now[0]))
    runner = CueRunner(show, player, "intro")
    if mode == "key":
        assert runner.text(0) == "cue 1/3 intro  next verse [space]"
        runner.advance()                       # asked at pip 0: lands on bar 2
        assert runner.text(255) == "cue 1/3 intro  -> verse at 2:1:00"
        assert runner.text(256) == "cue 2/3 verse  next drop [space]"
        now[0] = 300 * 7_812_500               # pip 300 at 120 BPM
        runner.advance()
        runner.advance()                       # nothing after the last cue
        assert runner.text(300) == "cue 2/3 verse  -> drop at 3:1:00"
        assert runner.text(600) == "cue 3/3 drop  (last cue)"
    else:
        runner.schedule_timeline()
        assert runner.text(0) == "cue 1/3 intro  next verse at 3:1:00"
        assert runner.text(512) == "cue 2/3 verse  next drop at 4:1:00"
        assert runner.text(10**6) == "cue 3/3 drop"
        assert player.frame(767)[0].pattern == "beat_house_classic_figure8"
        assert player.frame(767)["visual"].pattern == "helix"


@pytest.mark.parametrize("source, status", [("fixed", "manual"), ("tap", "manual")])
def test_a_show_plays_from_its_tempo_source(tmp_path, source, status, capsys):
    path = tmp_path / "show.toml"
    with OscListener() as listener:
        path.write_text(loopback_outputs(TEXT, listener.port)
                        .replace("bpm = 124", f"bpm = 480\nsource = \"{source}\""))
        assert main(["play", str(path), "--beats", "2"]) == 0
    assert f"480 BPM  {status}  " in capsys.readouterr().out


def test_a_midi_clock_source_without_its_port_is_one_line(tmp_path, capsys):
    path = tmp_path / "show.toml"
    path.write_text(TEXT.replace("bpm = 124", 'bpm = 124\nsource = "midi"\nport = "no such port"'))
    assert main(["play", str(path), "--beats", "1"]) == 1
    err = capsys.readouterr().err
    assert err.startswith("gesturon: play: [tempo]: ") and err.count("\n") == 1


@pytest.mark.parametrize("unit, beats", [("beat", 1), ("bar", 4), ("phrase", 16)])
def test_a_cue_fired_lands_on_the_next_boundary_after_the_last_frame(unit, beats):
    from gesturon_tools.live import BeatClock, Player, Track
    from gesturon_tools.commands.showfile import CueRunner
    show = parse(TEXT)
    patterns = show.start_patterns("intro")
    clock = BeatClock(120, 0, now_ns=lambda: 0)   # the clock stands at pip 0
    player = Player([Track(patterns[label], 0, label) for label in show.labels], [], clock)
    runner = CueRunner(show, player, "intro")
    player.frame(64 * beats)                      # a frame made already for a boundary's pip
    lands = runner.fire("drop", unit)
    assert lands == 2 * 64 * beats
    assert runner.state(lands - 1)[:2] == ("intro", 0) and runner.state(lands)[:3] == ("drop", 2, None)
    with pytest.raises(ValueError, match="no cue 'chorus'"):
        runner.fire("chorus")
