"""The harness end to end, against the stand-in program: what the driver
sees on screen and what the trace shows drawn, boxed, opened and greyed
agree with what the stand-in is known to do; failures end quickly and leave
nothing running."""

import time
import unittest

from harness import E2ETestCase, SESSION, STANDIN, Script

RED, BLACK = 0x0000FF, 0x000000
TITLE = "Programme témoin"
CMD_SHOW, CMD_NOTICE, CMD_NUMBER, CMD_LONG, CMD_ERROR, CMD_HANG, CMD_CORRECT = 201, 202, 203, 204, 205, 206, 213


def started():
    return Script().wait_window("E2ESTANDIN", TITLE)


class StandinCase(E2ETestCase):
    program = STANDIN

    def setUp(self):
        super().setUp()
        self.host(b"MZ")  # the stand-in only checks that the host is there


class Start(StandinCase):
    def test_window_title_and_current_directory(self):
        r = self.run_script(started().idle().close().wait_exit()).check()
        self.assertEqual([(w.fields["class"], w.title) for w in r.windows], [("E2ESTANDIN", TITLE)])
        self.assertEqual(r.lines(), ["Dossier : c:\\ortavo\\data"])
        self.assertEqual([o.path for o in r.file_opens], ["c:\\ortavo\\ortavo.exe"])
        self.assertTrue(r.file_opens[0].ok)
        self.assertEqual(r.exit_code, 7)
        self.assertFalse(r.killed)

    def test_without_host_a_box_without_owner_then_exit(self):
        (self.ortavo / "ortavo.exe").unlink()
        r = self.run_script(Script().box().wait_exit()).check()
        box, = r.boxes_shown
        self.assertEqual((box.caption, box.text, box.owner, box.icon), ("Information", "Hôte absent.", "none", True))
        call, = r.message_boxes
        self.assertEqual((call.owner, call.style, call.result), (0, 0x40, 1))
        self.assertFalse(r.file_opens[0].ok)
        self.assertEqual(r.exit_code, 0)

    def test_waiting_for_a_window_of_a_program_that_ended_fails_at_once(self):
        (self.ortavo / "ortavo.exe").unlink()
        t0 = time.monotonic()
        r = self.run_script(Script().timeout(20000).raw("sleep 300").raw('key enter'))
        self.assertFalse(r.ok)
        self.assertIn("no main window", r.failure)
        r = self.run_script(Script().timeout(20000).sleep(300).box().wait_window("E2ESTANDIN"))
        self.assertFalse(r.ok)
        self.assertEqual(r.failed_step, 5)
        self.assertIn("program exited with code 0", r.failure)
        self.assertLess(time.monotonic() - t0, 15)

    def test_second_drive_as_current_drive(self):
        d = self.drive_d()
        (d / "cabinet").mkdir()
        r = self.run_script(Script().box().wait_exit(), cwd="d:\\cabinet").check()
        self.assertEqual([o.path for o in r.file_opens], ["d:\\ortavo\\ortavo.exe"])
        self.assertEqual(r.boxes_shown[0].text, "Hôte absent.")
        (d / "ortavo").mkdir()
        (d / "ortavo" / "ortavo.exe").write_bytes(b"MZ")
        r = self.run_script(started().idle().close().wait_exit(), cwd="d:\\cabinet").check()
        self.assertEqual(r.lines(), ["Dossier : d:\\cabinet"])


class Drawing(StandinCase):
    def test_paged_view_colours_positions_and_enter(self):
        r = self.run_script(started().idle().mark("page 0").command(CMD_SHOW).idle()
                            .mark("page 1").key("enter").idle()
                            .mark("ignored").command(999).key("f1").idle()
                            .close().wait_exit()).check()
        page0 = r.section("page 0").texts
        self.assertEqual([(t.x, t.y, t.colour, t.raw) for t in page0], [
            (0, 0, RED, b"EN-T\xcaTE page 0"),
            (8, 16, BLACK, b'   1\xb3Ligne "1" de C:\\data\xb3'),
            (8, 32, BLACK, b'   2\xb3Ligne "2" de C:\\data\xb3'),
            (8, 48, BLACK, b'   3\xb3Ligne "3" de C:\\data\xb3')])
        self.assertTrue(all(t.complete for t in page0))
        self.assertEqual(r.section("page 1").lines(RED), ["EN-TÊTE page 1"])
        self.assertEqual(r.section("page 1").lines(BLACK)[0], "   4³Ligne \"1\" de C:\\data³")
        self.assertEqual(r.section("ignored").texts, [])

    def test_texts_the_trace_cannot_show_whole(self):
        r = self.run_script(started().idle().mark("long").command(CMD_LONG).idle()
                            .close().wait_exit()).check()
        xs, bars, nul, short = r.section("long").texts
        self.assertEqual((xs.count, xs.complete, set(xs.raw)), (350, False, {ord("x")}))
        self.assertEqual(len(xs.raw), 291)
        self.assertEqual((bars.x, bars.count, bars.complete, len(bars.raw)), (-4, 120, False, 73))
        self.assertEqual((nul.raw, nul.count, nul.complete), (b"AB", 5, False))
        self.assertEqual((short.raw, short.complete), (b"abc", True))


class BoxesAndDialogs(StandinCase):
    def test_boxes_as_shown_and_as_called(self):
        r = self.run_script(started().command(CMD_NOTICE).box().command(CMD_ERROR).box()
                            .close().wait_exit()).check()
        main = int(r.windows[0].hwnd, 16)
        notice, error = r.boxes_shown
        self.assertEqual((notice.caption, notice.text, notice.owner, notice.icon, notice.buttons),
                         ("Information", 'Opération terminée.\nFichier "clinique" : 3 lignes.', "main", True, "1"))
        self.assertEqual((error.caption, error.text, error.owner, error.icon), ("CLINIQUE", "Erreur", "none", False))
        self.assertEqual([(b.owner, b.caption, b.text, b.style, b.result) for b in r.message_boxes], [
            (main, "Information", notice.text, 0x40, 1),
            (0, "CLINIQUE", "Erreur", 0, 1)])

    def test_dialog_found_by_title_filled_and_read_back(self):
        typed = '12é "x" \\ €'
        r = self.run_script(started().command(CMD_NUMBER).dialog("Numéro du patient").set(1000, typed)
                            .get(1000).click(1).wait_closed().box().close().wait_exit()).check()
        dialog, = r.dialogs
        self.assertEqual((dialog.title, dialog.owner), ("Numéro du patient", "main"))
        self.assertEqual(r.read_texts, [typed])
        opened = r.file_opens[-1]
        self.assertEqual((opened.path, opened.access, opened.share, opened.disposition, opened.ok),
                         ("clinique", 0xC0000000, 3, 3, False))
        self.assertEqual(r.boxes_shown[0].caption, "Erreur d'ouverture du fichier - c:\\ortavo\\data\\clinique")

        (self.data / "clinique").write_bytes(b"\0" * 10)
        r = self.run_script(started().command(CMD_NUMBER).fill("Numéro du patient", (1000, typed))
                            .no_box(300).idle().close().wait_exit()).check()
        self.assertTrue(r.file_opens[-1].ok)
        self.assertEqual(r.lines()[-1], "Patient 12 saisi : " + typed)

    def test_cancel_and_a_refused_number(self):
        r = self.run_script(started().command(CMD_NUMBER).fill("Numéro du patient", (1000, "7"), button=2)
                            .no_box(300).command(CMD_NUMBER).fill("Numéro du patient", (1000, "abc"))
                            .box().close().wait_exit()).check()
        self.assertEqual([b.text for b in r.boxes_shown], ["Numéro du patient non valide."])
        self.assertEqual(len(r.file_opens), 1)  # the host only

    def test_menu_greying_seen_through_the_trace(self):
        r = self.run_script(started().initmenu().idle().command(CMD_SHOW).idle().initmenu().idle()
                            .close().wait_exit()).check()
        self.assertEqual([(m.item, m.enabled) for m in r.menu_enables], [(CMD_CORRECT, False), (CMD_CORRECT, True)])


class Failures(StandinCase):
    def test_an_unexpected_box_fails_and_is_reported(self):
        r = self.run_script(started().command(CMD_NOTICE).no_box(2000).close().wait_exit())
        self.assertFalse(r.ok)
        self.assertEqual(r.failed_step, 4)
        self.assertEqual(r.boxes_shown[0].caption, "Information")
        self.assertTrue(r.killed)
        self.assertRaises(AssertionError, r.check)

    def test_a_program_that_stops_answering_fails_within_the_limit(self):
        t0 = time.monotonic()
        r = self.run_script(started().timeout(1000).command(CMD_HANG).idle().close().wait_exit())
        self.assertFalse(r.ok)
        self.assertIn("did not answer within 1000 ms", r.failure)
        self.assertTrue(r.killed)
        self.assertLess(time.monotonic() - t0, 10)

    def test_a_dialog_that_never_comes_and_a_missing_control(self):
        r = self.run_script(started().timeout(500).dialog("Absent"))
        self.assertIn('timeout after 500 ms waiting for dialog "Absent"', r.failure)
        r = self.run_script(started().timeout(500).command(CMD_NOTICE).dialog("Information"))
        self.assertIn("waiting for dialog", r.failure)  # a message box is no dialog
        r = self.run_script(started().command(CMD_NUMBER).dialog("Numéro du patient").set(1234, "x"))
        self.assertEqual(r.failure, "the dialog has no control 1234")
        self.assertTrue(r.killed)

    def test_a_scenario_over_its_time_is_killed_and_the_next_one_runs(self):
        t0 = time.monotonic()
        r = self.run_script(started().sleep(60000), timeout=5)
        self.assertFalse(r.ok)
        self.assertIn("longer than 5 s", r.failure)
        self.assertLess(time.monotonic() - t0, 30)
        r = self.run_script(started().close().wait_exit()).check()
        self.assertEqual(r.exit_code, 7)


class Timing(StandinCase):
    def test_a_small_scenario_takes_seconds_once_wine_runs(self):
        self.run_script(started().close().wait_exit()).check()
        t0 = time.monotonic()
        self.run_script(started().command(CMD_SHOW).idle().key("enter").idle().command(CMD_NOTICE).box()
                        .close().wait_exit()).check()
        elapsed = time.monotonic() - t0
        print("\nscenario: %.2f s; session start: %s" % (
            elapsed, ", ".join("%s %.1f s" % kv for kv in SESSION.timings.items() if kv[0] != "last_scenario")))
        self.assertLess(elapsed, 10)


if __name__ == "__main__":
    unittest.main()
