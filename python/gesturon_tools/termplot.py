"""A small character plot of x, y and z over one period, for the terminal.

Each column covers an equal share of the period and shows, for every axis,
the whole range of values the axis takes within it, so a short spike is
never lost between two columns. Beats are marked by dotted columns, the
zero line by dashes.
"""

from __future__ import annotations

from typing import Sequence

AXES = "xyz"
OVERLAP = "*"
ANSI = {"x": "\x1b[31m", "y": "\x1b[32m", "z": "\x1b[34m", OVERLAP: "\x1b[35m"}
ANSI_DIM = "\x1b[2m"
ANSI_RESET = "\x1b[0m"


def plot(rows: Sequence[Sequence[float]], dimensions: int, pips_per_beat: int,
         width: int = 64, height: int = 11, colour: bool = False) -> list[str]:
    """Lines of a plot of `rows` (one (x, y, z) per pip of one period),
    showing the first `dimensions` axes."""
    period = len(rows)
    width = max(1, min(width, period))
    grid = [[" "] * width for _ in range(height)]
    zero_row = (height - 1) // 2

    def row_of(value: float) -> int:
        value = max(-1.0, min(1.0, value))
        return round((1.0 - value) / 2.0 * (height - 1))

    beat_columns: dict[int, int] = {}
    for beat in range(-(-period // pips_per_beat)):
        beat_columns.setdefault(beat * pips_per_beat * width // period, beat)
    for column in beat_columns:
        for r in range(height):
            grid[r][column] = ":"
    for column in range(width):
        if grid[zero_row][column] == " ":
            grid[zero_row][column] = "-"

    for column in range(width):
        first = column * period // width
        last = max(first + 1, (column + 1) * period // width)
        marked: dict[int, str] = {}
        for axis in range(dimensions):
            values = [rows[pip][axis] for pip in range(first, last)]
            top, bottom = row_of(max(values)), row_of(min(values))
            for r in range(top, bottom + 1):
                marked[r] = OVERLAP if r in marked and marked[r] != AXES[axis] else AXES[axis]
        for r, mark in marked.items():
            grid[r][column] = mark

    labels = {0: "+1", zero_row: " 0", height - 1: "-1"}
    lines = [f"{labels.get(r, ''):>3} |" + paint("".join(cells), colour)
             for r, cells in enumerate(grid)]
    lines.append("    +" + "-" * width)
    lines.append("     " + beat_ruler(beat_columns, width))
    legend = ", ".join(paint(axis, colour) for axis in AXES[:dimensions])
    lines.append(f"     beat numbers below; axes {legend}; {paint(OVERLAP, colour)} where axes overlap")
    return lines


def beat_ruler(beat_columns: dict[int, int], width: int) -> str:
    """Beat numbers under their columns, skipping any that would collide."""
    ruler = [" "] * (width + 4)
    for column, beat in sorted(beat_columns.items()):
        label = str(beat)
        space = ruler[column: column + len(label) + 1]
        if all(c == " " for c in space):
            ruler[column: column + len(label)] = label
    return "".join(ruler).rstrip()


def paint(text: str, colour: bool) -> str:
    if not colour:
        return text
    out = []
    for ch in text:
        if ch in ANSI:
            out.append(ANSI[ch] + ch + ANSI_RESET)
        elif ch in ":-":
            out.append(ANSI_DIM + ch + ANSI_RESET)
        else:
            out.append(ch)
    return "".join(out)
