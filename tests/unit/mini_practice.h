// A small practice built in memory for one test, with the layouts of
// tools/practice/layout.h (not store/): every record filled with a non-zero
// pattern, so that bytes a command must not touch are recognisable, and
// chains laid through the link fields as a test describes them.
#pragma once

#include "tools/practice/layout.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct MiniPractice {
    MiniPractice(std::int32_t patients, std::int32_t clinicalLines, std::int32_t quoteLines,
                 std::int32_t chartEntries);

    std::uint8_t* Firstrec(std::int32_t patient);
    std::uint8_t* Identite(std::int32_t patient);
    std::uint8_t* Clinical(std::int32_t line);
    std::uint8_t* Quote(std::int32_t line);
    std::uint8_t* Entry(std::int32_t entry);

    // Sound chains through the given record numbers, ends in firstrec.
    void ClinicalChain(std::int32_t patient, std::initializer_list<std::int32_t> lines);
    void QuoteChain(std::int32_t patient, std::initializer_list<std::int32_t> lines);
    void ChartChain(std::int32_t patient, std::initializer_list<std::int32_t> entries);

    std::int32_t patients, clinicalLines, quoteLines, chartEntries;
    hostlayout::Bytes param, fschema, firstrec, lastrec, estime, clinique, identite, patient, patientTri;
};

// The files of a practice by name, in the order the set is opened, plus the
// two the size test also needs.
std::vector<std::pair<std::string, const hostlayout::Bytes*>> FilesOf(const MiniPractice& practice);
