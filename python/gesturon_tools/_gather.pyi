"""The row loops of gesturon_tools.arrays: a pattern's (period, 3) float64
table filled through its sample(), and the rows of a table at any 32-bit
pips, wrapped into the period in one pass."""

from typing import Any, Callable

def sample_rows(sample: Callable[..., Any], head: tuple[Any, ...], out: Any) -> None: ...
def gather(table: Any, pips: Any, out: Any) -> bool: ...
