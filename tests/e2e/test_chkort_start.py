"""chkort.exe under Wine: started on a sample practice with an accepted host,
it shows its main window and opens the data files; closed, it ends with 0."""

import unittest

from harness import CHKORT, E2ETestCase, Script

DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"]


class Start(E2ETestCase):
    program = CHKORT

    def test_main_window_on_a_sample_practice(self):
        self.host("14.0")
        self.mkpractice("--patients", "12")
        r = self.run_script(Script().wait_window("CHKORT", "Utilitaire de ORTAVO").idle()
                            .no_box(200).close().wait_exit()).check()
        window, = r.windows
        self.assertEqual((window.fields["class"], window.title), ("CHKORT", "Utilitaire de ORTAVO"))
        # The data files of the current directory, in their fixed order,
        # shared for reading and writing so the host may keep them open.
        data = [o for o in r.file_opens if o.path.lower().startswith("c:\\ortavo\\data\\")]
        self.assertEqual([o.path.rsplit("\\", 1)[1] for o in data], DATA_FILES)
        self.assertTrue(all(o.ok and o.share == 3 for o in data), data)
        self.assertEqual(r.message_boxes, [])
        self.assertEqual(r.exit_code, 0)


if __name__ == "__main__":
    unittest.main()
