"""A Blender session for the add-on tests, run as its own process (with
BLENDER_USER_RESOURCES pointing at a scratch directory): installs the add-on
zip as Blender installs extensions, uses it as an animator would, disables
it, and prints what it saw as one JSON line.

    python blender_session.py ZIP bake|missing
"""

import json
import sys

if sys.argv[2] == "missing":
    # Blender's Python without gesturon.
    sys.modules["gesturon"] = None  # type: ignore[assignment]
    sys.modules["gesturon_tools"] = None  # type: ignore[assignment]

import bpy  # noqa: E402  (puts Blender's own modules on the path)
import addon_utils  # noqa: E402

MODULE = "bl_ext.user_default.gesturon"


class Layout:
    """Stands in for a panel's layout, keeping the labels drawn."""

    def __init__(self, labels):
        self.labels = labels
        self.scale_y = 1.0

    def label(self, text="", **_):
        self.labels.append(text)

    def box(self, **_):
        return self

    row = column = box

    def prop(self, *_, **__):
        pass

    operator = separator = prop


def panel_labels():
    labels = []
    panel = type("Drawn", (), {"layout": Layout(labels)})()
    bpy.types.GESTURON_PT_panel.draw(panel, bpy.context)
    return labels


def curves(obj):
    from gesturon_tools import blender
    bag = blender.channel_curves(obj, create=False)
    return {f"{c.data_path}[{c.array_index}]": [c.group.name, [c.evaluate(f) for f in range(1, 60)]]
            for c in bag.fcurves}


seen = {}
result = bpy.ops.extensions.package_install_files(filepath=sys.argv[1], repo="user_default",
                                                  enable_on_install=True)
seen["installed"] = sorted(result)
seen["enabled"] = list(addon_utils.check(MODULE))
seen["registered"] = hasattr(bpy.types.Scene, "gesturon") and hasattr(bpy.types, "GESTURON_PT_panel")

scene = bpy.context.scene
for obj in list(scene.objects):
    bpy.data.objects.remove(obj)
dancers = []
for i in range(3):
    dancer = bpy.data.objects.new(f"dancer{i}", None)
    scene.collection.objects.link(dancer)
    dancer.select_set(True)
    dancers.append(dancer)
settings = scene.gesturon
settings.pattern = "beat_house_classic_figure8"
settings.bpm = 124
settings.bars = 1
settings.scale = 0.5
settings.spread = 0.25
seen["panel"] = panel_labels()
seen["search"] = sys.modules[MODULE].search_patterns(settings, bpy.context, "House FIGURE8")
try:
    seen["bake"] = sorted(bpy.ops.gesturon.bake())
except RuntimeError as error:  # what the operator reported
    seen["bake"] = str(error)
if sys.argv[2] == "bake":
    seen["curves"] = {d.name: curves(d) for d in dancers}
    # The tempo from a marker, onto a custom property, re-baked over the first.
    scene.timeline_markers.new("90 BPM", frame=1)
    settings.tempo_source = "MARKER"
    settings.channel = "property"
    settings.spread = 0
    bpy.ops.gesturon.bake()
    bpy.ops.gesturon.bake()
    seen["marker"] = {d.name: curves(d) for d in dancers}
    camera = bpy.data.objects.new("cam", bpy.data.cameras.new("lens"))
    scene.collection.objects.link(camera)
    scene.camera = camera
    seen["camera"] = sorted(bpy.ops.gesturon.camera())
    seen["camera_target"] = curves(bpy.data.objects["cam target"])
    seen["remove"] = sorted(bpy.ops.gesturon.remove())
    seen["after_remove"] = {d.name: d.animation_data.action is not None and len(curves(d))
                            for d in dancers}

addon_utils.disable(MODULE, default_set=True)  # as unticking it in the preferences
seen["disabled"] = list(addon_utils.check(MODULE))
seen["unregistered"] = not hasattr(bpy.types.Scene, "gesturon") and not hasattr(bpy.types, "GESTURON_PT_panel")
print("SESSION " + json.dumps(seen))
