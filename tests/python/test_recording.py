import copy
import math
import pickle
import sys
from decimal import Decimal
from fractions import Fraction

import pytest

import gesturon
from gesturon import SampledRecording

IDENTIFIER = "Invalid identifier"
TEMPO = "A finite positive BPM and beat origin are required"
SHAPE = "Empty recording or recording resource limit exceeded"
DUPLICATE = "Duplicate axis"
RAGGED = "Ragged recording"
SAMPLE = "Invalid sample"
OUTSIDE = "Pip outside non-looping recording"
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
MAX_VALUES = 2**23
ABOVE_ONE = math.nextafter(1.0, 2.0)
# The smallest bpm for which 60 / bpm is still finite.
SMALLEST_BPM = 3.3376107877608025e-307


def make(name="rec", dimensions=("x",), samples=((0.0,),), bpm=120.0, **kw):
    return SampledRecording(name, dimensions, samples, bpm, **kw)


def refused(message, **kw):
    with pytest.raises(ValueError) as info:
        make(**kw)
    assert str(info.value) == message


class TestSampling:
    def test_single_row_answers_only_its_pip(self):
        r = make(samples=[[0.5]])
        assert (r.sample_count, r.sample(0)) == (1, [0.5])
        for pip in (1, -1, INT32_MAX, INT32_MIN):
            with pytest.raises(IndexError, match=f"^{OUTSIDE}$"):
                r.sample(pip)

    def test_negative_start_pip_covers_its_span(self):
        r = make(samples=[[0.1], [0.2], [0.3]], start_pip=-10)
        assert [r.sample(p) for p in (-10, -9, -8)] == [[0.1], [0.2], [0.3]]
        for pip in (-11, -7):
            with pytest.raises(IndexError, match=OUTSIDE):
                r.sample(pip)

    @pytest.mark.parametrize("start, inside, outside", [
        (INT32_MIN, INT32_MIN, INT32_MAX),  # the pips are 2^32 - 1 apart
        (INT32_MAX - 1, INT32_MAX - 1, INT32_MAX),
        (INT32_MAX - 1, INT32_MAX - 1, INT32_MIN),
    ])
    def test_span_ends_at_the_extremes(self, start, inside, outside):
        r = make(samples=[[0.25]], start_pip=start)
        assert r.sample(inside) == [0.25]
        with pytest.raises(IndexError, match=OUTSIDE):
            r.sample(outside)

    def test_axes_keep_the_callers_order_and_values_their_bits(self):
        row = [1 / 3, -0.0, 5e-324, -1.0, 1.0]
        r = make(dimensions=["z", "b", "a", "y", "x"], samples=[[0.0] * 5, row])
        assert r.dimensions == ["z", "b", "a", "y", "x"]
        got = r.sample(1)
        assert [v.hex() for v in got] == [v.hex() for v in row]
        assert math.copysign(1.0, got[1]) == -1.0


class TestDefaultsAndProperties:
    def test_keywords_and_defaults(self):
        r = SampledRecording(bpm=90, samples=[[0.1]], dimensions=["x"], name="take")
        assert (r.name, r.bpm, r.beat_zero_seconds, r.start_pip) == ("take", 90.0, 0.0, 0)
        r = make(bpm=1e-300, beat_zero_seconds=-1e300, start_pip=7)
        assert (r.bpm, r.beat_zero_seconds, r.start_pip, r.sample(pip=7)) == (1e-300, -1e300, 7, [0.0])

    @pytest.mark.parametrize("call", [
        lambda: make(pip=3),
        lambda: SampledRecording("a", ["x"], [[0.0]]),
        lambda: make().sample(pip_count=0),
        lambda: make().sample(),
    ])
    def test_wrong_keywords_and_missing_arguments(self, call):
        with pytest.raises(TypeError):
            call()

    @pytest.mark.parametrize("attr", ["name", "dimensions", "sample_count", "bpm",
                                      "beat_zero_seconds", "start_pip", "other"])
    def test_read_only(self, attr):
        with pytest.raises(AttributeError):
            setattr(make(), attr, 1)

    def test_every_read_gives_new_lists(self):
        r = make(dimensions=["x", "y"], samples=[[0.1, 0.2]])
        r.dimensions.append("z")
        r.sample(0).append(0.3)
        assert (r.dimensions, r.sample(0)) == (["x", "y"], [0.1, 0.2])
        assert r.dimensions is not r.dimensions

    def test_registered_first_among_the_classes(self):
        names = [n for n, v in vars(gesturon).items() if isinstance(v, type)]
        assert names[0] == "SampledRecording"


class TestIdentifiers:
    @pytest.mark.parametrize("ident", ["a", "a_1", "z" + "9" * 127, "x_"])
    def test_accepted(self, ident):
        assert make(name=ident, dimensions=[ident]).dimensions == [ident]

    @pytest.mark.parametrize("ident", ["", "A", "aB", "1a", "_a", "a-b", "a.b", "a b", "a/b",
                                       "caf\u00e9", "a" * 129])
    @pytest.mark.parametrize("where", ["name", "axis"])
    def test_refused(self, ident, where):
        kw = {"name": ident} if where == "name" else {"dimensions": ["x", ident], "samples": [[0, 0]]}
        refused(IDENTIFIER, **kw)


class TestTempo:
    @pytest.mark.parametrize("bpm", [0.0, -0.0, -120, math.nan, math.inf, -math.inf,
                                     5e-324, math.nextafter(SMALLEST_BPM, 0)])
    def test_bad_bpm(self, bpm):
        refused(TEMPO, bpm=bpm)

    @pytest.mark.parametrize("origin", [math.nan, math.inf, -math.inf])
    def test_bad_origin(self, origin):
        refused(TEMPO, beat_zero_seconds=origin)

    @pytest.mark.parametrize("bpm", [SMALLEST_BPM, 1e-300, sys.float_info.max])
    def test_extreme_bpm_accepted(self, bpm):
        assert math.isfinite(60 / bpm) and 60 / bpm / 64 > 0
        assert make(bpm=bpm).bpm == bpm

    def test_smallest_bpm_is_the_overflow_edge(self):
        assert math.isfinite(60 / SMALLEST_BPM)
        assert math.isinf(60 / math.nextafter(SMALLEST_BPM, 0))


class TestShapeAndLimits:
    @pytest.mark.parametrize("dimensions, samples", [([], [[]]), ([], []), (["x"], []), (["x"], ())])
    def test_empty(self, dimensions, samples):
        refused(SHAPE, dimensions=dimensions, samples=samples)

    @pytest.mark.parametrize("axes", [1, 3, 4096])
    def test_value_limit(self, axes):
        row = [0.5] * axes  # one row object, shared by every row
        rows = MAX_VALUES // axes
        r = make(dimensions=[f"a{i}" for i in range(axes)], samples=[row] * rows, start_pip=-5)
        assert r.sample_count == rows and r.sample(rows - 6) == row
        refused(SHAPE, dimensions=[f"a{i}" for i in range(axes)], samples=[row] * (rows + 1))

    def test_span_must_end_below_2_to_the_31(self):
        assert make(samples=[[0.5]], start_pip=INT32_MAX - 1).sample(INT32_MAX - 1) == [0.5]
        refused(SHAPE, samples=[[0.5]] * 2, start_pip=INT32_MAX - 1)
        refused(SHAPE, samples=[[0.5]], start_pip=INT32_MAX)


class TestValues:
    @pytest.mark.parametrize("value", [ABOVE_ONE, -ABOVE_ONE, 2.0, math.nan, math.inf, -math.inf])
    def test_refused(self, value):
        refused(SAMPLE, dimensions=["x", "y"], samples=[[0.0, 0.0], [0.0, value]])

    def test_ragged(self):
        refused(RAGGED, dimensions=["x", "y"], samples=[[0.1, 0.2], [0.3]])
        refused(RAGGED, dimensions=["x", "y"], samples=[[0.1, 0.2], [0.3, 0.4, 0.5]])


class TestOrderOfChecks:
    @pytest.mark.parametrize("kw, message", [
        (dict(name="Bad", bpm=0, dimensions=[], samples=[]), IDENTIFIER),
        (dict(bpm=0, dimensions=[], samples=[]), TEMPO),
        (dict(dimensions=["x", "x"], samples=[]), SHAPE),
        (dict(dimensions=["Bad"], samples=[[0.0]] * 2, start_pip=INT32_MAX), SHAPE),
        (dict(dimensions=["x", "x"], samples=[[2.0]]), DUPLICATE),
        (dict(dimensions=["x", "Bad"], samples=[[2.0]]), IDENTIFIER),
        (dict(dimensions=["x", "x", "Bad"]), DUPLICATE),
        (dict(dimensions=["Bad", "x", "x"]), IDENTIFIER),
        (dict(dimensions=["x", "y"], samples=[[2.0, 0.0], [0.3]]), SAMPLE),
        (dict(dimensions=["x", "y"], samples=[[0.1, 0.2], [0.3], [2.0, 0.0]]), RAGGED),
        (dict(dimensions=["x", "y"], samples=[[0.1, 0.2], [2.0]]), RAGGED),
    ])
    def test_first_failing_check_decides(self, kw, message):
        refused(message, **kw)

    def test_conversion_comes_before_every_check(self):
        with pytest.raises(TypeError):
            make(name="Bad", bpm=0, samples=[[0.0], ["0.5"]])


def gen(items):
    yield from items


class TestConversions:
    @pytest.mark.parametrize("dimensions, samples, expected", [
        (("x", "y"), ((0.1, 0.2), (0.3, 0.4)), [[0.1, 0.2], [0.3, 0.4]]),
        (gen(["x", "y"]), gen([[0.1, 0.2]]), [[0.1, 0.2]]),
        ({"x": 0, "y": 1}.keys(), zip([0.1, 0.3], [0.2, 0.4]), [[0.1, 0.2], [0.3, 0.4]]),
        (["x"], map(lambda v: {v}, [0.5, -0.5]), [[0.5], [-0.5]]),
        (["x"], [frozenset([1]), {0: 2}.keys(), {0: -1}.values()], [[1.0], [0.0], [-1.0]]),
        (["x"], [[True], [Fraction(1, 4)], [Decimal("0.5")], [range(3)[1]]], [[1.0], [0.25], [0.5], [1.0]]),
    ])
    def test_accepted(self, dimensions, samples, expected):
        r = SampledRecording("rec", dimensions, samples, 120)
        assert [r.sample(p) for p in range(r.sample_count)] == expected

    @pytest.mark.parametrize("kw", [
        dict(dimensions="x"), dict(samples="a"), dict(samples=b"a"), dict(samples=["a"]),
        dict(samples=[b"\x00"]), dict(samples=[["0.5"]]), dict(samples=[[None]]), dict(samples=[[10**400]]),
        dict(bpm="120"), dict(name=1), dict(start_pip=1.0), dict(start_pip=2**31), dict(start_pip=-(2**31) - 1),
    ])
    def test_refused(self, kw):
        with pytest.raises(TypeError):
            make(**kw)

    def test_start_pip_converts_non_float_numbers(self):
        assert [make(start_pip=v).start_pip for v in (True, Decimal(3), range(5)[4])] == [1, 3, 4]

    @pytest.mark.parametrize("pip, ok", [(True, True), (range(2)[1], True), (1.0, False),
                                         (Decimal(1), False), (2**31, False), (-(2**31) - 1, False)])
    def test_pip_is_a_strict_int(self, pip, ok):
        r = make(samples=[[0.1], [0.2]])
        if ok:
            assert r.sample(pip) == [0.2]
        else:
            with pytest.raises(TypeError):
                r.sample(pip)

    def test_conversion_that_shrinks_the_rows_stays_in_bounds(self):
        rows = []

        class Shrinking:
            def __float__(self):
                rows.clear()
                row.clear()
                return 0.5

        row = [Shrinking(), 0.1, 0.2]
        rows.extend([row, [0.3, 0.4, 0.5], [0.6, 0.7, 0.8]])
        r = make(dimensions=["x"], samples=rows)
        assert (r.sample_count, r.sample(0)) == (1, [0.5])


class TestUnbuiltInstancesAndPickling:
    @pytest.mark.parametrize("use", [
        lambda r: r.name, lambda r: r.dimensions, lambda r: r.sample_count, lambda r: r.bpm,
        lambda r: r.beat_zero_seconds, lambda r: r.start_pip, lambda r: r.sample(0),
        lambda r: pickle.dumps(r, 0), copy.copy,
    ])
    def test_members_of_an_instance_never_initialised_refuse(self, use):
        r = SampledRecording.__new__(SampledRecording)
        with pytest.raises(TypeError):
            use(r)

    @pytest.mark.parametrize("other", [gesturon.bounce(0), 1, None])
    def test_members_refuse_other_objects_as_self(self, other):
        with pytest.raises(TypeError):
            SampledRecording.sample(other, 0)
        with pytest.raises(TypeError):
            SampledRecording.name.fget(other)

    def test_subclass_instances_are_served(self):
        class Take(SampledRecording):
            pass

        assert Take("take", ["x"], [[0.5]], 60).sample(0) == [0.5]
        with pytest.raises(TypeError):
            Take.__new__(Take).sample(0)

    def test_late_init_builds_and_a_second_init_is_refused(self):
        r = SampledRecording.__new__(SampledRecording)
        with pytest.raises(ValueError, match=IDENTIFIER):
            r.__init__("Late", ["x"], [[0.5]], 60)
        with pytest.raises(TypeError):
            r.name
        r.__init__("late", ["x"], [[0.5]], 60)
        with pytest.raises(TypeError, match="already built"):
            r.__init__("other", ["y"], [[0.1], [0.2]], 90)
        assert (r.name, r.dimensions, r.sample_count, r.bpm, r.sample(0)) == ("late", ["x"], 1, 60.0, [0.5])

    @pytest.mark.parametrize("copier", [
        *(lambda r, p=p: pickle.dumps(r, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
        copy.copy, copy.deepcopy,
    ])
    def test_pickling_and_copying_refused(self, copier):
        with pytest.raises(TypeError, match="cannot pickle 'gesturon.SampledRecording' object"):
            copier(make())
