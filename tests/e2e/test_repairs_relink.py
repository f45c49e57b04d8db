"""The line relinking under Wine: "Correction d'une ligne en fiche clinique à
partir du début" (107) and "... en devis ..." (108), through the
CHANGERECORD dialog. The two links typed replace those of the n-th line of
the patient's chain, counted from its start, and nothing else is written;
the values out of range, the ordinals that name no line and the patients
out of range write nothing. Every data file is compared afterwards, byte
for byte, with the model of test_repairs_model.py; each command's writes
and boxes with the model's; nothing is drawn afterwards."""

import unittest

from test_repairs_model import (Scenario, CHANGERECORD, CLINICAL, CLINICAL_START, CMD_RELINK_CLINICAL, CMD_RELINK_QUOTE,
                                C_NEXT, C_PREV, FIRSTREC_SIZE, MAIN_TITLE, QUOTES, RepairCase, handmade, i32, link,
                                set_ends, typed_number)

COMMANDS = {CLINICAL: CMD_RELINK_CLINICAL, QUOTES: CMD_RELINK_QUOTE}


class Relinks(Scenario):
    """The relinkings of a scenario."""

    def relink(self, kind, patient, ordinal, following, preceding, box=False, cancel=False):
        """Types the four values (as texts) and presses Corriger (or
        Annuler); box: a message box comes up before the dialog closes."""
        mark = "%s %r %r %r %r%s #%d" % (kind.name, patient, ordinal, following, preceding,
                                          " cancelled" if cancel else "", len(self.steps))
        s = self.script.mark(mark).command(COMMANDS[kind]).dialog(CHANGERECORD)
        for ident, text in zip((1000, 1001, 1002, 1003), (patient, ordinal, following, preceding)):
            s.set(ident, text)
        s.click(2 if cancel else 1)
        if box:
            s.box()
        s.wait_closed().idle()
        # The line number is read with a 6-byte buffer: five characters.
        values = (typed_number(patient), typed_number(ordinal, 5), typed_number(following),
                  typed_number(preceding))
        op = None if cancel else (lambda: self.model.relink(kind, *values))
        self.steps.append((mark, op))
        return mark


class Relink(RepairCase):

    def test_relink_on_a_generated_practice(self):
        damages = ["long:clinique:4:30", "loop:estime:6", "start-high:estime:7", "next-high:clinique:8",
                   "start-negative:clinique:11"]
        damaged = {(d.split(":")[1], int(d.split(":")[2])) for d in damages}
        args = ["--patients", "16"]
        for d in damages:
            args += ["--damage", d]
        m = self.start_practice(None, *args)

        def sound(kind, least):
            return [p for p in range(1, m.last_patient + 1)
                    if (kind.file, p) not in damaged and len(m.chain(kind, p)) >= least
                    and m.chain(kind, p) == m.chain(kind, p, False)[::-1]]

        clinical, quotes = sound(CLINICAL, 3), sound(QUOTES, 3)
        two_lines = [p for p in sound(CLINICAL, 2) if len(m.chain(CLINICAL, p)) == 2]
        no_quotes = [p for p in range(1, m.last_patient + 1) if i32(m.ends(p), QUOTES.start) == 0]
        self.assertTrue(len(clinical) >= 2 and len(quotes) >= 2 and two_lines and no_quotes,
                        (clinical, quotes, two_lines, no_quotes))
        lc, lq, lp = m.last_clinical, m.last_quote, m.last_patient
        p1, p2 = clinical[:2]
        q1, q2 = quotes[:2]

        plan = Relinks(self, m)
        # Links in range, the counter included; a patient number followed
        # by letters reads as its digits.
        plan.relink(CLINICAL, "%dabc" % p1, "2", "5", "7")
        plan.relink(QUOTES, str(q1), "3", str(lq), str(lq))
        # Both links 0 on the first line: the chain's start stays.
        plan.relink(CLINICAL, str(p2), "1", "0", "0")
        # Links below 0 or above the counter: nothing written.
        for following, preceding in (("-1", "3"), (str(lq + 1), "3"), ("3", "-1"), ("3", str(lq + 1))):
            plan.relink(QUOTES, str(q2), "2", following, preceding)
        plan.relink(CLINICAL, str(p1), "1", str(lc + 1), "0")
        # Ordinals that name no line: 0, negative, one past a 2-line chain,
        # five digits.
        for ordinal in ("0", "-2", "3", "12345", "abc"):
            plan.relink(CLINICAL, str(two_lines[0]), ordinal, "1", "1")
        # Only five characters of the ordinal count: "000023" is line 2.
        plan.relink(CLINICAL, "4", "000023", "11", "12")
        # Patients out of range: 0 and letters read nothing, a number past
        # the last patient reads beyond firstrec and is reported.
        unread = [plan.relink(CLINICAL, patient, "1", "1", "1") for patient in ("0", "abc", "-3", "")]
        past = plan.relink(QUOTES, str(lp + 1), "1", "1", "1", box=True)
        # Chains that start out of range or at 0.
        plan.relink(QUOTES, "7", "1", "1", "1")
        plan.relink(CLINICAL, "11", "1", "1", "1")
        plan.relink(QUOTES, str(no_quotes[0]), "1", "1", "1")
        # A loop: the count goes round it. A link above the counter before
        # the line asked for ends the walk.
        plan.relink(QUOTES, "6", str(len(m.chain(QUOTES, 6, False)) + 2), "9", "8")
        plan.relink(CLINICAL, "8", "9", "1", "1")
        # Annuler.
        plan.relink(CLINICAL, str(p1), "1", "0", "0", cancel=True)
        plan.script.close().wait_exit()

        line2 = {p: m.chain(kind, p)[1] for kind, p in ((CLINICAL, p1), (CLINICAL, 4), (QUOTES, 6))}
        start = i32(m.ends(p2), CLINICAL_START)
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)

        # Patients below 1: not even firstrec is read.
        for mark in unread:
            self.assertEqual(r.section(mark).transfers, [], mark)
        self.assertEqual(self.boxes(r.section(past), self.main_window(r)), [("Erreur", "FIRSTREC", "main")])
        # What the model worked out, as numbers.
        c = lambda r, at: i32(m.record(CLINICAL, r), at)
        self.assertEqual((c(line2[p1], C_NEXT), c(line2[p1], C_PREV)), (5, 7))
        self.assertEqual((c(line2[4], C_NEXT), c(line2[4], C_PREV)), (11, 12))
        first = m.chain(CLINICAL, p2)[0]
        self.assertEqual((c(first, C_NEXT), c(first, C_PREV), i32(m.ends(p2), CLINICAL_START)), (0, 0, start))
        self.assertEqual(i32(m.record(QUOTES, line2[6]), QUOTES.next), 9)
        self.assertEqual(r.exit_code, 0)

    def test_relink_on_a_handmade_practice(self):
        # firstrec holds two records more than there are patients.
        f = handmade(patients=4, clinical=12, quotes=10, chart=4, variant=3, firstrec_records=6)
        link(f, CLINICAL, [3, 8, 5], start_patient=1)
        link(f, QUOTES, [9, 2], start_patient=2)
        link(f, CLINICAL, [6, 1], start_patient=5)
        set_ends(f, QUOTES, 3, 11, 11)
        m = self.start_practice(f)
        plan = Relinks(self, m)
        plan.relink(CLINICAL, "1", "3", "12", "0")
        plan.relink(QUOTES, "2", "2", "0", "10")
        plan.relink(QUOTES, "2", "3", "1", "1")
        # Patient 5 has a firstrec record but lies past the last patient:
        # the record is read, nothing else.
        beyond = plan.relink(CLINICAL, "5", "1", "0", "0")
        plan.relink(QUOTES, "3", "1", "0", "0")
        plan.script.close().wait_exit()
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)
        self.assertEqual([(t.file, t.offset, t.write) for t in r.section(beyond).transfers],
                         [("firstrec", 4 * FIRSTREC_SIZE, False)])
        self.assertEqual((i32(m.record(CLINICAL, 5), C_NEXT), i32(m.record(CLINICAL, 5), C_PREV)), (12, 0))
        self.assertEqual((i32(m.record(QUOTES, 2), QUOTES.next), i32(m.record(QUOTES, 2), QUOTES.prev)), (0, 10))


if __name__ == "__main__":
    unittest.main()
