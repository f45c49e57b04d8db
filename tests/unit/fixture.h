// A practice directory for one test, and small practices laid by hand.
//
// PracticeTest: a fresh temporary directory made the current one (the
// program opens its data files from there), the store's and the window's
// state and the recording stand-in reset, the fault hook disarmed.
//
// MiniPractice: the files of a practice built in memory with the layouts of
// tools/practice/layout.h (not store/), so that a wrong offset in store/
// fails a test instead of agreeing with itself. Every record is filled with
// a pattern that holds neither a zero byte nor a blank, so that bytes a
// command must not touch are recognisable; chains are laid through the link
// fields as a test describes them.
#pragma once

#include "platform/fault.h"
#include "platform/record/record.h"
#include "store/state.h"
#include "tools/practice/layout.h"
#include "window/state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

// A recognisable pattern: byte i of a file tagged `tag`.
hostlayout::Bytes Pattern(unsigned tag, std::size_t length);

struct MiniPractice {
    MiniPractice(std::int32_t patients, std::int32_t clinicalLines, std::int32_t quoteLines, std::int32_t chartEntries);

    std::uint8_t* Firstrec(std::int32_t patient);
    std::uint8_t* Identite(std::int32_t patient);
    std::uint8_t* Clinical(std::int32_t line);
    std::uint8_t* Quote(std::int32_t line);
    std::uint8_t* Entry(std::int32_t entry);

    // Sound chains through the given record numbers, their ends in firstrec.
    void ClinicalChain(std::int32_t patient, const std::vector<std::int32_t>& lines);
    void QuoteChain(std::int32_t patient, const std::vector<std::int32_t>& lines);
    void ChartChain(std::int32_t patient, const std::vector<std::int32_t>& entries);

    hostlayout::Bytes param, fschema, firstrec, lastrec, estime, clinique, identite, patient, patientTri;
};

// The files of a practice by name, in the order the set is opened, then the
// two the size test also reads.
std::vector<std::pair<std::string, const hostlayout::Bytes*>> FilesOf(const MiniPractice& practice);

class PracticeTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    void Put(const std::string& name, const hostlayout::Bytes& bytes);
    hostlayout::Bytes Get(const std::string& name) const;
    std::string PathOf(const std::string& name) const { return (dir / name).string(); }

    // Writes every file of the practice, opens the set and loads the
    // counters, and forgets what that showed.
    void OpenPractice(const MiniPractice& practice);
    // Each file of the directory now, by name, compared with the practice's.
    void ExpectFiles(const MiniPractice& expected);

    std::filesystem::path dir;

private:
    std::filesystem::path previous;
};
