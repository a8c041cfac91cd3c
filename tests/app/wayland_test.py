"""The demo player on a Wayland desktop, end to end.

Run inside with_weston.sh (with or without --xwayland), in_netns.sh and
dbus-run-session. The real program starts with no platform chosen for it,
plays the local demo station (Icecast on 127.0.0.1:8642) into SDL's disk
driver, answers on the session bus as a media player, and ends cleanly on
SIGTERM, as at the end of a session. With XWayland there it must have gone
through it (its window is an X window); without, it runs on Wayland itself.

    wayland_test.py --player PROGRAM"""
import argparse
import json
import os
import re
import signal
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
FIXTURES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fixtures")
sys.path.insert(0, FIXTURES)
from disk_recording import Recording  # noqa: E402
from polling import until  # noqa: E402

PORT = 8642
START_LIMIT = 30.0    # the station's start and the player's first sound
ANSWER_LIMIT = 10.0   # the bus name, a state change, the end
MPRIS = "org.mpris.MediaPlayer2"
INSTANCE_NAME = "Lodosfil"


def bus(*args):
    return subprocess.run(["dbus-send", "--session", "--print-reply"] + list(args),
                          capture_output=True, text=True, timeout=ANSWER_LIMIT)


class Run:
    def __init__(self, program):
        self.program = os.path.abspath(program)
        self.scratch = tempfile.mkdtemp(prefix="ornivox-wayland-")
        self.recording = Recording(os.path.join(self.scratch, "heard.raw"))
        self.failures = []
        self.station = None
        self.player = None

    def check(self, condition, message):
        print(("ok: " if condition else "FAILED: ") + message, flush=True)
        if not condition:
            self.failures.append(message)
        return condition

    def start_station(self):
        self.station = subprocess.Popen(
            [sys.executable, "-B", os.path.join(FIXTURES, "icecast_station.py"), "--port", str(PORT)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.station.stdout.readline()
        ready = json.loads(line) if line.strip() else {}
        if not ready.get("ready"):
            raise RuntimeError("the demo station did not start: %s" % (ready.get("error") or line))

    def player_name(self):
        names = bus("--dest=org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames")
        found = re.findall(r'"(%s\.[^"]+)"' % re.escape(MPRIS), names.stdout)
        return found[0] if found else None

    def status(self, name):
        answer = bus("--dest=" + name, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                     "string:%s.Player" % MPRIS, "string:PlaybackStatus")
        found = re.search(r'string "(\w+)"', answer.stdout)
        return found.group(1) if found else None

    def x_window(self):
        """Whether the X server (XWayland) shows the player's window."""
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, timeout=ANSWER_LIMIT)
        return '"%s"' % INSTANCE_NAME in tree.stdout

    def run(self):
        xwayland = bool(os.environ.get("DISPLAY"))
        print("display: Wayland %s, %s" % (os.environ.get("WAYLAND_DISPLAY"),
                                           "XWayland " + os.environ["DISPLAY"] if xwayland else "no XWayland"),
              flush=True)
        self.start_station()
        env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.recording.path)
        env.pop("QT_QPA_PLATFORM", None)
        self.player = subprocess.Popen([self.program], env=env, cwd=self.scratch)
        alive = lambda: self.player.poll() is None  # noqa: E731
        took = self.recording.wait_for(True, START_LIMIT, stop=lambda: not alive())
        if not self.check(took is not None, "the player sounds (after %s s)" % took):
            return
        if xwayland:
            self.check(until(self.x_window, ANSWER_LIMIT), "its window is an X window, through XWayland")
        name = until(self.player_name, ANSWER_LIMIT)
        if self.check(name is not None, "it answers on the session bus as %s" % name):
            self.check(until(lambda: self.status(name) == "Playing", ANSWER_LIMIT), "its state: Playing")
            bus("--dest=" + name, "/org/mpris/MediaPlayer2", "%s.Player.Stop" % MPRIS)
            self.check(until(lambda: self.status(name) == "Stopped", ANSWER_LIMIT), "Stop: its state is Stopped")
            self.check(self.recording.wait_for(False, ANSWER_LIMIT) is not None, "Stop: it falls silent")
            bus("--dest=" + name, "/org/mpris/MediaPlayer2", "%s.Player.Play" % MPRIS)
            self.check(self.recording.wait_for(True, START_LIMIT, stop=lambda: not alive()) is not None,
                       "Play: it sounds again")
        self.check(alive(), "it still runs")
        self.player.send_signal(signal.SIGTERM)
        try:
            code = self.player.wait(ANSWER_LIMIT)
        except subprocess.TimeoutExpired:
            code = None
        self.check(code == 0, "SIGTERM: it ends with status 0 (%s)" % code)

    def close(self):
        if self.player is not None and self.player.poll() is None:
            self.player.kill()
            self.player.wait()
        if self.station is not None:
            try:
                self.station.communicate("quit\n", timeout=ANSWER_LIMIT)
            except subprocess.TimeoutExpired:
                self.station.kill()
                self.station.wait()
        subprocess.run(["rm", "-rf", self.scratch])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--player", required=True)
    args = parser.parse_args()
    run = Run(args.player)
    try:
        run.run()
    finally:
        run.close()
    if run.failures:
        print("%d failed" % len(run.failures), flush=True)
        return 1
    print("all held", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
