"""Fingerprints of gesturon's stored data: one line per stored table of the
installed module (read through gesturon.sample) and one per built-in beat in
each of the sixteen motions as the companion renders it
(gesturon_tools._beats). A line holds the table's name, period, dimension
count and the SHA-256 of its rows as stored: every row's x, y and z as
little-endian doubles, row after row.

The files under tests/fingerprints are committed, so a change to any stored
or rendered table shows as a reviewed diff of its line.

    python3 scripts/fingerprints.py           # compare; status 1 and the changed lines if any differ
    python3 scripts/fingerprints.py --write   # rewrite the files after an intended change
"""

from __future__ import annotations

import argparse
import difflib
import hashlib
import struct
import sys
from collections.abc import Iterator, Sequence
from pathlib import Path

import gesturon
from gesturon_tools import _beats, drums
from gesturon_tools.catalogue import PROCEDURAL_MOTIONS, PROCEDURAL_RUDIMENTS

FOLDER = Path(__file__).resolve().parent.parent / "tests" / "fingerprints"
STORED = FOLDER / "stored_tables.txt"
RENDERED = FOLDER / "rendered_beats.txt"


def _line(name: str, dimensions: int, rows: Sequence[tuple[float, float, float]]) -> str:
    digest = hashlib.sha256()
    for row in rows:
        digest.update(struct.pack("<3d", *row))
    return f"{name} {len(rows)} {dimensions} {digest.hexdigest()}"


def stored_lines() -> Iterator[str]:
    """Every stored table of the installed module, in catalogue order (the
    patterns computed by formula have no table and are left out)."""
    procedural = set(PROCEDURAL_MOTIONS + PROCEDURAL_RUDIMENTS)
    for record in gesturon.catalogue():
        name = record["name"]
        if name not in procedural:
            rows = [gesturon.sample(name, k).as_tuple() for k in range(record["period_pips"])]
            yield _line(name, record["dimensions"], rows)


def rendered_lines() -> Iterator[str]:
    """Every built-in beat in every motion, as the companion renders it."""
    for key, text in drums.builtin_scores().items():
        for motion in drums.motion_keys():
            dimensions, rows = _beats.render(text, motion)
            yield _line(f"beat_{key}_{motion}", dimensions, rows)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Compare or rewrite the fingerprints of the stored and rendered tables.")
    parser.add_argument("--write", action="store_true", help="rewrite the fingerprint files from the installed module")
    args = parser.parse_args(argv)
    changed = False
    for path, lines in ((STORED, stored_lines), (RENDERED, rendered_lines)):
        now = [line + "\n" for line in lines()]
        if args.write:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text("".join(now), encoding="ascii")
            print(f"{path}: {len(now)} tables")
            continue
        pinned = path.read_text(encoding="ascii").splitlines(keepends=True) if path.exists() else []
        if now != pinned:
            changed = True
            sys.stdout.writelines(difflib.unified_diff(pinned, now, str(path), "installed", n=0))
    if changed:
        print("fingerprints differ: if the change is intended, run python3 scripts/fingerprints.py --write")
    return 1 if changed else 0


if __name__ == "__main__":
    sys.exit(main())
