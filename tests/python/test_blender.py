"""Bakes into a real Blender (the bpy module, headless): every frame holds the
module's sample at the frame's pip by the live player's clock, as Blender
itself evaluates the curves."""

from __future__ import annotations

import math
import struct
from fractions import Fraction

import pytest

bpy = pytest.importorskip("bpy")

import gesturon  # noqa: E402
from gesturon_tools import blender  # noqa: E402
from gesturon_tools.meter import Meter  # noqa: E402
from blender_timing import expected_pip  # noqa: E402


def f32(value: float) -> bytes:
    return struct.pack("<f", value)


@pytest.fixture
def scene():
    """A scene of its own, shown in the window (where Blender evaluates
    frames), removed with its objects afterwards."""
    made = bpy.data.scenes.new("test")
    window = bpy.context.window
    shown = window.scene
    window.scene = made
    # Its dependency graph, which an open Blender has for the scene it
    # shows (Blender 4.2 makes it only on demand).
    bpy.context.evaluated_depsgraph_get()
    yield made
    window.scene = shown
    for obj in list(made.collection.objects):
        bpy.data.objects.remove(obj)
    bpy.data.scenes.remove(made)


def add_object(scene, name="thing", location=(0.0, 0.0, 0.0)):
    obj = bpy.data.objects.new(name, None)
    scene.collection.objects.link(obj)
    obj.location = location
    return obj


def curves_of(obj, data_path):
    curves = blender.channel_curves(obj, create=False)
    found = [] if curves is None else [c for c in curves.fcurves if c.data_path == data_path]
    return {curve.array_index: curve for curve in found}


def set_rate(scene, fps, fps_base):
    scene.render.fps = fps
    scene.render.fps_base = fps_base


# (tempo, fps, fps_base): whole and fractional pips per frame, a tempo given
# as a decimal string, and the NTSC rates.
RATES = [
    (124, 24, 1.0), (120, 30, 1.0), (100, 100, 1.0), ("133.7", 25, 1.0),
    (97, 60, 1.001), (128, 30, 1.001), (999, 24, 1.0), (20, 120, 1.0),
]
# (channel, scale, axes, offset): each channel with its unit, mapped or
# negated axes and a phase offset.
CHANNELS = [
    ("location", 0.5, None, 0), ("rotation", 30.0, ("y", "-x", None), 16),
    ("delta_location", (0.25, 1.0, 2.0), ("z", "y", "x"), -40), ("property", 1.0, None, 7),
]


@pytest.mark.parametrize("bpm, fps, fps_base", RATES)
@pytest.mark.parametrize("channel, scale, axes, offset", CHANNELS)
def test_every_frame_holds_the_sample_at_its_pip(scene, bpm, fps, fps_base, channel, scale,
                                                 axes, offset):
    set_rate(scene, fps, fps_base)
    obj = add_object(scene, location=(1.5, -2.0, 0.25))
    name, start, bars = "beat_house_classic_figure8", 11, 2
    made = blender.bake(obj, name, bpm=bpm, bars=bars, start_frame=start, scene=scene,
                        channel=channel, scale=scale, axes=axes, offset=offset)
    curves = curves_of(obj, made.data_path)
    mapping = axes or (("x", "y", "z") if channel == "property" else ("x", "z", "y"))
    scales = (scale,) * 3 if isinstance(scale, float) else scale
    centre = (1.5, -2.0, 0.25) if channel == "location" else (0.0, 0.0, 0.0)
    assert sorted(curves) == [c for c, axis in enumerate(mapping) if axis]
    stop = bars * 4 * 64
    frames = []
    frame = start
    while expected_pip(bpm, fps, fps_base, start, frame) < stop:
        frames.append(frame)
        frame += 1
    assert list(made.frames) == frames
    between = 0
    for frame in frames:
        pip = expected_pip(bpm, fps, fps_base, start, frame)
        beats = (frame - start) * Fraction(str(fps_base)) / fps * Fraction(str(bpm)) / 60
        between += beats * 64 != pip
        sample = gesturon.sample(name, pip + offset).as_tuple()
        for component, curve in curves.items():
            axis = mapping[component]
            factor = math.radians(scales[component]) if "rotation" in channel else scales[component]
            value = centre[component] + sample["xyz".index(axis[-1])] * (-factor if axis[0] == "-" else factor)
            assert f32(curve.evaluate(frame)) == f32(value), (frame, component)
    assert between > 0 or Fraction(str(bpm)) * 64 * Fraction(str(fps_base)) / (60 * fps) % 1 == 0
    for curve in curves.values():
        assert curve.group.name == name
        assert len(curve.keyframe_points) == len(frames)


@pytest.mark.parametrize("bpm, fps, fps_base", [(124, 24, 1.0), (97, 60, 1.001), (999, 120, 1.0),
                                                  (20, 24, 1.0), (137, 25, 1.0)])
@pytest.mark.parametrize("step", ["pip", 3, 64])
def test_pip_grid_holds_the_last_keyed_pip(scene, bpm, fps, fps_base, step):
    """Keys where pips begin, held: a frame shows the last keyed pip at or
    before its own, also where a pip begins just after a frame."""
    set_rate(scene, fps, fps_base)
    obj = add_object(scene)
    made = blender.bake(obj, "helix", bpm=bpm, bars=1, start_frame=0, scene=scene, step=step)
    every = 1 if step == "pip" else step
    curves = curves_of(obj, "location")
    for frame in made.frames:
        pip = expected_pip(bpm, fps, fps_base, 0, frame) // every * every
        x, y, z = gesturon.sample("helix", pip).as_tuple()
        assert [f32(curves[c].evaluate(frame)) for c in range(3)] == [f32(x), f32(z), f32(y)], frame


def test_scene_playback_matches_the_curves(scene):
    """Blender's own evaluation of the scene (frame_set) gives the object
    the curve values, and a spread offsets each object by its pips."""
    set_rate(scene, 30, 1.001)
    dancers = [add_object(scene, f"dancer{i}", (2.0 * i, 0.0, 0.0)) for i in range(4)]
    made = blender.bake_spread(dancers, "bounce", 16, offset=8, bpm=128, bars=1, scene=scene,
                               start_frame=1, channel="delta_location")
    assert [bake.offset for bake in made] == [8, 24, 40, 56]
    for frame in (1, 2, 17, 30, made[0].frames[-1]):
        scene.frame_set(frame)
        pip = expected_pip(128, 30, 1.001, 1, frame)
        for i, dancer in enumerate(dancers):
            x, y, z = gesturon.sample("bounce", pip + 8 + 16 * i).as_tuple()
            assert tuple(f32(v) for v in dancer.delta_location) == (f32(x), f32(z), f32(y))
            assert f32(dancer.location[0]) == f32(2.0 * i)  # the own transform is untouched


def test_rebake_replaces_and_remove_restores(scene):
    obj = add_object(scene, location=(1.0, 2.0, 3.0))
    # A hand-made key on Z: a bake of X and Y alone leaves it.
    obj.keyframe_insert("location", index=2, frame=5)
    blender.bake(obj, "helix", bpm=120, bars=1, scene=scene, axes=("x", "y", None), scale=2.0)
    scene.frame_set(20)
    blender.bake(obj, "circle", bpm=90, bars=2, scene=scene, axes=("x", "y", None), step="pip")
    curves = blender.channel_curves(obj, create=False)
    location = {c.array_index: (c.group.name if c.group else None, len(c.keyframe_points))
                for c in curves.fcurves if c.data_path == "location"}
    assert location[0] == location[1] == ("circle", 2 * 256)
    assert location[2][1] == 1 and len(location) == 3
    assert "helix" not in [group.name for group in curves.groups]
    # The second bake centres where the first did, not where the first left the object.
    x, y, _ = gesturon.sample("circle", 0).as_tuple()
    assert f32(curves.fcurves.find("location", index=0).evaluate(1)) == f32(1.0 + x)
    assert f32(curves.fcurves.find("location", index=1).evaluate(1)) == f32(2.0 + y)
    obj.rotation_mode = "QUATERNION"      # a rotation bake would be refused now; removal is not
    assert blender.remove(obj, "rotation") == 0
    assert blender.remove(obj, "location") == 1
    assert [c.array_index for c in curves.fcurves] == [2]
    assert tuple(obj.location)[:2] == (1.0, 2.0)
    assert "gesturon" not in obj.keys()
    assert blender.remove(obj) == 0


@pytest.mark.parametrize("kind", ["sampled", "own_class", "library"])
def test_own_patterns_bake_by_their_sample(scene, kind):
    rows = [(math.sin(k / 10), k / 100, -k / 100) for k in range(96)]
    pattern = gesturon.SampledPattern("wobble", "a wobble", rows)

    class Doubled:
        """Any object with sample(pip) and period_pips: a transform of another."""
        period_pips = 96

        def sample(self, pip):
            return pattern.sample(pip)

    obj = add_object(scene)
    arguments = {"sampled": (pattern, None), "own_class": (Doubled(), None),
                 "library": ("wobble", gesturon.PatternLibrary([pattern]))}[kind]
    made = blender.bake(obj, arguments[0], source=arguments[1], bpm=120, bars=1, start_frame=0,
                        scene=scene, channel="property", step="pip")
    assert made.pattern == ("Doubled" if kind == "own_class" else "wobble")
    curves = curves_of(obj, '["gesturon_motion"]')
    for frame in made.frames:
        row = rows[expected_pip(120, 24, 1.0, 0, frame) % 96]
        assert [f32(curves[c].evaluate(frame)) for c in range(3)] == [f32(v) for v in row]


def test_camera_preset_aims_at_a_moving_target(scene):
    data = bpy.data.cameras.new("lens")
    camera = bpy.data.objects.new("cam", data)
    scene.collection.objects.link(camera)
    camera.location = (0.0, -10.0, 2.0)
    camera.rotation_euler = (math.radians(90), 0.0, 0.0)   # looking along +Y
    for _ in range(2):                                      # a second run reuses everything
        made = blender.camera_preset(camera, "figure_eight", bpm=120, bars=1, scene=scene)
    target = bpy.data.objects[made.object_name]
    assert [o.name for o in scene.collection.objects].count("cam target") == 1
    assert [c.type for c in camera.constraints] == ["TRACK_TO"]
    assert tuple(round(v, 5) for v in blender.records(target)["location"]["centre"]) == (0.0, 0.0, 2.0)
    scene.frame_set(7)
    view = -(camera.matrix_world.to_3x3().col[2])
    towards = (target.matrix_world.translation - camera.matrix_world.translation).normalized()
    assert view.dot(towards) > 0.99999
    blender.camera_preset(camera, "bounce", bpm=120, bars=1, scene=scene, mode="camera", scale=1.0)
    assert curves_of(camera, "location")[0].group.name == "bounce"


@pytest.mark.parametrize("name, tempo", [
    ("124 BPM", Fraction(124)), ("bpm 128.5", Fraction(257, 2)), ("90bpm", Fraction(90)),
    ("chorus", None), ("124", None), ("BPM", None), ("5 BPM", None), ("1e3 BPM", None),
])
def test_tempo_markers(scene, name, tempo):
    assert blender.parse_tempo_marker(name) == tempo
    scene.timeline_markers.new("100 BPM", frame=1)
    scene.timeline_markers.new(name, frame=50)
    scene.timeline_markers.new("140 BPM", frame=200)
    assert blender.tempo_from_markers(scene, 120) == ((tempo, 50) if tempo else (Fraction(100), 1))
    with pytest.raises(ValueError, match="no tempo marker at or before frame 0"):
        blender.tempo_from_markers(scene, 0)


@pytest.mark.parametrize("options, message", [
    ({"pattern": "beat_house_classic_figur8"}, "did you mean beat_house_classic_figure8"),
    ({"channel": "scale"}, "unknown channel 'scale'"),
    ({"axes": ("x", "w", None)}, "an axis is x, y or z"),
    ({"axes": (None, None, None)}, "drive no component"),
    ({"scale": (1.0, 2.0)}, "scale is one finite number or three"),
    ({"scale": float("nan")}, "scale is one finite number or three"),
    ({"step": 0}, "step is 'frame', 'pip' or a whole number of pips"),
    ({"bpm": 5}, "tempo must be 20 to 999 BPM"),
    ({"bars": 0}, "a count of bars must be a whole number"),
    ({"centre": (1.0, 2.0)}, "centre of location is three finite numbers"),
    ({"offset": 2**31 - 1000}, "beyond the signed 32-bit pips"),
    ({"offset": -2**31 - 1}, "beyond the signed 32-bit pips"),
    ({"channel": "property", "property_name": 'a"b'}, "not a usable custom property name"),
    ({"quaternion": True, "channel": "rotation"}, "set an Euler rotation mode"),
])
def test_bad_bakes_are_refused_and_change_nothing(scene, options, message):
    """A refused bake leaves the object as it was: here with an earlier
    bake of the same channel in place."""
    obj = add_object(scene, location=(1.0, 2.0, 3.0))
    channel = options.get("channel", "location")
    if channel in blender.CHANNELS:
        blender.bake(obj, "bounce", bpm=100, bars=1, scene=scene, channel=channel)
    if options.pop("quaternion", False):
        obj.rotation_mode = "QUATERNION"
    def state():
        curves = blender.channel_curves(obj, create=False)
        keys = [(c.data_path, c.array_index, [tuple(k.co) for k in c.keyframe_points])
                for c in (curves.fcurves if curves else ())]
        return blender.records(obj), keys, tuple(obj.location)

    before = state()
    arguments = {"pattern": "helix", "bpm": 120, "scene": scene, **options}
    with pytest.raises(ValueError, match=message):
        blender.bake(obj, arguments.pop("pattern"), **arguments)
    assert state() == before


@pytest.mark.parametrize("fps, base, rate", [(24, 1.0, Fraction(24)), (30, 1.001, Fraction(30000, 1001)),
                                             (60, 1.001, Fraction(60000, 1001)), (25, 2.0, Fraction(25, 2)),
                                             (24, 1.25, Fraction(96, 5))])
def test_frame_rate_is_exact(scene, fps, base, rate):
    set_rate(scene, fps, base)
    assert blender.frame_rate(scene) == rate


def test_a_meter_sets_the_length(scene):
    obj = add_object(scene)
    made = blender.bake(obj, "helix", bpm=120, bars=2, meter=Meter(3), scene=scene, step=1)
    assert made.keys == 2 * 3 * 64
