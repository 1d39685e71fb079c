"""The Blender add-on: built by `gesturon blender-addon`, installed by a
real Blender (bpy) as it installs extensions, then used from its panel's
settings and operators, with and without gesturon in Blender's Python."""

from __future__ import annotations

import json
import os
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

pytest.importorskip("bpy")

import gesturon  # noqa: E402
from gesturon_tools.cli import main  # noqa: E402
from blender_timing import expected_pip  # noqa: E402

SESSION = Path(__file__).with_name("blender_session.py")


def f32(value: float) -> bytes:
    return struct.pack("<f", value)


@pytest.fixture(scope="module")
def addon_zip(tmp_path_factory):
    out = tmp_path_factory.mktemp("addon")
    assert main(["blender-addon", "-o", str(out)]) == 0
    [path] = out.glob("gesturon-blender-*.zip")
    return path


def session(addon_zip, tmp_path, mode):
    env = {**os.environ, "BLENDER_USER_RESOURCES": str(tmp_path / "blender")}
    done = subprocess.run([sys.executable, str(SESSION), str(addon_zip), mode], env=env,
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert "Traceback" not in done.stderr + done.stdout
    [line] = [line for line in done.stdout.splitlines() if line.startswith("SESSION ")]
    return json.loads(line.removeprefix("SESSION "))


def test_the_zip_is_a_blender_extension(addon_zip, tmp_path, capsys):
    with zipfile.ZipFile(addon_zip) as archive:
        assert sorted(archive.namelist()) == ["__init__.py", "blender_manifest.toml"]
        manifest = archive.read("blender_manifest.toml").decode()
    assert 'id = "gesturon"' in manifest and 'type = "add-on"' in manifest
    # The same sources give the same zip, byte for byte.
    assert main(["blender-addon", "-o", str(tmp_path)]) == 0
    assert (tmp_path / addon_zip.name).read_bytes() == addon_zip.read_bytes()
    capsys.readouterr()
    assert main(["blender-addon", "-o", str(tmp_path / addon_zip.name)]) == 1
    err = capsys.readouterr().err
    assert err.startswith("gesturon: cannot write the add-on to ") and err.count("\n") == 1


def test_the_addon_installs_bakes_and_unregisters(addon_zip, tmp_path):
    seen = session(addon_zip, tmp_path, "bake")
    assert seen["installed"] == ["FINISHED"] and seen["enabled"] == [True, True] and seen["registered"]
    record = {r["name"]: r["description"] for r in gesturon.catalogue()}
    assert " ".join(seen["panel"]) == record["beat_house_classic_figure8"]
    assert [name for name, _ in seen["search"]][0] == "beat_house_classic_figure8"
    assert all(record[name] == text and "house" in f"{name} {text}".lower() and "figure8" in name
               for name, text in seen["search"])
    assert seen["bake"] == ["FINISHED"]
    # Three selected dancers, a quarter beat (16 pips) apart, at 124 BPM and
    # 24 frames a second from frame 1, half a unit either way; frames
    # beyond the bar hold the last key.
    for i in range(3):
        curves = seen["curves"][f"dancer{i}"]
        assert sorted(curves) == ["location[0]", "location[1]", "location[2]"]
        for frame in range(1, 60):
            pip = expected_pip(124, 24, 1.0, 1, min(frame, 47))
            x, y, z = gesturon.sample("beat_house_classic_figure8", pip + 16 * i).as_tuple()
            got = [f32(curves[f"location[{c}]"][1][frame - 1]) for c in range(3)]
            assert got == [f32(0.5 * x), f32(0.5 * z), f32(0.5 * y)], (i, frame)
    # The marker's 90 BPM onto the custom property, baked twice: three curves, no more.
    for name, curves in seen["marker"].items():
        assert sorted(curves) == ['["gesturon_motion"][0]', '["gesturon_motion"][1]',
                                  '["gesturon_motion"][2]', "location[0]", "location[1]", "location[2]"]
        values = curves['["gesturon_motion"][0]'][1]
        assert [f32(v) for v in values] == [
            f32(0.5 * gesturon.sample("beat_house_classic_figure8", expected_pip(90, 24, 1.0, 1, min(f, 65))).x)
            for f in range(1, 60)]
    assert seen["camera"] == ["FINISHED"] and len(seen["camera_target"]) == 3
    assert seen["remove"] == ["FINISHED"]
    assert seen["after_remove"] == {f"dancer{i}": 3 for i in range(3)}   # the location bakes stay
    assert seen["disabled"] == [False, False] and seen["unregistered"]


def test_missing_gesturon_says_how_to_install_it(addon_zip, tmp_path):
    seen = session(addon_zip, tmp_path, "missing")
    assert seen["registered"] and seen["unregistered"]
    assert seen["search"] == []
    for said in (seen["bake"], " ".join(seen["panel"])):
        assert "gesturon is not installed in Blender's Python" in said
        # The panel wraps its lines; the words are the same.
        assert "".join(f'"{sys.executable}" -m pip install'.split()) in "".join(said.split())
