"""A simulated clock for running a player without waiting."""


class SimClock:
    """A nanosecond clock that moves only when slept on; every sleep
    overshoots by `late(ns)` more."""

    def __init__(self, start=0, late=lambda ns: 0):
        self.t = start
        self.late = late

    def now(self):
        return self.t

    def sleep(self, ns):
        assert ns > 0
        self.t += ns + self.late(ns)
