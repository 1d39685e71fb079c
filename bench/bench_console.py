"""The live console: the player's late frames at 100 frames a second while a
page is open (a WebSocket client, and the page in headless Chromium where
there is one) next to the same show without a page and without the
console, and how many updates a second the page gets. Prints figures only.

Each run is a real `gesturon` process playing a show of eight sACN heads
and OSC to a socket on 127.0.0.1 that nobody reads.
GESTURON_BENCH_CONSOLE_SECONDS sets the length of each run (default 10).
"""

from __future__ import annotations

import asyncio
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from chromium import Browser, find_chromium
from measure import figure

SECONDS = float(os.environ.get("GESTURON_BENCH_CONSOLE_SECONDS", "10"))
BPM = 120
RATE = 30  # the page's updates a second asked for

SHOW = """\
[tempo]
bpm = {bpm}

[fixtures.head]
universe = 1
address = 1
count = 8

[fixtures.visual]

[[outputs]]
kind = "sacn"
to = "127.0.0.1:{port}"

[[outputs]]
kind = "osc"
to = "127.0.0.1:{port}"

[cues.intro]
head = {{ pattern = "circle", spread = 0.125 }}
visual = {{ pattern = "helix" }}
"""


def counts(output: str) -> tuple[int, int]:
    """Frames and late frames from the player's last status line."""
    match = re.search(r"(\d+) frames\s+(\d+) late", output)
    if match is None:
        raise RuntimeError(f"no status line in {output!r}")
    return int(match[1]), int(match[2])


def play(show: Path) -> tuple[int, int]:
    done = subprocess.run([sys.executable, "-m", "gesturon_tools", "play", str(show),
                           "--beats", str(SECONDS * BPM / 60)],
                          capture_output=True, text=True, stdin=subprocess.DEVNULL, check=True)
    return counts(done.stdout)


def console(show: Path, page: str | None) -> tuple[int, int, float | None, int | None]:
    """Frames, late frames, the page's updates a second (None without a
    page) and, in Chromium, the late frames counted while the loaded page
    was drawing, of a console run with the page open in `page`
    ("chromium", "socket") or none."""
    browser = None
    if page == "chromium":  # started first: its own start-up is not the page's cost
        executable = find_chromium()
        assert executable is not None
        browser = Browser(executable)
    process = subprocess.Popen(
        [sys.executable, "-m", "gesturon_tools", "console", str(show), "--port", "0",
         "--rate", str(RATE), "--beats", str(SECONDS * BPM / 60)],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert process.stdout is not None
    url = process.stdout.readline().split(" ", 1)[1].strip()
    rate: float | None = None
    steady: int | None = None
    if browser is not None:
        try:  # open until the run ends, closed only then
            browser.open(url)
            time.sleep(1.5)  # loaded and drawing
            settled = late_shown(browser)
            time.sleep(SECONDS / 2)
            rate = float(browser.evaluate("window.consoleRate || 0"))
            steady = late_shown(browser) - settled
            out, _err = process.communicate(timeout=SECONDS * 3 + 30)
        finally:
            browser.close()
    else:
        if page == "socket":
            rate = asyncio.run(socket_rate(url))
        out, _err = process.communicate(timeout=SECONDS * 3 + 30)
    frames, late = counts(out)
    return frames, late, rate, steady


def late_shown(browser: Browser) -> int:
    """The late frames of the player's own stream, as the page shows them."""
    return int(browser.evaluate("document.querySelector('#outputs tr td:nth-child(3)').textContent"))


async def socket_rate(url: str) -> float:
    """Updates a second that a WebSocket client gets over half the run."""
    import aiohttp
    ws_url = url.replace("http://", "ws://").rstrip("/") + "/ws"
    async with aiohttp.ClientSession() as session:
        async with session.ws_connect(ws_url) as ws:
            await ws.receive_json()
            start, seen = time.monotonic(), 0
            while time.monotonic() - start < SECONDS / 2:
                message = await ws.receive_json(timeout=5)
                seen += message["type"] == "state"
            return seen / (time.monotonic() - start)


def run() -> None:
    try:
        import aiohttp  # noqa: F401
    except ImportError:
        figure("console", "skipped: aiohttp is not installed")
        return
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.1", 0))  # never read: datagrams beyond its buffer are dropped
    with tempfile.TemporaryDirectory() as folder:
        show = Path(folder) / "show.toml"
        show.write_text(SHOW.format(bpm=BPM, port=sink.getsockname()[1]))
        frames, late = play(show)
        figure(f"gesturon play, {SECONDS:g} s at 100 fps: late frames", f"{late} of {frames}")
        frames, late_closed, _, _ = console(show, None)
        figure("  gesturon console, no page open", f"{late_closed} of {frames}")
        # A WebSocket client costs the machine next to nothing, so its run
        # shows the console's own cost; Chromium on the same machine also
        # takes its share of the processors for drawing the page.
        pages = ["socket"] + (["chromium"] if find_chromium() else [])
        for page in pages:
            frames, late_open, rate, steady = console(show, page)
            figure(f"  gesturon console, page open ({page})", f"{late_open} of {frames}",
                   "no more than with no page open", late_open <= max(late_closed, late))
            assert rate is not None
            figure(f"  the page's updates a second ({page})", f"{rate:.1f}", f"{RATE} asked for",
                   rate >= RATE * 0.9)
            if steady is not None:
                figure("    late while the loaded page was drawing", f"{steady} in {SECONDS / 2:g} s")
    sink.close()


if __name__ == "__main__":
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    run()
