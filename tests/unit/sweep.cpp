#include "tests/unit/sweep.h"

#include "store/datafiles.h"

#include <cstring>
#include <map>

namespace {

namespace L = hostlayout;

struct SetFile {
    const char* name;
    const char* caption;
    L::Bytes MiniPractice::*bytes;
    FileHandle* handle;
};

const SetFile SetFiles[] = {
    {"Fschema", "FSCHEMA", &MiniPractice::fschema, &hFschema},
    {"firstrec", "FIRSTREC", &MiniPractice::firstrec, &hFirstrec},
    {"lastrec", "LASTREC", &MiniPractice::lastrec, &hLastrec},
    {"estime", "ESTIM", &MiniPractice::estime, &hEstime},
    {"clinique", "CLINIQUE", &MiniPractice::clinique, &hClinique},
    {"identite", "IDENTITE", &MiniPractice::identite, &hIdentite},
};

const SetFile* FileOf(FileHandle handle) {
    for (const SetFile& f : SetFiles)
        if (*f.handle == handle) return &f;
    return nullptr;
}

} // namespace

unsigned SweepShortTransfers(PracticeTest& test, const MiniPractice& initial, const std::function<void()>& prepare,
                             const std::function<void()>& command, AfterFailure after) {
    auto fresh = [&] {
        FaultDisarm();
        CloseDataFileSet();
        test.OpenPractice(initial);
        prepare();
    };

    fresh();
    FaultStartLog();
    command();
    const std::vector<LoggedTransfer> whole = FaultLog();
    EXPECT_TRUE(RecordedBoxes().empty() || RecordedBoxes()[0].caption != "Erreur");
    // Handles change from one opening to the next: remember files by name.
    std::vector<const SetFile*> files;
    for (const LoggedTransfer& t : whole) files.push_back(FileOf(t.file));

    for (unsigned k = 1; k <= whole.size(); ++k) {
        SCOPED_TRACE("transfer " + std::to_string(k) + " of " + std::to_string(whole.size()));
        fresh();
        FaultArmShortTransfer(k);
        command();
        EXPECT_TRUE(FaultFired());
        if (after == StopsThere) {
            EXPECT_EQ(FaultTransfersSeen(), k) << "a transfer followed the short one";
        }
        std::vector<RecordedCall> errors;
        for (const RecordedCall& b : RecordedBoxes())
            if (b.bytes == "Erreur") errors.push_back(b);
        EXPECT_EQ(errors.size(), files[k - 1] != nullptr ? 1u : 0u);
        if (!errors.empty() && files[k - 1] != nullptr) {
            EXPECT_EQ(errors[0].caption, files[k - 1]->caption);
        }

        MiniPractice expected = initial;
        for (unsigned i = 0; i + 1 < k; ++i) {
            const LoggedTransfer& t = whole[i];
            if (!t.isWrite || files[i] == nullptr) continue; // the test's own files are not data
            L::Bytes& bytes = expected.*(files[i]->bytes);
            if (bytes.size() < t.offset + t.bytes.size()) bytes.resize(t.offset + t.bytes.size());
            std::memcpy(bytes.data() + t.offset, t.bytes.data(), t.bytes.size());
        }
        test.ExpectFiles(expected);
    }
    FaultDisarm();
    return static_cast<unsigned>(whole.size());
}
