// Every view of every patient, page after page on the window and once on
// paper, and the raw browser: each walk ends, and no data file is written.
#include "platform/memory/memory_files.h"
#include "platform/record/record.h"
#include "shell/app.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"
#include "viewers/views.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    const DataSnapshot before = SnapshotDataFiles();
    SetRecordedClientBottom(100 + in.Byte() % 200); // a few lines a page
    // A short sheet, so that printed walks break pages (a reset of the
    // recording forgets it: set again before each printed walk).
    const int sheet = 150 + in.Byte() % 300;
    const std::int32_t browseFrom = static_cast<std::int8_t>(in.Byte());

    for (std::int32_t patient = 1; patient <= 8 && patient <= LastPatient; ++patient) {
        for (std::int32_t mode = ModeClinicalFromStart; mode <= ModeDentalChart; ++mode) {
            CurrentMode = mode;
            CurrentPatient = patient;
            CurrentLine = 0;
            LineOrdinal = 0;
            ViewReady = 1;
            for (int page = 0; page < 12; ++page) PaintCurrentView(0x77);
            ResetRecording();
            SetRecordedVerticalResolution(sheet);
            PrintFont = 0x99;
            CurrentLine = 0;
            ViewReady = 1;
            std::int32_t counter;
            if (mode <= ModeClinicalFromEnd) {
                PaintClinicalChart(0x5000, 1);
                counter = LastClinicalLine;
            } else if (mode <= ModeQuotesFromEnd) {
                PaintQuotes(0x5000, 1);
                counter = LastQuoteLine;
            } else {
                PaintDentalChart(0x5000, 1);
                counter = LastChartEntry;
            }
            // A printed walk draws the header and at most a line per record.
            FuzzCheck(RecordedTexts().size() <= 1u + static_cast<std::size_t>(counter > 0 ? counter : 0),
                      "a printed walk is bounded by the file's counter");
            ResetRecording();
        }
    }
    for (std::int32_t mode : {ModeBrowseClinique, ModeBrowseEstime}) {
        CurrentMode = mode;
        CurrentLine = browseFrom;
        ViewReady = 1;
        for (int page = 0; page < 12; ++page) PaintCurrentView(0x77);
        ResetRecording();
    }
    const DataSnapshot after = SnapshotDataFiles();
    FuzzCheck(before.files == after.files, "viewing changes no data file");
    return 0;
}
