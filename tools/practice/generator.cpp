#include "tools/practice/generator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace practice {

namespace L = hostlayout;
using L::Field;

namespace {

// ---------------------------------------------------------------- deterministic numbers

// One stream per purpose (plan of a file, content of a file...), so that a
// change in one file's plan leaves the bytes of the others as they were.
struct Stream {
    std::uint64_t state;
};

Stream StreamFor(std::int32_t variant, std::uint64_t purpose) {
    return Stream{(static_cast<std::uint64_t>(static_cast<std::uint32_t>(variant)) << 32) ^
                  (purpose * 0xD1B54A32D192ED03ULL) ^ 0x2545F4914F6CDD1DULL};
}

std::uint64_t Next(Stream& s) {
    std::uint64_t z = (s.state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint32_t Below(Stream& s, std::uint32_t n) { return n ? static_cast<std::uint32_t>(Next(s) % n) : 0; }

bool Chance(Stream& s, unsigned percent) { return Below(s, 100) < percent; }

// A whole number from lo to hi, both included.
int Int(Stream& s, int lo, int hi) { return lo + static_cast<int>(Below(s, static_cast<std::uint32_t>(hi - lo + 1))); }

template <class T, std::size_t N> const T& Pick(Stream& s, const T (&table)[N]) { return table[Below(s, N)]; }

// Bytes the program does not interpret: never zero, so that a repair that
// clears them instead of passing them through cannot go unnoticed.
std::uint8_t Junk(Stream& s) {
    const auto b = static_cast<std::uint8_t>(Next(s) >> 24);
    return b ? b : 0xA5;
}

void FillJunk(Stream& s, std::uint8_t* record, Field f) {
    for (std::size_t i = 0; i < f.width; ++i) record[f.at + i] = Junk(s);
}

// A code field: the code, blanks after it; a code spelt with zero bytes
// ("O\0\0\0") is followed by zeros to the end of the field.
void PutCode(std::uint8_t* record, Field f, std::string_view form, bool zeroPadded = false) {
    const std::size_t zero = form.find('\0');
    if (zero != std::string_view::npos) form = form.substr(0, zero), zeroPadded = true;
    L::PutPadded(record, f, form, zeroPadded ? 0 : ' ');
}

// A text field as the host leaves it: blank-padded mostly, now and then
// ended early by a zero byte with leftovers of an older text behind it.
void PutTextField(Stream& s, std::uint8_t* record, Field f, std::string_view text, unsigned zeroEndPercent = 10) {
    L::PutPadded(record, f, text, ' ');
    if (text.size() < f.width && Chance(s, zeroEndPercent)) {
        record[f.at + text.size()] = 0;
        for (std::size_t i = text.size() + 1; i < f.width; ++i) record[f.at + i] = Junk(s);
    }
}

// ---------------------------------------------------------------- content tables

struct Act {
    const char* label;
    const char* code; // "O" and "SPR" are spelt in one of their forms
    int cents;
};

const Act clinicalActs[] = {
    {"Consultation", "C", 2300},
    {"Consultation de contrôle", "C", 2300},
    {"Détartrage et polissage", "HBJD001", 2892},
    {"Détartrage", "HBJD001", 2892},
    {"Extraction d'une dent permanente", "HBGD036", 3344},
    {"Extraction d'une dent temporaire", "HBGD003", 2500},
    {"Radiographie panoramique", "LAQK027", 2100},
    {"Radiographie rétro-alvéolaire", "HBQK002", 1996},
    {"Obturation composite deux faces", "HBMD050", 4820},
    {"Traitement endodontique d'une molaire", "HBFD017", 8196},
    {"Couronne céramo-métallique", "SPR", 50000},
    {"Inlay-core", "SPR", 12250},
    {"Prothèse amovible résine", "SPR", 64500},
    {"Ordonnance", "O", 0},
    {"Ordonnance antalgique", "O", 0},
    {"Ordonnance bain de bouche", "O", 0},
    {"Scellement de sillons", "HBBD005", 2169},
    {"Anesthésie locale", "ANES", 0},
    {"Bilan bucco-dentaire", "BDC", 3000},
    {"Séance d'orthodontie", "TO90", 19350},
    {"Pansement provisoire", "SC7", 1687},
    {"Surfaçage radiculaire", "HBJA003", 8000},
    {"Orthèse occlusale", "OX", 30000},
    {"Suprastructure implantaire", "SPRX", 90000},
};

const Act quoteActs[] = {
    {"Couronne céramo-métallique", "SPR", 50000},
    {"Inlay-core", "SPR", 12250},
    {"Bridge trois éléments", "SPR", 135000},
    {"Prothèse amovible complète", "SPR", 110000},
    {"Implant", "IMP", 120000},
    {"Traitement d'orthodontie", "TO", 19350},
    {"Détartrage", "SC", 2892},
    {"Ordonnance", "O", 0},
    {"Extraction", "D", 3344},
    {"Radiographie panoramique", "Z", 2100},
    {"Facette céramique", "FAC", 60000},
    {"Gouttière de blanchiment", "BLA", 25000},
};

// The forms of the two codes the billing removal looks for, the ones it must
// leave alone among them.
const std::string_view prescriptionForms[] = {
    {"O   ", 4}, {" O  ", 4}, {"  O ", 4}, {"   O", 4}, {"o   ", 4}, {"O\0\0\0", 4},
};
const std::string_view prostheticForms[] = {
    {"SPR ", 4}, {" SPR", 4}, {" spr", 4}, {"spr ", 4}, {"SPRX", 4}, {"SPR\0", 4},
};

const char* const locations[] = {"Dent 11", "Dent 16", "Dent 21", "Dent 26", "Dent 36", "Dent 37",
                                 "Dent 46", "Dents 11-21", "Maxillaire", "Mandibule", "Secteur 4", "Bouche"};
const char* const practitioners[] = {"JM", "AL", "CB", "DR", "  ", "FG"};
const char* const comments[] = {"RAS",
                                "Patient anxieux",
                                "Contrôle dans 6 mois",
                                "Allergie pénicilline",
                                "Saignement gingival",
                                "Sensibilité au froid",
                                "Prise en charge mutuelle",
                                "Revoir le devis",
                                "Téléphoner pour résultat",
                                "Enfant accompagné"};
const char* const surnames[] = {"MARTIN", "BERNARD", "DUBOIS",  "THOMAS",   "ROBERT",  "RICHARD",   "PETIT",
                                "DURAND", "LEROY",   "MOREAU",  "SIMON",    "LAURENT", "LEFÈVRE",   "MICHEL",
                                "GARCIA", "DAVID",   "BERTRAND", "ROUX",    "VINCENT", "FOURNIER",  "MOREL",
                                "GIRARD", "ANDRÉ",   "MERCIER", "DUPONT",   "LAMBERT", "BONNET",    "FRANÇOIS",
                                "LEGRAND", "GAUTHIER", "CHÂTELAIN", "NOËL"};
const char* const firstNames[] = {"Jean",  "Marie", "Hélène",  "François", "Chloé", "Léa",   "Noël",
                                  "Zoé",   "Jérôme", "Céline", "Gaëlle",   "Loïc",  "Théo",  "Agnès",
                                  "Louis", "Camille", "Rémi",   "Inès",     "Hugo",  "Anaïs", "Benoît"};
const char* const streets[] = {"rue des Lilas", "avenue Jean Jaurès", "place de l'Église", "boulevard Pasteur",
                               "chemin des Prés", "rue Émile Zola", "allée des Châtaigniers"};
const char* const cities[] = {"LYON", "SAINT-ÉTIENNE", "VILLEURBANNE", "BRON", "VÉNISSIEUX", "ÉCULLY"};
const char* const insurers[] = {"MGEN", "Harmonie Mutuelle", "MAAF Santé", "Mutuelle Générale", "Aucune"};

// ---------------------------------------------------------------- small helpers

std::string Lower(std::string_view text) {
    std::string s(text);
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 12) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

// Dates run over ten years from 2012, in file order, as lines are appended.
std::string DateText(std::int64_t dayFrom2012) {
    std::int64_t z = dayFrom2012 + 15340 + 719468; // 1970-01-01 to 2012-01-01 is 15340 days
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", day, month, year % 100);
    return text;
}

std::string DateOfLine(Stream& s, std::int32_t line, std::int32_t count) {
    const std::int64_t span = 3650;
    return DateText(static_cast<std::int64_t>(line) * span / std::max<std::int32_t>(count, 1) + Below(s, 4));
}

std::string PriceText(int cents) {
    char text[32];
    std::snprintf(text, sizeof text, "%6d,%02d", cents / 100, cents % 100);
    return text;
}

void PutDouble(std::uint8_t* record, Field f, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    L::PutInt(record, f, static_cast<std::int64_t>(bits));
}

// ---------------------------------------------------------------- the three chain files

enum Chain { ChainClinique, ChainEstime, ChainChart, chainCount };

struct ChainLayout {
    DataFile file;
    std::size_t recordSize;
    bool hasPrev; // the chart is linked forward only
    Field prev, next, start, end;
    const char *prevName, *nextName, *startName, *endName, *unit;
};

const ChainLayout chainLayouts[chainCount] = {
    {DataFile::Clinique, L::clinique::size, true, L::clinique::prev, L::clinique::next, L::firstrec::clinicalStart,
     L::firstrec::clinicalEnd, "PrevLine", "NextLine", "ClinicalStart", "ClinicalEnd", "line"},
    {DataFile::Estime, L::estime::size, true, L::estime::prev, L::estime::next, L::firstrec::quoteStart,
     L::firstrec::quoteEnd, "PrevLine", "NextLine", "QuoteStart", "QuoteEnd", "line"},
    {DataFile::Fschema, L::fschema::size, false, Field{0, 0}, L::fschema::next, L::firstrec::chartStart,
     Field{0, 0}, "", "NextEntry", "ChartStart", "", "entry"},
};

int ChainOf(DataFile f) {
    switch (f) {
    case DataFile::Clinique: return ChainClinique;
    case DataFile::Estime: return ChainEstime;
    case DataFile::Fschema: return ChainChart;
    default: return -1;
    }
}

// Which lines each patient's chain holds, in forward order, and which lines
// are in use without any chain reaching them.
struct FilePlan {
    std::int32_t count = 0;
    std::vector<std::vector<std::int32_t>> chains; // [patient - 1]
    std::vector<std::int32_t> strays;              // ascending; both links 0
};

// What the damages ask of a file's layout.
struct Needs {
    std::vector<std::int32_t> roomFor; // length a damaged chain is given at least
    std::vector<std::int32_t> atLeast; // length below which a damage cannot be placed
    std::vector<std::int32_t> exact;   // -1: free
    std::int32_t lastAtEnd = 0;        // patient whose last line ends the file
    std::int32_t extraStrays = 0;
};

// ---------------------------------------------------------------- damage rules

const char* const kindNames[damageKindCount] = {"start-negative", "start-high", "end-negative", "end-high",
                                                "first-prev",     "last-next",  "next-high",    "prev-high",
                                                "uneven",         "loop",       "shared",       "long",
                                                "truncate",       "missing"};

bool IsChainKind(DamageKind k) { return k != DamageKind::Truncate && k != DamageKind::Missing; }

// Kinds that need a previous link or an end pointer: not for the chart.
bool NeedsBackLinks(DamageKind k) {
    switch (k) {
    case DamageKind::EndNegative:
    case DamageKind::EndHigh:
    case DamageKind::FirstPrev:
    case DamageKind::LastNext:
    case DamageKind::PrevHigh:
    case DamageKind::Uneven: return true;
    default: return false;
    }
}

bool TakesValue(DamageKind k) {
    return k != DamageKind::Uneven && k != DamageKind::Loop && k != DamageKind::Truncate &&
           k != DamageKind::Missing;
}

// The shortest chain a kind can be placed on.
std::int32_t ShortestFor(DamageKind k) {
    switch (k) {
    case DamageKind::NextHigh:
    case DamageKind::PrevHigh:
    case DamageKind::Loop: return 2;
    case DamageKind::Uneven: return 3;
    default: return 1;
    }
}

std::string Describe(const Damage& d) {
    std::string s = std::string(kindNames[static_cast<int>(d.kind)]) + ":" + DataFileName(d.file);
    if (d.patient) s += ":" + std::to_string(d.patient);
    if (d.hasValue) s += ":" + std::to_string(d.value);
    return s;
}

// The checks that need no practice; shared by ParseDamage and BuildPractice.
bool CheckDamage(const Damage& d, std::string& error) {
    const int k = static_cast<int>(d.kind);
    if (k < 0 || k >= damageKindCount) {
        error = "unknown damage kind";
        return false;
    }
    const std::string what = Describe(d);
    if (IsChainKind(d.kind)) {
        if (ChainOf(d.file) < 0) {
            error = what + ": " + kindNames[k] + " applies to clinique, estime or Fschema";
            return false;
        }
        if (d.file == DataFile::Fschema && NeedsBackLinks(d.kind)) {
            error = what + ": the dental chart has no end pointer and no previous links";
            return false;
        }
        if (d.patient < 1) {
            error = what + ": a patient number (1 or more) is needed";
            return false;
        }
    } else if (d.kind == DamageKind::Truncate) {
        if (d.file == DataFile::Param || d.file == DataFile::PatientTri) {
            error = what + ": no counter gives the size of " + DataFileName(d.file);
            return false;
        }
        if (d.file == DataFile::Lastrec && d.patient != 0) {
            error = what + ": lastrec holds no patient's record";
            return false;
        }
        if (d.patient < 0) {
            error = what + ": bad patient number";
            return false;
        }
    } else if (d.patient != 0) {
        error = what + ": a missing file takes no patient number";
        return false;
    }
    if (d.hasValue) {
        if (!TakesValue(d.kind)) {
            error = what + ": " + kindNames[k] + " takes no value";
            return false;
        }
        if (d.value < INT32_MIN || d.value > INT32_MAX) {
            error = what + ": the value does not fit a 32-bit link";
            return false;
        }
        bool ok = true;
        const char* rule = "";
        switch (d.kind) {
        case DamageKind::StartNegative:
        case DamageKind::EndNegative: ok = d.value < 0, rule = "below 0"; break;
        case DamageKind::FirstPrev:
        case DamageKind::LastNext: ok = d.value != 0, rule = "other than 0"; break;
        case DamageKind::Shared: ok = d.value >= 1 && d.value != d.patient, rule = "another patient's number"; break;
        case DamageKind::Long: ok = d.value >= 1 && d.value <= 1000000, rule = "a length from 1 to 1000000"; break;
        default: break; // above the counter: checked once the counter is known
        }
        if (!ok) {
            error = what + ": the value must be " + rule;
            return false;
        }
    }
    return true;
}

// What a damage writes, so that two damages cannot fight over one field.
enum Slot { SlotStart, SlotEnd, SlotFirstPrev, SlotLastNext, SlotMidNext, SlotMidPrev, SlotLastPrev, SlotLength,
            slotCount };

unsigned SlotsOf(DamageKind k) {
    switch (k) {
    case DamageKind::StartNegative:
    case DamageKind::StartHigh: return 1u << SlotStart;
    case DamageKind::EndNegative:
    case DamageKind::EndHigh: return 1u << SlotEnd;
    case DamageKind::FirstPrev: return 1u << SlotFirstPrev;
    case DamageKind::LastNext:
    case DamageKind::Loop: return 1u << SlotLastNext;
    case DamageKind::NextHigh: return 1u << SlotMidNext;
    case DamageKind::PrevHigh: return 1u << SlotMidPrev;
    case DamageKind::Uneven: return 1u << SlotLastPrev;
    case DamageKind::Long: return 1u << SlotLength;
    // The patient's own chain is out of reach once it shares another's:
    // nothing else can be done to it.
    case DamageKind::Shared: return (1u << slotCount) - 1;
    default: return 0;
    }
}

std::int32_t PartnerOf(const Damage& d) {
    if (d.hasValue) return static_cast<std::int32_t>(d.value);
    return d.patient > 1 ? d.patient - 1 : d.patient + 1;
}

// ---------------------------------------------------------------- planning

bool GatherNeeds(const Options& o, std::array<Needs, chainCount>& needs, std::string& error) {
    const auto n = static_cast<std::size_t>(o.patients);
    for (auto& nd : needs) {
        nd.roomFor.assign(n, 0);
        nd.atLeast.assign(n, 0);
        nd.exact.assign(n, -1);
    }
    std::vector<unsigned> taken(n * chainCount, 0);
    std::array<bool, dataFileCount> wholeFile{};
    for (std::size_t i = 0; i < o.damages.size(); ++i) {
        const Damage& d = o.damages[i];
        if (!CheckDamage(d, error)) return false;
        const std::string what = Describe(d);
        if (d.patient > o.patients) {
            error = what + ": the practice has " + std::to_string(o.patients) + " patients";
            return false;
        }
        if (!IsChainKind(d.kind)) {
            bool& whole = wholeFile[static_cast<int>(d.file)];
            if (whole) {
                error = what + ": " + DataFileName(d.file) + " is already truncated or missing";
                return false;
            }
            whole = true;
            const int c = ChainOf(d.file);
            if (d.kind == DamageKind::Truncate && c >= 0 && d.patient) {
                needs[c].lastAtEnd = d.patient;
                needs[c].atLeast[d.patient - 1] = std::max(needs[c].atLeast[d.patient - 1], 1);
                needs[c].roomFor[d.patient - 1] = std::max(needs[c].roomFor[d.patient - 1], 1);
            }
            continue;
        }
        const int c = ChainOf(d.file);
        const std::size_t p = static_cast<std::size_t>(d.patient - 1);
        Needs& nd = needs[c];
        unsigned& used = taken[p * chainCount + c];
        if (used & SlotsOf(d.kind)) {
            error = what + ": another damage already changes that part of patient " + std::to_string(d.patient) +
                    "'s " + DataFileName(d.file) + " chain";
            return false;
        }
        used |= SlotsOf(d.kind);
        switch (d.kind) {
        case DamageKind::Long: nd.exact[p] = d.hasValue ? static_cast<std::int32_t>(d.value) : 5001; break;
        case DamageKind::Shared: {
            const std::int32_t q = PartnerOf(d);
            if (q < 1 || q > o.patients) {
                error = what + ": no patient " + std::to_string(q) + " to share a chain with";
                return false;
            }
            const auto qi = static_cast<std::size_t>(q - 1);
            nd.roomFor[p] = std::max(nd.roomFor[p], 2);
            nd.roomFor[qi] = std::max(nd.roomFor[qi], 3);
            nd.atLeast[qi] = std::max(nd.atLeast[qi], 1);
            break;
        }
        default:
            nd.roomFor[p] = std::max(nd.roomFor[p], 6);
            nd.atLeast[p] = std::max(nd.atLeast[p], ShortestFor(d.kind));
            if ((d.kind == DamageKind::FirstPrev || d.kind == DamageKind::LastNext) && !d.hasValue) ++nd.extraStrays;
            break;
        }
    }
    for (int c = 0; c < chainCount; ++c) {
        std::int64_t longLines = 0;
        for (std::int32_t e : needs[c].exact) longLines += std::max(e, 0);
        if (longLines > 5000000) {
            error = std::string("the long chains ask for more than 5000000 lines in ") +
                    DataFileName(chainLayouts[c].file);
            return false;
        }
    }
    for (int c = 0; c < chainCount; ++c)
        for (std::size_t p = 0; p < n; ++p)
            if (needs[c].exact[p] >= 0 && needs[c].exact[p] < needs[c].atLeast[p]) {
                error = std::string("patient ") + std::to_string(p + 1) + "'s " + DataFileName(chainLayouts[c].file) +
                        " chain of " + std::to_string(needs[c].exact[p]) + " lines is too short for its damages (" +
                        std::to_string(needs[c].atLeast[p]) + " needed)";
                return false;
            }
    return true;
}

void PlanFile(std::int32_t variant, int c, std::int32_t patients, std::int32_t wanted, const Needs& nd,
              FilePlan& plan) {
    static const unsigned withLines[chainCount] = {80, 45, 60};
    Stream s = StreamFor(variant, 100 + static_cast<std::uint64_t>(c));
    const auto n = static_cast<std::size_t>(patients);
    std::vector<std::int64_t> length(n, 0), weight(n, 0);
    std::int64_t fixed = 0, totalWeight = 0;
    for (std::size_t p = 0; p < n; ++p) {
        // Drawn for every patient whatever the damages ask, so that the
        // draws stay in step between a practice and its damaged twin.
        const bool has = Chance(s, withLines[c]);
        std::int64_t w = 1 + Below(s, 8);
        if (Chance(s, 15)) w += Below(s, 30);
        if (nd.exact[p] >= 0) {
            length[p] = nd.exact[p];
        } else if (has || nd.roomFor[p] > 0) {
            length[p] = std::max<std::int32_t>(nd.roomFor[p], 1);
            weight[p] = w;
            totalWeight += w;
        }
        fixed += length[p];
    }
    const std::int64_t naturalStrays = wanted / 40;
    std::int64_t room = static_cast<std::int64_t>(wanted) - naturalStrays - nd.extraStrays - fixed;
    if (room < 0) room = 0;
    std::int64_t strays = naturalStrays + nd.extraStrays;
    if (totalWeight == 0) {
        strays += room;
    } else {
        std::int64_t given = 0;
        for (std::size_t p = 0; p < n; ++p) {
            const std::int64_t share = room * weight[p] / totalWeight;
            length[p] += share;
            given += share;
        }
        // What the rounding left goes round the patients with lines.
        std::size_t p = Below(s, static_cast<std::uint32_t>(n));
        for (std::int64_t left = room - given; left > 0; p = (p + 1) % n)
            if (weight[p]) ++length[p], --left;
    }

    // Lines are appended over the years as patients come and go: shuffle the
    // owners of all lines together.
    std::vector<std::int32_t> owner;
    for (std::size_t p = 0; p < n; ++p)
        owner.insert(owner.end(), static_cast<std::size_t>(length[p]), static_cast<std::int32_t>(p + 1));
    owner.insert(owner.end(), static_cast<std::size_t>(strays), 0);
    for (std::size_t i = owner.size(); i > 1; --i)
        std::swap(owner[i - 1], owner[Below(s, static_cast<std::uint32_t>(i))]);
    if (nd.lastAtEnd) {
        for (std::size_t i = owner.size(); i-- > 0;)
            if (owner[i] == nd.lastAtEnd) {
                std::swap(owner[i], owner.back());
                break;
            }
    }

    plan.count = static_cast<std::int32_t>(owner.size());
    plan.chains.assign(n, {});
    plan.strays.clear();
    for (std::size_t i = 0; i < owner.size(); ++i) {
        const auto line = static_cast<std::int32_t>(i + 1);
        if (owner[i]) plan.chains[static_cast<std::size_t>(owner[i] - 1)].push_back(line);
        else plan.strays.push_back(line);
    }
    // Now and then a line was slipped in before an older one: the chain order
    // is not always the file order. The last line stays last.
    for (auto& chain : plan.chains)
        for (std::size_t i = 0; i + 2 < chain.size(); ++i)
            if (Chance(s, 8)) std::swap(chain[i], chain[i + 1]);
}

// ---------------------------------------------------------------- content

// Forms that every practice of some size holds, each on a line of its own:
// what the billing removal, the field edits and the viewers must meet.
constexpr int clinicalOddForms = 19;

void PutClinicalOddForm(Stream& s, std::uint8_t* r, int j) {
    namespace C = L::clinique;
    auto code = [&](std::string_view form, const char* label) {
        PutCode(r, C::actCode, form);
        PutTextField(s, r, C::text50, label, 0);
    };
    if (j < 6) {
        code(prescriptionForms[j], "Ordonnance");
        return;
    }
    if (j < 12) {
        code(prostheticForms[j - 6], "Couronne céramo-métallique");
        return;
    }
    switch (j) {
    case 12: code({"OX  ", 4}, "Orthèse occlusale"); break;
    case 13: r[C::colour.at] = 49, r[C::colour2.at] = 60; break;
    case 14: r[C::colour.at] = 48, r[C::colour2.at] = 49; break;
    case 15: L::PutText(r, C::design, "05"); break;
    case 16: L::PutText(r, C::design, "  "), r[C::user.at] = ' '; break;
    case 17: r[C::user.at] = '0', r[C::billed.at] = 0; break;
    case 18: r[C::text8.at] = 0; break; // an empty first text column
    default: break;
    }
}

std::string_view FormOf(Stream& s, std::string_view code) {
    if (code == "O") return Pick(s, prescriptionForms);
    if (code == "SPR") return Pick(s, prostheticForms);
    return code;
}

void MakeClinicalLine(Stream& s, std::uint8_t* r, std::int32_t line, std::int32_t count) {
    namespace C = L::clinique;
    for (const Field f : C::opaque) FillJunk(s, r, f);
    const Act& act = Pick(s, clinicalActs);
    L::PutText(r, C::text8, DateOfLine(s, line, count));
    PutTextField(s, r, C::text12, Pick(s, locations));
    const unsigned colourDraw = Below(s, 100);
    r[C::colour.at] = static_cast<std::uint8_t>(colourDraw < 55 ? 48 : colourDraw < 72 ? 49 : Int(s, 48, 147));
    r[C::colour2.at] = Chance(s, 70) ? r[C::colour.at] : static_cast<std::uint8_t>(Int(s, 48, 147));
    std::string label = act.label;
    if (Chance(s, 15)) label += std::string(", ") + Pick(s, comments);
    PutTextField(s, r, C::text50, label);
    PutCode(r, C::actCode, FormOf(s, act.code), Chance(s, 10));
    const int cents = act.cents ? act.cents + Int(s, 0, 4) * 50 : 0;
    PutTextField(s, r, C::text9, PriceText(Chance(s, 3) ? -cents : cents));
    const unsigned billed = Below(s, 100);
    r[C::billed.at] = billed < 70 ? 'F' : billed < 85 ? ' ' : billed < 93 ? 'N' : 0;
    char design[16]; // room for any int, though the draws stay below 25
    const unsigned designDraw = Below(s, 100);
    if (designDraw < 40) std::snprintf(design, sizeof design, "  ");
    else if (designDraw < 85) std::snprintf(design, sizeof design, "%2d", Int(s, 1, 24));
    else std::snprintf(design, sizeof design, "%02d", Int(s, 1, 9));
    L::PutText(r, C::design, design);
    PutTextField(s, r, C::text2, Pick(s, practitioners), 5);
    const unsigned user = Below(s, 100);
    r[C::user.at] = static_cast<std::uint8_t>(user < 85 ? Int(s, '1', '9') : user < 93 ? ' ' : '0');
    L::PutInt(r, C::number1, Chance(s, 10) ? -cents : cents);
    L::PutInt(r, C::number2, Int(s, -20000, 180000));
    L::PutInt(r, C::number3, static_cast<std::int32_t>(static_cast<std::uint32_t>(Next(s))));
    PutTextField(s, r, C::text26, Chance(s, 60) ? Pick(s, comments) : "");
    L::PutInt(r, C::number4, Below(s, 65536));
}

constexpr int quoteOddForms = 10;

void PutQuoteOddForm(Stream& s, std::uint8_t* r, int j) {
    namespace E = L::estime;
    if (j < 6) {
        PutCode(r, E::actCode, prostheticForms[j]);
        PutTextField(s, r, E::label, "Couronne céramo-métallique", 0);
        return;
    }
    switch (j) {
    case 6: PutCode(r, E::actCode, "O   "), PutTextField(s, r, E::label, "Ordonnance", 0); break;
    case 7: PutCode(r, E::actCode, " O  "), PutTextField(s, r, E::label, "Ordonnance", 0); break;
    case 8: L::PutInt(r, E::number, -1); break;
    case 9: L::PutInt(r, E::number, -25536), r[E::label.at] = 0; break;
    default: break;
    }
}

void MakeQuoteLine(Stream& s, std::uint8_t* r, std::int32_t line, std::int32_t count) {
    namespace E = L::estime;
    for (const Field f : E::opaque) FillJunk(s, r, f);
    const Act& act = Pick(s, quoteActs);
    const unsigned numberDraw = Below(s, 100);
    L::PutInt(r, E::number, numberDraw < 75 ? Int(s, 1, 8) : numberDraw < 88 ? -1 : Int(s, -32768, 32767));
    char tooth[16];
    const int from = 10 * Int(s, 1, 4) + Int(s, 1, 8);
    if (Chance(s, 15)) std::snprintf(tooth, sizeof tooth, "%d-%d", from, from + Int(s, 1, 3));
    else std::snprintf(tooth, sizeof tooth, "%d", from);
    PutTextField(s, r, E::text5, tooth);
    PutTextField(s, r, E::label, act.label);
    PutCode(r, E::actCode, FormOf(s, act.code));
    PutTextField(s, r, E::text9, PriceText(act.cents));
    L::PutText(r, E::text8, DateOfLine(s, line, count));
}

constexpr int chartOddForms = 3;

void PutChartOddForm(std::uint8_t* r, int j) {
    namespace F = L::fschema;
    switch (j) {
    case 0: std::memset(r + F::valueC, ' ', F::slots); break; // no slot in use
    case 1: r[F::valueA + 3] = 36, r[F::valueB + 3] = 2, r[F::valueC + 3] = 0; break;
    case 2: r[F::valueA + 7] = 46, r[F::valueB + 7] = static_cast<std::uint8_t>(-10), r[F::valueC + 7] = 5; break;
    default: break;
    }
}

void MakeChartEntry(Stream& s, std::uint8_t* r) {
    namespace F = L::fschema;
    for (std::size_t i = 0; i < F::slots; ++i) {
        if (Chance(s, 35)) {
            r[F::valueA + i] = static_cast<std::uint8_t>(10 * Int(s, 1, 4) + Int(s, 1, 8));
            r[F::valueB + i] = static_cast<std::uint8_t>(Int(s, -10, 20));
            r[F::valueC + i] = static_cast<std::uint8_t>(Chance(s, 10) ? 0 : Chance(s, 10) ? -3 : Int(s, 1, 12));
        } else {
            r[F::valueA + i] = Chance(s, 80) ? ' ' : Junk(s);
            r[F::valueB + i] = Chance(s, 80) ? ' ' : Junk(s);
            r[F::valueC + i] = ' ';
        }
    }
}

// Places `forms` odd forms on distinct lines spread over the file.
template <class Apply> void SpreadOddForms(std::int32_t count, int forms, Apply apply) {
    if (count <= 0) return;
    const std::int64_t n = std::min<std::int64_t>(forms, count);
    for (std::int64_t j = 0; j < n; ++j) apply(static_cast<std::int32_t>(1 + j * count / n), static_cast<int>(j));
}

void BuildChainFile(std::int32_t variant, int c, const FilePlan& plan, L::Bytes& file) {
    const ChainLayout& cl = chainLayouts[c];
    Stream s = StreamFor(variant, 200 + static_cast<std::uint64_t>(c));
    file = L::Records(static_cast<std::size_t>(plan.count), cl.recordSize);
    for (std::int32_t line = 1; line <= plan.count; ++line) {
        std::uint8_t* r = L::Record(file, cl.recordSize, static_cast<std::size_t>(line));
        if (c == ChainClinique) MakeClinicalLine(s, r, line, plan.count);
        else if (c == ChainEstime) MakeQuoteLine(s, r, line, plan.count);
        else MakeChartEntry(s, r);
    }
    if (c == ChainClinique)
        SpreadOddForms(plan.count, clinicalOddForms, [&](std::int32_t line, int j) {
            PutClinicalOddForm(s, L::Record(file, cl.recordSize, static_cast<std::size_t>(line)), j);
        });
    else if (c == ChainEstime)
        SpreadOddForms(plan.count, quoteOddForms, [&](std::int32_t line, int j) {
            PutQuoteOddForm(s, L::Record(file, cl.recordSize, static_cast<std::size_t>(line)), j);
        });
    else
        SpreadOddForms(plan.count, chartOddForms, [&](std::int32_t line, int j) {
            PutChartOddForm(L::Record(file, cl.recordSize, static_cast<std::size_t>(line)), j);
        });
    // Links last: they belong to the plan, whatever the content put there.
    for (std::int32_t line : plan.strays) {
        std::uint8_t* r = L::Record(file, cl.recordSize, static_cast<std::size_t>(line));
        if (cl.hasPrev) L::PutInt(r, cl.prev, 0);
        L::PutInt(r, cl.next, 0);
    }
    for (const auto& chain : plan.chains)
        for (std::size_t i = 0; i < chain.size(); ++i) {
            std::uint8_t* r = L::Record(file, cl.recordSize, static_cast<std::size_t>(chain[i]));
            if (cl.hasPrev) L::PutInt(r, cl.prev, i ? chain[i - 1] : 0);
            L::PutInt(r, cl.next, i + 1 < chain.size() ? chain[i + 1] : 0);
        }
}

void BuildPatientFiles(std::int32_t variant, const std::array<FilePlan, chainCount>& plans, Practice& pr) {
    const auto n = static_cast<std::size_t>(pr.patients);
    Stream s = StreamFor(variant, 300);

    L::Bytes& firstrec = FileOf(pr, DataFile::Firstrec);
    firstrec = L::Records(n, L::firstrec::size);
    for (std::size_t p = 1; p <= n; ++p) {
        std::uint8_t* r = L::Record(firstrec, L::firstrec::size, p);
        FillJunk(s, r, L::firstrec::opaque);
        for (int c = 0; c < chainCount; ++c) {
            const auto& chain = plans[c].chains[p - 1];
            L::PutInt(r, chainLayouts[c].start, chain.empty() ? 0 : chain.front());
            if (chainLayouts[c].hasPrev) L::PutInt(r, chainLayouts[c].end, chain.empty() ? 0 : chain.back());
        }
    }

    L::Bytes& identite = FileOf(pr, DataFile::Identite);
    L::Bytes& patient = FileOf(pr, DataFile::Patient);
    identite = L::Records(n, L::identite::size);
    patient = L::Records(n, L::patient::size);
    struct Key {
        std::string name;
        std::size_t number;
    };
    std::vector<Key> keys;
    for (std::size_t p = 1; p <= n; ++p) {
        std::uint8_t* r = L::Record(identite, L::identite::size, p);
        for (const Field f : L::identite::opaque) FillJunk(s, r, f);
        const std::string surname = Pick(s, surnames);
        const std::string first = Pick(s, firstNames);
        // Identity data as a row of blank-padded fields; the junk left
        // after them stands for what this program never looks at.
        std::size_t at = 0;
        auto put = [&](std::size_t width, const std::string& text) {
            L::PutPadded(r, Field{at, width}, text, ' ');
            at += width;
        };
        char text[96];
        put(L::identite::name.width, surname);
        put(L::identite::firstName.width, first);
        std::snprintf(text, sizeof text, "%d %s", Int(s, 1, 120), Pick(s, streets));
        put(40, text);
        std::snprintf(text, sizeof text, "69%03d", Int(s, 1, 999));
        put(5, text);
        put(30, Pick(s, cities));
        std::snprintf(text, sizeof text, "04 7%d %02d %02d %02d", Int(s, 0, 9), Int(s, 0, 99), Int(s, 0, 99),
                      Int(s, 0, 99));
        put(14, text);
        std::snprintf(text, sizeof text, "%02d/%02d/19%02d", Int(s, 1, 28), Int(s, 1, 12), Int(s, 20, 99));
        put(10, text);
        put(30, Pick(s, insurers));
        put(40, Chance(s, 50) ? Pick(s, comments) : "");
        const unsigned balance = Below(s, 100);
        const double value = balance < 35 ? 0.0
                             : balance < 80 ? static_cast<double>(Below(s, 100000)) / 100.0
                                            : -static_cast<double>(Below(s, 50000)) / 100.0;
        PutDouble(r, L::identite::balance, value);

        std::uint8_t* q = L::Record(patient, L::patient::size, p);
        std::snprintf(text, sizeof text, "%08u", static_cast<unsigned>(p));
        L::PutPadded(q, Field{0, 20}, surname, ' ');
        L::PutPadded(q, Field{20, 12}, first, ' ');
        L::PutText(q, Field{32, 8}, text);
        keys.push_back({surname, p});
    }

    // The host's sorted index: a name key and the patient number, in text.
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.name < b.name; });
    L::Bytes& tri = FileOf(pr, DataFile::PatientTri);
    tri = L::Records(n, 16);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%06u", static_cast<unsigned>(keys[i].number % 1000000));
        L::PutPadded(tri.data() + 16 * i, Field{0, 10}, keys[i].name, ' ');
        L::PutText(tri.data() + 16 * i, Field{10, 6}, number);
    }
}

void BuildSmallFiles(std::int32_t variant, Practice& pr) {
    Stream s = StreamFor(variant, 400);
    L::Bytes& lastrec = FileOf(pr, DataFile::Lastrec);
    lastrec = L::Records(L::lastrec::records, L::lastrec::size);
    for (std::size_t i = 0; i < L::lastrec::records; ++i) {
        std::uint8_t* r = lastrec.data() + i * L::lastrec::size;
        FillJunk(s, r, L::lastrec::opaque);
        FillJunk(s, r, L::lastrec::counter); // counters of the host's that nobody reads here
    }
    auto counter = [&](std::size_t index, std::int32_t value) {
        L::PutInt(lastrec.data() + index * L::lastrec::size, L::lastrec::counter, value);
    };
    counter(L::lastrec::patients, pr.patients);
    counter(L::lastrec::quoteLines, pr.quoteLines);
    counter(L::lastrec::clinicalLines, pr.clinicalLines);
    counter(L::lastrec::chartEntries, pr.chartEntries);

    // Never read by the program, only opened: text settings and padding.
    L::Bytes& param = FileOf(pr, DataFile::Param);
    param.assign(512, ' ');
    char text[256];
    std::snprintf(text, sizeof text,
                  "CABINET DENTAIRE DU PARC\r\nDr %s %s\r\n12 place Bellecour 69002 LYON\r\nTVA=0\r\nDEVISE=EUR\r\n",
                  Pick(s, firstNames), Pick(s, surnames));
    L::PutText(param.data(), Field{0, std::strlen(text)}, text);
    for (std::size_t i = 400; i < param.size(); ++i) param[i] = Junk(s);
}

// ---------------------------------------------------------------- damages

// Truncate and missing. Checks first, so that a practice left sound fails
// where the damaged one would.
bool InjectWholeFile(const Options& o, const Damage& d, Practice& pr, std::string& error) {
    const std::string what = Describe(d);
    if (d.kind == DamageKind::Missing) {
        if (!o.leaveSound) {
            pr.present[static_cast<int>(d.file)] = false;
            FileOf(pr, d.file).clear();
            pr.manifest.push_back(what + ": " + DataFileName(d.file) + " left out");
        }
        return true;
    }
    const int c = ChainOf(d.file);
    L::Bytes& file = FileOf(pr, d.file);
    std::size_t size = 0, records = 0;
    switch (d.file) {
    case DataFile::Lastrec: size = L::lastrec::size, records = L::lastrec::records; break;
    case DataFile::Firstrec: size = L::firstrec::size; break;
    case DataFile::Identite: size = L::identite::size; break;
    case DataFile::Patient: size = L::patient::size; break;
    default: size = chainLayouts[c].recordSize; break;
    }
    if (!records) records = file.size() / size;
    // The file ends in the middle of the patient's record, or of its last
    // record (which the plan made the patient's last line in a chain file).
    const std::size_t cut = d.patient && c < 0 ? static_cast<std::size_t>(d.patient) : records;
    if (cut == 0) {
        error = what + ": " + DataFileName(d.file) + " holds no record to cut";
        return false;
    }
    if (o.leaveSound) return true;
    const std::size_t length = (cut - 1) * size + size / 2;
    std::string whose;
    if (d.patient)
        whose = " (patient " + std::to_string(d.patient) + (c >= 0 ? "'s last line)" : ")");
    pr.manifest.push_back(what + ": " + DataFileName(d.file) + " ends in the middle of record " + std::to_string(cut) +
                          whose + ", " + std::to_string(length) + " bytes instead of " +
                          std::to_string(records * size));
    file.resize(length);
    return true;
}

// A damage to one patient's chain: checks the value against the counter,
// then, unless the practice is to stay sound, writes it and says what it did.
bool InjectChain(const Options& o, const Damage& d, const std::array<FilePlan, chainCount>& plans,
                 std::array<std::size_t, chainCount>& strayCursor, Practice& pr, std::string& error) {
    const int c = ChainOf(d.file);
    const ChainLayout& cl = chainLayouts[c];
    const FilePlan& plan = plans[c];
    const std::int32_t counter = plan.count;
    const auto& chain = plan.chains[static_cast<std::size_t>(d.patient - 1)];
    const auto size = chain.size();

    std::int64_t value = d.value;
    switch (d.kind) {
    case DamageKind::StartNegative:
    case DamageKind::EndNegative:
        if (!d.hasValue) value = -1;
        break;
    case DamageKind::StartHigh:
    case DamageKind::EndHigh:
    case DamageKind::NextHigh:
    case DamageKind::PrevHigh:
        if (d.hasValue && d.value <= counter) {
            error = Describe(d) + ": the value must be above the counter, " + std::to_string(counter);
            return false;
        }
        if (!d.hasValue) value = static_cast<std::int64_t>(counter) + 1;
        break;
    case DamageKind::FirstPrev:
    case DamageKind::LastNext:
        if (!d.hasValue) value = plan.strays[strayCursor[c]++];
        break;
    default: break;
    }
    if (o.leaveSound) return true;

    L::Bytes& file = FileOf(pr, cl.file);
    std::uint8_t* first =
        L::Record(FileOf(pr, DataFile::Firstrec), L::firstrec::size, static_cast<std::size_t>(d.patient));
    std::string note;
    auto setLink = [&](std::int32_t n, Field f, const char* name, std::int64_t v) {
        std::uint8_t* r = L::Record(file, cl.recordSize, static_cast<std::size_t>(n));
        note = cl.unit + std::string(" ") + std::to_string(n) + " " + name + " " + std::to_string(L::GetSigned(r, f)) +
               " -> " + std::to_string(v);
        L::PutInt(r, f, v);
    };
    auto setPointer = [&](Field f, const char* name, std::int64_t v) {
        note += (note.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(L::GetSigned(first, f)) +
                " -> " + std::to_string(v);
        L::PutInt(first, f, v);
    };
    switch (d.kind) {
    case DamageKind::StartNegative:
    case DamageKind::StartHigh: setPointer(cl.start, cl.startName, value); break;
    case DamageKind::EndNegative:
    case DamageKind::EndHigh: setPointer(cl.end, cl.endName, value); break;
    case DamageKind::FirstPrev: setLink(chain.front(), cl.prev, cl.prevName, value); break;
    case DamageKind::LastNext: setLink(chain.back(), cl.next, cl.nextName, value); break;
    case DamageKind::NextHigh: setLink(chain[(size - 1) / 2], cl.next, cl.nextName, value); break;
    case DamageKind::PrevHigh: setLink(chain[size / 2], cl.prev, cl.prevName, value); break;
    case DamageKind::Uneven: setLink(chain[size - 1], cl.prev, cl.prevName, chain[size - 3]); break;
    case DamageKind::Loop: setLink(chain.back(), cl.next, cl.nextName, chain.front()); break;
    case DamageKind::Shared: {
        const std::int32_t q = PartnerOf(d);
        const auto& other = plan.chains[static_cast<std::size_t>(q - 1)];
        setPointer(cl.start, cl.startName, other.front());
        if (cl.hasPrev) setPointer(cl.end, cl.endName, other.back());
        note += " (patient " + std::to_string(q) + "'s chain)";
        break;
    }
    case DamageKind::Long:
        note = std::to_string(size) + " " + cl.unit + "s, from " + std::to_string(chain.front()) + " to " +
               std::to_string(chain.back());
        break;
    default: break;
    }
    pr.manifest.push_back(Describe(d) + ": patient " + std::to_string(d.patient) + ", " + note);
    return true;
}

bool InjectDamages(const Options& o, const std::array<FilePlan, chainCount>& plans, Practice& pr,
                   std::string& error) {
    std::array<std::size_t, chainCount> strayCursor{};
    for (const Damage& d : o.damages)
        if (IsChainKind(d.kind) && !InjectChain(o, d, plans, strayCursor, pr, error)) return false;
    // Whole files last: the chain damages write into the files these cut.
    for (const Damage& d : o.damages)
        if (!IsChainKind(d.kind) && !InjectWholeFile(o, d, pr, error)) return false;
    return true;
}

bool CheckOptions(const Options& o, std::string& error) {
    struct Limit {
        const char* name;
        std::int32_t value, most;
    };
    const Limit limits[] = {{"patients", o.patients, 100000},
                            {"clinical lines", o.clinicalLines, 10000000},
                            {"quote lines", o.quoteLines, 1000000},
                            {"chart entries", o.chartEntries, 1000000}};
    for (const Limit& l : limits)
        if (l.value < 0 || l.value > l.most) {
            error = std::string("the number of ") + l.name + " must lie between 0 and " + std::to_string(l.most);
            return false;
        }
    if (o.variant < 0) {
        error = "the variant must be 0 or more";
        return false;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- interface

const char* DataFileName(DataFile file) {
    static const char* const names[dataFileCount] = {"param",    "Fschema",  "firstrec", "lastrec",    "estime",
                                                     "clinique", "identite", "patient",  "patient.tri"};
    const int i = static_cast<int>(file);
    return i >= 0 && i < dataFileCount ? names[i] : "?";
}

const char* DamageKindName(DamageKind kind) {
    const int i = static_cast<int>(kind);
    return i >= 0 && i < damageKindCount ? kindNames[i] : "?";
}

std::vector<std::string> DamageKindHelp() {
    return {
        "KIND:FILE:PATIENT[:VALUE], chain files clinique, estime, Fschema (* not Fschema)",
        "  start-negative  start pointer VALUE below 0 (default -1)",
        "  start-high      start pointer VALUE above the counter (default counter + 1)",
        "  end-negative *  end pointer VALUE below 0 (default -1)",
        "  end-high *      end pointer VALUE above the counter (default counter + 1)",
        "  first-prev *    first line's previous link VALUE, not 0 (default a stray line)",
        "  last-next *     last line's next link VALUE, not 0 (default a stray line)",
        "  next-high       a middle line's next link VALUE above the counter (default counter + 1)",
        "  prev-high *     a middle line's previous link VALUE above the counter (default counter + 1)",
        "  uneven *        the last line's previous link skips a line: walks of different lengths",
        "  loop            the last line links back to the first",
        "  shared          the pointers name patient VALUE's chain (default PATIENT - 1, or 2 for 1)",
        "  long            a sound chain of exactly VALUE lines (default 5001)",
        "truncate:FILE[:PATIENT]  FILE ends in the middle of a record: PATIENT's last line",
        "                 (chain files) or PATIENT's record (firstrec, identite, patient),",
        "                 else the last record; also lastrec",
        "missing:FILE     FILE left out (any of param Fschema firstrec lastrec estime clinique",
        "                 identite patient patient.tri)",
    };
}

bool ParseDamage(std::string_view text, Damage& damage, std::string& error) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from));
        if (colon == std::string_view::npos) break;
        from = colon + 1;
    }
    const std::string quoted = "'" + std::string(text) + "'";
    if (parts.size() < 2 || parts.size() > 4) {
        error = quoted + ": expected KIND:FILE[:PATIENT[:VALUE]]";
        return false;
    }
    Damage d;
    const std::string kind = Lower(parts[0]);
    int k = 0;
    while (k < damageKindCount && kind != kindNames[k]) ++k;
    if (k == damageKindCount) {
        error = quoted + ": unknown damage kind '" + std::string(parts[0]) + "' (see --list-damage)";
        return false;
    }
    d.kind = static_cast<DamageKind>(k);
    const std::string file = Lower(parts[1]);
    int f = 0;
    while (f < dataFileCount && file != Lower(DataFileName(static_cast<DataFile>(f)))) ++f;
    if (f == dataFileCount) {
        error = quoted + ": unknown file '" + std::string(parts[1]) + "'";
        return false;
    }
    d.file = static_cast<DataFile>(f);
    std::int64_t number = 0;
    if (parts.size() > 2) {
        if (!ParseNumber(parts[2], number) || number < 1 || number > INT32_MAX) {
            error = quoted + ": bad patient number '" + std::string(parts[2]) + "'";
            return false;
        }
        d.patient = static_cast<std::int32_t>(number);
    }
    if (parts.size() > 3) {
        if (!ParseNumber(parts[3], number)) {
            error = quoted + ": bad value '" + std::string(parts[3]) + "'";
            return false;
        }
        d.hasValue = true;
        d.value = number;
    }
    if (!CheckDamage(d, error)) return false;
    damage = d;
    return true;
}

bool BuildPractice(const Options& o, Practice& pr, std::string& error) {
    pr = Practice{};
    if (!CheckOptions(o, error)) return false;
    std::array<Needs, chainCount> needs;
    if (!GatherNeeds(o, needs, error)) return false;

    std::array<FilePlan, chainCount> plans;
    const std::int32_t wanted[chainCount] = {o.clinicalLines, o.quoteLines, o.chartEntries};
    for (int c = 0; c < chainCount; ++c) PlanFile(o.variant, c, o.patients, wanted[c], needs[c], plans[c]);

    pr.patients = o.patients;
    pr.clinicalLines = plans[ChainClinique].count;
    pr.quoteLines = plans[ChainEstime].count;
    pr.chartEntries = plans[ChainChart].count;
    pr.present.fill(true);
    for (int c = 0; c < chainCount; ++c) BuildChainFile(o.variant, c, plans[c], FileOf(pr, chainLayouts[c].file));
    BuildPatientFiles(o.variant, plans, pr);
    BuildSmallFiles(o.variant, pr);

    pr.manifest.push_back("variant " + std::to_string(o.variant) + ": " + std::to_string(pr.patients) +
                          " patients, clinique " + std::to_string(pr.clinicalLines) + " lines, estime " +
                          std::to_string(pr.quoteLines) + " lines, Fschema " + std::to_string(pr.chartEntries) +
                          " entries");
    pr.manifest.push_back("stray lines (in use, in no chain): clinique " +
                          std::to_string(plans[ChainClinique].strays.size()) + ", estime " +
                          std::to_string(plans[ChainEstime].strays.size()) + ", Fschema " +
                          std::to_string(plans[ChainChart].strays.size()));
    if (!InjectDamages(o, plans, pr, error)) return false;
    if (o.leaveSound && !o.damages.empty())
        pr.manifest.push_back("laid out for " + std::to_string(o.damages.size()) + " damage(s), left sound");
    return true;
}

bool WritePractice(const std::string& dir, const Practice& pr, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(dir), ec);
    if (ec || !fs::is_directory(fs::path(dir), ec)) {
        error = "cannot create the directory " + dir;
        return false;
    }
    for (int f = 0; f < dataFileCount; ++f) {
        const fs::path path = fs::path(dir) / DataFileName(static_cast<DataFile>(f));
        if (!pr.present[f]) {
            fs::remove(path, ec);
            if (ec) {
                error = "cannot remove " + path.string();
                return false;
            }
            continue;
        }
        if (!L::WriteFileBytes(path.string(), pr.files[f])) {
            error = "cannot write " + path.string();
            return false;
        }
    }
    return true;
}

} // namespace practice
