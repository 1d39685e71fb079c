"""The club pack: its 144 records, the exact four-floor tables, the facts of
each motion over all 36 beats, the drum scores behind them (read from the
score files through the score reader, not from the tables) and the step grid
the gallery draws from those scores."""

import math
from importlib import resources

import pytest

import gesturon
from stored import table
from gesturon_tools import _beats, drums, gallery
from gesturon_tools.catalogue import Catalogue
from browser import needs_browser, self_check

DASH = " \u2014 "
MOTIONS = [("bounce", "Kick-led bounce"), ("step", "Snare side-step"),
           ("orbit", "Percussion orbit"), ("glide", "Bass-and-phrase glide")]

# The 36 club beats, from their score files: key, title, period, dimensions
# of bounce and step, note.
BEATS = [(score["key"], score["title"], score["period_pips"], 3 if score["depth"] else 2, score["note"])
         for score in map(_beats.parse_score, list(drums.builtin_scores().values())[:36])]
KEYS = [b[0] for b in BEATS]

# Largest value of each motion's leading axis across the beats.
RANGES = {"bounce": (1, 0.3962, 0.6826), "step": (0, 0.3108, 0.7464),
          "orbit": (0, 0.541, 0.6048), "glide": (2, 0.3397, 0.4848)}

BACKBEAT = {"snare", "clap", "rim"}
QUIET = "ghost"


def score_files():
    folder = resources.files("gesturon_tools") / "beats"
    return {entry.name[3:-5]: entry.read_text(encoding="utf-8")
            for entry in folder.iterdir() if entry.name.endswith(".beat")}


TEXTS = score_files()
SCORES = {key: _beats.parse_score(TEXTS[key]) for key in KEYS}


TABLES = {f"beat_{key}_{motion}": table(f"beat_{key}_{motion}") for key in KEYS for motion, _ in MOTIONS}


def pips(score, instruments, levels=("accent", "normal", "ghost")):
    return [pip for instrument, pip, level in score["hits"] if instrument in instruments and level in levels]


def kick_envelope(k, kicks, height, period, attack=6.4, decay=29.44):
    """The kick envelope, written out again here: a raised-cosine attack of
    6.4 pips and decay of 29.44 pips, distances around the loop."""
    total = 0.0
    for t0, h in zip(kicks, height):
        d = (k - t0 + period / 2) % period - period / 2
        if -attack < d <= 0:
            total += h * math.cos(math.pi * d / (2 * attack)) ** 2
        elif 0 <= d < decay:
            total += h * math.cos(math.pi * d / (2 * decay)) ** 2
    return total


# ---- Records -------------------------------------------------------------------------

def test_records_in_beat_major_order_byte_for_byte():
    records = gesturon.catalogue()
    start = next(i for i, r in enumerate(records) if r["name"] == "beat_four_floor_bounce")
    expected = [{"name": f"beat_{key}_{motion}",
                 "description": f"{title}{DASH}{motion_title}. {note}",
                 "period_pips": period,
                 "dimensions": dims if motion in ("bounce", "step")
                 else 2 if (key, motion) == ("four_floor", "orbit") else 3}
                for key, title, period, dims, note in BEATS for motion, motion_title in MOTIONS]
    assert records[start:start + 144] == expected
    assert records[start + 144]["name"] == "beat_four_floor_surge"
    assert sum(r["description"].endswith(". ") for r in expected) == 72


# ---- The exact four-floor tables -------------------------------------------------------

@pytest.mark.parametrize("motion,x_heights,y_heights", [
    ("bounce", [0.0] * 4, [0.55] * 4),
    ("step", [0.42, -0.42, 0.42, -0.42], [-0.22] * 4),
])
def test_four_floor_tables_are_the_kick_envelope(motion, x_heights, y_heights):
    kicks = [0, 64, 128, 192]
    rows = TABLES[f"beat_four_floor_{motion}"]
    assert len(rows) == 256
    for k, (x, y, z) in enumerate(rows):
        assert abs(x - kick_envelope(k, kicks, x_heights, 256)) <= 1e-12, k
        assert abs(y - kick_envelope(k, kicks, y_heights, 256)) <= 1e-12, k
        assert z == 0.0
    # Rises over the 6 pips before a kick, back to 0 from the 30th pip after it.
    assert rows[0][1] == y_heights[0] and rows[57][1] == 0.0 != rows[58][1] and rows[30][1] == 0.0 != rows[29][1]


def test_four_floor_orbit_passes_the_four_points_without_being_a_circle():
    rows = TABLES["beat_four_floor_orbit"]
    for pip, point in zip((0, 64, 128, 192), ((0.58, 0.0), (0.0, 0.58), (-0.58, 0.0), (0.0, -0.58))):
        assert math.dist(rows[pip][:2], point) <= 1e-12, pip
    assert all(z == 0.0 for _, _, z in rows)
    radii = [math.hypot(x, y) for x, y, _ in rows]
    angles = [math.atan2(y, x) % (2 * math.pi) for x, y, _ in rows]
    turn = [(b - a) % (2 * math.pi) for a, b in zip(angles, angles[1:])]
    assert max(radii) - min(radii) > 0.05 and max(turn) > 1.5 * min(turn)


# ---- Each motion over all beats -----------------------------------------------------------

@pytest.mark.parametrize("motion", list(RANGES))
def test_motion_peaks_span_their_range(motion):
    axis, low, high = RANGES[motion]
    peaks = {key: max(abs(row[axis]) for row in TABLES[f"beat_{key}_{motion}"]) for key in KEYS}
    assert all(low <= p <= high for p in peaks.values()), peaks
    assert round(min(peaks.values()), 4) == low and round(max(peaks.values()), 4) == high
    # Spread between the ends, not piled on them.
    assert sum(round(p, 4) in (low, high) for p in peaks.values()) <= 5
    assert len({round(p, 3) for p in peaks.values()}) >= 12


@pytest.mark.parametrize("key,dims", [(b[0], b[3]) for b in BEATS])
def test_side_and_depth_limits(key, dims):
    bounce, step = TABLES[f"beat_{key}_bounce"], TABLES[f"beat_{key}_step"]
    assert max(abs(x) for x, _, _ in bounce) <= 0.27
    assert max(abs(y) for _, y, _ in bounce) > max(abs(x) for x, _, _ in bounce)
    if dims == 3:
        assert 0 < max(abs(z) for _, _, z in bounce) <= 0.06
    # Step: a lateral move with a smaller dip, and y mostly down.
    assert max(abs(y) for _, y, _ in step) < max(abs(x) for x, _, _ in step)
    assert sum(y for _, y, _ in step) < 0
    # Every counted axis moves in all four tables.
    for motion in ("bounce", "step", "orbit", "glide"):
        rows = TABLES[f"beat_{key}_{motion}"]
        record_dims = 2 if (key, motion) == ("four_floor", "orbit") else dims if motion in ("bounce", "step") else 3
        moving = [any(row[a] != 0.0 for row in rows) for a in range(3)]
        assert moving == [a < record_dims for a in range(3)] or (key, motion) == ("four_floor", "bounce")


def peaks_of(values, rise):
    """The local maxima that rise at least `rise` above the lowest value of
    the 16 pips (a sixteenth) before them: the strokes, not the ripples."""
    n = len(values)
    return [k for k in range(n) if values[k] > values[k - 1] and values[k] >= values[(k + 1) % n]
            and values[k] - min(values[k - j] for j in range(1, 17)) >= rise]


def follows(k, events, period, before=2, after=8):
    """Whether pip k comes at most `before` pips ahead of an event or
    `after` pips behind it (a step still growing while the previous one
    releases), around the loop."""
    return any(-before <= (k - t + period / 2) % period - period / 2 <= after for t in events)


@pytest.mark.parametrize("key", KEYS)
def test_peaks_follow_the_kicks_and_the_steps(key):
    score = SCORES[key]
    period = score["period_pips"]
    kicks = pips(score, {"kick"})
    gestures = kicks + pips(score, BACKBEAT)
    lift = [y for _, y, _ in TABLES[f"beat_{key}_bounce"]]
    width = [abs(x) for x, _, _ in TABLES[f"beat_{key}_step"]]
    for k in peaks_of(lift, 0.2 * max(lift)):
        assert follows(k, kicks, period, after=4), k  # a hat just after may carry it on
    for k in peaks_of(width, 0.2 * max(width)):
        assert follows(k, gestures, period), k
    # And every main kick clear of the one before gives the bounce a stroke.
    strokes = peaks_of(lift, 0.2 * max(lift))
    for t in pips(score, {"kick"}, ("accent", "normal")):
        if not any(0 < (t - u) % period < 24 for u in kicks):
            assert follows(t, strokes, period, before=4, after=2), t
    # The top of the bounce is on a kick.
    assert follows(lift.index(max(lift)), kicks, period, 1, 1)


@pytest.mark.parametrize("motion", [m for m, _ in MOTIONS])
def test_different_scores_move_differently(motion):
    tables = [TABLES[f"beat_{key}_{motion}"] for key in KEYS]
    for i, a in enumerate(tables):
        for b in tables[i + 1:]:
            if len(a) == len(b):
                assert max(math.dist(p, q) for p, q in zip(a, b)) > 0.02, (KEYS[i], KEYS[tables.index(b)])


# ---- The renderers on scores of one's own --------------------------------------------------

def own_score(kick="x... x... x... x...", snare=".... .... .... ....", bars=1):
    lanes = f"kick | {kick} |\n"
    if "x" in snare.lower() or "o" in snare:
        lanes += f"snare | {snare} |\n"
    return f"key own\ntitle Own\nnote\nbars {bars}\ndepth no\n{lanes}"


@pytest.mark.parametrize("motion,axis", [("bounce", 1), ("step", 0), ("orbit", 0), ("glide", 2)])
def test_size_follows_how_busy_and_strong_the_score_is(motion, axis):
    def peak(text):
        _, rows = _beats.render(text, motion)
        return max(abs(row[axis]) for row in rows)
    half = peak(own_score("x... .... x... ...."))
    pulse = peak(own_score())
    accented = peak(own_score("X... X... X... X..."))
    busy = peak(own_score("X.x. X.x. X.x. X.x.", ".... X... .... X..."))
    assert half < pulse < accented < busy
    # The bare pulse gives the quoted four-floor sizes.
    assert pulse == pytest.approx({"bounce": 0.55, "step": 0.42, "orbit": 0.58, "glide": 0.41}[motion], abs=1e-12)


# ---- The scores ----------------------------------------------------------------------------

def test_four_floor_is_four_equal_kicks_and_nothing_else():
    assert SCORES["four_floor"]["hits"] == [("kick", float(p), "normal") for p in (0, 64, 128, 192)]


def test_ukg_two_step():
    score = SCORES["ukg_two_step"]
    for bar in (0, 256):
        assert [p - bar for p in pips(score, {"kick"}) if bar <= p < bar + 256] == [0, 160]
        main = [p - bar for p in pips(score, {"snare"}, ("accent", "normal")) if bar <= p < bar + 256]
        assert main == [64, 192]
    assert any(p % 16 for p in pips(score, {"hat"}))


def test_polymeter_layers_close_after_three_bars():
    score = SCORES["techno_polymeter"]
    perc = [(p, level) for i, p, level in score["hits"] if i == "perc"]
    cycle = 48  # three sixteenths
    assert {p % cycle for p, _ in perc} == {0, 32}
    assert [level for p, level in perc if p % cycle == 0] == ["accent"] * 16
    # The cycle does not fit a bar; three bars are the first whole number of both.
    assert score["period_pips"] == 768 == math.lcm(cycle, 256)
    assert pips(score, {"kick"}) == [64.0 * q for q in range(12)]


def test_drill_displaced_snare():
    assert pips(SCORES["drill_displaced"], BACKBEAT) == [128.0, 448.0]


def test_drill_grouped_hats_and_triplet_roll():
    tresillo = pips(SCORES["drill_tresillo"], {"hat"})
    assert [p % 128 for p in tresillo if p < 128] == [0, 48, 96]
    assert [p % 256 for p in tresillo if p < 256] == [0, 48, 96, 128, 176, 224]
    roll = [p for p in pips(SCORES["drill_rolls"], {"hat"}) if p >= 448]
    assert roll == pytest.approx([448 + j * 32 / 3 for j in range(6)], abs=1e-9)
    assert sum(p % 16 != 0 for p in roll) == 4


def test_amen_pair_differs_only_in_quiet_snares():
    full, bare = SCORES["amen_four_bar"]["hits"], SCORES["amen_no_ghosts"]["hits"]
    ghosts = [h for h in full if h[0] == "snare" and h[2] == QUIET]
    assert len(ghosts) >= 8
    assert [h for h in full if h not in ghosts] == bare
    assert SCORES["amen_four_bar"]["bars"] == 4
    # The classic structure: bars one and two alike, three and four each turned.
    bars = [[(i, p - 256 * b, lv) for i, p, lv in full if 256 * b <= p < 256 * (b + 1)] for b in range(4)]
    assert bars[0] == bars[1] and bars[2] != bars[0] and bars[3] != bars[2]


def test_jungle_switch_final_half_has_fewer_main_snares():
    score = SCORES["jungle_switch"]
    main = pips(score, {"snare"}, ("accent", "normal"))
    assert sum(p >= 512 for p in main) < sum(p < 512 for p in main)
    # Same tempo: the ride keeps its eighths throughout.
    assert pips(score, {"ride"}) == [32.0 * q for q in range(32)]


@pytest.mark.parametrize("key,check", [
    ("trance", lambda s: pips(s, {"bass"}) and all(p % 64 == 32 for p in pips(s, {"bass"}))),
    ("dembow", lambda s: pips(s, {"kick"}) == [64.0 * q for q in range(8)]
     and all(p % 64 for p in pips(s, BACKBEAT))),
    ("amapiano", lambda s: len(pips(s, {"shaker"})) >= 32 and len(pips(s, {"bass"})) >= 8
     and any(p % 64 for p in pips(s, {"bass"}))),
    ("house_classic", lambda s: pips(s, {"clap"}) == [64.0, 192.0, 320.0, 448.0]
     and all(p % 64 == 32 for p in pips(s, {"open_hat"}))),
    ("house_shuffle", lambda s: any(p % 16 for p in pips(s, {"hat"}))),
    ("house_jack", lambda s: 0 < len(pips(s, {"kick"}, ("ghost",))) and len(pips(s, {"clap"}, ("ghost",)))),
    ("techno_broken", lambda s: pips(s, {"kick"}) != [64.0 * q for q in range(8)]),
    ("grime_half", lambda s: pips(s, BACKBEAT) == [128.0, 384.0]),
    ("speed_garage", lambda s: all(p % 64 for p in pips(s, {"bass"}))
     and sum(p % 64 == 32 for p in pips(s, {"bass"})) >= 0.8 * len(pips(s, {"bass"}))),
    ("rave_breaks", lambda s: set(64.0 * q for q in range(8)) <= set(pips(s, {"kick"}))
     and len(pips(s, BACKBEAT, ("ghost",))) >= 4),
])
def test_genre_features(key, check):
    assert check(SCORES[key])


# ---- The gallery's step grids -----------------------------------------------------------------

def test_gallery_carries_each_beat_score_as_drawn_lanes():
    catalogue = Catalogue(gesturon)
    scores = gallery.page_metadata(catalogue)["scores"]
    beat_families = {f.key for f in catalogue.families() if f.key.startswith("beat_")}
    assert set(scores) == beat_families and len(scores) == 68
    for key, grid in scores.items():
        score = _beats.parse_score(TEXTS[key[len("beat_"):]])
        assert grid["period"] == score["period_pips"] and grid["bars"] == score["bars"]
        hits = sorted((instrument, flat[i], flat[i + 1]) for instrument, flat in grid["lanes"]
                      for i in range(0, len(flat), 2))
        levels = {"ghost": 0, "normal": 1, "accent": 2}
        expected = sorted((i, round(p, 3), levels[lv]) for i, p, lv in score["hits"])
        assert [(i, lv) for i, _, lv in hits] == [(i, lv) for i, _, lv in expected]
        assert all(abs(a[1] - b[1]) <= 1e-9 for a, b in zip(hits, expected))
        assert grid["lanes"][0][0] == "kick"


def test_gallery_without_beat_packs_has_no_grids():
    class NoBeats:
        def catalogue(self):
            return [r for r in gesturon.catalogue() if not r["name"].startswith("beat_")]

        def sample(self, name, pip):
            return gesturon.sample(name, pip)
    assert gallery.page_metadata(Catalogue(NoBeats()))["scores"] == {}


@needs_browser
def test_gallery_draws_a_step_grid_over_each_beat_family(tmp_path):
    page = tmp_path / "index.html"
    page.write_text(gallery.build_page(Catalogue(gesturon)), encoding="utf-8")
    result = self_check(page, [])
    families = [f.key for f in Catalogue(gesturon).families() if f.key.startswith("beat_")]
    assert result["score_grids"] == families
    assert len(page.read_bytes()) < 2_500_000
