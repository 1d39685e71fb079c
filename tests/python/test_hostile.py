"""The module against argument objects that fight back: names that move
while a call reads them, objects built twice, sequences that lie about
their length or drop what they handed out. Run under the sanitizers too, so
that any read of freed memory fails the run even where the result looks
right."""

import gc

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import gesturon
from hostile import PREFIX, Driver

ROWS = [(0.1, 0.2, 0.3), (0.4, 0.5, 0.6)]


def own_library():
    return gesturon.PatternLibrary([gesturon.SampledPattern("own_a", "d", ROWS)])


SAMPLERS = {
    "module": lambda: gesturon.sample,
    "library": lambda: own_library().sample,
}


@pytest.mark.parametrize("sampler", SAMPLERS.values(), ids=SAMPLERS.keys())
@pytest.mark.parametrize("length", [1, 4000])
def test_a_name_grown_by_the_pip_is_read_as_given(sampler, length):
    name = bytearray(b"Q" * length)
    keep = []

    class Pip:
        def __index__(self):
            name.extend(b"\0" * 100_000)
            keep.append(bytearray(b"SECRET-" * 571))
            return 0

    with pytest.raises(ValueError) as info:
        sampler()(name, Pip())
    assert str(info.value).encode("utf-8", "surrogateescape") == PREFIX + b"Q" * length


@pytest.mark.parametrize("sampler", SAMPLERS.values(), ids=SAMPLERS.keys())
def test_a_name_emptied_by_the_pip_is_still_found(sampler):
    name = bytearray(b"own_a" if sampler is SAMPLERS["library"] else b"bounce")

    class Pip:
        def __index__(self):
            del name[:]
            return 16

    expected = (own_library().sample("own_a", 16) if name == b"own_a" else gesturon.bounce(16)).as_tuple()
    assert sampler()(name, Pip()).as_tuple() == expected


BUILDERS = {
    "library": (lambda: own_library(), ([],), lambda o: o.sample("own_a", 1).as_tuple()),
    "pattern": (lambda: gesturon.SampledPattern("own_b", "d", ROWS), ("other", "e", [(0, 0, 0)]),
                lambda o: (o.name, o.description, o.period_pips, o.sample(1).as_tuple())),
    "recording": (lambda: gesturon.SampledRecording("own_c", ["x"], [[0.5], [0.25]], 120),
                  ("other", ["y"], [[0.1]], 60), lambda o: (o.name, o.dimensions, o.sample_count, o.sample(1))),
}


@pytest.mark.parametrize("make,args,state", BUILDERS.values(), ids=BUILDERS.keys())
def test_a_built_object_refuses_a_second_init_and_stays_as_it_was(make, args, state):
    obj = make()
    before = state(obj)
    with pytest.raises(TypeError, match=r"^gesturon\.\w+ object is already built; a built object cannot be built "
                                        r"again$"):
        obj.__init__(*args)
    with pytest.raises(TypeError, match="already built"):
        type(obj).__init__(obj, *args)
    assert state(obj) == before


@pytest.mark.parametrize("make,args,state", BUILDERS.values(), ids=BUILDERS.keys())
def test_a_second_init_from_inside_a_method_call_is_refused(make, args, state):
    obj = make()
    before = state(obj)
    refused = []

    class Pip:
        def __index__(self):
            try:
                obj.__init__(*args)
            except TypeError as error:
                refused.append(error)
            return 1

    if isinstance(obj, gesturon.PatternLibrary):
        obj.sample("own_a", Pip())
    else:
        obj.sample(Pip())
    assert len(refused) == 1 and state(obj) == before


def test_an_init_run_while_the_same_object_is_being_built_wins_and_the_outer_one_is_refused():
    pattern = gesturon.SampledPattern.__new__(gesturon.SampledPattern)

    class Inner:
        def __float__(self):
            pattern.__init__("inner", "d", ROWS)
            return 0.0

    with pytest.raises(TypeError, match="already built"):
        gesturon.SampledPattern.__init__(pattern, "outer", "d", [(Inner(), 0.0, 0.0)])
    assert (pattern.name, pattern.period_pips) == ("inner", 2)


def test_patterns_handed_out_once_by_a_generator_are_copied_before_they_are_freed():
    def fresh():
        for i, x in enumerate([0.25, 0.5, 0.75]):
            yield gesturon.SampledPattern(f"fresh_{i}", "d", [(x, 0.0, 0.0)])
            gc.collect()

    library = gesturon.PatternLibrary(fresh())
    assert [library.sample(f"fresh_{i}", 0).x for i in range(3)] == [0.25, 0.5, 0.75]


class Claims:
    """A sequence whose length is `claimed` while it holds `items`."""

    def __init__(self, items, claimed):
        self.items, self.claimed = items, claimed

    def __len__(self):
        return self.claimed

    def __getitem__(self, i):
        return self.items[i]


@pytest.mark.parametrize("items,claimed", [
    ([0.5, 0.5], 3),        # fewer than it claims: never a third value read from nowhere
    ([0.5] * 4, 3),         # more than it claims
])
def test_a_position_is_exactly_three_numbers_whatever_its_length_claims(items, claimed):
    with pytest.raises(TypeError):
        gesturon.SampledPattern("liar", "d", [Claims(items, claimed)])


@pytest.mark.parametrize("triple", [
    lambda: (0.5, 0.25, 0.125), lambda: [0.5, 0.25, 0.125], lambda: (x for x in (0.5, 0.25, 0.125)),
    lambda: {0.5: 1, 0.25: 2, 0.125: 3}.keys(),
], ids=["tuple", "list", "generator", "dict view"])
def test_positions_in_every_form_the_module_reads_are_still_read(triple):
    assert gesturon.SampledPattern("form", "d", [triple()]).sample(0).as_tuple() == (0.5, 0.25, 0.125)


@pytest.mark.parametrize("build", [
    lambda seq: gesturon.SampledPattern("huge", "d", seq([(0.5, 0.0, 0.0)])),
    lambda seq: gesturon.PatternLibrary(seq([gesturon.SampledPattern("huge", "d", ROWS)])),
    lambda seq: gesturon.SampledRecording("huge", seq(["x"]), [seq([0.5])], 120),
], ids=["samples", "patterns", "dimensions and row"])
def test_a_huge_claimed_length_reserves_nothing_for_it(build):
    import sys

    class Huge(Claims):
        def __init__(self, items):
            super().__init__(items, sys.maxsize // 2)

    assert build(Huge) is not None


@settings(max_examples=300, deadline=None, suppress_health_check=list(HealthCheck))
@given(data=st.data())
def test_no_hostile_argument_changes_a_built_object_or_reads_freed_memory(data):
    Driver(lambda n: data.draw(st.integers(0, n - 1))).call()
