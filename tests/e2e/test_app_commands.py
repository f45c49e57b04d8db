"""The command dispatcher and its dialogs in chkort.exe under Wine: patient
numbers refused, Annuler in every dialog, the state of "Corriger" and
"Imprimer", the edits' text limits as typed, the colour dialog's checks and
the line number of the line correction read from its first five characters.

Observed only: the relay trace (boxes, drawing, invalidation, menu enabling,
dialog templates, record transfers), the driver's view of the windows, and
the data files' bytes."""

import struct
import unittest

from harness import CHKORT, E2ETestCase, Script
from test_app_chart import LINE, Practice, digest, header, i32, read_files

TITLE = ("CHKORT", "Utilitaire de ORTAVO")
# Every wait's limit: generous, for a loaded machine, yet bounded.
WAIT = "timeout 20000"
PATIENT = "Numéro du patient"
RELINK = "Correction d'un enregistrement en Fiche clinique ou en Devis"
LINE_VIEW = "Visualisation du Fichier Clinique ou Devis"
USER = COLOUR = "Modification n° du user"
DESIGN = "Changement de n° du dessin"
CUT = "Correction du dossier"
INVALID = "Numéro du patient non valide."
RANGE = "La valuer doit être comprise entre 48 à 147."
CORRECT, PRINT = 113, 114
GREY = 0x3  # MF_GRAYED | MF_DISABLED, by command
PATCOPY = 0x00F00021

# Every command that goes through the dispatcher: its dialog's title, its
# template's name as the program asks for it, and its edits' text limits.
DIALOGS = {
    102: (PATIENT, "Numero", [9]), 103: (PATIENT, "Numero", [9]), 104: (PATIENT, "Numero", [9]),
    105: (PATIENT, "Numero", [9]), 106: (PATIENT, "Numero", [9]), 122: (PATIENT, "Numero", [9]),
    107: (RELINK, "Changerecord", [9, 9, 9, 9]), 108: (RELINK, "Changerecord", [9, 9, 9, 9]),
    109: ("Correction du Firstrec - Fiche Clinique", "CLINIQUE", [9, 9, 9]),
    110: ("Correction du Firstrec - Devis", "DEVIS", [9, 9, 9]),
    111: ("Correction du Firstrec - Schéma dentaire", "SCHEMA", [9, 9]),
    116: (LINE_VIEW, "VISUAL", [9]), 117: (LINE_VIEW, "VISUAL", [9]),
    121: (USER, "NUMUSER", [2, 2]), 126: (COLOUR, "COLORCHANGE", [3, 3]), 127: (DESIGN, "NUMDESIGN", [3, 3]),
}


class Dispatcher(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")

    def start(self):
        return Script(WAIT).wait_window(*TITLE).idle()

    def finish(self, s):
        """Runs the script to a clean end; no data file may change."""
        before = digest(self.data)
        r = self.run_script(s.mark("end").no_box(200).close().wait_exit()).check()
        self.assertEqual(r.exit_code, 0)
        self.assertEqual(digest(self.data), before)
        self.assertEqual([t for t in r.transfers if t.write], [])
        self.window = int(r.windows[0].hwnd, 16)
        return r

    def quiet(self, section, where):
        """Nothing drawn, no box, no repaint asked for."""
        self.assertEqual((section.texts, section.message_boxes,
                          [c for c in section.calls if c.name == "InvalidateRect"]), ([], [], []), where)

    def view(self, s, command, patient):
        return s.command(command).fill(PATIENT, (1000, str(patient))).idle()

    def test_patient_numbers_out_of_range_are_refused(self):
        self.mkpractice("--patients", "12")
        files = read_files(self.data)
        cases = [("zero", 102, "0"), ("letters", 103, "abc"), ("negative", 104, "-3"), ("empty", 105, ""),
                 ("above the last", 106, "13"), ("minus one", 106, "-1"), ("balance of 0", 122, "0"),
                 ("ten digits", 102, None)]
        s = self.start()
        for mark, command, typed in cases:
            s.mark(mark).command(command).dialog(PATIENT)
            if typed is None:
                # The edit takes nine characters: 123456789, above the last.
                s.type(1000, "1234567890").get(1000)
            else:
                s.set(1000, typed)
            s.click(1).wait_closed().box().idle()
            # The mode is back to 0: Enter asks for no repaint.
            s.mark(mark + ", Enter").key("enter").idle()
        # Nine of ten zeros and a one typed: patient 1, not 11.
        s.mark("typed 0000000011").command(102).dialog(PATIENT).type(1000, "0000000011").get(1000).click(1)
        s.wait_closed().idle()
        r = self.finish(s)

        for mark, command, typed in cases:
            section = r.section(mark)
            box, = section.message_boxes
            self.assertEqual((box.owner, box.text, box.caption, box.style), (self.window, INVALID, "Message", 0),
                             mark)
            shown, = section.boxes_shown
            self.assertEqual((shown.owner, shown.icon, shown.buttons), ("main", False, "1"), mark)
            self.assertEqual((section.texts, section.transfers), ([], []), mark)
            self.quiet(r.section(mark + ", Enter"), mark)
        self.assertEqual(r.section("ten digits").read_texts, ["123456789"])
        typed = r.section("typed 0000000011")
        self.assertEqual(typed.read_texts, ["000000001"])
        start, end = i32(files["firstrec"], 0), i32(files["firstrec"], 4)
        self.assertEqual(typed.texts[0].raw, header(start, end, i32(files["lastrec"], 3 * 16 + 12)))
        self.assertEqual(typed.texts[1].raw[:14], b"   1\xb3%8d\xb3" % start)

    def test_annuler_in_every_dialog_leaves_a_blank_window(self):
        self.mkpractice("--patients", "12", "--lines", "500")
        s = self.view(self.start(), 102, 1)
        for command, (title, template, limits) in DIALOGS.items():
            s.mark(str(command)).command(command).dialog(title).set(1000, "1").click(2).wait_closed().idle()
            s.mark("%d, Enter" % command).key("enter").idle()
        # Annuler in "Corriger": nothing changes and the view goes on with
        # its numbering where it stopped.
        self.view(s.mark("view again"), 102, 1)
        s.mark("cut cancelled").command(CORRECT).dialog(CUT).set(1000, "3").click(2).wait_closed().idle()
        s.key("enter").idle()
        r = self.finish(s)

        for command, (title, template, limits) in DIALOGS.items():
            section = r.section(str(command))
            # The window cleared, then the dialog, owned by it.
            clear, = [c for c in section.calls if c.name == "PatBlt"]
            self.assertEqual([clear.sint(i) for i in range(1, 5)] + [clear.int(5)], [0, 0, 800, 600, PATCOPY])
            dialog, = [c for c in section.calls if c.name == "DialogBoxParamA"]
            self.assertEqual((dialog.str(1), dialog.int(2)), (template.encode(), self.window))
            self.assertLess(section.calls.index(clear), section.calls.index(dialog))
            self.quiet(section, title)
            self.assertEqual(section.transfers, [])
            self.quiet(r.section("%d, Enter" % command), title)
        first_page = [t.raw[:4] for t in r.section("view again").texts]
        cut = r.section("cut cancelled")
        self.assertEqual([c.str(1) for c in cut.calls if c.name == "DialogBoxParamA"], [b"Ligne"])
        self.assertEqual(int(cut.texts[0].raw[:4]), int(first_page[-1]) + 1)

    def test_commands_and_keys_that_do_nothing(self):
        self.mkpractice("--patients", "12", "--lines", "500")
        idle = [("Sortir", 124), ("accounting line", 118), ("accounting file", 119), ("an unused id", 101),
                ("Escape", "escape"), ("Up", "up"), ("Down", "down"), ("Left", "left"), ("Right", "right"),
                ("F1", "f1"), ("F10", "f10"), ("F11", "f11"), ("F12", "f12"), ("superscript two", "\xb2")]
        s = self.view(self.start().mark("view"), 102, 1)
        for mark, what in idle:
            s.mark(mark)
            if isinstance(what, int):
                s.command(what)
            elif what == "\xb2":
                s.char(what)
            else:
                s.key(what)
            s.idle()
        # The view is where it was: Enter shows its second page.
        s.mark("Enter").key("enter").idle()
        # "Supprimer Lien compta en Clinique" ends the view: Enter then does
        # nothing.
        s.mark("unlink").command(125).idle().key("enter").idle()
        r = self.finish(s)
        for mark, what in idle:
            self.quiet(r.section(mark), mark)
            self.assertEqual(r.section(mark).transfers, [], mark)
        first, second = r.section("view").texts, r.section("Enter").texts
        self.assertEqual(int(second[0].raw[:4]), int(first[-1].raw[:4]) + 1)
        self.quiet(r.section("unlink"), "unlink")

    def test_corriger_and_imprimer_only_on_a_patient_view(self):
        self.mkpractice("--patients", "12")
        steps = [  # (mark, what to do, enabled afterwards)
            ("at start", lambda s: s, False),
            ("chart from the start", lambda s: self.view(s, 102, 1), True),
            ("its next page", lambda s: s.key("enter").idle(), True),
            ("chart from the end", lambda s: self.view(s, 103, 12), True),
            ("quotes from the start", lambda s: self.view(s, 104, 2), True),
            ("quotes from the end", lambda s: self.view(s, 105, 2), True),
            ("dental chart", lambda s: self.view(s, 106, 3), True),
            ("browse clinique", lambda s: s.command(116).fill(LINE_VIEW, (1000, "5")).idle(), False),
            ("view again", lambda s: self.view(s, 102, 1), True),
            ("browse estime", lambda s: s.command(117).fill(LINE_VIEW, (1000, "1")).idle(), False),
            ("patient refused", lambda s: s.command(106).fill(PATIENT, (1000, "13")).box().idle(), False),
            ("view cancelled", lambda s: s.command(102).dialog(PATIENT).set(1000, "1").click(2).wait_closed()
             .idle(), False),
            ("view before the size test", lambda s: self.view(s, 105, 4), True),
            ("size test", lambda s: s.command(120).idle(), False),
            ("view before a cancelled edit", lambda s: self.view(s, 106, 12), True),
            ("user number cancelled", lambda s: s.command(121).dialog(USER).click(2).wait_closed().idle(), False),
        ]
        s = self.start()
        for mark, action, enabled in steps:
            action(s)
            s.mark(mark).initmenu().idle()
        r = self.finish(s)
        for mark, action, enabled in steps:
            calls = [(m.item, m.flags) for m in r.section(mark).menu_enables]
            self.assertEqual(sorted(calls), [(CORRECT, 0 if enabled else GREY), (PRINT, 0 if enabled else GREY)],
                             mark)


class Dialogs(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")

    def test_text_limits_as_typed_and_empty_edits_at_each_opening(self):
        self.mkpractice("--patients", "12")
        before = digest(self.data)
        s = Script(WAIT).wait_window(*TITLE).idle()
        typed = "1234567890AB"
        order = list(DIALOGS.items())
        for command, (title, template, limits) in order:
            s.mark(str(command)).command(command).dialog(title)
            for i in range(len(limits)):
                s.get(1000 + i).type(1000 + i, typed).get(1000 + i)
            s.click(2).wait_closed().idle()
        # "Corriger" asks for a line in a dialog of its own.
        s.mark("view").command(102).fill(PATIENT, (1000, "1")).idle()
        s.mark("113").command(CORRECT).dialog(CUT).get(1000).type(1000, typed).get(1000).click(2).wait_closed()
        r = self.run_script(s.idle().mark("end").close().wait_exit()).check()
        self.assertEqual(digest(self.data), before)
        for command, limits in [(c, d[2]) for c, d in order] + [(CORRECT, [5])]:
            self.assertEqual(r.section(str(command)).read_texts, sum([["", typed[:n]] for n in limits], []),
                             command)

    def test_colour_dialog_checks_its_two_numbers_and_stays_open(self):
        self.mkpractice("--patients", "6")
        before = digest(self.data)
        attempts = [("47", "60", RANGE), ("148", "60", RANGE), ("48", "200", RANGE), ("147", "47", RANGE),
                    ("48", "", "Veuillez saisir le numéro de la nouvelle couleur."),
                    ("", "60", "Veuillez saisir le numéro de l'ancienne couleur.")]
        s = Script(WAIT).wait_window(*TITLE).idle().command(126)
        for i, (old, new, message) in enumerate(attempts):
            s.mark(str(i)).dialog(COLOUR).set(1000, old).set(1001, new).click(1).box().idle()
            # Still there, with what was typed.
            s.dialog(COLOUR).get(1000).get(1001)
        s.mark("annuler").click(2).wait_closed().idle().key("enter").idle()
        r = self.run_script(s.mark("end").no_box(200).close().wait_exit()).check()
        self.assertEqual(digest(self.data), before)
        for i, (old, new, message) in enumerate(attempts):
            section = r.section(str(i))
            box, = section.message_boxes
            self.assertEqual((box.owner, box.text, box.caption, box.style), (0, message, "Information", 0))
            shown, = section.boxes_shown
            self.assertEqual((shown.owner, shown.icon, shown.buttons), ("none", False, "1"))
            self.assertEqual(section.read_texts, [old, new])
            self.assertEqual([t for t in section.transfers if t.write], [])
        self.assertEqual(len(r.dialogs), len(attempts) * 2)
        self.assertEqual((r.section("annuler").texts, r.section("annuler").transfers), ([], []))

    def test_the_line_to_relink_is_read_from_five_characters(self):
        # One patient, a chain of 12400 lines in shuffled line numbers: the
        # line reached by 12345 steps is not line 12345, and 1234, 123456 or
        # 1234567 steps would reach another line or none.
        p = Practice(variant=3)
        numbers = list(range(1, 12401))
        p.rng.shuffle(numbers)
        p.chain(1, numbers)
        files = p.files(patients=1, counter=12400)
        Practice.write(self.data, files)
        s = Script(WAIT).wait_window(*TITLE).idle().mark("relink").command(107).dialog(RELINK)
        for ident, value in ((1000, "1"), (1001, "1234567"), (1002, "77"), (1003, "88")):
            s.type(ident, value)
        s.get(1001).click(1).wait_closed().idle()
        r = self.run_script(s.mark("end").close().wait_exit()).check()
        self.assertEqual(r.section("relink").read_texts, ["1234567"])
        line = numbers[12345 - 1]
        expected = dict(files)
        record = bytearray(files["clinique"][LINE * (line - 1):LINE * line])
        struct.pack_into("<ii", record, 141, 88, 77)  # PrevLine "Précédant", NextLine "Suivant"
        expected["clinique"] = files["clinique"][:LINE * (line - 1)] + bytes(record) + files["clinique"][LINE * line:]
        after = read_files(self.data)
        self.assertEqual(after.keys(), expected.keys())
        for name in expected:
            self.assertTrue(after[name] == expected[name], name)
        writes = [(t.file, t.offset, t.length) for t in r.transfers if t.write]
        self.assertEqual(writes, [("clinique", LINE * (line - 1), LINE)])


if __name__ == "__main__":
    unittest.main()
