"""The continuum pack's eight rhythm families: their records and tables.

The necklaces have an exact construction, written out here independently in
Python. The other families are designed scores; they are checked against what
their names and descriptions promise: event times read from the crests of the
stored rows, the quoted values, the peak rules and that no two members of a
family are alike. Records are found by name.
"""

import math

import pytest

import gesturon
from stored import axis, table as rows

TOL = 1e-12

LADDERS = [(2, 3, 4, 6), (3, 5, 4, 2), (2, 5, 3, 7), (4, 3, 6, 5), (2, 4, 7, 3), (3, 6, 2, 5), (5, 3, 7, 4),
           (6, 4, 3, 2), (2, 7, 4, 5), (7, 3, 5, 2), (4, 7, 3, 6), (5, 2, 6, 3), (3, 4, 5, 7), (6, 5, 4, 3),
           (7, 5, 3, 4), (4, 6, 7, 5)]
NECKLACE_WORDS = ["1001011000101100", "1010001101010010", "1100100100011010", "1011010001001001",
                  "1000110101100010", "1101000100101010", "1010010011100010", "1110001001010010",
                  "1001100010100101", "1100010100100110", "1010100011001001", "1001001111010010",
                  "1100101000101001", "1011000100010110", "1001010010011100", "1110010001010100"]
ACCENT_WALKS = [(5, 1), (5, 2), (7, 1), (7, 2), (7, 3), (8, 1), (8, 3), (9, 1), (9, 2), (9, 4), (10, 3), (11, 2),
                (11, 3), (12, 5), (13, 3), (13, 5)]
DIALOGUES = [((3, 4, 5), 384), ((5, 3, 4), 384), ((3, 5, 2), 320), ((2, 5, 4), 352), ((4, 3, 2), 288),
             ((3, 2, 4, 5), 448), ((5, 2, 3, 4), 448), ((2, 3, 5, 3), 416), ((3, 4, 3, 5), 480),
             ((5, 4, 2, 3), 448), ((2, 4, 5, 2), 416), ((4, 5, 3, 2), 448), ((3, 5, 4, 3), 480),
             ((5, 3, 2, 5), 480), ((2, 5, 3, 5), 480), ((4, 3, 5, 4), 512)]
BURSTS = [(3, 5, 2), (4, 3, 6), (5, 2, 4), (2, 7, 3), (3, 4, 5), (5, 3, 7), (6, 2, 5), (4, 7, 2), (7, 3, 4),
          (2, 5, 6), (5, 7, 3), (3, 6, 4), (4, 5, 7), (6, 3, 5), (7, 4, 3), (5, 6, 2)]
ECHO_KINDS = ("regular", "shrinking", "expanding", "crossed")


def joined(numbers):
    return "_".join(map(str, numbers))


# family: description, member names, periods
FAMILIES = {
    "canon": ("A rational-beat motif passes between lateral and depth lanes, with an altered second-half response.",
              [f"canon_{i:02d}_{kind}" for i in range(1, 9) for kind in ("close", "late")], [512] * 16),
    "echo": ("An original decaying call and a differently directed answer; echo spacing is preserved as fractions.",
             [f"echo_{kind}_{n}" for n in range(3, 7) for kind in ECHO_KINDS], [512] * 16),
    "ladder": ("Four two-beat regions change subdivision density while accents mark region starts.",
               [f"ladder_{joined(c)}" for c in LADDERS], [512] * 16),
    "necklace": ("A hand-authored binary accent word; its complement moves the other side and rising accents add "
                 "depth.", [f"necklace_{i:02d}" for i in range(1, 17)], [512] * 16),
    "accent_walk": ("A four-bar grid keeps its pulse spacing while a two-accent motif migrates between bars.",
                    [f"accent_walk_{a}_{b}" for a, b in ACCENT_WALKS], [1024] * 16),
    "triplet": ("Triplet-grid gestures with deliberate omissions; gaps either answer off-grid or rotate after four "
                "beats.", [f"triplet_{i:02d}_{kind}" for i in range(1, 9) for kind in ("answer", "turnaround")],
                [512] * 16),
    "dialogue": ("Different eighth-note group lengths pass a phrase between directions, with late pickup responses.",
                 [f"dialogue_{joined(g)}" for g, _ in DIALOGUES], [p for _, p in DIALOGUES]),
    "burst": ("Three unevenly subdivided directional bursts, deliberate gaps and a late settling accent.",
              [f"burst_{joined(s)}" for s in BURSTS], [512] * 16),
}
ALL_NAMES = [n for _, names, _ in FAMILIES.values() for n in names]
PEAKS = {"canon": (0.279, 0.311), "echo": (0.31, 0.31), "echo_expanding": (0.2489, 0.2810), "ladder": (0.32, 0.32),
         "necklace": (0.248, 0.248), "accent_walk": (0.2561, 0.2561), "accent_walk_dense": (0.3128, 0.3139),
         "triplet": (0.2945, 0.2945), "dialogue": (0.32, 0.32), "burst": (0.288, 0.288)}

RECORDS = {r["name"]: r for r in gesturon.catalogue()}


def magnitude(name):
    return [math.sqrt(x * x + y * y + z * z) for x, y, z in rows(name)]


def crests(values, start=0, stop=None):
    """Pips in [start, stop) where the values have a strict local maximum above rest."""
    stop = len(values) if stop is None else stop
    return [k for k in range(start, stop)
            if values[k] > 1e-9 and values[k] > values[k - 1] and values[k] >= values[(k + 1) % len(values)]]


def assert_crests_at(found, times):
    """One crest within a pip of each expected time and no other."""
    assert len(found) == len(times) and all(abs(k - t) < 1 for k, t in zip(found, times)), (found, times)


# ---------------------------------------------------------------------------
# Records, peaks and distinct members


def test_records_in_family_order():
    names = [r["name"] for r in gesturon.catalogue()]
    first = names.index(ALL_NAMES[0])
    assert names[first:first + len(ALL_NAMES)] == ALL_NAMES
    for description, members, periods in FAMILIES.values():
        for name, period in zip(members, periods):
            assert RECORDS[name] == {"name": name, "description": description, "period_pips": period,
                                     "dimensions": 3}


def test_dialogue_4_3_2_wraps_at_its_period():
    assert gesturon.sample("dialogue_4_3_2", 288).as_tuple() == rows("dialogue_4_3_2")[0]
    assert gesturon.sample("dialogue_4_3_2", -1).as_tuple() == rows("dialogue_4_3_2")[287]


def peak_rule(name):
    family = next(f for f, (_, names, _) in FAMILIES.items() if name in names)
    if "_expanding_" in name:
        return PEAKS["echo_expanding"]
    if family == "accent_walk" and int(name.split("_")[2]) >= 9:
        return PEAKS["accent_walk_dense"]
    return PEAKS[family]


@pytest.mark.parametrize("name", ALL_NAMES)
def test_peak_rule(name):
    low, high = peak_rule(name)
    assert low - TOL <= max(abs(v) for row in rows(name) for v in row) <= high + TOL


@pytest.mark.parametrize("family", FAMILIES)
def test_members_differ_pairwise(family):
    tables = [tuple(rows(n)) for n in FAMILIES[family][1]]
    assert len(set(tables)) == len(tables)


# ---------------------------------------------------------------------------
# Necklaces, computed from their words


def loop(d, period=512):
    return (d + period / 2) % period - period / 2


def raised(d, h, attack, decay):
    if -attack < d <= 0:
        return h * math.cos(math.pi * -d / (2 * attack)) ** 2
    if 0 <= d < decay:
        return h * math.cos(math.pi * d / (2 * decay)) ** 2
    return 0.0


def necklace_row(word, k):
    out = [0.0, 0.0, 0.0]
    for i, bit in enumerate(word):
        d = loop(k - 32 * i)
        if bit == "1":
            heights, attack, decay = (-0.248, -0.096, 0.0), 25.6 / 3, 12.8
        else:
            heights, attack, decay = (0.1015, -0.0525, 0.0), 12.8, 25.6 / 3
        for a in range(3):
            out[a] += raised(d, heights[a], attack, decay)
        if bit == "1" and word[i - 1] == "0":
            u = abs(loop(k - 32 * i - 32 / 3)) / 8
            if u < 1:
                for a, h in enumerate((0.04, 0.025, 0.16)):
                    out[a] += h * (1 - (3 * u * u - 2 * u ** 3))
    return out


@pytest.mark.parametrize("n", [1, 4, 7, 12, 16])
def test_necklace_follows_its_word(n):
    word = NECKLACE_WORDS[n - 1]
    stored = rows(f"necklace_{n:02d}")
    for k in range(0, 512, 3):
        assert stored[k] == pytest.approx(necklace_row(word, k), abs=TOL), k


# ---------------------------------------------------------------------------
# Quoted values

QUOTED = [
    ("necklace_01", 96, (-0.248, None, None)), ("necklace_01", 32, (0.1015, None, None)),
    ("ladder_2_3_4_6", 0, (-0.31, None, None)), ("ladder_2_3_4_6", 128, (0.29, None, None)),
    ("ladder_2_3_4_6", 256, (None, None, 0.32)), ("ladder_2_3_4_6", 384, (None, -0.32, None)),
    ("dialogue_3_4_5", 0, (-0.31, -0.12, None)), ("dialogue_3_4_5", 96, (0.29, -0.15, None)),
    ("dialogue_3_4_5", 224, (None, -0.32, 0.12)),
    *[("dialogue_3_4_5", k, (-0.018, 0.135, -0.0405)) for k in (80, 208, 368)],
    *[(f"triplet_{i:02d}_{kind}", k, (-0.2945, None, None))
      for i in range(1, 9) for kind in ("answer", "turnaround") for k in (0, 128, 256, 384)],
    *[(f"echo_{kind}_{n}", 0, (-0.31, None, None)) for n in range(3, 7) for kind in ECHO_KINDS if kind != "expanding"],
    *[(f"echo_{kind}_{n}", 256, (None, 0.24, None)) for n in range(3, 7) for kind in ECHO_KINDS],
    ("accent_walk_5_1", 0, (None, None, 0.1536)),
    ("burst_3_5_2", 0, (-0.288, None, None)),
]


@pytest.mark.parametrize("name,pip,values", QUOTED)
def test_quoted_values(name, pip, values):
    for stored, value in zip(rows(name)[pip], values):
        if value is not None:
            assert stored == value


# ---------------------------------------------------------------------------
# Event times and what the families' descriptions promise


@pytest.mark.parametrize("counts", LADDERS, ids=joined)
def test_ladder_regions_hold_their_counts(counts):
    times = [128 * r + 128 * j / n for r, n in enumerate(counts) for j in range(n)]
    assert_crests_at(crests(magnitude(f"ladder_{joined(counts)}")), times)


@pytest.mark.parametrize("sizes", BURSTS, ids=joined)
def test_bursts_gaps_and_settling_accent(sizes):
    times = [160 * b + 96 * j / n for b, n in enumerate(sizes) for j in range(n)] + [496]
    assert_crests_at(crests(magnitude(f"burst_{joined(sizes)}")), times)


@pytest.mark.parametrize("groups,period", DIALOGUES, ids=[joined(g) for g, _ in DIALOGUES])
def test_dialogue_groups_repeat_and_pick_up(groups, period):
    table = rows(f"dialogue_{joined(groups)}")
    start, voices = 0, []
    for g in groups:
        voice = table[start]
        voices.append(voice)
        for i in range(1, g):
            assert table[start + 32 * i] == pytest.approx([0.55 * v for v in voice], abs=TOL)
        assert table[start - 16] == (-0.018, 0.135, -0.0405)
        start += 32 * g
    assert table[0][:2] == (-0.31, -0.12)
    assert len(set(voices)) == len(voices)


def pulse_pips(a):
    return [round(256 * bar + 256 * i / a) for bar in range(4) for i in range(a)]


@pytest.mark.parametrize("a,b", ACCENT_WALKS)
def test_accent_walk_alternates_and_migrates(a, b):
    name = f"accent_walk_{a}_{b}"
    x, z = axis(name, 0), axis(name, 2)
    pips = pulse_pips(a)
    signs = [math.copysign(1, x[k]) for k in pips]
    assert all(s != t for s, t in zip(signs, signs[1:]))
    accented = [frozenset(i for i in range(a) if z[pips[bar * a + i]] > 0.15) for bar in range(4)]
    assert all(len(s) == 2 for s in accented)
    assert all(s != t for s, t in zip(accented, accented[1:]))
    assert max(z) == 0.1536
    if (a, b) == (5, 1):
        assert accented == [{0, 2}, {1, 3}, {2, 4}, {0, 3}]


@pytest.mark.parametrize("n", range(3, 7))
@pytest.mark.parametrize("kind", ECHO_KINDS)
def test_echo_spacing_decay_and_answer(kind, n):
    name = f"echo_{kind}_{n}"
    x, y = axis(name, 0), axis(name, 1)
    call = crests([abs(v) for v in x], 0, 256)
    answer = crests([abs(v) for v in y], 256, 512)
    assert len(call) == len(answer) == n + 1
    assert [k - 256 for k in answer] == call
    heights = [abs(x[k]) for k in call]
    assert heights == sorted(heights, reverse=True)
    gaps = [q - p for p, q in zip(call, call[1:])]
    if kind == "regular":
        assert max(gaps) - min(gaps) <= 1
    elif kind == "shrinking":
        assert gaps == sorted(gaps, reverse=True) and gaps[0] > gaps[-1]
    elif kind == "expanding":
        assert gaps == sorted(gaps) and gaps[0] < gaps[-1]
        assert -x[0] == max(abs(v) for row in rows(name) for v in row)
    sides = [math.copysign(1, x[k]) for k in call]
    assert sides == ([-1, 1] * 4)[:n + 1] if kind == "crossed" else sides == [-1] * (n + 1)


@pytest.mark.parametrize("i", range(1, 9))
def test_canon_answer_follows_the_motif_in_depth(i):
    delays = {}
    for kind in ("close", "late"):
        name = f"canon_{i:02d}_{kind}"
        x, z = axis(name, 0), axis(name, 2)
        assert all(v == 0.0 for v in z[:256])
        motif = crests([abs(v) for v in x], 0, 256)
        answer = crests(z, 256, 512)
        assert all(0.27 <= abs(x[k]) <= 0.29 for k in motif)
        assert max(z) == 0.192
        assert len(answer) == len(motif) >= 4
        offsets = {b - a for a, b in zip(motif, answer)}
        assert max(offsets) - min(offsets) <= 1
        delays[kind] = min(offsets)
    assert 256 <= delays["close"] < delays["late"]


def on_grid(k):
    return abs(k - round(k * 3 / 64) * 64 / 3) < 1


@pytest.mark.parametrize("i", range(1, 9))
def test_triplet_omissions_answers_and_turnaround(i):
    answer, turnaround = (magnitude(f"triplet_{i:02d}_{kind}") for kind in ("answer", "turnaround"))
    first = crests(answer, 0, 256)
    assert first == crests(turnaround, 0, 256)
    assert all(on_grid(k) for k in first) and len(first) < 12
    off = [k for k in crests(answer, 256, 512) if not on_grid(k)]
    assert len(off) == 12 - len(first)
    turned = crests(turnaround, 256, 512)
    assert all(on_grid(k) for k in turned) and len(turned) == len(first)
    assert [round((k - 256) * 3 / 64) for k in turned] != [round(k * 3 / 64) for k in first]
