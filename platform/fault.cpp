#include "platform/fault.h"

#include <cstring>

namespace {
bool armed = false;
bool flushes = false; // the armed fault is a failed flush
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
    flushes = false;
    shortAt = nth;
    seen = 0;
    fired = false;
    target = kind;
    movedOnShort = moved;
}

void FaultArmFailedFlush(unsigned nth) {
    FaultArmShortTransfer(nth);
    flushes = true;
}

void FaultDisarm() {
    armed = false;
    flushes = false;
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
    if (!armed || flushes) return requested;
    if ((target == FaultReadsOnly && isWrite) || (target == FaultWritesOnly && !isWrite)) return requested;
    ++seen;
    if (seen != shortAt) return requested;
    fired = true;
    return movedOnShort < requested ? movedOnShort : requested;
}

bool FaultAllowedFlush(FileHandle file) {
    if (logging) log.push_back(LoggedTransfer{file, 0, false, {}, true});
    if (!armed || !flushes) return true;
    ++seen;
    if (seen != shortAt) return true;
    fired = true;
    return false;
}

FaultDisk FaultDiskAfterPowerCut(const std::vector<LoggedTransfer>& log, std::size_t cut, const FaultDisk& start,
                                 const std::function<FaultArrival(std::size_t, const LoggedTransfer&)>& arrival) {
    if (cut > log.size()) cut = log.size();
    // Each file's last flush before the cut.
    std::map<FileHandle, std::size_t> flushed;
    for (std::size_t i = 0; i < cut; ++i)
        if (log[i].isFlush) flushed[log[i].file] = i + 1;
    FaultDisk disk = start;
    std::size_t index = 0;
    for (std::size_t i = 0; i < cut; ++i) {
        const LoggedTransfer& t = log[i];
        if (!t.isWrite || t.bytes.empty()) continue;
        std::vector<std::uint8_t>& bytes = disk[t.file];
        const auto f = flushed.find(t.file);
        const bool durable = f != flushed.end() && i < f->second;
        const FaultArrival fate = durable ? FaultArrived : arrival(index++, t);
        const std::size_t end = static_cast<std::size_t>(t.offset) + t.bytes.size();
        if (fate == FaultLost) continue;
        if (bytes.size() < end) bytes.resize(end); // zeros up to it
        if (fate == FaultArrived) std::memcpy(bytes.data() + t.offset, t.bytes.data(), t.bytes.size());
    }
    return disk;
}
