"""The atlas pack: its 256 records and the tables behind them.

Expected values are computed here from the families' constructions, written
out independently in Python; stored values carry the twelve-decimal rounding,
so tables are compared within 1e-12. Atlas records are found by name, so these
tests hold whatever the packs before the atlas contain.
"""

import functools
import hashlib
import math

import pytest

import gesturon
from stored import assert_table, table

TAU = 2.0 * math.pi
TOL = 1e-12


# ---------------------------------------------------------------------------
# The pack's listing

WAVES = [
    ("wave_pinched", "Pinched sine"),
    ("wave_shouldered", "Shouldered sine"),
    ("wave_folded", "Folded sine"),
    ("wave_double_fold", "Double-fold wave"),
    ("wave_rounded_square", "Rounded square"),
    ("wave_soft_rectifier", "Soft rectified swell"),
    ("wave_skew_warp", "Phase-skew sweep"),
    ("wave_scoop_warp", "Scooped return"),
    ("wave_shelf_wave", "Shelf and scoop"),
    ("wave_notched", "Notched crest"),
    ("wave_bottle", "Bottle-neck swell"),
    ("wave_reed", "Reed flutter"),
    ("wave_unequal_peaks", "Unequal double crest"),
    ("wave_ripple_return", "Rippled recovery"),
    ("wave_soft_teeth", "Soft triple teeth"),
    ("wave_warped_fold", "Warped wave fold"),
]

ENVS = [
    ("env_lift_hold_drop", "Lift, hold, settle", [(0, 0), (64, -0.8), (192, -0.8), (256, 0.2), (320, 0)]),
    ("env_inhale_exhale", "Long inhale, short exhale", [(0, 0), (320, -0.8), (384, 0.1), (448, 0)]),
    ("env_triple_swell", "Three unequal swells", [(0, 0), (64, -0.8), (128, 0), (192, -0.5), (256, 0), (384, -0.3)]),
    ("env_rising_echo", "Rising echo ladder",
     [(0, 0), (64, -0.25), (128, 0), (192, -0.5), (256, 0), (320, -0.8), (384, 0)]),
    ("env_falling_echo", "Falling echo ladder", [(0, 0), (64, -0.8), (128, 0), (192, -0.45), (256, 0), (320, -0.15)]),
    ("env_anticipation", "Backward anticipation",
     [(0, 0), (64, 0.35), (128, 0), (192, -0.82), (256, -0.82), (384, 0.12)]),
    ("env_plateau_scoop", "Plateau then scoop", [(0, 0), (64, -0.7), (256, -0.7), (320, -0.3), (384, 0.4)]),
    ("env_hesitant", "Hesitant reach", [(0, 0), (64, -0.3), (128, -0.2), (192, -0.5), (256, -0.4), (320, -0.8)]),
    ("env_double_hold", "Two-height hold", [(0, 0), (64, -0.4), (192, -0.4), (256, -0.8), (384, -0.8)]),
    ("env_swell_recoil", "Deep swell and recoil", [(0, 0), (192, -0.8), (256, 0.5), (320, -0.2), (384, 0.08)]),
    ("env_late_release", "Late release", [(0, 0), (256, -0.8), (384, -0.8), (448, 0.25)]),
    ("env_split_attack", "Split attack", [(0, 0), (32, -0.6), (64, -0.2), (128, -0.8), (320, -0.2)]),
    ("env_suspended", "Suspended answer", [(0, 0), (64, -0.75), (128, 0), (256, 0), (384, -0.55), (448, -0.55)]),
    ("env_valley_peaks", "Valley between peaks", [(0, 0), (64, -0.7), (192, -0.3), (256, -0.82), (384, 0.2)]),
    ("env_four_breaths", "Four breathing accents",
     [(0, 0), (64, -0.7), (128, 0), (192, -0.5), (256, 0), (320, -0.8), (384, 0), (448, -0.3)]),
    ("env_return_stair", "Stepped soft recovery",
     [(0, 0), (128, -0.8), (192, -0.8), (256, -0.5), (320, -0.5), (384, -0.2), (448, -0.2)]),
]

SEQ_SHAPES = {
    "up_down": [-0.82, -0.3075, 0.205, 0.82, 0.41, -0.1025],
    "pendulum": [0, 0.82, 0, -0.82, 0, 0.41, 0, -0.41],
    "octave": [0, 0.82, 0.205, 0.66625, -0.205, -0.82, -0.41, -0.66625],
    "unequal": [0, 0.615, -0.205, 0.82, -0.7175, 0.1025],
    "question": [-0.615, -0.205, 0.3075, 0.82, 0.615, 0.205],
    "answer": [0.615, 0.1025, -0.82, -0.5125, -0.1025, 0.3075],
    "ratchet": [0, 0.3075, 0, 0.615, 0, 0.82, 0, -0.3075],
    "stairs": [-0.82, -0.41, 0, 0.41, 0.82, 0.82, 0, -0.82],
}
SEQS = [f"seq_{shape}_{timing}" for shape in SEQ_SHAPES for timing in ("even", "lilt")]

NOISES = [f"noise_{kind}_{n}" for kind, counts in
          [("drift", (5, 7, 9, 11)), ("orbit", (6, 8, 10, 12)), ("ripple", (5, 7, 9, 11)), ("depth", (6, 8, 10, 12))]
          for n in counts]

ORBIT_DEPTHS = [0.18, 0.22, 0.25, 0.28, 0.25, 0.20, 0.15, 0.13, 0.34, 0.31, 0.29, 0.26, 0.23, 0.20, 0.17, 0.14]
WEAVES = [(1, 3), (1, 4), (1, 5), (2, 5), (2, 7), (3, 4), (3, 5), (3, 7),
          (3, 8), (4, 5), (4, 7), (4, 9), (5, 6), (5, 7), (5, 8), (5, 9)]
ROSES = [3, 6, 7, 8, 9, 10, 11, 12]
SPIROS = [(3, 1, 0.45), (4, 1, 0.6), (5, 2, 1.5), (5, 1, 0.55), (7, 2, 1.3), (7, 3, 2.1), (8, 3, 1.8), (9, 4, 3.2)]
TORI = [(2, 5), (2, 7), (3, 4), (3, 5), (3, 7), (4, 5), (4, 7), (5, 6)]
SPACE_WEAVES = [(1, 2, 3), (1, 3, 4), (2, 3, 4), (2, 3, 7), (2, 5, 7), (3, 4, 5), (3, 5, 7), (4, 5, 7)]

MECHS = [
    ("mech_piston_short", "Short-rod piston", 2), ("mech_piston_long", "Long-rod piston", 2),
    ("mech_offset_crank", "Offset crank", 2), ("mech_scotch_yoke", "Yoke with rocking linkage", 2),
    ("mech_whitworth", "Quick-return linkage study", 2), ("mech_elliptic_cam", "Elliptic cam follower", 2),
    ("mech_two_lobe_cam", "Two-lobe cam follower", 2), ("mech_three_lobe_cam", "Three-lobe cam follower", 2),
    ("mech_escapement", "Soft escapement study", 2), ("mech_paddle", "Paddle-wheel tip", 2),
    ("mech_wobble_plate", "Wobble-plate trace", 3), ("mech_rocking_beam", "Rocking beam", 2),
    ("mech_coupled_cranks", "Coupled cranks", 2), ("mech_crank_rocker", "Crank and rocker study", 3),
    ("mech_piston_balance", "Piston and balance mass", 3), ("mech_cam_return", "Cam rise and return", 2),
]

EUCLIDS = {
    (2, 5): [0, 3], (3, 7): [0, 3, 5], (3, 10): [0, 4, 7], (4, 9): [0, 3, 5, 7], (4, 11): [0, 3, 6, 9],
    (5, 9): [0, 2, 4, 6, 8], (5, 11): [0, 3, 5, 7, 9], (5, 13): [0, 3, 6, 8, 11], (5, 14): [0, 3, 6, 9, 12],
    (6, 13): [0, 3, 5, 7, 9, 11], (7, 12): [0, 2, 4, 6, 7, 9, 11], (7, 15): [0, 3, 5, 7, 9, 11, 13],
    (7, 17): [0, 3, 5, 8, 10, 13, 15], (8, 19): [0, 3, 5, 8, 10, 12, 15, 17],
    (9, 20): [0, 3, 5, 7, 9, 12, 14, 16, 18], (11, 24): [0, 3, 5, 7, 9, 11, 14, 16, 18, 20, 22],
}
POLYS = [(2, 5), (2, 7), (2, 9), (3, 5), (3, 7), (3, 8), (3, 10), (4, 5),
         (4, 7), (4, 9), (5, 6), (5, 7), (5, 8), (5, 9), (6, 7), (7, 8)]
METERS = [(2, 3), (3, 2), (3, 2, 2), (2, 3, 2), (3, 4), (4, 3), (2, 2, 2, 3), (2, 3, 2, 2), (3, 2, 3, 2),
          (3, 3, 2, 3), (2, 2, 3, 2, 3), (3, 3, 3, 2), (4, 3, 3), (3, 4, 4), (2, 3, 3, 2, 3), (3, 3, 3, 4)]
SWINGS = [(kind, p, q) for p, q in [(3, 5), (2, 3), (5, 7), (3, 4)] for kind in ("push", "answer", "skip", "shuffle")]
STICK_WORDS = ["RLRRLRLL", "RRLRLLRL", "RLLRLRRL", "RRLLRLRL", "RLRLRRLL", "RRRLLLRL", "RLLLRRRL", "RRLRRLLL",
               "RLRRLLRL", "RRLLRLLR", "RLRLLRRL", "RRRLRLLL", "RRRRLRLL", "RRLLLRRL", "RLRRRLLL", "RRLRLLLR"]

GESTURES = [
    ("gesture_side_reach", "side reach", 2, 7, [(0, (0, 0, 0)), (2, (4, 0, 0)), (3, (4, -3, 0)), (5, (0, 0, 0)),
                                                (6, (-3, 0, 0))]),
    ("gesture_cross_reach", "cross and reach", 2, 6, [(0, (-7, 2, 0)), (2, (6, -5, 0)), (3, (-6, -5, 0)),
                                                      (5, (7, 2, 0))]),
    ("gesture_low_scoop", "low scoop", 2, 7, [(0, (-7, -2, 0)), (2, (-4, 6, 0)), (3, (4, 6, 0)), (5, (7, -2, 0)),
                                              (6, (0, -5, 0))]),
    ("gesture_high_arc", "high arc", 2, 7, [(0, (-4, 0, 0)), (2, (-2, -3, 0)), (3, (2, -3, 0)), (5, (4, 0, 0)),
                                            (6, (0, 1, 0))]),
    ("gesture_corner_taps", "corner taps", 2, 11, [(0, (0, 0, 0)), (2, (-7, -5, 0)), (3, (0, 0, 0)), (5, (7, -5, 0)),
                                                   (6, (0, 0, 0)), (7, (7, 5, 0)), (9, (0, 0, 0)),
                                                   (10, (-7, 5, 0))]),
    ("gesture_diagonal_touch", "diagonal touch", 2, 7, [(0, (-7, 5, 0)), (2, (0, 0, 0)), (3, (7, -5, 0)),
                                                        (5, (0, 0, 0)), (6, (5, 3, 0))]),
    ("gesture_box_return", "box and centre", 2, 7, [(0, (-6, 5, 0)), (2, (-6, -5, 0)), (3, (6, -5, 0)),
                                                    (5, (6, 5, 0)), (6, (0, 0, 0))]),
    ("gesture_zigzag_lift", "zigzag lift", 2, 7, [(0, (-7, 5, 0)), (2, (4, 1, 0)), (3, (-4, -2, 0)), (5, (7, -6, 0)),
                                                  (6, (0, 0, 0))]),
    ("gesture_duck_sway", "duck and sway", 2, None, None),
    ("gesture_push_pull", "push and pull", 3, 6, [(0, (0, 0, 0)), (2, (3, -2, 8)), (3, (-3, 2, -6)), (5, (5, 1, 0))]),
    ("gesture_reach_depth", "reach through depth", 3, 6, [(0, (-5, 3, 0)), (2, (0, -6, 7)), (3, (5, 3, 0)),
                                                          (5, (0, -3, -5))]),
    ("gesture_bow_turn", "bow and turn", 3, 6, [(0, (-12, 0, 0)), (2, (0, 12, 7)), (3, (12, 0, 0)),
                                                (5, (0, -5, -9))]),
    ("gesture_heel_toe", "heel-toe abstract", 2, 9, [(0, (0, 0, 0)), (2, (-8, 6, 0)), (3, (-13, -6, 0)),
                                                     (5, (0, 0, 0)), (6, (8, 6, 0)), (7, (13, -6, 0))]),
    ("gesture_hop_answer", "hop and answer", 2, 9, [(0, (0, 0, 0)), (2, (-6, -7, 0)), (3, (-6, 0, 0)), (5, (0, 0, 0)),
                                                    (6, (6, -4, 0)), (7, (6, 0, 0))]),
    ("gesture_spiral_reach", "spiral reach", 3, 9, [(0, (0, 0, 0)), (2, (3, -3, 2)), (3, (6, 0, 4)), (5, (3, 6, 6)),
                                                    (6, (-6, 3, 2)), (7, (-3, -5, 0))]),
    ("gesture_diamond_depth", "depth diamond", 3, 6, [(0, (0, -1, 0)), (2, (1, 0, 1)), (3, (0, 1, 0)),
                                                      (5, (-1, 0, -1))]),
]


def expected_records():
    """(name, description, period, dimensions) of all 256, in catalogue order."""
    out = []
    for name, phrase in WAVES:
        out.append((name, phrase + "; a continuous shaped control wave, mapped to horizontal displacement.", 512, 1))
    for name, phrase, _ in ENVS:
        out.append((name, phrase + " over an eight-beat phrase; smooth, resting joins.", 512, 2))
    for name in SEQS:
        timing = name.rsplit("_", 1)[1]
        out.append((name, f"A programmed position sequence with {timing} segment durations and softened transitions.",
                    512, 2))
    for name in NOISES:
        kind = name.split("_")[1]
        text = "Indexed SHA-256 control points in a closed drift path. No mutable random state."
        out.append((name, text.replace("drift", kind), 1024, 3 if kind == "depth" else 2))
    for i in range(1, 17):
        out.append((f"orbit_harmonic_{i:02d}",
                    "An ellipse combined with unequal horizontal and vertical harmonic ripples.", 512, 2))
    for a, b in WEAVES:
        text = "1 horizontal and 3 vertical cycles; a phase-offset, closed 16-beat traversal."
        out.append((f"weave_{a}_{b}", text.replace("1 horizontal", f"{a} horizontal").replace("3 vertical", f"{b} vertical"),
                    1024, 2))
    for n in ROSES:
        out.append((f"polar_rose_{n}",
                    "A complete signed-radius rose traversal; odd-petal roses use a half-turn parameter.", 1024, 2))
    for n in range(2, 10):
        out.append((f"polar_scallop_{n}",
                    "A positive-radius scalloped loop; no centre crossings, with an asymmetrically bent lobe.", 1024, 2))
    for where in ("inside", "outside"):
        for r, q, _ in SPIROS:
            out.append((f"spiro_{where}_{r}_{q}",
                        f"A closed {where}-rolling circle trace, with pen radius smaller than the rolling radius.",
                        1024, 2))
    for p, q in TORI:
        out.append((f"space_torus_{p}_{q}",
                    "A genuine XYZ closed torus-knot trajectory. The demo uses an oblique projection.", 1024, 3))
    for a, b, c in SPACE_WEAVES:
        out.append((f"space_weave_{a}_{b}_{c}",
                    "Three coprime-frequency coordinate lanes with distinct phase offsets.", 1024, 3))
    for name, phrase, dims in MECHS:
        out.append((name, phrase + "; an original kinematic-style position study, not an engineering simulation.",
                    512, dims))
    for k, n in EUCLIDS:
        out.append((f"euclid_{k}_{n}",
                    "Evenly distributed accents with alternating sides; first onset is the phrase accent.", 32 * n, 2))
    for a, b in POLYS:
        out.append((f"poly_{a}_{b}", "Two independent pulse trains share an eight-beat boundary. "
                    "Each right-lane gesture includes depth.", 512, 3))
    for groups in METERS:
        out.append(("meter_" + "_".join(map(str, groups)),
                    "Group starts lean alternately left and right; quieter subdivisions mark the eighth-note grid.",
                    32 * sum(groups), 3))
    for kind, p, q in SWINGS:
        text = "Eight-beat push score with offbeats at 3/5 of each beat; peaks follow the score."
        out.append((f"swing_{kind}_{p}_{q}", text.replace("push", kind).replace("3/5", f"{p}/{q}"), 512,
                    2 if kind == "answer" else 3))
    for i in range(1, 17):
        out.append((f"stick_study_{i:02d}", "Original R/L movement study with accented group leads, followed by its "
                    "hand-swapped answer. Not an official rudiment transcription.", 512, 2))
    for name, phrase, dims, _, _ in GESTURES:
        text = ("An original single-point side reach gesture. "
                "Abstract motion, not a full-body dance or biomechanical recording.")
        out.append((name, text.replace("side reach", phrase), 512, dims))
    return out


EXPECTED = expected_records()


@functools.lru_cache(maxsize=None)
def atlas_records():
    records = gesturon.catalogue()
    start = [r["name"] for r in records].index("wave_pinched")
    return records[start:start + 256]


# ---------------------------------------------------------------------------
# Records

def test_records_in_order_with_their_texts_periods_and_dimensions():
    got = [(r["name"], r["description"], r["period_pips"], r["dimensions"]) for r in atlas_records()]
    assert len(EXPECTED) == 256
    assert got == EXPECTED


def test_period_and_dimension_counts_match_the_pack_summary():
    periods, dims = {}, {}
    for r in atlas_records():
        periods[r["period_pips"]] = periods.get(r["period_pips"], 0) + 1
        dims[r["dimensions"]] = dims.get(r["dimensions"], 0) + 1
    assert periods == {160: 3, 224: 5, 288: 4, 320: 3, 352: 5, 384: 2, 416: 4, 448: 1, 480: 1, 512: 144,
                       544: 1, 608: 1, 640: 1, 768: 1, 1024: 80}
    assert dims == {1: 16, 2: 168, 3: 72}


# ---------------------------------------------------------------------------
# Independent constructions

def smootherstep(u):
    return u * u * u * (u * (u * 6 - 15) + 10)


def ease(keys, period, k, mix):
    """Keys (pip, value) eased by smootherstep, back to the first at the seam."""
    i = max(j for j, (pip, _) in enumerate(keys) if pip <= k)
    p, a = keys[i]
    q, b = keys[i + 1] if i + 1 < len(keys) else (period, keys[0][1])
    return mix(a, b, smootherstep((k - p) / (q - p)))


def lane(keys, period, k):
    return ease(keys, period, k, lambda a, b, s: a + (b - a) * s)


def bump(k, t0, h, w, period):
    d = (k - t0 + period / 2) % period - period / 2
    return h * math.cos(math.pi * d / (2 * w)) ** 2 if abs(d) < w else 0.0


def score(period, events):
    """Rows summing the bumps of events (pip, half-width, (hx, hy, hz))."""
    return [tuple(sum(bump(k, t0, h[axis], w, period) for t0, w, h in events) for axis in range(3))
            for k in range(period)]


def path_rows(period, f):
    """Rows f(t) at t = 2 pi k / P, padded with 0.0 to three axes."""
    pad = (0.0,) * (3 - len(f(0.0)))
    return [tuple(f(TAU * k / period)) + pad for k in range(period)]


def scaled(rows, target, axes=(0, 1, 2)):
    s = target / max(abs(r[a]) for r in rows for a in axes)
    return [tuple(v * s for v in r) for r in rows]


sin, cos = math.sin, math.cos

WAVE_SHAPES = {
    "wave_pinched": lambda t: sin(t) ** 3,
    "wave_rounded_square": lambda t: math.tanh(2 * sin(t)) / math.tanh(2),
    "wave_folded": lambda t: sin(2.2 * sin(t)),
    "wave_double_fold": lambda t: sin(3.8 * sin(t)),
    "wave_skew_warp": lambda t: sin(t + 0.7 * sin(t)),
    "wave_shouldered": lambda t: 0.69 * sin(t) + 0.31 * sin(3 * t),
    "wave_notched": lambda t: sin(t) - 0.36 * sin(3 * t) + 0.12 * cos(5 * t),
    "wave_reed": lambda t: 0.85 * sin(t) - 0.2 * sin(6 * t) + 0.2 * sin(8 * t),
    "wave_ripple_return": lambda t: sin(t) + 0.09 * sin(5 * t) * (1 + cos(t)),
}


@pytest.mark.parametrize("name", WAVE_SHAPES)
def test_constructed_waves(name):
    assert_table(name, scaled(path_rows(512, lambda t: (WAVE_SHAPES[name](t),)), 0.82))


def test_pinched_and_rounded_square_use_the_plain_factor():
    assert_table("wave_pinched", path_rows(512, lambda t: (0.82 * sin(t) ** 3,)))
    assert_table("wave_rounded_square", path_rows(512, lambda t: (0.82 * math.tanh(2 * sin(t)) / math.tanh(2),)))


@pytest.mark.parametrize("name,keys", [(name, keys) for name, _, keys in ENVS])
def test_envelopes(name, keys):
    assert_table(name, [(0.0, lane(keys, 512, k), 0.0) for k in range(512)])


@pytest.mark.parametrize("name", SEQS)
def test_sequences(name):
    shape, timing = name[4:].rsplit("_", 1)
    xs = SEQ_SHAPES[shape]
    n = len(xs)
    if timing == "even":
        times = [512 * i / n for i in range(n)]
    else:  # pairs of 1024/n pips, each split 2:1, long first
        pair = 1024 / n
        times = [(i // 2) * pair + (i % 2) * pair * 2 / 3 for i in range(n)]
    x_keys = list(zip(times, xs))
    y_keys = [(times[i], 0.287 * sin(TAU * i / n)) for i in range(n)]
    rows = [(lane(x_keys, 512, k), lane(y_keys, 512, k), 0.0) for k in range(512)]
    assert_table(name, scaled(rows, 0.82, axes=(0,)))


def test_sequence_factor_is_one_when_the_full_key_lands_on_a_pip():
    # seq_pendulum_even: +0.82 at pip 64; the lilt's keys lie at fractional pips.
    assert table("seq_pendulum_even")[64][0] == 0.82
    assert table("seq_stairs_lilt")[0][0] == -0.82


@pytest.mark.parametrize("i", range(1, 17))
def test_harmonic_orbits(i):
    m = 2 + (i - 1) % 8
    phase = 0.0 if i <= 8 else 0.5 + 0.3 * (i - 9)
    r = ORBIT_DEPTHS[i - 1]
    rows = path_rows(512, lambda t: (cos(t) + r * cos(m * t + phase), 0.72 * sin(t) - r * sin((m + 1) * t - phase)))
    assert_table(f"orbit_harmonic_{i:02d}", scaled(rows, 0.82, axes=(0,)))


@pytest.mark.parametrize("a,b", WEAVES)
def test_weaves(a, b):
    rows = path_rows(1024, lambda t: (sin(a * t + 0.37), 0.8125 * sin(b * t)))
    assert_table(f"weave_{a}_{b}", scaled(rows, 0.82, axes=(0,)))


@pytest.mark.parametrize("n", ROSES)
def test_roses(n):
    def row(k):
        u = math.pi * k / 1024 if n % 2 else TAU * k / 1024
        r = 0.82 * cos((n if n % 2 else n // 2) * u)
        return (r * cos(u), r * sin(u), 0.0)
    assert_table(f"polar_rose_{n}", [row(k) for k in range(1024)])


@pytest.mark.parametrize("inside", [True, False], ids=["inside", "outside"])
@pytest.mark.parametrize("big,q,d", SPIROS)
def test_spirographs(inside, big, q, d):
    if inside:
        def f(t):
            return ((big - q) * cos(q * t) + d * cos((big - q) * t), (big - q) * sin(q * t) - d * sin((big - q) * t))
    else:
        def f(t):
            return ((big + q) * cos(q * t) - d * cos((big + q) * t), (big + q) * sin(q * t) - d * sin((big + q) * t))
    name = f"spiro_{'inside' if inside else 'outside'}_{big}_{q}"
    assert_table(name, scaled(path_rows(1024, f), 0.82, axes=(0,)))


@pytest.mark.parametrize("p,q", TORI)
def test_torus_knots(p, q):
    rows = path_rows(1024, lambda t: (0.82 * (2.9 + cos(q * t)) * cos(p * t) / 3.9,
                                      0.82 * (2.9 + cos(q * t)) * sin(p * t) / 3.9,
                                      0.82 * 2.1 * sin(q * t) / 3.9))
    assert_table(f"space_torus_{p}_{q}", rows)


@pytest.mark.parametrize("a,b,c", SPACE_WEAVES)
def test_space_weaves(a, b, c):
    rows = path_rows(1024, lambda t: (0.82 * sin(a * t), 0.656 * sin(b * t + 0.4), 0.574 * cos(c * t + 0.7)))
    assert_table(f"space_weave_{a}_{b}_{c}", rows)


def test_space_weave_at_pip_zero():
    x, y, z = gesturon.sample("space_weave_1_2_3", 0).as_tuple()
    assert x == 0.0
    assert abs(y - 0.656 * sin(0.4)) <= TOL
    assert abs(z - 0.574 * cos(0.7)) <= TOL


@pytest.mark.parametrize("name,length,vertical", [
    ("mech_piston_short", 2, lambda t: 0.246 * sin(t)),
    ("mech_piston_long", 4, lambda t: 0.205 * sin(2 * t)),
])
def test_pistons(name, length, vertical):
    rows = path_rows(512, lambda t: (0.82 * (cos(t) + math.sqrt(length ** 2 - sin(t) ** 2) - length), vertical(t)))
    assert_table(name, rows)


MECH_PATHS = {
    "mech_offset_crank": lambda t: (cos(t) + math.sqrt(9 - (sin(t) + 0.6) ** 2) - 2.8, 0.35 * sin(t)),
    "mech_scotch_yoke": lambda t: (cos(t), 0.35 * sin(t) + 0.18 * sin(3 * t)),
    "mech_two_lobe_cam": lambda t: (6 * sin(t), 4 * cos(t) + 11 * cos(2 * t)),
    "mech_three_lobe_cam": lambda t: (1.25 * sin(t), cos(t) + 5 * cos(3 * t)),
    "mech_paddle": lambda t: (cos(t) + 0.23 * cos(4 * t), sin(t) + 0.23 * sin(4 * t)),
    "mech_wobble_plate": lambda t: (cos(t), 0.35 * sin(t), 0.5 * sin(2 * t + 0.3)),
    "mech_coupled_cranks": lambda t: (cos(t) + 0.35 * cos(3 * t + 0.6), sin(t) - 0.35 * sin(3 * t + 0.6)),
    "mech_piston_balance": lambda t: (cos(t), 0.5 * sin(2 * t), 0.25 * sin(t)),
}


@pytest.mark.parametrize("name", MECH_PATHS)
def test_trigonometric_mechanisms(name):
    assert_table(name, scaled(path_rows(512, MECH_PATHS[name]), 0.82))


@pytest.mark.parametrize("k,n", EUCLIDS)
def test_euclidean_accents(k, n):
    steps = [math.ceil(j * n / k) for j in range(k)]
    assert steps == EUCLIDS[(k, n)]
    events = [(0, 24, (0.75, -0.32, 0))] + [(32 * s, 24, ((-1) ** j * 0.5625, -0.24, 0))
                                            for j, s in enumerate(steps) if j > 0]
    assert_table(f"euclid_{k}_{n}", score(32 * n, events))


def test_euclid_quoted_values():
    assert gesturon.sample("euclid_7_12", 0).x == 0.75
    assert gesturon.sample("euclid_7_12", 64).x == -0.5625
    p = gesturon.sample("polar_rose_3", 0)
    assert p.as_tuple() == (0.82, 0.0, 0.0)
    assert gesturon.sample("stick_study_01", 384).x == 0.74


@pytest.mark.parametrize("a,b", POLYS)
def test_polyrhythms(a, b):
    events = []
    for count, full in ((a, (-0.62, -0.26, 0.0)), (b, (0.62, -0.26, 0.22))):
        for j in range(count):
            share = 1.0 if j == 0 else 0.65
            events.append((j * 512 / count, 22.4, tuple(h * share for h in full)))
    rows = score(512, events)
    assert_table(f"poly_{a}_{b}", rows)
    assert table(f"poly_{a}_{b}")[0] == (0.0, -0.52, 0.22)


@pytest.mark.parametrize("groups", METERS, ids=lambda g: "_".join(map(str, g)))
def test_meters(groups):
    starts = [32 * sum(groups[:g]) for g in range(len(groups))]
    events = [(s, 19.2, ((-1) ** g * 0.72, -0.33, 0.0)) for g, s in enumerate(starts)]
    events += [(32 * step, 32 / 3, (0.0, -0.1134, 0.0504)) for step in range(sum(groups)) if 32 * step not in starts]
    assert_table("meter_" + "_".join(map(str, groups)), score(32 * sum(groups), events))


@pytest.mark.parametrize("kind,p,q", SWINGS)
def test_swings(kind, p, q):
    r = p / q
    events = []
    for i in range(8):
        if not (kind == "skip" and i in (2, 6)):
            events.append((64 * i, 12.8, (0.585, -0.216, 0) if i in (0, 4) else ((-1) ** i * 0.4225, -0.156, 0)))
        if kind in ("push", "skip"):
            events.append((64 * i + 64 * r, 8, (0.075, -0.15, 0.09)))
        if kind == "shuffle" or (kind == "answer" and i >= 4):
            events.append((64 * i + 64 * r, 12.8, (-(-1) ** i * 0.325, -0.12, 0)))
        if kind == "shuffle" and i in (3, 7):
            events.append((64 * i + 32 * r, 6.4, (0.0525, -0.105, 0.063)))
    assert_table(f"swing_{kind}_{p}_{q}", score(512, events))


@pytest.mark.parametrize("study", range(1, 17))
def test_stick_studies(study):
    word = STICK_WORDS[study - 1]
    answer = word.translate(str.maketrans("RL", "LR"))
    events = []
    for i, hand in enumerate(word + answer):
        side = 1 if hand == "R" else -1
        height = (side * 0.74, -0.34, 0) if i % 4 == 0 else (side * 0.407, -0.187, 0)
        events.append((32 * i, 12, height))
    assert_table(f"stick_study_{study:02d}", score(512, events))


@pytest.mark.parametrize("name,n,keys", [(g[0], g[3], g[4]) for g in GESTURES if g[4]])
def test_gesture_pose_paths(name, n, keys):
    poses = [(512 * j / n, pose) for j, pose in keys]
    rows = [ease(poses, 512, k, lambda a, b, s: tuple(av + (bv - av) * s for av, bv in zip(a, b)))
            for k in range(512)]
    assert_table(name, scaled(rows, 0.82))


# ---------------------------------------------------------------------------
# Noise: control points from indexed SHA-256 digests

def control_values(name, lane_name, count, centred):
    values = []
    for i in range(count):
        digest = hashlib.sha256(f"{name}/{lane_name}/{i}".encode("ascii")).digest()
        v = int.from_bytes(digest[:8], "big") >> 11
        values.append(2 * (v / 2 ** 53) - 1)
    if centred:
        mean = sum(values) / count
        values = [v - mean for v in values]
    return values


def bspline(values, k, period):
    n = len(values)
    tau = n * k / period
    j = math.floor(tau)
    u = tau - j
    c = [values[(j + d) % n] for d in (-1, 0, 1, 2)]
    return (c[0] * (1 - u) ** 3 + c[1] * (3 * u ** 3 - 6 * u ** 2 + 4)
            + c[2] * (-3 * u ** 3 + 3 * u ** 2 + 3 * u + 1) + c[3] * u ** 3) / 6


@pytest.mark.parametrize("name", NOISES)
def test_noise_follows_its_digests(name):
    kind, n = name.split("_")[1], int(name.split("_")[2])
    x, y, z = (control_values(name, axis, n, True) for axis in "xyz")
    rows = []
    for k in range(1024):
        t = TAU * k / 1024
        if kind == "orbit":
            radius = 0.7 + 0.3 * bspline(control_values(name, "r", n, False), k, 1024)
            rows.append((radius * cos(t), radius * sin(t), 0.0))
        else:
            ripple = 0.2 * sin(2 * n * t) if kind == "ripple" else 0.0
            rows.append((bspline(x, k, 1024), bspline(y, k, 1024) + ripple,
                         bspline(z, k, 1024) if kind == "depth" else 0.0))
    assert_table(name, scaled(rows, 0.82))


# ---------------------------------------------------------------------------
# Peaks and designed shapes

def family_peak(name):
    special = {"env_anticipation": 0.82, "env_valley_peaks": 0.82, "env_plateau_scoop": 0.7, "env_suspended": 0.75}
    if name.startswith("env_"):
        return special.get(name, 0.8)
    for prefix, target in (("euclid_", 0.75), ("poly_", 0.52), ("meter_", 0.72), ("swing_", 0.585),
                           ("stick_study_", 0.74)):
        if name.startswith(prefix):
            return target
    return 0.82


@pytest.mark.parametrize("name", [r[0] for r in EXPECTED])
def test_largest_magnitude_is_the_family_peak(name):
    assert max(abs(v) for row in table(name) for v in row) == family_peak(name)


def radius_angle(name):
    return [(math.hypot(x, y), math.atan2(y, x)) for x, y, _ in table(name)]


@pytest.mark.parametrize("lobes", range(2, 10))
def test_scallop_never_reaches_the_centre_and_bends_one_lobe(lobes):
    polar = radius_angle(f"polar_scallop_{lobes}")
    assert min(r for r, _ in polar) > 0.4
    n = len(polar)
    crests = [k for k in range(n) if polar[k][0] > polar[k - 1][0] and polar[k][0] >= polar[(k + 1) % n][0]]
    assert len(crests) == lobes
    # A symmetric lobe crests on its centre line; only the bent one leans.
    offsets = [abs(k * lobes / n - round(k * lobes / n)) * n / lobes for k in crests]
    assert sum(off > 4 for off in offsets) == 1


def test_quick_return_goes_out_slowly_and_back_fast():
    x = [row[0] for row in table("mech_whitworth")]
    left, right = x.index(min(x)), x.index(max(x))
    out = (right - left) % 512
    back = 512 - out
    assert out >= 1.8 * back


def test_escapement_moves_in_sixteen_soft_ticks():
    rows = table("mech_escapement")
    steps = [math.dist(rows[k], rows[(k + 1) % 512]) for k in range(512)]
    moving = [s > 1e-9 for s in steps]
    ticks = sum(1 for k in range(512) if moving[k] and not moving[k - 1])
    assert ticks == 16
    assert sum(moving) < 512 / 2
    # Soft: each tick starts with a step far smaller than its largest.
    assert max(steps) > 10 * max(steps[k] for k in range(512) if moving[k] and not moving[k - 1])


def test_duck_and_sway_ducks_at_the_centre_and_rises_at_the_sides():
    rows = table("gesture_duck_sway")
    x = [r[0] for r in rows]
    y = [r[1] for r in rows]  # y grows upwards
    assert min(x) < -0.7 and max(x) > 0.7
    for k in (x.index(min(x)), x.index(max(x))):
        assert abs(y[k]) < 0.05
    centre = [y[k] for k in range(512) if abs(x[k]) < 0.05]
    assert centre and max(centre) < -0.3


# ---------------------------------------------------------------------------
# Sampling the non-power-of-two periods

@pytest.mark.parametrize("name,pip,row", [
    ("euclid_2_5", 160, 0), ("euclid_2_5", -1, 159), ("euclid_2_5", 2147483647, 127),
    ("euclid_2_5", -2147483648, 32), ("euclid_3_7", -2147483648, 96), ("euclid_4_11", 2147483647, 287),
    ("euclid_11_24", 2147483647, 511), ("euclid_11_24", -2147483648, 256), ("meter_2_2_3_2_3", -385, 383),
])
def test_pips_wrap_by_remainder(name, pip, row):
    assert gesturon.sample(name, pip).as_tuple() == table(name)[row]


def test_euclid_2_5_has_no_depth():
    assert all(z == 0.0 and math.copysign(1.0, z) == 1.0 for _, _, z in table("euclid_2_5"))
