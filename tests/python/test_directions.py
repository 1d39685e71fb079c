"""Which way is up: y up and z forward across the catalogue. The patterns
whose words name a direction move that way, read from their descriptions;
the patterns listed in docs/directions.md as contradicting their words do
contradict them (so the list stays true)."""

import re
from pathlib import Path

import pytest

import gesturon

DOC = Path(__file__).resolve().parents[2] / "docs" / "directions.md"
RECORDS = {r["name"]: r for r in gesturon.catalogue()}


def lanes(name):
    rows = [gesturon.sample(name, k).as_tuple() for k in range(RECORDS[name]["period_pips"])]
    return [row[0] for row in rows], [row[1] for row in rows], [row[2] for row in rows]


def says(name, word):
    description = RECORDS[name]["description"].lower()
    assert re.search(rf"\b{word}", description), f"{name}: {description!r} does not say {word!r}"


def furthest(values):
    return max(values, key=abs)


# Each pattern, the word of its description that names a direction, and
# what that word means for its lanes.
@pytest.mark.parametrize("name, word", [
    ("mech_cam_return", "rise"),
    ("gesture_duck_sway", "duck"),
    *[(f"dwell_phrase_{i:02d}", "lift") for i in range(1, 17)],
    *[(f"reach_lift_{n}", "reach") for n in (3, 4, 5, 7)],
])
def test_words_of_direction_are_followed(name, word):
    says(name, word)
    x, y, z = lanes(name)
    if word == "rise":  # from rest up to the top and back: never below the rest
        assert min(y) == y[0] == 0.0 and furthest(y) > 0
    elif word == "duck":  # dips at each pass of the centre, never rises as far
        centre = min(range(len(x)), key=lambda k: abs(x[k]))
        assert y[centre] < 0 and furthest(y) < 0
    elif word == "lift":  # both holds stand above the rest it starts from
        holds = [k for k in range(1, len(y)) if y[k] == y[k - 1] and y[k] != y[0]]
        assert holds and all(y[k] > y[0] for k in holds)
    elif word == "reach":  # its name's lift goes out of the picture, forward
        assert min(z) >= 0 and max(z) > 0.4


def contradicting():
    """The patterns of the document's table of fixed numbers, with the words
    it quotes."""
    text = DOC.read_text(encoding="utf-8").split("## Patterns whose fixed numbers contradict")[1]
    return re.findall(r'^\| `(\w+)` \| "([^"]+)" \|', text, re.M)


# How the opposite of the quoted word shows in y: a rise or lift that goes
# down, a high arc that sinks below its ends, a low scoop that rises, a hop down.
@pytest.mark.parametrize("name, words", contradicting())
def test_the_listed_fixed_tables_do_contradict_their_words(name, words):
    assert words.lower().split(",")[0].split()[-1] in RECORDS[name]["description"].lower()
    _, y, _ = lanes(name)
    if "scoop" in words:
        assert furthest(y) > 0 and max(y) > y[0]  # the middle rises above its start
    else:  # lift, rise, echo ladders, high arc, hop: the largest move goes down
        assert furthest(y) < 0 and min(y) < y[0]


def test_the_document_lists_the_contradictions():
    assert len(contradicting()) == 9
