"""The gallery page: the data it embeds, and the page itself in a real
browser (headless Chromium), for the module's catalogue and for a simulated
catalogue of full size."""

import base64
import gzip
import html
import json
import re
import shutil
import subprocess
import tempfile
from array import array
from pathlib import Path
from urllib.parse import urlencode

import pytest

import gesturon
from gesturon_tools import gallery
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.cli import main
from simulated_catalogue import SimulatedSource

ARTIFACTS = Path(__file__).resolve().parents[2] / "build" / "test-artifacts"
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
needs_browser = pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed")
FULL_SIZE = 1731


def embedded(page: str, element_id: str) -> str:
    match = re.search(rf'<script id="{element_id}"[^>]*>(.*?)</script>', page, re.S)
    assert match, element_id
    return match.group(1)


def decode_lanes(page: str) -> list[list[int]]:
    """The embedded samples, unpacked here independently of the page's own
    script: base64, gzip, a plane of low bytes then one of high bytes, and
    each lane summed twice."""
    meta = json.loads(embedded(page, "meta"))
    planes = gzip.decompress(base64.b64decode(embedded(page, "samples")))
    half = len(planes) // 2
    interleaved = bytearray(len(planes))
    interleaved[0::2], interleaved[1::2] = planes[:half], planes[half:]
    words = array("H", bytes(interleaved))
    if array("H", [1]).tobytes() != b"\x01\x00":
        words.byteswap()
    signed = [w - 0x10000 if w >= 0x8000 else w for w in words]
    lanes, at = [], 0
    for _name, _description, period, dims, _family in meta["patterns"]:
        for _axis in range(dims):
            step = value = 0
            lane = []
            for d in signed[at: at + period]:
                step += d
                value += step
                lane.append(value)
            lanes.append(lane)
            at += period
    assert at == len(signed)
    return lanes


@pytest.fixture(scope="module")
def module_page(tmp_path_factory):
    """The gallery of the module's own catalogue, written by the command."""
    directory = tmp_path_factory.mktemp("gallery")
    assert main(["gallery", "-o", str(directory)]) == 0
    return directory / "index.html"


@pytest.fixture(scope="module")
def simulated():
    source = SimulatedSource()
    assert len(source.records) == FULL_SIZE
    return source


@pytest.fixture(scope="module")
def simulated_page(simulated, tmp_path_factory):
    path = tmp_path_factory.mktemp("full") / "index.html"
    path.write_text(gallery.build_page(Catalogue(simulated)), encoding="utf-8")
    return path


def test_every_pip_of_every_pattern_is_embedded_to_12_bits(module_page):
    page = module_page.read_text(encoding="utf-8")
    lanes = iter(decode_lanes(page))
    for record in gesturon.catalogue():
        rows = [gesturon.sample(record["name"], pip).as_tuple()
                for pip in range(record["period_pips"])]
        for axis in range(record["dimensions"]):
            lane = next(lanes)
            assert len(lane) == len(rows)
            worst = max(abs(stored / 2047 - row[axis]) for stored, row in zip(lane, rows))
            assert worst <= 0.5 / 2047 + 1e-12, record["name"]
    assert next(lanes, None) is None


def test_page_is_self_contained(module_page):
    page = module_page.read_text(encoding="utf-8")
    for reference in ("http://", "https://", "src=", "<link", "@import", "url("):
        assert reference not in page


def test_command_reports_the_page(capsys, tmp_path):
    assert main(["gallery", "-o", str(tmp_path / "out")]) == 0
    out = capsys.readouterr().out
    assert f"{len(gesturon.catalogue())} patterns" in out
    assert (tmp_path / "out" / "index.html").resolve().as_uri() in out


def test_command_reports_an_unwritable_directory(capsys, tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("")
    assert main(["gallery", "-o", str(blocker / "sub")]) == 1
    err = capsys.readouterr().err
    assert err.startswith("gesturon: cannot write the gallery") and err.count("\n") == 1


# ---- In the browser ------------------------------------------------------------------

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


def expected_matches(records, packs, query):
    words = query.lower().split()
    return [r["name"] for r, pack in zip(records, packs)
            if all(w in f"{r['name']} {r['description']} {pack}".lower() for w in words)]


def checksum(page: Path) -> int:
    values = [v for lane in decode_lanes(page.read_text(encoding="utf-8")) for v in lane]
    return sum(value * (i % 7 + 1) for i, value in enumerate(values))


def assert_all_drawn(result, page, names):
    assert result["samples_checksum"] == checksum(page)
    assert result["card_names"] == names
    assert result["cards"] == result["cards_with_canvas"] == len(names)
    assert result["samples_found"] == result["samples_expected"] > 0
    assert result["paths_without_ink"] == [] and result["lanes_without_ink"] == []
    assert result["cards_drawn_on_screen"] > 0
    assert result["visible_after_clear"] == len(names)


@needs_browser
def test_full_size_catalogue_in_the_browser(simulated, simulated_page):
    # "floor surge" also matches through the pack name (dancefloor).
    probes = ["euclid", "Floor SURGE", "no-such-pattern-anywhere"]
    result = self_check(simulated_page, probes)
    records = simulated.catalogue()
    assert_all_drawn(result, simulated_page, [r["name"] for r in records])
    for probe, outcome in zip(probes, result["probes"]):
        expected = expected_matches(records, simulated.packs, probe)
        assert outcome["visible"] == expected, probe
        assert outcome["shown"] == len(expected)
        if expected:
            assert outcome["empty_message"] is None
            assert outcome["count_text"] == f"{len(expected)} of {FULL_SIZE} patterns"
        else:
            assert outcome["empty_message"] == f"No pattern matches \u201c{probe}\u201d."
    assert result["viewer"]["shown"] and result["viewer"]["name"] == records[0]["name"]
    assert result["viewer"]["path_width"] > 0 and result["viewer"]["lanes_width"] > 0


@needs_browser
def test_module_catalogue_in_the_browser_with_screenshots(module_page):
    records = gesturon.catalogue()
    result = self_check(module_page, ["roll"])
    assert_all_drawn(result, module_page, [r["name"] for r in records])
    rolls = [r["name"] for r in records if "roll" in f"{r['name']} {r['description']}".lower()]
    assert result["probes"][0]["visible"] == rolls

    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    shots = {"gallery.png": module_page.as_uri(),
             "gallery-viewer.png": module_page.as_uri() + "#p=" + records[-1]["name"]}
    for file_name, url in shots.items():
        shot = ARTIFACTS / file_name
        shot.unlink(missing_ok=True)
        chromium(url, "--window-size=1400,1000", f"--screenshot={shot}")
        data = shot.read_bytes()
        assert data.startswith(b"\x89PNG") and len(data) > 20_000, file_name
