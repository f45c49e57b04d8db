#include "store/links.h"

#include <algorithm>
#include <cstring>

namespace {

// Records read at a time, without a view: about 1 MiB, which stays in the
// processor's cache while its links are taken out.
constexpr std::uint32_t BlockBytes = 1u << 20;

// How many of records 1..counter a table may hold: those the file has whole
// (by its size) and whose offset 32-bit arithmetic does not wrap.
std::int32_t Holdable(const RecordFile& file, std::int32_t counter) {
    const std::int64_t unwrapped = (std::int64_t{1} << 32) / file.recordSize;
    return static_cast<std::int32_t>(std::max<std::int64_t>(
        0, std::min<std::int64_t>({counter, RecordsInFile(file), unwrapped})));
}

// Hands records 1..want to `take`, read in large blocks; returns how many
// came whole. A block that comes up short ends the reading: the records
// after it are left to one-record reads.
//
// Blocks rather than views of the file (mmap, MapViewOfFile): measured on
// two machines, taking the links of a million lines out of 1 MiB blocks
// took 11-15 ms against 17-23 ms out of 8 MiB views, it keeps 1 MiB of the
// file in memory rather than 8, and a file truncated by another program
// while it is read gives a short block here, where a view would fault.
template <typename Take>
std::int32_t ReadInBlocks(const RecordFile& file, std::int32_t want, Take take) {
    const std::uint32_t size = file.recordSize;
    std::int32_t done = 0;
    const std::uint32_t perBlock = BlockBytes / size;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(perBlock) * size);
    while (done < want) {
        const std::uint32_t count = std::min<std::uint32_t>(perBlock, static_cast<std::uint32_t>(want - done));
        const std::uint32_t got = FileRead(*file.handle, RecordOffset(file, done + 1), block.data(), count * size);
        const std::uint32_t whole = got / size;
        for (std::uint32_t i = 0; i < whole; ++i) take(done + 1 + static_cast<std::int32_t>(i), block.data() + i * size);
        done += static_cast<std::int32_t>(whole);
        if (whole < count) break;
    }
    return done;
}

bool LoadLinks(const RecordFile& file, std::int32_t counter, std::size_t prevField, std::size_t nextField,
               bool hasPrev, LinkTable& table) {
    table = LinkTable{&file, prevField, nextField, hasPrev, 0, {}};
    if (*file.handle == 0) return false;
    const std::int32_t want = Holdable(file, counter);
    table.records.resize(static_cast<std::size_t>(want) + 1);
    table.held = ReadInBlocks(file, want, [&](std::int32_t r, const std::uint8_t* record) {
        table.records[static_cast<std::size_t>(r)] =
            HeldLinks{hasPrev ? LoadI32(record + prevField) : 0, LoadI32(record + nextField), 0};
    });
    return true;
}

} // namespace

bool LoadChainLinks(const LineChain& chain, LinkTable& table) {
    return LoadLinks(*chain.file, *chain.counter, chain.prevField, chain.nextField, true, table);
}

bool LoadChartLinks(LinkTable& table) {
    return LoadLinks(FschemaFile, LastChartEntry, 0, ChartField::NextEntry, false, table);
}

void ClearMarks(LinkTable& table) {
    for (HeldLinks& links : table.records) links.mark = 0;
}

// A record not held: read where a one-record read would find it.
bool FarRecordLinks(const LinkTable& table, std::int32_t number, std::int32_t& prev, std::int32_t& next) {
    ChainLine record;
    const std::uint32_t size = table.file->recordSize;
    if (FileRead(*table.file->handle, RecordOffset(*table.file, number), record.bytes, size) != size) return false;
    prev = table.hasPrev ? LoadI32(record.bytes + table.prevField) : 0;
    next = LoadI32(record.bytes + table.nextField);
    return true;
}

bool LoadEnds(EndsTable& table) {
    table.records.clear();
    if (hFirstrec == 0) return false;
    table.records.resize(static_cast<std::size_t>(Holdable(FirstrecFile, LastPatient)));
    const std::int32_t held =
        ReadInBlocks(FirstrecFile, static_cast<std::int32_t>(table.records.size()),
                     [&](std::int32_t p, const std::uint8_t* record) {
                         std::memcpy(table.records[static_cast<std::size_t>(p) - 1].bytes, record, sizeof(FirstrecRecord));
                     });
    table.records.resize(static_cast<std::size_t>(held));
    return true;
}

bool PatientEnds(const EndsTable& table, std::int32_t patient, FirstrecRecord& record) {
    if (patient >= 1 && static_cast<std::size_t>(patient) <= table.records.size()) {
        record = table.records[static_cast<std::size_t>(patient) - 1];
        return true;
    }
    return FileRead(hFirstrec, RecordOffset(FirstrecFile, patient), record.bytes, sizeof record.bytes) ==
           sizeof record.bytes;
}
