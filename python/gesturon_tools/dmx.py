"""Positions onto DMX channels: fixtures, their channel layouts and the
mapping of x, y and z onto pan, tilt and a third parameter.

A fixture occupies consecutive channels of one universe from its start
address. Its layout names what each channel carries:

- `pan`, `tilt`, `z`: the coarse (or only) byte of the parameter that x, y
  and z drive; `pan_fine`, `tilt_fine`, `z_fine` its fine byte, which makes
  the parameter 16-bit (coarse is the high byte);
- `-`: a channel left at 0;
- a number 0..255: a channel held at that value (a dimmer at full, a shutter
  open, a colour).

Each driven parameter has an `Axis`: a position p in [-1, 1] stands for
`centre + p * swing` in the parameter's own units (degrees for pan and
tilt), where the whole channel range covers `travel` units. That maps
linearly onto 0..65535 (16-bit) or 0..255 (8-bit), is rounded to the
nearest step (halves up) and clamped to the channel range and the axis's
limits. The arithmetic is exact: doubles, centres and swings are rationals,
so p = -1, 0 and 1 land exactly where the numbers say.
"""

from __future__ import annotations

import functools
import math
from dataclasses import dataclass, field
from fractions import Fraction
from typing import TYPE_CHECKING, Iterable, Sequence, Union

from .slew import Slews, slew_rate

if TYPE_CHECKING:  # the frames come from the player; no import cycle at run time
    from .live import Frame

UNIVERSE_MIN = 1
UNIVERSE_MAX = 63999
CHANNELS = 512

PARAMETERS = ("pan", "tilt", "z")
UNUSED = "-"

DEFAULT_LAYOUT = ("pan", "pan_fine", "tilt", "tilt_fine")

Real = Union[int, float, Fraction]
# A driven parameter of a fixture: which of x, y, z drives it, the integer
# scale of its axis (see `scale`), its coarse channel and its fine channel
# (or None), both as indices into the fixture's layout.
Drive = tuple[int, tuple[int, int, int, int, int], int, Union[int, None]]


def rational(value: Real, what: str) -> Fraction:
    if isinstance(value, bool) or not isinstance(value, (int, float, Fraction)):
        raise TypeError(f"{what} must be a number")
    if isinstance(value, float) and not math.isfinite(value):
        raise ValueError(f"{what} must be finite")
    return Fraction(value)


@dataclass(frozen=True)
class Axis:
    """How a position axis drives a parameter: position p means
    `centre + p * swing` units, the channel range covering 0..`travel`
    units; `limits` (units) keep the result inside a safe range. The
    default drives the whole channel range. A negative swing reverses the
    direction (a fixture hung upside down). `slew`: the fastest the
    parameter may move, in units a second (see `gesturon_tools.slew`)."""
    centre: Real = Fraction(1, 2)
    swing: Real = Fraction(1, 2)
    travel: Real = 1
    limits: tuple[Real, Real] | None = None
    slew: Real | None = None

    def __post_init__(self) -> None:
        travel = rational(self.travel, "travel")
        if travel <= 0:
            raise ValueError(f"travel must be positive, not {self.travel}")
        centre = rational(self.centre, "centre")
        if not 0 <= centre <= travel:
            raise ValueError(f"centre {self.centre} is outside the travel 0..{self.travel}")
        rational(self.swing, "swing")
        if self.limits is not None:
            low, high = (rational(v, "limit") for v in self.limits)
            if not 0 <= low <= high <= travel:
                raise ValueError(f"limits {self.limits[0]}..{self.limits[1]} must lie "
                                 f"within the travel 0..{self.travel}, lowest first")
        slew_rate(self.slew)

    @property
    def position_slew(self) -> Fraction | None:
        """The slew limit in positions a second (a position moves the
        parameter by `swing` units)."""
        if self.slew is None or self.swing == 0:
            return None
        return Fraction(self.slew) / abs(Fraction(self.swing))

    def value(self, position: Real, full: int) -> int:
        """The channel value (0..`full`) for a position (a float, or an
        exact rational where a slew limit has held it back)."""
        slope, offset, divisor, low, high = scale(self, full)
        # position = n / d exactly (d a power of two for a float), so the value
        # floor(position * swing * full / travel + centre * full / travel + 1/2)
        # is one integer division.
        n, d = (position if isinstance(position, Fraction) else float(position)).as_integer_ratio()
        return min(max((n * slope + offset * d) // (d * divisor), low), high)


@functools.lru_cache(maxsize=1024)
def scale(axis: Axis, full: int) -> tuple[int, int, int, int, int]:
    """An axis's mapping onto 0..`full` as integers: value(n / d) is
    (n * slope + offset * d) // (d * divisor), then clamped to low..high."""
    travel = Fraction(axis.travel)
    a = Fraction(axis.swing) * full / travel
    b = Fraction(axis.centre) * full / travel + Fraction(1, 2)
    low, high = 0, full
    if axis.limits is not None:
        low = max(low, math.ceil(Fraction(axis.limits[0]) * full / travel))
        high = min(high, math.floor(Fraction(axis.limits[1]) * full / travel))
    return (a.numerator * b.denominator, b.numerator * a.denominator,
            a.denominator * b.denominator, low, high)


def parse_layout(layout: str | Iterable[str | int]) -> tuple[str | int, ...]:
    """A layout from "pan pan_fine tilt tilt_fine 255" (spaces or commas)
    or a sequence of the same tokens (numbers as ints or digit strings)."""
    tokens = layout.replace(",", " ").split() if isinstance(layout, str) else list(layout)
    parsed: list[str | int] = []
    for token in tokens:
        if isinstance(token, str) and token.isdigit():
            token = int(token)
        if isinstance(token, int) and not isinstance(token, bool):
            if not 0 <= token <= 255:
                raise ValueError(f"a held channel value must be 0..255, not {token}")
        elif token not in PARAMETERS + tuple(p + "_fine" for p in PARAMETERS) + (UNUSED,):
            raise ValueError(f"unknown channel {token!r} in the layout; use pan, pan_fine, "
                             "tilt, tilt_fine, z, z_fine, - or a value 0..255")
        parsed.append(token)
    if not parsed:
        raise ValueError("a fixture layout needs at least one channel")
    for name in parsed:
        if isinstance(name, str) and name != UNUSED and parsed.count(name) > 1:
            raise ValueError(f"channel {name} appears twice in the layout")
    for parameter in PARAMETERS:
        if parameter + "_fine" in parsed and parameter not in parsed:
            raise ValueError(f"{parameter}_fine needs a {parameter} channel")
    return tuple(parsed)


@dataclass(frozen=True)
class Fixture:
    """A fixture at `address` (1..512) of `universe` (1..63999), with its
    channel layout and the axes x, y and z drive. `track` is the label or
    index of the player track it follows."""
    universe: int
    address: int
    layout: str | Sequence[str | int] = DEFAULT_LAYOUT
    pan: Axis = field(default_factory=Axis)
    tilt: Axis = field(default_factory=Axis)
    z: Axis = field(default_factory=Axis)
    track: str | int = 0
    tokens: tuple[str | int, ...] = field(init=False, repr=False, compare=False)
    # The channels as they start every frame (held values, unused at 0) and,
    # for each driven parameter, its axis's integer scale and the channels
    # its value goes to: worked out once, not on every frame.
    _held: tuple[tuple[int, int], ...] = field(init=False, repr=False, compare=False)
    _drives: tuple[Drive, ...] = field(init=False, repr=False, compare=False)

    def __post_init__(self) -> None:
        object.__setattr__(self, "tokens", parse_layout(self.layout))
        # Universe 0 is Art-Net's first; sACN outputs refuse it themselves.
        check_universe(self.universe, 0)
        if isinstance(self.address, bool) or not isinstance(self.address, int) \
                or not 1 <= self.address <= CHANNELS:
            raise ValueError(f"DMX address must be 1 to {CHANNELS}, not {self.address}")
        if self.last_channel > CHANNELS:
            raise ValueError(f"a fixture of {len(self.tokens)} channels at address "
                             f"{self.address} does not fit in {CHANNELS} channels "
                             f"(it would end at {self.last_channel})")
        held = [(self.address + i, token if isinstance(token, int) else 0)
                for i, token in enumerate(self.tokens)]
        drives = []
        for index, (parameter, axis) in enumerate(zip(PARAMETERS, (self.pan, self.tilt, self.z))):
            if parameter in self.tokens:
                coarse = self.tokens.index(parameter)
                fine = self.tokens.index(parameter + "_fine") \
                    if parameter + "_fine" in self.tokens else None
                drives.append((index, scale(axis, 255 if fine is None else 65535), coarse, fine))
        object.__setattr__(self, "_held", tuple(held))
        object.__setattr__(self, "_drives", tuple(drives))

    @property
    def last_channel(self) -> int:
        return self.address + len(self.tokens) - 1

    def channels(self, x: Real, y: Real, z: Real) -> list[tuple[int, int]]:
        """(channel, value) for every channel of the fixture, channels
        numbered from 1 like DMX addresses; unused ones are 0. Positions
        are floats, or exact rationals, taken exactly."""
        out = list(self._held)
        address, xyz = self.address, (x, y, z)
        for index, (slope, offset, divisor, low, high), coarse, fine in self._drives:
            # As Axis.value: the position is n / d exactly, one integer division.
            position = xyz[index]
            n, d = (position if isinstance(position, Fraction) else float(position)).as_integer_ratio()
            value = min(max((n * slope + offset * d) // (d * divisor), low), high)
            if fine is None:
                out[coarse] = (address + coarse, value)
            else:
                out[coarse] = (address + coarse, value >> 8)
                out[fine] = (address + fine, value & 0xFF)
        return out


def check_universe(universe: int, low: int = UNIVERSE_MIN, high: int = UNIVERSE_MAX) -> None:
    if isinstance(universe, bool) or not isinstance(universe, int) \
            or not low <= universe <= high:
        raise ValueError(f"universe must be {low} to {high}, not {universe}")


def check_overlaps(fixtures: Sequence[Fixture]) -> None:
    """Refuse two fixtures that share a channel of a universe: the later
    one would silently overwrite the earlier."""
    owner: dict[tuple[int, int], int] = {}
    for i, fixture in enumerate(fixtures):
        for channel in range(fixture.address, fixture.last_channel + 1):
            other = owner.setdefault((fixture.universe, channel), i)
            if other != i:
                raise ValueError(f"fixtures {other + 1} and {i + 1} overlap at channel "
                                 f"{channel} of universe {fixture.universe}")


class Universes:
    """The 512 channels of each universe that a set of fixtures is in, set
    from frames: each fixture from the position of the track it follows,
    held back by its axes' slew limits."""

    def __init__(self, fixtures: Sequence[Fixture], low: int = UNIVERSE_MIN,
                 high: int = UNIVERSE_MAX):
        if not fixtures:
            raise ValueError("a DMX output needs at least one fixture")
        check_overlaps(fixtures)
        self.fixtures = tuple(fixtures)
        for fixture in self.fixtures:
            check_universe(fixture.universe, low, high)
        self.data = {u: bytearray(CHANNELS) for u in sorted({f.universe for f in fixtures})}
        self.slews = [Slews([f.pan.position_slew, f.tilt.position_slew, f.z.position_slew])
                      for f in self.fixtures]

    def dmx(self, frame: Frame) -> dict[int, bytes]:
        """The 512 channel values of each universe for a frame."""
        for fixture, slews in zip(self.fixtures, self.slews):
            position = frame[fixture.track]
            x, y, z = slews.step(None, (position.x, position.y, position.z), frame.time_ns)
            data = self.data[fixture.universe]
            for channel, value in fixture.channels(x, y, z):
                data[channel - 1] = value
        return {u: bytes(data) for u, data in self.data.items()}

    def dark(self) -> dict[int, bytes]:
        """Every channel at 0, held values (dimmers, shutters) too."""
        for data in self.data.values():
            data[:] = bytes(CHANNELS)
        return {u: bytes(data) for u, data in self.data.items()}

    @property
    def settled(self) -> bool:
        """Whether the last frame put every fixture where it was sent."""
        return all(slews.settled for slews in self.slews)


class DmxOutput:
    """What the DMX outputs share: the universes of their fixtures, set from
    each frame (`dmx`) or all dark, handed to `send_universes`."""

    universes_data: Universes

    def dmx(self, frame: Frame) -> dict[int, bytes]:
        """The 512 channel values of each universe for a frame."""
        return self.universes_data.dmx(frame)

    def send(self, frame: Frame) -> None:
        self.send_universes(self.dmx(frame))

    def dark(self) -> None:
        """Every channel of every universe to 0, once."""
        self.send_universes(self.universes_data.dark())

    @property
    def settled(self) -> bool:
        """Whether the last frame put every fixture where it was sent."""
        return self.universes_data.settled

    def send_universes(self, universes: dict[int, bytes]) -> None:
        raise NotImplementedError
