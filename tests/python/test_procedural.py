"""The fifteen patterns computed by formula, to the last bit."""

import decimal
import fractions

import pytest

import gesturon
from reference import PROCEDURAL, same_bits

INT_MIN, INT_MAX = -(2**31), 2**31 - 1
NAMES = [name for name, *_ in PROCEDURAL]
BY_NAME = {name: (period, dims, ref) for name, period, dims, _, ref in PROCEDURAL}


@pytest.mark.parametrize("name", NAMES)
def test_every_pip_of_a_period_matches_the_formula(name):
    period, _, ref = BY_NAME[name]
    fn = getattr(gesturon, name)
    for pip in range(period):
        assert same_bits(fn(pip).as_tuple(), ref(pip)), pip


@pytest.mark.parametrize("name", NAMES)
def test_periodic_across_the_whole_int_range(name):
    period, _, ref = BY_NAME[name]
    fn = getattr(gesturon, name)
    pips = [INT_MIN, INT_MIN + 1, INT_MIN + period - 1, -period - 1, -1, 0, 1, period,
            INT_MAX - period, INT_MAX - 1, INT_MAX, 123456789, -987654321]
    for pip in pips:
        got = fn(pip).as_tuple()
        assert same_bits(got, ref(pip % period)), pip
        for shifted in (pip - period, pip + period):
            if INT_MIN <= shifted <= INT_MAX:
                assert same_bits(fn(shifted).as_tuple(), got), (pip, shifted)


@pytest.mark.parametrize("name", NAMES)
def test_unused_axes_are_positive_zero(name):
    period, dims, _ = BY_NAME[name]
    fn = getattr(gesturon, name)
    for pip in range(period):
        p = fn(pip).as_tuple()
        assert all(same_bits((v,), (0.0,)) for v in p[dims:]), pip
        assert all(-1.0 <= v <= 1.0 for v in p)


# Values quoted for these motions; (x, y, z) compared bit for bit, so the
# sign of every zero counts.
QUOTED = [
    ("bounce", 0, (-1.0, 0.0, 0.0)),
    ("bounce", 16, (0.0, 0.0, 0.0)),
    ("bounce", 32, (1.0, 0.0, 0.0)),
    ("bounce", -1, (-0.9375, 0.0, 0.0)),
    ("sway", 32, (1.0, 0.0, 0.0)),
    ("figure_eight", 16, (0.7071067811865475, 1.0, 0.0)),
    ("circle", 0, (6.123233995736766e-17, -1.0, 0.0)),
    ("circle", 16, (1.0, 0.0, 0.0)),
    ("step_touch", 16, (-0.5, -0.35, 0.0)),
    ("step_touch", 0, (-1.0, -0.0, 0.0)),
    ("box_step", 32, (0.0, -1.0, 0.0)),
    ("box_step", 100, (1.0, 0.1865234375, 0.0)),
    ("helix", 32, (6.123233995736766e-17, 1.0, 0.7071067811865475)),
    ("morvel_background", 23, (0.14285714285714285, -0.1, 0.0)),
    ("morvel_background", 100, (-1.0, 0.8999999999999999, 0.0)),
    ("morvel_background", 255, (-0.00360881721828467, -0.005052344105598538, 0.0)),
    ("morvel_background", 256, (0.0, 0.0, 0.0)),
    ("single_stroke_roll", 4, (0.92, -0.6624, 0.0)),
    ("single_stroke_roll", 12, (-0.92, -0.6624, 0.0)),
    ("double_stroke_roll", 12, (0.72, -0.5184, 0.0)),
    ("multiple_bounce_roll", 3, (0.92, -0.6624, 0.0)),
    # The formula's own value; the rounded -0.3672 is what one would print.
    ("multiple_bounce_roll", 40, (-0.51, -0.36719999999999997, 0.0)),
    ("single_paradiddle", 4, (1.0, -0.72, 0.0)),
    ("single_paradiddle", 28, (0.72, -0.5184, 0.0)),
    ("flam", 12, (0.9, -0.648, 0.0)),
    ("flam", 5, (-0.34, -0.24480000000000002, 0.0)),
    ("drag", 17, (0.88, -0.6335999999999999, 0.0)),
    ("five_stroke_roll", 43, (1.0, -0.72, 0.0)),
    ("five_stroke_roll", 107, (-1.0, -0.72, 0.0)),
]


@pytest.mark.parametrize("name,pip,expected", QUOTED)
def test_quoted_values(name, pip, expected):
    assert same_bits(getattr(gesturon, name)(pip).as_tuple(), expected)


def test_quoted_relations():
    assert gesturon.double_stroke_roll(4).y == -0.6335999999999999
    assert gesturon.single_stroke_roll(-4).as_tuple() == gesturon.single_stroke_roll(60).as_tuple()
    assert gesturon.morvel_background(256).as_tuple() == gesturon.morvel_background(0).as_tuple()
    for pip in range(24, 32):
        assert same_bits(gesturon.multiple_bounce_roll(pip).as_tuple(), (0.0, 0.0, 0.0))


@pytest.mark.parametrize("name", NAMES[8:])
def test_rudiments_rest_at_pip_zero(name):
    assert same_bits(getattr(gesturon, name)(0).as_tuple(), (0.0, 0.0, 0.0))


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IntConvertible:
    def __int__(self):
        return 5


@pytest.mark.parametrize("pip,same_as", [
    (True, 1), (False, 0), (Indexable(7), 7), (IntConvertible(), 5),
    (decimal.Decimal(3), 3), (decimal.Decimal("-3.9"), -3), (INT_MIN, INT_MIN), (INT_MAX, INT_MAX),
])
def test_pips_convert_like_python_ints(pip, same_as):
    assert gesturon.bounce(pip).as_tuple() == gesturon.bounce(same_as).as_tuple()


class RaisingIndex:
    def __index__(self):
        raise RuntimeError("no")


class Floaty(float):
    pass


@pytest.mark.parametrize("pip", [
    3.0, Floaty(3.0), "3", b"3", None, [3], (3,), 3j, object(), INT_MAX + 1, INT_MIN - 1, 2**100,
    Indexable(2**31), RaisingIndex(), decimal.Decimal("NaN"), decimal.Decimal("Infinity"),
])
def test_anything_else_is_a_type_error(pip):
    for name in NAMES:
        with pytest.raises(TypeError):
            getattr(gesturon, name)(pip)


def test_any_object_gives_a_position_or_a_type_error():
    zoo = [0, -1, True, 2.5, "x", None, fractions.Fraction(7, 2), decimal.Decimal("1e30"), frozenset(),
           Indexable(-5), range(3), bytearray(b"1"), memoryview(b"1"), NotImplemented, Ellipsis, type]
    for value in zoo:
        try:
            result = gesturon.helix(value)
        except TypeError:
            continue
        assert isinstance(result, gesturon.Offset3)


@pytest.mark.parametrize("name", NAMES)
def test_the_pip_is_positional_only(name):
    fn = getattr(gesturon, name)
    with pytest.raises(TypeError):
        fn(pip=3)
    with pytest.raises(TypeError):
        fn()
    with pytest.raises(TypeError):
        fn(1, 2)
