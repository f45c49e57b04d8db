"""Options > Imprimer under Wine when something goes wrong: no printer, a
document the spooler refuses, damaged chains and unreadable records, and the
cancel dialog. Each job ends cleanly: the right box or none, the window
enabled again and usable, nothing sent to the printer that should not be.

Wine 8 calls the abort procedure only inside StartDocA, never from the page
calls, so "Annuler" pressed while the viewer draws cannot stop the drawing
under Wine, and the dialog's keyboard (Enter, Escape) is only translated
inside that procedure. What can be driven is a press of "Annuler" while a
box of the viewer holds the job open: the box's modal loop delivers it to the
dialog, and the job then ends without closing its page or its document."""

import shutil
import struct
import unittest

from harness import PrintServer, PrintTestCase, Script, pdf_info, pdf_pages, print_jobs, printed_form

PRINT = 114
PATIENT_DIALOG = "Numéro du patient"
STOP_ICON = 0x10


class PrintFailures(PrintTestCase):

    def start(self):
        return Script().wait_window("CHKORT", "Utilitaire de ORTAVO").idle()

    def view(self, s, command, patient, name, enters=0, box=False):
        s.mark(name).command(command).fill(PATIENT_DIALOG, (1000, str(patient))).idle()
        if box:
            s.box().idle()
        for _ in range(enters):
            s.key("enter").idle()
        return s

    def still_usable(self, r, name="after"):
        """A view chosen after the job was drawn: the window took the
        command, its dialog and its paint."""
        views = self.screen_views(r.section(name))
        self.assertTrue(views and views[0][0].raw.startswith(b"DEBUTACTE: "), views)
        self.assertGreater(len(views[0]), 1)

    def assert_box(self, box, text, caption, icon):
        self.assertEqual((box.text, box.caption, box.style), (text, caption, icon))

    def test_without_a_printer(self):
        self.host("14.0")
        self.mkpractice("--patients", "4")
        # A server of its own, with no queue at all.
        server = PrintServer(self.run_dir / "cups", printer=False).start()
        try:
            s = self.view(self.start(), 102, 1, "view").mark("print").command(PRINT).box().idle()
            s = self.view(s, 102, 2, "after").mark("end").close().wait_exit()
            r = self.run_script(s).check()
        finally:
            server.stop()
        main = self.main_window(r)
        section = r.section("print")
        box, = section.message_boxes
        self.assertEqual((box.text, box.style, box.owner), ("Impression est annulé", STOP_ICON, main))
        self.assertEqual(box.call.args[2][0], 0, "no caption of its own")
        shown, = section.boxes_shown
        self.assertEqual((shown.fields["owner"], shown.icon), ("main", True))
        # Nothing else: no font, no cancel dialog, no document, the window
        # never disabled, no repaint, nothing drawn, no job.
        self.assertEqual([c.retval for c in section.calls if c.name == "PrintDlgA"], [0])
        self.assertEqual([c.name for c in section.calls
                          if c.name in ("CreateFontA", "CreateDialogParamA", "StartDocA", "EnableWindow",
                                        "InvalidateRect", "TextOutA", "ExtTextOutA")], [])
        self.still_usable(r)

    def test_a_document_the_spooler_refuses(self):
        self.host("14.0")
        self.mkpractice("--patients", "4")
        jobs = self.print_server.jobs()
        spool = self.spool_directory()
        shutil.rmtree(spool)
        spool.write_bytes(b"")  # where the spooler would write the document
        try:
            s = self.view(self.start(), 102, 1, "view").mark("print").command(PRINT).box().idle()
            s = self.view(s, 102, 2, "after").mark("end").close().wait_exit()
            r = self.run_script(s).check()
        finally:
            spool.unlink()
            spool.mkdir()
        main = self.main_window(r)
        section = r.section("print")
        self.assert_job_frame(section, main)
        job, = print_jobs(section)
        self.assertFalse(job.started)
        self.assertEqual([c.name for c in job.calls if c.name != "DeleteDC"], ["StartDocA"])
        box, = section.message_boxes
        self.assert_box(box, "Erreur de l'impression", "Erreur", STOP_ICON)
        self.assertEqual(box.owner, main)
        # The box comes while the window is still disabled, then the window
        # is enabled again.
        at = {id(c): i for i, c in enumerate(section.calls)}
        enabled = [at[id(c)] for c in section.calls if c.name == "EnableWindow" and c.int(1) == 1]
        self.assertLess(at[id(job.start_call)], at[id(box.call)])
        self.assertLess(at[id(box.call)], enabled[0])
        self.assertEqual(self.print_server.jobs(), jobs)
        self.still_usable(r)

    def test_unreadable_records_and_a_cancel_while_their_box_holds_the_job(self):
        self.host("14.0")
        # Patient 3's last clinical line is cut short; patient 4's firstrec
        # record is cut short.
        self.mkpractice("--patients", "4", "--damage", "truncate:clinique:3", "--damage", "truncate:firstrec:4")
        since, jobs = len(self.print_server.pdfs()), len(self.print_server.jobs())
        s = self.view(self.start(), 102, 3, "view 3", box=True)
        s.mark("print 3").command(PRINT).box().idle()
        s.mark("cancel 3").command(PRINT).idle().dialog("TEST DU FICHIER").get(0xFFFF).get(1).click(1).box().idle()
        s = self.view(s, 102, 4, "view 4", box=True)
        s.mark("print 4").command(PRINT).box().idle()
        s = self.view(s, 102, 2, "after").mark("end").close().wait_exit()
        r = self.run_script(s).check()
        main = self.main_window(r)
        pdfs = self.print_server.wait_pdfs(2, since)
        self.assertEqual(len(pdfs), 2, "the cancelled job reached the printer")
        chart, empty = pdfs

        # The clinical line that cannot be read: the same box as on screen,
        # the lines before it printed, the job closed.
        shown, = self.screen_views(r.section("view 3"))
        section = r.section("print 3")
        self.assert_job_frame(section, main)
        box, = section.message_boxes
        self.assert_box(box, "Erreur", "CLINIQUE", 0)
        job, = print_jobs(section)
        self.assertTrue(job.ended)
        self.assertEqual(job.page_ends, 1)
        self.assert_drawn_alike(job.lines(), shown)
        paper, = pdf_pages(chart)
        self.assertEqual(len(paper), len(shown))
        for read, text in zip(paper, shown):
            self.assertTrue(printed_form(text.text).startswith(printed_form(read)), (read, text.text))

        # "Annuler" pressed while the box holds the job: the dialog was
        # there, the page and the document are left open, nothing reaches
        # the printer, and the window comes back.
        section = r.section("cancel 3")
        dialog, = section.dialogs
        self.assertEqual((dialog.fields["title"], dialog.fields["owner"]), ("TEST DU FICHIER", "main"))
        self.assertEqual(section.read_texts, ["Impression en cours", "Annuler"])
        self.assert_job_frame(section, main)
        box, = section.message_boxes
        self.assert_box(box, "Erreur", "CLINIQUE", 0)
        job, = print_jobs(section)
        self.assertTrue(job.started)
        self.assertEqual((len(job.pages), job.page_ends, job.ended), (1, 0, False))

        # The firstrec record that cannot be read: the box, nothing drawn,
        # the job closed on its one empty page.
        section = r.section("print 4")
        self.assert_job_frame(section, main)
        box, = section.message_boxes
        self.assert_box(box, "Erreur", "FIRSTREC", 0)
        job, = print_jobs(section)
        self.assertEqual((job.pages, job.page_ends, job.ended), ([[]], 1, True))
        self.assertEqual(pdf_pages(empty), [[]])

        self.assertEqual(len(self.print_server.jobs()), jobs + 2)
        self.still_usable(r)

    def test_chains_that_loop_back_or_leave_the_file(self):
        self.host("14.0")
        # 300 clinical lines: patient 1's chain links back to its first
        # line, patient 2's leaves the file in its middle.
        self.mkpractice("--patients", "6", "--lines", "300", "--damage", "loop:clinique:1",
                        "--damage", "next-high:clinique:2")
        since = len(self.print_server.pdfs())
        s = self.start()
        for patient in (1, 2):
            s = self.view(s, 102, patient, "view %d" % patient, enters=6)
            s.mark("print %d" % patient).command(PRINT).idle()
        s = self.view(s, 102, 3, "after").mark("end").close().wait_exit()
        r = self.run_script(s).check()
        main = self.main_window(r)
        looped, cut = self.print_server.wait_pdfs(2, since)
        self.assertEqual(r.message_boxes, [])

        # The loop: as many lines as the file's counter, the chain over and
        # over, numbered on; what the screen showed of it comes first.
        section = r.section("print 1")
        self.assert_job_frame(section, main)
        job, = print_jobs(section)
        self.assertTrue(job.ended)
        heading, *lines = job.lines()
        self.assertTrue(heading.raw.startswith(b"DEBUTACTE: ") and heading.raw.endswith(b"    LASTINDEX: 300    "))
        self.assertEqual(len(lines), 300)
        self.assertEqual([int(t.raw.split(b"\xb3")[0]) for t in lines], list(range(1, 301)))
        records = [self.record_of(t) for t in lines]
        period = records.index(records[0], 1)
        self.assertEqual(records, [records[k % period] for k in range(300)])
        shown, = self.screen_views(r.section("view 1"))
        self.assertGreater(len(shown), period + 1, "the screen went round the loop")
        self.assert_drawn_alike(job.lines()[:len(shown)], shown)
        paper = pdf_pages(looped)
        self.assertEqual(int(pdf_info(looped)["Pages"]), len(job.pages))
        self.assertEqual([len(p) for p in paper], [len(p) for p in job.pages])
        self.assertEqual(len(job.pages), 3)

        # The link out of the file: the walk the screen showed, then the
        # job closed as after a sound chain.
        section = r.section("print 2")
        self.assert_job_frame(section, main)
        job, = print_jobs(section)
        self.assertTrue(job.ended)
        shown, = self.screen_views(r.section("view 2"))
        self.assert_drawn_alike(job.lines(), shown)
        paper, = pdf_pages(cut)
        self.assertEqual(len(paper), len(shown))
        self.still_usable(r)

    def set_clinical_counter(self, value):
        """lastrec's count of clinical lines, as a damaged lastrec may hold it."""
        lastrec = bytearray((self.data / "lastrec").read_bytes())
        struct.pack_into("<i", lastrec, 16 * 3 + 12, value)
        (self.data / "lastrec").write_bytes(bytes(lastrec))

    def print_patient_1(self):
        """Patient 1's clinical chart viewed and printed (mark "print"), then
        another view: the result, the ended job without any box, its PDF."""
        since = len(self.print_server.pdfs())
        s = self.view(self.start(), 102, 1, "view")
        s.mark("print").command(PRINT).idle()
        s = self.view(s, 102, 3, "after").mark("end").close().wait_exit()
        r = self.run_script(s).check()
        pdf, = self.print_server.wait_pdfs(1, since)
        self.assertEqual(r.message_boxes, [])
        job, = print_jobs(r.section("print"))
        self.assertTrue(job.ended)
        return r, job, pdf

    def test_a_loop_when_lastrec_promises_far_more_lines_than_the_file_holds(self):
        self.host("14.0")
        self.mkpractice("--patients", "6", "--lines", "300", "--damage", "loop:clinique:1")
        # lastrec, damaged: a million clinical lines for a file that holds
        # a few hundred. The loop must not print up to the million.
        self.set_clinical_counter(1_000_000)
        held = (self.data / "clinique").stat().st_size // 224
        r, job, looped = self.print_patient_1()
        self.assert_job_frame(r.section("print"), self.main_window(r))
        heading, *lines = job.lines()
        self.assertTrue(heading.raw.endswith(b"    LASTINDEX: 1000000    "), heading.raw)
        # As many lines as the file holds records, the loop over and over.
        self.assertEqual(len(lines), held)
        records = [self.record_of(t) for t in lines]
        period = records.index(records[0], 1)
        self.assertEqual(records, [records[k % period] for k in range(held)])
        self.assertEqual(int(pdf_info(looped)["Pages"]), len(job.pages))
        self.still_usable(r)

    def test_a_loop_through_a_line_whose_offset_wraps_past_4_gib(self):
        self.host("14.0")
        self.mkpractice("--patients", "4", "--lines", "40")
        # Patient 1's first line links on to the line 2^27 further, which
        # lies 7 x 4 GiB further: the same record, over and over, under a
        # number no lower line repeats.
        first = struct.unpack_from("<i", (self.data / "firstrec").read_bytes(), 0)[0]
        far = first + 2 ** 27
        clinique = bytearray((self.data / "clinique").read_bytes())
        struct.pack_into("<i", clinique, 224 * (first - 1) + 145, far)
        (self.data / "clinique").write_bytes(bytes(clinique))
        self.set_clinical_counter(200_000_000)
        r, job, _ = self.print_patient_1()
        heading, *lines = job.lines()
        records = [self.record_of(t) for t in lines]
        self.assertEqual(records[:3], [first, far, far])
        self.assertEqual(set(records[1:]), {far})
        # A record starts every 32 bytes at most: the job ends within one
        # line more than there are such places in the file.
        self.assertLessEqual(len(lines), len(clinique) // 32 + 1)
        self.still_usable(r)


if __name__ == "__main__":
    unittest.main()
