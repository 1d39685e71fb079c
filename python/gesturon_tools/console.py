"""`gesturon console SHOW.toml` (or `gesturon play SHOW.toml --console`):
the show plays exactly as with `gesturon play SHOW.toml`, and one page
served by the running player shows it live: the tempo and where it comes
from, bar:beat with a flash on every beat, every fixture row moving, the
cues with buttons that fire one on the next beat, bar or phrase, tap,
nudge and resync, and how each output is doing. The guide is
docs/console.md.

The page draws the frames the player sends its outputs: a `PageFeed` is
one more output of the player's own stream, keeping the newest frame (a
reference, nothing more, so the player's loop pays nothing for it); the
server thread picks up the newest at the page's rate and sends it to every
open page over a WebSocket. Nothing is recomputed in the browser.

The server is aiohttp in a thread of its own. By default it listens on
127.0.0.1 only, and answers only requests addressed to that host by name
(a page from elsewhere cannot reach it by renaming a host). Listening on
any other address (`--listen`) makes a random token that every request,
the page's and its WebSocket's, must carry (`?token=...`, in the address
printed at start); without it a request is refused and nothing changes.
A WebSocket opened from a page of another origin is refused. What a page
sends is checked like the command line: an unknown cue, a bad tempo or an
unknown action is answered with one error, and the show plays on.
"""

from __future__ import annotations

import argparse
import asyncio
import hmac
import os
import ipaddress
import json
import secrets
import threading
from dataclasses import dataclass
from importlib import resources
from typing import TYPE_CHECKING, Any, Callable, Mapping, TextIO

from .catalogue import Catalogue, ToolError
from .clock import exact_tempo
from .commands.common import beats_arg, bpm_arg, fps_arg, int_arg
from .commands.playoutputs import kind_of
from . import osccontrol
from .commands.showfile import RunningShow, open_show, play_show
from .frames import Frame
from .live import FINAL_FRAMES
from .meter import UNITS
from .outputs import MissingDependency
from .sync import ManualSource

if TYPE_CHECKING:
    from argparse import _SubParsersAction

    from aiohttp import web

    from .commands.common import ParserType

DEFAULT_PORT = 8765
DEFAULT_RATE = 30          # page updates a second
MAX_RATE = 60
MAX_MESSAGE = 4096         # bytes: a larger message from a page closes its connection
MAX_PAGES = 32             # pages open at once
SEND_TIMEOUT_S = 1.0       # a page that takes longer to accept an update is dropped
LOOPBACK_NAMES = ("127.0.0.1", "localhost", "::1")


class PageFeed:
    """An output of the player's own stream that keeps the newest frame
    for the page."""

    def __init__(self) -> None:
        self.latest: Frame | None = None

    def send(self, frame: Frame) -> None:
        self.latest = frame

    def close(self) -> None:
        pass


class Refused(ValueError):
    """What a page asked for cannot be done; the message says why."""


@dataclass
class ShowControl:
    """What may be done to a running show from outside (the page, an OSC
    sender): `perform` one action of `ACTIONS`, checked; one action at a
    time, whoever asks."""
    running: RunningShow

    def __post_init__(self) -> None:
        self.lock = threading.Lock()

    def perform(self, message: Mapping[str, Any]) -> dict[str, Any]:
        """Do the action `message["action"]` with the message's own keys;
        the reply: `done`, or an `error` that changed nothing."""
        action = message.get("action")
        if not isinstance(action, str):
            return error('expected {"action": ...}')
        handler = ACTIONS.get(action)
        if handler is None:
            return error(f"unknown action {action[:40]!r} (known: {', '.join(ACTIONS)})")
        try:
            with self.lock:
                done = handler(self, message)
        except Refused as refused:
            return error(str(refused))
        return {"type": "done", "action": action, **done}

    def by_hand(self) -> ManualSource:
        source = self.running.source
        if not isinstance(source, ManualSource):
            raise Refused(f"the beat follows {source.status()}; tap, nudge, resync and tempo "
                          f"need [tempo] source = \"tap\" or \"fixed\"")
        return source


@dataclass
class Console(ShowControl):
    """The running show as the page sees it: what it shows (`hello`,
    `state`) and what it may do (`act`)."""
    feed: PageFeed
    title: str

    def hello(self) -> dict[str, Any]:
        """What a page is told once: the show's fixtures by row, its cues
        and how its beat is kept."""
        show = self.running.show
        labels = show.labels
        rows: dict[str, list[int]] = {}
        for i, label in enumerate(labels):
            rows.setdefault(label.split("/")[0], []).append(i)
        return {"type": "show", "title": self.title, "labels": labels,
                "rows": [[name, members] for name, members in rows.items()],
                "order": list(show.order()), "cues": list(show.cues),
                "mode": show.cue_list.mode if show.cue_list is not None else "key",
                "beats_per_bar": show.meter.beats_per_bar, "source": show.source,
                "by_hand": isinstance(self.running.source, ManualSource)}

    def state(self, frame: Frame) -> dict[str, Any]:
        """The show at `frame`: where the beat is, the tempo and its source,
        the cues, the outputs' counts and every position of the frame."""
        running = self.running
        meter = running.show.meter
        where = meter.locate(frame.pip)
        clock = running.source.clock
        cue = running.runner.state(frame.pip)
        peers = getattr(running.source, "peers", None)
        status = running.source.status()
        if status == "manual":  # a tempo kept by hand, not tapped yet
            status = running.show.source
        return {
            "type": "state", "pip": frame.pip, "where": str(where), "bar": where.bar,
            "beat": where.beat, "bpm": float(clock.bpm), "status": status,
            "lost": running.source.lost,
            "peers": peers if isinstance(peers, int) else None,
            "cue": {"name": cue.name, "next": cue.next,
                    "lands": None if cue.lands is None else meter.format(cue.lands)},
            "outputs": self.outputs(),
            "patterns": [p.pattern for p in frame.positions],
            "positions": [[p.x, p.y, p.z] for p in frame.positions],
        }

    def outputs(self) -> list[dict[str, Any]]:
        """Frames sent, late and dropped, for each stream of the player
        that feeds a real output."""
        rows = []
        for stream in self.running.player.streams:
            kinds = sorted({kind_of(o) for o in stream.outputs
                            if not isinstance(o, PageFeed) and kind_of(o) != "StatusLine"})
            if not kinds:
                continue
            rate = "pip" if stream.fps is None else f"{stream.fps}/s"
            stats = stream.stats
            rows.append({"name": f"{'+'.join(kinds)} {rate}", "frames": stats.frames,
                         "late": stats.late, "dropped": stats.dropped})
        return rows

    # ---- what a page may do ------------------------------------------------------------

    def act(self, text: str) -> dict[str, Any]:
        """Do what a page's message asks; the reply to send back. A message
        that cannot be done changes nothing and is answered with an error."""
        try:
            message = json.loads(text)
        except ValueError:
            return error("not JSON")
        except RecursionError:  # arrays or objects nested deeper than the reader goes
            return error("JSON nested too deeply")
        if not isinstance(message, dict):
            return error('expected {"action": ...}')
        return self.perform(message)


def error(message: str) -> dict[str, Any]:
    return {"type": "error", "message": message}


def fields(message: Mapping[str, Any], allowed: tuple[str, ...]) -> None:
    unknown = [key for key in message if key != "action" and key not in allowed]
    if unknown:
        raise Refused(f"{message['action']}: unknown key {unknown[0][:40]!r}")


def do_cue(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ("cue", "at"))
    cue, unit = message.get("cue"), message.get("at", "bar")
    if not isinstance(cue, str):
        raise Refused("cue: give the cue's name")
    if unit not in UNITS:
        raise Refused(f"cue: at must be one of {', '.join(UNITS)}")
    try:
        pip = console.running.runner.fire(cue, unit)
    except ValueError as refused:
        raise Refused(f"cue: {refused}") from None
    return {"cue": cue, "lands": console.running.show.meter.format(pip), "pip": pip}


def do_next(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ())
    console.running.runner.advance()
    return {}


def do_tap(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ())
    tempo = console.by_hand().tap()
    return {"bpm": None if tempo is None else float(tempo)}


def do_nudge(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ("pips",))
    pips = message.get("pips")
    if isinstance(pips, bool) or not isinstance(pips, int):
        raise Refused("nudge: pips must be a whole number")
    try:
        console.by_hand().nudge(pips)
    except ValueError as refused:
        raise Refused(f"nudge: {refused}") from None
    return {}


def do_resync(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ())
    console.by_hand().downbeat()
    return {}


def do_tempo(console: ShowControl, message: Mapping[str, Any]) -> dict[str, Any]:
    fields(message, ("bpm",))
    bpm = message.get("bpm")
    if isinstance(bpm, bool) or not isinstance(bpm, (int, float, str)) or \
            isinstance(bpm, str) and len(bpm) > 32:
        raise Refused("tempo: give a number of beats a minute, 20 to 999")
    try:
        tempo = exact_tempo(bpm.strip() if isinstance(bpm, str) else bpm)
    except ValueError as refused:
        raise Refused(f"tempo: {refused}") from None
    console.by_hand().clock.set_tempo(tempo)
    return {"bpm": float(tempo)}


ACTIONS: dict[str, Callable[[ShowControl, Mapping[str, Any]], dict[str, Any]]] = {
    "cue": do_cue, "next": do_next, "tap": do_tap, "nudge": do_nudge, "resync": do_resync,
    "tempo": do_tempo,
}


# ---- the page -----------------------------------------------------------------------------

def page_html() -> str:
    """The page with its style and script inline: one request, nothing
    fetched from anywhere else."""
    folder = resources.files(__package__) / "page"
    html = (folder / "console.html").read_text(encoding="utf-8")
    css = (folder / "console.css").read_text(encoding="utf-8")
    script = (folder / "console.js").read_text(encoding="utf-8")
    return html.replace("/*STYLE*/", css).replace("/*SCRIPT*/", script)


# ---- the server ---------------------------------------------------------------------------

def is_loopback_only(host: str) -> bool:
    return host in LOOPBACK_NAMES


class ConsoleServer:
    """The page and its WebSocket, served by aiohttp from a thread of its
    own until `close()`. `token` None: loopback only, requests must name
    the loopback host they reach; else every request carries the token."""

    def __init__(self, console: Console, host: str, port: int, token: str | None,
                 rate: int = DEFAULT_RATE):
        try:
            from aiohttp import web
        except ImportError:
            raise MissingDependency("the console needs aiohttp: "
                                    "pip install 'gesturon[console]'") from None
        self.console = console
        self.host = host
        self.port = port
        self.token = token
        self.rate = rate
        self.page = page_html()
        self.pages: set[web.WebSocketResponse] = set()
        self.loop = asyncio.new_event_loop()
        self.ready = threading.Event()
        self.failure: BaseException | None = None
        self.thread = threading.Thread(target=self.serve, name="gesturon console", daemon=True)

    # ---- lifetime --------------------------------------------------------------------------

    def start(self) -> str:
        """Listen, and return the page's address (with its token)."""
        self.thread.start()
        self.ready.wait()
        if self.failure is not None:
            self.thread.join()
            raise self.failure
        host = f"[{self.host}]" if ":" in self.host else self.host
        token = f"/?token={self.token}" if self.token is not None else "/"
        return f"http://{host}:{self.port}{token}"

    def serve(self) -> None:
        from aiohttp import web
        asyncio.set_event_loop(self.loop)

        @web.middleware
        async def guard(request: web.Request, handler: Any) -> web.StreamResponse:
            refused = self.allowed(request)
            if refused is not None:
                return web.Response(status=403, text=refused + "\n")
            response: web.StreamResponse = await handler(request)
            return response

        app = web.Application(middlewares=[guard], client_max_size=MAX_MESSAGE)
        app.router.add_get("/", self.index)
        app.router.add_get("/ws", self.socket)
        runner = web.AppRunner(app, access_log=None, handle_signals=False)
        try:
            self.loop.run_until_complete(runner.setup())
            site = web.TCPSite(runner, self.host, self.port, reuse_address=True)
            self.loop.run_until_complete(site.start())
            self.port = int(runner.addresses[0][1])  # the port chosen, for port 0
        except OSError as error:
            self.failure = ToolError(f"console: cannot listen on {self.host}:{self.port}: "
                                     f"{error.strerror or error}")
            self.loop.run_until_complete(runner.cleanup())
            self.loop.close()
            self.ready.set()
            return
        broadcast = self.loop.create_task(self.broadcast())
        self.ready.set()
        try:
            self.loop.run_forever()
        finally:
            broadcast.cancel()
            self.loop.run_until_complete(asyncio.gather(broadcast, return_exceptions=True))
            for page in list(self.pages):
                self.loop.run_until_complete(page.close())
            self.loop.run_until_complete(runner.cleanup())
            self.loop.close()

    def close(self) -> None:
        if self.thread.is_alive():
            self.loop.call_soon_threadsafe(self.loop.stop)
            self.thread.join()

    # ---- requests --------------------------------------------------------------------------

    @property
    def hosts(self) -> set[str]:
        """The Host headers a loopback-only console answers."""
        return {f"{name}:{self.port}" for name in ("127.0.0.1", "localhost", "[::1]")}

    def allowed(self, request: web.Request) -> str | None:
        """Why a request is refused, or None."""
        if self.token is not None:
            given = request.query.get("token", "").encode("utf-8", "replace")
            if not hmac.compare_digest(given, self.token.encode()):
                return "this console needs its token (the address printed at start)"
        elif request.host not in self.hosts:
            return "this console answers on 127.0.0.1 only"
        origin = request.headers.get("Origin")
        if origin is not None and origin != f"http://{request.host}":
            return "a page from another site may not use this console"
        return None

    async def index(self, request: web.Request) -> web.StreamResponse:
        from aiohttp import web
        return web.Response(text=self.page, content_type="text/html", headers={
            "Cache-Control": "no-store", "X-Frame-Options": "DENY", "Referrer-Policy": "no-referrer",
            "Content-Security-Policy": "default-src 'none'; script-src 'unsafe-inline'; "
                                       "style-src 'unsafe-inline'; connect-src 'self'; "
                                       "img-src data:; frame-ancestors 'none'"})

    async def socket(self, request: web.Request) -> web.StreamResponse:
        from aiohttp import web
        if len(self.pages) >= MAX_PAGES:
            return web.Response(status=503, text="too many pages open\n")
        page = web.WebSocketResponse(max_msg_size=MAX_MESSAGE)
        await page.prepare(request)
        await page.send_str(json.dumps(self.console.hello()))
        self.pages.add(page)
        try:
            async for message in page:
                if message.type == web.WSMsgType.TEXT:
                    reply = self.console.act(message.data)
                else:
                    reply = error("send JSON text")
                await page.send_str(json.dumps(reply))
        finally:
            self.pages.discard(page)
        return page

    async def broadcast(self) -> None:
        """The newest frame to every page, `rate` times a second (a frame
        already sent is not sent again)."""
        loop = asyncio.get_running_loop()
        period = 1 / self.rate
        due = loop.time()
        last: Frame | None = None
        while True:
            due += period
            await asyncio.sleep(max(0.0, due - loop.time()))
            due = max(due, loop.time() - period)  # after a stall: on from now, no burst
            frame = self.console.feed.latest
            if not self.pages or frame is None or frame is last:
                continue
            last = frame
            text = json.dumps(self.console.state(frame))
            await asyncio.gather(*(self.deliver(page, text) for page in list(self.pages)))

    async def deliver(self, page: web.WebSocketResponse, text: str) -> None:
        """One update to one page; a page that cannot take it within a
        second (gone, or too slow to read) is dropped, so that it never
        holds up the others."""
        try:
            await asyncio.wait_for(page.send_str(text), SEND_TIMEOUT_S)
        except (asyncio.TimeoutError, ConnectionError, RuntimeError):
            self.pages.discard(page)
            asyncio.get_running_loop().create_task(page.close())


# ---- gesturon console ------------------------------------------------------------------------

def rate_arg(text: str) -> int:
    rate = int_arg(text)
    if not 1 <= rate <= MAX_RATE:
        raise argparse.ArgumentTypeError(f"must be 1 to {MAX_RATE} updates a second, not {text}")
    return rate


def port_arg(text: str) -> int:
    port = int_arg(text)
    if not 0 <= port <= 65535:
        raise argparse.ArgumentTypeError(f"port must be 0 (any free one) to 65535, not {text}")
    return port


def listen_arg(text: str) -> str:
    if text == "localhost":
        return "127.0.0.1"
    try:
        return str(ipaddress.ip_address(text.strip("[]")))
    except ValueError:
        raise argparse.ArgumentTypeError(f"not an IP address: {text!r}") from None


def add_parser(commands: _SubParsersAction[ParserType]) -> ParserType:
    console = commands.add_parser(
        "console", help="play a show file with a live console in the browser",
        description="Play a show file as 'gesturon play SHOW.toml' does and serve a page that "
                    "shows it live and fires its cues: open the address printed at start.")
    console.add_argument("names", nargs=1, metavar="SHOW.toml")
    add_page_options(console)
    console.add_argument("--cue", metavar="NAME", help="start at this cue")
    console.add_argument("--bpm", type=bpm_arg, help="tempo, overriding the show's")
    console.add_argument("--fps", type=fps_arg, default=100, metavar="N",
                         help="frames a second (default: 100), or 'pip' for one frame per pip")
    console.add_argument("--beats", type=beats_arg, metavar="N",
                         help="stop after N beats (default: run until Ctrl-C)")
    console.add_argument("--final", choices=FINAL_FRAMES,
                         help="what the outputs are sent on stopping (default: the show's "
                              "[final], or hold)")
    osccontrol.add_options(console)
    console.set_defaults(run=run_console)
    return console


SERVER_OPTIONS = ("port", "listen", "rate")


def add_page_options(parser: argparse.ArgumentParser) -> None:
    """Where the page is served and how often it is updated: the options of
    `gesturon console`, and of `gesturon play SHOW.toml --console`. Left
    out, each is None and `run_console` takes its default."""
    parser.add_argument("--port", type=port_arg,
                        help=f"the page's port (default: {DEFAULT_PORT}; 0: any free one)")
    parser.add_argument("--listen", type=listen_arg, metavar="ADDRESS",
                        help="listen on this address instead of 127.0.0.1 (0.0.0.0: every "
                             "interface); every request then needs the token printed at start")
    parser.add_argument("--rate", type=rate_arg, metavar="N",
                        help=f"page updates a second, 1 to {MAX_RATE} (default: {DEFAULT_RATE})")


def add_play_options(play: argparse.ArgumentParser) -> None:
    """`gesturon play SHOW.toml --console`: the show's console, served as
    `gesturon console SHOW.toml` serves it."""
    play.add_argument("--console", action="store_true",
                      help="with a show file: serve its live console in the browser, as "
                           "'gesturon console' does (--port, --listen, --rate)")
    add_page_options(play)


def check_play_options(args: argparse.Namespace, show_file: bool) -> None:
    """`gesturon play`: --console is for a show file, and the page's
    options are for --console."""
    if args.console and not show_file:
        raise ToolError("play: --console needs a show file (SHOW.toml), not patterns", status=2)
    if not args.console:
        for option in SERVER_OPTIONS:
            if getattr(args, option) is not None:
                raise ToolError(f"play: --{option} needs --console", status=2)


def run_console(args: argparse.Namespace, catalogue: Catalogue, out: TextIO,
                command: str = "console") -> None:
    """Play the show file `args.names[0]` as `gesturon play` does, and serve
    its console on --listen and --port at --rate updates a second until
    the show stops; `command` names the command in its messages."""
    try:
        import aiohttp  # noqa: F401
    except ImportError:
        needs = "needs" if command == "console" else "--console needs"
        raise ToolError(f"{command}: {needs} aiohttp: pip install 'gesturon[console]'") from None
    listen = "127.0.0.1" if args.listen is None else args.listen
    port = DEFAULT_PORT if args.port is None else args.port
    rate = DEFAULT_RATE if args.rate is None else args.rate
    feed = PageFeed()
    running = open_show(args, catalogue, out, command, (feed,))
    token = None if is_loopback_only(listen) else secrets.token_urlsafe(18)
    title = os.path.basename(args.names[0])
    console = Console(running, feed, title)
    server = ConsoleServer(console, listen, port, token, rate)
    try:
        address = server.start()
    except ToolError:
        running.player.close()
        running.source.close()
        raise
    out.write(f"console: {address}\n")
    if token is not None:
        out.write(f"console: listening on {listen}: only requests carrying the token "
                  f"are answered\n")
    out.flush()
    try:
        control = osccontrol.listen(args.osc_control, console, running, out, command)
    except ToolError:
        server.close()
        raise
    try:
        play_show(running, control)
    finally:
        server.close()
