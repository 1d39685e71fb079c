"""Integer-pip rhythmic position functions.

Where is a moving point at a given rhythmic position? Time is counted in
integer pips, `PIPS_PER_BEAT` (64) to a beat. Every pattern repeats after a
whole number of pips, its period, and gives an `Offset3` for any signed
32-bit pip, negative ones included.

Arguments that cannot be converted (a float pip, a pip outside
-2147483648..2147483647, a missing, surplus or unknown argument) raise
TypeError before anything runs.
"""

from _collections_abc import dict_keys, dict_values
from collections.abc import Generator, Sequence
from decimal import Decimal
from fractions import Fraction
from typing import Any, Never, SupportsFloat, SupportsIndex, TypeAlias, TypedDict, TypeVar, type_check_only

_T = TypeVar("_T")

# A pip where it is taken as a converting int: an int (a bool too), an
# object with __index__, or a number that int() truncates toward zero, such
# as Decimal and Fraction. Never a float, and never a str.
_Pip: TypeAlias = SupportsIndex | Decimal | Fraction
# A pip where it is taken as a strict int: an int (a bool too) or an object
# with __index__ only.
_StrictPip: TypeAlias = SupportsIndex
# A number where a float is taken: anything with __float__ or __index__.
_Number: TypeAlias = SupportsFloat | SupportsIndex
# A name or a text: a str is taken as its UTF-8 bytes, bytes and bytearray as
# they are.
_Text: TypeAlias = str | bytes | bytearray
# Iterables that are no sequence but are read through a tuple all the same.
_Gathered: TypeAlias = (
    Generator[_T, Any, Any] | set[_T] | frozenset[_T] | dict_keys[_T, Any] | dict_values[Any, _T] | map[_T] | zip[_T]
)
# Many values: a sequence or one of the iterables above. A str or a bytes
# object is refused at run time with TypeError although typing counts it as a
# sequence.
_Many: TypeAlias = Sequence[_T] | _Gathered[_T]

# Every class of the module is made by pybind11's metaclass
# (pybind11_builtins.pybind11_type, not importable by name); declaring it
# keeps the classes' description true for stubtest, which compares
# metaclasses.
@type_check_only
class _Pybind11Type(type):
    """The metaclass that pybind11 gives every class it binds."""

PIPS_PER_BEAT: int
"""Pips in one beat: 64. One pip is 1/64 of a beat."""

@type_check_only
class PatternInfo(TypedDict):
    """One record of a catalogue listing, a new dict with these four keys in
    this order. Exists for type checking only: import it under
    `typing.TYPE_CHECKING`."""

    name: str
    """The pattern's name, as `sample` takes it."""
    description: str
    """What the pattern does, in a sentence."""
    period_pips: int
    """Pips after which the pattern repeats, 1..65535."""
    dimensions: int
    """How many leading axes move: 1 (x), 2 (x and y) or 3 (x, y and z)."""

class Offset3(metaclass=_Pybind11Type):
    """A position: three floats, each within [-1, 1] for every pattern.

    Only the module makes positions; each result is a new object. Positions
    compare equal only to themselves: compare `as_tuple()` results instead.
    They cannot be pickled or copied (TypeError).
    """

    def __init__(self, no_constructor: Never, /) -> None:
        """Offset3 has no constructor: calling the class raises TypeError
        "gesturon.Offset3: No constructor defined!". Positions come from
        `sample`, the procedural functions and the `sample` methods."""

    @property
    def x(self) -> float:
        """The first axis (read-only)."""

    @property
    def y(self) -> float:
        """The second axis (read-only); 0.0 for a pattern of one dimension."""

    @property
    def z(self) -> float:
        """The third axis (read-only); 0.0 unless the pattern has three dimensions."""

    def as_tuple(self) -> tuple[float, float, float]:
        """A new tuple (x, y, z) of the exact stored values."""

class SampledRecording(metaclass=_Pybind11Type):
    """A recorded multi-axis signal on the pip grid: one row of values per
    pip from `start_pip` on. Unlike a pattern it does not repeat. Immutable;
    it cannot be pickled or copied (TypeError)."""

    def __init__(
        self,
        name: _Text,
        dimensions: _Many[_Text],
        samples: _Many[_Many[_Number]],
        bpm: _Number,
        beat_zero_seconds: _Number = 0.0,
        start_pip: _Pip = 0,
    ) -> None:
        """Build a recording named `name` with one axis per entry of
        `dimensions` (kept in this order) and one row per pip in `samples`,
        the first row at `start_pip`; `bpm` and `beat_zero_seconds` are the
        tempo and beat origin of the source, stored unchanged.

        Raises ValueError, at the first failing check in this order:
        "Invalid identifier" (the name, then an axis, is not 1..128 bytes of
        a-z, 0-9 and "_" starting with a letter); "A finite positive BPM and
        beat origin are required"; "Empty recording or recording resource
        limit exceeded" (no axes, no rows, more than 8388608 values, or the
        span reaching pip 2147483648); "Duplicate axis"; "Ragged recording"
        (a row whose length is not the number of axes); "Invalid sample" (a
        value NaN, infinite or beyond [-1, 1]).

        Raises TypeError for a float `start_pip`, a str or bytes given as
        `dimensions`, `samples` or a row, or a value that is not a number.
        """

    @property
    def name(self) -> str:
        """The recording's name."""

    @property
    def dimensions(self) -> list[str]:
        """The axis names in the order given; a new list on every read."""

    @property
    def sample_count(self) -> int:
        """The number of rows, one per pip."""

    @property
    def bpm(self) -> float:
        """The source's tempo in beats per minute, as given."""

    @property
    def beat_zero_seconds(self) -> float:
        """The time of beat zero in the source, in seconds, as given."""

    @property
    def start_pip(self) -> int:
        """The pip of the first row; the recording covers `start_pip` to
        `start_pip + sample_count - 1`."""

    def sample(self, pip: _StrictPip) -> list[float]:
        """The row at `pip`: a new list with one float per axis, in axis
        order.

        Raises IndexError "Pip outside non-looping recording" for a pip
        outside the recorded span, and TypeError for anything but an int or
        an object with __index__.
        """

class SampledPattern(metaclass=_Pybind11Type):
    """A pattern of your own: one position per pip over one period.
    Immutable; it cannot be pickled or copied (TypeError)."""

    def __init__(self, name: _Text, description: _Text, samples: _Many[_Many[_Number]]) -> None:
        """Build a pattern named `name` from `samples`, three numbers
        (x, y, z) per pip: sample i is the position at pip i and the number
        of samples is the period.

        Raises ValueError "Invalid pattern name" (not 1..128 bytes of a-z,
        0-9 and "_" starting with a letter), "A pattern requires 1..65535
        samples (one per pip)", or "Pattern samples must be finite and
        within [-1, 1]"; checked in this order. Raises TypeError for a
        sample that is not exactly three numbers, or a str or bytes given as
        `samples` or as a sample.
        """

    @property
    def name(self) -> str:
        """The pattern's name."""

    @property
    def description(self) -> str:
        """The pattern's description. Raises UnicodeDecodeError if it was
        given as bytes that are not valid UTF-8."""

    @property
    def period_pips(self) -> int:
        """The period: the number of samples, 1..65535."""

    def sample(self, pip_count: _StrictPip) -> Offset3:
        """The position at `pip_count`, wrapped into the period (negative
        pips included): the sample given for that pip, exactly. Raises
        TypeError for anything but an int or an object with __index__."""

class PatternLibrary(metaclass=_Pybind11Type):
    """Your patterns laid over the built-in catalogue. Immutable; it cannot
    be pickled or copied (TypeError)."""

    def __init__(self, patterns: _Many[SampledPattern] = ...) -> None:
        """Build a library from copies of `patterns` (by default none); the
        patterns themselves stay usable and independent of it. A pattern that
        repeats a built-in one exactly (same description, period and every
        sample) is dropped.

        Raises ValueError "Too many patterns" (more than 1024), "Duplicate
        pattern name: <name>", "Pattern pack is too large" (more than 1048576
        samples in all) or "Cannot override default pattern: <name>" (a
        built-in name with other content); raises TypeError for anything but
        SampledPattern objects.
        """

    def sample(self, name: _Text, pip_count: _StrictPip) -> Offset3:
        """The position of the pattern `name`, yours or built in, at
        `pip_count`, wrapped into its period.

        Raises ValueError "Unknown gesturon: <name>" for a name that is
        neither, and TypeError for a pip that is not an int or an object with
        __index__.
        """

    def catalogue(self) -> list[PatternInfo]:
        """A new list of the built-in records followed by one record per
        pattern of yours, in the order given. Raises UnicodeDecodeError if a
        description was given as bytes that are not valid UTF-8."""

def sample(name: _Text, pip_count: _Pip) -> Offset3:
    """The position of the catalogue pattern `name` at `pip_count`, wrapped
    into its period. Raises ValueError "Unknown gesturon: <name>" for a name
    not in the catalogue."""

def catalogue() -> list[PatternInfo]:
    """A new list of the 1731 built-in records, in catalogue order: the 15
    procedural patterns, then the stored packs."""

def bounce(pip: _Pip, /) -> Offset3:
    """One-beat vertical bounce (period 64 pips, carried in x).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def sway(pip: _Pip, /) -> Offset3:
    """Two-beat side-to-side sway (period 128 pips, carried in x).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def circle(pip: _Pip, /) -> Offset3:
    """One-beat circular orbit (period 64 pips, x and y).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def figure_eight(pip: _Pip, /) -> Offset3:
    """Two-beat figure eight (period 128 pips, x and y).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def step_touch(pip: _Pip, /) -> Offset3:
    """Two-beat side step with a small lift (period 128 pips, x and y).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def box_step(pip: _Pip, /) -> Offset3:
    """Four-beat softened square path (period 256 pips, x and y).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def helix(pip: _Pip, /) -> Offset3:
    """Four-beat double-turn helix (period 256 pips, x, y and z).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def morvel_background(pip: _Pip, /) -> Offset3:
    """Morvel/Zendra four-beat accented background drift (period 256 pips,
    x and y).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def single_stroke_roll(pip: _Pip, /) -> Offset3:
    """Alternating R/L strokes with smooth attack and decay (period 64 pips;
    x the hand, right positive, y the stroke depth, never above 0).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def double_stroke_roll(pip: _Pip, /) -> Offset3:
    """RRLL strokes with a softer second motion (period 64 pips; x the hand,
    y the stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def multiple_bounce_roll(pip: _Pip, /) -> Offset3:
    """Decaying same-hand bounce clusters (period 64 pips; x the hand, y the
    stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def single_paradiddle(pip: _Pip, /) -> Offset3:
    """RLRR LRLL with accented lead strokes (period 128 pips; x the hand, y
    the stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def flam(pip: _Pip, /) -> Offset3:
    """Grace motion flowing into an opposite-hand primary motion (period 64
    pips; x the hand, y the stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def drag(pip: _Pip, /) -> Offset3:
    """Two grace motions flowing into an opposite-hand primary motion (period
    64 pips; x the hand, y the stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""

def five_stroke_roll(pip: _Pip, /) -> Offset3:
    """Two diddles resolving to an accented fifth motion (period 128 pips; x
    the hand, y the stroke depth).
    Every signed 32-bit pip is valid; a float raises TypeError."""
