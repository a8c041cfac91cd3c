"""A station kit with a fault stops the configure step with a message that
names the file, the line and the setting; a good one with Turkish texts
passes. Each broken file is a real configure of the project."""
import os
import re
import subprocess
import sys
import tempfile

SOURCE = os.environ["ORNIVOX_SOURCE"]
CMAKE = os.environ.get("CMAKE", "cmake")
LOGO = os.path.join(SOURCE, "resources", "pictures", "logo.jpg")


def base_lines():
    with open(os.path.join(SOURCE, "stations", "demo", "station.conf"), encoding="utf-8") as f:
        text = f.read()
    return re.sub(r"(?m)^logo = .*$", "logo = " + LOGO, text).split("\n")


def replace(setting, value):
    def change(lines):
        out = [("%s = %s" % (setting, value)) if re.match(r"%s\s*=" % setting, l) else l for l in lines]
        return out, line_of(out, setting)
    return change


def drop(setting):
    def change(lines):
        out = [l for l in lines if not re.match(r"%s\s*=" % setting, l)]
        return out, len(out) + 1
    return change


def add(text, after):
    def change(lines):
        at = line_of(lines, after)
        out = lines[:at] + [text] + lines[at:]
        return out, at + 1
    return change


def line_of(lines, setting):
    for number, line in enumerate(lines, 1):
        if re.match(r"%s\s*=" % setting, line):
            return number
    raise AssertionError("no %s line" % setting)


def not_a_jpeg(directory):
    path = os.path.join(directory, "logo.txt")
    with open(path, "w") as f:
        f.write("not a picture\n")
    return path


# name, change, setting named in the message ("" when the line has none), words in the message
CASES = [
    ("no equals sign", add("this line has no value", "slogan"), "", "not a 'setting = value' line"),
    ("unknown setting", add("colour = red", "slogan"), "colour", "no such setting"),
    ("given twice", add("name = Other", "slogan"), "name", "given twice"),
    ("missing setting", drop("maker"), "maker", "missing"),
    ("empty required", replace("name", ""), "name", "must not be empty"),
    ("name too long", replace("name", "x" * 41), "name", "41 characters"),
    ("Turkish name too long", replace("name", "ş" * 41), "name", "41 characters"),
    ("outside code page 1254", replace("slogan", "日本の放送"), "slogan", "code page 1254"),
    ("playlist not http", replace("playlist", "ftp://radyo.example/list.pls"), "playlist", "not an http://"),
    ("host with a scheme", replace("maker", "http://www.ornivox.example"), "maker", "not a host name"),
    ("bad recipients", replace("mail_recipients", "istek@radyo.example, nobody"), "mail_recipients", "mail addresses"),
    ("logo missing", replace("logo", "/nonexistent/logo.jpg"), "logo", "no file"),
    ("logo not a picture", lambda lines: replace("logo", NOT_A_JPEG)(lines), "logo", "is not a JPEG picture"),
    ("bad package name", replace("package", "Ornivox_Radyo"), "package", "not a Debian package name"),
    ("summary with a full stop", replace("package_summary", "A player."), "package_summary", "full stop"),
]

NOT_A_JPEG = None


def main():
    global NOT_A_JPEG
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        NOT_A_JPEG = not_a_jpeg(scratch)
        build = os.path.join(scratch, "build")
        for name, change, setting, words in CASES:
            lines, number = change(base_lines())
            station = os.path.join(scratch, "station-%s.conf" % re.sub(r"\W+", "-", name))
            with open(station, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            run = subprocess.run([CMAKE, "-S", SOURCE, "-B", build, "-G", "Ninja",
                                  "-DORNIVOX_STATION_FILE=" + station, "-DORNIVOX_BUILD_TESTS=OFF"],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120)
            # CMake folds long messages; read them as one line.
            said = " ".join(run.stdout.split())
            expected = "%s:%d: %s" % (station, number, (setting + ": ") if setting else "")
            if run.returncode == 0:
                failures.append("%s: the configure step went on" % name)
            elif expected + words not in said and not (expected in said and words in said):
                failures.append("%s: wanted '%s ... %s' in:\n%s" % (name, expected, words, run.stdout[-1500:]))

        # A good kit with Turkish texts: accepted by the checker.
        lines = replace("name", "Dalga Şükrü Radyo")(base_lines())[0]
        lines = replace("slogan", "Çağlayan gibi müzik")(lines)[0]
        good = os.path.join(scratch, "good.conf")
        with open(good, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        run = subprocess.run([CMAKE, "-DORNIVOX_CHECK_STATION=" + good, "-P",
                              os.path.join(SOURCE, "cmake", "OrnivoxStation.cmake")],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60, cwd=scratch)
        if run.returncode != 0 or "station Dalga Şükrü Radyo" not in run.stdout:
            failures.append("good Turkish kit refused:\n" + run.stdout)
    for failure in failures:
        print("FAIL " + failure)
    print("%d of %d station kit cases as expected" % (len(CASES) + 1 - len(failures), len(CASES) + 1))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
