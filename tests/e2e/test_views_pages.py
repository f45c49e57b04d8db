"""The views of chkort.exe under Wine, page by page: a patient's quotes from
the start and from the end (104, 105), the dental chart (106), and the raw
browse of clinique and estime (116, 117).

Every header and line is compared byte for byte with what this file works
out from the data files by the rules of the record layouts and of the views
(Views below); the program is never asked. Each paint of the window is a
page: the model turns a page for each paint it sees, so a repaint that Wine
makes of its own accord does not throw the comparison off."""

import struct
import unittest

from harness import CHKORT, E2ETestCase, Script

TITLE = ("CHKORT", "Utilitaire de ORTAVO")
ENTER = "enter"  # the Enter key
QUOTES_FROM_START, QUOTES_FROM_END, DENTAL_CHART = 104, 105, 106
BROWSE_CLINIQUE, BROWSE_ESTIME = 116, 117
PATIENT_DIALOG = "Numéro du patient"
LINE_DIALOG = "Visualisation du Fichier Clinique ou Devis"
RED, BLACK = 0x0000FF, 0x000000
SEP = b"\xb3"


def i16(data, at):
    return struct.unpack_from("<h", data, at)[0]


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def s8(b):
    return b - 256 if b >= 128 else b


def text(record, at, width):
    """A text field: its bytes up to the first zero, unpadded."""
    field = record[at:at + width]
    return field.split(b"\0", 1)[0]


def clinical_line(record, ordinal, number):
    billed = record[126:127] if record[126] else b""
    columns = [b"%4d" % ordinal, b"%8d" % number, text(record, 0, 8), text(record, 8, 12),
               text(record, 127, 2), text(record, 129, 2), text(record, 51, 50), text(record, 101, 13),
               text(record, 114, 9), billed, b"%8d" % i32(record, 145), b"%8d" % i32(record, 141),
               text(record, 164, 26), b"%d" % u16(record, 190), b"%d" % record[50], b"%d" % record[153],
               b"%8d" % i32(record, 136), b"%8d" % i32(record, 156), b"%8d" % i32(record, 160)]
    return b"".join(c + SEP for c in columns)


def quote_line(record, ordinal, number):
    columns = [b"%4d" % ordinal, b"%8d" % number, b"%5d" % i16(record, 0), text(record, 78, 8),
               text(record, 2, 5), text(record, 7, 29), text(record, 54, 9), b"%8d" % i32(record, 71),
               b"%8d" % i32(record, 67)]
    return b"".join(c + SEP for c in columns)


def chart_line(record, number):
    slots = b"".join(b"%d-%d-%d/" % (s8(record[i]), s8(record[20 + i]), s8(record[40 + i]))
                     for i in range(20) if record[40 + i] != 0x20)
    return b"%8d" % number + SEP + slots + SEP + b"%8d" % i32(record, 60) + SEP


class Views:
    """The shared state of the program as the views use it, and one page per
    paint. `limit` is the lowest y at which a line may still start."""

    FILES = {"clinique": 224, "estime": 86, "Fschema": 64}

    def __init__(self, files, advance, limit):
        self.files, self.advance, self.limit = files, advance, limit
        lastrec = files["lastrec"]
        self.counter = {name: i32(lastrec, 16 * i + 12) for name, i in
                        (("patients", 0), ("estime", 2), ("clinique", 3), ("Fschema", 7))}
        self.mode = self.patient = self.line = self.ordinal = 0
        self.ready = False

    def record(self, name, number):
        size = self.FILES[name]
        return self.files[name][(number - 1) * size:number * size]

    # -- commands

    def view(self, command, patient):
        assert 1 <= patient <= self.counter["patients"]
        self.mode, self.patient = command - 101, patient
        self.line = self.ordinal = 0
        self.ready = True

    def browse(self, command, line):
        self.mode, self.line = (13 if command == BROWSE_CLINIQUE else 14), line
        self.ready = line > 0

    # -- painting

    def paint(self):
        if not self.ready:
            return []
        if self.mode in (3, 4):
            return self._chain()
        if self.mode == 5:
            return self._chart()
        return self._browse()

    def _chain(self):
        counter, out, y = self.counter["estime"], [], 0
        forward = self.mode == 3
        if self.line == 0:
            ends = self.files["firstrec"][32 * (self.patient - 1):32 * self.patient]
            start, end = i32(ends, 8), i32(ends, 12)
            self.line, self.ordinal = (start if forward else end), 0
            out.append((20, 0, RED, b"DEBUTDEVIS: %d    FINDEVIS: %d    LASTINDEX: %d    " % (start, end, counter)))
            y += self.advance
        while 1 <= self.line <= counter:
            self.ordinal += 1
            record = self.record("estime", self.line)
            out.append((1, y, BLACK, quote_line(record, self.ordinal, self.line)))
            y += self.advance
            self.line = i32(record, 71 if forward else 67)
            if y > self.limit:
                break
        return out

    def _chart(self):
        counter, out, y = self.counter["Fschema"], [], 0
        if self.line == 0:
            ends = self.files["firstrec"][32 * (self.patient - 1):32 * self.patient]
            self.line = i32(ends, 16)
            out.append((20, 0, RED, b"DEBUTSCHEMA: %d    LASTINDEX: %d    " % (self.line, counter)))
            y += self.advance
        while 1 <= self.line <= counter:
            record = self.record("Fschema", self.line)
            out.append((20, y, BLACK, chart_line(record, self.line)))
            y += self.advance
            self.line = i32(record, 60)
            if y > self.limit:
                break
        return out

    def _browse(self):
        name = "clinique" if self.mode == 13 else "estime"
        line_of = clinical_line if self.mode == 13 else quote_line
        bound, out, y = self.counter[name], [], 0
        if self.line < 1 or self.line > bound:
            return out
        while True:
            out.append((0, y, BLACK, line_of(self.record(name, self.line), self.ordinal, self.line)))
            y += self.advance
            self.line += 1
            if y > self.limit or self.line > bound:
                return out


class ViewPages(E2ETestCase):
    program = CHKORT

    QUOTES, CHART = 3, 4  # patients with chains longer than a window

    def setUp(self):
        super().setUp()
        self.host("14.0")
        self.mkpractice("--patients", "16", "--variant", "2", "--damage", "long:estime:%d:70" % self.QUOTES,
                        "--damage", "long:Fschema:%d:45" % self.CHART)
        # A record beyond the counter: no view may show it.
        with open(self.data / "estime", "ab") as f:
            f.write(bytes(range(86)))
        self.files = {p.name: p.read_bytes() for p in self.data.iterdir()}

    def same_page(self, drawn, expected, where):
        self.assertEqual(len(drawn), len(expected), "%s: %r" % (where, drawn))
        for t, (x, y, colour, raw) in zip(drawn, expected):
            self.assertEqual((t.x, t.y, t.colour), (x, y, colour), where)
            if t.complete:
                self.assertEqual(t.raw, raw, where)
            else:
                # The trace shows only the first ~290 characters of a long
                # line; the count still says how long it is.
                self.assertEqual((t.raw, t.count), (raw[:len(t.raw)], len(raw)), where)
            self.incomplete += not t.complete
            self.compared += 1

    def test_pages_of_every_view(self):
        last_quote = i32(self.files["lastrec"], 2 * 16 + 12)
        last_line = i32(self.files["lastrec"], 3 * 16 + 12)
        steps = [  # (mark, command, number typed), no number for Enter
            ("quotes 1", QUOTES_FROM_START, self.QUOTES), ("quotes 2", ENTER, None), ("quotes 3", ENTER, None),
            ("quotes 4", ENTER, None),
            # The browse shows the walk's last ordinal, which it never changes.
            ("clinique 1", BROWSE_CLINIQUE, 100), ("clinique 2", ENTER, None),
            ("quotes from the end", QUOTES_FROM_END, self.QUOTES), ("quotes from the end 2", ENTER, None),
            ("chart 1", DENTAL_CHART, self.CHART), ("chart 2", ENTER, None),
            ("short chart", DENTAL_CHART, 1),
            ("estime at its counter", BROWSE_ESTIME, last_quote), ("estime past it", ENTER, None),
            ("estime from 1", BROWSE_ESTIME, 1), ("estime 2", ENTER, None),
            ("clinique at its counter", BROWSE_CLINIQUE, last_line), ("clinique past it", ENTER, None),
            ("clinique from 0", BROWSE_CLINIQUE, 0), ("clinique from 0 on", ENTER, None),
            ("estime from -3", BROWSE_ESTIME, -3), ("estime from -3 on", ENTER, None),
        ]
        s = Script().wait_window(*TITLE).idle()
        for mark, command, value in steps:
            s.mark(mark)
            if command == ENTER:
                s.key("enter")  # through the accelerator table, as typed
            else:
                title = LINE_DIALOG if command in (BROWSE_CLINIQUE, BROWSE_ESTIME) else PATIENT_DIALOG
                s.command(command).fill(title, (1000, str(value)))
            s.idle()
        r = self.run_script(s.mark("end").close().wait_exit()).check()
        self.assertEqual((r.exit_code, r.message_boxes), (0, []))

        # The page limit is the window's: taken from the first page, then
        # held to on every other page of every view.
        first = [p for p in r.section("quotes 1").paints() if p][0]
        advance, limit = first[1].y, first[-1].y
        self.assertGreater(advance, 8)
        self.assertTrue(300 < limit <= 500, limit)

        views = Views(self.files, advance, limit)
        self.compared = self.incomplete = 0
        drawn_pages = 0
        for mark, command, value in steps:
            paints = r.section(mark).paints()
            if command == ENTER:
                self.assertTrue(paints, "%s: Enter did not repaint" % mark)
            else:
                if command in (BROWSE_CLINIQUE, BROWSE_ESTIME):
                    views.browse(command, value)
                else:
                    views.view(command, value)
                # Paints while the dialog was up draw nothing.
                while paints and not paints[0]:
                    paints.pop(0)
                if not paints:
                    self.assertEqual(views.paint(), [], mark)
            for i, page in enumerate(paints):
                expected = views.paint()
                self.same_page(page, expected, "%s, paint %d" % (mark, i + 1))
                drawn_pages += bool(expected)
        # The views went where this test means them to go.
        self.assertGreaterEqual(drawn_pages, 14)
        self.assertLess(self.incomplete, self.compared // 4)
        texts = {"estime at its counter": 1, "estime past it": 0, "clinique at its counter": 1,
                 "clinique past it": 0, "clinique from 0": 0, "clinique from 0 on": 0, "estime from -3": 0,
                 "estime from -3 on": 0}
        self.assertEqual({mark: len(r.section(mark).texts) for mark in texts}, texts)
        # The fourth page of the quotes is the view begun again.
        self.assertEqual(r.section("quotes 4").texts[0].raw[:12], b"DEBUTDEVIS: ")


if __name__ == "__main__":
    unittest.main()
