"""chkort-cli from outside, natively, on practices made by mkpractice: its
exit statuses and messages, its report and owner map against the model of
the window's integrity test (tests/e2e/test_checks_integrity.py, which reads
the data files itself), its JSON against what the practice's manifest and a
model of the chains written here say, its views, its progress bar, and that
no command changes a byte or a modification time of a data file."""

import json
import os
import pty
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("CLI_NATIVE_BUILD", HERE.parent.parent / "build" / "native")).resolve()
CLI = BUILD / "console" / "chkort-cli"
MKPRACTICE = BUILD / "tools" / "mkpractice"

# Modules of other directories are imported, never compiled into them.
sys.dont_write_bytecode = True
sys.path.insert(0, str(HERE.parent / "e2e"))
from test_checks_integrity import CMD_TEST_CLINIQUE, CMD_TEST_ESTIME, Model  # noqa: E402

DATA_FILES = ["param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite", "patient", "patient.tri"]
KINDS = ["start-negative", "start-high", "end-negative", "end-high", "first-prev", "last-next", "next-high",
         "prev-high", "uneven", "loop", "shared", "long"]
TIMEOUT = 120


def each_kind_damages():
    """Every kind of damage on a patient of its own: clinique on patients 2,
    4, ..., estime on 3, 5, ...; "shared" takes its lower neighbour's chain."""
    damages = []
    for i, kind in enumerate(KINDS):
        damages += ["--damage", "%s:clinique:%d" % (kind, 2 * i + 2), "--damage", "%s:estime:%d" % (kind, 2 * i + 3)]
    damages[damages.index("long:clinique:24")] = "long:clinique:24:5001"
    damages[damages.index("long:estime:25")] = "long:estime:25:5000"
    return ["--patients", "30"] + damages


TOGETHER = ["--patients", "12",
            "--damage", "first-prev:clinique:4", "--damage", "last-next:clinique:4",
            "--damage", "next-high:clinique:4", "--damage", "prev-high:clinique:4",
            "--damage", "uneven:clinique:4", "--damage", "start-high:clinique:6",
            "--damage", "end-negative:clinique:6", "--damage", "loop:clinique:7",
            "--damage", "first-prev:clinique:7", "--damage", "shared:clinique:9:7",
            "--damage", "long:clinique:10:60", "--damage", "uneven:clinique:10",
            "--damage", "prev-high:clinique:10", "--damage", "truncate:clinique:10",
            "--damage", "start-negative:estime:2", "--damage", "end-high:estime:2",
            "--damage", "last-next:estime:5", "--damage", "uneven:estime:5",
            "--damage", "next-high:estime:5", "--damage", "truncate:firstrec:12"]


def i32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def read_files(directory):
    return {p.name: p.read_bytes() for p in Path(directory).iterdir()}


# The work directories the program makes when no output file is named go
# under this test's own temporary directory, not the system's.
WORK = {}


def cli(*args, cwd=None, stderr=subprocess.PIPE):
    return subprocess.run([str(CLI), *map(str, args)], stdout=subprocess.PIPE, stderr=stderr, cwd=cwd,
                          timeout=TIMEOUT, stdin=subprocess.DEVNULL, env=dict(os.environ, **WORK))


# ---------------------------------------------------------------- a model of the chains

CHAINS = {"clinique": (224, 141, 145, 3, 0, 4), "estime": (86, 67, 71, 2, 8, 12)}


def claims_model(files, name):
    """Every patient whose walks reach each line (each walk up to a link
    out of the file, an unreadable line or a line it has seen), and the
    lines in use no walk reaches: what --json adds to the report."""
    size, prev, nxt, counter_at, start_at, end_at = CHAINS[name]
    lastrec, firstrec, lines = files["lastrec"], files["firstrec"], files[name]
    patients, count = i32(lastrec, 12), i32(lastrec, 16 * counter_at + 12)
    present = min(count, len(lines) // size)
    claims = {}
    for p in range(1, patients + 1):
        if 32 * p > len(firstrec):
            continue
        for first, link in ((i32(firstrec, 32 * (p - 1) + start_at), nxt), (i32(firstrec, 32 * (p - 1) + end_at), prev)):
            seen, r = set(), first
            while 1 <= r <= present and r not in seen:
                seen.add(r)
                claims.setdefault(r, [])
                if p not in claims[r]:
                    claims[r].append(p)
                r = i32(lines, size * (r - 1) + link)
    contested = {r: ps for r, ps in claims.items() if len(ps) > 1}
    unreachable = [r for r in range(1, present + 1) if r not in claims]
    return contested, unreachable


def manifest_facts(manifest):
    """'next-high:clinique:8: patient 8, line 131 NextLine 156 -> 301' and
    the like: (kind, file, patient) -> (line or None, field, old, new)."""
    facts = {}
    for line in manifest.splitlines():
        m = re.match(r"\s*([a-z-]+):(\w+):(\d+)(?::-?\d+)?: patient \d+, (?:line (\d+) )?(\w+) (-?\d+) -> (-?\d+)", line)
        if m:
            kind, file, patient, record, field, old, new = m.groups()
            facts[kind, file, int(patient)] = (int(record) if record else None, field, int(old), int(new))
    return facts


class Practices(unittest.TestCase):
    """Practices made once for the whole file."""

    @classmethod
    def setUpClass(cls):
        for needed in (CLI, MKPRACTICE):
            if not needed.exists():
                raise unittest.SkipTest("%s is not built" % needed)
        cls.root = Path(tempfile.mkdtemp(prefix="chkort-cli-test-"))
        (cls.root / "work").mkdir()
        WORK["TMPDIR"] = str(cls.root / "work")
        cls.manifests = {}
        cls.make("sound", "--patients", "30", "--variant", "3")
        cls.make("kinds", *each_kind_damages(), "--damage", "truncate:estime:28")
        cls.make("kinds-sound", *each_kind_damages(), "--damage", "truncate:estime:28", "--sound")
        cls.make("together", *TOGETHER)
        cls.make("no-clinique", "--patients", "8", "--damage", "missing:clinique", "--damage", "uneven:estime:3")
        cls.make("short-clinique", "--patients", "8", "--damage", "truncate:clinique")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    @classmethod
    def make(cls, name, *args):
        out = subprocess.run([str(MKPRACTICE), str(cls.root / name), *args], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=TIMEOUT, check=True)
        cls.manifests[name] = out.stdout.decode()

    def practice(self, name):
        return self.root / name

    def copy(self, name):
        """A copy of a practice the test may change."""
        target = Path(tempfile.mkdtemp(dir=self.root)) / name
        shutil.copytree(self.practice(name), target)
        return target


class Commands(Practices):

    def assertRefused(self, result, message):
        self.assertEqual(result.returncode, 2, result)
        self.assertIn(message, result.stderr.decode())
        self.assertEqual(result.stdout, b"")

    def test_help_version_and_usage_errors(self):
        r = cli("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn("Utilisation : chkort-cli COMMANDE", r.stdout.decode())
        self.assertIn("show clinical|quotes|chart PATIENT", r.stdout.decode())
        self.assertEqual(cli("help").stdout, r.stdout)
        v = cli("--version")
        self.assertEqual((v.returncode, v.stdout), (0, b"chkort-cli 1.0.0\n"))
        r = cli()
        self.assertEqual((r.returncode, r.stdout), (2, b""))
        self.assertIn("Utilisation", r.stderr.decode())
        sound = self.practice("sound")
        for args, message in [
                (["frobnicate"], "commande inconnue : frobnicate"),
                (["test"], "test : quel fichier ? clinique ou devis"),
                (["test", "compta", sound], "test : fichier inconnu : compta"),
                (["test", "clinique", sound, "--colour"], "option inconnue : --colour"),
                (["test", "clinique", sound, "extra"], "argument de trop : extra"),
                (["show", "clinical"], "show : numéro de patient attendu"),
                (["show", "x-ray", "3", sound], "show : vue inconnue : x-ray"),
                (["show", "clinical", "abc", sound], "numéro de patient non valide : abc"),
                (["show", "clinical", "-3", sound], "option inconnue : -3"),
                (["show", "chart", "3", "--from-end", sound], "le schéma dentaire ne se parcourt que depuis son début"),
                (["show", "clinical", "3", "--json", sound], "--json ne s'applique pas à show"),
                (["sizes", sound, "--raw"], "--raw ne s'applique qu'à show"),
                (["sizes", sound, "--report", "r.txt"], "--report ne s'applique qu'à test"),
                (["test", "devis", sound, "--map"], "--map attend un nom de fichier"),
                (["diagnose", "99999999999", sound], "numéro de patient non valide : 99999999999"),
                (["diagnose", "3,,4", sound], "numéro de patient non valide : "),
                (["diagnose", sound], "numéro de patient non valide : %s" % sound)]:
            with self.subTest(args=args):
                r = cli(*args)
                self.assertRefused(r, message)
                self.assertIn("voir chkort-cli --help", r.stderr.decode())

    def test_exit_statuses_on_practices(self):
        sound, kinds = self.practice("sound"), self.practice("kinds")
        cases = [
            (["test", "clinique", sound], 0), (["test", "devis", sound], 0), (["sizes", sound], 0),
            (["test", "clinique", kinds], 1), (["test", "devis", kinds], 1),
            (["show", "clinical", "1", sound], 0), (["show", "quotes", "30", "--from-end", sound], 0),
            (["show", "chart", "2", sound], 0),
            (["diagnose", "1", sound], 0), (["diagnose", "all", sound], 0), (["diagnose", "2,3", kinds], 1),
            (["diagnose", "1", kinds], 0),
            # The quote test needs no clinique; the size test finds it short.
            (["test", "devis", self.practice("no-clinique")], 1), (["sizes", self.practice("short-clinique")], 1),
            # The file ends in the middle of a line the chains need.
            (["test", "clinique", self.practice("short-clinique")], 1),
        ]
        for args, status in cases:
            with self.subTest(args=args):
                r = cli(*args)
                self.assertEqual(r.returncode, status, r.stderr.decode())

    def test_what_cannot_run_says_why(self):
        sound = self.practice("sound")
        self.assertRefused(cli("test", "clinique", self.root / "nowhere"), "dossier introuvable : %s" % (self.root / "nowhere"))
        self.assertRefused(cli("sizes", sound / "lastrec"), "%s n'est pas un dossier" % (sound / "lastrec"))
        missing = self.practice("no-clinique")
        for args in (["test", "clinique", missing], ["show", "clinical", "1", missing], ["diagnose", "1", missing],
                     ["sizes", missing]):
            with self.subTest(args=args):
                self.assertRefused(cli(*args), "fichier introuvable : %s/clinique" % missing)
        for patient in ("0", "31"):
            self.assertRefused(cli("show", "quotes", patient, sound), "patient inconnu : %s (le cabinet compte 30 patients)" % patient)
            self.assertRefused(cli("diagnose", "1,%s" % patient, sound), "patient inconnu : %s" % patient)
        deep = self.root / "/".join(["d" * 60] * 5)
        deep.mkdir(parents=True)
        self.assertRefused(cli("sizes", deep), "le chemin complet du dossier %s dépasse 255 caractères" % deep)
        # The directory defaults to the current one.
        r = cli("show", "chart", "2", cwd=sound)
        self.assertEqual((r.returncode, r.stdout), (0, cli("show", "chart", "2", sound).stdout))
        broken = self.copy("sound")
        (broken / "lastrec").write_bytes((broken / "lastrec").read_bytes()[:100])
        self.assertRefused(cli("test", "clinique", broken), "les compteurs de lastrec ne peuvent pas être lus")
        (broken / "lastrec").write_bytes((self.practice("sound") / "lastrec").read_bytes())
        (broken / "patient.tri").unlink()
        self.assertRefused(cli("sizes", broken), "fichier introuvable : %s/patient.tri" % broken)

    def test_an_output_file_never_replaces_a_data_file(self):
        target = self.copy("kinds")
        before = read_files(target)
        for option in ("--report", "--map"):
            for name in ("clinique", "firstrec", "patient.tri"):
                r = cli("test", "clinique", target, option, target / name)
                self.assertRefused(r, "%s est un fichier de données du cabinet" % (target / name))
        self.assertRefused(cli("test", "clinique", target, "--report", "same", "--map", "same"),
                           "le rapport et la carte ne peuvent pas être le même fichier")
        # Said before the test runs, not after.
        self.assertRefused(cli("test", "clinique", target, "--map", self.root / "no" / "such" / "map"),
                           "impossible d'écrire %s" % (self.root / "no" / "such" / "map"))
        self.assertEqual(read_files(target), before)


class Reports(Practices):
    """The report and the owner map, byte for byte the window's."""

    def check(self, name, command, target):
        files = read_files(self.practice(name))
        model = Model(files, command)
        out = Path(tempfile.mkdtemp(dir=self.root))
        r = cli("test", target, self.practice(name), "--report", out / "rapport.txt", "--map", out / "carte.bin")
        self.assertEqual((out / "rapport.txt").read_bytes(), model.report)
        self.assertEqual((out / "carte.bin").read_bytes(), model.owner_map)
        # The same findings on stdout, one a line, in UTF-8.
        self.assertEqual(r.stdout, model.report.decode("cp1252").replace("\r\n", "\n").encode())
        self.assertEqual(r.returncode, 1 if model.report or model.boxes else 0)
        # Each box the window would show is a line on stderr.
        boxes = [line for line in r.stderr.decode().splitlines() if line.startswith("chkort-cli: Erreur : ")]
        self.assertEqual([b.split(" : ")[1] for b in boxes], model.boxes)
        return model, r

    def test_every_practice_both_files(self):
        for name in ("sound", "kinds", "together", "short-clinique"):
            for command, target in ((CMD_TEST_CLINIQUE, "clinique"), (CMD_TEST_ESTIME, "devis")):
                with self.subTest(practice=name, file=target):
                    model, _ = self.check(name, command, target)
                    if name != "sound" and (name, target) != ("short-clinique", "devis"):
                        self.assertTrue(model.report or model.boxes)
        model, _ = self.check("no-clinique", CMD_TEST_ESTIME, "devis")
        self.assertIn(b"Erreur lignes", model.report)

    def test_default_files_go_to_a_work_directory(self):
        r = cli("test", "clinique", self.practice("together"))
        err = r.stderr.decode()
        report = Path(re.search(r"chkort-cli: rapport : (.*)", err).group(1))
        owners = Path(re.search(r"chkort-cli: carte des propriétaires : (.*)", err).group(1))
        self.assertEqual(report.parent, owners.parent)
        self.assertEqual(report.parent.parent, Path(WORK["TMPDIR"]))
        model = Model(read_files(self.practice("together")), CMD_TEST_CLINIQUE)
        self.assertEqual((report.read_bytes(), owners.read_bytes()), (model.report, model.owner_map))
        lines = model.report.count(b"\n")
        self.assertIn("chkort-cli: clinique : %d constats dans le rapport" % lines, err)
        shutil.rmtree(report.parent)
        # Both files given: nothing is left behind.
        out = Path(tempfile.mkdtemp(dir=self.root))
        work = set(Path(WORK["TMPDIR"]).iterdir())
        r = cli("test", "devis", self.practice("sound"), "--report", out / "r", "--map", out / "m")
        self.assertEqual(set(Path(WORK["TMPDIR"]).iterdir()), work)
        self.assertEqual(r.stderr.decode(), "chkort-cli: estime : aucune erreur dans le rapport\n")


class ReadOnly(Practices):
    """No command writes a data file: with every file without write
    permission (which the program's read-write open refuses even to root)
    each command still runs, and afterwards every byte and every
    modification time is as it was."""

    COMMANDS = [["test", "clinique"], ["test", "devis"], ["test", "clinique", "--json"], ["test", "devis", "--json"],
                ["sizes"], ["sizes", "--json"], ["show", "clinical", "4"], ["show", "clinical", "4", "--from-end"],
                ["show", "quotes", "5", "--raw"], ["show", "quotes", "5", "--from-end"], ["show", "chart", "2"],
                ["diagnose", "4"], ["diagnose", "all", "--json"]]

    def test_no_command_changes_a_data_file(self):
        target = self.copy("kinds")
        past = 1_000_000_000_000_000_000  # 2001, in nanoseconds
        for p in target.iterdir():
            os.utime(p, ns=(past, past))
            p.chmod(0o444)
        before = {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in target.iterdir()}
        statuses = []
        for command in self.COMMANDS:
            r = cli(*command, target)
            statuses.append(r.returncode)
            self.assertNotIn("impossible d'ouvrir", r.stderr.decode())
        self.assertEqual(statuses, [1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1, 1])
        after = {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in target.iterdir()}
        self.assertEqual(sorted(after), sorted(before), "a file appeared or went")
        for name in before:
            self.assertEqual(after[name], before[name], name)


class Json(Practices):

    def run_json(self, *args):
        r = cli(*args, "--json")
        return r, json.loads(r.stdout)

    def test_the_test_findings_and_what_the_console_adds(self):
        name = "kinds"
        files = read_files(self.practice(name))
        facts = manifest_facts(self.manifests[name])
        for target, file, command in (("clinique", "clinique", CMD_TEST_CLINIQUE), ("devis", "estime", CMD_TEST_ESTIME)):
            with self.subTest(file=file):
                r, doc = self.run_json("test", target, self.practice(name))
                model = Model(files, command)
                self.assertEqual((doc["command"], doc["file"], doc["status"]), ("test", file, "errors"))
                self.assertEqual((doc["patients"], doc["lines"]), (model.patients, model.count))
                findings = doc["findings"]
                reported = [f for f in findings if f["source"] == "report"]
                self.assertEqual("".join(f["text"] + "\r\n" for f in reported).encode("cp1252"), model.report)
                self.assertEqual(doc["report_lines"], len(reported))
                for f in findings:
                    self.assertEqual(set(f) >= {"code", "severity", "patient", "record", "source"}, True, f)
                # The record behind each finding, as the damage placed it.
                by_code = {}
                for f in reported:
                    by_code.setdefault((f["code"], f["patient"]), []).append(f)
                checked = 0
                for (kind, where, patient), (record, field, old, new) in facts.items():
                    if where != file:
                        continue
                    code = {"next-high": "next-out-of-range", "prev-high": "prev-out-of-range",
                            "first-prev": "first-prev-not-zero", "last-next": "last-next-not-zero"}.get(kind)
                    if code:
                        f, = by_code[code, patient]
                        self.assertEqual((f["record"], f.get("link", new)), (record, new), f)
                        checked += 1
                    if kind in ("start-negative", "start-high", "end-negative", "end-high"):
                        code = "start-out-of-range" if kind.startswith("start") else "end-out-of-range"
                        f, = by_code[code, patient]
                        self.assertEqual((f["record"], f["value"]), (None, new))
                        checked += 1
                self.assertEqual(checked, 8)
                self.assertIn(("runaway-chain", 24 if file == "clinique" else 21), by_code)
                # Every claimant of every contested line; the lines no walk reaches.
                contested, unreachable = claims_model(files, file)
                self.assertEqual({f["record"]: f["patients"] for f in findings if f["code"] == "contested-line"},
                                 contested)
                self.assertEqual([f["record"] for f in findings if f["code"] == "unreachable-line"], unreachable)
                self.assertTrue(contested and unreachable)
                self.assertTrue(all(f["severity"] == "warning" for f in findings if f["code"] == "unreachable-line"))
                unreadable = [f for f in findings if f["code"] == "unreadable-record"]
                self.assertEqual(len(unreadable), len(model.boxes))

    def test_a_sound_practice_and_the_sizes(self):
        r, doc = self.run_json("test", "clinique", self.practice("sound"))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(doc["report_lines"], 0)
        self.assertEqual({f["code"] for f in doc["findings"]}, {"unreachable-line"})  # the generator's stray lines
        self.assertEqual(doc["status"], "warnings")
        r, doc = self.run_json("sizes", self.practice("sound"))
        self.assertEqual((r.returncode, doc["status"], doc["findings"]), (0, "ok", []))
        text = cli("sizes", self.practice("sound")).stdout.decode().splitlines()
        self.assertEqual([f["line"] for f in doc["files"]], text)
        self.assertEqual([f["file"] for f in doc["files"]],
                         ["lastrec", "firstrec", "patient", "identite", "clinique", "estime", "Fschema"])
        for f in doc["files"]:
            self.assertEqual(f["size"], (self.practice("sound") / f["file"]).stat().st_size)
        r, doc = self.run_json("sizes", self.practice("short-clinique"))
        self.assertEqual((r.returncode, doc["status"]), (1, "errors"))
        f, = doc["findings"]
        self.assertEqual((f["code"], f["file"]), ("file-too-short", "clinique"))
        self.assertLess(f["size"], f["expected"])
        big = self.copy("sound")
        with open(big / "Fschema", "ab") as fschema:
            fschema.truncate((big / "Fschema").stat().st_size + 2_000_001)
        r, doc = self.run_json("sizes", big)
        self.assertEqual((r.returncode, doc["status"]), (0, "warnings"))
        self.assertEqual([(f["code"], f["file"]) for f in doc["findings"]], [("file-too-large", "Fschema")])

    def test_diagnose_keeps_the_chain_as_it_was_before_the_damage(self):
        """Where a damage left the patient's lines in place, the repair the
        diagnosis proposes keeps exactly the chain of the practice laid out
        the same way but left sound."""
        sound = read_files(self.practice("kinds-sound"))
        r, doc = self.run_json("diagnose", "all", self.practice("kinds"))
        self.assertEqual((r.returncode, doc["command"], doc["status"]), (1, "diagnose", "damaged"))
        by_patient = {p["patient"]: p for p in doc["patients"]}
        # Every patient the test names, and the one whose quotes the
        # truncated file cuts short.
        named = set()
        for target in ("clinique", "devis"):
            named |= {f["patient"] for f in self.run_json("test", target, self.practice("kinds"))[1]["findings"]
                      if f["patient"]}
        self.assertEqual(set(by_patient), named)
        for i, kind in enumerate(KINDS):
            for file, patient in (("clinique", 2 * i + 2), ("estime", 2 * i + 3)):
                with self.subTest(kind=kind, file=file):
                    if kind == "long" and file == "estime":
                        self.assertNotIn(patient, by_patient)  # 5000 lines: within what the test follows
                        continue
                    entry = by_patient[patient]
                    self.assertEqual(entry["status"], "damaged")
                    chain, = [c for c in entry["chains"] if c["chain"] == ("clinique" if file == "clinique" else "devis")]
                    self.assertEqual(chain["status"], "damaged")
                    self.assertTrue(chain["findings"])
                    self.assertTrue(all(f["patient"] == patient for f in chain["findings"]))
                    size, prev, nxt, _, start_at, end_at = CHAINS[file]
                    start = i32(sound["firstrec"], 32 * (patient - 1) + start_at)
                    end = i32(sound["firstrec"], 32 * (patient - 1) + end_at)
                    count, line = 0, start
                    while line >= 1:
                        count += 1
                        line = i32(sound[file], size * (line - 1) + nxt)
                    repair = chain["repair"]
                    if kind == "long":
                        self.assertIsNone(repair)  # sound, only longer than the test follows
                        self.assertTrue(chain["sound"])
                    elif kind == "shared":
                        self.assertEqual((repair["action"], repair["start"], repair["end"]), ("firstrec", start, end))
                        self.assertEqual(repair["command_id"], 109 if file == "clinique" else 110)
                    else:
                        self.assertEqual(repair["action"], "cut")
                        self.assertEqual(repair["keeps"], {"count": count, "first": start, "last": end})
                        self.assertEqual(repair["ordinal"], count)
        # One sound patient of the same practice, asked for by number.
        r, doc = self.run_json("diagnose", "1", self.practice("kinds"))
        self.assertEqual((r.returncode, doc["status"]), (0, "ok"))
        entry, = doc["patients"]
        self.assertEqual([c["chain"] for c in entry["chains"]], ["clinique", "devis", "schema"])
        self.assertTrue(all(c["repair"] is None and c["status"] == "ok" for c in entry["chains"]))


class Views(Practices):

    def walk(self, files, name, patient, forward):
        size, prev, nxt, _, start_at, end_at = CHAINS[name]
        r = i32(files["firstrec"], 32 * (patient - 1) + (start_at if forward else end_at))
        out = []
        while r >= 1:
            out.append(r)
            r = i32(files[name], size * (r - 1) + (nxt if forward else prev))
        return out

    def test_lines_of_the_views(self):
        files = read_files(self.practice("sound"))
        for view, name, label in (("clinical", "clinique", "DEBUTACTE"), ("quotes", "estime", "DEBUTDEVIS")):
            for forward in (True, False):
                with self.subTest(view=view, forward=forward):
                    extra = [] if forward else ["--from-end"]
                    raw = cli("show", view, "12", self.practice("sound"), "--raw", *extra)
                    text = cli("show", view, "12", *extra, self.practice("sound"))
                    self.assertEqual((raw.returncode, text.returncode, raw.stderr, text.stderr), (0, 0, b"", b""))
                    lines = raw.stdout.split(b"\n")
                    self.assertEqual(lines[-1], b"")
                    header, body = lines[0], lines[1:-1]
                    self.assertTrue(header.startswith(label.encode() + b": "), header)
                    records = self.walk(files, name, 12, forward)
                    self.assertEqual([int(line.split(b"\xb3")[1]) for line in body], records)
                    self.assertEqual([int(line.split(b"\xb3")[0]) for line in body], list(range(1, len(records) + 1)))
                    # The same lines in UTF-8, the separator as a box-drawing bar.
                    self.assertEqual(text.stdout, raw.stdout.decode("cp1252").replace("\xb3", "\u2502").encode())
        chart = cli("show", "chart", "2", self.practice("sound"), "--raw").stdout.split(b"\n")
        self.assertTrue(chart[0].startswith(b"DEBUTSCHEMA: "))
        self.assertTrue(all(line.endswith(b"\xb3") for line in chart[1:-1]))

    def test_a_view_that_stops_on_an_unreadable_line(self):
        r = cli("show", "clinical", "10", self.practice("together"))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode().splitlines(),
                         ["chkort-cli: Erreur : CLINIQUE", "chkort-cli: la vue s'est arrêtée sur un enregistrement illisible"])
        # A looping chain ends after as many lines as the file has, and says
        # so: its counter, or fewer when the file is shorter than that.
        files = read_files(self.practice("together"))
        count = min(Model(files, CMD_TEST_CLINIQUE).count, len(files["clinique"]) // 224)
        r = cli("show", "clinical", "7", self.practice("together"))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(len(r.stdout.decode().splitlines()) - 1, count)
        self.assertEqual(r.stderr.decode(), "chkort-cli: la chaîne ne s'arrête pas (boucle) : la vue est coupée "
                                            "après %d lignes, autant que le fichier en compte\n" % count)
        # From its other end the same chain is sound.
        self.assertEqual(cli("show", "clinical", "7", "--from-end", self.practice("together")).returncode, 0)

    def test_control_bytes_become_visible(self):
        target = self.copy("sound")
        data = bytearray((target / "clinique").read_bytes())
        files = read_files(target)
        first = self.walk(files, "clinique", 3, True)[0]
        data[224 * (first - 1) + 0: 224 * (first - 1) + 4] = b"\x1b[2J"  # a terminal's clear-screen
        data[224 * (first - 1) + 8] = 0x81  # undefined in the code page
        (target / "clinique").write_bytes(bytes(data))
        line = cli("show", "clinical", "3", target).stdout.decode().splitlines()[1]
        self.assertIn("\u241b[2J", line)
        self.assertIn("\ufffd", line)
        self.assertNotIn("\x1b", line)


class Progress(Practices):

    def run_on_terminal(self, *args):
        """Runs with stderr on a pseudo-terminal; returns (status, stdout, what the terminal got)."""
        master, slave = pty.openpty()
        proc = subprocess.Popen([str(CLI), *map(str, args)], stdout=subprocess.PIPE, stderr=slave,
                                stdin=subprocess.DEVNULL, env=dict(os.environ, **WORK))
        os.close(slave)
        seen = b""
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 1)
            if ready:
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                seen += chunk
            elif proc.poll() is not None:
                break
        os.close(master)
        out = proc.stdout.read()
        proc.stdout.close()
        return proc.wait(timeout=30), out, seen.decode()

    def test_a_bar_on_a_terminal_and_nothing_otherwise(self):
        status, out, terminal = self.run_on_terminal("test", "clinique", self.practice("kinds"))
        piped = cli("test", "clinique", self.practice("kinds"))
        self.assertEqual((status, out), (piped.returncode, piped.stdout))
        self.assertIn("] 100 % préparation", terminal)
        self.assertIn("] 100 % patients", terminal)
        self.assertIn("[" + "#" * 15 + "." * 15 + "]  50 % patients", terminal)
        # Wiped before the closing lines, which start on a clean line.
        self.assertRegex(terminal, r"\r +\rchkort-cli: clinique : \d+ constats")
        self.assertNotIn("\r", piped.stderr.decode())
        self.assertNotIn("%", piped.stderr.decode())


if __name__ == "__main__":
    unittest.main()
