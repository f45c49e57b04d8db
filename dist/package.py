"""The release package: chkort.exe and chkort-cli.exe for 64-bit and 32-bit
Windows and the technicians' guide, in one zip named after the version, with
the SHA-256 of each of its files in SHA256SUMS.

    python3 dist/package.py --win64 BUILD64 --win32 BUILD32 [--out DIR]

The version comes from resources/version.h; each executable's version block
must carry the same one, and name the file it is in, and each must be built
for its folder's Windows and import only what Windows XP has
(dist/imports.py), or nothing is made.
The guide is written here in UTF-8 and goes into the zip in Windows-1252 with
CR LF line ends, as Notepad on any Windows reads it.

With a code-signing certificate in the environment, every executable is
signed (Authenticode, SHA-256, by osslsigncode) and each signature verified
before the zip is made:
    CHKORT_SIGN_PFX        the certificate and its private key, a PKCS#12 file
    CHKORT_SIGN_PASSWORD   its password
    CHKORT_SIGN_TIMESTAMP  optional: the URL of an RFC 3161 timestamping
                           server (none is reachable from the build machines)
Without CHKORT_SIGN_PFX the package is made unsigned, and says so."""

import argparse
import collections
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

import imports

ROOT = Path(__file__).resolve().parent.parent
VERSION_H = ROOT / "resources" / "version.h"
GUIDE = ROOT / "dist" / "guide-technicien.txt"
# Fixed times make the same inputs give the same zip.
STAMP = (2024, 1, 1, 0, 0, 0)
# Where osslsigncode looks for trusted roots unless told otherwise.
SYSTEM_ROOTS = Path("/etc/ssl/certs/ca-certificates.crt")

Signing = collections.namedtuple("Signing", "pfx password timestamp")


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


def signing_from(environ):
    """The certificate the environment gives, or None."""
    if not environ.get("CHKORT_SIGN_PFX"):
        return None
    if "CHKORT_SIGN_PASSWORD" not in environ:
        raise PackageError("CHKORT_SIGN_PFX is given without CHKORT_SIGN_PASSWORD")
    return Signing(Path(environ["CHKORT_SIGN_PFX"]), environ["CHKORT_SIGN_PASSWORD"],
                   environ.get("CHKORT_SIGN_TIMESTAMP") or None)


def run(command, failure, stdin=None):
    """stdout of `command`; when it fails, PackageError naming `failure` and
    what the tool says: osslsigncode's verdict on stdout, otherwise the first
    line on stderr."""
    try:
        out = subprocess.run([str(c) for c in command], input=stdin, capture_output=True, text=True, timeout=300)
    except OSError as e:
        raise PackageError("%s: %s: %s" % (failure, command[0], e.strerror)) from None
    if out.returncode != 0:
        said = [line.strip() for line in out.stdout.splitlines() if "MISMATCH" in line or "Error:" in line]
        said += out.stderr.splitlines()
        raise PackageError("%s: %s" % (failure, said[0] if said else "%s exit status %d" % (command[0], out.returncode)))
    return out.stdout


def verify(signed, trusted):
    """PackageError unless the signature of `signed` matches the file and was
    made by a certificate of the PEM file `trusted`. Without a network, no
    revocation list is fetched."""
    run(["osslsigncode", "verify", "-in", signed, "-CAfile", trusted, "-ignore-cdp"],
        "the signature of %s does not verify" % signed)


def signed(members, signing, stage):
    """The executables signed with the certificate, as copies in `stage`, each
    signature verified. Whether Windows trusts the certificate is Windows'
    business; the check here is that each signature matches its file and was
    made by the certificate given, trusted beside the system's roots."""
    stamp = ["-ts", signing.timestamp] if signing.timestamp else []
    copies = []
    for member, exe in members:
        copy = stage / member.replace("/", "-")
        run(["osslsigncode", "sign", "-pkcs12", signing.pfx, "-readpass", "-", "-h", "sha256", "-n", "CHKORT",
             *stamp, "-in", exe, "-out", copy], "%s could not be signed" % exe, signing.password)
        copies.append((member, copy))
    signature, trusted = stage / "signature.p7", stage / "signers.pem"
    run(["osslsigncode", "extract-signature", "-pem", "-in", copies[0][1], "-out", signature],
        "the signature of %s could not be read" % copies[0][1])
    certificates = run(["openssl", "pkcs7", "-print_certs", "-in", signature],
                       "the signature of %s carries no certificate" % copies[0][1])
    trusted.write_text(certificates + (SYSTEM_ROOTS.read_text() if SYSTEM_ROOTS.exists() else ""))
    for _, copy in copies:
        verify(copy, trusted)
    return copies


def package(win64, win32, out, signing=None):
    numbers, label = source_version()
    name = "chkort-%s" % label
    members = [("64-bits/chkort.exe", Path(win64) / "shell" / "chkort.exe"),
               ("64-bits/chkort-cli.exe", Path(win64) / "console" / "chkort-cli.exe"),
               ("32-bits/chkort.exe", Path(win32) / "shell" / "chkort.exe"),
               ("32-bits/chkort-cli.exe", Path(win32) / "console" / "chkort-cli.exe")]
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
            machine = imports.read_pe(exe)[0]
        except imports.PEError as e:
            why = [str(e)]
        arch = "x86" if member.startswith("32-bits/") else "x64"
        if not why and imports.MACHINES[machine][0] != arch:
            why = ["%s is for %s Windows, not %s" % (exe, imports.MACHINES[machine][0], arch)]
        if why:
            raise PackageError("; ".join(why))
    with tempfile.TemporaryDirectory(prefix="chkort-sign-") as stage:
        if signing:
            members = signed(members, signing, Path(stage))
        files = [(member, exe.read_bytes()) for member, exe in members]
    files.append(("LISEZMOI.txt", guide_bytes(label)))
    sums = "".join("%s  %s\r\n" % (hashlib.sha256(data).hexdigest(), member) for member, data in files)
    files.append(("SHA256SUMS", sums.encode("ascii")))
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    target = out / (name + ".zip")
    partial = target.with_suffix(".zip.part")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for member, data in files:
            info = zipfile.ZipInfo("%s/%s" % (name, member), STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    partial.replace(target)
    return target


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--win64", required=True, help="the 64-bit build directory")
    parser.add_argument("--win32", required=True, help="the 32-bit build directory")
    parser.add_argument("--out", default=str(ROOT / "build" / "dist"))
    args = parser.parse_args(argv)
    try:
        signing = signing_from(os.environ)
        target = package(args.win64, args.win32, args.out, signing)
    except PackageError as e:
        print("package: %s" % e, file=sys.stderr)
        return 1
    if not signing:
        print("Unsigned: no code-signing certificate given (CHKORT_SIGN_PFX, see README.md)")
    elif not signing.timestamp:
        print("Signed without a timestamp: Windows accepts the signatures until the certificate expires")
    print(target)
    print("SHA-256 %s" % hashlib.sha256(target.read_bytes()).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main())
