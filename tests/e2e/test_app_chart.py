"""The clinical chart of chkort.exe under Wine ("Visualisation de la fiche
clinique à partir du début / de la fin", 102 and 103): on a generated
practice and on data files written here byte by byte, page after page.

Every header and line is compared byte for byte, with its position and
colour, with what Chart below works out from the data files by the rules of
the record layouts and of the view; the program's own formatter is never
asked. Each paint of the window is a page: the model turns a page for each
paint it sees, so a repaint that Wine makes of its own accord does not throw
the comparison off. The page limit is the window's own: the client area's
height (asked of the window by the driver) less 100.

Also here, for the other tests of the shell: Practice, which writes a data
directory record by record with noise in every byte the program must not
interpret."""

import hashlib
import random
import struct
import unittest
from pathlib import Path

from harness import CHKORT, E2ETestCase, Script

TITLE = ("CHKORT", "Utilitaire de ORTAVO")
# Every wait's limit: generous, for a loaded machine, yet bounded.
WAIT = "timeout 20000"
FROM_START, FROM_END, ENTER = 102, 103, 1030
PATIENT_DIALOG = "Numéro du patient"
RED, BLACK = 0x0000FF, 0x000000
SEP = b"\xb3"
LINE = 224  # bytes of a clinique record


def i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def text(record, at, width):
    """A text field as shown: its bytes up to the first zero, unpadded."""
    return record[at:at + width].split(b"\0", 1)[0]


def clinical_line(record, ordinal, number):
    """The screen line of a clinique record: nineteen columns, each followed
    by the separator, in the order of the screen (not of the record)."""
    columns = [b"%4d" % ordinal, b"%8d" % number, text(record, 0, 8), text(record, 8, 12),
               text(record, 127, 2), text(record, 129, 2), text(record, 51, 50), text(record, 101, 13),
               text(record, 114, 9), text(record, 126, 1), b"%8d" % i32(record, 145), b"%8d" % i32(record, 141),
               text(record, 164, 26), b"%d" % u16(record, 190), b"%d" % record[50], b"%d" % record[153],
               b"%8d" % i32(record, 136), b"%8d" % i32(record, 156), b"%8d" % i32(record, 160)]
    return b"".join(c + SEP for c in columns)


def header(start, end, counter):
    return b"DEBUTACTE: %d    FINACTE: %d    LASTINDEX: %d    " % (start, end, counter)


def read_files(directory):
    return {p.name: p.read_bytes() for p in Path(directory).iterdir()}


def digest(directory):
    return {p.name: hashlib.sha256(p.read_bytes()).hexdigest() for p in sorted(Path(directory).iterdir())}


# ---------------------------------------------------------------- data written by hand

class Practice:
    """A data directory built record by record. Every byte that a record
    layout leaves uninterpreted is noise, so a field read at a wrong offset
    shows. Lines and patients not given are noise too (strays)."""

    def __init__(self, variant=0):
        self.rng = random.Random(variant)
        self.lines = {}     # clinique line number -> bytearray
        self.patients = {}  # patient number -> (clinical start, clinical end)

    def line(self, number, nxt=0, prev=0, colour=48, colour2=48, text8=b"", text12=b"", design=b"",
             text2=b"", text50=b"", act=b"", text9=b"", billed=b" ", text26=b"", n1=0, n2=0, n3=0, n4=0):
        r = bytearray(self.rng.randbytes(LINE))
        for at, width, value in ((0, 8, text8), (8, 12, text12), (51, 50, text50), (101, 13, act),
                                 (114, 9, text9), (126, 1, billed), (127, 2, design), (129, 2, text2),
                                 (164, 26, text26)):
            assert len(value) <= width, value
            r[at:at + width] = value.ljust(width, b" ")  # the host pads its texts with blanks
        r[50], r[153], r[135] = colour, colour2, ord("1")
        for at, fmt, value in ((136, "<i", n1), (141, "<i", prev), (145, "<i", nxt), (156, "<i", n2),
                               (160, "<i", n3), (190, "<H", n4)):
            struct.pack_into(fmt, r, at, value)
        self.lines[number] = r
        return r

    def chain(self, patient, numbers):
        """A sound chain through the given line numbers, in that order, each
        line with texts of its own."""
        for i, n in enumerate(numbers):
            self.line(n, nxt=numbers[i + 1] if i + 1 < len(numbers) else 0, prev=numbers[i - 1] if i else 0,
                      **self.texts())
        self.patients[patient] = (numbers[0], numbers[-1]) if numbers else (0, 0)

    def texts(self):
        """Plausible texts for a line, some with accented letters."""
        pick = self.rng.choice
        return dict(text8=b"%02d/%02d/%02d" % (pick(range(1, 29)), pick(range(1, 13)), pick(range(10, 24))),
                    text12=pick([b"Dent 36", b"Bouche", b"Dents 11-21", b"Maxillaire"]),
                    design=pick([b"", b" 7", b"12"]), text2=pick([b"CB", b"DR", b""]),
                    text50=pick([b"Consultation", b"D\xe9tartrage et polissage", b"Radiographie panoramique"]),
                    act=pick([b"C", b"HBJD001", b"O", b"SPR"]), text9=b"%9s" % b"25,00",
                    billed=pick([b"F", b" "]), text26=pick([b"", b"RAS", b"Contr\xf4le dans 6 mois"]),
                    colour=pick([48, 48, 49, 50]), colour2=pick([48, 77]), n1=self.rng.randrange(-9999, 99999),
                    n2=self.rng.randrange(-99999, 99999), n3=self.rng.randrange(-99999, 99999),
                    n4=self.rng.randrange(0, 65536))

    def files(self, patients, counter, records=None, firstrec_bytes=None):
        """The seven data files: `patients` firstrec and identite records,
        LastClinicalLine = counter, clinique holding `records` records (the
        counter's worth by default), firstrec cut to `firstrec_bytes`."""
        records = counter if records is None else records
        noise = self.rng.randbytes
        clinique = b"".join(bytes(self.lines.get(n) or noise(LINE)) for n in range(1, records + 1))
        firstrec = b"".join(struct.pack("<5i", *self.patients.get(p, (0, 0)), 0, 0, 0) + noise(12)
                            for p in range(1, patients + 1))
        if firstrec_bytes is not None:
            firstrec = firstrec[:firstrec_bytes]
        counters = {0: patients, 2: 4, 3: counter, 7: 2}
        lastrec = b"".join(noise(12) + struct.pack("<i", counters.get(i, self.rng.randrange(1 << 30)))
                           for i in range(80))
        return {"param": noise(512), "Fschema": noise(64 * 2), "firstrec": firstrec, "lastrec": lastrec,
                "estime": noise(86 * 4), "clinique": clinique, "identite": noise(1420 * patients)}

    @staticmethod
    def write(directory, files):
        for name, data in files.items():
            (Path(directory) / name).write_bytes(data)


# ---------------------------------------------------------------- the model

class Chart:
    """The clinical chart as the rules of the view draw it, one page per
    paint: ("text", x, y, colour, bytes) and ("box", caption) in order.
    After a record that cannot be read whole the view ends: later paints
    draw nothing until a new command."""

    def __init__(self, files, advance, limit):
        self.firstrec, self.clinique = files["firstrec"], files["clinique"]
        self.counter = i32(files["lastrec"], 3 * 16 + 12)
        self.advance, self.limit = advance, limit
        self.ready, self.line, self.ordinal = False, 0, 0

    def view(self, command, patient):
        self.forward, self.patient = command == FROM_START, patient
        self.line = self.ordinal = 0
        self.ready = True

    def paint(self):
        if not self.ready:
            return []
        out, y = [], 0
        if self.line == 0:
            ends = self.firstrec[32 * (self.patient - 1):32 * self.patient]
            if len(ends) < 32:
                self.ready = False
                return [("box", "FIRSTREC")]
            start, end = i32(ends, 0), i32(ends, 4)
            self.line, self.ordinal = (start if self.forward else end), 0
            out.append(("text", 20, 0, RED, header(start, end, self.counter)))
            y += self.advance
        while 1 <= self.line <= self.counter:
            self.ordinal += 1
            record = self.clinique[LINE * (self.line - 1):LINE * self.line]
            if len(record) < LINE:
                self.ready = False
                out.append(("box", "CLINIQUE"))
                break
            colour = RED if record[50] == 49 else BLACK
            out.append(("text", 1, y, colour, clinical_line(record, self.ordinal, self.line)))
            y += self.advance
            self.line = i32(record, 145 if self.forward else 141)
            if y > self.limit:
                break
        return out


class TheModelByHand(unittest.TestCase):
    """The screen line against the layout's own examples, written out."""

    def test_columns_of_one_line(self):
        p = Practice()
        r = p.line(120, nxt=-7, prev=2147483647, colour=255, colour2=0, text8=b"AB\0CDEFG", text12=b"x" * 12,
                   design=b"\0\0", text2=b"JM", text50=b"", act=b"O", text9=b"", billed=b"\0",
                   text26=b"\xe9t\xe9", n1=-1, n2=123456789, n3=-2147483648, n4=65535)
        self.assertEqual(clinical_line(bytes(r), 3, 120).split(SEP), [
            b"   3", b"     120", b"AB", b"x" * 12, b"", b"JM", b" " * 50, b"O" + b" " * 12, b" " * 9, b"",
            b"      -7", b"2147483647", b"\xe9t\xe9" + b" " * 23, b"65535", b"255", b"0", b"      -1",
            b"123456789", b"-2147483648", b""])


# ---------------------------------------------------------------- the tests

class ClinicalChart(E2ETestCase):
    program = CHKORT

    def setUp(self):
        super().setUp()
        self.host("14.0")

    def script(self, views):
        """views: (mark, command, patient, enters, boxes): the view, the
        error boxes it shows, then Enter `enters` times, each marked."""
        s = Script(WAIT).wait_window(*TITLE).idle().client()
        for mark, command, patient, enters, boxes in views:
            s.mark(mark).command(command).fill(PATIENT_DIALOG, (1000, str(patient)))
            for _ in range(boxes):
                s.box()
            s.idle()
            for k in range(enters):
                s.mark("%s, Enter %d" % (mark, k + 1)).key("enter").idle()
        return s.mark("end").no_box(200).close().wait_exit()

    def run_views(self, views):
        before, files = digest(self.data), read_files(self.data)
        r = self.run_script(self.script(views)).check()
        self.assertEqual(r.exit_code, 0)
        # Views only read: every data file as it was, and not one write.
        self.assertEqual(digest(self.data), before)
        self.assertEqual([t for t in r.transfers if t.write], [])
        # Every paint selects the screen font first, and puts the previous
        # one back before it ends.
        font, = [c.retval & 0xFFFFFFFF for c in r.calls if c.name == "CreateFontA"]
        starts = [i for i, c in enumerate(r.calls) if c.name == "BeginPaint"] + [len(r.calls)]
        for begin, end in zip(starts, starts[1:]):
            selected = [c for c in r.calls[begin:end] if c.name == "SelectObject"]
            self.assertEqual(selected[0].int(1), font)
            self.assertEqual(selected[-1].int(1), selected[0].retval & 0xFFFFFFFF)
        client, = [e for e in r.events if e.kind == "client"]
        self.window = r.windows[0].hwnd
        # The line advance is the font's; taken from the first view (header
        # to first line), then held to everywhere.
        first = r.section(views[0][0]).texts
        self.assertEqual((first[0].x, first[0].y), (20, 0))
        advance = first[1].y
        self.assertTrue(8 < advance < 40, advance)
        self.limit = int(client.height) - 100
        chart = Chart(files, advance, self.limit)
        pages = {}
        self.compared = self.incomplete = 0
        for mark, command, patient, enters, boxes in views:
            chart.view(command, patient)
            paints = self.paints(r.section(mark))
            # Paints while the dialog was up draw nothing.
            while len(paints) > 1 and not paints[0]:
                paints.pop(0)
            pages[mark] = self.same_pages(paints, chart, mark)
            for k in range(enters):
                name = "%s, Enter %d" % (mark, k + 1)
                paints = self.paints(r.section(name))
                self.assertTrue(paints, "%s: Enter did not repaint" % name)
                pages[name] = self.same_pages(paints, chart, name)
        self.assertLess(self.incomplete, self.compared // 4 + 1)
        return r, pages, advance

    def paints(self, section):
        """What each paint of the section drew, and the boxes it showed."""
        by_call = {id(t.call): t for t in section.texts}
        pages, current = [], None
        for call in section.calls:
            if call.name == "BeginPaint":
                current = []
                pages.append(current)
            elif call.name == "TextOutA":
                self.assertIsNotNone(current, "a text drawn outside a paint")
                current.append(by_call[id(call)])
            elif call.name == "MessageBoxA":
                if current is None:
                    current = []
                    pages.append(current)
                current.append([b for b in section.message_boxes if b.call is call][0])
        return pages

    def same_pages(self, paints, chart, where):
        """Each paint against the model's next page; returns what was drawn
        as (ordinal or "header", colour) per paint."""
        seen = []
        for i, page in enumerate(paints):
            expected = chart.paint()
            at = "%s, paint %d" % (where, i + 1)
            self.assertEqual(len(page), len(expected), "%s: %r" % (at, [t.raw[:14] if hasattr(t, "raw") else t.caption for t in page]))
            drawn = []
            for got, want in zip(page, expected):
                if want[0] == "box":
                    # An error box: "Erreur", the file's tag, owned by the
                    # main window, no icon, OK alone.
                    self.assertEqual((got.text, got.caption, got.style, got.owner),
                                     ("Erreur", want[1], 0, int(self.window, 16)), at)
                    drawn.append(("box", want[1]))
                    continue
                _, x, y, colour, raw = want
                self.assertEqual((got.x, got.y, got.colour), (x, y, colour), at)
                if got.complete:
                    self.assertEqual(got.raw, raw, at)
                else:
                    # Wine shows only the first ~290 characters of a long
                    # line; the count still says how long it is.
                    self.assertEqual((got.raw, got.count), (raw[:len(got.raw)], len(raw)), at)
                self.compared += 1
                self.incomplete += not got.complete
                drawn.append(("header" if x == 20 else int(raw[:4]), colour))
            seen.append(drawn)
        return seen

    def test_a_generated_practice_page_after_page(self):
        self.mkpractice("--patients", "12", "--lines", "500", "--variant", "1")
        files = read_files(self.data)
        lengths = {}
        for p in range(1, 13):
            n, line = 0, i32(files["firstrec"], 32 * (p - 1))
            while 1 <= line <= 500 and n < 1000:
                n, line = n + 1, i32(files["clinique"], LINE * (line - 1) + 145)
            lengths[p] = n
        # The longest chain (several pages), the next one from its end, and
        # a short one both ways.
        longest, second = sorted(lengths, key=lengths.get)[-1:-3:-1]
        short = min((p for p in lengths if lengths[p] > 1), key=lengths.get)
        self.assertGreater(lengths[longest], 100)
        self.assertLess(lengths[short], 20)
        r, pages, advance = self.run_views([
            ("longest from the start", FROM_START, longest, 6, 0),
            ("second from the end", FROM_END, second, 2, 0),
            ("short from the start", FROM_START, short, 1, 0),
            ("short from the end", FROM_END, short, 0, 0),
        ])
        # What the model's rules mean here, said plainly: the first page
        # holds the header and as many lines as fit above the limit, the
        # next ones continue the numbering from the top, and after the page
        # holding the chain's last line the view begins again.
        first, = pages["longest from the start"]
        fit = self.limit // advance
        self.assertEqual(first[0], ("header", RED))
        self.assertEqual([o for o, _ in first[1:]], list(range(1, fit + 1)))
        second_page, = pages["longest from the start, Enter 1"]
        self.assertEqual([o for o, _ in second_page], list(range(fit + 1, fit + 2 + fit)))
        ordinals = [o for k in range(1, 6) for page in pages["longest from the start, Enter %d" % k]
                    for o, _ in page]
        restart = ordinals.index("header")
        self.assertEqual(ordinals[:restart], list(range(fit + 1, lengths[longest] + 1)))
        self.assertEqual(ordinals[restart + 1:restart + 3], [1, 2])
        colours = set(c for ps in pages.values() for page in ps for o, c in page if o != "header")
        self.assertEqual(colours, {RED, BLACK})
        page, = pages["short from the start"]
        self.assertEqual(len(page), lengths[short] + 1)
        again, = pages["short from the start, Enter 1"]
        self.assertEqual(again, page)
        back, = pages["short from the end"]
        self.assertEqual([o for o, _ in back], ["header"] + list(range(1, lengths[short] + 1)))

    def test_lines_made_by_hand_and_damaged_chains(self):
        p = Practice(variant=7)
        # Patient 1: four lines out of file order, their fields at the edges:
        # full fields without a zero byte, fields cut by one, accented
        # letters, numbers wider than their columns, colours 49, 48, 50.
        # (Short enough for the trace to show each line whole.)
        p.line(7, nxt=3, prev=0, colour=49, colour2=255, text8=b"12/03/24", text12=b"Dents 11-21X",
               design=b"12", text2=b"JM", text50=(b"Prothese amovible resine, controle " + b"x" * 50)[:50],
               act=b"HBJD001ABCDEF", text9=b"123456,78", billed=b"F", text26=b"Allergie penicilline: oui!",
               n1=-1, n2=123456789, n3=-2147483648, n4=65535)
        p.line(3, nxt=12, prev=7, colour=48, text8=b"\0" * 8, text12=b"Bouche\0ZZZZZ", design=b"\0\0",
               text2=b"A\0", text50=b"Consultation\0" + b"Q" * 30, act=b"O", billed=b"\0", text26=b"\0AB",
               n4=0)
        p.line(12, nxt=5, prev=3, colour=50, colour2=0, text8=b"01/01/00", text50=b"Radiographie r\xe9tro",
               act=b"SPR", n1=2147483647, n2=-99999999, n3=0, n4=1)
        p.line(5, nxt=0, prev=12, colour=49, text50=b"Ordonnance", act=b"  O", text9=b"     0,00",
               text26=b"Contr\xf4le dans 6 mois")
        p.patients[1] = (7, 5)
        p.patients[2] = (0, 0)  # no clinical line
        p.chain(3, [9])  # one line
        p.patients[4] = (-5, 317)  # ends out of range both ways
        # Patient 5: the second line's next link is beyond the counter (311).
        p.chain(5, [13, 14])
        p.lines[14][145:149] = struct.pack("<i", 311)
        # Patient 6: the third line links back to the first.
        p.chain(6, [15, 16, 17])
        p.lines[17][145:149] = struct.pack("<i", 15)
        # Patient 7: a link within the counter but beyond the end of the file.
        p.chain(7, [18, 19])
        p.lines[19][145:149] = struct.pack("<i", 305)
        # Patients 8 to 16: chains of 26 to 34 lines, in shuffled line
        # numbers; one of them fills the first page exactly.
        numbers = list(range(21, 21 + sum(range(26, 35))))
        p.rng.shuffle(numbers)
        for i, length in enumerate(range(26, 35)):
            chain, numbers = numbers[:length], numbers[length:]
            p.chain(8 + i, chain)
        # Patients 17 and 18 have firstrec records beyond the end of the
        # file: 17 half, 18 whole.
        files = p.files(patients=18, counter=310, records=300, firstrec_bytes=32 * 16 + 12)
        Practice.write(self.data, files)

        views = [("1 from the start", FROM_START, 1, 1, 0), ("1 from the end", FROM_END, 1, 0, 0),
                 ("2 from the start", FROM_START, 2, 1, 0), ("2 from the end", FROM_END, 2, 0, 0),
                 ("3 from the start", FROM_START, 3, 0, 0), ("3 from the end", FROM_END, 3, 0, 0),
                 ("4 from the start", FROM_START, 4, 1, 0), ("4 from the end", FROM_END, 4, 1, 0),
                 ("5 from the start", FROM_START, 5, 1, 0),
                 ("6 from the start", FROM_START, 6, 3, 0),
                 ("7 from the start", FROM_START, 7, 2, 1),
                 ("17", FROM_START, 17, 2, 1), ("18", FROM_END, 18, 1, 1)]
        views += [("%d from the start" % q, FROM_START, q, 2, 0) for q in range(8, 17)]
        r, pages, advance = self.run_views(views)
        self.assertEqual(self.incomplete, 0)
        fit = self.limit // advance
        self.assertIn(fit, range(26, 35), "no chain here fills the first page exactly")

        def ordinals(mark):
            return [[o for o, _ in page] for page in pages[mark]]

        def drawn(mark):
            # A closed box may or may not make Wine repaint what it covered;
            # such a paint draws nothing here either way.
            return [page for page in ordinals(mark) if page]

        # Patient 1 both ways, numbered in the order shown, red for 49 only.
        self.assertEqual(pages["1 from the start"], [[("header", RED), (1, RED), (2, BLACK), (3, BLACK),
                                                      (4, RED)]])
        self.assertEqual(r.section("1 from the end").texts[1].raw[:14], b"   1\xb3       5\xb3")
        self.assertEqual(ordinals("1 from the start, Enter 1"), [["header", 1, 2, 3, 4]])
        # No line, one line: the header alone, the header and line 1.
        self.assertEqual(ordinals("2 from the start") + ordinals("2 from the start, Enter 1"),
                         [["header"], ["header"]])
        self.assertEqual(ordinals("3 from the start") + ordinals("3 from the end"), [["header", 1]] * 2)
        # Ends out of range: shown as stored in the header, then nothing,
        # and nothing on the next paint either.
        self.assertEqual(r.section("4 from the start").texts[0].raw, header(-5, 317, 310))
        for mark in ("4 from the start", "4 from the end"):
            self.assertEqual(ordinals(mark) + ordinals(mark + ", Enter 1"), [["header"], []])
        # A link beyond the counter ends the walk silently, for good.
        self.assertEqual(ordinals("5 from the start") + ordinals("5 from the start, Enter 1"),
                         [["header", 1, 2], []])
        # A chain that loops: a new page at each Enter, numbers growing.
        loop = [o for k in range(1, 4) for o in sum(ordinals("6 from the start, Enter %d" % k), [])]
        self.assertEqual(loop, list(range(fit + 1, fit + 1 + 3 * (fit + 1))))
        # An unreadable line: the lines before it stay, one box, then the
        # view is over: Enter neither draws nor shows the box again.
        self.assertEqual(drawn("7 from the start"), [["header", 1, 2, "box"]])
        self.assertEqual(r.section("7 from the start, Enter 1").texts + r.section("7 from the start, Enter 2").texts
                         + r.section("7 from the start, Enter 1").message_boxes
                         + r.section("7 from the start, Enter 2").message_boxes, [])
        # An unreadable firstrec record: the box alone, once.
        for mark in ("17", "18"):
            self.assertEqual(drawn(mark), [["box"]], mark)
            self.assertEqual(r.section(mark).texts, [])
        for mark in ("17, Enter 1", "17, Enter 2", "18, Enter 1"):
            self.assertEqual((r.section(mark).texts, r.section(mark).message_boxes), ([], []), mark)
        # On screen the boxes were as the trace says.
        self.assertEqual([(b.caption, b.text, b.owner, b.icon, b.buttons) for b in r.boxes_shown],
                         [(c, "Erreur", "main", False, "1") for c in ("CLINIQUE", "FIRSTREC", "FIRSTREC")])
        # The chain that fills the first page: the next Enter begins again,
        # with no empty page between; the others go on to a second page.
        for q in range(8, 17):
            length = q + 18
            mark = "%d from the start" % q
            seen = ordinals(mark) + ordinals(mark + ", Enter 1") + ordinals(mark + ", Enter 2")
            if length <= fit:
                self.assertEqual(seen, [["header"] + list(range(1, length + 1))] * 3, mark)
            else:
                self.assertEqual(seen, [["header"] + list(range(1, fit + 1)), list(range(fit + 1, length + 1)),
                                        ["header"] + list(range(1, fit + 1))], mark)


if __name__ == "__main__":
    unittest.main()
