"""Whether this machine can run the 32-bit build under Wine, installing
Debian's wine32 first where it can (--install, as root).

    python3 tools/wine/wine32.py [--install]

Exit 0 when 32-bit Wine runs here; otherwise exit 1 and one line on stdout
saying why, for `make test` to print. The causes differ and so do the lines:
a kernel that runs no 32-bit program at all (no package helps), one that
runs them only through an emulator (Wine's 32-bit loader does not start
under qemu-i386), a package that could not be installed now, and an
installed loader that does not start.

The probe is a 32-bit program of 96 bytes made here: it needs no loader,
library or compiler, so an installed but unusable loader cannot answer for
it."""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

PACKAGES = ["wine32:i386", "libcups2:i386"]
LOADER32 = Path("/usr/lib/wine/wine")
ANSWER = 42


def probe_elf():
    """A static i386 ELF executable: exit(42) through int 0x80."""
    base = 0x08048000
    code = bytes([0xB8, 1, 0, 0, 0,            # mov eax, 1 (exit)
                  0xBB, ANSWER, 0, 0, 0,       # mov ebx, 42
                  0xCD, 0x80])                 # int 0x80
    size = 52 + 32 + len(code)
    header = (b"\x7fELF\x01\x01\x01" + bytes(9)
              + (2).to_bytes(2, "little") + (3).to_bytes(2, "little") + (1).to_bytes(4, "little")
              + (base + 84).to_bytes(4, "little") + (52).to_bytes(4, "little") + bytes(8)
              + (52).to_bytes(2, "little") + (32).to_bytes(2, "little") + (1).to_bytes(2, "little") + bytes(6))
    program = b"".join(v.to_bytes(4, "little") for v in (1, 0, base, base, size, size, 5, 0x1000))
    return header + program + code


def runs_32bit():
    with tempfile.TemporaryDirectory(prefix="chkort-probe32-") as d:
        exe = Path(d) / "probe32"
        exe.write_bytes(probe_elf())
        exe.chmod(0o755)
        try:
            return subprocess.run([str(exe)], timeout=20).returncode == ANSWER
        except OSError:  # Exec format error
            return False


def emulator():
    """The interpreter binfmt_misc hands i386 programs to, if any: it then
    runs them before the kernel's own ELF loader would."""
    root = Path("/proc/sys/fs/binfmt_misc")
    try:
        entries = [p for p in root.iterdir() if p.name not in ("register", "status")]
    except OSError:
        return None
    for entry in entries:
        try:
            fields = dict(line.split(" ", 1) for line in entry.read_text().splitlines() if " " in line)
        except OSError:
            continue
        if entry.read_text().startswith("enabled") and fields.get("magic", "").startswith("7f454c46010101") \
                and fields["magic"][36:40] == "0300":
            return fields.get("interpreter", entry.name)
    return None


def installed(package):
    out = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True)
    return out.stdout.endswith("install ok installed")


def install(missing):
    print("Installing:", *missing, file=sys.stderr)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return (subprocess.run(["dpkg", "--add-architecture", "i386"], **quiet).returncode == 0
            and subprocess.run(["apt-get", "update", "-qq"], **quiet).returncode in (0, 100)
            and subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing],
                               **quiet).returncode == 0)


def why_not(may_install):
    if not runs_32bit():
        return "this machine does not run 32-bit programs"
    interpreter = emulator()
    if interpreter:
        return "this machine runs 32-bit programs only through an emulator (%s), " \
               "under which Wine's 32-bit loader does not start" % interpreter
    missing = [p for p in PACKAGES if not installed(p)]
    if missing:
        if not may_install or os.geteuid() != 0:
            return "wine32 (i386) is not installed; as root: dpkg --add-architecture i386 && " \
                   "apt-get update && apt-get install -y " + " ".join(missing)
        if not install(missing):
            return "wine32 (i386) could not be installed from the package index now"
    try:
        out = subprocess.run([str(LOADER32), "--version"], capture_output=True, text=True, timeout=60)
    except OSError as e:
        return "Wine's 32-bit loader does not start here (%s)" % e.strerror
    if out.returncode != 0:
        return "Wine's 32-bit loader does not start here (%s)" % (out.stderr.strip().splitlines() or ["?"])[-1]
    return None


if __name__ == "__main__":
    reason = why_not("--install" in sys.argv[1:])
    if reason:
        print(reason)
    sys.exit(1 if reason else 0)
