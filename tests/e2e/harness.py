"""End-to-end harness: runs a Win32 program under Wine in Xvfb, drives it with
driver.exe and reads back what it showed, drew and opened.

Nothing in the program under test knows about it. What the program draws is
read from Wine's relay trace (the program alone is traced, through
RelayFromInclude); what it shows is read by the driver from its windows.

As a library (see E2ETestCase):

    class Start(E2ETestCase):
        def test_window(self):
            self.host("14.0")
            self.mkpractice("--patients", "12")
            r = self.run_script(Script().wait_window("CHKORT", "Utilitaire de ORTAVO")
                                .close().wait_exit())
            r.check()
            self.assertEqual(r.exit_code, 0)

As a runner, for one scenario by hand:

    python3 harness.py [--program EXE] [--host VER|FILE] [--data DIR]
                       [--cwd WINPATH] [--drive-d DIR] SCRIPT

The Wine side lives in a pool of prefixes under the build tree, made once
each (wineboot, ~10 s) and taken under a lock, so that parallel test runs
never share one. A session (one Xvfb, one wineserver, both children of this
process) lasts as long as the test process; every scenario gets a fresh
layout of c:\\ortavo and c:\\tmp, linked to its own run directory.
"""

import argparse
import atexit
import ctypes
import errno
import fcntl
import hashlib
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import unittest
import uuid
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("E2E_BUILD", HERE.parent.parent / "build" / "win64")).resolve()
NATIVE_BUILD = Path(os.environ.get("E2E_NATIVE_BUILD", BUILD.parent / "native")).resolve()
E2E_BUILD = BUILD / "tests" / "e2e"
DRIVER = E2E_BUILD / "driver.exe"
STANDIN = E2E_BUILD / "standin.exe"
CHKORT = BUILD / "shell" / "chkort.exe"
MKPRACTICE = NATIVE_BUILD / "tools" / "mkpractice"
PREFIXES = E2E_BUILD / "prefixes"
RUNS = E2E_BUILD / "runs"


def fake_host(version):
    """The fake host executable of one version ("14.0")."""
    return BUILD / "tools" / "fakehost" / version / "ortavo.exe"


# Calls traced in the program. The DC-producing calls let the parser know
# when a device context starts over with the default colour.
RELAY_INCLUDE = [
    "gdi32.TextOutA", "gdi32.ExtTextOutA", "gdi32.SetTextColor", "gdi32.CreateFontA",
    "user32.BeginPaint", "user32.GetDC", "user32.GetDCEx", "user32.GetWindowDC", "gdi32.CreateDCA",
    "user32.InvalidateRect", "user32.MessageBoxA", "user32.MessageBoxExA",
    "user32.DialogBoxParamA", "user32.CreateDialogParamA", "user32.EnableMenuItem",
    "user32.PostQuitMessage", "kernel32.CreateFileA",
    "version.GetFileVersionInfoSizeA", "version.GetFileVersionInfoA", "version.VerQueryValueA",
    "gdi32.StartDocA", "gdi32.StartPage", "gdi32.EndPage", "gdi32.EndDoc", "gdi32.AbortDoc",
    # Which font a text is drawn in, and the clearing of the window.
    "gdi32.SelectObject", "gdi32.PatBlt",
    # Every record transfer starts with a seek: which records were read and
    # which written, even when a write leaves the bytes as they were.
    "kernel32.SetFilePointer", "kernel32.WriteFile",
]
TRACED_PROGRAMS = ["chkort.exe", "standin.exe"]

PREFIX_SETTINGS = "\r\n".join([
    "REGEDIT4",
    "",
    # Without a window manager Wine otherwise waits ~2 s whenever a dialog
    # or a box closes.
    "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]",
    '"Managed"="N"',
    "",
    "[HKEY_CURRENT_USER\\Software\\Wine\\Debug]",
    '"RelayInclude"="%s"' % ";".join(RELAY_INCLUDE),
    '"RelayFromInclude"="%s"' % ";".join(TRACED_PROGRAMS),
    # wineboot's default exclude list would make Wine ignore the include list.
    '"RelayFromExclude"=-',
    "",
    # A crash ends the program with a backtrace instead of a dialog nobody
    # would close.
    "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]",
    '"ShowCrashDialog"=dword:00000000',
    "",
    "",
])

SCENARIO_TIMEOUT = float(os.environ.get("E2E_SCENARIO_TIMEOUT", "90"))
SLOT_WAIT = float(os.environ.get("E2E_SLOT_WAIT", "600"))
SLOTS = int(os.environ.get("E2E_SLOTS", str(max(1, min(4, os.cpu_count() or 1)))))


# ---------------------------------------------------------------- bytes and texts

def to_text(raw):
    """Windows-1252 bytes to str, losslessly: the five bytes the code page
    leaves undefined become the C1 characters of the same value."""
    return "".join(_decode_byte(b) for b in raw)


def _decode_byte(b):
    try:
        return bytes([b]).decode("cp1252")
    except UnicodeDecodeError:
        return chr(b)


def to_bytes(text):
    """The inverse of to_text; bytes pass through."""
    if isinstance(text, (bytes, bytearray)):
        return bytes(text)
    out = bytearray()
    for ch in text:
        try:
            out += ch.encode("cp1252")
        except UnicodeEncodeError:
            if ord(ch) < 0x100:
                out.append(ord(ch))
            else:
                raise ValueError("not a Windows-1252 character: %r" % ch)
    return bytes(out)


def quote(text):
    """A script word for any text: quoted, everything outside printable
    ASCII escaped."""
    out = ['"']
    for b in to_bytes(text):
        if b in (0x22, 0x5C):
            out.append("\\" + chr(b))
        elif b < 0x20 or b >= 0x7F:
            out.append("\\x%02x" % b)
        else:
            out.append(chr(b))
    out.append('"')
    return "".join(out)


_ESCAPES = {"n": 0x0A, "r": 0x0D, "t": 0x09, '"': 0x22, "\\": 0x5C}


def unescape(body):
    """The bytes of a quoted string of the driver or of Wine's debug output
    (the quotes removed): \\" \\\\ \\n \\r \\t \\xNN."""
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\" or i + 1 >= len(body):
            out += c.encode("latin-1")
            i += 1
            continue
        e = body[i + 1]
        if e == "x" and re.fullmatch(r"[0-9a-fA-F]{2}", body[i + 2:i + 4]):
            out.append(int(body[i + 2:i + 4], 16))
            i += 4
        elif e in _ESCAPES:
            out.append(_ESCAPES[e])
            i += 2
        else:
            out += e.encode("latin-1")
            i += 2
    return bytes(out)


def winpath(path):
    """A Linux path as the program sees it, through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


# ---------------------------------------------------------------- scripts

class Script:
    """Builds a driver script step by step; every method returns the script."""

    def __init__(self, *lines):
        self.lines = list(lines)

    def raw(self, *lines):
        self.lines.extend(lines)
        return self

    def _add(self, *words):
        self.lines.append(" ".join(str(w) for w in words))
        return self

    def timeout(self, ms):
        return self._add("timeout", int(ms))

    def wait_window(self, cls="*", title="*"):
        return self._add("wait-window", quote(cls), quote(title))

    def command(self, ident):
        return self._add("command", int(ident))

    def key(self, name):
        return self._add("key", quote(name))

    def char(self, c):
        return self._add("char", quote(c))

    def initmenu(self):
        return self._add("initmenu")

    def dialog(self, title):
        return self._add("dialog", quote(title))

    def set(self, ident, text):
        return self._add("set", int(ident), quote(text))

    def get(self, ident):
        return self._add("get", int(ident))

    def type(self, ident, text):
        """Types text into a control, one character at a time: unlike
        set(), what an edit's text limit refuses is lost."""
        return self._add("type", int(ident), quote(text))

    def client(self):
        return self._add("client")

    def click(self, ident):
        return self._add("click", int(ident))

    def wait_closed(self):
        return self._add("wait-closed")

    def box(self, button=None):
        return self._add("box") if button is None else self._add("box", int(button))

    def no_box(self, ms=300):
        return self._add("no-box", int(ms))

    def idle(self):
        return self._add("idle")

    def sleep(self, ms):
        return self._add("sleep", int(ms))

    def mark(self, name):
        """A named point: Result.section(name) holds what followed it."""
        return self._add("echo", quote(name))

    def windows(self):
        return self._add("windows")

    def close(self):
        return self._add("close")

    def wait_exit(self):
        return self._add("wait-exit")

    def fill(self, title, *fields, button=1):
        """A whole dialog: wait for it, type each (id, text), press button."""
        self.dialog(title)
        for ident, text in fields:
            self.set(ident, text)
        return self.click(button).wait_closed()

    def text(self):
        return "\n".join(self.lines) + "\n"


# ---------------------------------------------------------------- driver output

_WORD = re.compile(r'\s*(?:(\w[\w-]*)=)?("(?:[^"\\]|\\.)*"|\S+)')


def parse_fields(rest):
    """key=value words of a driver line; quoted values become str."""
    fields, bare = {}, []
    for m in _WORD.finditer(rest):
        key, value = m.group(1), m.group(2)
        if value.startswith('"'):
            value = to_text(unescape(value[1:-1]))
        if key:
            fields[key] = value
        else:
            bare.append(value)
    return fields, bare


class Event:
    """One line of the driver's output: kind, fields, and the step it
    belongs to."""

    def __init__(self, kind, fields, step, mark):
        self.kind, self.fields, self.step, self.mark = kind, fields, step, mark

    def __getattr__(self, name):
        try:
            return self.fields[name]
        except KeyError:
            raise AttributeError(name) from None

    def __repr__(self):
        return "<%s %s>" % (self.kind, self.fields)


class Box(Event):
    """A message box as shown on screen: caption, text, owner ("main",
    "none" or a handle), icon (bool), buttons."""

    @property
    def icon(self):
        return self.fields.get("icon") == "yes"


def parse_driver_output(text):
    events, step, mark, marks = [], 0, None, {}
    for line in text.splitlines():
        kind, _, rest = line.partition(" ")
        if kind == "step":
            number, _, rest = rest.partition(" ")
            step = int(number)
            fields, bare = parse_fields(rest)
            fields["line"] = bare[0] if bare else ""
            events.append(Event("step", fields, step, mark))
            continue
        fields, bare = parse_fields(rest)
        if kind == "echo":
            mark = bare[0] if bare else ""
            marks[step] = mark
        cls = Box if kind == "box" else Event
        events.append(cls(kind, fields, step, mark))
    return events, marks


# ---------------------------------------------------------------- relay trace

_CALL = re.compile(r"^([0-9a-f]{4,8}):(Call|Ret) +(\w+)\.(\w+)\((.*)\)(?: retval=([0-9a-f]+))? ret=[0-9a-f]+$")
_STEP = re.compile(r"^e2e-step (\d+|end)$")


def _split_args(text):
    """Arguments of a relay line: (value, string bytes or None, cut by the
    trace). Strings print as  ADDR "text"  and end in ... when cut."""
    args, i, n = [], 0, len(text)
    while i < n:
        m = re.compile(r"[0-9a-fA-F]+").match(text, i)
        if not m:
            raise ValueError("unreadable relay arguments: %r" % text)
        value, i, string, cut = int(m.group(0), 16), m.end(), None, False
        if text.startswith(' L"', i) or text.startswith(' "', i):
            i = text.index('"', i) + 1
            start = i
            while text[i] != '"':
                i += 2 if text[i] == "\\" else 1
            string = unescape(text[start:i])
            i += 1
            if text.startswith("...", i):
                cut, i = True, i + 3
        args.append((value, string, cut))
        if i < n:
            if text[i] != ",":
                raise ValueError("unreadable relay arguments: %r" % text)
            i += 1
    return args


def u32(v):
    return v & 0xFFFFFFFF


def s32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v & 0x80000000 else v


class Call:
    """One traced call: module, name, arguments (see _split_args), return
    value (None until it returns), thread, step and mark."""

    def __init__(self, tid, module, name, args, step, mark):
        self.tid, self.module, self.name, self.args = tid, module, name, args
        self.step, self.mark, self.retval = step, mark, None

    def int(self, i):
        return u32(self.args[i][0])

    def sint(self, i):
        return s32(self.args[i][0])

    def str(self, i):
        return self.args[i][1]

    def __repr__(self):
        return "<%s.%s %s -> %s>" % (self.module, self.name, self.args, self.retval)


class Text:
    """A text drawn with TextOutA/ExtTextOutA: x, y, raw (the bytes, cut at
    the count), text (the same as str), colour (COLORREF 0x00BBGGRR in force
    on that DC), complete (False when the trace could not show every counted
    byte: a NUL inside the run, or Wine's 300-character cut)."""

    def __init__(self, call, x, y, raw, count, colour, complete):
        self.call, self.x, self.y, self.raw, self.count = call, x, y, raw, count
        self.colour, self.complete = colour, complete
        self.dc, self.step, self.mark = call.int(0), call.step, call.mark

    @property
    def text(self):
        return to_text(self.raw)

    def __repr__(self):
        return "<Text (%d,%d) #%06x %r%s>" % (self.x, self.y, self.colour, self.text, "" if self.complete else "...")


class MessageBoxCall:
    """MessageBoxA as called: owner, text, caption, style, result (the
    button that ended it)."""

    def __init__(self, call):
        self.call, self.step, self.mark = call, call.step, call.mark
        self.owner = call.int(0)
        self.text = to_text(call.str(1) or b"")
        self.caption = to_text(call.str(2) or b"")
        self.style = call.int(3)
        self.complete = not (call.args[1][2] or call.args[2][2])

    @property
    def result(self):
        return None if self.call.retval is None else u32(self.call.retval)

    @property
    def icon(self):
        return self.style & 0xF0

    def __repr__(self):
        return "<MessageBoxA owner=%#x caption=%r text=%r style=%#x>" % (self.owner, self.caption, self.text, self.style)


class FileOpen:
    """CreateFileA: path, access, share, disposition, flags, handle, ok."""

    def __init__(self, call):
        self.call, self.step, self.mark = call, call.step, call.mark
        self.path = to_text(call.str(0) or b"")
        self.access, self.share = call.int(1), call.int(2)
        self.disposition, self.flags = call.int(4), call.int(5)

    @property
    def handle(self):
        return self.call.retval

    @property
    def ok(self):
        return self.call.retval is not None and self.call.retval not in (0xFFFFFFFFFFFFFFFF, 0xFFFFFFFF)

    def __repr__(self):
        return "<CreateFileA %r access=%#x share=%#x disp=%d ok=%s>" % (
            self.path, self.access, self.share, self.disposition, self.ok)


class MenuEnable:
    """EnableMenuItem: menu, item (id or position), flags; enabled is True
    unless MF_GRAYED or MF_DISABLED is set."""

    def __init__(self, call):
        self.call, self.step, self.mark = call, call.step, call.mark
        self.menu, self.item, self.flags = call.int(0), call.int(1), call.int(2)

    @property
    def enabled(self):
        return not self.flags & 0x3

    def __repr__(self):
        return "<EnableMenuItem %d flags=%#x>" % (self.item, self.flags)


class Transfer:
    """One record transfer as the program asked for it: the absolute seek
    that starts every read and write (SetFilePointer, high half 0), then a
    write when WriteFile on the same handle followed. file is the name the
    handle was opened with (its path's last part, None if unknown), offset
    the position, write and length (None for a read) what was written."""

    def __init__(self, call, path):
        self.call, self.step, self.mark = call, call.step, call.mark
        self.path = path
        self.file = path.rsplit("\\", 1)[-1] if path else None
        self.offset = call.int(1)
        self.write, self.length = False, None

    def __repr__(self):
        return "<%s %s @%d%s>" % ("write" if self.write else "read", self.file, self.offset,
                                  " len=%d" % self.length if self.write else "")


def transfers_of(calls, paths):
    """Transfers (Transfer) of the calls; paths maps each handle to the path
    CreateFileA opened it with; the opens among the calls update it, since
    a closed handle's value may come back."""
    out, last, paths = [], {}, dict(paths)
    for call in calls:
        if call.name == "CreateFileA":
            opened = FileOpen(call)
            if opened.ok:
                paths[u32(opened.handle)] = opened.path
        elif call.name == "SetFilePointer":
            t = Transfer(call, paths.get(call.int(0)))
            out.append(t)
            last[call.int(0)] = t
        elif call.name == "WriteFile":
            t = last.pop(call.int(0), None)
            if t is None:  # a write without a seek of its own
                t = Transfer(call, paths.get(call.int(0)))
                t.offset = None
                out.append(t)
            t.write, t.length = True, call.int(2)
    return out


_DC_SOURCES = {"BeginPaint", "GetDC", "GetDCEx", "GetWindowDC", "CreateDCA"}


def parse_trace(text, marks=None):
    """Traced calls of the program, in order, each tagged with the driver
    step during which it was traced (and the last mark before it)."""
    marks = marks or {}
    calls, open_calls = [], {}
    step, mark = 0, None
    for line in text.splitlines():
        s = _STEP.match(line)
        if s:
            if s.group(1) != "end":
                step = int(s.group(1))
                if step in marks:
                    mark = marks[step]
            continue
        m = _CALL.match(line)
        if not m:
            continue
        tid, kind, module, name, args, retval = m.groups()
        if module.upper() == "PE" or "window proc" in line:
            continue
        stack = open_calls.setdefault(tid, [])
        if kind == "Call":
            call = Call(tid, module.lower(), name, _split_args(args), step, mark)
            calls.append(call)
            stack.append(call)
        else:
            # Calls nest (a box's own message loop paints), so a return
            # closes the innermost open call of that name on that thread.
            for j in range(len(stack) - 1, -1, -1):
                if stack[j].name == name:
                    stack[j].retval = int(retval, 16) if retval else 0
                    del stack[j:]
                    break
    return calls


def derive(calls):
    """Texts, message boxes, file opens and menu enables from the calls."""
    colours, texts, boxes, opens, menus = {}, [], [], [], []
    for call in calls:
        n = call.name
        if n in _DC_SOURCES:
            # A DC handed out again starts over with black text.
            if call.retval:
                colours.pop(u32(call.retval), None)
        elif n == "SetTextColor":
            colours[call.int(0)] = call.int(1) & 0xFFFFFF
        elif n in ("TextOutA", "ExtTextOutA"):
            si, ci = (3, 4) if n == "TextOutA" else (5, 6)
            value, raw, cut = call.args[si]
            count = call.int(ci)
            raw = raw or b""
            complete = len(raw) >= count
            texts.append(Text(call, call.sint(1), call.sint(2), raw[:count], count,
                              colours.get(call.int(0), 0), complete))
        elif n in ("MessageBoxA", "MessageBoxExA"):
            boxes.append(MessageBoxCall(call))
        elif n == "CreateFileA":
            opens.append(FileOpen(call))
        elif n == "EnableMenuItem":
            menus.append(MenuEnable(call))
    return texts, boxes, opens, menus


# ---------------------------------------------------------------- results

class ScenarioFailed(AssertionError):
    pass


class Result:
    """What one scenario showed. Lists are in order:

    events         every driver event (Event), boxes_shown the message boxes
                   as seen on screen (Box), windows, dialogs
    calls          every traced call (Call)
    texts          drawn texts (Text); lines() gives their str
    message_boxes  MessageBoxA calls (MessageBoxCall)
    file_opens     CreateFileA calls (FileOpen)
    menu_enables   EnableMenuItem calls (MenuEnable)
    transfers      record reads and writes (Transfer)
    exit_code      from wait-exit (None otherwise)
    ok, failure    whether every step passed, and why not
    """

    def __init__(self, events, calls, stdout, run_dir=None, harness_error=None):
        self.events, self.calls, self.stdout, self.run_dir = events, calls, stdout, run_dir
        self.texts, self.message_boxes, self.file_opens, self.menu_enables = derive(calls)
        fails = [e for e in events if e.kind == "fail"]
        self.failure = harness_error or (fails[0].fields.get("reason") if fails else None)
        if not harness_error and not fails and not any(e.kind == "done" for e in events):
            self.failure = "the driver ended without finishing its script"
        self.failed_step = int(fails[0].fields["step"]) if fails else None
        self.ok = self.failure is None
        # Kept whole for section(): its transfers name files opened before it.
        self.handle_paths = {u32(o.handle): o.path for o in self.file_opens if o.ok}

    @property
    def transfers(self):
        return transfers_of(self.calls, self.handle_paths)

    def _of(self, kind):
        return [e for e in self.events if e.kind == kind]

    @property
    def boxes_shown(self):
        return self._of("box")

    @property
    def windows(self):
        return self._of("window")

    @property
    def dialogs(self):
        return self._of("dialog")

    @property
    def read_texts(self):
        return [e.text for e in self._of("text")]

    @property
    def exit_code(self):
        exits = self._of("exit")
        return int(exits[-1].code) if exits else None

    @property
    def killed(self):
        return bool(self._of("killed"))

    def lines(self, colour=None):
        return [t.text for t in self.texts if colour is None or t.colour == colour]

    def section(self, mark):
        """The part of the scenario after Script.mark(mark) and before the
        next mark."""
        if mark not in [e.mark for e in self.events]:
            raise KeyError("no mark %r" % mark)
        view = Result.__new__(Result)
        view.__dict__.update(self.__dict__)
        view.events = [e for e in self.events if e.mark == mark]
        view.calls = [c for c in self.calls if c.mark == mark]
        view.texts, view.message_boxes, view.file_opens, view.menu_enables = [
            [x for x in xs if x.mark == mark] for xs in (self.texts, self.message_boxes, self.file_opens, self.menu_enables)]
        return view

    def check(self):
        """Raise with the driver's account when a step failed."""
        if not self.ok:
            raise ScenarioFailed("scenario failed: %s\n--- driver output ---\n%s" % (self.failure, self.stdout))
        return self


# ---------------------------------------------------------------- processes

_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # PR_SET_PDEATHSIG: a killed test run takes its Xvfb and wineserver along.
    _libc.prctl(1, signal.SIGKILL, 0, 0, 0)


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except OSError as e:
        return e.errno == errno.EPERM


def _stop(proc, grace=5.0):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(grace)


def _processes_marked(marker):
    """Pids of processes whose environment holds marker (this one aside)."""
    found = []
    needle = marker.encode() + b"\0"
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                if needle in f.read() + b"\0":
                    found.append(int(entry))
        except OSError:
            pass
    return found


class Session:
    """One prefix of the pool, one Xvfb and one wineserver, for the life of
    the test process."""

    def __init__(self):
        self.slot = None
        self.lock = None
        self.xvfb = None
        self.server = None
        self.display = None
        self.watchdog = None
        self.warm = False
        self.marker = "E2E_SESSION=%s" % uuid.uuid4().hex
        self.timings = {}

    # -- the pool

    def _take_slot(self):
        PREFIXES.mkdir(parents=True, exist_ok=True)
        deadline = time.monotonic() + SLOT_WAIT
        while True:
            for n in range(SLOTS):
                fd = os.open(PREFIXES / ("slot%d.lock" % n), os.O_RDWR | os.O_CREAT, 0o644)
                try:
                    fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except OSError:
                    os.close(fd)
                    continue
                self.slot, self.lock = n, fd
                return
            if time.monotonic() > deadline:
                raise RuntimeError("no free Wine prefix after %d s" % SLOT_WAIT)
            time.sleep(0.25)

    @property
    def prefix(self):
        return PREFIXES / ("slot%d" % self.slot)

    def env(self, **extra):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "DISPLAY": self.display or "",
            # A French workstation: code page 1252.
            "LC_ALL": "fr_FR.UTF-8",
        })
        key, _, value = self.marker.partition("=")
        env[key] = value
        env.update(extra)
        return env

    def _run(self, args, timeout=120, **kw):
        return subprocess.run(args, env=self.env(), timeout=timeout, stdin=subprocess.DEVNULL, **kw)

    # -- life

    def start(self):
        if self.server is not None:
            return
        t0 = time.monotonic()
        self._take_slot()
        atexit.register(self.stop)
        self._start_watchdog()
        # Leftovers of a run that was killed outright (the lock is ours now).
        self._run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._start_xvfb()
        t1 = time.monotonic()
        self._ensure_prefix()
        t2 = time.monotonic()
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       preexec_fn=_die_with_parent)
        self._warm_up()
        t3 = time.monotonic()
        self.timings.update(xvfb=t1 - t0, prefix=t2 - t1, wine_start=t3 - t2)

    def _start_watchdog(self):
        # Wine's services outlive a wineserver that is killed, and nothing
        # runs at exit when this process is killed outright: a small forked
        # guard, in a session of its own, waits for this process to go and
        # then kills whatever carries the session's mark.
        r, w = os.pipe()
        pid = os.fork()
        if pid == 0:
            try:
                os.setsid()
                os.close(w)
                while os.read(r, 1):
                    pass
                for _ in range(3):
                    for victim in _processes_marked(self.marker):
                        try:
                            os.kill(victim, signal.SIGKILL)
                        except OSError:
                            pass
                    time.sleep(0.2)
            finally:
                os._exit(0)
        os.close(r)
        self.watchdog, self.watchdog_pipe = pid, w

    def _start_xvfb(self):
        r, w = os.pipe()
        log = open(E2E_BUILD / ("xvfb-slot%d.log" % self.slot), "wb")
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                     pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                     env=self.env(), preexec_fn=_die_with_parent)
        os.close(w)
        log.close()
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([r], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(r, 16) if ready else b""
            if not chunk:
                os.close(r)
                raise RuntimeError("Xvfb did not start (see %s)" % log.name)
            number += chunk
        os.close(r)
        self.display = ":" + number.decode().strip()

    def _ensure_prefix(self):
        settings = PREFIX_SETTINGS.encode("ascii")
        stamp = hashlib.sha256(settings).hexdigest()
        ready = self.prefix / ".e2e-ready"
        if not (self.prefix / "system.reg").exists() or not ready.exists():
            shutil.rmtree(self.prefix, ignore_errors=True)
            self._run(["wineboot", "-i"], timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self._run(["wineserver", "-w"], timeout=120)
        if not ready.exists() or ready.read_text() != stamp:
            reg = self.prefix / "e2e-settings.reg"
            reg.write_bytes(settings)
            done = self._run(["wine", "reg", "import", winpath(reg)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            self._run(["wineserver", "-w"], timeout=120)
            if done.returncode != 0:
                raise RuntimeError("reg import failed: %s" % done.stderr.decode(errors="replace"))
            ready.write_text(stamp)

    def _warm_up(self):
        # Wine's services start with the first program; starting them here
        # keeps that cost out of every scenario.
        out = subprocess.run(["wine", str(DRIVER), "-c", "echo warm"], env=self.env(), stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        first = out.stdout.decode(errors="replace").splitlines()[:1]
        if first != ["driver acp=1252"]:
            raise RuntimeError("Wine is not running in code page 1252: %r" % first)
        self.warm = True

    def restart_wine(self):
        """After a scenario that had to be killed: nothing of it survives."""
        self._kill_wine()
        self.server = None
        self.warm = False
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       preexec_fn=_die_with_parent)
        self._warm_up()

    def _kill_wine(self):
        try:
            self._run(["wineserver", "-k"], timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        _stop(self.server)
        for pid in _processes_marked(self.marker):
            if pid != (self.xvfb.pid if self.xvfb else None):
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass

    def _running(self, name):
        for pid in _processes_marked(self.marker):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if argv0.replace("\\", "/").rsplit("/", 1)[-1].lower() == name.lower():
                return True
        return False

    def stop(self):
        if self.slot is None:
            return
        self._kill_wine()
        _stop(self.xvfb)
        self.server = self.xvfb = None
        if self.watchdog:
            os.close(self.watchdog_pipe)
            os.waitpid(self.watchdog, 0)
            self.watchdog = None
        os.close(self.lock)
        self.slot = self.lock = None

    # -- scenarios

    def layout(self, run_dir):
        """c:\\ortavo and c:\\tmp of the prefix become the run directory's;
        D: its d/ when there is one."""
        drive_c = self.prefix / "drive_c"
        for name in ("ortavo", "tmp"):
            link = drive_c / name
            if link.is_symlink() or link.is_file():
                link.unlink()
            elif link.exists():
                shutil.rmtree(link)
            if (run_dir / name).exists():
                link.symlink_to(run_dir / name)
        d = self.prefix / "dosdevices" / "d:"
        if d.is_symlink() or d.exists():
            d.unlink()
        if (run_dir / "d").exists():
            d.symlink_to(run_dir / "d")

    def run(self, program, script, run_dir, cwd="c:\\ortavo\\data", timeout=SCENARIO_TIMEOUT, tag=""):
        self.start()
        run_dir = Path(run_dir)
        self.layout(run_dir)
        text = "start %s %s\n" % (quote(winpath(program)), quote(cwd)) + script.text()
        script_path = run_dir / ("script%s.txt" % tag)
        script_path.write_bytes(text.encode("ascii"))
        out_path, trace_path = run_dir / ("driver%s.out" % tag), run_dir / ("trace%s.txt" % tag)
        harness_error = None
        t0 = time.monotonic()
        with open(out_path, "wb") as out, open(trace_path, "wb") as err:
            proc = subprocess.Popen(["wine", str(DRIVER), winpath(script_path)],
                                    env=self.env(E2E_CHILD_WINEDEBUG="+relay"), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                harness_error = "the scenario took longer than %d s and was killed" % timeout
        self.timings["last_scenario"] = time.monotonic() - t0
        # The driver stops the program whatever happens; if it could not,
        # the session starts over so nothing leaks into the next scenario.
        if not harness_error and self._running(Path(program).name):
            harness_error = "the program was still running after the driver ended"
        if harness_error:
            self.restart_wine()
        stdout = out_path.read_bytes().decode("ascii", errors="replace")
        events, marks = parse_driver_output(stdout)
        calls = parse_trace(trace_path.read_bytes().decode("latin-1"), marks)
        return Result(events, calls, stdout, run_dir, harness_error)


SESSION = Session()


def _on_signal(signum, frame):
    raise SystemExit(128 + signum)


signal.signal(signal.SIGTERM, _on_signal)


# ---------------------------------------------------------------- tests

class E2ETestCase(unittest.TestCase):
    """Base of the end-to-end tests. Each test gets a fresh run directory
    (build/win64/tests/e2e/runs/<test>/) holding:

        ortavo/          c:\\ortavo: host() puts ortavo.exe here
        ortavo/data/     c:\\ortavo\\data, the default current directory:
                         mkpractice() or use_data() fill it, or write files
        tmp/             c:\\tmp (remove it to have none)
        d/               D:, after drive_d()

    and, for the Nth run of the test, script-N.txt, driver-N.out and
    trace-N.txt. Files the program writes are read back from the same
    places (self.data, self.tmp).

    Posted commands are handled after the step that posts them: put idle()
    after an action and before mark(), and a mark before the action whose
    effects it should collect:

        Script().wait_window(...).idle().mark("page 1").command(102)...idle()
    """

    program = STANDIN

    def setUp(self):
        for needed in (DRIVER, self.program):
            if not Path(needed).exists():
                self.skipTest("%s is not built" % needed)
        self.run_dir = RUNS / self.id().replace("/", "_")
        shutil.rmtree(self.run_dir, ignore_errors=True)
        self.ortavo = self.run_dir / "ortavo"
        self.data = self.ortavo / "data"
        self.tmp = self.run_dir / "tmp"
        self.data.mkdir(parents=True)
        self.tmp.mkdir()

    def host(self, what):
        """Put a host executable at c:\\ortavo\\ortavo.exe: a fake host
        version ("14.0"), a file, or bytes."""
        target = self.ortavo / "ortavo.exe"
        if isinstance(what, bytes):
            target.write_bytes(what)
            return target
        source = Path(what) if os.sep in str(what) else fake_host(what)
        if not source.exists():
            self.skipTest("%s is not built" % source)
        shutil.copyfile(source, target)
        return target

    def use_data(self, source):
        shutil.copytree(source, self.data, dirs_exist_ok=True)

    def mkpractice(self, *args, into=None):
        if not MKPRACTICE.exists():
            self.skipTest("%s is not built" % MKPRACTICE)
        out = subprocess.run([str(MKPRACTICE), str(into or self.data), *map(str, args)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        if out.returncode != 0:
            self.fail("mkpractice failed: %s" % out.stderr.decode(errors="replace"))
        return out.stdout.decode(errors="replace")

    def drive_d(self):
        """Map D: for the next runs; returns its directory."""
        d = self.run_dir / "d"
        d.mkdir(exist_ok=True)
        return d

    def run_script(self, script, program=None, cwd="c:\\ortavo\\data", timeout=SCENARIO_TIMEOUT):
        """Run the program on the current layout; returns a Result. A test
        may run several scenarios one after the other on the same files."""
        self.runs = getattr(self, "runs", 0) + 1
        return SESSION.run(program or self.program, script, self.run_dir, cwd=cwd, timeout=timeout,
                           tag="-%d" % self.runs)


# ---------------------------------------------------------------- runner

def main(argv=None):
    ap = argparse.ArgumentParser(description="Run one end-to-end scenario under Wine and show what it observed.")
    ap.add_argument("script", help="driver script, without its start line")
    ap.add_argument("--program", default=str(CHKORT))
    ap.add_argument("--host", help="fake host version (14.0) or ortavo.exe to use")
    ap.add_argument("--data", help="directory copied to c:\\ortavo\\data")
    ap.add_argument("--cwd", default="c:\\ortavo\\data")
    ap.add_argument("--drive-d", help="directory copied to D:")
    ap.add_argument("--no-tmp", action="store_true", help="no c:\\tmp")
    ap.add_argument("--run-dir", default=str(RUNS / "manual"))
    a = ap.parse_args(argv)

    run_dir = Path(a.run_dir)
    shutil.rmtree(run_dir, ignore_errors=True)
    (run_dir / "ortavo" / "data").mkdir(parents=True)
    if not a.no_tmp:
        (run_dir / "tmp").mkdir()
    if a.host:
        src = Path(a.host) if os.sep in a.host else fake_host(a.host)
        shutil.copyfile(src, run_dir / "ortavo" / "ortavo.exe")
    if a.data:
        shutil.copytree(a.data, run_dir / "ortavo" / "data", dirs_exist_ok=True)
    if a.drive_d:
        shutil.copytree(a.drive_d, run_dir / "d")
    script = Script(*Path(a.script).read_text(encoding="cp1252").splitlines())
    try:
        r = SESSION.run(Path(a.program), script, run_dir, cwd=a.cwd)
    finally:
        SESSION.stop()
    sys.stdout.write(r.stdout)
    for c in r.calls:
        if c.name in ("TextOutA", "ExtTextOutA", "SetTextColor", "BeginPaint", "GetDC"):
            continue
        print("call", c.step, "%s.%s" % (c.module, c.name),
              ",".join(quote(a[1]) if a[1] is not None else "%x" % u32(a[0]) for a in c.args),
              "->", "%x" % c.retval if c.retval is not None else "?")
    for t in r.texts:
        print("text", t.step, "x=%d y=%d colour=%06x" % (t.x, t.y, t.colour), quote(t.raw),
              "" if t.complete else "(incomplete)")
    print("timings", " ".join("%s=%.2fs" % kv for kv in SESSION.timings.items()))
    return 0 if r.ok else 1


if __name__ == "__main__":
    sys.exit(main())
