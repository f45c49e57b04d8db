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
import tempfile
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
    # The print job: the printer's answers (resolution, pixels per inch),
    # the main window disabled and enabled again, the cancel dialog's focus
    # and end, the context and the font released.
    "comdlg32.PrintDlgA", "gdi32.GetDeviceCaps", "user32.EnableWindow", "user32.SetFocus",
    "user32.DestroyWindow", "gdi32.DeleteDC", "gdi32.DeleteObject",
    # The order in which the data files are closed.
    "kernel32.CloseHandle",
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

    def signal(self, name):
        """Sets the named event that a helper process (holder.exe) waits on."""
        return self._add("signal", quote(name))

    def wait_event(self, name):
        """Waits until a helper process sets the named event."""
        return self._add("wait-event", quote(name))

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

    def paints(self):
        """The texts drawn by each paint (BeginPaint), in order. A text drawn
        outside any paint is an error: views draw only when painted."""
        pages, current = [], None
        by_call = {id(t.call): t for t in self.texts}
        for call in self.calls:
            if call.name == "BeginPaint":
                current = []
                pages.append(current)
            elif call.name == "TextOutA":
                if current is None:
                    raise AssertionError("a text drawn outside a paint: %r" % by_call[id(call)])
                current.append(by_call[id(call)])
        return pages

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

    def run(self, program, script, run_dir, cwd="c:\\ortavo\\data", timeout=SCENARIO_TIMEOUT, tag="", trace=True):
        """Runs one scenario. Without trace the program runs untraced: no
        calls, texts or boxes drawn come back (the driver's events still do),
        for scenarios whose millions of calls no trace could hold."""
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
                                    env=self.env(E2E_CHILD_WINEDEBUG="+relay" if trace else "-all"),
                                    stdin=subprocess.DEVNULL,
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

    def run_script(self, script, program=None, cwd="c:\\ortavo\\data", timeout=SCENARIO_TIMEOUT, trace=True):
        """Run the program on the current layout; returns a Result. A test
        may run several scenarios one after the other on the same files."""
        self.runs = getattr(self, "runs", 0) + 1
        return SESSION.run(program or self.program, script, self.run_dir, cwd=cwd, timeout=timeout,
                           tag="-%d" % self.runs, trace=trace)


# ---------------------------------------------------------------- printing

CUPSD = Path("/usr/sbin/cupsd")
CUPS_PDF_BACKEND = Path("/usr/lib/cups/backend/cups-pdf")
CUPS_PDF_PPD = Path("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")
PRINT_WAIT = float(os.environ.get("E2E_PRINT_WAIT", "60"))


class PrintServer:
    """A CUPS server of the test's own, started and stopped by the test:
    cupsd with its files, logs and spool under `root` and its unix socket in
    a short temporary directory. While it runs, CUPS_SERVER names that
    socket in this process's environment, which the programs under Wine
    inherit, so the system's CUPS is never asked.

    With printer=True a cups-pdf queue "PDF" is the default printer; each
    job lands in root/out as a PDF whose name ends in "job_N.pdf". cups-pdf
    reads its settings from /etc/cups only: cupsd runs in a mount namespace
    of its own where /etc/cups is root/etc, so the system's CUPS files are
    neither read nor written. Needs root (the backend runs as root) and
    mount namespaces; unavailable() says why not.

        server = PrintServer(RUNS / "cups-views").start()
        since = len(server.pdfs())
        ... a scenario that prints twice ...
        first, second = server.wait_pdfs(2, since)
        server.stop()
    """

    QUEUE = "PDF"

    def __init__(self, root, printer=True):
        self.root = Path(root)
        self.printer = printer
        self.socket_dir = None
        self.socket = None
        self.out = self.root / "out"
        self.proc = None
        self.previous = None
        self.named = False

    @staticmethod
    def unavailable():
        """Why no private CUPS server can run here, or None."""
        for needed in (CUPSD, CUPS_PDF_BACKEND, CUPS_PDF_PPD):
            if not needed.exists():
                return "%s is missing (packages cups, printer-driver-cups-pdf)" % needed
        for tool in ("unshare", "lpadmin", "lpstat", "pdftotext", "pdfinfo"):
            if not shutil.which(tool):
                return "%s is missing (packages util-linux, cups-client, poppler-utils)" % tool
        if os.geteuid() != 0:
            return "the cups-pdf backend runs only as root"
        probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)
        if probe.returncode != 0:
            return "no mount namespace: %s" % probe.stderr.decode(errors="replace").strip()
        return None

    def env(self):
        env = dict(os.environ)
        env["CUPS_SERVER"] = str(self.socket)
        return env

    def _tool(self, *args, check=True):
        out = subprocess.run(list(args), env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=30)
        if check and out.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(args), out.stderr.decode(errors="replace")))
        return out.stdout.decode(errors="replace")

    def start(self):
        shutil.rmtree(self.root, ignore_errors=True)
        # A unix socket's path holds at most 107 bytes: a short directory.
        self.socket_dir = Path(tempfile.mkdtemp(prefix="chkort-cups-"))
        os.chmod(self.socket_dir, 0o755)
        self.socket = self.socket_dir / "cups.sock"
        dirs = {name: self.root / name for name in ("etc", "server", "spool", "cache", "state", "log", "out",
                                                       "pdf-spool", "tmp")}
        for d in dirs.values():
            d.mkdir(parents=True)
        # The filters run as lp.
        os.chmod(self.root, 0o755)
        os.chmod(dirs["tmp"], 0o1777)
        (self.root / "cups-files.conf").write_text("\n".join([
            "ServerRoot %s" % dirs["server"], "RequestRoot %s" % dirs["spool"], "TempDir %s" % dirs["tmp"],
            "CacheDir %s" % dirs["cache"], "StateDir %s" % dirs["state"],
            "AccessLog %s/access_log" % dirs["log"], "ErrorLog %s/error_log" % dirs["log"],
            "PageLog %s/page_log" % dirs["log"], "SystemGroup root", ""]))
        (self.root / "cupsd.conf").write_text("\n".join([
            "Listen %s" % self.socket, "Browsing Off", "WebInterface No", "LogLevel warn",
            # A server for one test's own jobs: no authentication asked.
            "DefaultAuthType None",
            "<Location />", "  Order allow,deny", "  Allow all", "</Location>",
            "<Policy default>", "  <Limit All>", "    Order deny,allow", "  </Limit>", "</Policy>", ""]))
        # Label 2: every job's number in its file name, so that jobs with the
        # same title do not overwrite each other.
        (dirs["etc"] / "cups-pdf.conf").write_text("\n".join([
            "Out %s" % dirs["out"], "AnonDirName %s" % dirs["out"], "Spool %s" % dirs["pdf-spool"],
            "GSTmp %s" % dirs["tmp"], "Log %s" % dirs["log"], "Grp root", "Label 2", ""]))
        log = open(dirs["log"] / "cupsd.out", "wb")
        self.proc = subprocess.Popen(
            ["unshare", "--mount", "--propagation", "private", "--", "sh", "-c",
             'mount --bind "$0" /etc/cups && exec "$1" -f -c "$2" -s "$3"',
             str(dirs["etc"]), str(CUPSD), str(self.root / "cupsd.conf"), str(self.root / "cups-files.conf")],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, preexec_fn=_die_with_parent)
        log.close()
        deadline = time.monotonic() + 20
        while self._tool("lpstat", "-r", check=False).strip() != "scheduler is running":
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("cupsd did not start: %s" % (dirs["log"] / "cupsd.out").read_text(errors="replace"))
            time.sleep(0.1)
        if self.printer:
            self.add_printer()
        self.previous = os.environ.get("CUPS_SERVER")
        os.environ["CUPS_SERVER"] = str(self.socket)
        self.named = True
        return self

    def add_printer(self):
        self._tool("lpadmin", "-p", self.QUEUE, "-E", "-v", "cups-pdf:/", "-P", str(CUPS_PDF_PPD))
        self._tool("lpadmin", "-d", self.QUEUE)

    def stop(self):
        if self.named:
            if self.previous is None:
                os.environ.pop("CUPS_SERVER", None)
            else:
                os.environ["CUPS_SERVER"] = self.previous
            self.named = False
        _stop(self.proc, grace=10)
        self.proc = None
        if self.socket_dir is not None:
            shutil.rmtree(self.socket_dir, ignore_errors=True)
            self.socket_dir = None

    def jobs(self):
        """Ids of every job the server was given, done or not ("PDF-3")."""
        return [line.split()[0] for line in self._tool("lpstat", "-W", "all", "-o").splitlines() if line.strip()]

    def pdfs(self):
        """The PDFs written so far, in job order."""
        def job(path):
            m = re.search(r"job_(\d+)\.pdf$", path.name)
            return int(m.group(1)) if m else 0
        return sorted(self.out.glob("*.pdf"), key=job)

    def wait_pdfs(self, count, since=0, timeout=PRINT_WAIT):
        """The PDFs after the first `since`, in job order, once `count` of
        them are there and the server holds no unfinished job."""
        deadline = time.monotonic() + timeout
        while True:
            pending = self._tool("lpstat", "-o").strip()
            pdfs = self.pdfs()[since:]
            if not pending and len(pdfs) >= count:
                return pdfs
            if time.monotonic() > deadline:
                logs = "".join(p.read_text(errors="replace")[-2000:] for p in sorted((self.root / "log").iterdir()))
                raise AssertionError("%d PDF(s) of %d after %d s; jobs not done: %r\n%s"
                                     % (len(pdfs), count, timeout, pending, logs))
            time.sleep(0.2)


def pdf_info(path):
    """pdfinfo's fields of a PDF ("Pages", "Title", ...), as str."""
    out = subprocess.run(["pdfinfo", str(path)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    if out.returncode != 0:
        raise AssertionError("pdfinfo %s: %s" % (path, out.stderr.decode(errors="replace")))
    info = {}
    for line in out.stdout.decode(errors="replace").splitlines():
        key, sep, value = line.partition(":")
        if sep:
            info[key.strip()] = value.strip()
    return info


def pdf_pages(path):
    """The text of each page of a PDF as `pdftotext -layout` reads it back:
    one list per page of its lines that are not blank."""
    out = subprocess.run(["pdftotext", "-layout", str(path), "-"], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=60)
    if out.returncode != 0:
        raise AssertionError("pdftotext %s: %s" % (path, out.stderr.decode(errors="replace")))
    pages = out.stdout.decode("utf-8").split("\f")
    if pages and not pages[-1].strip():
        pages.pop()  # the text after the last page's form feed
    return [[line.rstrip() for line in page.splitlines() if line.strip()] for page in pages]


def printed_form(text):
    """A line in the form in which it can be compared with what pdftotext
    reads: without blanks, since -layout rebuilds them from the positions
    of a proportional font, and with '-', which the PostScript hyphen glyph
    reads back as a soft hyphen."""
    return re.sub(r"\s+", "", text.replace("\u00ad", "-"))


class PrintJob:
    """What the program drew on one printer document: dc, started (StartDocA
    returned a positive job), pages (each a list of Text, split where
    StartPage was called), page_ends (EndPage calls), ended (EndDoc called),
    calls (every traced call on that DC, in order)."""

    def __init__(self, dc, start_call):
        self.dc, self.start_call = dc, start_call
        self.started = start_call.retval is not None and s32(start_call.retval) > 0
        self.pages, self.page_ends, self.ended, self.calls = [], 0, False, [start_call]

    def lines(self):
        return [t for page in self.pages for t in page]

    def __repr__(self):
        return "<PrintJob dc=%#x pages=%s ended=%s>" % (self.dc, [len(p) for p in self.pages], self.ended)


_ON_PRINTER_DC = {"StartPage", "EndPage", "EndDoc", "AbortDoc", "DeleteDC", "TextOutA", "ExtTextOutA", "SetTextColor",
                  "SelectObject", "GetDeviceCaps"}


def print_jobs(result):
    """The documents a result (or a section of it) printed, in order."""
    texts = {id(t.call): t for t in result.texts}
    jobs, open_jobs = [], {}
    for call in result.calls:
        if call.name == "StartDocA":
            job = open_jobs[call.int(0)] = PrintJob(call.int(0), call)
            jobs.append(job)
            continue
        if call.name not in _ON_PRINTER_DC:
            continue
        job = open_jobs.get(call.int(0))
        if job is None:
            continue
        job.calls.append(call)
        if call.name == "StartPage":
            job.pages.append([])
        elif call.name == "EndPage":
            job.page_ends += 1
        elif call.name == "EndDoc":
            job.ended = True
            del open_jobs[job.dc]
        elif call.name == "DeleteDC":
            del open_jobs[job.dc]
        elif id(call) in texts and job.pages:
            job.pages[-1].append(texts[id(call)])
    return jobs


class PrintTestCase(E2ETestCase):
    """Base of the print tests: chkort.exe, and for the whole class a
    private CUPS server (self.print_server) whose cups-pdf queue is the
    default printer."""

    program = CHKORT

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        reason = PrintServer.unavailable()
        if reason:
            raise unittest.SkipTest(reason)
        cls.print_server = PrintServer(RUNS / ("cups-" + cls.__name__)).start()

    @classmethod
    def tearDownClass(cls):
        cls.print_server.stop()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        SESSION.start()
        # A test that makes the spooler fail puts a file in the place of
        # this directory; one that was killed may have left it.
        spool = self.spool_directory()
        if spool.exists() and not spool.is_dir():
            spool.unlink()
        spool.mkdir(parents=True, exist_ok=True)

    @staticmethod
    def spool_directory():
        """Where Wine's spooler keeps a document until it ends."""
        return SESSION.prefix / "drive_c" / "windows" / "system32" / "spool" / "printers"

    @staticmethod
    def main_window(result):
        return int(result.windows[0].fields["hwnd"], 16)

    @staticmethod
    def record_of(text):
        """Column 2 of a clinical or quote line: the record's own number."""
        return int(text.raw.split(b"\xb3")[1])

    @staticmethod
    def screen_views(section):
        """The views drawn on the window in a section (not on a printer),
        each from its heading ("DEBUT...") up to the next heading."""
        printers = {job.dc for job in print_jobs(section)}
        views = []
        for t in section.texts:
            if t.dc in printers:
                continue
            if t.raw.startswith(b"DEBUT"):
                views.append([])
            if views:
                views[-1].append(t)
        return views

    def assert_drawn_alike(self, printed, shown):
        """The same texts, bytes and colours, at the same x, in the same order."""
        self.assertEqual([(t.raw, t.colour, t.x) for t in printed], [(t.raw, t.colour, t.x) for t in shown])
        self.assertTrue(all(t.complete for t in printed), "a text the trace could not show whole")

    def assert_job_frame(self, section, main):
        """What frames every print job that got a printer: the cancel dialog
        "AbortDlg" owned by the window, the window disabled before the
        document starts and enabled again after the job's last call on the
        printer, then the dialog destroyed, the printer's context and the
        print font deleted; the job asks for no repaint of the window.
        Returns the dialog's handle."""
        calls = section.calls
        at = {id(c): i for i, c in enumerate(calls)}
        dialogs = [c for c in calls if c.name == "CreateDialogParamA"]
        self.assertEqual(len(dialogs), 1, dialogs)
        self.assertEqual((dialogs[0].str(1), dialogs[0].int(2)), (b"AbortDlg", main))
        dialog = dialogs[0].retval
        self.assertTrue(dialog)
        jobs = print_jobs(section)
        self.assertEqual(len(jobs), 1, jobs)
        dc = jobs[0].dc
        enables = [c for c in calls if c.name == "EnableWindow" and c.int(0) == main]
        self.assertEqual([c.int(1) for c in enables], [0, 1])
        off, on = at[id(enables[0])], at[id(enables[1])]
        self.assertLess(at[id(dialogs[0])], off)
        self.assertLess(off, at[id(jobs[0].start_call)], "the window is disabled before the document starts")
        on_printer = [c for c in jobs[0].calls if c.name != "DeleteDC"]
        self.assertLess(at[id(on_printer[-1])], on, "the window stays disabled while the job draws")
        destroyed = [at[id(c)] for c in calls if c.name == "DestroyWindow" and c.int(0) == u32(dialog)]
        deleted = [at[id(c)] for c in calls if c.name == "DeleteDC" and c.int(0) == dc]
        fonts = [c for c in calls if c.name == "CreateFontA"]
        self.assertEqual(len(fonts), 1, fonts)
        unfonted = [at[id(c)] for c in calls if c.name == "DeleteObject" and c.int(0) == u32(fonts[0].retval)]
        self.assertEqual((len(destroyed), len(deleted), len(unfonted)), (1, 1, 1))
        self.assertLess(on, destroyed[0])
        self.assertLess(destroyed[0], deleted[0])
        focus = [c for c in calls if c.name == "SetFocus"]
        self.assertEqual(focus[-1].int(0), main, "the keyboard focus goes back to the window")
        self.assertLess(max(deleted[0], unfonted[0]), at[id(focus[-1])])
        self.assertEqual([c for c in calls if c.name == "InvalidateRect"], [])
        return dialog


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
