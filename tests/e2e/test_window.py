"""chkort.exe under Wine: the host guard, the views, browsers and tests
reached through the menu, dialogs and Enter, beside a holder of the data
files, compared with what chkort-cli finds natively on the same files; the
repairs through their dialogs, then undone from their journal by
chkort-cli.exe; a data file locked by another program."""

import unittest

from harness import CLI_EXE, HERE, HOLDER, NUMERO, WineTest, fill, view

REFUSED = ("Information", "Attention ! Ce module est destiné pour la version de ORTAVO  V13.XX, V14.XX, V15.XX et "
           "V16.XX|Vous ne devez pas l'utiliser dans les versions antérieures.")
DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"]
RELINK = "Correction d'un enregistrement en Fiche clinique ou en Devis"
RAZ = "Le solde du patient est initialisé. Veuillez remettre le solde manuellement."
VISUAL = "Visualisation du Fichier Clinique ou Devis"
TOGETHER = ["--patients", "12", "--damage", "first-prev:clinique:4", "--damage", "next-high:clinique:4",
            "--damage", "start-high:clinique:6", "--damage", "loop:clinique:7", "--damage", "shared:clinique:9:7",
            "--damage", "truncate:clinique:10", "--damage", "start-negative:estime:2", "--damage",
            "next-high:estime:5", "--damage", "truncate:firstrec:12"]


class Window(WineTest):

    def test_the_host_on_the_current_drive_is_checked(self):
        for name, host, where, accepted in [("none", None, "c", False), ("13.0", "13.0", "c", False),
                                            ("blockless", "blockless", "c", False), ("13.1", "13.1", "c", True),
                                            ("d-only-c", "14.0", "c", False), ("d", "13.1", "d", True)]:
            with self.subTest(host=name):
                self.fresh(name)
                cwd = "c:\\ortavo\\data"
                if name.startswith("d"):
                    cwd = "d:\\data\\cabinet"
                    self.mkpractice("--patients", "2", into=self.d / "data" / "cabinet")
                    self.host("13.0")
                else:
                    self.mkpractice("--patients", "2")
                if host == "blockless":
                    (self.data.parent / "ortavo.exe").write_bytes(HOLDER.read_bytes())
                elif host:
                    (self.d / "ortavo").mkdir()
                    self.host(host, into=self.d / "ortavo" if where == "d" else None)
                steps = [("window",), ("close",), ("exit",)] if accepted else [("box",), ("exit",)]
                r = self.run_program(steps, cwd=cwd)
                self.assertEqual((r.boxes, r.exits), ([] if accepted else [REFUSED], [0]))

    def test_views_browsers_and_sizes_beside_a_holder_sharing_the_files(self):
        self.fresh("views")
        self.host("14.0")
        self.mkpractice("--patients", "4", "--lines", "300", "--quotes", "120", "--chart", "400")
        self.hold("shared", *DATA_FILES)
        views = {"clinical": 102, "clinical-end": 103, "quotes": 104, "quotes-end": 105, "chart": 106}
        steps = [("window",)]
        for name, command in views.items():
            steps += view(command, 1, name)
        steps += [("mark", "page2"), ("enter",)]
        for name, command in (("browse-clinique", 116), ("browse-estime", 117)):
            steps += [("mark", name), ("command", command)] + fill(VISUAL, 5)
        r = self.run_program(steps + [("mark", "sizes"), ("command", 120), ("idle",), ("close",), ("exit",)])
        self.assertEqual((r.boxes, r.exits), ([], [0]))
        # Wine may or may not repaint what a closed dialog uncovered, even
        # after the next mark, and each paint draws the next page: a view is
        # read from a paint of its header on, every later paint going on where
        # the one before ended, until the chain, ended, starts again.
        for name in views:
            with self.subTest(view=name):
                kind, _, end = name.partition("-")
                shown = self.cli("show", kind, 1, "--raw", *(["--from-end"] if end else []), self.data).stdout
                paints = [p for p in r.paints[name] + (r.paints["page2"] if name == "chart" else []) if p]
                starts = [i for i, p in enumerate(paints) if p[0][1].startswith(b"DEBUT")] + [len(paints)]
                drawn = [[text for paint in paints[a:b] for _, text in paint] for a, b in zip(starts, starts[1:])]
                shown = shown.splitlines()
                self.assertTrue(any(len(d) > 10 and d == shown[:len(d)] for d in drawn), (drawn, shown))
        self.assertTrue(any(r.paints["page2"]), "Enter drew the chart's next page")
        for name in ("browse-clinique", "browse-estime"):
            firsts = [[line.split(b"\xb3")[1:2] for _, line in p[:3]] for p in r.paints[name]]
            self.assertIn([[b"       5"], [b"       6"], [b"       7"]], firsts, name)
        sizes = [text for paint in r.paints["sizes"] for _, text in paint if b" -> " in text]
        self.assertEqual(sizes, self.cli("sizes", self.data).stdout.splitlines())

    def test_integrity_reports_and_boxes_are_the_consoles(self):
        for command, target in ((112, "clinique"), (115, "devis")):
            with self.subTest(target=target):
                self.fresh(target)
                self.host("14.0")
                self.mkpractice(*TOGETHER)
                native = self.cli("test", target, self.data, "--report", self.run_dir / "report",
                                  "--map", self.run_dir / "map")
                boxes = [tuple(line[12:].split(" : ")[::-1]) for line in native.stderr.decode().splitlines()
                         if line.startswith("chkort-cli: Erreur : ")]
                steps = [("window",), ("command", command)] + [("box",)] * len(boxes)
                r = self.run_program(steps + [("close",), ("exit",)])
                self.assertEqual(r.boxes, boxes)
                expected = [(self.run_dir / name).read_bytes() for name in ("report", "map")]
                self.assertTrue(expected[0])
                self.assertEqual([(self.tmp / name).read_bytes() for name in ("erreurfiche.txt", "testfich.txt")],
                                 expected)
                cli = self.wine(CLI_EXE, "test", target, "c:\\ortavo\\data", "--report", "c:\\tmp\\cli-report",
                                "--map", "c:\\tmp\\cli-map")
                self.assertEqual(cli.returncode, 1, cli.stderr)
                self.assertEqual([(self.tmp / name).read_bytes() for name in ("cli-report", "cli-map")], expected)

    def test_repairs_through_their_dialogs(self):
        self.fresh("repairs")
        self.host("14.0")
        self.mkpractice("--patients", "3", "--lines", "12", "--quotes", "6", "--chart", "3")
        before = {f: (self.data / f).read_bytes() for f in DATA_FILES}
        # Ten characters typed where nine fit: the edit keeps nine.
        def ten(edit):
            return [("type", edit, "1234567890"), ("get", edit)]
        r = self.run_program(
            [("window",), ("command", 107), ("dialog", RELINK)] + ten(1000) + fill(RELINK, 1, 2, 6, 9)[1:]
            + [("command", 108)] + fill(RELINK, 1, 2, 0, 1)
            + [("command", 109)] + fill("Correction du Firstrec - Fiche Clinique", 2, 4, 11)
            + [("command", 110), ("dialog", "Correction du Firstrec - Devis")] + ten(1001)
            + fill("Correction du Firstrec - Devis", 3, 2, 4)[1:]
            + [("command", 111)] + fill("Correction du Firstrec - Schéma dentaire", 2, 1)
            + view(102, 3, "cut") + [("command", 113)] + fill("Correction du dossier", 1)
            + [("command", 122)] + fill(NUMERO, 2) + [("box",)]
            + [("command", 123)]
            + [("command", 121)] + fill("Modification n° du user", 4, 9)
            + [("command", 127)] + fill("Changement de n° du dessin", 20, 7)
            + [("command", 126)] + fill("Modification n° du user", 48, 52) + [("close",), ("exit",)])
        self.assertEqual((r.gets, r.boxes, r.exits), (["123456789"] * 2, [("Information", RAZ)], [0]))
        changes = []
        for name, size in (("firstrec", 32), ("clinique", 224), ("estime", 86), ("identite", 1420), ("Fschema", 64)):
            old, new = before[name], (self.data / name).read_bytes()
            for at in range(len(new)):
                if old[at] != new[at]:
                    changes.append("%s %d +%d: %02x -> %02x" % (name, at // size + 1, at % size, old[at], new[at]))
        (self.run_dir / "changes.txt").write_text("\n".join(changes) + "\n")
        self.assertEqual("\n".join(changes) + "\n", (HERE / "repairs.golden").read_text())
        # Every one of them undone from the run's journal, the only one.
        journals = [p.name for p in (self.data / "chkort-journal").iterdir()]
        self.assertEqual(len(journals), 1, journals)
        listed = self.wine(CLI_EXE, "journal", "c:\\ortavo\\data")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        # Each command with its patient and view, or its lines, and the records
        # it changed, as repairs.golden has them.
        lines = listed.stdout.decode().splitlines()
        self.assertTrue(lines[0].endswith("  17 enregistrements modifiés"), lines[0])
        self.assertEqual([line[23:] for line in lines[1:]], [
            "Correction d'une ligne en fiche clinique, patient 1, fiche clinique : 1 enregistrement modifié",
            "Correction d'une ligne en devis, patient 1, devis : 1 enregistrement modifié",
            "Correction du Firstrec pour clinique, patient 2, fiche clinique : 1 enregistrement modifié",
            "Correction du Firstrec pour devis, patient 3, devis : 1 enregistrement modifié",
            "Correction du Firstrec pour schéma dentaire, patient 2, schéma dentaire : 1 enregistrement modifié",
            "Corriger, patient 3, vue de la fiche clinique à partir du début : 2 enregistrements modifiés",
            "RAZ Solde patient, patient 2 : 1 enregistrement modifié",
            "Supprimer facturation Ordonnance, entre les lignes 1 et 10 de la fiche clinique, lignes 2 à 4 du devis : "
            "9 enregistrements modifiés",
            "Changer le numero du user, lignes 1, 6, 10 et 11 de la fiche clinique : 4 enregistrements modifiés",
            "Changer le numero du dessin, lignes 8 et 10 de la fiche clinique : 2 enregistrements modifiés",
            "Changer la couleur de la ligne en clinique, entre les lignes 1 et 12 de la fiche clinique : "
            "7 enregistrements modifiés"])
        # Given by its full path alone, the journal is undone on its own practice.
        undo = self.wine(CLI_EXE, "annuler", "c:\\ortavo\\data\\chkort-journal\\" + journals[0])
        self.assertEqual(undo.returncode, 0, undo.stdout + undo.stderr)
        self.assertEqual({f: (self.data / f).read_bytes() for f in DATA_FILES}, before)

    def test_reparer_mends_what_the_window_then_shows(self):
        # A practice another program holds open for writing is refused whole.
        damages = ["--patients", "3", "--damage", "loop:clinique:2"]
        self.fresh("reparer-held")
        self.mkpractice(*damages)
        before = {f: (self.data / f).read_bytes() for f in DATA_FILES}
        self.hold("shared", "clinique")
        held = self.wine(CLI_EXE, "reparer", "all", "c:\\ortavo\\data")
        self.assertEqual((held.returncode, held.stdout), (2, b""))
        self.assertIn("c:\\ortavo\\data\\clinique est ouvert en écriture par un autre programme", held.stderr.decode())
        self.assertEqual(({f: (self.data / f).read_bytes() for f in DATA_FILES}, (self.data / "chkort-journal").exists()),
                         (before, False))
        # Alone, it cuts the loop; the window's view of the patient then draws
        # the chain as the native console shows it, ending normally.
        self.fresh("reparer")
        self.host("14.0")
        self.mkpractice(*damages)
        self.assertEqual(self.cli("show", "clinical", 2, self.data).returncode, 1)  # the loop
        mended = self.wine(CLI_EXE, "reparer", "all", "c:\\ortavo\\data")
        self.assertEqual(mended.returncode, 0, mended.stdout + mended.stderr)
        shown = self.cli("show", "clinical", 2, "--raw", self.data)
        self.assertEqual(shown.returncode, 0, shown.stderr)
        r = self.run_program([("window",)] + view(102, 2, "view") + [("idle",), ("close",), ("exit",)])
        self.assertEqual((r.boxes, r.exits), ([], [0]))
        self.assertIn(shown.stdout.splitlines(), [[text for _, text in paint] for paint in r.paints["view"]])

    def test_a_data_file_locked_by_another_program(self):
        self.fresh("locked")
        self.host("14.0")
        self.mkpractice("--patients", "3")
        self.hold("none", "estime")
        r = self.run_program([("box",), ("window",), ("close",), ("exit",)])
        self.assertEqual((r.boxes, r.exits), ([("Erreur d'ouverture du fichier - c:\\ortavo\\data\\estime", "Erreur")],
                                              [0]))


if __name__ == "__main__":
    unittest.main()
