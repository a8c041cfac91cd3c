#!/usr/bin/python3
"""Ornivox against mpv, ffplay and VLC on a local Icecast station.

    bench.py [--quick] [--json FILE] [--runs N] [--play-seconds S]
             [--players ornivox,mpv,ffplay,cvlc,ornivox-ui,...] [--no-window]
             [--no-decode] ...   (--help: all)

Every player plays the station's /tone.mp3 mount into one null sink of a
private PulseAudio server; parec records the sink's monitor. Players take
turns (one of each per round), so a slow minute of the machine hits all of
them alike. The windowed ones (the Qt player ornivox-demo and the peers with
windows of their own) show them on a private Xvfb, where ornivox-xwatch
times and records their windows. Prints tables and, with --json, writes the
numbers to a file.

Exit status: 0 when the bench ran (PASS or FAIL alike), 1 when it could not
measure something, 2 on bad arguments.
"""
import sys

sys.dont_write_bytecode = True

import argparse  # noqa: E402
import array  # noqa: E402
import bisect  # noqa: E402
import json  # noqa: E402
import math  # noqa: E402
import os  # noqa: E402
import pwd  # noqa: E402
import grp  # noqa: E402
import re  # noqa: E402
import select  # noqa: E402
import shutil  # noqa: E402
import signal  # noqa: E402
import socket  # noqa: E402
import statistics  # noqa: E402
import subprocess  # noqa: E402
import tempfile  # noqa: E402
import threading  # noqa: E402
import time  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
STATION = os.path.join(ROOT, "tests", "fixtures", "icecast_station.py")
sys.path.insert(0, os.path.dirname(STATION))
import fixture_proc  # noqa: E402
MOUNT = "/tone.mp3"

RATE = 44100
CHANNELS = 2
BLOCK = RATE // 100  # 10 ms: the unit in which the monitor judges sound or silence
# -40 dBFS. The station plays -6 dBFS tones and idle players write exact zeros,
# so anything in between is the first decoded audio ramping in.
THRESHOLD = 328
# parec asks the sink for this latency: the null sink then renders at most
# this far ahead of its clock, so monitor positions are close to playout time.
PAREC_LATENCY_MS = 10
OFFSET_LEAD = 3.0  # seconds of monitor reads before a start that set that run's clock offset
QUIET_BEFORE_START = 0.3  # seconds of monitor silence before a player starts
QUIET_WAIT_LIMIT = 5.0
FIRST_SOUND_LIMIT = 20.0  # ffplay alone needs ~5 s (it analyses the stream first)
STOP_GRACE = 3.0
SERVICE_START_LIMIT = 60.0
# Icecast hands a new listener up to its burst-size (64 KiB, 4 s at 128 kbps)
# at once, but only once the mount has that much: a station up for less than
# this would make the first player wait for audio the later ones get at once.
STATION_FILL_SECONDS = 5.0
TEMP_PREFIX = "ornivox-bench-"

# The first four play audio only; the other four each show a window. ornivox
# is ornivox-play, ornivox-ui the windowed player ornivox-demo.
PLAYER_ORDER = ("ornivox", "mpv", "ffplay", "cvlc", "ornivox-ui", "mpv-win", "ffplay-win", "vlc-qt")
AUDIO_PLAYERS = PLAYER_ORDER[:4]
PEERS = ("mpv", "ffplay", "cvlc")
WINDOW_PEERS = ("mpv-win", "ffplay-win", "vlc-qt")
WINDOWED = ("ornivox-ui",) + WINDOW_PEERS

# ornivox-demo's window, as its sources lay it out (window coordinates).
DEMO_TITLE = "Lodosfil"
DEMO_SIZE = (419, 114)
METERS = ((336, 44, 7, 30), (344, 44, 7, 30))
# The station line, the title line and the bit-rate label: text that changes.
TEXT_LINES = ((113, 21, 221, 21), (113, 41, 223, 34), (308, 19, 46, 26))
STATION_LINE = TEXT_LINES[0]
START_TARGET_MS = 150.0
WINDOW_LIMIT = 10.0  # seconds a player may take to show its window
X_START_LIMIT = 10.0
WATCH_ANSWER_LIMIT = 3.0  # ornivox-xwatch answers a command within this
# After the window is iconic, a repaint the player had already started may
# still reach the screen; after this nothing may.
ICONIC_GRACE = 0.2


class BenchError(Exception):
    pass


class Interrupted(Exception):
    pass


def log(msg):
    sys.stderr.write("bench: %s\n" % msg)
    sys.stderr.flush()


def install_signal_handlers():
    def handler(signum, _frame):
        for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(s, signal.SIG_IGN)  # the clean-up must run to its end
        raise Interrupted(signal.Signals(signum).name)
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, handler)


def with_deathsig(argv):
    """Whatever we start dies with us, even when we are SIGKILLed.

    setpriv sets the parent-death signal and execs, so the pid stays the
    player's own; no preexec_fn, which is unsafe with our reader threads."""
    return ["setpriv", "--pdeathsig", "TERM", "--"] + argv


def spawn(argv, env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
          cwd=None, pass_fds=()):
    assert threading.current_thread() is threading.main_thread()  # the death signal follows the forking thread
    return subprocess.Popen(argv, env=env, stdin=stdin, stdout=stdout, stderr=stderr, cwd=cwd,
                            close_fds=True, pass_fds=pass_fds, start_new_session=True)


def stop_process(proc, grace=STOP_GRACE):
    """SIGTERM to its process group, bounded wait, then SIGKILL; reaps it.
    Returns the rusage of the whole tree the child reaped, or None."""
    if proc is None:
        return None
    usage = None
    if proc.returncode is None:
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(proc.pid, sig)
            except ProcessLookupError:
                pass
            except PermissionError:
                proc.send_signal(sig)
            deadline = time.monotonic() + grace
            while time.monotonic() < deadline:
                try:
                    pid, status, rusage = os.wait4(proc.pid, os.WNOHANG)
                except ChildProcessError:
                    pid, status, rusage = proc.pid, 0, None
                if pid == proc.pid:
                    proc.returncode = os.waitstatus_to_exitcode(status)
                    usage = rusage
                    break
                time.sleep(0.01)
            if proc.returncode is not None:
                break
        if proc.returncode is None:
            log("pid %d did not die even from SIGKILL" % proc.pid)
    for stream in (proc.stdin, proc.stdout, proc.stderr):
        if stream is not None:
            try:
                stream.close()
            except OSError:
                pass
    return usage



# -- measuring processes ---------------------------------------------------

def process_tree(root):
    """root and all its descendants that are alive now."""
    children = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                stat = f.read()
        except OSError:
            continue
        # The command name may hold spaces and parentheses: split after the last ')'.
        fields = stat[stat.rfind(b")") + 2:].split()
        children.setdefault(int(fields[1]), []).append(int(name))
    tree, todo = [], [root]
    while todo:
        pid = todo.pop()
        tree.append(pid)
        todo.extend(children.get(pid, []))
    return tree


CLK_TCK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """CPU time of one process, all its threads, dead ones too, in ns
    resolution (a process CPU-time clock: ((~pid) << 3) | CPUCLOCK_SCHED),
    plus what its reaped children used."""
    try:
        own = time.clock_gettime_ns(((~pid) << 3) | 2) / 1e9
        with open("/proc/%d/stat" % pid, "rb") as f:
            stat = f.read()
    except OSError:
        return 0.0
    fields = stat[stat.rfind(b")") + 2:].split()
    reaped = (int(fields[13]) + int(fields[14])) / CLK_TCK  # cutime + cstime
    return own + reaped


def tree_cpu_seconds(root):
    return sum(cpu_seconds(pid) for pid in process_tree(root))


def tree_peak_rss_kib(root):
    total = 0
    for pid in process_tree(root):
        try:
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def thread_stats(pid):
    """Per thread: name, ns on a CPU (schedstat, ns resolution) and context
    switches, voluntary ones being mostly wake-ups from a wait."""
    stats = {}
    try:
        tids = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return stats
    for tid in tids:
        base = "/proc/%d/task/%s/" % (pid, tid)
        try:
            with open(base + "comm") as f:
                name = f.read().strip()
            # Threads nobody named carry the program's name; the main thread is told apart.
            if int(tid) == pid:
                name = "(main thread)"
            with open(base + "schedstat") as f:
                ns = int(f.read().split()[0])
            with open(base + "status") as f:
                switches = sum(int(line.split()[1]) for line in f
                               if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")))
        except (OSError, ValueError, IndexError):
            continue
        stats[int(tid)] = (name, ns, switches)
    return stats


def thread_rates(before, after, seconds):
    """Threads alive at both ends, summed by name: (CPU ms per s, switches per s)."""
    by_name = {}
    for tid, (name, ns, switches) in after.items():
        if tid in before:
            cpu, sw = by_name.get(name, (0.0, 0.0))
            by_name[name] = (cpu + (ns - before[tid][1]) / 1e6 / seconds, sw + (switches - before[tid][2]) / seconds)
    return by_name


def rss_by_mapping(pid):
    """Resident KiB by what is mapped: each library or file by its name, the
    rest by kind (heap, anonymous, stack, ...)."""
    totals = {}
    name = None
    try:
        with open("/proc/%d/smaps" % pid) as f:
            for line in f:
                fields = line.split()
                if not fields:
                    continue
                if not fields[0].endswith(":") and "-" in fields[0]:
                    path = fields[5] if len(fields) > 5 else ""
                    if path.startswith("/"):
                        name = os.path.basename(path)
                    else:
                        name = path or "anonymous"
                elif fields[0] == "Rss:" and name is not None:
                    totals[name] = totals.get(name, 0) + int(fields[1])
    except (OSError, ValueError):
        pass
    return sorted(totals.items(), key=lambda kv: -kv[1])


# -- the sink's monitor -------------------------------------------------------

class Monitor(threading.Thread):
    """Reads parec's stream and keeps, per 10 ms block, whether it was loud.

    Stream position and wall clock: sample n left the sink at T0 + n/RATE,
    and reached us no earlier than that, so the smallest (read time - end
    position/RATE) over a stretch of reads is T0 plus parec's least delay.
    The same correction applies to every player.

    Each run takes that smallest value over the seconds just before its
    player starts. Later reads would mislead: a player that asks for a very
    low latency makes the null sink render in smaller steps, so less far
    ahead of its clock, and its sample counts lose a little to rounding then
    (some 0.3 ms a second), which adds up over a whole bench."""

    def __init__(self, proc):
        super().__init__(name="monitor", daemon=True)
        self.proc = proc
        self.frames = 0  # frames read so far
        self.reads = []  # (monotonic time, read time - frames/RATE), one per read
        self.loud = bytearray()  # one byte per block: 1 loud, 0 silent
        self.onset = {}  # block -> exact first loud frame, for loud blocks after silence
        self.peak = {}  # block -> peak sample, loud blocks only
        self.error = None

    def run(self):
        fd = self.proc.stdout.fileno()
        carry = b""
        pending = array.array("h")
        try:
            while True:
                data = os.read(fd, 65536)
                now = time.monotonic()
                if not data:
                    self.error = "parec ended"
                    return
                data = carry + data
                usable = len(data) - len(data) % 4
                carry = data[usable:]
                samples = array.array("h", data[:usable])
                if sys.byteorder != "little":
                    samples.byteswap()
                pending.extend(samples)
                whole = len(pending) - len(pending) % (BLOCK * CHANNELS)
                for start in range(0, whole, BLOCK * CHANNELS):
                    self._judge(pending[start:start + BLOCK * CHANNELS])
                del pending[:whole]
                self.frames += usable // 4
                self.reads.append((now, now - self.frames / RATE))
        except OSError as e:
            self.error = "reading parec: %s" % e

    def _judge(self, block):
        peak = max(max(block), -min(block))
        index = len(self.loud)
        if peak >= THRESHOLD:
            if index == 0 or not self.loud[index - 1]:
                first = next(i for i, v in enumerate(block) if abs(v) >= THRESHOLD)
                self.onset[index] = index * BLOCK + first // CHANNELS
            self.peak[index] = peak
            self.loud.append(1)
        else:
            self.loud.append(0)

    def blocks(self):
        return len(self.loud)

    def first_loud_frame(self, from_block):
        try:
            block = self.loud.index(1, from_block)
        except ValueError:
            return None
        return self.onset.get(block, block * BLOCK)

    def quiet_since(self, blocks):
        n = len(self.loud)
        return n >= blocks and not any(self.loud[n - blocks:n])

    def silent_blocks(self, first_block, end_block):
        return self.loud[first_block:end_block].count(0)

    def peak_between(self, first_block, end_block):
        # By index, not by walking the dict: the reader thread adds to it.
        return max((self.peak.get(k, 0) for k in range(first_block, end_block)), default=0)

    def offset(self, start, end):
        """T0 as seen from the reads between monotonic times start and end."""
        i = bisect.bisect_left(self.reads, (start,))
        j = bisect.bisect_right(self.reads, (end, float("inf")))
        span = self.reads[i:j] or self.reads[-1:]
        return min(o for _, o in span)


# -- the players' windows -------------------------------------------------------

def rect_inside(inner, outer):
    x, y, w, h = inner
    ox, oy, ow, oh = outer
    return ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh


class WindowWatch(threading.Thread):
    """Reads ornivox-xwatch's event lines (see x_window_watch.cpp) and sends
    it commands. Its times come from CLOCK_MONOTONIC, as time.monotonic()'s."""

    def __init__(self, proc):
        super().__init__(name="xwatch", daemon=True)
        self.proc = proc
        self.events = []  # dicts: kind, t, win, and pid/title or rect where the line has them
        self.cond = threading.Condition()
        self.ended = False

    def run(self):
        try:
            for raw in self.proc.stdout:
                fields = raw.decode("utf-8", "replace").rstrip("\n").split(" ", 4)
                if len(fields) < 2:
                    continue
                ev = {"kind": fields[0], "t": float(fields[1])}
                if len(fields) > 2:
                    ev["win"] = int(fields[2])
                if ev["kind"] == "map":
                    ev["pid"] = int(fields[3])
                    ev["title"] = fields[4] if len(fields) > 4 else ""
                elif ev["kind"] in ("paint", "damage"):
                    ev["rect"] = tuple(int(v) for v in (fields[3:4] + fields[4].split()))
                with self.cond:
                    self.events.append(ev)
                    self.cond.notify_all()
        except (OSError, ValueError, IndexError):
            pass
        finally:
            with self.cond:
                self.ended = True
                self.cond.notify_all()

    def mark(self):
        with self.cond:
            return len(self.events)

    def find(self, since, kind, win=None, match=None):
        with self.cond:
            for ev in self.events[since:]:
                if ev["kind"] == kind and (win is None or ev.get("win") == win) and (match is None or match(ev)):
                    return ev
        return None

    def between(self, kind, win, t0, t1):
        with self.cond:
            return [ev for ev in self.events if ev["kind"] == kind and ev.get("win") == win and t0 <= ev["t"] < t1]

    def wait_for(self, since, kind, limit, win=None, match=None, alive=None):
        """The first such event after index since; None after limit seconds,
        or at once when alive() says the player is gone."""
        deadline = time.monotonic() + limit
        while True:
            ev = self.find(since, kind, win, match)
            if ev is not None:
                return ev
            left = deadline - time.monotonic()
            if left <= 0 or self.ended or (alive is not None and not alive()):
                return None
            with self.cond:
                self.cond.wait(min(left, 0.05))

    def command(self, line):
        try:
            self.proc.stdin.write((line + "\n").encode())
            self.proc.stdin.flush()
        except (OSError, ValueError) as e:
            raise BenchError("ornivox-xwatch took no command: %s" % e)


# -- the environment: PulseAudio, the station, the players ---------------------

def read_line(fd, limit, timeout_message, ended_message):
    """What a starting service writes to fd up to its first newline, waiting
    at most limit seconds."""
    line = b""
    deadline = time.monotonic() + limit
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0:
            raise BenchError(timeout_message)
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 4096)
        if not chunk:
            raise BenchError(ended_message())
        line += chunk
    return line


class Services:
    def __init__(self, tmp, bins, ornivox_env=None, station_port=0, compositor=True):
        self.tmp = tmp
        self.ornivox_play = bins.get("ornivox-play")
        self.ornivox_demo = bins.get("ornivox-demo")
        self.xwatch_tool = bins.get("ornivox-xwatch")
        self.ornivox_env = ornivox_env or {}
        self.station_port = station_port
        self.compositor = compositor
        self.xvfb = None
        self.xcompmgr = None
        self.display = None
        self.watch = None
        self.watch_proc = None
        self.x_log = None
        self.watch_log = None
        self.pulse = None
        self.parec = None
        self.monitor = None
        self.station = None
        self.station_log = None
        self.pulse_log = None
        self.url = None
        self.as_root = os.geteuid() == 0
        self.pulse_dir = os.path.join(tmp, "pulse")
        self.socket = os.path.join(self.pulse_dir, "native")
        self.server_home = os.path.join(tmp, "server-home")
        self.player_home = os.path.join(tmp, "player-home")
        self.vlc_home = os.path.join(tmp, "vlc-home")
        self.logs = os.path.join(tmp, "logs")
        # XDG_RUNTIME_DIR of the windowed players: ornivox-demo's own keeps it
        # from meeting another running player (one player per session).
        self.player_run = os.path.join(tmp, "player-run")
        self.demo_run = os.path.join(tmp, "demo-run")
        self.vlc_run = os.path.join(tmp, "vlc-run")

    def base_env(self, home):
        env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin",
            "LANG": "C.UTF-8",
            "HOME": home,
            "PULSE_SERVER": "unix:" + self.socket,
            "SDL_AUDIODRIVER": "pulseaudio",
        }
        return env

    # The players run from homes of their own, so nobody's personal
    # configuration (~/.config/mpv, vlcrc, ...) changes what is measured.
    def prepare_dirs(self):
        os.chmod(self.tmp, 0o711)  # VLC's user must pass through to the socket; nothing here can be listed
        for d in (self.pulse_dir, self.server_home, self.player_home, self.vlc_home, self.logs,
                  self.player_run, self.demo_run, self.vlc_run):
            os.makedirs(d, mode=0o700)
        os.makedirs(os.path.join(self.server_home, "run"), mode=0o700)
        if self.as_root:
            nobody = pwd.getpwnam("nobody")
            nogroup = grp.getgrgid(nobody.pw_gid)
            # Only root and VLC's group get to the socket.
            os.chown(self.pulse_dir, 0, nogroup.gr_gid)
            os.chmod(self.pulse_dir, 0o710)
            os.chown(self.vlc_home, nobody.pw_uid, nobody.pw_gid)
            os.chown(self.vlc_run, nobody.pw_uid, nobody.pw_gid)

    def start_pulse(self):
        conf = os.path.join(self.tmp, "pulse.pa")
        with open(conf, "w") as f:
            # The sink first and the socket last: once clients can connect, the sink is there.
            f.write("load-module module-null-sink sink_name=benchsink rate=%d channels=%d norewinds=1\n"
                    "set-default-sink benchsink\n"
                    "load-module module-native-protocol-unix socket=%s auth-anonymous=1\n"
                    % (RATE, CHANNELS, self.socket))
        env = self.base_env(self.server_home)
        del env["PULSE_SERVER"]
        env["XDG_RUNTIME_DIR"] = os.path.join(self.server_home, "run")
        env["XDG_CONFIG_HOME"] = os.path.join(self.server_home, "config")
        argv = ["pulseaudio", "-n", "-F", conf, "--daemonize=no", "--exit-idle-time=-1",
                "--system=false", "--disallow-exit", "--use-pid-file=no", "--log-target=stderr"]
        self.pulse_log = open(os.path.join(self.logs, "pulseaudio.log"), "wb")
        self.pulse = spawn(with_deathsig(argv), env, stderr=self.pulse_log)
        deadline = time.monotonic() + SERVICE_START_LIMIT
        delay = 0.02
        while True:
            if self.pulse.poll() is not None:
                raise BenchError("pulseaudio exited with %s: %s" % (self.pulse.returncode, self.tail("pulseaudio.log")))
            try:
                with socket.socket(socket.AF_UNIX) as s:
                    s.connect(self.socket)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise BenchError("pulseaudio made no socket in %ds" % SERVICE_START_LIMIT)
                time.sleep(delay)
                delay = min(delay * 2, 0.2)

    def start_monitor(self):
        argv = ["parec", "-d", "benchsink.monitor", "--raw", "--format=s16le", "--rate=%d" % RATE,
                "--channels=%d" % CHANNELS, "--latency-msec=%d" % PAREC_LATENCY_MS]
        self.parec = spawn(with_deathsig(argv), self.base_env(self.server_home), stdout=subprocess.PIPE)
        self.monitor = Monitor(self.parec)
        self.monitor.start()
        deadline = time.monotonic() + 10
        while self.monitor.frames < RATE // 2:  # half a second: the stream runs
            if self.monitor.error or self.parec.poll() is not None:
                raise BenchError("parec: %s" % (self.monitor.error or "exited with %s" % self.parec.returncode))
            if time.monotonic() > deadline:
                raise BenchError("parec delivered no audio in 10 s")
            time.sleep(0.05)

    def start_station(self):
        self.station_log = open(os.path.join(self.logs, "station.log"), "wb")
        argv = ["/usr/bin/python3", STATION, "--mounts", MOUNT]
        if self.station_port:  # ornivox-demo knows only its own station's port
            argv += ["--port", str(self.station_port)]
        self.station = spawn(with_deathsig(argv),
                             self.base_env(self.server_home), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=self.station_log)
        line = read_line(self.station.stdout.fileno(), SERVICE_START_LIMIT,
                         "the station did not report ready in %ds" % SERVICE_START_LIMIT,
                         lambda: "the station ended before it was ready: %s" % self.tail("station.log"))
        try:
            info = json.loads(line.split(b"\n", 1)[0])
        except ValueError:
            raise BenchError("the station said: %r" % line[:200])
        if not info.get("ready"):
            raise BenchError("the station did not start: %s" % info.get("error"))
        self.url = "http://127.0.0.1:%d%s" % (info["port"], MOUNT)
        self.station_ready = time.monotonic()

    def start_display(self):
        """A private Xvfb as tests/fixtures/with_xvfb.sh starts one (with
        xcompmgr, as on a desktop, unless told otherwise) and no window
        manager: one would reparent the windows into frames of its own."""
        self.x_log = open(os.path.join(self.logs, "xvfb.log"), "wb")
        rfd, wfd = os.pipe()
        try:
            self.xvfb = spawn(with_deathsig(["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1024x768x24",
                                             "-nolisten", "tcp", "-noreset"]),
                              self.base_env(self.server_home), stderr=self.x_log, pass_fds=(wfd,))
            os.close(wfd)
            wfd = None
            number = read_line(rfd, X_START_LIMIT, "Xvfb named no display in %ds" % X_START_LIMIT,
                               lambda: "Xvfb ended: %s" % self.tail("xvfb.log"))
        finally:
            os.close(rfd)
            if wfd is not None:
                os.close(wfd)
        self.display = ":" + number.decode().strip()
        if self.compositor:
            env = self.base_env(self.server_home)
            env["DISPLAY"] = self.display
            self.xcompmgr = spawn(with_deathsig(["xcompmgr"]), env, stderr=self.x_log)

    def start_watch(self):
        env = self.base_env(self.server_home)
        env["DISPLAY"] = self.display
        argv = [self.xwatch_tool, "--trace", DEMO_TITLE, "--text-rect", "%d,%d,%d,%d" % STATION_LINE]
        self.watch_log = open(os.path.join(self.logs, "xwatch.log"), "wb")
        self.watch_proc = spawn(with_deathsig(argv), env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=self.watch_log)
        self.watch = WindowWatch(self.watch_proc)
        self.watch.start()
        if self.watch.wait_for(0, "ready", X_START_LIMIT) is None:
            raise BenchError("ornivox-xwatch did not start: %s" % self.tail("xwatch.log"))

    def x_cpu_seconds(self):
        """The X server and the compositor: what drawing costs outside the player."""
        return sum(cpu_seconds(p.pid) for p in (self.xvfb, self.xcompmgr) if p is not None)

    def stop_station(self):
        if self.station is None:
            return
        try:
            self.station.stdin.write(b"quit\n")
            self.station.stdin.close()
        except (OSError, ValueError):
            pass
        deadline = time.monotonic() + 10
        while self.station.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        stop_process(self.station)
        self.station = None

    def stop(self):
        errors = []
        def stop_watch():
            if self.watch_proc is not None:
                try:
                    self.watch_proc.stdin.write(b"quit\n")
                    self.watch_proc.stdin.flush()
                except (OSError, ValueError):
                    pass
                stop_process(self.watch_proc)
        for step in (self.stop_station,
                     stop_watch,
                     lambda: stop_process(self.xcompmgr),
                     lambda: stop_process(self.xvfb),
                     lambda: stop_process(self.parec),
                     lambda: stop_process(self.pulse)):
            try:
                step()
            except Exception as e:  # one failing step must not keep the others from running
                errors.append(str(e))
        for f in (self.station_log, self.pulse_log, self.x_log, self.watch_log):
            if f is not None:
                f.close()
        if errors:
            log("while stopping: " + "; ".join(errors))

    def tail(self, name, lines=5):
        try:
            with open(os.path.join(self.logs, name), errors="replace") as f:
                return " | ".join(l.strip() for l in f.readlines()[-lines:]) or "(nothing logged)"
        except OSError:
            return "(no log)"

    # -- the players
    def player_env(self, name, home):
        env = self.base_env(home)
        if name in ("ornivox", "ornivox-ui"):
            env.update(self.ornivox_env)
        if name in WINDOWED:
            env["DISPLAY"] = self.display
            env["QT_QPA_PLATFORM"] = "xcb"
            env["XDG_RUNTIME_DIR"] = {"ornivox-ui": self.demo_run, "vlc-qt": self.vlc_run}.get(name, self.player_run)
        return env

    def player_command(self, name):
        """argv and home; the argv starts with setpriv, which execs the player
        under the same pid, so the pid we measure is the player's."""
        if name == "ornivox":
            argv = [self.ornivox_play, self.url]
        elif name == "ornivox-ui":
            argv = [self.ornivox_demo]  # it knows its station itself
        elif name == "mpv-win":
            argv = ["mpv", "--force-window=immediate", "--no-terminal", self.url]
        elif name == "ffplay-win":
            argv = ["ffplay", "-autoexit", "-loglevel", "quiet", self.url]
        elif name == "vlc-qt":
            # A first start would ask about network access in a dialog of its own.
            argv = ["vlc", "-I", "qt", "--no-qt-privacy-ask", self.url]
        elif name == "mpv":
            argv = ["mpv", "--no-video", "--no-terminal", self.url]
        elif name == "ffplay":
            argv = ["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", self.url]
        elif name == "cvlc":
            argv = ["cvlc", "--intf", "dummy", self.url]
        else:
            raise ValueError(name)
        if name in ("cvlc", "vlc-qt"):
            if self.as_root:  # VLC will not run as root
                # setpriv applies --pdeathsig after the change of user, which would clear it.
                return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                        "--pdeathsig", "TERM", "--"] + argv, self.vlc_home
        return with_deathsig(argv), self.player_home


def probe_station(url, limit=10.0):
    """How long the station itself takes to answer a plain HTTP GET and to
    send the first audio byte: a floor under every player's first sound."""
    host_port, _, path = url[len("http://"):].partition("/")
    host, _, port = host_port.partition(":")
    started = time.monotonic()
    deadline = started + limit
    headers_at = body_at = None
    with socket.create_connection((host, int(port)), timeout=limit) as s:
        s.sendall(("GET /%s HTTP/1.0\r\nHost: %s\r\nUser-Agent: ornivox-bench\r\n\r\n" % (path, host_port)).encode())
        data = b""
        while body_at is None:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BenchError("the station sent no audio within %ds" % limit)
            s.settimeout(left)
            chunk = s.recv(65536)
            if not chunk:
                raise BenchError("the station closed the connection")
            data += chunk
            if headers_at is None and b"\r\n\r\n" in data:
                headers_at = time.monotonic()
            if headers_at is not None and len(data) > data.index(b"\r\n\r\n") + 4:
                body_at = time.monotonic()
    return {"headers_ms": (headers_at - started) * 1000, "first_byte_ms": (body_at - started) * 1000}


class LineTimes(threading.Thread):
    """Timestamps each line a player prints (ornivox-play's progress)."""

    def __init__(self, stream):
        super().__init__(name="lines", daemon=True)
        self.stream = stream
        self.lines = []

    def run(self):
        try:
            for raw in self.stream:
                self.lines.append((time.monotonic(), raw.decode("utf-8", "replace").rstrip("\n")))
        except (OSError, ValueError):
            pass



def sink_input_latency(svc):
    """The player's stream as PulseAudio sees it: how much audio the player
    keeps buffered in the server (more: fewer wake-ups, later first sound)."""
    try:
        p = subprocess.run(["pactl", "list", "sink-inputs"], env=svc.base_env(svc.server_home),
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=5)
    except subprocess.TimeoutExpired:
        return {}
    text = p.stdout.decode(errors="replace")
    buffer = re.search(r"Buffer Latency: (\d+) usec", text)
    sink = re.search(r"Sink Latency: (\d+) usec", text)
    return {"pulse_buffer_ms": int(buffer.group(1)) / 1000 if buffer else None,
            "pulse_sink_ms": int(sink.group(1)) / 1000 if sink else None}


def wait_for_quiet(svc):
    blocks = int(QUIET_BEFORE_START * 100)
    deadline = time.monotonic() + QUIET_WAIT_LIMIT
    while not svc.monitor.quiet_since(blocks):
        if time.monotonic() > deadline:
            raise BenchError("the sink did not fall silent within %ds" % QUIET_WAIT_LIMIT)
        if svc.monitor.error:
            raise BenchError(svc.monitor.error)
        time.sleep(0.02)


def window_of(svc, name, proc, since):
    """The player's top-level window as ornivox-xwatch saw it mapped, by the
    pid the window names (and for ornivox-demo, by its title too)."""
    def mine(ev):
        if name == "ornivox-ui" and ev["title"] != DEMO_TITLE:
            return False
        return ev["pid"] == proc.pid
    return svc.watch.find(since, "map", match=mine)


def window_times(svc, name, proc, since, started):
    """ms from the start to the window being mapped, first exposed, first
    painted on and (ornivox-demo) showing its station line's text."""
    mapped = window_of(svc, name, proc, since)
    if mapped is None:
        return {}
    times = {"window_id": mapped["win"], "window_ms": (mapped["t"] - started) * 1000}
    for kind, key in (("expose", "exposed_ms"), ("paint", "painted_ms"), ("text", "station_text_ms")):
        ev = svc.watch.find(since, kind, mapped["win"])
        if ev is not None:
            times[key] = (ev["t"] - started) * 1000
    return times


def run_player(svc, name, play_seconds, tag, during=None):
    """One run: start, wait for sound, let it play, measure, stop.
    during(proc, result), if given, takes over once the playing window has
    been measured, while the player still plays."""
    mon = svc.monitor
    wait_for_quiet(svc)
    argv, home = svc.player_command(name)
    env = svc.player_env(name, home)
    windowed = name in WINDOWED
    log_path = os.path.join(svc.logs, "%s-%s.log" % (name, tag))
    result = {"player": name, "ok": False}
    with open(log_path, "wb") as err:
        from_block = mon.blocks()
        since = svc.watch.mark() if windowed else 0
        started = time.monotonic()
        proc = spawn(argv, env, cwd=home,
                     stdout=subprocess.PIPE if name == "ornivox" else subprocess.DEVNULL, stderr=err)
        lines = None
        if name == "ornivox":
            lines = LineTimes(proc.stdout)
            lines.start()
        try:
            first = None
            deadline = started + FIRST_SOUND_LIMIT
            while first is None:
                if proc.poll() is not None:
                    result["error"] = "exited with %s before any sound" % proc.returncode
                    break
                if time.monotonic() > deadline:
                    result["error"] = "no sound within %ds" % FIRST_SOUND_LIMIT
                    break
                if mon.error:
                    raise BenchError(mon.error)
                time.sleep(0.01)
                first = mon.first_loud_frame(from_block)
            if first is not None:
                # The playing window starts when the sound is heard, so
                # starting up (connecting, probing) is not counted as playing.
                t_a = time.monotonic()
                cpu_a = tree_cpu_seconds(proc.pid)
                pulse_a = cpu_seconds(svc.pulse.pid)
                x_a = svc.x_cpu_seconds()
                end = t_a + play_seconds
                while time.monotonic() < end and proc.poll() is None:
                    time.sleep(min(0.1, max(0.0, end - time.monotonic())))
                if proc.poll() is not None:
                    result["error"] = "exited with %s while playing" % proc.returncode
                else:
                    cpu_b = tree_cpu_seconds(proc.pid)
                    pulse_b = cpu_seconds(svc.pulse.pid)
                    x_b = svc.x_cpu_seconds()
                    t_b = time.monotonic()
                    rss = tree_peak_rss_kib(proc.pid)
                    window = t_b - t_a
                    result.update(sink_input_latency(svc))
                    result.update({
                        "ok": True,
                        "started": started,
                        "first_frame": first,
                        "window_start": t_a,
                        "window_end": t_b,
                        "cpu_per_min": (cpu_b - cpu_a) / window * 60,
                        "pulse_cpu_per_min": (pulse_b - pulse_a) / window * 60,
                        "x_cpu_per_min": (x_b - x_a) / window * 60,
                        "peak_rss_mib": rss / 1024,
                    })
                    if windowed:
                        result.update(window_times(svc, name, proc, since, started))
                        if "window_ms" not in result:
                            # Played, but a windowed run without a window is not what is compared.
                            result.update({"ok": False, "error": "played but showed no window"})
                    if result["ok"] and during is not None:
                        during(proc, result)
        finally:
            usage = stop_process(proc)
            if lines is not None:
                lines.join(timeout=2)
        if usage is not None:
            result["lifetime_cpu"] = usage.ru_utime + usage.ru_stime
            result["maxrss_mib"] = usage.ru_maxrss / 1024
        if lines is not None:
            result["lines"] = [(t - started, l) for t, l in lines.lines
                               if l.startswith(("status:", "buffering:", "format:"))]
    if not result["ok"]:
        with open(log_path, errors="replace") as f:
            result["stderr_tail"] = " | ".join(l.strip() for l in f.readlines()[-5:])
    return result


def finish_run(svc, r):
    """Numbers that need the monitor's final clock offset."""
    if not r["ok"]:
        return r
    mon = svc.monitor
    offset = mon.offset(r["started"] - OFFSET_LEAD, r["started"])
    r["clock_offset"] = offset
    r["first_sound_ms"] = (offset + r["first_frame"] / RATE - r["started"]) * 1000
    # Sound playing through the window: a stall or a drop-out shows as silent blocks.
    a = r["first_frame"] // BLOCK + 10  # skip the first 100 ms: the ramp-in of the first frames
    b = int((r["window_end"] - offset) * RATE) // BLOCK
    r["silent_ms"] = mon.silent_blocks(a, b) * 10 if b > a else 0
    peak = mon.peak_between(a, b)
    r["peak_dbfs"] = 20 * math.log10(peak / 32768) if peak else None
    if r.get("lines"):
        def seen(prefix):
            return next((t * 1000 for t, line in r["lines"] if line.startswith(prefix)), None)
        r["engine_ready_ms"] = seen("status: connecting")
        r["stream_ready_ms"] = seen("format:")
        r["playing_ms"] = seen("status: playing")
    return r


# -- ornivox-demo's window ---------------------------------------------------------

def window_starts(svc, count, warmup):
    """ornivox-demo started count times, each stopped once its window shows
    the station line: ms from the start to map, first paint and that text."""
    starts = []
    for i in range(count + (1 if warmup else 0)):
        argv, home = svc.player_command("ornivox-ui")
        env = svc.player_env("ornivox-ui", home)
        times = {}
        with open(os.path.join(svc.logs, "ornivox-ui-start%d.log" % i), "wb") as err:
            since = svc.watch.mark()
            started = time.monotonic()
            proc = spawn(argv, env, cwd=home, stderr=err)
            try:
                alive = lambda: proc.poll() is None  # noqa: E731
                mapped = svc.watch.wait_for(since, "map", WINDOW_LIMIT, alive=alive,
                                            match=lambda ev: ev["title"] == DEMO_TITLE and ev["pid"] == proc.pid)
                if mapped is not None:
                    svc.watch.wait_for(since, "text", max(0.1, started + WINDOW_LIMIT - time.monotonic()),
                                       win=mapped["win"], alive=alive)
                times = window_times(svc, "ornivox-ui", proc, since, started)
                if not times:
                    times = {"error": "no window within %ds%s" % (WINDOW_LIMIT, "" if alive() else
                                                                 " (exited with %s)" % proc.returncode)}
            finally:
                stop_process(proc)
        if warmup and i == 0:
            continue
        starts.append(times)
        log("start %d/%d of ornivox-demo: window %s ms, painted %s ms, station line %s ms"
            % (len(starts), count, fmt(times.get("window_ms"), "%.0f"), fmt(times.get("painted_ms"), "%.0f"),
               fmt(times.get("station_text_ms"), "%.0f")))
    return starts


def classify(rects):
    """Damage rectangles by where they lie: in a meter, in a text line, elsewhere."""
    meters = [r for r in rects if any(rect_inside(r, m) for m in METERS)]
    text = [r for r in rects if r not in meters and any(rect_inside(r, t) for t in TEXT_LINES)]
    elsewhere = [r for r in rects if r not in meters and r not in text]
    return meters, text, elsewhere


def repaint_check(svc, phases):
    """One run of ornivox-demo whose window is recorded through four
    stretches: shown; minimised (iconic, the window still mapped, so any
    painting would show as damage); minimised and unmapped, as a window
    manager leaves it; shown again, whose repainting proves the recording
    sees the window. phases: seconds of each."""
    shown_s, iconic_s, unmapped_s, restored_s = phases
    check = {"measured": False}

    def stretch(proc, seconds):
        t0, cpu0, x0, threads0 = time.monotonic(), tree_cpu_seconds(proc.pid), svc.x_cpu_seconds(), thread_stats(proc.pid)
        end = t0 + seconds
        while time.monotonic() < end and proc.poll() is None:
            time.sleep(min(0.05, max(0.0, end - time.monotonic())))
        t1 = time.monotonic()
        return {"t0": t0, "t1": t1, "cpu_per_min": (tree_cpu_seconds(proc.pid) - cpu0) / (t1 - t0) * 60,
                "x_cpu_per_min": (svc.x_cpu_seconds() - x0) / (t1 - t0) * 60,
                "threads": thread_rates(threads0, thread_stats(proc.pid), t1 - t0)}

    def ask(command, answer, win):
        since = svc.watch.mark()
        svc.watch.command("%s %d" % (command, win))
        ev = svc.watch.wait_for(since, answer, WATCH_ANSWER_LIMIT, win=win)
        if ev is None:
            raise BenchError("ornivox-xwatch did not answer '%s' in %gs" % (command, WATCH_ANSWER_LIMIT))
        return ev["t"]

    def during(proc, result):
        win = result["window_id"]
        shown = stretch(proc, shown_s)
        iconic_at = ask("minimise", "iconic", win)
        iconic = stretch(proc, iconic_s)
        unmapped_at = ask("unmap", "unmapped", win)
        unmapped = stretch(proc, unmapped_s)
        normal_at = ask("restore", "normal", win)
        restored = stretch(proc, restored_s)
        check["rss_by_mapping"] = rss_by_mapping(proc.pid)
        check["threads"] = {"shown": shown["threads"], "iconic": iconic["threads"], "unmapped": unmapped["threads"]}
        if proc.poll() is not None:
            check["error"] = "ornivox-demo ended during the check"
            return
        rects = lambda t0, t1: [ev["rect"] for ev in svc.watch.between("damage", win, t0, t1)]  # noqa: E731
        meters, text, elsewhere = classify(rects(shown["t0"], shown["t1"]))
        late = rects(iconic_at + ICONIC_GRACE, unmapped_at)
        restored_all = rects(normal_at, restored["t1"])
        restored_meters, _, _ = classify(restored_all)
        seconds = shown["t1"] - shown["t0"]
        check.update({
            # A steady tone leaves the meters' bars where they are, and then
            # nothing repaints at all while shown: the painting after the
            # window is mapped again is what proves the recording sees it.
            "measured": bool(restored_all),
            "restored_rects": len(restored_all),
            "shown_seconds": seconds,
            "meter_rects_per_s": len(meters) / seconds,
            "text_rects_per_s": len(text) / seconds,
            "elsewhere_rects": len(elsewhere),
            "elsewhere_examples": elsewhere[:5],
            "damaged_pixels_per_s": sum(r[2] * r[3] for r in meters + text + elsewhere) / seconds,
            "iconic_seconds": unmapped_at - iconic_at - ICONIC_GRACE,
            "iconic_rects": len(late),
            "iconic_rects_in_grace": len(rects(iconic_at, iconic_at + ICONIC_GRACE)),
            "restored_meter_rects": len(restored_meters),
            "cpu_per_min": {"shown": shown["cpu_per_min"], "iconic": iconic["cpu_per_min"],
                            "unmapped": unmapped["cpu_per_min"], "restored": restored["cpu_per_min"]},
            "x_cpu_per_min": {"shown": shown["x_cpu_per_min"], "iconic": iconic["x_cpu_per_min"],
                              "unmapped": unmapped["x_cpu_per_min"], "restored": restored["x_cpu_per_min"]},
        })
        check["pass"] = check["measured"] and not elsewhere and not late

    r = run_player(svc, "ornivox-ui", 1.0, "repaint", during=during)
    if not r["ok"]:
        check["error"] = "%s %s" % (r.get("error"), r.get("stderr_tail", ""))
    elif "pass" not in check and "error" not in check:
        check["error"] = "the check did not run"
    return check


# -- decode throughput ----------------------------------------------------------

def make_decode_file(path, seconds):
    # A tone over pink noise: a pure tone would leave the Huffman and stereo
    # coding with little to do, music does not.
    graph = ("anoisesrc=c=pink:a=0.25:d={d}:r={r}:seed=7,asplit[a][b];"
             "[a][b]join=inputs=2:channel_layout=stereo[n];"
             "aevalsrc=0.4*sin(2*PI*440*t)|0.4*sin(2*PI*1000*t):s={r}:d={d}[t];"
             "[t][n]amix=inputs=2:normalize=0").format(d=seconds, r=RATE)
    run_checked(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-filter_complex", graph,
                 "-c:a", "libmp3lame", "-b:a", "128k", "-id3v2_version", "0", "-write_xing", "0",
                 "-f", "mp3", path], 120)


def run_checked(argv, timeout, stdout=subprocess.DEVNULL):
    try:
        p = subprocess.run(with_deathsig(argv), stdin=subprocess.DEVNULL, stdout=stdout,
                           stderr=subprocess.PIPE, timeout=timeout, start_new_session=True)
    except subprocess.TimeoutExpired:
        raise BenchError("%s took longer than %ds" % (argv[0], timeout))
    if p.returncode != 0:
        raise BenchError("%s failed (%d): %s" % (argv[0], p.returncode, p.stderr.decode(errors="replace")[-400:]))
    return p


def ours_decode(tool, path, repeat):
    p = run_checked([tool, path, str(repeat)], 120, stdout=subprocess.PIPE)
    return json.loads(p.stdout.decode())


FFMPEG_BENCH = re.compile(r"bench: utime=([\d.]+)s stime=([\d.]+)s rtime=([\d.]+)s")
FFMPEG_TIME = re.compile(r"time=(\d+):(\d+):([\d.]+)")


def ffmpeg_decode(path, repeat):
    """ffmpeg's own timing of its decode loop (-benchmark rtime): like ours,
    it leaves the process start-up out, which for ffmpeg alone is ~50 ms."""
    argv = ["ffmpeg", "-nostdin", "-hide_banner", "-benchmark", "-stats", "-stream_loop", str(repeat - 1),
            "-i", path, "-ac", "2", "-ar", str(RATE), "-sample_fmt", "s16", "-f", "null", "-"]
    p = run_checked(argv, 120)
    err = p.stderr.decode(errors="replace")
    bench = FFMPEG_BENCH.search(err)
    times = FFMPEG_TIME.findall(err)
    if not bench or not times:
        raise BenchError("no timing in ffmpeg's output: %s" % err[-300:])
    h, m, s = times[-1]
    audio = int(h) * 3600 + int(m) * 60 + float(s)
    rtime = float(bench.group(3))
    return {"audio_seconds": audio, "wall_seconds": rtime, "cpu_seconds": float(bench.group(1)) + float(bench.group(2)),
            "speed": audio / rtime if rtime > 0 else float("inf")}


def same_samples(tool, path):
    """Whether ours and ffmpeg make the same 16-bit samples of the file."""
    ours = ours_decode(tool, path, 1)
    p = run_checked(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-ac", "2", "-ar", str(RATE),
                     "-sample_fmt", "s16", "-f", "s16le", "-"], 120, stdout=subprocess.PIPE)
    theirs = array.array("h", p.stdout[:len(p.stdout) - len(p.stdout) % 2])
    if sys.byteorder != "little":
        theirs.byteswap()
    return {"ours_frames": ours["frames"], "ffmpeg_frames": len(theirs) // 2,
            "identical": ours["frames"] == len(theirs) // 2 and ours["sample_sum"] == sum(theirs)}


def decode_bench(tool, tmp, runs, repeat, seconds):
    path = os.path.join(tmp, "decode.mp3")
    make_decode_file(path, seconds)
    check = same_samples(tool, path)
    ours, theirs = [], []
    ours_decode(tool, path, repeat)  # warm the page cache and the libraries for both
    ffmpeg_decode(path, repeat)
    for _ in range(runs):
        ours.append(ours_decode(tool, path, repeat))
        theirs.append(ffmpeg_decode(path, repeat))
    ours_speed = statistics.median(r["speed"] for r in ours)
    ffmpeg_speed = statistics.median(r["speed"] for r in theirs)
    # Per CPU second as well: other work on the machine stretches wall times, not CPU times.
    ours_cpu = statistics.median(r["audio_seconds"] / r["cpu_seconds"] for r in ours)
    ffmpeg_cpu = statistics.median(r["audio_seconds"] / r["cpu_seconds"] for r in theirs)
    return {
        "file_seconds": seconds, "repeat": repeat, "runs": runs,
        "ours_speed": ours_speed, "ffmpeg_speed": ffmpeg_speed, "ratio": ours_speed / ffmpeg_speed,
        "ours_speed_cpu": ours_cpu, "ffmpeg_speed_cpu": ffmpeg_cpu, "ratio_cpu": ours_cpu / ffmpeg_cpu,
        "ours_runs": ours, "ffmpeg_runs": theirs, "check": check,
    }


# -- report ------------------------------------------------------------------------

# Lower is better for each; these carry the targets.
FIGURES = (
    ("first_sound_ms", "first sound, ms", "%.0f"),
    ("cpu_per_min", "CPU s per min playing", "%.2f"),
    ("peak_rss_mib", "peak RSS, MiB", "%.1f"),
)
# Shown to explain the figures above; no target.
INFO = (
    ("pulse_cpu_per_min", "pulseaudio CPU s/min (info)", "%.2f"),
    ("pulse_buffer_ms", "buffered in pulseaudio, ms (info)", "%.1f"),
    ("silent_ms", "silence while playing, ms (info)", "%.0f"),
    ("peak_dbfs", "level at the sink, dBFS (info)", "%.1f"),
)
WINDOW_INFO = (
    ("window_ms", "window mapped, ms (info)", "%.0f"),
    ("painted_ms", "window first painted, ms (info)", "%.0f"),
    ("x_cpu_per_min", "Xvfb+compositor CPU s/min (info)", "%.2f"),
)


def median_of(runs, key):
    values = [r[key] for r in runs if r.get("ok") and r.get(key) is not None]
    return statistics.median(values) if values else None


def summarise(results, players):
    summary = {}
    for name in players:
        runs = [r for r in results if r["player"] == name]
        ok = [r for r in runs if r["ok"]]
        s = {"runs": len(runs), "ok_runs": len(ok)}
        for key, _, _ in FIGURES + INFO + WINDOW_INFO:
            s[key] = median_of(runs, key)
            values = [r[key] for r in ok if r.get(key) is not None]
            if values:
                s[key + "_range"] = [min(values), max(values)]
        summary[name] = s
    return summary


def compare(summary, ours, peers):
    """ours against the best of peers, figure by figure; {} if there is nothing to compare."""
    peers = [p for p in peers if p in summary and summary[p][FIGURES[0][0]] is not None]
    if ours not in summary or not peers:
        return {}
    verdicts = {}
    for key, _, _ in FIGURES:
        value = summary[ours][key]
        best_name = min(peers, key=lambda p: summary[p][key])
        best = summary[best_name][key]
        verdicts[key] = {
            "ours": value, "best_peer": best_name, "best": best,
            "ratios": {p: (value / summary[p][key] if value is not None and summary[p][key] else None)
                       for p in peers},
            "target": "at most the best peer's",
            "pass": value is not None and value <= best,
        }
    return verdicts


def judge(summary, decode, starts, repaint):
    verdicts = compare(summary, "ornivox", PEERS)
    # The windowed player is judged against peers that show windows too; the
    # audio-only comparison is printed beside it, without a verdict of its own.
    window = compare(summary, "ornivox-ui", WINDOW_PEERS)
    if window:
        verdicts["window"] = window
    audio = compare(summary, "ornivox-ui", PEERS)
    if audio:
        verdicts["window_vs_audio_only"] = audio
    if starts:
        # Shown means drawn: a mapped window that has not painted yet shows
        # whatever was beneath it.
        shown = [s["painted_ms"] for s in starts if s.get("painted_ms") is not None]
        median = statistics.median(shown) if shown else None
        verdicts["start_to_window"] = {
            "ours": median, "target": "under %.0f ms" % START_TARGET_MS,
            "pass": median is not None and median < START_TARGET_MS and len(shown) == len(starts),
        }
    if repaint:
        verdicts["repaint"] = {"target": "meters only; nothing while minimised", "pass": bool(repaint.get("pass"))}
    if decode:
        verdicts["decode_speed"] = {
            "ours": decode["ours_speed"], "ffmpeg": decode["ffmpeg_speed"], "ratio": decode["ratio"],
            "target": "at least 0.9 of ffmpeg's", "pass": decode["ratio"] >= 0.9,
        }
    return verdicts


def fmt(value, pattern):
    return "-" if value is None else pattern % value


WIDTH = 34
COLUMN = 11


def table(out, summary, players, runs, rows):
    out.append("%-*s" % (WIDTH, "") + "".join("%*s" % (COLUMN, p) for p in players))
    for key, label, pattern in rows:
        out.append("%-*s" % (WIDTH, label) + "".join("%*s" % (COLUMN, fmt(summary[p][key], pattern)) for p in players))
        if runs > 1 and (key, label, pattern) in FIGURES:
            spans = [summary[p].get(key + "_range") for p in players]
            out.append("%-*s" % (WIDTH, "  lowest-highest") +
                       "".join("%*s" % (COLUMN, "-" if not r else (pattern + "-" + pattern) % tuple(r)) for r in spans))
    out.append("%-*s" % (WIDTH, "runs that played") +
               "".join("%*s" % (COLUMN, "%d/%d" % (summary[p]["ok_runs"], summary[p]["runs"])) for p in players))


def ratios(out, verdicts, peers, result_word):
    out.append("%-*s" % (WIDTH, "") + "".join("%*s" % (COLUMN, p) for p in peers) +
               "   %-16s %s" % ("best peer", result_word))
    for key, label, pattern in FIGURES:
        v = verdicts.get(key)
        if not v:
            continue
        verdict = "PASS" if v["pass"] else "FAIL"
        if result_word != "result":
            verdict = "below or equal" if v["pass"] else "above"
        out.append("%-*s" % (WIDTH, label) +
                   "".join("%*s" % (COLUMN, fmt(v["ratios"].get(p), "%.2f")) for p in peers) +
                   "   %-16s %s" % ("%s %s" % (v["best_peer"], pattern % v["best"]), verdict))


def print_report(summary, verdicts, decode, players, runs, play_seconds, breakdown, station, ornivox_env,
                 starts, repaint, compositor):
    out = []
    audio = [p for p in players if p in AUDIO_PLAYERS]
    windowed = [p for p in players if p in WINDOWED]
    if ornivox_env:
        out.append("")
        out.append("(ornivox-play and ornivox-demo ran with %s)"
                   % " ".join("%s=%s" % kv for kv in sorted(ornivox_env.items())))
    if audio:
        out.append("")
        out.append("Audio only: players on %s, median of %d run%s, %g s of playing each"
                   % (MOUNT, runs, "" if runs == 1 else "s", play_seconds))
        table(out, summary, audio, runs, FIGURES + INFO)
    if windowed:
        out.append("")
        out.append("With a window each, on Xvfb%s, in the same rounds (ornivox-ui: ornivox-demo; "
                   "mpv-win: --force-window=immediate; ffplay-win: its own window; vlc-qt: vlc -I qt)"
                   % (" + xcompmgr" if compositor else ""))
        table(out, summary, windowed, runs, FIGURES + INFO + WINDOW_INFO)
    peers = [p for p in PEERS if p in players]
    if any(k in verdicts for k, _, _ in FIGURES):
        out.append("")
        out.append("ornivox-play / audio-only peer (below 1: ours is lower, which is better)")
        ratios(out, verdicts, peers, "result")
    if verdicts.get("window"):
        out.append("")
        out.append("ornivox-demo / windowed peer: the PASS/FAIL of the windowed player")
        ratios(out, verdicts["window"], [p for p in WINDOW_PEERS if p in players], "result")
    if verdicts.get("window_vs_audio_only"):
        out.append("")
        out.append("ornivox-demo / audio-only peer, for comparison (no verdict: they show no window)")
        ratios(out, verdicts["window_vs_audio_only"], peers, "ours is")
    if starts:
        v = verdicts["start_to_window"]
        out.append("")
        out.append("ornivox-demo, process start to window, %d starts (stopped once the station line shows)"
                   % len(starts))
        for key, label in (("window_ms", "window mapped (info)"), ("exposed_ms", "first exposed (info)"),
                           ("painted_ms", "window shown: first painted"),
                           ("station_text_ms", "station line's text (info)")):
            values = [s[key] for s in starts if s.get(key) is not None]
            line = "  %-28s median %s ms, lowest-highest %s" % (
                label, fmt(statistics.median(values) if values else None, "%.0f"),
                "%.0f-%.0f" % (min(values), max(values)) if values else "-")
            if key == "painted_ms":
                line += "   (target under %.0f ms)  %s" % (START_TARGET_MS, "PASS" if v["pass"] else "FAIL")
                if len(values) < len(starts):
                    line += ", %d start(s) showed no window" % (len(starts) - len(values))
            out.append(line)
    if repaint:
        out.append("")
        out.append("ornivox-demo repainting, recorded with X DAMAGE in one run")
        if "error" in repaint or not repaint.get("measured"):
            out.append("  could not tell: %s" % repaint.get("error", "no painting seen after the window was mapped again"))
        if "shown_seconds" in repaint:
            cpu, xcpu = repaint["cpu_per_min"], repaint["x_cpu_per_min"]
            out.append("  shown %4.1f s: meters %.1f rects/s, text lines %.1f rects/s, elsewhere %d%s; %.0f px/s damaged"
                       % (repaint["shown_seconds"], repaint["meter_rects_per_s"], repaint["text_rects_per_s"],
                          repaint["elsewhere_rects"],
                          " e.g. %s" % repaint["elsewhere_examples"] if repaint["elsewhere_rects"] else "",
                          repaint["damaged_pixels_per_s"]))
            out.append("  minimised (iconic, left mapped) %.1f s: %d rects (+%d in the first %.0f ms)"
                       % (repaint["iconic_seconds"], repaint["iconic_rects"], repaint["iconic_rects_in_grace"],
                          ICONIC_GRACE * 1000))
            out.append("  shown again: %d rects (%d on the meters), so the recording saw painting"
                       % (repaint["restored_rects"], repaint["restored_meter_rects"])
                       if repaint["restored_rects"] else "  shown again: no painting seen")
            out.append("  CPU s/min, player (Xvfb+compositor): shown %.2f (%.2f), minimised %.2f (%.2f), "
                       "minimised+unmapped %.2f (%.2f)" % (cpu["shown"], xcpu["shown"], cpu["iconic"], xcpu["iconic"],
                                                            cpu["unmapped"], xcpu["unmapped"]))
        if repaint.get("threads"):
            th = repaint["threads"]
            out.append("  where its CPU goes, per thread: CPU ms per s / context switches per s (info)")
            out.append("    %-18s %16s %16s %16s" % ("thread", "shown", "minimised", "min.+unmapped"))
            names = sorted(th["shown"], key=lambda n: -th["shown"][n][0])
            for n in names:
                out.append("    %-18s" % n + "".join(
                    "%16s" % ("%.1f / %.0f" % th[k][n] if n in th[k] else "-") for k in ("shown", "iconic", "unmapped")))
        if repaint.get("rss_by_mapping"):
            total = sum(k for _, k in repaint["rss_by_mapping"])
            top = repaint["rss_by_mapping"][:10]
            out.append("  its resident memory at the end, %.1f MiB, by mapping (info): %s, others %.1f"
                       % (total / 1024, ", ".join("%s %.1f" % (n, k / 1024) for n, k in top),
                          (total - sum(k for _, k in top)) / 1024))
        out.append("  only the meters and text lines repaint, nothing while minimised:  %s"
                   % ("PASS" if verdicts["repaint"]["pass"] else "FAIL"))
    if station:
        out.append("")
        out.append("The station itself, to a bare HTTP GET (median of %d): headers after %.0f ms, "
                   "first audio byte after %.0f ms" % (station["probes"], station["headers_ms"], station["first_byte_ms"]))
    if breakdown:
        out.append("")
        out.append("ornivox-play first sound, where the time goes (medians, ms after process start)")
        out.append("  engine up, device open ('status: connecting')    %s" % fmt(breakdown.get("engine_ready_ms"), "%.0f"))
        out.append("  stream created: connected, decoded, prebuffered  %s" % fmt(breakdown.get("stream_ready_ms"), "%.0f"))
        out.append("  'status: playing' (after ornivox-play's own wait) %s" % fmt(breakdown.get("playing_ms"), "%.0f"))
        out.append("  first sample at the sink's monitor               %s" % fmt(breakdown.get("first_sound_ms"), "%.0f"))
    if decode:
        v = verdicts["decode_speed"]
        out.append("")
        out.append("Decode throughput: %g s 128 kbps MP3 x %d back to back, to 16-bit stereo %d Hz, median of %d"
                   % (decode["file_seconds"], decode["repeat"], RATE, decode["runs"]))
        out.append("  ornivox (runDecoder)      %8.0f x real time" % decode["ours_speed"])
        out.append("  ffmpeg -f null            %8.0f x real time" % decode["ffmpeg_speed"])
        out.append("  ours / ffmpeg             %8.2f   (target >= 0.90)   %s"
                   % (decode["ratio"], "PASS" if v["pass"] else "FAIL"))
        out.append("  per CPU second (info)     %8.2f   (%.0f vs %.0f x real time)"
                   % (decode["ratio_cpu"], decode["ours_speed_cpu"], decode["ffmpeg_speed_cpu"]))
        out.append("  same samples as ffmpeg    %8s" % ("yes" if decode["check"]["identical"] else
                                                    "NO (%d vs %d frames)" % (decode["check"]["ours_frames"],
                                                                            decode["check"]["ffmpeg_frames"])))
    print("\n".join(out))
    sys.stdout.flush()


# -- main ---------------------------------------------------------------------------

def parse_args():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--runs", type=int, default=5, help="runs of each player (default 5)")
    p.add_argument("--play-seconds", type=float, default=10.0,
                   help="seconds each player plays after its first sound (default 10)")
    p.add_argument("--decode-runs", type=int, default=7, help="runs of the decode comparison (default 7)")
    p.add_argument("--starts", type=int, default=12,
                   help="starts of ornivox-demo timed to its window (default 12)")
    p.add_argument("--quick", action="store_true", help="a smoke check: 1 run each, 3 s of playing, 3 starts")
    p.add_argument("--json", metavar="FILE", help="also write the results as JSON to FILE")
    p.add_argument("--players", default=",".join(PLAYER_ORDER),
                   help="comma-separated subset of " + ",".join(PLAYER_ORDER))
    p.add_argument("--no-window", action="store_true",
                   help="leave out the windowed players, the start timing and the repaint check")
    p.add_argument("--no-compositor", action="store_true", help="no xcompmgr on the bench's Xvfb")
    p.add_argument("--no-decode", action="store_true", help="leave out the decode comparison")
    p.add_argument("--build-dir", default=os.path.join(ROOT, "build", "release"))
    p.add_argument("--ornivox-env", action="append", default=[], metavar="NAME=VALUE",
                   help="an extra environment variable for ornivox-play and ornivox-demo only, to try a setting "
                        "(e.g. PULSE_LATENCY_MSEC=60); may be repeated")
    args = p.parse_args()
    if args.quick:
        args.runs, args.play_seconds, args.decode_runs, args.starts = 1, 3.0, 3, 3
    players = [x.strip() for x in args.players.split(",") if x.strip()]
    bad = [x for x in players if x not in PLAYER_ORDER]
    if bad or not players:
        p.error("unknown player(s): %s" % ", ".join(bad) if bad else "no players")
    if args.no_window:
        players = [x for x in players if x not in WINDOWED]
        if not players:
            p.error("--no-window leaves no players")
    args.players = [x for x in PLAYER_ORDER if x in players]
    extra = {}
    for item in args.ornivox_env:
        name, sep, value = item.partition("=")
        if not sep or not name:
            p.error("--ornivox-env wants NAME=VALUE")
        extra[name] = value
    args.ornivox_env = extra
    if not 1 <= args.runs <= 50 or not 1 <= args.play_seconds <= 300 or not 1 <= args.decode_runs <= 50 \
            or not 1 <= args.starts <= 100:
        p.error("runs 1..50, play seconds 1..300, decode runs 1..50, starts 1..100")
    return args


OUR_PROGRAMS = (("ornivox-play", ("src", "tools")), ("ornivox-decode-bench", ("bench",)),
                ("ornivox-demo", ("src", "app")), ("ornivox-xwatch", ("bench",)))


def programs_needed(args):
    names = set()
    if "ornivox" in args.players:
        names.add("ornivox-play")
    if not args.no_decode:
        names.add("ornivox-decode-bench")
    if "ornivox-ui" in args.players:
        names.add("ornivox-demo")
    if set(WINDOWED) & set(args.players):
        names.add("ornivox-xwatch")
    return names


def check_tools(args):
    needed = {"pulseaudio", "parec", "setpriv", "ffmpeg", "icecast2"}
    needed |= {"mpv"} & set(args.players)
    needed |= {"ffplay"} & set(args.players)
    needed |= {"cvlc"} & set(args.players)
    if "mpv-win" in args.players:
        needed.add("mpv")
    if "ffplay-win" in args.players:
        needed.add("ffplay")
    if "vlc-qt" in args.players:
        needed.add("vlc")
    if set(WINDOWED) & set(args.players):
        needed.add("Xvfb")
        if not args.no_compositor:
            needed.add("xcompmgr")
    missing = sorted(t for t in needed if not shutil.which(t, path="/usr/local/bin:/usr/bin:/bin"))
    if "vlc-qt" in args.players and not any(os.path.exists(os.path.join(d, "vlc", "plugins", "gui", "libqt_plugin.so"))
                                            for d in ("/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu",
                                                      "/usr/lib")):
        missing.append("VLC's Qt interface (vlc-plugin-qt)")
    wanted = programs_needed(args)
    for name, rel in OUR_PROGRAMS:
        path = os.path.join(args.build_dir, *rel, name)
        if name in wanted and not os.access(path, os.X_OK):
            missing.append(path)
    if missing:
        raise BenchError("missing: %s (packages: bench/packages.txt; build: cmake --preset release && "
                         "cmake --build build/release)" % ", ".join(missing))


def demo_port(build_dir):
    """The station port ornivox-demo was built for: its station kit's playlist address."""
    kit = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "stations", "demo", "station.conf")
    try:
        with open(kit) as f:
            for line in f:
                m = re.match(r"playlist\s*=\s*https?://[^/:]+:(\d+)/", line.strip())
                if m:
                    return int(m.group(1))
    except OSError:
        pass
    raise BenchError("no playlist address with a port in %s" % kit)


def check_port_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            raise BenchError("port %d, which ornivox-demo plays from, is taken (another demo station?); "
                             "bench/run.sh as root gives the bench a network of its own" % port)


def copy_binaries(args, tmp):
    """Our programs run from copies: a rebuild in the tree during the bench
    would otherwise swap them half-way (or catch one half-written)."""
    os.makedirs(os.path.join(tmp, "bin"))
    os.chmod(os.path.join(tmp, "bin"), 0o755)
    bins = {}
    wanted = programs_needed(args)
    for name, rel in OUR_PROGRAMS:
        src = os.path.join(args.build_dir, *rel, name)
        if name in wanted:
            bins[name] = os.path.join(tmp, "bin", name)
            shutil.copy2(src, bins[name])
    return bins


def log_run(svc, r, round_no, runs):
    name = r["player"]
    if r["ok"]:
        offset = svc.monitor.offset(r["started"] - OFFSET_LEAD, r["started"])
        provisional = (offset + r["first_frame"] / RATE - r["started"]) * 1000
        window = " window %4.0f ms" % r["window_ms"] if r.get("window_ms") is not None else ""
        log("round %d/%d %-10s first sound %5.0f ms  cpu %.2f s/min  rss %.1f MiB%s"
            % (round_no, runs, name, provisional, r["cpu_per_min"], r["peak_rss_mib"], window))
    else:
        log("round %d/%d %-10s FAILED: %s %s" % (round_no, runs, name, r.get("error"), r.get("stderr_tail", "")))


def main():
    args = parse_args()
    install_signal_handlers()
    began = time.monotonic()
    tmp = None
    svc = None
    windowed = [p for p in args.players if p in WINDOWED]
    starts, repaint = None, None
    try:
        check_tools(args)
        port = 0
        if "ornivox-ui" in args.players:
            port = demo_port(args.build_dir)
            check_port_free(port)
        fixture_proc.remove_stale_dirs(TEMP_PREFIX)
        tmp = tempfile.mkdtemp(prefix=TEMP_PREFIX)
        with open(os.path.join(tmp, "owner.pid"), "w") as f:
            f.write(str(os.getpid()))
        bins = copy_binaries(args, tmp)

        decode = None
        if not args.no_decode:
            log("decode throughput (%d runs)" % args.decode_runs)
            decode = decode_bench(bins["ornivox-decode-bench"], tmp,
                                  args.decode_runs, repeat=3 if args.quick else 10, seconds=60)

        svc = Services(tmp, bins, args.ornivox_env, station_port=port, compositor=not args.no_compositor)
        svc.prepare_dirs()
        svc.start_pulse()
        svc.start_monitor()
        if windowed:
            svc.start_display()
            svc.start_watch()
        svc.start_station()
        log("station at %s; %d round%s of %s" % (svc.url, args.runs, "" if args.runs == 1 else "s",
                                                   ", ".join(args.players)))

        time.sleep(max(0.0, svc.station_ready + STATION_FILL_SECONDS - time.monotonic()))
        if not args.quick:
            # Once each, unmeasured: the first start of a program reads its
            # libraries from disk, and that should not count against whoever goes first.
            for name in args.players:
                run_player(svc, name, 0.5, "warmup")
        results = []
        station_probes = []
        for round_no in range(1, args.runs + 1):
            station_probes.append(probe_station(svc.url))
            for name in args.players:
                r = run_player(svc, name, args.play_seconds, "run%d" % round_no)
                r["round"] = round_no
                results.append(r)
                log_run(svc, r, round_no, args.runs)
        if "ornivox-ui" in args.players:
            log("ornivox-demo: %d starts to its window" % args.starts)
            starts = window_starts(svc, args.starts, warmup=False)  # the rounds warmed it up
            log("ornivox-demo: recording its repainting")
            repaint = repaint_check(svc, (2.0, 2.0, 1.0, 1.0) if args.quick else (5.0, 4.0, 3.0, 2.0))
        for r in results:
            finish_run(svc, r)
        # How far the sink's clock and ours moved apart over the bench: a
        # sanity check (ms, not seconds, are expected), each run has its own.
        offsets = [r["clock_offset"] for r in results if r.get("ok")]
        drift_ms = (max(offsets) - min(offsets)) * 1000 if offsets else None
    finally:
        if svc is not None:
            svc.stop()
        if tmp is not None:
            shutil.rmtree(tmp, ignore_errors=True)

    summary = summarise(results, args.players)
    verdicts = judge(summary, decode, starts, repaint)
    breakdown = None
    if "ornivox" in args.players:
        ours = [r for r in results if r["player"] == "ornivox" and r["ok"]]
        breakdown = {k: median_of(ours, k) for k in ("engine_ready_ms", "stream_ready_ms", "playing_ms",
                                                     "first_sound_ms")}
    station = None
    if station_probes:
        station = {"probes": len(station_probes),
                   "headers_ms": statistics.median(p["headers_ms"] for p in station_probes),
                   "first_byte_ms": statistics.median(p["first_byte_ms"] for p in station_probes)}
    print_report(summary, verdicts, decode, args.players, args.runs, args.play_seconds, breakdown, station,
                 args.ornivox_env, starts, repaint, not args.no_compositor)
    elapsed = time.monotonic() - began
    print("\n(%d s in all; the null sink's clock moved %s ms against ours over the bench, "
          "each run measured against its own)" % (elapsed, fmt(drift_ms, "%.1f")))

    failed = [p for p in args.players if summary[p]["ok_runs"] == 0]
    unmeasured = []
    if starts is not None and not any(s.get("painted_ms") is not None for s in starts):
        unmeasured.append("ornivox-demo's start to window")
    if repaint is not None and not repaint.get("measured"):
        unmeasured.append("ornivox-demo's repainting")
    if args.json:
        doc = {
            "url_mount": MOUNT, "runs": args.runs, "play_seconds": args.play_seconds,
            "ornivox_env": args.ornivox_env, "compositor": not args.no_compositor,
            "players": args.players, "summary": summary, "verdicts": verdicts,
            "ornivox_breakdown": breakdown, "station": station, "decode": decode,
            "window_starts": starts, "repaint": repaint, "elapsed_seconds": elapsed,
            "monitor_drift_ms": drift_ms,
            "results": results,
            "failed_players": failed, "unmeasured": unmeasured,
        }
        with open(args.json, "w") as f:
            json.dump(doc, f, indent=2, default=str)
            f.write("\n")
    if failed or unmeasured:
        log("no measurement for: %s" % ", ".join(failed + unmeasured))
        return 1
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Interrupted as e:
        log("stopped by %s" % e)
        sys.exit(130)
    except BenchError as e:
        log(str(e))
        sys.exit(1)
