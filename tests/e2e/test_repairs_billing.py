""""Supprimer facturation Ordonnance" (123) under Wine, on a generated
practice that holds every form of act code (the "O" forms in each place and
case, "SPR" in its two alignments and in lower case, and the look-alikes
that must stay), and on a hand-made one whose clinical counter is 0. Every
data file is compared afterwards, byte for byte, with the model of
test_repairs_model.py; the records written, in order, and the progress
texts at (10, 20) with the model's."""

import unittest

from harness import Script
from test_repairs_model import (CLINICAL, CMD_REMOVE_BILLING, C_ACT, C_BILLED, E_ACT, E_SIZE, MAIN_TITLE, QUOTES,
                                RepairCase, handmade)

CLINICAL_FORMS = [b"O   ", b" O  ", b"  O ", b"   O", b"o   ", b"O\0\0\0", b"OX  ", b"SPR ", b" SPR", b" spr",
                  b"spr ", b"SPRX", b"SPR\0"]
QUOTE_FORMS = [b"SPR ", b" SPR", b" spr", b"spr ", b"SPRX", b"SPR\0", b"O   ", b" O  "]


class Billing(RepairCase):

    def run_twice(self, m):
        s = Script().wait_window(*MAIN_TITLE).idle()
        s.mark("first").command(CMD_REMOVE_BILLING).idle().no_box(100)
        s.mark("again").command(CMD_REMOVE_BILLING).idle().no_box(100)
        s.close().wait_exit()
        r = self.run_script(s).check()
        for mark in ("first", "again"):
            m.remove_billing()
            section = self.assertSection(r, mark, m, texts=True)
            # No confirmation, no summary, no redraw.
            self.assertEqual([c.name for c in section.calls if c.name in ("InvalidateRect", "DialogBoxParamA")], [])
        self.assertFilesAsModel(m)
        return r

    def test_every_act_code_form(self):
        m = self.start_practice(None, "--patients", "10", "--lines", "80")
        codes = lambda kind, at: [bytes(m.record(kind, n)[at:at + 4]) for n in range(1, m.limit(kind) + 1)]
        clinical_before, quotes_before = codes(CLINICAL, C_ACT), codes(QUOTES, E_ACT)
        self.assertEqual([f for f in CLINICAL_FORMS if f not in clinical_before], [])
        self.assertEqual([f for f in QUOTE_FORMS if f not in quotes_before], [])
        billed_before = [m.record(CLINICAL, n)[C_BILLED] for n in range(1, m.last_clinical + 1)]

        r = self.run_twice(m)

        # The second run writes the same records again and changes no byte.
        first, again = (self.writes(r.section(mark)) for mark in ("first", "again"))
        self.assertEqual(first, again)
        self.assertTrue(first)
        # The same, as forms.
        clinical_after = codes(CLINICAL, C_ACT)
        for n, (code, billed) in enumerate(zip(clinical_before, billed_before), 1):
            rec = m.record(CLINICAL, n)
            if code.upper() in (b"O   ", b" O  ", b"  O ", b"   O"):
                self.assertEqual((clinical_after[n - 1], rec[C_BILLED]), (code, 0x20), n)
            elif code.upper() in (b"SPR ", b" SPR"):
                self.assertEqual((clinical_after[n - 1], rec[C_BILLED]), (b"SPR ", billed), n)
            else:
                self.assertEqual((clinical_after[n - 1], rec[C_BILLED]), (code, billed), n)
        quotes_after = codes(QUOTES, E_ACT)
        self.assertEqual([b"SPR " if c.upper() in (b"SPR ", b" SPR") else c for c in quotes_before], quotes_after)
        self.assertEqual(r.exit_code, 0)

    def test_no_clinical_line_and_three_quote_lines(self):
        # The files hold more records than the counters: those stay as they
        # are, whatever their codes.
        f = handmade(patients=2, clinical=0, quotes=3, chart=1, variant=11)
        f["clinique"] = handmade(patients=1, clinical=3, quotes=0, chart=0, variant=12)["clinique"]
        f["clinique"][C_ACT:C_ACT + 4] = b"O   "
        f["estime"] += handmade(patients=1, clinical=0, quotes=2, chart=0, variant=13)["estime"]
        for n, code in enumerate((b" spr", b"SPR ", b"SPRX", b" SPR", b"O   "), 1):
            f["estime"][(n - 1) * E_SIZE + E_ACT:(n - 1) * E_SIZE + E_ACT + 4] = code
        m = self.start_practice(f)
        r = self.run_twice(m)
        first = r.section("first")
        self.assertEqual([t.raw for t in first.texts], [b"1/3", b"2/3", b"3/3"])
        self.assertEqual([(t.file, t.offset, t.write) for t in first.transfers],
                         [("estime", 0, False), ("estime", 0, True), ("estime", 86, False), ("estime", 86, True),
                          ("estime", 172, False)])
        self.assertEqual([bytes(m.record(QUOTES, n)[E_ACT:E_ACT + 4]) for n in range(1, 6)],
                         [b"SPR ", b"SPR ", b"SPRX", b" SPR", b"O   "])


if __name__ == "__main__":
    unittest.main()
