"""The start of chkort.exe under Wine: the host-version guard, with the host
looked for at the root of the current drive, and the window that opens even
when a data file cannot be opened.

What the program asked of the version API, which files it opened and the
boxes it showed are read from the relay trace; the boxes also as they stood
on screen."""

import unittest

from harness import CHKORT, DRIVER, E2ETestCase, Script

TITLE = ("CHKORT", "Utilitaire de ORTAVO")
# Every wait's limit: generous, for a loaded machine, yet bounded.
WAIT = "timeout 20000"
DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"]
REFUSED = ("Attention ! Ce module est destiné pour la version de ORTAVO  V13.XX, V14.XX, V15.XX et V16.XX\n"
           "Vous ne devez pas l'utiliser dans les versions antérieures.")
MB_ICONINFORMATION = 0x40
CLOSING_ORDER = ["Fschema", "param", "firstrec", "lastrec", "estime", "clinique", "identite"]
# CreateFontA's fourteen arguments for the screen font.
SCREEN_FONT = (-13, 0, 0, 0, 400, 0, 0, 0, 0, 3, 2, 1, 31, b"OrtText")


def closed_files(r):
    """The data files closed, by name, in order."""
    paths = {o.handle & 0xFFFFFFFF: o.path for o in r.file_opens if o.ok}
    return [paths[c.int(0)].rsplit("\\", 1)[1] for c in r.calls if c.name == "CloseHandle" and c.int(0) in paths]


class HostGuard(E2ETestCase):
    program = CHKORT

    def refused(self, cwd="c:\\ortavo\\data", host_path="c:\\ortavo\\ortavo.exe"):
        r = self.run_script(Script(WAIT).box().wait_exit(), cwd=cwd).check()
        # One information box, without owner, and nothing else: no window
        # (its creation would open the files and make the font), exit code 0.
        box, = r.message_boxes
        self.assertEqual((box.owner, box.caption, box.text, box.style),
                         (0, "Information", REFUSED, MB_ICONINFORMATION))
        shown, = r.boxes_shown
        self.assertEqual((shown.caption, shown.text, shown.owner, shown.icon, shown.buttons),
                         ("Information", REFUSED, "none", True, "1"))
        self.assertEqual(r.exit_code, 0)
        self.assertEqual([c.name for c in r.calls if c.name in ("CreateFileA", "CreateFontA", "BeginPaint",
                                                                "DialogBoxParamA")], [])
        self.assertEqual(self.version_paths(r), [host_path])
        return r

    def accepted(self, cwd="c:\\ortavo\\data", host_path="c:\\ortavo\\ortavo.exe"):
        r = self.run_script(Script(WAIT).wait_window(*TITLE).idle().no_box(200).close().wait_exit(), cwd=cwd).check()
        self.assertEqual((r.message_boxes, r.exit_code), ([], 0))
        self.assertEqual(self.version_paths(r), [host_path])
        self.assertEqual([o.path for o in r.file_opens], [cwd + "\\" + name for name in DATA_FILES])
        self.assertTrue(all(o.ok for o in r.file_opens))
        # The four counters, read once each in the order patients, clinical
        # lines, quote lines, chart entries.
        self.assertEqual([(t.offset, t.write) for t in r.transfers if t.file == "lastrec"],
                         [(0, False), (48, False), (32, False), (112, False)])
        font, = [c for c in r.calls if c.name == "CreateFontA"]
        self.assertEqual(tuple(font.sint(i) for i in range(13)) + (font.str(13),), SCREEN_FONT)
        # At the end: every file closed in its order, the font deleted, quit.
        self.assertEqual(closed_files(r), CLOSING_ORDER)
        ends = [c for c in r.calls if c.name in ("CloseHandle", "DeleteObject", "PostQuitMessage")]
        self.assertEqual([c.name for c in ends[-2:]], ["DeleteObject", "PostQuitMessage"])
        self.assertEqual(ends[-2].int(0), font.retval & 0xFFFFFFFF)
        return r

    @staticmethod
    def version_paths(r):
        """The files whose version block the program asked the size of."""
        return [c.str(0).decode("cp1252") for c in r.calls if c.name == "GetFileVersionInfoSizeA"]

    def test_old_missing_and_blockless_hosts_are_refused(self):
        self.mkpractice("--patients", "4")
        for version in ("12.9", "13.0"):
            with self.subTest(version):
                self.host(version)
                self.refused()
        with self.subTest("no host"):
            (self.ortavo / "ortavo.exe").unlink()
            r = self.refused()
            size, = [c for c in r.calls if c.name == "GetFileVersionInfoSizeA"]
            self.assertEqual(size.retval, 0)
        with self.subTest("a program without a version block"):
            self.host(DRIVER)
            r = self.refused()
            size, = [c for c in r.calls if c.name == "GetFileVersionInfoSizeA"]
            self.assertEqual(size.retval, 0)

    def test_recent_hosts_are_accepted(self):
        self.mkpractice("--patients", "4")
        for version in ("13.1", "16.5"):
            with self.subTest(version):
                self.host(version)
                self.accepted()

    def test_the_host_is_looked_for_at_the_root_of_the_current_drive(self):
        d = self.drive_d()
        self.mkpractice("--patients", "4", into=d / "data" / "cabinet")
        cwd, on_d = "D:\\data\\cabinet", "D:\\ortavo\\ortavo.exe"
        (d / "ortavo").mkdir()
        with self.subTest("a recent host on C: only"):
            self.host("16.5")
            self.refused(cwd, on_d)
        with self.subTest("an old host on D:, a recent one on C:"):
            (d / "ortavo" / "ortavo.exe").write_bytes(self.host("13.0").read_bytes())
            self.host("16.5")
            self.refused(cwd, on_d)
        with self.subTest("a recent host on D:, none on C:"):
            (d / "ortavo" / "ortavo.exe").write_bytes(self.host("14.0").read_bytes())
            (self.ortavo / "ortavo.exe").unlink()
            self.accepted(cwd, on_d)


class MissingDataFiles(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")

    def test_without_param_nothing_else_is_opened_and_the_window_opens(self):
        # A directory with blanks in its name: the box gives the full path.
        data = self.ortavo / "Cabinet Dupont"
        self.mkpractice("--patients", "4", "--damage", "missing:param", into=data)
        cwd = "c:\\ortavo\\Cabinet Dupont"
        r = self.run_script(Script(WAIT).box().box().box().box().box().wait_window(*TITLE).idle().no_box(300)
                            .close().wait_exit(), cwd=cwd).check()
        self.assertEqual(r.exit_code, 0)
        opened, = r.file_opens
        self.assertEqual((opened.path, opened.ok), (cwd + "\\param", False))
        window = int(r.windows[0].hwnd, 16)
        # The open box is owned by the window being created; the four
        # counters are then read through lastrec, which is not open, before
        # the window is known: four boxes without owner.
        self.assertEqual([(b.owner, b.text, b.caption, b.style) for b in r.message_boxes],
                         [(window, "Erreur", "Erreur d'ouverture du fichier - " + cwd + "\\param", 0)]
                         + [(0, "Erreur", "LASTREC", 0)] * 4)
        self.assertEqual([(b.caption, b.text, b.icon, b.buttons) for b in r.boxes_shown],
                         [(m.caption, "Erreur", False, "1") for m in r.message_boxes])
        self.assertEqual([b.owner for b in r.boxes_shown][1:], ["none"] * 4)
        self.assertEqual(closed_files(r), [])

    def test_without_clinique_identite_is_never_tried(self):
        self.mkpractice("--patients", "4", "--damage", "missing:clinique")
        cwd = "c:\\ortavo\\data"
        r = self.run_script(Script(WAIT).box().wait_window(*TITLE).idle()
                            # A view then fails at the first clinical line,
                            # once, and ends.
                            .mark("view").command(102).fill("Numéro du patient", (1000, "1")).box().idle()
                            .key("enter").idle().no_box(300).close().wait_exit(), cwd=cwd).check()
        self.assertEqual(r.exit_code, 0)
        self.assertEqual([(o.path, o.ok) for o in r.file_opens],
                         [(cwd + "\\" + name, name != "clinique") for name in DATA_FILES[:6]])
        window = int(r.windows[0].hwnd, 16)
        self.assertEqual([(b.owner, b.text, b.caption, b.style) for b in r.message_boxes],
                         [(window, "Erreur", "Erreur d'ouverture du fichier - " + cwd + "\\clinique", 0),
                          (window, "Erreur", "CLINIQUE", 0)])
        view = r.section("view")
        self.assertEqual([t.raw[:10] for t in view.texts], [b"DEBUTACTE:"])
        self.assertEqual(closed_files(r), [name for name in CLOSING_ORDER if name in DATA_FILES[:5]])


if __name__ == "__main__":
    unittest.main()
