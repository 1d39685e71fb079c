"""Positions as MIDI control changes, for music gear and anything that
learns a controller: each `Control` sends one axis of a track on one
controller number, as a 7-bit value or a 14-bit MSB/LSB pair.

A 14-bit control sends its high seven bits on controller N (0..31) and its
low seven on N + 32, high first, as MIDI pairs them. Values come from an
`Axis`, exactly like DMX channels (by default -1 is 0, 0 the middle and 1
the top: 127 or 16383). A controller is sent only when its value changes,
so a slow pattern does not fill a DIN MIDI cable (about a thousand messages
a second); the first frame sends every one. When only the low seven bits
of a 14-bit value change, the LSB goes alone, as MIDI allows.

Messages go through mido (`pip install 'gesturon[midi]'`), to a port given
by name (which needs a backend such as python-rtmidi) or an open mido port.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any, Sequence

from .clock import Number
from .dmx import Axis, Real
from .outputs import MissingDependency, optional_module
from .slew import Followers, Slew, check_axis

if TYPE_CHECKING:
    from .live import Frame

MIDI_FPS = 50


@dataclass(frozen=True)
class Control:
    """Axis `axis` of track `track` on controller `number` of MIDI channel
    `channel` (1..16), 7-bit or, with `fine=True`, 14-bit (controller 0..31
    and its LSB partner number + 32). `slew` limits the speed in positions
    a second."""
    channel: int
    number: int
    axis: str = "x"
    track: str | int = 0
    fine: bool = False
    scale: Axis = field(default_factory=Axis)
    slew: Real | None = None

    def __post_init__(self) -> None:
        if isinstance(self.channel, bool) or not isinstance(self.channel, int) \
                or not 1 <= self.channel <= 16:
            raise ValueError(f"MIDI channel must be 1 to 16, not {self.channel}")
        top = 31 if self.fine else 119
        if isinstance(self.number, bool) or not isinstance(self.number, int) \
                or not 0 <= self.number <= top:
            raise ValueError(f"a {'14' if self.fine else '7'}-bit control is controller 0 to "
                             f"{top}, not {self.number}")
        check_axis(self.axis, "control")
        Slew(self.slew)

    def messages(self, value: int) -> list[tuple[int, int]]:
        """(controller, value) pairs for a value of the control's range."""
        if self.fine:
            return [(self.number, value >> 7), (self.number + 32, value & 0x7F)]
        return [(self.number, value)]


def check_controllers(controls: Sequence[Control]) -> None:
    """Refuse a controller of a channel used by two controls (a 14-bit one
    uses its number and number + 32)."""
    seen: set[tuple[int, int]] = set()
    for control in controls:
        for number in (control.number, control.number + 32) if control.fine \
                else (control.number,):
            if (control.channel, number) in seen:
                raise ValueError(f"controller {number} of channel {control.channel} "
                                 "is used twice")
            seen.add((control.channel, number))


class MidiOutput(Followers[Control]):
    """Control changes to a MIDI port: every frame, each control whose value
    changed. `port`: a port name or an open mido output port. `fps`
    (default 50) and `latency_ms`: see `Stream`."""

    def __init__(self, controls: Sequence[Control], port: str | Any, *,
                 fps: int | None = MIDI_FPS, latency_ms: Number = 0):
        self._mido = optional_module("mido", "MIDI output", "mido", "pip install 'gesturon[midi]'")
        if not controls:
            raise ValueError("a MIDI output needs at least one control")
        check_controllers(controls)
        self.controls = tuple(controls)
        super().__init__(self.controls, fps, latency_ms)
        self._sent: dict[tuple[int, int], int] = {}
        self._owned = isinstance(port, str)
        if isinstance(port, str):
            try:
                port = self._mido.open_output(port)
            except ImportError:
                raise MissingDependency("MIDI ports need the python-rtmidi package: "
                                        "pip install 'gesturon[midi]'") from None
            except Exception as error:  # the backend's own errors (no MIDI system, no port)
                raise ValueError(f"cannot open MIDI port {port!r}: {error}") from None
        self.port = port

    def values(self, frame: Frame) -> list[tuple[int, int, int]]:
        """(channel, controller, value) of every control for a frame."""
        out = []
        for control, slew, sampled in self.follow(frame):
            position = slew.step(sampled, frame.time_ns)
            value = control.scale.value(position, 16383 if control.fine else 127)
            out += [(control.channel, number, part) for number, part in control.messages(value)]
        return out

    def send(self, frame: Frame) -> None:
        Message = self._mido.Message
        for channel, number, value in self.values(frame):
            if self._sent.get((channel, number)) != value:
                self.port.send(Message("control_change", channel=channel - 1, control=number,
                                       value=value))
                self._sent[(channel, number)] = value

    def close(self) -> None:
        if self._owned:
            self.port.close()
