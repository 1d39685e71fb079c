"""`gesturon console`: the show's page in a real headless Chromium, the
frames it draws against what real OSC and sACN receivers on 127.0.0.1 get,
cues fired from the page landing on the bar, and the console's guard
against requests it must refuse. Each console is a real `gesturon
console` process on a free port."""

import asyncio
import base64
import gc
import json
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

import aiohttp
import pytest

import gesturon
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.compose import Crossfade, xyz
from gesturon_tools.console import MAX_MESSAGE, page_html
from gesturon_tools.commands.showfile import load_show
from loopback import OscListener, SacnListener
from offline_console import OfflineConsole

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from chromium import Browser  # noqa: E402

ARTIFACTS = Path(__file__).resolve().parents[2] / "build" / "test-artifacts"
EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "stage.toml"
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
PHONE = {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True}
DESKTOP = {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False}
PIPS_PER_BAR = 256

SHOW = """\
[tempo]
bpm = 120
source = "tap"

[fixtures.head]
universe = 1
address = 1

[fixtures.visual]

[[outputs]]
kind = "sacn"
to = "127.0.0.1:{sacn}"

[[outputs]]
kind = "osc"
to = "127.0.0.1:{osc}"
double = true

[cues.intro]
head = {{ pattern = "circle" }}
visual = {{ pattern = "helix" }}

[cues.drop]
head = {{ pattern = "figure_eight" }}
visual = {{ pattern = "circle", transform = [{{ scale = 2 }}] }}

[cuelist]
cues = ["intro", "drop"]
"""


# The two commands that serve a show's console.
COMMANDS = {"console": lambda path: ["console", str(path)],
            "play --console": lambda path: ["play", str(path), "--console"]}


class Console:
    """A `gesturon console` process (or `gesturon play --console`) and the
    address it printed."""

    def __init__(self, path, *options, command="console"):
        self.process = subprocess.Popen(
            [sys.executable, "-m", "gesturon_tools", *COMMANDS[command](path), "--port", "0", *options],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        match = re.fullmatch(r"console: (http://([^/]+)/(?:\?token=(\S+))?)\n", line)
        assert match, line + self.process.stderr.read()
        self.url, self.host, self.token = match.groups()

    def ws(self, token=None):
        return f"ws://{self.host}/ws" + (f"?token={token}" if token else "")

    def stop(self):
        self.process.terminate()
        out, err = self.process.communicate(timeout=30)
        assert self.process.returncode == 0, err
        return out


@pytest.fixture(scope="module")
def receivers():
    with OscListener() as osc, SacnListener() as sacn:
        yield osc, sacn


@pytest.fixture(scope="module")
def show_path(tmp_path_factory, receivers):
    osc, sacn = receivers
    path = tmp_path_factory.mktemp("console") / "show.toml"
    path.write_text(SHOW.format(osc=osc.port, sacn=sacn.port))
    return path


@pytest.fixture(scope="module")
def console(show_path):
    running = Console(show_path)
    yield running
    running.stop()


@pytest.fixture(scope="module")
def browser():
    if CHROMIUM is None:
        pytest.skip("chromium is not installed")
    driven = Browser(CHROMIUM)
    driven.call("Runtime.enable", {}, driven.session)
    yield driven
    driven.close()


def ask(browser, script):
    return json.loads(browser.evaluate(f"JSON.stringify((() => {{ {script} }})())"))


def click(browser, selector):
    """A real mouse click in the middle of the element."""
    x, y = ask(browser, f"""const r = document.querySelector({json.dumps(selector)})
        .getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / 2];""")
    for kind in ("mousePressed", "mouseReleased"):
        browser.call("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                  "clickCount": 1}, browser.session)


def wait_for(predicate, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError("timed out")


def console_errors(browser):
    return [event for event in browser.events
            if event["method"] == "Runtime.exceptionThrown"
            or event["method"] == "Runtime.consoleAPICalled" and event["params"]["type"] == "error"]


def pip_of(where):
    bar, beat, pip = map(int, where.split(":"))
    return (bar - 1) * PIPS_PER_BAR + (beat - 1) * 64 + pip


def test_the_page_shows_the_show_and_fires_cues_on_the_bar(browser, console, receivers, show_path):
    osc, sacn = receivers
    browser.call("Emulation.setDeviceMetricsOverride", DESKTOP, browser.session)
    browser.open(console.url)
    shown = wait_for(lambda: ask(browser, """return {bpm: document.getElementById('bpm').textContent,
        where: document.getElementById('where').textContent,
        source: document.getElementById('source').textContent,
        cue: document.getElementById('cue-now').textContent,
        views: [...document.querySelectorAll('.view canvas')].map((c) => c.dataset.row)};"""))
    assert shown["bpm"] == "120" and shown["source"] == "tap" and shown["cue"] == "intro"
    assert re.fullmatch(r"\d+:[1-4]:\d\d", shown["where"])
    assert shown["views"] == ["head", "visual"]

    # The views move, and every drawn point is where the frame the OSC
    # receiver got for the same pip puts it, within a pixel.
    first = ask(browser, "return window.consoleDrawn;")
    time.sleep(0.3)
    drawn = ask(browser, "return window.consoleDrawn;")
    assert drawn["pip"] > first["pip"]
    assert [p["px"] for v in drawn["views"] for p in v["points"]] != \
        [p["px"] for v in first["views"] for p in v["points"]]
    labels = [p["label"] for v in drawn["views"] for p in v["points"]]

    def received():  # once the receiver has the drawn pip of every label
        got = {(address.rsplit("/", 1)[1], int(args[3])): args[:3]
               for address, args in list(osc.messages)}
        return all((label, drawn["pip"]) in got for label in labels) and got

    sent = wait_for(received)
    for view in drawn["views"]:
        half, extent = view["size"] / 2, view["extent"]
        for point in view["points"]:
            x, y, _z = sent[(point["label"], drawn["pip"])]
            scale = (half - view["pad"]) / extent
            assert abs(point["px"] - (half + x * scale)) <= 1
            assert abs(point["py"] - (half - y * scale)) <= 1

    # A cue clicked on the page lands on the next bar: every output has the
    # old cue before that pip and the new one from it.
    click(browser, "[data-cue=drop]")
    lands = pip_of(wait_for(lambda: re.search(r"drop at (\S+)", ask(
        browser, "return document.getElementById('cue-next').textContent;")))[1])
    assert lands % PIPS_PER_BAR == 0
    wait_for(lambda: any(int(args[3]) >= lands + 64 for _a, args in list(osc.messages)), 15)
    show = load_show(str(show_path), Catalogue(gesturon))
    before, after = show.cue_patterns("intro"), show.cue_patterns("drop")
    around = [(a.rsplit("/", 1)[1], args) for a, args in list(osc.messages)
              if lands - 64 <= int(args[3]) < lands + 64]
    assert min(args[3] for _l, args in around) < lands <= max(args[3] for _l, args in around)
    for label, (x, y, z, pip) in around:
        expected = (before if pip < lands else after)[label].sample(int(pip))
        assert (x, y, z) == xyz(expected), (label, pip)
    # The sACN head, decoded from the fixture's channels: the newest
    # universe received is a position of the new cue.
    head = show.fixtures["head"]
    channels = lambda pattern, pip: [v for _c, v in head.channels(*xyz(pattern.sample(pip)))]  # noqa: E731
    newest = list(sacn.packets[-1][1][:4])
    assert any(channels(after["head"], pip) == newest for pip in range(lands, lands + 4096))
    assert wait_for(lambda: "drop" == ask(browser, "return document.getElementById('cue-now').textContent;"))

    # Tapping sets the tempo: four taps about 0.4 s apart, the tempo of
    # their mean interval as clicked.
    clicked = []
    for k in range(4):
        clicked.append(time.monotonic())
        click(browser, "#tap")
        time.sleep(0.4 if k < 3 else 0)
    tempo = float(wait_for(lambda: ask(browser, "return document.getElementById('bpm').textContent;")
                           != "120" and ask(browser, "return document.getElementById('bpm').textContent;")))
    assert tempo == pytest.approx(60 * 3 / (clicked[-1] - clicked[0]), rel=0.05)

    # A bad tempo is one error on the page; the show plays on.
    browser.evaluate("document.getElementById('tempo-input').value = '5000'")
    click(browser, "#tempo-form button")
    message = wait_for(lambda: ask(browser, "return document.getElementById('error').textContent;"))
    assert message.startswith("tempo:") and "5000" in message
    pip = ask(browser, "return window.consoleDrawn.pip;")
    assert wait_for(lambda: ask(browser, "return window.consoleDrawn.pip;") > pip)
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    shot = browser.call("Page.captureScreenshot", {"format": "png"}, browser.session)["data"]
    (ARTIFACTS / "console-desktop.png").write_bytes(base64.b64decode(shot))
    assert console_errors(browser) == []


def test_nothing_is_cut_off_at_phone_width(browser, console):
    browser.call("Emulation.setDeviceMetricsOverride", PHONE, browser.session)
    browser.open(console.url)
    layout = ask(browser, """
        const inside = (r) => r.left >= 0 && r.right <= innerWidth;
        return {scroll: document.documentElement.scrollWidth - innerWidth,
                outside: [...document.querySelectorAll('button, input, canvas, h2, td, header *')]
                  .filter((e) => e.offsetParent !== null && !inside(e.getBoundingClientRect()))
                  .map((e) => e.id || e.textContent)};""")
    assert layout == {"scroll": 0, "outside": []}
    assert console_errors(browser) == []


# ---- what the console refuses -------------------------------------------------------------

async def exchange(url, messages, **options):
    """Connect, read the greeting and the first state, send each message and
    collect each reply (skipping state updates)."""
    replies = []
    async with aiohttp.ClientSession() as session:
        async with session.ws_connect(url, **options) as ws:
            assert (await ws.receive_json())["type"] == "show"
            for message in messages:
                await (ws.send_bytes(message) if isinstance(message, bytes) else ws.send_str(message))
                while True:
                    reply = await ws.receive(timeout=10)
                    if reply.type != aiohttp.WSMsgType.TEXT:
                        replies.append(reply.type)
                        break
                    data = json.loads(reply.data)
                    if data["type"] != "state":
                        replies.append(data)
                        break
    return replies


async def pips(url, count=2):
    """The pips of the next `count` state updates."""
    async with aiohttp.ClientSession() as session:
        async with session.ws_connect(url) as ws:
            seen = []
            while len(seen) < count:
                data = await ws.receive_json(timeout=10)
                if data["type"] == "state":
                    seen.append(data["pip"])
            return seen


BAD_MESSAGES = [
    ("{not json", "not JSON"),
    ("[1, 2]", 'expected {"action": ...}'),
    ('{"action": "launch"}', "unknown action 'launch'"),
    ('{"action": "cue", "cue": "chorus"}', "cue: no cue 'chorus'"),
    ('{"action": "cue", "cue": "drop", "at": "minute"}', "cue: at must be one of beat, bar, phrase"),
    ('{"action": "cue", "cue": "drop", "when": 1}', "cue: unknown key 'when'"),
    ('{"action": "tempo", "bpm": "fast"}', "tempo:"),
    ('{"action": "tempo", "bpm": true}', "tempo: give a number"),
    ('{"action": "nudge", "pips": 1e9}', "nudge: pips must be a whole number"),
    ('{"action": "nudge", "pips": 1000}', "nudge: nudge by less than half a bar"),
    ("[" * 2000, "JSON nested too deeply"),
    (b"\x00\x01", "send JSON text"),
]


def test_bad_messages_are_refused_and_the_show_plays_on(console):
    replies = asyncio.run(exchange(console.ws(), [m for m, _ in BAD_MESSAGES]))
    for (sent, expected), reply in zip(BAD_MESSAGES, replies, strict=True):
        assert reply["type"] == "error" and reply["message"].startswith(expected), (sent, reply)
    # A message over the limit closes that page's connection; the show and
    # every other page go on.
    [closed] = asyncio.run(exchange(console.ws(), ['{"action": "tap", "x": "' + "a" * MAX_MESSAGE + '"}']))
    assert closed in (aiohttp.WSMsgType.CLOSE, aiohttp.WSMsgType.CLOSED, aiohttp.WSMsgType.CLOSING,
                      aiohttp.WSMsgType.ERROR)
    first, second = asyncio.run(pips(console.ws()))
    assert second > first
    assert console.process.poll() is None


async def status(url, **options):
    async with aiohttp.ClientSession() as session:
        try:
            async with session.ws_connect(url, **options) as ws:
                await ws.receive_json(timeout=10)
                return 101
        except aiohttp.WSServerHandshakeError as refused:
            return refused.status


async def http_status(url, headers=None):
    async with aiohttp.ClientSession() as session:
        async with session.get(url, headers=headers) as response:
            return response.status


def test_loopback_console_refuses_other_sites(console):
    origin = f"http://{console.host}"
    assert asyncio.run(status(console.ws(), origin=origin)) == 101
    assert asyncio.run(status(console.ws(), origin="http://evil.example")) == 403
    # A page reaching 127.0.0.1 under another host name (DNS rebinding).
    port = console.host.rsplit(":", 1)[1]
    assert asyncio.run(http_status(console.url, {"Host": f"evil.example:{port}"})) == 403
    assert asyncio.run(http_status(console.url)) == 200


@pytest.mark.parametrize("command", COMMANDS)
def test_beyond_loopback_every_request_needs_the_token(show_path, command):
    remote = Console(show_path, "--listen", "127.0.0.2", command=command)
    try:
        assert remote.host.startswith("127.0.0.2:") and len(remote.token) >= 20
        bare = f"http://{remote.host}/"
        for url in (bare, bare + "?token=", bare + "?token=" + remote.token[:-1] + "x"):
            assert asyncio.run(http_status(url)) == 403
        assert asyncio.run(status(remote.ws())) == 403
        assert asyncio.run(status(remote.ws("wrong"))) == 403
        assert asyncio.run(http_status(remote.url)) == 200
        replies = asyncio.run(exchange(remote.ws(remote.token), ['{"action": "cue", "cue": "drop"}']))
        assert replies[0]["type"] == "done"
        assert "only requests carrying the token" in remote.process.stdout.readline()
    finally:
        remote.stop()


@pytest.mark.parametrize("command", COMMANDS)
@pytest.mark.parametrize("argv, message", [
    (["--listen", "nowhere"], "not an IP address: 'nowhere'"),
    (["--rate", "0"], "must be 1 to 60 updates a second"),
    (["--port", "70000"], "port must be 0 (any free one) to 65535"),
])
def test_bad_options_are_one_line(show_path, command, argv, message):
    done = subprocess.run([sys.executable, "-m", "gesturon_tools", *COMMANDS[command](show_path), *argv],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and done.stderr.count("\n") == 1 and message in done.stderr


async def page_text(url):
    async with aiohttp.ClientSession() as session:
        async with session.get(url) as response:
            return response.status, await response.text()


def test_play_serves_the_console_of_its_show(show_path):
    played = Console(show_path, command="play --console")
    try:
        assert asyncio.run(page_text(played.url)) == (200, page_html())
        [reply] = asyncio.run(exchange(played.ws(), ['{"action": "cue", "cue": "drop", "at": "beat"}']))
        assert reply["type"] == "done" and reply["cue"] == "drop" and reply["pip"] % 64 == 0
    finally:
        played.stop()


@pytest.mark.parametrize("argv, message", [
    (["circle", "--console"], "play: --console needs a show file (SHOW.toml), not patterns"),
    (["{show}", "--port", "0"], "play: --port needs --console"),
    (["{show}", "--listen", "127.0.0.1"], "play: --listen needs --console"),
    (["{show}", "--rate", "10"], "play: --rate needs --console"),
])
def test_play_refuses_console_options_it_cannot_serve(show_path, argv, message):
    argv = [str(show_path) if a == "{show}" else a for a in argv]
    done = subprocess.run([sys.executable, "-m", "gesturon_tools", "play", *argv, "--bpm", "120"],
                          capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    assert (done.returncode, done.stderr) == (2, f"gesturon: {message}\n")


def test_a_port_in_use_is_one_line(show_path, console):
    port = console.host.rsplit(":", 1)[1]
    done = subprocess.run([sys.executable, "-m", "gesturon_tools", "console", str(show_path),
                           "--port", port], capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)
    assert done.returncode == 1 and done.stderr.startswith(f"gesturon: console: cannot listen on "
                                                           f"127.0.0.1:{port}")


def test_without_aiohttp_the_console_says_what_to_install(show_path):
    done = subprocess.run(
        [sys.executable, "-c", "import sys; sys.modules['aiohttp'] = None\n"
         "from gesturon_tools.cli import main; sys.exit(main(['console', sys.argv[1]]))",
         str(show_path)], capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
    assert (done.returncode, done.stderr) == (
        1, "gesturon: console: needs aiohttp: pip install 'gesturon[console]'\n")


# ---- what one message may ask for -----------------------------------------------------------

def test_tempos_of_ever_new_fractions_keep_the_clock_quick(show_path):
    """Every tempo set is exact, and each new denominator would stay in the
    clock's numbers for good, each frame's arithmetic slower than the last;
    the beat is kept to 1/2^64, so they stay small however many a page sends."""
    offline = OfflineConsole(show_path)
    for q in range(1001, 1401):
        offline.wait(10**7)
        reply = offline.act(json.dumps({"action": "tempo", "bpm": f"{128 * q + 1}/{q}"}))
        assert reply["type"] == "done"
    assert offline.clock.target_at(offline.now).denominator.bit_length() < 128
    before = offline.frame().pip
    offline.wait(10**9)
    assert offline.frame().pip - before == pytest.approx(128 * 64 / 60, abs=2)


def test_a_faded_cue_fired_on_every_beat_holds_no_more_memory():
    """Each fade starts from what the tracks play; a fade over by then must
    not be kept inside the next one (each held all the fades before it,
    10 kB more for every cue: 40 MB after 4000)."""
    stage = OfflineConsole(EXAMPLE)
    faded = next(name for name, cue in stage.running.show.cues.items() if cue.fade)
    message = json.dumps({"action": "cue", "cue": faded, "at": "beat"})
    fires = 1000
    for _ in range(fires):
        stage.wait(6 * 10**8)  # a little more than a beat: a new beat each time
        assert stage.act(message)["type"] == "done"
        stage.frame()
    gc.collect()
    fades = sum(isinstance(o, Crossfade) for o in gc.get_objects())
    # What is kept: the cues of the last 64 beats, for each track.
    assert fades <= len(stage.running.show.labels) * 64 < fires
