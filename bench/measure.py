"""Measuring helpers shared by the benchmark sections."""

import os


def resident_bytes() -> int:
    """Resident set size of this process in bytes (Linux)."""
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    return pages * os.sysconf("SC_PAGE_SIZE")
