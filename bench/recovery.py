"""How soon the player sounds again after its server comes back.

The demo player plays the local Icecast station (port 8642) into SDL's disk
driver, which writes what would be heard in real time. Each round kills the
station, waits until the player has gone silent, starts the station again
and measures from the moment it is ready until the recording holds sound
again. Run it through bench/recovery.sh, which gives it an X server and a
network namespace of its own.

Prints one line per round and the median and worst figure; exits 1 when a
round never sounded again within its limit."""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.dont_write_bytecode = True
from disk_recording import Recording  # noqa: E402

PORT = 8642
ROUND_LIMIT = 60.0      # seconds a round may wait for sound again


def start_station():
    station = subprocess.Popen(
        ["/usr/bin/python3", "-B", os.path.join(ROOT, "tests", "fixtures", "icecast_station.py"),
         "--mounts", "/tone.mp3", "--port", str(PORT)],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    ready = json.loads(station.stdout.readline() or "{}")
    if not ready.get("ready"):
        sys.exit("the station did not start: %s" % ready)
    return station


def stop_station(station):
    """Ends the station at once: the fixture kills its Icecast (SIGKILL), so
    every listener's connection drops as in a server crash."""
    try:
        station.stdin.write("quit\n")
        station.stdin.flush()
        station.wait(timeout=15)
    except (OSError, subprocess.TimeoutExpired):
        station.kill()
        station.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--player", default=os.path.join(ROOT, "build", "release", "src", "app", "ornivox-demo"))
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="ornivox-recovery-")
    recording_path = os.path.join(scratch, "heard.raw")
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=recording_path,
               XDG_RUNTIME_DIR=scratch)
    station = start_station()
    player = subprocess.Popen([args.player], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              cwd=scratch)
    recording = Recording(recording_path)
    figures = []
    failed = False
    try:
        if recording.wait_for(True, 30) is None:
            sys.exit("the player never played")
        for round_no in range(1, args.rounds + 1):
            stop_station(station)
            if recording.wait_for(False, 30) is None:
                sys.exit("round %d: the player did not go silent" % round_no)
            station = start_station()
            seconds = recording.wait_for(True, ROUND_LIMIT)
            if seconds is None:
                print("round %d: no sound within %.0f s of the server's return" % (round_no, ROUND_LIMIT))
                failed = True
                continue
            figures.append(seconds)
            print("round %d: sound again %.2f s after the server came back" % (round_no, seconds), flush=True)
    finally:
        player.terminate()
        try:
            player.wait(timeout=10)
        except subprocess.TimeoutExpired:
            player.kill()
        stop_station(station)
    if figures:
        print("recovery: median %.2f s, worst %.2f s over %d rounds (target: under 3 s)"
              % (statistics.median(figures), max(figures), len(figures)))
    return 1 if failed or not figures else 0


if __name__ == "__main__":
    sys.exit(main())
