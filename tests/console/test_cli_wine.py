"""chkort-cli next to chkort.exe, under Wine: on every damaged sample the
console's report and owner map are the window's, byte for byte (natively and
from chkort-cli.exe); the lines of its views are the ones the window draws;
every repair its diagnosis proposes, carried out through the window's menus
and dialogs, leaves a practice the test finds sound; and the Windows console
build keeps its exit statuses, its UTF-8 output and its hands off the data."""

import json
import os
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
# Modules of other directories are imported, never compiled into them.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parent / "e2e"))

from harness import BUILD, CHKORT, NATIVE_BUILD, SESSION, E2ETestCase, Script  # noqa: E402
from test_checks_integrity import CMD_TEST_CLINIQUE, CMD_TEST_ESTIME, Model  # noqa: E402

CLI = NATIVE_BUILD / "console" / "chkort-cli"
CLI_EXE = BUILD / "console" / "chkort-cli.exe"
TITLE = ("CHKORT", "Utilitaire de ORTAVO")
NUMERO, LIGNE = "Numéro du patient", "Correction du dossier"
FIRSTREC_DIALOGS = {109: "Correction du Firstrec - Fiche Clinique", 110: "Correction du Firstrec - Devis"}
CMD_CORRECT = 113
VIEWS = {("clinical", False): 102, ("clinical", True): 103, ("quotes", False): 104, ("quotes", True): 105,
         ("chart", False): 106}
TIMEOUT = 120

KINDS = ["start-negative", "start-high", "end-negative", "end-high", "first-prev", "last-next", "next-high",
         "prev-high", "uneven", "loop", "shared"]


def each_kind(*extra):
    damages = ["--patients", "26"]
    for i, kind in enumerate(KINDS):
        damages += ["--damage", "%s:clinique:%d" % (kind, 2 * i + 2), "--damage", "%s:estime:%d" % (kind, 2 * i + 3)]
    return damages + list(extra)


SAMPLES = {
    "kinds": each_kind("--damage", "long:clinique:24:5001", "--damage", "truncate:estime:26"),
    "together": ["--patients", "12",
                 "--damage", "first-prev:clinique:4", "--damage", "last-next:clinique:4",
                 "--damage", "next-high:clinique:4", "--damage", "prev-high:clinique:4",
                 "--damage", "uneven:clinique:4", "--damage", "start-high:clinique:6",
                 "--damage", "end-negative:clinique:6", "--damage", "loop:clinique:7",
                 "--damage", "shared:clinique:9:7", "--damage", "truncate:clinique:10",
                 "--damage", "start-negative:estime:2", "--damage", "end-high:estime:2",
                 "--damage", "last-next:estime:5", "--damage", "uneven:estime:5",
                 "--damage", "next-high:estime:5", "--damage", "truncate:firstrec:12"],
}


def walk(files, chain, patient):
    """A patient's chain forward from its start, and back from its end."""
    name, size, prev, nxt, start_at, end_at = {"clinique": ("clinique", 224, 141, 145, 0, 4),
                                               "devis": ("estime", 86, 67, 71, 8, 12)}[chain]
    lines, firstrec = files[name], files["firstrec"]
    out = []
    for at, link in ((start_at, nxt), (end_at, prev)):
        r, seen = int.from_bytes(firstrec[32 * (patient - 1) + at:][:4], "little", signed=True), []
        while r >= 1 and len(seen) <= 6000:
            seen.append(r)
            r = int.from_bytes(lines[size * (r - 1) + link:][:4], "little", signed=True)
        out.append(seen)
    return out[0], out[1][::-1]


def read_files(directory):
    return {p.name: p.read_bytes() for p in Path(directory).iterdir() if p.is_file()}


class ConsoleAndWindow(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        for needed in (CLI, CLI_EXE):
            if not needed.exists():
                self.skipTest("%s is not built" % needed)
        self.host("14.0")

    # -- running

    def native(self, *args):
        return subprocess.run([str(CLI), *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=TIMEOUT, stdin=subprocess.DEVNULL)

    def wine(self, *args):
        """chkort-cli.exe in the session's prefix, on this test's c:\\ortavo."""
        SESSION.start()
        SESSION.layout(self.run_dir)
        self.addCleanup(self.forget_work_directories)
        return subprocess.run(["wine", str(CLI_EXE), *map(str, args)], env=SESSION.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=TIMEOUT, stdin=subprocess.DEVNULL)

    @staticmethod
    def forget_work_directories():
        """What chkort-cli.exe left in the prefix's temporary directory when
        no output file was named."""
        if SESSION.slot is not None:
            for work in SESSION.prefix.glob("drive_c/users/*/[Tt]emp/chkort-cli-*"):
                shutil.rmtree(work, ignore_errors=True)

    def window_test(self, command, boxes, start_boxes=0):
        s = Script().timeout(30000)
        for _ in range(start_boxes):
            s.box()
        s.wait_window(*TITLE).idle().command(command)
        for _ in range(boxes):
            s.box()
        return self.run_script(s.idle().close().wait_exit()).check()

    # -- the report

    def test_the_report_and_the_map_are_the_windows_on_every_damaged_sample(self):
        compared = 0
        for name, args in SAMPLES.items():
            for command, target in ((CMD_TEST_CLINIQUE, "clinique"), (CMD_TEST_ESTIME, "devis")):
                with self.subTest(sample=name, file=target):
                    for p in self.data.iterdir():
                        p.unlink()
                    self.mkpractice(*args)
                    model = Model(read_files(self.data), command)
                    self.window_test(command, len(model.boxes))
                    window = ((self.tmp / "erreurfiche.txt").read_bytes(), (self.tmp / "testfich.txt").read_bytes())
                    self.assertTrue(window[0], "the sample is meant to be damaged")
                    r = self.native("test", target, self.data, "--report", self.run_dir / "native-report",
                                    "--map", self.run_dir / "native-map")
                    native = ((self.run_dir / "native-report").read_bytes(), (self.run_dir / "native-map").read_bytes())
                    self.assertEqual(native, window)
                    self.assertEqual(r.returncode, 1)
                    r = self.wine("test", target, "c:\\ortavo\\data", "--report", "c:\\tmp\\cli-report",
                                  "--map", "c:\\tmp\\cli-map")
                    self.assertEqual(r.returncode, 1, r.stderr)
                    self.assertEqual(((self.tmp / "cli-report").read_bytes(), (self.tmp / "cli-map").read_bytes()),
                                     window)
                    compared += 1
        # Without clinique the window opens the files before it only, and its
        # quote test runs all the same; so does the console's.
        for p in self.data.iterdir():
            p.unlink()
        self.mkpractice("--patients", "8", "--damage", "missing:clinique", "--damage", "uneven:estime:3")
        model = Model(read_files(self.data), CMD_TEST_ESTIME)
        self.window_test(CMD_TEST_ESTIME, len(model.boxes), start_boxes=1)
        window = (self.tmp / "erreurfiche.txt").read_bytes()
        self.assertIn(b"Erreur lignes", window)
        r = self.native("test", "devis", self.data, "--report", self.run_dir / "native-report")
        self.assertEqual(((self.run_dir / "native-report").read_bytes(), r.returncode), (window, 1))
        r = self.wine("test", "devis", "c:\\ortavo\\data", "--report", "c:\\tmp\\cli-report")
        self.assertEqual(((self.tmp / "cli-report").read_bytes(), r.returncode), (window, 1))
        self.assertEqual(compared, 4)

    # -- the views

    def test_the_lines_of_the_views_are_the_windows(self):
        self.mkpractice("--patients", "12", "--variant", "5", "--damage", "next-high:clinique:3",
                        "--damage", "start-high:estime:4")
        views = [(kind, patient, from_end) for patient in (3, 4)
                 for kind, from_end in (("clinical", False), ("clinical", True), ("quotes", False),
                                        ("quotes", True), ("chart", False))]
        s = Script().wait_window(*TITLE).idle()
        expected = {}
        for kind, patient, from_end in views:
            mark = "%s %d %s" % (kind, patient, from_end)
            s.mark(mark).command(VIEWS[kind, from_end]).fill(NUMERO, (1000, str(patient))).idle()
            r = self.native("show", kind, patient, self.data, "--raw", *(["--from-end"] if from_end else []))
            self.assertEqual(r.returncode, 0, r.stderr)
            lines = r.stdout.split(b"\n")[:-1]
            self.assertLess(len(lines), 25, "a view of one page is meant")
            expected[mark] = lines
        r = self.run_script(s.mark("end").close().wait_exit()).check()
        self.assertEqual(r.message_boxes, [])
        for mark, lines in expected.items():
            with self.subTest(view=mark):
                # The first paint that draws anything: the whole view, since
                # it fits in one page; the window may paint it again later.
                pages, current = [], None
                by_call = {id(t.call): t for t in r.section(mark).texts}
                for call in r.section(mark).calls:
                    if call.name == "BeginPaint":
                        current = []
                        pages.append(current)
                    elif call.name == "TextOutA":
                        current.append(by_call[id(call)])
                page = [p for p in pages if p][0]
                self.assertTrue(all(t.complete for t in page))
                self.assertEqual([t.raw for t in page], lines)

    # -- the repairs

    def test_every_repair_the_diagnosis_proposes_mends_the_practice(self):
        self.mkpractice(*each_kind())
        r = self.native("diagnose", "all", self.data, "--json")
        self.assertEqual(r.returncode, 1, r.stderr)
        doc = json.loads(r.stdout)
        s = Script().timeout(20000).wait_window(*TITLE).idle()
        repairs = []
        for entry in doc["patients"]:
            for chain in entry["chains"]:
                repair = chain["repair"]
                if repair is None:
                    continue
                repairs.append((entry["patient"], chain["chain"], repair["action"]))
                if repair["action"] == "cut":
                    s.command(repair["command_id"]).fill(NUMERO, (1000, str(repair["patient"]))).idle()
                    s.command(CMD_CORRECT).fill(LIGNE, (1000, str(repair["ordinal"]))).idle()
                else:
                    s.command(repair["command_id"]).fill(FIRSTREC_DIALOGS[repair["command_id"]],
                                                         (1000, str(repair["patient"])), (1001, str(repair["start"])),
                                                         (1002, str(repair["end"]))).idle()
        # One repair for each damaged chain, none elsewhere.
        self.assertEqual(sorted((p, c) for p, c, _ in repairs),
                         sorted([(2 * i + 2, "clinique") for i in range(len(KINDS))] +
                                [(2 * i + 3, "devis") for i in range(len(KINDS))]))
        self.assertEqual(sum(a == "firstrec" for _, _, a in repairs), 2)  # the two shared chains get theirs back
        r = self.run_script(s.close().wait_exit()).check()
        self.assertEqual((r.exit_code, r.message_boxes), (0, []))
        for target in ("clinique", "devis"):
            t = self.native("test", target, self.data)
            self.assertEqual((t.returncode, t.stdout), (0, b""), t.stderr)
        d = self.native("diagnose", "all", self.data)
        self.assertEqual((d.returncode, d.stdout.decode()), (0, "Aucun patient à réparer.\n"))
        # Not just sound: each chain is whole again, line for line as in the
        # same practice left undamaged.
        sound = self.run_dir / "sound"
        self.mkpractice(*each_kind(), "--sound", into=sound)
        mended, before = read_files(self.data), read_files(sound)
        for patient, chain, _ in repairs:
            with self.subTest(patient=patient, chain=chain):
                self.assertEqual(walk(mended, chain, patient), walk(before, chain, patient))
                self.assertGreater(len(walk(mended, chain, patient)[0]), 1)

    # -- the Windows console build

    def test_the_windows_console_build(self):
        self.mkpractice(*SAMPLES["together"])
        r = self.wine("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("Utilisation : chkort-cli COMMANDE", r.stdout.decode("utf-8"))
        self.assertEqual(self.wine("--version").stdout, b"chkort-cli 1.0.0\r\n")
        for past in self.data.iterdir():
            os.utime(past, ns=(10 ** 18, 10 ** 18))
            past.chmod(0o444)  # read-only for Windows too
        before = {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in self.data.iterdir()}
        data = "c:\\ortavo\\data"
        cases = [(["test", "clinique", data], 1), (["test", "devis", data, "--json"], 1), (["sizes", data], 1),
                 (["show", "clinical", "3", data], 0), (["show", "quotes", "5", "--from-end", data], 0),
                 (["diagnose", "4", data], 1), (["diagnose", "all", data, "--json"], 1),
                 (["show", "clinical", "13", data], 2), (["test", "devis", "c:\\ortavo\\nowhere"], 2),
                 (["test", "clinique", "c:\\ortavo"], 2), (["frobnicate"], 2)]
        results = {}
        for args, status in cases:
            with self.subTest(args=args):
                r = self.wine(*args)
                self.assertEqual(r.returncode, status, r.stderr.decode("utf-8"))
                results[tuple(args)] = r
        after = {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in self.data.iterdir()}
        self.assertEqual(after, before)
        err = lambda args: results[tuple(args)].stderr.decode("utf-8")  # noqa: E731
        self.assertIn("patient inconnu : 13 (le cabinet compte 12 patients)", err(cases[7][0]))
        self.assertIn("dossier introuvable : c:\\ortavo\\nowhere", err(cases[8][0]))
        self.assertIn("fichier introuvable : c:\\ortavo\\lastrec", err(cases[9][0]))
        # The same output as the Linux build, but for Windows line ends.
        for args in (["show", "clinical", "3"], ["show", "quotes", "5", "--from-end"], ["diagnose", "4"],
                     ["test", "clinique"]):
            with self.subTest(args=args):
                mine = results[tuple(args + [data])].stdout
                linux = self.native(*args, self.data).stdout
                self.assertEqual(mine, linux.replace(b"\n", b"\r\n"))
        self.assertIn("│".encode(), results[("show", "clinical", "3", data)].stdout)
        windows = json.loads(results[("diagnose", "all", data, "--json")].stdout)
        linux = json.loads(self.native("diagnose", "all", self.data, "--json").stdout)
        self.assertEqual(windows["directory"].lower(), "c:\\ortavo\\data")
        windows.pop("directory"), linux.pop("directory")
        self.assertEqual(windows, linux)


if __name__ == "__main__":
    unittest.main()
