"""The six travelling motions (box, corkscrew, spiral, slalom, spring,
ricochet): the four-floor facts of the stored tables, and how each motion
answers a score, rendered from scores written here through the companion
renderer."""

import math

import pytest

import gesturon
from stored import table
from gesturon_tools import _beats

MOTIONS = ["box", "corkscrew", "spiral", "slalom", "spring", "ricochet"]
KICKS = [0, 64, 128, 192]


def score(bars, lanes, key="test_beat"):
    lines = [f"key {key}", "title Test / beat", f"bars {bars}", "depth yes"]
    return "\n".join(lines + [f"{name} | {' | '.join(cells)} |{extra}" for name, cells, extra in lanes]) + "\n"


def lane(name, *cells, extra=""):
    return (name, cells, f" {extra}" if extra else "")


HOUSE = score(2, [
    lane("kick", "x...x...x...x...", "x...x...x...x..."),
    lane("clap", "....X.......X...", "....X.......X..."),
    lane("hat", "..x...x...x...x.", "..x...x...x...x."),
    lane("bass", "..x..x....x..x..", "..x..x....x.x.x."),
])
HALF_TIME = score(2, [
    lane("kick", "X.......o.x.....", "X.........x....."),
    lane("snare", "........X.......", "........X.....o."),
    lane("hat", "x.x.x.x.x.x.x.x.", "x.x.x.x.x.x.x.o."),
])
BREAKBEAT = score(2, [
    lane("kick", "X.x.......x..x..", "X.x.......x....."),
    lane("snare", "....X..o.o..X..o", "....X..o.o..X.o."),
    lane("hat", "xoxoxoxoxoxoxoxo", "xoxoxoxoxoXoxoxo"),
    lane("conga", "......x.....x...", "...x......x...x."),
])
THREE_BAR = score(3, [
    lane("kick", "x...x...x...x...", "x...x...x...x...", "X...x...x...x..."),
    lane("perc", "x..x..x..x..x...", "x..x..x..x..x...", "x..x..x..x..x.x."),
    lane("rim", "......x.......x.", "......x.......x.", "......x.....x.x."),
])
SCORES = {"house": HOUSE, "half_time": HALF_TIME, "breakbeat": BREAKBEAT, "three_bar": THREE_BAR}


def render(text, motion):
    dims, rows = _beats.render(text, motion)
    assert dims == 3
    return rows


def step(a, b):
    return math.dist(a, b)


# (motion, pip, axis, value, decimals): the quoted facts of the four-floor tables.
FOUR_FLOOR_FACTS = [
    *[("corkscrew", k, 0, 0.53 if i % 2 == 0 else -0.53, 4) for i, k in enumerate(KICKS)],
    *[("corkscrew", k + 15, 1, 0.4733 if i % 2 == 0 else -0.4733, 4) for i, k in enumerate(KICKS)],
    ("corkscrew", 64, 2, 0.436, 3), ("corkscrew", 186, 2, -0.4111, 4),
    *[("slalom", k, 2, (-0.346, 0.346)[i % 2], 3) for i, k in enumerate(KICKS)],
    ("slalom", 57, 0, 0.5673, 4), ("slalom", 192, 0, -0.636, 3),
    ("ricochet", 0, 0, 0.54, 2), ("ricochet", 0, 1, -0.12, 2), ("ricochet", 64, 1, 0.34, 2),
    ("ricochet", 128, 0, -0.54, 2), ("ricochet", 128, 1, -0.12, 2), ("ricochet", 192, 1, -0.58, 2),
    *[("spring", d, 2, v, 4) for d, v in [(5, 0.3241), (19, -0.0628), (33, 0.0091), (47, -0.0006)]],
    *[("spring", k + 5, 1, 0.0612, 4) for k in KICKS],
]


@pytest.mark.parametrize("motion,pip,axis,value,decimals", FOUR_FLOOR_FACTS)
def test_four_floor_facts(motion, pip, axis, value, decimals):
    v = gesturon.sample(f"beat_four_floor_{motion}", pip).as_tuple()[axis]
    assert round(v, decimals) == value, v


def test_four_floor_extremes_fall_where_quoted():
    cork = table("beat_four_floor_corkscrew")
    for k in KICKS:  # y turns 15 pips after each kick
        assert abs(cork[k + 14][1]) < abs(cork[k + 15][1]) > abs(cork[k + 16][1])
    x = [r[0] for r in table("beat_four_floor_slalom")]
    assert x.index(max(x)) == 57 and x.index(min(x)) == 192


def test_four_floor_spring_rings_from_rest_after_each_kick():
    rows = table("beat_four_floor_spring")
    assert rows[0] == (0.0, 0.0, 0.0)
    for i, kick in enumerate(KICKS):
        axis = 2 if i % 2 == 0 else 0  # z after the kicks at 0 and 128, x after 64 and 192
        other = 0 if axis == 2 else 2
        assert all(rows[kick + d][other] == 0.0 for d in range(64))
        lane = [rows[kick + d][axis] for d in range(64)]
        extremes = [5, 19, 33, 47]
        for j, d in enumerate(extremes):
            assert abs(lane[d - 1]) < abs(lane[d]) > abs(lane[d + 1]), (kick, d)
            if j:
                assert lane[d] * lane[extremes[j - 1]] < 0  # the sign turns every 14 pips
                assert abs(lane[d]) < 0.25 * abs(lane[extremes[j - 1]])  # each much smaller
        assert lane[0] == 0.0


@pytest.mark.parametrize("motion", MOTIONS)
@pytest.mark.parametrize("name", SCORES)
def test_caller_scores_keep_the_table_rules(motion, name):
    rows = render(SCORES[name], motion)
    assert all(-1.0 < v < 1.0 for row in rows for v in row)
    assert all(any(row[a] != 0.0 for row in rows) for a in range(3))
    largest = max(step(rows[k - 1], rows[k]) for k in range(1, len(rows)))
    assert step(rows[-1], rows[0]) <= largest


@pytest.mark.parametrize("motion", MOTIONS)
def test_different_scores_give_different_tables(motion):
    tables = {name: render(SCORES[name], motion) for name in ("house", "half_time", "breakbeat")}
    tables["four_floor"] = render(score(2, [lane("kick", "x...x...x...x...", "x...x...x...x...")]), motion)
    names = sorted(tables)
    for i, a in enumerate(names):
        for b in names[i + 1:]:
            gap = max(abs(u - v) for ra, rb in zip(tables[a], tables[b]) for u, v in zip(ra, rb))
            assert gap > 0.1, (a, b, gap)


def onset_pips(text):
    pips = []
    for _, pip, _ in _beats.parse_score(text)["hits"]:
        if not pips or pip - pips[-1] >= 0.5:
            pips.append(pip)
    return pips


@pytest.mark.parametrize("motion", ["spring", "ricochet"])
@pytest.mark.parametrize("name", ["house", "breakbeat"])
def test_onset_motions_move_with_the_score_in_time(motion, name):
    # Moving every hit later, so that the last onset falls 8 pips before the
    # seam, moves the whole table with it: what that onset starts carries on
    # through the seam.
    text = SCORES[name]
    parsed = _beats.parse_score(text)
    n = parsed["period_pips"]
    shift = n - 8 - round(parsed["hits"][-1][1])
    moved = "\n".join(line + f" shift {shift}" if "|" in line else line for line in text.splitlines())
    a, b = render(text, motion), render(moved, motion)
    assert max(abs(u - v) for k in range(n) for u, v in zip(a[k], b[(k + shift) % n])) < 1e-9


def test_spring_rings_at_every_onset_of_a_busy_beat():
    # Each onset starts a ringing: the table only changes after an onset, and
    # changes right after it, when that onset is taken out of the score.
    rows = render(BREAKBEAT, "spring")
    lines = BREAKBEAT.splitlines()
    kick = next(i for i, line in enumerate(lines) if line.startswith("kick"))
    for bar_step, pip in [(2, 32.0), (10, 160.0)]:  # the second and third kicks of bar one
        cells = lines[kick].split("|")
        cells[1] = cells[1][: bar_step + 1] + "." + cells[1][bar_step + 2:]
        quiet = "\n".join(lines[:kick] + ["|".join(cells)] + lines[kick + 1:])
        other = render(quiet, "spring")
        changed = [k for k in range(len(rows)) if rows[k] != other[k]]
        assert changed and min(changed) == pip + 1, (pip, changed[:3])


def test_ricochet_sends_each_onset_to_a_new_target():
    rows = render(HOUSE, "ricochet")
    rest = (0.0, -0.12, 0.0)
    at = [rows[round(p)] for p in onset_pips(HOUSE) if p == round(p)]
    for a, b in zip(at, at[1:] + at[:1]):
        u = [p - r for p, r in zip(a, rest)]
        v = [p - r for p, r in zip(b, rest)]
        cosine = sum(p * q for p, q in zip(u, v)) / (math.hypot(*u) * math.hypot(*v))
        assert cosine < 0.5  # successive excursions head off in clearly different directions


def test_largest_step_of_all_stored_tables_is_the_four_four_garage_spring():
    largest, where = 0.0, None
    for record in gesturon.catalogue()[15:]:
        rows = table(record["name"])
        s = max(step(rows[k - 1], rows[k]) for k in range(len(rows)))
        if s > largest:
            largest, where = s, record["name"]
    assert where == "beat_ukg_four_four_spring"
    assert abs(largest - 0.279) < 0.0015
