"""The companion's native gather: each pip wrapped into the period exactly
as pip mod period, for periods of every kind, and arrays.frames the same
with it as without it."""

import numpy as np
import pytest

import gesturon
from gesturon_tools import _gather, arrays

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
# Every period in the catalogue, and others: 1, primes, one below and above
# powers of two, and large ones.
PERIODS = sorted({r["period_pips"] for r in gesturon.catalogue()}
                 | {1, 2, 3, 5, 7, 63, 65, 1023, 1025, 4095, 65535, 65537, 99991, 262144, 1_000_003})


def pips_for(period):
    rng = np.random.default_rng(period)
    edges = [INT32_MIN, INT32_MIN + 1, -period - 1, -period, -1, 0, 1, period - 1, period,
             INT32_MAX - period, INT32_MAX - 1, INT32_MAX]
    edges += [k * period + d for k in (-(2**31) // period, 2**31 // period, -7, 7) for d in (-1, 0, 1)]
    pips = np.array([p for p in edges if INT32_MIN <= p <= INT32_MAX], dtype=np.int64)
    return np.concatenate([pips, rng.integers(INT32_MIN, INT32_MAX, 20_000, endpoint=True)])


@pytest.mark.parametrize("period", PERIODS)
@pytest.mark.parametrize("dtype", [np.int32, np.int64])
def test_each_pip_lands_on_row_pip_mod_period(period, dtype):
    rows = np.zeros((period, 3))
    rows[:, 0] = np.arange(period)
    rows[:, 1] = -np.arange(period)
    pips = pips_for(period)
    out = np.full((len(pips), 3), np.nan)
    assert _gather.gather(rows, pips.astype(dtype), out)
    expected = np.remainder(pips, period)
    assert np.array_equal(out[:, 0], expected) and np.array_equal(out[:, 1], -expected)
    assert not out[:, 2].any()


@pytest.mark.parametrize("bad", [INT32_MAX + 1, INT32_MIN - 1, 2**63 - 1, -(2**63)])
def test_a_pip_outside_the_range_is_reported(bad):
    rows = np.zeros((160, 3))
    pips = np.array([0, bad, 5], dtype=np.int64)
    assert not _gather.gather(rows, pips, np.empty((3, 3)))
    with pytest.raises(TypeError, match=f"pip {bad} is outside the pip range"):
        arrays.frames("euclid_2_5", pips)


@pytest.mark.parametrize("args, message", [
    ((np.zeros((4, 2)), np.zeros(3, dtype=np.int64), np.empty((3, 3))), "table must be"),
    ((np.zeros((4, 3), dtype=np.float32), np.zeros(3, dtype=np.int64), np.empty((3, 3))), "table must be"),
    ((np.zeros((0, 3)), np.zeros(3, dtype=np.int64), np.empty((3, 3))), "table must be"),
    ((np.zeros((4, 3)), np.zeros(3, dtype=np.int64), np.empty((2, 3))), "out must hold"),
    ((np.zeros((4, 3)), np.zeros(3, dtype=np.uint32), np.empty((3, 3))), "pips must be"),
    ((np.zeros((4, 3)), np.zeros(6, dtype=np.int64)[::2], np.empty((3, 3))), "pips must be C-contiguous"),
])
def test_buffers_it_cannot_read_are_refused(args, message):
    with pytest.raises(ValueError, match=message):
        _gather.gather(*args)


@pytest.mark.parametrize("pips", [
    np.arange(-1000, 1000, dtype=np.int64)[::3],                      # strided
    np.arange(-600, 600, dtype=np.int32).reshape(3, 20, 20),          # several axes
    np.arange(-100, 100, dtype=np.int64).astype(">i8"),               # the other byte order
    np.int64(-2**31),
], ids=["strided", "3-d", "big-endian", "0-d"])
@pytest.mark.parametrize("name", ["circle", "euclid_2_5"])  # a mask, a division
def test_frames_is_the_same_with_and_without_the_native_gather(monkeypatch, name, pips):
    native = arrays.frames(name, pips)
    monkeypatch.setattr(arrays, "_native_gather", None)
    numpy_only = arrays.frames(name, pips)
    assert native.shape == numpy_only.shape == np.shape(pips) + (3,)
    assert np.array_equal(native.view(np.int64), numpy_only.view(np.int64))
    assert native.flags.writeable
