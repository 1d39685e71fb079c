"""Patterns baked into Blender animation, for any Blender script.

    import bpy
    from gesturon_tools import blender
    hips = bpy.data.objects["Hips"]
    blender.bake(hips, "beat_house_classic_figure8", bpm=124, bars=8, scale=0.1)

A bake writes keyframes onto an object's location, rotation (Euler), delta
transform or a custom property: one F-curve per axis, gathered in an F-curve
group named after the pattern (Blender names an F-curve by its data path and
array index alone; the group is the name an animator sees in the Graph
Editor). The start frame is beat zero, the downbeat of bar 1.

Frames take their pips by the live player's exact rule: frame f lies
(f - start) / rate seconds after beat zero, counted in whole nanoseconds
(rounded down, as the player schedules its frames), and its pip is the floor
of the exact beat position there (`BeatClock.pip_at`). The rate is the
scene's fps / fps_base, taken as an exact rational (fps_base 1.001 gives
29.97 as 30000/1001). So a frame that falls between pips takes the pip it
is in, and a baked scene shows at every frame what `gesturon play` sends at
the same instant.

Keys go either on every frame (linear between frames), or on the pip grid
(on every pip, or every n-th, held constant until the next key). Either way
Blender evaluates each frame to exactly the baked value of that frame's pip.
Blender stores key values as 32-bit floats: a key holds the value computed
in double precision (centre plus position times scale), rounded to the
nearest float.

Every bake is recorded on its object (custom property "gesturon": the
pattern, tempo, start, length and the channel's value before the bake), so a
second bake of the same channel replaces the first, starting from the same
centre rather than from wherever the first bake left the object, and
`remove` puts the channel back where it was.
"""

from __future__ import annotations

import math
import struct
from dataclasses import dataclass
from fractions import Fraction
from typing import Any, Callable, Iterable, Literal, Protocol, Sequence, Union

import bpy
import mathutils

from .catalogue import INT32_MAX, INT32_MIN, Catalogue, Source, ToolError, load_source
from .clock import NS_PER_SECOND, BeatClock, Number, exact_tempo
from .compose import Position
from .meter import Meter

__all__ = [
    "Bake", "CHANNELS", "Timing", "bake", "bake_spread", "camera_preset", "float32_decimal", "frame_rate",
    "pattern_sampler", "remove", "tempo_from_markers", "timing",
]

Channel = Literal["location", "rotation", "delta_location", "delta_rotation", "property"]
CHANNELS: tuple[Channel, ...] = ("location", "rotation", "delta_location", "delta_rotation",
                                 "property")
DATA_PATHS = {"location": "location", "rotation": "rotation_euler",
              "delta_location": "delta_location", "delta_rotation": "delta_rotation_euler"}
ANGULAR = ("rotation", "delta_rotation")

# What each component of a channel takes by default: Blender is Z-up, so a
# pattern's x (lateral) drives X, its y (vertical) drives Z and its z (depth)
# drives Y, into the picture of the front view. A custom property is the
# plain (x, y, z).
TRANSFORM_AXES = ("x", "z", "y")
PROPERTY_AXES = ("x", "y", "z")
RECORD = "gesturon"
DEFAULT_PROPERTY = "gesturon_motion"

# Blender takes a key within this many frames of the evaluated frame as
# lying on it. A pip-grid key just after a frame is kept this far clear of
# it (twice over), so that frame still shows the pip before.
EXACT_KEY_FRAMES = 0.0001


class PatternLike(Protocol):
    """A pattern of one's own: a position for any pip."""

    @property
    def period_pips(self) -> int: ...

    def sample(self, pip: int, /) -> Position: ...


# A catalogue name, or a pattern object (a SampledPattern, a transform, a
# rendered beat motion).
PatternArg = Union[str, PatternLike]
Scale = Union[float, Sequence[float]]


Sampler = Callable[[int], tuple[float, float, float]]


def pattern_sampler(pattern: PatternArg, source: Source | None = None) -> tuple[str, Sampler]:
    """The pattern's name and a function of a pip giving (x, y, z). A name is
    looked up in `source` (a PatternLibrary, default the built-in
    catalogue); an unknown one raises ValueError naming the nearest."""
    if isinstance(pattern, str):
        library = load_source() if source is None else source
        sample = library.sample
        try:
            sample(pattern, 0)
        except ValueError:
            # Unknown: the catalogue's lookup names the nearest patterns.
            try:
                Catalogue(library).find(pattern)
            except ToolError as error:
                raise ValueError(str(error)) from None
            raise
        name = pattern
        return name, lambda pip: sample(name, pip).as_tuple()
    if not callable(getattr(pattern, "sample", None)):
        raise TypeError(f"a pattern is a catalogue name or has sample(pip), not {pattern!r}")
    name = getattr(pattern, "name", None) or type(pattern).__name__

    def position(pip: int) -> tuple[float, float, float]:
        at = pattern.sample(pip)
        return at.x, at.y, at.z
    return str(name), position


# ---- time -------------------------------------------------------------------------

def float32_decimal(value: float) -> Fraction:
    """A number Blender keeps as a 32-bit float, read as the shortest
    decimal that is that float: what was typed (1.001, 128.4) rather than
    the binary value near it (1.00100004673...)."""
    bits = struct.pack("<f", value)
    for digits in range(1, 10):
        text = f"{value:.{digits}g}"
        if struct.pack("<f", float(text)) == bits:
            return Fraction(text)
    raise ValueError(f"not a finite 32-bit float: {value!r}")


def frame_rate(scene: Any) -> Fraction:
    """The scene's frame rate, fps / fps_base, exactly (fps_base 1.001 is
    read as typed, so 30 / 1.001 is 30000/1001)."""
    return Fraction(int(scene.render.fps)) / float32_decimal(float(scene.render.fps_base))


class Timing:
    """Beat zero at `start_frame`, at `bpm` beats a minute and `rate` frames
    a second."""

    def __init__(self, bpm: Fraction, rate: Fraction, start_frame: int):
        self.bpm = bpm
        self.rate = rate
        self.start_frame = start_frame
        self.clock = BeatClock(bpm, 0, now_ns=lambda: 0)

    def time_ns(self, frame: int) -> int:
        """The instant of `frame` after beat zero, in whole nanoseconds
        (rounded down, as the player's frame times are)."""
        return (frame - self.start_frame) * NS_PER_SECOND * self.rate.denominator // self.rate.numerator

    def pip_at(self, frame: int) -> int:
        """The pip `frame` falls in: floor of 64 times its exact beat position."""
        return self.clock.pip_at(self.time_ns(frame))

    def frame_of_pip(self, pip: int) -> Fraction:
        """The exact (fractional) frame at which `pip` begins: integer frames
        at or after it are in `pip` or later, the ones before it are not."""
        return self.start_frame + Fraction(self.clock.time_of_pip(pip)) * self.rate / NS_PER_SECOND

    def frames(self, stop_pip: int) -> range:
        """The frames from the start whose pip is below `stop_pip`."""
        first_outside = math.ceil(self.frame_of_pip(stop_pip))
        return range(self.start_frame, max(self.start_frame, first_outside))


def timing(scene: Any, bpm: Number, start_frame: int | None = None) -> Timing:
    """The scene's timing at `bpm`, with beat zero at `start_frame` (default:
    the scene's first frame)."""
    start = int(scene.frame_start) if start_frame is None else int(start_frame)
    return Timing(exact_tempo(bpm), frame_rate(scene), start)


def tempo_from_markers(scene: Any, frame: int) -> tuple[Fraction, int]:
    """The tempo of a scene's tempo marker and the frame it stands on.

    A tempo marker is a timeline marker named as a tempo: "124 BPM" (a
    number, then BPM in any case; "bpm 124" and "128.5bpm" work too). The
    one that counts is the last at or before `frame`; ValueError when there
    is none."""
    found: tuple[int, Fraction] | None = None
    for marker in scene.timeline_markers:
        tempo = parse_tempo_marker(marker.name)
        if tempo is not None and marker.frame <= frame and (found is None or marker.frame >= found[0]):
            found = (int(marker.frame), tempo)
    if found is None:
        raise ValueError(f"no tempo marker at or before frame {frame} "
                         "(name a timeline marker like '124 BPM')")
    return found[1], found[0]


def parse_tempo_marker(name: str) -> Fraction | None:
    words = name.lower().replace("bpm", " bpm ").split()
    if len(words) != 2 or "bpm" not in words:
        return None
    number = words[1] if words[0] == "bpm" else words[0]
    try:
        return exact_tempo(number)
    except (TypeError, ValueError):
        return None


# ---- channels ---------------------------------------------------------------------

@dataclass(frozen=True)
class Target:
    """Where a bake writes: a data path (which also keys its record) and,
    for each component driven, the pattern axis and the factor (sign and
    scale) from the pattern's unit."""
    data_path: str
    components: tuple[tuple[int, int, float], ...]   # (component, pattern axis, factor)


def parse_axes(axes: Sequence[str | None], channel: str) -> list[tuple[int, int, float]]:
    """(component, pattern axis, sign) for each component given an axis:
    "x", "y", "z", negated with a leading "-"; None or "" leaves the
    component unbaked."""
    if isinstance(axes, str) or len(axes) != 3:
        raise ValueError(f"axes of {channel} are three entries (one per component), not {axes!r}")
    mapped = []
    for component, entry in enumerate(axes):
        if not entry:
            continue
        sign = -1.0 if entry.startswith("-") else 1.0
        axis = entry.lstrip("-+")
        if axis not in ("x", "y", "z"):
            raise ValueError(f"an axis is x, y or z (or -x, -y, -z), not {entry!r}")
        mapped.append((component, "xyz".index(axis), sign))
    if not mapped:
        raise ValueError(f"axes of {channel} drive no component")
    return mapped


def data_path_of(channel: str, property_name: str) -> str:
    if channel not in CHANNELS:
        raise ValueError(f"unknown channel {channel!r}: one of {', '.join(CHANNELS)}")
    if channel != "property":
        return DATA_PATHS[channel]
    if not property_name or '"' in property_name or "\\" in property_name:
        raise ValueError(f"not a usable custom property name: {property_name!r}")
    return f'["{property_name}"]'


def target_of(obj: Any, channel: str, scale: Scale, axes: Sequence[str | None] | None,
              property_name: str) -> Target:
    data_path = data_path_of(channel, property_name)
    scales = [float(scale)] * 3 if isinstance(scale, (int, float)) else [float(s) for s in scale]
    if len(scales) != 3 or not all(math.isfinite(s) for s in scales):
        raise ValueError(f"scale is one finite number or three, not {scale!r}")
    if channel in ANGULAR:
        # Given in degrees; Blender keeps angles in radians.
        scales = [math.radians(s) for s in scales]
        if channel == "rotation" and obj.rotation_mode in ("QUATERNION", "AXIS_ANGLE"):
            raise ValueError(f"{obj.name} rotates by {obj.rotation_mode.lower().replace('_', ' ')}; "
                             "set an Euler rotation mode to bake rotation")
    default = PROPERTY_AXES if channel == "property" else TRANSFORM_AXES
    mapped = parse_axes(default if axes is None else axes, channel)
    return Target(data_path, tuple((c, a, sign * scales[c]) for c, a, sign in mapped))


# ---- F-curves ---------------------------------------------------------------------

def channel_curves(obj: Any, create: bool) -> Any:
    """The collection holding the object's F-curves and groups (the
    channelbag of its action slot on Blender 4.4 and later, the action
    itself before), made when `create`; None when there is none."""
    data = obj.animation_data
    if data is None:
        if not create:
            return None
        data = obj.animation_data_create()
    if data.action is None:
        if not create:
            return None
        data.action = bpy.data.actions.new(f"{obj.name}Action")
    action = data.action
    if not hasattr(action, "slots"):
        return action
    if data.action_slot is None:
        if not create:
            return None
        slots = list(data.action_suitable_slots)
        data.action_slot = slots[0] if slots else action.slots.new(obj.id_type, obj.name)
    # Layered actions keep a slot's curves in a channelbag of a keyframe
    # strip; a bake uses the first layer's first strip, made when missing.
    for layer in action.layers:
        for strip in layer.strips:
            bag = strip.channelbag(data.action_slot)
            if bag is not None:
                return bag
    if not create:
        return None
    layer = action.layers[0] if len(action.layers) else action.layers.new("Layer")
    strip = layer.strips[0] if len(layer.strips) else layer.strips.new(type="KEYFRAME")
    return strip.channelbag(data.action_slot, ensure=True)


def new_curve(curves: Any, data_path: str, index: int, group: str) -> Any:
    """A new F-curve in the group named `group` (made when missing)."""
    if "action_group" in curves.fcurves.bl_rna.functions["new"].parameters:
        # An action of Blender before 4.4 makes the group itself.
        return curves.fcurves.new(data_path, index=index, action_group=group)
    curve = curves.fcurves.new(data_path, index=index)
    curve.group = curves.groups.get(group) or curves.groups.new(group)
    return curve


def drop_curves(obj: Any, data_path: str, components: Iterable[int]) -> int:
    """Removes the F-curves of `data_path` at the given components, and any
    group they leave empty; returns how many curves went."""
    curves = channel_curves(obj, create=False)
    if curves is None:
        return 0
    wanted = set(components)
    doomed = [curve for curve in curves.fcurves
              if curve.data_path == data_path and curve.array_index in wanted]
    groups = {curve.group.name for curve in doomed if curve.group is not None}
    for curve in doomed:
        curves.fcurves.remove(curve)
    for group in list(curves.groups):
        if group.name in groups and not group.channels:
            curves.groups.remove(group)
    return len(doomed)


# ---- baking -----------------------------------------------------------------------

@dataclass(frozen=True)
class Bake:
    """What one bake wrote."""
    object_name: str
    pattern: str
    data_path: str
    frames: range
    keys: int          # keys per F-curve
    offset: int        # pips ahead of the clock


Step = Union[Literal["frame", "pip"], int]


def key_plan(clock: Timing, stop_pip: int, step: Step) -> tuple[list[float], list[int], str]:
    """Key positions (frames), the clock pip of each, and the interpolation.

    On every frame: the frame's own pip, linear in between. On the pip grid
    (every pip, or every `step`-th from pip 0): a key where the pip begins,
    held until the next, so a frame shows the last keyed pip at or before
    its own. A pip-grid key is placed at the nearest float to where its pip
    begins, but never within reach of the integer frame before it (that
    frame is still in an earlier pip)."""
    if step == "frame":
        frames = clock.frames(stop_pip)
        return [float(f) for f in frames], [clock.pip_at(f) for f in frames], "LINEAR"
    every = 1 if step == "pip" else step
    if isinstance(every, bool) or not isinstance(every, int) or every < 1:
        raise ValueError(f"step is 'frame', 'pip' or a whole number of pips, not {step!r}")
    positions: list[float] = []
    pips: list[int] = []
    for pip in range(0, stop_pip, every):
        begins = clock.frame_of_pip(pip)
        before = math.ceil(begins) - 1
        at = max(as_float32(float(begins)), as_float32(before + 2 * EXACT_KEY_FRAMES, up=True))
        if positions and at <= positions[-1]:
            # Finer than a float can tell apart at this frame: the later pip wins.
            positions.pop()
            pips.pop()
        positions.append(at)
        pips.append(pip)
    return positions, pips, "CONSTANT"


def as_float32(value: float, up: bool = False) -> float:
    """`value` rounded to a 32-bit float (the next one up when `up` and it
    is not one already)."""
    rounded: float = struct.unpack("<f", struct.pack("<f", value))[0]
    if up and rounded < value:
        bits = struct.unpack("<I", struct.pack("<f", rounded))[0]
        step = 1 if rounded >= 0 else -1
        rounded = struct.unpack("<f", struct.pack("<I", bits + step))[0]
    return rounded


def current_values(obj: Any, data_path: str) -> list[float]:
    value = obj.path_resolve(data_path)
    return [float(v) for v in value] if hasattr(value, "__len__") else [float(value)]


def bake(obj: Any, pattern: PatternArg, *, bpm: Number, bars: int = 4,
         start_frame: int | None = None, scene: Any = None, meter: Meter | None = None,
         channel: Channel = "location", scale: Scale = 1.0,
         axes: Sequence[str | None] | None = None, centre: Sequence[float] | None = None,
         offset: int = 0, step: Step = "frame", source: Source | None = None,
         property_name: str = DEFAULT_PROPERTY) -> Bake:
    """Bakes `pattern` onto one channel of `obj` for `bars` bars from
    `start_frame` (beat zero; default the scene's first frame) at `bpm`.

    The value of component c at a frame is centre[c] + p * scale[c], p being
    the pattern's axis that `axes` maps to it at the frame's pip plus
    `offset`. `scale` is in Blender units for a location, in degrees for a
    rotation (one number for all components, or three); `centre` defaults
    to the channel's value before any bake. `channel` is "location",
    "rotation" (Euler), "delta_location", "delta_rotation" (added to the
    object's own transform, which stays free for keys of its own) or
    "property" (the custom property `property_name`, three numbers). A
    channel baked before is replaced."""
    scene = bpy.context.scene if scene is None else scene
    meter = Meter() if meter is None else meter
    if isinstance(offset, bool) or not isinstance(offset, int):
        raise TypeError(f"offset is a whole number of pips, not {offset!r}")
    name, position = pattern_sampler(pattern, source)
    clock = timing(scene, bpm, start_frame)
    stop_pip = meter.unit_pips("bar", bars)
    target = target_of(obj, channel, scale, axes, property_name)
    positions, pips, interpolation = key_plan(clock, stop_pip, step)
    if centre is not None and (len(centre) != 3 or not all(math.isfinite(v) for v in centre)):
        raise ValueError(f"centre of {channel} is three finite numbers, not {centre!r}")
    if channel == "property":
        value = obj.get(property_name)
        if value is not None and not (hasattr(value, "__len__") and len(value) == 3
                                      and not isinstance(value, str)):
            raise ValueError(f"custom property {property_name!r} of {obj.name} is not three "
                             "numbers; choose another name")
    if not (INT32_MIN <= offset and offset + stop_pip - 1 <= INT32_MAX):
        raise ValueError(f"an offset of {offset} pips goes beyond the signed 32-bit pips")
    # Everything that can fail is done before the object changes.
    samples = [position(pip + offset) for pip in pips]

    # The earlier bake of this channel goes first, and with it the curves of
    # the components this one drives (a bake owns them), so nothing is
    # doubled; the new one keeps the earlier centre.
    earlier = records(obj).get(target.data_path)
    rest = [float(v) for v in earlier["centre"]] if earlier is not None else None
    remove_channel(obj, target.data_path)
    drop_curves(obj, target.data_path, [c for c, _, _ in target.components])
    if channel == "property" and obj.get(property_name) is None:
        obj[property_name] = [0.0, 0.0, 0.0]
    if centre is not None:
        rest = [float(v) for v in centre]
    elif rest is None:
        rest = current_values(obj, target.data_path)

    curves = channel_curves(obj, create=True)
    codes = {"CONSTANT": 0, "LINEAR": 1}
    for component, axis, factor in target.components:
        curve = new_curve(curves, target.data_path, component, name)
        points = curve.keyframe_points
        points.add(len(positions))
        co = [0.0] * (2 * len(positions))
        co[0::2] = positions
        co[1::2] = [rest[component] + sample[axis] * factor for sample in samples]
        points.foreach_set("co", co)
        points.foreach_set("interpolation", [codes[interpolation]] * len(positions))
        curve.update()

    record = {"pattern": name, "channel": channel, "bpm": str(clock.bpm),
              "rate": str(clock.rate), "start_frame": clock.start_frame, "bars": bars,
              "offset": offset, "step": str(step), "centre": rest,
              "components": [c for c, _, _ in target.components]}
    baked = records(obj)
    baked[target.data_path] = record
    obj[RECORD] = baked
    frames = clock.frames(stop_pip)
    return Bake(obj.name, name, target.data_path, frames, len(positions), offset)


def bake_spread(objects: Iterable[Any], pattern: PatternArg, spread: int, *,
                offset: int = 0, **options: Any) -> list[Bake]:
    """Bakes one pattern across several objects (a row of dancers, a line of
    lights), each `spread` pips ahead of the one before, the first at
    `offset`. Options are those of `bake`."""
    if isinstance(spread, bool) or not isinstance(spread, int):
        raise TypeError(f"spread is a whole number of pips, not {spread!r}")
    return [bake(obj, pattern, offset=offset + i * spread, **options)
            for i, obj in enumerate(objects)]


def records(obj: Any) -> dict[str, dict[str, Any]]:
    """The bakes recorded on `obj`, by channel data path."""
    stored = obj.get(RECORD)
    return {} if stored is None else dict(stored.to_dict())


def remove_channel(obj: Any, key: str) -> bool:
    """Removes one recorded bake: its curves go and the channel returns to
    the value it had before."""
    baked = records(obj)
    record = baked.pop(key, None)
    if record is None:
        return False
    drop_curves(obj, key, record["components"])
    if key.startswith('["'):
        obj[key[2:-2]] = [float(v) for v in record["centre"]]
    else:
        setattr(obj, key, [float(v) for v in record["centre"]])
    if baked:
        obj[RECORD] = baked
    else:
        del obj[RECORD]
    return True


def remove(obj: Any, channel: Channel | None = None,
           property_name: str = DEFAULT_PROPERTY) -> int:
    """Removes the object's bakes (of one channel, or all) and puts the
    channels back where they were; returns how many bakes went."""
    if channel is None:
        keys = list(records(obj))
    else:
        keys = [data_path_of(channel, property_name)]
    return sum(remove_channel(obj, key) for key in keys)


# ---- cameras ----------------------------------------------------------------------

TRACK_CONSTRAINT = "gesturon track"


def camera_preset(camera: Any, pattern: PatternArg, *, bpm: Number,
                  mode: Literal["camera", "target"] = "target", scale: Scale = 0.5,
                  distance: float = 10.0, **options: Any) -> Bake:
    """A camera that moves with the beat.

    mode "camera" bakes the pattern onto the camera's own location, around
    where it stands (scale in Blender units). mode "target" makes (or reuses)
    an empty `distance` units ahead of the camera, points the camera at it
    with a Track To constraint and bakes the pattern onto the empty: the
    camera stays put and its aim follows the pattern. Options are those of
    `bake`."""
    if camera.type != "CAMERA":
        raise ValueError(f"{camera.name} is not a camera")
    if mode == "camera":
        return bake(camera, pattern, bpm=bpm, scale=scale, **options)
    if mode != "target":
        raise ValueError(f"camera mode is 'camera' or 'target', not {mode!r}")
    target_name = f"{camera.name} target"
    empty = bpy.data.objects.get(target_name)
    if empty is None:
        # Where the camera looks now, with its transform brought up to date.
        scene = options.get("scene") or bpy.context.scene
        scene.view_layers[0].update()
        empty = bpy.data.objects.new(target_name, None)
        empty.empty_display_type = "SPHERE"
        empty.empty_display_size = 0.25
        for collection in camera.users_collection:
            collection.objects.link(empty)
        ahead = camera.matrix_world.to_3x3() @ mathutils.Vector((0.0, 0.0, -distance))
        empty.location = camera.matrix_world.translation + ahead
    track = camera.constraints.get(TRACK_CONSTRAINT)
    if track is None:
        track = camera.constraints.new("TRACK_TO")
        track.name = TRACK_CONSTRAINT
    track.target = empty
    track.track_axis = "TRACK_NEGATIVE_Z"
    track.up_axis = "UP_Y"
    return bake(empty, pattern, bpm=bpm, scale=scale, **options)

