"""SampledPattern and PatternLibrary as Python objects: sampling through a
library, independence from the patterns it was built from, argument
conversions and keywords, and the refusal of unbuilt or pickled objects."""

import copy
import decimal
import fractions
import gc
import pickle

import pytest

import gesturon

BUILTIN_COUNT = len(gesturon.catalogue())
ZERO = (0.0, 0.0, 0.0)
ROWS = [(0.5, 0.0, 0.0), (0.25, -0.5, 0.0), (-1.0, 0.0, 0.75)]


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def make(name="mine", samples=ROWS, description="my own"):
    return gesturon.SampledPattern(name, description, samples)


# --- a library over the built-in catalogue --------------------------------------

def test_an_empty_library_is_the_built_in_catalogue():
    library = gesturon.PatternLibrary()
    assert library.catalogue() == gesturon.catalogue()
    for record in gesturon.catalogue()[:: max(1, BUILTIN_COUNT // 40)]:
        for pip in (-2**31, -1, 0, 77, 2**31 - 1):
            assert library.sample(record["name"], pip).as_tuple() == gesturon.sample(record["name"], pip).as_tuple()


def test_user_patterns_follow_the_built_ins_in_the_given_order():
    names = ["zeta", "alpha", "mid_1"]
    library = gesturon.PatternLibrary([make(n, ROWS[: i + 1]) for i, n in enumerate(names)])
    assert library.catalogue()[BUILTIN_COUNT:] == [
        {"name": "zeta", "description": "my own", "period_pips": 1, "dimensions": 1},
        {"name": "alpha", "description": "my own", "period_pips": 2, "dimensions": 2},
        {"name": "mid_1", "description": "my own", "period_pips": 3, "dimensions": 3},
    ]
    for pip in range(-7, 8):
        assert library.sample("mid_1", pip).as_tuple() == ROWS[pip % 3]
        assert library.sample("zeta", pip).as_tuple() == ROWS[0]
    assert list(library.catalogue()[0]) == ["name", "description", "period_pips", "dimensions"]


@pytest.mark.parametrize("name", ["nowhere", "Mine"])
def test_unknown_names(name):
    library = gesturon.PatternLibrary([make()])
    with pytest.raises(ValueError) as caught:
        library.sample(name, 0)
    assert str(caught.value) == "Unknown gesturon: " + name


# --- independence ---------------------------------------------------------------

def test_a_library_and_its_patterns_live_independently():
    patterns = [make(), make("second")]
    library = gesturon.PatternLibrary(patterns)
    patterns.append(make("third"))  # the library took what it was given
    assert patterns[0].sample(1).as_tuple() == ROWS[1]  # the patterns stay usable
    del patterns
    gc.collect()
    assert library.sample("second", 2).as_tuple() == ROWS[2]
    assert len(library.catalogue()) == BUILTIN_COUNT + 2
    listing = library.catalogue()
    del library
    gc.collect()
    assert listing[-1]["name"] == "second"  # the listing holds its own strings


# --- conversions and keywords ---------------------------------------------------

def test_keywords_and_defaults():
    p = gesturon.SampledPattern(samples=[(0.5, 0, 0)], description="", name="a")
    assert (p.name, p.description, p.period_pips) == ("a", "", 1)
    assert p.sample(pip_count=-5).as_tuple() == (0.5, 0.0, 0.0)
    library = gesturon.PatternLibrary(patterns=[p])
    assert library.sample(name="a", pip_count=3).x == 0.5
    with pytest.raises(TypeError):
        p.sample(pip=3)
    with pytest.raises(TypeError):
        library.sample("a", pip=3)


@pytest.mark.parametrize(
    "samples",
    [
        ((0.5, 0, 0), (0, 1, 0)),
        ([0.5, 0, 0], (0, 1, 0)),
        ([x, y, 0] for x, y in ((0.5, 0), (0, 1))),  # a generator is read into a list
        [(decimal.Decimal("0.5"), 0, 0), (0, Index(1), fractions.Fraction(0))],
    ],
)
def test_samples_accept_sequences_of_number_triples(samples):
    p = make(samples=samples)
    assert p.sample(0).x == 0.5
    assert p.sample(1).y == 1.0


@pytest.mark.parametrize(
    "samples",
    ["abc", [(0.1, 0.2)], [(0.1, 0.2, 0.3, 0.4)], [(0, 0, 0), "xyz"], [(0, 0, "0")], 5, None],
)
def test_samples_of_the_wrong_shape_are_type_errors(samples):
    with pytest.raises(TypeError):
        make(samples=samples)


@pytest.mark.parametrize("pip", [2.0, 2**31, -(2**31) - 1, decimal.Decimal(3), "3", None])
def test_a_pattern_pip_is_a_strict_32_bit_int(pip):
    p = make()
    library = gesturon.PatternLibrary([p])
    with pytest.raises(TypeError):
        p.sample(pip)
    with pytest.raises(TypeError):
        library.sample("mine", pip)


def test_ints_bools_and_index_objects_are_pips():
    p = make()
    for pip, expected in [(True, 1), (Index(-1), 2), (2**31 - 1, (2**31 - 1) % 3), (-(2**31), -(2**31) % 3)]:
        assert p.sample(pip).as_tuple() == ROWS[expected]
        assert gesturon.PatternLibrary([p]).sample("mine", pip).as_tuple() == ROWS[expected]


@pytest.mark.parametrize("patterns", [[make(), 1], [None], 5, "mine", [gesturon.PatternLibrary()]])
def test_a_library_takes_only_patterns(patterns):
    with pytest.raises(TypeError):
        gesturon.PatternLibrary(patterns)


def test_strings_may_be_bytes():
    p = gesturon.SampledPattern(b"from_bytes", bytearray("caf\u00e9".encode()), [ZERO])
    assert (p.name, p.description) == ("from_bytes", "caf\u00e9")
    assert gesturon.PatternLibrary([p]).sample(b"from_bytes", 0).as_tuple() == ZERO


def test_a_description_that_is_not_utf8_fails_only_when_read():
    p = gesturon.SampledPattern("raw", b"\xff", ROWS)
    with pytest.raises(UnicodeDecodeError):
        p.description
    library = gesturon.PatternLibrary([p])
    with pytest.raises(UnicodeDecodeError):
        library.catalogue()
    assert p.name == "raw" and p.sample(1).as_tuple() == ROWS[1]
    assert library.sample("raw", 2).as_tuple() == ROWS[2]


@pytest.mark.parametrize("member", ["name", "description", "period_pips", "sample", "anything"])
def test_patterns_are_immutable(member):
    with pytest.raises(AttributeError):
        setattr(make(), member, 1)


# --- objects that pybind11 alone would leave unsafe ------------------------------

def instances():
    return [make(), gesturon.PatternLibrary([make()])]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
@pytest.mark.parametrize("obj", instances(), ids=["SampledPattern", "PatternLibrary"])
def test_pickling_is_refused(obj, protocol):
    with pytest.raises(TypeError):
        pickle.dumps(obj, protocol)


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy])
@pytest.mark.parametrize("obj", instances(), ids=["SampledPattern", "PatternLibrary"])
def test_copying_is_refused(obj, duplicate):
    with pytest.raises(TypeError):
        duplicate(obj)


UNBUILT_USES = {
    "name": lambda p: p.name,
    "description": lambda p: p.description,
    "period_pips": lambda p: p.period_pips,
    "sample": lambda p: p.sample(0),
    "into a library": lambda p: gesturon.PatternLibrary([p]),
}


@pytest.mark.parametrize("use", UNBUILT_USES.values(), ids=UNBUILT_USES.keys())
def test_a_pattern_made_by_new_alone_is_refused(use):
    unbuilt = gesturon.SampledPattern.__new__(gesturon.SampledPattern)
    with pytest.raises(TypeError, match="was created without calling __init__"):
        use(unbuilt)
    unbuilt.__init__("late", "", ROWS)  # building it afterwards makes it whole
    assert (unbuilt.name, unbuilt.sample(-1).as_tuple()) == ("late", ROWS[2])


@pytest.mark.parametrize("use", [lambda lib: lib.sample("bounce", 0), lambda lib: lib.catalogue()])
def test_a_library_made_by_new_alone_is_refused(use):
    unbuilt = gesturon.PatternLibrary.__new__(gesturon.PatternLibrary)
    with pytest.raises(TypeError, match="was created without calling __init__"):
        use(unbuilt)
