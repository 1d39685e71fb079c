"""A dance for a character's hips, baked in Blender, and its curves drawn.

Bakes `beat_house_classic_figure8` at 124 BPM onto an object named "Hips"
(made when the scene has none) for two bars from frame 1, then draws the
location curves as Blender evaluates them at every frame into an SVG:

    python3 examples/blender_bake.py hips.svg                       # bpy from PyPI
    blender --background --python examples/blender_bake.py -- hips.svg

Without a file name it bakes and prints where the keys went.
"""

from __future__ import annotations

import sys
from typing import Any

import bpy

from gesturon_tools import blender

PATTERN = "beat_house_classic_figure8"
BPM = 124
BARS = 2
# Metres: a hand's width to each side, a little up and down, less in depth.
SCALE = (0.12, 0.05, 0.06)
COLOURS = ("#ff5b5b", "#78d548", "#5b8cff")   # X, Y, Z as Blender draws them


def hips(scene: Any) -> Any:
    obj = bpy.data.objects.get("Hips")
    if obj is None:
        obj = bpy.data.objects.new("Hips", None)
        scene.collection.objects.link(obj)
        obj.location = (0.0, 0.0, 1.0)
    return obj


def svg(obj: Any, curves: list[Any], frames: range, scene: Any, title: str) -> str:
    """The curves over `frames`, each relative to its centre, with a line
    on every beat and a stronger one on every bar."""
    width, height, left, top, bottom = 1200, 460, 60, 56, 40
    plot_w, plot_h = width - left - 20, height - top - bottom
    first, last = frames.start, frames.stop - 1
    clock = blender.timing(scene, BPM, frames.start)
    reach = max(SCALE) * 1.1

    def x_of(frame: float) -> float:
        return left + (frame - first) / (last - first) * plot_w

    def y_of(value: float) -> float:
        return top + (reach - value) / (2 * reach) * plot_h

    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
             f'font-family="DejaVu Sans, sans-serif" font-size="13">',
             f'<rect width="{width}" height="{height}" fill="#303030"/>',
             f'<text x="{left}" y="24" fill="#e6e6e6" font-size="16">{title}</text>']
    for beat in range(BARS * 4 + 1):
        frame = float(clock.frame_of_pip(beat * 64))
        if frame > last:
            break
        bar = beat % 4 == 0
        parts.append(f'<line x1="{x_of(frame):.1f}" y1="{top}" x2="{x_of(frame):.1f}" '
                     f'y2="{top + plot_h}" stroke="{"#8a8a8a" if bar else "#4a4a4a"}" '
                     f'stroke-width="{2 if bar else 1}"/>')
        label = f"bar {beat // 4 + 1}" if bar else f"beat {beat % 4 + 1}"
        parts.append(f'<text x="{x_of(frame) + 4:.1f}" y="{top + 14}" fill="#a0a0a0">{label}</text>')
    parts.append(f'<line x1="{left}" y1="{y_of(0):.1f}" x2="{left + plot_w}" y2="{y_of(0):.1f}" '
                 'stroke="#555"/>')
    for frame in range(first, last + 1, 8):
        parts.append(f'<text x="{x_of(frame):.1f}" y="{height - 14}" fill="#a0a0a0" '
                     f'text-anchor="middle">{frame}</text>')
    for curve, colour, axis in zip(curves, COLOURS, "XYZ"):
        centre = blender.records(obj)["location"]["centre"][curve.array_index]
        points = [(x_of(f), y_of(curve.evaluate(f) - centre)) for f in frames]
        path = " ".join(f"{x:.1f},{y:.1f}" for x, y in points)
        parts.append(f'<polyline points="{path}" fill="none" stroke="{colour}" stroke-width="2"/>')
        parts += [f'<circle cx="{x:.1f}" cy="{y:.1f}" r="2.2" fill="{colour}"/>' for x, y in points]
        parts.append(f'<text x="{width - 160}" y="{24 + 16 * "XYZ".index(axis)}" fill="{colour}">'
                     f'location {axis} (±{SCALE[curve.array_index]:g} m)</text>')
    parts.append("</svg>")
    return "\n".join(parts)


def main(argv: list[str]) -> None:
    scene = bpy.context.scene
    scene.render.fps, scene.render.fps_base = 24, 1.0
    target = hips(scene)
    made = blender.bake(target, PATTERN, bpm=BPM, bars=BARS, start_frame=1, scene=scene,
                        scale=SCALE)
    print(f"{made.pattern} on {made.object_name}: {made.keys} keys a curve, "
          f"frames {made.frames.start} to {made.frames.stop - 1}")
    if argv:
        curves = blender.channel_curves(target, create=False)
        location = sorted((c for c in curves.fcurves if c.data_path == "location"),
                          key=lambda c: c.array_index)
        title = (f"{PATTERN} baked onto Hips: location at {BPM} BPM, 24 fps, "
                 "a key on every frame (dots)")
        with open(argv[0], "w", encoding="utf-8") as out:
            out.write(svg(target, location, made.frames, scene, title))


if __name__ == "__main__":
    main(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else sys.argv[1:])
