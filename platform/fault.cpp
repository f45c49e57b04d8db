#include "platform/fault.h"

namespace {
bool armed = false;
unsigned shortAt = 0;
unsigned seen = 0;
bool fired = false;
FaultTarget target = FaultAnyTransfer;
std::uint32_t movedOnShort = 0;
bool logging = false;
std::vector<LoggedTransfer> log;
} // namespace

void FaultStartLog() {
    logging = true;
    log.clear();
}

const std::vector<LoggedTransfer>& FaultLog() { return log; }

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
    logging = false;
    log.clear();
    seen = 0;
    fired = false;
}

unsigned FaultTransfersSeen() { return seen; }

bool FaultFired() { return fired; }

std::uint32_t FaultAllowedLength(FileHandle file, std::uint32_t offset, bool isWrite, const void* data,
                                 std::uint32_t requested) {
    if (logging) {
        LoggedTransfer t{file, offset, isWrite, {}};
        if (isWrite) {
            const auto* p = static_cast<const std::uint8_t*>(data);
            t.bytes.assign(p, p + requested);
        }
        log.push_back(std::move(t));
    }
    if (!armed) return requested;
    if ((target == FaultReadsOnly && isWrite) || (target == FaultWritesOnly && !isWrite)) return requested;
    ++seen;
    if (seen != shortAt) return requested;
    fired = true;
    return movedOnShort < requested ? movedOnShort : requested;
}
