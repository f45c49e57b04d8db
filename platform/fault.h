// Fault injection for the file seam, in the manner of a test VFS: a test arms
// it, and the Nth transfer counted from then on moves fewer bytes than asked,
// or the Nth flush fails. Every file implementation (POSIX, Win32, memory)
// consults it on every read, write and flush, so every short-transfer path of
// the program can be driven from a test, natively and under Wine. Disarmed
// (the default) it changes nothing. Only test builds link it; the product
// links platform/no_fault.cpp instead.
//
// It also models a disk, as SQLite's crash tests do: from the log of what a
// command did, the files a power cut could leave.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

enum FaultTarget { FaultAnyTransfer, FaultReadsOnly, FaultWritesOnly };

// From now on, count the transfers of the target kind; the `nth` one (1-based)
// moves only `moved` bytes (clamped to what was asked), the others are whole.
// Flushes are not transfers.
void FaultArmShortTransfer(unsigned nth, FaultTarget target = FaultAnyTransfer, std::uint32_t moved = 0);
// From now on, count the flushes; the `nth` one (1-based) fails.
void FaultArmFailedFlush(unsigned nth);
void FaultDisarm();
// Transfers of the target kind (or flushes) seen since arming, the faulty
// one included.
unsigned FaultTransfersSeen();
// Whether the armed fault has happened.
bool FaultFired();

// Every transfer and flush since the log was started, in order: which file,
// where, and for writes the bytes asked to be written. Lets a test replay
// what a command wrote before a failure, or before a power cut.
struct LoggedTransfer {
    FileHandle file;
    std::uint32_t offset;
    bool isWrite;
    std::vector<std::uint8_t> bytes;
    bool isFlush = false; // then neither a read nor a write
};
void FaultStartLog();
const std::vector<LoggedTransfer>& FaultLog();

// ---------------------------------------------------------------- power cut

// What became of a write its file had not flushed when the power went: on
// the disk, lost, or lost with the length it gave the file (zeros there).
enum FaultArrival { FaultArrived, FaultLost, FaultZeroed };

using FaultDisk = std::map<FileHandle, std::vector<std::uint8_t>>;

// The files after a power cut just before entry `cut` of `log` (0-based;
// the entries before it were made, none after): each file of `start` (its
// bytes when the log began, by the handle the log names it by; a file the
// log writes and `start` lacks was empty) with the writes it flushed, then
// each later write of it as `arrival` says. `arrival` is asked once per such
// write, in the log's order, with its index among them. Where a write that
// did not arrive would have made the file longer, the file is longer only
// when a write after it arrived further on, or it was zeroed: zeros there.
FaultDisk FaultDiskAfterPowerCut(const std::vector<LoggedTransfer>& log, std::size_t cut, const FaultDisk& start,
                                 const std::function<FaultArrival(std::size_t index, const LoggedTransfer&)>& arrival);

// For the file implementations, once per transfer: how many of `requested`
// bytes this transfer may move.
std::uint32_t FaultAllowedLength(FileHandle file, std::uint32_t offset, bool isWrite, const void* data,
                                 std::uint32_t requested);
// Once per flush: whether it may go on.
bool FaultAllowedFlush(FileHandle file);
