// A practice whose integrity-test files go to its own "tmp" directory
// instead of c:\tmp.
#pragma once

#include "checks/checks.h"
#include "tests/unit/fixture.h"

#include <filesystem>
#include <string>

class ReportsInTmpTest : public PracticeTest {
public:
    void SetUp() override {
        PracticeTest::SetUp();
        std::filesystem::create_directories(dir / "tmp");
        reports = (dir / "tmp").string();
        ReportDirectory = reports.c_str();
    }
    void TearDown() override {
        ReportDirectory = "c:\\tmp";
        PracticeTest::TearDown();
    }
    std::string reports;
};
