"""chkort-cli from outside: a table of invocations on practices made by
mkpractice, whose data files have no write permission (which the read-write
open refuses): each command must read them only, and leave every byte and
modification time as it was."""

import json
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
    # to 31; patient 3's own lines, 4 5 16 17 28, are left to nobody. Patient
    # 2's dental chart, entries 1 3 2 4 5 7, loops back to 1.
    "crossed": ["prev-high:clinique:2", "shared:clinique:3", "loop:Fschema:2"],
    # Patient 3's pointers name patient 1's chain: the first crossing of a walk.
    "crossed1": ["shared:clinique:3:1"],
    # Patient 2's chart start beyond the file: its entries 1 3 2 4 5 7 are
    # left to nobody.
    "chart": ["start-high:Fschema:2"],
    # Patient 1's start below 0, patient 2's end beyond the file, patient 3's
    # last line going on to a stray one.
    "ends": ["start-negative:clinique:1", "end-high:clinique:2", "last-next:clinique:3"],
    "short": ["truncate:clinique:2"],
    "missing": ["missing:clinique"],
    "untried": ["missing:patient.tri"],  # and estime 2,000,001 bytes longer than its counter asks
    # Patient 4's firstrec record is cut short, and lastrec claims 3,000,000
    # patients: patient 5's record lies beyond the file.
    "counted": ["truncate:firstrec:4"],
    # Patient 1's dental chart and patient 3's quotes loop, and lastrec
    # claims 6 patients: firstrec's last 2 records are missing whole.
    "more": ["loop:Fschema:1", "loop:estime:3"],
}
PATIENT_COUNTERS = {"counted": 3000000, "more": 6}
DATA = "est un fichier de données du cabinet : il ne sera pas remplacé"
JOURNAL = "sound/chkort-journal/20240115-093000.jnl"
# The repair --json gives each kind of finding, as the cases below show them.
KIND_REPAIRS = {
    "start-out-of-range": "diagnosis", "end-out-of-range": "diagnosis", "walks-differ": "diagnosis",
    "runaway-chain": "diagnosis", "first-prev-not-zero": "cut", "last-next-not-zero": "cut",
    "next-out-of-range": "cut", "prev-out-of-range": "cut", "crossing": "either-patient",
    "contested-line": "either-patient", "unreachable-line": "none", "unreadable-record": "restore",
    "unreadable-firstrec": "restore", "firstrec-ends-before": "restore", "file-missing": "restore",
    "file-too-short": "restore", "file-too-large": "none",
}


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
    (["show", "vue", "3", "sound"], 2, "", "vue inconnue : vue (clinique, devis ou schema)"),
    (["test", "schéma", "sound"], 2, "", "le schéma dentaire n'a pas de test ; voir chkort-cli diagnose"),
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
    # Without --report and --map, both go to the same directory under TMPDIR
    # at every run (and once only, at the end).
    (["test", "clinique", "sound"], 0, "", "chkort-cli: rapport : {root}/chkort-cli-"),
    (["test", "Devis", "missing"], 0, "", "chkort-cli: test du fichier devis : aucune erreur dans le rapport.\n"),
    (["test", "clinique", "damaged", "--report", "r", "--map", "m"], 1,
     "Erreur suivant -> N° patient =        2   (ligne 15 du fichier)\nErreur lignes différentes début-fin -> "
     "N° patient =        2\nFiche alterée -> N° patient =        3\n", "chkort-cli: Erreur : FIRSTREC\n"),
    # The last line says what the exit status stands for.
    (["test", "quotes", "damaged"], 1, "N° patient =        2 -->Enregistrement =         3\n",
     "chkort-cli: patient 4 non testé : son enregistrement firstrec est coupé (le fichier firstrec est plus court "
     "que son compteur)\nchkort-cli: test du fichier devis : 2 constats dans le rapport (voir chkort-cli diagnose "
     "all), et 1 patient non testé ou en partie (4) : un fichier est plus court que son compteur, voir chkort-cli "
     "sizes.\n"),
    # A crossing met by both walks: two equal lines of the report, told apart by their record.
    (["test", "clinique", "crossed"], 1, "Erreur Precedent -> N° patient =        2   (ligne 18 du fichier)\n"
     "Croisement N° patient =        3 -->         2   (ligne 1 du fichier)\n"
     "Croisement N° patient =        3 -->         2   (ligne 24 du fichier)\n", "constats dans le rapport"),
    (["test", "clinique", "damaged", "--json"], 1,
     ('{"code": "next-out-of-range", "severity": "error", "patient": 2, "record": 15, "link": 31,',
      '{"code": "walks-differ", "severity": "error", "patient": 2, "record": null, "forward": 4, "backward": 7,',
      '{"code": "runaway-chain", "severity": "error", "patient": 3, "record": null, "visits": 5001,'), ""),
    (["test", "clinique", "crossed", "--json"], 1,
     ('{"code": "prev-out-of-range", "severity": "error", "patient": 2, "record": 18, "link": 31,',
      '{"code": "crossing", "severity": "error", "patient": 3, "record": 1, "other_patient": 2,',
      '{"code": "contested-line", "severity": "error", "patient": null, "record": 22, "patients": [2, 3],',
      '{"code": "unreachable-line", "severity": "warning", "patient": null, "record": 28,'), ""),
    (["test", "clinique", "crossed1"], 1, "Croisement N° patient =        3 -->         1   (ligne 2 du fichier)\n"
                                          "Croisement N° patient =        3 -->         1   (ligne 30 du fichier)\n", ""),
    (["test", "clinique", "short", "--json"], 1, '{"code": "unreadable-record", "severity": "error", "patient": 2,',
     "chkort-cli: Erreur : CLINIQUE\n"),
    (["test", "devis", "damaged", "--json"], 1, '{"code": "first-prev-not-zero", "severity": "error", "patient": 2, '
     '"record": 3, "link": 2,', ""),
    (["test", "clinique", "ends", "--json"], 1,
     ('{"code": "start-out-of-range", "severity": "error", "patient": 1, "record": null, "value": -1,',
      '{"code": "end-out-of-range", "severity": "error", "patient": 2, "record": null, "value": 31,',
      '{"code": "last-next-not-zero", "severity": "error", "patient": 3, "record": 20, "link": 13,'), ""),
    (["test", "clinique", "counted", "--json"], 1, '{"code": "firstrec-ends-before", "severity": "error", "patient": 5,',
     "Erreur : FIRSTREC\nchkort-cli: Erreur : FIRSTREC\n"),
    (["test", "clinical", "counted"], 1, "", "non testés ou en partie (4 à 3000000) : un fichier est plus court"),
    (["sizes", "sound"], 0, "Lastrec -> ok\nFirstrec -> ok\n", "aucun fichier trop court"),
    (["sizes", "damaged", "--json"], 1, '{"file": "firstrec", "line": "Firstrec -> Erreur"', ""),
    (["sizes", "short"], 1, "Clinique -> Erreur\n", "manquent : clinique trop court (voir le guide, parties 7 et 10).\n"),
    # A file missing: its line says "Erreur", the others are measured all the same.
    (["sizes", "missing", "--json"], 1, ('"line": "Clinique -> Erreur", "verdict": "Erreur", "size": null',
                                         '"line": "Estim -> ok"', '{"code": "file-missing", "severity": "error", '
                                         '"file": "clinique"'), "fichier introuvable : missing/clinique\n"),
    (["sizes", "untried"], 1, "Lastrec -> ok\nFirstrec -> ok\nPatient -> ok\n",
     "patient.tri (la fenêtre ne fait pas ce test sans lui)\n"),
    (["sizes", "untried", "--json"], 1, '{"code": "file-too-large", "severity": "warning", "file": "estime", '
     '"patient": null, "record": null, "size": 2001291, "expected": 1290,', "« Taille supérieure » pour estime"),
    # A view cut short by a link out of the file, as the window's ends.
    (["show", "clinique", "2", "damaged"], 1, "DEBUTACTE: 7    FINACTE: 29    LASTINDEX: 30    \n   1│       7│",
     "la vue est coupée après 4 lignes : un lien suivant vaut 31, hors du fichier (1 à 30)"),
    (["show", "clinical", "2", "damaged", "--raw"], 1, b"\n   1\xb3       7\xb3", ""),
    (["show", "CLINIQUE", "3", "damaged"], 1, "\n   9│      28│", "la vue est coupée après 9 lignes, à la première"),
    (["show", "clinical", "3", "--from-end", "damaged"], 0, "\n   9│       1│", ""),
    (["show", "schéma", "2", "sound"], 0, "DEBUTSCHEMA: ", ""),
    (["show", "devis", "2", "crossed"], 0, "DEBUTDEVIS: ", ""),
    (["show", "clinical", "1", "sound"], 0, "\n   1│       2│\u241b[2J", ""),  # a clear-screen made visible
    (["diagnose", "1", "sound"], 0, "Patient 1 — fiche clinique : rien à signaler", ""),
    (["diagnose", "all", "damaged"], 1, ("Patient 2 — fiche clinique : à réparer\n", "Patient 2 — devis : à réparer\n",
                                         "Patient 3 — fiche clinique : à", "Patient 4 — firstrec illisible\n",
                                         # each walk drawn: the break marked, a long one elided
                                         "\n    7 → 9 → 11 → 15 ✗ (suivant 31 hors du fichier)\n",
                                         "\n    3 → 6 → 7 → … → 12 → 14 → 15 (fin)\n"),
     "chkort-cli: à réparer : patients 2 et 3 ; firstrec illisible : patient 4"),
    (["diagnose", "all", "sound"], 0, "Aucun patient à réparer.\n", "chkort-cli: aucun patient à réparer.\n"),
    (["diagnose", "all", "more"], 1, ("Patient 1 — schéma dentaire : à réparer\n", "Patient 3 — devis : à réparer\n",
                                      "Patients 5 et 6 — firstrec illisible\n"),
     "chkort-cli: à réparer : patients 1 et 3 ; firstrec illisible : patients 5 et 6 (aucune"),
    (["reparer", "all", "damaged", "--essai"], 1,
     ("Patient 2 — devis : à réparer\n", "Patient 4 : à examiner\n",
      "Essai, rien n'a été écrit : 2 patients à réparer, à examiner : 1 (4).\n"), ""),
    (["reparer", "all", "crossed1", "--essai"], 1, "si vous êtes sûr : des lignes sont aussi atteintes par le patient 1 ;",
     ""),
    (["reparer", "2", "chart", "--essai"], 1, "ce que la réparation laisse de côté : 1 à 7 (6 entrées).\n", ""),
    (["reparer", "all", "damaged"], 2, "", "impossible d'ouvrir en écriture le fichier damaged/lastrec"),
    (["reparer", "--essai"], 2, "", "reparer : numéro de patient attendu (ou all)"),
    (["diagnose", "2", "damaged", "--json"], 1,
     ('"repair": {"action": "cut", "command_id": 103, "menu": "Visualisation de la fiche clinique à partir de la fin", '
      '"patient": 2, "ordinal": 7, "line": 7, "keeps": {"count": 7, "first": 7, "last": 29}}',
      # each line of the report with what it means, indented beneath it
      '"explanation": "Le test du fichier clinique signale :\\n  Erreur suivant -> N° patient =        2   (ligne 15 '
      'du fichier)\\n    '),
     ""),
    # The chart's view shows the entry's number in the file; Corriger wants its place.
    (["diagnose", "2", "crossed"], 1, ("Patient 2 — schéma dentaire : à réparer\n",
                                       "Corriger et tapez 6 : la 6e entrée en comptant depuis le haut de la vue, "
                                       "l'entrée 7 du fichier.\n", "taper 7 au lieu de 6 couperait ailleurs"), ""),
    (["diagnose", "2", "missing"], 1, ("Patient 2 — fiche clinique : non diagnostiquée\n",
                                       "Patient 2 — devis : rien à signaler\n"),
     "fichier introuvable : missing/clinique\nchkort-cli: rien à signaler dans ce qui a pu être lu ; pas de "
     "diagnostic, faute de son fichier : fiche clinique.\n"),
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
    (["sizes", "sound", "--essai"], 2, "", "--essai ne s'applique qu'à annuler et reparer"),
    (["diagnose", "3", "crossed", "--json"], 1, '"menu": "Correction du Firstrec pour clinique", "patient": 3, '
     '"start": 4, "end": 28}, "also_claimed_by": [], "orphans": [{"start": 4, "end": 28, "count": 5}]', ""),
]


def json_findings(node):
    """Every finding of a --json output, however deep (diagnose's are in its chains)."""
    if isinstance(node, list):
        return [f for n in node for f in json_findings(n)]
    if isinstance(node, dict):
        return ([node] if "code" in node else []) + [f for n in node.values() for f in json_findings(n)]
    return []


class Invocations(unittest.TestCase):

    def test_invocations(self):
        temporary = tempfile.TemporaryDirectory(prefix="chkort-cli-test-")
        self.addCleanup(temporary.cleanup)
        root = Path(temporary.name)
        for name, damages in PRACTICES.items():
            subprocess.run([MKPRACTICE, root / name, "--patients", "4", "--lines", "30",
                            *[a for d in damages for a in ("--damage", d)]], check=True, stdout=subprocess.DEVNULL)
        for name, patients in PATIENT_COUNTERS.items():
            lastrec = root / name / "lastrec"
            lastrec.write_bytes(lastrec.read_bytes()[:12] + patients.to_bytes(4, "little") + lastrec.read_bytes()[16:])
        os.truncate(root / "untried" / "estime", (root / "untried" / "estime").stat().st_size + 2000001)
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
        repairs = {}  # code -> (the repair's action, the explanation)
        for args, status, out, err in CASES:
            with self.subTest(args=args):
                r = subprocess.run([CLI, *args], capture_output=True, stdin=subprocess.DEVNULL, cwd=root,
                                   env=dict(os.environ, TMPDIR=str(root)), timeout=60)
                self.assertEqual(r.returncode, status, r.stderr.decode())
                for piece in out if isinstance(out, tuple) else (out,):
                    self.assertIn(piece if isinstance(piece, bytes) else piece.encode(), r.stdout)
                self.assertIn(err.replace("{root}", str(root)), r.stderr.decode())
                self.assertTrue(status != 2 or r.stdout == b"", r.stdout)  # a refusal writes only to stderr
                self.assertNotIn("\u240a".encode(), r.stdout)  # a line break in JSON is \n
                if "--json" in args and status != 2:
                    repairs.update((f["code"], (f["repair"]["action"], f["explanation"]))
                                   for f in json_findings(json.loads(r.stdout)))
        self.assertEqual({code: action for code, (action, _) in repairs.items()}, KIND_REPAIRS)
        self.assertEqual(len({explanation for _, explanation in repairs.values()}), len(KIND_REPAIRS))
        self.assertEqual(sorted(p for p in root.glob("*/**/*") if p.is_file() and p.parts[len(root.parts)] in PRACTICES),
                         files)
        self.assertEqual(len(list(root.glob("chkort-cli*"))), 1)  # the tests' temporary files, in one directory
        self.assertEqual([(p.read_bytes(), p.stat().st_mtime_ns) for p in files], before)


# reparer on practices of 6 patients (60 clinical lines, 30 quote lines, 30
# chart entries) damaged by mkpractice, or with the clinical counter of
# lastrec lowered to 55: exit status, the patients repaired, the patients
# left to a person.
REPAIRS = [
    (["start-negative:clinique:1", "end-high:clinique:2", "first-prev:clinique:3", "last-next:clinique:4",
      "uneven:clinique:5", "prev-high:clinique:6"], 0, [1, 2, 3, 4, 5, 6], []),
    (["start-high:estime:1", "end-negative:estime:2", "next-high:estime:3", "loop:estime:4", "last-next:estime:5"],
     0, [1, 2, 3, 4, 5], []),
    (["loop:clinique:2", "loop:estime:2", "loop:Fschema:2", "next-high:clinique:5"], 0, [2, 5], []),
    # Two patients on one chain, the loop beside it mended all the same.
    (["shared:clinique:3:1", "loop:clinique:2"], 1, [2], [3]),
    (["shared:Fschema:3", "start-high:Fschema:5"], 1, [], [3, 5]),
    # Both walks broken: lines either way would be left out.
    (["next-high:clinique:2", "prev-high:clinique:2"], 1, [], [2]),
    # The patient's own lines are a chain nobody reaches: a guess.
    (["start-high:clinique:2", "end-high:clinique:2"], 1, [], [2]),
    (["truncate:clinique:4", "next-high:estime:4"], 1, [4], [4]),
    (["counter"], 1, [], [1, 3, 5]),
]
SIZES = {"clinique": 224, "estime": 86, "Fschema": 64, "firstrec": 32}


class Repairs(unittest.TestCase):

    def cli(self, *args):
        return subprocess.run([CLI, *map(str, args)], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)

    def chain_records(self, chain, patient, d):
        """The records of a patient's chain as its view walks it."""
        view = {"clinique": "clinical", "devis": "quotes", "schema": "chart"}[chain]
        lines = self.cli("show", view, patient, d).stdout.decode().splitlines()[1:]
        return [int(line.split("│")[0 if chain == "schema" else 1]) for line in lines]

    def test_sure_repairs_mend_and_are_undone(self):
        temporary = tempfile.TemporaryDirectory(prefix="chkort-cli-reparer-")
        self.addCleanup(temporary.cleanup)
        for row, (damages, status, repaired, left) in enumerate(REPAIRS):
            with self.subTest(damages=damages):
                d = Path(temporary.name) / str(row)
                subprocess.run([MKPRACTICE, d, "--patients", "6", "--lines", "60", "--quotes", "30", "--chart", "30",
                                *[a for x in damages if x != "counter" for a in ("--damage", x)]],
                               check=True, stdout=subprocess.DEVNULL)
                if damages == ["counter"]:
                    lastrec = bytearray((d / "lastrec").read_bytes())
                    lastrec[3 * 16 + 12:3 * 16 + 16] = (55).to_bytes(4, "little")
                    (d / "lastrec").write_bytes(lastrec)
                before = {p.name: p.read_bytes() for p in d.iterdir()}
                plan = json.loads(self.cli("reparer", "all", d, "--essai", "--json").stdout)
                self.assertEqual({p.name: p.read_bytes() for p in d.iterdir()}, before)  # --essai writes nothing
                r = self.cli("reparer", "all", d, "--json")
                self.assertEqual(r.returncode, status, r.stderr.decode())
                done = json.loads(r.stdout)
                chains = [(p["patient"], c) for p in done["patients"] for c in p["chains"] if c["action"] == "repaired"]
                self.assertEqual((sorted({p for p, _ in chains}), done["to_examine"]), (repaired, left))
                self.assertEqual([(p, c["chain"]) for p, c in chains],
                                 [(p["patient"], c["chain"]) for p in plan["patients"] for c in p["chains"]
                                  if c["action"] == "to-repair"])
                # Each chain repaired is sound and keeps what the diagnosis announced.
                allowed = {("firstrec", p) for p in repaired}
                for p, c in chains:
                    repair = c["diagnosis"]["repair"]
                    after = [x for x in json.loads(self.cli("diagnose", p, d, "--json").stdout)["patients"][0]["chains"]
                             if x["chain"] == c["chain"]][0]
                    records = self.chain_records(c["chain"], p, d)
                    # A cut of clinique or estime says its lines, the chart's how many.
                    keeps = repair.get("keeps") or {"count": repair["ordinal"], "first": records[0],
                                                    "last": records[-1]}
                    self.assertEqual((c["mended"], after["sound"], len(records), records[0], records[-1]),
                                     (True, True, keeps["count"], keeps["first"], keeps["last"]))
                    name = {"clinique": "clinique", "devis": "estime", "schema": "Fschema"}[c["chain"]]
                    allowed |= {(name, n) for n in records}
                for name in ("clinique", "devis"):
                    report = json.loads(self.cli("test", name, d, "--json").stdout)["findings"]
                    self.assertFalse([f for f in report if f["patient"] in repaired and f["patient"] not in left])
                # No byte changed outside the records repaired.
                changed = {(name, at // size + 1) for name, size in SIZES.items()
                           for at, (a, b) in enumerate(zip(before[name], (d / name).read_bytes())) if a != b}
                self.assertLessEqual(changed, allowed)
                self.assertEqual({n: (d / n).read_bytes() for n in before if n not in SIZES},
                                 {n: b for n, b in before.items() if n not in SIZES})
                if done["journal"]:
                    undo = self.cli("annuler", done["journal"], d)
                    self.assertEqual(undo.returncode, 0, undo.stdout + undo.stderr)
                self.assertEqual({p.name: p.read_bytes() for p in d.iterdir() if p.is_file()}, before)
        # A journal that cannot be made: nothing is written.
        d = Path(temporary.name) / "no-journal"
        subprocess.run([MKPRACTICE, d, "--patients", "3", "--damage", "loop:clinique:2"], check=True,
                       stdout=subprocess.DEVNULL)
        (d / "chkort-journal").write_bytes(b"")
        before = {p.name: p.read_bytes() for p in d.iterdir()}
        r = self.cli("reparer", "all", d)
        self.assertEqual((r.returncode, r.stdout), (2, b""))
        self.assertIn("le journal d'annulation ne peut pas être créé", r.stderr.decode())
        self.assertEqual({p.name: p.read_bytes() for p in d.iterdir()}, before)


if __name__ == "__main__":
    unittest.main()
