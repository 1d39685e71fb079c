"""Whole periods and any spans of pips as NumPy arrays.

    from gesturon_tools import arrays
    rows = arrays.table("lfo_breathe")                 # (256, 3): pip 0..255
    leds = arrays.frames("helix", pips)                # (n, 3) for n pips

`table(pattern)` is a pattern's period as a read-only float64 array of
shape (period, 3), row i holding x, y and z at pip i. It is built once,
through the module's own `sample`, and cached, so every value is the one
`sample` returns, to the last bit. `frames(pattern, pips)` gathers the rows
of any integer pips, negative ones included, from that table: the result
has the shape of `pips` plus a last axis of three and equals `sample` at
each pip.

A pattern is a catalogue name, a name from a `PatternLibrary` given as
`source` (its own patterns and the built-in ones), or a `SampledPattern`.

Pips are the module's: signed 32-bit integers, wrapped into the period as
the module wraps them (row `pip mod period`, so pip -1 is the last row).
A pip outside -2**31..2**31-1 is refused with TypeError, as `sample`
refuses it, rather than wrapped into a place the module would never give
it; so are pips that are not integers (float arrays). Booleans count as
the integers 0 and 1, as they do for `sample`.

The cached tables are read-only: writing to one raises ValueError, so no
caller can change what the next one reads. `frames` always returns a new,
writable array. Tables of built-in patterns live as long as the process
(all 1731 together take about 24 MB); those of a library or a
`SampledPattern` live as long as that object.

This module needs NumPy (`pip install 'gesturon[arrays]'`); nothing else
in the companion does.
"""

from __future__ import annotations

import itertools
import operator
import weakref
from typing import TYPE_CHECKING, Any, Callable, Union

try:
    import numpy as np
except ImportError:  # pragma: no cover - exercised in a subprocess without NumPy
    raise ImportError("gesturon_tools.arrays needs NumPy: pip install 'gesturon[arrays]'") from None

import gesturon

from .catalogue import INT32_MAX, INT32_MIN, Source

_native_gather: Callable[[Any, Any, Any], bool] | None
_native_rows: Callable[[Callable[..., Any], tuple[Any, ...], Any], None] | None
try:
    from . import _gather
    _native_gather, _native_rows = _gather.gather, _gather.sample_rows
except ImportError:  # a source tree whose native part was never built: NumPy alone
    _native_gather = _native_rows = None

if TYPE_CHECKING:
    from numpy.typing import ArrayLike, NDArray

__all__ = ["frames", "table"]

# x, y, z of a position: of the module's own Offset3 by its method itself
# (quicker than looking the method up on every position), of any other
# source's positions by name.
OFFSET3_AS_TUPLE = gesturon.Offset3.as_tuple
AS_TUPLE = operator.methodcaller("as_tuple")

Pattern = Union[str, gesturon.SampledPattern]

_builtin: dict[str, NDArray[np.float64]] = {}
_builtin_periods: dict[str, int] = {}
# Per library (or other source) and per caller-made pattern, for as long as
# that object lives.
_by_source: weakref.WeakKeyDictionary[Any, tuple[dict[str, int], dict[str, NDArray[np.float64]]]] = \
    weakref.WeakKeyDictionary()
_by_pattern: weakref.WeakKeyDictionary[gesturon.SampledPattern, NDArray[np.float64]] = \
    weakref.WeakKeyDictionary()


def _build(sample: Callable[..., Any], head: tuple[Any, ...], period: int,
           as_tuple: Callable[[Any], tuple[float, float, float]] = OFFSET3_AS_TUPLE) -> NDArray[np.float64]:
    """Rows 0..period-1 of `sample(*head, pip)`, frozen: one call a row, as
    a Python loop would make them, but looped natively where the companion's
    native part is built (a third of the time of the quickest loop Python
    has, a flat iteration in C over the positions' tuples)."""
    if _native_rows is not None:
        rows = np.empty((period, 3))
        _native_rows(sample, head, rows)
    else:
        positions = map(sample, *(itertools.repeat(value) for value in head), range(period))
        values = itertools.chain.from_iterable(map(as_tuple, positions))
        rows = np.fromiter(values, dtype=np.float64, count=3 * period).reshape(period, 3)
    rows.flags.writeable = False
    return rows


def _periods(source: Source) -> dict[str, int]:
    return {record["name"]: int(record["period_pips"]) for record in source.catalogue()}


def _builtin_period(name: str) -> int | None:
    if not _builtin_periods:
        _builtin_periods.update(_periods(gesturon))
    return _builtin_periods.get(name)


def _builtin_table(name: str) -> NDArray[np.float64]:
    rows = _builtin.get(name)
    if rows is not None:
        return rows
    period = _builtin_period(name)
    if period is None:
        gesturon.sample(name, 0)  # the module's own error for an unknown name
        raise ValueError(f"Unknown gesturon: {name}")  # pragma: no cover
    rows = _builtin[name] = _build(gesturon.sample, (name,), period)
    return rows


def table(pattern: Pattern, source: Source | None = None) -> NDArray[np.float64]:
    """The period of `pattern` as a read-only (period, 3) float64 array.

    `pattern`: a name in `source` (default: the built-in catalogue; a
    `PatternLibrary` adds its own patterns), or a `SampledPattern`. An
    unknown name raises what the source's `sample` raises (ValueError
    "Unknown gesturon: <name>")."""
    if isinstance(pattern, gesturon.SampledPattern):
        rows = _by_pattern.get(pattern)
        if rows is None:
            count = pattern.period_pips
            rows = _by_pattern[pattern] = _build(pattern.sample, (), count)
        return rows
    if not isinstance(pattern, str):
        raise TypeError(f"a pattern is a name or a SampledPattern, not {type(pattern).__name__}")
    if source is None or source is gesturon:
        return _builtin_table(pattern)
    try:
        periods, cached = _by_source[source]
    except KeyError:
        periods, cached = _periods(source), {}
        try:
            _by_source[source] = periods, cached
        except TypeError:  # a source that cannot be referred to weakly: built, not kept
            pass
    rows = cached.get(pattern)
    if rows is not None:
        return rows
    if isinstance(source, gesturon.PatternLibrary) and _builtin_period(pattern) is not None:
        # A library samples built-in names exactly as the module does.
        return _builtin_table(pattern)
    period = periods.get(pattern)
    if period is None:
        source.sample(pattern, 0)  # the source's own error for an unknown name
        raise ValueError(f"Unknown gesturon: {pattern}")
    own = isinstance(source, gesturon.PatternLibrary)
    rows = cached[pattern] = _build(source.sample, (pattern,), period, OFFSET3_AS_TUPLE if own else AS_TUPLE)
    return rows


def wrapped(pips: ArrayLike, period: int) -> NDArray[Any]:
    """Row indices of `pips` in a period: pip mod period, 0..period-1,
    after refusing what is not a 32-bit integer pip."""
    at = np.asarray(pips)
    kind, size = at.dtype.kind, at.dtype.itemsize
    if kind not in "biu":
        raise TypeError(f"pips must be integers, not {at.dtype}")
    if at.size and (kind == "u" and size >= 4 or kind == "i" and size > 4):
        low, high = int(at.min()), int(at.max())
        if low < INT32_MIN or high > INT32_MAX:
            bad = low if low < INT32_MIN else high
            raise TypeError(f"pip {bad} is outside the pip range {INT32_MIN}..{INT32_MAX}")
    if at.ndim == 0:  # one pip: worked out as an array of one
        return wrapped(at.reshape(1), period).reshape(())
    power_of_two = period & (period - 1) == 0
    if kind != "i" or size < 4 or size > 4 and not power_of_two:
        # Every value fits, as checked. Wider pips are narrowed for the
        # division, which NumPy does in 32 bits at well over twice the
        # speed of 64; a mask is as quick in either width, and needs no
        # narrowing pass.
        at = at.astype(np.int32)
    if power_of_two:  # the two's-complement mask
        # (NumPy's own types differ between releases in what this returns.)
        masked: NDArray[Any] = np.bitwise_and(at, period - 1)
        return masked
    # pip - floor(pip / period) * period, by a division NumPy does quickly
    # (by a multiplication and shifts, the divisor being the same for all);
    # where the product leaves the 32-bit range, two's-complement wrapping
    # still leaves the exact remainder, which lies in 0..period-1.
    index: NDArray[Any] = np.floor_divide(at, period)
    index *= period
    np.subtract(at, index, out=index)
    return index


def frames(pattern: Pattern, pips: ArrayLike, source: Source | None = None) -> NDArray[np.float64]:
    """x, y, z of `pattern` at every pip of `pips` (any shape of integers):
    a new float64 array of shape `pips.shape + (3,)`."""
    rows = table(pattern, source)
    at = np.asarray(pips)
    if _native_gather is not None and at.dtype.kind == "i" and at.dtype.itemsize in (4, 8) and at.dtype.isnative:
        # One pass that wraps each pip as it reads it, without an array of
        # row indices in between.
        if not at.flags.c_contiguous:
            at = at.copy()
        out = np.empty(at.shape + (3,))
        if _native_gather(rows, at, out):
            return out
        # Some pip lies outside the pip range: refused as below.
    return np.take(rows, wrapped(at, len(rows)), axis=0)
