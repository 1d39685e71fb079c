"""The initial and expansion packs: their records, their tables against the
constructions recomputed here from the formulas, and the facts documented for
the hand-designed tables."""

import math

import pytest

import gesturon
from stored import STORED, axis, table

PI = math.pi

EN = "\u2013"
STUDY = ("; equal triplet spacing over four beats."
         " This is a movement interpretation, not a complete drum-performance notation.")
EASE = "An attributed D3 easing curve, assembled into a closed outward-and-return loop."
AKWF = ": an actual CC0 waveform slowed to a four-beat position loop."
POLY = " lateral hits against four vertical hits per four beats; two bars preserve alternating directions."
E16 = " evenly distributed onsets on a sixteen-step grid, repeated with alternating sides over eight beats."

INITIAL = [
    ("lfo_breathe", 256, 1, "A four-beat, single-axis sine. The quiet reference for judging busier shapes."),
    ("lfo_surge", 256, 1, "A long rounded sweep and short recovery; an independently authored smooth-reset shape."),
    ("lfo_soft_gate", 256, 1,
     "Short smooth transitions separated by long stationary dwells. No square-wave teleport."),
    ("lfo_double_pump", 256, 2, "Two unequal pumps and a breathing space within four beats."),
    ("lfo_ratchet", 256, 2, "A four-hit decaying burst, then a rest. Every event is peak-aligned."),
    ("lfo_glide_stair", 256, 1, "Five rounded steps traverse the field, then a smooth return."),
    ("lfo_morph", 512, 2,
     "An eight-beat blend between a sine and skewed triangle; movement changes within the phrase."),
    ("lfo_flower", 512, 2, "Related rotations form an original three-lobed XY loop over eight beats."),
    ("rhythm_euclid_3_8", 256, 2, "3 evenly distributed onsets on a 8-step grid. Alternating lateral gestures."),
    ("rhythm_euclid_5_12", 256, 2, "5 evenly distributed onsets on a 12-step grid. Alternating lateral gestures."),
    ("rhythm_three_two", 256, 2,
     "Three horizontal gestures interlock with two vertical gestures in one four-beat cycle."),
    ("rhythm_half_time", 256, 2, "A strong downbeat, snare-like accent on beat three, and smaller offbeat shuffles."),
    ("rudiment_double_paradiddle", 256, 2, "Visual sticking study RLRLRR LRLRLL" + STUDY),
    ("rudiment_paradiddle_diddle", 256, 2, "Visual sticking study RLRRLL LRLLRR" + STUDY),
    ("rudiment_six_stroke", 256, 2, "Visual sticking study RLLRRL LRRLLR" + STUDY),
    ("rudiment_flam_accent", 256, 2,
     "Opposite-hand grace gestures lead accented groups of three; deliberately expanded for visible motion."),
    ("ease_rebound", 256, 1, EASE),
    ("ease_anticipate", 256, 1, EASE),
    ("ease_overshoot", 256, 1, EASE),
    ("ease_elastic", 256, 1, "Original windowed, decaying oscillation; not a copied D3 curve. Peak scaled to .8."),
    ("akwf_round_saw", 256, 1, "AKWF_R_asym_saw_05_256.h" + AKWF),
    ("akwf_quick_return", 256, 1, "AKWF_R_asym_saw_15_256.h" + AKWF),
    ("akwf_multi_lobe", 256, 1, "AKWF_0001_256.h" + AKWF),
    ("akwf_plateau", 256, 1, "AKWF_0010_256.h" + AKWF),
    ("groove_a_played", 512, 2, f"Two-bar funk excerpt A (4{EN}12 source beats), performed microtiming."),
    ("groove_a_grid", 512, 2,
     f"Two-bar funk excerpt A (4{EN}12 source beats), same hits quantised to sixteenths."),
    ("groove_b_played", 512, 2, f"Two-bar funk excerpt B (36{EN}44 source beats), performed microtiming."),
    ("groove_b_grid", 512, 2,
     f"Two-bar funk excerpt B (36{EN}44 source beats), same hits quantised to sixteenths."),
]

EXPANSION = [
    ("lfo_twin_swell", 512, 2, "Two broad swells of unequal depth, with a gentle lateral answer. Eight beats."),
    ("lfo_pulse_hold", 256, 1, "A smooth outward pulse, sustained plateau, smaller opposite recoil, and rest."),
    ("lfo_sweep_ratchet", 512, 2, "A slow lateral sweep followed by three decaying vertical ratchets; no reset jump."),
    ("lfo_triplet_wobble", 512, 2,
     "Three rounded oscillations per two beats, breathing in depth over an eight-beat phrase."),
    ("lfo_breathing_orbit", 512, 2, "A closed ellipse expands and contracts twice during its eight-beat revolution."),
    ("lfo_seeded_drift", 1024, 2,
     "Two independently seeded smooth random lanes; irregular-looking but exactly periodic and seekable."),
    ("lfo_pendulum_dwell", 512, 2,
     "Rounded saturation slows the pendulum near either side; a shallow arc connects the turns."),
    ("lfo_reverse_swell", 512, 2, "A long anticipatory rise, quick softened return, and two diminishing aftershocks."),
    ("path_lissajous_2_3", 512, 2,
     "Two horizontal cycles cross three vertical cycles in a closed eight-beat Lissajous path."),
    ("path_rose_4", 512, 2, "A signed radial oscillation draws four petals, passing through the centre between them."),
    ("path_rose_5", 512, 2,
     "Five petals in one complete eight-beat traversal; the odd-petal parameter runs through pi, not two pi."),
    ("path_bowed_diamond", 512, 2, "An astroid-shaped loop with inward-curved edges and naturally slow corners."),
    ("path_orbit_dwell", 512, 2,
     "An ellipse whose phase slows to zero speed at the loop boundary and accelerates through the opposite side."),
    ("path_torus_knot", 1024, 3,
     "Two turns around the axis and three through the tube. XYZ is retained; the demo projects depth."),
    ("path_woven_3d", 1024, 3, "Independent two-, three-, and five-cycle XYZ oscillations close after sixteen beats."),
    ("path_crank_slider", 256, 2,
     "Horizontal slider-crank travel with rod length three and crank radius one;"
     " vertical motion follows the crank tip."),
    ("rhythm_five_four", 512, 2, "5" + POLY),
    ("rhythm_seven_four", 512, 2, "7" + POLY),
    ("rhythm_euclid_7_16", 512, 2, "7" + E16),
    ("rhythm_euclid_5_16", 512, 2, "5" + E16),
    ("rhythm_swung_answer", 256, 2,
     "A two-to-one swung call on the right, answered on the left; four beats and eight peak-aligned gestures."),
    ("rhythm_group_332", 512, 2,
     "Groups of three, three, and two eighth notes. Six alternating accents make an eight-beat loop."),
    ("rhythm_group_223", 448, 2,
     "Two 7/8 bars grouped as 2+2+3 eighth notes: a seven-quarter-note loop, not forced into four beats."),
    ("rhythm_three_four_five", 512, 3,
     "Three X, four Y, and five Z gestures share an eight-beat phrase, with exact rational peak times."),
]

# ------------------------------------------------------------------ records

@pytest.mark.parametrize("first, expected", [(15, INITIAL), (15 + 28, EXPANSION)], ids=["initial", "expansion"])
def test_pack_records_in_order(first, expected):
    records = gesturon.catalogue()[first:first + len(expected)]
    got = [(r["name"], r["period_pips"], r["dimensions"], r["description"]) for r in records]
    assert got == expected  # descriptions byte for byte, the grooves' en dashes included


# ------------------------------------------- constructions, recomputed here

def smootherstep(u):
    return 6 * u**5 - 15 * u**4 + 10 * u**3


def lane(keys, period, k):
    """Smootherstep from key to key, and from the last key back to the first
    value at the period."""
    ends = keys[1:] + [(period, keys[0][1])]
    for (p, a), (q, b) in zip(keys, ends):
        if p <= k <= q:
            return a + (b - a) * smootherstep((k - p) / (q - p))
    raise AssertionError("pip outside the lane")


def bump(k, t0, h, w, period):
    d = (k - t0) % period
    d = min(d, period - d)
    return h * math.cos(PI * d / (2 * w)) ** 2 if d < w else 0.0


def score(hits, w, period, k):
    """Sum of bumps; each hit is (time, x height, y height[, z height])."""
    out = [0.0, 0.0, 0.0]
    for time, *heights in hits:
        for a, h in enumerate(heights):
            out[a] += bump(k, time, h, w, period)
    return tuple(out)


def angle(k, period):
    return 2 * PI * k / period


def x_lane(*keys):
    return lambda k: (lane(list(keys), 256, k), 0.0, 0.0)


def skewed_triangle(a):
    phi = a - math.floor(a)
    return -1 + 2 * phi / 0.23 if phi < 0.23 else 1 - 2 * (phi - 0.23) / 0.77


def lfo_morph(k):
    t = angle(k, 512)
    m = (1 - math.cos(t)) / 2
    return (0.8 * ((1 - m) * math.sin(4 * t) + m * skewed_triangle(4 * k / 512)), 0.2 * math.sin(t), 0.0)


def euclid(onsets, steps):
    hits = []
    for j in range(onsets):
        step = -(-j * steps // onsets)
        hits.append((step * 256 / steps, 0.8 if j % 2 == 0 else -0.8, -0.3))
    return lambda k: score(hits, 12, 256, k)


def rudiment(sticking, accents):
    hits = []
    for j, hand in enumerate(sticking.replace(" ", "")):
        sign = 1 if hand == "R" else -1
        big = j + 1 in accents
        hits.append((j * 256 / 12, sign * (0.82 if big else 0.492), -0.42 if big else -0.252))
    return lambda k: score(hits, 28 / 3, 256, k)


# D3's easing functions, from their published definitions.
def bounce_out(t):
    b0 = 121 / 16
    if t < 4 / 11:
        return b0 * t * t
    if t < 8 / 11:
        return b0 * (t - 6 / 11) ** 2 + 3 / 4
    if t < 10 / 11:
        return b0 * (t - 9 / 11) ** 2 + 15 / 16
    return b0 * (t - 21 / 22) ** 2 + 63 / 64


def back_in(t, s=1.70158):
    return t * t * ((s + 1) * t - s)


def back_out(t, s=1.70158):
    return 1 - back_in(1 - t, s)


def ease_loop(ease):
    def f(k):
        if k < 128:
            return (-0.65 + 1.3 * ease(k / 128), 0.0, 0.0)
        u = (k - 128) / 128
        return (0.65 - 1.3 * (3 * u * u - 2 * u**3), 0.0, 0.0)
    return f


def ease_elastic():
    def raw(k):
        u = k / 256
        return math.sin(PI * u) ** 2 * math.exp(-2 * u) * math.sin(6 * PI * u)
    s = 0.8 / max(abs(raw(k)) for k in range(256))
    return lambda k: (s * raw(k), 0.0, 0.0)


def rose(n, u):
    r = 0.82 * math.cos(n * u)
    return (r * math.cos(u), r * math.sin(u), 0.0)


def polymeter(lateral):
    hits = [(j * 256 / lateral, 0.72 * (-1) ** j, 0.0) for j in range(2 * lateral)]
    hits += [(j * 64, 0.0, 0.68 * (-1) ** j) for j in range(8)]
    return lambda k: score(hits, 12, 512, k)


def euclid_16(onsets):
    hits = []
    for bar, bar_sign in ((0, 1), (256, -1)):
        for j in range(onsets):
            step = -(-j * 16 // onsets)
            sign = bar_sign * (-1) ** j
            if step % 4 == 0:
                hits.append((bar + 16 * step, 0.76 * sign, -0.3))
            else:
                hits.append((bar + 16 * step, 0.5472 * sign, -0.216))
    return lambda k: score(hits, 12, 512, k)


def grouping(period, bar_one):
    hits = bar_one + [(period / 2 + t, -x, y) for t, x, y in bar_one]
    return lambda k: score(hits, 16, period, k)


def swung_answer(k):
    call = [(0, 0.78, -0.3), (128 / 3, 0.468, -0.18), (64, 0.78, -0.3), (64 + 128 / 3, 0.468, -0.18)]
    answer = [(128 + t, -x, y) for t, x, y in call]
    return score(call + answer, 8, 256, k)


def three_four_five(k):
    hits = [(j * 512 / 3, 0.7, 0.0, 0.0) for j in range(3)]
    hits += [(j * 128, 0.0, -0.7, 0.0) for j in range(4)]
    hits += [(j * 512 / 5, 0.0, 0.0, 0.55) for j in range(5)]
    return score(hits, 24, 512, k)


CONSTRUCTIONS = {
    "lfo_breathe": lambda k: (0.8 * math.sin(angle(k, 256)), 0.0, 0.0),
    "lfo_surge": x_lane((0, -0.8), (192, 0.8)),
    "lfo_soft_gate": x_lane((0, -0.8), (32, 0.8), (128, 0.8), (160, -0.8)),
    "lfo_double_pump": lambda k: (0.0, lane([(0, 0), (32, -0.85), (64, 0), (96, -0.55), (128, 0)], 256, k), 0.0),
    "lfo_ratchet": lambda k: score(
        [(0, 0.8, -0.5), (16, 0.656, -0.41), (32, 0.512, -0.32), (48, 0.368, -0.23)], 8, 256, k),
    "lfo_glide_stair": x_lane((0, -0.8), (32, -0.8), (64, -0.4), (96, 0), (128, 0.4), (160, 0.8), (192, 0.8)),
    "lfo_morph": lfo_morph,
    "lfo_flower": lambda k: (0.56 * math.cos(angle(k, 512)) - 0.28 * math.cos(2 * angle(k, 512)),
                             0.56 * math.sin(angle(k, 512)) + 0.28 * math.sin(2 * angle(k, 512)), 0.0),
    "rhythm_euclid_3_8": euclid(3, 8),
    "rhythm_euclid_5_12": euclid(5, 12),
    "rhythm_three_two": lambda k: score(
        [(0, 0.78, 0.78), (256 / 3, 0.78, 0), (512 / 3, 0.78, 0), (128, 0, 0.78)], 24, 256, k),
    "rhythm_half_time": lambda k: tuple(
        a + b for a, b in zip(score([(128, 0.85, -0.25), (0, 0, 0.85), (96, 0, 0.4675)], 16, 256, k),
                              score([(224, -0.4, -0.1)], 12, 256, k))),
    "rudiment_double_paradiddle": rudiment("RLRLRR LRLRLL", {1, 7}),
    "rudiment_paradiddle_diddle": rudiment("RLRRLL LRLLRR", {1, 7}),
    "rudiment_six_stroke": rudiment("RLLRRL LRRLLR", {1, 6, 7, 12}),
    "ease_rebound": ease_loop(bounce_out),
    "ease_anticipate": ease_loop(back_in),
    "ease_overshoot": ease_loop(back_out),
    "ease_elastic": ease_elastic(),
    "lfo_twin_swell": lambda k: (lane([(0, 0), (128, 0.2), (256, 0), (384, -0.32)], 512, k),
                                 lane([(0, 0), (128, -0.85), (256, 0), (384, -0.45)], 512, k), 0.0),
    "lfo_pulse_hold": x_lane((0, 0), (32, 0.8), (128, 0.8), (160, -0.35), (192, 0)),
    "lfo_sweep_ratchet": lambda k: (lane([(0, -0.75), (256, 0.75), (384, 0.75)], 512, k),
                                    score([(256, 0, -0.65), (288, 0, -0.507), (320, 0, -0.364)], 12, 512, k)[1], 0.0),
    "lfo_triplet_wobble": lambda k: ((0.5525 - 0.255 * math.cos(angle(k, 512))) * math.sin(3 * PI * k / 64),
                                     0.22 * math.sin(angle(k, 512)), 0.0),
    "lfo_breathing_orbit": lambda k: ((0.56 + 0.22 * math.cos(2 * angle(k, 512))) * math.cos(angle(k, 512)),
                                      (0.48 + 0.18 * math.cos(2 * angle(k, 512))) * math.sin(angle(k, 512)), 0.0),
    "lfo_pendulum_dwell": lambda k: (0.78 * math.tanh(2.8 * math.sin(angle(k, 512))) / math.tanh(2.8),
                                     0.22 * math.cos(2 * angle(k, 512)), 0.0),
    "lfo_reverse_swell": lambda k: (
        lane([(0, 0), (192, -0.24), (224, 0.24), (384, 0)], 512, k),
        lane([(0, 0), (192, -0.82), (224, 0), (256, -0.38), (288, 0), (320, -0.18), (352, 0)], 512, k), 0.0),
    "path_lissajous_2_3": lambda k: (0.78 * math.sin(2 * angle(k, 512)), 0.68 * math.sin(3 * angle(k, 512)), 0.0),
    "path_rose_4": lambda k: rose(2, angle(k, 512)),
    "path_rose_5": lambda k: rose(5, PI * k / 512),
    "path_bowed_diamond": lambda k: (0.8 * math.cos(angle(k, 512)) ** 3, 0.8 * math.sin(angle(k, 512)) ** 3, 0.0),
    "path_orbit_dwell": lambda k: (0.8 * math.cos(angle(k, 512) - math.sin(angle(k, 512))),
                                   0.6 * math.sin(angle(k, 512) - math.sin(angle(k, 512))), 0.0),
    "path_torus_knot": lambda k: ((0.54 + 0.22 * math.cos(3 * angle(k, 1024))) * math.cos(2 * angle(k, 1024)),
                                  (0.54 + 0.22 * math.cos(3 * angle(k, 1024))) * math.sin(2 * angle(k, 1024)),
                                  0.36 * math.sin(3 * angle(k, 1024))),
    "path_woven_3d": lambda k: (0.72 * math.sin(2 * angle(k, 1024)), 0.64 * math.sin(3 * angle(k, 1024)),
                                0.48 * math.sin(5 * angle(k, 1024))),
    "path_crank_slider": lambda k: (
        0.78 * (math.cos(angle(k, 256)) + math.sqrt(9 - math.sin(angle(k, 256)) ** 2) - 3),
        0.3 * math.sin(angle(k, 256)), 0.0),
    "rhythm_five_four": polymeter(5),
    "rhythm_seven_four": polymeter(7),
    "rhythm_euclid_7_16": euclid_16(7),
    "rhythm_euclid_5_16": euclid_16(5),
    "rhythm_swung_answer": swung_answer,
    "rhythm_group_332": grouping(512, [(0, 0.76, -0.38), (96, -0.5472, -0.2736), (192, 0.6536, -0.3268)]),
    "rhythm_group_223": grouping(448, [(0, 0.74, -0.4), (64, -0.518, -0.28), (128, 0.629, -0.34)]),
    "rhythm_three_four_five": three_four_five,
}


@pytest.mark.parametrize("name", CONSTRUCTIONS)
def test_table_follows_its_construction(name):
    f = CONSTRUCTIONS[name]
    for k, row in enumerate(table(name)):
        assert row == pytest.approx(f(k), abs=STORED, rel=0), f"{name} at pip {k}"


def test_every_row_without_a_construction_is_a_designed_one():
    designed = {name for name, _, _, _ in INITIAL + EXPANSION} - set(CONSTRUCTIONS)
    assert designed == {"rudiment_flam_accent", "akwf_round_saw", "akwf_quick_return", "akwf_multi_lobe",
                        "akwf_plateau", "groove_a_played", "groove_a_grid", "groove_b_played", "groove_b_grid",
                        "lfo_seeded_drift"}


# ------------------------------------------------------------ quoted values

@pytest.mark.parametrize("name, pip, expected, tolerance", [
    ("lfo_breathe", 64, (0.8, 0.0, 0.0), 0.0),
    ("lfo_breathe", 192, (-0.8, 0.0, 0.0), 0.0),
    ("lfo_breathe", 0, (0.0, 0.0, 0.0), 0.0),
    ("lfo_breathe", 128, (0.0, 0.0, 0.0), 0.0),
    ("path_rose_4", 64, (0.0, 0.0, 0.0), 0.0),
    ("path_rose_4", 192, (0.0, 0.0, 0.0), 0.0),
    ("path_rose_4", 320, (0.0, 0.0, 0.0), 0.0),
    ("path_rose_4", 448, (0.0, 0.0, 0.0), 0.0),
    ("ease_anticipate", 54, (-0.779996614616, 0.0, 0.0), 0.0),
    ("ease_overshoot", 74, (0.779996614616, 0.0, 0.0), 0.0),
])
def test_quoted_values(name, pip, expected, tolerance):
    assert gesturon.sample(name, pip).as_tuple() == pytest.approx(expected, abs=tolerance, rel=0)


def test_euclid_5_12_peaks_below_nominal_at_its_fractional_onset():
    # the onset at 320/3 pips falls between rows; row 107 is a third of a pip off it
    assert gesturon.sample("rhythm_euclid_5_12", 107).x == pytest.approx(0.798478, abs=1e-6)


@pytest.mark.parametrize("name, extreme, pip, value", [
    ("ease_anticipate", min, 54, -0.779996614616),
    ("ease_overshoot", max, 74, 0.779996614616),
])
def test_back_easing_turns_once(name, extreme, pip, value):
    x = axis(name, 0)
    assert extreme(x) == value
    assert [k for k, v in enumerate(x) if v == value] == [pip]


def test_ease_elastic_is_scaled_to_point_eight_at_its_largest_swing():
    x = axis("ease_elastic", 0)
    assert max(abs(v) for v in x) == 0.8
    assert [k for k, v in enumerate(x) if abs(v) == 0.8] == [106]
    assert x[0] == 0.0


def test_group_223_wraps_by_remainder():
    rows = table("rhythm_group_223")
    for pip, row in [(448, 0), (-448, 0), (-1, 447), (449, 1), (2**31 - 1, (2**31 - 1) % 448),
                     (-2**31, (-2**31) % 448)]:
        assert gesturon.sample("rhythm_group_223", pip).as_tuple() == rows[row], pip


def test_double_pump_moves_only_vertically():
    rows = table("lfo_double_pump")
    assert all(x == 0.0 and not math.copysign(1, x) < 0 for x, _, _ in rows)
    assert min(y for _, y, _ in rows) == -0.85


# ---------------------------------------------------- the designed tables

def test_flam_accent():
    rows = table("rudiment_flam_accent")
    # the accents, exactly
    assert rows[0][0] == 0.82 and rows[128][0] == -0.82
    # taps near the thirds of each half: the far hand, then the accenting one
    for pip, sign in [(43, -1), (85, 1), (171, 1), (213, -1)]:
        x, y, _ = rows[pip]
        assert x == pytest.approx(sign * 0.49, abs=0.005) and y == pytest.approx(-0.25, abs=0.005), pip
    # the grace dips just before each accent, leaning to the grace hand's side
    ys = [y for _, y, _ in rows]
    assert min(ys) == -0.426092
    assert [k for k, y in enumerate(ys) if y == -0.426092] == [125, 253]
    assert rows[125][0] == pytest.approx(0.012, abs=0.002)
    assert rows[253][0] == pytest.approx(-0.012, abs=0.002)


@pytest.mark.parametrize("name", ["akwf_round_saw", "akwf_quick_return", "akwf_multi_lobe", "akwf_plateau"])
def test_waveforms_peak_at_point_eight_five(name):
    assert max(abs(x) for x in axis(name, 0)) == 0.85


def test_quick_return_keeps_its_unsmoothed_seam():
    x = axis("akwf_quick_return", 0)
    assert abs(x[0] - x[-1]) == pytest.approx(0.186, abs=STORED)
    # the return itself is quicker still, so the loop stays closed
    assert max(abs(b - a) for a, b in zip(x, x[1:])) > 0.186


@pytest.mark.parametrize("name, pip", [("groove_b_played", 64), ("groove_b_grid", 240)])
def test_groove_b_reaches_full_scale_once(name, pip):
    rows = table(name)
    assert rows[pip][0] == 1.0
    assert [(k, a) for k, row in enumerate(rows) for a, v in enumerate(row) if abs(v) == 1.0] == [(pip, 0)]


@pytest.mark.parametrize("name", ["groove_a_played", "groove_a_grid"])
def test_groove_a_stays_below_full_scale(name):
    assert max(abs(v) for row in table(name) for v in row) < 1.0


def test_seeded_drift():
    x, y = axis("lfo_seeded_drift", 0), axis("lfo_seeded_drift", 1)
    assert max(x) == 0.787097347851 and max(abs(v) for v in x) == 0.787097347851
    assert [k for k, v in enumerate(x) if v == 0.787097347851] == [384]
    assert max(abs(v) for v in y) == pytest.approx(0.609781, abs=1e-6)
    # two lanes, not one lane copied
    assert x != y and any(abs(a - b) > 0.1 for a, b in zip(x, y))
