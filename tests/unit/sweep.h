// The fault sweep: a command run once whole, then once per transfer it made,
// with that transfer coming up short.
#pragma once

#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"

#include <functional>

// For each transfer k of a whole run of `command` (after `prepare`, from the
// files of `initial`): makes transfer k short and checks that exactly one
// "Erreur" box names the file of transfer k, that no transfer follows it, and
// that the files hold exactly what the k - 1 transfers before it wrote.
// Returns the number of transfers swept.
unsigned SweepShortTransfers(PracticeTest& test, const MiniPractice& initial, const std::function<void()>& prepare,
                             const std::function<void()>& command);
