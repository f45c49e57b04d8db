"""What the repairs of chkort.exe should do to a practice, worked out here
from the data files alone, for the end-to-end tests of the repairs
(test_repairs_*.py).

Model holds the data files as bytes and applies each repair to them the way
the program's rules describe it, keeping what the program should do on the
way: the records written (file, offset, length), the message boxes, the
progress texts and the screen lines of a view. It never asks the program.
handmade() builds small practices byte by byte; RepairCase is the base of
the tests, with the comparisons they share.

Run as a test, this file checks the model itself on the worked examples of
the rules, without Wine."""

import random
import struct
import unittest

from harness import CHKORT, E2ETestCase, Script, to_bytes

# The files of a data directory: the seven the program opens, and the two
# only the size test opens. Every one of them is compared after a run.
DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite", "patient",
              "patient.tri"]

MAIN_TITLE = ("CHKORT", "Utilitaire de ORTAVO")

# Menu commands.
CMD_CLINICAL_FROM_START, CMD_CLINICAL_FROM_END = 102, 103
CMD_QUOTES_FROM_START, CMD_QUOTES_FROM_END, CMD_DENTAL_CHART = 104, 105, 106
CMD_RELINK_CLINICAL, CMD_RELINK_QUOTE = 107, 108
CMD_FIRSTREC_CLINICAL, CMD_FIRSTREC_QUOTES, CMD_FIRSTREC_CHART = 109, 110, 111
CMD_CORRECT = 113
CMD_CHANGE_USER, CMD_RESET_BALANCE, CMD_REMOVE_BILLING = 121, 122, 123
CMD_CHANGE_COLOUR, CMD_CHANGE_DESIGN = 126, 127
ACC_CONTINUE = 1030

# Dialog titles.
NUMERO = "Numéro du patient"
LIGNE = "Correction du dossier"
CHANGERECORD = "Correction d'un enregistrement en Fiche clinique ou en Devis"
CLINIQUE = "Correction du Firstrec - Fiche Clinique"
DEVIS = "Correction du Firstrec - Devis"
SCHEMA = "Correction du Firstrec - Schéma dentaire"
NUMUSER = "Modification n° du user"
NUMDESIGN = "Changement de n° du dessin"
COLORCHANGE = "Modification n° du user"  # the colour dialog carries the user dialog's title

RED, BLACK = 0x0000FF, 0x000000  # COLORREF of RGB(255, 0, 0) and RGB(0, 0, 0)
SEPARATOR = b"\xb3"


# ---------------------------------------------------------------- layouts

def i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def put_i32(data, at, value):
    struct.pack_into("<i", data, at, value)


FIRSTREC_SIZE, LASTREC_SIZE, IDENTITE_SIZE = 32, 16, 1420
CLINICAL_START, CLINICAL_END, QUOTE_START, QUOTE_END, CHART_START = 0, 4, 8, 12, 16
BALANCE = 786  # 8 bytes in identite

# clinique, 224 bytes a line.
C_SIZE = 224
C_TEXT8, C_TEXT12, C_COLOUR, C_TEXT50, C_ACT, C_TEXT9 = 0, 8, 50, 51, 101, 114
C_BILLED, C_DESIGN, C_TEXT2, C_USER, C_NUMBER1, C_PREV, C_NEXT = 126, 127, 129, 135, 136, 141, 145
C_COLOUR2, C_NUMBER2, C_NUMBER3, C_TEXT26, C_NUMBER4 = 153, 156, 160, 164, 190

# estime, 86 bytes a line.
E_SIZE = 86
E_NUMBER, E_TEXT5, E_LABEL, E_ACT, E_TEXT9, E_PREV, E_NEXT, E_TEXT8 = 0, 2, 7, 37, 54, 67, 71, 78

# Fschema, 64 bytes an entry.
F_SIZE, F_NEXT = 64, 60


class ChainKind:
    """Where one kind of chain keeps its links, ends and counter."""

    def __init__(self, name, file, size, prev, nxt, start, end, counter, caption, header):
        self.name, self.file, self.size = name, file, size
        self.prev, self.next = prev, nxt  # prev is None for the dental chart
        self.start, self.end = start, end  # offsets in firstrec; end None for the chart
        self.counter = counter  # lastrec index
        self.caption = caption
        self.header = header  # labels of the view's header


CLINICAL = ChainKind("clinical", "clinique", C_SIZE, C_PREV, C_NEXT, CLINICAL_START, CLINICAL_END, 3,
                     "CLINIQUE", ("DEBUTACTE: ", "FINACTE: "))
QUOTES = ChainKind("quotes", "estime", E_SIZE, E_PREV, E_NEXT, QUOTE_START, QUOTE_END, 2, "ESTIM",
                   ("DEBUTDEVIS: ", "FINDEVIS: "))
CHART = ChainKind("chart", "Fschema", F_SIZE, None, F_NEXT, CHART_START, None, 7, "FSCHEMA",
                  ("DEBUTSCHEMA: ",))


def typed_number(text, width=9):
    """A dialog's edit read as the program reads it: at most `width`
    characters, leading blanks and a sign, then digits up to the first
    other character; no digit gives 0."""
    raw = to_bytes(text)[:width].decode("latin-1")
    i = 0
    while i < len(raw) and raw[i] in " \t\n\v\f\r":
        i += 1
    sign = 1
    if i < len(raw) and raw[i] in "+-":
        sign = -1 if raw[i] == "-" else 1
        i += 1
    value = 0
    while i < len(raw) and raw[i].isdigit() and raw[i] in "0123456789":
        value = value * 10 + int(raw[i])
        i += 1
    return sign * value


# ---------------------------------------------------------------- screen lines

def _text(record, at, width):
    field = bytes(record[at:at + width])
    zero = field.find(b"\0")
    return field if zero < 0 else field[:zero]


def _num(fmt, value):
    return (fmt % value).encode("ascii")


def clinical_line(ordinal, number, r):
    cols = [_num("%4d", ordinal), _num("%8d", number), _text(r, C_TEXT8, 8), _text(r, C_TEXT12, 12),
            _text(r, C_DESIGN, 2), _text(r, C_TEXT2, 2), _text(r, C_TEXT50, 50), _text(r, C_ACT, 13),
            _text(r, C_TEXT9, 9), _text(r, C_BILLED, 1), _num("%8d", i32(r, C_NEXT)), _num("%8d", i32(r, C_PREV)),
            _text(r, C_TEXT26, 26), _num("%d", struct.unpack_from("<H", r, C_NUMBER4)[0]),
            _num("%d", r[C_COLOUR]), _num("%d", r[C_COLOUR2]), _num("%8d", i32(r, C_NUMBER1)),
            _num("%8d", i32(r, C_NUMBER2)), _num("%8d", i32(r, C_NUMBER3))]
    return b"".join(c + SEPARATOR for c in cols)


def quote_line(ordinal, number, r):
    cols = [_num("%4d", ordinal), _num("%8d", number), _num("%5d", struct.unpack_from("<h", r, E_NUMBER)[0]),
            _text(r, E_TEXT8, 8), _text(r, E_TEXT5, 5), _text(r, E_LABEL, 29), _text(r, E_TEXT9, 9),
            _num("%8d", i32(r, E_NEXT)), _num("%8d", i32(r, E_PREV))]
    return b"".join(c + SEPARATOR for c in cols)


def chart_line(number, r):
    slots = b"".join(("%d-%d-%d/" % (struct.unpack_from("b", r, i)[0], struct.unpack_from("b", r, 20 + i)[0],
                                     struct.unpack_from("b", r, 40 + i)[0])).encode("ascii")
                     for i in range(20) if r[40 + i] != 0x20)
    return _num("%8d", number) + SEPARATOR + slots + SEPARATOR + _num("%8d", i32(r, F_NEXT)) + SEPARATOR


# ---------------------------------------------------------------- the model

class Model:
    """The data files of a practice and what the program does to them.

    Each operation changes the files as the program should and appends what
    it should do on the way to writes, boxes and texts; take() hands these
    over and starts afresh, one section of a scenario at a time. The
    counters are read once, as the program reads them at start."""

    def __init__(self, files):
        self.files = {name: bytearray(data) for name, data in files.items()}
        lastrec = self.files.get("lastrec", b"")

        def counter(index):
            at = index * LASTREC_SIZE
            return i32(lastrec, at + 12) if len(lastrec) >= at + LASTREC_SIZE else 0

        self.last_patient, self.last_quote = counter(0), counter(2)
        self.last_clinical, self.last_chart = counter(3), counter(7)
        self.writes, self.boxes, self.texts = [], [], []

    def take(self):
        done = (self.writes, self.boxes, self.texts)
        self.writes, self.boxes, self.texts = [], [], []
        return done

    def limit(self, kind):
        return {3: self.last_clinical, 2: self.last_quote, 7: self.last_chart}[kind.counter]

    # -- one record at a time

    def _read(self, name, number, size, caption):
        at = ((number - 1) * size) & 0xFFFFFFFF
        data = self.files[name][at:at + size]
        if len(data) < size:
            self.boxes.append(("Erreur", caption, "main"))
            return None
        return bytearray(data)

    def _write(self, name, number, size, data):
        at = ((number - 1) * size) & 0xFFFFFFFF
        f = self.files[name]
        if len(f) < at:
            f.extend(b"\0" * (at - len(f)))
        f[at:at + size] = data
        self.writes.append((name, at, size))

    def read_firstrec(self, patient):
        return self._read("firstrec", patient, FIRSTREC_SIZE, "FIRSTREC")

    def write_firstrec(self, patient, record):
        self._write("firstrec", patient, FIRSTREC_SIZE, record)

    def read_line(self, kind, number):
        return self._read(kind.file, number, kind.size, kind.caption)

    def write_line(self, kind, number, record):
        self._write(kind.file, number, kind.size, record)

    def record(self, kind, number):
        """A record as it stands, without a transfer."""
        return bytes(self.files[kind.file][(number - 1) * kind.size:number * kind.size])

    def ends(self, patient):
        return bytes(self.files["firstrec"][(patient - 1) * FIRSTREC_SIZE:patient * FIRSTREC_SIZE])

    def chain(self, kind, patient, forward=True, most=100000):
        """The record numbers of a patient's chain as a walk meets them,
        ending at a link out of 1..counter, before a record the file does
        not hold whole, or after `most` lines."""
        ends = self.ends(patient)
        r = i32(ends, kind.start if forward else kind.end)
        out = []
        while 1 <= r <= self.limit(kind) and len(out) < most:
            rec = self.record(kind, r)
            if len(rec) < kind.size:
                break
            out.append(r)
            r = i32(rec, kind.next if forward else kind.prev)
        return out

    # -- Options > Corriger on a view

    def cut(self, kind, patient, forward, n):
        """The cut after line n of a clinical or quote view."""
        ends = self.read_firstrec(patient)
        if ends is None:
            return
        near, far = (kind.start, kind.end) if forward else (kind.end, kind.start)
        link_on, link_back = (kind.next, kind.prev) if forward else (kind.prev, kind.next)
        limit = self.limit(kind)
        start = i32(ends, near)
        if not 1 <= start <= limit:
            return
        if n == 0:
            put_i32(ends, kind.start, 0)
            put_i32(ends, kind.end, 0)
            self.write_firstrec(patient, ends)
            return
        r, count = start, 1
        while True:
            if r > limit:
                return
            line = self.read_line(kind, r)
            if line is None:
                return
            if count == n:
                break
            r = i32(line, link_on)
            if r < 1:
                return
            count += 1
        put_i32(line, link_on, 0)
        put_i32(ends, far, r)
        self.write_line(kind, r, line)
        self.write_firstrec(patient, ends)
        previous, r = 0, start
        while 1 <= r <= limit:
            line = self.read_line(kind, r)
            if line is None:
                return
            put_i32(line, link_back, previous)
            previous = r
            self.write_line(kind, r, line)
            r = i32(line, link_on)
        put_i32(ends, far, previous)
        self.write_firstrec(patient, ends)

    def cut_chart(self, patient, n):
        ends = self.read_firstrec(patient)
        if ends is None:
            return
        r = i32(ends, CHART_START)
        if not 1 <= r <= self.last_chart:
            return
        if n == 0:
            put_i32(ends, CHART_START, 0)
            self.write_firstrec(patient, ends)
            return
        count = 1
        while True:
            if r > self.last_chart:
                return
            entry = self.read_line(CHART, r)
            if entry is None:
                return
            if count == n:
                put_i32(entry, F_NEXT, 0)
                self.write_line(CHART, r, entry)
                return
            r = i32(entry, F_NEXT)
            if r < 1:
                return
            count += 1

    # -- "Correction d'une ligne ..." (CHANGERECORD)

    def relink(self, kind, patient, n, following, preceding):
        if patient < 1:
            return
        ends = self.read_firstrec(patient)
        if ends is None:
            return
        limit = self.limit(kind)
        start = i32(ends, kind.start)
        if not (0 <= following <= limit and 0 <= preceding <= limit and 1 <= patient <= self.last_patient
                and start >= 1):
            return
        r, count = start, 1
        while True:
            if r > limit:
                return
            line = self.read_line(kind, r)
            if line is None:
                return
            if count == n:
                put_i32(line, kind.next, following)
                put_i32(line, kind.prev, preceding)
                self.write_line(kind, r, line)
                return
            r = i32(line, kind.next)
            if r < 1:
                return
            count += 1

    # -- the firstrec dialogs

    def correct_firstrec(self, kind, patient, first, second=None):
        """Returns whether the dialog closes."""
        if 1 <= patient <= self.last_patient:
            ends = self.read_firstrec(patient)
            if ends is None:
                return False
            limit = self.limit(kind)
            if 0 <= first <= limit:
                put_i32(ends, kind.start, first)
            if kind.end is not None and 0 <= second <= limit:
                put_i32(ends, kind.end, second)
            self.write_firstrec(patient, ends)
        return True

    # -- field edits

    def reset_balance(self, patient):
        if not 1 <= patient <= self.last_patient:
            self.boxes.append(("Numéro du patient non valide.", "Message", "main"))
            return
        record = self._read("identite", patient, IDENTITE_SIZE, "IDENTITE")
        if record is None:
            return
        record[BALANCE:BALANCE + 8] = bytes(8)
        self._write("identite", patient, IDENTITE_SIZE, record)
        self.boxes.append(("Le solde du patient est initialisé. Veuillez remettre le solde manuellement.",
                           "Information", "none"))

    def _whole_clinique(self, change):
        for i in range(1, self.last_clinical + 1):
            line = self.read_line(CLINICAL, i)
            if line is None:
                return
            self.texts.append((10, 20, b"%d/%d" % (i, self.last_clinical)))
            if change(line):
                self.write_line(CLINICAL, i, line)

    def change_user(self, old, new):
        old, new = (to_bytes(t)[:1] or b" " for t in (old, new))

        def change(line):
            c = line[C_USER:C_USER + 1]
            if c == old or not b"1" <= c <= b"9":
                line[C_USER:C_USER + 1] = new
                return True
            return False

        self._whole_clinique(change)

    def change_colour(self, old, new):
        def change(line):
            if line[C_COLOUR] != old:
                return False
            line[C_COLOUR] = line[C_COLOUR2] = new
            return True

        self._whole_clinique(change)

    def change_design(self, old, new):
        if old < 1:
            return
        replacement = (b"%2d" % new)[:2] if new > 0 else b"  "

        def change(line):
            if typed_number(bytes(line[C_DESIGN:C_DESIGN + 2]).decode("latin-1")) != old:
                return False
            line[C_DESIGN:C_DESIGN + 2] = replacement
            return True

        self._whole_clinique(change)

    # -- "Supprimer facturation Ordonnance"

    @staticmethod
    def code_form(field):
        code = bytes(field[:4])
        zero = code.find(b"\0")
        if zero >= 0:
            code = code[:zero]
        code = code.upper()  # only ASCII letters can make one of the forms
        if len(code) < 4:
            return None
        if code in (b"O   ", b" O  ", b"  O ", b"   O"):
            return "O"
        if code in (b"SPR ", b" SPR"):
            return "SPR"
        return None

    def remove_billing(self):
        for kind, count, act in ((CLINICAL, self.last_clinical, C_ACT), (QUOTES, self.last_quote, E_ACT)):
            for n in range(1, count + 1):
                line = self.read_line(kind, n)
                if line is None:
                    return
                self.texts.append((10, 20, b"%d/%d" % (n, count)))
                form = self.code_form(line[act:act + 4])
                if form == "O" and kind is CLINICAL:
                    line[C_BILLED] = 0x20
                elif form == "SPR":
                    line[act:act + 4] = b"SPR "
                else:
                    continue
                self.write_line(kind, n, line)

    # -- what a view draws on its first page

    def view(self, kind, patient, forward=True, most=100):
        """(header, [(line bytes, colour)]) of a view started afresh: the
        header, then the lines of the walk (at most `most`)."""
        ends = self.ends(patient)
        limit = self.limit(kind)
        if kind is CHART:
            header = b"DEBUTSCHEMA: %d    LASTINDEX: %d    " % (i32(ends, CHART_START), limit)
        else:
            header = b"%s%d    %s%d    LASTINDEX: %d    " % (
                kind.header[0].encode(), i32(ends, kind.start), kind.header[1].encode(), i32(ends, kind.end), limit)
        lines = []
        for ordinal, r in enumerate(self.chain(kind, patient, forward, most), 1):
            rec = self.record(kind, r)
            if kind is CLINICAL:
                lines.append((clinical_line(ordinal, r, rec), RED if rec[C_COLOUR] == 49 else BLACK))
            elif kind is QUOTES:
                lines.append((quote_line(ordinal, r, rec), BLACK))
            else:
                lines.append((chart_line(r, rec), BLACK))
        return header, lines


# ---------------------------------------------------------------- hand-made practices

def handmade(patients, clinical, quotes, chart, variant=1, firstrec_records=None):
    """A practice of the given counters whose every byte is junk (never 0),
    links and ends included, except the lastrec counters: chains are laid
    with link() and set_ends() afterwards. firstrec may hold another number
    of records than patients."""
    rnd = random.Random(variant)

    def junk(n):
        return bytearray(rnd.randrange(1, 256) for _ in range(n))

    if firstrec_records is None:
        firstrec_records = patients
    files = {
        "param": junk(512),
        "Fschema": junk(chart * F_SIZE),
        "firstrec": junk(int(firstrec_records * FIRSTREC_SIZE)),
        "lastrec": junk(80 * LASTREC_SIZE),
        "estime": junk(quotes * E_SIZE),
        "clinique": junk(clinical * C_SIZE),
        "identite": junk(patients * IDENTITE_SIZE),
        "patient": junk(patients * 40),
        "patient.tri": junk(patients * 16),
    }
    for index, value in ((0, patients), (2, quotes), (3, clinical), (7, chart)):
        put_i32(files["lastrec"], index * LASTREC_SIZE + 12, value)
    # Text fields in printable characters, so that a whole screen line fits
    # the trace's 300 characters.
    for name, size, fields in (("clinique", C_SIZE, ((0, 20), (51, 63), (114, 9), (126, 5), (164, 26))),
                               ("estime", E_SIZE, ((2, 34), (54, 9), (78, 8)))):
        for at in range(0, len(files[name]), size):
            for start, width in fields:
                files[name][at + start:at + start + width] = bytes(rnd.choice(PRINTABLE) for _ in range(width))
    return files


PRINTABLE = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,-/'"


def link(files, kind, lines, start_patient=None):
    """Links `lines` (record numbers) into a sound chain, in that order;
    with a patient, its firstrec ends name the chain."""
    for i, r in enumerate(lines):
        rec = (r - 1) * kind.size
        put_i32(files[kind.file], rec + kind.next, lines[i + 1] if i + 1 < len(lines) else 0)
        if kind.prev is not None:
            put_i32(files[kind.file], rec + kind.prev, lines[i - 1] if i else 0)
    if start_patient is not None:
        set_ends(files, kind, start_patient, lines[0] if lines else 0, lines[-1] if lines else 0)


def set_link(files, kind, line, nxt=None, prev=None):
    rec = (line - 1) * kind.size
    if nxt is not None:
        put_i32(files[kind.file], rec + kind.next, nxt)
    if prev is not None:
        put_i32(files[kind.file], rec + kind.prev, prev)


def set_ends(files, kind, patient, start, end=None):
    at = (patient - 1) * FIRSTREC_SIZE
    put_i32(files["firstrec"], at + kind.start, start)
    if kind.end is not None and end is not None:
        put_i32(files["firstrec"], at + kind.end, end)


# ---------------------------------------------------------------- the tests' base

class Scenario:
    """The commands of a scenario, in the script and in the model's order:
    each step is written into the script under a mark and remembered with
    what the model does for it, so the checks follow the program's order."""

    def __init__(self, test, model):
        self.test, self.model = test, model
        self.script = Script().wait_window(*MAIN_TITLE).idle()
        self.steps = []

    def check(self, result):
        """Each step as the model says, and nothing drawn or redrawn after
        it: the command ends with mode and patient back at 0."""
        for mark, op in self.steps:
            if op:
                op()
            section = self.test.assertSection(result, mark, self.model)
            with self.test.subTest(section=mark, drawn=True):
                self.test.assertEqual(section.texts, [])
                self.test.assertEqual([c for c in section.calls if c.name == "InvalidateRect"], [])


class RepairCase(E2ETestCase):
    """chkort.exe on a practice; comparisons of what a scenario did with
    what the model says."""

    program = CHKORT

    def start_practice(self, files=None, *mkpractice_args):
        """A host of 14.0 and a practice: hand-made files, or the generator's.
        Returns the model of the practice as written."""
        self.host("14.0")
        if files is None:
            self.mkpractice(*mkpractice_args)
        else:
            for name, data in files.items():
                (self.data / name).write_bytes(bytes(data))
        return Model(self.read_files())

    def read_files(self):
        return {name: (self.data / name).read_bytes() for name in DATA_FILES if (self.data / name).exists()}

    def assertFilesAsModel(self, model):
        """Every data file, byte for byte, as the model has it."""
        actual = self.read_files()
        self.assertEqual(sorted(actual), sorted(model.files), "the set of data files changed")
        for name in DATA_FILES:
            if name not in actual:
                continue
            want, got = bytes(model.files[name]), actual[name]
            if want == got:
                continue
            size = {"firstrec": FIRSTREC_SIZE, "identite": IDENTITE_SIZE, "clinique": C_SIZE, "estime": E_SIZE,
                    "Fschema": F_SIZE, "lastrec": LASTREC_SIZE}.get(name, 1)
            diffs = [i for i in range(max(len(want), len(got)))
                     if i >= len(want) or i >= len(got) or want[i] != got[i]]
            first = diffs[0]
            records = sorted({i // size + 1 for i in diffs})
            self.fail("%s differs from the model at %d byte(s), first at offset %d (record %d, byte %d): "
                      "expected %s, got %s; records %s; sizes %d and %d" % (
                          name, len(diffs), first, first // size + 1, first % size,
                          want[first:first + 8].hex(" "), got[first:first + 8].hex(" "), records[:20],
                          len(want), len(got)))

    @staticmethod
    def main_window(result):
        return int(result.windows[0].hwnd, 16)

    @staticmethod
    def writes(section):
        return [(t.file, t.offset, t.length) for t in section.transfers if t.write]

    @staticmethod
    def boxes(section, main):
        """(text, caption, owner) of the boxes asked for; every box of the
        repairs has no icon and an OK button alone (style 0)."""
        out = []
        for b in section.message_boxes:
            owner = "main" if b.owner == main else "none" if b.owner == 0 else hex(b.owner)
            out.append((b.text, b.caption, owner) if b.style == 0 else (b.text, b.caption, owner, b.style))
        return out

    def assertSection(self, result, mark, model, texts=None):
        """The section's writes and boxes are those the model asked for;
        texts=True compares the drawn texts with the model's too."""
        section = result.section(mark)
        writes, boxes, drawn = model.take()
        with self.subTest(section=mark):
            self.assertEqual(self.writes(section), writes, "records written")
            self.assertEqual(self.boxes(section, self.main_window(result)), boxes, "message boxes")
            if texts:
                self.assertEqual([(t.x, t.y, t.raw) for t in section.texts], drawn, "texts drawn")
        return section

    def assertNothingHappened(self, result, mark):
        """No record read or written, no box, nothing drawn or invalidated."""
        section = result.section(mark)
        with self.subTest(section=mark):
            self.assertEqual(section.transfers, [])
            self.assertEqual(section.message_boxes, [])
            self.assertEqual(section.texts, [])
            self.assertEqual([c for c in section.calls if c.name == "InvalidateRect"], [])

    def assertRedrawn(self, result, mark, model, kind, patient, forward=True):
        """The view drawn afresh from its header, as the model's files give
        it: the red header at (20, 0), then its lines numbered from 1."""
        section = result.section(mark)
        header, lines = model.view(kind, patient, forward)
        texts = section.texts
        with self.subTest(section=mark, redraw=True):
            self.assertTrue(texts, "nothing was drawn")
            self.assertEqual((texts[0].x, texts[0].y, texts[0].raw, texts[0].colour), (20, 0, header, RED))
            drawn = texts[1:]
            x = 20 if kind is CHART else 1
            step = drawn[0].y if drawn else 0
            self.assertEqual([(t.x, t.y) for t in drawn], [(x, step * (i + 1)) for i in range(len(drawn))])
            # A page holds some 30 lines; the views of these tests are shorter
            # or show at least a page.
            self.assertEqual(len(drawn), len(lines) if len(lines) < 25 else max(len(drawn), 25))
            for t, (line, colour) in zip(drawn, lines):
                self.assertEqual(t.raw, line[:len(t.raw)])
                self.assertTrue(t.complete or len(t.raw) >= 250, t)
                self.assertEqual(t.colour, colour)
            return section


# ---------------------------------------------------------------- the model on the worked examples

class ModelOnWorkedExamples(unittest.TestCase):
    """The model gives what the rules' own examples say; the end-to-end
    tests lean on it."""

    def quotes_5_9_2_7(self):
        files = handmade(patients=2, clinical=4, quotes=12, chart=4)
        link(files, QUOTES, [5, 9, 2, 7], start_patient=1)
        return Model(files)

    def test_cut_of_a_quote_chain_from_either_end(self):
        m = self.quotes_5_9_2_7()
        before = {r: m.record(QUOTES, r) for r in (2, 7)}
        m.cut(QUOTES, 1, True, 2)
        self.assertEqual((i32(m.record(QUOTES, 9), E_NEXT), i32(m.record(QUOTES, 9), E_PREV)), (0, 5))
        self.assertEqual(i32(m.record(QUOTES, 5), E_PREV), 0)
        self.assertEqual((i32(m.ends(1), QUOTE_START), i32(m.ends(1), QUOTE_END)), (5, 9))
        self.assertEqual({r: m.record(QUOTES, r) for r in (2, 7)}, before)
        self.assertEqual(m.writes, [("estime", 8 * 86, 86), ("firstrec", 0, 32), ("estime", 4 * 86, 86),
                                    ("estime", 8 * 86, 86), ("firstrec", 0, 32)])

        m = self.quotes_5_9_2_7()
        m.cut(QUOTES, 1, False, 2)
        self.assertEqual((i32(m.record(QUOTES, 2), E_PREV), i32(m.record(QUOTES, 2), E_NEXT)), (0, 7))
        self.assertEqual(i32(m.record(QUOTES, 7), E_NEXT), 0)
        self.assertEqual((i32(m.ends(1), QUOTE_START), i32(m.ends(1), QUOTE_END)), (2, 7))

    def test_cut_at_0_and_beyond_the_chain(self):
        m = self.quotes_5_9_2_7()
        m.cut(QUOTES, 1, True, 0)
        self.assertEqual((i32(m.ends(1), QUOTE_START), i32(m.ends(1), QUOTE_END)), (0, 0))
        self.assertEqual(m.writes, [("firstrec", 0, 32)])
        m = self.quotes_5_9_2_7()
        m.cut(QUOTES, 1, True, 10)
        self.assertEqual(m.writes, [])

    def test_relink_and_firstrec(self):
        m = self.quotes_5_9_2_7()
        m.relink(QUOTES, 1, 3, 4, 1)
        self.assertEqual((i32(m.record(QUOTES, 2), E_NEXT), i32(m.record(QUOTES, 2), E_PREV)), (4, 1))
        m.take()
        m.relink(QUOTES, 1, 1, -1, 0)
        m.relink(QUOTES, 1, 5, 0, 0)
        self.assertEqual(m.take()[0], [])
        m.correct_firstrec(QUOTES, 2, 12, typed_number(""))
        self.assertEqual((i32(m.ends(2), QUOTE_START), i32(m.ends(2), QUOTE_END)), (12, 0))
        m.correct_firstrec(QUOTES, 2, -1, 7)
        self.assertEqual((i32(m.ends(2), QUOTE_START), i32(m.ends(2), QUOTE_END)), (12, 7))

    def test_field_edits(self):
        files = handmade(patients=1, clinical=4, quotes=1, chart=1)
        for i, (user, design) in enumerate(((b"3", b" 5"), (b"7", b"05"), (b" ", b"  "), (b"0", b"12"))):
            files["clinique"][i * C_SIZE + C_USER:i * C_SIZE + C_USER + 1] = user
            files["clinique"][i * C_SIZE + C_DESIGN:i * C_SIZE + C_DESIGN + 2] = design
        m = Model(files)
        m.change_user("3", "5")
        self.assertEqual([m.record(CLINICAL, r)[C_USER:C_USER + 1] for r in (1, 2, 3, 4)], [b"5", b"7", b"5", b"5"])
        m.change_design(5, 12)
        self.assertEqual([m.record(CLINICAL, r)[C_DESIGN:C_DESIGN + 2] for r in (1, 2, 3, 4)],
                         [b"12", b"12", b"  ", b"12"])
        m.change_design(12, 123)
        self.assertEqual(m.record(CLINICAL, 1)[C_DESIGN:C_DESIGN + 2], b"12")
        self.assertEqual(m.texts[-1], (10, 20, b"4/4"))

    def test_code_forms(self):
        self.assertEqual([Model.code_form(c) for c in (b"o   ", b"O\0\0\0", b"OX  ", b" spr", b"SPRX", b"SPR\0")],
                         ["O", None, None, "SPR", None, None])

    def test_typed_numbers(self):
        self.assertEqual([typed_number(t) for t in ("", "abc", "7xyz", " +5", "-1", "1234567890")],
                         [0, 0, 7, 5, -1, 123456789])
        self.assertEqual(typed_number("1234567", 5), 12345)


if __name__ == "__main__":
    unittest.main()
