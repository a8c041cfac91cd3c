"""The main window as a screen reader meets it, through the real AT-SPI bus.

The demo player (the real program, its window in an X server) plays the
local station on 127.0.0.1:8642, whose titles change every two seconds.
Run inside dbus-run-session, an X server and a network namespace of its own
(with_xvfb.sh, in_netns.sh): the port is fixed. It checks

  - the window's controls by role and name, printing the whole tree;
  - the volume slider's value after real key presses (xdotool), the slider
    reached by Tab from the window's first control, play;
  - the title line announcing each new title (its name changes, with an
    accessible-name change event).

    accessibility_test.py --player PROGRAM"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
FIXTURES = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                        "fixtures")
sys.path.insert(0, FIXTURES)

from fixture_proc import stop  # noqa: E402
from polling import until  # noqa: E402
import gi  # noqa: E402

gi.require_version("Atspi", "2.0")
from gi.repository import GLib  # noqa: E402
import pyatspi  # noqa: E402

PORT = 8642                 # the demo program's station
BYTES_PER_SECOND = 16000    # the tone's 128 kbit/s
PACE = 20000                # a little faster than it plays
START_LIMIT = 60.0          # for the program to show on the bus and play
STEP_LIMIT = 5.0            # for one key's effect
TITLE_LIMIT = 20.0          # for the title line to change
MAX_NODES = 300             # a tree larger than this is a fault of its own
TITLE = re.compile(r"Ezgi (\d+)")

# Every control of the window, as (role, name): what a reader says of it.
EXPECTED = [
    ("push button", "Çal"),
    ("push button", "Dur"),
    ("push button", "Sesi Kapat"),
    ("push button", "Kapat"),
    ("push button", "Simge"),
    ("push button", "İstek"),
    ("push button", "Bilgi"),
    ("push button", "Web Sayfasına Git"),
    ("slider", "Ses"),
    ("progress bar", "Sol"),
    ("progress bar", "Sağ"),
]


def station(media):
    """Tone for a long while, a new title every two seconds of sound."""
    titles = ["StreamTitle='Deneme - Ezgi %d';" % i for i in range(1, 31)]
    head = {"send": "ICY 200 OK\r\nicy-name:Yerel Deneme\r\nicy-br:128\r\ncontent-type:audio/mpeg\r\n"
                    "icy-metaint:8192\r\n\r\n"}
    audio = {"audio": {"file": os.path.join(media, "tone_lr.mp3"), "bytes": 60 * PACE, "metaint": 8192,
                       "rate": PACE, "titles": titles, "title_every": 2 * BYTES_PER_SECOND}}
    return {"tone.mp3": [head, audio]}


def pump(seconds):
    """Runs the GLib loop (where AT-SPI events arrive) for up to `seconds`."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    # A tick, so that an iteration never waits longer than it.
    source = GLib.timeout_add(50, lambda: True)
    try:
        while time.monotonic() < deadline:
            context.iteration(True)
    finally:
        GLib.source_remove(source)


def wait_for(condition, limit):
    """Polls condition() while events come in, for `limit` s at the most."""
    return until(condition, limit, between=pump)


def role(node):
    return node.getRoleName()


def walk(node, depth=0, out=None):
    """(depth, node) for the tree under `node`, bounded."""
    out = [] if out is None else out
    out.append((depth, node))
    if len(out) >= MAX_NODES:
        raise RuntimeError("the tree has more than %d nodes" % MAX_NODES)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)
    return out


def value_of(node):
    try:
        return node.queryValue().currentValue
    except NotImplementedError:
        return None


def describe(node):
    text = "%s %r" % (role(node), node.name)
    value = value_of(node)
    if value is not None:
        text += " value=%g" % value
    states = node.getState()
    marks = [n for s, n in ((pyatspi.STATE_FOCUSABLE, "focusable"), (pyatspi.STATE_FOCUSED, "focused"))
             if states.contains(s)]
    if not states.contains(pyatspi.STATE_SHOWING):
        marks.append("hidden")
    return text + (" [%s]" % ", ".join(marks) if marks else "")


def find(nodes, wanted_role, name):
    for _, node in nodes:
        if role(node) == wanted_role and node.name == name:
            return node
    return None


class Run:
    def __init__(self, player):
        self.player_path = player
        self.failures = []
        self.scratch = tempfile.mkdtemp(prefix="ornivox-a11y-")
        self.media = os.path.join(self.scratch, "media")
        os.mkdir(self.media)
        subprocess.run(["/bin/bash", os.path.join(FIXTURES, "make_media.sh"), self.media], check=True,
                       stdout=subprocess.DEVNULL)
        self.server = None
        self.player = None
        self.names = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
            print("FAILED: " + message, flush=True)
        return condition

    def start(self):
        path = os.path.join(self.scratch, "scenarios.json")
        with open(path, "w") as f:
            json.dump(station(self.media), f)
        self.server = subprocess.Popen(
            ["/usr/bin/python3", "-B", os.path.join(FIXTURES, "scripted_server.py"), "--scenarios", path,
             "--port", str(PORT)], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(self.scratch, "heard.raw"),
                   XDG_RUNTIME_DIR=self.scratch, HOME=self.scratch,
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        self.player = subprocess.Popen([self.player_path], env=env, cwd=self.scratch,
                                       stdout=subprocess.DEVNULL, stderr=sys.stderr)
        pyatspi.Registry.registerEventListener(self.on_name, "object:property-change:accessible-name")

    def on_name(self, event):
        self.names.append((event.source, event.source.name))

    def application(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.player.pid:
                return app
        return None

    def window(self):
        """The main window's node once its controls are all there."""
        if self.player.poll() is not None:
            raise RuntimeError("the program ended (exit %s)" % self.player.poll())
        app = self.application()
        if app is None:
            return None
        for i in range(app.childCount):
            frame = app.getChildAtIndex(i)
            if frame is not None and find(walk(frame), "slider", "Ses") is not None:
                return frame
        return None

    def tree(self, frame):
        nodes = walk(frame)
        print("The accessible tree of the main window:", flush=True)
        for depth, node in nodes:
            print("  " * depth + describe(node), flush=True)
        for wanted_role, name in EXPECTED:
            node = find(nodes, wanted_role, name)
            self.check(node is not None, "no %s named %r" % (wanted_role, name))
            if node is not None and wanted_role == "push button":
                actions = node.queryAction()
                self.check(any(actions.getName(i) == "Press" for i in range(actions.nActions)),
                           "%r has no press action" % name)
        return nodes

    def keys(self, frame, nodes):
        slider = find(nodes, "slider", "Ses")
        if slider is None:
            return
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.player.pid)],
                               capture_output=True, text=True, timeout=10).stdout.split()
        if not self.check(len(found) >= 1, "xdotool found no window of the program"):
            return
        window_id = found[0]
        subprocess.run(["xdotool", "windowfocus", window_id], check=True, timeout=10)
        self.check(wait_for(lambda: frame.getState().contains(pyatspi.STATE_ACTIVE), STEP_LIMIT),
                   "the window never became active")

        def focused():
            for _, node in walk(frame):
                if node.getState().contains(pyatspi.STATE_FOCUSED):
                    return node
            return None

        first = wait_for(focused, STEP_LIMIT)
        self.check(first is not None and first.name == "Çal",
                   "the window's first focus is %s, not play" % (describe(first) if first else "nowhere"))
        reached = [describe(first) if first is not None else "nothing"]
        for _ in range(len(EXPECTED) + 2):
            if slider.getState().contains(pyatspi.STATE_FOCUSED):
                break
            before = focused()
            subprocess.run(["xdotool", "key", "Tab"], check=True, timeout=10)
            now = wait_for(lambda: (lambda n: n if n is not None and n != before else None)(focused()),
                           STEP_LIMIT)
            reached.append(describe(now) if now is not None else "nothing")
        print("Tab reached: " + " -> ".join(reached), flush=True)
        if not self.check(slider.getState().contains(pyatspi.STATE_FOCUSED), "Tab never reached the slider"):
            return
        value = value_of(slider)
        low, high = slider.queryValue().minimumValue, slider.queryValue().maximumValue
        for name, step in (("Left", -1), ("Next", -10), ("Prior", 10), ("Right", 1)):
            expected = min(max(value + step, low), high)
            subprocess.run(["xdotool", "key", name], check=True, timeout=10)
            got = wait_for(lambda: value_of(slider) == expected, STEP_LIMIT)
            self.check(got, "after %s the slider reads %s, not %s" % (name, value_of(slider), expected))
            print("key %s: slider %g -> %g" % (name, value, value_of(slider)), flush=True)
            value = value_of(slider)

    def title(self, frame):
        def title_line():
            for _, node in walk(frame):
                if role(node) == "label" and TITLE.search(node.name or ""):
                    return node
            return None

        line = wait_for(title_line, TITLE_LIMIT)
        if not self.check(line is not None, "no label shows a title"):
            return
        first = line.name
        del self.names[:]
        changed = wait_for(lambda: line.name != first and TITLE.search(line.name or ""), TITLE_LIMIT)
        self.check(changed, "the title line stayed %r" % first)
        announced = wait_for(lambda: [n for s, n in self.names if s == line and n != first], STEP_LIMIT)
        self.check(announced, "no accessible-name change was announced for the title line")
        print("title line: %r -> %r, announced %r" % (first, line.name, announced[0] if announced else None),
              flush=True)

    def all(self):
        """Every check in turn; a fault that stops them counts as one more
        failure. Returns the failures."""
        try:
            self.start()
            frame = wait_for(self.window, START_LIMIT)
            if frame is None:
                raise RuntimeError("the program's window never showed on the accessibility bus")
            self.keys(frame, self.tree(frame))
            self.title(frame)
        except RuntimeError as e:
            self.check(False, str(e))
        finally:
            stop(self.player)
            stop(self.server)
        return self.failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--player", required=True)
    failures = Run(os.path.abspath(parser.parse_args().player)).all()
    print("%d problems" % len(failures) if failures else "all held", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
