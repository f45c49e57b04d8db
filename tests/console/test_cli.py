"""chkort-cli from outside, natively: one table of invocations on practices
made by mkpractice, each with its exit status and pieces of what it must
write. Every data file is without write permission, which the program's
read-write open refuses: each command must open them for reading only, and
at the end every byte and modification time is as it was."""

import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("CLI_NATIVE_BUILD", HERE.parent.parent / "build" / "native")).resolve()
CLI, MKPRACTICE = BUILD / "console" / "chkort-cli", BUILD / "tools" / "mkpractice"

SMALL = ["--patients", "4", "--lines", "30"]
PRACTICES = {
    "sound": [],
    # Patient 2: line 15 goes on to 31, beyond the file, so the clinical walks
    # differ (7..15 forward, 29..7 backward); line 3, its first quote line,
    # points back to line 2. Patient 3's 9 clinical lines loop. Patient 4's
    # firstrec record is cut short.
    "damaged": ["--damage", "next-high:clinique:2", "--damage", "loop:clinique:3", "--damage", "first-prev:estime:2",
                "--damage", "truncate:firstrec:4"],
    "short": ["--damage", "truncate:clinique:2"],
    "missing": ["--damage", "missing:clinique"],
}
DATA = "est un fichier de données du cabinet : il ne sera pas remplacé"
USAGE = " (voir chkort-cli --help)"

# Arguments ({name} is a practice, {root} the test's directory), exit status,
# a piece of stdout, a piece of stderr.
CASES = [
    (["--help"], 0, "Utilisation : chkort-cli COMMANDE [ARGUMENTS] [DOSSIER]", ""),
    (["help"], 0, "  show clinical|quotes|chart PATIENT [--from-end] [--raw] [DOSSIER]", ""),
    (["--version"], 0, "chkort-cli 1.0.0\n", ""),
    ([], 2, "", "Utilisation : chkort-cli COMMANDE"),
    (["frobnicate"], 2, "", "commande inconnue : frobnicate" + USAGE),
    (["test"], 2, "", "test : quel fichier ? clinique ou devis" + USAGE),
    (["test", "compta", "{sound}"], 2, "", "test : fichier inconnu : compta (clinique ou devis)"),
    (["test", "clinique", "{sound}", "--colour"], 2, "", "option inconnue : --colour"),
    (["test", "clinique", "{sound}", "extra"], 2, "", "argument de trop : extra"),
    (["show", "clinical"], 2, "", "show : numéro de patient attendu"),
    (["show", "x-ray", "3", "{sound}"], 2, "", "show : vue inconnue : x-ray"),
    (["show", "clinical", "abc", "{sound}"], 2, "", "numéro de patient non valide : abc"),
    (["show", "chart", "3", "--from-end", "{sound}"], 2, "", "le schéma dentaire ne se parcourt que depuis son début"),
    (["show", "clinical", "3", "--json", "{sound}"], 2, "", "--json ne s'applique pas à show"),
    (["sizes", "{sound}", "--raw"], 2, "", "--raw ne s'applique qu'à show"),
    (["sizes", "{sound}", "--report", "{root}/r"], 2, "", "--report ne s'applique qu'à test"),
    (["test", "devis", "{sound}", "--map"], 2, "", "--map attend un nom de fichier"),
    (["diagnose", "99999999999", "{sound}"], 2, "", "numéro de patient non valide : 99999999999"),
    (["test", "clinique", "{root}/nowhere"], 2, "", "dossier introuvable : {root}/nowhere\n"),
    (["sizes", "{sound}/lastrec"], 2, "", "{sound}/lastrec n'est pas un dossier"),
    (["show", "clinical", "1", "{missing}"], 2, "", "fichier introuvable : {missing}/clinique"),
    (["show", "quotes", "5", "{sound}"], 2, "", "patient inconnu : 5 (le cabinet compte 4 patients)"),
    (["diagnose", "1,0", "{sound}"], 2, "", "patient inconnu : 0"),
    # An output file never replaces a data file, and is refused before the test runs.
    (["test", "clinique", "{damaged}", "--report", "{damaged}/clinique"], 2, "", "{damaged}/clinique " + DATA),
    (["test", "devis", "{damaged}", "--map", "{damaged}/patient.tri"], 2, "", "{damaged}/patient.tri " + DATA),
    (["test", "clinique", "{damaged}", "--report", "{root}/r", "--map", "{root}/r"], 2, "",
     "le rapport et la carte ne peuvent pas être le même fichier"),
    (["test", "clinique", "{damaged}", "--map", "{root}/no/such/map"], 2, "", "impossible d'écrire {root}/no/such/map"),
    # Without --report and --map, both go to a fresh directory under TMPDIR.
    (["test", "clinique", "{sound}"], 0, "", "clinique : aucune erreur dans le rapport\nchkort-cli: rapport : {root}/"),
    (["test", "devis", "{missing}"], 0, "", "estime : aucune erreur"),  # needs no clinique
    (["test", "clinique", "{damaged}", "--report", "{root}/r", "--map", "{root}/m"], 1,
     "Erreur suivant -> N° patient =        2\nErreur lignes différentes début-fin -> N° patient =        2\n"
     "Fiche alterée -> N° patient =        3\n", "chkort-cli: Erreur : FIRSTREC\n"),
    (["test", "devis", "{damaged}"], 1, "N° patient =        2 -->Enregistrement =         3\n",
     "chkort-cli: estime : 2 constats dans le rapport"),
    (["test", "clinique", "{damaged}", "--json"], 1,
     '{"code": "next-out-of-range", "severity": "error", "patient": 2, "record": 15, "link": 31,', ""),
    (["test", "clinique", "{short}"], 1, "", "chkort-cli: Erreur : CLINIQUE\n"),
    (["sizes", "{sound}"], 0, "Lastrec -> ok\nFirstrec -> ok\n", ""),
    (["sizes", "{damaged}", "--json"], 1, '{"file": "firstrec", "line": "Firstrec -> Erreur"', ""),
    (["sizes", "{short}"], 1, "Clinique -> Erreur\n", ""),
    (["show", "clinical", "2", "{damaged}"], 0, "DEBUTACTE: 7    FINACTE: 29    LASTINDEX: 30    \n   1│       7│", ""),
    (["show", "clinical", "2", "{damaged}", "--raw"], 0, b"\n   1\xb3       7\xb3", ""),
    (["show", "clinical", "3", "{damaged}"], 1, "\n  30│       4│",
     "la vue est coupée après 30 lignes, autant que le fichier en compte"),
    (["show", "clinical", "3", "--from-end", "{damaged}"], 0, "\n   9│       1│", ""),
    (["show", "chart", "2", "{sound}"], 0, "DEBUTSCHEMA: ", ""),
    (["show", "clinical", "1", "{sound}"], 0, "\n   1│       2│\u241b[2J", ""),  # control bytes made visible
    (["diagnose", "1", "{sound}"], 0, "Patient 1 — fiche clinique : rien à signaler", ""),
    (["diagnose", "all", "{damaged}"], 1, "Patient 2 — fiche clinique : à réparer\n",
     "le fichier firstrec est trop court"),
    (["diagnose", "2", "{damaged}", "--json"], 1,
     '"repair": {"action": "cut", "command_id": 103, "menu": "Visualisation de la fiche clinique à partir de la fin", '
     '"patient": 2, "ordinal": 7, "keeps": {"count": 7, "first": 7, "last": 29}}', ""),
]


class Invocations(unittest.TestCase):

    def setUp(self):
        for needed in (CLI, MKPRACTICE):
            if not needed.exists():
                self.skipTest("%s is not built" % needed)
        self.root = Path(tempfile.mkdtemp(prefix="chkort-cli-test-"))
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.places = {"root": str(self.root)}
        for name, damages in PRACTICES.items():
            self.places[name] = str(self.root / name)
            subprocess.run([MKPRACTICE, self.root / name, *SMALL, *damages], check=True, stdout=subprocess.DEVNULL)
        # A terminal's clear-screen in patient 1's first clinical line, line 2.
        clinique = self.root / "sound" / "clinique"
        data = clinique.read_bytes()
        clinique.write_bytes(data[:224] + b"\x1b[2J" + data[228:])

    def fill(self, text):
        for name, path in self.places.items():
            text = text.replace("{%s}" % name, path)
        return text

    def test_invocations(self):
        files = [p for name in PRACTICES for p in (self.root / name).iterdir()]
        for p in files:
            os.utime(p, ns=(10 ** 18, 10 ** 18))  # 2001
            p.chmod(0o444)
        before = {p: (p.read_bytes(), p.stat().st_mtime_ns) for p in files}
        env = dict(os.environ, TMPDIR=str(self.root))
        for args, status, out, err in CASES:
            args = [self.fill(a) for a in args]
            with self.subTest(args=args):
                r = subprocess.run([CLI, *args], capture_output=True, stdin=subprocess.DEVNULL, env=env, timeout=60)
                self.assertEqual(r.returncode, status, r.stderr.decode())
                self.assertIn(out if isinstance(out, bytes) else self.fill(out).encode(), r.stdout)
                self.assertIn(self.fill(err), r.stderr.decode())
                if status == 2:
                    self.assertEqual(r.stdout, b"")
        self.assertEqual(before, {p: (p.read_bytes(), p.stat().st_mtime_ns) for p in files})
        self.assertEqual(sorted(p for name in PRACTICES for p in (self.root / name).iterdir()), sorted(files))


if __name__ == "__main__":
    unittest.main()
