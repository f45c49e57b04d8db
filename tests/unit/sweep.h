// The fault sweep: a command run once whole, then once per transfer it made,
// with that transfer coming up short.
#pragma once

#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"

#include <functional>

// How a command meets a short transfer.
enum AfterFailure {
    StopsThere,   // the command ends: no transfer follows the short one
    GoesOnToNext, // the integrity test: the next patient is tested
};

// For each transfer k of a whole run of `command` (after `prepare`, from the
// files of `initial`): makes transfer k short and checks that exactly one
// "Erreur" box names the file of transfer k (none for the integrity test's
// own two files, whose transfers are not checked), that no transfer follows
// it when the command stops there, and that the files hold exactly what the
// k - 1 transfers before it wrote. Returns the number of transfers swept.
unsigned SweepShortTransfers(PracticeTest& test, const MiniPractice& initial, const std::function<void()>& prepare,
                             const std::function<void()>& command, AfterFailure after = StopsThere);
