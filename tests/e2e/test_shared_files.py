"""chkort.exe under Wine while another program has the practice's data files
open, as the host application has while it runs.

With every data file held open for reading and writing, with read and write
sharing, by holder.exe --shared: the views, the raw browsers, the integrity
tests, the size test and every repair give what the models of the other
end-to-end tests say they give on a practice nobody else holds (the views
and repairs of test_repairs_model.py, the browse of test_views_pages.py, the
integrity test of test_checks_integrity.py, the sizes of
test_checks_sizes.py); and a byte the holder writes while the program runs
shows in the next view, since nothing guards against a concurrent writer.

With one data file held without sharing, each of the seven in turn: the
open-failure box for that file at start, the files after it never tried,
the window opened all the same, commands that need a file that is not open
failing with that file's box, the size test saying "Erreur" for every file
the program could not open, and nothing written."""

import hashlib
import subprocess
import unittest

from harness import SESSION, Script
from test_checks_integrity import (CMD_TEST_CLINIQUE, CMD_TEST_ESTIME, HOLDER, OPEN_ORDER, Holder,
                                   Model as IntegrityModel)
from test_checks_sizes import CMD_TEST_SIZES, ROWS, counters, verdict
from test_repairs_cut import VIEW_COMMANDS, Plan
from test_repairs_fields import Edits
from test_repairs_firstrec import Corrections
from test_repairs_model import (CHART, CLINICAL, CMD_REMOVE_BILLING, C_SIZE, C_TEXT50, DATA_FILES, MAIN_TITLE,
                                NUMERO, QUOTES, RepairCase)
from test_repairs_relink import Relinks
from test_views_pages import BROWSE_CLINIQUE, BROWSE_ESTIME, LINE_DIALOG, Views

DATA_DIR = "c:\\ortavo\\data"
SHARING_VIOLATION = 32
CLOSING_ORDER = ["Fschema", "param", "firstrec", "lastrec", "estime", "clinique", "identite"]
OPEN_FAILED = "Erreur d'ouverture du fichier - "
INVALID_PATIENT = "Numéro du patient non valide."
CMD_RESET_BALANCE = 122


def held_path(name):
    return DATA_DIR + "\\" + name


def digest(directory):
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in sorted(directory.iterdir())}


class SharedFiles(RepairCase):

    # -- the holder

    def hold_all_shared(self, *write):
        """holder.exe holding the nine data files with read and write
        sharing (and, with write, the write it waits to make); checked to
        hold each of them: an open without sharing of any one is refused."""
        SESSION.start()
        SESSION.layout(self.run_dir)
        paths = [held_path(name) for name in DATA_FILES]
        holder = Holder("--shared", *(("--write-on",) + write if write else ()), *paths)
        holder.__enter__()
        self.addCleanup(holder.__exit__)
        probe = subprocess.run(["wine", str(HOLDER), "--probe", *paths], env=SESSION.env(), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
        self.assertEqual(probe.stdout.decode().split(), ["refused", str(SHARING_VIOLATION)] * len(paths))
        return holder

    def run_held(self, holder, script):
        r = self.run_script(script).check()
        self.assertTrue(holder.alive(), "the holder let go of the files before the end")
        self.assertEqual(r.exit_code, 0)
        # The program opened its seven files beside the holder, sharing
        # reading and writing itself.
        opens = [(o.path.rsplit("\\", 1)[1], o.ok, o.share) for o in r.file_opens if o.path.startswith(DATA_DIR)]
        self.assertEqual(opens[:7], [(name, True, 3) for name in OPEN_ORDER])
        self.assertTrue(all(ok for _, ok, _ in opens), opens)
        return r

    @staticmethod
    def sound(m, kind, least=2):
        """Patients whose chain of `kind` is at least `least` long and, but
        for the dental chart, the same walked from either end."""
        whole = min(m.last_patient, len(m.files["firstrec"]) // 32)
        return [p for p in range(1, whole + 1)
                if len(m.chain(kind, p, most=500)) >= least
                and (kind is CHART or m.chain(kind, p, most=500) == m.chain(kind, p, False, 500)[::-1])]

    # -- shared with the host

    def test_views_and_checks_beside_the_host(self):
        m = self.start_practice(None, "--patients", "20", "--variant", "4", "--damage", "uneven:clinique:4",
                                "--damage", "shared:estime:7:6", "--damage", "truncate:firstrec:20")
        files = self.read_files()
        patient = {kind: self.sound(m, kind, 3)[0] for kind in (CLINICAL, QUOTES, CHART)}
        integrity = {c: IntegrityModel(files, c) for c in (CMD_TEST_ESTIME, CMD_TEST_CLINIQUE)}
        self.assertTrue(all(model.report and model.boxes for model in integrity.values()))
        before = digest(self.data)

        s = Script().wait_window(*MAIN_TITLE).idle()
        # The browse first: it shows the ordinal of the last walk, 0 here.
        browses = [("browse clinique", BROWSE_CLINIQUE, 1), ("browse estime", BROWSE_ESTIME, 5)]
        for mark, command, line in browses:
            s.mark(mark).command(command).fill(LINE_DIALOG, (1000, str(line))).idle()
        views = list(VIEW_COMMANDS)
        for kind, forward in views:
            s.mark("view %s %s" % (kind.name, forward)).command(VIEW_COMMANDS[kind, forward])
            s.fill(NUMERO, (1000, str(patient[kind]))).idle()
        for command, model in integrity.items():
            s.mark("test %d" % command).command(command)
            for _ in model.boxes:
                s.box()
            s.idle()
        s.mark("sizes").command(CMD_TEST_SIZES).idle().mark("end").close().wait_exit()

        holder = self.hold_all_shared()
        r = self.run_held(holder, s)

        self.assertEqual(digest(self.data), before, "a view or a test changed a data file")
        self.assertEqual(self.data_writes(r), [])
        # Each view's first page, as the model draws it.
        for kind, forward in views:
            self.assertRedrawn(r, "view %s %s" % (kind.name, forward), m, kind, patient[kind], forward)
        # The browses, page for page; the page's depth is the window's.
        first = r.section(browses[0][0]).texts
        advance, limit = first[1].y - first[0].y, first[-1].y
        pages = Views(files, advance, limit)
        for mark, command, line in browses:
            pages.browse(command, line)
            expected = pages.paint()
            drawn = r.section(mark).texts
            self.assertGreater(len(expected), 10)
            self.assertEqual([(t.x, t.y, t.colour) for t in drawn], [(x, y, c) for x, y, c, _ in expected], mark)
            for t, (_, _, _, raw) in zip(drawn, expected):
                self.assertEqual((t.raw, t.count), (raw[:len(t.raw)], len(raw)), mark)
        # The integrity tests: progress, boxes and verdict in their order,
        # and the clinical test's report and owner map, the last written.
        for command, model in integrity.items():
            section = r.section("test %d" % command)
            texts = {id(t.call): t for t in section.texts}
            seen = [("text", texts[id(c)].x, texts[id(c)].y, texts[id(c)].raw) if c.name == "TextOutA"
                    else ("box", c.str(2).decode("cp1252"))
                    for c in section.calls if c.name in ("TextOutA", "MessageBoxA")]
            self.assertEqual(seen, model.events, command)
            self.assertEqual(section.texts[-1].colour, model.colour)
        self.assertEqual((self.tmp / "erreurfiche.txt").read_bytes(), integrity[CMD_TEST_CLINIQUE].report)
        self.assertEqual((self.tmp / "testfich.txt").read_bytes(), integrity[CMD_TEST_CLINIQUE].owner_map)
        # The sizes, firstrec cut short among them; the test's own handle
        # on identite opened beside the window's and the holder's.
        counts = counters(files["lastrec"])
        lines = [(0, 20 * i, ("%s -> %s" % (label, verdict(len(files[name]), size_of(counts)))).encode("cp1252"))
                 for i, (label, name, size_of) in enumerate(ROWS)]
        self.assertEqual([(t.x, t.y, t.raw) for t in r.section("sizes").texts], lines)
        self.assertIn(b"Firstrec -> Erreur", [raw for _, _, raw in lines])
        self.assertEqual([(o.path.rsplit("\\", 1)[1], o.ok) for o in r.section("sizes").file_opens],
                         [("patient", True), ("patient.tri", True), ("identite", True)])
        # No box but the integrity tests' own.
        self.assertEqual([(b.caption, b.text) for b in r.message_boxes],
                         [(caption, "Erreur") for model in integrity.values() for caption in model.boxes])

    @staticmethod
    def data_writes(r):
        """The program's writes to data files (handles are followed open by
        open, since a closed one's value comes back)."""
        return [t for t in r.transfers if t.write and (t.path or "").startswith(DATA_DIR)]

    def test_repairs_beside_the_host(self):
        m = self.start_practice(None, "--patients", "16", "--variant", "6", "--lines", "120",
                                "--damage", "uneven:clinique:3", "--damage", "loop:estime:5")
        clinical, quotes, chart = (self.sound(m, kind, 3) for kind in (CLINICAL, QUOTES, CHART))
        self.assertTrue(len(clinical) >= 3 and len(quotes) >= 2 and chart, (clinical, quotes, chart))
        a, d, e = clinical[:3]
        b, f = quotes[:2]
        c = chart[0]

        # One script, one group of repairs after the other; each group's
        # steps are checked in the script's order on the one model.
        cuts = Plan(self, m)
        s = cuts.script
        cuts.cut(CLINICAL, a, "2")
        cuts.cut(QUOTES, b, "1", forward=False)
        cuts.cut(CHART, c, "2")
        cuts.cut(CLINICAL, d, "0")
        # Patient 3's reverse links skip a line: a cut at the chain's length
        # mends them.
        cuts.cut(CLINICAL, 3, str(len(m.chain(CLINICAL, 3))))
        relinks = Relinks(self, m)
        relinks.script = s
        relinks.relink(CLINICAL, str(e), "2", "5", "7")
        relinks.relink(QUOTES, str(f), "1", "0", "3")
        corrections = Corrections(self, m)
        corrections.script = s
        corrections.correct(CLINICAL, str(b), "12", "40")
        corrections.correct(QUOTES, str(a), "3", "")
        corrections.correct(CHART, str(e), "7")
        edits = Edits(self, m)
        edits.script = s
        edits.reset(str(c))
        edits.user("3", "5")
        edits.colour(("49", "50"))
        edits.design("5", "12")
        s.mark("billing").command(CMD_REMOVE_BILLING).idle()
        s.close().wait_exit()

        holder = self.hold_all_shared()
        r = self.run_held(holder, s)

        for group in (cuts, relinks, corrections, edits):
            group.check(r)
        m.remove_billing()
        self.assertSection(r, "billing", m, texts=True)
        self.assertFilesAsModel(m)
        # Every group wrote.
        for group in (cuts, relinks, corrections, edits):
            marks = [step[0] for step in group.steps]
            self.assertTrue(any(self.writes(r.section(mark)) for mark in marks), marks)
        self.assertTrue(self.writes(r.section("billing")))

    def test_a_line_the_host_writes_shows_in_the_next_view(self):
        m = self.start_practice(None, "--patients", "10", "--variant", "8")
        p = self.sound(m, CLINICAL, 2)[0]
        line = m.chain(CLINICAL, p)[0]
        offset = (line - 1) * C_SIZE + C_TEXT50
        written = b"ECRIT PAR L'HOTE"
        self.assertNotEqual(bytes(m.files["clinique"][offset:offset + len(written)]), written)
        s = Script().wait_window(*MAIN_TITLE).idle()
        s.mark("before").command(VIEW_COMMANDS[CLINICAL, True]).fill(NUMERO, (1000, str(p))).idle()
        s.mark("host writes").signal("host-write").wait_event("host-write.done")
        s.mark("after").command(VIEW_COMMANDS[CLINICAL, True]).fill(NUMERO, (1000, str(p))).idle()
        s.close().wait_exit()

        holder = self.hold_all_shared("host-write", held_path("clinique"), str(offset), written.hex())
        r = self.run_held(holder, s)
        self.assertEqual(holder.line(), b"written")

        self.assertRedrawn(r, "before", m, CLINICAL, p)
        self.assertEqual(r.section("host writes").calls, [])
        m.files["clinique"][offset:offset + len(written)] = written
        self.assertFilesAsModel(m)
        after = self.assertRedrawn(r, "after", m, CLINICAL, p)
        self.assertIn(written, after.texts[1].raw)
        self.assertNotIn(written, r.section("before").texts[1].raw)

    # -- held without sharing

    def test_a_file_held_without_sharing_stops_the_opening_there(self):
        m = self.start_practice(None, "--patients", "12", "--variant", "2")
        pc, pq = self.sound(m, CLINICAL)[0], self.sound(m, QUOTES)[0]
        files = self.read_files()
        before = digest(self.data)
        for i, held in enumerate(OPEN_ORDER):
            with self.subTest(held=held):
                opened = OPEN_ORDER[:i]
                counted = "lastrec" in opened
                s = Script().timeout(20000).box()
                if not counted:
                    s.box().box().box().box()
                s.wait_window(*MAIN_TITLE).idle().mark("command")
                # A command that needs the file held: it is not open.
                if held == "estime":
                    s.command(VIEW_COMMANDS[QUOTES, True]).fill(NUMERO, (1000, str(pq))).box().idle()
                    boxes = [("Erreur", "ESTIM", "main")]
                elif held == "clinique":
                    s.command(VIEW_COMMANDS[CLINICAL, True]).fill(NUMERO, (1000, str(pc))).box().idle()
                    boxes = [("Erreur", "CLINIQUE", "main")]
                elif held == "identite":
                    s.command(CMD_RESET_BALANCE).dialog(NUMERO).set(1000, str(pc)).click(1).box().wait_closed().idle()
                    boxes = [("Erreur", "IDENTITE", "main")]
                else:
                    # No counter could be read: every patient is refused.
                    s.command(VIEW_COMMANDS[CLINICAL, True]).fill(NUMERO, (1000, "1")).box().idle()
                    boxes = [(INVALID_PATIENT, "Message", "main")]
                s.mark("sizes").command(CMD_TEST_SIZES)
                if held == "identite":
                    s.box()
                s.idle().mark("end").close().wait_exit()

                SESSION.start()
                SESSION.layout(self.run_dir)
                with Holder(held_path(held)):
                    r = self.run_script(s).check()
                self.assertEqual(r.exit_code, 0)
                self.assertEqual(digest(self.data), before)
                self.assertEqual(self.data_writes(r), [])
                # At start: the files before the held one, the held one
                # refused, none after it.
                start_opens = [o for o in r.file_opens if o.mark is None]
                self.assertEqual([(o.path, o.ok) for o in start_opens],
                                 [(held_path(name), name != held) for name in opened + [held]])
                window = self.main_window(r)
                start_boxes = [b for b in r.message_boxes if b.mark is None]
                self.assertEqual([(b.owner, b.text, b.caption, b.style) for b in start_boxes],
                                 [(window, "Erreur", OPEN_FAILED + held_path(held), 0)]
                                 + ([] if counted else [(0, "Erreur", "LASTREC", 0)] * 4))
                self.assertEqual([(b.caption, b.text, b.icon, b.buttons) for b in r.boxes_shown][:len(start_boxes)],
                                 [(b.caption, b.text, False, "1") for b in start_boxes])
                self.assertEqual(self.boxes(r.section("command"), window), boxes)
                # The size test: the files the program could not open say
                # "Erreur", whatever the counters; a held identite, which it
                # opens for itself, stops it at its open.
                sizes = r.section("sizes")
                if held == "identite":
                    self.assertEqual(self.boxes(sizes, window), [("Erreur", OPEN_FAILED + held_path(held), "main")])
                    self.assertEqual(sizes.texts, [])
                else:
                    counts = counters(files["lastrec"]) if counted else {0: 0, 2: 0, 3: 0, 7: 0}
                    readable = set(opened) | {"patient", "identite"}
                    lines = [(0, 20 * k, ("%s -> %s" % (label, verdict(len(files[name]), size_of(counts))
                                                         if name in readable else "Erreur")).encode("cp1252"))
                             for k, (label, name, size_of) in enumerate(ROWS)]
                    self.assertEqual([(t.x, t.y, t.raw) for t in sizes.texts], lines)
                    self.assertEqual(sizes.message_boxes, [])
                # At the end, what was opened is closed, in its order.
                paths = {o.handle & 0xFFFFFFFF: o.path for o in start_opens if o.ok}
                closed = [paths[c.int(0)].rsplit("\\", 1)[1] for c in r.section("end").calls
                          if c.name == "CloseHandle" and c.int(0) in paths]
                self.assertEqual(closed, [name for name in CLOSING_ORDER if name in opened])


if __name__ == "__main__":
    unittest.main()
