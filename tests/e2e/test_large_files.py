"""chkort.exe under Wine on a clinique of ten million lines: 2.24 GB, sparse
but for the lines of a few chains, some of them past 2 GiB. The raw browser
(116) is compared line by line with the bytes placed, the integrity test
(112) by its report and its owner map of ten million slots, the size test
(120) by its verdicts. What each should give is worked out here from what
this file placed; the program is never asked.

The integrity test draws a progress line for each of the ten million slots
of its map, more than any trace could hold: it runs untraced, and what it
wrote is read back from c:\\tmp. It takes a few minutes under Wine."""

import hashlib
import os
import struct
import unittest

from harness import CHKORT, E2ETestCase, Script
from test_views_pages import BLACK, BROWSE_CLINIQUE, LINE_DIALOG, Views, clinical_line

TITLE = ("CHKORT", "Utilitaire de ORTAVO")
CMD_TEST_CLINIQUE, CMD_TEST_SIZES = 112, 120

LINES = 10_000_000
SIZE = 224 * LINES
# Line 9,586,981 begins 128 bytes before 2^31 and ends past it; 9,586,982 is
# the first line wholly past it.
ACROSS, PAST = 9_586_981, 9_586_982
PATIENTS = 4

# Each patient's clinical chain: (start, end), and the lines with their
# links (line, prev, next).
#   1: 1, 2, 9,586,981, 9,586,982, 10,000,000   sound, far out
#   2: 3, 9,999,999                             9,999,999 links on to 10,000,001
#   3: 4, and from 4 on to patient 1's line 10,000,000, ends at 4
#   4: none
ENDS = {1: (1, LINES), 2: (3, LINES - 1), 3: (4, 4), 4: (0, 0)}
LINKS = [(1, 0, 2), (2, 1, ACROSS), (ACROSS, 2, PAST), (PAST, ACROSS, LINES), (LINES, PAST, 0),
         (3, 0, LINES - 1), (LINES - 1, 3, LINES + 1),
         (4, 0, LINES)]
# The first patient whose walk reached each line of a chain.
OWNERS = {1: 1, 2: 1, ACROSS: 1, PAST: 1, LINES: 1, 3: 2, LINES - 1: 2, 4: 3}

REPORT = "".join(line + "\r\n" for line in [
    "Erreur suivant -> N° patient =        2",
    "N° patient =        2 -->Enregistrement =   9999999",
    "Croisement N° patient =        3 -->         1",
    "N° patient =        3 -->Enregistrement =         4",
    "Erreur lignes différentes début-fin -> N° patient =        3",
]).encode("cp1252")


def record(line, prev, nxt):
    """A line of the practice: a pattern of its own, with its links. On the
    far lines three text fields end early, at a zero byte. Letters only, so
    that the trace shows every line whole."""
    r = bytearray(65 + (line * 37 + i * 11) % 26 for i in range(224))
    if line > 4:
        r[5] = r[60] = r[170] = 0
    struct.pack_into("<i", r, 141, prev)
    struct.pack_into("<i", r, 145, nxt)
    return bytes(r)


PLACED = {line: record(line, prev, nxt) for line, prev, nxt in LINKS}


class SparseClinique:
    """clinique as this file lays it, for the model of the views: the lines
    placed, and zeros everywhere else up to ten million lines."""

    def __getitem__(self, cut):
        assert cut.stop - cut.start == 224 and cut.start % 224 == 0, cut
        line = cut.start // 224 + 1
        return PLACED.get(line, bytes(224)) if 1 <= line <= LINES else b""


def sha(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


class LargeClinique(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")
        self.mkpractice("--patients", str(PATIENTS), "--lines", "4")
        self.clinique = self.data / "clinique"
        self.addCleanup(self.remove_large_files)
        lastrec = bytearray((self.data / "lastrec").read_bytes())
        struct.pack_into("<i", lastrec, 3 * 16 + 12, LINES)
        (self.data / "lastrec").write_bytes(lastrec)
        firstrec = bytearray((self.data / "firstrec").read_bytes())
        for p, (start, end) in ENDS.items():
            struct.pack_into("<ii", firstrec, 32 * (p - 1), start, end)
        (self.data / "firstrec").write_bytes(firstrec)
        with open(self.clinique, "wb") as f:
            try:
                f.truncate(SIZE)
            except OSError as e:
                self.skipTest("no sparse file of 2.2 GB here: %s" % e)
            for line, r in PLACED.items():
                f.seek(224 * (line - 1))
                f.write(r)
        self.small = {p.name: sha(p) for p in self.data.iterdir() if p.name != "clinique"}

    def remove_large_files(self):
        for path in (self.clinique, self.tmp / "testfich.txt"):
            if path.exists():
                path.unlink()

    def assert_practice_unchanged(self):
        self.assertEqual({p.name: sha(p) for p in self.data.iterdir() if p.name != "clinique"}, self.small)
        self.assertEqual(self.clinique.stat().st_size, SIZE)
        with open(self.clinique, "rb") as f:
            for line, r in PLACED.items():
                f.seek(224 * (line - 1))
                self.assertEqual(f.read(224), r, line)

    def test_the_raw_browser_across_two_gibibytes_and_at_the_counter(self):
        steps = [("across", ACROSS - 1), ("last two", LINES - 1), ("past the counter", None)]
        s = Script().wait_window(*TITLE).idle().client()
        for mark, line in steps:
            s.mark(mark)
            if line is None:
                s.key("enter")
            else:
                s.command(BROWSE_CLINIQUE).fill(LINE_DIALOG, (1000, str(line)))
            s.idle()
        r = self.run_script(s.mark("end").close().wait_exit()).check()
        self.assertEqual((r.exit_code, r.message_boxes), (0, []))

        # The page ends 100 pixels above the bottom of the client area.
        client = [e for e in r.events if e.kind == "client"][0]
        across = [p for p in r.section("across").paints() if p][0]
        advance = across[1].y - across[0].y
        self.assertGreater(advance, 8)
        views = Views({"lastrec": (self.data / "lastrec").read_bytes(), "clinique": SparseClinique()},
                      advance, int(client.height) - 100)
        compared = 0
        for mark, line in steps:
            paints = r.section(mark).paints()
            if line is not None:
                views.browse(BROWSE_CLINIQUE, line)
                while paints and not paints[0]:  # painted while the dialog was up
                    paints.pop(0)
            self.assertTrue(paints, mark)
            for i, page in enumerate(paints):
                expected = views.paint()
                self.assertEqual(len(page), len(expected), "%s, paint %d: %r" % (mark, i + 1, page))
                for t, (x, y, colour, raw) in zip(page, expected):
                    self.assertTrue(t.complete, t)
                    self.assertEqual((t.x, t.y, t.colour, t.raw), (x, y, colour, raw), "%s, paint %d" % (mark, i + 1))
                    compared += 1
        # The pages went where this test means them to go: the line across
        # 2^31 and the one past it on the first, the last two lines alone
        # on the second, nothing past the counter.
        first = [t.raw for t in across]
        self.assertEqual(first[:3], [clinical_line(SparseClinique()[224 * (n - 1):224 * n], 0, n)
                                     for n in (ACROSS - 1, ACROSS, PAST)])
        self.assertGreater(len(first), 20)
        last = [t.raw for page in r.section("last two").paints() for t in page]
        self.assertEqual(last, [clinical_line(PLACED[n], 0, n) for n in (LINES - 1, LINES)])
        self.assertEqual(r.section("past the counter").texts, [])
        self.assertTrue(all(t.colour == BLACK for t in r.texts))
        self.assertGreaterEqual(compared, len(first) + 2)
        self.assert_practice_unchanged()

    def test_the_integrity_test_and_its_owner_map_of_ten_million_slots(self):
        s = (Script().timeout(800_000).wait_window(*TITLE).idle()
             .mark("test").command(CMD_TEST_CLINIQUE).idle()
             .mark("end").close().wait_exit())
        r = self.run_script(s, timeout=900, trace=False).check()
        self.assertEqual((r.exit_code, r.boxes_shown), (0, []))
        self.assertEqual((self.tmp / "erreurfiche.txt").read_bytes(), REPORT)
        # A slot for every line: those of the chains hold their first walker,
        # all others 0. Read a megabyte at a time, never whole.
        owner_map = self.tmp / "testfich.txt"
        self.assertEqual(owner_map.stat().st_size, 4 * LINES)
        found, slot = {}, 1
        with open(owner_map, "rb") as f:
            while True:
                chunk = f.read(1 << 20)
                if not chunk:
                    break
                if chunk.count(0) != len(chunk):
                    for i in range(0, len(chunk), 4):
                        value = struct.unpack_from("<i", chunk, i)[0]
                        if value:
                            found[slot + i // 4] = value
                slot += len(chunk) // 4
        self.assertEqual(found, OWNERS)
        self.assert_practice_unchanged()

    def size_verdicts(self):
        r = self.run_script(Script().wait_window(*TITLE).idle().mark("sizes").command(CMD_TEST_SIZES).idle()
                            .mark("end").close().wait_exit()).check()
        texts = r.section("sizes").texts
        self.assertEqual([(t.x, t.y) for t in texts], [(0, 20 * i) for i in range(7)])
        return [t.text for t in texts]

    def test_the_size_test_in_32_bits(self):
        # The size's low 32 bits and 224 x 10,000,000 both come out at
        # -2,054,967,296 in 32-bit signed arithmetic; the comparison holds as
        # for small files.
        self.assertEqual(self.size_verdicts(), ["Lastrec -> ok", "Firstrec -> ok", "Patient -> ok", "Identite -> ok",
                                                "Clinique -> ok", "Estim -> ok", "Fschema -> ok"])
        for size, verdict in ((SIZE - 1, "Clinique -> Erreur"), (SIZE + 2_000_001, "Clinique -> Taille supérieure")):
            os.truncate(self.clinique, size)
            self.assertEqual(self.size_verdicts()[4], verdict)
        # A clinique of 2^32 - 1 bytes and a counter of 0: the size is all
        # ones, -1, below the expected 0.
        lastrec = bytearray((self.data / "lastrec").read_bytes())
        struct.pack_into("<i", lastrec, 3 * 16 + 12, 0)
        (self.data / "lastrec").write_bytes(lastrec)
        os.truncate(self.clinique, (1 << 32) - 1)
        self.assertEqual(self.size_verdicts()[4], "Clinique -> Erreur")


if __name__ == "__main__":
    unittest.main()
