"""Drum scores and the sixteen motions that render them (the native part of
gesturon_tools, the same code that renders the stored beat tables)."""

from typing import TypedDict

class Score(TypedDict):
    key: str
    title: str
    note: str
    bars: int
    bar_pips: int
    period_pips: int
    depth: bool
    hits: list[tuple[str, float, str]]

def parse_score(text: str) -> Score:
    """Reads a score: its header and its hits, each (instrument, pip, level)
    in time order. Raises ValueError naming the line of the first fault."""

def motions() -> list[tuple[str, str, str]]:
    """The sixteen motions in catalogue order, each (key, title, sentence)."""

def instruments() -> list[tuple[str, str]]:
    """The instruments a score's lanes may name, each (name, group), in lane
    order; the groups are kick, backbeat, hats, percussion and bass."""

def render(text: str, motion: str) -> tuple[int, list[tuple[float, float, float]]]:
    """Renders a score in a motion: (dimensions, rows), one row (x, y, z) per
    pip of the period. Raises ValueError for a faulty score or an unknown
    motion."""
