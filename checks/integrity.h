// The integrity analysis of one chain file, apart from where its records
// come from and where its findings go.
//
// The window runs it over one-record reads with their boxes, an owner map in
// a file and a report file (TestChainFile); the console runs it over links
// held in memory. Both get the same findings in the same order, so their
// reports are the same bytes.
#pragma once

#include "checks/finding_kinds.h"
#include "store/recordio.h"

#include <cstddef>
#include <cstdint>

struct ChainFinding {
    FindingKind kind;    // FindingBadStart to FindingEndsBeyondFile
    std::int32_t patient;
    std::int32_t record; // the line it is about; 0 when none
    std::int32_t value;  // the link or pointer; the other patient; the visits; the forward count; LastPatient
    std::int32_t value2; // the backward count
};

// The finding's line of the report, without its CR LF, in `text`; returns
// its length, 0 for the kinds the report does not show (the read that
// failed has shown its box).
int ChainFindingText(const ChainFinding& finding, char* text, std::size_t capacity);

// What a read of a patient's firstrec record gave.
enum EndsRead {
    EndsWhole,
    EndsNotWhole,   // cut short at the end of the file, or the read failed
    EndsBeyondFile, // nothing of it is in the file (see RecordBeyondFile)
};

// Where the records come from and where the findings go. Each function gets
// `context` back.
struct ChainSource {
    void* context;
    // Patient `patient`'s turn comes (the window's progress line).
    void (*turn)(void* context, std::int32_t patient);
    // The patient's firstrec record.
    EndsRead (*ends)(void* context, std::int32_t patient, FirstrecRecord& record);
    // A line's two links; false when it cannot be read whole.
    bool (*links)(void* context, std::int32_t line, std::int32_t& prev, std::int32_t& next);
    // The patient named for the line so far, 0 for none, in which case the
    // line is named for `patient` from now on.
    std::int32_t (*claim)(void* context, std::int32_t line, std::int32_t patient);
    void (*found)(void* context, const ChainFinding& finding);
};

// Every patient from 1 to LastPatient, in order: the chain walked forward
// from its start and backward from its end, each walk up to a link out of
// 1..counter or 5000 lines. A firstrec record wholly beyond the end of the
// file ends the loop: the records of the patients after it lie further on
// still (short of the 32-bit wrap, 134 million patients on), and a damaged
// LastPatient in the millions would otherwise give as many boxes.
void CheckChainFile(const LineChain& chain, const ChainSource& source);
