// One-record operations on the data files, above the journal's layer
// (store/journal.h), which makes their transfers.
//
// Every operation is one absolute seek from the start of the file and one
// transfer of one whole record. A transfer that comes up short is reported
// where it happens: a box owned by MainWindow, text "Erreur", the file's tag
// as caption, OK only; the operation then returns false and the caller gives
// up its command. Nothing is retried. Offsets are computed in unsigned 32-bit
// arithmetic, so no record number, however damaged, overflows.
#pragma once

#include "store/recordfile.h"
#include "store/records.h"

#include <cstdint>

// Byte offset of 1-based record `number`: (number - 1) x size, modulo 2^32.
std::uint32_t RecordOffset(const RecordFile& file, std::int32_t number);

// Whole records in the file, from its size (the low 32 bits, like every
// offset here). No walk of distinct records can be longer, whatever lastrec
// claims.
std::int32_t RecordsInFile(const RecordFile& file);

// Whether record `number` starts at or past the end of the file, so that
// nothing of it can be read: unlike a record cut short by the end of the
// file, or a read that failed. A file not open has no bytes.
bool RecordBeyondFile(const RecordFile& file, std::int32_t number);

// One whole record at `offset`, through the journal's layer
// (store/journal.h), which sees every transfer of a data file.
bool ReadRecordAt(const RecordFile& file, std::uint32_t offset, void* record);
bool WriteRecordAt(const RecordFile& file, std::uint32_t offset, const void* record);

// lastrec is addressed by a 0-based index.
bool ReadLastrec(std::uint32_t index, LastrecRecord& record);

// A patient's records by the patient's 1-based number.
bool ReadFirstrec(std::int32_t patient, FirstrecRecord& record);
bool WriteFirstrec(std::int32_t patient, const FirstrecRecord& record);
bool ReadIdentite(std::int32_t patient, IdentiteRecord& record);
bool WriteIdentite(std::int32_t patient, const IdentiteRecord& record);

// Lines and entries by their 1-based number.
bool ReadCliniqueLine(std::int32_t number, ClinicalLine& line);
bool WriteCliniqueLine(std::int32_t number, const ClinicalLine& line);
bool ReadEstimeLine(std::int32_t number, QuoteLine& line);
bool WriteEstimeLine(std::int32_t number, const QuoteLine& line);
bool ReadChartEntry(std::int32_t number, ChartEntry& entry);
bool WriteChartEntry(std::int32_t number, const ChartEntry& entry);

// A patient's doubly linked chain of lines, described once for both files
// that hold one, so that a walk over clinical lines and one over quote lines
// are the same code.
struct LineChain {
    const RecordFile* file;
    const std::int32_t* counter;  // highest line number in use
    std::size_t prevField, nextField;  // links in the line record
    std::size_t startField, endField;  // ends in the firstrec record
};

extern const LineChain ClinicalChain; // clinique, ClinicalStart/ClinicalEnd
extern const LineChain QuoteChain;    // estime, QuoteStart/QuoteEnd

// A line of either chain as raw bytes; large enough for both records.
struct ChainLine {
    std::uint8_t bytes[sizeof(ClinicalLine)];
};

bool ReadChainLine(const LineChain& chain, std::int32_t number, ChainLine& line);
bool WriteChainLine(const LineChain& chain, std::int32_t number, const ChainLine& line);
std::int32_t ChainPrev(const LineChain& chain, const ChainLine& line);
std::int32_t ChainNext(const LineChain& chain, const ChainLine& line);
void SetChainPrev(const LineChain& chain, ChainLine& line, std::int32_t value);
void SetChainNext(const LineChain& chain, ChainLine& line, std::int32_t value);
