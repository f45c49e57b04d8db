// A practice directory for one test: a fresh temporary directory made the
// current one (the program opens its data files from there), the shared state
// and the recording stand-in reset, the fault hook disarmed.
#pragma once

#include "platform/fault.h"
#include "platform/record/record.h"
#include "store/state.h"
#include "tools/practice/layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class PracticeTest : public ::testing::Test {
public: // the fault sweep drives a test through these too
    void SetUp() override;
    void TearDown() override;

    // Writes a data file of the directory.
    void Put(const std::string& name, const hostlayout::Bytes& bytes);
    hostlayout::Bytes Get(const std::string& name) const;
    std::string PathOf(const std::string& name) const;

    // Writes all seven files of the set with `records` records each (byte
    // patterns that differ from file to file and from record to record), and
    // a lastrec whose counters say so; opens the set and loads the counters.
    void OpenSampleSet(std::int32_t records = 12);

    // Writes every file of the practice, opens the set, loads the counters
    // and forgets what that showed.
    void OpenPractice(const struct MiniPractice& practice);
    // Each file of the directory now, by name, compared with the practice's.
    void ExpectFiles(const struct MiniPractice& expected);

    // The caption an open failure of `name` shows.
    std::string OpenErrorCaption(const std::string& name) const;

    std::filesystem::path dir;

private:
    std::filesystem::path previous;
};

// A recognisable pattern: byte i of a file tagged `tag`.
inline std::uint8_t PatternByte(unsigned tag, std::size_t i) {
    return static_cast<std::uint8_t>((i * 7 + tag * 31 + i / 251) | 1);
}
hostlayout::Bytes Pattern(unsigned tag, std::size_t length);
