"""The gallery page: the data it embeds, and the page itself in a real
browser (headless Chromium), for the module's catalogue and for a simulated
catalogue of full size."""

import base64
import gzip
import math
import json
import re
import sys
import time
from array import array
from pathlib import Path
from urllib.parse import urlencode

import pytest

import gesturon
from gesturon_tools import _beats, drums, gallery
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.cli import main
from browser import CHROMIUM, chromium, needs_browser, self_check
from simulated_catalogue import SimulatedSource

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from chromium import Browser  # noqa: E402

ARTIFACTS = Path(__file__).resolve().parents[2] / "build" / "test-artifacts"
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


def test_matrix_columns_follow_the_catalogue(module_page):
    """The matrix's columns are the motions in the order every beat of all
    sixteen motions lists them in the catalogue."""
    motions = [key for key, _title in json.loads(embedded(module_page.read_text(encoding="utf-8"), "meta"))["motions"]]
    orders = {}
    for pattern in Catalogue(gesturon).patterns:
        if pattern.pack == "dancefloor":
            orders.setdefault(pattern.family, []).append(pattern.name.removeprefix(pattern.family + "_"))
    full = [order for order in orders.values() if len(order) == 16]
    assert len(full) == 32 and all(order == motions for order in full)


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

def expected_matches(catalogue, query):
    """What the filter keeps by the companion's own rule (the one `list
    --match` uses), which the page's script must agree with."""
    return [p.name for p in catalogue.select(match=query)]


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
    probes = ["euclid", "Floor SURGE", "no-such-pattern-anywhere", "dancefl", "orbit_harm"]
    result = self_check(simulated_page, probes)
    records = simulated.catalogue()
    assert_all_drawn(result, simulated_page, [r["name"] for r in records])
    for probe, outcome in zip(probes, result["probes"]):
        expected = expected_matches(Catalogue(simulated), probe)
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
    assert result["probes"][0]["visible"] == expected_matches(Catalogue(gesturon), "roll")

    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    shots = {"gallery.png": module_page.as_uri(),
             "gallery-viewer.png": module_page.as_uri() + "#p=" + records[-1]["name"]}
    for file_name, url in shots.items():
        shot = ARTIFACTS / file_name
        shot.unlink(missing_ok=True)
        chromium(url, "--window-size=1400,1000", f"--screenshot={shot}")
        data = shot.read_bytes()
        assert data.startswith(b"\x89PNG") and len(data) > 20_000, file_name


# ---- Choosing in the browser: the matrix, the scales, the screen sizes -----------------------

TINY = "tiny_circle"  # a pattern of our own that moves only 0.05
PHONE = {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True}
DESKTOP = {"width": 1400, "height": 1000, "deviceScaleFactor": 1, "mobile": False}


@pytest.fixture(scope="module")
def choosing_page(tmp_path_factory):
    """The module's catalogue with one small pattern laid over it."""
    rows = [(0.05 * math.cos(2 * math.pi * k / 256), 0.05 * math.sin(2 * math.pi * k / 256), 0.0)
            for k in range(256)]
    tiny = gesturon.SampledPattern(TINY, "A circle of radius 0.05.", rows)
    catalogue = Catalogue(gesturon.PatternLibrary([tiny]), own=[TINY])
    path = tmp_path_factory.mktemp("choosing") / "index.html"
    path.write_text(gallery.build_page(catalogue), encoding="utf-8")
    return path, catalogue


@pytest.fixture(scope="module")
def browser():
    """One headless Chromium for every test below, driven over its pipe."""
    if CHROMIUM is None:
        pytest.skip("chromium is not installed")
    driven = Browser(CHROMIUM)
    yield driven
    driven.close()


def show(browser, page: Path, hash_text: str, screen: dict) -> dict:
    browser.call("Emulation.setDeviceMetricsOverride", screen, browser.session)
    return browser.open(page.as_uri() + "#" + hash_text)


def ask(browser, script: str):
    """The value of a script run in the page (JSON both ways)."""
    return json.loads(browser.evaluate(f"JSON.stringify((() => {{ {script} }})())"))


def screenshot(browser, file_name: str) -> None:
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    data = browser.call("Page.captureScreenshot", {"format": "png"}, browser.session)["data"]
    (ARTIFACTS / file_name).write_bytes(base64.b64decode(data))


def test_matrix_scales_and_filter_in_the_browser(browser, choosing_page):
    page, catalogue = choosing_page
    probes = ["floor surge", "figure8", "house surge", "dancefloor"]
    show(browser, page, "selftest&view=matrix&fitprobe=" + TINY + "&"
         + urlencode([("probe", probe) for probe in probes]), DESKTOP)
    result = json.loads(browser.evaluate("document.getElementById('selftest').textContent"))
    assert "error" not in result
    assert_all_drawn(result, page, [p.name for p in catalogue.patterns])

    beats = {p.family: None for p in catalogue.patterns if p.pack in ("club", "dancefloor")}
    motions = [key for key, _title, _sentence in _beats.motions()]
    assert result["matrix"]["rows"] == list(beats) and len(beats) == 68
    assert result["matrix"]["columns"] == motions and len(motions) == 16
    assert result["matrix"]["cells"] == 68 * 16
    assert result["matrix"]["cells_without_ink"] == []
    # The cells on screen are drawn, every one with ink of its own.
    blank = ask(browser, """
        const cells = [...document.querySelectorAll('#mx-grid .mx-cell canvas')]
          .filter((c) => c.getBoundingClientRect().bottom < innerHeight);
        return [cells.length, cells.filter((c) => !c.width || !c.getContext('2d')
          .getImageData(0, 0, c.width, c.height).data.some((v, i) => i % 4 === 3 && v > 0)).length];""")
    assert blank[0] >= 16 * 5 and blank[1] == 0

    [fit] = result["fit_probes"]
    assert fit["fit"] >= 0.5 > fit["fixed"] * 2

    outcomes = {outcome["query"]: outcome["visible"] for outcome in result["probes"]}
    assert outcomes["floor surge"] == ["beat_four_floor_surge"]
    assert outcomes["figure8"] == [p.name for p in catalogue.patterns
                                   if p.pack == "dancefloor" and p.name.endswith("_figure8")]
    assert len(outcomes["dancefloor"]) == 944
    assert {o["query"]: o["in_matrix"] for o in result["probes"]}["figure8"] == 68
    for query in probes:
        assert outcomes[query] == expected_matches(catalogue, query), query
    screenshot(browser, "gallery-matrix.png")

    # The address brings back the whole state, and keeps it.
    state = "q=house&view=matrix&fit=1&cols=surge%2Cdive&look=top&scale=fixed&p=beat_house_jack_dive"
    show(browser, page, state, DESKTOP)
    seen = ask(browser, """
        const pressed = (sel) => [...document.querySelectorAll(sel + ' [aria-pressed=true]')].map((b) => b.textContent);
        return {
          hash: location.hash.slice(1), name: document.getElementById('v-name').textContent,
          fit: document.getElementById('fit').checked, views: pressed('#views'), looks: pressed('#v-looks'),
          scales: pressed('#v-scales'), chips: pressed('#mx-motions'),
          columns: [...document.querySelectorAll('.mx-col')].filter((c) => !c.hidden).map((c) => c.textContent),
          rows: [...document.querySelectorAll('.mx-line:not(.mx-head)')].filter((r) => !r.hidden).length,
        };""")
    assert seen["hash"] == state and seen["name"] == "beat_house_jack_dive" and seen["fit"]
    assert seen["views"] == ["Beat \u00d7 motion"] and seen["looks"] == ["top x, z forward"] and seen["scales"] == ["fixed"]
    assert seen["chips"] == seen["columns"] == ["surge", "dive"]
    house = set(expected_matches(catalogue, "house"))
    houses = {p.family for p in catalogue.patterns if p.name in house}
    assert seen["rows"] == len(houses) > 1


@pytest.mark.parametrize("screen", [DESKTOP, PHONE], ids=["desktop", "phone"])
def test_choosing_fits_the_screen(browser, choosing_page, screen):
    page, catalogue = choosing_page
    # One motion, as cards or in the matrix, comes several to a row.
    for view, drawings in (("", "#gallery .card"), ("view=matrix&", "#mx-grid .mx-cell:not(.off)")):
        show(browser, page, view + "q=figure8", screen)
        tops = ask(browser, f"""return [...document.querySelectorAll('{drawings}')]
            .filter((c) => !c.hidden).map((c) => Math.round(c.getBoundingClientRect().top));""")
        assert len(tops) == 68 and tops.count(tops[0]) >= (4 if screen is DESKTOP else 2), view

    scores = gallery.installed_scores()
    beats = ["beat_four_floor_surge", "beat_techno_polymeter_glide", "beat_drill_rolls_spring",
             "beat_amen_four_bar_bounce"]
    for name in beats:
        if name == beats[0]:
            show(browser, page, "p=" + name, screen)
        else:
            browser.evaluate(f"location.hash = 'p={name}'")
        layout = ask(browser, """
            const inside = (r) => r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight;
            const panel = document.querySelector('.viewer-panel');
            const row = document.querySelector('#v-score .v-row');
            const steps = [...row.querySelectorAll('.step')].map((s) => s.getBoundingClientRect());
            const time = document.getElementById('v-time').getBoundingClientRect();
            return {
              name: document.getElementById('v-name').textContent,
              outside: [...document.querySelectorAll('#viewer button, #viewer input')]
                .filter((c) => !inside(c.getBoundingClientRect())).map((c) => c.textContent || c.id),
              page_scroll: document.documentElement.scrollWidth - innerWidth,
              panel_scroll: panel.scrollWidth - panel.clientWidth,
              lanes_bottom: document.getElementById('v-lanes').getBoundingClientRect().bottom,
              height: innerHeight,
              rows: document.querySelectorAll('#v-score .v-row').length,
              columns: new Set(steps.map((r) => Math.round(r.left * 4))).size,
              spread: (steps[steps.length - 1].right - steps[0].left) / time.width,
            };""")
        score = scores[name.rsplit("_", 1)[0]]
        assert layout["name"] == name
        assert layout["outside"] == [] and layout["page_scroll"] <= 0 and layout["panel_scroll"] <= 0
        assert layout["lanes_bottom"] <= layout["height"], name
        assert layout["columns"] == score["period_pips"] // 16, name
        assert layout["rows"] == len({instrument for instrument, _pip, _level in score["hits"]})
        assert layout["spread"] > 0.8, name  # the grid spans the lanes' width

        # Pointing at a step of the grid moves the one playhead there: the
        # readout's pip falls in that sixteenth, and the line crosses it.
        step = layout["columns"] * 2 // 3
        x, y = ask(browser, f"""const r = document.querySelectorAll('#v-score .v-row')[0]
            .querySelectorAll('.step')[{step}].getBoundingClientRect();
            return [r.left + r.width / 2, r.top + r.height / 2];""")
        browser.call("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": x, "y": y}, browser.session)
        pip, head = ask(browser, """const head = document.querySelector('.v-playhead').getBoundingClientRect();
            return [+document.getElementById('v-readout').textContent.match(/pip (\\d+)/)[1],
                    head.left + head.width / 2];""")
        assert pip // 16 == step and abs(head - x) < 4, name
    screenshot(browser, f"gallery-viewer-{screen['width']}.png")


def test_the_page_says_when_it_is_ready(browser, choosing_page):
    # How soon is the benchmark's figure (bench/bench_gallery.py prints it
    # beside its target); here only that the page reaches ready and says so.
    page, _catalogue = choosing_page
    ready = show(browser, page, "", DESKTOP)["ready_ms"]
    assert isinstance(ready, (int, float)) and 0 < ready < 60_000, ready


def click(browser, element_id: str) -> None:
    """A real click (pressed and released) in the middle of an element, so the
    page has the user's gesture that lets it start sound."""
    x, y = ask(browser, f"const r = document.getElementById('{element_id}').getBoundingClientRect();"
                        "return [r.left + r.width / 2, r.top + r.height / 2];")
    for kind in ("mousePressed", "mouseReleased"):
        browser.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                  "clickCount": 1}, browser.session)


def test_play_sounds_the_beat_in_time(browser, choosing_page):
    page, catalogue = choosing_page
    key, bpm = "amen_four_bar", 150
    name = next(p.name for p in catalogue.patterns if p.family == f"beat_{key}")
    show(browser, page, urlencode({"p": name}), DESKTOP)
    ask(browser, f"""window.pageErrors = [];
        addEventListener('error', (e) => pageErrors.push(String(e.message)));
        addEventListener('unhandledrejection', (e) => pageErrors.push(String(e.reason)));
        document.getElementById('v-bpm').value = '{bpm}'; return 0;""")
    assert ask(browser, "return document.getElementById('v-sound').getAttribute('aria-pressed')") == "true"
    click(browser, "v-play")
    time.sleep(1.5)
    heard = ask(browser, "return {...document.getElementById('v-sound').dataset,"
                         "t: getComputedStyle(document.getElementById('v-time')).getPropertyValue('--t'),"
                         "errors: pageErrors}")
    assert heard["errors"] == []
    start, until, clock = float(heard["startPip"]), float(heard["until"]), float(heard["clock"])
    # The audio clock ran (most of the wait), and the hits are scheduled at
    # 150 BPM up to a fraction of a second ahead of it.
    pips_per_second = 150 / 60 * 64
    assert clock > 0.8
    assert 0 < until - start - clock * pips_per_second < 0.5 * pips_per_second
    # Every hit of the score in that span was struck, and nothing else.
    score = _beats.parse_score(drums.builtin_scores()[key])
    period = score["period_pips"]
    due = sum(1 for loop in range(int(until // period) + 1) for _, pip, _ in score["hits"]
              if start <= loop * period + pip < until)
    assert int(heard["scheduled"]) == due > 0
    # The moving point follows the same clock: it has left where it started
    # and not passed what is scheduled (how far behind depends on when the
    # busy browser last drew a frame).
    shown_pip = float(heard["t"]) * period - 0.5
    assert start < shown_pip <= until

    click(browser, "v-close")
    time.sleep(0.3)
    after = ask(browser, "return [document.getElementById('v-sound').dataset.scheduled,"
                         "document.getElementById('viewer').hidden, pageErrors]")
    time.sleep(0.3)
    assert ask(browser, "return document.getElementById('v-sound').dataset.scheduled") == after[0]
    assert after[1:] == [True, []]
