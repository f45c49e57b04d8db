"""Runs chkort.exe under Wine in Xvfb, driven by driver.exe, and reads back
the boxes it showed, the texts it drew (from Wine's relay trace, limited to
the program's TextOutA calls) and the files it wrote.

Each test module has a Wine prefix of its own in the build tree (made once,
about 10 s), an Xvfb and a wineserver of its own for its run. Every
scenario gets fresh directories behind c:\\ortavo (the host and data\\),
c:\\tmp and, when asked, D:.
"""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("E2E_BUILD", HERE.parents[1] / "build" / "win64")).resolve()
NATIVE = Path(os.environ.get("E2E_NATIVE_BUILD", BUILD.parent / "native")).resolve()
CHKORT = Path(os.environ.get("E2E_CHKORT", BUILD / "shell" / "chkort.exe"))
DRIVER, HOLDER = BUILD / "tests" / "e2e" / "driver.exe", BUILD / "tests" / "e2e" / "holder.exe"
CLI_EXE = BUILD / "console" / "chkort-cli.exe"
MKPRACTICE, CLI = NATIVE / "tools" / "mkpractice", NATIVE / "console" / "chkort-cli"
WINE = str(HERE.parents[1] / "tools" / "wine" / "wine")  # the 64-bit loader, wine32 installed or not
NUMERO = "Numéro du patient"

SETTINGS = "\r\n".join([
    "REGEDIT4", "",
    # Without a window manager, Wine would wait 2 s at every closing dialog.
    "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]", '"Managed"="N"', "",
    "[HKEY_CURRENT_USER\\Software\\Wine\\Debug]", '"RelayInclude"="gdi32.TextOutA;user32.BeginPaint;user32.GetDC"',
    '"RelayFromInclude"="chkort.exe"', '"RelayFromExclude"=-', "",
    "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]", '"ShowCrashDialog"=dword:00000000', "", ""])

TEXT_OUT = re.compile(r'Call gdi32\.TextOutA\(\w+,(\w+),(\w+),\w+ "((?:[^"\\]|\\.)*)",(\w+)\)')


def unescape(s):
    """Bytes of a string as Wine's trace shows it."""
    out, i = bytearray(), 0
    while i < len(s):
        if s[i] == "\\" and s[i + 1] == "x":
            out.append(int(s[i + 2:i + 4], 16))
            i += 4
        elif s[i] == "\\":
            out += {"n": b"\n", "r": b"\r", "t": b"\t"}.get(s[i + 1], s[i + 1].encode("latin-1"))
            i += 2
        else:
            out += s[i].encode("latin-1")
            i += 1
    return bytes(out)


def winpath(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Result:
    def __init__(self, stdout, trace):
        self.events = [line.split("\t") for line in stdout.decode("cp1252").splitlines()]
        self.boxes = [tuple(e[1:]) for e in self.events if e[0] == "box"]
        self.gets = [e[1] for e in self.events if e[0] == "text"]
        self.exits = [int(e[1]) for e in self.events if e[0] == "exit"]
        self.failure = [e for e in self.events if e[0] == "fail"]
        # Texts drawn after each mark, as (y, bytes), paint by paint.
        self.paints, paints = {}, None
        for line in trace.decode("latin-1").splitlines():
            if line.startswith("e2e-mark "):
                paints = self.paints[line[9:]] = []
            elif ("Call user32.BeginPaint" in line or "Call user32.GetDC" in line) and paints is not None:
                paints.append([])
            elif (m := TEXT_OUT.search(line)) and paints:
                paints[-1].append((int(m.group(2), 16) & 0xFFFFFFFF, unescape(m.group(3))[:int(m.group(4), 16)]))


class WineTest(unittest.TestCase):
    """One prefix, Xvfb and wineserver per test class."""

    @classmethod
    def setUpClass(cls):
        for needed in (DRIVER, CHKORT, MKPRACTICE, CLI):
            if not needed.exists():
                raise unittest.SkipTest("%s is not built" % needed)
        name = cls.__module__
        cls.prefix = BUILD / "tests" / "e2e" / ("prefix-" + name)
        cls.runs = BUILD / "tests" / "e2e" / "runs" / name
        cls.xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        cls.env = dict(os.environ, WINEPREFIX=str(cls.prefix), WINEARCH="win64", WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", LC_ALL="fr_FR.UTF-8",
                       DISPLAY=":" + cls.xvfb.stdout.readline().decode().strip())
        stamp = cls.prefix / ".e2e-settings"
        digest = hashlib.sha256(SETTINGS.encode()).hexdigest()
        if not stamp.exists() or stamp.read_text() != digest:
            shutil.rmtree(cls.prefix, ignore_errors=True)
            cls.prefix.mkdir(parents=True)
            subprocess.run([WINE, "wineboot", "-i"], env=cls.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            (cls.prefix / "settings.reg").write_bytes(SETTINGS.encode())
            subprocess.run([WINE, "regedit", "/S", winpath(cls.prefix / "settings.reg")], env=cls.env, check=True)
            subprocess.run(["wineserver", "-w"], env=cls.env)
            stamp.write_text(digest)
        cls.server = subprocess.Popen(["wineserver", "-f", "-p"], env=cls.env)

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env)
        for proc in (cls.server, cls.xvfb):
            proc.kill()
            proc.wait()

    def fresh(self, name):
        """New, empty directories for a scenario: c:\\ortavo\\data, c:\\tmp, D:."""
        self.run_dir = self.runs / name
        shutil.rmtree(self.run_dir, ignore_errors=True)
        self.data, self.tmp, self.d = self.run_dir / "ortavo" / "data", self.run_dir / "tmp", self.run_dir / "d"
        for path in (self.data, self.tmp, self.d):
            path.mkdir(parents=True)
        for link, target in (("drive_c/ortavo", "ortavo"), ("drive_c/tmp", "tmp"), ("dosdevices/d:", "d")):
            (self.prefix / link).unlink(missing_ok=True)
            (self.prefix / link).symlink_to(self.run_dir / target)

    def host(self, version, into=None):
        shutil.copy(BUILD / "tools" / "fakehost" / version / "ortavo.exe", into or self.data.parent)

    def mkpractice(self, *args, into=None):
        subprocess.run([str(MKPRACTICE), str(into or self.data), *map(str, args)], check=True,
                       stdout=subprocess.DEVNULL)

    def cli(self, *args):
        """chkort-cli, native, on the scenario's data unless told otherwise."""
        return subprocess.run([str(CLI), *map(str, args)], capture_output=True)

    def wine(self, exe, *args, **kw):
        return subprocess.run([WINE, str(exe), *map(str, args)], env=self.env, capture_output=True, **kw)

    def hold(self, share, *names):
        """holder.exe keeping data files open ("shared" or "none") until the test ends."""
        holder = subprocess.Popen([WINE, str(HOLDER), share, *("c:\\ortavo\\data\\" + n for n in names)],
                                  env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(lambda: (holder.stdin.close(), holder.stdout.close(), holder.wait()))
        self.assertEqual(holder.stdout.readline().strip(), b"held")

    def run_program(self, steps, cwd="c:\\ortavo\\data", fail_ok=False):
        """Runs chkort.exe through a script of steps (tuples of words)."""
        script = [("start", winpath(CHKORT), cwd)] + list(steps)
        path = self.run_dir / "script.txt"
        path.write_bytes(b"".join("\t".join(map(str, s)).encode("cp1252") + b"\n" for s in script))
        with open(self.run_dir / "trace.txt", "wb") as trace:
            out = subprocess.run([WINE, str(DRIVER), winpath(path)], timeout=240,
                                 env=dict(self.env, WINEDEBUG="+relay"), stdout=subprocess.PIPE, stderr=trace)
        r = Result(out.stdout, (self.run_dir / "trace.txt").read_bytes())
        if not fail_ok:
            self.assertEqual(r.failure, [], out.stdout.decode("cp1252"))
        return r


class PrintServer:
    """A cupsd of the test's own on a unix socket, which CUPS_SERVER in `env`
    names; with a printer, a cups-pdf queue as the default printer, writing
    each job into root/out. cups-pdf reads /etc/cups only: cupsd runs in a
    mount namespace where /etc/cups is root/etc."""

    def __init__(self, root, printer):
        shutil.rmtree(root, ignore_errors=True)
        self.out = root / "out"
        for d in ("etc", "server", "spool", "cache", "log", "out", "tmp", "pdf"):
            (root / d).mkdir(parents=True)
        os.chmod(root / "tmp", 0o1777)
        self.socket = Path(tempfile.mkdtemp(prefix="chkort-cups-")) / "cups.sock"
        self.env = dict(os.environ, CUPS_SERVER=str(self.socket))
        (root / "files.conf").write_text("ServerRoot {0}/server\nRequestRoot {0}/spool\nTempDir {0}/tmp\n"
                                         "CacheDir {0}/cache\nStateDir {0}/cache\nErrorLog {0}/log/error_log\n"
                                         "AccessLog {0}/log/access_log\nSystemGroup root\n".format(root))
        (root / "cupsd.conf").write_text("Listen %s\nBrowsing Off\nDefaultAuthType None\n<Location />\n"
                                         "Allow all\n</Location>\n" % self.socket)
        # Label 2: the job's number in the file's name.
        (root / "etc" / "cups-pdf.conf").write_text("Out {0}/out\nAnonDirName {0}/out\nSpool {0}/pdf\n"
                                                    "GSTmp {0}/tmp\nLog {0}/log\nGrp root\nLabel 2\n".format(root))
        self.proc = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "sh", "-c",
             'mount --bind "$0" /etc/cups && exec cupsd -f -c "$1" -s "$2"', root / "etc", root / "cupsd.conf",
             root / "files.conf"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(300):
            if self.lp("lpstat", "-r") == "scheduler is running":
                break
            time.sleep(0.1)
        else:
            raise AssertionError("cupsd did not start (%s)" % (root / "log"))
        if printer:
            self.lp("lpadmin", "-p", "PDF", "-E", "-v", "cups-pdf:/", "-P", "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")
            self.lp("lpadmin", "-d", "PDF")

    def lp(self, *args):
        return subprocess.run(args, env=self.env, capture_output=True, timeout=30).stdout.decode().strip()

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        shutil.rmtree(self.socket.parent)

    def pdfs(self, count):
        """The first `count` jobs' PDFs in job order, once every job has ended."""
        for _ in range(600):
            pdfs = sorted(self.out.glob("*.pdf"), key=lambda p: int(re.search(r"job_(\d+)", p.name).group(1)))
            if len(pdfs) >= count and not self.lp("lpstat", "-o"):
                return pdfs
            time.sleep(0.1)
        raise AssertionError("%d PDFs of %d" % (len(pdfs), count))


def view(command, patient, mark):
    """Steps opening a patient's view through the menu and its dialog."""
    return [("mark", mark), ("command", command), ("dialog", NUMERO), ("set", 1000, patient), ("click", 1)]


def fill(title, *values, button=1):
    return [("dialog", title)] + [("set", 1000 + i, v) for i, v in enumerate(values)] + [("click", button)]


if __name__ == "__main__":
    sys.exit("a library of the e2e tests")
