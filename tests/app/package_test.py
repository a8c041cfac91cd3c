"""The Debian package, checked for what it really holds and does.

1. Its file list, its dependencies, lintian (no errors), the desktop entry
   (desktop-file-validate) and the AppStream metadata (appstreamcli).
2. Unpacked into a temporary root, no file carries a path of the source or
   build tree.
3. The player runs from that root against the local Icecast station, with a
   settings file beside the installed program that names the station: it
   plays, and its request window loads the browser module from the root.
4. With the root's share/ among the desktop's data folders, the desktop's
   default-application query names the player for the three playlist types,
   and opening a PLS through the desktop's opener hands it to the running
   player, which then requests the new stream.

Runs inside its own network namespace, X server and session bus (ctest)."""
import base64
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.request

SOURCE = os.environ["ORNIVOX_SOURCE"]
BUILD = os.environ["ORNIVOX_BUILD"]
PACKAGE = os.environ["ORNIVOX_PACKAGE"]
APP_ID = os.environ["ORNIVOX_APP_ID"]
FIXTURES = os.path.join(SOURCE, "tests", "fixtures")
sys.path.insert(0, FIXTURES)
from polling import until  # noqa: E402
PLAYLIST_TYPES = ["audio/x-scpls", "audio/x-mpegurl", "audio/mpegurl", "audio/x-ms-asx"]
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
STATION_NAME = "Paket Radyo"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL " + message, flush=True)
    return condition


def run(argv, **kwargs):
    kwargs.setdefault("timeout", 120)
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def wait_for(what, probe, seconds):
    """Polls probe() until it gives something true, for at most `seconds`."""
    value = until(probe, seconds, pause=0.2)
    check(value, "%s within %d s" % (what, seconds))
    return value


def the_package():
    debs = glob.glob(os.path.join(BUILD, "deb", "%s_*.deb" % PACKAGE))
    if len(debs) != 1:
        sys.exit("want one %s package in %s/deb, found %s" % (PACKAGE, BUILD, debs))
    return debs[0]


def check_contents(deb):
    listing = run(["dpkg-deb", "-c", deb]).stdout
    files = set()
    for line in listing.splitlines():
        fields = line.split(None, 5)
        if len(fields) == 6 and not fields[0].startswith("d"):
            files.add(fields[5].split(" -> ")[0].lstrip("."))
    expected = {
        "/usr/bin/" + PACKAGE,
        "/usr/lib/%s/ornivox" % PACKAGE,
        "/usr/lib/%s/browser/libornivox_web_browser.so" % PACKAGE,
        "/usr/share/applications/%s.desktop" % APP_ID,
        "/usr/share/metainfo/%s.metainfo.xml" % APP_ID,
        "/usr/share/man/man1/%s.1.gz" % PACKAGE,
        "/usr/share/doc/%s/copyright" % PACKAGE,
        "/usr/share/doc/%s/changelog.gz" % PACKAGE,
        "/usr/share/lintian/overrides/" + PACKAGE,
    } | {"/usr/share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID) for s in ICON_SIZES}
    check(files == expected, "file list: missing %s, unexpected %s" % (sorted(expected - files), sorted(files - expected)))
    check(re.search(r"^l\S+ .* \./usr/bin/%s -> \.\./lib/%s/ornivox$" % (re.escape(PACKAGE), re.escape(PACKAGE)),
                    listing, re.M), "/usr/bin/%s is a relative link to the program" % PACKAGE)

    depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
    print("Depends: " + depends.strip())
    for library in ["libc6", "libqt6widgets6", "libqt6webenginewidgets6", "libsdl2-2.0-0", "libcurl4", "libxcb1", "qt6-wayland"]:
        check(re.search(r"\b%s\b" % re.escape(library), depends), "Depends names %s" % library)

    lintian = run(["lintian", "--fail-on", "error", "--display-info", "--no-tag-display-limit", deb], timeout=300)
    print("lintian:\n" + lintian.stdout)
    check(lintian.returncode == 0, "lintian reports no errors")
    check(not re.search(r"^E: ", lintian.stdout, re.M), "no E: line from lintian")


def check_metadata(root):
    desktop = os.path.join(root, "usr/share/applications/%s.desktop" % APP_ID)
    result = run(["desktop-file-validate", desktop])
    check(result.returncode == 0 and result.stdout.strip() == "", "desktop-file-validate: " + result.stdout)
    metainfo = os.path.join(root, "usr/share/metainfo/%s.metainfo.xml" % APP_ID)
    result = run(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo])
    print("appstreamcli:\n" + result.stdout)
    check(result.returncode == 0, "appstreamcli validate --no-net passes")
    for size in ICON_SIZES:
        path = os.path.join(root, "usr/share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, APP_ID))
        with open(path, "rb") as f:
            head = f.read(24)
        check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (size, size),
              "%s is a %d x %d PNG" % (path, size, size))


def check_no_build_paths(root):
    # The source tree's path is the start of the build tree's too.
    needle = os.path.realpath(SOURCE).encode()
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.islink(path):
                check(needle not in os.readlink(path).encode(), "link %s points into the source tree" % path)
                continue
            strings = run(["strings", "-a", path]).stdout.encode()
            check(needle not in strings, "%s carries the path %s" % (path, needle.decode()))


def station_record(name, home_page, playlist):
    """The settings file's 153-byte record: three length-prefixed fields."""
    def field(text, capacity):
        data = text.encode("cp1254")
        return bytes([len(data)]) + data.ljust(capacity, b"\0")
    return field(name, 40) + field(home_page, 50) + field(playlist, 60)


def start_station():
    station = subprocess.Popen(["/usr/bin/python3", "-B", os.path.join(FIXTURES, "icecast_station.py"),
                                "--mounts", "/tone.mp3,/tone.ogg"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    ready = json.loads(station.stdout.readline() or "{}")
    if not ready.get("ready"):
        sys.exit("the local station did not start: %s" % ready)
    return station, ready


def listeners(ready, mount):
    request = urllib.request.Request("http://127.0.0.1:%d/admin/stats" % ready["port"])
    token = base64.b64encode(("%s:%s" % (ready["admin_user"], ready["admin_password"])).encode()).decode()
    request.add_header("Authorization", "Basic " + token)
    try:
        with urllib.request.urlopen(request, timeout=5) as answer:
            stats = answer.read().decode("utf-8", "replace")
    except OSError:
        return 0
    match = re.search(r'<source mount="%s">(.*?)</source>' % re.escape(mount), stats, re.S)
    count = re.search(r"<listeners>(\d+)</listeners>", match.group(1)) if match else None
    return int(count.group(1)) if count else 0


def playerctl(*args):
    result = run(["playerctl", "--player=ornivox"] + list(args), timeout=10)
    return result.stdout.strip() if result.returncode == 0 else ""


def audible(recording):
    """Whether the recorded sound holds more than silence."""
    try:
        with open(recording, "rb") as f:
            data = f.read()
    except OSError:
        return False
    samples = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
    return sum(1 for s in samples if abs(s) > 1000) > 44100


def module_mapped(pid, module):
    try:
        with open("/proc/%d/maps" % pid) as f:
            return module in f.read()
    except OSError:
        return False


def click_request_label():
    """Clicks "İstek" on the main window as a listener would."""
    found = run(["xdotool", "search", "--onlyvisible", "--name", "^Lodosfil$"], timeout=10).stdout.split()
    if not found:
        return False
    geometry = run(["xdotool", "getwindowgeometry", "--shell", found[0]], timeout=10).stdout
    values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
    # The label's middle, in window coordinates (366, 54, 46 x 13).
    x, y = int(values["X"]) + 389, int(values["Y"]) + 60
    return run(["xdotool", "mousemove", str(x), str(y), "click", "1"], timeout=10).returncode == 0


def desktop_environment(root, scratch):
    env = dict(os.environ)
    env.update({
        "XDG_DATA_DIRS": os.path.join(root, "usr/share") + ":/usr/share",
        "XDG_DATA_HOME": os.path.join(scratch, "data"),
        "XDG_CONFIG_HOME": os.path.join(scratch, "config"),
        "XDG_CONFIG_DIRS": os.path.join(scratch, "config-dirs"),
        "XDG_RUNTIME_DIR": os.path.join(scratch, "runtime"),
        "PATH": os.path.join(root, "usr/bin") + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
        "SDL_AUDIODRIVER": "disk",
        "SDL_DISKAUDIOFILE": os.path.join(scratch, "heard.raw"),
        "QT_QPA_PLATFORM": "xcb",
    })
    # The browser's sandbox cannot run as root; whoever starts the player
    # there switches it off, never the player itself.
    if os.geteuid() == 0:
        env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
    for key in ["XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"]:
        os.makedirs(env[key], exist_ok=True)
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
    return env


def check_running_player(root, scratch, env):
    station, ready = start_station()
    player = None
    try:
        private = os.path.join(root, "usr/lib", PACKAGE)
        with open(os.path.join(private, "ornivox.dta"), "wb") as f:
            f.write(station_record(STATION_NAME, "", "http://127.0.0.1:%d/tone.mp3" % ready["port"]))

        log = open(os.path.join(scratch, "player.log"), "w")
        player = subprocess.Popen([os.path.join(root, "usr/bin", PACKAGE)], env=env, stdout=log, stderr=log,
                                  cwd=scratch)
        wait_for("a listener on /tone.mp3", lambda: listeners(ready, "/tone.mp3") > 0, 30)
        wait_for("the player saying it plays", lambda: playerctl("status") == "Playing", 30)
        wait_for("sound in the recording", lambda: audible(env["SDL_DISKAUDIOFILE"]), 30)
        check(playerctl("metadata", "xesam:artist") == STATION_NAME,
              "the station line names the settings file's station (%r)" % playerctl("metadata", "xesam:artist"))

        module = os.path.join(private, "browser", "libornivox_web_browser.so")
        check(not module_mapped(player.pid, module), "the browser module waits for the request window")
        wait_for("a click on the request label", click_request_label, 20)
        wait_for("the browser module loaded from %s" % private, lambda: module_mapped(player.pid, module), 60)
        run(["xdotool", "key", "Escape"], timeout=10)

        # The desktop: which program opens playlists, and the opener itself.
        for mime in PLAYLIST_TYPES:
            answer = run(["xdg-mime", "query", "default", mime], env=env).stdout.strip()
            check(answer == APP_ID + ".desktop", "xdg-mime query default %s: %r" % (mime, answer))
            answer = run(["gio", "mime", mime], env=env).stdout
            check(APP_ID + ".desktop" in answer.splitlines()[0] if answer else False,
                  "gio mime %s: %r" % (mime, answer))
        other = os.path.join(scratch, "other station.pls")
        with open(other, "w") as f:
            f.write("[playlist]\nNumberOfEntries=1\nFile1=http://127.0.0.1:%d/tone.ogg\n" % ready["port"])
        opened = run(["gio", "open", other], env=env, timeout=30)
        check(opened.returncode == 0, "gio open: " + opened.stdout)
        wait_for("the running player on /tone.ogg", lambda: listeners(ready, "/tone.ogg") > 0, 30)
        check(player.poll() is None, "the first player still runs")
    finally:
        if player is not None:
            player.terminate()
            try:
                player.wait(timeout=10)
            except subprocess.TimeoutExpired:
                player.kill()
                player.wait()
            with open(os.path.join(scratch, "player.log")) as f:
                output = f.read()
            if failures and output:
                print("player's output:\n" + output[-4000:])
        try:
            station.stdin.write("quit\n")
            station.stdin.flush()
        except OSError:
            pass
        try:
            station.wait(timeout=15)
        except subprocess.TimeoutExpired:
            station.kill()


def main():
    deb = the_package()
    print("package: %s, %d bytes" % (os.path.basename(deb), os.path.getsize(deb)), flush=True)
    check_contents(deb)
    with tempfile.TemporaryDirectory() as scratch:
        root = os.path.join(scratch, "root")
        unpacked = run(["dpkg-deb", "-x", deb, root])
        if not check(unpacked.returncode == 0, "dpkg-deb -x: " + unpacked.stdout):
            return 1
        check_metadata(root)
        check_no_build_paths(root)
        # As the package's trigger does on a real install.
        run(["update-desktop-database", os.path.join(root, "usr/share/applications")])
        check_running_player(root, scratch, desktop_environment(root, scratch))
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
