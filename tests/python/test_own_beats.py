"""A caller's own beat in the sixteen motions: the built-in scores render to
the stored tables bit for bit through the installed renderers, and MIDI drum
loops are read onto the pip grid."""

import struct

import pytest

import gesturon
from gesturon_tools import _beats, drums

mido = pytest.importorskip("mido")

CATALOGUE = {r["name"]: r for r in gesturon.catalogue()}
SCORES = drums.builtin_scores()
MOTIONS = drums.motion_keys()
SENTENCES = {key: sentence for key, _, sentence in _beats.motions()}


def bits(rows):
    return [struct.pack("<3d", *row) for row in rows]


@pytest.mark.parametrize("key", SCORES)
def test_built_in_scores_render_to_the_stored_tables(key):
    rendered = 0
    for motion in MOTIONS:
        record = CATALOGUE.get(f"beat_{key}_{motion}")
        if record is None:
            continue
        pattern = drums.render(SCORES[key], motion)
        assert pattern.name == record["name"] and pattern.period_pips == record["period_pips"]
        stored = [gesturon.sample(record["name"], k).as_tuple() for k in range(record["period_pips"])]
        assert bits(pattern.sample(k).as_tuple() for k in range(pattern.period_pips)) == bits(stored), motion
        if record["description"].endswith(SENTENCES[motion]):  # the dancefloor rule, not the club pack's
            assert pattern.description == record["description"]
        rendered += 1
    assert rendered in (4, 12, 16)


def write_midi(path, notes, ticks_per_beat=480, end=None, meter=None, channel=9):
    """notes: (tick, note, velocity); each lasts 10 ticks."""
    track = mido.MidiTrack()
    if meter:
        track.append(mido.MetaMessage("time_signature", numerator=meter[0], denominator=meter[1], time=0))
    events = sorted([(t, "note_on", n, v) for t, n, v in notes] + [(t + 10, "note_off", n, 0) for t, n, _ in notes])
    now = 0
    for tick, kind, note, velocity in events:
        track.append(mido.Message(kind, note=note, velocity=velocity, channel=channel, time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=max(0, (end or now) - now)))
    midi = mido.MidiFile(ticks_per_beat=ticks_per_beat)
    midi.tracks.append(track)
    midi.save(path)
    return path


def test_a_four_on_the_floor_loop_gives_the_four_floor_tables(tmp_path):
    path = write_midi(tmp_path / "four.mid", [(480 * i, 36, 100) for i in range(4)], end=1920)
    score = drums.load_score(path)
    assert _beats.parse_score(score)["period_pips"] == 256
    for motion in MOTIONS:
        record = f"beat_four_floor_{motion}"
        if record in CATALOGUE:
            pattern = drums.render(score, motion)
            stored = [gesturon.sample(record, k).as_tuple() for k in range(256)]
            assert bits(pattern.sample(k).as_tuple() for k in range(256)) == bits(stored), motion


def test_hits_keep_their_time_on_the_pip_grid(tmp_path):
    notes = [(0, 36, 120), (160, 42, 90), (320, 42, 90),  # triplet eighths: pips 64/3 and 128/3
             (600, 38, 40),                              # the sixth sixteenth: pip 80
             (957, 46, 70)]                              # off every grid: pip 127.6 -> 128
    score = _beats.parse_score(drums.load_score(write_midi(tmp_path / "feel.mid", notes, end=1920)))
    got = {(instrument, round(pip, 9), level) for instrument, pip, level in score["hits"]}
    assert got == {("kick", 0.0, "accent"), ("hat", round(64 / 3, 9), "normal"), ("hat", round(128 / 3, 9), "normal"),
                   ("snare", 80.0, "ghost"), ("open_hat", 128.0, "normal")}


@pytest.mark.parametrize("velocity,level", [(127, "accent"), (110, "accent"), (109, "normal"), (64, "normal"),
                                            (63, "ghost"), (1, "ghost")])
def test_velocities_map_to_levels(tmp_path, velocity, level):
    score = _beats.parse_score(drums.load_score(write_midi(tmp_path / "v.mid", [(0, 38, velocity)], end=1920)))
    assert score["hits"] == [("snare", 0.0, level)]


def test_the_loop_is_rounded_up_to_whole_bars_of_its_metre(tmp_path):
    path = write_midi(tmp_path / "waltz.mid", [(0, 36, 100), (480, 42, 100)], end=1400, meter=(3, 4))
    score = _beats.parse_score(drums.load_score(path))
    assert score["period_pips"] == 192  # one bar of three beats


@pytest.mark.parametrize("make,message", [
    (lambda p: p.write_bytes(b"RIFF not midi at all"), "is not a standard MIDI file"),
    (lambda p: write_midi(p, [(0, 60, 100)], channel=0), "has no drum notes"),
    (lambda p: write_midi(p, [(0, 36, 100)], end=480 * 1100), "a pattern holds at most 65535"),
])
def test_midi_that_cannot_be_rendered_is_refused(tmp_path, make, message):
    path = tmp_path / "bad.mid"
    make(path)
    with pytest.raises(ValueError, match=message):
        drums.load_score(path)


@pytest.mark.parametrize("score,motion,message", [
    ("key a\ntitle A\nbars 1\nkick | x... |\n", "wobble", "unknown motion"),
    ("key a\ntitle A\nbars 1\nkick | x.?. |\n", "bounce", "line 4: unknown step"),
    ("key a\ntitle A\nbars 1\n", "bounce", "no hits"),
])
def test_faulty_scores_and_motions_are_value_errors(score, motion, message):
    with pytest.raises(ValueError, match=message):
        drums.render(score, motion)


def test_a_rendered_beat_joins_a_library():
    score = "key mine\ntitle Mine / test\nbars 1\nkick | x..x x... |\nsnare | ....x... |\n"
    library = gesturon.PatternLibrary(drums.render_all(score))
    names = [r["name"] for r in library.catalogue()[len(CATALOGUE):]]
    assert names == [f"beat_mine_{m}" for m in MOTIONS]


# --add is the gallery's option; --score, its first spelling, still works.
@pytest.mark.parametrize("option", ["--add", "--score"])
def test_the_gallery_adds_a_beat_in_every_motion(tmp_path, capsys, option):
    from gesturon_tools.cli import main

    score = tmp_path / "mine.beat"
    score.write_text("key mine\ntitle Mine / test\nbars 1\nkick | x..x x... |\n")
    assert main(["gallery", "-o", str(tmp_path / "page"), option, str(score)]) == 0
    assert f": {len(CATALOGUE) + len(MOTIONS)} patterns" in capsys.readouterr().out
    assert "beat_mine_figure8" in (tmp_path / "page" / "index.html").read_text()
