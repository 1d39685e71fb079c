"""Companion tools for the gesturon module: the `gesturon` command, its
catalogue gallery, and live playing (`gesturon_tools.live`: a beat clock, a
frame player and OSC and sACN DMX outputs).

Everything here reads the catalogue through the module's public functions
`catalogue()` and `sample()`; nothing changes the module itself.
"""
