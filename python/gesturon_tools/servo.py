"""Hobby servos on a serial servo controller (the Pololu Maestro family, in
its compact protocol), for animatronics: each servo follows one axis of a
track as a pulse width.

Position -1 is the servo's shortest pulse, 0 its centre and 1 its longest,
linearly in between on each side, so a centre trimmed off the middle of
the range still lands every position in range. Pulse widths are sent in
quarter-microseconds, rounded to the nearest (halves up), with the exact
arithmetic of the DMX mapping. A slew limit (microseconds a second) holds a
servo back when a pattern moves faster than the mechanism should.

A Set Target command is four bytes: 0x84, the channel, then the target's
low seven bits and its next seven bits. A target of 0 stops the pulses, so
the servo goes limp: that is the output's `dark()`.

The serial line is opened through pyserial (`pip install 'gesturon[servo]'`);
any object with `write(bytes)` and `close()` will do instead.
"""

from __future__ import annotations

from dataclasses import dataclass
from fractions import Fraction
from typing import TYPE_CHECKING, Any, Protocol, Sequence

from .clock import Number
from .dmx import Real, rational
from .outputs import optional_module
from .slew import Followers, Slew, check_axis

if TYPE_CHECKING:
    from .live import Frame

SET_TARGET = 0x84
CHANNELS = 24          # the largest Maestro
PULSE_MAX = Fraction(16383, 4)  # fourteen bits of quarter-microseconds
SERVO_FPS = 50         # servo pulses repeat about every 20 ms


class SerialLine(Protocol):
    def write(self, data: bytes) -> int | None: ...

    def close(self) -> None: ...


@dataclass(frozen=True)
class Servo:
    """A servo on `channel` (0..23) following axis `axis` (x, y or z) of
    track `track` (label or index): position -1, 0 and 1 are `low`,
    `centre` and `high` microseconds (default 1000, 1500, 2000); `slew`
    limits its speed in microseconds a second."""
    channel: int
    axis: str = "x"
    track: str | int = 0
    low: Real = 1000
    high: Real = 2000
    centre: Real | None = None
    slew: Real | None = None

    def __post_init__(self) -> None:
        if isinstance(self.channel, bool) or not isinstance(self.channel, int) \
                or not 0 <= self.channel < CHANNELS:
            raise ValueError(f"servo channel must be 0 to {CHANNELS - 1}, not {self.channel}")
        check_axis(self.axis, "servo")
        low, high = rational(self.low, "pulse width"), rational(self.high, "pulse width")
        centre = (low + high) / 2 if self.centre is None else rational(self.centre,
                                                                       "pulse width")
        if not 0 < low <= centre <= high <= PULSE_MAX:
            raise ValueError(f"servo pulses must run 0 < low <= centre <= high <= "
                             f"{float(PULSE_MAX):g} us, not {float(low):g}, {float(centre):g}, "
                             f"{float(high):g}")
        Slew(self.slew)

    def pulse(self, position: Real) -> Fraction:
        """The pulse width in microseconds, exactly, for a position (clamped
        to -1..1)."""
        low, high = Fraction(self.low), Fraction(self.high)
        centre = (low + high) / 2 if self.centre is None else Fraction(self.centre)
        p = min(max(Fraction(position), Fraction(-1)), Fraction(1))
        return centre + p * ((high - centre) if p >= 0 else (centre - low))


def check_channels(servos: Sequence[Servo]) -> None:
    """Refuse two servos on one channel: the later would override the earlier."""
    channels = [servo.channel for servo in servos]
    for channel in channels:
        if channels.count(channel) > 1:
            raise ValueError(f"two servos on channel {channel}")


def set_target(channel: int, quarter_us: int) -> bytes:
    """The compact-protocol Set Target command."""
    return bytes((SET_TARGET, channel, quarter_us & 0x7F, quarter_us >> 7 & 0x7F))


def quarter_us(pulse: Fraction) -> int:
    return int((pulse * 4 + Fraction(1, 2)) // 1)


class MaestroOutput(Followers[Servo]):
    """Servos on a Maestro servo controller over a serial line: every frame
    sets each servo's target from the position of its track's axis.

    `line`: a serial device (`/dev/ttyACM0`, `COM3`), opened at `baud`, or
    an open line (anything with `write` and `close`). `fps` (default 50, the
    servos' own pulse rate) and `latency_ms`: see `Stream`.
    """

    def __init__(self, servos: Sequence[Servo], line: str | SerialLine, *, baud: int = 115200,
                 fps: int | None = SERVO_FPS, latency_ms: Number = 0):
        if not servos:
            raise ValueError("a servo output needs at least one servo")
        check_channels(servos)
        self.servos = tuple(servos)
        super().__init__(self.servos, fps, latency_ms)
        if isinstance(line, str):
            serial: Any = optional_module("serial", "the servo output", "pyserial",
                                          "pip install 'gesturon[servo]'")
            try:
                self.line: SerialLine = serial.Serial(line, baud, write_timeout=1)
            except (serial.SerialException, ValueError) as error:
                raise ValueError(f"cannot open the servo line {line}: {error}") from None
        else:
            self.line = line
        self.targets: dict[int, int] = {}

    def commands(self, frame: Frame) -> bytes:
        """The Set Target commands of every servo for a frame."""
        out = bytearray()
        for servo, slew, position in self.follow(frame):
            pulse = slew.step(servo.pulse(position), frame.time_ns)
            target = quarter_us(Fraction(pulse))
            self.targets[servo.channel] = target
            out += set_target(servo.channel, target)
        return bytes(out)

    def send(self, frame: Frame) -> None:
        self.line.write(self.commands(frame))

    def dark(self) -> None:
        """Stop every servo's pulses (target 0): the servos go limp."""
        self.line.write(b"".join(set_target(servo.channel, 0) for servo in self.servos))

    def close(self) -> None:
        self.line.close()
