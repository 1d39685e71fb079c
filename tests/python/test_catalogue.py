"""The built-in catalogue and sampling by name."""

import decimal

import pytest

import gesturon
from gesturon_tools.catalogue import STORED_PACKS
from reference import PROCEDURAL, same_bits

# Packs in catalogue order with their sizes; the packs land in this order, so
# the catalogue always holds the procedural records and a prefix of these.
PACKS = [(pack.name, pack.size) for pack in STORED_PACKS]


@pytest.fixture(scope="module")
def records():
    return gesturon.catalogue()


@pytest.fixture(scope="module")
def stored(records):
    return records[len(PROCEDURAL):]


def test_procedural_records_come_first(records):
    assert [tuple(r.values()) for r in records[:15]] == [
        (name, description, period, dims) for name, period, dims, description, _ in PROCEDURAL
    ]


def test_dict_shape(records):
    for r in records:
        assert list(r) == ["name", "description", "period_pips", "dimensions"]
        assert [type(v) for v in r.values()] == [str, str, int, int]


def test_catalogue_holds_whole_packs_in_order(records):
    sizes, total = [], len(PROCEDURAL)
    for _, size in PACKS:
        if len(records) == total:
            break
        total += size
        sizes.append(size)
    assert len(records) == total, "the catalogue ends inside a pack"
    if sizes:
        assert records[15]["name"] == "lfo_breathe"
        assert records[15]["period_pips"] == 256 and records[15]["dimensions"] == 1
    if len(sizes) == len(PACKS):
        assert len(records) == 1731
        assert records[-1]["name"] == "beat_dembow_push_ricochet"
        assert (records[-1]["period_pips"], records[-1]["dimensions"]) == (512, 3)


def test_each_call_builds_a_fresh_equal_list(records):
    again = gesturon.catalogue()
    assert again == records and again is not records
    again[0]["name"] = "changed"
    again.clear()
    assert gesturon.catalogue() == records


@pytest.mark.parametrize("name,period,dims,description,ref", PROCEDURAL)
def test_sample_by_procedural_name_equals_the_function(name, period, dims, description, ref):
    fn = getattr(gesturon, name)
    for pip in (-(2**31), -period - 3, -1, 0, 1, period // 2, period, 2**31 - 1):
        assert same_bits(gesturon.sample(name, pip).as_tuple(), fn(pip).as_tuple())


def test_sample_arguments():
    expected = gesturon.bounce(5).as_tuple()
    assert gesturon.sample("bounce", 5).as_tuple() == expected
    assert gesturon.sample(name="bounce", pip_count=5).as_tuple() == expected
    assert gesturon.sample(b"bounce", 5).as_tuple() == expected
    assert gesturon.sample(bytearray(b"bounce"), 5).as_tuple() == expected
    assert gesturon.sample("bounce", decimal.Decimal(5)).as_tuple() == expected
    assert gesturon.sample("bounce", True).as_tuple() == gesturon.bounce(1).as_tuple()


@pytest.mark.parametrize("args,kwargs", [
    (("bounce",), {"pip": 3}),
    (("bounce", 3.0), {}),
    (("bounce", 2**31), {}),
    (("bounce", -(2**31) - 1), {}),
    ((3, 3), {}),
    ((None, 3), {}),
    (("bounce",), {}),
    (("bounce", 1, 2), {}),
    ((), {"name": "bounce", "pip_count": 1, "extra": 2}),
])
def test_sample_refuses_unconvertible_arguments(args, kwargs):
    with pytest.raises(TypeError):
        gesturon.sample(*args, **kwargs)


@pytest.mark.parametrize("name", [
    "", "Bounce", "bounce ", " bounce", "boun", "BOUNCE", "a", "zzzzzzzz", "\xff",
    "lfo_breath", "lfo_breathe_", "beat_electro", "accent_walk", "~", "bounce_",
])
def test_unknown_names_are_value_errors_naming_them(name):
    with pytest.raises(ValueError) as info:
        gesturon.sample(name, 0)
    assert str(info.value) == "Unknown gesturon: " + name


def test_an_embedded_nul_does_not_match():
    # The name is compared by length and bytes, not as a C string. (The
    # message is a C string, so it ends at the NUL.)
    with pytest.raises(ValueError, match="^Unknown gesturon: bounce"):
        gesturon.sample("bounce\0", 0)
    with pytest.raises(ValueError, match="^Unknown gesturon: lfo_breathe"):
        gesturon.sample("lfo_breathe\0", 0)


def test_every_catalogue_name_samples_and_wraps(stored):
    for r in stored:
        name, period = r["name"], r["period_pips"]
        first = gesturon.sample(name, 0).as_tuple()
        assert gesturon.sample(name, period).as_tuple() == first
        assert gesturon.sample(name, -period).as_tuple() == first
        assert gesturon.sample(name, -1).as_tuple() == gesturon.sample(name, period - 1).as_tuple()


def test_names_are_unique_and_distinct_from_procedural(records):
    names = [r["name"] for r in records]
    assert len(set(names)) == len(names)
