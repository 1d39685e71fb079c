"""Rows of a (period, 3) float64 table at any 32-bit pips, wrapped into the
period in one pass (the native part of gesturon_tools.arrays)."""

from typing import Any

def gather(table: Any, pips: Any, out: Any) -> bool: ...
