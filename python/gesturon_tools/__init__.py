"""Companion tools for the gesturon module: the `gesturon` command and its
catalogue gallery.

Everything here reads the catalogue through the module's public functions
`catalogue()` and `sample()`; nothing changes the module itself.
"""
