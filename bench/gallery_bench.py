"""How big the gallery page is and how fast it opens, for a catalogue of the
full size (1731 patterns, simulated where the module does not have them yet)
and for the module's own catalogue.

Prints figures; never fails on them. The page is opened in headless
Chromium driven over its debugging pipe, so the load time is real time
(from navigation start until the first screenful of cards is drawn), not
the virtual time of a --virtual-time-budget run.

    PYTHONPATH=build/dev/python:python:tests/python python3 bench/gallery_bench.py
"""

from __future__ import annotations

import fcntl
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Any

ROOT = Path(__file__).resolve().parents[1]
sys.path[:0] = [str(ROOT / "python"), str(ROOT / "tests" / "python")]

from gesturon_tools import gallery  # noqa: E402
from gesturon_tools.catalogue import Catalogue  # noqa: E402
from simulated_catalogue import SimulatedSource  # noqa: E402

RUNS = 3


class Browser:
    """Headless Chromium spoken to over --remote-debugging-pipe: JSON
    messages separated by NUL bytes, Chromium reading fd 3, writing fd 4."""

    def __init__(self, executable: str) -> None:
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()
        # Lift the browser's ends clear of 3 and 4, so that placing one
        # cannot overwrite the other.
        for fd in (to_browser_read, from_browser_write):
            lifted = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
            os.close(fd)
            if fd == to_browser_read:
                to_browser_read = lifted
            else:
                from_browser_write = lifted
        self.profile = tempfile.TemporaryDirectory()

        def wire_pipes() -> None:
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        self.process = subprocess.Popen(
            [executable, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--disable-dev-shm-usage", "--window-size=1400,1000",
             f"--user-data-dir={self.profile.name}", "--remote-debugging-pipe", "about:blank"],
            pass_fds=(3, 4), preexec_fn=wire_pipes,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        targets = self.call("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": page["targetId"], "flatten": True})["sessionId"]

    def call(self, method: str, params: dict[str, object] | None = None,
             session: str | None = None) -> dict[str, Any]:
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.from_browser, 1 << 16)
                if not chunk:
                    raise RuntimeError("the browser went away")
                self.buffer += chunk
            raw, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(raw)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(reply["error"])
                result: dict[str, Any] = reply["result"]
                return result

    def evaluate(self, expression: str) -> Any:
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True},
                           self.session)
        return result["result"].get("value")

    def open(self, url: str, timeout: float = 60.0) -> dict[str, Any]:
        """Navigate and wait until the page says it is ready."""
        self.call("Page.navigate", {"url": "about:blank"}, self.session)
        self.call("Page.navigate", {"url": url}, self.session)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                ready = self.evaluate("document.body && document.body.dataset.readyMs")
            except RuntimeError:  # the old document went away mid-question
                ready = None
            if ready:
                data = self.evaluate("({...document.body.dataset})")
                return {"ready_ms": int(ready),
                        "script_ms": int(data["scriptMs"]), "unpack_ms": int(data["unpackMs"]),
                        "built_ms": int(data["builtMs"]),
                        "heap_mb": self.evaluate(
                            "performance.memory ? performance.memory.usedJSHeapSize / 1e6 : null")}
            time.sleep(0.05)
        raise RuntimeError(f"{url} was not ready within {timeout} s")

    def close(self) -> None:
        self.process.terminate()
        self.process.wait(timeout=30)
        os.close(self.to_browser)
        os.close(self.from_browser)
        self.profile.cleanup()


def measure(label: str, catalogue: Catalogue, browser: Browser | None, out_dir: Path) -> None:
    started = time.perf_counter()
    page = gallery.write_gallery(catalogue, out_dir)
    written = time.perf_counter() - started
    text = page.read_text(encoding="utf-8")
    samples = len(gallery_samples(text))
    print(f"{label}: {len(catalogue)} patterns")
    print(f"  page            {page.stat().st_size / 1e6:.2f} MB "
          f"(samples {samples / 1e6:.2f} MB, everything else {(len(text) - samples) / 1e6:.2f} MB)")
    print(f"  written in      {written:.2f} s (sampling, encoding, compressing)")
    if browser is None:
        print("  browser         chromium not found; load time not measured")
        return
    runs = [browser.open(page.as_uri()) for _ in range(RUNS)]
    median = {key: statistics.median(run[key] for run in runs)
              for key in ("script_ms", "unpack_ms", "built_ms", "ready_ms")}
    print(f"  ready in        {median['ready_ms']:.0f} ms, median of {RUNS} "
          "(navigation start to first screenful drawn)")
    print(f"    of which      {median['script_ms']:.0f} ms until the script starts (page parsed), "
          f"{median['unpack_ms']:.0f} ms unpacking the samples, "
          f"cards built at {median['built_ms']:.0f} ms")
    heap = runs[-1]["heap_mb"]
    if heap:
        print(f"  JS heap         {heap:.0f} MB")


def gallery_samples(text: str) -> str:
    start = text.index('<script id="samples"')
    return text[text.index(">", start) + 1: text.index("</script>", start)]


def main() -> None:
    executable = shutil.which("chromium")
    browser = Browser(executable) if executable else None
    try:
        with tempfile.TemporaryDirectory() as scratch:
            source = SimulatedSource()
            catalogue = Catalogue(source)
            for pattern in catalogue.patterns:  # build the simulated tables outside the timing
                source.sample(pattern.name, 0)
            measure("simulated full-size catalogue", catalogue, browser, Path(scratch, "full"))
            try:
                import gesturon
            except ImportError:
                print("module catalogue: gesturon is not importable; skipped")
            else:
                measure("module catalogue", Catalogue(gesturon), browser, Path(scratch, "module"))
    finally:
        if browser:
            browser.close()


if __name__ == "__main__":
    main()
