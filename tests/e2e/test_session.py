"""The Wine side of the harness: the prefix pool never lends one prefix
twice, and a session leaves nothing behind, even when its test process is
killed outright."""

import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import harness
from harness import DRIVER, Session, _alive, _processes_marked


class PrefixPool(unittest.TestCase):
    def setUp(self):
        self.saved = harness.PREFIXES, harness.SLOTS, harness.SLOT_WAIT
        self.dir = tempfile.TemporaryDirectory()
        harness.PREFIXES, harness.SLOTS, harness.SLOT_WAIT = Path(self.dir.name), 2, 1

    def tearDown(self):
        harness.PREFIXES, harness.SLOTS, harness.SLOT_WAIT = self.saved
        self.dir.cleanup()

    def test_a_held_slot_is_skipped_and_a_full_pool_waits_then_gives_up(self):
        held = os.open(harness.PREFIXES / "slot0.lock", os.O_RDWR | os.O_CREAT)
        fcntl.flock(held, fcntl.LOCK_EX)
        try:
            a, b = Session(), Session()
            a._take_slot()
            self.assertEqual(a.slot, 1)
            t0 = time.monotonic()
            self.assertRaisesRegex(RuntimeError, "no free Wine prefix", b._take_slot)
            self.assertGreaterEqual(time.monotonic() - t0, 1)
            os.close(a.lock)
            b._take_slot()
            self.assertEqual(b.slot, 1)
            os.close(b.lock)
        finally:
            os.close(held)


CHILD = """
import sys, time
sys.path.insert(0, %r)
import harness
harness.SESSION.start()
print(harness.SESSION.xvfb.pid, harness.SESSION.server.pid, harness.SESSION.marker, flush=True)
time.sleep(120)
"""


@unittest.skipUnless(DRIVER.exists(), "driver.exe is not built")
class Lifetime(unittest.TestCase):
    def _processes(self, marker, xvfb):
        return [p for p in _processes_marked(marker)] + ([xvfb] if _alive(xvfb) and not _zombie(xvfb) else [])

    def test_stop_leaves_nothing_and_frees_the_slot(self):
        s = Session()
        s.start()
        xvfb, slot = s.xvfb.pid, s.slot
        self.assertTrue(_processes_marked(s.marker))
        s.stop()
        self.assertEqual(self._processes(s.marker, xvfb), [])
        fd = os.open(harness.PREFIXES / ("slot%d.lock" % slot), os.O_RDWR)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)  # raises if still held
        finally:
            os.close(fd)

    def test_a_killed_test_process_takes_its_xvfb_and_wine_along(self):
        child = subprocess.Popen([sys.executable, "-c", CHILD % str(Path(harness.__file__).parent)],
                                 stdout=subprocess.PIPE, env=dict(os.environ))
        try:
            line = child.stdout.readline().decode().split()
            self.assertEqual(len(line), 3, "the child session did not start")
            xvfb, marker = int(line[0]), line[2]
            self.assertTrue(_processes_marked(marker))
        finally:
            child.send_signal(signal.SIGKILL)
            child.wait()
        deadline = time.monotonic() + 15
        while self._processes(marker, xvfb) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(self._processes(marker, xvfb), [])


def _zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


if __name__ == "__main__":
    unittest.main()
