#include "store/recordio.h"

#include "store/journal.h"

#include <climits>
#include <cstring>

const LineChain ClinicalChain{&CliniqueFile, &LastClinicalLine, ClinicalField::PrevLine, ClinicalField::NextLine,
                              FirstrecField::ClinicalStart, FirstrecField::ClinicalEnd};
const LineChain QuoteChain{&EstimeFile, &LastQuoteLine, QuoteField::PrevLine, QuoteField::NextLine,
                           FirstrecField::QuoteStart, FirstrecField::QuoteEnd};

std::uint32_t RecordOffset(const RecordFile& file, std::int32_t number) {
    return static_cast<std::uint32_t>(number) * file.recordSize - file.recordSize;
}

std::int32_t RecordsInFile(const RecordFile& file) {
    const std::uint32_t records = FileSizeLow(*file.handle) / file.recordSize;
    return records > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(records);
}

bool RecordBeyondFile(const RecordFile& file, std::int32_t number) {
    return RecordOffset(file, number) >= FileSizeLow(*file.handle);
}

bool ReadRecordAt(const RecordFile& file, std::uint32_t offset, void* record) {
    return JournaledRead(file, offset, record) == file.recordSize || ReportShortTransfer(file);
}

bool WriteRecordAt(const RecordFile& file, std::uint32_t offset, const void* record) {
    switch (JournaledWrite(file, offset, record)) {
    case WriteWhole: return true;
    case WriteShort: return ReportShortTransfer(file);
    case WriteRefused: break; // the journal has said why
    }
    return false;
}

bool ReadLastrec(std::uint32_t index, LastrecRecord& record) {
    return ReadRecordAt(LastrecFile, index * LastrecFile.recordSize, record.bytes);
}

bool ReadFirstrec(std::int32_t patient, FirstrecRecord& record) {
    return ReadRecordAt(FirstrecFile, RecordOffset(FirstrecFile, patient), record.bytes);
}
bool WriteFirstrec(std::int32_t patient, const FirstrecRecord& record) {
    return WriteRecordAt(FirstrecFile, RecordOffset(FirstrecFile, patient), record.bytes);
}
bool ReadIdentite(std::int32_t patient, IdentiteRecord& record) {
    return ReadRecordAt(IdentiteFile, RecordOffset(IdentiteFile, patient), record.bytes);
}
bool WriteIdentite(std::int32_t patient, const IdentiteRecord& record) {
    return WriteRecordAt(IdentiteFile, RecordOffset(IdentiteFile, patient), record.bytes);
}

bool ReadCliniqueLine(std::int32_t number, ClinicalLine& line) {
    return ReadRecordAt(CliniqueFile, RecordOffset(CliniqueFile, number), line.bytes);
}
bool WriteCliniqueLine(std::int32_t number, const ClinicalLine& line) {
    return WriteRecordAt(CliniqueFile, RecordOffset(CliniqueFile, number), line.bytes);
}
bool ReadEstimeLine(std::int32_t number, QuoteLine& line) {
    return ReadRecordAt(EstimeFile, RecordOffset(EstimeFile, number), line.bytes);
}
bool WriteEstimeLine(std::int32_t number, const QuoteLine& line) {
    return WriteRecordAt(EstimeFile, RecordOffset(EstimeFile, number), line.bytes);
}
bool ReadChartEntry(std::int32_t number, ChartEntry& entry) {
    return ReadRecordAt(FschemaFile, RecordOffset(FschemaFile, number), entry.bytes);
}
bool WriteChartEntry(std::int32_t number, const ChartEntry& entry) {
    return WriteRecordAt(FschemaFile, RecordOffset(FschemaFile, number), entry.bytes);
}

bool ReadChainLine(const LineChain& chain, std::int32_t number, ChainLine& line) {
    return ReadRecordAt(*chain.file, RecordOffset(*chain.file, number), line.bytes);
}
bool WriteChainLine(const LineChain& chain, std::int32_t number, const ChainLine& line) {
    return WriteRecordAt(*chain.file, RecordOffset(*chain.file, number), line.bytes);
}
std::int32_t ChainPrev(const LineChain& chain, const ChainLine& line) { return LoadI32(line.bytes + chain.prevField); }
std::int32_t ChainNext(const LineChain& chain, const ChainLine& line) { return LoadI32(line.bytes + chain.nextField); }
void SetChainPrev(const LineChain& chain, ChainLine& line, std::int32_t value) {
    StoreI32(line.bytes + chain.prevField, value);
}
void SetChainNext(const LineChain& chain, ChainLine& line, std::int32_t value) {
    StoreI32(line.bytes + chain.nextField, value);
}
