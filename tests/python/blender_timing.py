"""Where the live player puts a frame, for checking what Blender bakes."""

import math
from fractions import Fraction

from gesturon_tools.clock import BeatClock, frame_time


def expected_pip(bpm, fps, fps_base, start, frame):
    """The live player's rule: frame k of a run at an integer rate is at
    frame_time(0, k, fps) and takes the clock's pip there; at a rate with a
    base (30 / 1.001) the same, with the frame length in exact rationals."""
    clock = BeatClock(bpm, 0, now_ns=lambda: 0)
    if fps_base == 1:
        return clock.pip_at(frame_time(0, frame - start, fps))
    t_ns = math.floor((frame - start) * Fraction(10**9) * Fraction(str(fps_base)) / fps)
    return math.floor(Fraction(t_ns) * Fraction(str(bpm)) * 64 / (60 * 10**9))
