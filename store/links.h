// The links of a practice's chains, taken out of their files in one pass
// (large sequential reads), for walks done in
// memory.
//
// The window reads one record per walk step, as the host does; a console
// checking a copy of a practice has no reason to, and reading each file once
// from start to end runs at the speed of the disk. What these tables give is
// what the one-record reads would give: a record that lies wholly in the
// file within the counter is held; any other (beyond the end of the file, or
// at an offset that 32-bit arithmetic wraps) is read where a one-record read
// would find it. No box is shown: the caller decides what an unreadable
// record means.
#pragma once

#include "store/recordio.h"

#include <cstdint>
#include <new>
#include <vector>

// A record's links (prev is 0 for the chart, which links forward only), and
// a word kept for it by the walks in progress: an owner, a claimant. They
// lie side by side so that a step of a walk touches one place in memory.
struct HeldLinks {
    std::int32_t prev, next, mark;
};

// Tables of a whole file's links live in memory of their own (see
// TableAlloc).
template <typename T>
struct TableAllocator {
    using value_type = T;
    TableAllocator() = default;
    template <typename U>
    TableAllocator(const TableAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* table = TableAlloc(n * sizeof(T));
        if (table == nullptr) throw std::bad_alloc();
        return static_cast<T*>(table);
    }
    void deallocate(T* table, std::size_t n) { TableFree(table, n * sizeof(T)); }
    bool operator==(const TableAllocator&) const { return true; }
};

struct LinkTable {
    const RecordFile* file = nullptr;
    std::size_t prevField = 0, nextField = 0;
    bool hasPrev = false;
    std::int32_t held = 0; // records 1..held are in memory
    std::vector<HeldLinks, TableAllocator<HeldLinks>> records; // by record number; marks start at 0
};

// Records 1..min(counter, what the file holds whole). False when the file is
// not open.
bool LoadChainLinks(const LineChain& chain, LinkTable& table);
bool LoadChartLinks(LinkTable& table);

// Every mark back to 0.
void ClearMarks(LinkTable& table);

// The links of record `number`; false when it cannot be read whole.
bool FarRecordLinks(const LinkTable& table, std::int32_t number, std::int32_t& prev, std::int32_t& next);
inline bool RecordLinks(const LinkTable& table, std::int32_t number, std::int32_t& prev, std::int32_t& next) {
    if (number < 1 || number > table.held) return FarRecordLinks(table, number, prev, next);
    const HeldLinks& links = table.records[static_cast<std::size_t>(number)];
    prev = links.prev;
    next = links.next;
    return true;
}

// firstrec records of patients 1..min(LastPatient, what the file holds whole).
struct EndsTable {
    std::vector<FirstrecRecord> records;
};
bool LoadEnds(EndsTable& table);

// Patient `patient`'s firstrec record; false when it cannot be read whole.
bool PatientEnds(const EndsTable& table, std::int32_t patient, FirstrecRecord& record);
