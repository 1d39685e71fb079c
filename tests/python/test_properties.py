"""Property-based tests of every entry point of the module under input nobody
planned for.

Valid input is checked against a small model written here (the wrap rule,
the exact values a caller gave, the listings a library must produce);
invalid input must raise the exact exception type and message, chosen by the
first failing check in the order the constructors check. The default profile
keeps every property to a couple of hundred examples; `--hypothesis-profile
soak` (see conftest.py) runs 10^5 each.
"""

import math
import struct

import pytest
from hypothesis import assume, given
from hypothesis import strategies as st

import gesturon
from reference import PROCEDURAL, same_bits

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
CATALOGUE = gesturon.catalogue()
BUILTIN = {r["name"]: r for r in CATALOGUE}
PROCEDURAL_NAMES = [name for name, *_ in PROCEDURAL]
STORED_NAMES = [r["name"] for r in CATALOGUE[15:]]

pips = st.integers(INT32_MIN, INT32_MAX)
out_of_range_ints = st.one_of(st.integers(max_value=INT32_MIN - 1), st.integers(min_value=INT32_MAX + 1))
non_ints = st.one_of(st.floats(allow_nan=True), st.text(max_size=3), st.none(), st.lists(st.integers(), max_size=2),
                     st.complex_numbers())

# Components a caller may give: anything in [-1, 1], the limits, subnormals
# and negative zero included.
in_range = st.one_of(st.floats(-1.0, 1.0), st.sampled_from([-1.0, 1.0, -0.0, 0.0, 5e-324, -5e-324,
                                                           math.nextafter(1.0, 0.0)]))
out_of_range_floats = st.one_of(st.sampled_from([math.nan, math.inf, -math.inf, math.nextafter(1.0, 2.0),
                                                 -math.nextafter(1.0, 2.0)]),
                                st.floats(min_value=1.0, exclude_min=True, allow_infinity=True),
                                st.floats(max_value=-1.0, exclude_max=True, allow_infinity=True))
triples = st.tuples(in_range, in_range, in_range)

FIRST = "abcdefghijklmnopqrstuvwxyz"
REST = FIRST + "0123456789_"
identifiers = st.builds(lambda a, b: a + b, st.sampled_from(FIRST), st.text(REST, max_size=127))
# Names that break the identifier rule in one place: empty, too long, a bad
# first byte, or a bad byte anywhere (upper case, punctuation, NUL, non-ASCII).
bad_bytes = st.sampled_from(list("ABZ-. /\x00\x7fé\u2014") + ["\U0001f600"])
bad_identifiers = st.one_of(
    st.just(""),
    st.builds(lambda a, b: a + b, st.sampled_from(FIRST), st.text(REST, min_size=128, max_size=140)),
    st.builds(lambda a, b: a + b, st.sampled_from("0123456789_") | bad_bytes, st.text(REST, max_size=10)),
    st.builds(lambda a, c, b: a + c + b, identifiers.map(lambda s: s[:60]), bad_bytes, st.text(REST, max_size=10)),
)


def bits(values):
    return [struct.pack("<d", v) for v in values]


def raises(exc_type, message, call):
    with pytest.raises(exc_type) as info:
        call()
    assert str(info.value) == message


# --- procedural functions and sample by name ----------------------------------

@pytest.mark.parametrize("name,period,dims,description,reference", PROCEDURAL, ids=PROCEDURAL_NAMES)
@given(pip=pips)
def test_procedural_functions_match_the_model_at_any_pip(name, period, dims, description, reference, pip):
    f = getattr(gesturon, name)
    got = f(pip).as_tuple()
    assert same_bits(got, reference(pip))
    assert same_bits(got, f(pip % period).as_tuple())
    assert same_bits(got, gesturon.sample(name, pip).as_tuple())


@given(name=st.sampled_from(STORED_NAMES), pip=pips)
def test_stored_patterns_wrap_by_the_non_negative_remainder(name, pip):
    period = BUILTIN[name]["period_pips"]
    assert gesturon.sample(name, pip).as_tuple() == gesturon.sample(name, pip % period).as_tuple()


@given(name=st.sampled_from(PROCEDURAL_NAMES), bad=st.one_of(out_of_range_ints, non_ints))
def test_procedural_functions_refuse_what_is_not_a_32_bit_int(name, bad):
    with pytest.raises(TypeError):
        getattr(gesturon, name)(bad)


@given(name=st.one_of(st.text(max_size=40), st.binary(max_size=40)))
def test_unknown_names_are_reported_with_every_byte(name):
    """The message carries the name as given, embedded NULs and bytes that are
    not UTF-8 included (those come back as surrogate escapes)."""
    raw = name.encode("utf-8", "surrogatepass") if isinstance(name, str) else name
    known = raw.decode("utf-8", "replace") in BUILTIN
    assume(not known)
    if isinstance(name, str) and any(0xD800 <= ord(c) <= 0xDFFF for c in name):
        with pytest.raises(TypeError):  # a lone surrogate has no UTF-8 encoding
            gesturon.sample(name, 0)
        return
    with pytest.raises(ValueError) as info:
        gesturon.sample(name, 0)
    message = str(info.value).encode("utf-8", "surrogateescape")
    assert message == b"Unknown gesturon: " + raw


@given(record=st.sampled_from(CATALOGUE), pip=pips)
def test_names_are_found_as_str_bytes_and_bytearray(record, pip):
    name = record["name"]
    expected = gesturon.sample(name, pip).as_tuple()
    assert gesturon.sample(name.encode(), pip).as_tuple() == expected
    assert gesturon.sample(bytearray(name.encode()), pip).as_tuple() == expected


@given(record=st.sampled_from(CATALOGUE), cut=st.integers(1, 4))
def test_near_misses_of_a_name_are_unknown(record, cut):
    for miss in (record["name"][:-cut], record["name"] + "_", record["name"].upper(), " " + record["name"]):
        if miss not in BUILTIN:
            raises(ValueError, "Unknown gesturon: " + miss, lambda: gesturon.sample(miss, 0))


def test_catalogue_is_a_fresh_list_of_four_key_dicts():
    first, second = gesturon.catalogue(), gesturon.catalogue()
    assert first == second and first is not second
    assert all(list(r) == ["name", "description", "period_pips", "dimensions"] for r in first)
    first[0]["name"] = "changed"
    assert gesturon.catalogue()[0]["name"] == "bounce"


# --- Offset3 --------------------------------------------------------------------

@given(pip=pips)
def test_offset3_is_read_only_and_fresh(pip):
    p, q = gesturon.helix(pip), gesturon.helix(pip)
    assert p is not q and p != q and p.as_tuple() == q.as_tuple() == (p.x, p.y, p.z)
    for attribute in ("x", "y", "z", "other"):
        with pytest.raises(AttributeError):
            setattr(p, attribute, 0.0)
    with pytest.raises(TypeError):
        gesturon.Offset3.__new__(gesturon.Offset3)


# --- SampledPattern -------------------------------------------------------------

def model_dimensions(rows):
    if any(z != 0.0 for _, _, z in rows):
        return 3
    return 2 if any(y != 0.0 for _, y, _ in rows) else 1


@given(name=identifiers, description=st.text(max_size=50), rows=st.lists(triples, min_size=1, max_size=300),
       pip=pips)
def test_a_pattern_gives_back_exactly_what_it_was_given(name, description, rows, pip):
    p = gesturon.SampledPattern(name, description, rows)
    assert (p.name, p.description, p.period_pips) == (name, description, len(rows))
    assert bits(p.sample(pip).as_tuple()) == bits(rows[pip % len(rows)])
    library = gesturon.PatternLibrary([p]) if name not in BUILTIN else None
    if library is not None:
        assert library.catalogue()[-1] == {"name": name, "description": description, "period_pips": len(rows),
                                           "dimensions": model_dimensions(rows)}
        assert bits(library.sample(name, pip).as_tuple()) == bits(rows[pip % len(rows)])


@given(bad_name=bad_identifiers, rows=st.lists(triples, max_size=3))
def test_the_name_is_checked_before_the_samples(bad_name, rows):
    raises(ValueError, "Invalid pattern name", lambda: gesturon.SampledPattern(bad_name, "", rows))


@given(rows=st.lists(triples, max_size=5), bad=out_of_range_floats, where=st.integers(0, 2), at=st.integers(0, 5))
def test_a_bad_component_anywhere_is_refused(rows, bad, where, at):
    row = [0.0, 0.0, 0.0]
    row[where] = bad
    rows.insert(min(at, len(rows)), tuple(row))
    raises(ValueError, "Pattern samples must be finite and within [-1, 1]",
           lambda: gesturon.SampledPattern("p", "", rows))


@given(rows=st.lists(st.lists(in_range, min_size=0, max_size=5).filter(lambda r: len(r) != 3), min_size=1,
                     max_size=3))
def test_rows_that_are_not_triples_are_type_errors(rows):
    with pytest.raises(TypeError):
        gesturon.SampledPattern("p", "", rows)


@given(pip=st.one_of(out_of_range_ints, non_ints))
def test_pattern_sample_takes_only_32_bit_ints(pip):
    p = gesturon.SampledPattern("p", "", [(0.5, 0.0, 0.0)])
    with pytest.raises(TypeError):
        p.sample(pip)


# --- PatternLibrary -------------------------------------------------------------

def _pattern(name, n):
    return gesturon.SampledPattern(name, "", [(0.0, 0.0, 0.0)] * n)


@given(names=st.lists(identifiers.filter(lambda n: n not in BUILTIN), min_size=1, max_size=6),
       sizes=st.lists(st.integers(1, 20), min_size=6, max_size=6))
def test_a_library_keeps_its_patterns_in_order_or_names_the_first_duplicate(names, sizes):
    patterns = [_pattern(n, sizes[i]) for i, n in enumerate(names)]
    seen, duplicate = set(), None
    for n in names:
        if n in seen:
            duplicate = n
            break
        seen.add(n)
    if duplicate is not None:
        raises(ValueError, "Duplicate pattern name: " + duplicate, lambda: gesturon.PatternLibrary(patterns))
        return
    listing = gesturon.PatternLibrary(patterns).catalogue()
    assert listing[:len(CATALOGUE)] == CATALOGUE
    assert [(r["name"], r["period_pips"]) for r in listing[len(CATALOGUE):]] == list(zip(names, sizes))


@given(record=st.sampled_from(CATALOGUE), axis=st.integers(0, 2), row=st.integers(0, 65534),
       change=st.sampled_from(["bit", "description", "period"]))
def test_a_built_in_may_be_repeated_only_exactly(record, axis, row, change):
    name, period = record["name"], record["period_pips"]
    rows = [gesturon.sample(name, k).as_tuple() for k in range(period)]
    same = gesturon.SampledPattern(name, record["description"], rows)
    assert gesturon.PatternLibrary([same]).catalogue() == CATALOGUE
    description = record["description"]
    if change == "bit":
        k = row % period
        values = list(rows[k])
        # One bit of one component, kept within [-1, 1].
        moved = math.nextafter(values[axis], 0.0 if abs(values[axis]) == 1.0 else 1.0)
        values[axis] = moved
        rows[k] = tuple(values)
    elif change == "description":
        description += " "
    else:
        rows = rows + rows[:1]
    other = gesturon.SampledPattern(name, description, rows)
    raises(ValueError, "Cannot override default pattern: " + name, lambda: gesturon.PatternLibrary([other]))


def test_the_pattern_count_limit():
    patterns = [_pattern(f"p{i}", 1) for i in range(1024)]
    assert len(gesturon.PatternLibrary(patterns).catalogue()) == len(CATALOGUE) + 1024
    # 1025 fails on the count first, even when every pattern is the same.
    raises(ValueError, "Too many patterns", lambda: gesturon.PatternLibrary([patterns[0]] * 1025))


@pytest.mark.parametrize("extra", [-1, 0, 1])
def test_the_sample_total_limit(extra):
    sizes = [65535] * 16 + [1048576 - 16 * 65535 + extra]
    if sizes[-1] < 1:
        return
    patterns = [_pattern(f"p{i}", n) for i, n in enumerate(sizes)]
    if extra <= 0:
        gesturon.PatternLibrary(patterns)
    else:
        raises(ValueError, "Pattern pack is too large", lambda: gesturon.PatternLibrary(patterns))


@given(name=st.one_of(st.text(max_size=20), st.binary(max_size=20)), pip=pips)
def test_a_library_looks_up_like_the_catalogue(name, pip):
    assume(name not in ("only_mine", b"only_mine"))
    library = gesturon.PatternLibrary([_pattern("only_mine", 3)])
    try:
        expected = gesturon.sample(name, pip).as_tuple()
    except (ValueError, TypeError) as e:
        with pytest.raises(type(e)) as info:
            library.sample(name, pip)
        assert str(info.value) == str(e)
    else:
        assert library.sample(name, pip).as_tuple() == expected


# --- SampledRecording -----------------------------------------------------------

@given(name=identifiers, axes=st.lists(identifiers, min_size=1, max_size=5, unique=True),
       data=st.data(), start=pips, bpm=st.floats(min_value=3.3376107877608025e-307, allow_infinity=False),
       origin=st.floats(allow_nan=False, allow_infinity=False))
def test_a_recording_answers_exactly_inside_its_span(name, axes, data, start, bpm, origin):
    d = len(axes)
    rows = data.draw(st.lists(st.lists(in_range, min_size=d, max_size=d), min_size=1, max_size=20))
    assume(start + len(rows) < 2**31)
    r = gesturon.SampledRecording(name, axes, rows, bpm, origin, start)
    assert (r.name, r.dimensions, r.sample_count, r.bpm, r.beat_zero_seconds, r.start_pip) == (
        name, axes, len(rows), bpm, origin, start)
    pip = data.draw(st.integers(INT32_MIN, INT32_MAX))
    if start <= pip < start + len(rows):
        assert bits(r.sample(pip)) == bits(rows[pip - start])
    else:
        raises(IndexError, "Pip outside non-looping recording", lambda: r.sample(pip))


def recording_message(name, axes, rows, bpm, origin, start):
    """The message of the first check that fails, in the constructor's order;
    None when the recording is valid."""
    ident = lambda s: bool(s) and len(s.encode()) <= 128 and s[0] in FIRST and all(c in REST for c in s)
    if not ident(name):
        return "Invalid identifier"
    if not (math.isfinite(bpm) and bpm > 0 and math.isfinite(60 / bpm) and 60 / bpm * 0.015625 > 0
            and math.isfinite(origin)):
        return "A finite positive BPM and beat origin are required"
    d = len(axes)
    if d == 0 or not rows or len(rows) > 8388608 // d or start + len(rows) >= 2**31:
        return "Empty recording or recording resource limit exceeded"
    seen = set()
    for axis in axes:
        if not ident(axis):
            return "Invalid identifier"
        if axis in seen:
            return "Duplicate axis"
        seen.add(axis)
    for row in rows:
        if len(row) != d:
            return "Ragged recording"
        if any(not math.isfinite(v) or abs(v) > 1 for v in row):
            return "Invalid sample"
    return None


@given(name=st.one_of(identifiers, bad_identifiers),
       axes=st.lists(st.one_of(st.sampled_from(["x", "y", "z"]), bad_identifiers), max_size=4),
       rows=st.lists(st.lists(st.one_of(in_range, out_of_range_floats), max_size=4), max_size=4),
       bpm=st.one_of(st.floats(), st.sampled_from([0.0, -0.0, 1e-308, 3.3376107877608025e-307, 5e-324])),
       origin=st.one_of(st.floats(), st.just(0.0)),
       start=st.one_of(pips, st.just(INT32_MAX - 1)))
def test_a_recording_fails_on_its_first_broken_check(name, axes, rows, bpm, origin, start):
    expected = recording_message(name, axes, rows, bpm, origin, start)
    build = lambda: gesturon.SampledRecording(name, axes, rows, bpm, origin, start)
    if expected is None:
        assert build().sample_count == len(rows)
    else:
        raises(ValueError, expected, build)


@pytest.mark.parametrize("axes,rows,ok", [
    (1, 8388608, True), (1, 8388609, False), (3, 2796202, True), (3, 2796203, False),
])
def test_the_value_limit(axes, rows, ok):
    names = ["a", "b", "c"][:axes]
    samples = [[0.0] * axes] * rows
    build = lambda: gesturon.SampledRecording("big", names, samples, 120.0)
    if ok:
        assert build().sample_count == rows
    else:
        raises(ValueError, "Empty recording or recording resource limit exceeded", build)


@given(start=st.integers(2**31 - 40, 2**31 - 1), rows=st.integers(1, 40))
def test_the_span_limit(start, rows):
    build = lambda: gesturon.SampledRecording("r", ["x"], [[0.0]] * rows, 120.0, 0.0, start)
    if start + rows < 2**31:
        assert build().sample(start + rows - 1) == [0.0]
    else:
        raises(ValueError, "Empty recording or recording resource limit exceeded", build)


# --- every class: late __init__ and instances that no constructor built ----------

CLASSES = {
    "SampledPattern": (lambda: ("p", "", [(0.5, 0.0, 0.0)]), ("name", "description", "period_pips"),
                       lambda o: o.sample(0)),
    "PatternLibrary": (lambda: ([],), (), lambda o: o.catalogue()),
    "SampledRecording": (lambda: ("r", ["x"], [[0.5]], 120.0),
                         ("name", "dimensions", "sample_count", "bpm", "beat_zero_seconds", "start_pip"),
                         lambda o: o.sample(0)),
}


@pytest.mark.parametrize("class_name", CLASSES)
def test_unbuilt_instances_are_refused_until_built(class_name):
    args, properties, use = CLASSES[class_name]
    cls = getattr(gesturon, class_name)
    bare = cls.__new__(cls)
    for prop in properties:
        with pytest.raises(TypeError):
            getattr(bare, prop)
    with pytest.raises(TypeError):
        use(bare)
    bare.__init__(*args())  # a late __init__ builds it
    use(bare)
