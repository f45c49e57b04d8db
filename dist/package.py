"""The release package: chkort.exe for 64-bit and 32-bit Windows,
chkort-cli.exe for 64-bit Windows and the technicians' guide, in one zip
named after the version.

    python3 dist/package.py --win64 BUILD64 --win32 BUILD32 [--out DIR]

The version comes from resources/version.h; each executable's version block
must carry the same one, and name the file it is in, and each must import
only what Windows XP has (dist/imports.py), or nothing is made.
The guide is written here in UTF-8 and goes into the zip in Windows-1252 with
CR LF line ends, as Notepad on any Windows reads it."""

import argparse
import re
import struct
import sys
import zipfile
from pathlib import Path

import imports

ROOT = Path(__file__).resolve().parent.parent
VERSION_H = ROOT / "resources" / "version.h"
GUIDE = ROOT / "dist" / "guide-technicien.txt"
# Fixed times make the same inputs give the same zip.
STAMP = (2024, 1, 1, 0, 0, 0)


class PackageError(Exception):
    pass


def source_version():
    text = VERSION_H.read_text()
    numbers = [int(re.search(r"#define CHKORT_VERSION_%s (\d+)" % part, text).group(1))
               for part in ("MAJOR", "MINOR", "PATCH")]
    label = re.search(r'#define CHKORT_VERSION_TEXT "([^"]+)"', text).group(1)
    if label != "%d.%d.%d" % tuple(numbers):
        raise PackageError("version.h disagrees with itself: %s and %r" % (numbers, label))
    return tuple(numbers), label


def version_block(exe):
    """(file version as four numbers, OriginalFilename) from an executable's
    version block: VS_FIXEDFILEINFO after its signature 0xFEEF04BD, and the
    UTF-16 value that follows the key "OriginalFilename"."""
    data = Path(exe).read_bytes()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise PackageError("%s has no version block" % exe)
    ms, ls = struct.unpack_from("<II", data, at + 8)
    version = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    key = "OriginalFilename\0".encode("utf-16-le")
    k = data.find(key, at)
    if k < 0:
        raise PackageError("%s names no original file in its version block" % exe)
    v = k + len(key)
    v += (4 - v % 4) % 4  # values start on a 32-bit boundary
    end = v
    while data[end:end + 2] != b"\0\0":
        end += 2
    return version, data[v:end].decode("utf-16-le")


def guide_bytes(label):
    text = GUIDE.read_text(encoding="utf-8").replace("@VERSION@", label)
    try:
        return text.replace("\n", "\r\n").encode("cp1252")
    except UnicodeEncodeError as e:
        raise PackageError("the guide holds a character Windows-1252 lacks: %r" % text[e.start:e.end])


def package(win64, win32, out):
    numbers, label = source_version()
    name = "chkort-%s" % label
    members = [("64-bits/chkort.exe", Path(win64) / "shell" / "chkort.exe"),
               ("64-bits/chkort-cli.exe", Path(win64) / "console" / "chkort-cli.exe"),
               ("32-bits/chkort.exe", Path(win32) / "shell" / "chkort.exe")]
    for member, exe in members:
        if not exe.exists():
            raise PackageError("%s is not built" % exe)
        version, original = version_block(exe)
        if version[:3] != numbers:
            raise PackageError("%s carries version %s, not %s" % (exe, ".".join(map(str, version)), label))
        if original != Path(member).name:
            raise PackageError("%s calls itself %s in its version block, not %s" % (exe, original, Path(member).name))
        try:
            why, _ = imports.refusals(exe)
        except imports.PEError as e:
            why = [str(e)]
        if why:
            raise PackageError("; ".join(why))
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    target = out / (name + ".zip")
    partial = target.with_suffix(".zip.part")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for member, exe in members:
            info = zipfile.ZipInfo("%s/%s" % (name, member), STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, exe.read_bytes())
        info = zipfile.ZipInfo("%s/LISEZMOI.txt" % name, STAMP)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        z.writestr(info, guide_bytes(label))
    partial.replace(target)
    return target


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--win64", required=True, help="the 64-bit build directory")
    parser.add_argument("--win32", required=True, help="the 32-bit build directory")
    parser.add_argument("--out", default=str(ROOT / "build" / "dist"))
    args = parser.parse_args(argv)
    try:
        target = package(args.win64, args.win32, args.out)
    except PackageError as e:
        print("package: %s" % e, file=sys.stderr)
        return 1
    print(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
