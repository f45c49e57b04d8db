"""The release package (dist/package.py, `make dist`): what the zip holds,
its sums, the version every executable carries and no trace of the machine
that built it, the guide in the code page Notepad reads and naming what the
technician sees, the packages not made, one of them for an import Windows XP
lacks, and the package signed with a throwaway certificate."""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
sys.dont_write_bytecode = True  # modules of other directories are imported, never compiled into them
sys.path.insert(0, str(ROOT / "dist"))

import imports  # noqa: E402
import package  # noqa: E402

WIN64 = Path(os.environ.get("DIST_BUILD", ROOT / "build" / "win64")).resolve()
WIN32 = WIN64.parent / WIN64.name.replace("win64", "win32")
EXES = {"64-bits/chkort.exe": WIN64 / "shell" / "chkort.exe",
        "64-bits/chkort-cli.exe": WIN64 / "console" / "chkort-cli.exe",
        "32-bits/chkort.exe": WIN32 / "shell" / "chkort.exe",
        "32-bits/chkort-cli.exe": WIN32 / "console" / "chkort-cli.exe"}


class Package(unittest.TestCase):

    def setUp(self):
        for exe in EXES.values():
            if not exe.exists():
                self.skipTest("%s is not built" % exe)
        self.out = Path(tempfile.mkdtemp(prefix="chkort-dist-"))
        self.addCleanup(shutil.rmtree, self.out, True)

    def test_the_zip_and_its_guide(self):
        numbers, label = package.source_version()
        for member, exe in EXES.items():
            self.assertEqual(package.version_block(exe), (numbers + (0,), Path(member).name))
            # Nothing of the machine that built it: no path, no link time.
            data = exe.read_bytes()
            for path in {str(ROOT), str(WIN64.parent)}:
                self.assertNotIn(path.encode(), data)
                self.assertNotIn(path.encode("utf-16-le"), data)
            self.assertEqual(struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 8)[0], 0)
        top = "chkort-%s/" % label
        with zipfile.ZipFile(package.package(WIN64, WIN32, self.out)) as z:
            self.assertEqual(sorted(z.namelist()), sorted(top + n for n in list(EXES) + ["LISEZMOI.txt", "SHA256SUMS"]))
            for member, exe in EXES.items():
                self.assertEqual(z.read(top + member), exe.read_bytes())
            guide = z.read(top + "LISEZMOI.txt")
            z.extractall(self.out)
        sums = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=self.out / top,
                              capture_output=True, text=True)
        self.assertEqual(sums.stdout.splitlines(), ["%s: OK" % n for n in list(EXES) + ["LISEZMOI.txt"]])
        self.assertNotIn(b"\n", guide.replace(b"\r\n", b""))
        text = guide.decode("cp1252")
        self.assertIn("Version %s" % label, text)
        items = [m.replace("&", "") for m in re.findall(r'MENUITEM "([^"]+)"', (ROOT / "resources" / "chkort.rc")
                                                         .read_text(encoding="utf-8"))]
        self.assertGreater(len(items), 20)
        for named in items + ["Erreur debutacte -> N° patient =", "Croisement N° patient =", "chkort-cli diagnose",
                              "Fiche alterée -> N° patient =", "c:\\tmp\\erreurfiche.txt", "c:\\tmp\\testfich.txt"]:
            self.assertIn(named, text)

    def test_nothing_is_made_from_the_wrong_executables(self):
        fake = self.out / "fake"
        for folder in ("shell", "console"):
            (fake / folder).mkdir(parents=True)
        shutil.copy(EXES["64-bits/chkort-cli.exe"], fake / "console" / "chkort-cli.exe")
        # CreateFileA renamed CreateFile2, of Windows 8: the version block is right, the import is not.
        windows8 = EXES["64-bits/chkort.exe"].read_bytes().replace(b"CreateFileA\0", b"CreateFile2\0")
        for chkort, refusal in ((EXES["64-bits/chkort-cli.exe"].read_bytes(), "calls itself chkort-cli.exe"),
                                ((WIN64 / "tools" / "fakehost" / "14.0" / "ortavo.exe").read_bytes(),
                                 "carries version 14.0.0.0, not"),
                                (b"MZ nothing here", "has no version block"),
                                (EXES["64-bits/chkort.exe"].read_bytes(), r"chkort\.exe is for x64 Windows, not x86"),
                                (windows8, r"imports CreateFile2 from KERNEL32\.dll, which xp-imports\.txt does not")):
            (fake / "shell" / "chkort.exe").write_bytes(chkort)
            with self.assertRaisesRegex(package.PackageError, refusal):
                package.package(fake, fake, self.out / "zip")
        self.assertFalse((self.out / "zip").exists() and any((self.out / "zip").iterdir()))

    def test_signed(self):
        for tool in ("openssl", "osslsigncode"):
            if not shutil.which(tool):
                self.skipTest("%s is not installed" % tool)
        key, cert, pfx = self.out / "key.pem", self.out / "cert.pem", self.out / "essai.pfx"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=CHKORT essai", "-addext", "extendedKeyUsage=codeSigning"],
                       check=True, capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                        "-passout", "pass:essai"], check=True, capture_output=True)
        with self.assertRaisesRegex(package.PackageError, r"chkort\.exe could not be signed: .*Wrong password"):
            package.package(WIN64, WIN32, self.out / "zip", package.Signing(pfx, "autre", None))
        self.assertFalse((self.out / "zip").exists())
        top = self.out / "zip" / ("chkort-%s" % package.source_version()[1])
        with zipfile.ZipFile(package.package(WIN64, WIN32, self.out / "zip", package.Signing(pfx, "essai", None))) as z:
            z.extractall(self.out / "zip")
        for member in EXES:
            signed = top / member
            self.assertEqual(imports.refusals(signed)[0], [])
            package.verify(signed, cert)
            with self.assertRaisesRegex(package.PackageError, "does not verify: Error: self-signed certificate"):
                package.verify(signed, package.SYSTEM_ROOTS)
            data = bytearray(signed.read_bytes())
            data[0x1000] ^= 1  # in the code
            signed.write_bytes(data)
            with self.assertRaisesRegex(package.PackageError, "does not verify: Calculated message digest.*MISMATCH"):
                package.verify(signed, cert)


if __name__ == "__main__":
    unittest.main()
