"""The release package (dist/package.py, `make dist`): what the zip holds,
the version every executable carries in its version block, the guide in the
code page Notepad reads, and the packages that must not be made."""

import os
import re
import shutil
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
# Modules of other directories are imported, never compiled into them.
sys.dont_write_bytecode = True
sys.path.insert(0, str(ROOT / "dist"))

import package  # noqa: E402

WIN64 = Path(os.environ.get("DIST_BUILD", ROOT / "build" / "win64")).resolve()
# The 32-bit build next to the 64-bit one: build/win32 beside build/win64.
WIN32 = Path(os.environ.get("DIST_WIN32_BUILD", WIN64.parent / WIN64.name.replace("win64", "win32"))).resolve()
EXES = {"chkort.exe": WIN64 / "shell" / "chkort.exe", "chkort-cli.exe": WIN64 / "console" / "chkort-cli.exe"}

REPORT_LINES = ["Erreur debutacte -> N° patient =", "N° patient = P -->Enregistrement =",
                "Croisement N° patient =", "Fiche alterée -> N° patient =", "Erreur suivant -> N° patient =",
                "Erreur finacte -> N° patient =", "Erreur Precedent -> N° patient =",
                "Erreur lignes différentes début-fin -> N° patient ="]


def menu_items():
    script = (ROOT / "resources" / "chkort.rc").read_text(encoding="utf-8")
    return [m.replace("&", "") for m in re.findall(r'MENUITEM "([^"]+)"', script)]


class Package(unittest.TestCase):

    def setUp(self):
        for exe in EXES.values():
            if not exe.exists():
                self.skipTest("%s is not built" % exe)
        self.out = Path(tempfile.mkdtemp(prefix="chkort-dist-"))
        self.addCleanup(shutil.rmtree, self.out, True)

    def test_every_executable_carries_the_version_and_its_own_name(self):
        numbers, label = package.source_version()
        self.assertEqual(label, "%d.%d.%d" % numbers)
        for name, exe in EXES.items():
            self.assertEqual(package.version_block(exe), (numbers + (0,), name))

    def test_the_zip(self):
        if not (WIN32 / "shell" / "chkort.exe").exists():
            self.skipTest("the 32-bit build is not there (%s)" % WIN32)
        target = package.package(WIN64, WIN32, self.out)
        _, label = package.source_version()
        top = "chkort-%s" % label
        self.assertEqual(target.name, top + ".zip")
        with zipfile.ZipFile(target) as z:
            self.assertEqual(sorted(z.namelist()),
                             sorted("%s/%s" % (top, n) for n in ("64-bits/chkort.exe", "64-bits/chkort-cli.exe",
                                                                  "32-bits/chkort.exe", "LISEZMOI.txt")))
            self.assertEqual(z.read(top + "/64-bits/chkort.exe"), EXES["chkort.exe"].read_bytes())
            self.assertEqual(z.read(top + "/64-bits/chkort-cli.exe"), EXES["chkort-cli.exe"].read_bytes())
            thirty_two = z.read(top + "/32-bits/chkort.exe")
            self.assertEqual(thirty_two, (WIN32 / "shell" / "chkort.exe").read_bytes())
            self.assertEqual(thirty_two[thirty_two.find(b"PE\0\0") + 4:][:2], b"\x4c\x01")  # i386
            guide = z.read(top + "/LISEZMOI.txt")
        self.assertEqual(guide, package.guide_bytes(label))
        self.assertNotIn(b"\n", guide.replace(b"\r\n", b""))
        self.assertIn(("Version %s" % label).encode(), guide)
        # The same inputs make the same zip.
        again = package.package(WIN64, WIN32, self.out / "again")
        self.assertEqual(again.read_bytes(), target.read_bytes())

    def test_nothing_is_made_from_the_wrong_executables(self):
        fake = self.out / "fake"
        for folder in ("shell", "console"):
            (fake / folder).mkdir(parents=True)
        shutil.copy(EXES["chkort-cli.exe"], fake / "console" / "chkort-cli.exe")
        # chkort-cli.exe where chkort.exe should be: it names itself.
        shutil.copy(EXES["chkort-cli.exe"], fake / "shell" / "chkort.exe")
        with self.assertRaisesRegex(package.PackageError, "calls itself chkort-cli.exe"):
            package.package(fake, fake, self.out / "zip")
        host = WIN64 / "tools" / "fakehost" / "14.0" / "ortavo.exe"
        if host.exists():
            shutil.copy(host, fake / "shell" / "chkort.exe")
            with self.assertRaisesRegex(package.PackageError, "carries version 14.0.0.0, not"):
                package.package(fake, fake, self.out / "zip")
        (fake / "shell" / "chkort.exe").write_bytes(b"MZ nothing here")
        with self.assertRaisesRegex(package.PackageError, "has no version block"):
            package.package(fake, fake, self.out / "zip")
        self.assertFalse((self.out / "zip").exists() and any((self.out / "zip").iterdir()))


class Guide(unittest.TestCase):
    """The guide speaks of every command of the menu and every line of the
    report, by the names the technician sees."""

    def test_the_guide_names_every_command_and_report_line(self):
        text = package.guide_bytes("x").decode("cp1252")
        items = menu_items()
        self.assertGreater(len(items), 20)
        for item in items:
            self.assertIn(item, text)
        for line in REPORT_LINES:
            self.assertIn(line, text)
        for command in ("chkort-cli test", "chkort-cli sizes", "chkort-cli show", "chkort-cli diagnose",
                        "c:\\tmp\\erreurfiche.txt", "c:\\tmp\\testfich.txt"):
            self.assertIn(command, text)


if __name__ == "__main__":
    unittest.main()
