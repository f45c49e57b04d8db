#include "store/recordio.h"

#include "store/journal.h"

#include <climits>
#include <cstring>

const RecordFile LastrecFile{"LASTREC", &hLastrec, sizeof(LastrecRecord)};
const RecordFile FirstrecFile{"FIRSTREC", &hFirstrec, sizeof(FirstrecRecord)};
const RecordFile IdentiteFile{"IDENTITE", &hIdentite, sizeof(IdentiteRecord)};
const RecordFile EstimeFile{"ESTIM", &hEstime, sizeof(QuoteLine)};
const RecordFile CliniqueFile{"CLINIQUE", &hClinique, sizeof(ClinicalLine)};
const RecordFile FschemaFile{"FSCHEMA", &hFschema, sizeof(ChartEntry)};

const LineChain ClinicalChain{&CliniqueFile, &LastClinicalLine, ClinicalField::PrevLine, ClinicalField::NextLine,
                              FirstrecField::ClinicalStart, FirstrecField::ClinicalEnd};
const LineChain QuoteChain{&EstimeFile, &LastQuoteLine, QuoteField::PrevLine, QuoteField::NextLine,
                           FirstrecField::QuoteStart, FirstrecField::QuoteEnd};

bool ReportShortTransfer(const RecordFile& file) {
    ShowMessageBox(MainWindow, "Erreur", file.caption, BoxOk);
    return false;
}

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

namespace {

// The last record of each file that was read or written while journaling,
// with its bytes: the old bytes of the next write come from here, so the
// journal adds no read of a data file. Every repair writes the record it
// read last in that file (or wrote last, for a second write of it).
struct KnownRecord {
    const RecordFile* file;
    bool known;
    std::uint32_t offset;
    std::uint8_t bytes[sizeof(IdentiteRecord)];
};
KnownRecord Known[] = {{&FirstrecFile, false, 0, {}}, {&IdentiteFile, false, 0, {}}, {&CliniqueFile, false, 0, {}},
                       {&EstimeFile, false, 0, {}},   {&FschemaFile, false, 0, {}}};
static_assert(sizeof(IdentiteRecord) >= sizeof(ClinicalLine) && sizeof(IdentiteRecord) >= sizeof(QuoteLine));

KnownRecord* KnownFor(const RecordFile& file) {
    for (KnownRecord& k : Known)
        if (k.file == &file) return &k;
    return nullptr;
}

void Remember(const RecordFile& file, std::uint32_t offset, const void* record, bool known) {
    KnownRecord* k = JournalActive() ? KnownFor(file) : nullptr;
    if (k == nullptr) return;
    k->known = known;
    k->offset = offset;
    if (known) std::memcpy(k->bytes, record, file.recordSize);
}

} // namespace

void ForgetKnownRecords() {
    for (KnownRecord& k : Known) k.known = false;
}

bool ReadRecordAt(const RecordFile& file, std::uint32_t offset, void* record) {
    const bool whole = FileRead(*file.handle, offset, record, file.recordSize) == file.recordSize;
    Remember(file, offset, record, whole);
    return whole || ReportShortTransfer(file);
}

bool WriteRecordAt(const RecordFile& file, std::uint32_t offset, const void* record) {
    if (JournalActive()) {
        // A write whose old bytes the store does not hold could not be
        // undone: it is refused rather than read again or left out.
        const KnownRecord* k = KnownFor(file);
        if (k == nullptr || !k->known || k->offset != offset) {
            ShowMessageBox(MainWindow, "Écriture refusée : l'enregistrement n'a pas été lu avant.", file.caption,
                           BoxOk | BoxIconStop);
            return false;
        }
        if (!JournalWrite(file, offset, k->bytes, static_cast<const std::uint8_t*>(record))) return false;
    }
    const bool whole = FileWrite(*file.handle, offset, record, file.recordSize) == file.recordSize;
    Remember(file, offset, record, whole);
    return whole || ReportShortTransfer(file);
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
