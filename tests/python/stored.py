"""One period of a catalogue pattern as the module samples it, and a check
of such a table against rows a test computes from the pattern's own
construction."""

import functools

import gesturon

# A stored value is its construction rounded to 12 decimals.
STORED = 1e-12


@functools.cache
def periods():
    return {record["name"]: record["period_pips"] for record in gesturon.catalogue()}


@functools.lru_cache(maxsize=256)  # a whole pack's tables at most, not the catalogue's
def _sampled(name):
    return tuple(gesturon.sample(name, k).as_tuple() for k in range(periods()[name]))


def table(name):
    """(x, y, z) of pips 0 to period - 1 of `name`: a list of its own for
    each caller, sampled once for many."""
    return list(_sampled(name))


def axis(name, a):
    """Axis `a` (0 is x) of `name` over its period."""
    return [row[a] for row in _sampled(name)]


def assert_table(name, expected_rows):
    """The table of `name` is `expected_rows`, row for row, each value
    within `STORED`."""
    stored = _sampled(name)
    assert len(stored) == len(expected_rows)
    for k, (got, want) in enumerate(zip(stored, expected_rows)):
        for a in range(3):
            assert abs(got[a] - want[a]) <= STORED, (name, k, "xyz"[a], got, want)
