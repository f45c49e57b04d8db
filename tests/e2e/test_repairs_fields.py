"""The field edits under Wine: "RAZ Solde patient" (122) and the changes of
the user number (121), of the line colour (126) and of the design number
(127) across the whole clinique file, through their dialogs. Every data file
is compared afterwards, byte for byte, with the model of
test_repairs_model.py; each command's writes, boxes and drawn texts (the
"%ld/%ld" progress at (10, 20), line after line, up to the final count) with
the model's."""

import unittest

from test_repairs_model import (Scenario, BALANCE, CLINICAL, CMD_CHANGE_COLOUR, CMD_CHANGE_DESIGN, CMD_CHANGE_USER, CMD_RESET_BALANCE,
                                COLORCHANGE, C_COLOUR, C_COLOUR2, IDENTITE_SIZE, MAIN_TITLE, NUMDESIGN, NUMERO,
                                NUMUSER, RepairCase, handmade, typed_number)

RANGE = "La valuer doit être comprise entre 48 à 147."
NO_OLD = "Veuillez saisir le numéro de l'ancienne couleur."
NO_NEW = "Veuillez saisir le numéro de la nouvelle couleur."
RESET = "Le solde du patient est initialisé. Veuillez remettre le solde manuellement."


class Edits(Scenario):
    """The field edits of a scenario, each checked with what it draws."""

    def _mark(self, what):
        mark = "%s #%d" % (what, len(self.steps))
        self.script.mark(mark)
        return mark

    def reset(self, patient, cancel=False):
        mark = self._mark("reset %r%s" % (patient, " cancelled" if cancel else ""))
        self.script.command(CMD_RESET_BALANCE).dialog(NUMERO).set(1000, patient).click(2 if cancel else 1)
        if not cancel:
            self.script.box()
        self.script.wait_closed().idle()
        self.steps.append((mark, None if cancel else (lambda: self.model.reset_balance(typed_number(patient)))))
        return mark

    def user(self, old, new, cancel=False):
        mark = self._mark("user %r %r%s" % (old, new, " cancelled" if cancel else ""))
        self.script.command(CMD_CHANGE_USER).fill(NUMUSER, (1000, old), (1001, new), button=2 if cancel else 1).idle()
        self.steps.append((mark, None if cancel else (lambda: self.model.change_user(old, new))))
        return mark

    def design(self, old, new, cancel=False):
        mark = self._mark("design %r %r%s" % (old, new, " cancelled" if cancel else ""))
        self.script.command(CMD_CHANGE_DESIGN).fill(NUMDESIGN, (1000, old), (1001, new),
                                                    button=2 if cancel else 1).idle()
        op = lambda: self.model.change_design(typed_number(old), typed_number(new))
        self.steps.append((mark, None if cancel else op))
        return mark

    def colour(self, *tries, cancel=False):
        """Each try (old, new) is typed and Valider pressed; all but the last
        are refused with a box and leave the dialog open."""
        mark = self._mark("colour %r%s" % (tries, " cancelled" if cancel else ""))
        s = self.script.command(CMD_CHANGE_COLOUR).dialog(COLORCHANGE)
        for i, (old, new) in enumerate(tries):
            s.set(1000, old).set(1001, new)
            if i + 1 < len(tries) or cancel:
                s.click(1).box()
        if cancel:
            s.click(2)
        else:
            s.click(1)
        s.wait_closed().idle()

        def op():
            for old, new in tries[:-1]:
                self.model.boxes.append((colour_refusal(old, new), "Information", "none"))
            if cancel:
                self.model.boxes.append((colour_refusal(*tries[-1]), "Information", "none"))
            else:
                self.model.change_colour(typed_number(tries[-1][0]), typed_number(tries[-1][1]))

        self.steps.append((mark, op))
        return mark

    def check(self, result):
        for mark, op in self.steps:
            if op:
                op()
            self.test.assertSection(result, mark, self.model, texts=True)


def colour_refusal(old, new):
    """The box that refuses a pair of colours, None for a pair accepted."""
    if old == "":
        return NO_OLD
    if not 48 <= typed_number(old) <= 147:
        return RANGE
    if new == "":
        return NO_NEW
    if not 48 <= typed_number(new) <= 147:
        return RANGE
    return None


class FieldEdits(RepairCase):

    def test_edits_on_a_generated_practice(self):
        m = self.start_practice(None, "--patients", "12", "--lines", "90")
        lp = m.last_patient
        plan = Edits(self, m)
        reset = plan.reset("5")
        refused = [plan.reset("0"), plan.reset(str(lp + 1)), plan.reset("abc")]
        cancelled = [plan.reset("6", cancel=True)]
        # Lines without a valid user number take the new one too; only the
        # first character typed counts.
        plan.user("3", "5")
        plan.user("12", "9x")
        plan.user("", "4")
        cancelled.append(plan.user("1", "2", cancel=True))
        # Refusals first, the dialog staying open, then a change; the bounds
        # 48 and 147 are accepted.
        plan.colour(("47", "50"), ("", "50"), ("49", ""), ("49", "200"), ("49", "148"), ("49", "50"))
        plan.colour(("48", "147"))
        cancelled.append(plan.colour(("148", "50"), cancel=True))
        plan.design("5", "12")
        plan.design("7", "0")
        plan.design("12", "123")
        # An old number of 0 (or none) changes nothing and walks nothing.
        cancelled += [plan.design("0", "5"), plan.design("abc", "5"), plan.design("3", "4", cancel=True)]
        plan.script.close().wait_exit()

        lines = m.last_clinical
        colours = [(m.record(CLINICAL, n)[C_COLOUR], m.record(CLINICAL, n)[C_COLOUR2])
                   for n in range(1, lines + 1)]
        identite = bytes(m.files["identite"])
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)

        for mark in cancelled:
            self.assertEqual(r.section(mark).transfers, [], mark)
            self.assertEqual(r.section(mark).texts, [], mark)
        for mark in refused:
            self.assertEqual(r.section(mark).transfers, [], mark)
        # The boxes as they showed: the balance reset's without owner, the
        # refusals of a patient number owned by the window.
        self.assertEqual([(b.caption, b.text, b.owner, b.icon) for b in r.section(reset).boxes_shown],
                         [("Information", RESET, "none", False)])
        self.assertEqual([(b.caption, b.text, b.owner) for b in r.section(refused[0]).boxes_shown],
                         [("Message", "Numéro du patient non valide.", "main")])
        # After the reset's box the window is invalidated (and stays blank);
        # a refused number invalidates nothing.
        order = lambda mark: [c.name for c in r.section(mark).calls if c.name in ("MessageBoxA", "InvalidateRect")]
        self.assertEqual([order(reset)] + [order(mark) for mark in refused],
                         [["MessageBoxA", "InvalidateRect"]] + [["MessageBoxA"]] * 3)
        # Only the balance of patient 5 changed in identite.
        at = 4 * IDENTITE_SIZE + BALANCE
        changed = [i for i in range(len(identite)) if identite[i] != m.files["identite"][i]]
        self.assertEqual(changed, [i for i in range(at, at + 8) if identite[i]])
        self.assertTrue(changed)
        # The colour change as numbers: lines of colour 49 now hold 50 twice,
        # whatever their second colour was; 48 became 147.
        for n, (c1, c2) in enumerate(colours, 1):
            rec = m.record(CLINICAL, n)
            want = (50, 50) if c1 == 49 else (147, 147) if c1 == 48 else (c1, c2)
            self.assertEqual((rec[C_COLOUR], rec[C_COLOUR2]), want, n)
        self.assertIn((49, 60), colours)
        self.assertIn((48, 49), colours)
        self.assertEqual(r.exit_code, 0)

    def test_edits_with_no_clinical_line(self):
        # The counter says 0 lines although the file holds some.
        f = handmade(patients=3, clinical=0, quotes=2, chart=2, variant=9)
        f["clinique"] = handmade(patients=1, clinical=4, quotes=0, chart=0, variant=10)["clinique"]
        m = self.start_practice(f)
        plan = Edits(self, m)
        walks = [plan.user("", "5"), plan.colour(("48", "49")), plan.design("5", "6")]
        reset = plan.reset("2")
        plan.script.close().wait_exit()
        identite = bytes(m.files["identite"])
        r = self.run_script(plan.script).check()
        plan.check(r)
        self.assertFilesAsModel(m)
        for mark in walks:
            self.assertEqual((r.section(mark).transfers, r.section(mark).texts), ([], []), mark)
        # Patient 2's whole record is written back, with bytes 2206..2213
        # of the file changed.
        self.assertEqual(self.writes(r.section(reset)), [("identite", 1420, 1420)])
        self.assertEqual([i for i in range(len(identite)) if identite[i] != m.files["identite"][i]],
                         list(range(2206, 2214)))

if __name__ == "__main__":
    unittest.main()
