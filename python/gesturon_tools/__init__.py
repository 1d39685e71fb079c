"""Companion tools for the gesturon module: the `gesturon` command, its
catalogue gallery, and live playing (`gesturon_tools.live`: a beat clock, a
frame player and OSC and sACN DMX outputs).

Everything here reads the catalogue through the module's public functions
`catalogue()` and `sample()`; nothing changes the module itself.
"""

from importlib.metadata import PackageNotFoundError, version

try:
    # The one version of the distribution that ships the module and these tools.
    __version__ = version("gesturon")
except PackageNotFoundError:  # a source tree that was never installed
    __version__ = "0+unknown"
