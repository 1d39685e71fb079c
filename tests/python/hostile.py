"""Hostile argument objects and a driver that throws them at every binding.

A hostile number or sequence does something when the binding converts it
(through __index__, __int__, __float__, __len__, __iter__ or __getitem__):
it resizes the bytearray that is the call's name, empties the list being
read, drops the last reference to a pattern already read, calls __init__ on
an object that is built (or being built), calls the module again, raises, or
answers with a huge or false value. The driver takes its choices from any
source of small integers (Hypothesis in the property tests, the fuzzer's
bytes in the fuzz harness), makes one call, and then checks what must hold
whatever happened: every object built before the call is unchanged, an
unknown name comes back exactly as given, and nothing but an ordinary
exception escapes.
"""

from __future__ import annotations

import gc
import sys
from typing import Any, Callable

import gesturon

PREFIX = b"Unknown gesturon: "
ACTIONS = ("none", "raise", "grow_name", "shrink_name", "clear_list", "drop", "reinit", "reenter", "collect")
ANSWERS = ("plain", "huge", "negative", "nan", "short", "long")


class Env:
    """What the hostile objects of one call can reach."""

    def __init__(self) -> None:
        self.name = bytearray(b"no_such_pattern")
        self.keep: list[bytearray] = []
        self.outer: list[Any] = []
        self.held: list[Any] = []
        self.built: list[Any] = []

    def act(self, action: str) -> None:
        if action == "raise":
            raise RuntimeError("hostile")
        if action == "grow_name":
            self.name.extend(b"\0" * 100_000)
            self.keep.append(bytearray(b"SECRET-" * 571))
        elif action == "shrink_name":
            del self.name[:]
        elif action == "clear_list":
            self.outer.clear()
        elif action == "drop":
            self.held.clear()
            gc.collect()
        elif action == "reinit":
            for obj in self.built:
                try:
                    if isinstance(obj, gesturon.PatternLibrary):
                        obj.__init__([])
                    elif isinstance(obj, gesturon.SampledPattern):
                        obj.__init__("re_built", "again", [(0.5, 0.5, 0.5)] * 3)
                    else:
                        obj.__init__("re_built", ["x"], [[0.5]], 120.0)
                except TypeError:
                    pass
        elif action == "reenter":
            gesturon.sample("bounce", 7)
            gesturon.catalogue()
        elif action == "collect":
            gc.collect()


class HostileNumber:
    def __init__(self, env: Env, value: float, action: str, answer: str) -> None:
        self.env, self.value, self.action, self.answer = env, value, action, answer

    def _answer(self) -> float:
        self.env.act(self.action)
        return {"huge": 2.0**70, "negative": -(2.0**70), "nan": float("nan")}.get(self.answer, self.value)

    def __index__(self) -> int:
        value = self._answer()
        return int(value) if value == value else 0

    __int__ = __index__

    def __float__(self) -> float:
        return float(self._answer())


class HostileSequence:
    def __init__(self, env: Env, items: list[Any], action: str, answer: str) -> None:
        self.env, self.items, self.action, self.answer = env, items, action, answer

    def __len__(self) -> int:
        self.env.act(self.action)
        if self.answer == "huge":
            return sys.maxsize
        return len(self.items) + {"short": -1, "long": 1}.get(self.answer, 0) if self.items else 0

    def __getitem__(self, i: int) -> Any:
        self.env.act(self.action)
        return self.items[i]

    def __iter__(self) -> Any:
        self.env.act(self.action)
        return iter(self.items)


class Driver:
    """One hostile call, its choices taken from `pick(n)` (an int in [0, n))."""

    def __init__(self, pick: Callable[[int], int]) -> None:
        self.pick = pick
        self.env = Env()

    def choose(self, options: tuple[Any, ...] | list[Any]) -> Any:
        return options[self.pick(len(options))]

    def number(self, value: float) -> Any:
        if self.pick(3) == 0:
            return value
        return HostileNumber(self.env, value, self.choose(ACTIONS), self.choose(ANSWERS))

    def sequence(self, items: list[Any]) -> Any:
        shape = self.pick(4)
        if shape == 0:
            return items
        if shape == 1:
            self.env.outer = items
            return items
        if shape == 2:
            return iter(items)
        return HostileSequence(self.env, items, self.choose(ACTIONS), self.choose(ANSWERS))

    def name(self) -> Any:
        kind = self.pick(4)
        if kind == 0:
            self.env.name[:] = bytearray(b"Q" * self.pick(5000))
            return self.env.name
        if kind == 1:
            return self.choose(["bounce", "helix", "no_such", "x" * 300])
        if kind == 2:
            return bytes(self.env.name)
        return self.env.name

    def pattern(self) -> Any:
        triples = [self.sequence([self.number(0.25), self.number(-0.5), self.number(0.0)])
                   for _ in range(1 + self.pick(3))]
        pattern = gesturon.SampledPattern(self.choose(["pat_a", "pat_b"]), "d", self.sequence(triples))
        return pattern

    def built_objects(self) -> None:
        self.env.built = [gesturon.PatternLibrary([gesturon.SampledPattern("own_a", "d", [(0.1, 0.2, 0.3)] * 2)]),
                          gesturon.SampledPattern("own_b", "d", [(0.4, 0.5, 0.6)] * 3),
                          gesturon.SampledRecording("own_c", ["x", "y"], [[0.1, 0.2], [0.3, 0.4]], 120.0)]

    def call(self) -> None:
        """One call of a binding chosen by the source, then the checks."""
        self.built_objects()
        before = [snapshot(obj) for obj in self.env.built]
        library, pattern, recording = self.env.built
        which = self.pick(9)
        given_name = b""
        try:
            if which == 0:
                name = self.name()
                given_name = bytes(name) if isinstance(name, (bytes, bytearray)) else name.encode()
                gesturon.sample(name, self.number(3))
            elif which == 1:
                name = self.name()
                given_name = bytes(name) if isinstance(name, (bytes, bytearray)) else name.encode()
                library.sample(name, self.number(3))
            elif which == 2:
                getattr(gesturon, self.choose(["bounce", "helix", "flam", "five_stroke_roll"]))(self.number(5))
            elif which == 3:
                self.env.held = [self.pattern() for _ in range(1 + self.pick(3))]
                items = list(self.env.held)
                self.env.held.append(library)
                gesturon.PatternLibrary(self.sequence(items)).catalogue()
            elif which == 4:
                self.pattern().sample(0)
            elif which == 5:
                pattern.sample(self.number(1))
            elif which == 6:
                rows = [self.sequence([self.number(0.5), self.number(-0.5)]) for _ in range(1 + self.pick(3))]
                gesturon.SampledRecording(self.choose(["rec_a", bytearray(b"rec_b")]),
                                          self.sequence(["x", "y"]), self.sequence(rows), self.number(120.0),
                                          self.number(0.0), self.number(0)).sample(0)
            elif which == 7:
                recording.sample(self.number(1))
            else:
                self.choose(self.env.built).__init__(*self.init_args())
        except ValueError as error:
            check_unknown_name(error, given_name)
        except Exception as error:  # any ordinary exception is a fair answer to a hostile object
            assert not isinstance(error, SystemError), error
        after = [snapshot(obj) for obj in self.env.built]
        assert after == before, "a built object changed"

    def init_args(self) -> tuple[Any, ...]:
        return self.choose([([],), ("x_y", "d", [(0, 0, 0)]), ("r_s", ["x"], [[0.0]], 120.0)])


def check_unknown_name(error: ValueError, given: bytes) -> None:
    """An unknown name's message is the prefix and the name as given, never
    other memory."""
    message = str(error).encode("utf-8", "surrogateescape")
    if message.startswith(PREFIX):
        assert message == PREFIX + given, message[:80]


def snapshot(obj: Any) -> Any:
    if isinstance(obj, gesturon.PatternLibrary):
        try:
            return [obj.sample("own_a", k).as_tuple() for k in range(3)]
        except ValueError as error:
            return str(error)
    if isinstance(obj, gesturon.SampledPattern):
        return obj.name, obj.description, [obj.sample(k).as_tuple() for k in range(obj.period_pips)]
    return obj.name, obj.dimensions, obj.sample_count, obj.bpm, [obj.sample(k) for k in range(obj.sample_count)]
