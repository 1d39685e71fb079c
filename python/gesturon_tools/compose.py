"""Patterns made from patterns: transforms, blends, sequences and patterns
rendered from a Python function.

The pattern protocol
--------------------
Everything that plays, bakes or transforms a pattern accepts one protocol,
`Pattern`: an object with

- `sample(pip)`: the position at an integer pip (any Python int, negative
  ones included), an object with `x`, `y` and `z` each within [-1, 1]
  (a `gesturon.Offset3`, or a `Point` here);
- `period_pips`: a whole number of pips after which the samples repeat
  (a transition, `Crossfade`, reports the period it settles into);
- `dimensions`: how many leading axes move (1 = x, 2 = x and y, 3 = all).

An object may also offer `xyz(pip)`, the same position as a tuple
(x, y, z); the player reads that when it is there (transforms have it).

`pattern(thing, source)` turns whatever a user names into one: a catalogue
name (looked up in `source`, the gesturon module or a `PatternLibrary`), a
`gesturon.SampledPattern`, or an object that already follows the protocol.

Transforms
----------
`transform(thing)` starts a chain; each step returns a new pattern:

    chain = transform("helix").scale(0.5, 0.5).rotate(90).speed("1/2").shift(beats=1)

Position steps (`scale`, `offset`, `rotate`, `mirror`, `swap`) are affine
maps of (x, y, z). A chain keeps them as one map whose coefficients are
computed exactly (as rationals of the doubles given) and rounded to doubles
once; each axis is then the sum of its non-zero terms, left to right (x, y,
z, then the constant), so a single step gives exactly what the obvious
formula gives (`0.5 * x`, `-y`, `cos(a) * x + -sin(a) * y`). An axis whose
map can reach beyond [-1, 1] is clamped to it: transforms never refuse a
pattern, and values inside the range are never changed by the clamp.

Time steps (`shift` by pips or beats, `speed` by a positive rational
factor) map the pip the chain is sampled at onto the pip of the pattern
underneath: `speed(p/q)` samples the pattern at floor(pip * p / q), so x2
plays every second pip, x1/2 holds each pip for two. The period is worked
out exactly: a pattern of period P at speed p/q (in lowest terms) repeats
after q * P / gcd(p, P) pips. Consecutive time steps are merged where the
result is the same map, so a long chain costs no more than a short one.
Periods have no upper bound (nothing is tabled); the pattern underneath is
always sampled at a pip within its own period.

The whole chain is compiled once, when it is built, into one small Python
function, so sampling costs one call, the pattern underneath and a few
arithmetic operations.

Blends and sequences
--------------------
`mix` sums weighted patterns; `Crossfade` moves from one pattern to another
over a number of pips with an easing curve; `sequence` plays patterns one
after another for a number of pips each and loops as one pattern. Easing
curves (`EASES`) come from the catalogue's own easing tables.

Patterns from functions
-----------------------
`from_function(name, f, period_pips)` renders `f(pip) -> (x, y, z)` once
into a `gesturon.SampledPattern`; `vectorised=True` calls `f` once with
every pip as a NumPy array.
"""

from __future__ import annotations

import math
from fractions import Fraction
from typing import (TYPE_CHECKING, Any, Callable, Iterable, NamedTuple, Protocol, Sequence, Union,
                    runtime_checkable)

from .numbers import exact_text

if TYPE_CHECKING:
    from .catalogue import Source

PIPS_PER_BEAT = 64
INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1

# A number taken exactly (see `rational`).
Exact = Union[int, float, Fraction, str]


class Point(NamedTuple):
    """A position made here (the module's `Offset3` cannot be made
    outside it): x, y and z, each within [-1, 1]."""
    x: float
    y: float
    z: float

    def as_tuple(self) -> tuple[float, float, float]:
        return (self.x, self.y, self.z)


class Position(Protocol):
    """What a pattern's `sample` returns: read-only x, y and z."""

    @property
    def x(self) -> float: ...

    @property
    def y(self) -> float: ...

    @property
    def z(self) -> float: ...


@runtime_checkable
class Pattern(Protocol):
    """The pattern protocol (see the module's documentation)."""

    @property
    def period_pips(self) -> int: ...

    @property
    def dimensions(self) -> int: ...

    def sample(self, pip: int) -> Position: ...


Patternish = Union[str, Pattern, Any]


def xyz(position: Position) -> tuple[float, float, float]:
    return (position.x, position.y, position.z)


def sampler(thing: Pattern) -> Callable[[int], tuple[float, float, float]]:
    """x, y and z of a pattern at a pip, as a tuple: a transform's own
    compiled `xyz`, or its `sample` read out."""
    fast: Callable[[int], tuple[float, float, float]] | None = getattr(thing, "xyz", None)
    if fast is not None:
        return fast
    sample = thing.sample
    return lambda pip: xyz(sample(pip))


# ---- what a user names, as a pattern ----------------------------------------------------

_records: dict[int, tuple[object, dict[str, tuple[int, int]]]] = {}


def catalogue_records(source: Source) -> dict[str, tuple[int, int]]:
    """Period and dimensions of every name in `source`, read once per source."""
    kept = _records.get(id(source))
    if kept is None or kept[0] is not source:
        if len(_records) >= 64:  # a program making library after library
            _records.clear()
        table = {r["name"]: (int(r["period_pips"]), int(r["dimensions"])) for r in source.catalogue()}
        kept = _records[id(source)] = (source, table)
    return kept[1]


def default_source() -> Source:
    import gesturon
    return gesturon


class Named:
    """A catalogue pattern by name, in `source` (default: the gesturon module)."""

    def __init__(self, name: str, source: Source | None = None):
        self.source = default_source() if source is None else source
        records = catalogue_records(self.source)
        if name not in records:
            from .live import nearest_names
            raise ValueError(f"unknown pattern {name!r}; {nearest_names(name, records)}")
        self.name = name
        self.period_pips, self.dimensions = records[name]
        self._sample = self.source.sample

    def sample(self, pip: int) -> Position:
        if not INT32_MIN <= pip <= INT32_MAX:
            pip %= self.period_pips
        return self._sample(self.name, pip)  # type: ignore[return-value]

    def __repr__(self) -> str:
        return f"Named({self.name!r})"


class Own:
    """A `gesturon.SampledPattern` (which carries no dimension count) as a
    pattern: its dimensions are read from its samples once."""

    def __init__(self, sampled: Any):
        self.sampled = sampled
        self.name: str = sampled.name
        self.period_pips: int = sampled.period_pips
        moving = 0
        for pip in range(self.period_pips):
            x, y, z = sampled.sample(pip).as_tuple()
            moving = max(moving, 3 if z else 2 if y else 1 if x else 0)
            if moving == 3:
                break
        self.dimensions = max(moving, 1)
        self._sample = sampled.sample

    def sample(self, pip: int) -> Position:
        if not INT32_MIN <= pip <= INT32_MAX:
            pip %= self.period_pips
        return self._sample(pip)  # type: ignore[no-any-return]


def pattern(thing: Patternish, source: Source | None = None) -> Pattern:
    """A catalogue name, a `SampledPattern` or a protocol object, as a `Pattern`."""
    if isinstance(thing, str):
        return Named(thing, source)
    if isinstance(thing, Pattern):
        return thing
    if hasattr(thing, "period_pips") and hasattr(thing, "sample") and hasattr(thing, "name"):
        return Own(thing)
    raise TypeError(f"not a pattern: {thing!r} (a catalogue name, a SampledPattern or an "
                    "object with sample(pip), period_pips and dimensions)")


def name_of(thing: object) -> str:
    """The name a frame reports for a pattern."""
    if isinstance(thing, str):
        return thing
    return str(getattr(thing, "name", type(thing).__name__))


# ---- exact numbers ---------------------------------------------------------------------------

def rational(value: Exact, what: str) -> Fraction:
    """`value` exactly: ints, Fractions, floats at their binary value, and
    strings such as "3/4" or "0.1" read as written."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be a number, not {value!r}")
    try:
        if isinstance(value, str):
            return exact_text(value, what)
        if isinstance(value, (int, Fraction)):
            return Fraction(value)
        if isinstance(value, float) and math.isfinite(value):
            return Fraction(value)
    except (ValueError, ZeroDivisionError):
        pass
    raise ValueError(f"{what} must be a finite number, not {value!r}")


def pips_of(pips: Exact, beats: Exact) -> int:
    """`pips` plus `beats` as a whole number of pips."""
    total = rational(pips, "pips") + rational(beats, "beats") * PIPS_PER_BEAT
    if total.denominator != 1:
        raise ValueError(f"{float(total / PIPS_PER_BEAT)} beats is not a whole number of pips "
                         f"(1/{PIPS_PER_BEAT} beat)")
    return int(total)


# ---- transforms -------------------------------------------------------------------------------

# A time step maps a pip n to floor((a * n + c) / b), a and b positive.
Stage = tuple[int, int, int]
# (rows of (coefficient of x, of y, of z), constants), exact.
Affine = tuple[tuple[tuple[Fraction, ...], ...], tuple[Fraction, ...]]

IDENTITY: Affine = (tuple(tuple(Fraction(int(i == j)) for j in range(3)) for i in range(3)),
                    (Fraction(0),) * 3)
AXES = "xyz"


def then(stage: Stage, inner: Stage) -> Stage | None:
    """`stage` followed by `inner` as one stage, when floors allow it."""
    a, b, c = stage
    d, e, h = inner
    if b == 1:  # the first step is exact: substitute it
        merged = (d * a, e, d * c + h)
    elif d == 1:  # floor(floor(u / b) + h) / e) = floor((u + h b) / (b e))
        merged = (a, b * e, c + h * b)
    else:
        return None
    g = math.gcd(*merged)
    return (merged[0] // g, merged[1] // g, merged[2] // g)


def stage_period(stage: Stage, period_after: int) -> int:
    """The input period that moves the stage's output by whole multiples
    of `period_after`."""
    a, b, _ = stage
    return b * period_after // math.gcd(a, b * period_after)


def compose_affine(outer: Affine, inner: Affine) -> Affine:
    """`outer` applied to the result of `inner`."""
    m, t = outer
    n, u = inner
    rows = tuple(tuple(sum((m[i][k] * n[k][j] for k in range(3)), Fraction(0)) for j in range(3))
                 for i in range(3))
    consts = tuple(sum((m[i][k] * u[k] for k in range(3)), Fraction(0)) + t[i] for i in range(3))
    return rows, consts


def axis_expression(row: Sequence[float], const: float) -> str:
    """The source of one output axis over its non-zero terms, clamped when
    it can reach beyond [-1, 1] for inputs within [-1, 1]."""
    terms = []
    for coefficient, axis in zip(row, AXES):
        if coefficient == 1.0:
            terms.append(axis)
        elif coefficient == -1.0:
            terms.append(f"-{axis}")
        elif coefficient != 0.0:
            terms.append(f"{coefficient!r} * {axis}")
    if const != 0.0 or not terms:
        terms.append(repr(const))
    # Exactly: a float sum could round a reach just above 1 down to 1.
    reach = sum((abs(Fraction(c)) for c in row), abs(Fraction(const)))
    expression = " + ".join(terms)
    if reach > 1:
        expression = f"min(1.0, max(-1.0, {expression}))"
    return expression


class Transform:
    """A pattern seen through a chain of transforms (see the module's
    documentation). Build one with `transform()` and its step methods."""

    def __init__(self, base: Pattern, stages: tuple[Stage, ...] = (), affine: Affine = IDENTITY,
                 name: str = ""):
        self.base = base
        self.stages = stages
        self.affine = affine
        self.name = name or name_of(base)
        period = base.period_pips
        for stage in reversed(stages):
            period = stage_period(stage, period)
        self.period_pips = period
        try:
            rows = tuple(tuple(float(c) for c in row) for row in affine[0])
            consts = tuple(float(c) for c in affine[1])
        except OverflowError:
            raise ValueError("a transform's factors and offsets must stay within the range "
                             "of doubles") from None
        moving = [i for i in range(3) if any(rows[i][j] for j in range(base.dimensions))]
        self.dimensions = max(moving, default=0) + 1
        self._compile(rows, consts)

    def _compile(self, rows: tuple[tuple[float, ...], ...],
                 consts: tuple[float, ...]) -> None:
        """`xyz(pip)` (a tuple, what the player reads) and `sample(pip)` (a
        `Point`) as one small function each, written for this chain."""
        body = [f"    n = pip % {self.period_pips}"]
        for a, b, c in self.stages:
            scaled = f"{a} * n" if a != 1 else "n"
            added = f"{scaled} + {c}" if c else scaled
            body.append(f"    n = ({added}) // {b}" if b != 1 else f"    n = {added}")
        body.append(f"    n %= {self.base.period_pips}")
        # n is within the base's period, so a catalogue pattern or a
        # SampledPattern is sampled straight from the module, and its
        # Offset3 read in one call.
        base: Callable[..., Any] = self.base.sample
        if isinstance(self.base, Named):
            base = self.base.source.sample
            body.append(f"    x, y, z = base({self.base.name!r}, n).as_tuple()")
        elif isinstance(self.base, Own):
            base = self.base.sampled.sample
            body.append("    x, y, z = base(n).as_tuple()")
        else:
            body += ["    p = base(n)", "    x, y, z = p.x, p.y, p.z"]
        axes = ", ".join(axis_expression(row, const) for row, const in zip(rows, consts))
        source = "\n".join(["def xyz(pip):", *body, f"    return ({axes})",
                            # A NamedTuple's own __new__ is a Python function:
                            # tuple.__new__ makes the Point straight away.
                            "def sample(pip):", *body, f"    return new(Point, ({axes}))"])
        namespace: dict[str, Any] = {"base": base, "Point": Point, "new": tuple.__new__}
        exec(source, namespace)
        self.xyz: Callable[[int], tuple[float, float, float]] = namespace["xyz"]
        self.sample: Callable[[int], Point] = namespace["sample"]

    # ---- steps ----------------------------------------------------------------

    def _with(self, stage: Stage | None = None, affine: Affine | None = None) -> Transform:
        stages = self.stages
        if stage is not None:
            # A new step applies to the pip first, before the steps already there.
            merged = then(stage, stages[0]) if stages else None
            stages = (merged,) + stages[1:] if merged is not None else (stage,) + stages
            stages = tuple(s for s in stages if s != (1, 1, 0))
        new_affine = self.affine if affine is None else compose_affine(affine, self.affine)
        return Transform(self.base, reduce_stages(stages, self.base.period_pips), new_affine,
                         self.name)

    def scale(self, x: Exact = 1, y: Exact = 1, z: Exact = 1) -> Transform:
        """Each axis times its factor (clamped to [-1, 1])."""
        factors = [rational(v, "a scale factor") for v in (x, y, z)]
        rows = tuple(tuple(factors[i] if i == j else Fraction(0) for j in range(3)) for i in range(3))
        return self._with(affine=(rows, (Fraction(0),) * 3))

    def offset(self, x: Exact = 0, y: Exact = 0, z: Exact = 0) -> Transform:
        """Each axis plus its offset (clamped to [-1, 1])."""
        return self._with(affine=(IDENTITY[0], tuple(rational(v, "an offset") for v in (x, y, z))))

    def rotate(self, degrees: Exact) -> Transform:
        """Rotation in the x/y plane, counter-clockwise (x towards y).
        Multiples of 90 degrees are exact; other angles use the doubles
        nearest to their cosine and sine."""
        angle = rational(degrees, "an angle") % 360
        exact = {0: (1, 0), 90: (0, 1), 180: (-1, 0), 270: (0, -1)}
        if angle in exact:
            c, s = (Fraction(v) for v in exact[int(angle)])
        else:
            radians = math.radians(float(angle))
            c, s = Fraction(math.cos(radians)), Fraction(math.sin(radians))
        zero, one = Fraction(0), Fraction(1)
        rows = ((c, -s, zero), (s, c, zero), (zero, zero, one))
        return self._with(affine=(rows, (zero,) * 3))

    def mirror(self, axes: str = "x") -> Transform:
        """Each named axis ("x", "xy", ...) negated."""
        check_axes(axes, "mirror")
        return self.scale(*(-1 if a in axes else 1 for a in AXES))

    def swap(self, axes: str = "xy") -> Transform:
        """The two named axes ("xy", "xz" or "yz") exchanged."""
        check_axes(axes, "swap")
        if len(axes) != 2 or axes[0] == axes[1]:
            raise ValueError(f"swap takes two different axes such as 'xy', not {axes!r}")
        i, j = AXES.index(axes[0]), AXES.index(axes[1])
        order = [0, 1, 2]
        order[i], order[j] = j, i
        rows = tuple(tuple(Fraction(int(order[r] == col)) for col in range(3)) for r in range(3))
        return self._with(affine=(rows, (Fraction(0),) * 3))

    def shift(self, pips: Exact = 0, beats: Exact = 0) -> Transform:
        """Ahead by `pips` plus `beats` (a whole number of pips in all): the
        result at pip n is the pattern at n + shift."""
        return self._with(stage=(1, 1, pips_of(pips, beats)))

    def speed(self, factor: Exact) -> Transform:
        """Faster by a positive rational factor (2, "1/2", "3/4",
        Fraction(3, 4)): the pattern at floor(pip * factor)."""
        ratio = rational(factor, "a speed factor")
        if ratio <= 0:
            raise ValueError(f"a speed factor must be positive, not {factor}")
        return self._with(stage=(ratio.numerator, ratio.denominator, 0))

    def __repr__(self) -> str:
        return f"Transform({self.name!r}, period_pips={self.period_pips})"


def reduce_stages(stages: tuple[Stage, ...], base_period: int) -> tuple[Stage, ...]:
    """Each stage's constant brought within what its successors can tell
    apart, so numbers stay small however long the chain."""
    reduced = []
    period = base_period
    for a, b, c in reversed(stages):
        reduced.append((a, b, c % (b * period)))
        period = stage_period((a, b, c), period)
    return tuple(reversed(reduced))


def check_axes(axes: str, what: str) -> None:
    if not axes or any(a not in AXES for a in axes):
        raise ValueError(f"{what} takes axes among x, y and z, not {axes!r}")


def transform(thing: Patternish, source: Source | None = None) -> Transform:
    """The start of a transform chain on any pattern."""
    base = pattern(thing, source)
    if isinstance(base, Transform):
        return base
    return Transform(base)


# ---- easing, blends and sequences ------------------------------------------------------------

# The catalogue's easing loops go out over pips 0..128 with an easing curve
# and come back over 128..256 with a smoothstep; each curve is read from its
# half and normalised so that it runs from exactly 0 to exactly 1.
EASES: dict[str, tuple[str, bool]] = {
    "smooth": ("ease_rebound", True),        # the smoothstep return
    "rebound": ("ease_rebound", False),      # bounce-out
    "anticipate": ("ease_anticipate", False),  # back-in: dips below 0 first
    "overshoot": ("ease_overshoot", False),    # back-out: passes 1, then settles
}
EASE_STEPS = 128
_ease_tables: dict[str, tuple[float, ...]] = {}


def ease_table(ease: str) -> tuple[float, ...]:
    """The 129 values of an easing curve at u = 0, 1/128, ..., 1."""
    table = _ease_tables.get(ease)
    if table is None:
        if ease not in EASES:
            raise ValueError(f"unknown ease {ease!r}: one of linear, {', '.join(EASES)}")
        import gesturon
        name, returning = EASES[ease]
        xs = [gesturon.sample(name, k).x for k in range(2 * EASE_STEPS + 1)]
        top, bottom = xs[EASE_STEPS], xs[0]
        if returning:
            table = tuple((top - xs[EASE_STEPS + k]) / (top - bottom) for k in range(EASE_STEPS + 1))
        else:
            table = tuple((xs[k] - bottom) / (top - bottom) for k in range(EASE_STEPS + 1))
        _ease_tables[ease] = table
    return table


def eased(ease: str, done: int, length: int) -> float:
    """The weight of the new pattern `done` pips into a fade of `length`
    pips: 0 at the start, exactly 1 at the end, straight between table
    points."""
    if done <= 0:
        return 0.0
    if done >= length:
        return 1.0
    if ease == "linear":
        return done / length
    table = ease_table(ease)
    step, rest = divmod(done * EASE_STEPS, length)
    if rest == 0:
        return table[step]
    low, high = table[step], table[step + 1]
    return low + (high - low) * (rest / length)


def check_ease(ease: str) -> str:
    if ease != "linear":
        ease_table(ease)
    return ease


def lcm_period(patterns: Iterable[Pattern]) -> int:
    return math.lcm(*(p.period_pips for p in patterns))


def clamp(value: float) -> float:
    return min(1.0, max(-1.0, value))


class Mix:
    """The weighted sum of patterns, each axis clamped to [-1, 1]; its
    period is the least common multiple of theirs."""

    def __init__(self, parts: Sequence[tuple[Pattern, float]], name: str = "mix"):
        if not parts:
            raise ValueError("a mix needs at least one pattern")
        self.parts = tuple((p, float(rational(w, "a weight"))) for p, w in parts)
        self.name = name
        self.period_pips = lcm_period(p for p, _ in self.parts)
        self.dimensions = max((p.dimensions for p, w in self.parts if w), default=1)

    def sample(self, pip: int) -> Point:
        sx = sy = sz = 0.0
        for part, weight in self.parts:
            p = part.sample(pip)
            sx += weight * p.x
            sy += weight * p.y
            sz += weight * p.z
        return Point(clamp(sx), clamp(sy), clamp(sz))


def mix(*parts: tuple[Patternish, Exact], source: Source | None = None) -> Mix:
    """`mix(("helix", 0.75), ("sway", 0.25))`: patterns by weight."""
    return Mix([(pattern(p, source), float(rational(w, "a weight"))) for p, w in parts])


def blend(a: Position, b: Position, w: float) -> Point:
    """(1 - w) a + w b on each axis: exactly a at w = 0 and b at w = 1."""
    v = 1.0 - w
    return Point(clamp(v * a.x + w * b.x), clamp(v * a.y + w * b.y), clamp(v * a.z + w * b.z))


class Crossfade:
    """A move from pattern `a` to pattern `b` over `length` pips from pip
    `start`, weighted by an easing curve: `a` before, `b` from
    `start + length` on. Both keep playing at the pip they are sampled at
    (a transition, not a loop: it reports `b`'s period)."""

    def __init__(self, a: Pattern, b: Pattern, start: int, length: int, ease: str = "linear"):
        if length < 0:
            raise ValueError(f"a crossfade cannot last {length} pips")
        self.a, self.b = a, b
        self.start, self.length = start, length
        self.ease = check_ease(ease)
        self.name = name_of(b)
        self.period_pips = b.period_pips
        self.dimensions = max(a.dimensions, b.dimensions)

    def sample(self, pip: int) -> Position:
        done = pip - self.start
        if done >= self.length:
            return self.b.sample(pip)
        if done < 0:
            return self.a.sample(pip)
        return blend(self.a.sample(pip), self.b.sample(pip), eased(self.ease, done, self.length))


def crossfade(a: Patternish, b: Patternish, beats: Exact, ease: str = "linear", start: int = 0,
              source: Source | None = None) -> Crossfade:
    """From `a` to `b` over `beats` beats from pip `start`."""
    return Crossfade(pattern(a, source), pattern(b, source), start, pips_of(0, beats), ease)


class Cycle:
    """Patterns one after another, each for its number of pips, looping as
    one pattern whose period is the total. Each step starts its pattern at
    the pattern's pip 0; with `fade` pips, each step's first `fade` pips
    move from the step before (still running on) to its own pattern."""

    def __init__(self, steps: Sequence[tuple[Pattern, int]], fade: int = 0, ease: str = "linear",
                 name: str = "sequence"):
        if not steps:
            raise ValueError("a sequence needs at least one step")
        starts = []
        total = 0
        for _, length in steps:
            if isinstance(length, bool) or not isinstance(length, int) or length < 1:
                raise ValueError(f"each step of a sequence lasts at least one pip, not {length!r}")
            starts.append(total)
            total += length
        if not 0 <= fade <= min(length for _, length in steps):
            raise ValueError(f"a fade of {fade} pips is longer than the shortest step")
        self.steps = tuple(steps)
        self.starts = tuple(starts)
        self.fade = fade
        self.ease = check_ease(ease)
        self.name = name
        self.period_pips = total
        self.dimensions = max(p.dimensions for p, _ in steps)

    def sample(self, pip: int) -> Position:
        at = pip % self.period_pips
        # The last step whose start is at or before `at` (few steps: a scan).
        k = len(self.starts) - 1
        while self.starts[k] > at:
            k -= 1
        into = at - self.starts[k]
        current = self.steps[k][0].sample(into)
        if into >= self.fade:
            return current
        before, length = self.steps[k - 1]
        previous = before.sample(length + into)
        return blend(previous, current, eased(self.ease, into, self.fade))


def sequence(*steps: tuple[Patternish, Exact], fade_beats: Exact = 0, ease: str = "linear",
             source: Source | None = None) -> Cycle:
    """`sequence(("helix", 16), ("sway", 16))`: each pattern for its number
    of beats (a whole number of pips), looping."""
    return Cycle([(pattern(p, source), pips_of(0, beats)) for p, beats in steps],
                     pips_of(0, fade_beats), ease)


# ---- patterns from functions ------------------------------------------------------------------

def from_function(name: str, function: Callable[[Any], Any], period_pips: int,
                  description: str = "", *, vectorised: bool = False) -> Any:
    """`function` rendered once over pips 0 .. period_pips - 1 into a
    `gesturon.SampledPattern`.

    `function(pip)` returns (x, y, z); with `vectorised=True` it is called
    once with every pip as a NumPy int64 array and returns three arrays (or
    an array of shape (3, period) or (period, 3)). A value that is not a
    finite number within [-1, 1] is a `ValueError` naming the pip and axis.
    """
    import gesturon
    if isinstance(period_pips, bool) or not isinstance(period_pips, int) \
            or not 1 <= period_pips <= 65535:
        raise ValueError(f"a pattern's period must be 1 to 65535 pips, not {period_pips!r}")
    if vectorised:
        rows = vectorised_rows(function, period_pips)
    else:
        rows = []
        for pip in range(period_pips):
            row = function(pip)
            try:
                rows.append(tuple(float(v) for v in row))
            except (TypeError, ValueError):
                raise ValueError(f"{name}: f({pip}) gave {row!r}, not three numbers") from None
    for pip, row in enumerate(rows):
        if len(row) != 3:
            raise ValueError(f"{name}: f({pip}) gave {len(row)} values, not three (x, y, z)")
        for axis, value in zip(AXES, row):
            if not -1.0 <= value <= 1.0:  # also refuses nan
                raise ValueError(f"{name}: f({pip}) gave {axis} = {value!r}, "
                                 "outside [-1, 1]")
    return gesturon.SampledPattern(name, description or f"{name}, from a function", rows)


def vectorised_rows(function: Callable[[Any], Any], period: int) -> list[tuple[float, ...]]:
    try:
        import numpy
    except ImportError:
        from .outputs import MissingDependency
        raise MissingDependency("a vectorised function needs NumPy: pip install numpy") from None
    result = numpy.asarray(function(numpy.arange(period, dtype=numpy.int64)), dtype=float)
    if result.shape == (3, period):
        result = result.T
    if result.shape != (period, 3):
        raise ValueError(f"a vectorised function must give three values per pip, shape "
                         f"(3, {period}) or ({period}, 3), not {result.shape}")
    return [tuple(float(v) for v in row) for row in result.tolist()]
