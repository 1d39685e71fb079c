"""The 32 beats after the club beats, read from the installed score files
through the score reader: the form of their headers, and the figure that
defines each genre, on the grid it belongs to. (Their titles and depth
reach the catalogue's records: test_catalogue_complete.)"""

from importlib.resources import files

import pytest

from gesturon_tools import _beats

BAR = 256
PERIOD = 2 * BAR

def _read_all():
    paths = sorted(p for p in (files("gesturon_tools") / "beats").iterdir() if p.name.endswith(".beat"))
    return [(p.name, _beats.parse_score(p.read_text(encoding="utf-8"))) for p in paths]


ALL = _read_all()
NEW = dict((s["key"], s) for _, s in ALL[36:])


def hits(key, instruments, bars=(0, 1)):
    """The pips of a beat's hits on these instruments within these bars."""
    return sorted(p for i, p, _ in NEW[key]["hits"] if i in instruments and int(p // BAR) in bars)


def on_grid(steps, n, bars=(0, 1)):
    """Pips of steps on a grid of n steps a bar, in each of these bars, as the
    score format places them."""
    return sorted(BAR * b + BAR * s / n for b in bars for s in steps)


def sixteenths(*steps, bars=(0, 1)):
    return on_grid(steps, 16, bars)


def triplet_eighths(*steps, bars=(0, 1)):
    return on_grid(steps, 12, bars)


BEATS = sixteenths(0, 4, 8, 12)


def test_new_beats_follow_the_club_beats_with_their_headers():
    assert len(ALL) == 68
    for file_name, score in ALL[36:]:
        assert file_name.endswith(f"_{score['key']}.beat")
        genre, _, figure = score["title"].partition(" / ")
        assert genre and figure, score["title"]
        assert (score["note"], score["bars"], score["period_pips"]) == ("", 2, PERIOD)
    assert len({score["title"] for _, score in ALL}) == len(ALL)


# Each beat's defining figure: the hits of some lanes within some bars are
# exactly these pips ("is") or include them ("has").
FIGURES = [
    # Five kicks a bar: 1, 2, 3, the "a" of 3, the "and" of 4.
    ("jersey_five", {"kick"}, (0, 1), "is", sixteenths(0, 4, 8, 11, 14)),
    ("jersey_call", {"kick"}, (0,), "is", sixteenths(0, 4, 8, 11, 14, bars=(0,))),
    # The turnaround: quarter-note triplets over beats 3 and 4.
    ("jersey_call", {"kick"}, (1,), "has", triplet_eighths(6, 8, 10, bars=(1,))),
    # A whole beat of triplet-eighth bass in each bar.
    ("footwork_triplet", {"bass"}, (0,), "has", triplet_eighths(6, 7, 8, bars=(0,))),
    ("footwork_triplet", {"bass"}, (1,), "has", triplet_eighths(3, 4, 5, bars=(1,))),
    ("footwork_sparse", {"clap", "snare"}, (0, 1), "is", sixteenths(8)),
    ("reggae_one_drop", {"kick"}, (0, 1), "is", sixteenths(8)),
    ("reggae_one_drop", {"snare"}, (0, 1), "is", sixteenths(8)),
    ("reggae_steppers", {"kick"}, (0, 1), "is", BEATS),
    ("reggae_rockers", {"kick"}, (0, 1), "is", sixteenths(0, 8)),
    ("reggae_rockers", {"snare"}, (0, 1), "has", sixteenths(8)),
    # Son clave: three side 1, the "and" of 2, 4; two side 2, 3.
    ("son_clave_32", {"clave"}, (0, 1), "is", sixteenths(0, 6, 12, bars=(0,)) + sixteenths(4, 8, bars=(1,))),
    ("son_clave_23", {"clave"}, (0, 1), "is", sixteenths(4, 8, bars=(0,)) + sixteenths(0, 6, 12, bars=(1,))),
    ("afro_cross", {"bell"}, (0, 1), "is", on_grid((0, 1, 2), 3)),
    ("afro_bell", {"kick"}, (0, 1), "is", BEATS),
    ("psy_rolling", {"kick"}, (0, 1), "is", BEATS),
    ("psy_offbeat", {"bass"}, (0,), "is", sixteenths(2, 6, 10, 14, bars=(0,))),
    # Asymmetric groupings: 3+3+4+6, then 5+5+6.
    ("electro_robot", {"kick"}, (0, 1), "is", sixteenths(0, 3, 6, 10, bars=(0,)) + sixteenths(0, 5, 10, bars=(1,))),
    # The kick's 3-3 call in bar one is the low tom's call in bar two.
    ("baile_toms", {"kick"}, (0,), "is", sixteenths(0, 3, 6, bars=(0,))),
    ("baile_toms", {"tom_low"}, (1,), "is", sixteenths(0, 3, 6, bars=(1,))),
    # Two-step kick on 1 and the "and" of 3, backbeat on 2 and 4, and the
    # pickup on the last sixteenth.
    ("dnb_push", {"kick"}, (0, 1), "has", sixteenths(0, 10) + sixteenths(15, bars=(1,))),
    ("dnb_push", {"snare"}, (0, 1), "has", sixteenths(4, 12)),
    # Dembow: kick on every beat, snare on the "a" of 1, "and" of 2, "a" of
    # 3 and "and" of 4.
    ("dembow_push", {"kick"}, (0, 1), "is", BEATS),
    ("dembow_push", {"snare"}, (0, 1), "has", sixteenths(3, 6, 11, 14)),
]


def _figure_id(figure):
    key, lanes, bars, _, _ = figure
    return f"{key}-{'+'.join(sorted(lanes))}-bar{''.join(str(b + 1) for b in bars)}"


@pytest.mark.parametrize("key,lanes,bars,how,pips", FIGURES, ids=[_figure_id(f) for f in FIGURES])
def test_defining_figure(key, lanes, bars, how, pips):
    played = hits(key, lanes, bars)
    if how == "is":
        assert played == pytest.approx(pips, abs=1e-9)
    else:
        assert all(any(abs(p - q) < 1e-9 for p in played) for q in pips), (played, pips)


@pytest.mark.parametrize("key,a,b", [
    ("psy_rolling", {"bass"}, {"kick"}),
    ("afro_bell", {"bell"}, {"kick"}),
    ("gqom_exchange", {"kick"}, {"tom_low", "tom_mid"}),
])
def test_lanes_that_take_turns_never_coincide(key, a, b):
    assert not set(hits(key, a)) & set(hits(key, b))


@pytest.mark.parametrize("key,lane", [("footwork_triplet", "bass"), ("afro_cross", "conga")])
def test_triplet_lanes_sit_on_the_triplet_grid(key, lane):
    played = hits(key, {lane})
    assert played
    for p in played:
        step = p * 12 / BAR
        assert abs(step - round(step)) < 1e-9, p


def test_switchback_plays_bar_one_back_to_front():
    score = NEW["jungle_switchback"]
    drums = [(i, p, lv) for i, p, lv in score["hits"] if i in ("kick", "snare")]
    first = {(i, (BAR - 16) - p, lv) for i, p, lv in drums if p < BAR}
    second = {(i, p - BAR, lv) for i, p, lv in drums if p >= BAR}
    assert first == second


def test_every_new_beat_is_its_own_score():
    def played(score):
        return sorted((i, round(p, 9), lv) for i, p, lv in score["hits"])
    others = [played(s) for _, s in ALL]
    for n, (_, score) in enumerate(ALL[36:], start=36):
        mine = played(score)
        assert all(mine != o for m, o in enumerate(others) if m != n), score["key"]
