"""chkort-cli from outside: a table of invocations on practices made by
mkpractice, whose data files have no write permission (which the read-write
open refuses): each command must read them only, and leave every byte and
modification time as it was."""

import os
import subprocess
import tempfile
import unittest
from pathlib import Path

BUILD = Path(os.environ.get("CLI_NATIVE_BUILD", Path(__file__).parents[2] / "build" / "native"))
CLI, MKPRACTICE = BUILD / "console" / "chkort-cli", BUILD / "tools" / "mkpractice"

PRACTICES = {  # 4 patients, 30 clinical lines
    "sound": [],
    # Patient 2: clinical line 15 goes on to 31, beyond the file, so the walks
    # differ (7..15 forward, 29..7 backward); its first quote line, 3, points
    # back to 2. Patient 3's 9 clinical lines loop. Patient 4's firstrec
    # record is cut short.
    "damaged": ["next-high:clinique:2", "loop:clinique:3", "first-prev:estime:2", "truncate:firstrec:4"],
    # Patient 3's pointers name patient 2's chain, whose line 18 points back
    # to 31; patient 3's own lines, 4 5 16 17 28, are left to nobody.
    "crossed": ["prev-high:clinique:2", "shared:clinique:3"],
    "short": ["truncate:clinique:2"],
    "missing": ["missing:clinique"],
    # Patient 4's firstrec record is cut short, and lastrec claims 3,000,000
    # patients: patient 5's record lies beyond the file.
    "counted": ["truncate:firstrec:4"],
}
DATA = "est un fichier de données du cabinet : il ne sera pas remplacé"
JOURNAL = "sound/chkort-journal/20240115-093000.jnl"


def frame(kind, payload):
    """A journal record: kind, length, payload, FNV-1a 32 check of the three."""
    record = kind + len(payload).to_bytes(4, "little") + payload
    check = 2166136261
    for b in record:
        check = ((check ^ b) * 16777619) % 2 ** 32
    return record + check.to_bytes(4, "little")


# A journal of the first format: Corriger wrote clinique line 2 (its first
# four bytes now "\x1b[2J") and line 3 (its first two said to be "zz", which
# they are not), then estime line 2 (now "NN"); then a crash cut the next
# record after five bytes.
JOURNAL_BYTES = (b"CHKORTJ120240115093000\r\n" + frame(b"C", b"20240115093100Corriger")
                 + frame(b"W", b"\x03" + (224).to_bytes(4, "little") + b"\x00\x00\x04\x00ABCD\x1b[2J")
                 + frame(b"W", b"\x03" + (448).to_bytes(4, "little") + b"\x00\x00\x02\x00xyzz")
                 + frame(b"W", b"\x04" + (86).to_bytes(4, "little") + b"\x00\x00\x02\x00abNN") + b"W\x09\x00\x00\x00")
# Of this format: Corriger on patient 3's quotes seen from their end, ended;
# then a colour change in groups from clinique line 5, whose second record
# has a run of no byte, which no journal holds: the reading stops there.
JOURNAL2 = "crossed/chkort-journal/20240116-080000.jnl"
JOURNAL2_BYTES = (b"CHKORTJ220240116080000\r\n"
                  + frame(b"C", b"20240116080100" + (3).to_bytes(4, "little") + b"\x04\x00Corriger")
                  + frame(b"W", b"\x04" + (172).to_bytes(4, "little") + b"\x43\x00\x01\x00\x05\x00") + frame(b"E", b"")
                  + frame(b"C", b"20240116080200" + (0).to_bytes(4, "little") + b"\x17\x01Changer la couleur")
                  + frame(b"G", b"\x03" + (896).to_bytes(4, "little") + (896 + 4096 * 224).to_bytes(4, "little"))
                  + frame(b"W", b"\x03" + (896).to_bytes(4, "little") + b"\x8d\x00\x01\x00\x31\x32")
                  + frame(b"W", b"\x03" + (1120).to_bytes(4, "little") + b"\x8d\x00\x00\x00") + frame(b"E", b""))

# Run in the test's directory {root}, which holds the practices and is TMPDIR:
# arguments, exit status, pieces of stdout, a piece of stderr.
CASES = [
    (["--help"], 0, "Utilisation : chkort-cli COMMANDE [ARGUMENTS] [DOSSIER]", ""),
    (["--version"], 0, "chkort-cli 1.0.0\n", ""),
    ([], 2, "", "Utilisation : chkort-cli COMMANDE"),
    (["frobnicate"], 2, "", "commande inconnue : frobnicate (voir chkort-cli --help)"),
    (["test"], 2, "", "test : quel fichier ? clinique ou devis"),
    (["test", "clinique", "sound", "--colour"], 2, "", "option inconnue : --colour"),
    (["test", "clinique", "sound", "extra"], 2, "", "argument de trop : extra"),
    (["show", "clinical", "abc", "sound"], 2, "", "numéro de patient non valide : abc"),
    (["show", "chart", "3", "--from-end", "sound"], 2, "", "le schéma dentaire ne se parcourt que depuis son début"),
    (["show", "clinical", "3", "--json", "sound"], 2, "", "--json ne s'applique pas à show"),
    (["diagnose", "99999999999", "sound"], 2, "", "numéro de patient non valide : 99999999999"),
    (["test", "clinique", "nowhere"], 2, "", "dossier introuvable : nowhere\n"),
    (["sizes", "sound/lastrec"], 2, "", "sound/lastrec n'est pas un dossier"),
    (["show", "clinical", "1", "missing"], 2, "", "fichier introuvable : missing/clinique"),
    (["show", "quotes", "5", "sound"], 2, "", "patient inconnu : 5 (le cabinet compte 4 patients)"),
    (["diagnose", "1,0", "sound"], 2, "", "patient inconnu : 0"),
    # An output file never replaces a data file, and is refused before the test runs.
    (["test", "clinique", "damaged", "--report", "damaged/clinique"], 2, "", "damaged/clinique " + DATA),
    (["test", "devis", "damaged", "--map", "damaged/patient.tri"], 2, "", "damaged/patient.tri " + DATA),
    (["test", "clinique", "damaged", "--report", "r", "--map", "r"], 2, "", "le rapport et la carte ne peuvent pas"),
    (["test", "clinique", "damaged", "--map", "no/such/map"], 2, "", "impossible d'écrire {root}/no/such/map"),
    # Without --report and --map, both go to a fresh directory under TMPDIR.
    (["test", "clinique", "sound"], 0, "", "clinique : aucune erreur dans le rapport\nchkort-cli: rapport : {root}/"),
    (["test", "devis", "missing"], 0, "", "estime : aucune erreur"),  # needs no clinique
    (["test", "clinique", "damaged", "--report", "r", "--map", "m"], 1,
     "Erreur suivant -> N° patient =        2\nErreur lignes différentes début-fin -> N° patient =        2\n"
     "Fiche alterée -> N° patient =        3\n", "chkort-cli: Erreur : FIRSTREC\n"),
    (["test", "devis", "damaged"], 1, "N° patient =        2 -->Enregistrement =         3\n",
     "chkort-cli: estime : 2 constats dans le rapport"),
    (["test", "clinique", "damaged", "--json"], 1,
     ('{"code": "next-out-of-range", "severity": "error", "patient": 2, "record": 15, "link": 31,',
      '{"code": "runaway-chain", "severity": "error", "patient": 3, "record": null, "visits": 5001,'), ""),
    (["test", "clinique", "crossed", "--json"], 1,
     ('{"code": "prev-out-of-range", "severity": "error", "patient": 2, "record": 18, "link": 31,',
      '{"code": "crossing", "severity": "error", "patient": 3, "record": 1, "other_patient": 2,',
      '{"code": "contested-line", "severity": "error", "patient": null, "record": 22, "patients": [2, 3],',
      '{"code": "unreachable-line", "severity": "warning", "patient": null, "record": 28,'), ""),
    (["test", "clinique", "short"], 1, "", "chkort-cli: Erreur : CLINIQUE\n"),
    (["test", "clinique", "counted", "--json"], 1, '{"code": "firstrec-ends-before", "severity": "error", "patient": 5,',
     "Erreur : FIRSTREC\nchkort-cli: Erreur : FIRSTREC\nchkort-cli: 2 enregistrements illisibles : le test a abandonné "
     "ces patients (voir chkort-cli sizes)\nchkort-cli: firstrec s'arrête avant le patient 5 : les patients 5 à 3000000"),
    (["sizes", "sound"], 0, "Lastrec -> ok\nFirstrec -> ok\n", ""),
    (["sizes", "damaged", "--json"], 1, '{"file": "firstrec", "line": "Firstrec -> Erreur"', ""),
    (["sizes", "short"], 1, "Clinique -> Erreur\n", ""),
    (["show", "clinical", "2", "damaged"], 0, "DEBUTACTE: 7    FINACTE: 29    LASTINDEX: 30    \n   1│       7│", ""),
    (["show", "clinical", "2", "damaged", "--raw"], 0, b"\n   1\xb3       7\xb3", ""),
    (["show", "clinical", "3", "damaged"], 1, "\n   9│      28│", "la vue est coupée après 9 lignes, à la première"),
    (["show", "clinical", "3", "--from-end", "damaged"], 0, "\n   9│       1│", ""),
    (["show", "chart", "2", "sound"], 0, "DEBUTSCHEMA: ", ""),
    (["show", "clinical", "1", "sound"], 0, "\n   1│       2│\u241b[2J", ""),  # a clear-screen made visible
    (["diagnose", "1", "sound"], 0, "Patient 1 — fiche clinique : rien à signaler", ""),
    (["diagnose", "all", "damaged"], 1, ("Patient 2 — fiche clinique : à réparer\n", "Patient 3 — fiche clinique : à"),
     "firstrec est trop court"),
    (["diagnose", "2", "damaged", "--json"], 1,
     '"repair": {"action": "cut", "command_id": 103, "menu": "Visualisation de la fiche clinique à partir de la fin", '
     '"patient": 2, "ordinal": 7, "keeps": {"count": 7, "first": 7, "last": 29}}', ""),
    # The journals: listed with their commands, undone newest first, a record
    # changed since kept; the data files stay closed to writing but for
    # annuler, which here cannot open clinique and estime so, and says it.
    (["journal", "sound"], 1, ("20240115-093000.jnl  15/01/2024 09:30:00  3 enregistrements modifiés\n"
                               "  15/01/2024 09:31:00  Corriger, lignes 2 à 3 de la fiche clinique, ligne 2 du devis : "
                               "3 enregistrements modifiés\n  journal coupé : ses 5 derniers octets"), ""),
    (["journal", "crossed"], 1, ("  16/01/2024 08:01:00  Corriger, patient 3, vue du devis à partir de la fin : "
                                 "1 enregistrement modifié\n  16/01/2024 08:02:00  Changer la couleur, ligne 5 de la "
                                 "fiche clinique : 1 enregistrement modifié\n  « Changer la couleur » n'est pas "
                                 "terminée (chkort.exe encore ouvert, ou arrêt brutal) : les lignes 5 à 30 de la fiche "
                                 "clinique peuvent porter des modifications que le journal n'a pas", "journal coupé"), ""),
    (["journal", "damaged"], 0, "aucun journal dans damaged/chkort-journal\n", ""),
    (["annuler", "20240115-093000.jnl", "sound", "--essai"], 1,
     ("ligne 2 du devis : à rétablir (estime, octet 86)\n"
      "ligne 3 de la fiche clinique : conservée, modifiée depuis par un autre programme (clinique, octet 448)\n"
      "ligne 2 de la fiche clinique : à rétablir (clinique, octet 224)\n2 à rétablir, 0 déjà d'origine, 1 conservé, "
      "0 en échec ; journal coupé : ses 5 derniers octets",
      "sound/clinique ne peut pas être ouvert en écriture : annuler sans --essai s'arrêtera là",
      "À faire : chkort-cli test clinique sound dit si des chaînes sont à réparer"), ""),
    (["annuler", JOURNAL, "--essai"], 1, "ligne 2 de la fiche clinique : à rétablir (clinique, octet 224)\n", ""),
    (["annuler", "20240115-093000.jnl", "sound"], 2, "",
     "impossible d'ouvrir en écriture le fichier sound/clinique : rien n'est annulé"),
    (["annuler", "other.jnl", "sound", "--essai"], 2, "", "journal introuvable : other.jnl"),
    (["annuler", "sound/lastrec", "sound", "--essai"], 2, "", "sound/lastrec n'est pas un journal de chkort.exe"),
    (["annuler", "--essai"], 2, "", "annuler : quel journal ?"),
    (["sizes", "sound", "--essai"], 2, "", "--essai ne s'applique qu'à annuler"),
    (["diagnose", "3", "crossed", "--json"], 1, '"menu": "Correction du Firstrec pour clinique", "patient": 3, '
     '"start": 4, "end": 28}, "also_claimed_by": [], "orphans": [{"start": 4, "end": 28, "count": 5}]', ""),
]


class Invocations(unittest.TestCase):

    def test_invocations(self):
        temporary = tempfile.TemporaryDirectory(prefix="chkort-cli-test-")
        self.addCleanup(temporary.cleanup)
        root = Path(temporary.name)
        for name, damages in PRACTICES.items():
            subprocess.run([MKPRACTICE, root / name, "--patients", "4", "--lines", "30",
                            *[a for d in damages for a in ("--damage", d)]], check=True, stdout=subprocess.DEVNULL)
        lastrec = root / "counted" / "lastrec"
        lastrec.write_bytes(lastrec.read_bytes()[:12] + (3000000).to_bytes(4, "little") + lastrec.read_bytes()[16:])
        clinique = root / "sound" / "clinique"  # line 2 is patient 1's first
        clinique.write_bytes(clinique.read_bytes()[:224] + b"\x1b[2J" + clinique.read_bytes()[228:])
        estime = root / "sound" / "estime"
        estime.write_bytes(estime.read_bytes()[:86] + b"NN" + estime.read_bytes()[88:])
        for journal, data in ((JOURNAL, JOURNAL_BYTES), (JOURNAL2, JOURNAL2_BYTES)):
            (root / journal).parent.mkdir()
            (root / journal).write_bytes(data)
        files = sorted(p for p in root.glob("*/**/*") if p.is_file())
        for p in files:
            os.utime(p, ns=(10 ** 18, 10 ** 18))  # 2001
            p.chmod(0o444)
        before = [(p.read_bytes(), p.stat().st_mtime_ns) for p in files]
        for args, status, out, err in CASES:
            with self.subTest(args=args):
                r = subprocess.run([CLI, *args], capture_output=True, stdin=subprocess.DEVNULL, cwd=root,
                                   env=dict(os.environ, TMPDIR=str(root)), timeout=60)
                self.assertEqual(r.returncode, status, r.stderr.decode())
                for piece in out if isinstance(out, tuple) else (out,):
                    self.assertIn(piece if isinstance(piece, bytes) else piece.encode(), r.stdout)
                self.assertIn(err.replace("{root}", str(root)), r.stderr.decode())
                self.assertTrue(status != 2 or r.stdout == b"", r.stdout)  # a refusal writes only to stderr
        self.assertEqual(sorted(p for p in root.glob("*/**/*") if p.is_file() and p.parts[len(root.parts)] in PRACTICES),
                         files)
        self.assertEqual([(p.read_bytes(), p.stat().st_mtime_ns) for p in files], before)


if __name__ == "__main__":
    unittest.main()
