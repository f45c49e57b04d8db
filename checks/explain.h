// The diagnosis' words for one chain of one patient, as `diagnose` prints
// them and `reparer` reports them: lines of text (Windows-1252, with the
// marks of walk pictures) and the chain's object in diagnose --json.
#pragma once

#include "checks/diagnosis.h"
#include "checks/findings.h"

#include <cstdint>
#include <string>
#include <vector>

// What the window calls each chain and its commands.
struct ChainWords {
    const char* key;          // JSON name
    const char* title;        // "fiche clinique"
    const char* ofTitle;      // "de la fiche clinique"
    bool feminine;            // for the words that agree with the title
    const char* file;         // the data file
    const char* startLabel;   // the view's header labels
    const char* endLabel;
    const char* viewFromStart;
    const char* viewFromEnd;
    int commandFromStart, commandFromEnd;
    const char* firstrecMenu;
    int firstrecCommand;
    const char* startField; // the dialog's fields
    const char* endField;
    const char* fileMenu;   // the raw browser that shows lines nobody reaches
};
extern const ChainWords ClinicalWords, QuoteWords;

struct ChainExplanation {
    std::vector<std::string> text; // lines, Windows-1252 with the marks of walk pictures
    std::string json;              // the chain's object in diagnose --json
    bool damaged = false;          // the test or the walks find something wrong
    bool repairable = false;       // and a repair is proposed
    bool unread = false;           // its file could not be opened
};

// `findings`: the integrity test's about this patient and chain. With
// `json`, its JSON form too, which lists every chain nobody reaches: in a
// damaged file, tens of thousands for each patient given one.
ChainExplanation ExplainLineChain(const LineChain& chain, std::int32_t patient, const ChainDiagnosis& diagnosis,
                                  const std::vector<Finding>& findings, const ChainClaims& claims,
                                  const std::vector<OrphanChain>& orphans, bool json);
ChainExplanation ExplainChartChain(std::int32_t patient, const ChartDiagnosis& diagnosis);
// A chain whose file could not be opened ("clinique", "de la fiche
// clinique", "clinique"): the others are diagnosed all the same.
ChainExplanation ExplainUnreadChain(const char* key, const char* ofTitle, const char* file);
// What a chain's heading says of it; `feminine` agrees with its title.
const char* ChainVerdict(const ChainExplanation& explanation, bool feminine);
