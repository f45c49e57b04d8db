"""chkort.exe under Wine: the host guard, the views, browsers and tests
reached through the menu, dialogs and Enter, beside a holder of the data
files, compared with what chkort-cli finds natively on the same files; the
repairs through their dialogs; a data file locked by another program."""

import unittest

from harness import CLI_EXE, HOLDER, WineTest, fill, view

REFUSED = ("Information", "Attention ! Ce module est destiné pour la version de ORTAVO  V13.XX, V14.XX, V15.XX et "
           "V16.XX|Vous ne devez pas l'utiliser dans les versions antérieures.")
DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"]
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
        for name in views:
            with self.subTest(view=name):
                kind, _, end = name.partition("-")
                shown = self.cli("show", kind, 1, "--raw", *(["--from-end"] if end else []), self.data).stdout
                drawn = r.lines(name)
                self.assertGreater(len(drawn), 10)
                self.assertEqual(drawn, shown.splitlines()[:len(drawn)])
        # Enter (the page of the chart on screen) goes on with the lines after those drawn.
        page2 = r.lines("page2")
        self.assertGreater(len(page2), 10)
        shown = self.cli("show", "chart", 1, "--raw", self.data).stdout.splitlines()
        self.assertEqual(r.lines("chart") + page2, shown[:len(r.lines("chart")) + len(page2)])
        for name in ("browse-clinique", "browse-estime"):
            numbers = [line.split(b"\xb3")[1].strip() for line in r.lines(name)]
            self.assertEqual(numbers[:3], [b"5", b"6", b"7"], name)
        sizes = [text for paint in r.paints["sizes"] for text in paint]
        self.assertEqual([t for _, t in sizes], self.cli("sizes", self.data).stdout.splitlines())

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
