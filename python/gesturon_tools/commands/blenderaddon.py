"""`gesturon blender-addon`: the Blender add-on as one zip.

    gesturon blender-addon [-o DIR]

The zip is a Blender extension (Blender 4.2 and later): its manifest and the
add-on module (`gesturon_tools/blender_addon/__init__.py`) at the top. Install
it with Edit > Preferences > Add-ons > Install from Disk, or
`blender --command extension install-file -r user_default -e ZIP`. The
add-on bakes with the gesturon package installed in Blender's own Python.
The zip's entries carry a fixed date, so the same sources give the same zip.
"""

from __future__ import annotations

import argparse
import zipfile
from importlib import metadata
from pathlib import Path
from typing import TYPE_CHECKING, TextIO

from ..catalogue import Catalogue, ToolError
from .common import ParserType

if TYPE_CHECKING:
    from argparse import _SubParsersAction

ADDON_SOURCE = Path(__file__).parent.parent / "blender_addon" / "__init__.py"
BLENDER_MIN = "4.2.0"
ZIP_DATE = (1980, 1, 1, 0, 0, 0)


def version() -> str:
    try:
        return metadata.version("gesturon")
    except metadata.PackageNotFoundError:
        return "0.0.0"


def manifest(release: str) -> str:
    return f"""schema_version = "1.0.0"
id = "gesturon"
version = "{release}"
name = "gesturon"
tagline = "Bake motion patterns onto objects and cameras in time with music"
maintainer = "gesturon"
type = "add-on"
blender_version_min = "{BLENDER_MIN}"
license = ["SPDX:MIT"]
tags = ["Animation"]
"""


def build_addon(directory: Path) -> Path:
    """Writes the add-on zip into `directory` (made when missing) and
    returns its path."""
    release = version()
    directory.mkdir(parents=True, exist_ok=True)
    path = directory / f"gesturon-blender-{release}.zip"
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in (("blender_manifest.toml", manifest(release)),
                           ("__init__.py", ADDON_SOURCE.read_text(encoding="utf-8"))):
            archive.writestr(zipfile.ZipInfo(name, ZIP_DATE), text)
    return path


def add_parser(commands: _SubParsersAction[ParserType]) -> ParserType:
    addon = commands.add_parser(
        "blender-addon", help="write the Blender add-on (one zip)",
        description="Write the Blender add-on as one zip, to install in Blender's preferences "
                    "or with 'blender --command extension install-file'.")
    addon.add_argument("-o", "--output", metavar="DIR", default=".",
                       help="directory for the zip (default: the current one)")
    addon.set_defaults(run=run_addon)
    return addon


def run_addon(args: argparse.Namespace, catalogue: Catalogue, out: TextIO) -> None:
    try:
        path = build_addon(Path(args.output))
    except OSError as error:
        raise ToolError(f"cannot write the add-on to {args.output}: {error.strerror}") from None
    print(f"Wrote {path}.", file=out)
    print("Install it in Blender (Edit > Preferences > Add-ons > Install from Disk) or with", file=out)
    print(f"  blender --command extension install-file -r user_default -e {path}", file=out)
    print("and install gesturon into Blender's Python: see docs/blender.md.", file=out)
