"""Options > "Corriger" (113) on a patient's view, under Wine: the LIGNE
dialog, the cut of the clinical chain, of the quotes and of the dental chart,
the cut at 0, "Annuler" and the values that change nothing. Every data file
is compared afterwards, byte for byte, with what the model of
test_repairs_model.py makes of the files this test wrote; each cut's writes
and boxes are compared with the model's, and the view it redraws with the
model's lines of the new chain."""

import unittest

from harness import Script

from test_repairs_model import (Scenario, ACC_CONTINUE, CHART, CLINICAL, CMD_CLINICAL_FROM_END, CMD_CLINICAL_FROM_START,
                                CMD_CORRECT, CMD_DENTAL_CHART, CMD_QUOTES_FROM_END, CMD_QUOTES_FROM_START, E_NEXT,
                                E_PREV, F_NEXT, LIGNE, MAIN_TITLE, NUMERO, QUOTE_END, QUOTE_START, QUOTES, C_NEXT,
                                C_PREV, CLINICAL_END, CLINICAL_START, CHART_START, RepairCase, handmade, i32, link,
                                set_ends, set_link, typed_number)

VIEW_COMMANDS = {(CLINICAL, True): CMD_CLINICAL_FROM_START, (CLINICAL, False): CMD_CLINICAL_FROM_END,
                 (QUOTES, True): CMD_QUOTES_FROM_START, (QUOTES, False): CMD_QUOTES_FROM_END,
                 (CHART, True): CMD_DENTAL_CHART}


class Plan(Scenario):
    """A scenario of views and cuts; each step is (mark, model operation or
    None, redrawn view or None)."""

    def view(self, kind, patient, forward=True):
        mark = "view %s %d %s #%d" % (kind.name, patient, forward, len(self.steps))
        self.script.mark(mark).command(VIEW_COMMANDS[kind, forward]).fill(NUMERO, (1000, str(patient))).idle()
        self.steps.append((mark, None, None))
        return mark

    def cut(self, kind, patient, text, forward=True, mark=None, boxes=0):
        """Views the chain, then Corriger with `text` typed in LIGNE."""
        self.view(kind, patient, forward)
        return self.correct(kind, patient, text, forward, mark, boxes)

    def correct(self, kind, patient, text, forward=True, mark=None, boxes=0):
        """Corriger on the view on screen; `boxes` message boxes are expected
        (and closed) after LIGNE."""
        mark = mark or "cut %s %d %s %r" % (kind.name, patient, forward, text)
        n = typed_number(text)
        self.script.mark(mark).command(CMD_CORRECT).fill(LIGNE, (1000, text))
        for _ in range(boxes):
            self.script.box()
        self.script.idle()
        if kind is CHART:
            op = lambda: self.model.cut_chart(patient, n)
        else:
            op = lambda: self.model.cut(kind, patient, forward, n)
        self.steps.append((mark, op, (kind, patient, forward)))
        return mark

    def check(self, result):
        for mark, op, redrawn in self.steps:
            if op:
                op()
            self.test.assertSection(result, mark, self.model)
            if redrawn:
                self.test.assertRedrawn(result, mark, self.model, *redrawn)


class Cuts(RepairCase):

    def test_cuts_on_a_generated_practice(self):
        damages = ["long:clinique:3:70", "loop:clinique:5", "loop:estime:6", "start-high:estime:7",
                   "next-high:clinique:8", "uneven:estime:9", "loop:Fschema:10", "start-negative:clinique:11",
                   "long:clinique:13:40", "truncate:clinique:13"]
        damaged = {(d.split(":")[1], int(d.split(":")[2])) for d in damages}
        args = ["--patients", "20"]
        for d in damages:
            args += ["--damage", d]
        m = self.start_practice(None, *args)

        def sound(kind, least):
            out = []
            for p in range(1, m.last_patient + 1):
                fwd = m.chain(kind, p, True, 500)
                if (kind.file, p) in damaged or len(fwd) < least:
                    continue
                if kind is CHART or fwd == m.chain(kind, p, False, 500)[::-1]:
                    out.append(p)
            return out

        clinical, quotes, chart = sound(CLINICAL, 4), sound(QUOTES, 3), sound(CHART, 3)
        no_quotes = [p for p in range(1, m.last_patient + 1) if i32(m.ends(p), QUOTE_START) == 0]
        self.assertTrue(len(clinical) >= 3 and len(quotes) >= 3 and len(chart) >= 2 and no_quotes,
                        (clinical, quotes, chart, no_quotes))
        self.assertEqual(len(m.chain(CLINICAL, 3)), 70)

        plan = Plan(self, m)
        s = plan.script
        # Each kind of chain cut in each direction; "3ab" reads as 3 and
        # "00001", five digits, as 1.
        plan.cut(CLINICAL, clinical[0], "2")
        plan.cut(CLINICAL, clinical[1], "3ab", forward=False)
        plan.cut(QUOTES, quotes[0], "00001")
        plan.cut(QUOTES, quotes[1], "2", forward=False)
        plan.cut(CHART, chart[0], "2")
        # Cut at 0: typed, empty, or letters alone.
        plan.cut(CLINICAL, clinical[2], "abc")
        plan.cut(QUOTES, quotes[2], "", forward=False)
        plan.cut(CHART, chart[1], "0")
        # Five digits, beyond the chain (cut to 2 lines above): nothing
        # written, the view drawn again all the same.
        plan.cut(CLINICAL, clinical[0], "99999")
        # The reverse links of patient 9's quotes skip a line: a cut at the
        # length of the chain, viewed from its start, mends them.
        plan.cut(QUOTES, 9, str(len(m.chain(QUOTES, 9))))
        # Chains that loop back to their first line: a cut at their length,
        # and one past it that goes round once more; each one ends.
        plan.cut(CLINICAL, 5, str(len(m.chain(CLINICAL, 5, False))))
        plan.cut(QUOTES, 6, str(len(m.chain(QUOTES, 6, False)) + 2))
        loop_entries = m.chain(CHART, 10, most=500)
        plan.cut(CHART, 10, str(len(set(loop_entries)) + 1))
        # Starts out of range, a start of 0, and a link above the counter
        # before the line asked for: nothing written.
        plan.cut(QUOTES, 7, "1")
        plan.cut(CLINICAL, 11, "1")
        plan.cut(QUOTES, no_quotes[0], "1")
        plan.cut(CLINICAL, 8, "50")

        # Patient 13's fortieth and last line is cut short by the end of
        # the file: a cut there reads it, shows the box and writes nothing;
        # the view, whose first page did not reach that line, is redrawn.
        self.assertEqual((len(m.files["clinique"]) // 224, len(m.chain(CLINICAL, 13)),
                          i32(m.record(CLINICAL, m.chain(CLINICAL, 13)[-1]), C_NEXT)),
                         (m.last_clinical - 1, 39, m.last_clinical))
        short = plan.cut(CLINICAL, 13, "40", boxes=1)

        # A view longer than a page: Annuler and a negative number change
        # nothing and draw nothing; the next pages go on numbering.
        long_view = plan.view(CLINICAL, 3)
        s.mark("annuler").command(CMD_CORRECT).fill(LIGNE, (1000, "12"), button=2).idle()
        s.mark("page 2").command(ACC_CONTINUE).idle()
        s.mark("negative").command(CMD_CORRECT).fill(LIGNE, (1000, "-4")).idle()
        s.mark("page 3").command(ACC_CONTINUE).idle()
        plan.steps += [("annuler", None, None), ("page 2", None, None), ("negative", None, None),
                       ("page 3", None, None)]
        plan.correct(CLINICAL, 3, "40", mark="cut on page 3")
        s.close().wait_exit()

        r = self.run_script(s).check()
        # The pages of the long view before its cut, as the model draws them.
        _, lines = m.view(CLINICAL, 3)
        first = r.section(long_view).texts[1:]
        page2, page3 = r.section("page 2").texts, r.section("page 3").texts
        self.assertTrue(20 <= len(first) < 40 and len(page2) >= 20, (len(first), len(page2)))
        self.assertEqual([t.raw for t in first + page2 + page3], [line for line, _ in lines])
        self.assertEqual([t.y for t in page2[:2]], [0, first[0].y])
        for mark in ("annuler", "negative"):
            self.assertNothingHappened(r, mark)
        plan.check(r)
        self.assertEqual(len(m.chain(CLINICAL, 3)), 40)
        self.assertEqual(self.boxes(r.section(short), self.main_window(r)), [("Erreur", "CLINIQUE", "main")])
        # The cut walked the chain up to the short line (the redraw's reads
        # follow).
        self.assertEqual([t.offset for t in r.section(short).transfers if t.file == "clinique"][:40],
                         [(n - 1) * 224 for n in m.chain(CLINICAL, 13) + [m.last_clinical]])
        self.assertFilesAsModel(m)
        self.assertEqual(r.exit_code, 0)

    def test_cuts_on_a_handmade_practice(self):
        f = handmade(patients=8, clinical=20, quotes=24, chart=12, variant=7)
        link(f, QUOTES, [5, 9, 2, 7], start_patient=1)
        link(f, QUOTES, [15, 19, 12, 17], start_patient=2)
        # Patient 3's clinical chain loops back to its second line, and one
        # of its reverse links is wrong.
        link(f, CLINICAL, [4, 1, 6, 3], start_patient=3)
        set_link(f, CLINICAL, 3, nxt=1)
        set_link(f, CLINICAL, 6, prev=17)
        # Patient 4's chart loops too.
        link(f, CHART, [2, 5, 3], start_patient=4)
        set_link(f, CHART, 3, nxt=2)
        link(f, CHART, [7, 8], start_patient=5)
        # Patient 5 has no clinical end; patient 6's quote end lies beyond
        # the file; patient 7 has a sound 4-line clinical chain.
        link(f, CLINICAL, [10, 11, 12], start_patient=5)
        set_ends(f, CLINICAL, 5, 10, 0)
        link(f, QUOTES, [20, 21], start_patient=6)
        set_ends(f, QUOTES, 6, 20, 25)
        link(f, CLINICAL, [14, 20, 13, 18], start_patient=7)
        link(f, CLINICAL, [15, 16], start_patient=8)
        m = self.start_practice(f)
        before = {r: m.record(QUOTES, r) for r in (2, 7, 12, 15, 19)}

        plan = Plan(self, m)
        plan.cut(QUOTES, 1, "2")
        plan.cut(QUOTES, 2, "2", forward=False)
        plan.cut(CLINICAL, 3, "4")
        plan.cut(CHART, 4, "3")
        plan.cut(CHART, 5, "0")
        plan.cut(CLINICAL, 5, "1", forward=False)
        plan.cut(QUOTES, 6, "1", forward=False)
        plan.cut(CLINICAL, 7, "10")
        plan.cut(CLINICAL, 8, "0")
        plan.script.close().wait_exit()
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)

        # The worked examples, as numbers.
        q = lambda r, at: i32(m.record(QUOTES, r), at)
        c = lambda r, at: i32(m.record(CLINICAL, r), at)
        ends = lambda p, at: i32(m.ends(p), at)
        self.assertEqual((q(9, E_NEXT), q(9, E_PREV), q(5, E_PREV), ends(1, QUOTE_START), ends(1, QUOTE_END)),
                         (0, 5, 0, 5, 9))
        self.assertEqual((q(12, E_PREV), q(12, E_NEXT), q(17, E_NEXT), ends(2, QUOTE_START), ends(2, QUOTE_END)),
                         (0, 17, 0, 12, 17))
        self.assertEqual({r: m.record(QUOTES, r) for r in (2, 7, 15, 19)}, {r: before[r] for r in (2, 7, 15, 19)})
        self.assertEqual([(c(r, C_PREV), c(r, C_NEXT)) for r in (4, 1, 6, 3)], [(0, 1), (4, 6), (1, 3), (6, 0)])
        self.assertEqual(ends(3, CLINICAL_END), 3)
        self.assertEqual(i32(m.record(CHART, 3), F_NEXT), 0)
        self.assertEqual((ends(5, CHART_START), ends(8, CLINICAL_START), ends(8, CLINICAL_END)), (0, 0, 0))

    def test_a_view_that_ended_on_an_unreadable_line_is_drawn_again_after_the_cut(self):
        self.host("14.0")
        self.mkpractice("--patients", "4", "--lines", "40")
        first = i32((self.data / "firstrec").read_bytes(), CLINICAL_START)
        clinique = bytearray((self.data / "clinique").read_bytes())
        # Patient 1's first line goes on to the last line, which the file
        # holds only in part.
        last = len(clinique) // 224
        clinique[224 * (first - 1) + C_NEXT:224 * (first - 1) + C_NEXT + 4] = last.to_bytes(4, "little")
        (self.data / "clinique").write_bytes(bytes(clinique[:224 * last - 100]))
        s = Script().wait_window(*MAIN_TITLE).idle()
        s.mark("view").command(CMD_CLINICAL_FROM_START).fill(NUMERO, (1000, "1")).box().idle()
        s.mark("cut").command(CMD_CORRECT).fill(LIGNE, (1000, "1")).idle()
        s.mark("end").close().wait_exit()
        r = self.run_script(s).check()
        box, = r.section("view").message_boxes
        self.assertEqual((box.text, box.caption), ("Erreur", "CLINIQUE"))
        cut = r.section("cut")
        self.assertEqual(cut.message_boxes, [])
        heading, line = cut.texts
        self.assertTrue(heading.raw.startswith(b"DEBUTACTE: %d    FINACTE: %d    " % (first, first)), heading.raw)
        self.assertEqual(int(line.raw.split(b"\xb3")[1]), first)


if __name__ == "__main__":
    unittest.main()
