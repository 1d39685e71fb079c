"""gesturon_tools.arrays against the module's own sample, bit for bit: every
pattern of the catalogue, every kind of integer pip, a library's patterns,
the read-only cache; and the companion without NumPy."""

import gc
import json
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import gesturon
from gesturon_tools import arrays

INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1
CATALOGUE = gesturon.catalogue()


def bits(rows):
    """Rows of (x, y, z) as the integers of their doubles' bits."""
    return np.array(rows, dtype=np.float64).reshape(-1, 3).view(np.int64)


def sampled(sample, pips):
    return bits([sample(int(pip)).as_tuple() for pip in np.ravel(pips)])


def edge_pips(period):
    return np.array([INT32_MIN, INT32_MIN + 1, -period - 1, -period, -1, 0, 1, period - 1,
                     period, 3 * period + 7, INT32_MAX - period, INT32_MAX], dtype=np.int64)


@pytest.mark.parametrize("record", CATALOGUE, ids=[r["name"] for r in CATALOGUE])
def test_table_and_frames_equal_sample_bit_for_bit(record):
    name, period = record["name"], record["period_pips"]
    rows = arrays.table(name)
    assert rows.shape == (period, 3) and rows.dtype == np.float64
    assert np.array_equal(rows.view(np.int64), sampled(lambda p: gesturon.sample(name, p), range(period)))
    pips = edge_pips(period)
    assert np.array_equal(arrays.frames(name, pips).view(np.int64),
                          sampled(lambda p: gesturon.sample(name, p), pips))


@pytest.mark.parametrize("dtype", [np.int8, np.int16, np.int32, np.int64, np.uint8, np.uint16,
                                   np.uint32, np.uint64, np.bool_])
@pytest.mark.parametrize("name", ["helix", "lfo_breathe", "beat_four_floor_surge"])
def test_every_integer_dtype_and_shape(name, dtype):
    """160-, 256- and 1024-pip periods (a mask or a division), pips of
    every integer type at the ends of its range, in a 2-D array."""
    info = np.iinfo(dtype) if dtype != np.bool_ else None
    low = max(info.min, INT32_MIN) if info else 0
    high = min(info.max, INT32_MAX) if info else 1
    pips = np.array([low, low + 1, 0, 1, high - 1, high, 100 % (high + 1), low // 3],
                    dtype=np.int64).astype(dtype).reshape(2, 4)
    got = arrays.frames(name, pips)
    assert got.shape == (2, 4, 3)
    assert np.array_equal(got.reshape(-1, 3).view(np.int64),
                          sampled(lambda p: gesturon.sample(name, p), pips.astype(np.int64)))


@pytest.mark.parametrize("name", ["circle", "euclid_2_5"])  # a mask, a division
def test_scalars_lists_and_empty_arrays(name):
    def at(pip):
        return list(gesturon.sample(name, pip).as_tuple())

    assert arrays.frames(name, -17).tolist() == at(-17)
    assert arrays.frames(name, np.int64(INT32_MIN)).tolist() == at(INT32_MIN)
    assert arrays.frames(name, [-48, True]).tolist() == [at(-48), at(1)]
    assert arrays.frames(name, np.array([], dtype=np.int64)).shape == (0, 3)
    with pytest.raises(TypeError):
        arrays.frames(name, np.int64(INT32_MAX + 1))


@pytest.mark.parametrize("pips", [[INT32_MAX + 1], [0, INT32_MIN - 1], np.array([2**31], np.uint32),
                                  np.array([2**64 - 1], np.uint64), [1.0], np.array([0.5]), ["1"]])
def test_what_sample_refuses_frames_refuses(pips):
    """A pip outside the 32-bit range or not an integer: TypeError, as
    sample raises; nothing is wrapped into a place the module never gives."""
    with pytest.raises(TypeError):
        gesturon.sample("bounce", np.ravel(pips)[-1].item())
    with pytest.raises(TypeError):
        arrays.frames("bounce", pips)


def test_tables_are_cached_and_read_only():
    rows = arrays.table("lfo_breathe")
    assert arrays.table("lfo_breathe") is rows
    before = rows.copy()
    with pytest.raises(ValueError):
        rows[0, 0] = 0.5
    got = arrays.frames("lfo_breathe", [0, 1])
    got[:] = 0.25  # the caller's own array
    assert np.array_equal(arrays.table("lfo_breathe"), before)
    assert np.array_equal(arrays.frames("lfo_breathe", [0, 1]), before[:2])


def test_a_librarys_patterns_and_sampled_patterns():
    mine = gesturon.SampledPattern("mine", "", [(i / 160, -i / 320, (i % 7) / 7) for i in range(160)])
    one = gesturon.SampledPattern("one", "", [(-0.0, 1.0, -1.0)])
    library = gesturon.PatternLibrary([mine, one])
    pips = np.arange(-1000, 1000, 7)
    for name, pattern in (("mine", mine), ("one", one)):
        expected = sampled(lambda p: library.sample(name, p), pips)
        assert np.array_equal(arrays.frames(name, pips, library).view(np.int64), expected)
        assert np.array_equal(arrays.frames(pattern, pips).view(np.int64), expected)
        assert arrays.table(name, library).flags.writeable is False
    # Built-in names through a library are the module's, and share its tables.
    assert arrays.table("helix", library) is arrays.table("helix")
    with pytest.raises(ValueError, match="^Unknown gesturon: mine$"):
        arrays.table("mine")
    with pytest.raises(ValueError, match="^Unknown gesturon: nobody$"):
        arrays.frames("nobody", [0], library)
    with pytest.raises(TypeError):
        arrays.table(42)


def test_a_librarys_tables_go_with_it():
    library = gesturon.PatternLibrary([gesturon.SampledPattern("brief", "", [(0.5, 0, 0)] * 3)])
    arrays.table("brief", library)
    assert len(arrays._by_source) >= 1
    count = len(arrays._by_source)
    del library
    gc.collect()
    assert len(arrays._by_source) == count - 1


class ForeignSource:
    """A source that is not the module: positions of its own type, read
    through as_tuple(); a name "broken" whose pip 5 raises, and one whose
    positions give two values."""

    class Position:
        def __init__(self, *values):
            self.values = values

        def as_tuple(self):
            return self.values

    def catalogue(self):
        return [{"name": name, "period_pips": 9} for name in ("own", "broken", "short")]

    def sample(self, name, pip):
        if name == "broken" and pip == 5:
            raise RuntimeError("pip 5 is broken")
        if name == "short":
            return self.Position(0.5, 0.25)
        return self.Position(pip / 9, -pip, 2**-1074 * pip)


@pytest.mark.parametrize("loop", ["native", "python"])
def test_tables_are_filled_alike_natively_and_in_python(loop, monkeypatch):
    """Both ways of filling a table call sample once a row and give its
    values to the bit; what a source raises reaches the caller."""
    if loop == "python":
        monkeypatch.setattr(arrays, "_native_rows", None)
    else:
        assert arrays._native_rows is not None, "the companion's native part is built with the package"
    source = ForeignSource()
    expected = sampled(lambda pip: source.sample("own", pip), range(9))
    assert np.array_equal(arrays.table("own", source).view(np.int64), expected)
    mine = gesturon.SampledPattern("mine", "", [(i / 13, -i / 17, 1 / (i + 1)) for i in range(13)])
    assert np.array_equal(arrays._build(mine.sample, (), 13).view(np.int64), sampled(mine.sample, range(13)))
    assert np.array_equal(arrays._build(gesturon.sample, ("helix",), 300).view(np.int64),
                          sampled(lambda pip: gesturon.sample("helix", pip), range(300)))
    with pytest.raises(RuntimeError, match="pip 5 is broken"):
        arrays.table("broken", source)
    with pytest.raises(ValueError):
        arrays.table("short", source)


WITHOUT_NUMPY = textwrap.dedent("""
    import hashlib, io, json, sys
    if sys.argv[1] == "hidden":
        sys.modules["numpy"] = None  # import numpy now fails
    import gesturon
    from gesturon_tools import cli, gallery
    from gesturon_tools.catalogue import Catalogue
    from gesturon_tools.live import BeatClock, Player, row
    try:
        import gesturon_tools.arrays
        hint = None
    except ImportError as error:
        hint = str(error)
    cli.main(["export", "beat_four_floor_surge", "--start", "-3000", "--stop", "3000",
              "--format", "json", "--bpm", "128.4", "-o", "/dev/stdout"])
    player = Player(row("lfo_breathe", 3, 100) + row("helix", 2, -7), [], BeatClock(120, 0))
    frames = [player.frame(pip) for pip in (-2**40, -1, 0, 5000, 2**31 - 1)]
    print(json.dumps({
        "hint": hint,
        "gallery": hashlib.sha256(gallery.encode_samples(Catalogue(gesturon)).encode()).hexdigest(),
        "frames": [[list(p) for p in frame.positions] for frame in frames],
    }))
""")


def test_everything_works_without_numpy_and_gives_the_same_results():
    runs = {}
    for mode in ("hidden", "present"):
        done = subprocess.run([sys.executable, "-c", WITHOUT_NUMPY, mode], capture_output=True,
                              text=True, timeout=600)
        assert done.returncode == 0, done.stderr
        export, _, summary = done.stdout.rpartition("\n]}\n")
        runs[mode] = (export, json.loads(summary))
    (export, hidden), (export_np, present) = runs["hidden"], runs["present"]
    assert hidden["hint"] == "gesturon_tools.arrays needs NumPy: pip install 'gesturon[arrays]'"
    assert present["hint"] is None
    assert export == export_np and export.count("\n") == 6000
    assert hidden["gallery"] == present["gallery"]
    assert hidden["frames"] == present["frames"]


@pytest.mark.parametrize("dtype", [np.int32, np.int64])
@pytest.mark.parametrize("period", [1, 3, 160, 256, 768, 7919, 2**20 + 1])
def test_wrapping_is_the_remainder_over_the_whole_pip_range(period, dtype):
    """Row indices against Python's own pip % period: random pips over the
    whole 32-bit range and its ends, where a 32-bit quotient times the
    period leaves the 32-bit range."""
    rng = np.random.default_rng(period)
    pips = np.concatenate([rng.integers(INT32_MIN, INT32_MAX, 20_000, endpoint=True),
                           INT32_MIN + np.arange(2 * period), INT32_MAX - np.arange(2 * period)])
    want = [pip % period for pip in pips.tolist()]
    assert arrays.wrapped(pips.astype(dtype), period).tolist() == want
