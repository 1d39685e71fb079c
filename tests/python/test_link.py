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

import gesturon

from linkpeer import in_private_network, link_now_us
from test_jumps import SHOW

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


# ---- a player watched by a peer of the session ---------------------------------------

OSC_PORT = 9000   # inside the test's own namespace, where every port is free
WATCHER = [sys.executable, str(HERE / "linkpeer.py"), "--osc", str(OSC_PORT)]
PLAY_TO_WATCHER = [sys.executable, "-m", "gesturon_tools", "play", "--fps", "pip"]
PERIOD = {r["name"]: r["period_pips"] for r in gesturon.catalogue()}


def watched(work: Path, watcher: list[str], player: list[str]) -> tuple[list[dict], str]:
    """What the watching peer received from the player, in order, and what
    the player printed."""
    received, printed = run_together(work, WATCHER + watcher, PLAY_TO_WATCHER + player)
    return [json.loads(line) for line in received.splitlines()], printed


def runs(messages: list[dict]) -> list[list[dict]]:
    """The messages cut where the pips jump: one run of pips between jumps
    (a pip or two may be dropped on a busy machine; a jump is far more)."""
    cut: list[list[dict]] = [[messages[0]]]
    for message in messages[1:]:
        if 1 <= message["pip"] - cut[-1][-1]["pip"] <= 4:
            cut[-1].append(message)
        else:
            cut.append([message])
    return cut


def assert_on_the_session(messages: list[dict]) -> None:
    """Each frame arrives when the session is at its pip (it is never sent
    ahead of the session, nor a beat late), and in every stretch of the run
    some frame arrives within a few pips of it: the player keeps the
    session's beat and tempo all along."""
    behind = [m["session_pips"] - m["pip"] for m in messages]
    assert all(-0.1 < b < 64 for b in behind), (min(behind), max(behind))
    stretch = len(behind) // 4
    assert all(min(behind[k:k + stretch]) < 3 for k in range(0, 4 * stretch, stretch)), behind


def sample_hex(name: str, pip: int) -> list[str]:
    return [v.hex() for v in gesturon.sample(name, pip % PERIOD[name]).as_tuple()]


def second_cue(played: list[dict]) -> int:
    """The pip the show's second cue lands on: a bar line of the session;
    only the first cue before it, only the second from it on."""
    landing = next(m["pip"] for m in played if m["xyz"] != sample_hex("helix", m["pip"]))
    assert landing % 256 == 0
    for m in played:
        assert m["xyz"] == sample_hex("helix" if m["pip"] < landing else "lfo_breathe",
                                      m["pip"]), m
    return landing


def test_a_show_follows_the_session_and_its_timeline_lands_on_the_sessions_bars(tmp_path):
    # A peer leads the session at 150 BPM; a show with its own 100 BPM
    # joins it, plays 16 beats and changes cue on its bar 3.
    (tmp_path / "show.toml").write_text(SHOW.format(bpm=100, port=OSC_PORT))
    messages, printed = watched(tmp_path, ["--bpm", "150", "--lead"],
                                ["show.toml", "--beats", "16"])
    assert " 150 BPM  Link, 1 peer  " in printed and "cue 2/2 busy" in printed, printed
    assert_on_the_session(messages)
    [played] = runs(messages)
    # The show's bar 1 begins on the session's first bar line once it
    # plays; bar 3, two session bars later, brings the second cue.
    landing = second_cue(played)
    origin = landing - 2 * 256
    assert origin - 256 < played[0]["pip"] <= origin + 4
    # Sixteen beats from the show's bar 1, and not a pip more.
    assert origin + 16 * 64 - 4 <= played[-1]["pip"] < origin + 16 * 64


@pytest.mark.parametrize("plays", [["circle", "--link", "--bpm", "90", "--beats", "8",
                                    "--osc", f"127.0.0.1:{OSC_PORT}"],
                                   ["show.toml", "--beats", "12"]])
def test_beats_with_link_are_beats_played_when_a_peer_joins_late(tmp_path, plays):
    # The player waits a second for a session, plays alone at 90 BPM, and
    # then a peer leading at 150 BPM joins and moves the session's beat far
    # ahead, and then back: the player follows it, and still plays eight
    # beats in all, or a show to the end of its bar 3.
    (tmp_path / "show.toml").write_text(SHOW.format(bpm=90, port=OSC_PORT))
    messages, printed = watched(tmp_path, ["--bpm", "150", "--lead", "--join-after", "2.3",
                                           "--jump", "1000.5,-600.25"], plays)
    assert " 150 BPM  Link, 1 peer  " in printed, printed
    alone, *joined = runs(messages)
    assert len(joined) >= 2 and len(alone) > 64 and alone[0]["session_pips"] is None
    last = joined[-1]
    assert_on_the_session(last)
    if plays[0] == "show.toml":
        # The show's bars went with the jumps, onto the session's bars:
        # its second cue lands on one, and the show ends a bar later.
        landing = second_cue(last)
        assert landing + 256 - 4 <= last[-1]["pip"] < landing + 256
    else:
        played = sum(run[-1]["pip"] - run[0]["pip"] + 1 for run in [alone, *joined])
        assert abs(played - 8 * 64) <= 3 * len(joined), played
    # Frames never stop for long, whichever way the beat went.
    arrivals = [m["at"] for m in messages]
    assert max(b - a for a, b in zip(arrivals, arrivals[1:])) < 500_000
