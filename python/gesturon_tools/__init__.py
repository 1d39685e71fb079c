"""Companion tools for the gesturon module: the `gesturon` command, its
catalogue gallery, and live playing (`gesturon_tools.live`: a beat clock, a
frame player and OSC and sACN DMX outputs).

Everything here reads the catalogue through the module's public functions
`catalogue()` and `sample()`; nothing changes the module itself.
"""


def __getattr__(name: str) -> str:
    """`__version__`, read from the installed distribution when first asked
    for: reading it loads `importlib.metadata`, a noticeable part of the
    command's start-up, which most commands never need."""
    if name != "__version__":
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    from importlib.metadata import PackageNotFoundError, version

    try:
        # The one version of the distribution that ships the module and these tools.
        found = version("gesturon")
    except PackageNotFoundError:  # a source tree that was never installed
        found = "0+unknown"
    globals()["__version__"] = found
    return found
