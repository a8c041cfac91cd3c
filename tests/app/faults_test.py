"""The player against a listener's bad network, end to end.

The demo player (the real program, its window in an X server) plays the
local station on 127.0.0.1:8642 into SDL's disk driver. For each fault in
the table, the station is killed and a server that plays the fault takes
its place; once the player has met the fault and tried again, the good
station comes back. After every fault the player must sound again, still
run, and hold no more threads and descriptors than at the start or after
any fault before. All the while a
helper pings the window from outside (the window manager's ping, answered
by the UI thread) and every answer must come within 100 ms.

    faults_test.py --player PROGRAM --ping WINDOW_PING [--group GROUP] [--only NAME ...]
    faults_test.py ... --soak MINUTES

--soak plays for that long instead, with a new title every 2 s and a
dropped connection every 60 s, samples memory, threads and descriptors each
minute and prints them; the last 20 minutes (or the second half of a shorter
run) may grow the resident size by less than 1 MB, and threads and
descriptors end where they began. Run it in a network namespace and an X
server of its own (in_netns.sh, with_xvfb.sh): the port is fixed.

The table's rows fall into two groups of about two minutes each, which the
test command runs side by side, each with a player of its own: "connection"
(what happens to a connection: drops, stalls, trickles, broken metadata) and
"answer" (what a server answers: odd metadata intervals, huge headers,
redirects, playlists). --group runs one of them; without it, all rows run."""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True
FIXTURES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fixtures")
sys.path.insert(0, FIXTURES)
from disk_recording import Recording  # noqa: E402
from polling import until  # noqa: E402

PORT = 8642                 # the demo program's station
MOUNT = "tone.mp3"
BYTES_PER_SECOND = 16000    # the tone's 128 kbit/s
PACE = 20000                # a little faster than it plays, as a server's burst
PING_LIMIT_MS = 100
SOUND_LIMIT = 45.0          # the watchdog's 25 s and a connection, with room
FAULT_LIMIT = 70.0          # until the player has met a fault and tried again
COUNT_SETTLE = 10.0         # for threads and descriptors to come back down


def icy_head(metaint=8192, extra=""):
    return {"send": "ICY 200 OK\r\nicy-name:Yerel Deneme\r\nicy-br:128\r\ncontent-type:audio/mpeg\r\n"
                    "%sicy-metaint:%d\r\n\r\n" % (extra, metaint)}


def audio(media, seconds, metaint=8192, rate=PACE, titles=None, every=0):
    step = {"file": os.path.join(media, "tone_lr.mp3"), "bytes": int(seconds * BYTES_PER_SECOND),
            "metaint": metaint, "rate": rate}
    if titles:
        step.update(titles=titles, title_every=every)
    return {"audio": step}


def good_station(media):
    """Five minutes of tone with a title, as the local station plays it."""
    return {MOUNT: [icy_head(), audio(media, 4, rate=0, titles=["StreamTitle='Deneme - Ezgi';"])]
            + [audio(media, 45) for _ in range(6)]}


def soak_station(media):
    """A new title every 2 s of sound; the step's 60 s limit drops the
    connection each minute."""
    titles = ["StreamTitle='Deneme - Ezgi %d';" % i for i in range(1, 31)]
    return {MOUNT: [icy_head(), audio(media, 10 ** 6, titles=titles, every=2 * BYTES_PER_SECOND)]}


def redirects(count):
    """A ring of `count` redirects that never reaches a stream."""
    def hop(to):
        return [{"send": "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:{PORT}/%s\r\n"
                         "Content-Length: 0\r\n\r\n" % to}]
    scenarios = {MOUNT: hop("r1")}
    for i in range(1, count + 1):
        scenarios["r%d" % i] = hop("r%d" % (i % count + 1))
    return scenarios


def playlist(body):
    return [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n" + body}]


GROUPS = ("connection", "answer")
RESTARTS = "the server killed and restarted 20 times"   # a row of the connection group


class Fault:
    """One row: its group, the scenarios that play the fault, whether the
    player must (True) or must never (False) sound while it meets it, and
    how many requests show that it met the fault and tried again."""

    def __init__(self, group, name, scenarios, sounds=None, requests=2):
        assert group in GROUPS
        self.group, self.name, self.scenarios, self.sounds, self.requests = group, name, scenarios, sounds, requests


def fault_table(media, scratch):
    local = os.path.join(scratch, "yerel.mp3")
    with open(os.path.join(media, "tone_lr.mp3"), "rb") as src, open(local, "wb") as dst:
        dst.write(src.read())
    return [
        Fault("connection", "a stall with the socket kept open",
              {MOUNT: [icy_head(), audio(media, 3, rate=0), {"stall": 60}]}),
        Fault("connection", "a trickle of one byte a second",
              {MOUNT: [icy_head(), {"trickle": {"text": "\xff\xfb" * 30, "interval": 1.0}}]}),
        Fault("connection", "a drop in the middle of a metadata block",
              {MOUNT: [icy_head(), audio(media, 8192 * 3 / BYTES_PER_SECOND, rate=0,
                                         titles=["StreamTitle='Yarim';"]),
                       {"meta_raw_hex": ("04" + "StreamTitle='Yar".encode().hex())}]}),
        # Sent at once: a slow start could meet the watchdog's turn and be
        # replaced before it sounds.
        Fault("answer", "icy-metaint of 0", {MOUNT: [icy_head(0), audio(media, 4, metaint=0, rate=0)]}, sounds=True),
        Fault("answer", "icy-metaint of 1", {MOUNT: [icy_head(1), audio(media, 3, metaint=1, rate=0)]}, sounds=True),
        Fault("answer", "icy-metaint of 10^9", {MOUNT: [icy_head(10 ** 9), audio(media, 4, metaint=0, rate=0)]},
              sounds=True),
        Fault("connection", "a metadata length byte pointing past the data",
              {MOUNT: [icy_head(), audio(media, 8192 * 2 / BYTES_PER_SECOND, rate=0),
                       {"meta_raw_hex": "ff" + "StreamTitle='x';".encode().hex()}]}),
        Fault("answer", "a header line of 1 MB",
              {MOUNT: [icy_head(extra="X-Doldurma: " + "a" * (1 << 20) + "\r\n"), audio(media, 4)]}),
        Fault("answer", "50 redirects", redirects(50)),
        Fault("answer", "a playlist that names itself",
              {MOUNT: playlist("[playlist]\nNumberOfEntries=1\nFile1=http://127.0.0.1:{PORT}/%s\n" % MOUNT)}),
        # A local tone that started to play would be heard in the recording.
        Fault("answer", "a network playlist of local paths",
              {MOUNT: playlist("[playlist]\nNumberOfEntries=5\nFile1=file:///etc/passwd\nFile2=/etc/passwd\n"
                               "File3=file://%s\nFile4=%s\nFile5=file:///dev/zero\n" % (local, local))},
              sounds=False),
    ]


class Station:
    """scripted_server.py on the station's port, counting requests."""

    serial = 0

    def __init__(self, scratch, scenarios):
        Station.serial += 1
        path = os.path.join(scratch, "scenarios-%d.json" % Station.serial)
        with open(path, "w") as f:
            json.dump(scenarios, f)
        self.counts = {}
        self.lock = threading.Lock()
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", "-B", os.path.join(FIXTURES, "scripted_server.py"),
             "--scenarios", path, "--port", str(PORT)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        ready = json.loads(self.proc.stdout.readline() or "{}")
        if not ready.get("ready"):
            self.kill()
            raise RuntimeError("the station did not start: %s" % ready)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            try:
                path = json.loads(line)["request"]["path"].lstrip("/")
            except (ValueError, KeyError, TypeError):
                continue
            with self.lock:
                self.counts[path] = self.counts.get(path, 0) + 1

    def requests(self, path=MOUNT):
        with self.lock:
            return self.counts.get(path, 0)

    def kill(self):
        """As a crash: every listener's connection drops at once."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
        self.proc.wait()


class Pings:
    """window_ping's answers, each with the time it came."""

    def __init__(self, program, pid):
        self.proc = subprocess.Popen([program, str(pid), "200"], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        first = self.proc.stdout.readline()
        if not first.startswith("window "):
            raise RuntimeError("window_ping found no window: %r" % first)
        self.answers = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            value = line.strip()
            with self.lock:
                self.answers.append((time.monotonic(), float("inf") if value == "lost" else float(value)))

    def worst_since(self, since):
        with self.lock:
            delays = [d for t, d in self.answers if t >= since]
        return (max(delays) if delays else None), len(delays)

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class Run:
    def __init__(self, args):
        self.args = args
        self.scratch = tempfile.mkdtemp(prefix="ornivox-faults-")
        self.media = os.path.join(self.scratch, "media")
        os.mkdir(self.media)
        subprocess.run(["/bin/bash", os.path.join(FIXTURES, "make_media.sh"), self.media], check=True,
                       stdout=subprocess.DEVNULL)
        self.recording = Recording(os.path.join(self.scratch, "heard.raw"))
        self.failures = []
        self.station = None
        self.player = None
        self.pings = None

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
            print("FAILED: " + message, flush=True)
        return condition

    def serve(self, scenarios):
        if self.station is not None:
            self.station.kill()
        self.station = Station(self.scratch, scenarios)

    def alive(self):
        return self.player.poll() is None

    def counts(self):
        pid = self.player.pid
        return len(os.listdir("/proc/%d/task" % pid)), len(os.listdir("/proc/%d/fd" % pid))

    def wait(self, condition, limit):
        """Polls condition() until it holds, the player ends, or `limit` s."""
        return until(condition, limit, stop=lambda: not self.alive())

    def steady_counts(self, window=2.0, limit=COUNT_SETTLE):
        """Threads and descriptors once what the last connection left behind
        is gone: the highest counts seen over `window` s in which neither
        fell below its lowest so far. The player's own count moves by one
        or two meanwhile (a resolver, a stream's sync thread), so the
        highest of a steady stretch is its level, not the first reading."""
        deadline = time.monotonic() + limit
        low = self.counts()
        since, seen = time.monotonic(), [low]
        while time.monotonic() < deadline and time.monotonic() - since < window and self.alive():
            time.sleep(0.1)  # polls /proc; nothing to wait on
            now = self.counts()
            if now[0] < low[0] or now[1] < low[1]:
                low = (min(low[0], now[0]), min(low[1], now[1]))
                since, seen = time.monotonic(), []
            seen.append(now)
        return max(t for t, _ in seen), max(f for _, f in seen)

    def sound_again(self, limit=SOUND_LIMIT):
        self.recording.skip()
        return self.recording.wait_for(True, limit, stop=lambda: not self.alive())

    def start(self):
        self.serve(good_station(self.media))
        env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.recording.path,
                   XDG_RUNTIME_DIR=self.scratch, HOME=self.scratch)
        self.player = subprocess.Popen([self.args.player], env=env, cwd=self.scratch,
                                       stdout=subprocess.DEVNULL, stderr=sys.stderr)
        if self.recording.wait_for(True, 60, stop=lambda: not self.alive()) is None:
            raise RuntimeError("the player never played (exit %s)" % self.player.poll())
        self.pings = Pings(self.args.ping, self.player.pid)

    def silence(self):
        """The station is gone; waits until the player has used up what it
        had buffered."""
        return self.recording.wait_for(False, 30, stop=lambda: not self.alive()) is not None

    def restarts(self, rounds):
        """The station killed and started again; every other round the next
        kill comes while the player is still connecting."""
        for i in range(rounds):
            self.serve(good_station(self.media))
            if i % 2:
                if not self.check(self.wait(lambda: self.station.requests() >= 1, SOUND_LIMIT),
                                  "restart %d: the player never came back to the station" % (i + 1)):
                    return False
            elif not self.check(self.sound_again() is not None, "restart %d: no sound again" % (i + 1)):
                return False
        return self.check(self.sound_again() is not None, "no sound after the restarts")

    def meet(self, fault):
        """Plays one fault; True when the player met it and tried again."""
        self.station.kill()
        self.silence()
        self.recording.skip()
        self.serve(fault.scenarios)
        heard = False
        deadline = time.monotonic() + FAULT_LIMIT
        while time.monotonic() < deadline and self.alive() and self.station.requests() < fault.requests:
            heard = heard or bool(self.recording.sound())
            time.sleep(0.1)  # polls the recording and the request count
        heard = heard or bool(self.recording.sound())
        met = self.check(self.station.requests() >= fault.requests,
                         "%s: the player did not try again within %.0f s (%d requests)"
                         % (fault.name, FAULT_LIMIT, self.station.requests()))
        if fault.sounds is not None:
            self.check(heard == fault.sounds, "%s: the player %s" % (
                fault.name, "never sounded" if fault.sounds else "sounded while it met the fault"))
        return met

    def after(self, name, since, level):
        """What must hold once the good station is back. `level` holds the
        lowest thread and descriptor levels the player has shown so far,
        and comes down with this fault's, so that one left over by any
        fault counts against the faults before it, not only the start."""
        # Whatever the fault's server sent is played out first, so that only
        # the good station's sound counts.
        self.station.kill()
        self.silence()
        self.serve(good_station(self.media))
        took = self.sound_again()
        if not self.check(self.alive(), "%s: the player ended (exit %s)" % (name, self.player.poll())):
            return False
        self.check(took is not None, "%s: no sound within %.0f s of the station's return" % (name, SOUND_LIMIT))
        self.wait(lambda: all(now <= then for now, then in zip(self.counts(), level)), COUNT_SETTLE)
        threads, fds = self.steady_counts(window=1.0)
        self.check(threads <= level[0] and fds <= level[1],
                   "%s: %d threads and %d descriptors, against %d and %d before"
                   % (name, threads, fds, level[0], level[1]))
        level[0], level[1] = min(level[0], threads), min(level[1], fds)
        worst, count = self.pings.worst_since(since)
        self.check(worst is not None and worst <= PING_LIMIT_MS,
                   "%s: the window's slowest answer took %s ms (of %d)" % (name, worst, count))
        print("%s: sound again after %s s; %d threads, %d descriptors; slowest of %d pings %s ms; %.0f s in all"
              % (name, "%.1f" % took if took is not None else "-", threads, fds, count, worst,
                 time.monotonic() - since), flush=True)
        return True

    def faults(self):
        # One round first, so that what the player makes on its first
        # reconnection counts as its own, not as left over.
        self.station.kill()
        self.silence()
        self.serve(good_station(self.media))
        if self.sound_again() is None:
            raise RuntimeError("no sound after the first reconnection")
        level = list(self.steady_counts())
        print("playing: %d threads, %d descriptors" % tuple(level), flush=True)
        if self.wanted("connection", RESTARTS):
            since = time.monotonic()
            self.restarts(20)
            if not self.after(RESTARTS, since, level):
                return
        for fault in fault_table(self.media, self.scratch):
            if not self.wanted(fault.group, fault.name):
                continue
            since = time.monotonic()
            self.meet(fault)
            if not self.after(fault.name, since, level):
                return

    def wanted(self, group, name):
        return ((self.args.group is None or group == self.args.group)
                and (not self.args.only or any(o in name for o in self.args.only)))

    def soak(self, minutes):
        self.serve(soak_station(self.media))
        samples = []
        start = time.monotonic()
        for minute in range(minutes + 1):
            self.wait(lambda: time.monotonic() >= start + 60 * minute, 61)
            if not self.check(self.alive(), "minute %d: the player ended (exit %s)" % (minute, self.player.poll())):
                return
            # Sampled while it plays, not while it reconnects.
            self.check(self.sound_again(20) is not None, "minute %d: no sound" % minute)
            with open("/proc/%d/status" % self.player.pid) as f:
                rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
            threads, fds = self.counts()
            samples.append((minute, rss, threads, fds))
            print("minute %d: %d kB resident, %d threads, %d descriptors, %d connections"
                  % (minute, rss, threads, fds, self.station.requests()), flush=True)
        tail = samples[max(0, len(samples) - 21) if minutes >= 30 else len(samples) // 2:]
        growth = tail[-1][1] - tail[0][1]
        worst, count = self.pings.worst_since(start)
        print("soak: %d minutes, %d connections; resident size grew %d kB from minute %d to %d; "
              "threads %d -> %d, descriptors %d -> %d; slowest of %d pings %s ms"
              % (minutes, self.station.requests(), growth, tail[0][0], tail[-1][0], samples[0][2],
                 samples[-1][2], samples[0][3], samples[-1][3], count, worst), flush=True)
        self.check(growth < 1024, "the resident size grew %d kB" % growth)
        self.check(samples[-1][2] <= samples[0][2] and samples[-1][3] <= samples[0][3],
                   "threads or descriptors did not come back")
        self.check(worst is not None and worst <= PING_LIMIT_MS, "the window's slowest answer took %s ms" % worst)

    def close(self):
        if self.pings is not None:
            self.pings.stop()
        if self.player is not None:
            if self.player.poll() is None:
                self.player.terminate()
            try:
                self.player.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.check(False, "the player did not end on SIGTERM")
                self.player.kill()
                self.player.wait()
            self.check(self.player.returncode in (0, -signal.SIGTERM),
                       "the player ended with %s" % self.player.returncode)
        if self.station is not None:
            self.station.kill()
        subprocess.run(["rm", "-rf", self.scratch], check=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--player", required=True)
    parser.add_argument("--ping", required=True)
    parser.add_argument("--group", choices=GROUPS)
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--soak", type=int, default=0, metavar="MINUTES")
    args = parser.parse_args()
    args.player, args.ping = os.path.abspath(args.player), os.path.abspath(args.ping)
    run = Run(args)
    try:
        run.start()
        if args.soak:
            run.soak(args.soak)
        else:
            run.faults()
    except RuntimeError as e:
        run.check(False, str(e))
    finally:
        run.close()
    print("%d problems" % len(run.failures) if run.failures else "all held", flush=True)
    return 1 if run.failures else 0


if __name__ == "__main__":
    sys.exit(main())
