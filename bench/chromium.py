"""Headless Chromium driven over its debugging pipe, for measuring how fast
a page opens in real time (from navigation start until the page says it is
ready), not the virtual time of a --virtual-time-budget run.

A page taking part sets `document.body.dataset.readyMs` when it is usable,
and beside it `scriptMs` (its script started), `unpackMs` (time spent
unpacking its data) and `builtMs` (its content built), all in milliseconds
from navigation start.
"""

from __future__ import annotations

import fcntl
import json
import os
import shutil
import statistics
import subprocess
import tempfile
import time
from typing import Any

# The page's own timings, as Browser.open reports them.
TIMINGS = ("script_ms", "unpack_ms", "built_ms", "ready_ms")


def find_chromium() -> str | None:
    return shutil.which("chromium") or shutil.which("chromium-browser")


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
        # Chromium's helper processes may still be writing into the profile
        # as it is removed; what they leave behind is not worth a failure.
        self.profile = tempfile.TemporaryDirectory(ignore_cleanup_errors=True)

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
        # Events of the domains a caller enables (Runtime.enable: console
        # calls and uncaught exceptions), in arrival order.
        self.events: list[dict[str, Any]] = []
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
            if "method" in reply:
                self.events.append(reply)
            elif reply.get("id") == self.next_id:
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


def median_load(browser: Browser, url: str, runs: int) -> dict[str, float]:
    """The median of each of the page's timings over `runs` fresh loads, and
    the JS heap after the last one (MB, 0 where Chromium does not say)."""
    loads = [browser.open(url) for _ in range(runs)]
    median = {key: float(statistics.median(load[key] for load in loads)) for key in TIMINGS}
    median["heap_mb"] = float(loads[-1]["heap_mb"] or 0.0)
    return median
