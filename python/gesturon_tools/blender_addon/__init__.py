"""gesturon in Blender: bake motion patterns onto objects and cameras in
time with music.

The panel sits in the 3D Viewport's sidebar (N), tab "gesturon". It bakes
with `gesturon_tools.blender`, which comes with the gesturon package in
Blender's own Python; without it the panel says how to install it. The
add-on registers either way, so it can say so.
"""

from __future__ import annotations

import sys
import textwrap
from typing import Any

import bpy
from bpy.props import EnumProperty, FloatProperty, IntProperty, PointerProperty, StringProperty

AXIS_ITEMS = [("x", "x", "the pattern's x"), ("y", "y", "the pattern's y"),
              ("z", "z", "the pattern's z"), ("-x", "-x", "the pattern's x, reversed"),
              ("-y", "-y", "the pattern's y, reversed"), ("-z", "-z", "the pattern's z, reversed"),
              ("none", "-", "not baked")]
CHANNEL_ITEMS = [
    ("location", "Location", "The object's location (scale in scene length units)"),
    ("rotation", "Rotation", "The object's Euler rotation (scale in degrees)"),
    ("delta_location", "Delta location", "Added to the object's own location, which stays free"),
    ("delta_rotation", "Delta rotation", "Added to the object's own rotation (scale in degrees)"),
    ("property", "Custom property", "Three numbers in a custom property of the object"),
]


def tools() -> Any:
    """gesturon_tools.blender, or None when gesturon is missing from
    Blender's Python."""
    try:
        import gesturon  # noqa: F401
        from gesturon_tools import blender
    except ImportError:
        return None
    return blender


def install_hint() -> str:
    """What to do when gesturon is missing, in one line."""
    return (f"gesturon is not installed in Blender's Python ({sys.executable}); install it with: "
            f'"{sys.executable}" -m pip install PATH (PATH: the gesturon source directory '
            "or wheel), then restart Blender")


_records: list[tuple[str, str]] = []


def catalogue_records() -> list[tuple[str, str]]:
    """(name, description) of every pattern, read once."""
    if not _records:
        import gesturon
        _records.extend((r["name"], r["description"]) for r in gesturon.catalogue())
    return _records


def search_patterns(settings: Any, context: Any, text: str) -> list[tuple[str, str]]:
    """Patterns whose name or description holds every word typed, with
    their descriptions."""
    if tools() is None:
        return []
    words = text.lower().split()
    return [(name, description) for name, description in catalogue_records()
            if all(word in f"{name} {description}".lower() for word in words)]


class GesturonSettings(bpy.types.PropertyGroup):  # type: ignore[misc]
    pattern: StringProperty(  # type: ignore[valid-type]
        name="Pattern", default="beat_house_classic_figure8", search=search_patterns,
        description="A pattern of the catalogue (type words of its name or description)")
    tempo_source: EnumProperty(  # type: ignore[valid-type]
        name="Tempo", default="TYPED",
        items=[("TYPED", "Typed", "The tempo typed here"),
               ("MARKER", "Marker", "The last timeline marker named like '124 BPM' at or before the start")])
    bpm: FloatProperty(name="BPM", default=120.0, min=20.0, max=999.0, precision=2,  # type: ignore[valid-type]
                       description="Beats a minute")
    start_frame: IntProperty(name="Start", default=1,  # type: ignore[valid-type]
                             description="The frame of beat zero, the downbeat of bar 1")
    bars: IntProperty(name="Bars", default=4, min=1, max=100000,  # type: ignore[valid-type]
                      description="How many bars to bake")
    beats_per_bar: IntProperty(name="Beats a bar", default=4, min=1, max=64)  # type: ignore[valid-type]
    channel: EnumProperty(name="Channel", items=CHANNEL_ITEMS, default="location")  # type: ignore[valid-type]
    property_name: StringProperty(name="Property", default="gesturon_motion")  # type: ignore[valid-type]
    scale: FloatProperty(name="Scale", default=0.25,  # type: ignore[valid-type]
                         description="How far a pattern's 1 goes: scene units for a location, "
                                     "degrees for a rotation")
    axis_x: EnumProperty(name="X", items=AXIS_ITEMS, default="x")  # type: ignore[valid-type]
    axis_y: EnumProperty(name="Y", items=AXIS_ITEMS, default="z")  # type: ignore[valid-type]
    axis_z: EnumProperty(name="Z", items=AXIS_ITEMS, default="y")  # type: ignore[valid-type]
    spread: FloatProperty(name="Spread", default=0.0, min=-64.0, max=64.0,  # type: ignore[valid-type]
                          description="Beats each selected object (by name) is ahead of the one before")
    step: EnumProperty(  # type: ignore[valid-type]
        name="Keys", default="frame",
        items=[("frame", "Every frame", "A key on every frame, linear in between"),
               ("pip", "Every pip", "A key where each pip begins, held until the next")])
    camera_mode: EnumProperty(  # type: ignore[valid-type]
        name="Camera", default="target",
        items=[("target", "Aim at a moving target", "The camera tracks an empty that moves"),
               ("camera", "Move the camera", "The camera's own location moves")])


def bake_options(settings: Any, scene: Any) -> dict[str, Any]:
    """The settings as options of the bake functions."""
    blender = tools()
    if settings.tempo_source == "MARKER":
        bpm, _ = blender.tempo_from_markers(scene, settings.start_frame)
    else:
        bpm = blender.float32_decimal(settings.bpm)
    axes = [None if a == "none" else a for a in (settings.axis_x, settings.axis_y, settings.axis_z)]
    if settings.channel == "property":
        axes = ["x", "y", "z"]
    from gesturon_tools.meter import Meter
    return {"bpm": bpm, "bars": settings.bars, "start_frame": settings.start_frame,
            "scene": scene, "meter": Meter(settings.beats_per_bar), "scale": settings.scale,
            "axes": axes, "step": settings.step, "property_name": settings.property_name}


class GesturonOperator(bpy.types.Operator):  # type: ignore[misc]
    """Runs `bake` with the panel's settings and reports what it did, or
    why it could not (gesturon missing, bad settings) as one line."""
    bl_options = {"REGISTER", "UNDO"}

    def execute(self, context: Any) -> set[str]:
        blender = tools()
        if blender is None:
            self.report({"ERROR"}, install_hint())
            return {"CANCELLED"}
        try:
            done = self.bake(blender, context, context.scene.gesturon)
        except (ValueError, TypeError) as error:
            self.report({"ERROR"}, str(error))
            return {"CANCELLED"}
        self.report({"INFO"}, done)
        return {"FINISHED"}

    def bake(self, blender: Any, context: Any, settings: Any) -> str:
        raise NotImplementedError


class GESTURON_OT_bake(GesturonOperator):
    """Bake the pattern onto the selected objects"""
    bl_idname = "gesturon.bake"
    bl_label = "Bake"

    def bake(self, blender: Any, context: Any, settings: Any) -> str:
        objects = sorted(context.selected_objects, key=lambda o: o.name)
        if not objects and context.active_object is not None:
            objects = [context.active_object]
        if not objects:
            raise ValueError("select the objects to bake onto")
        options = bake_options(settings, context.scene)
        spread = blender.float32_decimal(settings.spread) * 64
        if spread.denominator != 1:
            raise ValueError(f"a spread of {float(settings.spread):g} beats is not a whole number of pips")
        made = blender.bake_spread(objects, settings.pattern, int(spread),
                                   channel=settings.channel, **options)
        frames = made[0].frames
        return (f"Baked {made[0].pattern} onto {len(made)} object{'s' if len(made) > 1 else ''}: "
                f"frames {frames.start} to {frames.stop - 1}")


class GESTURON_OT_remove(GesturonOperator):
    """Remove the baked patterns of the chosen channel from the selected objects"""
    bl_idname = "gesturon.remove"
    bl_label = "Remove"

    def bake(self, blender: Any, context: Any, settings: Any) -> str:
        removed = sum(blender.remove(obj, settings.channel, settings.property_name)
                      for obj in context.selected_objects)
        return f"Removed {removed} bake{'' if removed == 1 else 's'}"


class GESTURON_OT_camera(GesturonOperator):
    """Bake the pattern onto the active camera (or the scene's), or onto an empty it aims at"""
    bl_idname = "gesturon.camera"
    bl_label = "Camera on the beat"

    def bake(self, blender: Any, context: Any, settings: Any) -> str:
        camera = context.active_object
        if camera is None or camera.type != "CAMERA":
            camera = context.scene.camera
        if camera is None:
            raise ValueError("the scene has no camera")
        options = bake_options(settings, context.scene)
        options["axes"] = None   # the usual mapping for a location
        made = blender.camera_preset(camera, settings.pattern, mode=settings.camera_mode, **options)
        return f"Baked {made.pattern} onto {made.object_name}"


class GESTURON_PT_panel(bpy.types.Panel):  # type: ignore[misc]
    bl_label = "gesturon"
    bl_idname = "GESTURON_PT_panel"
    bl_space_type = "VIEW_3D"
    bl_region_type = "UI"
    bl_category = "gesturon"

    def draw(self, context: Any) -> None:
        layout = self.layout
        if tools() is None:
            for line in textwrap.wrap(install_hint(), 40, break_on_hyphens=False):
                layout.label(text=line)
            return
        settings = context.scene.gesturon
        layout.prop(settings, "pattern", text="", icon="VIEWZOOM")
        description = dict(catalogue_records()).get(settings.pattern)
        box = layout.box()
        for line in textwrap.wrap(description or "not a pattern of the catalogue", 40):
            box.label(text=line)
        row = layout.row()
        row.prop(settings, "tempo_source", expand=True)
        if settings.tempo_source == "TYPED":
            layout.prop(settings, "bpm")
        column = layout.column(align=True)
        column.prop(settings, "start_frame")
        column.prop(settings, "bars")
        column.prop(settings, "beats_per_bar")
        layout.prop(settings, "channel")
        if settings.channel == "property":
            layout.prop(settings, "property_name")
        else:
            row = layout.row(align=True)
            for axis in ("axis_x", "axis_y", "axis_z"):
                row.prop(settings, axis)
        layout.prop(settings, "scale")
        layout.prop(settings, "spread")
        layout.prop(settings, "step")
        row = layout.row()
        row.scale_y = 1.4
        row.operator("gesturon.bake", icon="KEYFRAME_HLT")
        layout.operator("gesturon.remove", icon="X")
        layout.separator()
        layout.prop(settings, "camera_mode")
        layout.operator("gesturon.camera", icon="CAMERA_DATA")


CLASSES = (GesturonSettings, GESTURON_OT_bake, GESTURON_OT_remove, GESTURON_OT_camera,
           GESTURON_PT_panel)


def register() -> None:
    for cls in CLASSES:
        bpy.utils.register_class(cls)
    bpy.types.Scene.gesturon = PointerProperty(type=GesturonSettings)


def unregister() -> None:
    del bpy.types.Scene.gesturon
    for cls in reversed(CLASSES):
        bpy.utils.unregister_class(cls)
