"""The continuum pack's twelve path families: their records, the two families
with an exact construction (recomputed here independently in Python), the
peak rules and what the names promise of the designed shapes.

Records are found by name, so these tests hold whatever the packs before the
continuum contain. Stored values carry the twelve-decimal rounding, so exact
constructions are compared within 1e-12.
"""

import itertools
import math

import pytest

import gesturon
from stored import assert_table, table

TAU = 2.0 * math.pi
TOL = 1e-12
sin, cos = math.sin, math.cos

PAIRS = ["1_2", "1_3", "1_4", "1_5", "2_3", "2_5", "3_4", "3_5"]
SPLINES = ["kite", "hourglass", "hook", "crown", "bow", "crooked_cross", "asymmetric_star", "scoop",
           "rising_kite", "twisted_bow", "cup", "bridge", "double_bay", "slanted_loop", "fork", "folded_crown"]
TOURS = ["5_2", "7_2", "7_3", "8_3", "9_2", "9_4", "10_3", "11_2",
         "11_3", "11_4", "12_5", "13_2", "13_3", "13_4", "13_5", "14_3"]
BRAIDS = PAIRS + ["1_6", "2_7", "3_7", "4_5", "4_7", "5_6", "5_7", "5_8"]
NUMBERED = [f"{i:02d}" for i in range(1, 17)]


def family_records():
    """(prefix, names, description, period, dimensions of member i) per family."""
    def kinds(counts, kinds, deep_kind):
        return [f"{kind}_{n}" for n in counts for kind in kinds], lambda m: 3 if m.startswith(deep_kind) else 2
    three = lambda m: 3  # noqa: E731
    halves = lambda m: 2 if m in (NUMBERED[:8] + SPLINES[:8] + TOURS[:8]) else 3  # noqa: E731
    scans, scan_dims = kinds((3, 4, 5, 6), ("flat", "bowed", "tilted", "depth"), "depth")
    reaches, reach_dims = kinds((3, 4, 5, 7), ("scoop", "hook", "lift", "recoil"), "lift")
    packets, packet_dims = kinds((2, 3, 4, 5), ("alternating", "cascading", "crossing", "depth"), "depth")
    return [
        ("ribbon_", [f"{p}_{k}" for k in ("slim", "deep") for p in PAIRS],
         "A curved elliptical spine with variable radial width and linked depth deflection.", 1024, three),
        ("contour_shaped_", NUMBERED, "Signed-power oval edges with local ripples and an asymmetric bow.", 1024, halves),
        ("silhouette_harmonic_", NUMBERED,
         "Three unequal harmonic components, with cross-axis phases and a small linked depth term.", 1024, three),
        ("spline_", SPLINES, "Periodic cubic tangents connect asymmetrical controls with unequal segment times.",
         512, halves),
        ("tour_", TOURS, "A noncircular vertex tour with eased corners and alternating dwell lengths.", 1024, halves),
        ("scan_", scans, "An eased serpentine scan and an explicit outer return to the starting point.", 1024,
         scan_dims),
        ("reach_", reaches,
         "Separate shaped reaches depart from and settle at a shared centre, without reset jumps.", 1024, reach_dims),
        ("surface_", [f"{p}_{k}" for k in ("low", "wide") for p in PAIRS],
         "A varying-radius surface path with coupled longitude and latitude; all three coordinates are retained.",
         1024, three),
        ("braid_", BRAIDS, "An offset tube centreline and a rolling cross-section with a second depth ripple.",
         1024, three),
        ("arm_coupled_", NUMBERED,
         "Tip position of two kinematically driven links; not a dynamics simulation or anatomical model.", 1024,
         halves),
        ("dwell_phrase_", NUMBERED, "Two unequal lift-and-hold gestures, a transfer and a settling return; holds "
         "have finite musical duration.", 1024, three),
        ("packet_", packets, "Compact, smooth-edged oscillation packets arranged around a closed phrase, with shaped "
         "side motion.", 512, packet_dims),
    ]


FAMILIES = family_records()
EXPECTED = [(prefix + m, text, period, dims(m)) for prefix, members, text, period, dims in FAMILIES for m in members]
NAMES = [name for name, _, _, _ in EXPECTED]
DIMS = {name: dims for name, _, _, dims in EXPECTED}


def test_path_records_open_the_pack_in_order():
    records = gesturon.catalogue()
    start = [r["name"] for r in records].index("ribbon_1_2_slim")
    got = [(r["name"], r["description"], r["period_pips"], r["dimensions"]) for r in records[start:start + 192]]
    assert len(EXPECTED) == 192
    assert got == EXPECTED
    # The path families come first in the pack: the atlas ends just before.
    assert records[start - 1]["name"] == "gesture_diamond_depth"


# ---------------------------------------------------------------------------
# Exact constructions

HARMONICS = [(1, 2, 3, 0.2, 0.16), (1, 3, 5, 0.35, 0.12), (2, 3, 4, 0.3, 0.18), (2, 5, 7, 0.23, 0.16),
             (1, 4, 7, 0.35, 0.21), (3, 4, 5, 0.28, 0.14), (2, 7, 9, 0.19, 0.12), (3, 5, 8, 0.3, 0.17),
             (1, 2, 5, 0.4, 0.22), (1, 5, 8, 0.27, 0.24), (2, 3, 7, 0.34, 0.2), (3, 7, 10, 0.26, 0.16),
             (2, 4, 9, 0.33, 0.23), (3, 4, 9, 0.29, 0.25), (4, 5, 7, 0.25, 0.21), (4, 7, 11, 0.21, 0.16)]


@pytest.mark.parametrize("nn", range(1, 17))
def test_harmonic_silhouettes(nn):
    m1, m2, m3, w2, w3 = HARMONICS[nn - 1]

    def curve(t):
        return (cos(m1 * t) + w2 * sin(m2 * t + 0.3) + w3 * cos(m3 * t),
                0.65 * sin(m1 * t + 0.2) + w3 * sin(m2 * t) - w2 * cos(m3 * t + 0.1),
                0.12 * sin((m1 + m2) * t) * sin(t))

    s = 0.82 / max(abs(curve(TAU * i / 2048)[0]) for i in range(2048))
    assert_table(f"silhouette_harmonic_{nn:02d}", [tuple(s * v for v in curve(TAU * k / 1024)) for k in range(1024)])


def smootherstep(u):
    return u * u * u * (u * (u * 6 - 15) + 10)


def pose_path(keys, period, k):
    """Keys (pip, pose) eased by smootherstep, back to the first at the seam."""
    i = max(j for j, (pip, _) in enumerate(keys) if pip <= k)
    p, a = keys[i]
    q, b = keys[i + 1] if i + 1 < len(keys) else (period, keys[0][1])
    s = smootherstep((k - p) / (q - p))
    return tuple(av + (bv - av) * s for av, bv in zip(a, b))


def scan_point(kind, x, y):
    if kind == "tilted":
        return (x + 0.3 * y, y - 0.2 * x, 0.0)
    if kind == "bowed":
        bent = x + 0.2 * cos(math.pi * y)
        return (bent, y + 0.1 * sin(2 * bent), 0.0)
    if kind == "depth":
        return (x, y, 0.38 * cos(math.pi * y / 1.4 + 4 * x / 7))
    return (x, y, 0.0)


@pytest.mark.parametrize("kind", ["flat", "bowed", "tilted", "depth"])
@pytest.mark.parametrize("rows", [3, 4, 5, 6])
def test_scans(kind, rows):
    count = 2 * rows + 3
    poses = []
    for r in range(rows):
        y = -0.7 + 1.4 * r / (rows - 1)
        ends = (-0.7, 0.7) if r % 2 == 0 else (0.7, -0.7)
        poses += [scan_point(kind, x, y) for x in ends]
    poses += [(0.98, 1.0, 0.1 if kind == "depth" else 0.0), (-1.0, 1.0, 0.0), (-1.0, -0.95, 0.0)]
    keys = [(1024 * j / count, pose) for j, pose in enumerate(poses)]
    assert_table(f"scan_{kind}_{rows}", [tuple(0.82 * v for v in pose_path(keys, 1024, k)) for k in range(1024)])


# ---------------------------------------------------------------------------
# Peaks

EXACT_PEAK = ("ribbon_", "tour_", "scan_", "surface_")


@pytest.mark.parametrize("name", NAMES)
def test_peak_rule(name):
    rows = table(name)
    largest = max(abs(v) for row in rows for v in row)
    if name.startswith(EXACT_PEAK):
        assert largest == 0.82
    else:
        assert 0.8196 <= largest <= 0.82
    if name.startswith("scan_"):
        assert max(abs(r[0]) for r in rows) == max(abs(r[1]) for r in rows) == 0.82


@pytest.mark.parametrize("name", NAMES)
def test_paths_turn_without_kinks_seam_included(name):
    # The tables are smooth curves: from one step to the next the velocity
    # changes by a small part of the largest step, across the seam too (a
    # kink there would still pass the closed-loop rule).
    rows = table(name)
    n = len(rows)
    steps = [tuple(rows[(k + 1) % n][a] - rows[k][a] for a in range(3)) for k in range(n)]
    largest = max(math.hypot(*v) for v in steps)
    assert max(math.dist(steps[k], steps[k - 1]) for k in range(n)) < 0.4 * largest


# ---------------------------------------------------------------------------
# What the names and descriptions promise

def holds(rows):
    """(first, last) pip of every run of two or more identical rows."""
    runs, start = [], 0
    for k in range(1, len(rows) + 1):
        if k == len(rows) or rows[k] != rows[start]:
            if k - start > 1:
                runs.append((start, k - 1))
            start = k
    return runs


@pytest.mark.parametrize("nn", NUMBERED)
def test_dwell_phrases_hold_twice_and_rest_across_the_seam(nn):
    rows = table(f"dwell_phrase_{nn}")
    assert rows[-1] == rows[0]
    runs = holds(rows)
    # The two lifted holds, then the settled rest that runs into the seam.
    assert len(runs) == 3 and runs[-1][1] == 1023 and rows[runs[-1][0]] == rows[0]
    first, second = rows[runs[0][0]], rows[runs[1][0]]
    assert first != second and first[1] > 0.2 and second[1] > 0.2  # lifted, differently
    assert all(0 < b - a < 512 for a, b in runs[:2])  # finite holds


def test_dwell_phrase_01_holds_its_quoted_spans():
    rows = table("dwell_phrase_01")
    assert holds(rows)[:2] == [(103, 204), (410, 614)]
    for before, first, last, after in ((102, 103, 204, 205), (409, 410, 614, 615)):
        assert rows[before] != rows[first] and rows[after] != rows[last]


def tour_rests(name):
    rows = table(name)
    return [(b - a + 1, rows[a]) for a, b in holds(rows)]


@pytest.mark.parametrize("tour", TOURS)
def test_tours_visit_their_star_polygon(tour):
    n, step = map(int, tour.split("_"))
    rests = tour_rests("tour_" + tour)
    assert len(rests) == n
    # Long and short rests in turn.
    lengths = [length for length, _ in rests]
    assert all(lengths[j] > 1.6 * lengths[j + 1] if j % 2 == 0 else lengths[j + 1] > 1.6 * lengths[j]
               for j in range(n - 1))
    # Each vertex is a step of 360 * S / N degrees round from the one before.
    angles = [math.atan2(pose[1], pose[0]) for _, pose in rests]
    for a, b in zip(angles, angles[1:] + angles[:1]):
        turn = (b - a) % TAU
        assert min(abs(turn - TAU * step / n), abs(turn - TAU * (n - step) / n)) < 0.25
    # Noncircular: the vertices lie at different distances from the centre.
    radii = [math.hypot(pose[0], pose[1]) for _, pose in rests]
    assert max(radii) > 1.15 * min(radii)


@pytest.mark.parametrize("name", [n for n in NAMES if n.startswith("reach_")])
def test_reaches_return_to_the_centre_between_reaches(name):
    count = int(name.rsplit("_", 1)[1])
    rows = table(name)
    radius = [math.hypot(*row) for row in rows]
    near = [k for k in range(1024) if radius[k] < 0.01]
    # One cluster of near-centre pips at every reach boundary 1024 j / N.
    clusters = [k for k in near if (k - 1) % 1024 not in near]
    assert len(clusters) == count
    for j in range(count):
        assert min(radius[int(1024 * j / count) + d] for d in (0, 1)) < 1e-3
    # Each reach travels out at least half the way to the peak.
    for j in range(count):
        assert max(radius[int(1024 * j / count):int(1024 * (j + 1) / count)]) > 0.4


@pytest.mark.parametrize("pair", PAIRS)
@pytest.mark.parametrize("family,narrow,broad,axis", [("ribbon_", "slim", "deep", 2), ("surface_", "low", "wide", 1)])
def test_width_words(family, narrow, broad, axis, pair):
    spread = {kind: max(r[axis] for r in table(f"{family}{pair}_{kind}")) -
              min(r[axis] for r in table(f"{family}{pair}_{kind}")) for kind in (narrow, broad)}
    assert spread[broad] > 1.5 * spread[narrow]


def visited_cells(name, cells=24):
    """The cells of a coarse grid over the cube [-1, 1]^3 that the path visits."""
    def cell(v):
        return min(cells - 1, int((v + 1) / 2 * cells))
    return {tuple(cell(v) for v in row) for row in table(name)}


@pytest.mark.parametrize("prefix", [f[0] for f in FAMILIES])
def test_members_of_a_family_are_different_shapes(prefix):
    members = [n for n in NAMES if n.startswith(prefix)]
    shapes = {n: visited_cells(n) for n in members}
    for a, b in itertools.combinations(members, 2):
        differ = len(shapes[a] ^ shapes[b]) / len(shapes[a] | shapes[b])
        assert differ > 0.2, (a, b, differ)
