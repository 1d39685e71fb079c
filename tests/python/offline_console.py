"""A console over a show file in this process, without its server: what a
page's message does is `act`, called directly. The show's outputs are left
out (nothing is sent anywhere) and its clock is simulated, moved on only
by `wait`; `frame` is the frame the player would make now."""

import argparse
import io

import gesturon
from gesturon_tools.catalogue import Catalogue
from gesturon_tools.commands.showfile import open_show
from gesturon_tools.console import Console, PageFeed


class OfflineConsole:
    def __init__(self, path):
        args = argparse.Namespace(names=[str(path)], cue=None, bpm=None, fps=100, beats=None, final=None,
                                  dry_run=True)
        feed = PageFeed()
        self.running = open_show(args, Catalogue(gesturon), io.StringIO(), "console", (feed,))
        self.now = 0
        self.clock = self.running.source.clock
        self.clock.now_ns = lambda: self.now
        self.clock.locate(0)
        self.console = Console(self.running, feed, str(path))

    def wait(self, ns):
        self.now += ns

    def act(self, text):
        return self.console.act(text)

    def frame(self):
        player = self.running.player
        return player.frame(player.clock.pip())
