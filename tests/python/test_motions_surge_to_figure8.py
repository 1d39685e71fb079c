"""The dancefloor motions surge, recoil, flutter, dive, pendulum and figure8.

Records are rebuilt here from the beat and motion titles; the plain-pulse
tables are checked against their stated values (surge against the kick
envelope written out in Python); and small scores of our own show that each
motion answers its score: hats tremble, the bass leads the dive, snares lift.
"""

import math
from importlib.resources import files

import pytest

import gesturon
from stored import table
from gesturon_tools import _beats, drums

TOL = 1e-12

# Beats 1 to 36: key, title, period.
CLUB_BEATS = [(score["key"], score["title"], score["period_pips"])
              for score in map(_beats.parse_score, list(drums.builtin_scores().values())[:36])]

# The twelve dancefloor motions of the first 36 beats: the sixteen motions
# less the four club ones.
DANCEFLOOR_MOTIONS = _beats.motions()[4:]

MINE = ["surge", "recoil", "flutter", "dive", "pendulum", "figure8"]


def envelope(k, t0, h, attack, decay, period):
    """A kick envelope at pip k, distance taken around the loop."""
    d = (k - t0) % period
    if d >= period / 2:
        d -= period
    if d <= -attack or d >= decay:
        return 0.0
    return h * math.cos(math.pi * d / (2 * (attack if d < 0 else decay))) ** 2


def test_first_432_dancefloor_records():
    listing = gesturon.catalogue()
    start = next(i for i, e in enumerate(listing) if e["name"] == "beat_four_floor_surge")
    expected = [
        {
            "name": f"beat_{key}_{motion}",
            "description": f"{title} \u2014 {motion_title}. {sentence}",
            "period_pips": period,
            "dimensions": 3,
        }
        for key, title, period in CLUB_BEATS
        for motion, motion_title, sentence in DANCEFLOOR_MOTIONS
    ]
    assert listing[start : start + 432] == expected
    assert listing[start + 432]["name"] == "beat_jersey_five_bounce"


def test_four_floor_surge_is_the_kick_envelope():
    rows = table("beat_four_floor_surge")
    for k, (x, y, z) in enumerate(rows):
        side = [envelope(k, t, (-1) ** i, 7.04, 30.72, 256) for i, t in enumerate((0, 64, 128, 192))]
        pulse = sum(envelope(k, t, 1.0, 7.04, 30.72, 256) for t in (0, 64, 128, 192))
        assert x == pytest.approx(0.153 * sum(side), abs=TOL)
        assert y == pytest.approx(-0.1535 * pulse, abs=TOL)
        assert z == pytest.approx(0.506 * pulse, abs=TOL)


# (pattern, pip, (x, y, z)); None where the plain pulse states nothing.
FOUR_FLOOR_FACTS = [
    *[("recoil", t, (0.143 * s, 0.257, -0.072)) for t, s in ((0, 1), (64, -1), (128, 1), (192, -1))],
    *[("dive", t, (0.341 * s, -0.126, None)) for t, s in ((0, 1), (64, -1), (128, 1), (192, -1))],
    ("dive", 0, (None, None, 0.24)),
    ("figure8", 64, (0.63, None, -0.16)),
    ("figure8", 192, (-0.63, None, -0.16)),
    ("figure8", 0, (None, None, 0.064)),
    ("figure8", 128, (None, None, 0.064)),
    *[("figure8", t + 17, (None, 0.3968 * s, None)) for t, s in ((0, 1), (64, -1), (128, 1), (192, -1))],
]


@pytest.mark.parametrize("motion, pip, values", FOUR_FLOOR_FACTS)
def test_four_floor_facts(motion, pip, values):
    row = gesturon.sample(f"beat_four_floor_{motion}", pip).as_tuple()
    for got, want in zip(row, values):
        if want is not None:
            assert got == pytest.approx(want, abs=TOL)


def test_four_floor_recoil_echo_answers_each_kick():
    x = [r[0] for r in table("beat_four_floor_recoil")]
    for kick in (0, 64, 128, 192):
        answer = min((x[kick + d] * math.copysign(1, x[kick]) for d in range(23, 29)))
        assert -0.108 <= answer <= -0.085


def test_four_floor_figure8_lobe_apex_is_17_pips_after_the_kick():
    y = [r[1] for r in table("beat_four_floor_figure8")]
    for kick in (0, 64, 128, 192):
        window = [abs(v) for v in y[kick : kick + 64]]
        assert window.index(max(window)) == 17


SCORES = sorted(p.name for p in (files("gesturon_tools") / "beats").iterdir() if p.name.endswith(".beat"))


@pytest.mark.parametrize("motion", MINE)
@pytest.mark.parametrize("score_file", SCORES)
def test_stored_table_is_the_rendered_score(score_file, motion):
    """Every beat's table is its score rendered: three moving axes, a closed seam."""
    text = (files("gesturon_tools") / "beats" / score_file).read_text()
    dims, rows = _beats.render(text, motion)
    name = f"beat_{_beats.parse_score(text)['key']}_{motion}"
    assert dims == 3
    assert [gesturon.sample(name, k).as_tuple() for k in range(len(rows))] == rows
    for axis in range(3):
        assert len({r[axis] for r in rows}) > 1
    steps = [math.dist(rows[k - 1], rows[k]) for k in range(1, len(rows))]
    assert math.dist(rows[-1], rows[0]) <= max(steps)
    assert max(abs(v) for r in rows for v in r) < 1.0


# ---------------------------------------------------------------------------
# Scores of our own: each motion answers what is played.

def score(*lanes, bars=1):
    head = f"key    test\ntitle  Test\nnote\nbars   {bars}\ndepth  no\n"
    return head + "\n".join(lanes) + "\n"


PULSE = "kick  | x...x...x...x... |"
TWO_BARS = "kick  | x...x...x...x... | x...x...x...x... |"
BACKBEAT = "snare | ....x.......x... |"
HATS = "hat   | ..x...x...x...x. |"


def render(text, motion):
    return _beats.render(text, motion)[1]


def test_flutter_trembles_after_each_hat_and_shaker():
    plain = render(score(PULSE, BACKBEAT), "flutter")
    hats = render(score(PULSE, BACKBEAT, "hat | ..x...x...x...x. |", "shaker | .x.............x |"), "flutter")
    for onset, axis, length in [(32, 1, 12), (96, 1, 12), (160, 1, 12), (224, 1, 12), (16, 2, 10), (240, 2, 10)]:
        tremor = [hats[onset + d][axis] - plain[onset + d][axis] for d in range(length)]
        signs = [v > 0 for v in tremor if abs(v) > 1e-3]
        assert sum(a != b for a, b in zip(signs, signs[1:])) >= 2, (onset, tremor)
        assert max(abs(v) for v in tremor) > 0.05
    # Away from the tremors the arc is untouched.
    assert all(hats[k] == plain[k] for k in range(48, 64))


@pytest.mark.parametrize("bass", [0, 96, 208, 352])
def test_dive_plunges_where_the_bass_plays(bass):
    line = ["." for _ in range(32)]
    line[bass // 16] = "x"
    rows = render(score(TWO_BARS, f"bass | {''.join(line[:16])} | {''.join(line[16:])} |", bars=2), "dive")
    z = [r[2] for r in rows]
    assert z.index(max(z)) == bass


def test_dive_without_bass_plunges_from_the_strongest_kick():
    z = [r[2] for r in render(score("kick | x...x...X...x... |"), "dive")]
    assert z.index(max(z)) == 128


def test_pendulum_crosses_the_bottom_every_beat_and_swings_wider_when_busy():
    sparse = render(score("kick | x............... | x............... |", bars=2), "pendulum")
    busy = render(score("kick | x.x.x.x.x.x.x.x. | x...x...x...x... |", BACKBEAT + " ....x.......x... |",
                        "hat | xxxxxxxxxxxxxxxx | xxxxxxxxxxxxxxxx |", bars=2), "pendulum")
    for rows in (sparse, busy):
        x = [r[0] for r in rows]
        assert sum((a < 0) != (b < 0) for a, b in zip(x, x[1:] + x[:1])) == 8
    # The busy score widens the swing all along; the sparse one only where its kicks push.
    assert max(abs(r[0]) for r in busy) > max(abs(r[0]) for r in sparse) + 0.04


# (motion, lanes added to the plain pulse, pip, axis, least change, sign)
RESPONSES = [
    ("surge", [BACKBEAT], 64, 1, 0.3, 1),      # the snare lifts
    ("surge", [BACKBEAT], 64, 2, 0.1, -1),     # ... and draws back from the thrust
    ("surge", [HATS], 32, 0, 0.05, 1),         # hat detail
    ("recoil", [BACKBEAT], 64, 0, 0.3, 1),     # the snare pushes sideways
    ("recoil", [BACKBEAT], 90, 0, 0.2, -1),    # its echo draws back
    ("figure8", [BACKBEAT], 64, 1, 0.15, 1),   # the lifted snare
    ("figure8", ["kick | ....X........... |"], 64, 0, 0.1, 1),  # an accent opens the lobe
    ("dive", [BACKBEAT], 64, 1, 0.08, 1),      # the snare's counter-lift
]


@pytest.mark.parametrize("motion, lanes, pip, axis, least, sign", RESPONSES)
def test_motion_answers_the_score(motion, lanes, pip, axis, least, sign):
    plain = render(score(PULSE), motion)[pip][axis]
    played = render(score(PULSE, *lanes), motion)[pip][axis]
    assert sign * (played - plain) >= least
