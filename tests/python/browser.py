"""Headless Chromium for the tests of pages: one bounded run, and the
gallery's self-check read from the page it leaves."""

import html
import json
import re
import shutil
import subprocess
import tempfile
from pathlib import Path
from urllib.parse import urlencode

import pytest

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
needs_browser = pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")


def chromium(url: str, *flags: str) -> subprocess.CompletedProcess:
    """One bounded headless Chromium run (CI runs as root, hence no sandbox)."""
    with tempfile.TemporaryDirectory() as profile:
        return subprocess.run(
            [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--disable-dev-shm-usage", "--hide-scrollbars", "--mute-audio",
             f"--user-data-dir={profile}", "--virtual-time-budget=30000", *flags, url],
            capture_output=True, text=True, timeout=300)


def self_check(page: Path, probes: list[str]) -> dict:
    url = page.as_uri() + "#selftest&" + urlencode([("probe", probe) for probe in probes])
    done = chromium(url, "--dump-dom")
    match = re.search(r'<pre id="selftest"[^>]*data-done="1"[^>]*>(.*?)</pre>', done.stdout, re.S)
    assert match, f"the page did not finish its self-check:\n{done.stderr[-2000:]}"
    result = json.loads(html.unescape(match.group(1)))
    assert "error" not in result, result["error"]
    return result
