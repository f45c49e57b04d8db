"""The first-record corrections under Wine: "Correction du Firstrec pour
clinique / devis / schéma dentaire" (109, 110, 111) through the CLINIQUE,
DEVIS and SCHEMA dialogs. A value typed within 0..counter replaces the
stored end, one outside leaves it, and the record is written back even when
nothing changed; a patient out of range closes the dialog without reading
anything; a firstrec record that cannot be read keeps the dialog open after
the "Erreur" box. Every data file is compared afterwards, byte for byte,
with the model of test_repairs_model.py; each command's writes and boxes
with the model's."""

import unittest

from harness import Script
from test_repairs_model import (Scenario, CHART, CHART_START, CLINICAL, CLINICAL_END, CLINICAL_START, CLINIQUE,
                                CMD_FIRSTREC_CHART, CMD_FIRSTREC_CLINICAL, CMD_FIRSTREC_QUOTES, DEVIS,
                                FIRSTREC_SIZE, MAIN_TITLE, QUOTE_END, QUOTE_START, QUOTES, SCHEMA, RepairCase,
                                handmade, i32, typed_number)

DIALOGS = {CLINICAL: (CMD_FIRSTREC_CLINICAL, CLINIQUE), QUOTES: (CMD_FIRSTREC_QUOTES, DEVIS),
           CHART: (CMD_FIRSTREC_CHART, SCHEMA)}


class Corrections(Scenario):
    """The first-record corrections of a scenario."""

    def correct(self, kind, *texts, cancel=False):
        """Opens the dialog of `kind`, types the texts (patient, start and,
        but for the chart, end) and presses Corriger or Annuler."""
        command, title = DIALOGS[kind]
        mark = "%s %r%s #%d" % (kind.name, texts, " cancelled" if cancel else "", len(self.steps))
        self.script.mark(mark).command(command).fill(title, *zip((1000, 1001, 1002), texts),
                                                     button=2 if cancel else 1).idle()
        numbers = [typed_number(t) for t in texts] + [0]
        op = None if cancel else (lambda: self.test.assertTrue(self.model.correct_firstrec(kind, *numbers[:3])))
        self.steps.append((mark, op))
        return mark


class FirstrecCorrection(RepairCase):

    def test_corrections_on_a_generated_practice(self):
        m = self.start_practice(None, "--patients", "16")
        lp, lc, lq, lf = m.last_patient, m.last_clinical, m.last_quote, m.last_chart
        self.assertTrue(lq >= 40, lq)
        plan = Corrections(self, m)
        plan.correct(CLINICAL, "3", "12", "40")
        # The counter is a value in range; one more is not, and leaves the
        # other value applied.
        plan.correct(CLINICAL, "4", "0", str(lc))
        plan.correct(CLINICAL, "5", str(lc + 1), "7")
        # Both out of range: the record is written back as it was.
        same = plan.correct(CLINICAL, "6", "-5", "123456789")
        plan.correct(QUOTES, "12", "40", "")
        plan.correct(QUOTES, "13", "-1", "7")
        plan.correct(QUOTES, " +2", "3xyz", str(lq))
        plan.correct(CHART, "7xyz", str(lf))
        plan.correct(CHART, "8", str(lf + 1))
        plan.correct(CHART, "9", "")
        # Patients out of range: the dialog closes, nothing is read.
        unread = [plan.correct(CHART, "0", "1"), plan.correct(CHART, "abc", "1"),
                  plan.correct(CLINICAL, str(lp + 1), "1", "1"), plan.correct(QUOTES, "-2", "1", "1"),
                  plan.correct(QUOTES, "", "1", "1")]
        # Annuler in each dialog.
        unread += [plan.correct(CLINICAL, "3", "1", "1", cancel=True), plan.correct(QUOTES, "3", "1", "1", cancel=True),
                   plan.correct(CHART, "3", "1", cancel=True)]
        plan.script.close().wait_exit()

        before = {p: m.ends(p) for p in range(1, lp + 1)}
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)
        for mark in unread:
            self.assertEqual(r.section(mark).transfers, [], mark)
        self.assertEqual([(t.file, t.offset, t.write) for t in r.section(same).transfers],
                         [("firstrec", 5 * FIRSTREC_SIZE, False), ("firstrec", 5 * FIRSTREC_SIZE, True)])
        # What the model worked out, as numbers.
        ends = lambda p, at: i32(m.ends(p), at)
        was = lambda p, at: i32(before[p], at)
        self.assertEqual([(ends(p, CLINICAL_START), ends(p, CLINICAL_END)) for p in (3, 4, 5, 6)],
                         [(12, 40), (0, lc), (was(5, CLINICAL_START), 7), (was(6, CLINICAL_START),
                                                                          was(6, CLINICAL_END))])
        self.assertEqual([(ends(p, QUOTE_START), ends(p, QUOTE_END)) for p in (12, 13, 2)],
                         [(40, 0), (was(13, QUOTE_START), 7), (3, lq)])
        self.assertEqual([ends(p, CHART_START) for p in (7, 8, 9)], [lf, was(8, CHART_START), 0])
        self.assertEqual(m.ends(6), before[6])
        self.assertEqual(r.exit_code, 0)

    def test_a_firstrec_record_that_cannot_be_read(self):
        # Ten patients, but firstrec holds eight records and 20 bytes.
        f = handmade(patients=10, clinical=30, quotes=20, chart=10, variant=5, firstrec_records=8.625)
        m = self.start_practice(f)
        s = Script().wait_window(*MAIN_TITLE).idle()
        # Patient 9's record is cut short: the box, and the dialog stays
        # open with what was typed; Corriger again gives the box again;
        # Annuler closes it.
        s.mark("short").command(CMD_FIRSTREC_CLINICAL).dialog(CLINIQUE).set(1000, "9").set(1001, "4").set(1002, "5")
        s.click(1).box().get(1000).get(1001).get(1002).click(1).box().click(2).wait_closed().idle()
        # Patient 10 lies wholly beyond the file; a patient that can be read
        # then goes through and closes the dialog.
        s.mark("beyond").command(CMD_FIRSTREC_CHART).dialog(SCHEMA).set(1000, "10").set(1001, "2")
        s.click(1).box().get(1000).set(1000, "3").click(1).wait_closed().idle()
        s.close().wait_exit()
        r = self.run_script(s).check()

        self.assertFalse(m.correct_firstrec(CLINICAL, 9, 4, 5))
        self.assertFalse(m.correct_firstrec(CLINICAL, 9, 4, 5))
        short = self.assertSection(r, "short", m)
        self.assertFalse(m.correct_firstrec(CHART, 10, 2))
        self.assertTrue(m.correct_firstrec(CHART, 3, 2))
        beyond = self.assertSection(r, "beyond", m)
        self.assertFilesAsModel(m)
        self.assertEqual(len(m.files["firstrec"]), 8 * FIRSTREC_SIZE + 20)
        # Each Corriger read the short record, and nothing was written.
        self.assertEqual([(t.file, t.offset, t.write) for t in short.transfers],
                         [("firstrec", 8 * FIRSTREC_SIZE, False)] * 2)
        main = self.main_window(r)
        self.assertEqual(self.boxes(short, main), [("Erreur", "FIRSTREC", "main")] * 2)
        self.assertEqual(self.boxes(beyond, main), [("Erreur", "FIRSTREC", "main")])
        # The boxes as they showed, and the dialog still open behind them
        # with the fields as typed.
        shown = [(b.caption, b.text, b.owner, b.icon, b.buttons) for b in r.boxes_shown]
        self.assertEqual(shown, [("FIRSTREC", "Erreur", "main", False, "1")] * 3)
        self.assertEqual(r.read_texts, ["9", "4", "5", "10"])
        self.assertEqual(i32(m.ends(3), CHART_START), 2)


if __name__ == "__main__":
    unittest.main()
