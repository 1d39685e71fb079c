"""Caller-made patterns (SampledPattern) and libraries laid over the built-in
catalogue (PatternLibrary): validation, limits, overrides and conversions."""

import math

import pytest

import gesturon

BUILTIN_COUNT = len(gesturon.catalogue())
ZERO = (0.0, 0.0, 0.0)
NAME_ERROR = "Invalid pattern name"
COUNT_ERROR = "A pattern requires 1..65535 samples (one per pip)"
VALUE_ERROR = "Pattern samples must be finite and within [-1, 1]"


def pattern(name="p", samples=(ZERO,), description=""):
    return gesturon.SampledPattern(name, description, samples)


def user_records(library):
    return library.catalogue()[BUILTIN_COUNT:]


# --- validation order and messages -------------------------------------------

@pytest.mark.parametrize("name", ["a", "a" * 128, "a1_", "z_9_0", "abc_def"])
def test_valid_names_are_accepted(name):
    assert pattern(name).name == name


@pytest.mark.parametrize(
    "name", ["", "a" * 129, "1a", "_a", "aB", "Ab", "a-b", "a b", "a.b", "caf\u00e9", "a\x00", "a\n"]
)
def test_invalid_names_are_refused(name):
    with pytest.raises(ValueError, match=r"^Invalid pattern name$"):
        pattern(name)


@pytest.mark.parametrize(
    "name, samples, message",
    [
        ("Bad", [], NAME_ERROR),  # the name is checked before the count
        ("Bad", [(math.nan, 0, 0)], NAME_ERROR),  # ... and before the values
        ("ok", [], COUNT_ERROR),
        ("ok", [(2.0, 0, 0)] * 65536, COUNT_ERROR),  # the count before the values
        ("ok", [ZERO, (0, 0, 0.5), (0, 0, math.inf)], VALUE_ERROR),
    ],
)
def test_the_first_failing_check_decides_the_message(name, samples, message):
    with pytest.raises(ValueError) as caught:
        pattern(name, samples)
    assert str(caught.value) == message


def test_sample_counts_at_the_limit():
    assert pattern(samples=[ZERO] * 65535).period_pips == 65535
    with pytest.raises(ValueError, match=r"^A pattern requires 1\.\.65535 samples \(one per pip\)$"):
        pattern(samples=[ZERO] * 65536)


@pytest.mark.parametrize("axis", range(3))
@pytest.mark.parametrize("bad", [math.nextafter(1.0, 2.0), -math.nextafter(1.0, 2.0), math.nan, math.inf, -math.inf])
def test_each_component_must_be_finite_and_within_one(axis, bad):
    row = [0.0, 0.0, 0.0]
    row[axis] = bad
    with pytest.raises(ValueError) as caught:
        pattern(samples=[(1.0, -1.0, 1.0), row])
    assert str(caught.value) == VALUE_ERROR


def test_samples_are_returned_exactly_and_wrapped_by_the_period():
    samples = [(0.1, -0.2, 0.3), (1.0, -1.0, 1.0), (-0.0, 5e-324, -1e-300)]
    p = pattern(samples=samples)
    for pip in [-2**31, -4, -3, -1, 0, 1, 2, 3, 4, 2**31 - 1]:
        assert p.sample(pip).as_tuple() == samples[pip % 3]
    assert math.copysign(1.0, p.sample(2).x) == -1.0  # -0.0 kept as given


# --- dimensions, as a library lists them --------------------------------------

@pytest.mark.parametrize(
    "samples, dimensions",
    [
        ([ZERO], 1),
        ([(0.9, 0, 0), (-1.0, 0, 0)], 1),  # x never counts
        ([(0, -0.0, -0.0), (0.5, -0.0, 0)], 1),  # -0.0 counts as zero
        ([ZERO, (0, 1e-300, 0), ZERO], 2),
        ([(0, 0, -0.5), ZERO], 3),
        ([(0, 0, 0.5), (0, 0.5, 0), (0, 0, 0)], 3),  # a later y does not lower it
        ([(0, 0.5, 0), (0, 0, 5e-324)], 3),
    ],
)
def test_dimensions_follow_the_samples(samples, dimensions):
    library = gesturon.PatternLibrary([pattern("mine", samples, "my own")])
    assert user_records(library) == [
        {"name": "mine", "description": "my own", "period_pips": len(samples), "dimensions": dimensions}
    ]


# --- limits -------------------------------------------------------------------

def test_pattern_count_limit():
    one = [pattern(f"p{i}") for i in range(1025)]
    assert len(user_records(gesturon.PatternLibrary(one[:1024]))) == 1024
    with pytest.raises(ValueError, match=r"^Too many patterns$"):
        gesturon.PatternLibrary(one)
    with pytest.raises(ValueError, match=r"^Too many patterns$"):  # before the duplicate check
        gesturon.PatternLibrary([one[0]] * 1025)


@pytest.fixture(scope="module")
def big():
    """Sixteen patterns of 65535 samples: 1048560 samples, 16 short of the limit."""
    rows = [ZERO] * 65535
    return [pattern(f"big_{i}", rows) for i in range(16)]


def test_total_samples_limit(big):
    library = gesturon.PatternLibrary(big + [pattern("rest", [ZERO] * 16)])
    assert sum(r["period_pips"] for r in user_records(library)) == 1048576
    with pytest.raises(ValueError, match=r"^Pattern pack is too large$"):
        gesturon.PatternLibrary(big + [pattern("rest", [ZERO] * 17)])


def bounce_copy(pips=64, description="One-beat vertical bounce"):
    return pattern("bounce", [gesturon.bounce(i).as_tuple() for i in range(pips)], description)


@pytest.mark.parametrize(
    "tail, message",
    [
        # The total is checked at the first pattern that passes it, before
        # any later duplicate...
        ([pattern("over", [ZERO] * 17), pattern("big_0")], "Pattern pack is too large"),
        # ...but after that pattern's own duplicate check...
        ([pattern("big_1", [ZERO] * 17)], "Duplicate pattern name: big_1"),
        # ...and before its built-in check.
        ([bounce_copy(description="changed")], "Pattern pack is too large"),
        # A repeat of a built-in pattern counts even though it is dropped.
        ([bounce_copy()], "Pattern pack is too large"),
    ],
)
def test_order_of_the_checks_on_one_pattern(big, tail, message):
    with pytest.raises(ValueError) as caught:
        gesturon.PatternLibrary(big + tail)
    assert str(caught.value) == message


# --- overriding built-in patterns ---------------------------------------------

def test_an_exact_copy_of_a_built_in_is_dropped():
    library = gesturon.PatternLibrary([pattern("before"), bounce_copy(), pattern("after")])
    listing = library.catalogue()
    assert len(listing) == BUILTIN_COUNT + 2
    assert [r["name"] for r in listing].count("bounce") == 1
    assert [r["name"] for r in listing[BUILTIN_COUNT:]] == ["before", "after"]
    for pip in range(-70, 70):
        assert library.sample("bounce", pip).as_tuple() == gesturon.bounce(pip).as_tuple()


@pytest.mark.skipif(BUILTIN_COUNT == 15, reason="no stored patterns built in yet")
def test_an_exact_copy_of_a_stored_pattern_is_dropped():
    record = gesturon.catalogue()[-1]
    name = record["name"]
    samples = [gesturon.sample(name, i).as_tuple() for i in range(record["period_pips"])]
    library = gesturon.PatternLibrary([pattern(name, samples, record["description"])])
    assert len(library.catalogue()) == BUILTIN_COUNT


def bounce_with_last_bit_changed(axis):
    samples = [list(gesturon.bounce(i).as_tuple()) for i in range(64)]
    value = samples[17][axis]
    samples[17][axis] = math.nextafter(value, -math.inf if value > 0 else math.inf)
    return pattern("bounce", samples, "One-beat vertical bounce")


@pytest.mark.parametrize(
    "changed",
    [bounce_with_last_bit_changed(0), bounce_with_last_bit_changed(1), bounce_with_last_bit_changed(2),
     bounce_copy(description="One-beat vertical bounce "), bounce_copy(description=""), bounce_copy(pips=128)],
    ids=["x", "y", "z", "description", "no-description", "length"],
)
def test_a_different_built_in_is_refused(changed):
    with pytest.raises(ValueError) as caught:
        gesturon.PatternLibrary([changed])
    assert str(caught.value) == "Cannot override default pattern: bounce"


def test_identical_repeats_are_still_duplicates():
    with pytest.raises(ValueError) as caught:
        gesturon.PatternLibrary([bounce_copy(), bounce_copy()])
    assert str(caught.value) == "Duplicate pattern name: bounce"
