#include "platform/fault.h"

namespace {
bool armed = false;
unsigned shortAt = 0;
unsigned seen = 0;
bool fired = false;
FaultTarget target = FaultAnyTransfer;
std::uint32_t movedOnShort = 0;
} // namespace

void FaultArmShortTransfer(unsigned nth, FaultTarget kind, std::uint32_t moved) {
    armed = true;
    shortAt = nth;
    seen = 0;
    fired = false;
    target = kind;
    movedOnShort = moved;
}

void FaultDisarm() {
    armed = false;
    seen = 0;
    fired = false;
}

unsigned FaultTransfersSeen() { return seen; }

bool FaultFired() { return fired; }

std::uint32_t FaultAllowedLength(bool isWrite, std::uint32_t requested) {
    if (!armed) return requested;
    if ((target == FaultReadsOnly && isWrite) || (target == FaultWritesOnly && !isWrite)) return requested;
    ++seen;
    if (seen != shortAt) return requested;
    fired = true;
    return movedOnShort < requested ? movedOnShort : requested;
}
