"""Every stored table and every built-in beat as the companion renders it
matches its committed fingerprint, so any change to them is a reviewed diff
(rewrite with `python3 scripts/fingerprints.py --write`)."""

import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
FOLDER = ROOT / "tests" / "fingerprints"


def _lines(name):
    return dict(line.split(" ", 1) for line in (FOLDER / name).read_text(encoding="ascii").splitlines())


def test_stored_and_rendered_tables_match_their_fingerprints():
    run = subprocess.run([sys.executable, str(ROOT / "scripts" / "fingerprints.py")],
                         capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr


def test_stored_beat_tables_are_the_companion_renderings():
    stored, rendered = _lines("stored_tables.txt"), _lines("rendered_beats.txt")
    beats = {name: line for name, line in stored.items() if name.startswith("beat_")}
    assert beats and all(rendered.get(name) == line for name, line in beats.items())
