"""The `gesturon` command, run in-process through its main function (and
once as the installed console script), checked against the module itself."""

import json
import shutil
import subprocess

import pytest

import gesturon
from gesturon_tools import termplot
from gesturon_tools.catalogue import PROCEDURAL_NAMES, Catalogue, assign_stored_packs, family_keys
from gesturon_tools.cli import main
from simulated_catalogue import PACKS, SimulatedSource
from commandline import assert_one_line_error, assert_refused, refusals, run

PROCEDURAL = list(PROCEDURAL_NAMES)



def table_rows(out):
    """(name, beats, dims, description) of each row under the header."""
    lines = out.splitlines()
    assert lines[0].split()[:4] == ["NAME", "BEATS", "DIMS", "DESCRIPTION"]
    rows = []
    for line in lines[1:]:
        name, beats, dims, _axes, *description = line.split(None, 4)
        rows.append((name, beats, int(dims), description[0] if description else ""))
    return rows


# ---- list ---------------------------------------------------------------------

def test_list_shows_the_whole_catalogue_in_order(capsys):
    status, out, err = run(capsys, "list")
    assert status == 0 and err == ""
    rows = table_rows(out)
    records = gesturon.catalogue()
    assert [row[0] for row in rows] == [r["name"] for r in records]
    for (name, beats, dims, description), record in zip(rows, records):
        assert float(beats) * 64 == record["period_pips"]
        assert dims == record["dimensions"]
        assert description == record["description"]


@pytest.mark.parametrize("pack", ["procedural", "PROCEDURAL", "gesturon_procedural"])
def test_list_by_pack(capsys, pack):
    status, out, _ = run(capsys, "list", "--pack", pack)
    assert status == 0
    assert [row[0] for row in table_rows(out)] == PROCEDURAL


def names_where(keep):
    return [r["name"] for r in gesturon.catalogue() if keep(r["name"])]


# The gallery filter's documented examples: every word must begin a word of
# the name (or of its rest from any word on), family or description, or
# begin the pack's name; a word inside another never counts.
@pytest.mark.parametrize("text, expected", [
    ("floor surge", lambda capsys: ["beat_four_floor_surge"]),
    ("Four_Floor", lambda capsys: names_where(lambda n: n.startswith("beat_four_floor_"))),
    ("euclid", lambda capsys: names_where(lambda n: n.startswith(("euclid_", "rhythm_euclid_")))),
    ("DANCEFL", lambda capsys: [row[0] for row in table_rows(run(capsys, "list", "--pack", "dancefloor")[1])]),
])
def test_list_match_begins_words(capsys, text, expected):
    wanted = expected(capsys)
    assert wanted
    status, out, _ = run(capsys, "list", "--match", text)
    assert status == 0
    assert [row[0] for row in table_rows(out)] == wanted


@pytest.mark.parametrize("text", ["loor", "ancefloor", "our_floor_surge"])
def test_list_match_never_inside_a_word(capsys, text):
    status, _, err = run(capsys, "list", "--match", text)
    assert status == 1
    assert_one_line_error(err, "no pattern matches --match")


def test_list_pack_and_match_combine(capsys):
    status, out, _ = run(capsys, "list", "--pack", "procedural", "--match", "stroke")
    assert status == 0
    # "strokes" in the paradiddle's description matches too.
    assert [row[0] for row in table_rows(out)] == [
        "single_stroke_roll", "double_stroke_roll", "single_paradiddle", "five_stroke_roll"]


def test_help_is_not_an_error(capsys):
    status, out, err = run(capsys, "--help")
    assert status == 0 and "gallery" in out and err == ""


# ---- show ---------------------------------------------------------------------

def position_rows(out):
    """pip -> (x, y, z) from the table after the "pip beat:pip" header."""
    lines = out.splitlines()
    start = next(i for i, line in enumerate(lines) if line.split()[:2] == ["pip", "beat:pip"])
    rows = {}
    for line in lines[start + 1:]:
        pip, position, x, y, z = line.split()
        beat, within = position.split(":")
        assert int(beat) * 64 + int(within) == int(pip)
        rows[int(pip)] = (float(x), float(y), float(z))
    return rows


def test_show_record_plot_and_positions(capsys):
    status, out, err = run(capsys, "show", "helix", "--beats", "1", "--every", "16")
    assert status == 0 and err == ""
    assert out.startswith("helix\n  Four-beat double-turn helix\n")
    assert "256 pips (4 beats)" in out and "3 (x, y, z)" in out and "procedural" in out
    assert {" +1 |", "  0 |", " -1 |"} <= {line[:5] for line in out.splitlines()}
    rows = position_rows(out)
    assert list(rows) == [0, 16, 32, 48]
    for pip, shown in rows.items():
        assert shown == pytest.approx(gesturon.helix(pip).as_tuple(), abs=5e-7)


def test_show_defaults_to_one_period_pip_by_pip(capsys):
    status, out, _ = run(capsys, "show", "sway")
    assert status == 0
    rows = position_rows(out)
    assert list(rows) == list(range(128))
    assert rows[100] == pytest.approx(gesturon.sway(100).as_tuple(), abs=5e-7)


def test_show_fractional_beats(capsys):
    status, out, _ = run(capsys, "show", "circle", "--beats", "0.5", "--every", "8")
    assert status == 0 and list(position_rows(out)) == [0, 8, 16, 24]


def test_plot_marks_each_axis_and_keeps_short_spikes():
    # 1024 pips in 64 columns: a one-pip spike in y must still show.
    rows = [(1.0, 0.0, -1.0)] * 1024
    rows[700] = (1.0, -1.0, -1.0)
    lines = termplot.plot(rows, 3, 64, width=64, height=11)
    grid = [line[5:] for line in lines[:11]]
    assert set(grid[0]) <= {"x", ":"} and grid[0].count("x") >= 60
    assert grid[10][700 * 64 // 1024] == "*"  # y and z meet at -1
    assert sum(row.count("y") + row.count("*") for row in grid[6:]) >= 5
    assert "z" not in "".join(termplot.plot(rows, 2, 64)[:11])


# ---- export -------------------------------------------------------------------

def test_export_csv_is_exact(capsys):
    status, out, err = run(capsys, "export", "circle")
    assert status == 0 and err == ""
    lines = out.splitlines()
    assert lines[0] == "pip,x,y,z" and len(lines) == 65
    for line in lines[1:]:
        pip, *values = line.split(",")
        assert tuple(map(float, values)) == gesturon.circle(int(pip)).as_tuple()


def test_export_json_any_range(capsys):
    status, out, _ = run(capsys, "export", "helix", "--format", "json",
                         "--start", "-3", "--stop", "300", "--every", "101")
    assert status == 0
    data = json.loads(out)
    assert data["name"] == "helix" and data["period_pips"] == 256 and data["dimensions"] == 3
    assert data["description"] == "Four-beat double-turn helix"
    assert (data["start"], data["stop"], data["every"]) == (-3, 300, 101)
    assert data["columns"] == ["pip", "x", "y", "z"]
    assert [row[0] for row in data["rows"]] == [-3, 98, 199]
    for pip, *values in data["rows"]:
        assert tuple(values) == gesturon.sample("helix", pip).as_tuple()


def test_export_at_the_end_of_the_pip_range(capsys):
    status, out, _ = run(capsys, "export", "bounce", "--start", "2147483646")
    assert status == 0
    assert [int(line.split(",")[0]) for line in out.splitlines()[1:]] == [2147483646, 2147483647]


def test_export_to_a_file(capsys, tmp_path):
    target = tmp_path / "drag.csv"
    status, out, _ = run(capsys, "export", "drag", "-o", str(target))
    assert status == 0 and out == ""
    assert len(target.read_text().splitlines()) == 65


# ---- bad input ------------------------------------------------------------------

@pytest.mark.parametrize("argv, status, fragments", refusals([
    # list, and the command line itself
    (["list", "--match", "no such words anywhere"], 1, ["no pattern matches --match"]),
    (["list", "--pack", "atlass"], 2, ["unknown pack 'atlass'", "did you mean atlas?",
                                       "procedural, initial, expansion"]),
    (["list", "--bogus"], 2, ["unrecognized arguments: --bogus", "gesturon list --help"]),
    (["list", "--pack"], 2, ["--pack: expected one argument"]),
    ([], 2, ["required"]),
    (["frobnicate"], 2, ["invalid choice: 'frobnicate'"]),
    # show
    (["show", "helx"], 1, ["unknown pattern 'helx'", "did you mean helix?"]),
    (["show", "Bounce"], 1, ["unknown pattern 'Bounce'", "bounce"]),
    (["show", "qqqqqqqqqq"], 1, ["unknown pattern", "gesturon list"]),
    (["show", "helix", "--beats", "0"], 2, ["--beats", "at least one pip"]),
    (["show", "helix", "--beats", "nan"], 2, ["--beats"]),
    (["show", "helix", "--beats", "lots"], 2, ["not a number of beats"]),
    (["show", "helix", "--every", "0"], 2, ["--every", "at least 1"]),
    (["show"], 2, ["required: name"]),
    # export
    (["export", "circel"], 1, ["unknown pattern 'circel'", "circle"]),
    (["export", "circle", "--format", "xml"], 2, ["invalid choice: 'xml'"]),
    (["export", "circle", "--start", "5", "--stop", "5"], 2, ["--stop 5 must be greater"]),
    (["export", "circle", "--start", "2147483648"], 2, ["outside the pip range"]),
    (["export", "circle", "--stop", "2147483649"], 2, ["outside the pip range"]),
    (["export", "circle", "--stop", "1.5"], 2, ["not a whole number"]),
    (["export", "circle", "-o", "/nonexistent/dir/out.csv"], 1, ["cannot write"]),
]))
def test_bad_input_is_refused_in_one_line(capsys, argv, status, fragments):
    assert_refused(capsys, argv, status, fragments)


# ---- packs and families -----------------------------------------------------------

def test_packs_of_a_full_catalogue_follow_the_pack_sizes():
    catalogue = Catalogue(SimulatedSource())
    counts = {}
    for pattern in catalogue.patterns:
        counts[pattern.pack] = counts.get(pattern.pack, 0) + 1
    assert counts == {"procedural": 15, "initial": 28, "expansion": 24, "atlas": 256,
                      "continuum": 320, "club": 144, "dancefloor": 944}


@pytest.mark.parametrize("sizes", [
    {"atlas": 0, "continuum": 0},            # packs still missing
    {"initial": 0, "club": 0},
    {"atlas": 100, "dancefloor": 20},        # packs cut short
    {name: 0 for name, *_ in PACKS[:5]},     # the last pack alone
])
def test_packs_of_a_partial_catalogue(sizes):
    source = SimulatedSource(sizes)
    catalogue = Catalogue(source)
    assert [p.pack for p in catalogue.patterns] == source.packs
    assert catalogue.select(pack="club") == [p for p in catalogue.patterns if p.pack == "club"]


def test_a_pack_that_grew_spills_into_the_next_only_until_its_first_name():
    names = ["lfo_breathe"] + [f"lfo_x{i}" for i in range(30)] + ["lfo_twin_swell", "path_a"]
    packs = assign_stored_packs(names)
    assert packs[:28] == ["initial"] * 28
    assert packs[-2:] == ["expansion", "expansion"]


def test_family_names():
    names = ["orbit_harmonic_01", "orbit_harmonic_02", "spiro_inside_3_1", "spiro_outside_3_1",
             "polar_rose_3", "euclid_2_5", "beat_four_floor_bounce", "beat_four_floor_figure8",
             "beat_son_clave_32_glide", "beat_son_clave_32_spring", "helix", "flam"]
    packs = ["atlas"] * 6 + ["club"] * 4 + ["procedural"] * 2
    assert family_keys(names, packs) == [
        "orbit_harmonic", "orbit_harmonic", "spiro", "spiro", "polar", "euclid",
        "beat_four_floor", "beat_four_floor", "beat_son_clave_32", "beat_son_clave_32",
        "motions", "rudiments"]


# ---- the installed console script --------------------------------------------------

@pytest.mark.skipif(shutil.which("gesturon") is None, reason="the gesturon script is not installed")
def test_console_script():
    done = subprocess.run(["gesturon", "list", "--pack", "procedural"],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0 and done.stderr == ""
    assert [line.split()[0] for line in done.stdout.splitlines()[1:]] == PROCEDURAL
    failed = subprocess.run(["gesturon", "show", "no_such_pattern"],
                            capture_output=True, text=True, timeout=120)
    assert failed.returncode == 1 and failed.stdout == ""
    assert failed.stderr.startswith("gesturon: unknown pattern") and "Traceback" not in failed.stderr
