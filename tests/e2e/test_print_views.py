"""Options > Imprimer under Wine, on a cups-pdf printer of the test's own:
each view prints from its beginning, in the order of the screen view, with
its heading on the first page only, page after page at 50 dots from the top,
and no empty page after a last line that fills its page. The PDF is read
back with pdftotext and pdfinfo."""

import unittest

from harness import PrintTestCase, Script, pdf_info, pdf_pages, print_jobs, printed_form

PRINT = 114
VERTRES, LOGPIXELSX = 10, 88
PATIENT_DIALOG = "Numéro du patient"


class PrintViews(PrintTestCase):

    def script_printing(self, *views, enters=0):
        """For each (command, patient): the view, `enters` more pages of it
        on screen, then Imprimer; one mark per view and one per print."""
        s = Script().wait_window("CHKORT", "Utilitaire de ORTAVO").idle()
        for command, patient in views:
            s.mark("view %d %d" % (command, patient)).command(command)
            s.fill(PATIENT_DIALOG, (1000, str(patient))).idle()
            for _ in range(enters):
                s.key("enter").idle()
            s.mark("print %d %d" % (command, patient)).command(PRINT).idle()
        return s.mark("end").close().wait_exit()

    def geometry(self, section, job):
        """The printer's vertical resolution and the print font's line
        advance, as the job met them."""
        vertres = [c.retval for c in job.calls if c.name == "GetDeviceCaps" and c.int(1) == VERTRES]
        self.assertTrue(vertres, "the page limit comes from VERTRES")
        first = job.pages[0]
        advance = first[1].y - first[0].y
        self.assertGreater(advance, 0)
        return vertres[0], advance

    def expected_page_sizes(self, lines, vertres, advance):
        """Lines on each page: a line is drawn while its top is within
        VERTRES - 100; the heading takes the first slot of page 1."""
        slots = (vertres - 100 - 50) // advance + 1
        sizes, left, room = [], lines, slots - 1
        while True:
            sizes.append(min(left, room))
            left -= sizes[-1]
            if left == 0:
                return sizes
            room = slots

    def check_print(self, r, command, patient, pdf, shown_whole=True):
        """The print of one view against its screen view and its PDF."""
        main = self.main_window(r)
        shown = self.screen_views(r.section("view %d %d" % (command, patient)))
        self.assertGreaterEqual(len(shown), 2, "the screen view was not paged through to its heading again")
        walk = shown[0]
        section = r.section("print %d %d" % (command, patient))
        self.assert_job_frame(section, main)
        job, = print_jobs(section)
        self.assertTrue(job.started and job.ended)

        # The screen view from its heading, byte for byte, in its colours.
        printed = job.lines()
        self.assert_drawn_alike(printed, walk)

        # Pages at 50 from the top, one advance apart, broken by the rule,
        # the print font selected again before each new page.
        vertres, advance = self.geometry(section, job)
        sizes = self.expected_page_sizes(len(walk) - 1, vertres, advance)
        self.assertEqual([len(p) for p in job.pages], [sizes[0] + 1] + sizes[1:])
        for page in job.pages:
            self.assertEqual([t.y for t in page], [50 + k * advance for k in range(len(page))])
        font, = [c.retval for c in section.calls if c.name == "CreateFontA"]
        names = [(c.name, c.int(1) if c.name == "SelectObject" else None) for c in job.calls]
        starts = [i for i, (n, _) in enumerate(names) if n == "StartPage"]
        for i in starts:
            self.assertEqual(names[i - 1], ("SelectObject", font & 0xFFFFFFFF))
        self.assertEqual(job.page_ends, len(job.pages))

        # The paper: as many pages, the same lines page by page, the
        # heading alone at the top of the first.
        info = pdf_info(pdf)
        self.assertEqual(info["Title"], "Utilitaire ORT")
        self.assertEqual(int(info["Pages"]), len(job.pages))
        paper = pdf_pages(pdf)
        self.assertEqual([len(p) for p in paper], [len(p) for p in job.pages])
        for page, drawn in zip(paper, job.pages):
            for read, text in zip(page, drawn):
                got, want = printed_form(read), printed_form(text.text)
                if shown_whole:
                    self.assertEqual(got, want)
                else:  # long lines run off the paper's right edge, past their first columns
                    self.assertTrue(want.startswith(got) and got.count("\xb3") >= min(want.count("\xb3"), 8),
                                    (read, text.text))
        headings = [line for page in paper for line in page if line.startswith("DEBUT")]
        self.assertEqual(headings, [paper[0][0]])
        return job

    def test_clinical_chart_from_the_start_and_from_the_end(self):
        self.host("14.0")
        # 150 lines: more than one page at 300 dots per inch.
        self.mkpractice("--patients", "6", "--damage", "long:clinique:2:150")
        since = len(self.print_server.pdfs())
        r = self.run_script(self.script_printing((102, 2), (103, 2), enters=9)).check()
        first, last = self.print_server.wait_pdfs(2, since)

        forward = self.check_print(r, 102, 2, first, shown_whole=False)
        backward = self.check_print(r, 103, 2, last, shown_whole=False)
        self.assertEqual(len(forward.pages), 2)
        lines = forward.lines()[1:]
        self.assertEqual(len(lines), 150)
        self.assertEqual([self.record_of(t) for t in backward.lines()[1:]],
                         [self.record_of(t) for t in reversed(lines)])
        # The print font from the printer's 300 dots per inch.
        section = r.section("print 102 2")
        self.assertEqual([c.retval for c in section.calls if c.name == "GetDeviceCaps" and c.int(1) == LOGPIXELSX],
                         [300])
        self.assertEqual([(c.sint(0), c.str(13)) for c in section.calls if c.name == "CreateFontA"],
                         [(32, b"OrtText")])
        self.assertEqual(r.message_boxes, [])

    def test_quotes_and_dental_chart_that_fill_their_pages(self):
        self.host("14.0")
        # First the page geometry, as the printer gives it, on short chains.
        self.mkpractice("--patients", "5", "--damage", "long:estime:3:12", "--damage", "long:Fschema:4:9")
        since = len(self.print_server.pdfs())
        r = self.run_script(self.script_printing((105, 3), (106, 4), enters=2)).check()
        quotes, chart = self.print_server.wait_pdfs(2, since)
        backward = self.check_print(r, 105, 3, quotes)
        self.check_print(r, 106, 4, chart)
        self.assertEqual(len(backward.lines()), 13)
        vertres, advance = self.geometry(r.section("print 105 3"), backward)

        # Then chains whose last line takes the last slot of a page: two
        # full pages of quotes, one full page of chart entries.
        slots = (vertres - 100 - 50) // advance + 1
        two_pages, one_page = 2 * slots - 1, slots - 1
        self.data.rename(self.run_dir / "short")
        self.data.mkdir()
        self.mkpractice("--patients", "5", "--damage", "long:estime:3:%d" % two_pages,
                        "--damage", "long:Fschema:4:%d" % one_page)
        since = len(self.print_server.pdfs())
        r = self.run_script(self.script_printing((104, 3), (106, 4), enters=12)).check()
        quotes, chart = self.print_server.wait_pdfs(2, since)
        for job, pages, pdf in ((self.check_print(r, 104, 3, quotes), 2, quotes),
                                (self.check_print(r, 106, 4, chart), 1, chart)):
            self.assertEqual(len(job.pages), pages)
            self.assertEqual(job.pages[-1][-1].y, 50 + (slots - 1) * advance)
            self.assertGreater(job.pages[-1][-1].y + advance, vertres - 100, "the last line filled its page")
            self.assertEqual(int(pdf_info(pdf)["Pages"]), pages)
        self.assertEqual(r.message_boxes, [])


if __name__ == "__main__":
    unittest.main()
