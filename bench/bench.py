#!/usr/bin/python3
"""Ornivox against mpv, ffplay and VLC on a local Icecast station.

    bench.py [--quick] [--json FILE] [--runs N] [--play-seconds S]
             [--players ornivox,mpv,ffplay,cvlc] [--no-decode] ...   (--help: all)

Every player plays the station's /tone.mp3 mount into one null sink of a
private PulseAudio server; parec records the sink's monitor. Players take
turns (one of each per round), so a slow minute of the machine hits all of
them alike. Prints a table and, with --json, writes the numbers to a file.

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

PLAYER_ORDER = ("ornivox", "mpv", "ffplay", "cvlc")
PEERS = ("mpv", "ffplay", "cvlc")


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


def spawn(argv, env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
    assert threading.current_thread() is threading.main_thread()  # the death signal follows the forking thread
    return subprocess.Popen(argv, env=env, stdin=stdin, stdout=stdout, stderr=stderr,
                            close_fds=True, start_new_session=True)


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
        return max((v for k, v in self.peak.items() if first_block <= k < end_block), default=0)

    def offset(self, start, end):
        """T0 as seen from the reads between monotonic times start and end."""
        i = bisect.bisect_left(self.reads, (start,))
        j = bisect.bisect_right(self.reads, (end, float("inf")))
        span = self.reads[i:j] or self.reads[-1:]
        return min(o for _, o in span)


# -- the environment: PulseAudio, the station, the players ---------------------

class Services:
    def __init__(self, tmp, ornivox_play, ornivox_env=None):
        self.tmp = tmp
        self.ornivox_play = ornivox_play
        self.ornivox_env = ornivox_env or {}
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
        for d in (self.pulse_dir, self.server_home, self.player_home, self.vlc_home, self.logs):
            os.makedirs(d, mode=0o700)
        os.makedirs(os.path.join(self.server_home, "run"), mode=0o700)
        if self.as_root:
            nobody = pwd.getpwnam("nobody")
            nogroup = grp.getgrgid(nobody.pw_gid)
            # Only root and VLC's group get to the socket.
            os.chown(self.pulse_dir, 0, nogroup.gr_gid)
            os.chmod(self.pulse_dir, 0o710)
            os.chown(self.vlc_home, nobody.pw_uid, nobody.pw_gid)

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
        self.station = spawn(with_deathsig(["/usr/bin/python3", STATION, "--mounts", MOUNT]),
                             self.base_env(self.server_home), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=self.station_log)
        fd = self.station.stdout.fileno()
        line = b""
        deadline = time.monotonic() + SERVICE_START_LIMIT
        while not line.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                raise BenchError("the station did not report ready in %ds" % SERVICE_START_LIMIT)
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                continue
            chunk = os.read(fd, 4096)
            if not chunk:
                raise BenchError("the station ended before it was ready: %s" % self.tail("station.log"))
            line += chunk
        try:
            info = json.loads(line.split(b"\n", 1)[0])
        except ValueError:
            raise BenchError("the station said: %r" % line[:200])
        if not info.get("ready"):
            raise BenchError("the station did not start: %s" % info.get("error"))
        self.url = "http://127.0.0.1:%d%s" % (info["port"], MOUNT)
        self.station_ready = time.monotonic()

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
        for step in (self.stop_station,
                     lambda: stop_process(self.parec),
                     lambda: stop_process(self.pulse)):
            try:
                step()
            except Exception as e:  # one failing step must not keep the others from running
                errors.append(str(e))
        for f in (self.station_log, self.pulse_log):
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
    def player_command(self, name):
        """argv and home; the argv starts with setpriv, which execs the player
        under the same pid, so the pid we measure is the player's."""
        if name == "ornivox":
            argv = [self.ornivox_play, self.url]
        elif name == "mpv":
            argv = ["mpv", "--no-video", "--no-terminal", self.url]
        elif name == "ffplay":
            argv = ["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", self.url]
        elif name == "cvlc":
            argv = ["cvlc", "--intf", "dummy", self.url]
            if self.as_root:  # VLC will not run as root
                # setpriv applies --pdeathsig after the change of user, which would clear it.
                return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                        "--pdeathsig", "TERM", "--"] + argv, self.vlc_home
        else:
            raise ValueError(name)
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


def run_player(svc, name, play_seconds, tag):
    """One run: start, wait for sound, let it play, measure, stop."""
    mon = svc.monitor
    wait_for_quiet(svc)
    argv, home = svc.player_command(name)
    env = svc.base_env(home)
    if name == "ornivox":
        env.update(svc.ornivox_env)
    log_path = os.path.join(svc.logs, "%s-%s.log" % (name, tag))
    result = {"player": name, "ok": False}
    with open(log_path, "wb") as err:
        from_block = mon.blocks()
        started = time.monotonic()
        proc = spawn(argv, env,
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
                end = t_a + play_seconds
                while time.monotonic() < end and proc.poll() is None:
                    time.sleep(min(0.1, max(0.0, end - time.monotonic())))
                if proc.poll() is not None:
                    result["error"] = "exited with %s while playing" % proc.returncode
                else:
                    cpu_b = tree_cpu_seconds(proc.pid)
                    pulse_b = cpu_seconds(svc.pulse.pid)
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
                        "peak_rss_mib": rss / 1024,
                    })
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


def median_of(runs, key):
    values = [r[key] for r in runs if r.get("ok") and r.get(key) is not None]
    return statistics.median(values) if values else None


def summarise(results, players):
    summary = {}
    for name in players:
        runs = [r for r in results if r["player"] == name]
        ok = [r for r in runs if r["ok"]]
        s = {"runs": len(runs), "ok_runs": len(ok)}
        for key, _, _ in FIGURES + INFO:
            s[key] = median_of(runs, key)
            values = [r[key] for r in ok if r.get(key) is not None]
            if values:
                s[key + "_range"] = [min(values), max(values)]
        summary[name] = s
    return summary


def judge(summary, decode, players):
    verdicts = {}
    peers = [p for p in PEERS if p in players and summary[p][FIGURES[0][0]] is not None]
    if "ornivox" in players and peers:
        for key, _, _ in FIGURES:
            ours = summary["ornivox"][key]
            best_name = min(peers, key=lambda p: summary[p][key])
            best = summary[best_name][key]
            verdicts[key] = {
                "ours": ours, "best_peer": best_name, "best": best,
                "ratios": {p: (ours / summary[p][key] if ours is not None and summary[p][key] else None)
                           for p in peers},
                "target": "at most the best peer's",
                "pass": ours is not None and ours <= best,
            }
    if decode:
        verdicts["decode_speed"] = {
            "ours": decode["ours_speed"], "ffmpeg": decode["ffmpeg_speed"], "ratio": decode["ratio"],
            "target": "at least 0.9 of ffmpeg's", "pass": decode["ratio"] >= 0.9,
        }
    return verdicts


def fmt(value, pattern):
    return "-" if value is None else pattern % value


def print_report(summary, verdicts, decode, players, runs, play_seconds, breakdown, station, ornivox_env):
    out = []
    width = 34
    out.append("")
    out.append("Players on %s, median of %d run%s, %g s of playing each"
               % (MOUNT, runs, "" if runs == 1 else "s", play_seconds))
    if ornivox_env:
        out.append("(ornivox-play ran with %s)" % " ".join("%s=%s" % kv for kv in sorted(ornivox_env.items())))
    out.append("%-*s" % (width, "") + "".join("%10s" % p for p in players))
    for key, label, pattern in FIGURES + INFO:
        out.append("%-*s" % (width, label) + "".join("%10s" % fmt(summary[p][key], pattern) for p in players))
        if runs > 1 and (key, label, pattern) in FIGURES:
            spans = [summary[p].get(key + "_range") for p in players]
            out.append("%-*s" % (width, "  lowest-highest") +
                       "".join("%10s" % ("-" if not r else (pattern + "-" + pattern) % tuple(r)) for r in spans))
    out.append("%-*s" % (width, "runs that played") +
               "".join("%10s" % ("%d/%d" % (summary[p]["ok_runs"], summary[p]["runs"])) for p in players))
    peers = [p for p in PEERS if p in players]
    if any(k in verdicts for k, _, _ in FIGURES):
        out.append("")
        out.append("Ours / peer (below 1: ours is lower, which is better)")
        out.append("%-*s" % (width, "") + "".join("%10s" % p for p in peers) + "   %-14s %s" % ("best peer", "result"))
        for key, label, pattern in FIGURES:
            v = verdicts.get(key)
            if not v:
                continue
            out.append("%-*s" % (width, label) +
                       "".join("%10s" % fmt(v["ratios"].get(p), "%.2f") for p in peers) +
                       "   %-14s %s" % ("%s %s" % (v["best_peer"], pattern % v["best"]),
                                         "PASS" if v["pass"] else "FAIL"))
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
    p.add_argument("--quick", action="store_true", help="a smoke check: 1 run each, 3 s of playing")
    p.add_argument("--json", metavar="FILE", help="also write the results as JSON to FILE")
    p.add_argument("--players", default=",".join(PLAYER_ORDER),
                   help="comma-separated subset of " + ",".join(PLAYER_ORDER))
    p.add_argument("--no-decode", action="store_true", help="leave out the decode comparison")
    p.add_argument("--build-dir", default=os.path.join(ROOT, "build", "release"))
    p.add_argument("--ornivox-env", action="append", default=[], metavar="NAME=VALUE",
                   help="an extra environment variable for ornivox-play only, to try a setting "
                        "(e.g. PULSE_LATENCY_MSEC=60); may be repeated")
    args = p.parse_args()
    if args.quick:
        args.runs, args.play_seconds, args.decode_runs = 1, 3.0, 3
    players = [x.strip() for x in args.players.split(",") if x.strip()]
    bad = [x for x in players if x not in PLAYER_ORDER]
    if bad or not players:
        p.error("unknown player(s): %s" % ", ".join(bad) if bad else "no players")
    args.players = [x for x in PLAYER_ORDER if x in players]
    extra = {}
    for item in args.ornivox_env:
        name, sep, value = item.partition("=")
        if not sep or not name:
            p.error("--ornivox-env wants NAME=VALUE")
        extra[name] = value
    args.ornivox_env = extra
    if not 1 <= args.runs <= 50 or not 1 <= args.play_seconds <= 300 or not 1 <= args.decode_runs <= 50:
        p.error("runs 1..50, play seconds 1..300, decode runs 1..50")
    return args


def check_tools(args):
    needed = {"pulseaudio", "parec", "setpriv", "ffmpeg", "icecast2"}
    needed |= {"mpv"} & set(args.players)
    needed |= {"ffplay"} & set(args.players)
    needed |= {"cvlc"} & set(args.players)
    missing = sorted(t for t in needed if not shutil.which(t, path="/usr/local/bin:/usr/bin:/bin"))
    for path in ([os.path.join(args.build_dir, "src", "tools", "ornivox-play")] if "ornivox" in args.players else []) + \
            ([] if args.no_decode else [os.path.join(args.build_dir, "bench", "ornivox-decode-bench")]):
        if not os.access(path, os.X_OK):
            missing.append(path)
    if missing:
        raise BenchError("missing: %s (packages: bench/packages.txt; build: cmake --preset release && "
                         "cmake --build build/release)" % ", ".join(missing))


def copy_binaries(args, tmp):
    """Our programs run from copies: a rebuild in the tree during the bench
    would otherwise swap them half-way (or catch one half-written)."""
    os.makedirs(os.path.join(tmp, "bin"))
    os.chmod(os.path.join(tmp, "bin"), 0o755)
    bins = {}
    for name, rel in (("ornivox-play", ("src", "tools")), ("ornivox-decode-bench", ("bench",))):
        src = os.path.join(args.build_dir, *rel, name)
        if os.access(src, os.X_OK):
            bins[name] = os.path.join(tmp, "bin", name)
            shutil.copy2(src, bins[name])
    return bins


def main():
    args = parse_args()
    install_signal_handlers()
    began = time.monotonic()
    tmp = None
    svc = None
    try:
        check_tools(args)
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

        svc = Services(tmp, bins.get("ornivox-play"), args.ornivox_env)
        svc.prepare_dirs()
        svc.start_pulse()
        svc.start_monitor()
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
                if r["ok"]:
                    offset = svc.monitor.offset(r["started"] - OFFSET_LEAD, r["started"])
                    provisional = (offset + r["first_frame"] / RATE - r["started"]) * 1000
                    log("round %d/%d %-8s first sound %5.0f ms  cpu %.2f s/min  rss %.1f MiB"
                        % (round_no, args.runs, name, provisional, r["cpu_per_min"], r["peak_rss_mib"]))
                else:
                    log("round %d/%d %-8s FAILED: %s %s" % (round_no, args.runs, name, r.get("error"),
                                                           r.get("stderr_tail", "")))
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
    verdicts = judge(summary, decode, args.players)
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
                 args.ornivox_env)
    elapsed = time.monotonic() - began
    print("\n(%d s in all; the null sink's clock moved %s ms against ours over the bench, "
          "each run measured against its own)" % (elapsed, fmt(drift_ms, "%.1f")))

    failed = [p for p in args.players if summary[p]["ok_runs"] == 0]
    if args.json:
        doc = {
            "url_mount": MOUNT, "runs": args.runs, "play_seconds": args.play_seconds,
            "ornivox_env": args.ornivox_env,
            "players": args.players, "summary": summary, "verdicts": verdicts,
            "ornivox_breakdown": breakdown, "station": station, "decode": decode, "elapsed_seconds": elapsed,
            "monitor_drift_ms": drift_ms,
            "results": results,
            "failed_players": failed,
        }
        with open(args.json, "w") as f:
            json.dump(doc, f, indent=2, default=str)
            f.write("\n")
    if failed:
        log("no measurement for: %s" % ", ".join(failed))
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
