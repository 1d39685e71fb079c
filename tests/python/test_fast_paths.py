"""The companion's quick paths against the plain ones they replace: the
time of a pip in integers against exact fractions, export's rows against
json.dumps and repr of the module's samples, the two gallery encoders, the
precomputed DMX mapping against each axis's own value, the player's
cached tables against sample, and a frame's table of labels against a
search of its positions."""

import json
import math
import random
from fractions import Fraction

import numpy as np
import pytest

import gesturon
from gesturon_tools import gallery
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.clock import PIPS_PER_BEAT, BeatClock, Line
from gesturon_tools.cli import main
from gesturon_tools.compose import name_of, pattern, transform
from gesturon_tools.dmx import PARAMETERS, Axis, Fixture
from gesturon_tools.frames import Frame, Position
from gesturon_tools.live import CallbackOutput, Player, Track
from gesturon_tools import live
from simulated_catalogue import SimulatedSource

SECOND = 10**9
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
TEMPOS = [Fraction(20), Fraction(60), Fraction(100), Fraction(120), Fraction(1284, 10),
          Fraction(385, 3), Fraction(174), Fraction(999), Fraction(2**53 + 1, 2**46),
          Fraction(12345679, 97531)]


# ---- the time of a pip --------------------------------------------------------------

@pytest.mark.parametrize("bpm", TEMPOS, ids=str)
@pytest.mark.parametrize("at_ns, beat", [(0, Fraction(0)), (7 * SECOND + 3, Fraction(-5, 3)),
                                         (-SECOND, Fraction(10**6, 7))])
def test_time_of_a_pip_in_integers_is_the_exact_one(bpm, at_ns, beat):
    line = Line(at_ns, beat, bpm)
    starts = [-200_000, -5000, INT32_MIN, INT32_MAX - 20_000, 2**40]
    for start in starts:
        for pip in range(start, start + 5000):
            assert line.first_ns_at_pip(pip) == line.first_ns_at(Fraction(pip, PIPS_PER_BEAT)), pip


def test_time_of_a_pip_while_catching_up():
    """On a clock catching up with a source (its own rate is an odd
    rational), every pip's first instant is still the one at which pip_at
    reaches it."""
    t = [0]
    clock = BeatClock(Fraction(1284, 10), 0, now_ns=lambda: t[0])
    t[0] = 3 * SECOND + 17
    clock.follow(Fraction(1, 3), bpm=Fraction(385, 3))
    for pip in range(0, 3000):
        first = clock.time_of_pip(pip)
        assert clock.pip_at(first) >= pip > clock.pip_at(first - 1)


# ---- export -------------------------------------------------------------------------

def reference_rows(name, start, stop, every, bpm):
    """What export wrote before: each row from sample, each time from the
    clock's exact fraction."""
    rows = []
    for pip in range(start, stop, every):
        values = gesturon.sample(name, pip).as_tuple()
        if bpm is None:
            rows.append((pip, *values))
        else:
            seconds = Line(0, Fraction(0), Fraction(bpm)).first_ns_at(Fraction(pip, 64)) / SECOND
            rows.append((seconds, pip, *values))
    return rows


@pytest.mark.parametrize("name, start, stop, every, bpm", [
    ("helix", -70_000, 70_000, 1, None),
    ("beat_four_floor_surge", -33_000, 40_001, 3, "128.4"),
    ("lfo_breathe", INT32_MAX - 40_000, INT32_MAX + 1, 7, "385/3"),
    ("circle", INT32_MIN, INT32_MIN + 100, 1, "999"),
    ("flam", 5, 6, 1, "20"),
])
def test_export_writes_what_it_wrote_before(capsys, name, start, stop, every, bpm):
    common = [name, "--start", str(start), "--stop", str(stop), "--every", str(every)]
    if bpm is not None:
        common += ["--bpm", bpm]
    rows = reference_rows(name, start, stop, every, bpm)
    assert main(["export", *common]) == 0
    csv = capsys.readouterr().out.splitlines()
    assert csv[1:] == [",".join(map(repr, row)) for row in rows]
    assert main(["export", *common, "--format", "json"]) == 0
    text = capsys.readouterr().out
    head, _, body = text.partition(', "rows": [')
    assert body == "".join(("\n  " if i == 0 else ",\n  ") + json.dumps(list(row))
                           for i, row in enumerate(rows)) + "\n]}\n"
    assert json.loads(text)["columns"][-4:] == ["pip", "x", "y", "z"]


# ---- the gallery's two encoders ------------------------------------------------------

class OddSource:
    """Values no module pattern has, to hold the encoders to one rule for
    each: ties of the rounding, -0.0, values beyond [-1, 1], huge ones and
    non-finite ones."""

    def __init__(self):
        ties = [(2 * k + 1) / (2 * 2047) for k in range(-2048, 2048)]
        ties = [v for v in ties if (v * 2047) % 1 == 0.5]
        lane = ties + [-0.0, 1.0, -1.0, 1.0004, 2.5, -7.0, 1e308, -1e308, math.inf, -math.inf,
                       math.nan, 5e-324]
        self.rows = {"odd": [(v, -v, v / 3) for v in lane], "short": [(0.25, 0.0, 0.0)]}

    def catalogue(self):
        return [{"name": n, "description": "", "period_pips": len(r), "dimensions": 3 - i}
                for i, (n, r) in enumerate(self.rows.items())]

    def sample(self, name, pip_count):
        row = self.rows[name][pip_count % len(self.rows[name])]
        return type("Offset", (), {"as_tuple": lambda self: row})()


def own_beats_library():
    mine = [gesturon.SampledPattern(f"mine_{k}", "", [(math.sin(i * k / 9) * 0.999, -0.0, i / 1000)
                                                    for i in range(1000)]) for k in (1, 2)]
    return gesturon.PatternLibrary(mine), [p.name for p in mine]


@pytest.mark.parametrize("make", [lambda: Catalogue(gesturon),
                                  lambda: Catalogue(own_beats_library()[0],
                                                    own=own_beats_library()[1]),
                                  lambda: Catalogue(SimulatedSource()),
                                  lambda: Catalogue(OddSource())],
                         ids=["module", "own beats", "simulated", "odd values"])
def test_the_two_gallery_encoders_give_the_same_bytes(make):
    catalogue = make()
    plain = gallery.encode_lanes(catalogue)
    assert gallery.encode_lanes_numpy(catalogue) == plain
    assert len(plain) == 2 * sum(p.period_pips * p.dimensions for p in catalogue.patterns)
    assert gallery.encode_samples(catalogue) == gallery.pack_lanes(plain)


def test_quantise_clamps_huge_values_instead_of_failing():
    assert gallery.quantise([1e308, -1e308, math.nan, 0.5]) == [2047, -2047, 0, 1024]


# ---- DMX ----------------------------------------------------------------------------

def channels_one_by_one(fixture, x, y, z):
    """Each driven parameter through its axis's own value, token by token."""
    values = {}
    for parameter, position, axis in zip(PARAMETERS, (x, y, z), (fixture.pan, fixture.tilt, fixture.z)):
        fine = parameter + "_fine" in fixture.tokens
        value = axis.value(position, 65535 if fine else 255)
        values[parameter], values[parameter + "_fine"] = (value >> 8, value & 0xFF) if fine else (value, 0)
    return [(fixture.address + i, token if isinstance(token, int) else values.get(token, 0))
            for i, token in enumerate(fixture.tokens)]


@pytest.mark.parametrize("fixture", [
    Fixture(1, 1),
    Fixture(2, 500, "z_fine z - 13 pan tilt", z=Axis(0.2, -0.2, 1, (0.1, 0.3))),
    Fixture(7, 40, "tilt tilt_fine - pan 255 z z_fine 7", pan=Axis(270, 90, 540),
            tilt=Axis(135, 45, 270)),
    Fixture(1, 200, "255 - pan_fine pan", pan=Axis(Fraction(1, 3), Fraction(-1, 7), 1)),
], ids=["default", "z first, limits", "mixed", "fine before coarse"])
def test_fixture_channels_match_each_axis_value(fixture):
    rng = random.Random(3)
    positions = [-1.0, -0.0, 0.0, 1.0, 0.5, -0.5, 5e-324, 1 / 3, Fraction(-3, 8), 1] \
        + [rng.uniform(-1, 1) for _ in range(300)]
    for x, y, z in zip(positions, reversed(positions), positions[7:] + positions[:7]):
        assert fixture.channels(x, y, z) == channels_one_by_one(fixture, x, y, z)


# ---- the player's tables --------------------------------------------------------------

@pytest.mark.parametrize("source", ["module", "library"])
def test_player_frames_are_samples_and_follow_a_changed_pattern(source):
    library, names = own_beats_library()
    src = gesturon if source == "module" else library
    first = names[0] if source == "library" else "beat_four_floor_surge"
    player = Player([Track(first, 7, "a"), Track("helix", -3)], [], BeatClock(120, 0), source=src)
    pips = [INT32_MIN, -1, 0, 999, INT32_MAX - 7, INT32_MAX, 2**40, -(2**40) - 1]
    expected_first = [src.sample(first, (pip + 7) % player.source.catalogue()[-1]["period_pips"]
                                 if source == "library" else (pip + 7) % 512).as_tuple() for pip in pips]
    for pip, want in zip(pips, expected_first):
        frame = player.frame(pip)
        assert tuple(frame["a"])[3:] == want and frame["a"].pip == pip + 7
        helix = frame["helix"]
        assert (helix.label, helix.pattern, helix.pip) == ("helix", "helix", pip - 3)
        assert tuple(helix)[3:] == gesturon.helix((pip - 3) % 256).as_tuple()
    assert live.Position is Position and live.Frame is Frame  # still importable from live
    # What a track plays may change during a run (a cue): the frame follows it.
    assert player.cue("a", "circle", at_pip=2**41) == 2**41
    for pip in (2**41, 2**41 + 33):
        assert tuple(player.frame(pip)["a"])[1:] == ("circle", pip + 7,
                                                     *gesturon.circle((pip + 7) % 64).as_tuple())
    with pytest.raises(ValueError, match="did you mean circle"):
        player.cue("a", "circel", at_pip=2**42)


@pytest.mark.parametrize("offsets", [(0, 0, 0), (5, -300, 0)], ids=["on the clock", "offset"])
def test_player_frames_follow_names_and_pattern_objects_in_turn(offsets):
    """A player's frames through its cues, each position against sampling
    its pattern directly: every track on names, then one on a pattern
    object, then all on names again, and back to earlier pips."""
    names = ["helix", "euclid_2_5", "lfo_breathe"]
    player = Player([Track(n, o, f"t{i}") for i, (n, o) in enumerate(zip(names, offsets))], [],
                    BeatClock(120, 0))
    shifted = transform("circle").shift(beats=1)
    player.cue(1, "bounce", at_pip=1000)
    player.cue(0, shifted, at_pip=2000)
    player.cue(0, "sway", at_pip=3000)

    def expected(track, pip):
        plan = {0: [(2000, shifted), (3000, "sway")], 1: [(1000, "bounce")], 2: []}[track]
        chosen = ([names[track]] + [choice for start, choice in plan if pip >= start])[-1]
        at = pip + offsets[track]
        if isinstance(chosen, str):
            return (f"t{track}", chosen, at, *gesturon.sample(chosen, at).as_tuple())
        return (f"t{track}", name_of(chosen), at, *pattern(chosen).sample(at))

    for pip in [-77, 999, 1000, 1999, 2000, 2500, 2999, 3000, 3001, 1500, 2001, 0]:
        assert [tuple(p) for p in player.frame(pip).positions] == [expected(t, pip) for t in range(3)]


def test_play_frame_follows_an_output_whose_latency_changes():
    """The player keeps its streams between frames while nothing changes;
    a changed latency (or a new output) is taken up on the next frame."""
    got = []
    output = CallbackOutput(got.append)
    player = Player(["helix"], [output], BeatClock(120, 0, now_ns=lambda: 0))
    pip_ns = 7_812_500  # one pip at 120 BPM
    player.play_frame(10 * pip_ns)
    output.latency_ms = 250  # 32 pips at 120 BPM
    player.play_frame(10 * pip_ns)
    output.latency_ms = "oops"
    with pytest.raises(ValueError, match="latency"):
        player.play_frame(10 * pip_ns)
    output.latency_ms = 0
    later = []
    player.outputs += (CallbackOutput(later.append, latency_ms=-1000),)
    player.play_frame(10 * pip_ns)
    assert [frame.pip for frame in got] == [10, 42, 10] and [frame.pip for frame in later] == [-118]


# ---- a track by label -----------------------------------------------------------------

@pytest.mark.parametrize("labels, track, place", [
    (["a", "b", "c"], "c", 2), (["a", "b", "a"], "a", 0), (["a", "b"], 1, 1), (["a", "b"], -1, 1),
    (["a"], "b", None), (["a"], ["a"], None), ([], "a", None),
], ids=["label", "label given twice: its first track", "index", "index from the end",
        "unknown label", "unhashable key", "empty frame"])
def test_a_frame_made_by_hand_finds_a_track_as_a_search_would(labels, track, place):
    frame = Frame(0, 0, 0, tuple(Position(label, "helix", 0, 0.0, 0.0, 0.0) for label in labels))
    for _ in range(2):  # the first lookup by label makes the table that the second reads
        if place is None:
            with pytest.raises(KeyError, match="no track"):
                frame[track]
        else:
            assert frame[track] is frame.positions[place]


def test_every_frame_a_player_makes_finds_its_tracks_by_label():
    """The player's one table of labels, shared by its frames, through each
    way a frame is made: from a lineup, with a track on a pattern object,
    for an output with a latency of its own, and the final centred frames."""
    tracks = [Track("helix", 3, "left"), Track("sway", 0, "right"), Track("helix", -9, "spot")]
    sent = []
    player = Player(tracks, [sent.append, CallbackOutput(sent.append, latency_ms=40)],
                    BeatClock(120, 0, now_ns=lambda: 0), final="centre")
    player.cue("right", transform("circle").shift(beats=1), at_pip=100)
    frames = [player.frame(pip) for pip in (0, 99, 100, 101)]
    for pip in (0, 100):
        player.play_frame(pip * 7_812_500)
    player.close()
    assert len(sent) > 4 and any(p.x == p.y == p.z == 0.0 for f in sent[4:] for p in f.positions)
    for frame in frames + sent:
        assert [frame[p.label] for p in frame.positions] == list(frame.positions)
        assert [frame[label].label for label in ("spot", "right", "left")] == ["spot", "right", "left"]
