"""Ableton Link through the real binding: player processes in one session,
all inside a network namespace that the test makes, so that no Link
traffic reaches the host's interfaces."""

import json
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from linkpeer import in_private_network, link_now_us

pytest.importorskip("link")
HERE = Path(__file__).parent
SECOND_US = 10**6


def namespaces_work() -> bool:
    if shutil.which("unshare") is None or shutil.which("ip") is None:
        return False
    done = subprocess.run(in_private_network(["true"]), capture_output=True)
    return done.returncode == 0


pytestmark = pytest.mark.skipif(not namespaces_work(),
                                reason="needs unshare and ip to make a private network namespace")


def run_together(work: Path, *commands: list[str]) -> list[str]:
    """Each command's output; all of them started together in one
    namespace, each 0.3 s after the one before."""
    script = " & sleep 0.3; ".join(f"{shlex.join(command)} > out{i}"
                                   for i, command in enumerate(commands)) + "; wait"
    done = subprocess.run(in_private_network(["sh", "-c", script]), cwd=work,
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 0 and not done.stderr, done.stderr
    return [(work / f"out{i}").read_text() for i in range(len(commands))]


def run_peers(work: Path, *peers: list[str]) -> list[list[dict]]:
    """Each peer's lines."""
    outs = run_together(work, *([sys.executable, str(HERE / "linkpeer.py"), *args]
                                for args in peers))
    return [[json.loads(line) for line in out.splitlines()] for out in outs]


def test_players_in_one_session_agree_on_pip_and_position_and_follow_the_tempo(tmp_path):
    start = link_now_us() + 5 * SECOND_US
    steady = [start + k * 250_000 for k in range(4)]
    change = start + 1_200_000
    after = [change + 2 * SECOND_US + k * 300_000 for k in range(3)]  # five beats and more at 150
    at = "--at=" + ",".join(map(str, steady + after))
    leader, follower, third = run_peers(tmp_path,
        ["--bpm", "100", "--lead", "--peers", "2", at, f"--tempo={change}:150"],
        ["--bpm", "140", "--peers", "2", at],
        ["--bpm", "97", "--peers", "2", at])
    for lines in (leader, follower, third):
        contact, samples = lines[0], lines[1:]
        assert contact["peers"] == 2
        assert abs(contact["contact_error_pips"]) < 1           # aligned on first contact
        assert [s["at"] for s in samples] == steady + after
        for sample in samples:
            assert sample["offset_ns"] != 0                     # Link's clock is another clock
            assert abs(sample["pip"] - sample["session_pips"]) < 1
        assert [s["tempo"] for s in samples] == [100.0] * len(steady) + [150.0] * len(after)
        assert [s["clock_bpm"] for s in samples] == [s["tempo"] for s in samples]
    # The same pip and bit-identical positions at the same Link instant.
    for theirs in (follower, third):
        assert [(s["pip"], s["positions"]) for s in theirs[1:]] == \
            [(s["pip"], s["positions"]) for s in leader[1:]]


def test_a_player_refuses_to_run_link_outside_a_private_namespace():
    done = subprocess.run([sys.executable, str(HERE / "linkpeer.py")], capture_output=True,
                          text=True, timeout=30)
    assert done.returncode != 0 and "refusing" in done.stderr


def test_gesturon_play_follows_the_session_and_warns_when_it_is_gone(tmp_path):
    # A session at 150 BPM that ends after two seconds; the player, started
    # at 90 BPM, joins it, takes its tempo and beat, and runs on alone at
    # 150 BPM once the peer has gone.
    leader, play = run_together(
        tmp_path,
        [sys.executable, str(HERE / "linkpeer.py"), "--bpm", "150", "--lead", "--peers", "1",
         f"--at={link_now_us() + 2 * SECOND_US}"],
        [sys.executable, "-m", "gesturon_tools", "play", "circle", "--bpm", "90", "--link",
         "--beats", "10", "--beats-per-bar", "3", "--osc", "127.0.0.1:9"])
    contact, sample = map(json.loads, leader.splitlines())
    assert sample["tempo"] == 150.0
    assert play.count("\n") == 1
    assert " 150 BPM  Link LOST: no peers  " in play, play
