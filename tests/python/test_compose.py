"""Transforms, blends, sequences and patterns from functions, each checked
against values worked out here from the module's own samples."""

import math
import struct
from fractions import Fraction

import pytest
from hypothesis import given, strategies as st

import gesturon
from gesturon_tools.compose import (EASES, crossfade, ease_table, from_function, mix,
                                    pattern, sequence, transform)

NAMES = ["helix", "bounce", "lfo_breathe", "ease_overshoot", "beat_house_classic_figure8",
         "figure_eight"]
PERIOD = {r["name"]: r["period_pips"] for r in gesturon.catalogue()}
PIPS = [0, 1, 17, 63, 64, 100, 255, -1, -77, 2**31 - 1, 2**40 + 5, -(2**35)]


def bits(values):
    if not isinstance(values, tuple):
        values = (values.x, values.y, values.z)
    return tuple(struct.pack("<d", v) for v in values)


def base(name, pip):
    return gesturon.sample(name, pip % PERIOD[name]).as_tuple()


def clamp(v):
    return min(1.0, max(-1.0, v))


# Each step, and what it must give from a base position (x, y, z), written
# out by hand.
C30, S30 = math.cos(math.radians(30)), math.sin(math.radians(30))
STEPS = [
    (lambda t: t.scale(0.5, 0.25, 2), lambda x, y, z: (0.5 * x, 0.25 * y, clamp(2 * z))),
    (lambda t: t.scale(-1, "3/4"), lambda x, y, z: (-x, 0.75 * y, z)),
    (lambda t: t.offset(0.5, -0.25), lambda x, y, z: (clamp(x + 0.5), clamp(y + -0.25), z)),
    (lambda t: t.rotate(90), lambda x, y, z: (-y, x, z)),
    (lambda t: t.rotate(-180), lambda x, y, z: (-x, -y, z)),
    (lambda t: t.rotate(270), lambda x, y, z: (y, -x, z)),
    (lambda t: t.rotate(30), lambda x, y, z: (clamp(C30 * x + -S30 * y), clamp(S30 * x + C30 * y), z)),
    (lambda t: t.mirror("x"), lambda x, y, z: (-x, y, z)),
    (lambda t: t.mirror("yz"), lambda x, y, z: (x, -y, -z)),
    (lambda t: t.swap("xy"), lambda x, y, z: (y, x, z)),
    (lambda t: t.swap("zx"), lambda x, y, z: (z, y, x)),
    # Composition order: the later step acts on the result of the earlier.
    (lambda t: t.scale(0.5).rotate(90), lambda x, y, z: (-y, 0.5 * x, z)),
    (lambda t: t.rotate(90).scale(0.5), lambda x, y, z: (-0.5 * y, x, z)),
    (lambda t: t.swap("xy").mirror("x"), lambda x, y, z: (-y, x, z)),
    (lambda t: t.offset(0.25).scale(0.5), lambda x, y, z: (0.5 * x + 0.125, y, z)),
]


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("step, expected", STEPS)
def test_position_steps_against_hand_formulas(name, step, expected):
    t = step(transform(name))
    for pip in PIPS:
        assert bits(t.sample(pip)) == bits(expected(*base(name, pip))), pip


def brute_period(pip_map, base_period, limit=10**5):
    """The smallest T with pip_map(n + T) = pip_map(n) mod the base period
    for every n (checked over two whole T)."""
    for t in range(1, limit):
        if all((pip_map(n + t) - pip_map(n)) % base_period == 0 for n in range(2 * t + 3)):
            return t
    raise AssertionError("no period found")


@pytest.mark.parametrize("name", ["bounce", "helix", "lfo_breathe"])
@pytest.mark.parametrize("build, pip_map", [
    (lambda t: t.speed(2), lambda n: 2 * n),
    (lambda t: t.speed(3), lambda n: 3 * n),                         # not a power of two
    (lambda t: t.speed("1/2"), lambda n: n // 2),                    # multiplies the period
    (lambda t: t.speed(Fraction(3, 4)), lambda n: 3 * n // 4),
    (lambda t: t.speed("5/3"), lambda n: 5 * n // 3),
    (lambda t: t.speed(0.75), lambda n: 3 * n // 4),
    (lambda t: t.shift(beats="1/4"), lambda n: n + 16),
    (lambda t: t.shift(pips=-5), lambda n: n - 5),
    (lambda t: t.speed(2).shift(3), lambda n: 2 * (n + 3)),          # order matters
    (lambda t: t.shift(3).speed(2), lambda n: 2 * n + 3),
    (lambda t: t.speed("1/2").speed(2), lambda n: n),                # hold, then every second
    (lambda t: t.speed(2).speed("1/2"), lambda n: 2 * (n // 2)),     # a stair, not the original
    (lambda t: t.speed(3).speed("1/2").shift(7).speed("2/3"), lambda n: 3 * ((2 * n // 3 + 7) // 2)),
])
def test_time_steps_and_their_periods(name, build, pip_map):
    t = build(transform(name))
    for pip in PIPS + list(range(-70, 70)):
        assert bits(t.sample(pip)) == bits(base(name, pip_map(pip))), pip
    assert t.period_pips == brute_period(pip_map, PERIOD[name])
    assert t.dimensions == next(r["dimensions"] for r in gesturon.catalogue() if r["name"] == name)


def test_period_beyond_a_table():
    # Slower by 1/1000 on a 4-beat pattern: 256000 pips, more than a SampledPattern holds.
    t = transform("lfo_breathe").speed("1/1000").rotate(90)
    assert t.period_pips == 1000 * PERIOD["lfo_breathe"] > 65535
    assert t.sample(12345 + t.period_pips) == t.sample(12345)


@pytest.mark.parametrize("build, dims", [
    (lambda: transform("bounce").swap("xz"), 3),      # a 2-axis pattern moved onto z
    (lambda: transform("helix").scale(1, 1, 0), 2),
    (lambda: transform("bounce").rotate(90).offset(0, 0, 0.5), 2),
])
def test_dimensions_follow_the_moving_axes(build, dims):
    assert build().dimensions == dims


def test_a_transform_of_a_transform_and_of_own_patterns():
    nod = gesturon.SampledPattern("nod", "nod", [(0.0, -min(i, 8 - i) / 4, 0.0) for i in range(8)])
    t = transform(transform(nod).speed(2)).mirror("y")
    assert t.period_pips == 4 and t.dimensions == 2
    assert [t.sample(p).y for p in range(8)] == [min(2 * p % 8, 8 - 2 * p % 8) / 4 for p in range(8)]
    library = gesturon.PatternLibrary([nod])
    assert transform("nod", library).sample(2).y == -0.5


@pytest.mark.parametrize("bad, message", [
    (lambda: transform("helx"), "did you mean helix"),
    (lambda: transform("helix").speed(0), "positive"),
    (lambda: transform("helix").speed("-1/2"), "positive"),
    (lambda: transform("helix").shift(beats="1/128"), "whole number of pips"),
    (lambda: transform("helix").mirror("w"), "axes among x, y and z"),
    (lambda: transform("helix").swap("xx"), "two different axes"),
    (lambda: transform("helix").scale(float("nan")), "finite"),
    (lambda: transform("helix").scale(10**400), "range of doubles"),
    (lambda: transform("helix").scale("1e100000000"), "must be a finite number"),
    (lambda: pattern(42), "not a pattern"),
    (lambda: crossfade("helix", "sway", 1, ease="bouncy"), "unknown ease"),
])
def test_bad_steps_are_refused(bad, message):
    with pytest.raises((ValueError, TypeError), match=message):
        bad()


# ---- property tests --------------------------------------------------------------------------

step_strategy = st.one_of(
    st.tuples(st.just("scale"), st.fractions(-3, 3, max_denominator=8)),
    st.tuples(st.just("offset"), st.fractions(-2, 2, max_denominator=8)),
    st.tuples(st.just("rotate"), st.integers(-720, 720)),
    st.tuples(st.just("mirror"), st.sampled_from(["x", "y", "z", "xz"])),
    st.tuples(st.just("swap"), st.sampled_from(["xy", "yz", "xz"])),
    st.tuples(st.just("shift"), st.integers(-10**6, 10**6)),
    st.tuples(st.just("speed"), st.fractions(Fraction(1, 12), 12, max_denominator=12)
              .filter(lambda f: f > 0)),
)


def apply(t, step):
    kind, value = step
    if kind in ("scale", "offset"):
        return getattr(t, kind)(value, -value, value / 2)
    return getattr(t, kind)(value)


@given(st.sampled_from(sorted(PERIOD)), st.lists(step_strategy, max_size=5),
       st.integers(-(2**45), 2**45))
def test_transforms_stay_in_range_and_repeat_after_their_period(name, steps, pip):
    t = transform(name)
    for step in steps:
        t = apply(t, step)
    here = t.sample(pip)
    assert all(-1.0 <= v <= 1.0 for v in (here.x, here.y, here.z))
    assert bits(t.sample(pip + t.period_pips * 3)) == bits(here)


# ---- blends and sequences --------------------------------------------------------------------

@pytest.mark.parametrize("ease", ["linear"] + sorted(EASES))
def test_crossfade_ends_and_middle(ease):
    fade = crossfade("helix", "sway", 2, ease=ease, start=256)
    for pip in (0, 255, -3):
        assert fade.sample(pip).as_tuple() == base("helix", pip)
    for pip in (384, 385, 1000):
        assert fade.sample(pip).as_tuple() == base("sway", pip)
    w = ease_table(ease)[64] if ease != "linear" else 0.5   # halfway: row 64 of 128
    a, b = base("helix", 320), base("sway", 320)
    assert bits(fade.sample(320)) == bits(tuple(clamp((1 - w) * p + w * q) for p, q in zip(a, b)))


@pytest.mark.parametrize("ease, name, returning", [(e, *EASES[e]) for e in EASES])
def test_eases_come_from_the_catalogue_tables(ease, name, returning):
    table = ease_table(ease)
    assert table[0] == 0.0 and table[-1] == 1.0 and len(table) == 129
    xs = [gesturon.sample(name, k).x for k in range(257)]
    # Normalised rows move with the catalogue's rows: same order everywhere.
    half = [-x for x in xs[128:]] if returning else xs[:129]
    assert all((p < q) == (s < t) for p, q, s, t in zip(half, half[1:], table, table[1:]))


def test_mix_weights_and_period():
    m = mix(("helix", 0.75), ("bounce", 0.5), ("lfo_breathe", "-1/4"))
    assert m.period_pips == math.lcm(PERIOD["helix"], PERIOD["bounce"], PERIOD["lfo_breathe"])
    for pip in PIPS:
        h, b, l = base("helix", pip), base("bounce", pip), base("lfo_breathe", pip)
        want = tuple(clamp(((0.0 + 0.75 * p) + 0.5 * q) + -0.25 * r) for p, q, r in zip(h, b, l))
        assert bits(m.sample(pip)) == bits(want)


def test_sequence_seams_and_loop():
    seq = sequence(("helix", 4), ("bounce", 2), ("sway", "1/2"))
    assert seq.period_pips == 256 + 128 + 32
    expect = ([base("helix", k) for k in range(256)] + [base("bounce", k) for k in range(128)]
              + [base("sway", k) for k in range(32)])
    for pip in list(range(-40, 40)) + list(range(240, 420)) + [seq.period_pips * 7 + 300]:
        assert bits(seq.sample(pip)) == bits(expect[pip % seq.period_pips]), pip


def test_sequence_fades_from_the_step_before_running_on():
    seq = sequence(("helix", 4), ("bounce", 2), fade_beats=1)
    for into in (0, 1, 32, 63, 64):
        w = into / 64
        want = tuple(clamp((1 - w) * p + w * q)
                     for p, q in zip(base("helix", 256 + into), base("bounce", into)))
        assert bits(seq.sample(256 + into)) == bits(want if into < 64 else base("bounce", into))
    # The first step fades from the last one, across the loop's seam.
    w = 10 / 64
    assert bits(seq.sample(10)) == bits(tuple(clamp((1 - w) * p + w * q)
                                              for p, q in zip(base("bounce", 138), base("helix", 10))))


# ---- patterns from functions -----------------------------------------------------------------

def wave(pip):
    return (math.sin(2 * math.pi * pip / 96), 0.5, 0.0)


def test_function_rendered_once_and_vectorised():
    calls = []
    made = from_function("wave", lambda p: calls.append(p) or wave(p), 96)
    assert calls == list(range(96))
    assert made.period_pips == 96 and pattern(made).dimensions == 2
    assert [made.sample(p).as_tuple() for p in range(96)] == [wave(p) for p in range(96)]
    numpy = pytest.importorskip("numpy")
    vec = from_function("wave", lambda p: (numpy.sin(2 * numpy.pi * p / 96), p * 0 + 0.5, p * 0.0), 96,
                        vectorised=True)
    assert [vec.sample(p).as_tuple() for p in range(96)] == [made.sample(p).as_tuple() for p in range(96)]


@pytest.mark.parametrize("function, period, message", [
    (lambda p: (p / 10, 0, 0), 20, r"f\(11\) gave x = 1.1, outside \[-1, 1\]"),
    (lambda p: (0, float("nan"), 0), 4, r"f\(0\) gave y = nan"),
    (lambda p: (0, 0), 4, "2 values, not three"),
    (lambda p: "abc", 4, "not three numbers"),
    (lambda p: (0, 0, 0), 65536, "1 to 65535"),
])
def test_function_errors_name_the_pip(function, period, message):
    with pytest.raises(ValueError, match=message):
        from_function("bad", function, period)


def test_function_name_checked_by_the_module():
    with pytest.raises(ValueError, match="Invalid pattern name"):
        from_function("Bad Name", lambda p: (0, 0, 0), 4)


@given(st.lists(st.tuples(st.sampled_from(sorted(PERIOD)), st.fractions(-2, 2, max_denominator=16)),
                min_size=1, max_size=3),
       st.lists(st.tuples(st.sampled_from(sorted(PERIOD)), st.integers(1, 64 * 8)), min_size=1,
                max_size=4),
       st.sampled_from(["linear"] + sorted(EASES)), st.integers(-(2**40), 2**40))
def test_mixes_and_sequences_stay_in_range_and_repeat(parts, steps, ease, pip):
    fade = min(length for _, length in steps) // 2
    made = [mix(*parts), sequence(*((name, Fraction(length, 64)) for name, length in steps),
                                  fade_beats=Fraction(fade, 64), ease=ease)]
    for m in made:
        here = m.sample(pip)
        assert all(-1.0 <= v <= 1.0 for v in (here.x, here.y, here.z))
        assert bits(m.sample(pip - 5 * m.period_pips)) == bits(here)
