"""The release package (dist/package.py, `make dist`): what the zip holds,
the version every executable carries, the guide in the code page Notepad
reads and naming what the technician sees, and the packages not made, one
of them for an import Windows XP lacks."""

import os
import re
import shutil
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
sys.dont_write_bytecode = True  # modules of other directories are imported, never compiled into them
sys.path.insert(0, str(ROOT / "dist"))

import package  # noqa: E402

WIN64 = Path(os.environ.get("DIST_BUILD", ROOT / "build" / "win64")).resolve()
WIN32 = WIN64.parent / WIN64.name.replace("win64", "win32")
EXES = {"chkort.exe": WIN64 / "shell" / "chkort.exe", "chkort-cli.exe": WIN64 / "console" / "chkort-cli.exe",
        "32": WIN32 / "shell" / "chkort.exe"}


class Package(unittest.TestCase):

    def setUp(self):
        for exe in EXES.values():
            if not exe.exists():
                self.skipTest("%s is not built" % exe)
        self.out = Path(tempfile.mkdtemp(prefix="chkort-dist-"))
        self.addCleanup(shutil.rmtree, self.out, True)

    def test_the_zip_and_its_guide(self):
        numbers, label = package.source_version()
        for name in ("chkort.exe", "chkort-cli.exe"):
            self.assertEqual(package.version_block(EXES[name]), (numbers + (0,), name))
        top = "chkort-%s/" % label
        with zipfile.ZipFile(package.package(WIN64, WIN32, self.out)) as z:
            self.assertEqual(sorted(z.namelist()), sorted(top + n for n in (
                "64-bits/chkort.exe", "64-bits/chkort-cli.exe", "32-bits/chkort.exe", "LISEZMOI.txt")))
            for name, inside in (("chkort.exe", "64-bits/chkort.exe"), ("chkort-cli.exe", "64-bits/chkort-cli.exe"),
                                 ("32", "32-bits/chkort.exe")):
                self.assertEqual(z.read(top + inside), EXES[name].read_bytes())
            guide = z.read(top + "LISEZMOI.txt")
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
        shutil.copy(EXES["chkort-cli.exe"], fake / "console" / "chkort-cli.exe")
        # CreateFileA renamed CreateFile2, of Windows 8: the version block is right, the import is not.
        windows8 = EXES["chkort.exe"].read_bytes().replace(b"CreateFileA\0", b"CreateFile2\0")
        for chkort, refusal in ((EXES["chkort-cli.exe"].read_bytes(), "calls itself chkort-cli.exe"),
                                ((WIN64 / "tools" / "fakehost" / "14.0" / "ortavo.exe").read_bytes(),
                                 "carries version 14.0.0.0, not"),
                                (b"MZ nothing here", "has no version block"),
                                (windows8, r"imports CreateFile2 from KERNEL32\.dll, which xp-imports\.txt does not")):
            (fake / "shell" / "chkort.exe").write_bytes(chkort)
            with self.assertRaisesRegex(package.PackageError, refusal):
                package.package(fake, fake, self.out / "zip")
        self.assertFalse((self.out / "zip").exists() and any((self.out / "zip").iterdir()))


if __name__ == "__main__":
    unittest.main()
