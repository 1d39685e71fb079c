"""Measuring and printing helpers shared by the benchmark sections."""

import os


def resident_bytes() -> int:
    """Resident set size of this process in bytes (Linux)."""
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    return pages * os.sysconf("SC_PAGE_SIZE")


def figure(label: str, value: str, target: str = "", met: bool | None = None) -> None:
    """One line of figures: what was measured, the target it is held to and
    whether it met it. Figures are never enforced; the verdict is for the
    reader."""
    verdict = "" if met is None else ("  met" if met else "  MISSED")
    target_text = f"  (target {target})" if target else ""
    print(f"  {label:<52} {value:>14}{target_text}{verdict}")
