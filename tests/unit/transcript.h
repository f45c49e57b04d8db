// Scenarios of the core as a technician meets it: a small practice, the
// commands chosen with their dialogs' answers, the paints and the print
// jobs, and everything the program drew, showed and wrote written down step
// by step in a transcript. Each scenario's transcript must equal its golden
// file, tests/unit/golden/NAME.txt, read and checked by hand when it was
// made. After a change meant to alter what a scenario shows, run the tests
// with CHKORT_GOLDEN=update and read the diff of the golden files before
// committing them.
#pragma once

#include "tests/unit/fixture.h"
#include "tests/unit/standins.h"

#include <functional>
#include <map>

class Scenario : public PracticeTest {
public:
    static constexpr WindowRef Window{0x1234};
    static constexpr SurfaceRef Screen{0x77};

    void SetUp() override;
    void TearDown() override;

    // Writes the practice (but `missing`) and opens it as the window does
    // at its creation, the state of a new window.
    void Open(const MiniPractice& practice, const char* missing = nullptr);
    // A menu or accelerator command, the dialogs it opens answered in order.
    void Command(unsigned id, std::vector<DialogAnswer> answers = {});
    // A patient's view chosen through the menu, then Options > Imprimer.
    void Print(unsigned view, const char* patient);
    // Paints of the window, one after the other (Enter pages a view through one).
    void Paint(int times = 1);
    // Makes the nth transfer of the next step come up short.
    void ShortTransfer(unsigned nth, FaultTarget target = FaultAnyTransfer);
    // Presses the print job's "Annuler" at the nth page end of the next step.
    void CancelAtPageEnd(unsigned nth);
    // A step of the scenario's own: `what` runs between the snapshots.
    void Step(const std::string& title, const std::function<void()>& what);

    // Compares the transcript with the golden file of the running test.
    void ExpectGolden();

    int clientBottom = 600;       // of the window, for every later step
    int printerResolution = 3508; // vertical, of the printer

private:
    std::map<std::string, hostlayout::Bytes> Files() const;
    std::string out;
    unsigned shortTransfer = 0;
    unsigned cancelAt = 0;
    FaultTarget shortTarget = FaultAnyTransfer;
};

// A test whose body lays a practice and runs steps, then compares.
#define SCENARIO(name)                                                                                                 \
    class Scenario_##name : public Scenario {                                                                          \
    protected:                                                                                                         \
        void Body();                                                                                                   \
    };                                                                                                                 \
    TEST_F(Scenario_##name, Transcript) {                                                                              \
        Body();                                                                                                        \
        ExpectGolden();                                                                                                \
    }                                                                                                                  \
    void Scenario_##name::Body()
