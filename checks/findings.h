// What the analysis of the chains and of the files' sizes finds, one finding
// at a time, and its JSON form.
#pragma once

#include "checks/finding_kinds.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct Finding {
    FindingKind kind = FindingKinds; // its code and severity (KindInfo); set by whoever makes it
    std::int32_t patient = 0;   // 0: no patient
    std::int32_t record = 0;    // 0: no record
    bool fromReport = false;    // a line of the window's report, or the console's own
    std::string text;           // the report line, or the console's sentence (Windows-1252, without CR LF)
    std::vector<std::pair<const char*, long long>> numbers; // further named values
    std::vector<std::int32_t> patients; // every patient claiming the record
    std::string file;           // the data file it is about, when not implied
};

// `text` (UTF-8) as a JSON string, quotes included.
std::string JsonQuote(std::string_view text);
// The finding's text as the console prints it (Windows-1252): the report's
// line with the record it is about, when the line does not name it, so that
// two equal lines of the report (a crossing met by both walks) tell apart.
std::string FindingLine(const Finding& finding);
std::string FindingJson(const Finding& finding);
// "[ ... ]", one finding a line.
std::string FindingsJson(const std::vector<Finding>& findings);
// "ok" without findings, "errors" with any error, "warnings" otherwise.
const char* FindingsStatus(const std::vector<Finding>& findings);
