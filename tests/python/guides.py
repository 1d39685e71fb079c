"""The README and the guides in docs/, read the way the tests that check them
need: their fenced blocks, their links, and the anchors of their headings."""

from __future__ import annotations

import re
import textwrap
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
DOCUMENTS = [README, *sorted((ROOT / "docs").glob("*.md"))]

# A fenced block, possibly indented under a list item; it closes at the same indent.
FENCE = re.compile(r"^( *)```(\w*)\n(.*?)^\1```[ \t]*$", re.M | re.S)
LINK = re.compile(r"!?\[(?:[^\]`]|`[^`]*`)*\]\(([^)\s]+)\)")
HEADING = re.compile(r"^#{1,6}[ \t]+(.+?)[ \t]*$", re.M)


def text(path: Path) -> str:
    return path.read_text(encoding="utf-8")


def blocks(path: Path, language: str) -> list[str]:
    """The bodies of the blocks fenced as `language`, dedented."""
    return [textwrap.dedent(body) for _, lang, body in FENCE.findall(text(path)) if lang == language]


def links(path: Path) -> list[str]:
    """Every link and image target outside the fenced blocks, in order."""
    return LINK.findall(FENCE.sub("", text(path)))


def slug(heading: str) -> str:
    """The anchor a heading gets where the guides are read (GitHub's rule):
    lower case, punctuation dropped, spaces turned into hyphens."""
    plain = re.sub(r"[^\w\- ]", "", heading.lower())
    return plain.replace(" ", "-")


def anchors(path: Path) -> set[str]:
    """The anchors of every heading; a repeated one is numbered -1, -2 ..."""
    seen: dict[str, int] = {}
    found = set()
    for heading in HEADING.findall(FENCE.sub("", text(path))):
        base = slug(heading)
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found
