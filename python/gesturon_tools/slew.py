"""Slew limits: how fast an output may move, whatever the pattern does.

A heavy moving head or a servo on a long arm cannot follow a pattern that
jumps; asked to, it whips. A slew limit caps the speed of one axis at a rate
in units a second (degrees for a fixture whose axis is set up in degrees,
positions for OSC, microseconds for a servo): each frame moves towards the
sampled value by at most the rate times the time since the previous frame.
This is applied after sampling, in the output, and it is the one place
where what is sent may lag the pattern; without a limit every frame carries
the sample exactly.

The arithmetic is exact: the limited value is a rational, the step is the
rate times the frame interval in integer nanoseconds, so a limited axis
reaches its target on the frame the numbers say, never a frame early or
late by rounding.
"""

from __future__ import annotations

from fractions import Fraction
from typing import TYPE_CHECKING, Generic, Iterator, Protocol, Sequence, TypeVar, Union

if TYPE_CHECKING:
    from .clock import Number
    from .live import Frame

NS_PER_SECOND = 10**9
AXES = ("x", "y", "z")

Real = Union[int, float, Fraction]


def slew_rate(rate: Real | None, what: str = "slew limit") -> Fraction | None:
    """A positive, finite rate as an exact rational (None: no limit)."""
    if rate is None:
        return None
    if isinstance(rate, bool) or not isinstance(rate, (int, float, Fraction)):
        raise TypeError(f"{what} must be a number")
    if rate != rate or rate in (float("inf"), float("-inf")) or not rate > 0:
        raise ValueError(f"{what} must be a positive number of units a second, not {rate}")
    return Fraction(rate)


class Slew:
    """One axis limited to `rate` units a second (None: not limited)."""

    def __init__(self, rate: Real | None):
        self.rate = slew_rate(rate)
        self.value: Fraction | None = None
        self.target: Fraction | None = None
        self.at_ns = 0

    def step(self, target: Real, t_ns: int) -> Real:
        """The value to send at instant `t_ns` for the sampled `target`. The
        first frame goes straight to its target: there is nothing to move
        from."""
        if self.rate is None:
            return target
        wanted = Fraction(target)
        if self.value is None:
            value = wanted
        else:
            most = self.rate * max(t_ns - self.at_ns, 0) / NS_PER_SECOND
            value = min(max(wanted, self.value - most), self.value + most)
        self.value, self.target, self.at_ns = value, wanted, t_ns
        return value if value != wanted else target

    @property
    def settled(self) -> bool:
        """Whether the last value sent was the target itself."""
        return self.value == self.target


class Slews:
    """Slew limits for x, y and z of each of several things (fixtures,
    tracks, servos), kept apart by a key."""

    def __init__(self, rates: Sequence[Real | None]):
        self.rates = tuple(rates)
        self.axes: dict[object, tuple[Slew, ...]] = {}

    def step(self, key: object, values: Sequence[Real], t_ns: int) -> tuple[Real, ...]:
        slews = self.axes.get(key)
        if slews is None:
            slews = self.axes[key] = tuple(Slew(rate) for rate in self.rates)
        return tuple(slew.step(value, t_ns) for slew, value in zip(slews, values))

    @property
    def settled(self) -> bool:
        return all(slew.settled for slews in self.axes.values() for slew in slews)


class Follower(Protocol):
    """A servo or a MIDI control: one axis of one track (a label or an
    index), at most `slew` units a second."""

    @property
    def axis(self) -> str: ...

    @property
    def track(self) -> str | int: ...

    @property
    def slew(self) -> Real | None: ...


def check_axis(axis: str, what: str) -> None:
    if axis not in AXES:
        raise ValueError(f"a {what} follows axis x, y or z, not {axis!r}")


F = TypeVar("F", bound=Follower)


class Followers(Generic[F]):
    """What an output of followers (servos, MIDI controls) keeps beside
    them: a slew limit for each, its frame rate and its latency (see
    `Stream`)."""

    def __init__(self, followers: Sequence[F], fps: int | None, latency_ms: Number):
        self.fps, self.latency_ms = fps, latency_ms
        self._followed = tuple(zip(followers, [Slew(f.slew) for f in followers]))

    def follow(self, frame: Frame) -> Iterator[tuple[F, Slew, float]]:
        """Each follower, its slew limit and the value of its axis in `frame`."""
        for follower, slew in self._followed:
            yield follower, slew, getattr(frame[follower.track], follower.axis)

    @property
    def settled(self) -> bool:
        """Whether the last frame put every follower where it was sent."""
        return all(slew.settled for _, slew in self._followed)
