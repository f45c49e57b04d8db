"""Options > Imprimer under Wine on a cups-pdf queue of the test's own: a
chart of two pages and a loop of 120 lines printed once round, the PDF's
lines those of chkort-cli show; with no printer at all (Wine makes a lone
queue the default), the box."""

import os
import shutil
import subprocess
import unittest

from harness import PrintServer, WineTest, view


class Printing(WineTest):

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0 or not shutil.which("cupsd"):
            raise unittest.SkipTest("printing needs root (cupsd, lpadmin)")
        super().setUpClass()

    def print_server(self, name, printer):
        self.fresh(name)
        self.host("14.0")
        server = PrintServer(self.run_dir / "cups", printer)
        self.addCleanup(server.stop)
        self.env = dict(self.env, CUPS_SERVER=server.env["CUPS_SERVER"])
        return server

    def test_a_long_chart_and_a_loop_on_paper(self):
        server = self.print_server("print", True)
        self.mkpractice("--patients", "8", "--damage", "long:clinique:2:150", "--damage", "long:clinique:7:120",
                        "--damage", "loop:clinique:7")
        steps = [("window",)]
        for patient in (2, 7):
            steps += view(102, patient, patient) + [("command", 114), ("idle",)]
        r = self.run_program(steps + [("close",), ("exit",)])
        self.assertEqual((r.boxes, r.exits), ([], [0]))
        pdfs = server.pdfs(2)
        # 108 lines a page below the heading, which is on the first page only.
        for patient, pdf, pages in ((2, pdfs[0], [109, 42]), (7, pdfs[1], [109, 12])):
            with self.subTest(patient=patient):
                info = subprocess.run(["pdfinfo", pdf], capture_output=True).stdout.decode()
                self.assertIn("\nPages:           2\n", info)
                text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True).stdout.decode()
                printed = [[line for line in page.splitlines() if line] for page in text.split("\f")[:-1]]
                self.assertEqual([len(page) for page in printed], pages)
                # Spaced out differently, hyphens read back as soft ones, and
                # cut at the paper's right edge, past the twelfth column.
                printed = ["".join(line.replace("\xad", "-").split()) for page in printed for line in page]
                shown = self.cli("show", "clinical", patient, "--raw", self.data).stdout.decode("cp1252")
                shown = ["".join(line.split()) for line in shown.splitlines()]
                self.assertEqual(printed, [want[:len(got)] for got, want in zip(printed, shown)])
                self.assertEqual(len(printed), len(shown))
                self.assertGreaterEqual(min(line.count("³") for line in printed[1:]), 12)

    def test_without_a_printer_the_job_is_cancelled(self):
        self.print_server("no-printer", False)
        self.mkpractice("--patients", "3")
        r = self.run_program([("window",)] + view(102, 1, "view") + [("command", 114), ("box",), ("close",),
                                                                     ("exit",)])
        self.assertEqual((r.boxes, r.exits), ([("Erreur", "Impression est annulé")], [0]))


if __name__ == "__main__":
    unittest.main()
