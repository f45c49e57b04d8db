"""The file size test of chkort.exe under Wine ("Test de taille des
fichiers", 120): seven lines in their order and places, each verdict for
each file at the edges of its tolerance, a missing "patient.tri", and the
balance reset working after it.

Expected sizes come from the counters that the test reads here from lastrec
itself; the files are cut or lengthened to sit just below, at, and just
beyond what those counters allow."""

import struct
import unittest

from harness import CHKORT, E2ETestCase, Script

CMD_TEST_SIZES, CMD_RESET_BALANCE = 120, 122
TITLE = ("CHKORT", "Utilitaire de ORTAVO")
TOLERANCE = 2000000
PATCOPY = 0x00F00021

# Row by row: the name the line starts with, the file, and how the expected
# size follows from lastrec's counters (patients 0, quotes 2, lines 3,
# chart 7).
ROWS = [
    ("Lastrec", "lastrec", lambda c: 1280),
    ("Firstrec", "firstrec", lambda c: c[0] * 32),
    ("Patient", "patient", lambda c: c[0] * 40),
    ("Identite", "identite", lambda c: c[0] * 1420),
    ("Clinique", "clinique", lambda c: c[3] * 224),
    ("Estim", "estime", lambda c: c[2] * 86),
    ("Fschema", "Fschema", lambda c: c[7] * 64),
]

# Three runs; across them every file is found too short, within the
# tolerance (at one of its two edges) and beyond it.
SHORT, AT, TOP, OVER = -1, 0, TOLERANCE, TOLERANCE + 1
RUNS = [
    [AT, SHORT, OVER, TOP, AT, SHORT, OVER],
    [SHORT, OVER, AT, SHORT, OVER, AT, SHORT],
    [OVER, TOP, SHORT, OVER, SHORT, OVER, TOP],
]


def counters(lastrec):
    return {i: struct.unpack_from("<i", lastrec, 16 * i + 12)[0] for i in (0, 2, 3, 7)}


def verdict(size, expected):
    if size < expected:
        return "Erreur"
    return "Taille supérieure" if size - expected > TOLERANCE else "ok"


class SizeTest(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")
        self.mkpractice("--patients", "20", "--variant", "5")
        self.counts = counters((self.data / "lastrec").read_bytes())

    def resize(self, name, size):
        path = self.data / name
        data = path.read_bytes()
        # Whatever lies beyond the records: bytes nobody reads.
        path.write_bytes(data[:size] + bytes((i * 7 + 1) & 0xFF for i in range(max(0, size - len(data)))))

    def expected_lines(self):
        lines = []
        for i, (label, name, size_of) in enumerate(ROWS):
            size = (self.data / name).stat().st_size
            text = "%s -> %s" % (label, verdict(size, size_of(self.counts)))
            lines.append((0, 20 * i, text.encode("cp1252")))
        return lines

    def patient_with_a_balance(self, after):
        identite = (self.data / "identite").read_bytes()
        return next(p for p in range(after, self.counts[0] + 1)
                    if identite[1420 * (p - 1) + 786:1420 * (p - 1) + 794] != bytes(8))

    def reset_balance(self, script, patient):
        return script.command(CMD_RESET_BALANCE).fill("Numéro du patient", (1000, str(patient))).box().idle()

    def check_reset_notice(self, section):
        box, = section.boxes_shown
        self.assertEqual((box.caption, box.text, box.owner),
                         ("Information", "Le solde du patient est initialisé. Veuillez remettre le solde manuellement.",
                          "none"))

    def check_balance_reset(self, before, patient):
        """Only the patient's balance went to 0.0; every other byte of
        identite is as it was."""
        after = (self.data / "identite").read_bytes()
        at = 1420 * (patient - 1) + 786
        self.assertNotEqual(before[at:at + 8], bytes(8))
        self.assertEqual(after, before[:at] + bytes(8) + before[at + 8:])

    def check_lines(self, section, expected):
        self.assertEqual([(t.x, t.y, t.raw) for t in section.texts], expected)
        self.assertTrue(all(t.colour == 0 and t.complete for t in section.texts))
        # The window is cleared first, then drawn on in the default font.
        names = [c.name for c in section.calls]
        clear = [c for c in section.calls if c.name == "PatBlt"]
        self.assertEqual([tuple(c.sint(i) for i in range(1, 6)) for c in clear], [(0, 0, 800, 600, PATCOPY)])
        self.assertLess(names.index("PatBlt"), names.index("TextOutA"))
        self.assertNotIn("SelectObject", names[names.index("GetDC"):])
        self.assertNotIn("SetTextColor", names)

    def test_every_verdict_of_every_file_in_its_place(self):
        for run, deltas in enumerate(RUNS):
            for (label, name, size_of), delta in zip(ROWS, deltas):
                self.resize(name, size_of(self.counts) + delta)
            expected = self.expected_lines()
            identite = (self.data / "identite").read_bytes()
            s = Script().wait_window(*TITLE).idle().mark("sizes").command(CMD_TEST_SIZES).idle()
            patient = self.patient_with_a_balance(5)
            if run == 0:
                # Twice, and the balance reset after it.
                s.mark("again").command(CMD_TEST_SIZES).idle().mark("reset")
                self.reset_balance(s, patient)
            r = self.run_script(s.mark("end").close().wait_exit()).check()
            self.assertEqual(r.exit_code, 0)
            self.assertEqual(r.section("sizes").message_boxes, [])
            self.check_lines(r.section("sizes"), expected)
            if run == 0:
                self.check_lines(r.section("again"), expected)
                self.assertEqual(r.section("reset").texts, [])
                self.check_reset_notice(r.section("reset"))
                self.check_balance_reset(identite, patient)
            else:
                self.assertEqual((self.data / "identite").read_bytes(), identite)
        # Each row met its three verdicts.
        seen = {}
        for deltas in RUNS:
            for (label, _, _), delta in zip(ROWS, deltas):
                seen.setdefault(label, set()).add(verdict(delta, 0))
        self.assertTrue(all(len(v) == 3 for v in seen.values()), seen)

    def test_a_missing_patient_tri(self):
        (self.data / "patient.tri").unlink()
        identite = (self.data / "identite").read_bytes()
        patient = self.patient_with_a_balance(10)
        s = Script().wait_window(*TITLE).idle().mark("sizes").command(CMD_TEST_SIZES).box().idle().mark("reset")
        self.reset_balance(s, patient)
        r = self.run_script(s.mark("end").close().wait_exit()).check()
        sizes = r.section("sizes")
        box, = sizes.boxes_shown
        self.assertEqual((box.caption.lower(), box.text, box.owner, box.icon),
                         ("erreur d'ouverture du fichier - c:\\ortavo\\data\\patient.tri", "Erreur", "main", False))
        self.assertEqual(sizes.texts, [])
        self.assertEqual([c for c in sizes.calls if c.name == "PatBlt"], [])
        # patient was opened, patient.tri was not, identite was not tried.
        self.assertEqual([(o.path.lower().rsplit("\\", 1)[1], o.ok) for o in sizes.file_opens],
                         [("patient", True), ("patient.tri", False)])
        reset = r.section("reset")
        self.assertEqual(reset.texts, [])
        self.check_reset_notice(reset)
        self.check_balance_reset(identite, patient)
        self.assertEqual(r.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
