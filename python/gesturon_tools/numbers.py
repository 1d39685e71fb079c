"""Exact numbers read from text, refused at once when they are absurd.

A tempo, a spread or an axis is read as an exact rational ("128.5",
"385/3", "1.5e2"). `Fraction` builds the whole power of ten of a decimal
exponent before anything can look at the value, so "1e100000000" would
take minutes to become a number that every range check then refuses. The
exponent is therefore checked first: no quantity of the tools comes near
10^30 or needs more precision than 10^-30, and a text whose exponent lies
beyond that is out of range before any big number is built.
"""

from __future__ import annotations

import re
from fractions import Fraction

MAX_EXPONENT = 30
_EXPONENT = re.compile(r"[eE]\s*([-+]?[0-9_]+)")


class OutOfRange(ValueError):
    """A number whose decimal exponent lies beyond +-MAX_EXPONENT."""


def exact_text(text: str, what: str) -> Fraction:
    """`text` as an exact rational, or ValueError naming `what`: OutOfRange
    for an exponent beyond +-MAX_EXPONENT, found before the value is built."""
    match = _EXPONENT.search(text)
    if match is not None:
        digits = match.group(1).replace("_", "").lstrip("+-").lstrip("0")
        if len(digits) > 3 or int(digits or "0") > MAX_EXPONENT:
            raise OutOfRange(f"{what} is out of range: {text.strip()!r}")
    try:
        return Fraction(text)
    except (ValueError, ZeroDivisionError):
        raise ValueError(f"{what} is not a number: {text!r}") from None
