"""Your own beats among the names of a command: a score or MIDI file named
in place of a pattern is rendered in its `--motion` and stands in the
catalogue under its rendered name for the command's run.

A name is a pattern's name unless it is plainly a path (it holds a slash,
or ends in `.beat` or a MIDI suffix) or `--score` says the names are files,
so a file in the working folder never changes what a pattern name means.
"""

from __future__ import annotations

import argparse
import os
from pathlib import Path
from typing import TYPE_CHECKING, Sequence

from .. import drums, synth
from ..catalogue import ToolError

if TYPE_CHECKING:
    import gesturon


DEFAULT_MOTION = "bounce"


def add_name_argument(command: argparse.ArgumentParser) -> None:
    """The NAME of a pattern, or of a score or MIDI file, and the motion to
    render such a file in."""
    command.add_argument("name", help="a pattern, or a score or MIDI file to render in --motion: "
                                      "a path with a slash or a .beat or MIDI suffix, or any "
                                      "file with --score")
    command.add_argument("--motion", default=DEFAULT_MOTION, metavar="NAME",
                         help=f"the motion of a score or MIDI file (default: {DEFAULT_MOTION})")


def add_score_flag(command: argparse.ArgumentParser) -> None:
    command.add_argument("--score", dest="names_files", action="store_true",
                         help="the name (for play: every name) is a score or MIDI file, "
                              "whatever it is called")


def is_score_file(name: str, said: bool = False) -> bool:
    """Whether a name stands for a score or MIDI file: when --score says so,
    or when it is plainly a path (it holds a slash, or ends in a score or
    MIDI suffix) and not a show file. A pattern name stays a pattern name
    whatever files lie in the working folder."""
    suffix = Path(name).suffix.lower()
    if said:
        return True
    if suffix == ".toml":  # a show file
        return False
    is_path = "/" in name or os.sep in name
    return is_path or suffix in (".beat", *drums.MIDI_SUFFIXES)


def own_beats(args: argparse.Namespace) -> list[gesturon.SampledPattern]:
    """Renders the score and MIDI files the command names, and points the
    arguments at the rendered patterns: a file among the pattern names in its
    --motion, each --add of the gallery in all sixteen motions."""
    def rendered(source: str, motions: Sequence[str]) -> list[gesturon.SampledPattern]:
        try:
            # A file, never text; render also takes a built-in beat by its key.
            score = synth.score_text(source) if args.command == "render" else drums.load_score(Path(source))
            return [drums.render(score, motion) for motion in motions]
        except OSError as error:
            raise ToolError(f"cannot read {source}: {error.strerror}") from None
        except ValueError as error:
            raise ToolError(f"{source}: {error}") from None

    if args.command == "render":
        args.score_name = args.name  # the file or beat key, before it names the rendered pattern
    own: list[gesturon.SampledPattern] = []
    for source in getattr(args, "add_beats", []):
        own += rendered(source, drums.motion_keys())
    said = getattr(args, "names_files", False)
    if args.command == "render":  # without --motion it writes sound only
        in_motion = args.motion is not None
    else:
        in_motion = bool(getattr(args, "name", None)) and is_score_file(args.name, said)
    if in_motion:
        [pattern] = rendered(args.name, [args.motion])
        own.append(pattern)
        args.name = pattern.name
    if args.command == "play":
        for i, name in enumerate(args.names):
            if is_score_file(name, said):
                [pattern] = rendered(name, [args.motion])
                own.append(pattern)
                args.names[i] = pattern.name
    # One pattern per name: a beat named twice is rendered once. A beat whose
    # key is a built-in beat's (its own score file, say) is shown as beat_my_<key>.
    import gesturon

    built_in = {record["name"] for record in gesturon.catalogue()}
    unique: dict[str, gesturon.SampledPattern] = {}
    for pattern in own:
        name = pattern.name
        if name in built_in:
            name = "beat_my_" + name.removeprefix("beat_")
            pattern = gesturon.SampledPattern(name, pattern.description,
                                              [pattern.sample(k).as_tuple() for k in range(pattern.period_pips)])
        unique[name] = pattern
    renamed = {p.name.removeprefix("beat_my_"): p.name for p in unique.values()}
    if getattr(args, "name", None):
        args.name = renamed.get(args.name.removeprefix("beat_"), args.name)
    if args.command == "play":
        args.names = [renamed.get(n.removeprefix("beat_"), n) for n in args.names]
    return list(unique.values())
