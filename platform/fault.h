// Fault injection for the file seam, in the manner of a test VFS: a test arms
// it, and the Nth transfer counted from then on moves fewer bytes than asked.
// Every file implementation (POSIX, Win32, memory) consults it on every read
// and write, so every short-transfer path of the program can be driven from
// a test, natively and under Wine. Disarmed (the default) it changes
// nothing. Only test builds link it; the product links platform/no_fault.cpp
// instead.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

enum FaultTarget { FaultAnyTransfer, FaultReadsOnly, FaultWritesOnly };

// From now on, count the transfers of the target kind; the `nth` one (1-based)
// moves only `moved` bytes (clamped to what was asked), the others are whole.
void FaultArmShortTransfer(unsigned nth, FaultTarget target = FaultAnyTransfer, std::uint32_t moved = 0);
void FaultDisarm();
// Transfers of the target kind seen since arming, the short one included.
unsigned FaultTransfersSeen();
// Whether the armed short transfer has happened.
bool FaultFired();

// Every transfer since the log was started, in order: which file, where, and
// for writes the bytes asked to be written. Lets a test replay what a command
// wrote before a failure.
struct LoggedTransfer {
    FileHandle file;
    std::uint32_t offset;
    bool isWrite;
    std::vector<std::uint8_t> bytes;
};
void FaultStartLog();
const std::vector<LoggedTransfer>& FaultLog();

// For the file implementations, once per transfer: how many of `requested`
// bytes this transfer may move.
std::uint32_t FaultAllowedLength(FileHandle file, std::uint32_t offset, bool isWrite, const void* data,
                                 std::uint32_t requested);
