"""Show files: a patch, outputs, a tempo, named cues and a cue list in one
small TOML file (read with the standard library's `tomllib`), checked
whole before anything plays. The format is described in docs/shows.md.

`load(path)` reads and checks a file and returns a `Show`, or raises
`ShowErrors` carrying every mistake found, each with its place (the table
and key, and the line where the TOML parser gives one). Keys that are not
part of the format are mistakes too, never silently ignored.
"""

from __future__ import annotations

import json
import math
import re
import tomllib
from dataclasses import dataclass, field
from fractions import Fraction
from typing import Any, Callable, Mapping, Sequence, Union

from .compose import Pattern, Transform, check_ease, pips_of, rational, transform
from .dmx import CHANNELS, Axis, Fixture, check_overlaps, check_universe, parse_layout
from .meter import MAX_BEATS_PER_BAR, Meter
from .live import FINAL_FRAMES
from .showoutputs import OUTPUT_KINDS, Patch, artnet_universe, flag, slew_setting

PIPS_PER_BEAT = 64
# The tempo sources a show may name, with the keys of [tempo] each takes
# beside bpm and beats_per_bar: a fixed tempo, one tapped (from the keys or
# the console), an Ableton Link session, a MIDI clock on an input port.
TEMPO_SOURCES: dict[str, tuple[str, ...]] = {
    "fixed": (), "tap": (), "link": ("quantum", "lead"), "midi": ("port",)}
CUE_LIST_MODES = ("key", "timeline")
# How much a show file may hold (docs/limits.md). Reading and checking a show
# costs time in proportion to each of these, and a transform chain costs in
# proportion to the square of its length, so each is held far above any rig
# a show drives and far below what would keep `gesturon check` waiting.
MAX_SHOW_BYTES = 1 << 20
MAX_FIXTURES = 1024          # every member of a row counts
MAX_GROUPS = 256             # named in [groups]
MAX_GROUP_MEMBERS = 1024     # names in one group
MAX_OUTPUTS = 64
MAX_CUES = 1024
MAX_CUE_ENTRIES = 1024       # a group's pattern in a cue, over all cues
MAX_CHAIN_STEPS = 32         # transform steps of one group in one cue
MAX_STEPS = 1024             # transform steps over all cues
MAX_CUE_LIST = 4096          # cues in the cue list (one may come back)
MAX_MISTAKES_SHOWN = 100
Number = Union[int, float, str]


class ShowError(Exception):
    """One mistake in a show file: where it is and what is wrong."""

    def __init__(self, place: str, message: str, line: int | None = None):
        # A key may hold any character; shown, a mistake stays on one line
        # and sends the terminal nothing but text.
        super().__init__(printable(f"{place}: {message}" if place else message))
        self.place = place
        self.message = message
        self.line = line


def printable(text: str) -> str:
    return "".join(c if c.isprintable() else repr(c)[1:-1] for c in text)


class ShowErrors(Exception):
    """Every mistake found in a show file (`total` counts them when only
    the first are carried)."""

    def __init__(self, path: str, errors: Sequence[ShowError], total: int | None = None):
        self.total = len(errors) if total is None else total
        super().__init__(f"{path}: {self.total} mistake{'s' if self.total != 1 else ''}")
        self.path = path
        self.errors = list(errors)

    def lines(self) -> list[str]:
        """Each mistake as `path:line: place: message` (the line where it
        is known)."""
        return [f"{self.path}:{error.line}: {error}" if error.line else f"{self.path}: {error}"
                for error in self.errors]


# ---- what a show holds -------------------------------------------------------------------------

@dataclass(frozen=True)
class OutputSpec:
    """One output of the show: its kind and its settings as written."""
    kind: str
    settings: Mapping[str, Any]
    place: str


@dataclass(frozen=True)
class GroupCue:
    """What one group plays in a cue: a pattern, a transform chain and a
    spread (pips between one member and the next)."""
    pattern: str
    steps: tuple[tuple[str, Any], ...]
    spread: int


@dataclass(frozen=True)
class Cue:
    name: str
    groups: Mapping[str, GroupCue]
    fade: int
    ease: str


@dataclass(frozen=True)
class CueList:
    mode: str
    cues: tuple[str, ...]
    bars: tuple[int, ...]


@dataclass
class Show:
    """A checked show: fixtures in patch order (a row's members under
    `name/1` ...), groups of fixture names, outputs, tempo and cues."""
    bpm: Fraction
    meter: Meter
    source: str
    fixtures: dict[str, Fixture | None]
    groups: dict[str, tuple[str, ...]]
    outputs: list[OutputSpec]
    cues: dict[str, Cue]
    cue_list: CueList | None
    patterns: Callable[[str], Pattern] = field(repr=False, default=transform)
    # The file's tables as read, for writing the show back.
    data: dict[str, Any] = field(repr=False, default_factory=dict)
    # What the outputs are sent when the show stops (see `Player`), and
    # the protocol each DMX fixture is on: "sacn" or "artnet".
    final: str = "hold"
    carriers: dict[str, str] = field(default_factory=dict)
    # The tempo source's own keys as checked (quantum, lead, port).
    sync: dict[str, Any] = field(default_factory=dict)
    # Where OSC control listens ([control] osc): (address, port), or None.
    osc_control: tuple[str, int] | None = None

    @property
    def patch(self) -> Patch:
        return Patch(self.fixtures, self.carriers, self.groups)

    def to_toml(self) -> str:
        """The show as TOML that reads back to an equal show (comments and
        layout are not kept)."""
        return toml_text(self.data)

    @property
    def labels(self) -> list[str]:
        return list(self.fixtures)

    def cue_patterns(self, cue: str) -> dict[str, Pattern]:
        """The pattern each fixture plays in cue `cue` (fixtures its groups
        leave out are not in it): the group's pattern through its
        transform chain, member i shifted by i spreads."""
        chosen: dict[str, Pattern] = {}
        for group, given in self.cues[cue].groups.items():
            chain = apply_steps(transform(self.patterns(given.pattern)), given.steps)
            for i, label in enumerate(self.groups[group]):
                chosen[label] = chain.shift(i * given.spread) if given.spread else chain
        return chosen

    def start_patterns(self, cue: str) -> dict[str, Pattern]:
        """The patterns of a cue that a show starts with: it must give
        every fixture one."""
        if cue not in self.cues:
            raise ShowError("", f"no cue {cue!r} (the show has {', '.join(self.cues)})")
        chosen = self.cue_patterns(cue)
        missing = [label for label in self.fixtures if label not in chosen]
        if missing:
            raise ShowError(f"[cues.{cue}]", f"a show starting here needs a pattern for "
                                             f"every fixture; none for {', '.join(missing)}")
        return chosen

    def order(self) -> tuple[str, ...]:
        """The cues in the order the cue list steps through them (all cues
        in file order when there is no list)."""
        return self.cue_list.cues if self.cue_list is not None else tuple(self.cues)


# ---- transform steps ----------------------------------------------------------------------------

def vector(value: Any, fill: Number) -> list[Any]:
    """One number for every axis, or a list of up to three (x, y, z), the
    axes left out taking `fill`."""
    if not isinstance(value, list):
        return [number(value)] * 3
    if not 1 <= len(value) <= 3:
        raise ValueError(f"give one number or a list of up to three (x, y, z), not {value!r}")
    return [number(v) for v in value] + [fill] * (3 - len(value))


STEPS: dict[str, Callable[[Transform, Any], Transform]] = {
    "scale": lambda t, v: t.scale(*vector(v, 1)),
    "offset": lambda t, v: t.offset(*vector(v, 0)),
    "rotate": lambda t, v: t.rotate(number(v)),
    "mirror": lambda t, v: t.mirror(text(v)),
    "swap": lambda t, v: t.swap(text(v)),
    "shift": lambda t, v: t.shift(beats=number(v)),
    "speed": lambda t, v: t.speed(number(v)),
}


def number(value: Any) -> Number:
    if isinstance(value, bool) or not isinstance(value, (int, float, str)):
        raise ValueError(f"expected a number (or a fraction in quotes, \"3/4\"), not {value!r}")
    return value


def text(value: Any) -> str:
    if not isinstance(value, str):
        raise ValueError(f"expected axes such as \"x\" or \"xy\", not {value!r}")
    return value


def apply_steps(chain: Transform, steps: Sequence[tuple[str, Any]]) -> Transform:
    for kind, value in steps:
        chain = STEPS[kind](chain, value)
    return chain


# ---- reading -----------------------------------------------------------------------------------

NAME = re.compile(r"[A-Za-z][A-Za-z0-9_-]*")


class Reader:
    """Walks the parsed TOML, collecting every mistake instead of stopping
    at the first."""

    def __init__(self, known: Callable[[str], Pattern]):
        self.errors: list[ShowError] = []
        self.known = known

    def error(self, place: str, message: str) -> None:
        self.errors.append(ShowError(place, message))

    def table(self, data: Mapping[str, Any], key: str, place: str,
              required: bool = False) -> dict[str, Any]:
        value = data.get(key)
        if value is None:
            if required:
                self.error(place, f"missing table [{key}]")
            return {}
        if not isinstance(value, dict):
            self.error(place_of(place, key), f"expected a table, not {value!r}")
            return {}
        return value

    def unknown(self, data: Mapping[str, Any], allowed: Sequence[str], place: str) -> None:
        for key in data:
            if key not in allowed:
                hint = "; final is written before the first table" if key == "final" and place \
                    else ""
                self.error(place_of(place, key), f"unknown key (known: {', '.join(allowed)}){hint}")

    def value(self, data: Mapping[str, Any], key: str, place: str, check: Callable[[Any], Any],
              default: Any = None, required: bool = False) -> Any:
        if key not in data:
            if required:
                self.error(place, f"missing key {key!r}")
            return default
        try:
            return check(data[key])
        except (ValueError, TypeError) as error:
            self.error(place_of(place, key), str(error))
            return default


def place_of(table: str, key: str) -> str:
    return f"{table} {key}" if table else key


def whole(low: int, high: int, what: str) -> Callable[[Any], int]:
    def check(value: Any) -> int:
        if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
            raise ValueError(f"{what} must be a whole number {low} to {high}, not {value!r}")
        return value
    return check


DEFAULT_LAYOUT = ("pan", "pan_fine", "tilt", "tilt_fine")


def universe_setting(value: Any) -> int:
    check_universe(value)
    return int(value)


def beats_setting(value: Any) -> int:
    return pips_of(0, number(value))


def tempo_setting(value: Any) -> Fraction:
    from .clock import exact_tempo
    return exact_tempo(str(number(value)) if isinstance(value, str) else value)


def axis_setting(value: Any) -> Axis:
    if not isinstance(value, dict):
        raise ValueError(f"expected a table such as {{ centre = 270, swing = 60, travel = 540 }}, "
                         f"not {value!r}")
    allowed = ("centre", "swing", "travel", "limits", "slew")
    for key in value:
        if key not in allowed:
            raise ValueError(f"unknown key {key!r} (known: {', '.join(allowed)})")
    numbers: dict[str, Any] = {k: rational(number(v), k) for k, v in value.items()
                               if k not in ("limits", "slew")}
    if "slew" in value:
        numbers["slew"] = slew_setting(value["slew"])
    limits = value.get("limits")
    if limits is not None:
        if not isinstance(limits, list) or len(limits) != 2:
            raise ValueError(f"limits are two numbers [low, high], not {limits!r}")
        numbers_limits = (rational(number(limits[0]), "a limit"), rational(number(limits[1]), "a limit"))
        return Axis(**numbers, limits=numbers_limits)
    return Axis(**numbers)


def layout_setting(value: Any) -> tuple[str | int, ...]:
    if isinstance(value, str) or isinstance(value, list) and all(
            isinstance(v, (str, int)) and not isinstance(v, bool) for v in value):
        return parse_layout(value)
    raise ValueError(f"a layout is a string such as \"pan pan_fine tilt tilt_fine 255\" or a "
                     f"list of channels, not {value!r}")


FIXTURE_KEYS = ("universe", "artnet", "address", "layout", "count", "step", "pan", "tilt", "z")


def read_fixtures(reader: Reader, data: Mapping[str, Any], carriers: dict[str, str]
                  ) -> tuple[dict[str, Fixture | None], dict[str, tuple[str, ...]]]:
    """Every fixture by label, and each row's name with its members; the
    protocol of each DMX fixture goes into `carriers`."""
    fixtures: dict[str, Fixture | None] = {}
    rows: dict[str, tuple[str, ...]] = {}
    patch: dict[str, list[tuple[str, Fixture]]] = {"sacn": [], "artnet": []}
    for name, given in reader.table(data, "fixtures", "", required=True).items():
        place = f"[fixtures.{name}]"
        if not NAME.fullmatch(name):
            reader.error(place, "a fixture name starts with a letter and holds letters, digits, "
                                "_ and -")
            continue
        if not isinstance(given, dict):
            reader.error(place, f"expected a table, not {given!r}")
            continue
        reader.unknown(given, FIXTURE_KEYS, place)
        count = reader.value(given, "count", place, whole(1, 512, "count"), 1)
        labels = [name] if "count" not in given else [f"{name}/{i + 1}" for i in range(count)]
        if len(fixtures) + len(labels) > MAX_FIXTURES:
            reader.error(place, f"the show has more than {MAX_FIXTURES} fixtures (each member of "
                                "a row counts)")
            break
        rows[name] = tuple(labels)
        if "universe" not in given and "artnet" not in given:
            for key in ("address", "layout", "step", "pan", "tilt", "z"):
                if key in given:
                    reader.error(place_of(place, key), "only a DMX fixture (with a universe, "
                                                       "or an artnet universe) takes this")
            for label in labels:
                fixtures[label] = None
            continue
        carrier = "artnet" if "artnet" in given else "sacn"
        if "universe" in given and "artnet" in given:
            reader.error(place_of(place, "artnet"), "a fixture is on sACN (universe) or on "
                                                    "Art-Net (artnet), not both")
        universe = reader.value(given, "universe", place, universe_setting) if carrier == "sacn" \
            else reader.value(given, "artnet", place, artnet_universe)
        address = reader.value(given, "address", place, whole(1, CHANNELS, "a DMX address"),
                               required=True)
        layout = reader.value(given, "layout", place, layout_setting, DEFAULT_LAYOUT)
        step = reader.value(given, "step", place, whole(1, CHANNELS, "step"), len(layout or ()))
        axes = {axis: reader.value(given, axis, place, axis_setting, Axis())
                for axis in ("pan", "tilt", "z")}
        # A fixture with a mistake is still known by name, so that groups
        # and cues naming it report only their own mistakes.
        for label in labels:
            fixtures[label] = None
            carriers[label] = carrier
        if universe is None or address is None or layout is None or step is None:
            continue
        for i, label in enumerate(labels):
            try:
                fixture = Fixture(universe, address + i * step, layout, track=label, **axes)
            except ValueError as error:  # only the fit in the universe is left to fail
                reader.error(place_of(place, "address"),
                             f"{label}: {error}" if len(labels) > 1 else str(error))
                break
            fixtures[label] = fixture
            patch[carrier].append((label, fixture))
    # sACN universe 1 and Art-Net's 0/0/1 are different wires: each
    # protocol's fixtures are checked among themselves.
    for carrier, patched in patch.items():
        try:
            check_overlaps([f for _, f in patched])
        except ValueError as error:
            numbers = [int(n) for n in re.findall(r"fixtures (\d+) and (\d+)", str(error))[0]]
            first, second = (patched[n - 1][0] for n in numbers)
            detail = str(error).split(" overlap ", 1)[1]
            if carrier == "artnet":
                channel, universe = detail.rsplit(" of universe ", 1)
                detail = f"{channel} of Art-Net universe {artnet_text(int(universe))}"
            reader.error("[fixtures]", f"{first} and {second} overlap {detail}")
    return fixtures, rows


def artnet_text(port_address: int) -> str:
    return f"{port_address >> 8}/{port_address >> 4 & 15}/{port_address & 15}"


def read_groups(reader: Reader, data: Mapping[str, Any], fixtures: Mapping[str, object],
                rows: Mapping[str, tuple[str, ...]]) -> dict[str, tuple[str, ...]]:
    """Groups of fixture labels. Every fixture and every row is also a
    group of its own name."""
    groups: dict[str, tuple[str, ...]] = dict(rows)
    for label in fixtures:
        groups.setdefault(label, (label,))
    named = reader.table(data, "groups", "")
    if len(named) > MAX_GROUPS:
        reader.error("[groups]", f"{len(named)} groups; a show names at most {MAX_GROUPS}")
        return groups
    for name, members in named.items():
        place = f"[groups] {name}"
        if name in groups:
            reader.error(place, f"{name!r} is already the name of a fixture")
            continue
        if not isinstance(members, list) or not members or \
                not all(isinstance(m, str) for m in members):
            reader.error(place, "a group is a list of fixture names")
            continue
        if len(members) > MAX_GROUP_MEMBERS:
            reader.error(place, f"{len(members)} names; a group lists at most {MAX_GROUP_MEMBERS}")
            continue
        labels: dict[str, None] = {}  # in order, each once
        for member in members:
            if member not in groups or member not in rows and member not in fixtures:
                reader.error(place, f"no fixture {member!r}")
                continue
            labels.update(dict.fromkeys(groups[member]))
        groups[name] = tuple(labels)
    return groups


def read_outputs(reader: Reader, data: Mapping[str, Any], patch: Patch) -> list[OutputSpec]:
    outputs: list[OutputSpec] = []
    entries = data.get("outputs", [])
    if not isinstance(entries, list):
        reader.error("outputs", "write each output as an [[outputs]] table")
        return outputs
    if len(entries) > MAX_OUTPUTS:
        reader.error("outputs", f"{len(entries)} outputs; a show has at most {MAX_OUTPUTS}")
        return outputs
    for i, entry in enumerate(entries):
        place = f"[[outputs]] #{i + 1}"
        if not isinstance(entry, dict):
            reader.error(place, "expected a table")
            continue
        kind = entry.get("kind")
        if kind not in OUTPUT_KINDS:
            reader.error(place_of(place, "kind"), f"unknown output kind {kind!r} (known: "
                                                  f"{', '.join(OUTPUT_KINDS)})")
            continue
        given = OUTPUT_KINDS[kind]
        place = f"[[outputs]] #{i + 1} ({kind})"
        reader.unknown(entry, ("kind",) + tuple(given.keys), place)
        before = len(reader.errors)
        settings = {key: reader.value(entry, key, place, check) for key, check in given.keys.items()
                    if key in entry}
        for key in given.required:
            if key not in entry:
                reader.error(place, f"missing key {key!r}")
        settings = {k: v for k, v in settings.items() if v is not None}
        if len(reader.errors) == before:  # the keys together, once each is right
            for key, message in given.together(settings, patch):
                reader.error(place_of(place, key) if key else place, message)
        outputs.append(OutputSpec(kind, settings, place))
    return outputs


def read_steps(reader: Reader, value: Any, place: str) -> tuple[tuple[str, Any], ...]:
    if not isinstance(value, list):
        reader.error(place, "a transform is a list of steps such as [{ scale = 0.5 }, "
                            "{ rotate = 90 }]")
        return ()
    if len(value) > MAX_CHAIN_STEPS:
        reader.error(place, f"{len(value)} steps; a transform has at most {MAX_CHAIN_STEPS}")
        return ()
    steps: list[tuple[str, Any]] = []
    for k, step in enumerate(value):
        where = f"{place} step {k + 1}"
        if not isinstance(step, dict) or len(step) != 1:
            reader.error(where, f"each step is a table of one key ({', '.join(STEPS)})")
            continue
        [(kind, setting)] = step.items()
        if kind not in STEPS:
            reader.error(where, f"unknown step {kind!r} (known: {', '.join(STEPS)})")
            continue
        steps.append((kind, setting))
    return tuple(steps)


def read_cues(reader: Reader, data: Mapping[str, Any],
              groups: Mapping[str, tuple[str, ...]]) -> dict[str, Cue]:
    cues: dict[str, Cue] = {}
    table = reader.table(data, "cues", "", required=True)
    if len(table) > MAX_CUES:
        reader.error("[cues]", f"{len(table)} cues; a show has at most {MAX_CUES}")
        return cues
    entries = steps_in_all = 0
    for name, given in table.items():
        place = f"[cues.{name}]"
        if not isinstance(given, dict):
            reader.error(place, "expected a table")
            continue
        fade = reader.value(given, "fade", place, beats_setting, 0)
        ease = reader.value(given, "ease", place, lambda v: check_ease(text_value(v)), "linear")
        chosen: dict[str, GroupCue] = {}
        for group, what in given.items():
            if group in ("fade", "ease"):
                continue
            entries += 1
            if entries > MAX_CUE_ENTRIES:
                reader.error(place, f"the cues give more than {MAX_CUE_ENTRIES} patterns to "
                                    "groups in all")
                return cues
            where = f"{place} {group}"
            if group not in groups:
                reader.error(where, f"no group or fixture {group!r}")
                continue
            if not isinstance(what, dict):
                reader.error(where, "expected a table such as { pattern = \"helix\" }")
                continue
            reader.unknown(what, ("pattern", "transform", "spread"), where)
            pattern = what.get("pattern")
            if not isinstance(pattern, str):
                reader.error(where, "missing key 'pattern'" if pattern is None
                             else f"pattern: expected a name, not {pattern!r}")
                continue
            steps = read_steps(reader, what.get("transform", []), f"{where} transform")
            steps_in_all += len(steps)
            if steps_in_all > MAX_STEPS:
                reader.error(where, f"the cues' transforms have more than {MAX_STEPS} steps in all")
                return cues
            spread = reader.value(what, "spread", where, beats_setting, 0)
            try:
                apply_steps(transform(reader.known(pattern)), steps)
            except (ValueError, TypeError) as error:
                reader.error(where, str(error))
                continue
            chosen[group] = GroupCue(pattern, steps, spread)
        covered: dict[str, str] = {}
        for group in chosen:
            shared = [label for label in groups[group] if label in covered]
            if shared:
                reader.error(place, f"{group} and {covered[shared[0]]} both give a pattern to "
                                    f"{', '.join(shared)}")
            covered.update((label, group) for label in groups[group])
        cues[name] = Cue(name, chosen, fade, ease)
    return cues


def text_value(value: Any) -> str:
    if not isinstance(value, str):
        raise ValueError(f"expected a name, not {value!r}")
    return value


def read_cue_list(reader: Reader, data: Mapping[str, Any], cues: Mapping[str, Cue]) -> CueList | None:
    if "cuelist" not in data:
        return None
    given = reader.table(data, "cuelist", "")
    place = "[cuelist]"
    reader.unknown(given, ("mode", "cues", "bars"), place)
    mode = reader.value(given, "mode", place, text_value, "key")
    if mode not in CUE_LIST_MODES:
        reader.error(place_of(place, "mode"), f"unknown mode {mode!r} (known: key, timeline)")
    names = reader.value(given, "cues", place, list, [], required=True)
    if len(names) > MAX_CUE_LIST:
        reader.error(place_of(place, "cues"), f"{len(names)} cues; a cue list holds at most "
                                              f"{MAX_CUE_LIST}")
        names = []
    for name in names:
        if name not in cues:
            reader.error(place_of(place, "cues"), f"no cue {name!r}")
    bars: list[int] = []
    if mode == "timeline":
        bars = reader.value(given, "bars", place, list, [], required=True)
        if len(bars) != len(names) or not all(isinstance(b, int) and not isinstance(b, bool)
                                              for b in bars):
            reader.error(place_of(place, "bars"), "give one whole bar number per cue")
        elif any(b >= c for b, c in zip(bars, bars[1:])) or (bars and bars[0] < 1):
            reader.error(place_of(place, "bars"), "bars start at 1 and increase")
    elif "bars" in given:
        reader.error(place_of(place, "bars"), "only a timeline takes bars")
    return CueList(mode, tuple(names), tuple(bars))


def final_setting(value: Any) -> str:
    if value not in FINAL_FRAMES:
        raise ValueError(f"expected one of {', '.join(map(repr, FINAL_FRAMES))}, not {value!r}")
    return str(value)


def parse(text: str, known: Callable[[str], Pattern] | None = None) -> Show:
    """A show from TOML text; `known` turns a pattern name into a pattern
    (default: the gesturon catalogue). Raises `ShowErrors` with every
    mistake (path "<show>")."""
    return read(text, "<show>", known)


def load(path: str, known: Callable[[str], Pattern] | None = None) -> Show:
    try:
        with open(path, "rb") as file:
            raw = file.read(MAX_SHOW_BYTES + 1)
        if len(raw) > MAX_SHOW_BYTES:
            raise ShowErrors(path, [too_long()])
        text = raw.decode("utf-8")
    except OSError as error:
        raise ShowErrors(path, [ShowError("", f"cannot read: {error.strerror}")]) from None
    except UnicodeDecodeError:
        raise ShowErrors(path, [ShowError("", "not UTF-8 text")]) from None
    return read(text, path, known)


def too_long(size: int | None = None) -> ShowError:
    return ShowError("", f"the show is {'more than ' if size is None else ''}"
                         f"{MAX_SHOW_BYTES if size is None else size} bytes; a show file is at "
                         f"most {MAX_SHOW_BYTES}")


def read(text: str, path: str, known: Callable[[str], Pattern] | None) -> Show:
    size = len(text.encode("utf-8", "surrogateescape"))
    if size > MAX_SHOW_BYTES:
        raise ShowErrors(path, [too_long(size)])
    try:
        data = tomllib.loads(text)
    except RecursionError:  # the TOML reader descends once for every level of nesting
        raise ShowErrors(path, [ShowError("", "arrays or tables nested too deeply")]) from None
    except tomllib.TOMLDecodeError as error:
        message = str(error)
        line = re.search(r"\(at line (\d+), column (\d+)\)$", message)
        if line is not None:
            raise ShowErrors(path, [ShowError(f"column {line[2]}", message[: line.start()].strip(),
                                              int(line[1]))]) from None
        raise ShowErrors(path, [ShowError("", message)]) from None
    reader = Reader(known or transform)
    reader.unknown(data, ("tempo", "fixtures", "groups", "outputs", "cues", "cuelist", "control",
                          "final"), "")
    tempo = reader.table(data, "tempo", "", required=True)
    source_keys = tuple(key for keys in TEMPO_SOURCES.values() for key in keys)
    reader.unknown(tempo, ("bpm", "beats_per_bar", "source") + source_keys, "[tempo]")
    bpm = reader.value(tempo, "bpm", "[tempo]", tempo_setting, Fraction(120), required=True)
    beats_per_bar = reader.value(tempo, "beats_per_bar", "[tempo]",
                                 whole(1, MAX_BEATS_PER_BAR, "beats per bar"), 4)
    source = reader.value(tempo, "source", "[tempo]", text_value, "fixed")
    sync = read_sync(reader, tempo, source)
    final = reader.value(data, "final", "", final_setting, "hold")
    carriers: dict[str, str] = {}
    fixtures, rows = read_fixtures(reader, data, carriers)
    groups = read_groups(reader, data, fixtures, rows)
    outputs = read_outputs(reader, data, Patch(fixtures, carriers, groups))
    cues = read_cues(reader, data, groups)
    cue_list = read_cue_list(reader, data, cues)
    control = reader.table(data, "control", "")
    reader.unknown(control, ("osc",), "[control]")
    osc_control = reader.value(control, "osc", "[control]", osc_control_setting)
    show = Show(bpm, Meter(beats_per_bar), source, fixtures, groups, outputs, cues, cue_list,
                reader.known, data, final, carriers, sync, osc_control)
    if not reader.errors and show.order():
        try:
            show.start_patterns(show.order()[0])
        except ShowError as error:
            reader.errors.append(error)
    if reader.errors:
        # Finding a mistake's line reads the file, so only the first are
        # placed and shown; mending them usually clears many of the rest.
        shown = reader.errors[:MAX_MISTAKES_SHOWN]
        for mistake in shown:
            mistake.line = locate(text, mistake.place)
        if len(reader.errors) > len(shown):
            shown.append(ShowError("", f"and {len(reader.errors) - len(shown)} more mistakes"))
        raise ShowErrors(path, shown, len(reader.errors))
    return show


def osc_control_setting(value: Any) -> tuple[str, int]:
    from .osccontrol import listen_address  # the command line's reading of --osc-control
    return listen_address(value)


def port_name(value: Any) -> str:
    if not isinstance(value, str) or not value.strip():
        raise ValueError(f"expected the name of a MIDI input port, not {value!r}")
    return value


def read_sync(reader: Reader, tempo: Mapping[str, Any], source: Any) -> dict[str, Any]:
    """The keys of [tempo] that belong to its source: a Link quantum (whole
    beats, 1 to 64) and whether to lead the session's tempo; a MIDI clock's
    input port, which it needs."""
    if source not in TEMPO_SOURCES:
        reader.error("[tempo] source", f"unknown tempo source {source!r} (known: "
                                       f"{', '.join(TEMPO_SOURCES)})")
        return {}
    checks: dict[str, Callable[[Any], Any]] = {
        "quantum": whole(1, MAX_BEATS_PER_BAR, "quantum"),
        "lead": flag,
        "port": port_name}
    sync: dict[str, Any] = {}
    for key, check in checks.items():
        if key not in tempo:
            continue
        if key not in TEMPO_SOURCES[source]:
            owner = next(kind for kind, keys in TEMPO_SOURCES.items() if key in keys)
            reader.error(f"[tempo] {key}", f"only source = \"{owner}\" takes this")
            continue
        value = reader.value(tempo, key, "[tempo]", check)
        if value is not None:
            sync[key] = value
    if source == "midi" and "port" not in tempo:
        reader.error("[tempo]", "source = \"midi\" needs a port (the MIDI input the clock "
                                "arrives on)")
    return sync


HEADER = re.compile(r"\s*(\[\[?[^\]]*\]\]?)\s*(#.*)?")


def locate(text: str, place: str) -> int | None:
    """The line of a place in the file: the key's line within its table
    ("[fixtures.head] universe", "[[outputs]] #2 (osc) to"), else the
    table's header; None when it cannot be told."""
    match = re.fullmatch(r"(\[\[\w+\]\] #(\d+)(?: \(\w+\))?|\[[^\]]+\])(?: (\S+))?.*", place)
    if match is None:
        return top_level_line(text, place)
    header, nth, key = match[1], int(match[2] or 1), match[3]
    if nth > 1 or header.startswith("[["):
        header = header.split(" ")[0]
    found = None
    for number, line in enumerate(text.splitlines(), 1):
        table = HEADER.fullmatch(line)
        if table is not None:
            if found is not None:
                break  # the key is not in this table
            if table[1].replace(" ", "") == header:
                nth -= 1
                if nth == 0:
                    found = number
        elif found is not None and key and re.match(rf"\s*{re.escape(key)}\s*[=.]", line):
            return number
    return found


def top_level_line(text: str, key: str) -> int | None:
    """The line of a key written before the first table."""
    for number, line in enumerate(text.splitlines(), 1):
        if HEADER.fullmatch(line):
            return None
        if re.match(rf"\s*{re.escape(key)}\s*=", line):
            return number
    return None

# ---- writing -----------------------------------------------------------------------------------

BARE_KEY = re.compile(r"[A-Za-z0-9_-]+")


def toml_key(key: str) -> str:
    return key if BARE_KEY.fullmatch(key) else toml_value(key)


def toml_value(value: Any) -> str:
    """A value in TOML's inline form (JSON's string escapes are TOML's)."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return repr(value) if math.isfinite(value) else ("nan" if value != value else
                                                         "inf" if value > 0 else "-inf")
    if isinstance(value, str):
        return json.dumps(value)
    if isinstance(value, list):
        return "[" + ", ".join(toml_value(v) for v in value) + "]"
    if isinstance(value, dict):
        return "{ " + ", ".join(f"{toml_key(k)} = {toml_value(v)}" for k, v in value.items()) + " }"
    raise TypeError(f"no TOML form for {value!r}")


def toml_text(data: Mapping[str, Any]) -> str:
    """The tables of a show file: each top-level table a section, its own
    tables subsections ([fixtures.head]), an array of tables as [[outputs]],
    everything deeper inline."""
    blocks: list[list[str]] = []

    def block(header: str, table: Mapping[str, Any]) -> None:
        blocks.append([header] + [f"{toml_key(k)} = {toml_value(v)}" for k, v in table.items()])

    top = {key: value for key, value in data.items() if not isinstance(value, (dict, list))}
    if top:  # keys of the file itself come before every table
        blocks.append([f"{toml_key(k)} = {toml_value(v)}" for k, v in top.items()])
    for key, value in data.items():
        if key in top:
            continue
        if isinstance(value, list):
            for entry in value:
                block(f"[[{toml_key(key)}]]", entry)
            continue
        inner = {k: v for k, v in value.items() if isinstance(v, dict)}
        outer = {k: v for k, v in value.items() if k not in inner}
        if outer or not inner:
            block(f"[{toml_key(key)}]", outer)
        for name, table in inner.items():
            block(f"[{toml_key(key)}.{toml_key(name)}]", table)
    return "\n\n".join("\n".join(lines) for lines in blocks) + "\n"
