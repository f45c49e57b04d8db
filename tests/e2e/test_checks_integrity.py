"""The integrity test of chkort.exe under Wine ("Test du Fichier clinique",
112, and "Test du Fichier devis", 115), on generated practices, sound and
with every kind of damage that mkpractice makes, alone and together on one
patient.

The report c:\\tmp\\erreurfiche.txt and the owner map c:\\tmp\\testfich.txt
are read back from the prefix and compared byte for byte with what a model
written here from the rules of the test gives (Model below): it reads the
data files itself and never asks the program. Also checked: the progress and
verdict lines drawn, the error boxes and their order, and that no data file
changed."""

import hashlib
import select
import shutil
import struct
import subprocess
import time
import unittest
from pathlib import Path

from harness import CHKORT, E2E_BUILD, SESSION, E2ETestCase, Script

HOLDER = E2E_BUILD / "holder.exe"

CMD_TEST_CLINIQUE, CMD_TEST_ESTIME = 112, 115
TITLE = ("CHKORT", "Utilitaire de ORTAVO")

# The data files in the order the program opens them; it stops at the first
# that cannot be opened.
OPEN_ORDER = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"]

GREEN, RED = 0x008000, 0x000080  # COLORREF of RGB(0,128,0) and RGB(128,0,0)
VERDICT_SOUND = "Vous n'avez pas d'erreurs dans la base de données.".encode("cp1252")
VERDICT_ERRORS = ("Présence des erreurs dans la base de données. "
                  "Consultez c:\\tmp\\erreurfiche.txt.").encode("cp1252")
# CreateFontA's fourteen arguments for the verdict.
VERDICT_FONT = (-18, 0, 0, 0, 700, 0, 0, 0, 0, 3, 2, 1, 31, b"Arial")


# ---------------------------------------------------------------- the model

class Chain:
    """Where one tested file keeps what the test needs."""

    def __init__(self, name, caption, record, prev, nxt, counter, start, end):
        self.name, self.caption, self.record = name, caption, record
        self.prev, self.next = prev, nxt
        self.counter = counter  # lastrec record holding the line count
        self.start, self.end = start, end  # offsets in a firstrec record


CHAINS = {
    CMD_TEST_CLINIQUE: Chain("clinique", "CLINIQUE", 224, 141, 145, 3, 0, 4),
    CMD_TEST_ESTIME: Chain("estime", "ESTIM", 86, 67, 71, 2, 8, 12),
}


def i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def report_line(text, *numbers):
    return (text % numbers).encode("cp1252") + b"\r\n"


class Model:
    """What one integrity test should write, draw and show, worked out from
    the data files alone."""

    def __init__(self, files, command):
        self.files = files
        self.chain = CHAINS[command]
        self.opened = set()
        for name in OPEN_ORDER:
            if name not in files:
                break
            self.opened.add(name)
        # The counters are read once at start; one that cannot be read is 0.
        lastrec = files.get("lastrec", b"") if "lastrec" in self.opened else b""

        def counter(i):
            return i32(lastrec, 16 * i + 12) if len(lastrec) >= 16 * (i + 1) else 0

        self.patients = counter(0)
        self.count = counter(self.chain.counter)
        self.report = b""
        self.owners = [0] * max(self.count, 0)
        self.boxes = []   # captions of the "Erreur" boxes, in order
        self.events = []  # ("text", x, y, bytes) and ("box", caption), in order
        self._run()

    def _read(self, name, number, size):
        if name not in self.opened:
            return None
        data = self.files[name]
        offset = ((number - 1) * size) & 0xFFFFFFFF
        return data[offset:offset + size] if offset + size <= len(data) else None

    def _write(self, text, *numbers):
        self.report += report_line(text, *numbers)

    def _box(self, caption):
        self.boxes.append(caption)
        self.events.append(("box", caption))

    def _progress(self, y, k, n):
        self.events.append(("text", 10, y, b"%8d/%9d" % (k, n)))

    def _walk(self, p, first, forward):
        """Visits, link it stopped on, and how it ended: 'end', 'runaway'
        or 'unreadable'."""
        c, n = self.chain, self.count
        visits, last_owner, r = 0, 0, first
        while r >= 1:
            if r > n:
                break
            visits += 1
            record = self._read(c.name, r, c.record)
            if record is None:
                self._box(c.caption)
                return visits, r, "unreadable"
            outward = i32(record, c.prev if forward else c.next)
            if r == first and outward != 0:
                self._write("N° patient = %8d -->Enregistrement = %9d", p, r)
            q = self.owners[r - 1]
            if q == 0:
                self.owners[r - 1] = p
            elif q != p and q != last_owner:
                self._write("Croisement N° patient = %8d --> %9d", p, q)
                last_owner = q
            r = i32(record, c.next if forward else c.prev)
            if visits > 5000:
                self._write("Fiche alterée -> N° patient = %8d", p)
                return visits, r, "runaway"
        return visits, r, "end"

    def _patient(self, p):
        c, n = self.chain, self.count
        ends = self._read("firstrec", p, 32)
        if ends is None:
            self._box("FIRSTREC")
            return
        start, end = i32(ends, c.start), i32(ends, c.end)
        forward = 0
        if start < 0 or start > n:
            self._write("Erreur debutacte -> N° patient = %8d", p)
        else:
            forward, stop, how = self._walk(p, start, True)
            if how != "end":
                return
            if stop < 0 or stop > n:
                self._write("Erreur suivant -> N° patient = %8d", p)
        if end < 0 or end > n:
            self._write("Erreur finacte -> N° patient = %8d", p)
            return
        backward, stop, how = self._walk(p, end, False)
        if how != "end":
            return
        if stop < 0 or stop > n:
            self._write("Erreur Precedent -> N° patient = %8d", p)
            return
        if forward != backward:
            self._write("Erreur lignes différentes début-fin -> N° patient = %8d", p)

    def _run(self):
        for k in range(1, self.count + 1):
            self._progress(10, k, self.count)
        for p in range(1, self.patients + 1):
            self._progress(40, p, self.patients)
            self._patient(p)
        self.events.append(("text", 10, 40, self.verdict))

    @property
    def owner_map(self):
        return b"".join(struct.pack("<i", q) for q in self.owners)

    @property
    def verdict(self):
        return VERDICT_ERRORS if self.report else VERDICT_SOUND

    @property
    def colour(self):
        return RED if self.report else GREEN


# ---------------------------------------------------------------- the model, checked by hand

def practice_files(patients, count, chains, record=224, prev=141, nxt=145, strays=()):
    """A tiny practice for the model's own tests: chains[p] is patient p's
    (start, end, [(line, prev, next), ...])."""
    lastrec = bytearray(80 * 16)
    for i, v in ((0, patients), (3, count), (2, count)):
        struct.pack_into("<i", lastrec, 16 * i + 12, v)
    firstrec = bytearray(32 * patients)
    lines = bytearray(record * count)
    for p, (start, end, links) in chains.items():
        struct.pack_into("<ii", firstrec, 32 * (p - 1), start, end)
        for line, back, forth in links:
            struct.pack_into("<i", lines, record * (line - 1) + prev, back)
            struct.pack_into("<i", lines, record * (line - 1) + nxt, forth)
    files = {name: b"" for name in OPEN_ORDER}
    files.update(lastrec=bytes(lastrec), firstrec=bytes(firstrec), clinique=bytes(lines))
    return files


def run_links(lines):
    """Sound links for a chain through `lines`."""
    return [(r, lines[i - 1] if i else 0, lines[i + 1] if i + 1 < len(lines) else 0) for i, r in enumerate(lines)]


class TheModelByHand(unittest.TestCase):
    """The model against reports worked out by hand, so that an error in it
    cannot hide behind an agreeing program. No Wine needed."""

    def report(self, patients, count, chains):
        return Model(practice_files(patients, count, chains), CMD_TEST_CLINIQUE)

    def test_sound_chains_and_the_map_of_owners(self):
        m = self.report(3, 6, {1: (3, 5, run_links([3, 1, 5])), 3: (2, 6, run_links([2, 6]))})
        self.assertEqual(m.report, b"")
        self.assertEqual(m.owners, [1, 3, 1, 0, 1, 3])
        self.assertEqual(m.colour, GREEN)

    def test_findings_of_one_patient_in_their_order(self):
        # Patient 2: first line's back link 9, a line of patient 1 on the
        # way, a next link beyond the file, end pointer -1.
        m = self.report(2, 8, {1: (1, 1, run_links([1])), 2: (4, -1, [(4, 9, 1)])})
        self.assertEqual(m.report, (
            "N° patient =        2 -->Enregistrement =         4\r\n"
            "Croisement N° patient =        2 -->         1\r\n"
            "Erreur finacte -> N° patient =        2\r\n").encode("cp1252"))
        m = self.report(1, 8, {1: (-3, 9, [])})
        self.assertEqual(m.report, b"Erreur debutacte -> N\xb0 patient =        1\r\n"
                                   b"Erreur finacte -> N\xb0 patient =        1\r\n")
        m = self.report(1, 8, {1: (2, 3, [(2, 0, 3), (3, 7, 0), (7, 12, 0)])})
        self.assertEqual(m.report, b"Erreur Precedent -> N\xb0 patient =        1\r\n")
        m = self.report(1, 8, {1: (0, 3, [(3, 2, 0), (2, 0, 3)])})
        self.assertEqual(m.report, "Erreur lignes différentes début-fin -> N° patient =        1\r\n".encode("cp1252"))

    def test_runaway_chains_at_five_thousand_visits(self):
        lines = list(range(1, 5002))
        m = self.report(2, 5001, {1: (1, 5000, run_links(lines[:5000])),
                                  2: (5001, 5001, [(5001, 0, 0)])})
        self.assertEqual(m.report, b"")
        m = self.report(1, 5001, {1: (1, 5001, run_links(lines))})
        self.assertEqual(m.report, "Fiche alterée -> N° patient =        1\r\n".encode("cp1252"))

    def test_one_crossing_line_per_walk_and_owner(self):
        # Patient 3's forward walk runs through lines 1 and 2 of patient 1,
        # its backward walk through line 3 of patient 2.
        m = self.report(3, 6, {1: (1, 2, run_links([1, 2])), 2: (3, 4, run_links([3, 4])),
                               3: (5, 6, [(5, 0, 1), (6, 3, 0)])})
        self.assertEqual(m.report, "".join([
            "Croisement N° patient =        3 -->         1\r\n",
            "Croisement N° patient =        3 -->         2\r\n",
            "Erreur lignes différentes début-fin -> N° patient =        3\r\n"]).encode("cp1252"))
        self.assertEqual(m.owners, [1, 1, 2, 2, 3, 3])

    def test_unreadable_lines_and_firstrec_records(self):
        files = practice_files(2, 4, {1: (1, 2, run_links([1, 2])), 2: (3, 4, run_links([3, 4]))})
        files["clinique"] = files["clinique"][:224 * 3 + 100]
        m = Model(files, CMD_TEST_CLINIQUE)
        self.assertEqual((m.report, m.boxes, m.owners), (b"", ["CLINIQUE"], [1, 1, 2, 0]))
        files["firstrec"] = files["firstrec"][:40]
        m = Model(files, CMD_TEST_CLINIQUE)
        self.assertEqual(m.boxes, ["FIRSTREC"])
        del files["Fschema"]  # nothing after it is opened
        m = Model(files, CMD_TEST_CLINIQUE)
        self.assertEqual((m.patients, m.count, m.owner_map, m.boxes), (0, 0, b"", []))


# ---------------------------------------------------------------- under Wine

def u32_of(v):
    return (v or 0) & 0xFFFFFFFF


def digest(directory):
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in sorted(Path(directory).iterdir())}


def read_files(directory):
    return {p.name: p.read_bytes() for p in Path(directory).iterdir()}


class Holder:
    """holder.exe keeping files of the prefix open for the length of a
    `with` block (at most a minute): one file without sharing, or with the
    options of holder.cpp (--shared PATH...)."""

    def __init__(self, *args):
        self.args = args if args[0].startswith("--") else args + ("60",)

    def __enter__(self):
        self.proc = subprocess.Popen(["wine", str(HOLDER), *self.args], env=SESSION.env(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.line()
        if line != b"held":
            self.__exit__()
            raise AssertionError("holder.exe did not hold %s: %r" % (" ".join(self.args), line))
        return self

    def line(self, timeout=30):
        """The holder's next line of output."""
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        return self.proc.stdout.readline().strip() if ready else b"(nothing within %d s)" % timeout

    def alive(self):
        return self.proc.poll() is None

    def __exit__(self, *exc):
        try:
            self.proc.stdin.close()
            self.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()


class IntegrityTest(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")

    # -- running

    def script_for(self, *commands, start_boxes=0, boxes=()):
        """Start, let each command run to its end with the boxes it shows
        answered, close. A mark before each command collects what it did."""
        s = Script().timeout(20000)
        for _ in range(start_boxes):
            s.box()
        s.wait_window(*TITLE).idle()
        for i, command in enumerate(commands):
            s.mark("test %d" % i).command(command)
            for _ in range(boxes[i] if boxes else 0):
                s.box()
            s.idle()
        return s.mark("end").close().wait_exit()

    def run_tests(self, *commands, start_boxes=0):
        files = read_files(self.data)
        models = [Model(files, c) for c in commands]
        before = digest(self.data)
        r = self.run_script(self.script_for(*commands, start_boxes=start_boxes,
                                             boxes=[len(m.boxes) for m in models])).check()
        self.assertEqual(digest(self.data), before, "the test changed a data file")
        self.assertEqual(r.exit_code, 0)
        for i, m in enumerate(models):
            self.check_drawing(r.section("test %d" % i), m)
        return r, models

    # -- what is checked

    def check_files(self, model):
        self.assertEqual((self.tmp / "erreurfiche.txt").read_bytes(), model.report)
        self.assertEqual((self.tmp / "testfich.txt").read_bytes(), model.owner_map)

    def check_drawing(self, section, model):
        """Progress lines, error boxes and the verdict, in their order; the
        verdict in its colour and its own font."""
        seen = []
        texts = {id(t.call): t for t in section.texts}
        for call in section.calls:
            if call.name == "TextOutA":
                t = texts[id(call)]
                self.assertTrue(t.complete, t)
                seen.append(("text", t.x, t.y, t.raw))
            elif call.name == "MessageBoxA":
                seen.append(("box", call.str(2).decode("cp1252")))
        self.assertEqual(len(seen), len(model.events))
        self.assertEqual(seen, model.events)
        for box in section.message_boxes:
            self.assertEqual((box.text, box.style), ("Erreur", 0))
        # As seen on screen: owned by the main window, OK alone, no icon.
        self.assertEqual([(b.caption, b.text, b.owner, b.icon, b.buttons) for b in section.boxes_shown],
                         [(c, "Erreur", "main", False, "1") for c in model.boxes])
        *progress, verdict = section.texts
        self.assertTrue(all(t.colour == 0 for t in progress))
        self.assertEqual(verdict.colour, model.colour)
        fonts = [c for c in section.calls if c.name == "CreateFontA"]
        self.assertEqual(len(fonts), 1)
        font = fonts[0]
        self.assertEqual(tuple(font.sint(i) for i in range(13)) + (font.str(13),), VERDICT_FONT)
        selected = [c for c in section.calls if c.name == "SelectObject"]
        # The verdict font goes in just before the verdict and the previous
        # font back just after it.
        into = [c for c in selected if c.int(1) == u32_of(font.retval)]
        self.assertEqual(len(into), 1)
        order = section.calls.index
        self.assertLess(order(into[0]), order(verdict.call))
        after = [c for c in selected if order(c) > order(verdict.call)]
        self.assertTrue(after and after[0].int(1) == u32_of(into[0].retval), after)

    # -- scenarios

    def test_a_sound_practice_twice_in_a_row(self):
        self.mkpractice("--patients", "30", "--variant", "3")
        r, (first, second, quotes) = self.run_tests(CMD_TEST_CLINIQUE, CMD_TEST_CLINIQUE, CMD_TEST_ESTIME)
        self.assertEqual(first.report + second.report + quotes.report, b"")
        self.assertGreater(first.count, 200)
        self.check_files(quotes)

    def test_each_kind_of_damage_on_a_patient_of_its_own(self):
        kinds = ["start-negative", "start-high", "end-negative", "end-high", "first-prev", "last-next",
                 "next-high", "prev-high", "uneven", "loop", "shared", "long"]
        damages = []
        for i, kind in enumerate(kinds):
            # Clinique on patients 2, 4, ..., estime on 3, 5, ...; "shared"
            # takes its lower neighbour's chain.
            damages += ["--damage", "%s:clinique:%d" % (kind, 2 * i + 2),
                        "--damage", "%s:estime:%d" % (kind, 2 * i + 3)]
        damages[damages.index("long:clinique:24")] = "long:clinique:24:5001"
        damages[damages.index("long:estime:25")] = "long:estime:25:60"
        self.mkpractice("--patients", "30", *damages, "--damage", "truncate:estime:28")
        # The quote file first, then the clinical one: the second test's
        # files replace the first's.
        r, (quotes, clinique) = self.run_tests(CMD_TEST_ESTIME, CMD_TEST_CLINIQUE)
        self.check_files(clinique)
        for m in (quotes, clinique):
            self.assertNotEqual(m.report, b"")
        self.assertEqual((quotes.boxes, clinique.boxes), (["ESTIM"], []))
        # Every kind of finding is there, from the patients of its damage.
        found = set(line.split(b" ->")[0].split(b" =")[0] for line in clinique.report.splitlines())
        self.assertEqual(len(found), 8, found)
        # The quote file's report, in a run of its own.
        r, (alone,) = self.run_tests(CMD_TEST_ESTIME)
        self.check_files(alone)

    def test_damages_together_on_one_patient(self):
        self.mkpractice(
            "--patients", "12",
            "--damage", "first-prev:clinique:4", "--damage", "last-next:clinique:4",
            "--damage", "next-high:clinique:4", "--damage", "prev-high:clinique:4",
            "--damage", "uneven:clinique:4", "--damage", "start-high:clinique:6",
            "--damage", "end-negative:clinique:6", "--damage", "loop:clinique:7",
            "--damage", "first-prev:clinique:7", "--damage", "shared:clinique:9:7",
            "--damage", "long:clinique:10:60", "--damage", "uneven:clinique:10",
            "--damage", "prev-high:clinique:10", "--damage", "truncate:clinique:10",
            "--damage", "start-negative:estime:2", "--damage", "end-high:estime:2",
            "--damage", "last-next:estime:5", "--damage", "uneven:estime:5",
            "--damage", "next-high:estime:5", "--damage", "truncate:firstrec:12")
        r, (clinique,) = self.run_tests(CMD_TEST_CLINIQUE)
        self.check_files(clinique)
        self.assertEqual(clinique.boxes, ["CLINIQUE", "FIRSTREC"])
        r, (quotes,) = self.run_tests(CMD_TEST_ESTIME)
        self.check_files(quotes)
        self.assertEqual(quotes.boxes, ["FIRSTREC"])

    def test_missing_files(self):
        # Without clinique the quote test still runs; the clinical one meets
        # an unreadable first line in every chain.
        self.mkpractice("--patients", "8", "--damage", "missing:clinique", "--damage", "uneven:estime:3")
        r, (quotes, clinique) = self.run_tests(CMD_TEST_ESTIME, CMD_TEST_CLINIQUE, start_boxes=1)
        opened = r.boxes_shown[0]
        self.assertEqual((opened.caption.lower(), opened.text),
                         ("erreur d'ouverture du fichier - c:\\ortavo\\data\\clinique", "Erreur"))
        self.assertIn(b"Erreur lignes", quotes.report)
        self.assertGreater(len(clinique.boxes), 2)
        self.check_files(clinique)

    def test_without_c_tmp_nothing_is_drawn_nor_read(self):
        # Patient 6's firstrec record is cut: reading it would show a box.
        self.mkpractice("--patients", "6", "--damage", "truncate:firstrec:6")
        shutil.rmtree(self.tmp)
        before = digest(self.data)
        r = self.run_script(self.script_for(CMD_TEST_CLINIQUE, CMD_TEST_ESTIME)).check()
        self.assertEqual(digest(self.data), before)
        for i in range(2):
            s = r.section("test %d" % i)
            self.assertEqual((s.texts, s.message_boxes), ([], []))
            opens = [(o.path.lower(), o.ok) for o in s.file_opens]
            self.assertEqual(opens, [("c:\\tmp\\testfich.txt", False)])
            # Every record transfer starts with a seek: there is none.
            self.assertEqual([c for c in s.calls if c.name == "SetFilePointer"], [])
        self.assertFalse(self.tmp.exists())
        # The same practice with c:\tmp: the box that reading gives.
        self.tmp.mkdir()
        r, (m,) = self.run_tests(CMD_TEST_CLINIQUE)
        self.assertEqual(m.boxes, ["FIRSTREC"])
        self.check_files(m)

    def test_a_report_file_held_by_another_program(self):
        self.mkpractice("--patients", "6", "--damage", "truncate:firstrec:6")
        old_report, old_map = b"an earlier report\r\n", b"\x01\x00\x00\x00" * 9
        for held in ("erreurfiche.txt", "testfich.txt"):
            (self.tmp / "erreurfiche.txt").write_bytes(old_report)
            (self.tmp / "testfich.txt").write_bytes(old_map)
            SESSION.start()
            SESSION.layout(self.run_dir)
            before = digest(self.data)
            with Holder("c:\\tmp\\" + held):
                r = self.run_script(self.script_for(CMD_TEST_CLINIQUE)).check()
            self.assertEqual(digest(self.data), before)
            s = r.section("test 0")
            self.assertEqual((s.texts, s.message_boxes), ([], []))
            self.assertEqual([c for c in s.calls if c.name in ("SetFilePointer", "WriteFile")], [])
            opens = [(o.path.lower().rsplit("\\", 1)[1], o.ok) for o in s.file_opens]
            if held == "testfich.txt":
                # Nothing further is tried: the earlier report stays.
                self.assertEqual(opens, [("testfich.txt", False)])
                self.assertEqual((self.tmp / "testfich.txt").read_bytes(), old_map)
            else:
                # The map was made afresh and closed; the report stays.
                self.assertEqual(opens, [("testfich.txt", True), ("testfich.txt", True),
                                         ("erreurfiche.txt", False)])
                self.assertEqual((self.tmp / "testfich.txt").read_bytes(), b"")
            self.assertEqual((self.tmp / "erreurfiche.txt").read_bytes(), old_report)



if __name__ == "__main__":
    unittest.main()
