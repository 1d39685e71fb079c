"""`gesturon play --tap` on a real terminal (a pseudo-terminal made by the
test): taps set the tempo, and the terminal is left as it was found."""

import os
import re
import select
import subprocess
import sys
import termios
import time

TAP_INTERVAL = 0.5  # about 120 BPM


def read_some(controller, player, seconds=30):
    """What the player has written to its terminal, waiting at most
    `seconds`; a player that has ended instead fails the test."""
    ready, _, _ = select.select([controller], [], [], seconds)
    if not ready:
        raise AssertionError(f"the player wrote nothing for {seconds} s "
                             f"(exit status {player.poll()})")
    return os.read(controller, 4096)


def test_taps_on_the_terminal_set_the_tempo_and_the_terminal_is_restored():
    controller, terminal = os.openpty()
    before = termios.tcgetattr(terminal)
    player = subprocess.Popen([sys.executable, "-m", "gesturon_tools", "play", "circle",
                               "--bpm", "90", "--tap", "--beats", "12", "--osc", "127.0.0.1:9"],
                              stdin=terminal, stdout=terminal, stderr=subprocess.PIPE)
    try:
        output = b""
        while b"tap:" not in output:           # the keys are read from here on
            output += read_some(controller, player)
        tapped = []
        for _ in range(5):
            os.write(controller, b" ")
            tapped.append(time.monotonic())
            time.sleep(TAP_INTERVAL)
        assert player.wait(timeout=60) == 0, player.stderr.read()
        while not output.endswith(b"\n") or output.count(b"\n") < 2:
            output += read_some(controller, player)
    finally:
        player.kill()
        player.stderr.close()
    last = [part for part in re.split(r"[\r\n]+", output.decode()) if " BPM " in part][-1]
    tempo = re.match(r"\S+  (\S+) BPM  tap  ", last)
    assert tempo is not None, last
    # The tempo of the taps as they were sent; the player stamps them as it
    # reads them, a little later each on a busy machine.
    assert abs(float(tempo[1]) - 60 * 4 / (tapped[-1] - tapped[0])) < 1
    assert termios.tcgetattr(terminal) == before
    os.close(controller)
    os.close(terminal)
