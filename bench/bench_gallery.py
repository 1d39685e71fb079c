"""The gallery at full size: how long `gesturon gallery` takes, how big its
page is and where the bytes go, and how fast the page opens in headless
Chromium (navigation start until the first screenful of cards, or of the
beat-by-motion matrix, is drawn), the median of a few loads.

Run alone with: cd bench && python3 -c 'import bench_gallery; bench_gallery.run()'
"""

from __future__ import annotations

import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from chromium import Browser, find_chromium, median_load
from measure import figure

LOADS = 5
PAGE_TARGET_MB = 2.5
READY_TARGET_MS = 1000.0


def gallery_command() -> str | None:
    """The `gesturon` console script of the running interpreter's
    environment, else the first on PATH."""
    beside = Path(sys.executable).with_name("gesturon")
    return str(beside) if beside.is_file() else shutil.which("gesturon")


def embedded_sizes(page: bytes) -> dict[str, int]:
    """Bytes of each <script> element's content by id (the samples, the
    metadata; the page's code has none), the rest of the page as "rest"."""
    sizes: dict[str, int] = {}
    for i, match in enumerate(re.finditer(rb'<script(?: id="(\w+)")?[^>]*>(.*?)</script>', page, re.S)):
        sizes[match[1].decode() if match[1] else f"script {i}"] = len(match[2])
    sizes["rest"] = len(page) - sum(sizes.values())
    return sizes


def run() -> None:
    command = gallery_command()
    if command is None:
        print("  the gesturon command is not installed; gallery not measured")
        return
    with tempfile.TemporaryDirectory(prefix="gesturon-gallery-bench-") as scratch:
        out_dir = Path(scratch, "gallery")
        started = time.perf_counter()
        done = subprocess.run([command, "gallery", "--output", str(out_dir)],
                              capture_output=True, text=True)
        seconds = time.perf_counter() - started
        if done.returncode != 0:
            print(f"  gesturon gallery failed ({done.returncode}): {done.stderr.strip()}")
            return
        page = out_dir / "index.html"
        figure("gesturon gallery (whole command)", f"{seconds:.2f} s")
        size_mb = page.stat().st_size / 1e6
        figure("page size", f"{size_mb:.2f} MB", f"< {PAGE_TARGET_MB} MB", size_mb < PAGE_TARGET_MB)
        parts = embedded_sizes(page.read_bytes())
        for part in ("samples", "meta"):
            figure(f"  of which {part}", f"{parts.pop(part, 0) / 1e6:.2f} MB")
        figure("  of which code, style and markup", f"{sum(parts.values()) / 1e6:.2f} MB")
        executable = find_chromium()
        if executable is None:
            print("  chromium not found; page load time not measured")
            return
        try:
            browser = Browser(executable)
        except (OSError, RuntimeError) as error:
            print(f"  chromium did not start ({error}); page load time not measured")
            return
        try:
            load = median_load(browser, page.as_uri(), LOADS)
            matrix = median_load(browser, page.as_uri() + "#view=matrix", LOADS)
        finally:
            browser.close()
    ready = load["ready_ms"]
    figure(f"page ready in Chromium (median of {LOADS})", f"{ready:.0f} ms",
           f"< {READY_TARGET_MS:.0f} ms", ready < READY_TARGET_MS)
    figure("  script starts (page parsed)", f"{load['script_ms']:.0f} ms")
    figure("  unpacking the samples", f"{load['unpack_ms']:.0f} ms")
    figure("  cards built", f"{load['built_ms']:.0f} ms")
    if load["heap_mb"]:
        figure("  JS heap after loading", f"{load['heap_mb']:.0f} MB")
    ready = matrix["ready_ms"]
    figure(f"beat-by-motion matrix ready (median of {LOADS})", f"{ready:.0f} ms",
           f"< {READY_TARGET_MS:.0f} ms", ready < READY_TARGET_MS)
