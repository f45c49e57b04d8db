// Every view of every patient, page after page on the window and once on
// paper, and the raw browser: each walk ends, a printed walk draws at most a
// line per record, and no data file is written.
#include "platform/record/record.h"
#include "shell/app.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"
#include "viewers/views.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    SetRecordedClientBottom(100 + in.Byte() % 200); // a few lines a page
    const int sheet = 150 + in.Byte() % 300;        // short, so that printed walks break pages
    const std::int32_t browseFrom = static_cast<std::int8_t>(in.Byte());

    for (std::int32_t patient = 1; patient <= 8 && patient <= LastPatient; ++patient)
        for (std::int32_t mode = ModeClinicalFromStart; mode <= ModeDentalChart; ++mode) {
            CurrentMode = mode, CurrentPatient = patient, CurrentLine = 0, LineOrdinal = 0, ViewReady = 1;
            for (int page = 0; page < 12; ++page) PaintCurrentView(0x77);
            ResetRecording(); // which forgets the sheet
            SetRecordedVerticalResolution(sheet);
            PrintFont = 0x99, CurrentLine = 0, ViewReady = 1;
            const bool clinical = mode <= ModeClinicalFromEnd, quotes = !clinical && mode <= ModeQuotesFromEnd;
            if (clinical) PaintClinicalChart(0x5000, 1);
            else if (quotes) PaintQuotes(0x5000, 1);
            else PaintDentalChart(0x5000, 1);
            const std::int32_t counter = clinical ? LastClinicalLine : quotes ? LastQuoteLine : LastChartEntry;
            FuzzCheck(RecordedTexts().size() <= 1u + static_cast<std::size_t>(counter > 0 ? counter : 0),
                      "a printed walk draws the header and at most a line per record");
            ResetRecording();
        }
    for (std::int32_t mode : {ModeBrowseClinique, ModeBrowseEstime}) {
        CurrentMode = mode, CurrentLine = browseFrom, ViewReady = 1;
        for (int page = 0; page < 12; ++page) PaintCurrentView(0x77);
        ResetRecording();
    }
    FuzzCheck(DataFileWrites() == 0, "viewing writes no data file");
    return 0;
}
