"""Every bound of the score reader, the renderers and the MIDI import at its
edge, and scores that crowd hits closer than any drummer would: accepted
scores render to finite positions within [-1, 1] in every motion."""

import io
import math
from importlib.util import find_spec

import pytest

from gesturon_tools import _beats, drums

MOTIONS = [key for key, _, _ in _beats.motions()]


def score(*lanes, bars=1, meter=None):
    head = ["key    edge", "title  Edge", f"bars   {bars}"] + ([f"meter  {meter}"] if meter else [])
    return "\n".join(head + list(lanes)) + "\n"


def refused(text, fragment):
    with pytest.raises(ValueError) as info:
        _beats.parse_score(text)
    assert fragment in str(info.value)
    return str(info.value)


@pytest.mark.parametrize("option", ["swing", "shift"])
@pytest.mark.parametrize("value,accepted", [("256", True), ("-256", True), ("256.5", False), ("-256.5", False),
                                            ("1e308", False), ("-1e308", False)])
def test_timings_are_at_most_the_loop_either_way(option, value, accepted):
    text = score(f"kick | x.x. | {option} {value}")
    if accepted:
        assert len(_beats.parse_score(text)["hits"]) == 2
    else:
        assert refused(text, f"{option} is at most the loop's 256 pips either way").startswith("line 4: ")


@pytest.mark.parametrize("meter,bar_pips", [("64/1", 16384), ("1/64", 4), ("7/8", 224), ("3/4", 192)])
def test_metres_counting_note_values_are_read(meter, bar_pips):
    assert _beats.parse_score(score("kick | x |", meter=meter))["bar_pips"] == bar_pips


@pytest.mark.parametrize("meter", ["65/1", "1/128", "1/256", "255/1", "3/12", "6/24"])
def test_metres_beyond_64_beats_or_counting_no_note_value_are_refused(meter):
    assert refused(score("kick | x |", meter=meter), "N from 1 to 64 and D one of").startswith("line 4: ")


def test_hits_are_bounded_at_4096():
    lane = "| " + "x" * 256 + " |"
    lanes = [f"{name} {lane}" for name in ["kick", "snare", "clap", "rim", "hat", "open_hat", "ride", "shaker",
                                           "tom_low", "tom_mid", "tom_high", "cowbell", "bell", "clave", "conga",
                                           "perc"]]
    assert len(_beats.parse_score(score(*lanes, meter="1/64"))["hits"]) == 4096
    refused(score(*lanes, "bass | x |", meter="1/64"), "line 21: the score has more than 4096 hits")


def test_hits_times_pips_are_bounded():
    full = "kick | " + "x" * 256 + " |"
    assert _beats.parse_score(score(full, meter="16/1"))["period_pips"] * 256 == 1 << 20
    refused(score(full, "snare | x |", meter="16/1"), f"257 hits over 4096 pips, {257 * 4096} hit-pips; a score "
                                                      f"may ask for at most {1 << 20}")


# Scores that crowd hits: each was accepted before and pushed a motion past
# the edge of [-1, 1].
CROWDED = {
    "kicks one pip apart": score("kick | X |", "kick | X | shift 1"),
    "bar of four pips": score("kick | XxXx |", "snare | x.X. |", "hat | xxxxxxxx |", meter="1/64"),
    "hits past their bar": score("kick | X.X. | X.X. | shift -511.5", "snare | .X.X | .X.X | swing 511", bars=2),
    "flam read from MIDI": None,  # made from a MIDI file below
}


def flam_score(tmp_path):
    mido = pytest.importorskip("mido")
    track = mido.MidiTrack([mido.Message("note_on", note=36, velocity=100, channel=9, time=0),
                            mido.Message("note_on", note=36, velocity=127, channel=9, time=8),
                            mido.MetaMessage("end_of_track", time=1912)])
    midi = mido.MidiFile(ticks_per_beat=480)
    midi.tracks.append(track)
    midi.save(tmp_path / "flam.mid")
    return drums.load_score(tmp_path / "flam.mid")


@pytest.mark.parametrize("motion", MOTIONS)
@pytest.mark.parametrize("case", CROWDED)
def test_crowded_hits_render_within_the_unit_cube(case, motion, tmp_path):
    text = CROWDED[case] or flam_score(tmp_path)
    dimensions, rows = _beats.render(text, motion)
    values = [v for row in rows for v in row]
    assert len(rows) == _beats.parse_score(text)["period_pips"]
    assert all(math.isfinite(v) and -1.0 <= v <= 1.0 for v in values)
    assert drums.render(text, motion).period_pips == len(rows)  # the pattern's own checks agree


def padded_score(size):
    text = score("kick | x |")
    return "#" * (size - len(text) - 1) + "\n" + text


@pytest.mark.parametrize("text,fragment", [
    ("\udcff\n" * 3, "not UTF-8 text"),
    (padded_score(drums.MAX_SCORE_BYTES + 1), f"a score is at most {drums.MAX_SCORE_BYTES}"),
])
def test_score_text_beyond_its_bounds_is_a_value_error(text, fragment):
    with pytest.raises(ValueError, match=fragment):
        drums.load_score(text)
    if "#" in text:  # the native reader holds the same bound
        with pytest.raises(ValueError, match=fragment):
            _beats.parse_score(text)


def test_score_text_at_its_bound_is_read():
    text = padded_score(drums.MAX_SCORE_BYTES)
    assert len(text.encode()) == drums.MAX_SCORE_BYTES and drums.load_score(text) == text


@pytest.mark.parametrize("source", ["missing.beat", "no_such_dir/loop.beat", "x" * 300])
def test_a_score_path_that_names_no_file_is_no_such_file(source):
    with pytest.raises(FileNotFoundError):
        drums.load_score(source)


# --- MIDI ------------------------------------------------------------------------

def midi_bytes(*messages, ticks_per_beat=480, meter=None):
    mido = pytest.importorskip("mido")
    track = mido.MidiTrack()
    if meter:
        track.append(mido.MetaMessage("time_signature", numerator=meter[0], denominator=meter[1]))
    track.extend(messages)
    track.append(mido.MetaMessage("end_of_track", time=1920))
    midi = mido.MidiFile(ticks_per_beat=ticks_per_beat)
    midi.tracks.append(track)
    out = io.BytesIO()
    midi.save(file=out)
    return out.getvalue()


def kicks(count, apart=0):
    import mido
    return [mido.Message("note_on", note=36, velocity=100, channel=9, time=apart) for _ in range(count)]


def load(tmp_path, data, name="loop.mid"):
    path = tmp_path / name
    path.write_bytes(data)
    return drums.load_score(path)


def test_a_time_signature_of_no_beats_is_a_value_error(tmp_path):
    data = bytearray(midi_bytes(*kicks(1), meter=(3, 4)))
    data[data.index(bytes([0xFF, 0x58, 0x04])) + 3] = 0  # numerator 3 -> 0
    with pytest.raises(ValueError, match="a bar of 0/4 is not a whole number of pips"):
        load(tmp_path, bytes(data))


def test_smpte_timing_is_refused(tmp_path):
    data = bytearray(midi_bytes(*kicks(1)))
    data[12:14] = bytes([0xE7, 0x28])  # -25 frames a second, 40 ticks a frame
    with pytest.raises(ValueError, match="beats divided in ticks"):
        load(tmp_path, bytes(data))


def test_drum_notes_are_bounded(tmp_path):
    assert "kick" in load(tmp_path, midi_bytes(*kicks(drums.MAX_DRUM_NOTES)))  # all on one step: one hit
    with pytest.raises(ValueError, match=f"more than {drums.MAX_DRUM_NOTES} drum notes"):
        load(tmp_path, midi_bytes(*kicks(drums.MAX_DRUM_NOTES + 1)))


def test_midi_files_are_bounded_in_size(tmp_path):
    import mido
    def padded(n):
        return midi_bytes(*kicks(1), mido.MetaMessage("text", text="p" * n))

    n = drums.MAX_MIDI_BYTES - len(padded(0))  # the text's length field grows by a byte or two on the way
    padded = padded(n - (len(padded(n)) - drums.MAX_MIDI_BYTES))
    assert len(padded) == drums.MAX_MIDI_BYTES
    assert "kick" in load(tmp_path, padded)
    with pytest.raises(ValueError, match=f"longer than a MIDI drum loop may be \\({drums.MAX_MIDI_BYTES} bytes\\)"):
        load(tmp_path, padded + b"\0")


def test_every_cut_and_every_spoilt_byte_of_a_file_ends_in_a_value_error_or_a_score(tmp_path):
    import mido
    data = midi_bytes(*kicks(2, apart=240), mido.Message("note_on", note=38, velocity=30, channel=9, time=120),
                      meter=(7, 8))
    variants = [data[:n] for n in range(len(data))]
    variants += [data[:i] + bytes([b]) + data[i + 1:] for i in range(len(data)) for b in (0x00, 0x7F, 0x80, 0xFF)]
    for variant in variants:
        try:
            load(tmp_path, variant)
        except ValueError:
            pass


@pytest.mark.parametrize("instruments,accepted", [(4, True), (5, False)])
def test_the_steps_an_import_writes_are_bounded(tmp_path, instruments, accepted):
    import mido
    # Each instrument plays once on every grid, so no grid holds all its
    # hits and each lane of every grid runs the whole loop of 255 bars:
    # 892 steps a bar for each instrument.
    grids = drums.GRIDS
    bar = 4 * 192  # ticks, at 192 a beat: every grid's steps fall on whole ticks
    notes = sorted((bar * i + bar // n, note) for note in [36, 38, 42, 45, 56][:instruments]
                   for i, n in enumerate(grids))
    messages, now = [], 0
    for tick, note in notes:
        messages.append(mido.Message("note_on", note=note, velocity=100, channel=9, time=tick - now))
        now = tick
    track = mido.MidiTrack(messages + [mido.MetaMessage("end_of_track", time=255 * bar - now)])
    midi = mido.MidiFile(ticks_per_beat=192)
    midi.tracks.append(track)
    steps = instruments * sum(grids) * 255
    assert (steps <= drums.MAX_SCORE_STEPS) == accepted
    midi.save(tmp_path / "grids.mid")
    if accepted:  # written out; the reader then refuses it for the work it asks
        lanes = [line for line in drums.midi_to_score(tmp_path / "grids.mid").splitlines() if "|" in line]
        assert len(lanes) == 16 * instruments
    else:
        with pytest.raises(ValueError, match=f"makes a score of {steps} steps; an import makes at most"):
            drums.midi_to_score(tmp_path / "grids.mid")


def test_a_file_name_that_is_not_utf8_still_makes_a_score(tmp_path):
    score_text = load(tmp_path, midi_bytes(*kicks(1)), name=b"caf\xe9.mid".decode("utf-8", "surrogateescape"))
    assert "title  caf\ufffd" in score_text
    assert _beats.parse_score(score_text)["key"] == "caf"


# --- the command line ------------------------------------------------------------

UNDECODABLE = b"\xff".decode("utf-8", "surrogateescape")


@pytest.mark.parametrize("argv,fragment", [
    (["play", "--bpm", "1e100000000", "bounce"], "tempo must be 20 to 999 BPM, not 1e100000000"),
    (["play", "--bpm", "1e400", "bounce"], "tempo must be 20 to 999 BPM, not 1e400"),
    (["play", "--bpm=-1e-100000000", "bounce"], "tempo must be 20 to 999 BPM"),
    (["export", "bounce", "--bpm", "1e100000000"], "tempo must be 20 to 999 BPM, not 1e100000000"),
    (["play", "--bpm", "120", "--spread", "1e100000000", "bounce"], "beats is beyond the pip range"),
    (["play", "--bpm", "120", "--spread", "33554432", "bounce"], "beats is beyond the pip range"),
    (["play", "--bpm", "120", "--pan", "1e100000000:1", "bounce"], "out of range"),
    (["play", "--bpm", "120", "--tilt", "0:1E-99999999", "bounce"], "out of range"),
    (["play", "--bpm", "120", "--osc", "127.0.0.1:9", "--slew", "osc=1e100000000", "bounce"],
     "a slew limit is out of range"),
    (["play", "--bpm", "120", "--servo", "0/x/1e100000000:2000", "--servo-to", "/dev/null", "bounce"],
     "a pulse width is out of range"),
    (["show", "a" * 256], "unknown pattern"),
    pytest.param(["play", "--bpm", "120", "--osc", "127.0.0.1:9", "--osc-address", "/a" + UNDECODABLE, "bounce"],
                 "not an OSC address", marks=pytest.mark.skipif(find_spec("pythonosc") is None,
                                                                reason="OSC output needs python-osc")),
    (["render", "--motion", "step", "missing.beat"], "cannot read missing.beat: No such file"),
    (["render", "--motion", "step", UNDECODABLE + ".mid"], "No such file"),
])
def test_hostile_command_lines_end_in_one_clear_line(capsys, argv, fragment):
    from gesturon_tools.cli import main

    status = main(argv)
    out, err = capsys.readouterr()
    assert status in (1, 2) and out == ""
    assert err.count("\n") == 1 and fragment in err and "internal error" not in err
