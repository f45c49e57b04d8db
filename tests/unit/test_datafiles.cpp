// Opening and closing the data file set, and loading the counters.
#include "tests/unit/fixture.h"

#include "store/datafiles.h"

#include <cstdio>
#include <filesystem>

namespace {

namespace L = hostlayout;

class DataFileSet : public PracticeTest {
protected:
    // Every file of the set, with content that does not matter here.
    void PutAllButOne(const std::string& missing) {
        for (const char* name : {"param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"})
            if (name != missing) Put(name, Pattern(9, 64));
    }
    static std::vector<FileHandle> Handles() {
        return {hParam, hFschema, hFirstrec, hLastrec, hEstime, hClinique, hIdentite};
    }
    void ExpectOneOpenError(const std::string& name, WindowRef owner) {
        const auto boxes = RecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].bytes, "Erreur");
        EXPECT_TRUE(boxes[0].hasCaption);
        EXPECT_EQ(boxes[0].caption, OpenErrorCaption(name));
        EXPECT_EQ(boxes[0].style, BoxOk);
        EXPECT_EQ(boxes[0].owner, owner);
    }
};

TEST_F(DataFileSet, OpensAllSevenAndClosesThem) {
    OpenSampleSet(5);
    for (FileHandle h : Handles()) EXPECT_NE(h, 0u);
    EXPECT_EQ(LastPatient, 5);
    CloseDataFileSet();
    for (FileHandle h : Handles()) EXPECT_EQ(h, 0u);
}

TEST_F(DataFileSet, MissingParamStopsEverything) {
    PutAllButOne("param");
    EXPECT_FALSE(OpenDataFileSet(0x77));
    ExpectOneOpenError("param", 0x77);
    for (FileHandle h : Handles()) EXPECT_EQ(h, 0u);
}

TEST_F(DataFileSet, MissingCliniqueLeavesTheFiveBeforeItOpen) {
    PutAllButOne("clinique");
    EXPECT_FALSE(OpenDataFileSet(0x77));
    ExpectOneOpenError("clinique", 0x77);
    for (FileHandle h : {hParam, hFschema, hFirstrec, hLastrec, hEstime}) EXPECT_NE(h, 0u);
    EXPECT_EQ(hClinique, 0u);
    EXPECT_EQ(hIdentite, 0u); // not tried after the failure
    CloseDataFileSet();
    for (FileHandle h : Handles()) EXPECT_EQ(h, 0u);
}

TEST_F(DataFileSet, ReadOnlyFileIsRefusedBecauseWritingIsAlwaysAsked) {
    PutAllButOne("");
    namespace fs = std::filesystem;
    fs::permissions(dir / "firstrec", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifdef _WIN32
    // Windows refuses; Wine run as root lets root write anyway.
    if (std::FILE* probe = std::fopen(PathOf("firstrec").c_str(), "r+b")) {
        std::fclose(probe);
        GTEST_SKIP() << "this Windows does not enforce the read-only attribute (Wine as root)";
    }
#endif
    EXPECT_FALSE(OpenDataFileSet(0x77));
    ExpectOneOpenError("firstrec", 0x77);
    EXPECT_NE(hFschema, 0u);
    EXPECT_EQ(hFirstrec, 0u);
    EXPECT_EQ(hLastrec, 0u);
}

TEST_F(DataFileSet, NamesAreUsedExactlyAsWritten) {
    PutAllButOne("Fschema");
    Put("fschema.dat", Pattern(9, 64)); // neither an extension nor another spelling stands in
    EXPECT_FALSE(OpenDataFileSet(0x77));
    ExpectOneOpenError("Fschema", 0x77);
}

TEST_F(DataFileSet, CountersComeFromRecordsZeroThreeTwoSevenInThatOrder) {
    PutAllButOne("lastrec");
    Put("lastrec", L::Lastrec(41, 1234, 567, 89));
    ASSERT_TRUE(OpenDataFileSet(0));
    LoadCounters();
    EXPECT_EQ(LastPatient, 41);
    EXPECT_EQ(LastClinicalLine, 1234);
    EXPECT_EQ(LastQuoteLine, 567);
    EXPECT_EQ(LastChartEntry, 89);
    EXPECT_TRUE(RecordedBoxes().empty());

    // The second read is record 3: making it come up short leaves only the
    // clinical counter at 0, after its box.
    FaultArmShortTransfer(2, FaultReadsOnly, 5);
    LoadCounters();
    EXPECT_EQ(LastPatient, 41);
    EXPECT_EQ(LastClinicalLine, 0);
    EXPECT_EQ(LastQuoteLine, 567);
    EXPECT_EQ(LastChartEntry, 89);
    EXPECT_EQ(FaultTransfersSeen(), 4u);
    const auto boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].bytes, "Erreur");
    EXPECT_EQ(boxes[0].caption, "LASTREC");
}

TEST_F(DataFileSet, ShortLastrecLosesTheChartCounterOnly) {
    PutAllButOne("lastrec");
    // 120 bytes: records 0 to 6 whole, record 7 only its first 8 bytes.
    L::Bytes lastrec = L::Lastrec(3, 4, 5, 6);
    lastrec.resize(120);
    Put("lastrec", lastrec);
    MainWindow = 0; // not known yet while the window is being created
    ASSERT_TRUE(OpenDataFileSet(0));
    LoadCounters();
    EXPECT_EQ(LastPatient, 3);
    EXPECT_EQ(LastClinicalLine, 4);
    EXPECT_EQ(LastQuoteLine, 5);
    EXPECT_EQ(LastChartEntry, 0);
    const auto boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "LASTREC");
    EXPECT_EQ(boxes[0].owner, 0u); // the window does not exist yet while it is being created
}

TEST_F(DataFileSet, UnopenedLastrecGivesZeroCountersAndOneBoxEach) {
    // param missing: nothing open, yet the counters are still asked for.
    PutAllButOne("param");
    EXPECT_FALSE(OpenDataFileSet(0));
    ResetRecording();
    LastPatient = LastClinicalLine = LastQuoteLine = LastChartEntry = 99;
    LoadCounters();
    EXPECT_EQ(LastPatient, 0);
    EXPECT_EQ(LastClinicalLine, 0);
    EXPECT_EQ(LastQuoteLine, 0);
    EXPECT_EQ(LastChartEntry, 0);
    const auto boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    for (const auto& b : boxes) EXPECT_EQ(b.caption, "LASTREC");
}

} // namespace

namespace {

TEST_F(DataFileSet, ReadOnlyOpeningReadsButNeverWrites) {
    PutAllButOne("");
    const hostlayout::Bytes before = Get("clinique");
    DataFilesReadOnly = true;
    const bool opened = OpenDataFileSet(0x77);
    DataFilesReadOnly = false;
    ASSERT_TRUE(opened);
    std::uint8_t record[16];
    EXPECT_EQ(FileRead(hClinique, 0, record, sizeof record), sizeof record);
    const std::uint8_t junk[4] = {1, 2, 3, 4};
    EXPECT_EQ(FileWrite(hClinique, 0, junk, sizeof junk), 0u);
    EXPECT_EQ(Get("clinique"), before);
}

} // namespace
