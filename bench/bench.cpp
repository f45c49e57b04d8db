// chkbench: how the clinical integrity test scales with the size of the
// practice. For sound practices of 10,000, 100,000 and 1,000,000 clinical
// lines (about 20 per patient) it times, in one fresh process per practice:
//
//   test     the integrity test itself (the program's own code, drawing to
//            nowhere, files through the POSIX layer);
//   bare     a loop doing nothing but the test's positioned reads and writes,
//            same files, offsets and sizes, in the same order;
//   read     one sequential read of the clinique file;
//
// and the test's peak resident memory. Targets: test within 1.3 x bare, and
// peak memory flat in N (within 1 MiB from 100,000 to 1,000,000 lines).
//
//   chkbench [DIR [LINES...]]     practices under DIR (default "practices"),
//                                 generated once and kept; exit 1 when a
//                                 target is missed
//   chkbench --measure DIR REPS   one practice, one result line (used above)
//   chkbench --check DIR          the bare loop's transfers against the test's
//   chkbench --floor DIR          the console's floor: clinique read once
//                                 into a plain table, every chain walked
//                                 both ways (see Floor)
//   chkbench --edit DIR REPS      the journal's cost: "Changer la couleur"
//                                 (48 to 147, about half the lines) on fresh
//                                 copies of the practice, with the journal
//                                 and without it
//   chkbench --repairs DIR REPS   the journal's flushes in a patient's repairs,
//                                 on a practice of one 100-line chain: one
//                                 relink, and Corriger from the chain's end
//                                 rebuilding its 100 forward links
//
// On the largest practice the table ends with that field edit's time with
// the journal over its time without it, then the two repairs' cost, and
// with chkort-cli reparer all on
// the same practice with 1 % of its patients damaged, against diagnose all:
// on a copy in memory (tmpfs), where a disk flush costs nothing, and on a
// copy on the disk, the difference being its flushes, counted apart.
#include "checks/checks.h"
#include "repairs/repairs.h"
#include "store/journal.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "store/datafiles.h"
#include "store/recordio.h"
#include "store/records.h"
#include "store/state.h"
#include "tools/practice/generator.h"
#include "window/state.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LinesPerPatient = 20;
constexpr std::int32_t WalkLimit = 5000;

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long StatusKiB(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long value = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') value = std::strtol(line + n + 1, nullptr, 10);
    std::fclose(f);
    return value;
}

// Starts the peak resident size over from the present size, so that the
// peak read afterwards belongs to what ran in between.
bool ResetPeak() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------- the bare sequence

// One positioned transfer, for comparing the bare loop with the test.
struct Transfer {
    char file; // 'F' firstrec, 'C' clinique, 'M' owner map
    std::uint32_t offset;
    bool isWrite;
    std::int32_t value; // the slot written
    bool operator==(const Transfer& o) const {
        return file == o.file && offset == o.offset && isWrite == o.isWrite && (!isWrite || value == o.value);
    }
};

struct Bare {
    int firstrec = -1, clinique = -1, map = -1;
    std::int32_t patients = 0, lines = 0;
    long long visits = 0;
    std::vector<Transfer>* log = nullptr;

    void Read(int fd, char role, std::uint32_t offset, void* buffer, std::uint32_t length) {
        if (log) log->push_back({role, offset, false, 0});
        if (pread(fd, buffer, length, static_cast<off_t>(offset)) != static_cast<ssize_t>(length)) {
            std::fprintf(stderr, "chkbench: short read in the bare sequence\n");
            std::exit(2);
        }
    }
    void Write(std::uint32_t offset, std::int32_t value) {
        if (log) log->push_back({'M', offset, true, value});
        std::uint8_t slot[4];
        StoreI32(slot, value);
        if (pwrite(map, slot, 4, static_cast<off_t>(offset)) != 4) {
            std::fprintf(stderr, "chkbench: short write in the bare sequence\n");
            std::exit(2);
        }
    }
    // The walk's transfers: the line, its slot, and the slot's claim.
    std::int32_t Walk(std::int32_t p, std::int32_t r, bool forward) {
        std::int32_t count = 0;
        while (r >= 1 && r <= lines) {
            ++count;
            ClinicalLine line;
            std::uint8_t slot[4];
            Read(clinique, 'C', static_cast<std::uint32_t>(r) * sizeof line.bytes - sizeof line.bytes, line.bytes,
                 sizeof line.bytes);
            const std::uint32_t at = static_cast<std::uint32_t>(r) * 4u - 4u;
            Read(map, 'M', at, slot, 4);
            if (LoadI32(slot) == 0) Write(at, p);
            r = forward ? GetNextLine(line) : GetPrevLine(line);
            if (count > WalkLimit) return -1;
        }
        return count;
    }
    void Run() {
        const std::uint8_t zero[4] = {};
        map = open("tmp/testfich.txt", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        const int report = open("tmp/erreurfiche.txt", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (map < 0 || report < 0) {
            std::fprintf(stderr, "chkbench: cannot create the files of the bare sequence\n");
            std::exit(2);
        }
        for (std::int32_t k = 1; k <= lines; ++k) {
            if (log) log->push_back({'M', static_cast<std::uint32_t>(k - 1) * 4u, true, 0});
            if (pwrite(map, zero, 4, static_cast<off_t>(k - 1) * 4) != 4) std::exit(2);
        }
        visits = 0;
        for (std::int32_t p = 1; p <= patients; ++p) {
            FirstrecRecord ends;
            Read(firstrec, 'F', static_cast<std::uint32_t>(p) * sizeof ends.bytes - sizeof ends.bytes, ends.bytes,
                 sizeof ends.bytes);
            const std::int32_t start = GetField(ends, FirstrecField::ClinicalStart);
            const std::int32_t end = GetField(ends, FirstrecField::ClinicalEnd);
            const std::int32_t forward = start >= 0 && start <= lines ? Walk(p, start, true) : 0;
            if (forward < 0) continue;
            const std::int32_t backward = end >= 0 && end <= lines ? Walk(p, end, false) : -1;
            visits += forward + std::max(backward, 0);
        }
        close(map);
        close(report);
    }
};

// ---------------------------------------------------------------- one practice

struct Practice {
    std::string dir;
    std::string reports;
};

bool OpenPractice(Practice& p) {
    if (chdir(p.dir.c_str()) != 0) {
        std::fprintf(stderr, "chkbench: no practice in %s\n", p.dir.c_str());
        return false;
    }
    mkdir("tmp", 0777);
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return false;
    p.reports = std::string(cwd) + "/tmp";
    ReportDirectory = p.reports.c_str();
    if (!OpenDataFileSet(0)) {
        std::fprintf(stderr, "chkbench: the data files of %s do not open\n", p.dir.c_str());
        return false;
    }
    LoadCounters();
    return true;
}

void RunIntegrityTest() {
    CurrentMode = ModeTestClinique;
    PrintOrTest(0);
    CurrentMode = ModeNone;
}

Bare BareFor() {
    Bare bare;
    bare.firstrec = open("firstrec", O_RDWR | O_CLOEXEC);
    bare.clinique = open("clinique", O_RDWR | O_CLOEXEC);
    bare.patients = LastPatient;
    bare.lines = LastClinicalLine;
    return bare;
}

double SequentialRead(const std::string& clinique = "clinique") {
    static char buffer[1 << 18];
    const double t0 = Now();
    const int fd = open(clinique.c_str(), O_RDONLY | O_CLOEXEC);
    long long total = 0;
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) total += n;
    close(fd);
    const double t = Now() - t0;
    return total > 0 ? t : -1;
}

off_t SizeOf(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? st.st_size : -1;
}

int Measure(const char* dir, int reps) {
    Practice p{dir, ""};
    if (!OpenPractice(p)) return 2;
    Bare bare = BareFor();
    SequentialRead(); // every timing below starts with the file in the cache
    double test = 1e30, seq = 1e30, bareTime = 1e30;
    long peak = 0;
    const bool peakReset = ResetPeak();
    for (int rep = 0; rep < reps; ++rep) {
        seq = std::min(seq, SequentialRead());
        ResetPeak();
        double t0 = Now();
        RunIntegrityTest();
        test = std::min(test, Now() - t0);
        peak = std::max(peak, StatusKiB("VmHWM"));
        if (SizeOf("tmp/erreurfiche.txt") != 0) {
            std::fprintf(stderr, "chkbench: the practice in %s is not sound\n", dir);
            return 2;
        }
        t0 = Now();
        bare.Run();
        bareTime = std::min(bareTime, Now() - t0);
    }
    std::printf("lines=%ld patients=%ld visits=%lld test=%.6f bare=%.6f read=%.6f peak=%ld peakreset=%d\n",
                static_cast<long>(LastClinicalLine), static_cast<long>(LastPatient), bare.visits, test, bareTime,
                seq, peak, peakReset ? 1 : 0);
    return 0;
}

int Check(const char* dir) {
    Practice p{dir, ""};
    if (!OpenPractice(p)) return 2;
    FaultStartLog();
    RunIntegrityTest();
    std::vector<Transfer> test;
    FileHandle map = 0;
    for (const LoggedTransfer& t : FaultLog()) {
        char role = t.file == hClinique ? 'C' : t.file == hFirstrec ? 'F' : 0;
        if (!role) {
            if (map == 0) map = t.file;
            role = t.file == map ? 'M' : 'R';
        }
        const std::int32_t value = t.isWrite && t.bytes.size() == 4 ? LoadI32(t.bytes.data()) : 0;
        test.push_back({role, t.offset, t.isWrite, value});
    }
    FaultDisarm();
    std::vector<Transfer> bareLog;
    Bare bare = BareFor();
    bare.log = &bareLog;
    bare.Run();
    const bool same = test == bareLog;
    std::printf("%s: %zu transfers in the test, %zu in the bare sequence: %s\n", dir, test.size(), bareLog.size(),
                same ? "the same" : "they differ");
    return same ? 0 : 1;
}

// A fresh copy of the practice's data files in DIR/edit (or `into`), each
// run starting from the same bytes.
bool CopyPractice(const std::string& dir, std::string edit = "") {
    static char buffer[1 << 20];
    if (edit.empty()) edit = dir + "/edit";
    mkdir(edit.c_str(), 0777);
    for (const char* name : {"param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite"}) {
        const int in = open((dir + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const int out = open((edit + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        bool ok = in >= 0 && out >= 0;
        for (ssize_t n; ok && (n = read(in, buffer, sizeof buffer)) > 0;) ok = write(out, buffer, n) == n;
        if (in >= 0) close(in);
        if (out >= 0) close(out);
        if (!ok) return false;
    }
    return true;
}

// One colour edit on a fresh copy, journaled or not; its time, the journal's
// flush at the run's end included, and the journal's records and size.
bool TimeEdit(const std::string& dir, bool journaled, double& seconds, long& records, long& bytes) {
    if (!CopyPractice(dir) || chdir((dir + "/edit").c_str()) != 0) return false;
    std::filesystem::remove_all("chkort-journal");
    char here[4096];
    if (!getcwd(here, sizeof here) || !OpenDataFileSet(0)) return false;
    LoadCounters();
    const double t0 = Now();
    if (journaled) {
        JournalStart(here);
        JournalCommand("Changer la couleur de la ligne en clinique", JournalInGroups);
    }
    OldColour = 48;
    NewColour = 147;
    CurrentMode = ModeChangeColour;
    ChangeColourCodes(0);
    std::string path;
    if (journaled) {
        path = JournalPath();
        JournalStop();
    }
    seconds = Now() - t0;
    CloseDataFileSet();
    records = bytes = 0;
    if (journaled) {
        for (char& c : path)
            if (c == '\\') c = '/';
        Journal j;
        if (!ReadJournal(path.c_str(), j) || j.cut) return false;
        for (const JournalEntry& e : j.entries) records += e.kind == 'W';
        bytes = j.size;
    }
    return chdir(dir.c_str()) == 0;
}

int MeasureEdit(const char* given, int reps) {
    char absolute[4096];
    if (realpath(given, absolute) == nullptr) return 2;
    const std::string dir = absolute;
    double plain = 1e30, journaled = 1e30;
    long records = 0, bytes = 0;
    for (int rep = 0; rep < reps; ++rep) {
        double t;
        long r, b;
        if (!TimeEdit(dir, false, t, r, b)) return 2;
        plain = std::min(plain, t);
        if (!TimeEdit(dir, true, t, records, bytes)) return 2;
        journaled = std::min(journaled, t);
    }
    std::filesystem::remove_all(dir + "/edit");
    std::printf("plain=%.6f journal=%.6f records=%ld bytes=%ld\n", plain, journaled, records, bytes);
    return 0;
}

// ---------------------------------------------------------------- a patient's repairs

// One repair of patient 1 on a fresh copy of a practice of one chain, with
// the journal (each record on the disk before its data write) or without:
// its time, the command's end included, and the journal's flushes.
bool TimeRepair(const std::string& dir, bool corriger, bool journaled, double& seconds, long& flushes,
                long& lines) {
    if (!CopyPractice(dir) || chdir((dir + "/edit").c_str()) != 0) return false;
    std::filesystem::remove_all("chkort-journal");
    char here[4096];
    if (!getcwd(here, sizeof here) || !OpenDataFileSet(0)) return false;
    LoadCounters();
    CurrentPatient = 1;
    std::int32_t length = 0;
    if (corriger) {
        // Every forward link lost: Corriger from the end rebuilds them all.
        FirstrecRecord ends;
        if (!ReadFirstrec(1, ends)) return false;
        for (std::int32_t r = GetField(ends, FirstrecField::ClinicalEnd); r >= 1 && length < LastClinicalLine; ++length) {
            ChainLine line;
            if (!ReadChainLine(ClinicalChain, r, line)) return false;
            SetChainNext(ClinicalChain, line, 0);
            if (!WriteChainLine(ClinicalChain, r, line)) return false;
            r = ChainPrev(ClinicalChain, line);
        }
    }
    FaultStartLog();
    const double t0 = Now();
    if (journaled) {
        JournalStart(here);
        JournalCommand(corriger ? "Corriger" : "Correction d'une ligne en fiche clinique", JournalEachWrite);
    }
    if (corriger) {
        CurrentMode = ModeClinicalFromEnd;
        LineOrdinal = length;
        CutViewedChain(0);
    } else {
        CurrentMode = ModeRelinkClinical;
        LineOrdinal = 50;
        FirstLinkInput = 1;
        SecondLinkInput = 2;
        RelinkLine();
    }
    if (journaled) JournalCommandEnd();
    seconds = Now() - t0;
    flushes = 0;
    for (const LoggedTransfer& t : FaultLog()) flushes += t.isFlush;
    lines = length;
    FaultDisarm();
    JournalStop();
    CloseDataFileSet();
    return chdir(dir.c_str()) == 0;
}

int MeasureRepairs(const char* given, int reps) {
    char absolute[4096];
    if (realpath(given, absolute) == nullptr) return 2;
    const std::string dir = absolute;
    for (bool corriger : {false, true}) {
        double plain = 1e30, journaled = 1e30, t;
        long flushes = 0, lines = 0, none;
        for (int rep = 0; rep < reps; ++rep) {
            if (!TimeRepair(dir, corriger, false, t, none, lines)) return 2;
            plain = std::min(plain, t);
            if (!TimeRepair(dir, corriger, true, t, flushes, lines)) return 2;
            journaled = std::min(journaled, t);
        }
        std::printf("%s plain=%.6f journal=%.6f flushes=%ld lines=%ld\n", corriger ? "corriger" : "relink", plain,
                    journaled, flushes, lines);
    }
    std::filesystem::remove_all(dir + "/edit");
    return 0;
}

std::string Self() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "chkbench";
    path[n] = 0;
    return path;
}

// ---------------------------------------------------------------- the console

// The console companion built beside this program.
std::string ConsoleProgram() {
    const std::string self = Self();
    return self.substr(0, self.rfind('/')) + "/../console/chkort-cli";
}

// One run of chkort-cli with its output thrown away: elapsed seconds and
// peak resident KiB; false when it could not run or failed (an exit status
// above `worst`).
bool TimeProcess(std::string program, const std::vector<std::string>& args, double& seconds, long& peakKiB,
                 int worst = 0) {
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const double t0 = Now();
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1), dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return false;
    seconds = Now() - t0;
    peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) <= worst;
}

bool TimeConsole(const std::vector<std::string>& args, double& seconds, long& peakKiB, int worst = 0) {
    return TimeProcess(ConsoleProgram(), args, seconds, peakKiB, worst);
}

// The console's floor: what any program must do to test the clinical
// chains, and nothing more. It reads clinique once in 1 MiB blocks into a
// plain table of both links a line, reads firstrec whole, and walks each
// patient's chain forward and backward, up to 5,000 lines each way. A
// process of its own, timed like chkort-cli: the console's ratios to it
// mean the same on any machine, where its ratio to a bare read depends on
// how fast the machine reads pages and maps them.
template <typename Take>
bool ReadWhole(const std::string& path, std::size_t record, Take take) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    std::vector<std::uint8_t> block((std::size_t{1} << 20) / record * record);
    std::size_t have = 0;
    for (;;) {
        const ssize_t n = read(fd, block.data() + have, block.size() - have);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
        const std::size_t whole = have - have % record;
        for (std::size_t at = 0; at < whole; at += record) take(block.data() + at);
        std::memmove(block.data(), block.data() + whole, have - whole);
        have -= whole;
    }
    close(fd);
    return true;
}

int Floor(const std::string& dir) {
    struct Links {
        std::int32_t prev, next;
    };
    std::vector<Links> lines(1); // line 0 unused
    std::vector<std::int32_t> ends;
    lines.reserve(static_cast<std::size_t>(SizeOf((dir + "/clinique").c_str())) / sizeof(ClinicalLine) + 1);
    if (!ReadWhole(dir + "/clinique", sizeof(ClinicalLine), [&](const std::uint8_t* r) {
            lines.push_back({LoadI32(r + ClinicalField::PrevLine), LoadI32(r + ClinicalField::NextLine)});
        }) ||
        !ReadWhole(dir + "/firstrec", sizeof(FirstrecRecord), [&](const std::uint8_t* r) {
            ends.push_back(LoadI32(r + FirstrecField::ClinicalStart));
            ends.push_back(LoadI32(r + FirstrecField::ClinicalEnd));
        }))
        return 2;
    const auto count = static_cast<std::int32_t>(lines.size());
    long long visits = 0;
    for (std::size_t i = 0; i < ends.size(); i += 2)
        for (int way = 0; way < 2; ++way)
            for (std::int32_t r = ends[i + static_cast<std::size_t>(way)], n = 0; r > 0 && r < count && n < WalkLimit;
                 ++n, ++visits)
                r = way == 0 ? lines[static_cast<std::size_t>(r)].next : lines[static_cast<std::size_t>(r)].prev;
    std::printf("visits=%lld\n", visits);
    return 0;
}

struct ConsoleRow {
    long lines = 0;
    double read = 1e30, floor = 1e30, test = 1e30, diagnose = 1e30;
    long testPeak = 0, diagnosePeak = 0;
};

// chkort-cli test clinique and diagnose all on one practice, best of `reps`,
// with the floor and a sequential read of clinique, each done just before.
bool MeasureConsole(const std::string& dir, long lines, int reps, ConsoleRow& row) {
    row.lines = lines;
    const std::string out = dir + "/tmp";
    mkdir(out.c_str(), 0777);
    for (int rep = 0; rep < reps; ++rep) {
        double t = 0;
        long peak = 0;
        row.read = std::min(row.read, SequentialRead(dir + "/clinique"));
        if (!TimeProcess(Self(), {"--floor", dir}, t, peak)) return false;
        row.floor = std::min(row.floor, t);
        if (!TimeConsole({"test", "clinique", dir, "--report", out + "/cli-report", "--map", out + "/cli-map"}, t, peak))
            return false;
        row.test = std::min(row.test, t);
        row.testPeak = std::max(row.testPeak, peak);
        if (!TimeConsole({"diagnose", "all", dir}, t, peak)) return false;
        row.diagnose = std::min(row.diagnose, t);
        row.diagnosePeak = std::max(row.diagnosePeak, peak);
    }
    return true;
}

// ---------------------------------------------------------------- reparer

// Every hundredth patient damaged, the kinds in turn: each repair reparer
// makes, and a few it leaves (two patients on one chain).
const std::pair<practice::DamageKind, practice::DataFile> DamageMix[] = {
    {practice::DamageKind::NextHigh, practice::DataFile::Clinique},
    {practice::DamageKind::Loop, practice::DataFile::Clinique},
    {practice::DamageKind::StartNegative, practice::DataFile::Clinique},
    {practice::DamageKind::EndHigh, practice::DataFile::Clinique},
    {practice::DamageKind::FirstPrev, practice::DataFile::Clinique},
    {practice::DamageKind::Uneven, practice::DataFile::Clinique},
    {practice::DamageKind::PrevHigh, practice::DataFile::Estime},
    {practice::DamageKind::LastNext, practice::DataFile::Estime},
    {practice::DamageKind::Loop, practice::DataFile::Fschema},
    {practice::DamageKind::Shared, practice::DataFile::Clinique},
};

// The practice `o` in `dir`, made unless its stamp there says it is `want`
// already.
bool Generated(const std::string& dir, const std::string& want, const practice::Options& o) {
    const std::string stamp = dir + "/chkbench-stamp";
    if (std::FILE* f = std::fopen(stamp.c_str(), "r")) {
        char have[200] = {};
        const std::size_t n = std::fread(have, 1, sizeof have - 1, f);
        std::fclose(f);
        if (std::string(have, n) == want) return true;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "chkbench: generating %s\n", dir.c_str());
    std::string error;
    {
        practice::Practice built;
        if (!practice::BuildPractice(o, built, error) || !practice::WritePractice(dir, built, error)) {
            std::fprintf(stderr, "chkbench: %s\n", error.c_str());
            return false;
        }
    }
    std::FILE* f = std::fopen(stamp.c_str(), "w");
    if (!f) return false;
    std::fputs(want.c_str(), f);
    return std::fclose(f) == 0;
}

bool GenerateDamaged(const std::string& dir, std::int32_t lines) {
    const std::int32_t patients = std::clamp(lines / LinesPerPatient, 100, 100000);
    practice::Options o;
    o.patients = patients;
    o.clinicalLines = lines;
    o.quoteLines = lines / 20;
    o.chartEntries = lines / 40;
    for (std::int32_t p = 50, k = 0; p <= patients; p += 100, ++k) {
        practice::Damage d;
        d.kind = DamageMix[k % std::size(DamageMix)].first;
        d.file = DamageMix[k % std::size(DamageMix)].second;
        d.patient = p;
        o.damages.push_back(d);
    }
    return Generated(dir, "1 % damaged, " + std::to_string(lines) + " clinical lines, " +
                              std::to_string(patients) + " patients\n", o);
}

struct RepairRow {
    long lines = 0, damaged = 0, flushes = 0;
    double diagnose = 1e30, reparer = 1e30; // in memory
    double diskDiagnose = 1e30, diskReparer = 1e30;
    bool inMemory = false;
};

// diagnose all, then reparer all, on a fresh copy of the damaged practice in
// `work`; the flushes are the journal's: one after each patient repaired,
// and one as the run ends.
bool TimeRepair(const std::string& dir, const std::string& work, double& diagnose, double& reparer, long& flushes) {
    std::filesystem::remove_all(work);
    if (!CopyPractice(dir, work)) return false;
    long peak = 0;
    if (!TimeConsole({"diagnose", "all", work}, diagnose, peak, 1)) return false;
    if (!TimeConsole({"reparer", "all", work}, reparer, peak, 1)) return false;
    std::set<std::string> patients;
    for (const auto& entry : std::filesystem::directory_iterator(work + "/chkort-journal")) {
        Journal journal;
        if (!ReadJournal(entry.path().c_str(), journal)) return false;
        for (const JournalEntry& e : journal.entries)
            if (e.kind == 'C') patients.insert(e.command.substr(0, e.command.find(':')));
    }
    flushes = static_cast<long>(patients.size()) + 1;
    return true;
}

bool MeasureRepair(const std::string& root, std::int32_t lines, int reps, RepairRow& row) {
    const std::string dir = root + "/damaged-" + std::to_string(lines);
    if (!GenerateDamaged(dir, lines)) return false;
    row.lines = lines;
    row.damaged = static_cast<long>((std::clamp(lines / LinesPerPatient, 100, 100000) + 50) / 100);
    char memory[] = "/dev/shm/chkbench-XXXXXX";
    row.inMemory = mkdtemp(memory) != nullptr;
    const std::string disk = root + "/reparer-work";
    bool ok = true;
    for (int rep = 0; rep < reps && ok; ++rep) {
        double diagnose = 0, reparer = 0;
        if (row.inMemory) {
            ok = TimeRepair(dir, std::string(memory) + "/practice", diagnose, reparer, row.flushes);
            row.diagnose = std::min(row.diagnose, diagnose);
            row.reparer = std::min(row.reparer, reparer);
        }
        ok = ok && TimeRepair(dir, disk, diagnose, reparer, row.flushes);
        row.diskDiagnose = std::min(row.diskDiagnose, diagnose);
        row.diskReparer = std::min(row.diskReparer, reparer);
    }
    if (row.inMemory) std::filesystem::remove_all(memory);
    std::filesystem::remove_all(disk);
    return ok;
}

// ---------------------------------------------------------------- the table

bool Generate(const std::string& dir, std::int32_t lines, std::int32_t patients = 0) {
    // The generator makes at most 100,000 patients: beyond 2,000,000 lines
    // the chains grow longer instead.
    if (patients == 0) patients = std::clamp(lines / LinesPerPatient, 1, 100000);
    practice::Options o;
    o.patients = patients;
    o.clinicalLines = lines;
    o.quoteLines = lines / 20;
    o.chartEntries = lines / 40;
    return Generated(dir, "sound practice, " + std::to_string(lines) + " clinical lines, " +
                              std::to_string(patients) + " patients\n", o);
}

struct Row {
    long lines = 0, patients = 0;
    long long visits = 0;
    double test = 0, bare = 0, read = 0;
    long peak = 0;
    int peakReset = 0;
};

bool RunChild(const std::string& args, std::string& out) {
    std::string command = "'";
    command += Self();
    command += "' ";
    command += args;
    std::FILE* f = popen(command.c_str(), "r");
    if (!f) return false;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, f)) out += buffer;
    return pclose(f) == 0;
}

int Table(const std::string& root, const std::vector<std::int32_t>& sizes) {
    mkdir(root.c_str(), 0777);
    std::vector<Row> rows;
    std::vector<ConsoleRow> consoleRows;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string dir = root + "/lines-" + std::to_string(sizes[i]);
        if (!Generate(dir, sizes[i])) return 2;
        std::string out;
        if (i == 0) {
            if (!RunChild("--check '" + dir + "'", out)) {
                std::fprintf(stderr, "chkbench: %s", out.c_str());
                return 2;
            }
            std::printf("%s", out.c_str());
            std::fflush(stdout);
            out.clear();
        }
        const int reps = sizes[i] >= 1000000 ? 3 : 5;
        if (!RunChild("--measure '" + dir + "' " + std::to_string(reps), out)) return 2;
        Row r;
        if (std::sscanf(out.c_str(), "lines=%ld patients=%ld visits=%lld test=%lf bare=%lf read=%lf peak=%ld peakreset=%d",
                        &r.lines, &r.patients, &r.visits, &r.test, &r.bare, &r.read, &r.peak, &r.peakReset) != 8)
            return 2;
        rows.push_back(r);
        ConsoleRow c;
        if (!MeasureConsole(dir, r.lines, 3 * reps, c)) {
            std::fprintf(stderr, "chkbench: %s did not run on %s\n", ConsoleProgram().c_str(), dir.c_str());
            return 2;
        }
        consoleRows.push_back(c);
    }

    std::printf("\nClinical integrity test, sound practices, best of 3-5 runs, warm page cache\n\n");
    std::printf("%10s %9s %10s %10s %11s %11s %10s %10s %11s\n", "lines", "patients", "visits", "test s",
                "ns/visit", "peak KiB", "read s", "bare s", "test/bare");
    bool met = true;
    for (const Row& r : rows) {
        const double ratio = r.test / r.bare;
        met = met && ratio <= 1.3;
        std::printf("%10ld %9ld %10lld %10.3f %11.1f %11ld %10.4f %10.3f %11.2f%s\n", r.lines, r.patients, r.visits,
                    r.test, r.visits ? r.test / static_cast<double>(r.visits) * 1e9 : 0.0, r.peak, r.read, r.bare,
                    ratio, ratio <= 1.3 ? "" : "  (over 1.3)");
    }
    std::printf("\ntest/bare at most 1.3: %s\n", met ? "met" : "MISSED");
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
        if (rows[i].lines < 100000) continue;
        const long growth = rows.back().peak - rows[i].peak;
        const bool flat = growth <= 1024;
        met = met && flat;
        std::printf("peak memory from %ld to %ld lines: %+ld KiB, %s\n", rows[i].lines, rows.back().lines, growth,
                    flat ? "flat (within 1 MiB): met" : "grows: MISSED");
        break;
    }
    if (!rows.empty() && !rows[0].peakReset)
        std::printf("(the peak could not be reset: it includes the process's start)\n");

    // The console reads each file once and walks in memory: its time is
    // measured against the floor (and, for information, one sequential read
    // of clinique), its memory per line.
    std::printf("\nchkort-cli on the same practices, whole process, best of 9-15 runs, warm page cache\n\n");
    std::printf("%10s %9s %9s %9s %10s %10s %11s %10s %10s %10s %11s\n", "lines", "read s", "floor s", "test s",
                "test/floor", "test/read", "diagnose s", "diag/floor", "diag/read", "test KiB", "diag KiB");
    for (const ConsoleRow& c : consoleRows)
        std::printf("%10ld %9.4f %9.4f %9.3f %10.2f %10.1f %11.3f %10.2f %10.1f %10ld %11ld\n", c.lines, c.read,
                    c.floor, c.test, c.test / c.floor, c.test / c.read, c.diagnose, c.diagnose / c.floor,
                    c.diagnose / c.read, c.testPeak, c.diagnosePeak);
    const ConsoleRow& last = consoleRows.back();
    if (last.lines >= 1000000) {
        const bool test = last.test <= 1.3 * last.floor, diagnose = last.diagnose <= 3 * last.floor;
        met = met && test && diagnose;
        std::printf("\ntest clinique within 1.3 x the floor at %ld lines: %s\n", last.lines, test ? "met" : "MISSED");
        std::printf("diagnose all within 3 x the floor at %ld lines: %s\n", last.lines, diagnose ? "met" : "MISSED");
    }
    for (const ConsoleRow& c : consoleRows) {
        if (c.lines < 100000 || c.lines == last.lines) continue;
        const double lines = static_cast<double>(last.lines - c.lines);
        const double test = static_cast<double>(last.testPeak - c.testPeak) * 1024 / lines;
        const double diagnose = static_cast<double>(last.diagnosePeak - c.diagnosePeak) * 1024 / lines;
        met = met && test <= 16 && diagnose <= 16;
        std::printf("memory from %ld to %ld lines: test %.1f, diagnose %.1f bytes a line (at most 16): %s\n", c.lines,
                    last.lines, test, diagnose, test <= 16 && diagnose <= 16 ? "met" : "MISSED");
        break;
    }

    // The journal's cost on the largest practice.
    std::string out;
    const std::string dir = root + "/lines-" + std::to_string(sizes.back());
    double plain = 0, journaled = 0;
    long records = 0, bytes = 0;
    if (!RunChild("--edit '" + dir + "' 3", out) ||
        std::sscanf(out.c_str(), "plain=%lf journal=%lf records=%ld bytes=%ld", &plain, &journaled, &records,
                    &bytes) != 4) {
        std::fprintf(stderr, "chkbench: the field edit did not run on %s\n", dir.c_str());
        return 2;
    }
    std::printf("\nField edit \"Changer la couleur\" 48 -> 147 on %ld lines, best of 3, warm page cache\n\n",
                rows.back().lines);
    std::printf("%12s %12s %12s %14s %14s\n", "plain s", "journal s", "journal/plain", "records", "journal bytes");
    std::printf("%12.3f %12.3f %12.2f %14ld %14ld\n", plain, journaled, journaled / plain, records, bytes);
    const bool grouped = journaled <= 2 * plain;
    met = met && grouped;
    std::printf("\njournal within 2 x the edit without it: %s\n", grouped ? "met" : "MISSED");

    // A patient's repairs flush before each data write: what that costs.
    // 102 lines, of which the generator leaves 2 to no chain.
    const std::string chain = root + "/chain-100";
    if (!Generate(chain, 102, 1)) return 2;
    out.clear();
    if (!RunChild("--repairs '" + chain + "' 5", out)) {
        std::fprintf(stderr, "chkbench: the repairs did not run on %s\n", chain.c_str());
        return 2;
    }
    std::printf("\nA patient's repairs on a chain of 100 lines, best of 5, each record flushed before its write\n\n");
    std::printf("%-34s %10s %12s %12s %10s\n", "", "flushes", "plain ms", "journal ms", "ms/flush");
    for (const char* name : {"relink", "corriger"}) {
        const std::size_t at = out.find(name);
        double p = 0, j = 0;
        long flushes = 0, lines = 0;
        if (at == std::string::npos || std::sscanf(out.c_str() + at + std::strlen(name),
                                                   " plain=%lf journal=%lf flushes=%ld lines=%ld", &p, &j, &flushes,
                                                   &lines) != 4)
            return 2;
        const std::string what = name[0] == 'r' ? "relink of one line"
                                                : "Corriger, " + std::to_string(lines) + " forward links rebuilt";
        std::printf("%-34s %10ld %12.3f %12.3f %10.3f\n", what.c_str(), flushes, p * 1e3, j * 1e3,
                    flushes ? (j - p) * 1e3 / static_cast<double>(flushes) : 0.0);
    }

    RepairRow repair;
    if (!MeasureRepair(root, sizes.back(), 3, repair)) {
        std::fprintf(stderr, "chkbench: reparer did not run on the damaged copy of %s\n", dir.c_str());
        return 2;
    }
    std::printf("\nchkort-cli reparer all, %ld lines, %ld patients damaged (mixed kinds), fresh copies, best of 3\n\n",
                repair.lines, repair.damaged);
    std::printf("%12s %12s %12s %12s %12s %12s %12s\n", "copy", "diagnose s", "reparer s", "rep/diag", "flushes",
                "flushes s", "ms a flush");
    if (repair.inMemory)
        std::printf("%12s %12.3f %12.3f %12.2f\n", "in memory", repair.diagnose, repair.reparer,
                    repair.reparer / repair.diagnose);
    // The flushes' time: what the same run takes more on the disk.
    const double flushes = repair.inMemory ? repair.diskReparer - repair.reparer : 0;
    std::printf("%12s %12.3f %12.3f %12.2f %12ld %12.3f %12.2f\n", "on disk", repair.diskDiagnose, repair.diskReparer,
                repair.diskReparer / repair.diskDiagnose, repair.flushes, flushes,
                flushes * 1000 / static_cast<double>(repair.flushes));
    if (repair.inMemory) {
        const bool within = repair.reparer <= 2 * repair.diagnose;
        met = met && within;
        std::printf("\nreparer all without its flushes within 2 x diagnose all at %ld lines: %s\n", repair.lines,
                    within ? "met" : "MISSED");
    } else {
        std::printf("\n(no tmpfs at /dev/shm: reparer's time includes its flushes, not measured apart)\n");
    }
    return met ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--measure") == 0)
        return Measure(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return Check(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--floor") == 0) return Floor(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "--edit") == 0)
        return MeasureEdit(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (argc >= 3 && std::strcmp(argv[1], "--repairs") == 0)
        return MeasureRepairs(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 3);
    if (argc >= 2 && argv[1][0] == '-') {
        std::fprintf(stderr, "usage: chkbench [DIR [LINES...]] | --measure DIR REPS | --check DIR | --floor DIR | "
                             "--edit DIR REPS | --repairs DIR REPS\n");
        return 2;
    }
    const std::string root = argc > 1 ? argv[1] : "practices";
    std::vector<std::int32_t> sizes;
    for (int i = 2; i < argc; ++i) {
        const long n = std::strtol(argv[i], nullptr, 10);
        if (n < 20 || n > 10000000) {
            std::fprintf(stderr, "chkbench: LINES from 20 to 10000000\n");
            return 2;
        }
        sizes.push_back(static_cast<std::int32_t>(n));
    }
    if (sizes.empty()) sizes = {10000, 100000, 1000000};
    return Table(root, sizes);
}
