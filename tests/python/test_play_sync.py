"""`gesturon play`'s beat-source options: every bad value is one line and a
non-zero status; the status line speaks in the meter's bars."""

import sys

import pytest

from gesturon_tools.live import Frame, Stats
from gesturon_tools.meter import Meter
from gesturon_tools.commands.running import status_text
from commandline import PLAY, assert_refused, refusals


@pytest.mark.parametrize("argv, status, fragments", refusals([
    (["play", "helix"], 2, ["--bpm is needed unless --link or --midi-clock"]),
    (["play", "--bpm", "120"], 2, ["give at least one pattern NAME"]),
    (PLAY + ["--link", "--quantum", "0"], 2, ["--quantum", "must be 1 to 64 beats, not 0"]),
    (PLAY + ["--link", "--quantum", "4.5"], 2, ["not a whole number of beats: '4.5'"]),
    (PLAY + ["--quantum", "4"], 2, ["--quantum needs --link"]),
    (PLAY + ["--lead"], 2, ["--lead needs --link"]),
    (["play", "helix", "--link", "--lead"], 2, ["--lead needs --bpm"]),
    (PLAY + ["--beats-per-bar", "65"], 2, ["must be 1 to 64 beats, not 65"]),
    (PLAY + ["--beats-per-bar", "three"], 2, ["not a whole number of beats: 'three'"]),
    (PLAY + ["--link", "--midi-clock", "x"], 2, ["not allowed with argument"]),
    (PLAY + ["--tap", "--link"], 2, ["not allowed with argument"]),
    (PLAY + ["--tap"], 2, ["--tap reads keys from a terminal"]),
]))
def test_bad_beat_source_options_are_one_line(capsys, argv, status, fragments):
    assert_refused(capsys, argv, status, fragments)


@pytest.mark.parametrize("module, package", [("link", "LinkPython-extern"),
                                             ("rtmidi", "mido and python-rtmidi")])
def test_a_missing_sync_package_is_named(capsys, monkeypatch, module, package):
    monkeypatch.setitem(sys.modules, module, None)
    option = ["--link"] if module == "link" else ["--midi-clock", "drum machine"]
    assert_refused(capsys, PLAY + option, 1, [f"needs the {package} package",
                                              "pip install 'gesturon[sync]'"])


@pytest.mark.parametrize("beats_per_bar, pip, where", [(4, 200, "1:4:08"), (3, 200, "2:1:08"),
                                                       (7, -1, "0:7:63")])
def test_the_status_line_reads_bars_from_the_meter_and_names_the_source(beats_per_bar, pip,
                                                                        where):
    frame = Frame(0, 0, pip, ())
    text = status_text(Stats(frames=9, late=1), 128, frame, meter=Meter(beats_per_bar),
                       source="Link, 2 peers")
    assert text == f"{where}  128 BPM  Link, 2 peers  10 frames  1 late"
